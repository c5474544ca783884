// StackView: lays its arranged subviews out in a row or a column (UIStackView), as far as the
// screens use it: axis, spacing, fill / fill-equally distribution and fill / centre / leading /
// trailing alignment. Hidden arranged views take no room. Main thread only.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/view.h"

namespace dk::platform {

class StackView : public View {
 public:
  enum class Axis { Horizontal, Vertical };
  enum class Distribution { Fill, FillEqually, EqualSpacing };
  enum class Alignment { Fill, Leading, Center, Trailing };

  StackView() = default;
  explicit StackView(const Rect& frame) : View(frame) {}

  Axis axis() const { return axis_; }
  void setAxis(Axis axis) { axis_ = axis; setNeedsLayout(); }
  double spacing() const { return spacing_; }
  void setSpacing(double spacing) { spacing_ = spacing; setNeedsLayout(); }
  Distribution distribution() const { return distribution_; }
  void setDistribution(Distribution d) { distribution_ = d; setNeedsLayout(); }
  Alignment alignment() const { return alignment_; }
  void setAlignment(Alignment a) { alignment_ = a; setNeedsLayout(); }

  const std::vector<std::shared_ptr<View>>& arrangedSubviews() const { return arranged_; }
  void addArrangedSubview(const std::shared_ptr<View>& view);
  void removeArrangedSubview(const View* view);

  Size intrinsicContentSize() const override;
  void layoutSubviews() override;
  void willRemoveSubview(View* subview) override;

 private:
  Size sizeOf(const View& v) const;
  std::vector<std::shared_ptr<View>> arranged_;
  Axis axis_ = Axis::Horizontal;
  double spacing_ = 0;
  Distribution distribution_ = Distribution::Fill;
  Alignment alignment_ = Alignment::Fill;
};

}  // namespace dk::platform
