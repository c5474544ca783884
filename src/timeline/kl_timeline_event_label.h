// KLTimelineEventLabel: the event-type label of a timeline row. It shrinks its font (from
// `defaultFont` down, 5% a step) until every word of its text fits its width, so a long word is
// never cut; it never goes below half the default size nor below 5 points, so an empty or zero
// width cannot make it shrink without end. Main thread only.
#pragma once

#include <string>

#include "platform/ui/label.h"

namespace dk {

class KLTimelineEventLabel : public platform::Label {
 public:
  static constexpr double kShrinkFactor = 0.95;
  static constexpr double kSmallestSize = 5.0;

  using Label::Label;

  const platform::Font& defaultFont() const { return defaultFont_; }
  void setDefaultFont(platform::Font font) { defaultFont_ = std::move(font); }

  void setText(const std::string& text) override;
  void layoutSubviews() override;
  // Picks the largest size (by 5% steps) at which every word of `text` fits `width`.
  void adjustFontForText(const std::string& text, double width);

 private:
  platform::Font defaultFont_ = platform::Font::system(14);
};

}  // namespace dk
