// Container screens: NavigationController (a stack with a bar) and TabBarController.
//
// Both own their children (child containment) and show one child's view at a time, forwarding
// appearance to it. Only what the framework's screens use is here: push/pop with appearance
// callbacks, the visible and top controllers, the bar's look and visibility; the tab bar's
// selected controller. Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"

namespace dk::platform {

class Image;

// The navigation bar: a view whose look the screens set.
class NavigationBar : public View {
 public:
  NavigationBar();
  bool isTranslucent() const { return translucent_; }
  void setTranslucent(bool translucent) { translucent_ = translucent; }
  std::optional<Color> barTintColor() const { return barTintColor_; }
  void setBarTintColor(std::optional<Color> color) { barTintColor_ = color; }
  std::shared_ptr<const Image> backgroundImage() const { return backgroundImage_; }
  void setBackgroundImage(std::shared_ptr<const Image> image) { backgroundImage_ = std::move(image); }
  std::shared_ptr<const Image> shadowImage() const { return shadowImage_; }
  void setShadowImage(std::shared_ptr<const Image> image) { shadowImage_ = std::move(image); }
  // Title text attributes as the bar uses them.
  Color titleColor() const { return titleColor_; }
  void setTitleColor(Color color) { titleColor_ = color; }
  const std::string& titleFontName() const { return titleFontName_; }
  double titleFontSize() const { return titleFontSize_; }
  void setTitleFont(std::string name, double size) {
    titleFontName_ = std::move(name);
    titleFontSize_ = size;
  }
  static constexpr double kHeight = 44;

 private:
  bool translucent_ = true;
  std::optional<Color> barTintColor_;
  std::shared_ptr<const Image> backgroundImage_, shadowImage_;
  Color titleColor_ = Color::black();
  std::string titleFontName_;
  double titleFontSize_ = 17;
};

class NavigationController : public ViewController {
 public:
  NavigationController() = default;
  // Call once after construction (a controller cannot take ownership of itself in its constructor).
  static std::shared_ptr<NavigationController> withRoot(const std::shared_ptr<ViewController>& root);

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
  std::shared_ptr<ViewController> topViewController() const { return stack_.empty() ? nullptr : stack_.back(); }
  // The top controller, or what it presents.
  std::shared_ptr<ViewController> visibleViewController() const;
  void pushViewController(const std::shared_ptr<ViewController>& controller, bool animated);
  std::shared_ptr<ViewController> popViewController(bool animated);
  std::vector<std::shared_ptr<ViewController>> popToRootViewController(bool animated);
  void setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers, bool animated);

  std::shared_ptr<NavigationBar> navigationBar();
  bool isNavigationBarHidden() const { return barHidden_; }
  void setNavigationBarHidden(bool hidden, bool animated);

  void loadView() override;
  void viewDidLayoutSubviews() override;

 private:
  void show(const std::shared_ptr<ViewController>& incoming, const std::shared_ptr<ViewController>& outgoing,
            bool animated);
  Rect contentFrame() const;

  std::vector<std::shared_ptr<ViewController>> stack_;
  std::shared_ptr<NavigationBar> bar_;
  bool barHidden_ = false;
};

class TabBarController : public ViewController {
 public:
  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return tabs_; }
  void setViewControllers(const std::vector<std::shared_ptr<ViewController>>& controllers);
  std::shared_ptr<ViewController> selectedViewController() const;
  size_t selectedIndex() const { return selected_; }
  void setSelectedIndex(size_t index);
  void loadView() override;

 private:
  std::vector<std::shared_ptr<ViewController>> tabs_;
  size_t selected_ = 0;
};

}  // namespace dk::platform
