// Decodes one live segment (an MPEG-TS file held in memory) into pictures, with only the demuxer
// and decoder that media_input_policy.h names for live segments. A segment is short (a few frames), so it is
// decoded whole.
//
// Pure function; thread-safe (each call has its own FFmpeg contexts). Runs on a background queue.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/image.h"

namespace dk::platform {

struct LiveSegmentFrame {
  double offset = 0;  // seconds from the segment's first frame
  ImagePtr image;
};

// The frames of the segment in presentation order; nullopt with a reason for anything that is not
// a decodable MPEG-4 video in MPEG-TS, or that exceeds the bounds (picture size, frame count).
std::optional<std::vector<LiveSegmentFrame>> decodeLiveSegment(std::string_view bytes, std::string* error = nullptr);

}  // namespace dk::platform
