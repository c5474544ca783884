// KLPlayerViewModel: the one part of the player that drives the camera streamer. It owns the
// streamer and the item (a recording, or a camera's live stream), turns the user's commands into
// streamer calls and the streamer's callbacks into PlayerViewModelDelegate events, reports the
// playing time once per second of video, retries a failed stream once without telling, and saves
// the user's snapshots to the album.
//
// Created by the player screen (initWith... factories), which is its delegate (held weakly); the
// portrait and landscape screens share one. Holds its streamer with shared ownership and ignores
// callbacks of any other streamer. Main thread only.
#pragma once

#include <functional>
#include <memory>

#include "platform/foundation/object.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "player/kl_player_timer.h"
#include "player/player_interfaces.h"

namespace dk {

class KLPlayerViewModel : public platform::Object, public PlayerViewModelInterface {
 public:
  // Saving a snapshot to the photo album: the image, and what to run once it is saved. The
  // application installs it (the album manager); without one snapshots are not saved.
  using AlbumSaver = std::function<void(const platform::ImagePtr& image, std::function<void()> saved)>;
  static void setAlbumSaver(AlbumSaver saver);

  static std::shared_ptr<KLPlayerViewModel> initWithCamera(PlayerCameraPtr camera, std::shared_ptr<platform::Layer> layer,
                                                           std::weak_ptr<PlayerViewModelDelegate> delegate);
  static std::shared_ptr<KLPlayerViewModel> initWithCamera(PlayerCameraPtr camera, std::shared_ptr<platform::Layer> layer,
                                                           int playerType,
                                                           std::weak_ptr<PlayerViewModelDelegate> delegate);
  static std::shared_ptr<KLPlayerViewModel> initWithCamera(PlayerCameraPtr camera, PlayerRecordingPtr recording,
                                                           std::shared_ptr<platform::Layer> layer,
                                                           std::weak_ptr<PlayerViewModelDelegate> delegate);
  ~KLPlayerViewModel() override;

  std::string className() const override { return "KLPlayerViewModel"; }
  bool respondsToSelector(std::string_view selector) const override;

  // Read from the streamer at every call.
  bool isReadyToPlay() const;
  bool isPlaying() const;
  bool isRecordingAudio() const;
  double rate() const;

  bool isInLandscape() const { return isInLandscape_; }
  void setIsInLandscape(bool value) { isInLandscape_ = value; }
  bool hasFullDuplexTwoWayAudio() const { return hasFullDuplexTwoWayAudio_; }
  void setHasFullDuplexTwoWayAudio(bool value) { hasFullDuplexTwoWayAudio_ = value; }
  bool shouldDisplayTakeSnapshotPopUp() const { return shouldDisplayTakeSnapshotPopUp_; }
  int playerType() const { return playerType_; }
  void setPlayerType(int type) { playerType_ = type; }
  // Whether the user may listen to the camera (the embedding screen's permission; YES until
  // told otherwise). The camera's sound is heard only when this holds and its microphone is on.
  bool isListeningAllowed() const { return listeningAllowed_; }
  void setListeningAllowed(bool allowed);
  const PlayerCameraPtr& camera() const { return camera_; }
  void setCamera(PlayerCameraPtr camera) { camera_ = std::move(camera); }
  const PlayerRecordingPtr& recording() const { return recording_; }
  // Stores the recording and makes its item (kept when it is the same recording).
  void setRecording(PlayerRecordingPtr recording);
  std::shared_ptr<PlayerViewModelDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<PlayerViewModelDelegate> delegate) { delegate_ = std::move(delegate); }
  const platform::DKStreamerItemPtr& cameraStreamerItem() const { return cameraStreamerItem_; }
  const platform::DKCameraStreamerPtr& cameraStreamer() const { return cameraStreamer_; }
  const std::shared_ptr<platform::Layer>& layer() const { return layer_; }
  const std::shared_ptr<KLPlayerTimer>& timer() const { return timer_; }
  double speedRate() const { return speedRate_; }
  double seekTime() const { return seekTime_; }
  int64_t numberOfRetriesOnError() const { return numberOfRetriesOnError_; }

  // PlayerViewModelInterface
  void seekToTime(double seconds) override;
  void setRate(double rate) override;
  void muteAudio(bool muted) override;
  void startPushToTalk() override;
  void stopPushToTalk() override;
  void restartStreaming() override;
  void stopStreaming() override;

  // PlayerControlsActionsDelegate
  void didTapPlayButton() override;
  void didTapPreviousFrameButton() override;
  void didTapNextFrameButton() override;
  void didTapSpeedButtonWithRate(double rate) override;
  void didTapTakeSnapshotButton() override;
  void didTapPushToTalkButtonIsSelected(bool selected) override;

  // DKCameraStreamerDelegete
  void cameraStreamerOnStatusChanged(const platform::DKCameraStreamerPtr& streamer, uint64_t status) override;
  void cameraStreamerOnPlaybackStateChanged(const platform::DKCameraStreamerPtr& streamer, uint64_t state) override;
  void cameraStreamerOnAudioStreamingStateChanged(const platform::DKCameraStreamerPtr& streamer, uint64_t state) override;
  void cameraStreamerOnSnapshotTaken(const platform::DKCameraStreamerPtr& streamer, const platform::ImagePtr& image,
                                     double time) override;

  // The tick: reports the time on screen and remembers it as the place to start from.
  void tick();
  void stepBy(int64_t frames);

 private:
  KLPlayerViewModel() = default;
  void initCameraStreamerWithLayer(std::shared_ptr<platform::Layer> layer);
  void initStreamerItem();
  void updateCameraStreamer();
  void resetStreamerItem();
  void startPlaying();
  void pausePlaying();
  void stopPlaying();
  void setStreamerRate(double rate);
  void retryConnectionOnStreamerError();
  void audioStreamingStarted();
  void audioStreamingStoppedWithError(const platform::ErrorPtr& reason);
  KLPlayerTimer& tickTimer();
  bool isCurrent(const platform::DKCameraStreamerPtr& streamer) const;
  bool mayHearCamera() const;

  bool isInLandscape_ = false;
  bool hasFullDuplexTwoWayAudio_ = false;
  bool shouldDisplayTakeSnapshotPopUp_ = false;
  int playerType_ = PlayerTypeRecording;
  PlayerCameraPtr camera_;
  PlayerRecordingPtr recording_;
  std::weak_ptr<PlayerViewModelDelegate> delegate_;
  platform::DKStreamerItemPtr cameraStreamerItem_;
  platform::DKCameraStreamerPtr cameraStreamer_;
  std::shared_ptr<platform::Layer> layer_;
  std::shared_ptr<KLPlayerTimer> timer_;
  double speedRate_ = 1.0;
  double seekTime_ = 0;
  int64_t numberOfRetriesOnError_ = 0;
  // Whether this view model disabled the idle timer, so that dropping it mid-playback gives the
  // screen lock back.
  bool disabledIdleTimer_ = false;
  bool listeningAllowed_ = true;
};

using KLPlayerViewModelPtr = std::shared_ptr<KLPlayerViewModel>;

}  // namespace dk
