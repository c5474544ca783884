// GraphicsContext: the drawing state and operations of one bitmap (CGContext), over cairo.
//
// Coordinates are points with the origin at the top-left and y growing downwards, already scaled
// to the bitmap's pixels. The state (transform, clip, colours, line style, alpha, blend mode) is
// saved and restored as a stack. A context is made by an ImageRenderer (image_renderer.h) and
// lives no longer than it; it belongs to the thread that draws with it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/content_mode.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/image.h"
#include "platform/graphics/path.h"
#include "platform/graphics/text_layout.h"

namespace dk::platform {

enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };

// CGBlendMode, with the platform's numbering (Screen is 2).
enum class BlendMode {
  Normal = 0,
  Multiply = 1,
  Screen = 2,
  Overlay = 3,
  Darken = 4,
  Lighten = 5,
  ColorDodge = 6,
  ColorBurn = 7,
  SoftLight = 8,
  HardLight = 9,
  Difference = 10,
  Exclusion = 11,
  Hue = 12,
  Saturation = 13,
  Color = 14,
  Luminosity = 15,
  Clear = 16,
  Copy = 17,
  SourceIn = 18,
  SourceOut = 19,
  SourceAtop = 20,
  DestinationOver = 21,
  DestinationIn = 22,
  DestinationOut = 23,
  DestinationAtop = 24,
  XOR = 25,
  PlusLighter = 27,
};

// One colour stop of a gradient; location 0...1 along the axis.
struct GradientStop {
  double location = 0;
  Color color;
  friend bool operator==(const GradientStop&, const GradientStop&) = default;
};

class GraphicsContext {
 public:
  GraphicsContext(const GraphicsContext&) = delete;
  GraphicsContext& operator=(const GraphicsContext&) = delete;
  ~GraphicsContext();

  // --- State ---
  void saveGState();
  // Restoring more often than saving is ignored.
  void restoreGState();
  int gStateDepth() const;

  void translate(double tx, double ty);
  void scale(double sx, double sy);
  void rotate(double radians);
  void concat(const AffineTransform& t);
  // User space to the bitmap's point space (the scale of the bitmap is not included).
  AffineTransform ctm() const;

  void setFillColor(const Color& c);
  void setStrokeColor(const Color& c);
  Color fillColor() const;
  Color strokeColor() const;
  void setLineWidth(double width);
  void setLineCap(LineCap cap);
  void setLineJoin(LineJoin join);
  void setMiterLimit(double limit);
  // Empty lengths: solid lines.
  void setLineDash(double phase, const std::vector<double>& lengths);
  // Global alpha multiplied into every drawing operation (CGContextSetAlpha).
  void setAlpha(double alpha);
  double alpha() const;
  void setBlendMode(BlendMode mode);
  BlendMode blendMode() const;

  // --- Clipping (intersects with the current clip until the state is restored) ---
  void clipToRect(const Rect& r);
  void clipToPath(const Path& path, FillRule rule = FillRule::NonZero);
  // Clips to the image's alpha, stretched over `rect`; nothing outside `rect` stays drawable.
  void clipToMask(const Rect& rect, const Image& mask);
  // The clip's bounding box in user space.
  Rect clipBoundingBox() const;

  // --- Drawing ---
  void fillRect(const Rect& r);
  void strokeRect(const Rect& r);
  // Makes the rectangle fully transparent (CGContextClearRect).
  void clearRect(const Rect& r);
  void fillPath(const Path& path, FillRule rule = FillRule::NonZero);
  void strokePath(const Path& path);
  void fillEllipse(const Rect& r);
  void strokeEllipse(const Rect& r);
  // Fills the current clip with a linear gradient from `start` to `end` (user space); beyond the
  // ends the end colours continue when extended, nothing is drawn otherwise.
  void drawLinearGradient(const std::vector<GradientStop>& stops, Point start, Point end,
                          bool extendBeforeStart = true, bool extendAfterEnd = true);
  // Draws the image stretched to rect, upright. With a tint (or a template-mode image and a tint)
  // only the image's shape is drawn, filled with the tint colour.
  void drawImage(const Image& image, const Rect& rect, std::optional<Color> tint = std::nullopt);
  // Draws the image placed in `bounds` by the content mode, clipped to `bounds`.
  void drawImage(const Image& image, const Rect& bounds, ContentMode mode, std::optional<Color> tint = std::nullopt);
  // Draws text wrapped in rect from its top, in the attributes' font, colour, alignment and line
  // breaking; returns the size used.
  Size drawText(const std::string& utf8, const Rect& rect, const TextAttributes& attributes);
  void drawTextLayout(const TextLayout& layout, Point origin);

  // Groups following drawing and composites it at once with `alpha` when ended
  // (CGContextBeginTransparencyLayer): how a view with alpha draws its subtree.
  void beginTransparencyLayer(double alpha = 1.0);
  void endTransparencyLayer();

  // Opaque cairo state, for the graphics layer's own .cpp files.
  struct Impl;
  Impl& impl() { return *impl_; }
  explicit GraphicsContext(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace dk::platform
