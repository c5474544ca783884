// What a camera's live stream sends, through the live view's readers: any bytes read as a playlist
// are refused or give at most 64 segments numbered on from the media sequence without wrapping,
// each of a length the view accepts and an address it may fetch (read as a multivariant playlist,
// they are refused or give bounded variants it may fetch); any bytes decoded as a segment (MPEG-TS,
// or an fMP4 fragment after an initialisation section) give pictures within the camera bounds, in
// time order, within the segment's budget, and sound of a rate and channel count a microphone has
// within the sound's budget, and then end or are refused; the same when the bytes, cut in two, are
// decoded as two segments of one stream. Nothing is fetched: the bytes are in memory.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "platform/media/live/live_playlist.h"
#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/live/live_variants.h"

namespace {

using dk::platform::LivePictureLimits;
using dk::platform::LiveSoundLimits;

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr const char* kPlaylistURL = "https://cloud.example/media/cameras/2/live/index.m3u8";

void checkVariants(const std::string& text) {
  const auto variants = dk::platform::parseMultivariantPlaylist(text, kPlaylistURL);
  if (!variants) return;
  check(!variants->variants.empty() && variants->variants.size() <= dk::platform::LiveVariantPlaylist::kMaxVariants);
  for (const auto& variant : variants->variants) check(dk::platform::isLiveSegmentAddress(variant.url));
  const auto chosen = dk::platform::chooseLiveVariant(*variants, 1280, 720);
  check(!chosen || dk::platform::isLiveSegmentAddress(chosen->url));
}

void checkPlaylist(const std::string& text) {
  checkVariants(text);
  const auto playlist = dk::platform::parseLivePlaylist(text, kPlaylistURL);
  if (!playlist) return;
  check(playlist->targetDuration > 0 && playlist->targetDuration <= 30);
  check(playlist->segments.size() <= dk::platform::LivePlaylist::kMaxSegments);
  for (size_t i = 0; i < playlist->segments.size(); ++i) {
    const auto& segment = playlist->segments[i];
    check(segment.sequence >= playlist->mediaSequence);
    check(i == 0 || segment.sequence == playlist->segments[i - 1].sequence + 1);
    check(segment.duration > 0 && segment.duration <= 30);
    check(dk::platform::isLiveSegmentAddress(segment.name));
    check(segment.map.empty() || dk::platform::isLiveSegmentAddress(segment.map));
    // A byte range is a whole file or at least a byte, its end far from overflowing.
    for (const auto& [offset, length] : {std::pair{segment.offset, segment.length}, {segment.mapOffset, segment.mapLength}}) {
      check(length == -1 || (length > 0 && offset >= 0 && offset <= (int64_t{1} << 50) - length));
    }
  }
}

void checkSound(dk::platform::LiveSegmentDecoder& decoder) {
  for (const auto& sound : decoder.takeSound()) {
    check(sound.sampleRate >= LiveSoundLimits::kMinSampleRate && sound.sampleRate <= LiveSoundLimits::kMaxSampleRate);
    check(sound.channels >= 1 && sound.channels <= LiveSoundLimits::kMaxChannels);
    check(!sound.samples.empty() && sound.samples.size() % static_cast<size_t>(sound.channels) == 0);
    check(std::isfinite(sound.offset));
  }
}

// `init`: read as an fMP4 fragment after that initialisation section; null: as MPEG-TS.
void checkSegment(const std::string& bytes, const std::string* init) {
  const int64_t budget = LivePictureLimits::segmentBudget(2);
  const int64_t soundBudget = LiveSoundLimits::segmentBudget(2);
  dk::platform::LiveSegmentDecoder decoder;
  auto segment = std::make_shared<const std::string>(bytes);
  const bool opened = init ? decoder.openFragment(std::make_shared<const std::string>(*init), segment, budget,
                                                  soundBudget, nullptr)
                           : decoder.open(segment, budget, soundBudget, nullptr);
  if (!opened) return;
  double last = 0;
  for (;;) {
    dk::platform::LiveSegmentFrame frame;
    const auto step = decoder.next(frame);
    checkSound(decoder);
    if (step != dk::platform::LiveSegmentDecoder::Step::Picture) break;
    check(frame.image != nullptr);
    const int w = frame.image->pixelWidth(), h = frame.image->pixelHeight();
    check(w > 0 && h > 0 && w <= LivePictureLimits::kMaxSide && h <= LivePictureLimits::kMaxSide);
    check(int64_t{w} * h <= LivePictureLimits::kMaxPixels);
    check(std::isfinite(frame.offset) && frame.offset >= last);
    last = frame.offset;
    check(decoder.pictureCount() <= LivePictureLimits::kMaxFrames);
  }
  check(decoder.decodedBytes() <= budget);
  check(decoder.decodedSoundBytes() <= soundBudget);
}

// The two halves of the bytes as two segments of one stream, the second starting anew or not.
void checkStream(const std::string& bytes, bool anew) {
  const int64_t budget = LivePictureLimits::segmentBudget(2);
  const int64_t soundBudget = LiveSoundLimits::segmentBudget(2);
  dk::platform::LiveSegmentDecoder decoder;
  double last = 100;
  for (int part = 0; part < 2; ++part) {
    const std::string half = part == 0 ? bytes.substr(0, bytes.size() / 2) : bytes.substr(bytes.size() / 2);
    dk::platform::LiveSegmentInput input{nullptr, std::make_shared<const std::string>(half), 100.0 + 2 * part, part,
                                         part == 1 && anew, budget, soundBudget};
    if (!decoder.add(input)) return;
    for (;;) {
      dk::platform::LiveSegmentFrame frame;
      const auto step = decoder.next(frame);
      checkSound(decoder);
      if (step == dk::platform::LiveSegmentDecoder::Step::Failed) return;
      if (step == dk::platform::LiveSegmentDecoder::Step::End) break;
      check(frame.image != nullptr && std::isfinite(frame.offset));
      // Later pictures are later, or (the stream started anew, asked or not) from the second's start.
      check(frame.offset >= (part == 0 ? last : std::min(last, 102.0)));
      last = frame.offset;
      check(decoder.pictureCount() <= LivePictureLimits::kMaxFrames);
      check(decoder.decodedBytes() <= budget);
    }
    check(decoder.decodedSoundBytes() <= soundBudget);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  checkPlaylist(bytes);
  checkSegment(bytes, nullptr);
  // The same bytes as an initialisation section and its fragment, cut in the middle.
  const std::string init = bytes.substr(0, size / 2);
  checkSegment(bytes.substr(size / 2), &init);
  checkStream(bytes, size % 2 == 1);
  return 0;
}
