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
// Nothing when the movie box or the track cannot be read, holds more than `maxSamples` samples,
// or is larger than `maxMovieBytes`.
// A fragmented file whose movie box holds samples of its own (its first fragment's) gives those.
std::optional<std::vector<Mp4SampleOffset>> mp4CompositionOffsets(const Mp4Read& read, int64_t fileSize, int trackId,
                                                                  int64_t maxSamples, int64_t maxMovieBytes);
std::optional<std::vector<Mp4SampleOffset>> mp4CompositionOffsets(const Mp4Movie& movie, const Mp4Read& read,
                                                                  int64_t fileSize, int trackId, int64_t maxSamples,
                                                                  int64_t maxMovieBytes);

// A fragmented file's index of its fragments, read once and shared, never copied, by every reader
// of them (an index at the end may list millions).
struct Mp4FragmentIndex {
  struct Entry {
    int64_t time = 0;
    int64_t moof = 0;
  };
  // Ticks a second of its times: a segment index's own, else the track's (0: not known, taken to
  // be the reader's).
  int64_t timescale = 0;
  // Every entry, by time: where a fragment starts, and its time as the index gives it (the
  // earliest presentation of a segment index, the time of a random access entry), before any
  // shift the demuxer makes.
  std::vector<Entry> entries;
};

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
  // That index (Mp4FragmentIndex above), read once and shared by every reader of the file's fragments.
  using Entry = Mp4FragmentIndex::Entry;
  using Index = Mp4FragmentIndex;
  std::shared_ptr<const Index> index;
  bool indexed() const { return index && !index->entries.empty(); }
};

// The fragments of track `trackId`: nothing when the file is not fragmented, or its movie box
// cannot be read or is larger than `maxMovieBytes` (also the bound on an index it reads).
std::optional<Mp4Fragments> mp4Fragments(const Mp4Read& read, int64_t fileSize, int trackId, int64_t maxMovieBytes);
// `index`, when given, is the file's index of fragments as another reader of it found it (one of
// another track serves as well: the fragments hold every track): it is not read again.
std::optional<Mp4Fragments> mp4Fragments(const Mp4Movie& movie, const Mp4Read& read, int64_t fileSize, int trackId,
                                         int64_t maxIndexBytes, std::shared_ptr<const Mp4Fragments::Index> index = nullptr);

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

// Whether the file is fragmented (its movie box announces fragments). False when its movie box
// cannot be found or read within `maxMovieBytes`.
bool mp4IsFragmented(const Mp4Read& read, int64_t fileSize, int64_t maxMovieBytes);
bool mp4IsFragmented(const Mp4Movie& movie);

// Where the first movie fragment box at or after `from` (and before `to`) starts, looking at most
// `maxScanBytes` past `from`, for a file without an index of its fragments; -1 when none is
// found. A box is taken for one only when its header and its fragment header add up.
int64_t mp4FindFragment(const Mp4Read& read, int64_t fileSize, int64_t from, int64_t to, int64_t maxScanBytes);
// The same within `bytes`, which start at `base` in the file: where the first one at or after
// `from` starts, -1 when none does before `to`.
int64_t mp4FragmentIn(const std::string& bytes, int64_t base, int64_t fileSize, int64_t from, int64_t to);

// The length of the top-level box at `at` (its first bytes in *header); 0 when unreadable.
int64_t mp4TopLevelBox(const Mp4Read& read, int64_t at, int64_t fileSize, std::string* header);

// Ticks a second of track `trackId`'s times (its media header's); 0 when not found.
int64_t mp4TrackTimescale(const Mp4Movie& movie, int trackId);

}  // namespace dk::platform
