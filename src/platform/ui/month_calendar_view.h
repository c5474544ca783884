// MonthCalendarView: a month-at-a-time calendar (what the calendar library's view gives): a header
// with the page's title, a row of weekday letters and a grid of six weeks of day cells.
//
// Days are days of the calendar it is given (any zone, the DST-free one in the framework). The
// page is the first instant of the month shown; it stays within the months of the data source's
// minimum and maximum dates. Days outside that range, and days of other months when placeholders
// are not shown, cannot be selected. The delegate hears "day selected" only when a user taps a
// day (selectDate in code is silent), and "page changed" whenever the page really changes: by a
// swipe (left: next month, right: previous) and also by code (setCurrentPage, selectDate with
// scrolling). One date at most is selected. Data source and delegate are held weakly; the look
// comes from `appearance` and applies at the next reloadData/layout. Main thread only.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/calendar.h"
#include "platform/graphics/font.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace dk::platform {

class MonthCalendarView;

enum class MonthPosition { Previous, Current, Next, NotFound };
enum class CalendarPlaceholderType { None, FillHeadTail, FillSixRows };

// Case options (bit set): header 0 default / 1 upper case; weekdays 0x00 default, 0x10 upper
// case, 0x20 a single upper-case letter.
enum CalendarCaseOptions : unsigned {
  kCalendarCaseHeaderUsesUpperCase = 0x01,
  kCalendarCaseWeekdayUsesUpperCase = 0x10,
  kCalendarCaseWeekdayUsesSingleUpperCase = 0x20,
};

struct MonthCalendarAppearance {
  Font headerTitleFont = Font::system(15);
  Color headerTitleColor = Color::black();
  std::string headerDateFormat = "MMMM yyyy";
  // The header title's alpha while a page is moving in (kept for the look; pages move at once here).
  double headerMinimumDissolvedAlpha = 0.2;
  Font weekdayFont = Font::system(13);
  Color weekdayTextColor = Color::black();
  std::optional<Color> titleWeekendColor;
  Font titleFont = Font::system(14);
  Color titleDefaultColor = Color::black();
  Color titleTodayColor = Color::whiteColor();
  Color titlePlaceholderColor = Color::white(0.7);
  Color titleSelectionColor = Color::whiteColor();
  std::optional<Color> todayColor = Color::rgba(0.78, 0.2, 0.2);
  Color selectionColor = Color::rgba(0.12, 0.5, 0.86);
  // 1.0 draws the selection and today marks as circles, 0 as squares.
  double borderRadius = 1.0;
  unsigned caseOptions = 0;
};

class MonthCalendarDataSource {
 public:
  virtual ~MonthCalendarDataSource() = default;
  virtual std::optional<double> minimumDate(MonthCalendarView& calendar) { return std::nullopt; }
  virtual std::optional<double> maximumDate(MonthCalendarView& calendar) { return std::nullopt; }
};

class MonthCalendarDelegate {
 public:
  virtual ~MonthCalendarDelegate() = default;
  virtual bool shouldSelectDate(MonthCalendarView& calendar, double date, MonthPosition position) { return true; }
  virtual void didSelectDate(MonthCalendarView& calendar, double date, MonthPosition position) {}
  virtual void currentPageDidChange(MonthCalendarView& calendar) {}
  // The title colour of one day, nullopt for the appearance's.
  virtual std::optional<Color> titleDefaultColorForDate(MonthCalendarView& calendar, double date) {
    return std::nullopt;
  }
};

class MonthCalendarView : public View {
 public:
  static constexpr int kWeeks = 6;
  // The range used when the data source gives none.
  static constexpr double kDefaultMinimumDate = -2208988800.0;  // 1900-01-01
  static constexpr double kDefaultMaximumDate = 4102444800.0;   // 2100-01-01

  MonthCalendarView();
  explicit MonthCalendarView(const Rect& frame);

  void setDataSource(std::weak_ptr<MonthCalendarDataSource> dataSource) { dataSource_ = std::move(dataSource); }
  void setDelegate(std::weak_ptr<MonthCalendarDelegate> delegate) { delegate_ = std::move(delegate); }

  // The calendar the days are counted on (Calendar::current() until set).
  const CalendarPtr& calendar() const { return calendar_; }
  void setCalendar(CalendarPtr calendar);
  MonthCalendarAppearance& appearance() { return appearance_; }
  // 1 = Sunday ... 7 = Saturday.
  int firstWeekday() const { return firstWeekday_; }
  void setFirstWeekday(int weekday);
  double headerHeight() const { return headerHeight_; }
  void setHeaderHeight(double height) { headerHeight_ = height; setNeedsLayout(); }
  double weekdayHeight() const { return weekdayHeight_; }
  void setWeekdayHeight(double height) { weekdayHeight_ = height; setNeedsLayout(); }
  CalendarPlaceholderType placeholderType() const { return placeholderType_; }
  void setPlaceholderType(CalendarPlaceholderType type) { placeholderType_ = type; setNeedsLayout(); }

  double minimumDate() const { return minimumDate_; }
  double maximumDate() const { return maximumDate_; }
  double currentPage() const { return currentPage_; }
  // Moves to the month of `date` (kept within the range); tells the delegate when it changed.
  void setCurrentPage(double date, bool animated = false);
  std::optional<double> selectedDate() const { return selectedDate_; }
  // Selects the day of `date` (ignored outside the range); with scrollToDate also shows its month.
  void selectDate(double date, bool scrollToDate = true);
  void deselectDate(double date);
  // Asks the data source for the range again and redraws every day.
  void reloadData();

  // ---- what is on screen (for tests and hit testing) ----
  std::string headerTitle() const;
  // The weekday letters in display order.
  std::vector<std::string> weekdayTitles() const;
  // The cell of a day of the page's grid, nullptr when the day is not on the page or not shown.
  std::shared_ptr<Label> cellForDate(double date);
  // The day under a point of this view, when a selectable or shown day is there.
  std::optional<double> dateAtPoint(Point point);

  void layoutSubviews() override;

 private:
  void setUp();
  void loadRange();
  double firstDayOfGrid() const;
  double dayAt(int index) const;
  bool isInRange(double day) const;
  void refreshCells();
  void handleTap(GestureRecognizer& g);
  void handleSwipe(GestureRecognizer& g, int direction);

  std::weak_ptr<MonthCalendarDataSource> dataSource_;
  std::weak_ptr<MonthCalendarDelegate> delegate_;
  CalendarPtr calendar_;
  MonthCalendarAppearance appearance_;
  int firstWeekday_ = 1;
  double headerHeight_ = 40;
  double weekdayHeight_ = 25;
  CalendarPlaceholderType placeholderType_ = CalendarPlaceholderType::FillSixRows;
  double minimumDate_ = kDefaultMinimumDate;
  double maximumDate_ = kDefaultMaximumDate;
  double currentPage_ = 0;
  std::optional<double> selectedDate_;
  bool rangeLoaded_ = false;
  std::shared_ptr<Label> header_;
  std::array<std::shared_ptr<Label>, 7> weekdays_;
  std::array<std::shared_ptr<Label>, 7 * kWeeks> cells_;
};

}  // namespace dk::platform
