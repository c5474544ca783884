#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/graphics/font.h"
#include "platform/graphics/text_layout.h"

namespace dk::platform {
namespace {

TEST(Font, RobotoFacesAreInstalled) {
  EXPECT_TRUE(Font::isFaceAvailable("Roboto-Regular"));
  EXPECT_TRUE(Font::isFaceAvailable("Roboto-Medium"));
  EXPECT_TRUE(Font::isFaceAvailable("Roboto-BoldItalic"));
  EXPECT_TRUE(Font::isFamilyAvailable("roboto"));
  const Font f = Font::named("Roboto-Medium", 12);
  EXPECT_FALSE(f.isFallback());
  EXPECT_EQ(f.family(), "Roboto");
  EXPECT_EQ(f.weight(), FontWeight::Medium);
  EXPECT_EQ(f.pointSize(), 12);
}

TEST(Font, MissingFaceFallsBackToRobotoOfTheSameWeightAndSize) {
  EXPECT_FALSE(Font::isFaceAvailable("Poppins-Regular"));
  EXPECT_FALSE(Font::isFaceAvailable("Roboto-Nonsense"));
  const Font poppins = Font::named("Poppins-Medium", 14);
  EXPECT_TRUE(poppins.isFallback());
  EXPECT_EQ(poppins.faceName(), "Poppins-Medium");
  EXPECT_EQ(poppins.family(), "Roboto");
  EXPECT_EQ(poppins.weight(), FontWeight::Medium);
  EXPECT_EQ(poppins.pointSize(), 14);
  // It measures exactly as the face it stands in for.
  EXPECT_EQ(poppins.sizeOfText("Motion detected"), Font::named("Roboto-Medium", 14).sizeOfText("Motion detected"));
}

TEST(Font, MetricsScaleWithThePointSize) {
  const Font small = Font::named("Roboto-Regular", 10), big = Font::named("Roboto-Regular", 20);
  EXPECT_GT(small.ascender(), 0);
  EXPECT_LT(small.descender(), 0);
  EXPECT_NEAR(small.lineHeight(), small.ascender() - small.descender(), 1e-9);
  EXPECT_NEAR(big.lineHeight(), 2 * small.lineHeight(), 1e-6);
  // Roboto's line is a little taller than its size.
  EXPECT_GT(small.lineHeight(), 10);
  EXPECT_LT(small.lineHeight(), 14);
}

TEST(Font, TextGrowsWithTextAndSize) {
  const Font f = Font::named("Roboto-Regular", 13);
  const Size one = f.sizeOfText("Zoom");
  const Size two = f.sizeOfText("Zoom Zoom");
  EXPECT_GT(one.width, 0);
  EXPECT_GT(two.width, one.width * 1.8);
  EXPECT_NEAR(two.height, one.height, 1e-9);
  EXPECT_GT(f.withSize(26).sizeOfText("Zoom").width, one.width * 1.9);
  EXPECT_EQ(f.sizeOfText(""), (Size{0, 0}));
  // A different weight is a different face with its own widths.
  EXPECT_NE(Font::named("Roboto-Bold", 13).sizeOfText("Motion detected").width,
            f.sizeOfText("Motion detected").width);
}

TEST(Font, BoundingSizeWrapsAtTheWidth) {
  const Font f = Font::named("Roboto-Regular", 14);
  const std::string text = "No recordings are available for the selected day";
  const Size line = f.sizeOfText(text);
  const Size wrapped = f.boundingSizeOfText(text, line.width / 2);
  EXPECT_LE(wrapped.width, line.width / 2 + 0.01);
  EXPECT_GE(wrapped.height, 2 * line.height - 0.01);
  EXPECT_EQ(f.boundingSizeOfText(text, 0), line);
}

TEST(Font, MeasuresFromManyThreads) {
  const Size expected = Font::named("Roboto-Regular", 12).sizeOfText("Yesterday, 12:34:56");
  std::vector<std::thread> threads;
  std::vector<Size> seen(6);
  for (int i = 0; i < 6; ++i) {
    threads.emplace_back([&seen, i] { seen[i] = Font::named("Roboto-Regular", 12).sizeOfText("Yesterday, 12:34:56"); });
  }
  for (auto& t : threads) t.join();
  for (const Size& s : seen) EXPECT_EQ(s, expected);
}

TextAttributes attrs(double size, int lines = 0, LineBreakMode mode = LineBreakMode::WordWrap,
                     TextAlignment alignment = TextAlignment::Left) {
  TextAttributes a;
  a.font = Font::named("Roboto-Regular", size);
  a.numberOfLines = lines;
  a.lineBreakMode = mode;
  a.alignment = alignment;
  return a;
}

TEST(TextLayout, LineLimitAndContainerHeightCutTheText) {
  const std::string text = "one two three four five six seven eight nine ten eleven twelve";
  const double width = Font::named("Roboto-Regular", 14).sizeOfText("one two three").width + 2;
  const TextLayout all(text, attrs(14), {width, 0});
  EXPECT_GE(all.lineCount(), 4);
  EXPECT_FALSE(all.isTruncated());
  const TextLayout two(text, attrs(14, 2), {width, 0});
  EXPECT_EQ(two.lineCount(), 2);
  EXPECT_TRUE(two.isTruncated());
  EXPECT_NEAR(two.usedRect().height(), 2 * Font::named("Roboto-Regular", 14).lineHeight(), 1.0);
  const double lineHeight = all.usedRect().height() / all.lineCount();
  const TextLayout byHeight(text, attrs(14), {width, lineHeight * 3});
  EXPECT_EQ(byHeight.lineCount(), 3);
}

TEST(TextLayout, TruncatedTailEndsWithAnEllipsisWithinTheWidth) {
  const std::string text = "A very long camera name that cannot fit";
  const double width = 80;
  const TextLayout cut(text, attrs(14, 1, LineBreakMode::TruncateTail), {width, 0});
  EXPECT_EQ(cut.lineCount(), 1);
  EXPECT_TRUE(cut.isTruncated());
  EXPECT_LE(cut.usedRect().width(), width + 0.01);
}

TEST(TextLayout, CentredTextSitsInTheMiddle) {
  const TextLayout centred("Hi", attrs(14, 0, LineBreakMode::WordWrap, TextAlignment::Center), {200, 0});
  const Rect used = centred.usedRect();
  EXPECT_NEAR(used.midX(), 100, 0.5);
  const TextLayout left("Hi", attrs(14), {200, 0});
  EXPECT_NEAR(left.usedRect().minX(), 0, 1e-9);
}

TEST(TextLayout, CharacterIndexUnderAPoint) {
  const std::string text = "Read our terms now";
  const TextLayout layout(text, attrs(14), {300, 0});
  const Font f = Font::named("Roboto-Regular", 14);
  const double y = f.lineHeight() / 2;
  // Middle of "terms": after "Read our " plus half of "terms".
  const double x = f.sizeOfText("Read our ").width + f.sizeOfText("terms").width / 2;
  const auto index = layout.characterIndexAtPoint({x, y});
  ASSERT_TRUE(index);
  EXPECT_GE(*index, text.find("terms"));
  EXPECT_LT(*index, text.find("terms") + 5);
  EXPECT_EQ(layout.characterIndexAtPoint({0.5, y}), 0u);
  // Far right and far below fall on the nearest character.
  EXPECT_EQ(*layout.characterIndexAtPoint({1000, 1000}), text.size() - 1);
  EXPECT_FALSE(TextLayout("", attrs(14), {100, 0}).characterIndexAtPoint({1, 1}));
}

TEST(TextLayout, MeasureTextMatchesTheLayout) {
  const Size s = measureText("Snapshot saved", attrs(12), {0, 0});
  EXPECT_EQ(s, Font::named("Roboto-Regular", 12).sizeOfText("Snapshot saved"));
  EXPECT_EQ(measureText("", attrs(12), {100, 100}), (Size{0, 0}));
}

}  // namespace
}  // namespace dk::platform
