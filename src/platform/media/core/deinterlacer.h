// Deinterlacer: a picture whose two fields were taken at different moments (interlaced video, as
// older cameras and recorder bridges send 1080i and 576i) made whole, so that movement does not
// comb. The decoder's own mark says which pictures are interlaced; each becomes one picture with
// FFmpeg's bwdif filter: the field shown first kept, the other woven in where nothing moves and
// made from the kept one where something does. A progressive picture passes through untouched,
// and no filter is built for it.
//
// Movement is told from a neighbouring picture: the last one made whole, when it is another
// picture of the same size (playback, a step); for a lone picture (after a seek) the picture's
// own first field, line-doubled, stands in. Nothing is held back: each picture comes out at once.
//
// One thread at a time, like the decoder it serves.
#pragma once

#include <memory>

struct AVFrame;

namespace dk::platform {

class Deinterlacer {
 public:
  Deinterlacer();
  ~Deinterlacer();
  Deinterlacer(const Deinterlacer&) = delete;
  Deinterlacer& operator=(const Deinterlacer&) = delete;

  // The picture to show for `frame`: `frame` itself when it is progressive, else the
  // deinterlaced picture, valid until the next call. Should the filter fail, the picture as it
  // was decoded (woven) is shown rather than none.
  const AVFrame* apply(const AVFrame* frame);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dk::platform
