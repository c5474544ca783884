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
  std::string encoder = "libx264";  // or "libx265" (its own default: open groups of pictures)
  int keySeconds = 0;               // a key frame this often (0: at each segment's start)
  bool openGop = false;             // libx264's open groups of pictures
  int bFrames = 3;
  double startSeconds = 0;  // the first picture's time (its segments' times follow from it)
  // The muxer's further "hls_flags": "split_by_time" (segments cut between key frames),
  // "single_file" (one growing file, each segment a byte range of it).
  std::string flags;
};

struct TestHls {
  std::string playlist;                      // "index.m3u8" as the muxer wrote it
  std::map<std::string, std::string> files;  // every other file, by name ("index0.ts", "init.mp4")
};

// Writes the stream into `folder` (which must exist) and reads it back; false with a reason.
bool writeTestHls(const std::string& folder, const TestHlsOptions& options, TestHls* out, std::string* why);

}  // namespace dk::platform::test
