// Where a recording's bytes stay put while it grows, read from its first bytes.
#pragma once

#include <cstdint>
#include <optional>

namespace dk::platform::recording_layout {

// Where an MP4 file's media box ("mdat") lies, read from the file's first bytes.
struct MediaBox {
  int64_t offset = 0, headerSize = 0, end = 0;
  int64_t payload() const { return offset + headerSize; }
};

// Where a take's bytes stay put as it grows: its media box, or the whole of a fragmented take.
std::optional<MediaBox> growingLayoutOf(const char* bytes, int64_t length, int64_t total);

}  // namespace dk::platform::recording_layout
