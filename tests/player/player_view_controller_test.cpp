// The player screen as a person and its client see it: taps on the video, zoom, loading reports,
// toasts, capabilities, the overlay following the recording, snapshots, and a client that went.
#include "platform/foundation/notification_center.h"
#include "platform/media/images/image_response.h"
#include "platform/ui/ui_test_driver.h"
#include "platform/ui/window.h"
#include "platform/ui/label.h"
#include "player/kl_player_recordings_portrait_controls.h"
#include "player/kl_player_view_controller.h"
#include "player_fixture.h"

namespace dk::test {
namespace {

using Calls = std::vector<std::string>;

struct Client : PlayerViewControllerDelegate {
  Calls calls;
  std::vector<double> times;
  bool respondsToSelector(std::string_view) const override { return true; }
  void playerTimeDidChangeToTime(double time) override { times.push_back(time); }
  void playerPreviousEventWasUpdated() override { calls.push_back("previousEvent"); }
  void playerNextEventWasUpdated() override { calls.push_back("nextEvent"); }
  void playerDidStartPlaying(PlayerViewControllerInterface&) override { calls.push_back("startPlaying"); }
  void playerDidPausePlaying(PlayerViewControllerInterface&) override { calls.push_back("pausePlaying"); }
  void playerDidEndPlaying(PlayerViewControllerInterface&) override { calls.push_back("endPlaying"); }
  void playerDidStartLoading(PlayerViewControllerInterface&) override { calls.push_back("startLoading"); }
  void playerDidEndLoading(PlayerViewControllerInterface&) override { calls.push_back("endLoading"); }
  size_t count(const std::string& c) const { return std::count(calls.begin(), calls.end(), c); }
};

class PlayerScreenTest : public PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    platform::resetUiForTesting();
    player = std::make_shared<KLPlayerViewController>();
    player->initWithCamera(camera, first, client);
    window = std::make_shared<platform::Window>();
    window->setRootViewController(player);
    window->makeKeyAndVisible();
    pump();
  }
  void TearDown() override {
    window.reset();
    player.reset();
    pump();
    platform::resetUiForTesting();
    PlayerTest::TearDown();
  }
  platform::UiTestDriver driver() { return platform::UiTestDriver(window); }
  platform::Point videoPoint() const { return {300, 60}; }  // on the video, off every control
  size_t toasts() const {
    size_t n = 0;
    for (const auto& v : player->toastView()->subviews()) n += v->accessibilityIdentifier() == platform::kToastIdentifier;
    return n;
  }
  std::string toastText() const {
    for (const auto& v : player->toastView()->subviews()) {
      if (auto label = std::dynamic_pointer_cast<platform::Label>(v->subviews().front())) return label->text();
    }
    return {};
  }

  std::shared_ptr<Client> client = std::make_shared<Client>();
  std::shared_ptr<KLPlayerViewController> player;
  std::shared_ptr<platform::Window> window;
};

TEST_F(PlayerScreenTest, AScrolledToRecordingPlaysAndTheClientFollowsItsTime) {
  player->seekToTime(8.0);
  pump();
  ASSERT_TRUE(player->playerViewModel()->isPlaying());
  EXPECT_EQ(client->count("startPlaying"), 1u);
  EXPECT_FALSE(player->isLoading());
  clock.advance(1.0);
  ASSERT_FALSE(client->times.empty());
  EXPECT_DOUBLE_EQ(client->times.back(), kStart + 9.0);
  EXPECT_TRUE(player->playerLayer()->contents());  // a real frame is on screen
}

TEST_F(PlayerScreenTest, ATapOnTheVideoPlaysWhilePausedAndTogglesTheControlsWhilePlaying) {
  pump();
  player->playerViewModel()->didTapPlayButton();  // pause what started on its own
  pump();
  ASSERT_FALSE(player->playerViewModel()->isPlaying());
  driver().tap(videoPoint());
  driver().advance(0.5);
  EXPECT_TRUE(player->playerViewModel()->isPlaying());
  auto overlay = std::dynamic_pointer_cast<KLPlayerControls>(player->playerControls());
  ASSERT_TRUE(overlay);
  EXPECT_TRUE(overlay->controlsView()->areSubviewsHidden());
  driver().tap(videoPoint());
  driver().advance(0.5);
  EXPECT_FALSE(overlay->controlsView()->areSubviewsHidden());
}

TEST_F(PlayerScreenTest, DoubleTapsZoomOnlyWhilePlayingAndPinchesStayBetweenOneAndFour) {
  player->playerViewModel()->didTapPlayButton();
  pump();
  ASSERT_FALSE(player->playerViewModel()->isPlaying());
  player->doubleTap(*player->doubleTapRecognizer());
  EXPECT_DOUBLE_EQ(player->zoomScaleValue(), 1.0);
  player->playerViewModel()->didTapPlayButton();
  pump();
  driver().tap(videoPoint(), 2);
  driver().advance(1.0);
  EXPECT_DOUBLE_EQ(player->zoomScaleValue(), 2.0);
  EXPECT_NEAR(player->scrollView()->zoomScale(), 2.0, 1e-6);
  driver().tap(videoPoint(), 2);
  driver().advance(1.0);
  EXPECT_DOUBLE_EQ(player->zoomScaleValue(), 1.0);

  player->scrollViewDidEndZooming(*player->scrollView(), nullptr, 0.8);
  EXPECT_DOUBLE_EQ(player->zoomScaleValue(), 1.0);
  player->scrollViewDidEndZooming(*player->scrollView(), nullptr, 5.0);
  EXPECT_DOUBLE_EQ(player->zoomScaleValue(), 4.0);
}

TEST_F(PlayerScreenTest, LoadingIsReportedOncePerStartAndEveryStop) {
  client->calls.clear();
  player->stopLoading();
  EXPECT_EQ(client->calls, (Calls{"endLoading"}));
  player->startLoading();
  player->startLoading();
  EXPECT_EQ(client->count("startLoading"), 1u);
  EXPECT_TRUE(player->loadingImageView()->isAnimating());
  EXPECT_EQ(player->loadingImageView()->animationImages().size(), 90u);
  player->stopLoading();
  EXPECT_TRUE(player->loadingImageView()->isHidden());
}

TEST_F(PlayerScreenTest, ARecordingPlayerHasNoLiveCapabilities) {
  player->setHasPanTiltCapability(true);
  player->setHasZoomCapability(true);
  player->setHasPushAudioCapability(true);
  EXPECT_FALSE(player->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityPanTilt));
  EXPECT_FALSE(player->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityZoom));
  EXPECT_FALSE(player->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityPushAudio));
  EXPECT_FALSE(player->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityRecordingAudio));
  EXPECT_TRUE(player->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityFullDuplexTwoWayAudio));
  EXPECT_FALSE(player->shouldDisplayButtonForPlaybackCapability(7));
  for (int c : {0, 1, 4, 5, 6, 9}) EXPECT_FALSE(player->shouldEnableButtonForPlaybackCapability(c)) << c;
}

TEST_F(PlayerScreenTest, TheStatusBarChangesWithoutAnAnimationOfItsOwn) {
  const platform::ViewController& screen = *player;
  EXPECT_EQ(screen.preferredStatusBarUpdateAnimation(), platform::StatusBarAnimation::None);
}

TEST_F(PlayerScreenTest, ActionsOutsideTheTableAndUnmutingWithoutAMicrophoneDoNothing) {
  camera->microphone = false;
  pump();
  const auto before = player->playerViewModel()->cameraStreamer()->callLog();
  player->handleExternalAction(13);
  player->handleExternalAction(-1);
  player->handleExternalAction(PlayerExternalActionUnmuteAudio);
  EXPECT_EQ(player->playerViewModel()->cameraStreamer()->callLog(), before);
  player->handleExternalAction(PlayerExternalActionMuteAudio);
  EXPECT_EQ(player->playerViewModel()->cameraStreamer()->callLog().back(), "setMuteAudio:1");
}

TEST_F(PlayerScreenTest, TheOverlayFollowsTheRecordingAndTheEventButtonsTheClient) {
  pump();
  auto overlay = std::dynamic_pointer_cast<KLPlayerRecordingsPortraitControls>(player->playerControls());
  ASSERT_TRUE(overlay);
  EXPECT_TRUE(overlay->previousEventButton()->isHidden());
  player->setHasPreviousEvent(true);
  EXPECT_FALSE(overlay->previousEventButton()->isHidden());
  player->setRecording(nullptr);
  EXPECT_TRUE(overlay->isHidden());
  player->setRecording(second);
  EXPECT_FALSE(overlay->isHidden());
  player->didTapPreviousEventButton();
  EXPECT_EQ(client->count("previousEvent"), 1u);
}

TEST_F(PlayerScreenTest, ASecondFailureShowsTheErrorToastForFiveSecondsAndEndsPlayback) {
  platform::StreamerEnvironment::failNextPreparations(2, nullptr);
  player->setRecording(second);
  pump();
  EXPECT_EQ(toasts(), 1u);
  EXPECT_EQ(toastText(), "The video is not available");
  EXPECT_GE(client->count("endPlaying"), 1u);
  EXPECT_FALSE(player->isLoading());
  clock.advance(4.9);
  EXPECT_EQ(toasts(), 1u);
  clock.advance(0.2);  // shown for its five seconds, then fading
  clock.advance(0.3);
  EXPECT_EQ(toasts(), 0u);
}

TEST_F(PlayerScreenTest, ASnapshotIsAnnouncedWithItsCameraAndBecomesThePoster) {
  pump();
  platform::Notification heard;
  auto token = platform::NotificationCenter::defaultCenter().addObserver(
      kNewSnapshotDownloadedNotification, [&](const platform::Notification& n) { heard = n; });
  player->playerViewModel()->didTapTakeSnapshotButton();
  pump();
  ASSERT_EQ(heard.name, kNewSnapshotDownloadedNotification);
  EXPECT_EQ(heard.userInfo.at("cameraId").integerValue(), cameraId);
  auto image = heard.userInfo.at(kLastSnapshotSavedNotification).objectAs<platform::ImageObject>();
  ASSERT_TRUE(image);
  EXPECT_EQ(player->cameraImage(), image->image());
  EXPECT_EQ(player->cameraImageView()->image(), image->image());
  player->setCameraImage(nullptr);  // a missing picture keeps the poster
  EXPECT_EQ(player->cameraImage(), image->image());
}

TEST_F(PlayerScreenTest, AClientThatWentHearsNothingAndBreaksNothing) {
  pump();
  client.reset();
  player->playerViewModel()->didTapPlayButton();
  pump();
  player->didTapNextEventButton();
  player->stopLoading();
  clock.advance(2.0);
  EXPECT_FALSE(player->playerViewModel()->isPlaying());
}

// A live screen of the given type in place of the recording player.
std::shared_ptr<KLPlayerViewController> showLive(const std::shared_ptr<platform::Window>& window,
                                                 const std::shared_ptr<TestCamera>& camera, int type,
                                                 const std::shared_ptr<Client>& client) {
  auto live = std::make_shared<KLPlayerViewController>();
  live->initWithCamera(camera, type, client);
  window->setRootViewController(live);
  EXPECT_TRUE(platform::MainRunLoop::runUntilIdle());
  return live;
}

std::vector<std::string> toastTexts(const KLPlayerViewController& screen) {
  std::vector<std::string> out;
  for (const auto& v : screen.toastView()->subviews()) {
    if (v->accessibilityIdentifier() != platform::kToastIdentifier) continue;
    if (auto label = std::dynamic_pointer_cast<platform::Label>(v->subviews().front())) out.push_back(label->text());
  }
  return out;
}

TEST_F(PlayerScreenTest, APhoneMicrophonePlayerOffersTalkWhenTheCameraHasAMicrophoneEvenBeforePlaying) {
  auto phone = showLive(window, camera, PlayerTypeLivePhoneMic, client);
  phone->setHasPushAudioCapability(true);
  phone->setHasPanTiltCapability(true);
  phone->setHasZoomCapability(true);
  EXPECT_TRUE(phone->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityPushAudio));
  EXPECT_FALSE(phone->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityPanTilt));
  EXPECT_FALSE(phone->shouldDisplayButtonForPlaybackCapability(PlayerPlaybackCapabilityZoom));
  ASSERT_FALSE(phone->playerViewModel()->isPlaying());
  EXPECT_TRUE(phone->shouldEnableButtonForPlaybackCapability(PlayerPlaybackCapabilityPushAudio));
  camera->microphone = false;
  EXPECT_FALSE(phone->shouldEnableButtonForPlaybackCapability(PlayerPlaybackCapabilityPushAudio));

  camera->microphone = true;
  auto live = showLive(window, camera, PlayerTypeLive, client);
  live->setHasPushAudioCapability(true);
  ASSERT_FALSE(live->playerViewModel()->isPlaying());
  EXPECT_FALSE(live->shouldEnableButtonForPlaybackCapability(PlayerPlaybackCapabilityPushAudio))
      << "the camera's own talk waits for its stream";
}

TEST_F(PlayerScreenTest, ThePhoneMicrophoneToastGoesAfterTwoSecondsWhileTheCamerasTalkToastStays) {
  auto phone = showLive(window, camera, PlayerTypeLivePhoneMic, client);
  phone->playerViewModel()->didTapPlayButton();  // the talk goes to the camera of what plays
  pump();
  phone->playerViewModel()->didTapPushToTalkButtonIsSelected(true);
  pump();
  EXPECT_TRUE(phone->isRecordingAudio());
  EXPECT_EQ(toastTexts(*phone), (std::vector<std::string>{"Your phone's microphone is on."}));
  clock.advance(1.9);
  EXPECT_EQ(toastTexts(*phone).size(), 1u);
  clock.advance(0.2);  // its two seconds are up: it fades
  clock.advance(0.3);
  EXPECT_TRUE(toastTexts(*phone).empty());
  phone->playerViewModel()->didTapPushToTalkButtonIsSelected(false);
  pump();
  EXPECT_FALSE(phone->isRecordingAudio());
  EXPECT_EQ(toastTexts(*phone), (std::vector<std::string>{"Your phone's microphone is muted."}));

  auto live = showLive(window, camera, PlayerTypeLive, client);
  live->playerViewModel()->didTapPlayButton();
  pump();
  live->playerViewModel()->didTapPushToTalkButtonIsSelected(true);
  pump();
  clock.advance(600);
  pump();
  EXPECT_EQ(toastTexts(*live), (std::vector<std::string>{"Speak and listen."}));
}

}  // namespace
}  // namespace dk::test
