#include "ui/kl_network_connection_lost_view.h"

#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/notification_center.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/storyboard.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"
#include "ui/image_effects.h"
#include "ui/host_text.h"

namespace dk {

using platform::anchor;
using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutRelation;
using platform::Rect;
using platform::View;

namespace {

constexpr const char* kNibName = "KLNetworkConnectionLostView";


// The nib: image over message over refresh button, centred in a content view of any size.
std::vector<std::shared_ptr<View>> loadNib(const std::shared_ptr<void>& owner) {
  auto content = std::make_shared<View>(Rect(0, 0, 320, 320));
  auto image = std::make_shared<platform::ImageView>(Rect(0, 0, 80, 80));
  image->setContentMode(platform::ContentMode::ScaleAspectFit);
  auto label = std::make_shared<platform::Label>();
  label->setNumberOfLines(0);
  label->setTextAlignment(platform::TextAlignment::Center);
  label->setText(hostText("NoInternetConnection"));
  auto refresh = std::make_shared<KLLightAccentButton>();
  refresh->setTitle(hostText("Refresh"), platform::kControlStateNormal);
  for (const std::shared_ptr<View>& v : {std::static_pointer_cast<View>(image), std::static_pointer_cast<View>(label),
                                         std::static_pointer_cast<View>(refresh)}) {
    v->setTranslatesAutoresizingMaskIntoConstraints(false);
    content->addSubview(v);
  }
  // Every element is placed against the content view alone, so that a change of its size moves
  // them together.
  LayoutConstraint::activate({
      anchor(image, LayoutAttribute::CenterX).equalTo(anchor(content, LayoutAttribute::CenterX)),
      anchor(image, LayoutAttribute::CenterY).equalTo(anchor(content, LayoutAttribute::CenterY), -70),
      anchor(image, LayoutAttribute::Width).equalToConstant(80),
      anchor(image, LayoutAttribute::Height).equalToConstant(80),
      anchor(label, LayoutAttribute::Top).equalTo(anchor(content, LayoutAttribute::CenterY), -14),
      anchor(label, LayoutAttribute::Height).equalToConstant(44),
      anchor(label, LayoutAttribute::Leading).equalTo(anchor(content, LayoutAttribute::Leading), 24),
      anchor(label, LayoutAttribute::Trailing).equalTo(anchor(content, LayoutAttribute::Trailing), -24),
      anchor(refresh, LayoutAttribute::Top).equalTo(anchor(content, LayoutAttribute::CenterY), 46),
      anchor(refresh, LayoutAttribute::CenterX).equalTo(anchor(content, LayoutAttribute::CenterX)),
  });
  if (auto panel = std::static_pointer_cast<KLNetworkConnectionLostView>(owner)) {
    panel->setOutlets(content, image, label, refresh);
    std::weak_ptr<KLNetworkConnectionLostView> weak = panel;
    refresh->addTarget(panel.get(), [weak](platform::Control&) {
      if (auto p = weak.lock()) p->refreshButtonTapped();
    }, platform::kControlEventTouchUpInside);
  }
  return {content};
}

}  // namespace

void registerNetworkConnectionLostViewNib() { platform::Nib::registerNib(kNibName, loadNib); }

std::shared_ptr<KLNetworkConnectionLostView> KLNetworkConnectionLostView::make(const Rect& frame) {
  auto panel = std::make_shared<KLNetworkConnectionLostView>(frame);
  panel->loadContent();
  return panel;
}

KLNetworkConnectionLostView::KLNetworkConnectionLostView(const Rect& frame) : View(frame) {}

void KLNetworkConnectionLostView::setOutlets(std::shared_ptr<View> view, std::shared_ptr<platform::ImageView> image,
                                             std::shared_ptr<platform::Label> label,
                                             std::shared_ptr<KLLightAccentButton> refresh) {
  view_ = view;
  noConnectionImageView_ = image;
  noInternetConnectionLabel_ = label;
  refreshButton_ = refresh;
}

void KLNetworkConnectionLostView::loadContent() {
  if (!platform::Nib::exists(kNibName)) registerNetworkConnectionLostViewNib();
  auto objects = platform::Nib::load(kNibName, std::static_pointer_cast<void>(sharedAs<KLNetworkConnectionLostView>()));
  if (!objects.empty()) {
    view_ = objects.front();
    addSubview(objects.front());
  }
  setupConstraints();
  setUpViews();
}

void KLNetworkConnectionLostView::setupConstraints() {
  auto content = view();
  if (!content) return;
  auto self = sharedAs<View>();
  content->setTranslatesAutoresizingMaskIntoConstraints(false);
  for (auto attribute : {LayoutAttribute::Top, LayoutAttribute::Bottom, LayoutAttribute::Left, LayoutAttribute::Right}) {
    addConstraint(LayoutConstraint::make(content, attribute, LayoutRelation::Equal, self, attribute, 1, 0));
  }
}

void KLNetworkConnectionLostView::setUpViews() {
  if (auto label = noInternetConnectionLabel()) label->setFont(XS_MediumTextFont());
  lightTheme();
}

void KLNetworkConnectionLostView::lightTheme() {
  if (auto content = view()) content->setBackgroundColor(Color::whiteColor());
  if (auto label = noInternetConnectionLabel()) label->setTextColor(darkColor());
  if (auto image = noConnectionImageView()) setImageAndTint(*image, imageWithName(kImageNoConnection), coolGreyColor());
}

void KLNetworkConnectionLostView::darkTheme() {
  if (auto content = view()) content->setBackgroundColor(Color::clear());
  if (auto label = noInternetConnectionLabel()) label->setTextColor(Color::whiteColor());
  if (auto image = noConnectionImageView()) {
    setImageAndTint(*image, imageWithName(kImageNoConnection), Color::whiteColor());
  }
}

void KLNetworkConnectionLostView::localizeStrings() {
  auto label = noInternetConnectionLabel();
  if (!label) return;
  label->setText(noInternetConnectionText_ ? *noInternetConnectionText_ : hostText("NoInternetConnection"));
}

void KLNetworkConnectionLostView::configureViewWithSize(platform::Size size) {
  setFrame(Rect(frame().origin, size));
}

void KLNetworkConnectionLostView::refreshButtonTapped() {
  platform::NotificationCenter::defaultCenter().post(kRefreshButtonTapped);
}

void KLNetworkConnectionLostView::resetContinueButtonWithAnimation(bool, std::function<void()>) {
  // The panel has no continue button: the pause is kept for the host, and nothing is reported.
  platform::runOnMainAfter(1.0, [] {});
}

}  // namespace dk
