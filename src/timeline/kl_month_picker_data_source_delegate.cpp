#include "timeline/kl_month_picker_data_source_delegate.h"

#include "foundation/calendar_ignoring_dst.h"
#include "foundation/date_formatting.h"
#include "foundation/date_timeline_helper.h"
#include "platform/dispatch/clock.h"
#include "timeline/picker_strip_support.h"

namespace dk {

KLMonthPickerDataSourceDelegate::KLMonthPickerDataSourceDelegate()
    : currentMonthIndex_(static_cast<long>(dk::currentMonthIndex())), months_(monthsInYear()) {}

long KLMonthPickerDataSourceDelegate::numberOfComponents(platform::PickerView& picker) {
  picker_strip::hideSelectionLines(picker, false);
  return 1;
}

long KLMonthPickerDataSourceDelegate::numberOfRows(platform::PickerView& picker, long) {
  return picker_strip::rowCount(picker, pickerDelegate(), monthsBetweenDate, platform::now());
}

std::optional<double> KLMonthPickerDataSourceDelegate::rowHeightForComponent(platform::PickerView& picker, long) {
  return picker_strip::rowHeight(picker);
}

std::shared_ptr<platform::View> KLMonthPickerDataSourceDelegate::viewForRow(
    platform::PickerView& picker, long row, long, const std::shared_ptr<platform::View>& reusingView) {
  auto cell = picker_strip::rowCell(picker, reusingView);
  if (!months_.empty()) cell->setText(months_[static_cast<size_t>((currentMonthIndex_ + row) % long(months_.size()))]);
  // The same month name a year apart is another row: only the selected row is marked, and a
  // reused cell loses an earlier mark.
  cell->setIsSelected(row == picker.selectedRowInComponent(0));
  return cell;
}

void KLMonthPickerDataSourceDelegate::didSelectRow(platform::PickerView& picker, long row, long) {
  picker.selectRow(row, 0, true);
  picker.reloadAllComponents();
  auto delegate = pickerDelegate();
  if (delegate && delegate->respondsToSelector("pickerView:didSelectDate:")) {
    const double now = platform::now();
    delegate->pickerViewDidSelectDate(
        picker, calendarWithIgnoringDST()->dateByAddingUnit(platform::kCalendarUnitMonth, -row, now).value_or(now));
  }
}

}  // namespace dk
