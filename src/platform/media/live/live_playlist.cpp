#include "platform/media/live/live_playlist.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <deque>
#include <limits>

#include "platform/net/url.h"
#include "platform/net/url_origin.h"

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

// The zone of a date-time: "Z", or an offset "+hh:mm", "+hhmm" or "+hh"; seconds east of UTC.
std::optional<int> zoneOffset(std::string_view zone) {
  if (zone == "Z" || zone == "z") return 0;
  if (zone.size() < 3 || (zone[0] != '+' && zone[0] != '-')) return std::nullopt;
  const auto h = dateDigits(zone, 1, 2);
  std::optional<int> m = 0;
  if (zone.size() == 6 && zone[3] == ':') {
    m = dateDigits(zone, 4, 2);
  } else if (zone.size() == 5) {
    m = dateDigits(zone, 3, 2);
  } else if (zone.size() != 3) {
    return std::nullopt;
  }
  if (!h || !m || *h > 23 || *m > 59) return std::nullopt;
  return (zone[0] == '-' ? -1 : 1) * (*h * 3600 + *m * 60);
}

// A byte range "<length>[@<offset>]": a length of at least one byte, and an end no file of a
// live stream reaches (so that no sum overflows); the offset nullopt when not written.
struct PlaylistByteRange {
  int64_t length = 0;
  std::optional<int64_t> offset;
};
constexpr int64_t kLargestByteRangeEnd = int64_t{1} << 50;

std::optional<PlaylistByteRange> playlistByteRange(std::string_view text) {
  PlaylistByteRange range;
  const size_t at = text.find('@');
  const auto length = playlistInteger(text.substr(0, at));
  if (!length || *length <= 0 || *length > kLargestByteRangeEnd) return std::nullopt;
  range.length = *length;
  if (at != std::string_view::npos) {
    const auto offset = playlistInteger(text.substr(at + 1));
    if (!offset || *offset < 0 || *offset > kLargestByteRangeEnd - *length) return std::nullopt;
    range.offset = *offset;
  }
  return range;
}

// Printable ASCII, without what no URL carries unescaped (or a fragment, which is not sent).
bool printableAddress(std::string_view address) {
  for (char c : address) {
    if (c <= ' ' || c > '~' || c == '"' || c == '\\' || c == '#' || c == '<' || c == '>' || c == '^' || c == '`' ||
        c == '{' || c == '|' || c == '}') {
      return false;
    }
  }
  return true;
}

}  // namespace

bool isLiveSegmentAddress(std::string_view url) {
  if (url.size() > LivePlaylist::kMaxURLLength || !printableAddress(url)) return false;
  if (url.substr(0, 8) != "https://") return false;
  const auto origin = urlOrigin(url);
  return origin && origin->scheme == "https" && !origin->hasUser && !origin->host.empty();
}

std::optional<std::string> resolveLiveAddress(std::string_view playlistURL, std::string_view reference) {
  if (reference.empty() || reference.size() > LivePlaylist::kMaxAddressLength || !printableAddress(reference)) {
    return std::nullopt;
  }
  std::string url = resolveURL(playlistURL, reference);
  if (!isLiveSegmentAddress(url)) return std::nullopt;
  return url;
}

namespace {

// Resolves the addresses of one playlist. A file name beside the playlist (the common case,
// thousands of them in an EVENT playlist) goes after the playlist's folder, resolved and checked
// once, rather than being resolved and parsed anew: what resolveLiveAddress gives all the same.
class AddressResolver {
 public:
  explicit AddressResolver(std::string_view playlistURL) : playlistURL_(playlistURL) {
    if (const auto probe = resolveLiveAddress(playlistURL, "x")) folder_ = probe->substr(0, probe->size() - 1);
  }
  std::optional<std::string> operator()(std::string_view reference) const {
    const std::string_view path = reference.substr(0, reference.find('?'));
    const bool name = !folder_.empty() && !path.empty() && path != "." && path != ".." &&
                      path.find_first_of("/:") == std::string_view::npos;
    if (!name) return resolveLiveAddress(playlistURL_, reference);
    if (reference.size() > LivePlaylist::kMaxAddressLength || !printableAddress(reference) ||
        folder_.size() + reference.size() > LivePlaylist::kMaxURLLength) {
      return std::nullopt;
    }
    return folder_ + std::string(reference);
  }

 private:
  std::string_view playlistURL_;
  std::string folder_;  // "" when nothing resolves from the playlist's URL
};

}  // namespace

std::string_view nextPlaylistLine(std::string_view text, size_t& position) {
  const size_t end = std::min(text.find('\n', position), text.size());
  std::string_view line = text.substr(position, end - position);
  position = end + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::optional<std::string_view> playlistAttribute(std::string_view list, std::string_view key) {
  size_t at = 0;
  while (at < list.size()) {
    const size_t equals = list.find('=', at);
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view name = list.substr(at, equals - at);
    std::string_view value;
    size_t next = equals + 1;
    if (next < list.size() && list[next] == '"') {
      const size_t close = list.find('"', next + 1);
      if (close == std::string_view::npos) return std::nullopt;
      value = list.substr(next + 1, close - next - 1);
      next = close + 1;
      if (next < list.size() && list[next] != ',') return std::nullopt;
    } else {
      const size_t comma = std::min(list.find(',', next), list.size());
      value = list.substr(next, comma - next);
      next = comma;
    }
    if (name == key) return value;
    at = next + 1;
  }
  return std::nullopt;
}

std::optional<double> parseProgramDateTime(std::string_view text) {
  // yyyy-MM-ddTHH:mm:ss[.fff](Z|±HH:MM|±HHMM|±HH)
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
  const auto offset = zoneOffset(text.substr(std::min(at, text.size())));
  if (!offset) return std::nullopt;
  std::tm tm{};
  tm.tm_year = *year - 1900;
  tm.tm_mon = *month - 1;
  tm.tm_mday = *day;
  tm.tm_hour = *hour;
  tm.tm_min = *minute;
  tm.tm_sec = *second;
  return static_cast<double>(timegm(&tm)) + fraction - *offset;
}

std::optional<LivePlaylist> parseLivePlaylist(std::string_view text, std::string_view playlistURL, std::string* error) {
  auto fail = [&](std::string why) -> std::optional<LivePlaylist> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (text.size() > LivePlaylist::kMaxBytes) return fail("the playlist is too large");
  LivePlaylist playlist;
  const AddressResolver resolve(playlistURL);
  bool header = false, haveTarget = false;
  // Plain values with flags rather than optionals: the tags that set them come before the name.
  double pendingDuration = 0, pendingStart = 0;
  bool haveDuration = false, haveStart = false;
  double carriedStart = 0;
  bool carried = false;
  std::string map;  // the initialisation section of the segments that follow
  int64_t mapOffset = 0, mapLength = -1;
  std::optional<PlaylistByteRange> pendingRange;  // for the segment named next
  bool pendingDiscontinuity = false;
  std::string rangedFile;  // the file the last range was of, and where that range ended
  int64_t rangedEnd = 0;
  int64_t listed = 0;  // segments listed so far, kept or not
  std::deque<LivePlaylist::Segment> kept;  // the newest
  size_t position = 0;
  while (position < text.size()) {
    const std::string_view line = nextPlaylistLine(text, position);
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
      if (!value || *value < 0 || *value > LivePlaylist::kLargestMediaSequence) return fail("a media sequence out of range");
      // It numbers the segments from the first on: one among them would number two alike.
      if (listed > 0) return fail("a media sequence after a segment");
      playlist.mediaSequence = *value;
    } else if (playlistLineStarts(line, "#EXT-X-PROGRAM-DATE-TIME:")) {
      // A date that does not read leaves that segment's start to be carried on from the others.
      const auto start = parseProgramDateTime(line.substr(25));
      haveStart = start.has_value();
      if (start) pendingStart = *start;
    } else if (playlistLineStarts(line, "#EXTINF:")) {
      std::string_view value = line.substr(8);
      value = value.substr(0, value.find(','));
      const auto duration = playlistNumber(value);
      if (!duration || *duration <= 0 || *duration > kMaxLiveSegmentSeconds) return fail("a segment length out of range");
      pendingDuration = *duration;
      haveDuration = true;
    } else if (playlistLineStarts(line, "#EXT-X-MAP:")) {
      const std::string_view attributes = line.substr(11);
      const auto uri = playlistAttribute(attributes, "URI");
      if (!uri) return fail("an initialisation section without an address");
      auto url = resolve(*uri);
      if (!url) return fail("an initialisation section outside the stream");
      mapOffset = 0;
      mapLength = -1;
      if (const auto written = playlistAttribute(attributes, "BYTERANGE")) {
        const auto range = playlistByteRange(*written);
        if (!range) return fail("a byte range out of range");
        mapOffset = range->offset.value_or(0);
        mapLength = range->length;
      }
      map = std::move(*url);
    } else if (playlistLineStarts(line, "#EXT-X-BYTERANGE:")) {
      pendingRange = playlistByteRange(line.substr(17));
      if (!pendingRange) return fail("a byte range out of range");
    } else if (line == "#EXT-X-DISCONTINUITY") {
      pendingDiscontinuity = true;
    } else if (line == "#EXT-X-ENDLIST") {
      playlist.ended = true;
    } else if (playlistLineStarts(line, "#EXT-X-STREAM-INF") || playlistLineStarts(line, "#EXT-X-KEY")) {
      return fail("not a plain live media playlist");  // variants and encryption are not ours
    } else if (line.front() == '#') {
      continue;  // other tags and comments do not change what is played
    } else {
      if (!haveDuration) return fail("a segment without a length");
      auto url = resolve(line);
      if (!url) return fail("a segment outside the stream");
      LivePlaylist::Segment segment;
      segment.sequence = playlist.mediaSequence + listed;
      segment.duration = pendingDuration;
      segment.dated = haveStart || carried;
      segment.startTime = haveStart ? pendingStart : carriedStart;
      segment.name = std::move(*url);
      segment.map = map;
      segment.mapOffset = mapOffset;
      segment.mapLength = mapLength;
      segment.discontinuity = pendingDiscontinuity;
      if (pendingRange) {
        // Without an offset the range follows the one before, which must be of the same file.
        if (!pendingRange->offset && rangedFile != segment.name) return fail("a byte range without an offset");
        segment.offset = pendingRange->offset.value_or(rangedEnd);
        segment.length = pendingRange->length;
        if (segment.offset > kLargestByteRangeEnd - segment.length) return fail("a byte range out of range");
        rangedFile = segment.name;
        rangedEnd = segment.offset + segment.length;
      } else {
        rangedFile.clear();
      }
      carriedStart = segment.startTime + segment.duration;
      carried = segment.dated;
      ++listed;
      kept.push_back(std::move(segment));
      if (kept.size() > LivePlaylist::kMaxSegments) kept.pop_front();
      haveDuration = haveStart = pendingDiscontinuity = false;
      pendingRange.reset();
    }
  }
  if (!header) return fail("not a playlist");
  if (!haveTarget) return fail("a playlist without a target duration");
  // Segments before the first readable date are counted back from it.
  size_t firstDated = 0;
  while (firstDated < kept.size() && !kept[firstDated].dated) ++firstDated;
  if (firstDated < kept.size()) {
    for (size_t i = firstDated; i-- > 0;) {
      kept[i].startTime = kept[i + 1].startTime - kept[i].duration;
      kept[i].dated = true;
    }
  }
  playlist.segments.assign(std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end()));
  return playlist;
}

void LiveTimeline::place(LivePlaylist& playlist, double now, double notBefore) {
  auto& segments = playlist.segments;
  if (segments.empty()) return;
  if (!segments.front().dated) {
    if (!anchored_) {
      sequence_ = segments.back().sequence;
      duration_ = segments.back().duration;
      start_ = std::max(now - duration_, notBefore);
    }
    // Where the first listed segment starts: counted back from the reference when it is listed,
    // else on from it, a target duration for each segment no longer (or not yet) listed.
    const int64_t first = segments.front().sequence;
    double start = 0;
    if (sequence_ >= first && sequence_ <= segments.back().sequence) {
      start = start_;
      for (int64_t i = sequence_ - first; i-- > 0;) start -= segments[static_cast<size_t>(i)].duration;
    } else if (sequence_ < first) {
      start = start_ + duration_ + static_cast<double>(first - sequence_ - 1) * playlist.targetDuration;
    } else {
      start = start_ - static_cast<double>(sequence_ - first) * playlist.targetDuration;
    }
    for (auto& segment : segments) {
      segment.startTime = start;
      start += segment.duration;
    }
  }
  anchored_ = true;
  sequence_ = segments.back().sequence;
  start_ = segments.back().startTime;
  duration_ = segments.back().duration;
}

}  // namespace dk::platform
