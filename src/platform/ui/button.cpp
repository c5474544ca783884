#include "platform/ui/button.h"

#include <algorithm>

namespace dk::platform {

Button::Button() { setUp(); }

Button::Button(const Rect& frame) : Control(frame) { setUp(); }

Button::Button(Type type) : type_(type) { setUp(); }

void Button::setUp() {
  backgroundImageView_ = std::make_shared<ImageView>();
  imageView_ = std::make_shared<ImageView>();
  titleLabel_ = std::make_shared<Label>();
  titleLabel_->setFont(type_ == Type::System ? Font::system(15, FontWeight::Medium) : Font::system(15));
  titleLabel_->setTextAlignment(TextAlignment::Center);
  backgroundImageView_->setHidden(true);
  imageView_->setHidden(true);
  titleLabel_->setHidden(true);
  addSubview(backgroundImageView_);
  addSubview(imageView_);
  addSubview(titleLabel_);
}

template <typename T>
std::optional<T> Button::lookup(const std::map<unsigned, T>& values, unsigned state) {
  if (auto it = values.find(state); it != values.end()) return it->second;
  if (auto it = values.find(kControlStateNormal); it != values.end()) return it->second;
  return std::nullopt;
}

void Button::setTitle(std::optional<std::string> title, unsigned state) {
  if (title) {
    titles_[state] = *title;
  } else {
    titles_.erase(state);
  }
  updateContent();
}

std::optional<std::string> Button::titleForState(unsigned state) const { return lookup(titles_, state); }

std::string Button::currentTitle() const { return lookup(titles_, this->state()).value_or(""); }

void Button::setTitleColor(std::optional<Color> color, unsigned state) {
  if (color) {
    titleColors_[state] = *color;
  } else {
    titleColors_.erase(state);
  }
  updateContent();
}

std::optional<Color> Button::titleColorForState(unsigned state) const { return lookup(titleColors_, state); }

Color Button::currentTitleColor() const {
  if (auto c = lookup(titleColors_, state())) return *c;
  return type_ == Type::System ? tintColor() : Color::whiteColor();
}

void Button::setImage(ImagePtr image, unsigned state) {
  if (image) {
    images_[state] = std::move(image);
  } else {
    images_.erase(state);
  }
  updateContent();
}

ImagePtr Button::imageForState(unsigned state) const { return lookup(images_, state).value_or(nullptr); }
ImagePtr Button::currentImage() const { return lookup(images_, state()).value_or(nullptr); }

void Button::setBackgroundImage(ImagePtr image, unsigned state) {
  if (image) {
    backgroundImages_[state] = std::move(image);
  } else {
    backgroundImages_.erase(state);
  }
  updateContent();
}

ImagePtr Button::backgroundImageForState(unsigned state) const { return lookup(backgroundImages_, state).value_or(nullptr); }
ImagePtr Button::currentBackgroundImage() const { return lookup(backgroundImages_, state()).value_or(nullptr); }

void Button::setContentEdgeInsets(const EdgeInsets& insets) {
  contentEdgeInsets_ = insets;
  invalidateIntrinsicContentSize();
}

void Button::setTitleEdgeInsets(const EdgeInsets& insets) {
  titleEdgeInsets_ = insets;
  setNeedsLayout();
}

void Button::setImageEdgeInsets(const EdgeInsets& insets) {
  imageEdgeInsets_ = insets;
  setNeedsLayout();
}

void Button::stateDidChange() { updateContent(); }

void Button::updateContent() {
  const std::string title = currentTitle();
  if (titleLabel_->text() != title) titleLabel_->setText(title);
  const Color colour = currentTitleColor();
  if (!appliedTitleColor_ || *appliedTitleColor_ != colour || appliedState_ != state()) {
    titleLabel_->setTextColor(colour);
    appliedTitleColor_ = colour;
    appliedState_ = state();
  }
  titleLabel_->setHidden(title.empty());
  auto image = currentImage();
  if (imageView_->image() != image) imageView_->setImage(image);
  imageView_->setHidden(!image);
  auto background = currentBackgroundImage();
  backgroundImageView_->setImage(background);
  backgroundImageView_->setHidden(!background);
  invalidateIntrinsicContentSize();
  setNeedsLayout();
  setNeedsDisplay();
}

Size Button::intrinsicContentSize() const {
  const Size title = currentTitle().empty() ? Size{0, 0} : titleLabel_->intrinsicContentSize();
  auto image = currentImage();
  const Size img = image ? image->size() : Size{0, 0};
  Size s{img.width + title.width, std::max(img.height, title.height)};
  if (auto bg = currentBackgroundImage(); bg && s.width == 0 && s.height == 0) s = bg->size();
  s.width += contentEdgeInsets_.left + contentEdgeInsets_.right;
  s.height += contentEdgeInsets_.top + contentEdgeInsets_.bottom;
  if (type_ == Type::System) s.height = std::max(s.height, 30.0);
  return s;
}

Size Button::sizeThatFits(Size) const { return intrinsicContentSize(); }

void Button::layoutSubviews() {
  Control::layoutSubviews();
  const Rect b = bounds();
  backgroundImageView_->setFrame(b);
  const Rect content = b.inset(contentEdgeInsets_);
  auto image = currentImage();
  const Size img = image ? image->size() : Size{0, 0};
  Size title = currentTitle().empty() ? Size{0, 0} : titleLabel_->intrinsicContentSize();
  title.width = std::min(title.width, std::max(0.0, content.width() - img.width));
  const double total = img.width + title.width;
  const double x0 = content.midX() - total / 2;
  const Rect imageFrame(x0, content.midY() - img.height / 2, img.width, img.height);
  const Rect titleFrame(x0 + img.width, content.midY() - title.height / 2, title.width, title.height);
  imageView_->setFrame(imageFrame.inset(imageEdgeInsets_));
  titleLabel_->setFrame(titleFrame.inset(titleEdgeInsets_));
}

}  // namespace dk::platform
