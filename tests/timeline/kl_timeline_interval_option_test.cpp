// Zoom levels: the settings of each level, what any other level falls back to, and zooming.
#include <gtest/gtest.h>

#include "timeline/kl_timeline_interval_option.h"

namespace dk {
namespace {

TEST(KLTimelineIntervalOption, EachLevelHasItsRowLabelAndPrecisionSettings) {
  struct Expected {
    unsigned long level;
    double row, label, recording, event;
    std::string name;
  };
  const Expected table[] = {{0, 30, 60, 5, 14.25, "3 min"}, {1, 150, 300, 25, 71.25, "15 min"},
                            {2, 600, 900, 100, 285, "1 h"}};
  for (const auto& e : table) {
    KLTimelineIntervalOption option(e.level);
    SCOPED_TRACE(e.level);
    EXPECT_EQ(option.interval(), e.level);
    EXPECT_EQ(option.rowTimeInterval(), e.row);
    EXPECT_EQ(option.timestampInterval(), e.label);
    EXPECT_EQ(option.recordingOffsetPrecision(), e.recording);
    EXPECT_EQ(option.eventOffsetPrecision(), e.event);
    EXPECT_EQ(option.name(), e.name);
    ASSERT_TRUE(option.formatter());
  }
  // 30 x 0.5 x 0.95, not a rounded 15.
  EXPECT_EQ(KLTimelineIntervalOption(0).eventOffsetPrecision(), 14.25);
}

TEST(KLTimelineIntervalOption, AnyOtherLevelTakesTheOneHourSettingsAndKeepsItsValue) {
  auto option = KLTimelineIntervalOption::optionWithInterval(7);
  EXPECT_EQ(option->interval(), 7u);
  EXPECT_EQ(option->rowTimeInterval(), 600);
  EXPECT_EQ(option->timestampInterval(), 900);
  EXPECT_EQ(option->recordingOffsetPrecision(), 100);
  EXPECT_EQ(KLTimelineIntervalOption::zoomOutOptionForInterval(7)->interval(), 2u);
  EXPECT_EQ(KLTimelineIntervalOption::zoomInOptionForInterval(7)->interval(), 0u);
}

TEST(KLTimelineIntervalOption, ZoomingStepsThroughTheLevelsAndSaturatesAtTheEnds) {
  EXPECT_EQ(KLTimelineIntervalOption::zoomInOptionForInterval(2)->interval(), 1u);
  EXPECT_EQ(KLTimelineIntervalOption::zoomInOptionForInterval(1)->interval(), 0u);
  EXPECT_EQ(KLTimelineIntervalOption::zoomInOptionForInterval(0)->interval(), 0u);
  EXPECT_EQ(KLTimelineIntervalOption::zoomOutOptionForInterval(0)->interval(), 1u);
  EXPECT_EQ(KLTimelineIntervalOption::zoomOutOptionForInterval(1)->interval(), 2u);
  EXPECT_EQ(KLTimelineIntervalOption::zoomOutOptionForInterval(2)->interval(), 2u);
  EXPECT_EQ(KLTimelineIntervalOption::defaultOption()->interval(), 2u);
}

TEST(KLTimelineIntervalOption, AllOptionsListsTheThreeLevelsInOrder) {
  auto all = KLTimelineIntervalOption::allOptions();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0]->rowTimeInterval(), 30);
  EXPECT_EQ(all[1]->rowTimeInterval(), 150);
  EXPECT_EQ(all[2]->rowTimeInterval(), 600);
}

TEST(KLTimelineIntervalOption, LabelsAreShortTimesWithoutADate) {
  auto option = KLTimelineIntervalOption::defaultOption();
  const std::string text = option->formatter()->stringFromDate(1700000000);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find("2023"), std::string::npos) << text;
  EXPECT_NE(text.find(':'), std::string::npos) << text;
}

}  // namespace
}  // namespace dk
