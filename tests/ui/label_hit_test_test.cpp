#include <gtest/gtest.h>

#include "platform/graphics/font.h"
#include "ui/label_hit_test.h"

namespace dk {
namespace {

using platform::Font;

LabelTextDescription label(const std::string& text, platform::Size bounds,
                           platform::TextAlignment alignment = platform::TextAlignment::Center) {
  LabelTextDescription d;
  d.text = text;
  d.attributes.font = Font::named("Roboto-Regular", 14);
  d.attributes.alignment = alignment;
  d.boundsSize = bounds;
  return d;
}

TEST(IsPointInLabelForSubstringInString, AnswersYesOnTheWordAndNoBesideIt) {
  const std::string text = "Please read the privacy policy";
  const auto l = label(text, {300, 60});
  const Font font = l.attributes.font;
  const double textWidth = font.sizeOfText(text).width;
  const double left = (300 - textWidth) / 2;  // centred text
  const double y = 30;
  const double onPolicy = left + font.sizeOfText("Please read the privacy ").width + font.sizeOfText("policy").width / 2;
  const double onPlease = left + font.sizeOfText("Please").width / 2;
  EXPECT_TRUE(isPointInLabelForSubstringInString(l, "policy", text, {onPolicy, y}));
  EXPECT_FALSE(isPointInLabelForSubstringInString(l, "policy", text, {onPlease, y}));
  EXPECT_TRUE(isPointInLabelForSubstringInString(l, "Please", text, {onPlease, y}));
}

TEST(IsPointInLabelForSubstringInString, AbsentOrEmptySubstringIsNo) {
  const std::string text = "Please read the privacy policy";
  const auto l = label(text, {300, 60});
  // Anywhere on the text, including its very first and last characters.
  for (double x : {0.0, 60.0, 150.0, 240.0, 299.0}) {
    EXPECT_FALSE(isPointInLabelForSubstringInString(l, "terms", text, {x, 30}));
    EXPECT_FALSE(isPointInLabelForSubstringInString(l, "", text, {x, 30}));
  }
}

TEST(IsPointInLabelForSubstringInString, WorksOnWrappedLines) {
  const std::string text = "Tap here to learn more about detections";
  const Font font = Font::named("Roboto-Regular", 14);
  const double width = font.sizeOfText("Tap here to learn").width + 4;
  auto l = label(text, {width, 80}, platform::TextAlignment::Left);
  // "detections" sits on the second line; the two lines are centred vertically in 80 points.
  const double lineHeight = font.lineHeight();
  const double top = (80 - 2 * lineHeight) / 2;
  const double secondLineY = top + lineHeight * 1.5;
  const double onDetections = font.sizeOfText("more about ").width + 10;
  EXPECT_TRUE(isPointInLabelForSubstringInString(l, "detections", text, {onDetections, secondLineY}));
  EXPECT_FALSE(isPointInLabelForSubstringInString(l, "detections", text, {onDetections, top + lineHeight / 2}));
}

}  // namespace
}  // namespace dk
