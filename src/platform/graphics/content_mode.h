// ContentMode: how content of one size is placed in a rectangle of another (UIViewContentMode),
// in the platform's order. Plain values and a pure function; safe from any thread.
#pragma once

#include "platform/graphics/geometry.h"

namespace dk::platform {

enum class ContentMode {
  ScaleToFill,
  ScaleAspectFit,
  ScaleAspectFill,
  Redraw,
  Center,
  Top,
  Bottom,
  Left,
  Right,
  TopLeft,
  TopRight,
  BottomLeft,
  BottomRight,
};

// Where content of `contentSize` lands inside `bounds` (Redraw behaves as ScaleToFill). The result
// may extend beyond `bounds` (aspect fill, centre of a larger image); callers clip when they must.
inline Rect rectForContentMode(ContentMode mode, Size contentSize, const Rect& bounds) {
  const Rect b = bounds.standardized();
  const double cw = contentSize.width, ch = contentSize.height;
  switch (mode) {
    case ContentMode::ScaleToFill:
    case ContentMode::Redraw:
      return b;
    case ContentMode::ScaleAspectFit:
    case ContentMode::ScaleAspectFill: {
      if (cw <= 0 || ch <= 0) return Rect(b.midX(), b.midY(), 0, 0);
      const double sx = b.width() / cw, sy = b.height() / ch;
      const double s = mode == ContentMode::ScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
      const double w = cw * s, h = ch * s;
      return Rect(b.midX() - w / 2, b.midY() - h / 2, w, h);
    }
    case ContentMode::Center:
      return Rect(b.midX() - cw / 2, b.midY() - ch / 2, cw, ch);
    case ContentMode::Top:
      return Rect(b.midX() - cw / 2, b.minY(), cw, ch);
    case ContentMode::Bottom:
      return Rect(b.midX() - cw / 2, b.maxY() - ch, cw, ch);
    case ContentMode::Left:
      return Rect(b.minX(), b.midY() - ch / 2, cw, ch);
    case ContentMode::Right:
      return Rect(b.maxX() - cw, b.midY() - ch / 2, cw, ch);
    case ContentMode::TopLeft:
      return Rect(b.minX(), b.minY(), cw, ch);
    case ContentMode::TopRight:
      return Rect(b.maxX() - cw, b.minY(), cw, ch);
    case ContentMode::BottomLeft:
      return Rect(b.minX(), b.maxY() - ch, cw, ch);
    case ContentMode::BottomRight:
      return Rect(b.maxX() - cw, b.maxY() - ch, cw, ch);
  }
  return b;
}

}  // namespace dk::platform
