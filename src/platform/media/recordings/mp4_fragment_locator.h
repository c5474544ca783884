// Mp4FragmentLocator: the fragment of a fragmented recording that holds a time, for the video and
// the sound decoders alike. By the file's index of fragments when it has one (its times rescaled
// from its own time scale, the fragment found read to check it); else by narrowing the bytes
// between two places whose times are known, where each probe is one read, as long as the
// fragments seen so far weigh (a fragment's header is sure to start within it), placed where the
// byte rate puts the time. A probe that finds no fragment's header widens the next one rather
// than deciding anything. Every fragment read is remembered, so that a later seek near it starts
// from what is known.
//
// Thread-compatible: each decoder has its own.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "platform/media/recordings/mp4_boxes.h"

namespace dk::platform {

// Tells a reader, without waiting, of a span about to be read whole (one transfer for it).
using Mp4Prefetch = std::function<void(int64_t offset, int64_t length)>;

// Where to look: the bytes [from, to), the time at `from` (of the fragment that ends there) and,
// when known, the bytes a tick and what one fragment weighs (0: not known).
struct Mp4ByteSpan {
  int64_t from = 0, to = 0;
  int64_t fromTime = 0;
  double bytesPerTick = 0;
  int64_t fragmentBytes = 0;
};

class Mp4FragmentLocator {
 public:
  // A fragment's time on the caller's time line, from its samples of the track.
  using TimeOf = std::function<int64_t(const std::vector<Mp4SampleOffset>&)>;

  // `fragments` holds what every fragment of the track shares (its index included); the caller's
  // time line counts `ticksPerSecond`. Reads are bounded by `maxSamples` and `maxFragmentBytes`.
  Mp4FragmentLocator(const Mp4Fragments& fragments, Mp4Read read, Mp4Prefetch prefetch, int64_t ticksPerSecond,
                     int64_t maxSamples, int64_t maxFragmentBytes);

  // The last fragment within `span` whose time (`timeOf` its samples) is at or before `target`;
  // -1 when none is found. `indexShift` is the caller's time line minus the index's (the
  // demuxer's shift), in the caller's ticks.
  int64_t locate(int64_t target, int64_t indexShift, Mp4ByteSpan span, const TimeOf& timeOf);

  // The nearest fragments known (read before) around `target`: the last at or before it (-1:
  // none) and the first after it (-1: none), with their times.
  struct Known {
    int64_t before = -1, beforeTime = 0, after = -1, afterTime = 0;
  };
  Known knownAround(int64_t target) const;
  // What the fragments read so far weigh at most, in bytes (0: none read).
  int64_t fragmentBytes() const { return heaviest_; }

 private:
  struct Probe {
    int64_t moof = -1;   // where the fragment found starts (-1: none in the bytes read)
    int64_t time = 0;
    int64_t next = -1;   // where the box after its media ends (-1: not known)
    bool ours = false;   // it holds samples of the track (`time` is theirs)
  };
  int64_t byIndex(int64_t target, int64_t indexShift, const Mp4ByteSpan& span, const TimeOf& timeOf);
  int64_t byBytes(int64_t target, Mp4ByteSpan span, const TimeOf& timeOf);
  Probe probe(int64_t from, int64_t to, int64_t window, const TimeOf& timeOf);
  Probe fragmentAt(int64_t moof, const std::string* bytes, int64_t base, const TimeOf& timeOf);

  Mp4Fragments fragments_;
  Mp4Read read_;
  Mp4Prefetch prefetch_;
  int64_t ticksPerSecond_;
  int64_t maxSamples_, maxFragmentBytes_;
  int64_t heaviest_ = 0;
  std::map<int64_t, int64_t> known_;  // time → moof, of every fragment read
};

}  // namespace dk::platform
