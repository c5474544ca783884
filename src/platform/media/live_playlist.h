// The live playlist a camera's stream is described by (an HLS media playlist), read with bounds:
// only what a live player needs (target duration, media sequence, each segment's length, start
// time and name), and only segment names that stay inside the stream's own folder, so that no
// playlist can send the player (and its bearer token) anywhere else.
//
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dk::platform {

struct LivePlaylist {
  struct Segment {
    int64_t sequence = 0;
    double duration = 0;  // seconds
    double startTime = 0;  // seconds since 1970 (from the program date-time, else carried on)
    std::string name;      // a plain file name in the playlist's folder
  };
  double targetDuration = 0;
  int64_t mediaSequence = 0;
  bool ended = false;
  std::vector<Segment> segments;

  static constexpr size_t kMaxBytes = 64 * 1024;
  static constexpr size_t kMaxSegments = 64;
};

// Parses a playlist; nullopt with a reason for a text that is too large, not a media playlist, has
// a length out of range (a media sequence whose segment numbers would pass the 64-bit limit
// included), sets the media sequence after a segment, or names a segment by anything but a plain
// file name.
std::optional<LivePlaylist> parseLivePlaylist(std::string_view text, std::string* error = nullptr);

// A file name of letters, digits, '-', '_' and '.', not starting with '.', at most 128 long.
bool isPlainSegmentName(std::string_view name);

// "2023-11-14T22:13:20.000Z" or with an offset "+02:00"; nullopt otherwise.
std::optional<double> parseProgramDateTime(std::string_view text);

}  // namespace dk::platform
