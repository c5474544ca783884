// LiveSoundBuffer: the live stream's decoded sound, waiting to be played, by the camera's clock.
//
// The live source adds each stretch as its segment is decoded (up to a segment ahead of the picture);
// the streamer's audio queue reads it at the times the live picture plays. A stretch that repeats
// sound already held (a segment opens with the last frame of the one before, so that its decoder
// has what it overlaps) or already played keeps what was there; a short gap is filled with
// silence, a long one (the view rejoined the stream) starts afresh. What it holds is bounded:
// kMaxSeconds, the oldest dropped first.
//
// The first stretch sets the format; stretches in another one are dropped (heard as silence).
// Thread-safe.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/live/live_segment_decoder.h"

namespace dk::platform {

class LiveSoundBuffer {
 public:
  static constexpr double kMaxSeconds = 20;
  static constexpr double kMaxGapSeconds = 1;

  // `sound` that starts at `time` (seconds since 1970 on the camera's clock).
  void add(double time, const LiveSegmentSound& sound);
  // Why the stream's sound is not heard, as its decoder told ("" when it is).
  void setRefusal(std::string why);

  // The format of the first stretch added; false before any.
  bool format(int* sampleRate, int* channels) const;
  std::string refusal() const;
  // `frames` sample frames from `seconds` on, interleaved, into *out (resized); silence where
  // nothing is held. What lies before the end of the read is let go.
  void read(double seconds, int64_t frames, std::vector<int16_t>* out);
  // Sample frames held now.
  int64_t heldFrames() const;

 private:
  mutable std::mutex mutex_;
  int rate_ = 0, channels_ = 0;
  std::deque<int16_t> samples_;  // interleaved, from sample start_ of the camera's clock
  int64_t start_ = 0;
  int64_t playedUntil_ = -1;  // sample where the last read ended
  std::string refusal_;
};

}  // namespace dk::platform
