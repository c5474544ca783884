// The timeline screen's date navigation: the day strip below the player, and in its place, when
// the calendar button opens it, the month strip above a month calendar laid over the time strip.
// The strips and the calendar ask the screen which dates exist and which days hold recordings;
// a chosen day moves the axis there, and the calendar follows the axis while it is shown.
#include <cmath>

#include "foundation/color_codes.h"
#include "foundation/date_timeline_helper.h"
#include "platform/dispatch/clock.h"
#include "timeline/kl_timeline_view_controller.h"
#include "ui/button_tint.h"

namespace dk {

namespace {
constexpr double kCalendarAnimationDuration = 0.5;
constexpr int kPickerDirection = 2;
constexpr double kSecondsPerDay = 86400;
}  // namespace

void KLTimelineViewController::buildDateLayout(platform::View& container, const platform::Rect& row,
                                               const platform::Rect& strip) {
  const double buttonSide = row.size.height;
  const platform::Rect pickerFrame(row.origin.x, row.origin.y, row.size.width - buttonSide, row.size.height);
  auto background = std::make_shared<platform::View>(row);
  background->setBackgroundColor(platform::Color::whiteColor());
  container.addSubview(background);
  auto day = std::make_shared<KLHorizontalPickerView>(pickerFrame);
  day->setAccessibilityIdentifier("day_picker");
  container.addSubview(day);
  dayPickerView_ = day;
  // Starts hidden: the calendar opens with it.
  auto month = std::make_shared<KLHorizontalPickerView>(pickerFrame);
  month->setAccessibilityIdentifier("month_picker");
  month->setAlpha(0);
  container.addSubview(month);
  monthPickerView_ = month;
  auto button = std::make_shared<platform::Button>(
      platform::Rect(row.origin.x + row.size.width - buttonSide, row.origin.y, buttonSide, buttonSide));
  button->setAccessibilityIdentifier("calendar_button");
  container.addSubview(button);
  calendarButton_ = button;

  auto calendarContainer = std::make_shared<platform::View>(strip);
  calendarContainer->setBackgroundColor(platform::Color::whiteColor());
  calendarContainer->setAlpha(0);
  container.addSubview(calendarContainer);
  calendarContainerView_ = calendarContainer;
  auto calendar = std::make_shared<KLCalendar>(platform::Rect(8, 0, strip.size.width - 16, strip.size.height));
  calendar->setAccessibilityIdentifier("calendar");
  calendarContainer->addSubview(calendar);
  calendar_ = calendar;
}

// ---- set-up ----

void KLTimelineViewController::setUpPickers() {
  auto self = std::static_pointer_cast<KLDatePickerDelegate>(sharedAs<KLTimelineViewController>());
  dayPickers_ = std::make_shared<KLDayPickerDataSourceDelegate>();
  monthPickers_ = std::make_shared<KLMonthPickerDataSourceDelegate>();
  dayPickers_->setPickerDelegate(self);
  monthPickers_->setPickerDelegate(self);
  if (auto day = dayPickerView()) {
    day->setDataSource(dayPickers_);
    day->setDelegate(dayPickers_);
  }
  if (auto month = monthPickerView()) {
    month->setDataSource(monthPickers_);
    month->setDelegate(monthPickers_);
  }
  if (auto button = calendarButton()) {
    setImageAndTint(*button, platform::Image::named("timeline_calendar_picker"), darkColor());
    button->addTarget(sharedAs<KLTimelineViewController>(), &KLTimelineViewController::calendarButtonPressed,
                      platform::kControlEventTouchUpInside);
  }
}

void KLTimelineViewController::setUpCalendar() {
  if (auto container = calendarContainerView()) {
    container->layer().setCornerRadius(16);
    container->layer().setMaskedCorners(platform::kCornerMinXMaxY | platform::kCornerMaxXMaxY);
  }
  auto calendar = this->calendar();
  if (!calendar) return;
  auto self = sharedAs<KLTimelineViewController>();
  calendar->setDataSource(std::static_pointer_cast<platform::MonthCalendarDataSource>(self));
  calendar->setDelegate(std::static_pointer_cast<platform::MonthCalendarDelegate>(self));
  calendar->setUpView();
}

void KLTimelineViewController::pickersDidAppear() {
  for (const auto& picker : {dayPickerView(), monthPickerView()}) {
    if (!picker) continue;
    picker->reloadAllComponents();
    // Both strips take the day strip's first frame: a turned view's frame is no longer its own.
    if (rect_.size.width > 0 && rect_.size.height > 0) picker->rotateWithDirection(kPickerDirection, rect_);
  }
}

void KLTimelineViewController::refreshDateRangeIfNeeded() {
  auto calendar = this->calendar();
  if (!calendar || !adapter_) return;
  auto minimum = minimumDate(*calendar);
  if (!minimum) return;
  const double m = midnight(*minimum);
  if (minimumDateForCalendar_ && *minimumDateForCalendar_ == m) return;
  minimumDateForCalendar_ = m;
  if (isCalendarHidden()) {
    if (auto day = dayPickerView()) day->reloadAllComponents();
  } else {
    if (auto month = monthPickerView()) month->reloadAllComponents();
    calendar->reloadData();
  }
}

// ---- range of dates ----

KLTimelineRecordingPtr KLTimelineViewController::firstRecordingOfDay(double date) const {
  if (!dataSource_) return nullptr;
  const double m = timeIntervalForMidnight(date);
  auto r = dataSource_->closestTimelineRecordingAfterTime(m);
  return r && r->timelineRecordingStartTime() < m + kSecondsPerDay ? r : nullptr;
}

bool KLTimelineViewController::areRecordingsAvailableForDate(double date) const {
  return firstRecordingOfDay(date) != nullptr;
}

std::optional<double> KLTimelineViewController::lastDateForPickerView(platform::PickerView&) {
  if (!adapter_) return std::nullopt;
  return minScrollTimeInTimelineAdapter(*adapter_);
}

std::optional<double> KLTimelineViewController::minimumDate(platform::MonthCalendarView&) {
  if (!adapter_) return std::nullopt;
  return minScrollTimeInTimelineAdapter(*adapter_);
}

std::optional<double> KLTimelineViewController::maximumDate(platform::MonthCalendarView&) { return platform::now(); }

// ---- the strips ----

void KLTimelineViewController::pickerViewDidSelectDateWithOffset(platform::PickerView&, int64_t offset) {
  if (player_) player_->pausePlayer();
  if (!adapter_) return;
  // Messages sent, so playback is handed over at the new time.
  scrollTableViewToTime(adapter_->scrollTime() + static_cast<double>(offset) * kSecondsPerDay, false, true);
}

void KLTimelineViewController::pickerViewDidSelectDate(platform::PickerView&, double date) {
  auto calendar = this->calendar();
  if (!calendar) return;
  calendar->setCurrentPage(date);
  calendar->setCurrentPage(calendar->currentPage(), true);
}

// ---- the calendar ----

std::optional<platform::Color> KLTimelineViewController::titleDefaultColorForDate(platform::MonthCalendarView&,
                                                                                double date) {
  return areRecordingsAvailableForDate(date) ? darkColor() : lightGreyColor();
}

bool KLTimelineViewController::shouldSelectDate(platform::MonthCalendarView&, double date, platform::MonthPosition) {
  return areRecordingsAvailableForDate(date);
}

void KLTimelineViewController::didSelectDate(platform::MonthCalendarView&, double date, platform::MonthPosition) {
  double t = timeIntervalForMidnight(date);
  // A day whose recording begins later starts there, not at an empty midnight.
  if (auto first = firstRecordingOfDay(date); first && first->timelineRecordingStartTime() > t) {
    t = first->timelineRecordingStartTime();
  }
  if (auto day = dayPickerView()) day->updatePickerWithSelectedDateForTimeInterval(t, platform::kCalendarUnitDay);
  scrollTableViewToTime(t, false, true);
  shouldDisplayCalendar(isCalendarHidden());
}

void KLTimelineViewController::currentPageDidChange(platform::MonthCalendarView& calendar) {
  if (auto month = monthPickerView()) {
    month->updatePickerWithSelectedDateForTimeInterval(calendar.currentPage(), platform::kCalendarUnitMonth);
  }
}

void KLTimelineViewController::calendarButtonPressed() {
  const bool hidden = isCalendarHidden();
  if (hidden) {
    if (auto month = monthPickerView()) month->reloadAllComponents();
    if (auto calendar = this->calendar()) calendar->reloadData();
    if (adapter_) calendarSelectDateAtTime(adapter_->scrollTime(), true);
  } else if (auto day = dayPickerView()) {
    day->reloadAllComponents();
  }
  shouldDisplayCalendar(hidden);
}

bool KLTimelineViewController::isCalendarHidden() const {
  auto container = calendarContainerView();
  return !container || container->alpha() == 0.0;
}

void KLTimelineViewController::shouldDisplayCalendar(bool show) {
  auto container = calendarContainerView();
  auto month = monthPickerView();
  auto day = dayPickerView();
  platform::View::animate(kCalendarAnimationDuration, [container, month, day, show] {
    if (container) container->setAlpha(show ? 1 : 0);
    if (month) month->setAlpha(show ? 1 : 0);
    if (day) day->setAlpha(show ? 0 : 1);
  });
  if (auto button = calendarButton()) {
    setImageAndTint(*button, platform::Image::named("timeline_calendar_picker"), show ? lightColor() : darkColor());
  }
}

void KLTimelineViewController::calendarSelectDateAtTime(double time, bool scrollToDate) {
  auto calendar = this->calendar();
  if (!calendar || !std::isfinite(time)) return;
  const double m = midnight(time);
  if (calendar->selectedDate() == m) return;
  // Compared by day, as the calendar counts its range: the oldest day starts before the oldest
  // time the axis allows and must still be reachable.
  if (m < midnight(calendar->minimumDate()) || m > calendar->maximumDate()) return;
  calendar->selectDate(m, scrollToDate);
  // The page shows the day, but a day without recordings stays unselected.
  if (!areRecordingsAvailableForDate(m)) calendar->deselectDate(m);
}

}  // namespace dk
