#include "platform/ui/stack_view.h"

#include <algorithm>

namespace dk::platform {

void StackView::addArrangedSubview(const std::shared_ptr<View>& view) {
  if (!view) return;
  if (std::find(arranged_.begin(), arranged_.end(), view) == arranged_.end()) arranged_.push_back(view);
  addSubview(view);
  invalidateIntrinsicContentSize();
}

void StackView::removeArrangedSubview(const View* view) {
  arranged_.erase(std::remove_if(arranged_.begin(), arranged_.end(), [view](const auto& v) { return v.get() == view; }),
                  arranged_.end());
  invalidateIntrinsicContentSize();
}

void StackView::willRemoveSubview(View* subview) { removeArrangedSubview(subview); }

Size StackView::sizeOf(const View& v) const {
  const Size s = v.intrinsicContentSize();
  const Size b = v.bounds().size;
  return {s.width >= 0 ? s.width : b.width, s.height >= 0 ? s.height : b.height};
}

Size StackView::intrinsicContentSize() const {
  double along = 0, across = 0;
  int shown = 0;
  for (auto& v : arranged_) {
    if (v->isHidden()) continue;
    const Size s = sizeOf(*v);
    along += axis_ == Axis::Horizontal ? s.width : s.height;
    across = std::max(across, axis_ == Axis::Horizontal ? s.height : s.width);
    ++shown;
  }
  if (shown > 1) along += spacing_ * (shown - 1);
  return axis_ == Axis::Horizontal ? Size{along, across} : Size{across, along};
}

void StackView::layoutSubviews() {
  View::layoutSubviews();
  std::vector<View*> shown;
  for (auto& v : arranged_) {
    if (!v->isHidden()) shown.push_back(v.get());
  }
  if (shown.empty()) return;
  const Rect b = bounds();
  const bool horizontal = axis_ == Axis::Horizontal;
  const double length = horizontal ? b.width() : b.height();
  const double breadth = horizontal ? b.height() : b.width();
  std::vector<double> sizes;
  double natural = 0;
  for (View* v : shown) {
    const Size s = sizeOf(*v);
    sizes.push_back(horizontal ? s.width : s.height);
    natural += sizes.back();
  }
  double gap = spacing_;
  const double gaps = spacing_ * (shown.size() - 1);
  if (distribution_ == Distribution::FillEqually) {
    const double each = std::max(0.0, (length - gaps) / shown.size());
    std::fill(sizes.begin(), sizes.end(), each);
  } else if (distribution_ == Distribution::EqualSpacing && shown.size() > 1) {
    gap = std::max(spacing_, (length - natural) / (shown.size() - 1));
  } else if (distribution_ == Distribution::Fill) {
    // The last view takes what is left over (or gives up what is missing).
    sizes.back() = std::max(0.0, sizes.back() + length - natural - gaps);
  }
  double pos = 0;
  for (size_t i = 0; i < shown.size(); ++i) {
    const Size natural2 = sizeOf(*shown[i]);
    const double own = horizontal ? natural2.height : natural2.width;
    double cross = alignment_ == Alignment::Fill ? breadth : std::min(own, breadth);
    double offset = 0;
    if (alignment_ == Alignment::Center) offset = (breadth - cross) / 2;
    if (alignment_ == Alignment::Trailing) offset = breadth - cross;
    const Rect frame = horizontal ? Rect(pos, offset, sizes[i], cross) : Rect(offset, pos, cross, sizes[i]);
    shown[i]->setFrame(frame);
    pos += sizes[i] + gap;
  }
}

}  // namespace dk::platform
