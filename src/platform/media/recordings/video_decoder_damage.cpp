// VideoDecoder's damage bookkeeping: which groups of pictures were found damaged and from which
// sample, whether a frame comes after damage in its group, and passing such a frame over.
#include <algorithm>
#include <climits>

#include "platform/media/recordings/video_decoder.h"
#include "platform/media/recordings/video_decoder_impl.h"

namespace dk::platform {

// The group of pictures shown at `pts`: the last key sample presented at or before it (its
// index in keySamples; -1 before the first). Frames decoded after a key frame but shown before
// it belong to the group before, as their references do.
long VideoDecoder::Impl::groupAt(int64_t pts) const {
  auto it = std::upper_bound(keySamples.begin(), keySamples.end(), pts,
                             [&](int64_t value, size_t key) { return value < samples[key].pts; });
  return static_cast<long>(it - keySamples.begin()) - 1;
}

size_t VideoDecoder::Impl::groupEnd(long group) const {
  const auto next = static_cast<size_t>(group) + 1;
  return next < keySamples.size() ? keySamples[next] : samples.size();
}

void VideoDecoder::Impl::noteDamageIn(long group, size_t sample) {
  if (group < 0) group = 0;
  const size_t key = keySamples[static_cast<size_t>(group)];
  sample = std::clamp(sample, key, groupEnd(group) - 1);
  auto [it, added] = damagedGroups.emplace(key, sample);
  if (!added) it->second = std::min(it->second, sample);
  earliestNewDamage = std::min(earliestNewDamage, group);
}

// Damage of a sample (-1: not known; then of the frame shown at `pts`, from its group's key).
void VideoDecoder::Impl::noteDamage(long sample, int64_t pts) {
  if (sample < 0) {
    noteDamageIn(groupAt(pts), 0);
    return;
  }
  auto it = std::upper_bound(keySamples.begin(), keySamples.end(), static_cast<size_t>(sample));
  noteDamageIn(static_cast<long>(it - keySamples.begin()) - 1, static_cast<size_t>(sample));
}

// Damage of the picture shown at `pts`: of the sample it came from.
void VideoDecoder::Impl::noteDamageAt(int64_t pts) {
  const long group = groupAt(pts);
  if (group < 0) return noteDamageIn(group, 0);
  const size_t key = keySamples[static_cast<size_t>(group)];
  size_t sample = key;
  for (size_t i = key; i < groupEnd(group); ++i) {
    if (samples[i].pts == pts) {
      sample = i;
      break;
    }
  }
  noteDamageIn(group, sample);
}

// Whether the frame shown at `pts` comes after damage in its group: shown no earlier than the
// first picture decoded at or after the first damaged sample.
bool VideoDecoder::Impl::damagedAt(int64_t pts) const {
  const long group = groupAt(pts);
  if (group < 0 || damagedGroups.empty()) return false;
  auto it = damagedGroups.find(keySamples[static_cast<size_t>(group)]);
  if (it == damagedGroups.end()) return false;
  int64_t from = INT64_MAX;
  for (size_t i = it->second; i < groupEnd(group); ++i) from = std::min(from, samples[i].pts);
  return pts >= from;
}

// A frame that would show damage: nothing is shown, and the next frame asked for is decoded
// afresh from its own key frame, not from what the damage left in the decoder.
ImagePtr VideoDecoder::Impl::passOver() {
  damaged = true;
  sessionStart = -1;
  return nullptr;
}

}  // namespace dk::platform
