// KLPopUpView: the pop-up card of the framework's screens: a white card with rounded corners that
// shows an optional image, title, info text, one or two buttons, a don't-show-again row and a
// link button, and reports taps to its delegate (KLPopUpViewDelegate). KLPopUpOptions select the
// features a base screen gives a card (kl_view_controller.h shows, slides, rotates and hides it).
//
// The presenter sets the card's start frame, then calls addViews() and sets the frame to
// calculateFrame(): the elements are stacked by constraints from the top, and `height` runs down
// the stack. An animatable button turns into a spinner and waits for the delegate to call the
// completion it is given; meanwhile the card cannot be dismissed. The card follows the device's
// orientation while `canBeRotated`. Made with make(), held by shared_ptr (the presenting screen
// and the key window); the delegate is held weakly. Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/object.h"
#include "platform/ui/attributed_string.h"
#include "platform/ui/button.h"
#include "platform/ui/device.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/layout_constraint.h"
#include "platform/ui/view.h"
#include "platform/ui/view_controller.h"
#include "ui/kl_bordered_button.h"

namespace dk {

enum KLPopUpOptions : unsigned long {
  KLPopUpOptionTextField = 1,
  KLPopUpOptionRotatable = 2,
  KLPopUpOptionDontShowAgain = 4,
  KLPopUpOptionFromTop = 8,
  KLPopUpOptionNoSwipeDismiss = 16,
  KLPopUpOptionNarrow = 32,
  KLPopUpOptionAnimateBothButtons = 128,
  KLPopUpOptionAnimateFirstButton = 256,
  KLPopUpOptionAnimateSecondButton = 512,
  KLPopUpOptionDetectionSettingsLink = 1024,
  KLPopUpOptionNotDismissable = 2048,
  KLPopUpOptionFirstButtonCoolGrey = 4096,
  KLPopUpOptionSecondButtonCoolGrey = 8192,
};

// Which buttons show a spinner when tapped and report through the ...WithCompletion operations.
enum KLPopUpAnimatableButtons : int32_t {
  KLPopUpAnimatableButtonsNone = 0,
  KLPopUpAnimatableButtonsAll = 1,
  KLPopUpAnimatableButtonsFirst = 2,
  KLPopUpAnimatableButtonsAllButFirst = 3,
};

// The side a rotated card enters and leaves from.
enum KLPopUpPosition : int32_t {
  KLPopUpPositionPortrait = 0,
  KLPopUpPositionLandscapeLeft = 1,
  KLPopUpPositionLandscapeRight = 2,
};

inline constexpr double kMainViewCornerRadius = 16;
inline constexpr const char* kImageBoxUnchecked = "box_uncheck";
inline constexpr const char* kImageBoxChecked = "box_check";
inline constexpr const char* kImageFirstLoadingWhite = "loadingWhite1";

// Every operation optional; callers ask respondsToSelector first.
class KLPopUpViewDelegate : public virtual platform::Protocol {
 public:
  virtual void keyboardDoneButtonTapped(const std::shared_ptr<void>& sender) {}
  virtual void firstButtonTappedWithTextFields(const std::shared_ptr<void>& textFields) {}
  virtual void firstButtonTapped() {}
  virtual void firstButtonTappedWithCompletion(std::function<void()> completion) {}
  virtual void secondButtonTapped() {}
  virtual void secondButtonTappedWithCompletion(std::function<void()> completion) {}
  virtual void attributedTextTapped(const std::string& text) {}
  virtual void dontShowPopUpAgain() {}
  virtual void linkButtonTapped() {}
  virtual void orientationDidChanged() {}
  virtual void popupIsDeallocating() {}
};

class KLPopUpView : public platform::View {
 public:
  // initWithTitle:infoText:image:linkButtonText:hasTextField:hasDoNotShowAgain:isFirstButtonCoolGrey:
  // isSecondButtonCoolGrey:animatableButtons:buttonsTitles: (hasTextField is not used).
  static std::shared_ptr<KLPopUpView> make(std::optional<std::string> title, std::optional<std::string> infoText,
                                           std::optional<std::string> image, std::optional<std::string> linkButtonText,
                                           bool hasTextField, bool hasDoNotShowAgain, bool isFirstButtonCoolGrey,
                                           bool isSecondButtonCoolGrey, int32_t animatableButtons,
                                           std::vector<std::string> buttonsTitles);
  KLPopUpView();
  ~KLPopUpView() override;

  // ---- elements ----
  const std::shared_ptr<platform::Label>& titleLabel() const { return titleLabel_; }
  const std::shared_ptr<platform::Label>& infoLabel() const { return infoLabel_; }
  const std::shared_ptr<platform::ImageView>& imageView() const { return imageView_; }
  const std::shared_ptr<platform::Button>& linkButton() const { return linkButton_; }
  const std::vector<std::shared_ptr<KLLightAccentButton>>& buttons() const { return buttons_; }
  // Built on first use.
  std::shared_ptr<platform::Label> dontShowAgainLabel();
  std::shared_ptr<platform::View> dontShowView();
  std::shared_ptr<platform::ImageView> checkBox();

  // ---- state ----
  // The running content height; setHeight ADDS its argument.
  float height() const { return height_; }
  void setHeight(float delta) { height_ += delta; }
  bool dontShowAgain() const { return dontShowAgain_; }
  bool isChecked() const { return isChecked_; }
  bool isFirstButtonCoolGrey() const { return isFirstButtonCoolGrey_; }
  bool isSecondButtonCoolGrey() const { return isSecondButtonCoolGrey_; }
  int32_t animatableButtons() const { return animatableButtons_; }
  // The title label's text (nullopt without one); the setter only stores the field.
  std::optional<std::string> title() const;
  void setTitle(std::optional<std::string> title) { title_ = std::move(title); }
  const std::optional<std::string>& titleForSelectedButton() const { return titleForSelectedButton_; }
  const std::optional<platform::AttributedString>& attributedInfoText() const { return attributedInfoText_; }
  // Also shown by the info label.
  void setAttributedInfoText(const platform::AttributedString& text);
  const std::vector<std::string>& infoTexts() const { return infoTexts_; }
  std::shared_ptr<KLPopUpViewDelegate> confirmationDelegate() const { return delegate_.lock(); }
  void setConfirmationDelegate(std::weak_ptr<KLPopUpViewDelegate> delegate) { delegate_ = std::move(delegate); }
  bool isKeyboardVisible() const { return isKeyboardVisible_; }
  void setIsKeyboardVisible(bool visible) { isKeyboardVisible_ = visible; }
  bool canBeDismissed() const { return canBeDismissed_; }
  void setCanBeDismissed(bool value) { canBeDismissed_ = value; }
  bool canBeRotated() const { return canBeRotated_; }
  void setCanBeRotated(bool value) { canBeRotated_ = value; }
  int32_t position() const { return position_; }
  void setPosition(int32_t position) { position_ = position; }
  platform::InterfaceOrientation currentOrientation() const { return currentOrientation_; }

  // ---- layout ----
  // Adds the present elements top to bottom: image, title, info, buttons, don't-show-again row, link.
  void addViews();
  // The frame with its final height: height + 30, and 30 more without buttons.
  platform::Rect calculateFrame() const;
  // Places one element below the running height (see the header comment) and grows the height.
  void addConstraintForView(const std::shared_ptr<platform::View>& view, float width, float height);

  // ---- orientation ----
  // Device orientation to interface orientation; sets `position` for portrait and the landscapes.
  platform::InterfaceOrientation getInterfaceOrientationForDeviceOrientation(platform::DeviceOrientation orientation);
  // The rotation (radians) from currentOrientation to `orientation`.
  float rotationAngleForOrientation(platform::InterfaceOrientation orientation) const;
  // Tells the delegate, then turns the card over 0.4 s; the completion runs at the end.
  void adjustViewsForOrientation(platform::InterfaceOrientation orientation, std::function<void()> completion);
  void handle_UIDeviceOrientationDidChangeNotification();

  // ---- offered to callers ----
  // Taps on these substrings of the info text are reported through attributedTextTapped:.
  void attributedInfoTextTappableForTexts(std::vector<std::string> texts);
  void enableButtonWithIndex(unsigned long index);
  void disableButtonWithIndex(unsigned long index);
  // The index-th subview of class T, counting only those subviews (nullptr when there is none).
  template <typename T>
  std::shared_ptr<T> getViewWithIndex(unsigned long index) const {
    for (const auto& subview : subviews()) {
      if (auto match = std::dynamic_pointer_cast<T>(subview)) {
        if (index == 0) return match;
        --index;
      }
    }
    return nullptr;
  }
  // Every subview from `index` on moves down by `displacement` (its top constraint, when the card
  // placed it, so that the next layout keeps the move).
  void displaceViewsFromIndex(unsigned long index, float displacement);
  void changeHeightForView(const std::shared_ptr<platform::View>& view, float height) {}

  // ---- taps ----
  void actionOnButton(platform::Button& button);
  void actionOnLinkButton();
  void toggleDontShowAgain();
  void handleInfoTextTap(platform::Point pointInLabel);

 private:
  void build(std::optional<std::string> title, std::optional<std::string> infoText, std::optional<std::string> image,
             std::optional<std::string> linkButtonText, bool hasDoNotShowAgain, std::vector<std::string> buttonsTitles);
  void animateButton(const std::shared_ptr<platform::Button>& button, bool first);
  size_t indexOfButton(const platform::Button& button) const;

  std::shared_ptr<platform::Label> titleLabel_, infoLabel_, dontShowAgainLabel_;
  std::shared_ptr<platform::Button> linkButton_;
  std::shared_ptr<platform::View> dontShowView_;
  std::shared_ptr<platform::ImageView> checkBox_, imageView_;
  platform::InterfaceOrientation currentOrientation_ = platform::InterfaceOrientation::Portrait;
  std::vector<std::shared_ptr<KLLightAccentButton>> buttons_;
  std::vector<std::string> infoTexts_;
  float height_ = 0;
  bool dontShowAgain_ = false;
  bool isChecked_ = false;
  bool isFirstButtonCoolGrey_ = false, isSecondButtonCoolGrey_ = false;
  int32_t animatableButtons_ = KLPopUpAnimatableButtonsNone;
  std::optional<std::string> title_;
  std::optional<std::string> titleForSelectedButton_;
  std::optional<platform::AttributedString> attributedInfoText_;
  std::weak_ptr<KLPopUpViewDelegate> delegate_;
  bool isKeyboardVisible_ = false;
  bool canBeDismissed_ = true;
  bool canBeRotated_ = false;
  int32_t position_ = KLPopUpPositionPortrait;
  // The top constraint of each element the card placed (displaceViewsFromIndex moves it).
  std::map<const platform::View*, std::shared_ptr<platform::LayoutConstraint>> topConstraints_;
  std::shared_ptr<platform::TapGestureRecognizer> infoTap_;
};

}  // namespace dk
