// KLNetworkConnectionLostView: the panel shown in place of content while the host reports no
// network: an image, a message and a refresh button whose tap is posted for the host
// ("kRefreshButtonTapped").
//
// Its content comes from the nib named after the class ("KLNetworkConnectionLostView"), which
// this file registers with its layout the first time a panel is made; the content view is pinned
// to the panel's edges. The panel starts in the light theme; darkTheme suits a dark screen behind
// it. Made with make() (the nib needs the panel as its owner), held by shared_ptr, main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"
#include "ui/kl_bordered_button.h"

namespace dk {

inline constexpr const char* kImageNoConnection = "No_connection";
inline constexpr const char* kRefreshButtonTapped = "kRefreshButtonTapped";

class KLNetworkConnectionLostView : public platform::View {
 public:
  // initWithFrame: the panel with its nib content, constraints and light theme.
  static std::shared_ptr<KLNetworkConnectionLostView> make(const platform::Rect& frame);
  explicit KLNetworkConnectionLostView(const platform::Rect& frame);

  // Outlets (set by the nib).
  std::shared_ptr<KLLightAccentButton> refreshButton() const { return refreshButton_.lock(); }
  std::shared_ptr<platform::View> view() const { return view_.lock(); }
  std::shared_ptr<platform::ImageView> noConnectionImageView() const { return noConnectionImageView_.lock(); }
  std::shared_ptr<platform::Label> noInternetConnectionLabel() const { return noInternetConnectionLabel_.lock(); }
  void setOutlets(std::shared_ptr<platform::View> view, std::shared_ptr<platform::ImageView> image,
                  std::shared_ptr<platform::Label> label, std::shared_ptr<KLLightAccentButton> refresh);

  // Replaces the default message when localizeStrings runs.
  const std::optional<std::string>& noInternetConnectionText() const { return noInternetConnectionText_; }
  void setNoInternetConnectionText(std::optional<std::string> text) { noInternetConnectionText_ = std::move(text); }

  // The content view pinned to the panel: top, bottom, left, right.
  void setupConstraints();
  // Label font, then the light theme.
  void setUpViews();
  // White background, message in the dark theme colour, image tinted cool grey.
  void lightTheme();
  // Clear background, white message and image.
  void darkTheme();
  // The message: noInternetConnectionText when set, else the host's "NoInternetConnection".
  void localizeStrings();
  // Keeps the origin, takes the size.
  void configureViewWithSize(platform::Size size);
  // Posts "kRefreshButtonTapped" (no object) for the host.
  void refreshButtonTapped();
  void animateContinueButton() {}
  // There is nothing to reset: the arguments are unused and the completion is never called.
  void resetContinueButtonWithAnimation(bool animated, std::function<void()> completion);

 private:
  void loadContent();

  std::weak_ptr<KLLightAccentButton> refreshButton_;
  std::weak_ptr<platform::View> view_;
  std::weak_ptr<platform::ImageView> noConnectionImageView_;
  std::weak_ptr<platform::Label> noInternetConnectionLabel_;
  std::optional<std::string> noInternetConnectionText_;
};

// The nib's layout, registered under "KLNetworkConnectionLostView" (make() does it when missing).
void registerNetworkConnectionLostViewNib();

}  // namespace dk
