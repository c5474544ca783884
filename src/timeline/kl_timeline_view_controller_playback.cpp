// The timeline screen's embedded player: handing playback over when scrolling ends, stopping it
// while the user scrolls, the axis following the playing time, the next recording at the end of
// one, and the player buttons and event jumps.
#include "foundation/date_formatting.h"
#include "live/kl_data_manager.h"
#include "platform/foundation/bundle.h"
#include "platform/media/images/image_view_web_cache.h"
#include "player/player_interfaces.h"
#include "timeline/embedded_player.h"
#include "timeline/kl_timeline_view_controller.h"
#include "ui/image_effects.h"

namespace dk {

namespace {

std::string playbackText(std::string_view key) {
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key, key);
}

KLTimelineViewController::PlayerFactory& playerFactory() {
  static KLTimelineViewController::PlayerFactory factory;
  return factory;
}

constexpr double kSnapshotBlurRadius = 5.0;

}  // namespace

void KLTimelineViewController::setPlayerFactory(PlayerFactory factory) { playerFactory() = std::move(factory); }

// ---- scrolling ----

void KLTimelineViewController::timelineAdapterWillBeginScrollingAtTime(KLTimeRangeAdapter&, double) {
  seekInProgress_ = true;
  if (!player_) return;
  player_->setRenderViewHidden(true);
  if (player_->isPlaying()) pausePlayer();
}

namespace {
// The screen's camera holds only its identifier; whether its microphone is on (so the player may
// let it be heard) comes from the account's camera list, when that has been read. Unknown stays
// off: a camera is not heard before its owner's setting is known.
void knowMicrophoneOf(const KLCameraPtr& camera) {
  if (!camera || camera->audioEnabled()) return;
  if (auto known = KLDataManager::sharedInstance()->deviceKeeper()->cameraWithID(camera->cameraID())) {
    camera->setAudioEnabled(known->audioEnabled());
  }
}
}  // namespace

void KLTimelineViewController::timelineAdapterDidEndScrollingAtTime(KLTimeRangeAdapter&, double time) {
  auto recording = preciseRecordingAtTime(time);
  updateTimelineWithRecordingAvailable(recording != nullptr);
  if (recording) {
    if (!player_) {
      auto camera = dataManager()->deviceKeeper()->camera();
      knowMicrophoneOf(camera);
      auto& factory = playerFactory();
      auto player = factory ? factory(camera, recording) : EmbeddedPlayer::make(camera, recording);
      auto controller = player ? player->viewController() : nullptr;
      auto container = playerContainer();
      if (controller && container) {
        addChildViewController(controller);
        controller->didMoveToParentViewController(this);
        controller->view()->setFrame(container->bounds());
        container->addSubview(controller->view());
      }
      if (player) player->setListeningAllowed(!(permissions() & KLPermissionNoCameraAudio));
      setPlayer(player);
      // Until its first frame the new player shows the thumbnail the strip showed last.
      if (player_) player_->setCameraImage(lastPresentedSnapshot_);
      if (dataSource_ && adapter_) timelineAdapterDidScrollToTime(*adapter_, time);
    }
    if (player_) {
      player_->setRenderViewHidden(false);
      player_->setRecording(recording);
    }
    playingRecordingModel_ = recording->timelineRecordingUnderlyingObject();
    startPlayerWithRecording(recording, time);
    return;
  }

  removePlayer();
  const bool hasData = (!noEventsImageView() || noEventsImageView()->isHidden()) &&
                       (!noEventsInfoLabel() || noEventsInfoLabel()->isHidden());
  if (hasData) {
    updateTimelineWithRecordingAvailable(false);
    if (auto label = noVideoInfoLabel()) {
      label->setText(playbackText(oldestTimestamp() > time ? "EndOfRecordings" : "NoRecordingsAvailable"));
    }
  } else {
    updateTimelineWithRecordingAvailable(true);
  }
  if (auto view = snapshotImageView()) {
    view->setHidden(false);
    platform::cancelCurrentImageLoad(*view);
    if (!snapshotIsBlurred_) {
      view->setImage(applyLightEffectWithBlurRadius(lastPresentedSnapshot_, kSnapshotBlurRadius));
      snapshotIsBlurred_ = true;
    }
  }
}

// ---- the player ----

KLTimelineRecordingPtr KLTimelineViewController::playingRecording() const {
  if (!playingRecordingModel_ || !dataSource_) return nullptr;
  for (const auto& recording : dataSource_->allTimelineRecordings())
    if (recording->timelineRecordingUnderlyingObject() == playingRecordingModel_) return recording;
  return nullptr;
}

void KLTimelineViewController::startPlayerWithRecording(const KLTimelineRecordingPtr& recording, double time) {
  seekInProgress_ = false;
  if (player_ && recording) player_->seekToTime(time - recording->timelineRecordingStartTime());
}

void KLTimelineViewController::pausePlayer() {
  if (player_) player_->handleExternalAction(PlayerExternalActionPause);
}

void KLTimelineViewController::removePlayer() {
  if (player_) {
    // Playback must not go on in a landscape screen nobody can reach any more.
    if (player_->isInLandscape()) {
      pausePlayer();
      player_->dismissLandscape();
    }
    player_->setPlayerDelegate({});
    if (auto controller = player_->viewController()) {
      if (controller->isViewLoaded()) controller->view()->removeFromSuperview();
      controller->removeFromParentViewController();
    }
    player_.reset();
    // The rate went with the player: the next one starts at 1x, and the button must not say otherwise.
    showSpeedRate(1.0);
  }
  setPlayerButtonsEnabled(false);
}

void KLTimelineViewController::setPlayerButtonsEnabled(bool enabled) {
  for (const auto& button : {previousFrameButton(), nextFrameButton(), snapshotButton()}) {
    if (button) button->setEnabled(enabled);
  }
}

void KLTimelineViewController::playerTimeDidChangeToTime(double time) {
  if (seekInProgress_) return;
  scrollTableViewToTime(time, false, false);
  if (auto label = timelineLabel()) label->setText(hourMinutesSecondsFromTimestamp(time));
}

void KLTimelineViewController::playerSpeedWasUpdatedWithRate(double rate) {
  if (rate >= 1.0) showSpeedRate(rate);
}

void KLTimelineViewController::playerDidStartLoading() { setPlayerButtonsEnabled(false); }

void KLTimelineViewController::playerDidEndLoading() {
  setPlayerButtonsEnabled(true);
  updateTimelineWithRecordingAvailable(true);
  if (auto view = snapshotImageView()) view->setHidden(true);
}

void KLTimelineViewController::playerDidEndPlaying() {
  if (!dataSource_ || !adapter_) return;
  // A recording that could not be played ends playback too, but not at its end: moving on would
  // fetch the next one unasked, and with every recording broken, the whole history in turn.
  if (player_ && player_->hasFailed()) return;
  double time = adapter_->scrollTime();
  auto current = preciseRecordingAtTime(time);
  if (current) time = current->timelineRecordingEndTime();
  auto next = dataSource_->closestTimelineRecordingAfterTime(time);
  if (!next || (current && current->timelineRecordingIsOnGoing())) {
    pausePlayer();
    return;
  }
  // The end of this move hands playback over to the next recording.
  setPlayerButtonsEnabled(false);
  scrollTableViewToTime(next->timelineRecordingStartTime(), true, false);
}

// ---- event jumps ----

void KLTimelineViewController::previousEventWasUpdated() {
  if (!dataSource_ || !adapter_) return;
  jumpToEvent(dataSource_->closestTimelineEventBeforeTime(adapter_->scrollTime() - 1.0));
}

void KLTimelineViewController::nextEventWasUpdated() {
  if (!dataSource_ || !adapter_) return;
  jumpToEvent(dataSource_->closestTimelineEventAfterTime(adapter_->scrollTime() + 1.0));
}

void KLTimelineViewController::jumpToEvent(const KLTimelineEventPtr& event) {
  if (!event) return;
  const double time = event->timelineEventTimestamp();
  scrollTableViewToTime(time, true, false);
  if (auto recording = preciseRecordingAtTime(time)) {
    if (player_) player_->setRecording(recording);
  } else {
    removePlayer();
  }
}

// ---- buttons ----

void KLTimelineViewController::previousFrameButtonPressed() {
  if (player_) player_->handleExternalAction(PlayerExternalActionPreviousFrame);
}

void KLTimelineViewController::nextFrameButtonPressed() {
  if (player_) player_->handleExternalAction(PlayerExternalActionNextFrame);
}

void KLTimelineViewController::snapshotButtonPressed() {
  if (player_) player_->handleExternalAction(PlayerExternalActionTakeSnapshot);
}

}  // namespace dk
