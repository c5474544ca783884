// FrameConverter: a decoded FFmpeg picture into an opaque ARGB32 platform image at scale 1,
// converted in one pass straight into the image's own storage (no buffer in between, nothing
// zeroed first): at 720p and above a full-frame pass a frame costs as much as the decode itself.
//
// Keeps the conversion context of the last picture size and format; one thread at a time, like
// the decoder it serves.
#pragma once

#include "platform/graphics/image.h"

struct AVFrame;
struct SwsContext;

namespace dk::platform {

class FrameConverter {
 public:
  FrameConverter() = default;
  ~FrameConverter();
  FrameConverter(const FrameConverter&) = delete;
  FrameConverter& operator=(const FrameConverter&) = delete;

  // nullptr when the picture has no size or its format cannot be converted.
  ImagePtr convert(const AVFrame* frame);

 private:
  SwsContext* scaler_ = nullptr;
};

}  // namespace dk::platform
