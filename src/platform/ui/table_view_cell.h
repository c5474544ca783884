// TableViewCell: one row view of a table (UITableViewCell), reused by identifier.
//
// A cell holds a content view filling it (subviews go there), an optional text label, and its
// selected and highlighted flags. prepareForReuse() runs when the table hands the cell out again;
// awakeFromNib() is for cells made from a layout resource (their factory calls it). Main thread.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace dk::platform {

class TableViewCell : public View {
 public:
  enum class Style { Default, Value1, Value2, Subtitle };
  enum class SelectionStyle { None, Blue, Gray, Default };

  explicit TableViewCell(std::string reuseIdentifier = "", Style style = Style::Default);

  const std::string& reuseIdentifier() const { return reuseIdentifier_; }
  const std::shared_ptr<View>& contentView() const { return contentView_; }
  // Made on first use, inside the content view.
  std::shared_ptr<Label> textLabel();

  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected, bool animated);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted, bool animated);
  SelectionStyle selectionStyle() const { return selectionStyle_; }
  void setSelectionStyle(SelectionStyle style) { selectionStyle_ = style; }

  virtual void prepareForReuse() {}
  virtual void awakeFromNib() {}
  void layoutSubviews() override;

 private:
  std::string reuseIdentifier_;
  std::shared_ptr<View> contentView_;
  std::shared_ptr<Label> textLabel_;
  bool selected_ = false, highlighted_ = false;
  SelectionStyle selectionStyle_ = SelectionStyle::Default;
};

}  // namespace dk::platform
