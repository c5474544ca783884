#include "ui/kl_pop_up_view.h"

#include <algorithm>
#include <cstdio>

#include "foundation/color_codes.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/notification_center.h"
#include "platform/ui/application.h"
#include "platform/ui/ui_notifications.h"
#include "ui/fonts.h"
#include "ui/image_effects.h"
#include "ui/label_hit_test.h"

namespace dk {

using platform::Button;
using platform::InterfaceOrientation;
using platform::LayoutAttribute;
using platform::LayoutConstraint;
using platform::LayoutRelation;
using platform::Rect;
using platform::View;

namespace {

std::shared_ptr<platform::Label> makeCardLabel(const std::string& text, const platform::Font& font,
                                               const char* identifier) {
  auto label = std::make_shared<platform::Label>();
  label->setText(text);
  label->setNumberOfLines(0);
  label->setTextAlignment(platform::TextAlignment::Center);
  label->setLineBreakMode(platform::LineBreakMode::WordWrap);
  label->setTextColor(Color::black());
  label->setFont(font);
  label->setAccessibilityIdentifier(identifier);
  return label;
}

void addEqual(View& owner, const std::shared_ptr<View>& view, LayoutAttribute attribute, const std::shared_ptr<View>& other,
              LayoutAttribute otherAttribute, double constant) {
  owner.addConstraint(LayoutConstraint::make(view, attribute, LayoutRelation::Equal, other, otherAttribute, 1, constant));
}

}  // namespace

std::shared_ptr<KLPopUpView> KLPopUpView::make(std::optional<std::string> title, std::optional<std::string> infoText,
                                               std::optional<std::string> image,
                                               std::optional<std::string> linkButtonText, bool hasTextField,
                                               bool hasDoNotShowAgain, bool isFirstButtonCoolGrey,
                                               bool isSecondButtonCoolGrey, int32_t animatableButtons,
                                               std::vector<std::string> buttonsTitles) {
  auto card = std::make_shared<KLPopUpView>();
  card->isFirstButtonCoolGrey_ = isFirstButtonCoolGrey;
  card->isSecondButtonCoolGrey_ = isSecondButtonCoolGrey;
  card->animatableButtons_ = animatableButtons;
  card->build(std::move(title), std::move(infoText), std::move(image), std::move(linkButtonText), hasDoNotShowAgain,
              std::move(buttonsTitles));
  std::weak_ptr<KLPopUpView> weak = card;
  platform::NotificationCenter::defaultCenter().addObserver(
      std::static_pointer_cast<const void>(card), platform::kUIDeviceOrientationDidChangeNotification,
      [weak](const platform::Notification&) {
        if (auto c = weak.lock()) c->handle_UIDeviceOrientationDidChangeNotification();
      });
  return card;
}

KLPopUpView::KLPopUpView() = default;

KLPopUpView::~KLPopUpView() {
  platform::NotificationCenter::defaultCenter().removeObserver(static_cast<const void*>(this));
}

void KLPopUpView::build(std::optional<std::string> title, std::optional<std::string> infoText,
                        std::optional<std::string> image, std::optional<std::string> linkButtonText,
                        bool hasDoNotShowAgain, std::vector<std::string> buttonsTitles) {
  layer().setCornerRadius(kMainViewCornerRadius);
  setClipsToBounds(true);
  setBackgroundColor(Color::whiteColor());
  setHeight(0);

  std::weak_ptr<KLPopUpView> weak = sharedAs<KLPopUpView>();
  for (size_t i = 0; i < buttonsTitles.size(); ++i) {
    const bool coolGrey = i == 0 ? isFirstButtonCoolGrey_ : isSecondButtonCoolGrey_;
    std::shared_ptr<KLLightAccentButton> button =
        coolGrey ? std::make_shared<KLCoolGreyAccentButton>() : std::make_shared<KLLightAccentButton>();
    button->setTitle(buttonsTitles[i], platform::kControlStateNormal);
    button->addTarget(this, [weak](platform::Control& sender) {
      if (auto card = weak.lock()) card->actionOnButton(static_cast<Button&>(sender));
    }, platform::kControlEventTouchUpInside);
    char identifier[48];
    std::snprintf(identifier, sizeof identifier, "pop_up_view_button_%ld", static_cast<long>(i));
    button->setAccessibilityIdentifier(identifier);
    button->setIsAccessibilityElement(true);
    buttons_.push_back(button);
  }
  if (title) titleLabel_ = makeCardLabel(*title, S_RegularTextFont(), "pop_up_view_title_label");
  if (infoText) infoLabel_ = makeCardLabel(*infoText, XS_RegularTextFont(), "pop_up_view_info_label");
  if (image) {
    imageView_ = std::make_shared<platform::ImageView>(imageWithName(*image));
    imageView_->setContentMode(platform::ContentMode::ScaleAspectFit);
  }
  if (linkButtonText) {
    linkButton_ = std::make_shared<Button>();
    linkButton_->titleLabel()->setFont(XS_MediumTextFont());
    for (unsigned state : {platform::kControlStateNormal, platform::kControlStateHighlighted}) {
      linkButton_->setTitleColor(Color::white(0.5), state);
      linkButton_->setTitle(*linkButtonText, state);
    }
    linkButton_->addTarget(this, [weak](platform::Control&) {
      if (auto card = weak.lock()) card->actionOnLinkButton();
    }, platform::kControlEventTouchUpInside);
  }
  dontShowAgain_ = hasDoNotShowAgain;
  isChecked_ = false;
  currentOrientation_ = platform::Application::shared().statusBarOrientation();
}

std::optional<std::string> KLPopUpView::title() const {
  if (!titleLabel_) return std::nullopt;
  return titleLabel_->text();
}

void KLPopUpView::setAttributedInfoText(const platform::AttributedString& text) {
  attributedInfoText_ = text;
  if (infoLabel_) infoLabel_->setAttributedText(text);
}

// ---- the don't-show-again row ----

std::shared_ptr<platform::Label> KLPopUpView::dontShowAgainLabel() {
  if (!dontShowAgainLabel_) {
    dontShowAgainLabel_ = std::make_shared<platform::Label>();
    dontShowAgainLabel_->setTextColor(Color::black());
    dontShowAgainLabel_->setText(platform::Bundle::main()->localizedString("DontShowAgain", "DontShowAgain"));
    dontShowAgainLabel_->setFont(XS_RegularTextFont());
  }
  return dontShowAgainLabel_;
}

std::shared_ptr<platform::ImageView> KLPopUpView::checkBox() {
  if (!checkBox_) checkBox_ = std::make_shared<platform::ImageView>(imageWithName(kImageBoxUnchecked));
  return checkBox_;
}

std::shared_ptr<View> KLPopUpView::dontShowView() {
  if (!dontShowView_) {
    auto row = std::make_shared<View>();
    auto box = checkBox();
    auto label = dontShowAgainLabel();
    const platform::Size boxSize = box->intrinsicContentSize();
    row->setFrame(Rect(0, 0, boxSize.width + 24 + label->intrinsicContentSize().width, 48));
    for (const std::shared_ptr<View>& v : {std::static_pointer_cast<View>(box), std::static_pointer_cast<View>(label)}) {
      v->setTranslatesAutoresizingMaskIntoConstraints(false);
      row->addSubview(v);
    }
    addEqual(*row, box, LayoutAttribute::Leading, row, LayoutAttribute::Leading, 0);
    addEqual(*row, box, LayoutAttribute::CenterY, row, LayoutAttribute::CenterY, 0);
    addEqual(*row, label, LayoutAttribute::CenterY, row, LayoutAttribute::CenterY, 0);
    // 8 points after the box; placed against the row, as the layout reads each constraint both ways.
    addEqual(*row, label, LayoutAttribute::Leading, row, LayoutAttribute::Leading, boxSize.width + 8);
    row->addConstraint(LayoutConstraint::make(label, LayoutAttribute::Trailing, LayoutRelation::GreaterThanOrEqual, row,
                                              LayoutAttribute::Trailing, 1, 0));
    std::weak_ptr<KLPopUpView> weak = sharedAs<KLPopUpView>();
    row->addGestureRecognizer(std::make_shared<platform::TapGestureRecognizer>([weak](platform::GestureRecognizer&) {
      if (auto card = weak.lock()) card->toggleDontShowAgain();
    }));
    dontShowView_ = row;
  }
  return dontShowView_;
}

void KLPopUpView::toggleDontShowAgain() {
  isChecked_ = !isChecked_;
  checkBox()->setImage(imageWithName(isChecked_ ? kImageBoxChecked : kImageBoxUnchecked));
}

// ---- layout ----

void KLPopUpView::addViews() {
  const double cardWidth = bounds().width();
  if (imageView_) {
    addSubview(imageView_);
    const platform::Size size = imageView_->image() ? imageView_->image()->size() : platform::Size{};
    addConstraintForView(imageView_, size.width, size.height);
  }
  if (titleLabel_) {
    addSubview(titleLabel_);
    titleLabel_->sizeToFit();
    // Room for two lines: a title that does not fit on one wraps.
    addConstraintForView(titleLabel_, titleLabel_->frame().width(), 2 * titleLabel_->frame().height());
  }
  if (infoLabel_) {
    addSubview(infoLabel_);
    infoLabel_->setFrame(Rect(0, 0, cardWidth - 48, 0));
    infoLabel_->sizeToFit();
    addConstraintForView(infoLabel_, infoLabel_->frame().width(), infoLabel_->frame().height());
  }
  for (const auto& button : buttons_) {
    addSubview(button);
    const platform::Size size = button->intrinsicContentSize();
    button->layer().setCornerRadius(size.height / 2);
    addConstraintForView(button, size.width, size.height);
  }
  if (dontShowAgain_) {
    auto row = dontShowView();
    addSubview(row);
    addConstraintForView(row, checkBox()->intrinsicContentSize().width + 24 + dontShowAgainLabel()->intrinsicContentSize().width, 48);
  }
  if (linkButton_) {
    addSubview(linkButton_);
    const platform::Size text = platform::Font::named("Roboto-Regular", 13).sizeOfText(linkButton_->currentTitle());
    addConstraintForView(linkButton_, text.width, text.height);
  }
}

Rect KLPopUpView::calculateFrame() const {
  Rect f = frame();
  f.size.height = height_ + 30 + (buttons_.empty() ? 30 : 0);
  return f;
}

size_t KLPopUpView::indexOfButton(const Button& button) const {
  for (size_t i = 0; i < buttons_.size(); ++i) {
    if (buttons_[i].get() == &button) return i;
  }
  return buttons_.size();
}

void KLPopUpView::addConstraintForView(const std::shared_ptr<View>& view, float width, float height) {
  auto self = sharedAs<View>();
  const double running = height_;
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  auto top = LayoutConstraint::make(view, LayoutAttribute::Top, LayoutRelation::Equal, self, LayoutAttribute::Top, 1,
                                    running + 30);
  addConstraint(top);
  topConstraints_[view.get()] = top;
  addConstraint(LayoutConstraint::make(view, LayoutAttribute::Height, LayoutRelation::Equal, nullptr,
                                       LayoutAttribute::NotAnAttribute, 1, height));
  const bool isLabel = view == titleLabel_ || view == infoLabel_;
  if (isLabel) {
    // With the centring below these pin the label 24 points from either edge.
    addConstraint(LayoutConstraint::make(view, LayoutAttribute::Leading, LayoutRelation::GreaterThanOrEqual, self,
                                         LayoutAttribute::Leading, 1, 24));
    addConstraint(LayoutConstraint::make(view, LayoutAttribute::Trailing, LayoutRelation::GreaterThanOrEqual, self,
                                         LayoutAttribute::Trailing, 1, -24));
  } else {
    addConstraint(LayoutConstraint::make(view, LayoutAttribute::Width, LayoutRelation::GreaterThanOrEqual, nullptr,
                                         LayoutAttribute::NotAnAttribute, 1, width));
  }
  if (auto button = std::dynamic_pointer_cast<KLLightAccentButton>(view)) {
    if (buttons_.size() < 2) {
      addEqual(*this, view, LayoutAttribute::CenterX, self, LayoutAttribute::CenterX, 0);
      setHeight(height + 30);
    } else if (indexOfButton(*button) == 1) {
      // Two buttons share one row, each `m` from its edge of the card.
      const float m = std::min<float>((bounds().width() - 2 * width - 30) * 0.5f, 60.f);
      // The first button's leading edge is fixed, not only bounded: an upper bound alone lets it
      // sit on the card's rounded edge.
      addEqual(*this, buttons_[0], LayoutAttribute::Leading, self, LayoutAttribute::Leading, m);
      addConstraint(LayoutConstraint::make(view, LayoutAttribute::Trailing, LayoutRelation::GreaterThanOrEqual, self,
                                           LayoutAttribute::Trailing, 1, -m));
      setHeight(height + 30);
    }
  } else {
    addEqual(*this, view, LayoutAttribute::CenterX, self, LayoutAttribute::CenterX, 0);
    setHeight(height + ((view == titleLabel_ || view == imageView_) ? 15 : 30));
  }
}

// ---- orientation ----

InterfaceOrientation KLPopUpView::getInterfaceOrientationForDeviceOrientation(platform::DeviceOrientation orientation) {
  switch (orientation) {
    case platform::DeviceOrientation::Portrait:
      position_ = KLPopUpPositionPortrait;
      return InterfaceOrientation::Portrait;
    case platform::DeviceOrientation::LandscapeLeft:
      position_ = KLPopUpPositionLandscapeLeft;
      return InterfaceOrientation::LandscapeLeft;
    case platform::DeviceOrientation::LandscapeRight:
      position_ = KLPopUpPositionLandscapeRight;
      return InterfaceOrientation::LandscapeRight;
    default:
      return InterfaceOrientation::Portrait;
  }
}

float KLPopUpView::rotationAngleForOrientation(InterfaceOrientation orientation) const {
  constexpr float kQuarter = 1.5707964f, kThreeQuarters = 4.712389f;
  const InterfaceOrientation c = currentOrientation_;
  if (c == orientation) return 0;
  switch (c) {
    case InterfaceOrientation::Portrait:
    case InterfaceOrientation::PortraitUpsideDown:
      if (orientation == InterfaceOrientation::LandscapeLeft) return kQuarter;
      if (orientation == InterfaceOrientation::LandscapeRight) return kThreeQuarters;
      return 0;
    case InterfaceOrientation::LandscapeLeft:
      return orientation == InterfaceOrientation::LandscapeRight ? kThreeQuarters : 0;
    case InterfaceOrientation::LandscapeRight:
      return orientation == InterfaceOrientation::LandscapeLeft ? kQuarter : 0;
    default:
      return 0;
  }
}

void KLPopUpView::adjustViewsForOrientation(InterfaceOrientation orientation, std::function<void()> completion) {
  auto delegate = confirmationDelegate();
  if (delegate && delegate->respondsToSelector("orientationDidChanged")) delegate->orientationDidChanged();
  std::weak_ptr<KLPopUpView> weak = sharedAs<KLPopUpView>();
  View::animate(0.4, [this, orientation] {
    const float angle = rotationAngleForOrientation(orientation);
    currentOrientation_ = orientation;
    setTransform(platform::AffineTransform::rotation(angle));
  }, [weak, completion = std::move(completion)](bool) {
    if (auto card = weak.lock()) {
      card->setTranslatesAutoresizingMaskIntoConstraints(true);
      if (card->titleLabel_) card->titleLabel_->setTranslatesAutoresizingMaskIntoConstraints(true);
      if (card->infoLabel_) card->infoLabel_->setTranslatesAutoresizingMaskIntoConstraints(true);
    }
    if (completion) completion();
  });
}

void KLPopUpView::handle_UIDeviceOrientationDidChangeNotification() {
  if (!canBeRotated_) return;
  const auto device = platform::Device::current().orientation();
  const InterfaceOrientation mapped = getInterfaceOrientationForDeviceOrientation(device);
  if (currentOrientation_ == mapped) return;
  if (device == platform::DeviceOrientation::PortraitUpsideDown || device == platform::DeviceOrientation::FaceUp ||
      device == platform::DeviceOrientation::FaceDown) {
    return;
  }
  adjustViewsForOrientation(mapped, nullptr);
}

// ---- offered to callers ----

void KLPopUpView::attributedInfoTextTappableForTexts(std::vector<std::string> texts) {
  infoTexts_ = std::move(texts);
  if (!infoLabel_) return;
  infoLabel_->setUserInteractionEnabled(true);
  if (infoTap_) return;
  std::weak_ptr<KLPopUpView> weak = sharedAs<KLPopUpView>();
  infoTap_ = std::make_shared<platform::TapGestureRecognizer>([weak](platform::GestureRecognizer& g) {
    auto card = weak.lock();
    if (card && card->infoLabel_) card->handleInfoTextTap(g.locationInView(card->infoLabel_.get()));
  });
  infoLabel_->addGestureRecognizer(infoTap_);
}

void KLPopUpView::handleInfoTextTap(platform::Point pointInLabel) {
  if (!infoLabel_) return;
  const LabelTextDescription description{infoLabel_->text(), infoLabel_->textAttributes(), infoLabel_->bounds().size};
  auto delegate = confirmationDelegate();
  const auto texts = infoTexts_;  // a delegate may register other texts while being told
  for (const auto& text : texts) {
    if (!isPointInLabelForSubstringInString(description, text, infoLabel_->text(), pointInLabel)) continue;
    if (delegate && delegate->respondsToSelector("attributedTextTapped:")) delegate->attributedTextTapped(text);
  }
}

void KLPopUpView::enableButtonWithIndex(unsigned long index) {
  if (auto button = getViewWithIndex<KLLightAccentButton>(index)) button->setEnabled(true);
}

void KLPopUpView::disableButtonWithIndex(unsigned long index) {
  if (auto button = getViewWithIndex<KLLightAccentButton>(index)) button->setEnabled(false);
}

void KLPopUpView::displaceViewsFromIndex(unsigned long index, float displacement) {
  const auto views = subviews();
  for (size_t i = index; i < views.size(); ++i) {
    auto found = topConstraints_.find(views[i].get());
    if (found != topConstraints_.end() && !views[i]->translatesAutoresizingMaskIntoConstraints()) {
      found->second->setConstant(found->second->constant() + displacement);
    } else {
      Rect f = views[i]->frame();
      f.origin.y += displacement;
      views[i]->setFrame(f);
    }
  }
}

// ---- taps ----

void KLPopUpView::actionOnButton(Button& button) {
  auto keep = sharedAs<KLPopUpView>();
  titleForSelectedButton_ = button.currentTitle();
  const size_t index = indexOfButton(button);
  if (index >= buttons_.size()) return;
  auto delegate = confirmationDelegate();
  const bool first = index == 0;
  const bool animatable = first ? (animatableButtons_ == KLPopUpAnimatableButtonsFirst ||
                                   animatableButtons_ == KLPopUpAnimatableButtonsAll)
                                : (animatableButtons_ == KLPopUpAnimatableButtonsAllButFirst ||
                                   animatableButtons_ == KLPopUpAnimatableButtonsAll);
  const char* withCompletion = first ? "firstButtonTappedWithCompletion:" : "secondButtonTappedWithCompletion:";
  // A spinner is only started when someone will stop it: without the completion variant the card
  // would stay loading, undismissable, over the screen.
  if (animatable && delegate && delegate->respondsToSelector(withCompletion)) {
    animateButton(buttons_[index], first);
  } else if (delegate && delegate->respondsToSelector(first ? "firstButtonTapped" : "secondButtonTapped")) {
    canBeDismissed_ = true;
    if (first) {
      delegate->firstButtonTapped();
    } else {
      delegate->secondButtonTapped();
    }
  }
  if (isChecked_ && delegate && delegate->respondsToSelector("dontShowPopUpAgain")) {
    canBeDismissed_ = true;
    delegate->dontShowPopUpAgain();
  }
}

void KLPopUpView::animateButton(const std::shared_ptr<Button>& button, bool first) {
  canBeDismissed_ = false;
  const double pillHeight = button->intrinsicContentSize().height;
  auto pill = std::make_shared<View>(button->frame());
  pill->setBackgroundColor(lightColor());
  pill->layer().setCornerRadius(pillHeight / 2);
  addSubview(pill);
  bringSubviewToFront(button.get());
  auto spinner = std::make_shared<platform::ImageView>(button->frame());
  spinner->setImage(imageWithName(kImageFirstLoadingWhite));
  spinner->setContentMode(platform::ContentMode::ScaleAspectFit);
  addSubview(spinner);
  button->setAlpha(0);
  setUserInteractionEnabled(false);
  View::animate(0.2, [pill, button, pillHeight] {
    Rect f = pill->frame();
    pill->setFrame(Rect(f.minX(), f.minY(), pillHeight, f.height()));
    pill->setCenter({button->center().x, pill->center().y});
  });
  spinner->setAnimationImages(imagesForAnimation(1, 90, "loadingWhite"));
  spinner->setAnimationDuration(3.0);
  spinner->startAnimating();

  std::weak_ptr<KLPopUpView> weakCard = sharedAs<KLPopUpView>();
  std::weak_ptr<View> weakPill = pill, weakSpinner = spinner;
  std::weak_ptr<Button> weakButton = button;
  auto completion = [weakCard, weakPill, weakSpinner, weakButton] {
    platform::runOnMain([weakCard, weakPill, weakSpinner, weakButton] {
      if (auto s = weakSpinner.lock()) s->removeFromSuperview();
      if (auto p = weakPill.lock()) p->removeFromSuperview();
      if (auto b = weakButton.lock()) b->setAlpha(1);
      if (auto card = weakCard.lock()) {
        card->setUserInteractionEnabled(true);
        card->canBeDismissed_ = true;
      }
    });
  };
  auto delegate = confirmationDelegate();
  if (!delegate) return;
  if (first) {
    delegate->firstButtonTappedWithCompletion(completion);
  } else {
    delegate->secondButtonTappedWithCompletion(completion);
  }
}

void KLPopUpView::actionOnLinkButton() {
  auto delegate = confirmationDelegate();
  if (!delegate || !delegate->respondsToSelector("linkButtonTapped")) return;
  canBeDismissed_ = true;
  delegate->linkButtonTapped();
}

}  // namespace dk
