// The sound a camera records with its pictures: AAC-LC (as cameras record it), mono at 16 kHz,
// a steady tone, so that a listener (or a test counting its zero crossings) recognises it: 440 Hz
// in recordings, 660 Hz in the live stream, so that one can tell which of them is heard.
// The tone is encoded once for kCameraSoundCycleSeconds and its packets repeat with timestamps
// running on: a whole number of tone periods and of AAC frames fit in a cycle, so the seam is
// not heard, and a longer take of a recording carries the same sound packets as a shorter one.
//
// Thread-safe: made once per process.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct AVCodecParameters;
struct AVPacket;

namespace dk::cloudsim::detail {

inline constexpr int kCameraSoundRate = 16000;
inline constexpr double kCameraToneHz = 440.0;
inline constexpr double kLiveToneHz = 660.0;
inline constexpr int kCameraSoundCycleSeconds = 16;

struct CameraSound {
  AVCodecParameters* parameters = nullptr;
  // One cycle of packets, pts from 0 in samples (the time base is 1/kCameraSoundRate), each
  // `frameSamples` long; the encoder's priming is left out, so sample 0 is the first heard.
  std::vector<AVPacket*> packets;
  int64_t frameSamples = 1024;
  int64_t cycleSamples = 0;

  CameraSound() = default;
  CameraSound(const CameraSound&) = delete;
  CameraSound& operator=(const CameraSound&) = delete;
  ~CameraSound();
};

// The tone `hz` (a whole number of its periods must fit in a cycle). Null when the AAC encoder is
// missing or fails.
std::shared_ptr<const CameraSound> cameraSound(double hz = kCameraToneHz);

}  // namespace dk::cloudsim::detail
