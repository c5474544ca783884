// VideoDecoder: one video file, demuxed and decoded with FFmpeg's libraries, frame by frame into
// platform images.
//
// open() reads the file's frame table (the time of every frame, from the container, without
// decoding), so times, durations and frame indices are known at once; frameAt() decodes one
// frame, continuing from the last one when asked for the next (playback) and seeking to the
// key frame before it otherwise. Images are opaque ARGB32 at scale 1.
//
// Thread-compatible: one thread at a time (the streamer keeps it on its own serial queue).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/image.h"

namespace dk::platform {

class VideoDecoder {
 public:
  VideoDecoder();
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // Opens a file holding a video stream. False with a reason in *error for anything else.
  bool open(const std::string& path, std::string* error = nullptr);

  // An MPEG-4 video whose bytes come from elsewhere (a recording read piecewise over the
  // network): `read` copies up to `count` bytes at `offset` and returns how many (0 at the end,
  // below 0 on failure); `size` gives the whole length (below 0 when unknown). Both are called
  // on the decoder's thread and may block. Only the MPEG-4 demuxer is tried.
  struct Input {
    std::function<int64_t(int64_t offset, uint8_t* out, int64_t count)> read;
    std::function<int64_t()> size;
  };
  bool open(Input input, std::string* error = nullptr);

  // Presentation time (seconds from the start) of each frame, ascending.
  const std::vector<double>& frameTimes() const;
  size_t frameCount() const { return frameTimes().size(); }
  // The time after the last frame has been shown (its time plus one frame's length).
  double duration() const;
  int width() const;
  int height() const;

  // The index of the frame showing at `seconds` (the last one starting at or before it).
  size_t frameIndexAt(double seconds) const;
  // Decodes frame `index`; nullptr when it cannot be decoded or is out of range.
  ImagePtr frameAt(size_t index);

  struct Impl;

 private:
  bool openStreams(std::string* error);
  std::unique_ptr<Impl> impl_;
};

}  // namespace dk::platform
