#include "ui/view_animations.h"

#include <random>

#include "foundation/color_codes.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/image_view.h"
#include "platform/ui/main_thread.h"
#include "ui/image_effects.h"

namespace dk {
namespace {

using platform::Button;
using platform::ImageView;
using platform::Rect;
using platform::View;

constexpr const char* kPillKey = "KLAnimationPill";
constexpr const char* kSpinnerKey = "KLAnimationSpinner";

void onMain(std::function<void()> work) {
  if (platform::isMainThread()) {
    work();
  } else {
    platform::DispatchQueue::main()->async(std::move(work));
  }
}

// The platform's 32-bit random number.
long randomTag() {
  static std::mt19937 generator{std::random_device{}()};
  return static_cast<long>(static_cast<std::uint32_t>(generator()));
}

std::shared_ptr<View> makePill(const Rect& frame, const Button& button, long tag) {
  auto pill = std::make_shared<View>(frame);
  pill->setTag(tag);
  pill->setBackgroundColor(lightColor());
  pill->layer().setCornerRadius(button.intrinsicContentSize().height / 2);
  return pill;
}

std::shared_ptr<ImageView> makeSpinner(const Rect& frame, long tag) {
  auto spinner = std::make_shared<ImageView>(frame);
  spinner->setTag(tag);
  spinner->setContentMode(platform::ContentMode::ScaleAspectFit);
  spinner->setAnimationImages(imagesForAnimation(1, 90, "loadingWhite"));
  spinner->setAnimationDuration(3.0);
  return spinner;
}

std::shared_ptr<View> lockedView(const Button& button, const char* key) {
  if (const std::any* value = button.associatedValue(key)) {
    if (auto* weak = std::any_cast<std::weak_ptr<View>>(value)) return weak->lock();
  }
  return nullptr;
}

void remember(Button& button, const std::shared_ptr<View>& pill, const std::shared_ptr<View>& spinner) {
  button.setAssociatedValue(kPillKey, std::weak_ptr<View>(pill));
  button.setAssociatedValue(kSpinnerKey, std::weak_ptr<View>(spinner));
}

}  // namespace

std::shared_ptr<View> animationPillForButton(const Button& button) { return lockedView(button, kPillKey); }
std::shared_ptr<View> animationSpinnerForButton(const Button& button) { return lockedView(button, kSpinnerKey); }

void animateWithDuration(const std::shared_ptr<View>& receiver, float duration, platform::Point center,
                         std::function<void()> animations, AnimationCompletion completion) {
  onMain([=] {
    View::animate(
        duration, 0, 0,
        [&] {
          receiver->setCenter(center);
          if (animations) animations();
        },
        [completion](bool finished) {
          if (completion) completion(finished);
        });
  });
}

void animateWithDuration(const std::shared_ptr<View>& receiver, float duration, float delay, platform::Point center,
                         std::function<void()> animations, AnimationCompletion completion) {
  onMain([=] {
    View::animate(
        duration, delay, platform::kAnimationBeginFromCurrentState,
        [&] {
          receiver->setCenter(center);
          if (animations) animations();
        },
        [completion](bool finished) {
          if (completion) completion(finished);
        });
  });
}

void dismissKeyboardWithAnimationDuration(const std::shared_ptr<View>& receiver, double duration,
                                          std::function<void()> completion) {
  onMain([=] {
    View::animate(duration, [&] { receiver->endEditing(true); }, [completion](bool) {
      // A tenth of a second for the keyboard to go, waited on the run loop (never by blocking it).
      platform::DispatchQueue::main()->after(0.1, [completion] {
        if (completion) completion();
      });
    });
  });
}

void dismissKeyboardWithCompletion(const std::shared_ptr<View>& receiver, std::function<void()> completion) {
  dismissKeyboardWithAnimationDuration(receiver, 0, std::move(completion));
}

void animateButton(const std::shared_ptr<View>& receiver, const std::shared_ptr<Button>& button,
                   std::function<void()> completion) {
  onMain([=] {
    auto superview = button->superview();
    const long t = randomTag();
    button->setTag(t);
    auto pill = makePill(button->frame(), *button, t + 1);
    auto spinner = makeSpinner(button->frame(), t + 2);
    if (superview) {
      superview->addSubview(pill);
      superview->bringSubviewToFront(button.get());
      superview->addSubview(spinner);
      superview->bringSubviewToFront(button.get());
    }
    remember(*button, pill, spinner);
    button->setAlpha(0);
    receiver->setUserInteractionEnabled(false);
    const double side = button->intrinsicContentSize().height;
    View::animate(0.3, [&] {
      const Rect f = pill->frame();
      pill->setFrame(Rect(f.minX(), f.minY(), side, f.height()));
      pill->setCenter({button->center().x, pill->center().y});
    }, [spinner, completion](bool) {
      spinner->startAnimating();
      if (completion) completion();
    });
  });
}

void resetContinueAnimationOnButton(const std::shared_ptr<View>& receiver, const std::shared_ptr<Button>& button,
                                    bool animated) {
  resetContinueAnimationOnButton(receiver, button, animated, nullptr);
}

void resetContinueAnimationOnButton(const std::shared_ptr<View>& receiver, const std::shared_ptr<Button>& button,
                                    bool animated, std::function<void()> completion) {
  onMain([=] {
    auto pill = animationPillForButton(*button);
    auto spinner = animationSpinnerForButton(*button);
    if (spinner) spinner->setAlpha(0);
    if (!animated) {
      button->setAlpha(1);
      receiver->setUserInteractionEnabled(true);
      if (completion) completion();
      return;
    }
    View::animate(0.3, [&] {
      if (pill) pill->setFrame(button->frame());
    }, [=](bool) {
      if (pill) pill->removeFromSuperview();
      if (spinner) spinner->removeFromSuperview();
      button->setAlpha(1);
      receiver->setUserInteractionEnabled(true);
      if (completion) completion();
    });
  });
}

void animateExpandingViewWithButton(const std::shared_ptr<View>& receiver, const std::shared_ptr<Button>& button,
                                    const std::shared_ptr<platform::NavigationController>& navigationController,
                                    std::function<void()> completion) {
  auto superview = button->superview();
  const long t = randomTag();
  button->setTag(t);
  const Rect b = button->frame();
  auto pill = makePill(Rect(b.minX(), b.minY(), b.height(), b.height()), *button, t + 1);
  pill->setCenter(button->center());
  auto spinner = makeSpinner(b, t + 2);
  if (superview) {
    superview->addSubview(pill);
    superview->addSubview(spinner);
  }
  remember(*button, pill, spinner);
  spinner->startAnimating();
  button->setAlpha(0);
  receiver->setUserInteractionEnabled(false);
  const double side = pill->frame().height();
  View::animate(1.0, [&] {
    if (side > 0) {
      pill->setTransform(platform::AffineTransform::scale(receiver->frame().width() * 7 / side,
                                                          receiver->frame().height() * 5 / side));
    }
    if (navigationController) navigationController->setNavigationBarHidden(true, true);
  }, [=](bool) {
    button->setAlpha(1);
    pill->removeFromSuperview();
    spinner->removeFromSuperview();
    if (completion) completion();
  });
}

}  // namespace dk
