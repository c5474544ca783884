// Date navigation on the timeline screen, driven as a person would: the day strip below the
// player, the calendar button, the month strip and the calendar over the time strip. A chosen
// day moves the axis; the strips and the open calendar follow the axis; the range ends at the
// oldest recorded day and at today.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "foundation/date_timeline_helper.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"
#include "timeline_screen_fixture.h"

namespace dk {
namespace {

using platform::Point;
using test::restRecording;

// 2023-11-14 01:30:00 UTC: just after midnight, so a short drag reaches yesterday.
constexpr double kDateNavNow = 1699925400;
constexpr double kDay = 86400;

class DateNavigation : public test::TimelineScreenTest {
 protected:
  void SetUp() override {
    platform::TimeZone::setLocal(platform::TimeZone::gmt());
    platform::Locale::setCurrent("en_US");
    resetDateCachesForTesting();
    TimelineScreenTest::SetUp();
    clock_.clock().set(kDateNavNow);
    today_ = midnight(kDateNavNow);
    setRecordings(defaultRecordings());
  }
  void TearDown() override {
    TimelineScreenTest::TearDown();
    resetDateCachesForTesting();
    platform::TimeZone::setLocal(std::nullopt);
    platform::Locale::setCurrent(std::nullopt);
  }

  // Today just after midnight, three days back from 07:12, and forty days back (the oldest).
  // Four days back has nothing.
  std::vector<KLRecordingPtr> defaultRecordings() {
    return {restRecording(3, today_ + 600, today_ + 2400),
            restRecording(2, today_ - 3 * kDay + 7 * 3600 + 720, today_ - 3 * kDay + 8 * 3600),
            restRecording(1, today_ - 40 * kDay + 10 * 3600, today_ - 40 * kDay + 11 * 3600)};
  }

  std::shared_ptr<KLTimelineViewController> opened() {
    auto screen = showScreen(makeScreen(KLTimelineZoomLevelDefault));
    driver().advance(1.0);
    return screen;
  }
  void tapCalendarButton(KLTimelineViewController& screen) {
    driver().tap(*screen.calendarButton());
    driver().advance(1.0);
  }
  // The row `rows` places older than the selected one: older rows lie to the left.
  void tapStripRowsBack(const KLHorizontalPickerView& picker, int rows) {
    const Point center = platform::UiTestDriver::centerOf(picker);
    const double row = picker.frame().size.width / 3;
    driver().tap(Point{center.x - rows * row, center.y});
    driver().settle();
    driver().advance(1.0);
  }
  double scrollTime(const KLTimelineViewController& screen) { return screen.adapter()->scrollTime(); }

  double today_ = 0;
};

TEST_F(DateNavigation, TheCalendarButtonSwapsTheDayStripForTheMonthStripAndCalendar) {
  auto screen = opened();
  EXPECT_TRUE(screen->isCalendarHidden());
  EXPECT_EQ(screen->dayPickerView()->alpha(), 1.0);
  EXPECT_EQ(screen->monthPickerView()->alpha(), 0.0);
  // Both strips run back to the oldest recorded day and month.
  EXPECT_EQ(screen->dayPickerView()->numberOfRowsInComponent(0), 41);
  EXPECT_EQ(screen->monthPickerView()->numberOfRowsInComponent(0), 2);

  tapCalendarButton(*screen);
  EXPECT_FALSE(screen->isCalendarHidden());
  EXPECT_EQ(screen->calendarContainerView()->alpha(), 1.0);
  EXPECT_EQ(screen->monthPickerView()->alpha(), 1.0);
  EXPECT_EQ(screen->dayPickerView()->alpha(), 0.0);
  EXPECT_EQ(screen->calendarButton()->imageView()->tintColor(), lightColor());

  tapCalendarButton(*screen);
  EXPECT_TRUE(screen->isCalendarHidden());
  EXPECT_EQ(screen->dayPickerView()->alpha(), 1.0);
  EXPECT_EQ(screen->monthPickerView()->alpha(), 0.0);
  EXPECT_EQ(screen->calendarButton()->imageView()->tintColor(), darkColor());
}

TEST_F(DateNavigation, ADayChosenInTheCalendarStartsAtItsFirstRecordingAndClosesTheCalendar) {
  auto screen = opened();
  tapCalendarButton(*screen);
  auto cell = screen->calendar()->cellForDate(today_ - 3 * kDay);
  ASSERT_TRUE(cell);
  driver().tap(*cell);
  driver().advance(1.0);
  EXPECT_NEAR(scrollTime(*screen), today_ - 3 * kDay + 7 * 3600 + 720, 1.0) << "07:12, not midnight";
  EXPECT_EQ(screen->dayPickerDataSourceDelegate()->selectedRow(), 3);
  EXPECT_EQ(screen->dayPickerView()->selectedRowInComponent(0), 3);
  EXPECT_TRUE(screen->isCalendarHidden());
  EXPECT_EQ(screen->dayPickerView()->alpha(), 1.0);
}

TEST_F(DateNavigation, ADayWithoutRecordingsIsGreyAndCannotBeChosen) {
  auto screen = opened();
  tapCalendarButton(*screen);
  auto calendar = screen->calendar();
  auto empty = calendar->cellForDate(today_ - 4 * kDay);
  auto recorded = calendar->cellForDate(today_ - 3 * kDay);
  ASSERT_TRUE(empty && recorded);
  EXPECT_EQ(empty->textColor(), lightGreyColor());
  EXPECT_EQ(recorded->textColor(), darkColor());
  const double before = scrollTime(*screen);
  const auto selected = calendar->selectedDate();
  driver().tap(*empty);
  driver().advance(1.0);
  EXPECT_EQ(scrollTime(*screen), before);
  EXPECT_EQ(calendar->selectedDate(), selected);
  EXPECT_FALSE(screen->isCalendarHidden());
}

TEST_F(DateNavigation, OpeningTheCalendarSelectsTheScrolledDayOrOnlyShowsAnEmptyOne) {
  auto screen = opened();
  auto calendar = screen->calendar();
  EXPECT_EQ(calendar->selectedDate(), std::nullopt) << "nothing chosen before it opens";
  tapCalendarButton(*screen);
  EXPECT_EQ(calendar->selectedDate(), today_);
  tapCalendarButton(*screen);

  // A day without recordings: its page is shown, nothing selected.
  screen->scrollTableViewToTime(today_ - 4 * kDay + 12 * 3600, false, true);
  tapCalendarButton(*screen);
  EXPECT_EQ(calendar->selectedDate(), std::nullopt);
  EXPECT_EQ(calendar->currentPage(), midnight(today_ - 13 * kDay));  // 2023-11-01
  tapCalendarButton(*screen);

  // A day of another month with recordings: its page and the day.
  screen->scrollTableViewToTime(today_ - 40 * kDay + 10 * 3600 + 60, false, true);
  tapCalendarButton(*screen);
  EXPECT_EQ(calendar->selectedDate(), today_ - 40 * kDay);
  EXPECT_EQ(calendar->currentPage(), midnight(today_ - 44 * kDay));  // 2023-10-01
}

TEST_F(DateNavigation, TheAxisMovesTheDayStripAndTheOpenCalendarOnly) {
  auto screen = opened();
  auto calendar = screen->calendar();
  auto table = screen->tableView();
  tapCalendarButton(*screen);
  tapCalendarButton(*screen);
  ASSERT_EQ(calendar->selectedDate(), today_);
  const Point center = platform::UiTestDriver::centerOf(*table);
  const double height = table->frame().size.height;
  // Upwards is towards the past: some five hours back, into yesterday.
  driver().drag(Point{center.x, center.y + height * 0.4}, Point{center.x, center.y - height * 0.4}, 0.5);
  driver().settle();
  ASSERT_LT(scrollTime(*screen), today_);
  EXPECT_EQ(screen->dayPickerDataSourceDelegate()->selectedRow(), 1);
  EXPECT_EQ(screen->dayPickerView()->selectedRowInComponent(0), 1);
  // Hidden, the calendar stays on the day it had.
  EXPECT_EQ(calendar->selectedDate(), today_);

  tapCalendarButton(*screen);
  EXPECT_EQ(calendar->selectedDate(), std::nullopt) << "yesterday has no recording";
  EXPECT_EQ(calendar->currentPage(), midnight(today_ - 13 * kDay));
  // The calendar covers the strip: a drag there does not reach the axis...
  const double covered = scrollTime(*screen);
  driver().drag(Point{center.x, center.y - height * 0.4}, Point{center.x, center.y + height * 0.4}, 0.5);
  driver().settle();
  EXPECT_EQ(scrollTime(*screen), covered);
  // ...what moves it now is playback, in code.
  screen->scrollTableViewToTime(today_ + 600, false, true);
  ASSERT_GE(scrollTime(*screen), today_);
  EXPECT_EQ(calendar->selectedDate(), today_);
}

TEST_F(DateNavigation, OneDayBackInTheDayStripPausesAndMovesTheAxisExactlyOneDay) {
  auto screen = opened();
  auto player = std::make_shared<test::RecordingPlayer>();
  screen->setPlayer(player);
  player->log.clear();
  const double before = scrollTime(*screen);
  tapStripRowsBack(*screen->dayPickerView(), 1);
  ASSERT_FALSE(player->log.empty());
  EXPECT_EQ(player->log.front(), "pause");
  EXPECT_NEAR(scrollTime(*screen), before - kDay, 1.0);
  EXPECT_EQ(screen->dayPickerDataSourceDelegate()->selectedRow(), 1);
}

TEST_F(DateNavigation, AMonthChosenInTheMonthStripTurnsTheCalendarsPage) {
  auto screen = opened();
  tapCalendarButton(*screen);
  auto calendar = screen->calendar();
  EXPECT_EQ(calendar->headerTitle(), "2023");
  EXPECT_EQ(calendar->currentPage(), midnight(today_ - 13 * kDay));  // 2023-11-01
  tapStripRowsBack(*screen->monthPickerView(), 1);
  EXPECT_EQ(calendar->currentPage(), midnight(today_ - 44 * kDay));  // 2023-10-01
  EXPECT_EQ(screen->monthPickerView()->selectedRowInComponent(0), 1);
  EXPECT_FALSE(screen->isCalendarHidden());
}

TEST_F(DateNavigation, TheCalendarEndsAtTheOldestRecordedDayAndAtToday) {
  auto screen = opened();
  tapCalendarButton(*screen);
  auto calendar = screen->calendar();
  EXPECT_LE(calendar->maximumDate(), now());
  EXPECT_GE(calendar->maximumDate(), today_);
  EXPECT_EQ(midnight(calendar->minimumDate()), today_ - 40 * kDay);
  // The oldest day itself can be chosen.
  calendar->setCurrentPage(today_ - 40 * kDay);
  auto oldest = calendar->cellForDate(today_ - 40 * kDay);
  ASSERT_TRUE(oldest);
  driver().tap(*oldest);
  driver().advance(1.0);
  EXPECT_NEAR(scrollTime(*screen), today_ - 40 * kDay + 10 * 3600, 1.0);
  EXPECT_EQ(screen->dayPickerDataSourceDelegate()->selectedRow(), 40);

  // Tomorrow and the day before the oldest are out of reach.
  tapCalendarButton(*screen);
  const auto selected = calendar->selectedDate();
  screen->calendarSelectDateAtTime(today_ - 41 * kDay, true);
  EXPECT_EQ(calendar->selectedDate(), selected);
  screen->calendarSelectDateAtTime(today_ + kDay + 60, true);
  EXPECT_EQ(calendar->selectedDate(), selected);
  calendar->setCurrentPage(today_);
  if (auto tomorrow = calendar->cellForDate(today_ + kDay)) {
    driver().tap(*tomorrow);
    driver().advance(1.0);
  }
  EXPECT_EQ(calendar->selectedDate(), selected);
  EXPECT_FALSE(screen->isCalendarHidden());
}

TEST_F(DateNavigation, AnOlderRecordingWidensTheRangeAtTheNextReload) {
  auto screen = opened();
  ASSERT_EQ(screen->dayPickerView()->numberOfRowsInComponent(0), 41);
  const auto oldestDay = screen->minimumDateForCalendar();
  auto list = defaultRecordings();
  list.push_back(restRecording(0, today_ - 60 * kDay + 3600, today_ - 60 * kDay + 7200));
  setRecordings(list);
  driver().advance(1.5);
  EXPECT_NE(screen->minimumDateForCalendar(), oldestDay);
  EXPECT_EQ(screen->minimumDateForCalendar(), today_ - 60 * kDay);
  EXPECT_EQ(screen->dayPickerView()->numberOfRowsInComponent(0), 61);
}

}  // namespace
}  // namespace dk
