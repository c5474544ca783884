// The view model over a real streamer playing the local cloud's videos: how the timeline starts
// playback, rates and the tick, frame steps, the end, snapshots, the silent retry, and the
// faults of item hand-over, failed streamers and stale callbacks.
#include <cmath>
#include <limits>

#include "platform/ui/application.h"
#include "player_fixture.h"

namespace dk::test {
namespace {

using platform::DKPlaybackStatePlaying;
using Events = std::vector<std::string>;

TEST_F(PlayerTest, SettingARecordingAndSeekingStartsPlaybackThereAndTicksOncePerSecondOfVideo) {
  model->setRecording(first);
  model->seekToTime(12.0);  // still preparing: the seek waits for "ready"
  pump();
  ASSERT_TRUE(model->isPlaying());
  // Loading while it prepares, and again while it waits for the picture at the seek.
  EXPECT_EQ(screen->events, (Events{"startLoading", "startLoading", "startStreaming", "endLoading"}));
  EXPECT_DOUBLE_EQ(model->cameraStreamer()->currentTime(), 12.0);
  EXPECT_TRUE(platform::Application::shared().isIdleTimerDisabled());

  clock.advance(1.0);
  clock.advance(1.0);
  EXPECT_EQ(screen->times, (std::vector<double>{kStart + 13, kStart + 14}));
  EXPECT_DOUBLE_EQ(model->seekTime(), 14.0);
}

TEST_F(PlayerTest, ASpeedChosenWhilePausedWaitsForPlayThenMutesAndTicksFaster) {
  model->setRecording(first);
  pump();
  ASSERT_TRUE(model->isPlaying());  // a prepared recording starts at once
  model->didTapPlayButton();  // pauses at 0
  pump();
  ASSERT_FALSE(model->isPlaying());
  screen->events.clear();

  model->didTapSpeedButtonWithRate(2.0);
  EXPECT_EQ(model->cameraStreamer()->rate(), 0.0f);
  EXPECT_EQ(screen->events, (Events{"speed:2.000000"}));
  model->didTapPlayButton();
  pump();
  EXPECT_EQ(model->cameraStreamer()->rate(), 2.0f);
  EXPECT_TRUE(model->cameraStreamer()->isAudioMuted());
  screen->times.clear();
  clock.advance(0.5);
  ASSERT_EQ(screen->times.size(), 1u);  // one report per second of video
  EXPECT_DOUBLE_EQ(screen->times[0], kStart + 1.0);

  model->setRate(1.0);  // 1x unmutes
  EXPECT_FALSE(model->cameraStreamer()->isAudioMuted());
}

TEST_F(PlayerTest, ARateThatIsNotFiniteOrNotPositiveIsRefusedAndPlayStillPlays) {
  model->setRecording(first);
  pump();
  model->didTapPlayButton();  // pause
  pump();
  ASSERT_FALSE(model->isPlaying());
  model->setRate(2.0);
  screen->events.clear();
  for (double rate : {0.0, -1.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
    model->setRate(rate);
    model->didTapSpeedButtonWithRate(rate);
  }
  EXPECT_TRUE(screen->events.empty()) << "no speed is reported for a refused rate";
  model->didTapPlayButton();
  pump();
  EXPECT_TRUE(model->isPlaying());
  EXPECT_EQ(model->cameraStreamer()->rate(), 2.0f) << "the last sound rate stays";
}

TEST_F(PlayerTest, AFrameStepReportsTheNewTimeAtOnce) {
  playFirstAt(10.0);
  model->didTapPlayButton();  // pause
  pump();
  screen->times.clear();
  model->didTapNextFrameButton();
  ASSERT_EQ(screen->times.size(), 1u);
  EXPECT_DOUBLE_EQ(screen->times[0], kStart + 10.5);
  model->didTapPreviousFrameButton();
  model->didTapPreviousFrameButton();
  EXPECT_DOUBLE_EQ(screen->times.back(), kStart + 9.5);
}

TEST_F(PlayerTest, PlayOnAnEndedRecordingReportsTheEnd) {
  playFirstAt(28.0);
  clock.advance(3.0);
  EXPECT_EQ(model->cameraStreamer()->playbackState(), platform::DKPlaybackStateEnded);
  EXPECT_FALSE(platform::Application::shared().isIdleTimerDisabled());
  screen->events.clear();
  model->didTapPlayButton();
  EXPECT_EQ(screen->events, (Events{"endStreaming"}));
}

TEST_F(PlayerTest, AnOpenRecordingWaitingAtItsEndFollowsAScrollBackAndEndsOnceClosed) {
  int64_t openId = 0;
  sim->updateWorld([&](cloudsim::World& w) { openId = w.startRecording(cameraId, w.now - 40); });
  const double start = kStart + 1000;  // where the timeline has it
  model->setRecording(recording(openId, start, start + 40));
  model->seekToTime(38.0);
  pump();
  ASSERT_TRUE(model->isPlaying());
  for (int second = 0; second < 3; ++second) clock.advance(1.0);
  ASSERT_EQ(screen->events.back(), "startLoading");  // at the end of what has been recorded

  // The user scrolls back to 5 s: playback goes there at once and the axis follows it.
  screen->events.clear();
  screen->times.clear();
  model->seekToTime(5.0);
  pump();
  EXPECT_TRUE(model->isPlaying());
  EXPECT_EQ(screen->events, (Events{"startStreaming", "endLoading"}));
  clock.advance(1.0);
  EXPECT_EQ(screen->times, (std::vector<double>{start + 6}));

  // Played to its end again, the cloud closes it there: the player ends, and the timeline hears
  // it (and hands over to the next recording).
  model->seekToTime(39.0);
  pump();
  sim->updateWorld([&](cloudsim::World& w) { w.closeRecording(openId, w.now); });
  screen->events.clear();
  for (int second = 0; second < 10; ++second) clock.advance(1.0);
  EXPECT_EQ(screen->count("endStreaming"), 1u);
  EXPECT_FALSE(model->isPlaying());
}

TEST_F(PlayerTest, ChoosingASpeedAfterTheEndDoesNotRestartTheTick) {
  playFirstAt(28.0);
  clock.advance(3.0);
  screen->times.clear();
  model->didTapSpeedButtonWithRate(5.0);
  clock.advance(2.0);
  EXPECT_TRUE(screen->times.empty()) << "the axis would be pinned at the recording's end";
  EXPECT_FALSE(model->timer()->isRunning());
}

TEST_F(PlayerTest, TheSameRecordingKeepsItsItemAndAnotherIsHandedOverAtOnce) {
  playFirstAt(5.0);
  auto item = model->cameraStreamerItem();
  model->setRecording(recording(firstId, kStart, kStart + 30));  // same identifier, new object
  EXPECT_EQ(model->cameraStreamerItem(), item);
  model->setRecording(second);
  EXPECT_NE(model->cameraStreamerItem(), item);
  EXPECT_EQ(model->cameraStreamer()->currentItem(), model->cameraStreamerItem());
}

TEST_F(PlayerTest, ASecondRecordingChosenWhileTheFirstPreparesIsTheOneThatPlays) {
  model->setRecording(first);
  model->seekToTime(20.0);
  model->setRecording(second);  // the streamer is still preparing the first
  model->seekToTime(5.0);
  pump();
  ASSERT_TRUE(model->isPlaying());
  EXPECT_EQ(model->cameraStreamer()->currentItem()->recordingId(), secondId);
  EXPECT_DOUBLE_EQ(model->cameraStreamer()->currentTime(), 5.0);
  EXPECT_DOUBLE_EQ(model->cameraStreamer()->currentItem()->duration(), 20.0);
}

TEST_F(PlayerTest, OneFailureIsRetriedSilentlyAndASecondShowsTheErrorOnce) {
  platform::StreamerEnvironment::failNextPreparations(1, nullptr);
  playFirstAt(3.0);
  EXPECT_TRUE(screen->errorToasts.empty());
  EXPECT_EQ(model->numberOfRetriesOnError(), 0);  // playing re-arms the retry

  platform::StreamerEnvironment::failNextPreparations(2, nullptr);
  model->setRecording(second);
  pump();
  EXPECT_EQ(screen->errorToasts, (Events{"The video is not available"}));
  EXPECT_EQ(model->numberOfRetriesOnError(), 0);  // the next failure run is retried silently again
}

// Reaching "playing" starts the failure run afresh, whichever item reaches it: the silent retry
// that played and then failed is retried silently again, not taken for the end of the run.
TEST_F(PlayerTest, ARetryThatReachedPlayingAndFailsIsRetriedSilentlyAgain) {
  platform::StreamerEnvironment::failNextPreparations(2, nullptr);
  model->setRecording(first);
  ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return model->numberOfRetriesOnError() == 1; }));
  // The retry's item reports playing (its preparation's scripted failure is still on its way).
  model->cameraStreamerOnPlaybackStateChanged(model->cameraStreamer(), DKPlaybackStatePlaying);
  EXPECT_EQ(model->numberOfRetriesOnError(), 0);
  pump();
  EXPECT_TRUE(screen->errorToasts.empty());
  EXPECT_TRUE(model->isPlaying()) << "the third preparation plays";
  EXPECT_EQ(model->cameraStreamer()->currentItem()->recordingId(), firstId);
}

TEST_F(PlayerTest, AFailedStreamerStillTakesNewRecordingsAndTheirSeeks) {
  platform::StreamerEnvironment::failNextPreparations(2, nullptr);
  model->setRecording(first);
  pump();
  ASSERT_EQ(model->cameraStreamer()->status(), platform::DKCameraStreamerStatusFailed);
  model->setRecording(second);
  model->seekToTime(4.0);
  pump();
  ASSERT_TRUE(model->isPlaying());
  EXPECT_EQ(model->cameraStreamer()->currentItem()->recordingId(), secondId);
  EXPECT_DOUBLE_EQ(model->cameraStreamer()->currentTime(), 4.0);
}

TEST_F(PlayerTest, PlayOnAFailedStreamerEndsPlaybackAndReplacesTheStreamer) {
  platform::StreamerEnvironment::failNextPreparations(2, nullptr);
  model->setRecording(first);
  pump();
  auto failed = model->cameraStreamer();
  screen->events.clear();
  model->didTapPlayButton();
  EXPECT_EQ(screen->events, (Events{"endStreaming"}));
  EXPECT_NE(model->cameraStreamer(), failed);
  // The old streamer's callbacks change nothing any more.
  const auto before = screen->events;
  model->cameraStreamerOnPlaybackStateChanged(failed, DKPlaybackStatePlaying);
  model->cameraStreamerOnStatusChanged(failed, platform::DKCameraStreamerStatusFailed);
  EXPECT_EQ(screen->events, before);
  EXPECT_TRUE(screen->errorToasts.size() <= 1);
}

TEST_F(PlayerTest, ASeekWithoutARecordingDoesNothing) {
  auto empty = KLPlayerViewModel::initWithCamera(camera, recording(0, kStart, kStart + 30), layer, screen);
  empty->setRecording(recording(0, kStart, kStart + 30));
  EXPECT_TRUE(empty->isReadyToPlay());  // idle streamers are ready
  empty->seekToTime(3.0);
  empty->didTapPlayButton();
  pump();
  EXPECT_EQ(empty->cameraStreamerItem(), nullptr);
  EXPECT_EQ(empty->cameraStreamer()->currentItem(), nullptr);
  EXPECT_TRUE(screen->events.empty());
}

TEST_F(PlayerTest, AUserSnapshotIsSavedAndAStopSnapshotOnlyBecomesThePoster) {
  std::vector<platform::ImagePtr> saved;
  KLPlayerViewModel::setAlbumSaver([&](const platform::ImagePtr& image, std::function<void()> done) {
    saved.push_back(image);
    done();
  });
  playFirstAt(7.0);
  model->didTapTakeSnapshotButton();
  pump();
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0], screen->snapshots.back());
  EXPECT_EQ(screen->infoToasts, (Events{"Snapshot saved"}));

  model->restartStreaming();  // stopPlaying asks for a poster snapshot
  pump();
  EXPECT_EQ(screen->snapshots.size(), 2u);
  EXPECT_EQ(saved.size(), 1u);
  EXPECT_FALSE(model->shouldDisplayTakeSnapshotPopUp());
}

TEST_F(PlayerTest, AViewModelDroppedMidPlaybackGivesTheScreenLockBack) {
  playFirstAt(2.0);
  ASSERT_TRUE(platform::Application::shared().isIdleTimerDisabled());
  model.reset();  // the streamer goes before any "paused" callback
  pump();
  EXPECT_FALSE(platform::Application::shared().isIdleTimerDisabled());
}

TEST_F(PlayerTest, TalkOnALiveCameraWithItsMicrophoneOffExplainsAndEnds) {
  camera->microphone = false;
  auto live = KLPlayerViewModel::initWithCamera(camera, layer, screen);
  live->didTapPushToTalkButtonIsSelected(true);
  EXPECT_EQ(screen->events, (Events{"talkEnded"}));
  EXPECT_EQ(live->cameraStreamer()->audioStreamingState(), platform::DKAudioStreamingStateStopped);

  // With the microphone on, the live view plays and the talk reaches the camera through the cloud.
  camera->microphone = true;
  live->didTapPlayButton();
  pump();
  ASSERT_TRUE(live->isPlaying());
  EXPECT_TRUE(layer->contents());
  live->didTapPushToTalkButtonIsSelected(true);
  pump();
  EXPECT_TRUE(live->isRecordingAudio());
  EXPECT_EQ(screen->events.back(), "talkStarted");
  live->didTapPushToTalkButtonIsSelected(false);
  pump();
  EXPECT_EQ(screen->events.back(), "talkEnded");
  ASSERT_EQ(sim->world().talks.size(), 1u);
  EXPECT_TRUE(sim->world().talks[0].ended);

  // The cloud refuses the next talk: the screen hears of the failure, and nothing is recording.
  sim->addFault(cloudsim::FaultRule::failWith("/media/cameras/" + std::to_string(cameraId) + "/talk", 403));
  live->didTapPushToTalkButtonIsSelected(true);
  pump();
  EXPECT_FALSE(live->isRecordingAudio());
  EXPECT_EQ(screen->events.back(), "talkFailed");
  EXPECT_EQ(sim->world().talks.size(), 1u);

  // Pausing a live view stops its stream.
  live->didTapPlayButton();
  pump();
  EXPECT_FALSE(live->isPlaying());
  EXPECT_FALSE(live->cameraStreamer()->currentItem());
}

TEST_F(PlayerTest, TalkToastsFollowThePlayerTypeAndTheCamerasDuplex) {
  struct Case {
    int type;
    bool fullDuplex;
    const char* started;
    double startedFor;
    const char* stopped;
  };
  const double unending = 2147483648.0;
  const Case cases[] = {
      {PlayerTypeLive, true, "Speak and listen.", unending, "<none>"},
      {PlayerTypeLive, false, "Speak now.", unending, "Listen now."},
      {PlayerTypeLivePhoneMic, true, "Your phone's microphone is on.", 2.0, "Your phone's microphone is muted."},
      {PlayerTypeLivePhoneMic, false, "Your phone's microphone is on.", 2.0, "Your phone's microphone is muted."},
      {PlayerTypeRecording, true, "Your phone's microphone is on.", 2.0, "<none>"},
      {PlayerTypeRecording, false, "Your phone's microphone is on.", 2.0, "Your phone's microphone is muted."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " full duplex " << c.fullDuplex);
    auto talker = std::make_shared<ScreenRecorder>();
    // The talk goes to the camera of what plays, so each player plays first.
    auto player = KLPlayerViewModel::initWithCamera(camera, layer, c.type, talker);
    player->setHasFullDuplexTwoWayAudio(c.fullDuplex);
    if (c.type == PlayerTypeRecording) {
      player->setRecording(first);  // a prepared recording starts at once
    } else {
      player->didTapPlayButton();
    }
    pump();
    talker->events.clear();
    talker->infoToasts.clear();
    talker->infoDurations.clear();
    player->didTapPushToTalkButtonIsSelected(true);
    pump();
    ASSERT_EQ(talker->infoToasts.size(), 1u);
    EXPECT_EQ(talker->infoToasts[0], c.started);
    EXPECT_DOUBLE_EQ(talker->infoDurations[0], c.startedFor);
    player->didTapPushToTalkButtonIsSelected(false);
    pump();
    ASSERT_EQ(talker->infoToasts.size(), 2u);
    EXPECT_EQ(talker->infoToasts[1], c.stopped);
    EXPECT_DOUBLE_EQ(talker->infoDurations[1], 2.0);
    EXPECT_EQ(talker->events, (Events{"talkStarted", "talkEnded"}));
  }
}

TEST_F(PlayerTest, OnlyALiveCameraPlayerRefusesTalkWhenTheCameraMicrophoneIsOff) {
  camera->microphone = false;
  auto live = KLPlayerViewModel::initWithCamera(camera, layer, PlayerTypeLive, screen);
  live->didTapPushToTalkButtonIsSelected(true);
  pump();
  EXPECT_EQ(screen->infoToasts, (Events{"The microphone of your camera is turned off."}));
  EXPECT_FALSE(live->isRecordingAudio());

  // The phone's microphone does the talking here: the camera's does not matter.
  auto phone = std::make_shared<ScreenRecorder>();
  auto phoneMic = KLPlayerViewModel::initWithCamera(camera, layer, PlayerTypeLivePhoneMic, phone);
  phoneMic->didTapPlayButton();
  pump();
  phone->events.clear();
  phoneMic->didTapPushToTalkButtonIsSelected(true);
  pump();
  EXPECT_TRUE(phoneMic->isRecordingAudio());
  EXPECT_EQ(phone->events, (Events{"talkStarted"}));
}

TEST_F(PlayerTest, ThePhoneMicrophonePlayerIsNeverMutedOrUnmutedByTheSpeed) {
  auto mutes = [this] {
    size_t n = 0;
    for (const auto& call : model->cameraStreamer()->callLog()) n += call.rfind("setMuteAudio", 0) == 0;
    return n;
  };
  playFirstAt(2.0);
  size_t before = mutes();
  model->setRate(2.0);
  model->setRate(1.0);
  EXPECT_EQ(mutes(), before + 2) << "the camera's sound follows the speed";

  model->setPlayerType(PlayerTypeLivePhoneMic);
  before = mutes();
  model->setRate(2.0);
  model->setRate(1.0);
  EXPECT_EQ(mutes(), before);
  EXPECT_DOUBLE_EQ(model->rate(), 1.0) << "the speed itself still changes";
}

TEST_F(PlayerTest, TheCameraIsHeardOnlyAt1xWithItsMicrophoneOnAndThePermissionToListen) {
  struct Case {
    const char* name;
    bool microphone, allowed;
    double rate;
    bool muted;       // after playing at `rate`
    bool unmutable;   // whether muteAudio(NO) then lets it be heard
    bool withdrawn = false;  // the permission to listen is taken back while it plays
  };
  const Case cases[] = {
      {"1x, microphone on, allowed", true, true, 1.0, false, true},
      {"5x mutes", true, true, 5.0, true, true},
      {"microphone off", false, true, 1.0, true, false},
      {"no permission to listen", true, false, 1.0, true, false},
      {"microphone off at 5x", false, true, 5.0, true, false},
      // Muted at once, not at the next change of speed or mute.
      {"permission withdrawn while heard", true, true, 1.0, true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    camera->microphone = c.microphone;
    model = KLPlayerViewModel::initWithCamera(camera, nullptr, layer, screen);
    model->setListeningAllowed(c.allowed);
    model->setRecording(first);
    model->setRate(c.rate);
    model->seekToTime(2.0);
    pump();
    ASSERT_TRUE(model->isPlaying());
    if (c.withdrawn) model->setListeningAllowed(false);
    EXPECT_EQ(model->cameraStreamer()->isAudioMuted(), c.muted);
    model->muteAudio(false);
    EXPECT_EQ(model->cameraStreamer()->isAudioMuted(), !c.unmutable && c.muted);
    model->muteAudio(true);
    EXPECT_TRUE(model->cameraStreamer()->isAudioMuted());
  }
}

}  // namespace
}  // namespace dk::test
