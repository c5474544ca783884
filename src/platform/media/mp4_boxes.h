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
#include <optional>
#include <vector>

namespace dk::platform {

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

// The composition offsets of the samples of track `trackId` in the file's movie box, sorted by
// position. An empty table when the track has none (every picture is shown as it is decoded).
// Nothing when the movie box or the track cannot be read, holds more than `maxSamples` samples,
// or is larger than `maxMovieBytes`.
std::optional<std::vector<Mp4SampleOffset>> mp4CompositionOffsets(const Mp4Read& read, int64_t fileSize, int trackId,
                                                                  int64_t maxSamples, int64_t maxMovieBytes);

}  // namespace dk::platform
