// KLDatePickerDelegate: what the day and month strips tell the timeline screen, and the one
// question they ask it. Every operation optional ("lastDateForPickerView:",
// "pickerView:didSelectDate:", "pickerView:didSelectDateWithOffset:"). Main thread only.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/foundation/object.h"
#include "platform/ui/picker_view.h"

namespace dk {

class KLDatePickerDelegate : public virtual platform::Protocol {
 public:
  // The oldest date the strip must reach; nullopt: none known (the strip then shows only today).
  virtual std::optional<double> lastDateForPickerView(platform::PickerView& picker) { return std::nullopt; }
  // A month was chosen: `date` is now moved that many months back.
  virtual void pickerViewDidSelectDate(platform::PickerView& picker, double date) {}
  // The day strip moved by that many days (positive: towards the present).
  virtual void pickerViewDidSelectDateWithOffset(platform::PickerView& picker, int64_t offset) {}
};

}  // namespace dk
