#include "platform/ui/table_view_cell.h"

namespace dk::platform {

TableViewCell::TableViewCell(std::string reuseIdentifier, Style)
    : reuseIdentifier_(std::move(reuseIdentifier)), contentView_(std::make_shared<View>()) {
  addSubview(contentView_);
}

std::shared_ptr<Label> TableViewCell::textLabel() {
  if (!textLabel_) {
    textLabel_ = std::make_shared<Label>();
    contentView_->addSubview(textLabel_);
    setNeedsLayout();
  }
  return textLabel_;
}

void TableViewCell::setSelected(bool selected, bool) {
  selected_ = selected;
  setNeedsDisplay();
}

void TableViewCell::setHighlighted(bool highlighted, bool) {
  highlighted_ = highlighted;
  setNeedsDisplay();
}

void TableViewCell::layoutSubviews() {
  contentView_->setFrame(bounds());
  View::layoutSubviews();
  if (textLabel_) textLabel_->setFrame(contentView_->bounds().insetBy(16, 0));
}

}  // namespace dk::platform
