// The multivariant playlist a media server or CDN may answer a live stream's URL with (the same
// stream encoded several times, each version with its own media playlist), read with the bounds
// of a media playlist, and the one version a live view plays: one it can decode, the largest
// that fits the view's pixels (else the smallest), whose sound comes with its pictures. The view
// keeps that version; it does not switch.
//
// Pure functions and value types; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dk::platform {

struct LiveVariantPlaylist {
  struct Variant {
    std::string url;  // of its media playlist, resolved against the multivariant playlist's
    int64_t bandwidth = 0;
    int width = 0, height = 0;          // 0 when it does not say
    std::optional<std::string> codecs;  // RFC 6381 names, as written
    std::string audioGroup;             // its sound renditions; "" for none
  };
  // A version of the sound (EXT-X-MEDIA of TYPE=AUDIO).
  struct SoundRendition {
    std::string group;
    bool separate = false;  // it has a playlist of its own, apart from the pictures
  };
  std::vector<Variant> variants;
  std::vector<SoundRendition> sound;

  static constexpr size_t kMaxVariants = 64;
  static constexpr size_t kMaxRenditions = 64;
  static constexpr size_t kMaxAttributeLength = 1024;
  static constexpr int kMaxSide = 16384;
};

// Whether `text` is a multivariant playlist (it lists variants) rather than a media playlist.
bool isMultivariantPlaylist(std::string_view text);

// Parses a multivariant playlist fetched from `playlistURL`; nullopt with a reason for a text too
// large, not a playlist, listing media segments too, or with more variants or renditions than the
// bounds, an attribute past its length, a resolution out of range, or a variant whose address
// does not resolve to a live URL (see resolveLiveAddress).
std::optional<LiveVariantPlaylist> parseMultivariantPlaylist(std::string_view text, std::string_view playlistURL,
                                                             std::string* error = nullptr);

// Whether a CODECS list names only what the live decoder decodes, and a video codec among them.
bool liveCodecsDecodable(std::string_view codecs);

// The variant a view of `viewWidth` x `viewHeight` pixels plays: among those it can decode (by
// CODECS when given), the largest whose RESOLUTION fits, else the smallest (the first listed when
// none gives a resolution). nullopt with a reason when none can be decoded, or when the one chosen
// has its sound only in renditions of their own.
std::optional<LiveVariantPlaylist::Variant> chooseLiveVariant(const LiveVariantPlaylist& playlist, int viewWidth,
                                                              int viewHeight, std::string* error = nullptr);

}  // namespace dk::platform
