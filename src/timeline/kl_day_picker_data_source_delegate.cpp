#include "timeline/kl_day_picker_data_source_delegate.h"

#include "foundation/date_formatting.h"
#include "foundation/date_timeline_helper.h"
#include "platform/dispatch/clock.h"
#include "timeline/picker_strip_support.h"

namespace dk {

long KLDayPickerDataSourceDelegate::numberOfComponents(platform::PickerView& picker) {
  picker_strip::hideSelectionLines(picker, true);
  return 1;
}

long KLDayPickerDataSourceDelegate::numberOfRows(platform::PickerView& picker, long) {
  return picker_strip::rowCount(picker, pickerDelegate(), daysBetweenDate, platform::now());
}

std::optional<double> KLDayPickerDataSourceDelegate::rowHeightForComponent(platform::PickerView& picker, long) {
  return picker_strip::rowHeight(picker);
}

std::shared_ptr<platform::View> KLDayPickerDataSourceDelegate::viewForRow(
    platform::PickerView& picker, long row, long, const std::shared_ptr<platform::View>& reusingView) {
  auto cell = picker_strip::rowCell(picker, reusingView);
  cell->setText(stringDateFromDate(dateByAddingDaysOffset(-row, platform::now())));
  cell->setIsSelected(row == selectedRow_);
  return cell;
}

void KLDayPickerDataSourceDelegate::didSelectRow(platform::PickerView& picker, long row, long component) {
  if (row == selectedRow_) return;
  // Only a user's pick (component 0) is a move; a selection made in code just follows the axis.
  if (component == 0) {
    auto delegate = pickerDelegate();
    if (delegate && delegate->respondsToSelector("pickerView:didSelectDateWithOffset:"))
      delegate->pickerViewDidSelectDateWithOffset(picker, selectedRow_ - row);
  }
  selectedRow_ = row;
  picker.reloadAllComponents();
}

}  // namespace dk
