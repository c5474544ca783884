// KLDayPickerDataSourceDelegate: the rows of the day strip — today, yesterday, and one row per day
// back to the delegate's last date — and what a user's pick means: a move of so many days. A
// selection made in code (component -1) only moves the strip. Main thread only; the picker
// delegate is held weakly.
#pragma once

#include <memory>

#include "platform/ui/picker_view.h"
#include "timeline/kl_date_picker_delegate.h"

namespace dk {

class KLDayPickerDataSourceDelegate : public platform::PickerViewDataSource, public platform::PickerViewDelegate {
 public:
  void setPickerDelegate(std::weak_ptr<KLDatePickerDelegate> delegate) { pickerDelegate_ = std::move(delegate); }
  std::shared_ptr<KLDatePickerDelegate> pickerDelegate() const { return pickerDelegate_.lock(); }
  long selectedRow() const { return selectedRow_; }

  long numberOfComponents(platform::PickerView& picker) override;
  // Whole days from the last date to now, plus one; never fewer than one row (today), also when
  // the last date is unknown or in the future.
  long numberOfRows(platform::PickerView& picker, long component) override;
  std::optional<double> rowHeightForComponent(platform::PickerView& picker, long component) override;
  std::shared_ptr<platform::View> viewForRow(platform::PickerView& picker, long row, long component,
                                             const std::shared_ptr<platform::View>& reusingView) override;
  void didSelectRow(platform::PickerView& picker, long row, long component) override;

 private:
  std::weak_ptr<KLDatePickerDelegate> pickerDelegate_;
  long selectedRow_ = 0;
};

}  // namespace dk
