// Day and month strips and the calendar: rows back to the last date (never fewer than one), what
// a user's pick and a move in code report, the month names and marks, the turned cells, and the
// calendar's set-up.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/calendar_ignoring_dst.h"
#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"
#include "timeline/kl_calendar.h"
#include "timeline/kl_date_month_picker_view_cell.h"
#include "timeline/kl_day_picker_data_source_delegate.h"
#include "timeline/kl_horizontal_picker_view.h"
#include "timeline/kl_month_picker_data_source_delegate.h"
#include "timeline_fixture.h"

namespace dk {
namespace {

using platform::Point;
using platform::Rect;

// 2021-03-15 12:00 UTC.
constexpr double kMidMarch = 1615809600;

class Screen : public KLDatePickerDelegate {
 public:
  std::optional<double> lastDate;
  bool answersLastDate = true;
  std::vector<int64_t> offsets;
  std::vector<double> dates;
  bool respondsToSelector(std::string_view s) const override {
    if (s == "lastDateForPickerView:") return answersLastDate;
    return s == "pickerView:didSelectDate:" || s == "pickerView:didSelectDateWithOffset:";
  }
  std::optional<double> lastDateForPickerView(platform::PickerView&) override { return lastDate; }
  void pickerViewDidSelectDate(platform::PickerView&, double date) override { dates.push_back(date); }
  void pickerViewDidSelectDateWithOffset(platform::PickerView&, int64_t offset) override { offsets.push_back(offset); }
};

class DatePickersTest : public test::TimelineUiTest {
 protected:
  void SetUp() override {
    platform::TimeZone::setLocal(platform::TimeZone::gmt());
    platform::Locale::setCurrent("en_US");
    resetDateCachesForTesting();
    TimelineUiTest::SetUp();
    clock_.clock().set(kMidMarch);
    days_->setPickerDelegate(screen_);
    dayPicker_->setDataSource(days_);
    dayPicker_->setDelegate(days_);
    root().addSubview(dayPicker_);
    dayPicker_->rotateWithDirection(2, Rect(0, 500, 330, 60));
  }
  void TearDown() override {
    TimelineUiTest::TearDown();
    resetDateCachesForTesting();
    platform::TimeZone::setLocal(std::nullopt);
    platform::Locale::setCurrent(std::nullopt);
  }
  std::shared_ptr<KLMonthPickerDataSourceDelegate> makeMonthPicker() {
    auto months = std::make_shared<KLMonthPickerDataSourceDelegate>();
    months->setPickerDelegate(screen_);
    monthPicker_->setDataSource(months);
    monthPicker_->setDelegate(months);
    root().addSubview(monthPicker_);
    monthPicker_->rotateWithDirection(2, Rect(0, 400, 330, 60));
    return months;
  }

  std::shared_ptr<Screen> screen_ = std::make_shared<Screen>();
  std::shared_ptr<KLDayPickerDataSourceDelegate> days_ = std::make_shared<KLDayPickerDataSourceDelegate>();
  std::shared_ptr<KLHorizontalPickerView> dayPicker_ = std::make_shared<KLHorizontalPickerView>();
  std::shared_ptr<KLHorizontalPickerView> monthPicker_ = std::make_shared<KLHorizontalPickerView>();
};

TEST_F(DatePickersTest, TheStripIsTurnedToTheFrameItIsGiven) {
  EXPECT_EQ(dayPicker_->currentDirection(), 2);
  EXPECT_NEAR(dayPicker_->transform().b, 1.0, 1e-12);  // +pi/2
  EXPECT_NEAR(dayPicker_->frame().size.width, 330, 1e-9);
  EXPECT_NEAR(dayPicker_->frame().size.height, 60, 1e-9);
  dayPicker_->rotateWithDirection(1, Rect(0, 500, 330, 60));
  EXPECT_NEAR(dayPicker_->transform().b, -1.0, 1e-12);
  EXPECT_EQ(dayPicker_->currentDirection(), 1);
  // Three rows across the strip.
  EXPECT_NEAR(dayPicker_->rowSizeForComponent(0).height, 110, 1e-9);
}

TEST_F(DatePickersTest, DayRowsReachBackToTheLastDateAndNeverFallBelowOne) {
  screen_->lastDate = kMidMarch - 2 * 3600;  // today
  dayPicker_->reloadAllComponents();
  EXPECT_EQ(dayPicker_->numberOfRowsInComponent(0), 1);
  screen_->lastDate = kMidMarch - 5 * 86400;
  dayPicker_->reloadAllComponents();
  EXPECT_EQ(dayPicker_->numberOfRowsInComponent(0), 6);
  // A last date in the future, or none at all, still leaves today.
  screen_->lastDate = kMidMarch + 3 * 86400;
  dayPicker_->reloadAllComponents();
  EXPECT_EQ(dayPicker_->numberOfRowsInComponent(0), 1);
  screen_->answersLastDate = false;
  dayPicker_->reloadAllComponents();
  EXPECT_EQ(dayPicker_->numberOfRowsInComponent(0), 1);
}

TEST_F(DatePickersTest, DayRowsNameTheDaysAndMarkTheSelectedOne) {
  screen_->lastDate = kMidMarch - 10 * 86400;
  dayPicker_->reloadAllComponents();
  auto today = std::dynamic_pointer_cast<KLDateMonthPickerViewCell>(days_->viewForRow(*dayPicker_, 0, 0, nullptr));
  auto yesterday = std::dynamic_pointer_cast<KLDateMonthPickerViewCell>(days_->viewForRow(*dayPicker_, 1, 0, nullptr));
  auto older = std::dynamic_pointer_cast<KLDateMonthPickerViewCell>(days_->viewForRow(*dayPicker_, 4, 0, nullptr));
  ASSERT_TRUE(today && yesterday && older);
  EXPECT_EQ(today->text(), stringDateFromDate(kMidMarch));
  EXPECT_EQ(older->text(), dateFormatter()->stringFromDate(kMidMarch - 4 * 86400));
  EXPECT_TRUE(today->isSelected());
  EXPECT_FALSE(yesterday->isSelected());
  // Upright, a cell is one row wide and as tall as the strip, and it is turned back.
  EXPECT_NEAR(today->bounds().size.width, 110, 1e-9);
  EXPECT_NEAR(today->bounds().size.height, 60, 1e-9);
  EXPECT_NEAR(today->transform().b, -1.0, 1e-12);
}

TEST_F(DatePickersTest, AUsersPickReportsTheMoveInDaysOnce) {
  screen_->lastDate = kMidMarch - 10 * 86400;
  dayPicker_->reloadAllComponents();
  days_->didSelectRow(*dayPicker_, 3, 0);
  ASSERT_EQ(screen_->offsets, (std::vector<int64_t>{-3}));
  days_->didSelectRow(*dayPicker_, 1, 0);
  EXPECT_EQ(screen_->offsets, (std::vector<int64_t>{-3, 2}));
  days_->didSelectRow(*dayPicker_, 1, 0);
  EXPECT_EQ(screen_->offsets.size(), 2u);
  EXPECT_EQ(days_->selectedRow(), 1);
}

TEST_F(DatePickersTest, TappingTheDayLeftOfTodayGoesOneDayBack) {
  screen_->lastDate = kMidMarch - 10 * 86400;
  dayPicker_->reloadAllComponents();
  auto d = driver();
  d.pump();
  // Turned clockwise, older rows lie to the left of the selected one.
  d.tap(Point{165 - 110, 530});
  d.settle();
  EXPECT_EQ(screen_->offsets, (std::vector<int64_t>{-1}));
  EXPECT_EQ(days_->selectedRow(), 1);
}

TEST_F(DatePickersTest, AMoveInCodeFollowsTheDayWithoutReporting) {
  screen_->lastDate = kMidMarch - 10 * 86400;
  dayPicker_->reloadAllComponents();
  dayPicker_->updatePickerWithSelectedDateForTimeInterval(kMidMarch - 2 * 86400, platform::kCalendarUnitDay);
  EXPECT_EQ(dayPicker_->selectedRowInComponent(0), 2);
  EXPECT_EQ(days_->selectedRow(), 2);
  EXPECT_TRUE(screen_->offsets.empty());
  // Older than the last row, or after today: nothing moves.
  dayPicker_->updatePickerWithSelectedDateForTimeInterval(kMidMarch - 30 * 86400, platform::kCalendarUnitDay);
  dayPicker_->updatePickerWithSelectedDateForTimeInterval(kMidMarch + 2 * 86400, platform::kCalendarUnitDay);
  EXPECT_EQ(dayPicker_->selectedRowInComponent(0), 2);
  EXPECT_EQ(days_->selectedRow(), 2);
  dayPicker_->updatePickerWithSelectedDateForTimeInterval(NAN, platform::kCalendarUnitDay);
  EXPECT_EQ(days_->selectedRow(), 2);
}

TEST_F(DatePickersTest, NumberOfComponentsHidesTheSelectionLines) {
  dayPicker_->reloadAllComponents();
  dayPicker_->layoutIfNeeded();
  size_t lines = 0;
  for (const auto& v : dayPicker_->subviews()) {
    if (v->frame().size.height < 1.0) {
      ++lines;
      EXPECT_TRUE(v->isHidden());
    }
  }
  EXPECT_GE(lines, 2u);
}

TEST_F(DatePickersTest, MonthRowsStartAtThisMonthAndRunBackwards) {
  auto months = makeMonthPicker();
  EXPECT_EQ(months->currentMonthIndex(), 9);  // March
  ASSERT_EQ(months->months().size(), 12u);
  EXPECT_EQ(months->months()[0], "December");
  auto text = [&](long row) {
    return std::dynamic_pointer_cast<KLDateMonthPickerViewCell>(months->viewForRow(*monthPicker_, row, 0, nullptr))->text();
  };
  EXPECT_EQ(text(0), "March");
  EXPECT_EQ(text(2), "January");
  EXPECT_EQ(text(3), "December");
  screen_->lastDate = kMidMarch - 86400;
  monthPicker_->reloadAllComponents();
  EXPECT_EQ(monthPicker_->numberOfRowsInComponent(0), 1);
  screen_->lastDate = kMidMarch - 400 * 86400;  // February 2020
  monthPicker_->reloadAllComponents();
  EXPECT_EQ(monthPicker_->numberOfRowsInComponent(0), 14);
  screen_->lastDate = std::nullopt;
  monthPicker_->reloadAllComponents();
  EXPECT_EQ(monthPicker_->numberOfRowsInComponent(0), 1);
}

TEST_F(DatePickersTest, OnlyTheSelectedMonthRowIsMarked) {
  auto months = makeMonthPicker();
  screen_->lastDate = kMidMarch - 400 * 86400;
  monthPicker_->reloadAllComponents();
  auto cell = [&](long row, std::shared_ptr<platform::View> reuse = nullptr) {
    return std::dynamic_pointer_cast<KLDateMonthPickerViewCell>(months->viewForRow(*monthPicker_, row, 0, reuse));
  };
  auto thisMarch = cell(0);
  EXPECT_TRUE(thisMarch->isSelected());
  // March a year earlier has the same name but is another row.
  EXPECT_EQ(cell(12)->text(), "March");
  EXPECT_FALSE(cell(12)->isSelected());
  // A reused cell that was marked loses the mark.
  auto reused = cell(1, thisMarch);
  EXPECT_EQ(reused.get(), thisMarch.get());
  EXPECT_FALSE(reused->isSelected());
}

TEST_F(DatePickersTest, AMonthPickReportsTheDateThatManyMonthsBack) {
  auto months = makeMonthPicker();
  screen_->lastDate = kMidMarch - 400 * 86400;
  monthPicker_->reloadAllComponents();
  months->didSelectRow(*monthPicker_, 2, 0);
  ASSERT_EQ(screen_->dates.size(), 1u);
  EXPECT_EQ(screen_->dates[0], *calendarWithIgnoringDST()->dateByAddingUnit(platform::kCalendarUnitMonth, -2, kMidMarch));
  driver().settle();
  EXPECT_EQ(monthPicker_->selectedRowInComponent(0), 2);
  // A move in code reports the date too.
  monthPicker_->updatePickerWithSelectedDateForTimeInterval(kMidMarch - 200 * 86400, platform::kCalendarUnitMonth);
  ASSERT_EQ(screen_->dates.size(), 2u);
  const double now = platform::now();  // settling moved the clock on
  EXPECT_EQ(screen_->dates[1], *calendarWithIgnoringDST()->dateByAddingUnit(platform::kCalendarUnitMonth, -7, now));
  // Before the first row: nothing.
  monthPicker_->updatePickerWithSelectedDateForTimeInterval(kMidMarch + 40 * 86400, platform::kCalendarUnitMonth);
  EXPECT_EQ(screen_->dates.size(), 2u);
}

TEST_F(DatePickersTest, ACellShowsItsSelectionInTheThemeColours) {
  auto cell = KLDateMonthPickerViewCell::loadFromNib();
  EXPECT_EQ(cell->dateMonthLabel()->textColor(), coolGreyColor());
  cell->setIsSelected(true);
  EXPECT_TRUE(cell->isSelected());
  EXPECT_EQ(cell->dateMonthLabel()->textColor(), darkColor());
  EXPECT_EQ(cell->selectionImageView()->tintColor(), darkColor());
  cell->setIsSelected(false);
  EXPECT_EQ(cell->dateMonthLabel()->textColor(), coolGreyColor());
  EXPECT_EQ(cell->selectionImageView()->tintColor(), coolGreyColor());
  cell->setText("Today");
  cell->layoutIfNeeded();
  EXPECT_EQ(cell->dateMonthLabel()->text(), "Today");
}

TEST_F(DatePickersTest, TheCalendarStartsOnMondayInTheThemesLook) {
  auto calendar = std::make_shared<KLCalendar>(Rect(0, 0, 350, 400));
  root().addSubview(calendar);
  calendar->setUpView();
  calendar->layoutIfNeeded();
  EXPECT_EQ(calendar->firstWeekday(), 2);
  EXPECT_EQ(calendar->headerHeight(), 50.0);
  EXPECT_EQ(calendar->weekdayHeight(), 50.0);
  EXPECT_TRUE(calendar->clipsToBounds());
  EXPECT_EQ(calendar->placeholderType(), platform::CalendarPlaceholderType::None);
  EXPECT_EQ(calendar->headerTitle(), "2021");
  const auto titles = calendar->weekdayTitles();
  EXPECT_EQ(titles.front(), "M");
  EXPECT_EQ(titles.back(), "S");
  EXPECT_EQ(calendar->appearance().selectionColor, lightColor());
  EXPECT_EQ(calendar->calendar(), calendarWithIgnoringDST());
  // Days of February are not shown on the March page.
  EXPECT_FALSE(calendar->cellForDate(kMidMarch - 15 * 86400));
  auto today = calendar->cellForDate(kMidMarch);
  ASSERT_TRUE(today);
  EXPECT_EQ(today->textColor(), accentColor());
}

}  // namespace
}  // namespace dk
