#include "platform/ui/layout_constraint.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/ui/view.h"

namespace dk::platform {

std::shared_ptr<LayoutConstraint> LayoutConstraint::make(const std::shared_ptr<View>& first,
                                                         LayoutAttribute firstAttribute, LayoutRelation relation,
                                                         const std::shared_ptr<View>& second,
                                                         LayoutAttribute secondAttribute, double multiplier,
                                                         double constant) {
  return std::make_shared<LayoutConstraint>(first, firstAttribute, relation, second, secondAttribute, multiplier,
                                            constant);
}

LayoutConstraint::LayoutConstraint(const std::shared_ptr<View>& first, LayoutAttribute firstAttribute,
                                   LayoutRelation relation, const std::shared_ptr<View>& second,
                                   LayoutAttribute secondAttribute, double multiplier, double constant)
    : first_(first),
      second_(second),
      firstAttribute_(firstAttribute),
      secondAttribute_(second ? secondAttribute : LayoutAttribute::NotAnAttribute),
      relation_(relation),
      multiplier_(multiplier),
      constant_(constant) {}

void LayoutConstraint::setConstant(double constant) {
  constant_ = constant;
  invalidateLayout();
}

void LayoutConstraint::invalidateLayout() const {
  for (auto& item : {first_.lock(), second_.lock()}) {
    if (!item) continue;
    item->setNeedsLayout();
    if (auto parent = item->superview()) parent->setNeedsLayout();
  }
}

void LayoutConstraint::attach(View* owner) {
  owner_ = owner;
  active_ = true;
  auto self = weak_from_this();
  for (auto& item : {first_.lock(), second_.lock()}) {
    if (item) item->referencing_.push_back(self);
  }
  invalidateLayout();
}

void LayoutConstraint::detach() {
  owner_ = nullptr;
  active_ = false;
  for (auto& item : {first_.lock(), second_.lock()}) {
    if (!item) continue;
    auto& list = item->referencing_;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](const std::weak_ptr<LayoutConstraint>& w) {
                                auto c = w.lock();
                                return !c || c.get() == this;
                              }),
               list.end());
  }
  invalidateLayout();
}

void LayoutConstraint::setActive(bool active) {
  if (active == active_) return;
  if (!active) {
    if (owner_) {
      owner_->removeConstraint(this);
    } else {
      detach();
    }
    return;
  }
  auto first = first_.lock();
  auto second = second_.lock();
  if (!first) return;
  // The nearest common ancestor (the item itself for a constant-only constraint).
  View* owner = first.get();
  if (second) {
    owner = nullptr;
    for (View* a = first.get(); a && !owner; a = a->superview().get()) {
      if (second->isDescendantOf(a)) owner = a;
    }
    if (!owner) owner = first->superview() ? first->superview().get() : first.get();
  }
  owner->addConstraint(shared_from_this());
}

void LayoutConstraint::activate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
  for (auto& c : constraints) c->setActive(true);
}

void LayoutConstraint::deactivate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints) {
  for (auto& c : constraints) c->setActive(false);
}

namespace {
std::shared_ptr<LayoutConstraint> makeFrom(const LayoutAnchor& a, LayoutRelation r, const LayoutAnchor* b, double c) {
  return LayoutConstraint::make(a.view, a.attribute, r, b ? b->view : nullptr,
                                b ? b->attribute : LayoutAttribute::NotAnAttribute, 1, c);
}
}  // namespace

std::shared_ptr<LayoutConstraint> LayoutAnchor::equalTo(const LayoutAnchor& other, double constant) const {
  return makeFrom(*this, LayoutRelation::Equal, &other, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::greaterThanOrEqualTo(const LayoutAnchor& other, double constant) const {
  return makeFrom(*this, LayoutRelation::GreaterThanOrEqual, &other, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::lessThanOrEqualTo(const LayoutAnchor& other, double constant) const {
  return makeFrom(*this, LayoutRelation::LessThanOrEqual, &other, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::equalToConstant(double constant) const {
  return makeFrom(*this, LayoutRelation::Equal, nullptr, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::greaterThanOrEqualToConstant(double constant) const {
  return makeFrom(*this, LayoutRelation::GreaterThanOrEqual, nullptr, constant);
}
std::shared_ptr<LayoutConstraint> LayoutAnchor::lessThanOrEqualToConstant(double constant) const {
  return makeFrom(*this, LayoutRelation::LessThanOrEqual, nullptr, constant);
}

// ---- the resolver ----

namespace detail {
namespace {

enum class Part { Min, Max, Center, Size, None };
struct AxisAttr {
  bool vertical;
  Part part;
};

AxisAttr classify(LayoutAttribute a) {
  switch (a) {
    case LayoutAttribute::Left:
    case LayoutAttribute::Leading: return {false, Part::Min};
    case LayoutAttribute::Right:
    case LayoutAttribute::Trailing: return {false, Part::Max};
    case LayoutAttribute::CenterX: return {false, Part::Center};
    case LayoutAttribute::Width: return {false, Part::Size};
    case LayoutAttribute::Top: return {true, Part::Min};
    case LayoutAttribute::Bottom: return {true, Part::Max};
    case LayoutAttribute::CenterY: return {true, Part::Center};
    case LayoutAttribute::Height: return {true, Part::Size};
    default: return {false, Part::None};
  }
}

double partOf(const Rect& r, AxisAttr a) {
  const double lo = a.vertical ? r.minY() : r.minX();
  const double size = a.vertical ? r.height() : r.width();
  switch (a.part) {
    case Part::Min: return lo;
    case Part::Max: return lo + size;
    case Part::Center: return lo + size / 2;
    case Part::Size: return size;
    default: return 0;
  }
}

// An attribute of another item, read in the container's bounds coordinates.
double otherValue(View& container, View& other, LayoutAttribute attribute) {
  const AxisAttr a = classify(attribute);
  Rect r;
  if (&other == &container) {
    r = container.bounds();
  } else if (other.superview().get() == &container) {
    r = other.frame();
  } else {
    r = other.convertRectTo(other.bounds(), &container);
  }
  if (a.part == Part::Size) return a.vertical ? other.bounds().size.height : other.bounds().size.width;
  return partOf(r, a);
}

struct Axis {
  std::optional<double> known[4];  // Min, Max, Center, Size from equalities
};

struct Bound {
  Part part;
  LayoutRelation relation;  // of the view's attribute against the value
  double value;
};

void solveAxis(const Axis& axis, double intrinsic, double currentLo, double currentSize, double& lo, double& size) {
  const auto& k = axis.known;
  const int mn = int(Part::Min), mx = int(Part::Max), ce = int(Part::Center), sz = int(Part::Size);
  if (k[mn] && k[mx]) {
    size = *k[mx] - *k[mn];
  } else if (k[sz]) {
    size = *k[sz];
  } else if (k[mn] && k[ce]) {
    size = 2 * (*k[ce] - *k[mn]);
  } else if (k[mx] && k[ce]) {
    size = 2 * (*k[mx] - *k[ce]);
  } else {
    size = intrinsic >= 0 ? intrinsic : currentSize;
  }
  size = std::max(0.0, size);
  if (k[mn]) {
    lo = *k[mn];
  } else if (k[mx]) {
    lo = *k[mx] - size;
  } else if (k[ce]) {
    lo = *k[ce] - size / 2;
  } else {
    lo = currentLo;
  }
}

void applyBound(const Bound& b, const Axis& axis, double& lo, double& size) {
  const double current = b.part == Part::Min ? lo : b.part == Part::Max ? lo + size : b.part == Part::Center ? lo + size / 2 : size;
  const bool violated = (b.relation == LayoutRelation::GreaterThanOrEqual && current < b.value) ||
                        (b.relation == LayoutRelation::LessThanOrEqual && current > b.value);
  if (!violated) return;
  const auto& k = axis.known;
  const bool minPinned = bool(k[int(Part::Min)]), maxPinned = bool(k[int(Part::Max)]);
  const bool centerPinned = bool(k[int(Part::Center)]);
  switch (b.part) {
    case Part::Size:
      if (minPinned || !maxPinned) {
        if (!minPinned && k[int(Part::Center)]) lo -= (b.value - size) / 2;
        size = b.value;
      } else {
        lo = lo + size - b.value;
        size = b.value;
      }
      break;
    case Part::Min:
      if (maxPinned) {
        size += lo - b.value;
      } else if (centerPinned) {
        size = 2 * (*k[int(Part::Center)] - b.value);  // a centred view grows or shrinks about its centre
      }
      lo = b.value;
      break;
    case Part::Max:
      if (minPinned) {
        size = b.value - lo;
      } else if (centerPinned) {
        size = 2 * (b.value - *k[int(Part::Center)]);
        lo = b.value - size;
      } else {
        lo = b.value - size;
      }
      break;
    case Part::Center: lo = b.value - size / 2; break;
    default: break;
  }
  size = std::max(0.0, size);
}

}  // namespace

void resolveConstraints(View& container, View& view) {
  Axis axes[2];
  std::vector<Bound> bounds[2];
  std::vector<std::shared_ptr<LayoutConstraint>> selfRatios;
  for (auto& c : view.constraintsAffecting()) {
    auto first = c->firstItem();
    auto second = c->secondItem();
    if (!first) continue;
    const bool viewIsFirst = first.get() == &view;
    if (second && second.get() == &view && viewIsFirst) {
      selfRatios.push_back(c);
      continue;
    }
    LayoutAttribute mine = viewIsFirst ? c->firstAttribute() : c->secondAttribute();
    const AxisAttr a = classify(mine);
    if (a.part == Part::None) continue;
    double value;
    LayoutRelation relation = c->relation();
    if (viewIsFirst) {
      // mine ~ m * other + c
      const double other = second ? otherValue(container, *second, c->secondAttribute()) : 0;
      value = (second ? c->multiplier() * other : 0) + c->constant();
    } else {
      // other ~ m * mine + c  =>  mine ~ (other - c) / m, relation flips with a negative m
      if (c->multiplier() == 0) continue;
      const double other = otherValue(container, *first, c->firstAttribute());
      value = (other - c->constant()) / c->multiplier();
      if (relation != LayoutRelation::Equal) {
        const bool flip = c->multiplier() > 0;
        if (flip) {
          relation = relation == LayoutRelation::GreaterThanOrEqual ? LayoutRelation::LessThanOrEqual
                                                                    : LayoutRelation::GreaterThanOrEqual;
        }
      }
    }
    Axis& axis = axes[a.vertical ? 1 : 0];
    if (relation == LayoutRelation::Equal) {
      axis.known[int(a.part)] = value;
    } else {
      bounds[a.vertical ? 1 : 0].push_back({a.part, relation, value});
    }
  }
  const Rect current = view.frame();
  const Size intrinsic = view.intrinsicContentSize();
  double x, w, y, h;
  solveAxis(axes[0], intrinsic.width, current.minX(), view.bounds().size.width, x, w);
  solveAxis(axes[1], intrinsic.height, current.minY(), view.bounds().size.height, y, h);
  // Aspect ratios between the view's own dimensions, when one side is free.
  for (auto& c : selfRatios) {
    if (c->relation() != LayoutRelation::Equal) continue;
    const AxisAttr fa = classify(c->firstAttribute()), sa = classify(c->secondAttribute());
    if (fa.part != Part::Size || sa.part != Part::Size || fa.vertical == sa.vertical) continue;
    const double other = sa.vertical ? h : w;
    const double value = c->multiplier() * other + c->constant();
    if (fa.vertical && !axes[1].known[int(Part::Size)]) h = value;
    if (!fa.vertical && !axes[0].known[int(Part::Size)]) w = value;
  }
  for (auto& b : bounds[0]) applyBound(b, axes[0], x, w);
  for (auto& b : bounds[1]) applyBound(b, axes[1], y, h);
  const Rect next(x, y, w, h);
  if (view.transform().isIdentity()) {
    if (next != current) view.setFrame(next);
  } else {
    Rect b = view.bounds();
    b.size = {w, h};
    view.setBounds(b);
    view.setCenter({x + w / 2, y + h / 2});
  }
}

}  // namespace detail
}  // namespace dk::platform
