// KLHorizontalPickerView: an ordinary vertical picker turned a quarter turn, so its rows run
// across the screen (the day and month strips). Row 0 is the present; row n is n days or months
// back. Main thread only.
#pragma once

#include "platform/foundation/calendar.h"
#include "platform/ui/picker_view.h"

namespace dk {

class KLHorizontalPickerView : public platform::PickerView {
 public:
  using PickerView::PickerView;

  // The last direction applied (0 until rotateWithDirection is called).
  int currentDirection() const { return currentDirection_; }
  // Identity, then +pi/2 for direction 2 and -pi/2 for any other, then the frame.
  void rotateWithDirection(int direction, const platform::Rect& frame);
  // Moves the strip to the day (unit day) or month (any other unit) of `time`, counted back from
  // now, and lets its delegate react as to a selection made in code (component -1). A time older
  // than the last row, or later than the first, changes nothing.
  void updatePickerWithSelectedDateForTimeInterval(double time, platform::CalendarUnit unit);

 private:
  int currentDirection_ = 0;
};

}  // namespace dk
