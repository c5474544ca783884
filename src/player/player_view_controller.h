// PlayerViewController: the base of the player screens. It shows the video (the streamer's layer
// inside a zoomable scroll view) over the poster image, creates the view model and passes its
// events on to the embedding client (PlayerViewControllerDelegate, held weakly and asked before
// every call), to the control overlay and to its own loading animation, toasts and zoom. The
// portrait and landscape screens add the overlay and the switching between them.
//
// The view tree is built in code (loadView) in place of a storyboard scene. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/image_view.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/toast.h"
#include "platform/ui/view_controller.h"
#include "player/kl_player_view_model.h"
#include "player/player_interfaces.h"
#include "services/kl_device_keeper.h"
#include "ui/kl_view_controller.h"

namespace dk {


// What the player screens need from the application's registry (the data manager): moving a
// pan-tilt camera. The application installs it; without one, pan-tilt taps do nothing.
struct PlayerServices {
  std::function<void(const platform::ObjectPtr& camera, uint64_t direction)> moveCamera;
  static void install(PlayerServices services);
  static PlayerServices current();
};

class PlayerViewController : public platform::ViewController,
                             public PopUpPassThroughScreen,
                             public PlayerViewControllerInterface,
                             public platform::ScrollViewDelegate {
 public:
  PlayerViewController();
  ~PlayerViewController() override;

  // The four initialisers: type 1 for the camera alone, type 0 with a recording.
  void initWithCamera(PlayerCameraPtr camera, std::weak_ptr<PlayerViewControllerDelegate> delegate);
  void initWithCamera(PlayerCameraPtr camera, int playerType, std::weak_ptr<PlayerViewControllerDelegate> delegate);
  void initWithCamera(PlayerCameraPtr camera, PlayerRecordingPtr recording,
                      std::weak_ptr<PlayerViewControllerDelegate> delegate);
  void initWithCamera(PlayerCameraPtr camera, int playerType, PlayerRecordingPtr recording,
                      std::weak_ptr<PlayerViewControllerDelegate> delegate);

  bool respondsToSelector(std::string_view selector) const override;

  // ---- state ----
  bool hasPreviousEvent() const { return hasPreviousEvent_; }
  virtual void setHasPreviousEvent(bool value);
  bool hasNextEvent() const { return hasNextEvent_; }
  virtual void setHasNextEvent(bool value);
  bool hasPushAudioCapability() const { return hasPushAudioCapability_; }
  virtual void setHasPushAudioCapability(bool value);
  bool hasFullDuplexTwoWayAudio() const { return true; }
  bool hasPanTiltCapability() const { return hasPanTiltCapability_; }
  virtual void setHasPanTiltCapability(bool value);
  bool hasZoomCapability() const { return hasZoomCapability_; }
  virtual void setHasZoomCapability(bool value);
  bool isPushAudioEnabled() const;
  bool isRecordingAudio() const { return isRecordingAudio_; }
  void setIsRecordingAudio(bool value);
  bool isLoading() const { return isLoading_; }
  int playerType() const { return playerType_; }
  void setPlayerType(int type) { playerType_ = type; }
  const PlayerCameraPtr& camera() const { return camera_; }
  virtual void setCamera(PlayerCameraPtr camera);
  const PlayerRecordingPtr& recording() const { return recording_; }
  virtual void setRecording(PlayerRecordingPtr recording);
  const platform::ImagePtr& cameraImage() const { return cameraImage_; }
  void setCameraImage(platform::ImagePtr image);
  const KLPlayerViewModelPtr& playerViewModel() const { return playerViewModel_; }
  // Whether the user may listen to the camera; handed to the view model (YES by default).
  void setListeningAllowed(bool allowed);
  const std::shared_ptr<platform::Layer>& playerLayer() const { return playerLayer_; }
  const std::shared_ptr<PlayerControlsInterface>& playerControls() const { return playerControls_; }
  std::shared_ptr<PlayerViewControllerDelegate> playerDelegate() const { return playerDelegate_.lock(); }
  void setPlayerDelegate(std::weak_ptr<PlayerViewControllerDelegate> delegate) { playerDelegate_ = std::move(delegate); }
  double zoomScaleValue() const { return zoomScaleValue_; }

  // ---- outlets (the scene's views) ----
  const std::shared_ptr<platform::ImageView>& renderImageView() const { return renderImageView_; }
  const std::shared_ptr<platform::ImageView>& cameraImageView() const { return cameraImageView_; }
  const std::shared_ptr<platform::View>& playerControlsView() const { return playerControlsView_; }
  const std::shared_ptr<platform::ScrollView>& scrollView() const { return scrollView_; }
  const std::shared_ptr<platform::View>& utilitiesView() const { return utilitiesView_; }
  const std::shared_ptr<platform::View>& toastView() const { return toastView_; }
  const std::shared_ptr<platform::ImageView>& loadingImageView() const { return loadingImageView_; }
  const std::shared_ptr<platform::TapGestureRecognizer>& singleTapRecognizer();
  const std::shared_ptr<platform::TapGestureRecognizer>& doubleTapRecognizer();

  // ---- PlayerViewControllerInterface ----
  std::shared_ptr<platform::ViewController> viewController() override;
  void handleExternalAction(int action) override;
  void seekToTime(double seconds) override;
  void updateSpeedWithRate(double rate) override;
  void switchOrientationAnimated(bool animated) override {}

  // ---- PlayerViewModelDelegate ----
  void streamerDidStartLoading() override { startLoading(); }
  void streamerDidEndLoading() override { stopLoading(); }
  void streamerDidStartStreaming() override;
  void streamerDidPauseStreaming() override;
  void streamerDidEndStreaming() override;
  void streamerTimeDidChangeToTime(double time) override;
  void streamerDidUpdateSpeedWithRate(double rate) override;
  void audioInputDidStartPushToTalk() override;
  void audioInputDidEndPushToTalk() override;
  void audioInputDidFailPushToTalkWithError(const platform::ErrorPtr& error) override;
  void snapshotWasCreated(const platform::ImagePtr& image) override;
  void playerShouldDisplayErrorToastWithText(const std::optional<std::string>& text) override;
  void playerShouldDisplayInfoToastWithText(const std::optional<std::string>& text, double duration) override;

  // ---- PlayerControlsExternalActionsDelegate ----
  void didTapSwitchOrientationButton() override { switchOrientationAnimated(true); }
  void didTapPreviousEventButton() override;
  void didTapNextEventButton() override;
  void didTapPtzButtonForDirection(uint64_t direction) override;
  bool shouldDisplayButtonForPlaybackCapability(int capability) override;
  bool shouldEnableButtonForPlaybackCapability(int capability) override;
  void didTapEnableMicrophoneButton() override;
  void didFailWithErrorMessage(const std::string& message);

  // ---- ScrollViewDelegate ----
  std::shared_ptr<platform::View> viewForZooming(platform::ScrollView& scrollView) override;
  void scrollViewDidScroll(platform::ScrollView& scrollView) override;
  void scrollViewDidZoom(platform::ScrollView& scrollView) override;
  void scrollViewDidEndZooming(platform::ScrollView& scrollView, platform::View* view, double scale) override;

  // ---- life cycle and hooks, in the order the screen runs them ----
  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  // The status bar comes and goes with the player's screens without an animation of its own.
  platform::StatusBarAnimation preferredStatusBarUpdateAnimation() const override {
    return platform::StatusBarAnimation::None;
  }
  void viewWillLayoutSubviews() override;
  virtual void setUpViews();
  virtual void setUpPlayerLayer();
  virtual void setUpPlayerViewModel();
  virtual void updateViews();
  virtual void setUpPlayerControls() {}
  virtual void updatePlayerControls();
  virtual void updateViewsForStreamingStarted(bool started);
  void updateLoadingState();
  void startLoading();
  void stopLoading();
  virtual std::shared_ptr<platform::View> snapshotViewForTransitionAnimation();
  virtual platform::Rect transitionInitialFrame() const { return transitionInitialFrame_; }
  void enableZooming(bool enabled);
  void showInfoToastWithText(const std::optional<std::string>& text, double duration);
  void showErrorToastWithText(const std::optional<std::string>& text, double duration);
  static const std::vector<platform::ImagePtr>& animationImages();

  void singleTap(platform::GestureRecognizer& recognizer);
  void doubleTap(platform::GestureRecognizer& recognizer);

 protected:
  // The client's callback when it is still there and implements it.
  void tellDelegate(std::string_view selector, const std::function<void(PlayerViewControllerDelegate&)>& call);
  platform::ToastStyle& infoToastStyle();
  platform::ToastStyle& errorToastStyle();
  // Either toast: the given style with the player's font, centring, corners and padding.
  void showToast(const std::optional<std::string>& text, double duration, platform::ToastStyle style);

  bool hasPreviousEvent_ = false, hasNextEvent_ = false, hasPushAudioCapability_ = false;
  bool hasPanTiltCapability_ = false, hasZoomCapability_ = false, isRecordingAudio_ = false, isLoading_ = false;
  int playerType_ = PlayerTypeLive;
  PlayerCameraPtr camera_;
  PlayerRecordingPtr recording_;
  platform::ImagePtr cameraImage_;
  std::shared_ptr<platform::ImageView> renderImageView_, cameraImageView_, loadingImageView_;
  std::shared_ptr<platform::View> playerControlsView_, scrollViewContentView_, utilitiesView_, toastView_;
  std::shared_ptr<platform::ScrollView> scrollView_;
  KLPlayerViewModelPtr playerViewModel_;
  std::shared_ptr<platform::Layer> playerLayer_;
  std::shared_ptr<PlayerControlsInterface> playerControls_;
  std::weak_ptr<PlayerViewControllerDelegate> playerDelegate_;
  std::optional<platform::ToastStyle> infoToastStyle_, errorToastStyle_;
  std::shared_ptr<platform::TapGestureRecognizer> singleTap_, doubleTap_;
  double zoomScaleValue_ = 1.0;
  platform::Rect transitionInitialFrame_;
  bool listeningAllowed_ = true;
};

}  // namespace dk
