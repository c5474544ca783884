// Month calendar: pages within the range, "page changed" only for real changes (by code or a
// swipe), "day selected" only for a user's tap, selection and deselection, first weekday and the
// days of a fixed-offset calendar.
#include <gtest/gtest.h>

#include "platform/foundation/date_formatter.h"
#include "platform/ui/month_calendar_view.h"
#include "ui_fixture.h"

namespace dk::platform::testing {
namespace {

// 2021-03-15 12:00 UTC.
constexpr double kMidMarch = 1615809600;

class Range : public MonthCalendarDataSource, public MonthCalendarDelegate {
 public:
  std::optional<double> min, max;
  bool allowSelection = true;
  std::vector<double> selected;
  std::vector<MonthPosition> positions;
  int pageChanges = 0;

  std::optional<double> minimumDate(MonthCalendarView&) override { return min; }
  std::optional<double> maximumDate(MonthCalendarView&) override { return max; }
  bool shouldSelectDate(MonthCalendarView&, double, MonthPosition) override { return allowSelection; }
  void didSelectDate(MonthCalendarView&, double date, MonthPosition position) override {
    selected.push_back(date);
    positions.push_back(position);
  }
  void currentPageDidChange(MonthCalendarView&) override { ++pageChanges; }
};

class MonthCalendarViewTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    clock_.clock().set(kMidMarch);
    showWindow();
    utc_ = Calendar::create(Calendar::Identifier::Gregorian, TimeZone::gmt(), Locale("en_US"));
    calendar_ = std::make_shared<MonthCalendarView>(Rect(0, 0, 350, 400));
    calendar_->setCalendar(utc_);
    range_->min = kMidMarch - 120 * 86400;  // mid-November 2020
    range_->max = kMidMarch;
    calendar_->setDataSource(range_);
    calendar_->setDelegate(range_);
    window_->rootViewController()->view()->addSubview(calendar_);
    calendar_->layoutIfNeeded();
    range_->pageChanges = 0;
  }
  double day(int year, int month, int dayOfMonth) {
    return *utc_->dateFromComponents({.year = year, .month = month, .day = dayOfMonth});
  }
  Point centreOf(double date) {
    auto cell = calendar_->cellForDate(date);
    EXPECT_TRUE(cell);
    if (!cell) return {};
    return {cell->frame().midX(), cell->frame().midY()};
  }

  CalendarPtr utc_;
  std::shared_ptr<MonthCalendarView> calendar_;
  std::shared_ptr<Range> range_ = std::make_shared<Range>();
};

TEST_F(MonthCalendarViewTest, APageChangeInCodeIsReportedOnlyWhenThePageReallyChanges) {
  EXPECT_EQ(calendar_->currentPage(), day(2021, 3, 1));
  calendar_->setCurrentPage(day(2021, 3, 28));
  EXPECT_EQ(range_->pageChanges, 0);
  calendar_->setCurrentPage(day(2021, 1, 20));
  EXPECT_EQ(range_->pageChanges, 1);
  EXPECT_EQ(calendar_->currentPage(), day(2021, 1, 1));
  EXPECT_EQ(calendar_->headerTitle(), "January 2021");
}

TEST_F(MonthCalendarViewTest, PagesStayWithinTheMonthsOfTheRange) {
  calendar_->setCurrentPage(day(2021, 6, 1));
  EXPECT_EQ(calendar_->currentPage(), day(2021, 3, 1));
  EXPECT_EQ(range_->pageChanges, 0);
  calendar_->setCurrentPage(day(2019, 6, 1));
  EXPECT_EQ(calendar_->currentPage(), day(2020, 11, 1));
  EXPECT_EQ(range_->pageChanges, 1);
}

TEST_F(MonthCalendarViewTest, SwipesTurnPagesAndReportIt) {
  auto d = driver();
  d.swipe(Point{175, 250}, kSwipeRight);
  EXPECT_EQ(calendar_->currentPage(), day(2021, 2, 1));
  EXPECT_EQ(range_->pageChanges, 1);
  d.swipe(Point{175, 250}, kSwipeLeft);
  d.swipe(Point{175, 250}, kSwipeLeft);  // beyond the maximum: stays
  EXPECT_EQ(calendar_->currentPage(), day(2021, 3, 1));
  EXPECT_EQ(range_->pageChanges, 2);
}

TEST_F(MonthCalendarViewTest, OnlyAUsersTapReportsASelectedDay) {
  calendar_->selectDate(day(2021, 3, 10), false);
  EXPECT_EQ(calendar_->selectedDate(), day(2021, 3, 10));
  EXPECT_TRUE(range_->selected.empty());

  driver().tap(centreOf(day(2021, 3, 4)));
  ASSERT_EQ(range_->selected.size(), 1u);
  EXPECT_EQ(range_->selected[0], day(2021, 3, 4));
  EXPECT_EQ(range_->positions[0], MonthPosition::Current);
  EXPECT_EQ(calendar_->selectedDate(), day(2021, 3, 4));
}

TEST_F(MonthCalendarViewTest, ARefusedOrOutOfRangeDayIsNotSelected) {
  range_->allowSelection = false;
  driver().tap(centreOf(day(2021, 3, 4)));
  EXPECT_FALSE(calendar_->selectedDate());
  range_->allowSelection = true;
  // After the maximum (today, the 15th).
  driver().tap(centreOf(day(2021, 3, 20)));
  EXPECT_FALSE(calendar_->selectedDate());
  EXPECT_TRUE(range_->selected.empty());
  calendar_->selectDate(day(2021, 3, 20));
  EXPECT_FALSE(calendar_->selectedDate());
}

TEST_F(MonthCalendarViewTest, SelectingWithScrollingShowsTheMonthAndDeselectingClears) {
  calendar_->selectDate(day(2020, 12, 24), true);
  EXPECT_EQ(calendar_->currentPage(), day(2020, 12, 1));
  EXPECT_EQ(range_->pageChanges, 1);
  EXPECT_TRUE(range_->selected.empty());
  calendar_->deselectDate(day(2020, 12, 24) + 3600);
  EXPECT_FALSE(calendar_->selectedDate());
  EXPECT_EQ(calendar_->currentPage(), day(2020, 12, 1));
}

TEST_F(MonthCalendarViewTest, TheFirstWeekdayLeadsTheGridAndTheWeekdayRow) {
  calendar_->setFirstWeekday(2);
  calendar_->appearance().caseOptions = kCalendarCaseWeekdayUsesSingleUpperCase;
  calendar_->reloadData();
  const auto titles = calendar_->weekdayTitles();
  ASSERT_EQ(titles.size(), 7u);
  EXPECT_EQ(titles[0], "M");
  EXPECT_EQ(titles[6], "S");
  // March 2021 begins on a Monday: it sits in the first column, the last day of February is shown
  // before it only with placeholders.
  EXPECT_EQ(calendar_->dateAtPoint({10, 70}), day(2021, 3, 1));
  calendar_->setPlaceholderType(CalendarPlaceholderType::None);
  calendar_->setFirstWeekday(1);
  calendar_->layoutIfNeeded();
  EXPECT_FALSE(calendar_->cellForDate(day(2021, 2, 28)));
  EXPECT_TRUE(calendar_->cellForDate(day(2021, 3, 1)));
}

TEST_F(MonthCalendarViewTest, DaysFollowTheCalendarsOwnZone) {
  // Two hours east of GMT: the 5th begins at 22:00 GMT on the 4th.
  auto east = Calendar::create(Calendar::Identifier::Gregorian, TimeZone::withSecondsFromGMT(7200), Locale("en_US"));
  calendar_->setCalendar(east);
  calendar_->layoutIfNeeded();
  const double fifth = day(2021, 3, 4) + 22 * 3600;
  driver().tap(centreOf(fifth));
  ASSERT_EQ(range_->selected.size(), 1u);
  EXPECT_EQ(range_->selected[0], fifth);
  EXPECT_EQ(calendar_->cellForDate(fifth)->text(), "5");
}

}  // namespace
}  // namespace dk::platform::testing
