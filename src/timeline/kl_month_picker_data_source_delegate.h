// KLMonthPickerDataSourceDelegate: the rows of the month strip — this month and one row per month
// back to the delegate's last date — and what a pick means: the date that many months back. Both
// a user's pick and one made in code report the date. Main thread only; the picker delegate is
// held weakly.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/picker_view.h"
#include "timeline/kl_date_picker_delegate.h"

namespace dk {

class KLMonthPickerDataSourceDelegate : public platform::PickerViewDataSource, public platform::PickerViewDelegate {
 public:
  // Takes the current month's index and the month names (December first) of the DST-free calendar.
  KLMonthPickerDataSourceDelegate();

  void setPickerDelegate(std::weak_ptr<KLDatePickerDelegate> delegate) { pickerDelegate_ = std::move(delegate); }
  std::shared_ptr<KLDatePickerDelegate> pickerDelegate() const { return pickerDelegate_.lock(); }
  long currentMonthIndex() const { return currentMonthIndex_; }
  const std::vector<std::string>& months() const { return months_; }

  long numberOfComponents(platform::PickerView& picker) override;
  // Whole months from the last date to now, plus one; never fewer than one row.
  long numberOfRows(platform::PickerView& picker, long component) override;
  std::optional<double> rowHeightForComponent(platform::PickerView& picker, long component) override;
  // Row r shows the month r months back; only the selected row is marked.
  std::shared_ptr<platform::View> viewForRow(platform::PickerView& picker, long row, long component,
                                             const std::shared_ptr<platform::View>& reusingView) override;
  void didSelectRow(platform::PickerView& picker, long row, long component) override;

 private:
  std::weak_ptr<KLDatePickerDelegate> pickerDelegate_;
  long currentMonthIndex_ = 0;
  std::vector<std::string> months_;
};

}  // namespace dk
