// FrameConverter: a decoded FFmpeg picture into an opaque ARGB32 platform image at scale 1,
// converted in one pass straight into the image's own storage (no buffer in between, nothing
// zeroed first): at 720p and above a full-frame pass a frame costs as much as the decode itself.
//
// Colours follow the matrix and range the picture states (BT.601, BT.709, SMPTE 240M, BT.2020;
// limited or full range); a picture that states no matrix is taken as BT.601, as FFmpeg's own
// conversions write untagged video. A picture the container says is shown turned or mirrored
// (its display matrix) comes out upright, through one more pass over the converted pixels.
//
// Keeps the conversion context of the last picture size and format; one thread at a time, like
// the decoder it serves.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/graphics/image.h"

struct AVFrame;
struct AVStream;
struct SwsContext;

namespace dk::platform {

// How a stored picture is turned to be shown: quarter turns and mirrors only, as the 2x2 part of
// a display matrix with entries -1, 0 or 1. A stored point (x, y) (y downwards) is shown at
// (a x + c y, b x + d y), moved back into the picture.
struct PictureOrientation {
  int a = 1, b = 0, c = 0, d = 1;

  bool upright() const { return a == 1 && b == 0 && c == 0 && d == 1; }
  // Shown width is the stored height and the other way round.
  bool swapsSides() const { return a == 0; }

  // From a display matrix as ISO BMFF and FFmpeg store it (16.16 values a, b, c, d at 0, 1, 3, 4;
  // 2.30 values u, v, w at 2, 5, 8). Anything but a quarter turn or mirror (any other angle, a
  // shear, a perspective, a singular matrix) is shown upright as stored.
  static PictureOrientation fromDisplayMatrix(const int32_t matrix[9]);
};

// The display matrix of a stream, when its container gives one.
std::optional<PictureOrientation> displayOrientationOf(const AVStream* stream);

class FrameConverter {
 public:
  FrameConverter() = default;
  ~FrameConverter();
  FrameConverter(const FrameConverter&) = delete;
  FrameConverter& operator=(const FrameConverter&) = delete;

  // Every picture from now on is turned so. Until this is called, each picture's own display
  // matrix (from the video's bitstream) is followed, when it has one.
  void setOrientation(PictureOrientation orientation);

  // nullptr when the picture has no size or its format cannot be converted.
  ImagePtr convert(const AVFrame* frame);

 private:
  void applyColours(int colorspace, bool fullRange);

  SwsContext* scaler_ = nullptr;
  int scalerWidth_ = 0, scalerHeight_ = 0, scalerFormat_ = -1;  // what `scaler_` was made for
  // The colour details last given to `scaler_`, which keeps them while it is reused.
  int tunedColorspace_ = -1;
  bool tunedFullRange_ = false;
  std::optional<PictureOrientation> orientation_;
  std::vector<uint32_t> turning_;  // the converted picture before it is turned
};

}  // namespace dk::platform
