#include "platform/ui/picker_view.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/clock.h"
#include "platform/ui/label.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {

PickerView::PickerView() : View(Rect(0, 0, 320, 216)) { setUp(); }

PickerView::PickerView(const Rect& frame) : View(frame) { setUp(); }

PickerView::~PickerView() = default;

void PickerView::setUp() {
  setClipsToBounds(true);
  topLine_ = std::make_shared<View>();
  bottomLine_ = std::make_shared<View>();
  for (auto& line : {topLine_, bottomLine_}) {
    line->setBackgroundColor(Color::white(0.8));
    addSubview(line);
  }
  pan_ = std::make_shared<PanGestureRecognizer>();
  pan_->addTarget(this, [this](GestureRecognizer& g) { handlePan(g); });
  tap_ = std::make_shared<TapGestureRecognizer>();
  tap_->addTarget(this, [this](GestureRecognizer& g) { handleTap(g); });
  addGestureRecognizer(pan_);
  addGestureRecognizer(tap_);
}

void PickerView::setDataSource(std::weak_ptr<PickerViewDataSource> dataSource) {
  dataSource_ = std::move(dataSource);
  loaded_ = false;
  setNeedsLayout();
}

void PickerView::setDelegate(std::weak_ptr<PickerViewDelegate> delegate) {
  delegate_ = std::move(delegate);
  loaded_ = false;
  setNeedsLayout();
}

void PickerView::load() {
  loaded_ = true;
  auto ds = dataSource();
  const long n = ds ? std::max(0L, ds->numberOfComponents(*this)) : 0;
  std::vector<Component> next(static_cast<size_t>(n));
  for (long i = 0; i < n; ++i) {
    Component& c = next[static_cast<size_t>(i)];
    if (i < static_cast<long>(components_.size())) {
      c.selected = components_[static_cast<size_t>(i)].selected;
      c.column = components_[static_cast<size_t>(i)].column;
      c.spare = std::move(components_[static_cast<size_t>(i)].spare);
      for (auto& [r, v] : components_[static_cast<size_t>(i)].rowViews) c.spare.push_back(v);
    }
    if (!c.column) {
      c.column = std::make_shared<View>();
      insertSubview(c.column, 0);
    }
  }
  for (size_t i = static_cast<size_t>(n); i < components_.size(); ++i) components_[i].column->removeFromSuperview();
  components_ = std::move(next);
  for (long i = 0; i < n; ++i) loadComponentSizes(i);
}

void PickerView::loadComponentSizes(long index) {
  auto ds = dataSource();
  auto d = delegate();
  Component& c = components_[static_cast<size_t>(index)];
  c.rows = ds ? std::max(0L, ds->numberOfRows(*this, index)) : 0;
  c.rowHeight = d ? d->rowHeightForComponent(*this, index).value_or(kDefaultRowHeight) : kDefaultRowHeight;
  if (!(c.rowHeight > 0)) c.rowHeight = kDefaultRowHeight;
  c.selected = c.rows == 0 ? 0 : std::clamp(c.selected, 0L, c.rows - 1);
  c.offset = c.selected * c.rowHeight;
  for (auto& [r, v] : c.rowViews) c.spare.push_back(v);
  for (auto& v : c.spare) v->removeFromSuperview();
  c.rowViews.clear();
}

long PickerView::numberOfComponents() {
  if (!loaded_) load();
  return static_cast<long>(components_.size());
}

long PickerView::numberOfRowsInComponent(long component) {
  if (!loaded_) load();
  if (component < 0 || component >= static_cast<long>(components_.size())) return 0;
  return components_[static_cast<size_t>(component)].rows;
}

Size PickerView::rowSizeForComponent(long component) {
  if (!loaded_) load();
  placeColumns();
  if (component < 0 || component >= static_cast<long>(components_.size())) return {};
  const Component& c = components_[static_cast<size_t>(component)];
  return {c.width, c.rowHeight};
}

long PickerView::selectedRowInComponent(long component) {
  if (!loaded_) load();
  if (component < 0 || component >= static_cast<long>(components_.size())) return -1;
  const Component& c = components_[static_cast<size_t>(component)];
  return c.rows == 0 ? -1 : c.selected;
}

void PickerView::selectRow(long row, long component, bool animated) {
  DK_ASSERT_MAIN_THREAD();
  if (!loaded_) load();
  if (component < 0 || component >= static_cast<long>(components_.size())) return;
  Component& c = components_[static_cast<size_t>(component)];
  if (c.rows == 0) return;
  row = std::clamp(row, 0L, c.rows - 1);
  if (animated && window()) {
    settle(component, row, false);
    return;
  }
  if (settling_ && settling_->component == component) {
    settling_.reset();
    link_.reset();
  }
  c.selected = row;
  c.offset = row * c.rowHeight;
  setNeedsLayout();
}

void PickerView::reloadAllComponents() {
  loaded_ = false;
  load();
  setNeedsLayout();
}

void PickerView::reloadComponent(long component) {
  if (!loaded_) load();
  if (component < 0 || component >= static_cast<long>(components_.size())) return;
  loadComponentSizes(component);
  setNeedsLayout();
}

std::shared_ptr<View> PickerView::viewForRow(long row, long component) {
  if (needsLayout()) layoutIfNeeded();
  if (component < 0 || component >= static_cast<long>(components_.size())) return nullptr;
  auto& views = components_[static_cast<size_t>(component)].rowViews;
  auto it = views.find(row);
  return it == views.end() ? nullptr : it->second;
}

void PickerView::placeColumns() {
  const Rect b = bounds();
  auto d = delegate();
  double fixed = 0;
  int flexible = 0;
  std::vector<std::optional<double>> widths;
  for (long i = 0; i < static_cast<long>(components_.size()); ++i) {
    widths.push_back(d ? d->widthForComponent(*this, i) : std::nullopt);
    if (widths.back()) {
      fixed += *widths.back();
    } else {
      ++flexible;
    }
  }
  const double share = flexible > 0 ? std::max(0.0, b.width() - fixed) / flexible : 0;
  double x = 0;
  if (flexible == 0) x = std::max(0.0, (b.width() - fixed) / 2);
  for (size_t i = 0; i < components_.size(); ++i) {
    Component& c = components_[i];
    c.width = widths[i] ? *widths[i] : share;
    c.x = x;
    x += c.width;
  }
}

void PickerView::layoutSubviews() {
  View::layoutSubviews();
  if (!loaded_) load();
  placeColumns();
  const Rect b = bounds();
  const double band = components_.empty() ? kDefaultRowHeight : components_.front().rowHeight;
  topLine_->setFrame(Rect(0, b.height() / 2 - band / 2, b.width(), 0.5));
  bottomLine_->setFrame(Rect(0, b.height() / 2 + band / 2, b.width(), 0.5));
  for (long i = 0; i < static_cast<long>(components_.size()); ++i) tileComponent(i);
}

void PickerView::tileComponent(long index) {
  Component& c = components_[static_cast<size_t>(index)];
  const Rect b = bounds();
  c.column->setFrame(Rect(c.x, 0, c.width, b.height()));
  // Row r's top: the band's top, moved by how far the wheel has turned.
  const double bandTop = b.height() / 2 - c.rowHeight / 2;
  long first = static_cast<long>(std::floor((c.offset - bandTop) / c.rowHeight));
  long last = static_cast<long>(std::ceil((c.offset - bandTop + b.height()) / c.rowHeight));
  first = std::max(0L, first);
  last = std::min(c.rows - 1, last);
  for (auto it = c.rowViews.begin(); it != c.rowViews.end();) {
    if (it->first < first || it->first > last) {
      it->second->removeFromSuperview();
      c.spare.push_back(it->second);
      it = c.rowViews.erase(it);
    } else {
      ++it;
    }
  }
  auto d = delegate();
  for (long r = first; r <= last; ++r) {
    const Rect frame(0, bandTop + r * c.rowHeight - c.offset, c.width, c.rowHeight);
    auto it = c.rowViews.find(r);
    if (it == c.rowViews.end()) {
      std::shared_ptr<View> reusing;
      if (!c.spare.empty()) {
        reusing = c.spare.back();
        c.spare.pop_back();
      }
      std::shared_ptr<View> v = d ? d->viewForRow(*this, r, index, reusing) : nullptr;
      if (!v) {
        auto label = std::dynamic_pointer_cast<Label>(reusing);
        if (!label) label = std::make_shared<Label>();
        label->setTextAlignment(TextAlignment::Center);
        label->setText(d ? d->titleForRow(*this, r, index).value_or("") : "");
        v = label;
      }
      c.column->addSubview(v);
      it = c.rowViews.emplace(r, v).first;
    }
    // A row view keeps its own transform (a turned row reads upright); place it by its centre.
    if (it->second->transform().isIdentity()) {
      it->second->setFrame(frame);
    } else {
      it->second->setCenter({frame.midX(), frame.midY()});
    }
  }
}

long PickerView::componentAt(Point p) const {
  for (size_t i = 0; i < components_.size(); ++i) {
    if (p.x >= components_[i].x && p.x < components_[i].x + components_[i].width) return static_cast<long>(i);
  }
  return components_.empty() ? -1 : 0;
}

void PickerView::handlePan(GestureRecognizer& g) {
  auto& pan = static_cast<PanGestureRecognizer&>(g);
  auto keep = sharedAs<PickerView>();
  switch (pan.state()) {
    case GestureState::Began:
      if (!loaded_) load();
      dragComponent_ = componentAt(pan.locationInView(this));
      if (dragComponent_ < 0) return;
      settling_.reset();
      link_.reset();
      dragStartOffset_ = components_[static_cast<size_t>(dragComponent_)].offset;
      [[fallthrough]];
    case GestureState::Changed: {
      if (dragComponent_ < 0 || dragComponent_ >= static_cast<long>(components_.size())) return;
      Component& c = components_[static_cast<size_t>(dragComponent_)];
      const double maxOffset = std::max(0.0, (c.rows - 1) * c.rowHeight);
      c.offset = std::clamp(dragStartOffset_ - pan.translationInView(this).y, -c.rowHeight, maxOffset + c.rowHeight);
      setNeedsLayout();
      break;
    }
    case GestureState::Ended:
    case GestureState::Cancelled: {
      if (dragComponent_ < 0 || dragComponent_ >= static_cast<long>(components_.size())) return;
      Component& c = components_[static_cast<size_t>(dragComponent_)];
      // A flick carries the wheel on a little, as far as a fifth of a second of its speed.
      const double projected = c.offset - pan.velocityInView(this).y * 0.2;
      const long row = c.rows == 0 ? 0 : std::clamp(static_cast<long>(std::lround(projected / c.rowHeight)), 0L, c.rows - 1);
      const long component = dragComponent_;
      dragComponent_ = -1;
      if (c.rows > 0) settle(component, row, true);
      break;
    }
    default: break;
  }
}

void PickerView::handleTap(GestureRecognizer& g) {
  if (!loaded_) load();
  const Point p = g.locationInView(this);
  const long component = componentAt(p);
  if (component < 0) return;
  const Component& c = components_[static_cast<size_t>(component)];
  if (c.rows == 0) return;
  const double bandTop = bounds().height() / 2 - c.rowHeight / 2;
  const long row = static_cast<long>(std::floor((p.y - bandTop + c.offset) / c.rowHeight));
  if (row < 0 || row >= c.rows) return;
  settle(component, row, true);
}

void PickerView::settle(long component, long row, bool notify) {
  Component& c = components_[static_cast<size_t>(component)];
  c.selected = row;
  settling_ = Settle{component, row, c.offset, row * c.rowHeight, now(), notify};
  std::weak_ptr<Responder> weak = weak_from_this();
  link_ = DisplayLink::create([weak](double t) {
    if (auto self = std::static_pointer_cast<PickerView>(weak.lock())) self->tick(t);
  });
}

void PickerView::tick(double t) {
  if (!settling_) return;
  auto keep = sharedAs<PickerView>();
  const Settle s = *settling_;
  if (s.component >= static_cast<long>(components_.size())) {
    settling_.reset();
    link_.reset();
    return;
  }
  Component& c = components_[static_cast<size_t>(s.component)];
  const double p = std::clamp((t - s.start) / kSettleDuration, 0.0, 1.0);
  const double e = 1 - (1 - p) * (1 - p);
  c.offset = s.from + (s.to - s.from) * e;
  setNeedsLayout();
  if (p < 1) return;
  settling_.reset();
  link_.reset();
  c.offset = s.to;
  layoutIfNeeded();
  if (s.notify) {
    if (auto d = delegate()) d->didSelectRow(*this, s.row, s.component);
  }
}

}  // namespace dk::platform
