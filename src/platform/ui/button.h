// Button: a control with per-state titles, title colours, images and background images (UIButton).
//
// A state without its own value falls back to the normal state's. The button shows the current
// values in three subviews it owns: a background image view (stretched to the bounds), an image
// view and a title label, laid out side by side (image before title), centred in the bounds
// inset by contentEdgeInsets; titleEdgeInsets and imageEdgeInsets then move each one. The
// intrinsic size is the image and title side by side plus the content insets. Template images
// take the image view's tint. The title label gets the state's colour when the state (or that
// colour) changes; a colour given to the label directly stays until then. Main thread only.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/graphics/image.h"
#include "platform/ui/control.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"

namespace dk::platform {

class Button : public Control {
 public:
  enum class Type { Custom, System };

  Button();
  explicit Button(const Rect& frame);
  explicit Button(Type type);

  Type buttonType() const { return type_; }

  void setTitle(std::optional<std::string> title, unsigned state);
  std::optional<std::string> titleForState(unsigned state) const;
  std::string currentTitle() const;
  void setTitleColor(std::optional<Color> color, unsigned state);
  std::optional<Color> titleColorForState(unsigned state) const;
  Color currentTitleColor() const;
  void setImage(ImagePtr image, unsigned state);
  ImagePtr imageForState(unsigned state) const;
  ImagePtr currentImage() const;
  void setBackgroundImage(ImagePtr image, unsigned state);
  ImagePtr backgroundImageForState(unsigned state) const;
  ImagePtr currentBackgroundImage() const;

  const std::shared_ptr<Label>& titleLabel() const { return titleLabel_; }
  const std::shared_ptr<ImageView>& imageView() const { return imageView_; }

  EdgeInsets contentEdgeInsets() const { return contentEdgeInsets_; }
  void setContentEdgeInsets(const EdgeInsets& insets);
  EdgeInsets titleEdgeInsets() const { return titleEdgeInsets_; }
  void setTitleEdgeInsets(const EdgeInsets& insets);
  EdgeInsets imageEdgeInsets() const { return imageEdgeInsets_; }
  void setImageEdgeInsets(const EdgeInsets& insets);

  Size intrinsicContentSize() const override;
  Size sizeThatFits(Size size) const override;
  void layoutSubviews() override;

 protected:
  void stateDidChange() override;
  // Re-reads the current values into the subviews.
  void updateContent();

 private:
  void setUp();
  template <typename T>
  static std::optional<T> lookup(const std::map<unsigned, T>& values, unsigned state);

  Type type_ = Type::Custom;
  std::map<unsigned, std::string> titles_;
  std::map<unsigned, Color> titleColors_;
  std::map<unsigned, ImagePtr> images_;
  std::map<unsigned, ImagePtr> backgroundImages_;
  std::shared_ptr<ImageView> backgroundImageView_;
  std::shared_ptr<ImageView> imageView_;
  std::shared_ptr<Label> titleLabel_;
  EdgeInsets contentEdgeInsets_, titleEdgeInsets_, imageEdgeInsets_;
  // The colour last given to the title label and the state it was for: a colour set on the label
  // directly stays until the state or the state's colour changes.
  std::optional<Color> appliedTitleColor_;
  unsigned appliedState_ = 0;
};

}  // namespace dk::platform
