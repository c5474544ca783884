#include "timeline/picker_strip_support.h"

namespace dk::picker_strip {

void hideSelectionLines(platform::PickerView& picker, bool clearBackground) {
  for (const auto& subview : picker.subviews()) {
    if (subview->frame().size.height < 1.0) {
      subview->setHidden(true);
      if (clearBackground) subview->setBackgroundColor(platform::Color::clear());
    }
  }
}

double rowHeight(const platform::PickerView& picker) { return picker.frame().size.width / 3; }

std::shared_ptr<KLDateMonthPickerViewCell> rowCell(platform::PickerView& picker,
                                                   const std::shared_ptr<platform::View>& reusingView) {
  auto cell = std::dynamic_pointer_cast<KLDateMonthPickerViewCell>(reusingView);
  if (!cell) cell = KLDateMonthPickerViewCell::loadFromNib();
  // Upright, the cell is one row wide and as tall as the strip.
  cell->setBounds(platform::Rect(0, 0, rowHeight(picker), picker.bounds().size.width));
  return cell;
}

}  // namespace dk::picker_strip
