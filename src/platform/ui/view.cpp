#include "platform/ui/view.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"

namespace dk::platform {

// ---- Responder ----

namespace {
std::weak_ptr<Responder>& firstResponderSlot() {
  static std::weak_ptr<Responder> slot;  // main thread only
  return slot;
}
}  // namespace

void Responder::touchesBegan(const TouchList& touches, const Event& event) {
  if (auto next = nextResponder()) next->touchesBegan(touches, event);
}
void Responder::touchesMoved(const TouchList& touches, const Event& event) {
  if (auto next = nextResponder()) next->touchesMoved(touches, event);
}
void Responder::touchesEnded(const TouchList& touches, const Event& event) {
  if (auto next = nextResponder()) next->touchesEnded(touches, event);
}
void Responder::touchesCancelled(const TouchList& touches, const Event& event) {
  if (auto next = nextResponder()) next->touchesCancelled(touches, event);
}

bool Responder::becomeFirstResponder() {
  if (!canBecomeFirstResponder()) return false;
  auto current = firstResponderSlot().lock();
  if (current.get() == this) return true;
  if (current && !current->resignFirstResponder()) return false;
  firstResponderSlot() = weak_from_this();
  return true;
}

bool Responder::resignFirstResponder() {
  if (firstResponderSlot().lock().get() == this) firstResponderSlot().reset();
  return true;
}

bool Responder::isFirstResponder() const { return firstResponderSlot().lock().get() == this; }

std::shared_ptr<Responder> Responder::currentFirstResponder() { return firstResponderSlot().lock(); }

// ---- View ----

View::View() : layer_(std::make_shared<Layer>()) { layer_->view_ = this; }

View::View(const Rect& frame) : View() { layer_->setFrame(frame); }

View::~View() {
  for (auto& sub : subviews_) sub->superview_ = nullptr;
  for (auto& c : constraints_) c->detach();
  for (auto& r : recognizers_) r->attachToView(nullptr);
  if (layer_) layer_->view_ = nullptr;
}

Rect View::frame() const { return layer_->frame(); }
void View::setFrame(const Rect& frame) {
  DK_ASSERT_MAIN_THREAD();
  noteAnimatedProperty("position");
  noteAnimatedProperty("bounds");
  layer_->setFrame(frame);
}
Rect View::bounds() const { return layer_->bounds(); }
void View::setBounds(const Rect& bounds) {
  noteAnimatedProperty("bounds");
  layer_->setBounds(bounds);
}
Point View::center() const { return layer_->position(); }
void View::setCenter(Point center) {
  noteAnimatedProperty("position");
  layer_->setPosition(center);
}
AffineTransform View::transform() const { return layer_->affineTransform(); }
void View::setTransform(const AffineTransform& transform) {
  noteAnimatedProperty("transform");
  layer_->setAffineTransform(transform);
}

double View::alpha() const { return layer_->opacity(); }
void View::setAlpha(double alpha) {
  noteAnimatedProperty("opacity");
  layer_->setOpacity(alpha);
}
bool View::isHidden() const { return layer_->isHidden(); }
void View::setHidden(bool hidden) { layer_->setHidden(hidden); }
std::optional<Color> View::backgroundColor() const { return layer_->backgroundColor(); }
void View::setBackgroundColor(std::optional<Color> color) {
  noteAnimatedProperty("backgroundColor");
  layer_->setBackgroundColor(color);
}
bool View::clipsToBounds() const { return layer_->masksToBounds(); }
void View::setClipsToBounds(bool clips) { layer_->setMasksToBounds(clips); }

Color View::tintColor() const {
  for (const View* v = this; v; v = v->superview_) {
    if (v->tintColor_) return *v->tintColor_;
  }
  return Color::rgba(0, 122 / 255.0, 1.0);
}

void View::setTintColor(std::optional<Color> color) {
  tintColor_ = color;
  // Tell this view and every descendant that inherits the tint.
  std::vector<View*> stack{this};
  while (!stack.empty()) {
    View* v = stack.back();
    stack.pop_back();
    v->tintColorDidChange();
    v->setNeedsDisplay();
    for (auto& s : v->subviews_) {
      if (!s->tintColor_) stack.push_back(s.get());
    }
  }
}

void View::setContentMode(ContentMode mode) {
  contentMode_ = mode;
  setNeedsDisplay();
}

std::shared_ptr<View> View::viewWithTag(long tag) {
  if (tag_ == tag) return sharedAs<View>();
  for (auto& sub : subviews_) {
    if (auto found = sub->viewWithTag(tag)) return found;
  }
  return nullptr;
}

void View::setAssociatedValue(const std::string& key, std::any value) {
  if (value.has_value()) {
    associated_[key] = std::move(value);
  } else {
    associated_.erase(key);
  }
}

const std::any* View::associatedValue(const std::string& key) const {
  auto it = associated_.find(key);
  return it == associated_.end() ? nullptr : &it->second;
}

std::shared_ptr<View> View::viewWithAccessibilityIdentifier(const std::string& id) {
  if (accessibilityIdentifier_ == id) return sharedAs<View>();
  for (auto& sub : subviews_) {
    if (auto found = sub->viewWithAccessibilityIdentifier(id)) return found;
  }
  return nullptr;
}

// ---- hierarchy ----

std::shared_ptr<View> View::superview() const {
  return superview_ ? std::static_pointer_cast<View>(superview_->weak_from_this().lock()) : nullptr;
}

void View::addSubview(const std::shared_ptr<View>& view) { insertSubview(view, subviews_.size()); }

void View::insertSubview(const std::shared_ptr<View>& view, size_t index) {
  DK_ASSERT_MAIN_THREAD();
  if (!view || view.get() == this || isDescendantOf(view.get())) return;
  auto keep = view;
  if (view->superview_ == this) {
    // Re-ordering among siblings: no move between windows, no appearance change.
    auto& list = subviews_;
    auto it = std::find(list.begin(), list.end(), view);
    const size_t old = static_cast<size_t>(it - list.begin());
    list.erase(it);
    if (index > old) --index;
    index = std::min(index, list.size());
    list.insert(list.begin() + static_cast<long>(index), view);
    setNeedsDisplay();
    return;
  }
  Window* oldWindow = view->window().get();
  Window* newWindow = window().get();
  view->willMoveToSuperview(this);
  if (oldWindow != newWindow) view->moveToWindowBegin(oldWindow, newWindow);
  if (auto old = view->superview_) {
    old->willRemoveSubview(view.get());
    auto& list = old->subviews_;
    list.erase(std::remove(list.begin(), list.end(), view), list.end());
    old->setNeedsLayout();
  }
  index = std::min(index, subviews_.size());
  subviews_.insert(subviews_.begin() + static_cast<long>(index), view);
  view->superview_ = this;
  if (oldWindow != newWindow) view->moveToWindowEnd(oldWindow, newWindow);
  view->didMoveToSuperview();
  didAddSubview(view.get());
  setNeedsLayout();
  view->setNeedsLayout();
}

void View::insertSubviewAbove(const std::shared_ptr<View>& view, const View* sibling) {
  for (size_t i = 0; i < subviews_.size(); ++i) {
    if (subviews_[i].get() == sibling) return insertSubview(view, i + 1);
  }
  addSubview(view);
}

void View::insertSubviewBelow(const std::shared_ptr<View>& view, const View* sibling) {
  for (size_t i = 0; i < subviews_.size(); ++i) {
    if (subviews_[i].get() == sibling) return insertSubview(view, i);
  }
  insertSubview(view, 0);
}

void View::removeFromSuperview() {
  DK_ASSERT_MAIN_THREAD();
  View* parent = superview_;
  if (!parent) return;
  auto keep = sharedAs<View>();
  Window* oldWindow = window().get();
  willMoveToSuperview(nullptr);
  if (oldWindow) moveToWindowBegin(oldWindow, nullptr);
  parent->willRemoveSubview(this);
  auto& list = parent->subviews_;
  list.erase(std::remove_if(list.begin(), list.end(), [this](const auto& v) { return v.get() == this; }), list.end());
  superview_ = nullptr;
  if (oldWindow) moveToWindowEnd(oldWindow, nullptr);
  didMoveToSuperview();
  parent->setNeedsLayout();
  parent->setNeedsDisplay();
}

void View::bringSubviewToFront(const View* view) {
  for (size_t i = 0; i < subviews_.size(); ++i) {
    if (subviews_[i].get() == view) {
      auto v = subviews_[i];
      subviews_.erase(subviews_.begin() + static_cast<long>(i));
      subviews_.push_back(v);
      setNeedsDisplay();
      return;
    }
  }
}

void View::sendSubviewToBack(const View* view) {
  for (size_t i = 0; i < subviews_.size(); ++i) {
    if (subviews_[i].get() == view) {
      auto v = subviews_[i];
      subviews_.erase(subviews_.begin() + static_cast<long>(i));
      subviews_.insert(subviews_.begin(), v);
      setNeedsDisplay();
      return;
    }
  }
}

bool View::isDescendantOf(const View* view) const {
  for (const View* v = this; v; v = v->superview_) {
    if (v == view) return true;
  }
  return false;
}

std::shared_ptr<Window> View::window() const {
  const View* root = this;
  while (root->superview_) root = root->superview_;
  auto* w = dynamic_cast<const Window*>(root);
  return w ? std::static_pointer_cast<Window>(std::const_pointer_cast<Responder>(w->weak_from_this().lock())) : nullptr;
}

void View::moveToWindowBegin(Window* oldWindow, Window* newWindow) {
  std::vector<View*> stack{this};
  while (!stack.empty()) {
    View* v = stack.back();
    stack.pop_back();
    v->willMoveToWindow(newWindow);
    if (v->viewController_) v->viewController_->rootViewWillMoveToWindow(oldWindow, newWindow);
    for (auto& s : v->subviews_) stack.push_back(s.get());
  }
}

void View::moveToWindowEnd(Window* oldWindow, Window* newWindow) {
  // Copy first: appearance callbacks may change the tree.
  std::vector<std::shared_ptr<View>> all;
  std::vector<View*> stack{this};
  while (!stack.empty()) {
    View* v = stack.back();
    stack.pop_back();
    all.push_back(v->sharedAs<View>());
    for (auto& s : v->subviews_) stack.push_back(s.get());
  }
  for (auto& v : all) {
    v->didMoveToWindow();
    if (v->viewController_) v->viewController_->rootViewDidMoveToWindow(oldWindow, newWindow);
    if (newWindow && v->needsLayout_) newWindow->scheduleLayoutPass();
  }
}

// ---- responder chain ----

std::shared_ptr<Responder> View::nextResponder() const {
  if (viewController_) return viewController_->weak_from_this().lock();
  return superview();
}

std::shared_ptr<ViewController> View::viewController() const {
  return viewController_ ? std::static_pointer_cast<ViewController>(viewController_->weak_from_this().lock())
                         : nullptr;
}

std::shared_ptr<ViewController> View::owningViewController() const {
  for (auto r = nextResponder(); r; r = r->nextResponder()) {
    if (auto vc = std::dynamic_pointer_cast<ViewController>(r)) return vc;
  }
  return nullptr;
}

bool View::endEditing(bool force) {
  auto responder = Responder::currentFirstResponder();
  if (!responder) return true;
  auto view = std::dynamic_pointer_cast<View>(responder);
  if (view && view->isDescendantOf(this)) return responder->resignFirstResponder() || force;
  return true;
}

// ---- coordinates ----

namespace {
// From the root's bounds space (window coordinates) down to `to`'s bounds space.
Point fromRootSpace(Point point, const View* to) {
  std::vector<const View*> chain;
  for (const View* v = to; v; v = v->superview().get()) chain.push_back(v);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!(*it)->superview()) continue;  // the root: its bounds space is the common space
    point = (*it)->layer().convertPointFromSuperlayer(point);
  }
  return point;
}
}  // namespace

Point View::convertPointTo(Point point, const View* to) const {
  if (to == this) return point;
  for (const View* v = this; v->superview_; v = v->superview_) {
    point = v->layer_->convertPointToSuperlayer(point);
    if (v->superview_ == to) return point;
  }
  return to ? fromRootSpace(point, to) : point;
}

Point View::convertPointFrom(Point point, const View* from) const {
  if (from == this) return point;
  if (!from) return fromRootSpace(point, this);
  return from->convertPointTo(point, this);
}

namespace {
// The bounding box of a rectangle's corners mapped one by one.
template <typename Map>
Rect mapCorners(const Rect& rect, Map map) {
  const Point p[4] = {map(Point{rect.minX(), rect.minY()}), map(Point{rect.maxX(), rect.minY()}),
                      map(Point{rect.minX(), rect.maxY()}), map(Point{rect.maxX(), rect.maxY()})};
  double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
  for (const auto& q : p) x0 = std::min(x0, q.x), x1 = std::max(x1, q.x), y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
  return Rect(x0, y0, x1 - x0, y1 - y0);
}
}  // namespace

Rect View::convertRectTo(const Rect& rect, const View* to) const {
  return mapCorners(rect, [&](Point p) { return convertPointTo(p, to); });
}

Rect View::convertRectFrom(const Rect& rect, const View* from) const {
  return mapCorners(rect, [&](Point p) { return convertPointFrom(p, from); });
}

// ---- hit testing ----

std::shared_ptr<View> View::hitTest(Point point, const Event* event) {
  if (!userInteractionEnabled_ || isHidden() || alpha() < 0.01 || interactionBlockers_ > 0) return nullptr;
  if (!pointInside(point, event)) return nullptr;
  for (auto it = subviews_.rbegin(); it != subviews_.rend(); ++it) {
    auto sub = *it;  // keep alive: hitTest overrides may change the tree
    const Point p = sub->layer_->convertPointFromSuperlayer(point);
    if (auto hit = sub->hitTest(p, event)) return hit;
  }
  return sharedAs<View>();
}

bool View::pointInside(Point point, const Event* event) const { return bounds().contains(point); }

// ---- layout ----

void View::setNeedsLayout() {
  needsLayout_ = true;
  if (auto w = window()) w->scheduleLayoutPass();
}

void View::layoutIfNeeded() {
  DK_ASSERT_MAIN_THREAD();
  // Whatever above us waits for layout goes first: it may move or resize this view.
  View* top = this;
  for (View* v = superview_; v; v = v->superview_) {
    if (v->needsLayout_) top = v;
  }
  auto keep = top->sharedAs<View>();
  top->layoutSubtreeIfNeeded();
  if (top != this) layoutSubtreeIfNeeded();
}

void View::layoutSubtreeIfNeeded() {
  if (needsLayout_ && !inLayout_) {
    needsLayout_ = false;
    inLayout_ = true;
    auto keep = sharedAs<View>();
    auto controller = viewController();
    if (controller) controller->viewWillLayoutSubviews();
    layoutSubviews();
    if (controller) controller->viewDidLayoutSubviews();
    inLayout_ = false;
  }
  auto subs = subviews_;  // layout may change the tree
  for (auto& s : subs) s->layoutSubtreeIfNeeded();
}

void View::layoutSubviews() { applyConstraintsToSubviews(); }

void View::applyConstraintsToSubviews() {
  auto subs = subviews_;
  for (auto& s : subs) {
    if (!s->translatesAutoresizing_ && !s->referencing_.empty()) detail::resolveConstraints(*this, *s);
  }
}

void View::invalidateIntrinsicContentSize() {
  if (superview_) superview_->setNeedsLayout();
  setNeedsLayout();
}

Size View::sizeThatFits(Size size) const {
  const Size intrinsic = intrinsicContentSize();
  if (intrinsic.width >= 0 || intrinsic.height >= 0) {
    return {intrinsic.width >= 0 ? intrinsic.width : bounds().size.width,
            intrinsic.height >= 0 ? intrinsic.height : bounds().size.height};
  }
  return bounds().size;
}

void View::sizeToFit() {
  const Size fit = sizeThatFits(bounds().size);
  Rect f = frame();
  if (transform().isIdentity()) {
    setFrame(Rect(f.origin, fit));
  } else {
    Rect b = bounds();
    b.size = fit;
    setBounds(b);
  }
}

void View::layerBoundsChanged(const Rect& oldBounds) {
  if (oldBounds.size != bounds().size) {
    setNeedsLayout();
    setNeedsDisplay();
    if (autoresizesSubviews_) autoresizeSubviews(oldBounds.size);
  } else {
    // A scroll: the subviews move on screen; layout-driven views (tables) re-tile.
    setNeedsLayout();
  }
  if (superview_) superview_->setNeedsDisplay();
}

void View::layerPositionChanged() {
  if (superview_) superview_->setNeedsDisplay();
}

void View::autoresizeSubviews(Size oldSize) {
  const Size newSize = bounds().size;
  const double dw = newSize.width - oldSize.width, dh = newSize.height - oldSize.height;
  if (dw == 0 && dh == 0) return;
  // Distributes a change of the superview's size over the flexible parts of one axis.
  auto distribute = [](double delta, double before, double size, double after, bool flexBefore, bool flexSize,
                       bool flexAfter, double& newBefore, double& newSize) {
    newBefore = before;
    newSize = size;
    double total = (flexBefore ? before : 0) + (flexSize ? size : 0) + (flexAfter ? after : 0);
    const int parts = int(flexBefore) + int(flexSize) + int(flexAfter);
    if (parts == 0) return;
    if (total <= 0) {
      if (flexBefore) newBefore += delta / parts;
      if (flexSize) newSize += delta / parts;
      return;
    }
    if (flexBefore) newBefore += delta * before / total;
    if (flexSize) newSize += delta * size / total;
  };
  for (auto& s : subviews_) {
    const unsigned m = s->autoresizingMask_;
    if (m == kAutoresizingNone || !s->translatesAutoresizing_) continue;
    const Rect f = s->frame();
    double x, w, y, h;
    distribute(dw, f.minX(), f.width(), oldSize.width - f.maxX(), m & kAutoresizingFlexibleLeftMargin,
               m & kAutoresizingFlexibleWidth, m & kAutoresizingFlexibleRightMargin, x, w);
    distribute(dh, f.minY(), f.height(), oldSize.height - f.maxY(), m & kAutoresizingFlexibleTopMargin,
               m & kAutoresizingFlexibleHeight, m & kAutoresizingFlexibleBottomMargin, y, h);
    s->setFrame(Rect(x, y, std::max(0.0, w), std::max(0.0, h)));
  }
}

// ---- constraints ----

void View::addConstraint(const std::shared_ptr<LayoutConstraint>& constraint) {
  if (!constraint) return;
  if (constraint->owner() == this) return;
  if (constraint->owner()) constraint->owner()->removeConstraint(constraint.get());
  constraints_.push_back(constraint);
  constraint->attach(this);
}

void View::addConstraints(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
  for (auto& c : constraints) addConstraint(c);
}

void View::removeConstraint(const LayoutConstraint* constraint) {
  for (auto it = constraints_.begin(); it != constraints_.end(); ++it) {
    if (it->get() == constraint) {
      auto keep = *it;
      constraints_.erase(it);
      keep->detach();
      return;
    }
  }
}

std::vector<std::shared_ptr<LayoutConstraint>> View::constraintsAffecting() const {
  std::vector<std::shared_ptr<LayoutConstraint>> result;
  for (auto& w : referencing_) {
    if (auto c = w.lock(); c && c->isActive()) result.push_back(c);
  }
  return result;
}

// ---- drawing ----

void View::setNeedsDisplay() {
  needsDisplay_ = true;
  layer_->changed();
}

void View::draw(GraphicsContext& context, const Rect& rect) {}

// ---- gestures ----

void View::addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer) {
  DK_ASSERT_MAIN_THREAD();
  if (!recognizer) return;
  if (auto old = recognizer->view(); old && old.get() != this) old->removeGestureRecognizer(recognizer.get());
  if (std::find(recognizers_.begin(), recognizers_.end(), recognizer) != recognizers_.end()) return;
  recognizers_.push_back(recognizer);
  recognizer->attachToView(this);
}

void View::removeGestureRecognizer(const GestureRecognizer* recognizer) {
  for (auto it = recognizers_.begin(); it != recognizers_.end(); ++it) {
    if (it->get() == recognizer) {
      auto keep = *it;
      recognizers_.erase(it);
      keep->attachToView(nullptr);
      return;
    }
  }
}

}  // namespace dk::platform
