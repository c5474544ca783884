// The player's roles and the interfaces between them: the screen (PlayerViewController and its
// portrait and landscape screens), the view model over the camera streamer (KLPlayerViewModel),
// the control overlay (KLPlayerControls) and the client embedding the player (the timeline). The
// integer codes that cross them and the camera and recording as the player sees them live here
// too. Optional operations answer respondsToSelector with the selector's spelling; callers ask
// first. Delegates are held weakly by whoever calls them.
//
// Main thread only, like everything of the player.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/object.h"
#include "platform/graphics/image.h"
#include "platform/media/streamer/dk_camera_streamer.h"

namespace dk::platform {
class GestureRecognizer;
class Layer;
class View;
class ViewController;
}  // namespace dk::platform

namespace dk {

enum PlayerType : int {
  PlayerTypeRecording = 0,
  PlayerTypeLive = 1,
  PlayerTypeLivePhoneMic = 2,
};

enum PlayerExternalAction : int {
  PlayerExternalActionPlay = 0,
  PlayerExternalActionPause = 1,
  PlayerExternalActionSwitchOrientationAnimated = 2,
  PlayerExternalActionSwitchOrientation = 3,
  PlayerExternalActionPreviousEvent = 4,
  PlayerExternalActionNextEvent = 5,
  PlayerExternalActionPreviousFrame = 6,
  PlayerExternalActionNextFrame = 7,
  PlayerExternalActionTogglePushToTalk = 8,
  PlayerExternalActionTakeSnapshot = 9,
  PlayerExternalActionMuteAudio = 10,
  PlayerExternalActionUnmuteAudio = 11,
  PlayerExternalActionRestartStreaming = 12,
};

enum PlayerPlaybackCapability : int {
  PlayerPlaybackCapabilityPanTilt = 0,
  PlayerPlaybackCapabilityZoom = 1,
  PlayerPlaybackCapabilityPushAudio = 2,
  PlayerPlaybackCapabilityRecordingAudio = 3,
  PlayerPlaybackCapabilityPreviousEvent = 4,
  PlayerPlaybackCapabilityNextEvent = 5,
  PlayerPlaybackCapabilityFullDuplexTwoWayAudio = 6,
};

// The camera as the player sees it.
class PlayerCameraInterface : public virtual platform::Protocol {
 public:
  virtual platform::ObjectPtr underlyingObject() const = 0;
  virtual int64_t playerCameraID() const = 0;
  virtual std::string cameraName() const = 0;
  virtual bool microphoneEnabled() const = 0;
  virtual bool isRecording() const = 0;
};

// One recording as the player sees it; absolute times in seconds since 1970.
class PlayerRecordingInterface : public virtual platform::Protocol {
 public:
  virtual platform::ObjectPtr underlyingObject() const = 0;
  virtual int64_t playerCameraID() const = 0;
  virtual int64_t playerRecordingID() const = 0;
  virtual double startTime() const = 0;
  virtual double endTime() const = 0;
  virtual double recordingDuration() const = 0;
};

using PlayerCameraPtr = std::shared_ptr<PlayerCameraInterface>;
using PlayerRecordingPtr = std::shared_ptr<PlayerRecordingInterface>;

// What the view model tells the screen (all required).
class PlayerViewModelDelegate : public virtual platform::Protocol {
 public:
  virtual void streamerDidStartLoading() = 0;
  virtual void streamerDidEndLoading() = 0;
  virtual void streamerDidStartStreaming() = 0;
  virtual void streamerDidPauseStreaming() = 0;
  virtual void streamerDidEndStreaming() = 0;
  virtual void streamerTimeDidChangeToTime(double time) = 0;
  virtual void streamerDidUpdateSpeedWithRate(double rate) = 0;
  virtual void audioInputDidStartPushToTalk() = 0;
  virtual void audioInputDidEndPushToTalk() = 0;
  virtual void audioInputDidFailPushToTalkWithError(const platform::ErrorPtr& error) = 0;
  virtual void snapshotWasCreated(const platform::ImagePtr& image) = 0;
  virtual void playerShouldDisplayErrorToastWithText(const std::optional<std::string>& text) = 0;
  virtual void playerShouldDisplayInfoToastWithText(const std::optional<std::string>& text, double duration) = 0;
};

// What the controls ask of playback (adopted by the view model).
class PlayerControlsActionsDelegate : public virtual platform::Protocol {
 public:
  virtual void didTapPlayButton() = 0;
  virtual void didTapPreviousFrameButton() = 0;
  virtual void didTapNextFrameButton() = 0;
  virtual void didTapSpeedButtonWithRate(double rate) = 0;
  virtual void didTapTakeSnapshotButton() = 0;
  virtual void didTapPushToTalkButtonIsSelected(bool selected) = 0;
};

// What the controls ask of the screen.
class PlayerControlsExternalActionsDelegate : public virtual platform::Protocol {
 public:
  virtual void didTapSwitchOrientationButton() = 0;
  virtual void didTapPreviousEventButton() = 0;
  virtual void didTapNextEventButton() = 0;
  virtual void didTapPtzButtonForDirection(uint64_t direction) = 0;
  virtual bool shouldDisplayButtonForPlaybackCapability(int capability) = 0;
  virtual bool shouldEnableButtonForPlaybackCapability(int capability) = 0;
  virtual void didTapEnableMicrophoneButton() {}  // optional: "didTapEnableMicrophoneButton"
};

// The buttons' actions.
class PlayerControlsActionsInterface : public virtual platform::Protocol {
 public:
  virtual void playButtonTapped() = 0;
  virtual void switchOrientationButtonTapped() = 0;
  virtual void previousEventButtonTapped() = 0;
  virtual void nextEventButtonTapped() = 0;
  virtual void previousFrameButtonTapped() = 0;
  virtual void nextFrameButtonTapped() = 0;
  virtual void speedButtonTapped() = 0;
  virtual void ptzButtonTapped(const std::shared_ptr<platform::Object>& sender) = 0;
  virtual void pushToTalkButtonTapped() = 0;
  virtual void takeSnapshotButtonTapped() = 0;
};

// The control overlay. The optional updates answer respondsToSelector with "setPlayButtonIsPlaying:",
// "updateTimeLabelWithTime:", "updateSpeedButtonWithRate:", "updateLiveIndicatorWithCameraIsRecording:",
// "updateLiveIndicatorWithCameraIsPlaying:" and "updateCameraNameLabelWithText:".
class PlayerControlsInterface : public PlayerControlsActionsInterface {
 public:
  virtual std::shared_ptr<platform::View> underlyingView() = 0;
  virtual void updateActionsDelegateWithObject(std::weak_ptr<PlayerControlsActionsDelegate> object) = 0;
  virtual void setUpSubviews() = 0;
  virtual void updateSubviews() = 0;
  virtual std::shared_ptr<platform::View> controlHitByGestureRecognizer(platform::GestureRecognizer& recognizer) = 0;
  virtual void showHideControls() = 0;
  virtual void hideControlsAnimated(bool animated) = 0;
  virtual void showControlsAnimated(bool animated) = 0;
  virtual void setPlayButtonIsPlaying(bool playing) {}
  virtual void updateTimeLabelWithTime(double time) {}
  virtual void updateSpeedButtonWithRate(double rate) {}
  virtual void updateLiveIndicatorWithCameraIsRecording(bool recording) {}
  virtual void updateLiveIndicatorWithCameraIsPlaying(bool playing) {}
  virtual void updateCameraNameLabelWithText(const std::string& text) {}
};

class PlayerViewControllerInterface;

// The embedding client; every operation optional (answer respondsToSelector with the selector,
// e.g. "playerTimeDidChangeToTime:"), except the two event jumps, which every client implements.
class PlayerViewControllerDelegate : public virtual platform::Protocol {
 public:
  virtual void playerTimeDidChangeToTime(double time) {}
  virtual void playerPreviousEventWasUpdated() = 0;
  virtual void playerNextEventWasUpdated() = 0;
  virtual void playerSpeedWasUpdatedWithRate(double rate) {}
  virtual void playerDidStartPlaying(PlayerViewControllerInterface& player) {}
  virtual void playerDidPausePlaying(PlayerViewControllerInterface& player) {}
  virtual void playerDidEndPlaying(PlayerViewControllerInterface& player) {}
  virtual void playerDidStartLoading(PlayerViewControllerInterface& player) {}
  virtual void playerDidEndLoading(PlayerViewControllerInterface& player) {}
  virtual void playerDidStartPushToTalk(PlayerViewControllerInterface& player) {}
  virtual void playerDidStopPushToTalk(PlayerViewControllerInterface& player) {}
  virtual void playerDidStopPushToTalk(PlayerViewControllerInterface& player, const platform::ErrorPtr& error) {}
  virtual void playerRequestedMicrohoneEnabled(PlayerViewControllerInterface& player) {}
};

// The view model's commands (adopted by KLPlayerViewModel).
class PlayerViewModelInterface : public PlayerControlsActionsDelegate, public platform::DKCameraStreamerDelegete {
 public:
  virtual void seekToTime(double seconds) = 0;
  virtual void setRate(double rate) = 0;
  virtual void muteAudio(bool muted) = 0;
  virtual void startPushToTalk() = 0;
  virtual void stopPushToTalk() = 0;
  virtual void restartStreaming() = 0;
  virtual void stopStreaming() = 0;
};

// The player screen as its client holds it.
class PlayerViewControllerInterface : public PlayerViewModelDelegate, public PlayerControlsExternalActionsDelegate {
 public:
  virtual std::shared_ptr<platform::ViewController> viewController() = 0;
  virtual void handleExternalAction(int action) = 0;
  virtual void seekToTime(double seconds) = 0;
  virtual void updateSpeedWithRate(double rate) = 0;
  virtual void switchOrientationAnimated(bool animated) = 0;
};

}  // namespace dk
