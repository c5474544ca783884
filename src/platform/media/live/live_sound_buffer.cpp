#include "platform/media/live/live_sound_buffer.h"

#include <algorithm>
#include <cmath>

namespace dk::platform {

void LiveSoundBuffer::add(double time, const LiveSegmentSound& sound) {
  if (!std::isfinite(time) || sound.sampleRate <= 0 || sound.channels <= 0) return;
  std::lock_guard lock(mutex_);
  if (rate_ == 0) {
    rate_ = sound.sampleRate;
    channels_ = sound.channels;
  }
  if (sound.sampleRate != rate_ || sound.channels != channels_) return;
  const auto channels = static_cast<size_t>(channels_);
  const auto count = static_cast<int64_t>(sound.samples.size() / channels);
  int64_t from = std::llround(time * rate_);
  const int64_t gapLimit = std::llround(kMaxGapSeconds * rate_);
  int64_t end = start_ + static_cast<int64_t>(samples_.size() / channels);
  if (samples_.empty() || from > end + gapLimit || from + count < start_ - gapLimit) {
    // Nothing held to follow on from, or too far from it: start afresh here.
    samples_.clear();
    start_ = end = from;
    // Times already played are not played again, unless the stream went back a long way.
    if (playedUntil_ > from && playedUntil_ - from <= count + gapLimit) start_ = end = playedUntil_;
  }
  if (from > end) {
    samples_.insert(samples_.end(), static_cast<size_t>(from - end) * channels, 0);
    end = from;
  }
  const int64_t skip = std::max<int64_t>(0, end - from);  // held or played already
  if (skip >= count) return;
  samples_.insert(samples_.end(), sound.samples.begin() + static_cast<std::ptrdiff_t>(skip * channels_),
                  sound.samples.begin() + static_cast<std::ptrdiff_t>(count * channels_));
  const auto most = static_cast<size_t>(kMaxSeconds * rate_) * channels;
  if (samples_.size() > most) {
    const size_t drop = (samples_.size() - most) / channels * channels;
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(drop));
    start_ += static_cast<int64_t>(drop / channels);
  }
}

void LiveSoundBuffer::setRefusal(std::string why) {
  std::lock_guard lock(mutex_);
  refusal_ = std::move(why);
}

bool LiveSoundBuffer::format(int* sampleRate, int* channels) const {
  std::lock_guard lock(mutex_);
  *sampleRate = rate_;
  *channels = channels_;
  return rate_ > 0;
}

std::string LiveSoundBuffer::refusal() const {
  std::lock_guard lock(mutex_);
  return refusal_;
}

int64_t LiveSoundBuffer::heldFrames() const {
  std::lock_guard lock(mutex_);
  return channels_ ? static_cast<int64_t>(samples_.size()) / channels_ : 0;
}

void LiveSoundBuffer::read(double seconds, int64_t frames, std::vector<int16_t>* out) {
  std::lock_guard lock(mutex_);
  frames = std::max<int64_t>(0, frames);
  const auto channels = static_cast<size_t>(std::max(1, channels_));
  out->assign(static_cast<size_t>(frames) * channels, 0);
  if (rate_ == 0 || !std::isfinite(seconds)) return;
  const int64_t from = std::llround(seconds * rate_), to = from + frames;
  const int64_t end = start_ + static_cast<int64_t>(samples_.size() / channels);
  const int64_t copyFrom = std::max(from, start_), copyTo = std::min(to, end);
  if (copyTo > copyFrom) {
    std::copy(samples_.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(copyFrom - start_) * channels),
              samples_.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(copyTo - start_) * channels),
              out->begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(copyFrom - from) * channels));
  }
  // Played: let it go, and take no sound for these times later.
  const int64_t keepFrom = std::clamp(to, start_, end);
  samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(keepFrom - start_) * channels));
  start_ = keepFrom;
  playedUntil_ = std::max(playedUntil_, to);
}

}  // namespace dk::platform
