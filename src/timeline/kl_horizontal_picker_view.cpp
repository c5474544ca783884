#include "timeline/kl_horizontal_picker_view.h"

#include <cmath>

#include "foundation/date_timeline_helper.h"
#include "platform/dispatch/clock.h"

namespace dk {

void KLHorizontalPickerView::rotateWithDirection(int direction, const platform::Rect& frame) {
  setTransform(platform::AffineTransform::identity());
  setTransform(platform::AffineTransform::rotation(direction == 2 ? M_PI_2 : -M_PI_2));
  setFrame(frame);
  currentDirection_ = direction;
}

void KLHorizontalPickerView::updatePickerWithSelectedDateForTimeInterval(double time, platform::CalendarUnit unit) {
  if (!std::isfinite(time)) return;
  const double now = platform::now();
  const int64_t back = unit == platform::kCalendarUnitDay ? daysBetweenDate(time, now) : monthsBetweenDate(time, now);
  if (numberOfComponents() < 1 || back == selectedRowInComponent(0)) return;
  // Before the first row (a date after today) or beyond the last: nothing to show.
  if (back < 0 || back >= numberOfRowsInComponent(0)) return;
  selectRow(static_cast<long>(back), 0, unit != platform::kCalendarUnitDay);
  if (auto d = delegate()) d->didSelectRow(*this, static_cast<long>(back), -1);
}

}  // namespace dk
