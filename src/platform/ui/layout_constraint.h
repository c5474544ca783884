// LayoutConstraint: one relation between attributes of two views (NSLayoutConstraint), kept as
// plain values that screens read and change (`constant`), plus anchors to make them.
//
// There is no general solver. When a view lays out its subviews, every subview that does not
// translate its autoresizing mask is placed from the active constraints that name it, one axis
// at a time: equalities fix edges, centre and size (the other item read in the superview's
// coordinates; a missing size comes from the intrinsic size, else the current one), then each
// inequality clamps the result. That covers pinning, centring and fixed sizes, which is what the
// screens use; conflicting or cyclic systems get an answer, not a diagnosis. Priorities are kept
// but not used. A constraint is owned by the view it was added to (activate() picks the nearest
// common ancestor); it names its items weakly. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace dk::platform {

class View;

enum class LayoutAttribute { NotAnAttribute, Left, Right, Top, Bottom, Leading, Trailing, Width, Height, CenterX, CenterY };
enum class LayoutRelation { LessThanOrEqual = -1, Equal = 0, GreaterThanOrEqual = 1 };

class LayoutConstraint : public std::enable_shared_from_this<LayoutConstraint> {
 public:
  // first.attribute  relation  second.attribute × multiplier + constant
  static std::shared_ptr<LayoutConstraint> make(const std::shared_ptr<View>& first, LayoutAttribute firstAttribute,
                                                LayoutRelation relation, const std::shared_ptr<View>& second,
                                                LayoutAttribute secondAttribute, double multiplier = 1,
                                                double constant = 0);
  LayoutConstraint(const std::shared_ptr<View>& first, LayoutAttribute firstAttribute, LayoutRelation relation,
                   const std::shared_ptr<View>& second, LayoutAttribute secondAttribute, double multiplier,
                   double constant);

  std::shared_ptr<View> firstItem() const { return first_.lock(); }
  std::shared_ptr<View> secondItem() const { return second_.lock(); }
  LayoutAttribute firstAttribute() const { return firstAttribute_; }
  LayoutAttribute secondAttribute() const { return secondAttribute_; }
  LayoutRelation relation() const { return relation_; }
  double multiplier() const { return multiplier_; }

  double constant() const { return constant_; }
  // Changing the constant asks the views it places for a new layout.
  void setConstant(double constant);
  float priority() const { return priority_; }
  void setPriority(float priority) { priority_ = priority; }
  const std::string& identifier() const { return identifier_; }
  void setIdentifier(std::string id) { identifier_ = std::move(id); }

  bool isActive() const { return active_; }
  // Activating adds the constraint to the nearest common ancestor of its items.
  void setActive(bool active);
  static void activate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);
  static void deactivate(const std::vector<std::shared_ptr<LayoutConstraint>>& constraints);

  // Internal: called by View when the constraint is added to or removed from a view.
  void attach(View* owner);
  void detach();
  View* owner() const { return owner_; }

 private:
  void invalidateLayout() const;

  std::weak_ptr<View> first_, second_;
  LayoutAttribute firstAttribute_, secondAttribute_;
  LayoutRelation relation_;
  double multiplier_, constant_;
  float priority_ = 1000;
  std::string identifier_;
  bool active_ = false;
  View* owner_ = nullptr;
};

// A view's attribute, for building constraints: anchor(a, Top).equalTo(anchor(b, Top), 8).
struct LayoutAnchor {
  std::shared_ptr<View> view;
  LayoutAttribute attribute;

  std::shared_ptr<LayoutConstraint> equalTo(const LayoutAnchor& other, double constant = 0) const;
  std::shared_ptr<LayoutConstraint> greaterThanOrEqualTo(const LayoutAnchor& other, double constant = 0) const;
  std::shared_ptr<LayoutConstraint> lessThanOrEqualTo(const LayoutAnchor& other, double constant = 0) const;
  // Dimensions only: attribute = constant.
  std::shared_ptr<LayoutConstraint> equalToConstant(double constant) const;
  std::shared_ptr<LayoutConstraint> greaterThanOrEqualToConstant(double constant) const;
  std::shared_ptr<LayoutConstraint> lessThanOrEqualToConstant(double constant) const;
};

inline LayoutAnchor anchor(const std::shared_ptr<View>& view, LayoutAttribute attribute) { return {view, attribute}; }

namespace detail {
// Places `view` (a subview of `container`) from the constraints that name it; returns its frame.
void resolveConstraints(View& container, View& view);
}  // namespace detail

}  // namespace dk::platform
