#include "platform/media/live_playlist.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

namespace dk::platform {
namespace {

constexpr double kMaxLiveSegmentSeconds = 30;

bool playlistLineStarts(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::optional<double> playlistNumber(std::string_view text) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int64_t> playlistInteger(std::string_view text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<int> dateDigits(std::string_view text, size_t at, size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

bool isPlainSegmentName(std::string_view name) {
  if (name.empty() || name.size() > 128 || name.front() == '.') return false;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

std::optional<double> parseProgramDateTime(std::string_view text) {
  // yyyy-MM-ddTHH:mm:ss[.fff](Z|±HH:MM)
  const auto year = dateDigits(text, 0, 4), month = dateDigits(text, 5, 2), day = dateDigits(text, 8, 2);
  const auto hour = dateDigits(text, 11, 2), minute = dateDigits(text, 14, 2), second = dateDigits(text, 17, 2);
  if (!year || !month || !day || !hour || !minute || !second || text[4] != '-' || text[7] != '-' ||
      (text[10] != 'T' && text[10] != 't') || text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  if (*month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60) return std::nullopt;
  size_t at = 19;
  double fraction = 0;
  if (at < text.size() && text[at] == '.') {
    double scale = 0.1;
    ++at;
    const size_t begin = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - begin < 9) {
      fraction += (text[at] - '0') * scale;
      scale /= 10;
      ++at;
    }
    if (at == begin) return std::nullopt;
  }
  int offset = 0;
  const std::string_view zone = text.substr(std::min(at, text.size()));
  if (zone == "Z" || zone == "z") {
    offset = 0;
  } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    const auto h = dateDigits(zone, 1, 2), m = dateDigits(zone, 4, 2);
    if (!h || !m || *h > 23 || *m > 59) return std::nullopt;
    offset = (zone[0] == '-' ? -1 : 1) * (*h * 3600 + *m * 60);
  } else {
    return std::nullopt;
  }
  std::tm tm{};
  tm.tm_year = *year - 1900;
  tm.tm_mon = *month - 1;
  tm.tm_mday = *day;
  tm.tm_hour = *hour;
  tm.tm_min = *minute;
  tm.tm_sec = *second;
  return static_cast<double>(timegm(&tm)) + fraction - offset;
}

std::optional<LivePlaylist> parseLivePlaylist(std::string_view text, std::string* error) {
  auto fail = [&](std::string why) -> std::optional<LivePlaylist> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (text.size() > LivePlaylist::kMaxBytes) return fail("the playlist is too large");
  LivePlaylist playlist;
  bool header = false, haveTarget = false;
  // Plain values with flags rather than optionals: the tags that set them come before the name.
  double pendingDuration = 0, pendingStart = 0;
  bool haveDuration = false, haveStart = false;
  double carriedStart = 0;
  size_t position = 0;
  while (position < text.size()) {
    size_t end = text.find('\n', position);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(position, end - position);
    position = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (!header) {
      if (line != "#EXTM3U") return fail("not a playlist");
      header = true;
      continue;
    }
    if (playlistLineStarts(line, "#EXT-X-TARGETDURATION:")) {
      const auto value = playlistNumber(line.substr(22));
      if (!value || *value <= 0 || *value > kMaxLiveSegmentSeconds) return fail("a target duration out of range");
      playlist.targetDuration = *value;
      haveTarget = true;
    } else if (playlistLineStarts(line, "#EXT-X-MEDIA-SEQUENCE:")) {
      const auto value = playlistInteger(line.substr(22));
      // Each segment's number is the media sequence plus its place: that sum must not overflow.
      constexpr int64_t kLargest = std::numeric_limits<int64_t>::max() - static_cast<int64_t>(LivePlaylist::kMaxSegments);
      if (!value || *value < 0 || *value > kLargest) return fail("a media sequence out of range");
      // It numbers the segments from the first on: one among them would number two alike.
      if (!playlist.segments.empty()) return fail("a media sequence after a segment");
      playlist.mediaSequence = *value;
    } else if (playlistLineStarts(line, "#EXT-X-PROGRAM-DATE-TIME:")) {
      const auto start = parseProgramDateTime(line.substr(25));
      if (!start) return fail("an unreadable program date-time");
      pendingStart = *start;
      haveStart = true;
    } else if (playlistLineStarts(line, "#EXTINF:")) {
      std::string_view value = line.substr(8);
      value = value.substr(0, value.find(','));
      const auto duration = playlistNumber(value);
      if (!duration || *duration <= 0 || *duration > kMaxLiveSegmentSeconds) return fail("a segment length out of range");
      pendingDuration = *duration;
      haveDuration = true;
    } else if (line == "#EXT-X-ENDLIST") {
      playlist.ended = true;
    } else if (playlistLineStarts(line, "#EXT-X-STREAM-INF") || playlistLineStarts(line, "#EXT-X-KEY") || playlistLineStarts(line, "#EXT-X-MAP")) {
      return fail("not a plain live media playlist");  // variants, encryption and init segments are not ours
    } else if (line.front() == '#') {
      continue;  // other tags and comments do not change what is played
    } else {
      if (!haveDuration) return fail("a segment without a length");
      if (!isPlainSegmentName(line)) return fail("a segment outside the stream");
      if (playlist.segments.size() >= LivePlaylist::kMaxSegments) return fail("too many segments");
      LivePlaylist::Segment segment;
      segment.sequence = playlist.mediaSequence + static_cast<int64_t>(playlist.segments.size());
      segment.duration = pendingDuration;
      segment.startTime = haveStart ? pendingStart : carriedStart;
      segment.name = std::string(line);
      carriedStart = segment.startTime + segment.duration;
      playlist.segments.push_back(std::move(segment));
      haveDuration = haveStart = false;
    }
  }
  if (!header) return fail("not a playlist");
  if (!haveTarget) return fail("a playlist without a target duration");
  return playlist;
}

}  // namespace dk::platform
