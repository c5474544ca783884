#include "platform/ui/layer.h"

#include <algorithm>
#include <cmath>

#include "platform/dispatch/queue.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/view.h"

namespace dk::platform {

Layer::Layer() = default;

Layer::~Layer() {
  for (auto& sub : sublayers_) sub->superlayer_.reset();
}

void Layer::setBounds(const Rect& bounds) {
  DK_ASSERT_MAIN_THREAD();
  if (bounds == bounds_) return;
  const Rect old = bounds_;
  bounds_ = bounds;
  changed();
  if (view_) view_->layerBoundsChanged(old);
}

void Layer::setPosition(Point position) {
  if (position == position_) return;
  position_ = position;
  changed();
  if (view_) view_->layerPositionChanged();
}

void Layer::setAnchorPoint(Point anchor) {
  anchorPoint_ = anchor;
  changed();
  if (view_) view_->layerPositionChanged();
}

void Layer::setAffineTransform(const AffineTransform& transform) {
  if (transform == transform_) return;
  transform_ = transform;
  changed();
  if (view_) view_->layerPositionChanged();
}

Rect Layer::frame() const {
  const double w = bounds_.size.width, h = bounds_.size.height;
  const Rect local(-anchorPoint_.x * w, -anchorPoint_.y * h, w, h);
  const Rect r = transform_.isIdentity() ? local : transform_.apply(local);
  return r.offsetBy(position_.x, position_.y);
}

void Layer::setFrame(const Rect& frame) {
  const Rect f = frame.standardized();
  if (transform_.isIdentity()) {
    setBounds(Rect(bounds_.origin, f.size));
    setPosition({f.origin.x + anchorPoint_.x * f.size.width, f.origin.y + anchorPoint_.y * f.size.height});
    return;
  }
  // With a transform the frame is the bounding box of the transformed bounds: find the bounds
  // size whose box has the frame's size (exact for right-angle turns and scales), and centre it.
  const double a = std::abs(transform_.a), b = std::abs(transform_.b), c = std::abs(transform_.c),
               d = std::abs(transform_.d);
  const double det = a * d - b * c;
  if (std::abs(det) > 1e-9) {
    const double w = (d * f.size.width - c * f.size.height) / det;
    const double h = (a * f.size.height - b * f.size.width) / det;
    if (w >= -1e-9 && h >= -1e-9) setBounds(Rect(bounds_.origin, Size{std::max(0.0, w), std::max(0.0, h)}));
  }
  const Rect current = this->frame();
  setPosition({position_.x + f.midX() - current.midX(), position_.y + f.midY() - current.midY()});
}

void Layer::setOpacity(double opacity) {
  opacity_ = std::clamp(opacity, 0.0, 1.0);
  changed();
}

void Layer::addSublayer(const std::shared_ptr<Layer>& layer) { insertSublayer(layer, sublayers_.size()); }

void Layer::insertSublayer(const std::shared_ptr<Layer>& layer, size_t index) {
  DK_ASSERT_MAIN_THREAD();
  if (!layer || layer.get() == this) return;
  auto keep = layer;
  layer->removeFromSuperlayer();
  index = std::min(index, sublayers_.size());
  sublayers_.insert(sublayers_.begin() + static_cast<long>(index), layer);
  layer->superlayer_ = weak_from_this();
  changed();
}

void Layer::removeFromSuperlayer() {
  auto parent = superlayer_.lock();
  superlayer_.reset();
  if (!parent) return;
  auto keep = shared_from_this();
  auto& list = parent->sublayers_;
  list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& l) { return l.get() == this; }), list.end());
  parent->changed();
}

void Layer::removeAllSublayers() {
  auto old = std::move(sublayers_);
  sublayers_.clear();
  for (auto& l : old) l->superlayer_.reset();
  changed();
}

void Layer::setValue(const std::string& key, std::any value) {
  if (!value.has_value()) {
    values_.erase(key);
  } else {
    values_[key] = std::move(value);
  }
}

std::any Layer::valueForKey(const std::string& key) const {
  auto it = values_.find(key);
  return it == values_.end() ? std::any() : it->second;
}

Point Layer::convertPointToSuperlayer(Point p) const {
  const Point local{p.x - bounds_.origin.x - anchorPoint_.x * bounds_.size.width,
                    p.y - bounds_.origin.y - anchorPoint_.y * bounds_.size.height};
  const Point t = transform_.apply(local);
  return {t.x + position_.x, t.y + position_.y};
}

Point Layer::convertPointFromSuperlayer(Point p) const {
  const Point t = transform_.inverted().apply(Point{p.x - position_.x, p.y - position_.y});
  return {t.x + bounds_.origin.x + anchorPoint_.x * bounds_.size.width,
          t.y + bounds_.origin.y + anchorPoint_.y * bounds_.size.height};
}

// ---- animations ----

namespace {

struct TransactionFrame {
  double duration = 0.25;
  bool disableActions = false;
  std::function<void()> completion;
  double longest = 0;  // longest animation added inside, seconds
};

std::vector<TransactionFrame>& transactionStack() {
  static std::vector<TransactionFrame> stack;  // main thread only
  return stack;
}

void noteAnimationInTransaction(double seconds) {
  for (auto& frame : transactionStack()) frame.longest = std::max(frame.longest, seconds);
}

}  // namespace

void Layer::addAnimation(std::shared_ptr<LayerAnimation> animation, const std::string& key) {
  DK_ASSERT_MAIN_THREAD();
  if (!animation) return;
  removeAnimationForKey(key);
  animations_[key] = animation;
  noteAnimationInTransaction(animation->totalDuration());
  std::weak_ptr<Layer> weakSelf = weak_from_this();
  std::weak_ptr<LayerAnimation> weakAnimation = animation;
  runOnMainAfter(animation->totalDuration(), [weakSelf, weakAnimation, key] {
    auto self = weakSelf.lock();
    auto anim = weakAnimation.lock();
    if (!self || !anim) return;
    auto it = self->animations_.find(key);
    if (it == self->animations_.end() || it->second != anim) return;  // removed or replaced
    self->finishAnimation(key, anim);
  });
}

void Layer::finishAnimation(const std::string& key, const std::shared_ptr<LayerAnimation>& animation) {
  if (animation->removedOnCompletion) animations_.erase(key);
  auto stop = std::move(animation->onStop);
  animation->onStop = nullptr;
  if (stop) stop(true);
}

std::shared_ptr<LayerAnimation> Layer::animationForKey(const std::string& key) const {
  auto it = animations_.find(key);
  return it == animations_.end() ? nullptr : it->second;
}

std::vector<std::string> Layer::animationKeys() const {
  std::vector<std::string> keys;
  for (auto& [k, v] : animations_) keys.push_back(k);
  return keys;
}

void Layer::removeAnimationForKey(const std::string& key) {
  auto it = animations_.find(key);
  if (it == animations_.end()) return;
  auto animation = it->second;
  animations_.erase(it);
  auto stop = std::move(animation->onStop);
  animation->onStop = nullptr;
  if (stop) stop(false);
}

void Layer::removeAllAnimations() {
  auto all = std::move(animations_);
  animations_.clear();
  for (auto& [key, animation] : all) {
    auto stop = std::move(animation->onStop);
    animation->onStop = nullptr;
    if (stop) stop(false);
  }
}

void Transaction::begin() {
  DK_ASSERT_MAIN_THREAD();
  TransactionFrame frame;
  if (!transactionStack().empty()) {
    frame.duration = transactionStack().back().duration;
    frame.disableActions = transactionStack().back().disableActions;
  }
  transactionStack().push_back(std::move(frame));
}

void Transaction::commit() {
  DK_ASSERT_MAIN_THREAD();
  if (transactionStack().empty()) return;
  TransactionFrame frame = std::move(transactionStack().back());
  transactionStack().pop_back();
  if (frame.completion) runOnMainAfter(frame.longest, std::move(frame.completion));
}

void Transaction::setAnimationDuration(double seconds) {
  if (!transactionStack().empty()) transactionStack().back().duration = seconds;
}

double Transaction::animationDuration() {
  return transactionStack().empty() ? 0.25 : transactionStack().back().duration;
}

void Transaction::setDisableActions(bool disable) {
  if (!transactionStack().empty()) transactionStack().back().disableActions = disable;
}

bool Transaction::disableActions() { return !transactionStack().empty() && transactionStack().back().disableActions; }

void Transaction::setCompletionBlock(std::function<void()> completion) {
  if (!transactionStack().empty()) transactionStack().back().completion = std::move(completion);
}

}  // namespace dk::platform
