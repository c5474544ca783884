// Real MPEG-4 videos for recordings and clips: the mpeg4 codec of libavcodec in an MP4 file,
// small frames at a few frames a second, each frame showing the camera's name and the
// wall-clock time of that frame (so a frame on screen tells which second of which recording it
// is). Encoding a long recording takes a while, so each video is made once and kept in a small
// process-wide cache.
//
// Thread-safe: the cache is locked; encoding runs outside the lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace dk::cloudsim::detail {

struct VideoSpec {
  std::string label;        // the camera's name
  double startTime = 0;     // seconds since 1970 of the first frame
  double duration = 0;      // seconds; capped at kMaxVideoSeconds
  int utcOffsetSeconds = 0; // for the time drawn on the frames
  int fps = 2;
  int width = 320;
  int height = 180;
  // The libavformat muxer: "mp4" for recordings and clips, "mpegts" for live segments, whose
  // decoder headers travel in the stream so that each segment plays on its own.
  std::string container = "mp4";
};

constexpr double kMaxVideoSeconds = 4 * 3600.0;

// The MP4 bytes, or an empty string when encoding failed.
std::string encodeLabelledVideo(const VideoSpec& spec);

// The same, made once per distinct spec and shared.
std::shared_ptr<const std::string> cachedLabelledVideo(const VideoSpec& spec);

}  // namespace dk::cloudsim::detail
