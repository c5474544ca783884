// Real videos for recordings and clips in an MP4 file, each frame showing the camera's name and
// the wall-clock time of that frame (so a frame on screen tells which second of which recording
// it is): small MPEG-4 Part 2 at a few frames a second by default, or H.264 through libx264 with
// B-frames like a camera's (a key frame every two seconds). Every packet carries its length, so
// the file's edit list covers the last frame. An H.264 video longer than kH264CycleSeconds
// repeats its first kH264CycleSeconds of pictures with timestamps running on (an hour is made
// in seconds; the clock drawn on the pictures restarts each cycle). Each video is made once
// and kept in a small process-wide cache.
//
// The videos of one recording at different lengths grow by appending: the pictures of a shorter
// one are the first pictures of a longer one, byte for byte and at the same place in the file
// (the index follows the media), as a camera's recording grows while it is recorded.
//
// Thread-safe: the cache is locked; encoding runs outside the lock, once per video even when
// several threads ask for it together.
#pragma once

#include <cstdint>
#include <functional>
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
  bool h264 = false;  // libx264 with B-frames instead of MPEG-4 Part 2 without
  // The camera's sound beside the pictures (camera_sound.h): its packets are placed before each
  // picture that follows them, so a longer take still only appends. In MPEG-TS (a live segment)
  // they are cut from one endless tone counted from 1970, so that the sound runs on seamlessly
  // from one segment into the next: a segment holds the packets that start within it.
  bool sound = false;
  double toneHz = 440.0;
  // The libavformat muxer: "mp4" for recordings and clips, "mpegts" for live segments, whose
  // decoder headers travel in the stream so that each segment plays on its own.
  std::string container = "mp4";
  // The mp4 muxer's "movflags" ("frag_keyframe+empty_moov+default_base_moof": fragmented, as
  // many cameras upload); empty: the index after the media.
  std::string movflags;
  // Seconds added to every packet's time, as a camera that stamps its media with its own uptime
  // writes them (0: the video starts at 0).
  double timeOffset = 0;
};

constexpr double kMaxVideoSeconds = 4 * 3600.0;
constexpr double kH264CycleSeconds = 20.0;

// The MP4 bytes, or an empty string when encoding failed.
std::string encodeLabelledVideo(const VideoSpec& spec);

// The same, made once per distinct spec and shared.
std::shared_ptr<const std::string> cachedLabelledVideo(const VideoSpec& spec);

// For tests only: `hook` runs at the start of every encode, on the encoding thread, so that a
// test can hold an encode in progress (an empty function removes it).
void setEncodeHookForTests(std::function<void()> hook);

}  // namespace dk::cloudsim::detail
