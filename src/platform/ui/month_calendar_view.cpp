#include "platform/ui/month_calendar_view.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/clock.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/string_case.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {

namespace {
// Labels ask their superview for a new layout when their text or font changes; setting what they
// already show would make every layout pass schedule another.
void showText(Label& label, const std::string& text, const Font& font) {
  if (!(label.font() == font)) label.setFont(font);
  if (label.text() != text) label.setText(text);
}
}  // namespace

MonthCalendarView::MonthCalendarView() { setUp(); }

MonthCalendarView::MonthCalendarView(const Rect& frame) : View(frame) { setUp(); }

void MonthCalendarView::setUp() {
  calendar_ = Calendar::current();
  currentPage_ = calendar_->startOfMonth(now());
  header_ = std::make_shared<Label>();
  header_->setTextAlignment(TextAlignment::Center);
  addSubview(header_);
  for (auto& weekday : weekdays_) {
    weekday = std::make_shared<Label>();
    weekday->setTextAlignment(TextAlignment::Center);
    addSubview(weekday);
  }
  for (auto& cell : cells_) {
    cell = std::make_shared<Label>();
    cell->setTextAlignment(TextAlignment::Center);
    addSubview(cell);
  }
}

// The recognisers hold the view weakly, so they are attached once it is owned by a shared_ptr.
void MonthCalendarView::layoutSubviews() {
  if (gestureRecognizers().empty()) {
    auto weak = std::weak_ptr<MonthCalendarView>(sharedAs<MonthCalendarView>());
    auto tap = std::make_shared<TapGestureRecognizer>([weak](GestureRecognizer& g) {
      if (auto self = weak.lock()) self->handleTap(g);
    });
    addGestureRecognizer(tap);
    for (int direction : {int(kSwipeLeft), int(kSwipeRight)}) {
      auto swipe = std::make_shared<SwipeGestureRecognizer>([weak, direction](GestureRecognizer& g) {
        if (auto self = weak.lock()) self->handleSwipe(g, direction);
      });
      swipe->direction = static_cast<unsigned>(direction);
      addGestureRecognizer(swipe);
    }
  }
  if (!rangeLoaded_) loadRange();
  View::layoutSubviews();
  const Size size = bounds().size;
  header_->setFrame(Rect(0, 0, size.width, headerHeight_));
  const double columnWidth = size.width / 7;
  for (size_t i = 0; i < weekdays_.size(); ++i)
    weekdays_[i]->setFrame(Rect(columnWidth * double(i), headerHeight_, columnWidth, weekdayHeight_));
  const double top = headerHeight_ + weekdayHeight_;
  const double rowHeight = std::max(0.0, (size.height - top) / kWeeks);
  // The marks are squares centred in their cells, as round as borderRadius asks.
  const double side = std::min(columnWidth, rowHeight) * 0.9;
  for (size_t i = 0; i < cells_.size(); ++i) {
    const double x = columnWidth * double(i % 7), y = top + rowHeight * double(i / 7);
    cells_[i]->setFrame(Rect(x + (columnWidth - side) / 2, y + (rowHeight - side) / 2, side, side));
    cells_[i]->layer().setCornerRadius(side / 2 * std::clamp(appearance_.borderRadius, 0.0, 1.0));
  }
  refreshCells();
}

void MonthCalendarView::setCalendar(CalendarPtr calendar) {
  if (!calendar) return;
  calendar_ = std::move(calendar);
  currentPage_ = calendar_->startOfMonth(currentPage_);
  if (selectedDate_) selectedDate_ = calendar_->startOfDay(*selectedDate_);
  setNeedsLayout();
}

void MonthCalendarView::setFirstWeekday(int weekday) {
  firstWeekday_ = std::clamp(weekday, 1, 7);
  setNeedsLayout();
}

void MonthCalendarView::loadRange() {
  rangeLoaded_ = true;
  auto source = dataSource_.lock();
  minimumDate_ = kDefaultMinimumDate;
  maximumDate_ = kDefaultMaximumDate;
  if (source) {
    if (auto min = source->minimumDate(*this)) minimumDate_ = *min;
    if (auto max = source->maximumDate(*this)) maximumDate_ = *max;
  }
  if (maximumDate_ < minimumDate_) maximumDate_ = minimumDate_;
  // A page outside the new range moves into it (and says so).
  setCurrentPage(currentPage_, false);
}

void MonthCalendarView::reloadData() {
  rangeLoaded_ = false;
  loadRange();
  setNeedsLayout();
  refreshCells();
}

bool MonthCalendarView::isInRange(double day) const {
  return day >= calendar_->startOfDay(minimumDate_) && day <= calendar_->startOfDay(maximumDate_);
}

void MonthCalendarView::setCurrentPage(double date, bool) {
  if (!std::isfinite(date)) return;
  const double first = calendar_->startOfMonth(minimumDate_);
  const double last = calendar_->startOfMonth(maximumDate_);
  const double page = std::clamp(calendar_->startOfMonth(date), first, last);
  if (page == currentPage_) return;
  currentPage_ = page;
  setNeedsLayout();
  refreshCells();
  if (auto delegate = delegate_.lock()) delegate->currentPageDidChange(*this);
}

void MonthCalendarView::selectDate(double date, bool scrollToDate) {
  if (!std::isfinite(date)) return;
  const double day = calendar_->startOfDay(date);
  if (!isInRange(day)) return;
  selectedDate_ = day;
  if (scrollToDate) setCurrentPage(day, true);
  refreshCells();
}

void MonthCalendarView::deselectDate(double date) {
  if (selectedDate_ && calendar_->isDateInSameDayAsDate(*selectedDate_, date)) {
    selectedDate_.reset();
    refreshCells();
  }
}

double MonthCalendarView::firstDayOfGrid() const {
  const int64_t weekday = calendar_->component(kCalendarUnitWeekday, currentPage_);
  const int64_t back = (weekday - firstWeekday_ + 7) % 7;
  return calendar_->dateByAddingUnit(kCalendarUnitDay, -back, currentPage_).value_or(currentPage_);
}

double MonthCalendarView::dayAt(int index) const {
  return calendar_->dateByAddingUnit(kCalendarUnitDay, index, firstDayOfGrid()).value_or(currentPage_);
}

std::string MonthCalendarView::headerTitle() const {
  DateFormatterOptions options;
  options.dateFormat = appearance_.headerDateFormat;
  options.timeZone = calendar_->timeZone();
  const std::string title = DateFormatter::create(options)->stringFromDate(currentPage_);
  return appearance_.caseOptions & kCalendarCaseHeaderUsesUpperCase ? uppercaseString(title) : title;
}

std::vector<std::string> MonthCalendarView::weekdayTitles() const {
  DateFormatterOptions options;
  options.dateFormat = "ccc";
  options.timeZone = calendar_->timeZone();
  auto formatter = DateFormatter::create(options);
  std::vector<std::string> titles;
  const double first = firstDayOfGrid();
  for (int i = 0; i < 7; ++i) {
    const double day = calendar_->dateByAddingUnit(kCalendarUnitDay, i, first).value_or(first);
    std::string name = formatter->stringFromDate(day);
    if (appearance_.caseOptions & kCalendarCaseWeekdayUsesSingleUpperCase)
      name = firstLetterUppercased(name);
    else if (appearance_.caseOptions & kCalendarCaseWeekdayUsesUpperCase)
      name = uppercaseString(name);
    titles.push_back(std::move(name));
  }
  return titles;
}

void MonthCalendarView::refreshCells() {
  header_->setTextColor(appearance_.headerTitleColor);
  showText(*header_, headerTitle(), appearance_.headerTitleFont);
  const auto titles = weekdayTitles();
  for (size_t i = 0; i < weekdays_.size(); ++i) {
    weekdays_[i]->setTextColor(appearance_.weekdayTextColor);
    showText(*weekdays_[i], titles[i], appearance_.weekdayFont);
  }
  auto delegate = delegate_.lock();
  const double today = calendar_->startOfDay(now());
  const int64_t month = calendar_->component(kCalendarUnitMonth, currentPage_);
  const double first = firstDayOfGrid();
  for (size_t i = 0; i < cells_.size(); ++i) {
    Label& cell = *cells_[i];
    const double day = calendar_->dateByAddingUnit(kCalendarUnitDay, int64_t(i), first).value_or(first);
    const bool inMonth = calendar_->component(kCalendarUnitMonth, day) == month;
    const bool lastRowEmpty = i >= 35 && !inMonth && placeholderType_ == CalendarPlaceholderType::FillHeadTail;
    const bool shown = inMonth || (placeholderType_ != CalendarPlaceholderType::None && !lastRowEmpty);
    cell.setHidden(!shown);
    showText(cell, std::to_string(calendar_->component(kCalendarUnitDay, day)), appearance_.titleFont);
    const bool selected = selectedDate_ && *selectedDate_ == day;
    const bool isToday = day == today;
    std::optional<Color> fill;
    Color title = appearance_.titleDefaultColor;
    const int64_t weekday = calendar_->component(kCalendarUnitWeekday, day);
    if (selected) {
      fill = appearance_.selectionColor;
      title = appearance_.titleSelectionColor;
    } else if (isToday) {
      fill = appearance_.todayColor;
      title = appearance_.titleTodayColor;
    } else if (auto custom = delegate ? delegate->titleDefaultColorForDate(*this, day) : std::nullopt) {
      title = *custom;
    } else if (!inMonth || !isInRange(day)) {
      title = appearance_.titlePlaceholderColor;
    } else if (appearance_.titleWeekendColor && (weekday == 1 || weekday == 7)) {
      title = *appearance_.titleWeekendColor;
    }
    cell.setBackgroundColor(fill);
    cell.setTextColor(title);
  }
}

std::shared_ptr<Label> MonthCalendarView::cellForDate(double date) {
  layoutIfNeeded();
  const double first = firstDayOfGrid();
  const double day = calendar_->startOfDay(date);
  for (int i = 0; i < 7 * kWeeks; ++i) {
    if (calendar_->dateByAddingUnit(kCalendarUnitDay, i, first).value_or(first) == day)
      return cells_[size_t(i)]->isHidden() ? nullptr : cells_[size_t(i)];
  }
  return nullptr;
}

std::optional<double> MonthCalendarView::dateAtPoint(Point point) {
  layoutIfNeeded();
  const double top = headerHeight_ + weekdayHeight_;
  const Size size = bounds().size;
  if (point.y < top || point.x < 0 || point.x >= size.width || size.width <= 0) return std::nullopt;
  const double rowHeight = (size.height - top) / kWeeks;
  if (!(rowHeight > 0)) return std::nullopt;
  const int column = int(point.x / (size.width / 7));
  const int row = int((point.y - top) / rowHeight);
  if (row >= kWeeks) return std::nullopt;
  const size_t index = size_t(row * 7 + column);
  if (cells_[index]->isHidden()) return std::nullopt;
  return dayAt(int(index));
}

void MonthCalendarView::handleTap(GestureRecognizer& g) {
  if (g.state() != kGestureRecognized) return;
  auto day = dateAtPoint(g.locationInView(this));
  if (!day || !isInRange(*day)) return;
  const int64_t month = calendar_->component(kCalendarUnitMonth, currentPage_);
  const int64_t dayMonth = calendar_->component(kCalendarUnitMonth, *day);
  const MonthPosition position =
      dayMonth == month ? MonthPosition::Current : (*day < currentPage_ ? MonthPosition::Previous : MonthPosition::Next);
  auto delegate = delegate_.lock();
  if (delegate && !delegate->shouldSelectDate(*this, *day, position)) return;
  selectedDate_ = *day;
  refreshCells();
  if (delegate) delegate->didSelectDate(*this, *day, position);
  if (position != MonthPosition::Current) setCurrentPage(*day, true);
}

void MonthCalendarView::handleSwipe(GestureRecognizer& g, int direction) {
  if (g.state() != kGestureRecognized) return;
  const int64_t step = direction == kSwipeLeft ? 1 : -1;
  if (auto page = calendar_->dateByAddingUnit(kCalendarUnitMonth, step, currentPage_)) setCurrentPage(*page, true);
}

}  // namespace dk::platform
