// Mp4Boxes: what an MPEG-4 file's boxes say that FFmpeg's demuxer keeps to itself, read
// straight from the file's bytes: the composition offset of every sample of a track (how long
// after its decoding a picture is shown), by the sample's place in the file, from the movie box's
// sample tables or, in a fragmented file, from every fragment's track runs.
//
// Every size is checked against the file and against the caller's bound before anything is
// allocated; a table that does not add up gives nothing. Pure functions over a read function;
// thread-safe when the read function is.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dk::platform {

// The largest movie box (index) a recording may have: a camera's day of video needs far less.
inline constexpr int64_t kLargestMovieBox = 64LL << 20;

// Copies up to `count` bytes at `offset` into `out`; the bytes copied, 0 at the end, below 0 on
// failure.
using Mp4Read = std::function<int64_t(int64_t offset, uint8_t* out, int64_t count)>;

struct Mp4SampleOffset {
  int64_t position = 0;  // where the sample's bytes start in the file
  int64_t offset = 0;    // presentation minus decode time, in the track's time scale
  // Read from a fragment only (the movie box's own samples are in the demuxer's index): the
  // decode time in the track's time scale, and whether decoding may start at the sample.
  int64_t decodeTime = 0;
  bool key = false;
  bool fragment = false;
};

// A file's top-level movie box, read once and shared by everything that looks into it (the
// demuxer included, through media_input_reader.h).
struct Mp4Movie {
  int64_t at = 0;  // where it starts in the file
  std::string bytes;
  bool holds(int64_t offset) const { return offset >= at && offset < at + static_cast<int64_t>(bytes.size()); }
};

// The movie box of the file: nothing when there is none, it cannot be read, or it is larger than
// `maxMovieBytes`.
std::shared_ptr<const Mp4Movie> mp4ReadMovie(const Mp4Read& read, int64_t fileSize, int64_t maxMovieBytes);

// The composition offsets of the samples of track `trackId` in the file's movie box, sorted by
// position. An empty table when the track has none (every picture is shown as it is decoded).
// Nothing when the track cannot be read, holds more than `maxSamples` samples, or its fragments
// are larger than `maxMovieBytes`.
// A fragmented file whose movie box holds samples of its own (its first fragment's) gives those.
std::optional<std::vector<Mp4SampleOffset>> mp4CompositionOffsets(const Mp4Movie& movie, const Mp4Read& read,
                                                                  int64_t fileSize, int trackId, int64_t maxSamples,
                                                                  int64_t maxMovieBytes);

// The fragments of one track of a fragmented file, read one at a time from its movie box on, so
// that a file read over the network is read only as far as its frames are needed.
struct Mp4Fragments {
  int trackId = 0;
  int64_t fileSize = 0;
  int64_t next = 0;   // where the next top-level box starts
  bool done = false;  // no fragment left (what follows, if anything, is still being uploaded)
  uint64_t defaultDuration = 0, defaultSize = 0, defaultFlags = 0;
  int64_t nextDecodeTime = 0;  // where a fragment without its own decode time starts
  int64_t lastMoof = -1;       // where the fragment read last starts
  // Where the last fragment's movie fragment box starts, when the file's index of fragments (a
  // segment index up front, a fragment random access box at the end) says so; -1 otherwise.
  int64_t lastFragment = -1;
  // Every entry of that index, by time: where a fragment starts, and its time in the track's
  // time scale as the index gives it (the earliest presentation of a segment index, the time of
  // a random access entry), before any shift the demuxer makes.
  struct Entry {
    int64_t time = 0;
    int64_t moof = 0;
  };
  std::vector<Entry> index;
};

// The fragments of track `trackId`: nothing when the file is not fragmented; `maxIndexBytes` bounds
// an index of fragments it reads.
std::optional<Mp4Fragments> mp4Fragments(const Mp4Movie& movie, const Mp4Read& read, int64_t fileSize, int trackId,
                                         int64_t maxIndexBytes);

// Reads on to the next fragment and appends its samples of the track (in decode order, each
// with its decode time) to `samples`; at the end of the file, true with `fragments.done`. False
// when a fragment does not add up, is larger than `maxFragmentBytes`, or holds more than
// `maxSamples` samples.
bool mp4NextFragment(Mp4Fragments& fragments, const Mp4Read& read, int64_t maxSamples, int64_t maxFragmentBytes,
                     std::vector<Mp4SampleOffset>* samples);

// The samples of the one fragment whose movie fragment box starts at `at` (decode times from
// its own, which every fragment of a file with an index of fragments carries).
bool mp4FragmentAt(const Mp4Fragments& fragments, const Mp4Read& read, int64_t at, int64_t maxSamples,
                   int64_t maxFragmentBytes, std::vector<Mp4SampleOffset>* samples);

// Whether the file is fragmented (its movie box announces fragments).
bool mp4IsFragmented(const Mp4Movie& movie);

// For a file without an index of its fragments: the last fragment of the track between `from` and
// `to` whose time (`timeOf` its samples) is at or before `target`, found by narrowing the bytes:
// each probe reads only the next fragment's header after where it looks. Probes go where the
// byte rate puts the time (a camera's rate varies little), every other one halfway, so that an
// uneven rate still halves the bytes; the search ends a few pieces from it (O(log) probes). -1
// when none is found (its samples in *found otherwise).
struct Mp4ByteSpan {
  int64_t from = 0, to = 0;
  int64_t fromTime = 0;      // the time where `from` is
  double bytesPerTick = 0;   // the rate known so far (0: none)
};
int64_t mp4NarrowToFragment(const Mp4Fragments& fragments, const Mp4Read& read, Mp4ByteSpan span, int64_t target,
                            const std::function<int64_t(const std::vector<Mp4SampleOffset>&)>& timeOf,
                            int64_t maxSamples, int64_t maxFragmentBytes, std::vector<Mp4SampleOffset>* found);

// Where the first movie fragment box at or after `from` (and before `to`) starts, looking at most
// `maxScanBytes` past `from`, for a file without an index of its fragments; -1 when none is
// found. A box is taken for one only when its header and its fragment header add up.
int64_t mp4FindFragment(const Mp4Read& read, int64_t fileSize, int64_t from, int64_t to, int64_t maxScanBytes);

}  // namespace dk::platform
