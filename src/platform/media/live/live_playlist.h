// The live playlist a camera's stream is described by (an HLS media playlist), read with bounds:
// only what a live player needs (target duration, media sequence, each segment's length, start
// time, address and initialisation section). Every address is resolved against the playlist's own
// URL as a browser resolves a link (dot segments and all, the query kept as written), and only
// what resolves to an https URL naming no user may be fetched (where the bearer token may go is
// decided by the fetcher against the cloud's origin). Anything else (plain http, other schemes)
// is refused before anything is fetched.
//
// Pure functions and a small value type; thread-safe except a LiveTimeline, which belongs to one
// live view.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dk::platform {

struct LivePlaylist {
  struct Segment {
    int64_t sequence = 0;
    double duration = 0;   // seconds
    double startTime = 0;  // seconds since 1970; meaningful when `dated` (else LiveTimeline places it)
    // The start comes from a program date-time of this playlist: its own, carried on from an
    // earlier segment, or counted back from a later one.
    bool dated = false;
    std::string name;  // its URL, resolved against the playlist's (see resolveLiveAddress)
    std::string map;   // the URL of its initialisation section (fMP4); "" for MPEG-TS
    // A range of the file at `name` (EXT-X-BYTERANGE, a packager writing one growing file):
    // `length` bytes from `offset`; length -1 for the whole file. The same for its `map`.
    int64_t offset = 0, length = -1;
    int64_t mapOffset = 0, mapLength = -1;
    // The stream may start anew here (EXT-X-DISCONTINUITY: another encoder, other numbering).
    bool discontinuity = false;
  };
  double targetDuration = 0;
  int64_t mediaSequence = 0;
  bool ended = false;
  // The newest kMaxSegments of the playlist (an EVENT playlist lists every segment since it began).
  std::vector<Segment> segments;

  static constexpr size_t kMaxBytes = 1 << 20;
  static constexpr size_t kMaxSegments = 64;
  // An address as written, and the URL it resolves to.
  static constexpr size_t kMaxAddressLength = 2048;
  static constexpr size_t kMaxURLLength = 4096;
  // Each segment's number is the media sequence plus its place, and a playlist cannot list more
  // segments than it has bytes: no number passes the 64-bit limit.
  static constexpr int64_t kLargestMediaSequence = std::numeric_limits<int64_t>::max() - static_cast<int64_t>(kMaxBytes);
};

// Parses a playlist fetched from `playlistURL` (absolute); nullopt with a reason for a text that
// is too large, not a media playlist, has a length or byte range out of range, sets the media
// sequence after a segment, uses encryption or variants, or names a segment or initialisation
// section by an address a live player may not fetch. An unreadable program date-time costs only
// that segment's date.
std::optional<LivePlaylist> parseLivePlaylist(std::string_view text, std::string_view playlistURL,
                                              std::string* error = nullptr);

// The URL `reference` (an address as a playlist writes it) names in the playlist at
// `playlistURL`; nullopt when the reference is not printable ASCII without spaces, quotes,
// backslashes or a fragment, is longer than kMaxAddressLength, or does not resolve to a live URL.
std::optional<std::string> resolveLiveAddress(std::string_view playlistURL, std::string_view reference);

// An https URL naming a host and no user, printable ASCII without spaces, quotes, backslashes or
// a fragment, at most kMaxURLLength long; it may carry a query.
bool isLiveSegmentAddress(std::string_view url);

// The line of a playlist that starts at `position`, without its line end ("\n" or "\r\n");
// `position` moves past it. Both playlist readers read their text this way.
std::string_view nextPlaylistLine(std::string_view text, size_t& position);

// The value of `key` in a tag's attribute list (KEY=VALUE,KEY="quoted, value"), quotes removed;
// nullopt when absent or when the list does not read.
std::optional<std::string_view> playlistAttribute(std::string_view list, std::string_view key);

// ISO 8601 as packagers write it: "2023-11-14T22:13:20.000Z", or with an offset "+02:00",
// "+0200" or "+02" (ffmpeg writes "+0000"); the fraction is optional. nullopt otherwise.
std::optional<double> parseProgramDateTime(std::string_view text);

// The time line of a live view whose playlists carry no program date-time: each segment's start
// follows from its media sequence number and the lengths listed, carried on across reloads, and
// anchored once, at the first playlist, with its newest segment ending at the clock (the view
// opens at the live edge). Dated playlists keep their own times and only move the reference on.
class LiveTimeline {
 public:
  // Gives every undated segment of `playlist` its start. `now`: the clock; `notBefore`: the
  // earliest start an anchoring may give (so a rejoined stream does not go back).
  void place(LivePlaylist& playlist, double now, double notBefore = 0);
  // The stream restarted (its numbers went back): the next playlist is anchored anew.
  void reset() { anchored_ = false; }

 private:
  bool anchored_ = false;
  int64_t sequence_ = 0;  // the newest segment placed so far, and its start and length
  double start_ = 0, duration_ = 0;
};

}  // namespace dk::platform
