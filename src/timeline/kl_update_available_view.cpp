#include "timeline/kl_update_available_view.h"

#include <numbers>

#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/storyboard.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"

namespace dk {

using platform::LayoutAttribute;
using platform::Rect;
using platform::View;

namespace {

constexpr double kSpacing = 8.0;

// The nib: an image and a label side by side in a content view.
std::vector<std::shared_ptr<View>> loadNib(const std::shared_ptr<void>& owner) {
  auto content = std::make_shared<View>(Rect(0, 0, 120, KLUpdateAvailableView::kHeight));
  auto image = std::make_shared<platform::ImageView>(Rect(kSpacing, 10, 20, 20));
  image->setContentMode(platform::ContentMode::ScaleAspectFit);
  auto label = std::make_shared<platform::Label>(Rect(2 * kSpacing + 20, 0, 80, KLUpdateAvailableView::kHeight));
  content->addSubview(image);
  content->addSubview(label);
  if (auto badge = std::static_pointer_cast<KLUpdateAvailableView>(owner)) badge->setOutlets(content, image, label);
  return {content};
}

}  // namespace

void registerUpdateAvailableViewNib() { platform::Nib::registerNib(KLUpdateAvailableView::kNibName, loadNib); }

std::shared_ptr<KLUpdateAvailableView> KLUpdateAvailableView::make(const Rect& frame) {
  auto badge = std::make_shared<KLUpdateAvailableView>(frame);
  badge->loadContent();
  return badge;
}

KLUpdateAvailableView::KLUpdateAvailableView(const Rect& frame) : View(frame) {
  setBackgroundColor(platform::Color::clear());
}

void KLUpdateAvailableView::setOutlets(std::shared_ptr<View> view, std::shared_ptr<platform::ImageView> image,
                                       std::shared_ptr<platform::Label> label) {
  view_ = view;
  imageView_ = image;
  label_ = label;
}

void KLUpdateAvailableView::loadContent() {
  if (!platform::Nib::exists(kNibName)) registerUpdateAvailableViewNib();
  auto objects = platform::Nib::load(kNibName, std::static_pointer_cast<void>(sharedAs<KLUpdateAvailableView>()));
  if (objects.empty()) return;
  auto content = objects.front();
  addSubview(content);
  content->setCenter({bounds().size.width / 2, bounds().size.height / 2});
  // The constraints below place it; its nib frame would keep it where the wider starting badge had its centre.
  content->setTranslatesAutoresizingMaskIntoConstraints(false);
  // Made once: the width follows the text through its constant at every size request.
  auto self = sharedAs<View>();
  widthConstraint_ = platform::LayoutConstraint::make(content, LayoutAttribute::Width, platform::LayoutRelation::Equal,
                                                      nullptr, LayoutAttribute::NotAnAttribute, 1, 0);
  addConstraints({
      platform::LayoutConstraint::make(content, LayoutAttribute::CenterX, platform::LayoutRelation::Equal, self,
                                       LayoutAttribute::CenterX),
      platform::LayoutConstraint::make(content, LayoutAttribute::CenterY, platform::LayoutRelation::Equal, self,
                                       LayoutAttribute::CenterY),
      widthConstraint_,
      platform::LayoutConstraint::make(content, LayoutAttribute::Height, platform::LayoutRelation::Equal, nullptr,
                                       LayoutAttribute::NotAnAttribute, 1, kHeight),
  });
}

platform::Size KLUpdateAvailableView::intrinsicContentSize() const {
  auto content = view();
  auto image = imageView();
  auto text = label();
  if (!content || !image || !text) return {0, kHeight};
  content->setBackgroundColor(lightColor());
  auto& layer = content->layer();
  layer.setShadowColor(platform::Color{0, 0, 0, 1});
  layer.setShadowOffset({1.5, 1.5});
  layer.setShadowOpacity(0.5);
  layer.setShadowRadius(2.0);
  layer.setCornerRadius(20.0);
  image->setImage(platform::Image::named("arrow_back_white"));
  image->setTransform(platform::AffineTransform::rotation(std::numbers::pi / 2));
  auto title = platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(title_, title_);
  text->setTextColor(platform::Color::whiteColor());
  text->setText(title);
  text->setFont(XS_RegularTextFont());
  double width = XS_RegularTextFont().sizeOfText(title).width + image->frame().size.width + 3 * kSpacing;
  if (widthConstraint_->constant() != width) widthConstraint_->setConstant(width);
  return {width, kHeight};
}

}  // namespace dk
