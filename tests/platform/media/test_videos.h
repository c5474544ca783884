// Small video files made in the tests with FFmpeg's encoders, and a plain sequential decode of
// them to hold the player's decoder against: every picture in the order the decoder gives it,
// with the presentation time the container gives it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics/image.h"

namespace dk::platform::test {

struct TestVideoOptions {
  std::string encoder = "libx264";  // or "mpeg4", "mpeg2video"
  std::string container = "mp4";    // or "mpegts" (a live segment)
  int width = 96;
  int height = 64;
  int fps = 10;
  int frames = 40;
  int gop = 12;
  int bFrames = 3;
  bool openGop = false;
  // The first frame's presentation time; above 0 the file starts with an empty edit that long.
  double startSeconds = 0;
  // Packets carry their length; without, the muxer cannot tell how long the last frame lasts.
  bool packetDurations = true;
  // The index (moov) before the media, as a file made for progressive playback has it.
  bool indexFirst = false;
  // From this frame on, pictures 32 pixels wider, from an encoder restarted with its parameter
  // sets in the stream (libx264 without B-frames); -1: one size throughout.
  int otherSizeFrom = -1;
};

// Writes the video file; false with a reason in *why.
bool writeTestVideo(const std::string& path, const TestVideoOptions& options, std::string* why);

struct SequentialDecode {
  std::vector<double> times;  // presentation times, ascending
  std::vector<ImagePtr> pictures;
  double movieDuration = 0;  // the container's own length of the movie
};

// `bytes` (the file at `path`) with the content of every sample from `firstSample` on, past its
// first bytes (length and unit header), replaced by noise: the same size and layout, other
// pictures that no longer decode cleanly.
void scrambleSamples(std::string& bytes, const std::string& path, size_t firstSample, size_t count = SIZE_MAX);

// Where each packet of the file lies, in the order the demuxer gives them.
struct SampleSpan {
  int64_t pos = -1;
  int size = 0;
  bool key = false;
  double time = 0;  // presentation time
  bool disposable = false;  // an H.264 slice nothing refers to (a B-frame that is no reference)
};
std::vector<SampleSpan> samplesOf(const std::string& path);

// Overwrites `count` bytes of `bytes` from `offset` with noise.
void addNoise(std::string& bytes, int64_t offset, int64_t count);

// Every picture of the file's video, read and decoded front to back.
SequentialDecode decodeSequentially(const std::string& path);

}  // namespace dk::platform::test
