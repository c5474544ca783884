#include "platform/media/core/frame_converter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace dk::platform {
namespace {

// The converter's vector stores may run a little past the last row of what it writes.
constexpr size_t kConverterSlackPixels = 64;

int swsColorspace(int colorspace) {
  switch (colorspace) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_FCC: return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return SWS_CS_ITU601;  // BT.601 as stated, and what untagged video is taken for
  }
}

// The full-range ("J") formats are the plain ones with the range stated; converting them as
// such keeps one conversion context, where the J formats would make the converter start anew
// for every picture.
AVPixelFormat withoutRange(AVPixelFormat format, bool* fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: *fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: *fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: *fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: *fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: *fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return format;
  }
}

// 1 or -1 for an entry that counts, 0 for one that is nothing beside the largest.
int snap(int64_t value, int64_t largest) {
  if (std::llabs(value) * 1024 <= largest) return 0;
  return value > 0 ? 1 : -1;
}

// Writes `source` (w x h, 32-bit pixels, `w` apart) turned by `o` into `out` (`outStride` bytes
// apart), in tiles so that reads down a column stay in the cache.
void turn(const uint32_t* source, int w, int h, PictureOrientation o, uint8_t* out, int outStride) {
  const int shownW = o.swapsSides() ? h : w, shownH = o.swapsSides() ? w : h;
  // Where stored (0, 0) lands: the turned picture moved back to start at 0.
  const int64_t tx = -(std::min(0, o.a * (w - 1)) + std::min(0, o.c * (h - 1)));
  const int64_t ty = -(std::min(0, o.b * (w - 1)) + std::min(0, o.d * (h - 1)));
  // Shown (X, Y) comes from stored (a (X - tx) + b (Y - ty), c (X - tx) + d (Y - ty)).
  const int64_t originX = -o.a * tx - o.b * ty, originY = -o.c * tx - o.d * ty;
  const int64_t stepX = o.a + int64_t{o.c} * w, stepY = o.b + int64_t{o.d} * w;
  const int64_t origin = originX + originY * w;
  constexpr int kTile = 32;
  for (int tileY = 0; tileY < shownH; tileY += kTile) {
    for (int tileX = 0; tileX < shownW; tileX += kTile) {
      const int endY = std::min(shownH, tileY + kTile), endX = std::min(shownW, tileX + kTile);
      for (int y = tileY; y < endY; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(out + static_cast<ptrdiff_t>(y) * outStride);
        const uint32_t* from = source + origin + y * stepY + tileX * stepX;
        for (int x = tileX; x < endX; ++x, from += stepX) row[x] = *from;
      }
    }
  }
}

}  // namespace

PictureOrientation PictureOrientation::fromDisplayMatrix(const int32_t matrix[9]) {
  const PictureOrientation upright;
  if (!matrix || matrix[2] != 0 || matrix[5] != 0 || matrix[8] <= 0) return upright;  // a perspective
  const int64_t a = matrix[0], b = matrix[1], c = matrix[3], d = matrix[4];
  const int64_t largest = std::max({std::llabs(a), std::llabs(b), std::llabs(c), std::llabs(d)});
  if (largest == 0) return upright;
  PictureOrientation o;
  o.a = snap(a, largest);
  o.b = snap(b, largest);
  o.c = snap(c, largest);
  o.d = snap(d, largest);
  const bool straight = o.a != 0 && o.d != 0 && o.b == 0 && o.c == 0;
  const bool quarter = o.a == 0 && o.d == 0 && o.b != 0 && o.c != 0;
  return straight || quarter ? o : upright;
}

std::optional<PictureOrientation> displayOrientationOf(const AVStream* stream) {
  if (!stream) return std::nullopt;
#if LIBAVFORMAT_VERSION_INT >= AV_VERSION_INT(60, 15, 100)
  // Newer libraries keep a stream's side data with its codec parameters.
  const AVPacketSideData* side = av_packet_side_data_get(stream->codecpar->coded_side_data,
                                                         stream->codecpar->nb_coded_side_data, AV_PKT_DATA_DISPLAYMATRIX);
  const uint8_t* data = side ? side->data : nullptr;
  const size_t size = side ? side->size : 0;
#else
  size_t size = 0;
  const uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
#endif
  if (!data || size < 9 * sizeof(int32_t)) return std::nullopt;
  int32_t matrix[9];
  std::memcpy(matrix, data, sizeof matrix);
  return PictureOrientation::fromDisplayMatrix(matrix);
}

FrameConverter::~FrameConverter() { sws_freeContext(scaler_); }

void FrameConverter::setOrientation(PictureOrientation orientation) { orientation_ = orientation; }

void FrameConverter::applyColours(int colorspace, bool fullRange) {
  if (tunedColorspace_ == colorspace && tunedFullRange_ == fullRange) return;
  // Asked once per context and colours: a converter that cannot take them converts as it would
  // untagged video, never leaving a picture out for it.
  tunedColorspace_ = colorspace;
  tunedFullRange_ = fullRange;
  int* inverse = nullptr;
  int* table = nullptr;
  int sourceRange = 0, destinationRange = 0, brightness = 0, contrast = 0, saturation = 0;
  if (sws_getColorspaceDetails(scaler_, &inverse, &sourceRange, &table, &destinationRange, &brightness, &contrast,
                               &saturation) < 0) {
    return;
  }
  sws_setColorspaceDetails(scaler_, sws_getCoefficients(swsColorspace(colorspace)), fullRange ? 1 : 0, table,
                           destinationRange, brightness, contrast, saturation);
}

ImagePtr FrameConverter::convert(const AVFrame* frame) {
  if (!frame || !frame->data[0]) return nullptr;
  const int w = frame->width, h = frame->height;
  if (w <= 0 || h <= 0) return nullptr;
  bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
  const AVPixelFormat format = withoutRange(static_cast<AVPixelFormat>(frame->format), &fullRange);
  // Another size or format makes a new context (perhaps at the same address), with default colours.
  if (w != scalerWidth_ || h != scalerHeight_ || format != scalerFormat_) tunedColorspace_ = -1;
  scaler_ = sws_getCachedContext(scaler_, w, h, format, w, h, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  scalerWidth_ = w;
  scalerHeight_ = h;
  scalerFormat_ = format;
  if (!scaler_) {
    scalerFormat_ = -1;
    return nullptr;
  }
  const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
  if (described && !(described->flags & AV_PIX_FMT_FLAG_RGB)) applyColours(frame->colorspace, fullRange);
  PictureOrientation orientation = orientation_.value_or(PictureOrientation{});
  if (!orientation_) {
    const AVFrameSideData* side = av_frame_get_side_data(frame, AV_FRAME_DATA_DISPLAYMATRIX);
    if (side && side->size >= 9 * sizeof(int32_t)) {
      int32_t matrix[9];
      std::memcpy(matrix, side->data, sizeof matrix);
      orientation = PictureOrientation::fromDisplayMatrix(matrix);
    }
  }
  auto scale = [&](uint8_t* data, int bytesPerRow) {
    uint8_t* destination[4] = {data, nullptr, nullptr, nullptr};
    const int stride[4] = {bytesPerRow, 0, 0, 0};
    return sws_scale(scaler_, frame->data, frame->linesize, 0, h, destination, stride) == h;
  };
  // BGRA bytes are cairo's ARGB32 words on a little-endian machine, alpha 255: opaque, so
  // premultiplied as they stand.
  if (orientation.upright()) return Image::fromPixelWriter(w, h, 1.0, true, scale);
  turning_.resize(static_cast<size_t>(w) * static_cast<size_t>(h) + kConverterSlackPixels);
  if (!scale(reinterpret_cast<uint8_t*>(turning_.data()), w * 4)) return nullptr;
  const int shownW = orientation.swapsSides() ? h : w, shownH = orientation.swapsSides() ? w : h;
  return Image::fromPixelWriter(shownW, shownH, 1.0, true, [&](uint8_t* data, int bytesPerRow) {
    turn(turning_.data(), w, h, orientation, data, bytesPerRow);
    return true;
  });
}

}  // namespace dk::platform
