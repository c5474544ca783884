// checkCompleteMp4Video: whether a file is what a downloaded clip claims to be, before it is kept.
//
// The file must open as MPEG-4 (only the mov/mp4 demuxer, only the file protocol, no external
// references), carry a video stream, have its index (the moov box) and every sample that index
// names must lie inside the file, so a truncated download, an HTML page or random bytes are told
// apart from a playable clip. Nothing is decoded. Thread-safe; reads the file, so call it off the
// main thread.
#pragma once

#include <string>

#include "platform/foundation/error.h"

namespace dk::platform {

// The error domain of a file that is not a complete MP4 video; codes below.
inline constexpr const char* kMp4CheckErrorDomain = "Mp4CheckErrorDomain";
inline constexpr int64_t kMp4NotReadable = 1;    // no such file, or not MPEG-4 at all (no index)
inline constexpr int64_t kMp4NoVideo = 2;        // no video stream with samples
inline constexpr int64_t kMp4Truncated = 3;      // the index names bytes past the end of the file

// nullptr when `path` is a complete MP4 video; otherwise the reason.
ErrorPtr checkCompleteMp4Video(const std::string& path);

}  // namespace dk::platform
