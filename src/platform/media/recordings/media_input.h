// MediaInput: a media file whose bytes come from elsewhere (a recording read piecewise over
// the network). `read` copies up to `count` bytes at `offset` and returns how many (0 at the
// end, below 0 on failure); `size` gives the whole length (below 0 when unknown). The decoders
// call both on their own thread, and both may block. `prefetch` (optional) is told, without
// waiting, of a span about to be read whole (the movie box), so that it can come in one transfer
// rather than piece by piece; `movie`, when given, is the file's movie box as another decoder of
// the same bytes read it, and is not read again; `fragmentIndex` likewise the index of a
// fragmented file's fragments (another track's serves: the fragments hold every track).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace dk::platform {

struct Mp4Movie;          // mp4_boxes.h
struct Mp4FragmentIndex;  // mp4_boxes.h

struct MediaInput {
  std::function<int64_t(int64_t offset, uint8_t* out, int64_t count)> read;
  std::function<int64_t()> size;
  std::function<void(int64_t offset, int64_t length)> prefetch;
  std::shared_ptr<const Mp4Movie> movie;
  std::shared_ptr<const Mp4FragmentIndex> fragmentIndex;
};

}  // namespace dk::platform
