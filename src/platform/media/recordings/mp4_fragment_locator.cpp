#include "platform/media/recordings/mp4_fragment_locator.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <utility>

namespace dk::platform {
namespace {

// A fragment's header and the box after it are read in one piece this long.
constexpr int64_t kHeaderRead = 16 << 10;
// A probe reads at least this much, and at most this much (a fragment larger than that is found
// by the probes after, each twice as long).
constexpr int64_t kLeastProbe = 8 << 10, kMostProbe = 16 << 20;
// A fragment's weight taken before any is read.
constexpr int64_t kFirstWeight = 256 << 10;
// The fragments remembered at most (a few a seek).
constexpr size_t kMostKnown = 4096;

bool readWhole(const Mp4Read& read, int64_t offset, int64_t count, std::string* out) {
  out->assign(static_cast<size_t>(count), '\0');
  for (int64_t done = 0; done < count;) {
    const int64_t n = read(offset + done, reinterpret_cast<uint8_t*>(out->data()) + done, count - done);
    if (n <= 0) return false;
    done += n;
  }
  return true;
}

int64_t saturated(__int128 v) {
  return v > INT64_MAX ? INT64_MAX : v < INT64_MIN ? INT64_MIN : static_cast<int64_t>(v);
}

}  // namespace

Mp4FragmentLocator::Mp4FragmentLocator(const Mp4Fragments& fragments, Mp4Read read, Mp4Prefetch prefetch,
                                       int64_t ticksPerSecond, int64_t maxSamples, int64_t maxFragmentBytes)
    : fragments_(fragments),
      read_(std::move(read)),
      prefetch_(std::move(prefetch)),
      ticksPerSecond_(ticksPerSecond),
      maxSamples_(maxSamples),
      maxFragmentBytes_(maxFragmentBytes) {}

int64_t Mp4FragmentLocator::locate(int64_t target, int64_t indexShift, Mp4ByteSpan span, const TimeOf& timeOf) {
  span.to = std::min(span.to, fragments_.fileSize);
  if (span.to <= span.from) return -1;
  return fragments_.indexed() ? byIndex(target, indexShift, span, timeOf) : byBytes(target, span, timeOf);
}

Mp4FragmentLocator::Known Mp4FragmentLocator::knownAround(int64_t target) const {
  Known k;
  auto it = known_.upper_bound(target);
  if (it != known_.end()) {
    k.after = it->second;
    k.afterTime = it->first;
  }
  if (it != known_.begin()) {
    --it;
    k.before = it->second;
    k.beforeTime = it->first;
  }
  return k;
}

// The index's times are its own time scale's, before the demuxer's shift; the fragment read says
// where it starts on the caller's time line (an entry may be a little off: the one before is tried).
int64_t Mp4FragmentLocator::byIndex(int64_t target, int64_t indexShift, const Mp4ByteSpan& span, const TimeOf& timeOf) {
  const auto& entries = fragments_.index->entries;
  __int128 time = static_cast<__int128>(target) - indexShift;
  const int64_t scale = fragments_.index->timescale;
  if (scale > 0 && ticksPerSecond_ > 0 && scale != ticksPerSecond_) {
    time = time * scale;
    // (Rounded down: a time just before an entry's is not taken for it.)
    time = time >= 0 ? time / ticksPerSecond_ : -((-time + ticksPerSecond_ - 1) / ticksPerSecond_);
  }
  const int64_t indexTime = saturated(time);
  auto it = std::upper_bound(entries.begin(), entries.end(), indexTime,
                             [](int64_t t, const Mp4Fragments::Entry& e) { return t < e.time; });
  while (it != entries.begin() && std::prev(it)->moof >= span.to) --it;  // (times that differ by a shift)
  for (int tries = 0; tries < 4 && it != entries.begin(); ++tries) {
    --it;
    if (it->moof <= span.from) return -1;
    const Probe p = fragmentAt(it->moof, nullptr, 0, timeOf);
    if (p.moof < 0) return -1;
    if (p.ours && p.time <= target) return p.moof;
  }
  return -1;
}

// Without an index: narrows [from, to) by probes, each where the byte rate puts the time (every
// other one halfway, so that an uneven rate still halves the bytes), a fragment's weight early
// so that the header it finds is that of the fragment holding the time. Once one at or before
// the time is found, the one after it (whose place its length tells) is read: when that is past
// the time, the search is over.
int64_t Mp4FragmentLocator::byBytes(int64_t target, Mp4ByteSpan span, const TimeOf& timeOf) {
  int64_t from = span.from, to = span.to;
  int64_t loTime = span.fromTime, hiTime = INT64_MIN;
  int64_t best = -1, bestNext = -1;
  // What is known already narrows the span.
  for (const auto& [time, moof] : known_) {
    if (moof < from || moof >= to) continue;
    if (time <= target && moof >= from) {
      best = moof;
      from = moof + 8;
      loTime = time;
    } else if (time > target && moof < to) {
      to = moof;
      hiTime = time;
      break;
    }
  }
  int64_t weight = std::max({span.fragmentBytes, heaviest_, int64_t{0}});
  if (weight == 0) weight = kFirstWeight;
  double bytesPerTick = span.bytesPerTick;
  for (int probes = 0; probes < 64 && to - from > 24; ++probes) {
    if (best >= 0 && bestNext >= to) break;  // nothing starts between it and the one past the time
    if (hiTime > loTime) bytesPerTick = static_cast<double>(to - from) / static_cast<double>(hiTime - loTime);
    // Where the rate puts it: the fragment's header is near, a probe half a fragment long about
    // it finds it (and a wider one follows when not). Halfway: the whole of one, at least.
    int64_t guess = from + (to - from) / 2;
    int64_t window = std::clamp(weight + weight / 4, kLeastProbe, kMostProbe);
    if (probes % 2 == 0 && bytesPerTick > 0) {
      const double ahead = static_cast<double>(std::max<int64_t>(target - loTime, 0)) * bytesPerTick;
      window = std::clamp(weight / 2, kLeastProbe, kMostProbe);
      guess = from + static_cast<int64_t>(std::min(ahead, static_cast<double>(to - from))) - window / 2;
    }
    // Probes start on a boundary of 4 KiB, as a reader's pieces do.
    const int64_t mid = std::clamp(guess / 4096 * 4096, from, to - 1);
    const Probe p = probe(mid, to, window, timeOf);
    if (p.moof < 0) {
      if (p.next >= to || window >= kMostProbe) {
        to = mid;  // none starts in [mid, to)
      } else {
        weight = std::min(weight * 2, kMostProbe);  // a heavier fragment than any seen: wider
      }
      continue;
    }
    weight = std::max(weight, heaviest_);
    if (p.time > target) {
      to = mid;
      hiTime = p.time;
      continue;
    }
    best = p.moof;
    bestNext = p.next;
    from = p.moof + 8;
    loTime = p.time;
    if (bestNext > from && bestNext < to) {
      const Probe after = fragmentAt(bestNext, nullptr, 0, timeOf);
      if (after.moof >= 0 && after.ours) {
        if (after.time > target) {
          to = after.moof;
          hiTime = after.time;
        } else {
          best = after.moof;
          bestNext = after.next;
          from = after.moof + 8;
          loTime = after.time;
        }
      }
    }
  }
  return best;
}

// One read of `window` bytes at `from`: the first fragment of the track whose header starts in it
// (before `to`). With none, `next` says how far it looked.
Mp4FragmentLocator::Probe Mp4FragmentLocator::probe(int64_t from, int64_t to, int64_t window, const TimeOf& timeOf) {
  Probe none;
  const int64_t count = std::min(window, fragments_.fileSize - from);
  std::string bytes;
  if (count < 24) {
    none.next = fragments_.fileSize;
    return none;
  }
  if (prefetch_) prefetch_(from, count);
  if (!readWhole(read_, from, count, &bytes)) return none;
  none.next = from + count - 24;
  for (int64_t at = mp4FragmentIn(bytes, from, fragments_.fileSize, from, to); at >= 0;
       at = mp4FragmentIn(bytes, from, fragments_.fileSize, at + 8, to)) {
    const Probe p = fragmentAt(at, &bytes, from, timeOf);
    if (p.moof >= 0 && p.ours) return p;
  }
  return none;
}

// The fragment whose header starts at `moof`, read from `bytes` (which start at `base`) as far as
// they hold it, else in one read of its header and the box after it.
Mp4FragmentLocator::Probe Mp4FragmentLocator::fragmentAt(int64_t moof, const std::string* bytes, int64_t base,
                                                          const TimeOf& timeOf) {
  std::string own;
  if (!bytes) {
    const int64_t count = std::min(kHeaderRead, fragments_.fileSize - moof);
    if (count < 8) return {};
    if (prefetch_) prefetch_(moof, count);
    if (!readWhole(read_, moof, count, &own)) return {};
    bytes = &own;
    base = moof;
  }
  const Mp4Read local = [&](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
    const auto held = static_cast<int64_t>(bytes->size());
    if (offset < base || offset >= base + held) return read_(offset, out, count);
    const int64_t n = std::min(count, base + held - offset);
    std::memcpy(out, bytes->data() + (offset - base), static_cast<size_t>(n));
    return n;
  };
  std::vector<Mp4SampleOffset> samples;
  if (!mp4FragmentAt(fragments_, local, moof, maxSamples_, maxFragmentBytes_, &samples)) return {};
  Probe p;
  p.moof = moof;
  std::string header;
  const int64_t length = mp4TopLevelBox(local, moof, fragments_.fileSize, &header);
  p.next = moof + length;
  const int64_t media = mp4TopLevelBox(local, p.next, fragments_.fileSize, &header);
  if (media >= 8 && header.compare(4, 4, "mdat") == 0) p.next += media;
  heaviest_ = std::max(heaviest_, std::min(p.next - moof, kMostProbe));
  if (!samples.empty()) {
    p.ours = true;
    p.time = timeOf(samples);
    if (known_.size() >= kMostKnown) known_.clear();
    known_[p.time] = moof;
  }
  return p;
}

}  // namespace dk::platform
