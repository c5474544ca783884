// Font: a typeface at a point size (UIFont), measured and drawn through pango.
//
// Faces are named as the platform names them, "<Family>-<Style>" ("Roboto-Regular",
// "Roboto-Medium", "Poppins-Regular"). A face that is not installed falls back to the Roboto face
// of the same weight and slant (then to the generic sans-serif), keeping the size; `isFallback`
// tells that it happened and `isFaceAvailable` answers beforehand. Text is laid out at 72 dpi
// without hinting, so one point of font size is one point on screen at any drawing scale.
// A value type; all members are safe to call from any thread.
#pragma once

#include <string>

#include "platform/graphics/geometry.h"

namespace dk::platform {

enum class FontWeight {
  Thin = 100,
  Light = 300,
  Regular = 400,
  Medium = 500,
  Semibold = 600,
  Bold = 700,
  Black = 900,
};

class Font {
 public:
  // The system's default text font, Roboto Regular at 17 points.
  Font();
  // The named face at `pointSize` (fontWithName:size:); never fails, see the fallback above.
  static Font named(const std::string& faceName, double pointSize);
  // Roboto of that weight (systemFontOfSize:weight:).
  static Font system(double pointSize, FontWeight weight = FontWeight::Regular);
  // Whether "<Family>-<Style>" is installed with exactly that weight and slant.
  static bool isFaceAvailable(const std::string& faceName);
  // Whether any face of the family is installed ("Roboto", "Poppins").
  static bool isFamilyAvailable(const std::string& family);

  // The name asked for ("Poppins-Regular"), and the family actually used ("Roboto").
  const std::string& faceName() const { return faceName_; }
  const std::string& family() const { return family_; }
  FontWeight weight() const { return weight_; }
  bool isItalic() const { return italic_; }
  double pointSize() const { return pointSize_; }
  bool isFallback() const { return fallback_; }
  Font withSize(double pointSize) const;

  // Metrics in points: ascender above the baseline (positive), descender below it (negative, as
  // the platform reports it), line height = ascender - descender.
  double ascender() const;
  double descender() const;
  double lineHeight() const;

  // Size of the text on one line (sizeWithAttributes:); empty text measures zero.
  Size sizeOfText(const std::string& utf8) const;
  // Size of the text wrapped at word boundaries to maxWidth (boundingRectWithSize:options: with
  // line-fragment layout); a maxWidth <= 0 means unlimited.
  Size boundingSizeOfText(const std::string& utf8, double maxWidth) const;

  // A pango font description string for this font ("Roboto Medium 12"); for the graphics layer.
  std::string pangoDescription() const;

  friend bool operator==(const Font& a, const Font& b) {
    return a.faceName_ == b.faceName_ && a.pointSize_ == b.pointSize_;
  }

 private:
  Font(std::string faceName, std::string family, FontWeight weight, bool italic, double size, bool fallback);

  std::string faceName_;
  std::string family_;
  FontWeight weight_ = FontWeight::Regular;
  bool italic_ = false;
  double pointSize_ = 17;
  bool fallback_ = false;
};

}  // namespace dk::platform
