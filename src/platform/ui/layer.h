// Layer: the geometry and look of one rectangle in the render tree (CALayer).
//
// Every View is backed by one layer that holds its geometry (bounds, position, anchor point,
// transform) and look (background, opacity, corner radius with masked corners, border, shadow);
// a layer can also stand alone, added with addSublayer() to a view's layer. Sublayers are owned
// by their superlayer; the superlayer link is weak. A view's subviews are NOT listed among its
// layer's sublayers: they are the view's, and render above the layer's own sublayers.
// Named values (setValue/valueForKey) give a layer key-value storage for callers.
// Layers are main-thread objects, like views.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/geometry.h"

namespace dk::platform {

class View;
class Layer;
class Image;
class GraphicsContext;

// Which corners a corner radius rounds (CACornerMask).
enum CornerMask : unsigned {
  kCornerMinXMinY = 1,  // top left
  kCornerMaxXMinY = 2,  // top right
  kCornerMinXMaxY = 4,  // bottom left
  kCornerMaxXMaxY = 8,  // bottom right
  kCornerAll = 15,
};

// One running animation attached to a layer (CABasicAnimation, or one property of a view
// animation). Headless: the model value is set by whoever animates, so an animation is a span of
// time on the run-loop clock that ends (finished) or is removed early (not finished).
class LayerAnimation {
 public:
  std::string keyPath;
  std::any fromValue, toValue;
  double duration = 0.25;
  double delay = 0;        // seconds before it begins (beginTime relative to now)
  double repeatCount = 1;  // whole cycles; 0 counts as 1
  bool removedOnCompletion = true;
  // Called once: true when it ran to its end, false when it was removed before.
  std::function<void(bool finished)> onStop;

  double totalDuration() const { return delay + duration * (repeatCount > 0 ? repeatCount : 1); }
};

class Layer : public std::enable_shared_from_this<Layer> {
 public:
  Layer();
  virtual ~Layer();
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  // Geometry. The frame is derived: the bounds size transformed about the anchor point and
  // placed at the position; a transformed layer's frame is the bounding box of the result.
  Rect bounds() const { return bounds_; }
  void setBounds(const Rect& bounds);
  Point position() const { return position_; }
  void setPosition(Point position);
  Point anchorPoint() const { return anchorPoint_; }
  void setAnchorPoint(Point anchor);
  AffineTransform affineTransform() const { return transform_; }
  void setAffineTransform(const AffineTransform& transform);
  Rect frame() const;
  void setFrame(const Rect& frame);

  // Look.
  std::optional<Color> backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(std::optional<Color> color) { backgroundColor_ = color; changed(); }
  double opacity() const { return opacity_; }
  void setOpacity(double opacity);
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden; changed(); }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool masks) { masksToBounds_ = masks; changed(); }
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double radius) { cornerRadius_ = radius; changed(); }
  unsigned maskedCorners() const { return maskedCorners_; }
  void setMaskedCorners(unsigned corners) { maskedCorners_ = corners & kCornerAll; changed(); }
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double width) { borderWidth_ = width; changed(); }
  Color borderColor() const { return borderColor_; }
  void setBorderColor(Color color) { borderColor_ = color; changed(); }
  Color shadowColor() const { return shadowColor_; }
  void setShadowColor(Color color) { shadowColor_ = color; changed(); }
  double shadowOpacity() const { return shadowOpacity_; }
  void setShadowOpacity(double opacity) { shadowOpacity_ = opacity; changed(); }
  Size shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(Size offset) { shadowOffset_ = offset; changed(); }
  double shadowRadius() const { return shadowRadius_; }
  void setShadowRadius(double radius) { shadowRadius_ = radius; changed(); }
  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  // The picture the layer shows (a decoded video frame, ...), drawn into its bounds.
  const std::shared_ptr<const Image>& contents() const { return contents_; }
  void setContents(std::shared_ptr<const Image> contents) { contents_ = std::move(contents); changed(); }

  // Sublayers, drawn in order above the layer's own content.
  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
  std::shared_ptr<Layer> superlayer() const { return superlayer_.lock(); }
  void addSublayer(const std::shared_ptr<Layer>& layer);
  void insertSublayer(const std::shared_ptr<Layer>& layer, size_t index);
  void removeFromSuperlayer();
  void removeAllSublayers();

  // Key-value storage for callers (a layer "stored under a name").
  void setValue(const std::string& key, std::any value);
  std::any valueForKey(const std::string& key) const;
  // The stored value as T, or nullptr-like empty when absent or of another type.
  template <typename T>
  std::optional<T> valueAs(const std::string& key) const {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    if (auto p = std::any_cast<T>(&it->second)) return *p;
    return std::nullopt;
  }

  // Animations by key. Adding under a used key removes (not finished) the older one.
  void addAnimation(std::shared_ptr<LayerAnimation> animation, const std::string& key);
  std::shared_ptr<LayerAnimation> animationForKey(const std::string& key) const;
  std::vector<std::string> animationKeys() const;
  void removeAnimationForKey(const std::string& key);
  void removeAllAnimations();

  // The view this layer backs, or nullptr for a standalone layer.
  View* delegateView() const { return view_; }
  // Point conversion between layers of one tree (nullptr: the root layer's space).
  Point convertPointToSuperlayer(Point p) const;
  Point convertPointFromSuperlayer(Point p) const;

  // Incremented at every visible change; renderers and tests read it to see that something moved.
  unsigned long changeCount() const { return changeCount_; }

  // Draws what this kind of layer shows itself (a shape, a gradient), in bounds coordinates,
  // above the background and the contents image. The base draws nothing.
  virtual void drawContents(GraphicsContext& context) const {}

 protected:
  void changed() { ++changeCount_; }

 private:
  friend class View;
  void finishAnimation(const std::string& key, const std::shared_ptr<LayerAnimation>& animation);

  Rect bounds_;
  Point position_;
  Point anchorPoint_{0.5, 0.5};
  AffineTransform transform_;
  std::optional<Color> backgroundColor_;
  double opacity_ = 1;
  bool hidden_ = false;
  bool masksToBounds_ = false;
  double cornerRadius_ = 0;
  unsigned maskedCorners_ = kCornerAll;
  double borderWidth_ = 0;
  Color borderColor_ = Color::black();
  Color shadowColor_ = Color::black();
  double shadowOpacity_ = 0;
  Size shadowOffset_{0, -3};
  double shadowRadius_ = 3;
  std::string name_;
  std::shared_ptr<const Image> contents_;
  std::vector<std::shared_ptr<Layer>> sublayers_;
  std::weak_ptr<Layer> superlayer_;
  std::map<std::string, std::any> values_;
  std::map<std::string, std::shared_ptr<LayerAnimation>> animations_;
  View* view_ = nullptr;  // set and cleared by the owning view
  unsigned long changeCount_ = 0;
};

// Layer transactions (CATransaction): nested begin/commit with an animation duration, a switch
// for implicit actions and a completion that runs once every animation added inside has ended.
class Transaction {
 public:
  static void begin();
  static void commit();
  static void setAnimationDuration(double seconds);
  static double animationDuration();
  static void setDisableActions(bool disable);
  static bool disableActions();
  static void setCompletionBlock(std::function<void()> completion);
};

}  // namespace dk::platform
