// KLDateMonthPickerViewCell: one row of the day or month strip — a day or month name with a
// selection mark above it. The cell is turned -pi/2 so its text reads upright in the turned
// strip. Main thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace dk {

class KLDateMonthPickerViewCell : public platform::View {
 public:
  // A cell laid out and styled as its layout resource makes it (fonts, colours, the turn).
  static std::shared_ptr<KLDateMonthPickerViewCell> loadFromNib();

  KLDateMonthPickerViewCell();

  const std::shared_ptr<platform::ImageView>& selectionImageView() const { return selectionImageView_; }
  const std::shared_ptr<platform::Label>& dateMonthLabel() const { return dateMonthLabel_; }
  const std::string& text() const { return text_; }
  void setText(std::string text);
  bool isSelected() const { return isSelected_; }
  // Selected: the "Triangle" mark and the label in the dark colour; otherwise the neutral mark
  // and cool grey.
  void setIsSelected(bool selected);

  void awakeFromNib();
  void layoutSubviews() override;

 private:
  std::shared_ptr<platform::ImageView> selectionImageView_;
  std::shared_ptr<platform::Label> dateMonthLabel_;
  std::string text_;
  bool isSelected_ = false;
};

}  // namespace dk
