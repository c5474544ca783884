#include "platform/media/recordings/recording_layout.h"

#include <string_view>

namespace dk::platform::recording_layout {
namespace {

uint64_t bigEndian(const char* bytes, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return value;
}

// The media box when the top-level boxes before it are all in `bytes` and the index follows it;
// nothing for an index first ("faststart": the media moves whenever the index grows), a media
// box running to the end, or sizes that do not add up.
std::optional<MediaBox> mediaBoxOf(const char* bytes, int64_t length, int64_t total) {
  int64_t at = 0;
  while (at + 8 <= length) {
    int64_t size = static_cast<int64_t>(bigEndian(bytes + at, 4)), header = 8;
    if (size == 1) {
      if (at + 16 > length) return std::nullopt;
      const uint64_t large = bigEndian(bytes + at + 8, 8);
      if (large > static_cast<uint64_t>(total)) return std::nullopt;
      size = static_cast<int64_t>(large);
      header = 16;
    }
    const std::string_view type(bytes + at + 4, 4);
    if (size < header || size > total - at || type == "moov") return std::nullopt;
    if (type == "mdat") {
      if (at + size >= total) return std::nullopt;
      return MediaBox{at, header, at + size};
    }
    at += size;
  }
  return std::nullopt;
}

// A fragmented MP4 (its movie box, wholly in `bytes`, announces fragments): it grows by whole
// fragments appended at its end, so every byte of a take stays where it is in a longer one. Its
// "media" is then the whole take: nothing before its end moves.
std::optional<MediaBox> fragmentedLayoutOf(const char* bytes, int64_t length, int64_t total) {
  int64_t at = 0;
  while (at + 8 <= length) {
    const auto size = static_cast<int64_t>(bigEndian(bytes + at, 4));
    const std::string_view type(bytes + at + 4, 4);
    if (size < 8 || size > total - at) return std::nullopt;
    if (type == "mdat" || type == "moof") return std::nullopt;
    if (type == "moov") {
      if (at + size > length) return std::nullopt;
      for (int64_t inner = at + 8; inner + 8 <= at + size;) {
        const auto innerSize = static_cast<int64_t>(bigEndian(bytes + inner, 4));
        if (innerSize < 8 || innerSize > at + size - inner) return std::nullopt;
        if (std::string_view(bytes + inner + 4, 4) == "mvex") return MediaBox{0, 0, total};
        inner += innerSize;
      }
      return std::nullopt;
    }
    at += size;
  }
  return std::nullopt;
}

}  // namespace

// Where a take's bytes stay put as it grows: its media box, or the whole of a fragmented take.
std::optional<MediaBox> growingLayoutOf(const char* bytes, int64_t length, int64_t total) {
  if (auto box = mediaBoxOf(bytes, length, total)) return box;
  return fragmentedLayoutOf(bytes, length, total);
}

}  // namespace dk::platform::recording_layout
