// What the day and month strips share: hiding the picker's hairline selection lines, the row
// height of three rows across the turned strip, a turned row cell sized to its row, and the
// number of rows back to the delegate's last date. Main thread only.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ui/picker_view.h"
#include "timeline/kl_date_month_picker_view_cell.h"
#include "timeline/kl_date_picker_delegate.h"

namespace dk::picker_strip {

// Hides every subview lower than one point (the selection lines); optionally clears their colour.
void hideSelectionLines(platform::PickerView& picker, bool clearBackground);
// One third of the picker's frame width.
double rowHeight(const platform::PickerView& picker);
// The reused cell, or a new one from its layout resource, sized upright to the row.
std::shared_ptr<KLDateMonthPickerViewCell> rowCell(platform::PickerView& picker,
                                                   const std::shared_ptr<platform::View>& reusingView);
// `unitsBack(lastDate, now)` plus one, and at least one.
template <typename UnitsBack>
long rowCount(platform::PickerView& picker, const std::shared_ptr<KLDatePickerDelegate>& delegate,
              UnitsBack&& unitsBack, double now) {
  std::optional<double> last;
  if (delegate && delegate->respondsToSelector("lastDateForPickerView:")) last = delegate->lastDateForPickerView(picker);
  if (!last) return 1;
  const int64_t back = unitsBack(*last, now);
  return back < 0 ? 1 : static_cast<long>(back + 1);
}

}  // namespace dk::picker_strip
