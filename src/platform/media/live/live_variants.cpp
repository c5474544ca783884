#include "platform/media/live/live_variants.h"

#include <algorithm>
#include <charconv>

#include "platform/foundation/string_case.h"
#include "platform/media/core/media_input_policy.h"
#include "platform/media/live/live_playlist.h"

namespace dk::platform {
namespace {

bool lineStarts(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

template <typename Number>
std::optional<Number> wholeNumber(std::string_view text) {
  Number value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The FFmpeg decoder an RFC 6381 codec name stands for, and whether it is a picture's; nullptr
// for one the live decoder has no use for (Dolby sound, MP3, AV1, VP9, ...).
struct CodecName {
  const char* name;   // the whole name, or its first part before a '.'
  bool exact;         // the name must be all of it (AAC's object types)
  const char* decoder;
  bool video;
};
constexpr CodecName kCodecNames[] = {
    {"avc1", false, "h264", true},      {"avc3", false, "h264", true},     {"hvc1", false, "hevc", true},
    {"hev1", false, "hevc", true},      {"mp4v.20", false, "mpeg4", true}, {"mp4a.40.2", true, "aac", false},
    {"mp4a.40.5", true, "aac", false},  {"mp4a.40.29", true, "aac", false}, {"mp4a.40.1", true, "aac", false},
    {"mp4a.40.4", true, "aac", false},  {"opus", true, "opus", false},     {"alaw", true, "pcm_alaw", false},
    {"ulaw", true, "pcm_mulaw", false},
};

const CodecName* codecName(std::string_view written) {
  const std::string name = asciiLowercase(written);
  for (const CodecName& known : kCodecNames) {
    const std::string_view prefix = known.name;
    if (name == prefix || (!known.exact && name.size() > prefix.size() && lineStarts(name, prefix) &&
                           name[prefix.size()] == '.')) {
      return &known;
    }
  }
  return nullptr;
}

// "1280x720"; nullopt when it does not read or is out of range.
std::optional<std::pair<int, int>> resolution(std::string_view text) {
  const size_t x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  const auto width = wholeNumber<int>(text.substr(0, x)), height = wholeNumber<int>(text.substr(x + 1));
  if (!width || !height || *width <= 0 || *height <= 0 || *width > LiveVariantPlaylist::kMaxSide ||
      *height > LiveVariantPlaylist::kMaxSide) {
    return std::nullopt;
  }
  return std::pair{*width, *height};
}

int64_t pixels(const LiveVariantPlaylist::Variant& v) { return int64_t{v.width} * v.height; }

}  // namespace

bool isMultivariantPlaylist(std::string_view text) {
  size_t position = 0;
  while (position < text.size()) {
    if (lineStarts(nextPlaylistLine(text, position), "#EXT-X-STREAM-INF:")) return true;
  }
  return false;
}

std::optional<LiveVariantPlaylist> parseMultivariantPlaylist(std::string_view text, std::string_view playlistURL,
                                                             std::string* error) {
  auto fail = [&](std::string why) -> std::optional<LiveVariantPlaylist> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (text.size() > LivePlaylist::kMaxBytes) return fail("the playlist is too large");
  LiveVariantPlaylist playlist;
  std::optional<LiveVariantPlaylist::Variant> pending;  // its tag read, its address next
  bool header = false;
  size_t position = 0;
  while (position < text.size()) {
    const std::string_view line = nextPlaylistLine(text, position);
    if (line.empty()) continue;
    if (!header) {
      if (line != "#EXTM3U") return fail("not a playlist");
      header = true;
      continue;
    }
    if (lineStarts(line, "#EXT-X-STREAM-INF:")) {
      if (pending) return fail("a variant without an address");
      if (playlist.variants.size() == LiveVariantPlaylist::kMaxVariants) return fail("too many variants");
      const std::string_view attributes = line.substr(18);
      LiveVariantPlaylist::Variant variant;
      if (const auto bandwidth = playlistAttribute(attributes, "BANDWIDTH")) {
        const auto value = wholeNumber<int64_t>(*bandwidth);
        if (!value || *value < 0) return fail("a bandwidth out of range");
        variant.bandwidth = *value;
      }
      if (const auto written = playlistAttribute(attributes, "RESOLUTION")) {
        const auto size = resolution(*written);
        if (!size) return fail("a resolution out of range");
        variant.width = size->first;
        variant.height = size->second;
      }
      const auto codecs = playlistAttribute(attributes, "CODECS");
      const auto audio = playlistAttribute(attributes, "AUDIO");
      if ((codecs && codecs->size() > LiveVariantPlaylist::kMaxAttributeLength) ||
          (audio && audio->size() > LiveVariantPlaylist::kMaxAttributeLength)) {
        return fail("an attribute too long");
      }
      if (codecs) variant.codecs = std::string(*codecs);
      if (audio) variant.audioGroup = std::string(*audio);
      pending = std::move(variant);
    } else if (lineStarts(line, "#EXT-X-MEDIA:")) {
      const std::string_view attributes = line.substr(13);
      if (playlistAttribute(attributes, "TYPE") != "AUDIO") continue;
      if (playlist.sound.size() == LiveVariantPlaylist::kMaxRenditions) return fail("too many renditions");
      const auto group = playlistAttribute(attributes, "GROUP-ID");
      if (!group || group->size() > LiveVariantPlaylist::kMaxAttributeLength) return fail("a rendition without a group");
      playlist.sound.push_back({std::string(*group), playlistAttribute(attributes, "URI").has_value()});
    } else if (lineStarts(line, "#EXTINF:") || lineStarts(line, "#EXT-X-TARGETDURATION:")) {
      return fail("both a multivariant and a media playlist");
    } else if (line.front() == '#') {
      continue;  // other tags (key frame playlists, session data) do not change what is played
    } else {
      if (!pending) return fail("an address without a variant");
      auto url = resolveLiveAddress(playlistURL, line);
      if (!url) return fail("a variant outside the stream");
      pending->url = std::move(*url);
      playlist.variants.push_back(std::move(*pending));
      pending.reset();
    }
  }
  if (!header) return fail("not a playlist");
  if (pending) return fail("a variant without an address");
  if (playlist.variants.empty()) return fail("no variants");
  return playlist;
}

bool liveCodecsDecodable(std::string_view codecs) {
  bool video = false;
  while (!codecs.empty()) {
    const size_t comma = std::min(codecs.find(','), codecs.size());
    const CodecName* known = codecName(trimmed(codecs.substr(0, comma)));
    // A name the live decoder's policy would refuse counts as one it cannot decode.
    if (!known || !allowsDecoder(kLiveSegmentInputPolicy, known->decoder)) return false;
    video = video || known->video;
    codecs.remove_prefix(std::min(comma + 1, codecs.size()));
  }
  return video;
}

std::optional<LiveVariantPlaylist::Variant> chooseLiveVariant(const LiveVariantPlaylist& playlist, int viewWidth,
                                                              int viewHeight, std::string* error) {
  std::vector<const LiveVariantPlaylist::Variant*> usable;
  for (const auto& variant : playlist.variants) {
    if (!variant.codecs || liveCodecsDecodable(*variant.codecs)) usable.push_back(&variant);
  }
  auto fail = [&](std::string why) -> std::optional<LiveVariantPlaylist::Variant> {
    if (error) *error = std::move(why);
    return std::nullopt;
  };
  if (usable.empty()) return fail("no variant has codecs that can be played");
  // When some give their size, those that do not are not guessed at.
  const bool sized = std::any_of(usable.begin(), usable.end(), [](const auto* v) { return v->width > 0; });
  if (sized) std::erase_if(usable, [](const auto* v) { return v->width == 0; });
  const LiveVariantPlaylist::Variant* chosen = usable.front();
  if (sized) {
    auto smaller = [](const auto* a, const auto* b) {
      return pixels(*a) != pixels(*b) ? pixels(*a) < pixels(*b) : a->bandwidth < b->bandwidth;
    };
    const LiveVariantPlaylist::Variant* fitting = nullptr;
    for (const auto* v : usable) {
      if (v->width <= viewWidth && v->height <= viewHeight && (!fitting || smaller(fitting, v))) fitting = v;
    }
    chosen = fitting ? fitting : *std::min_element(usable.begin(), usable.end(), smaller);
  }
  if (!chosen->audioGroup.empty()) {
    bool listed = false, withPictures = false;
    for (const auto& rendition : playlist.sound) {
      if (rendition.group != chosen->audioGroup) continue;
      listed = true;
      withPictures = withPictures || !rendition.separate;
    }
    // Sound fetched on its own, beside the pictures, is not something a live view plays.
    if (listed && !withPictures) return fail("its sound comes in a separate rendition");
  }
  return *chosen;
}

}  // namespace dk::platform
