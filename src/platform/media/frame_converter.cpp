#include "platform/media/frame_converter.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace dk::platform {

FrameConverter::~FrameConverter() { sws_freeContext(scaler_); }

ImagePtr FrameConverter::convert(const AVFrame* frame) {
  if (!frame || !frame->data[0]) return nullptr;
  const int w = frame->width, h = frame->height;
  if (w <= 0 || h <= 0) return nullptr;
  scaler_ = sws_getCachedContext(scaler_, w, h, static_cast<AVPixelFormat>(frame->format), w, h, AV_PIX_FMT_BGRA,
                                 SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler_) return nullptr;
  // BGRA bytes are cairo's ARGB32 words on a little-endian machine, alpha 255: opaque, so
  // premultiplied as they stand.
  return Image::fromPixelWriter(w, h, 1.0, true, [&](uint8_t* data, int bytesPerRow) {
    uint8_t* destination[4] = {data, nullptr, nullptr, nullptr};
    const int stride[4] = {bytesPerRow, 0, 0, 0};
    return sws_scale(scaler_, frame->data, frame->linesize, 0, h, destination, stride) == h;
  });
}

}  // namespace dk::platform
