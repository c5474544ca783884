// A small live stream made in the tests by FFmpeg's own HLS muxer, as a packager writes one: its
// playlist and every file it wrote (MPEG-TS segments, or fMP4 fragments and their initialisation
// section), read back into memory.
#pragma once

#include <map>
#include <string>

namespace dk::platform::test {

struct TestHlsOptions {
  std::string segmentType = "mpegts";  // or "fmp4"
  int width = 96;
  int height = 64;
  int fps = 25;
  int segmentSeconds = 2;  // each segment one group of pictures
  int segments = 3;
  bool programDateTime = true;  // "#EXT-X-PROGRAM-DATE-TIME" before each segment
  bool interlaced = false;      // interlaced H.264 with moving bars (TestVideoOptions::interlaced)
};

struct TestHls {
  std::string playlist;                      // "index.m3u8" as the muxer wrote it
  std::map<std::string, std::string> files;  // every other file, by name ("index0.ts", "init.mp4")
};

// Writes the stream into `folder` (which must exist) and reads it back; false with a reason.
bool writeTestHls(const std::string& folder, const TestHlsOptions& options, TestHls* out, std::string* why);

}  // namespace dk::platform::test
