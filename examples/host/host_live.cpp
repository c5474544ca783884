// The session's live view: the portrait player for the camera live, push-to-talk pressed and
// released (the cloud says what audio it got), the camera's sound muted for a second, then the
// landscape player, and what was heard. The camera's clock (the
// cloud's "now") moves on with ours, so the live view keeps getting new video.
#include <cstdio>

#include "live/kl_data_manager.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/ui/device.h"
#include "platform/ui/render.h"
#include "platform/ui/window.h"
#include "player/kl_player_view_controller.h"
#include "player/kl_player_view_model.h"
#include "player/player_adapters.h"
#include "host_session.h"
#include "services/kl_device_keeper.h"
#include "cloud_sim.h"

namespace {

// The host's own screen that shows the player; it follows what the player tells it.
struct LiveHostScreen : dk::platform::ViewController, dk::PlayerViewControllerDelegate {
  void playerPreviousEventWasUpdated() override {}
  void playerNextEventWasUpdated() override {}
};

}  // namespace

void HostSession::live() {
  auto camera = dk::KLDataManager::sharedInstance()->deviceKeeper()->cameraWithID(camera_);
  if (!camera) {
    std::printf("  the camera is not known: no live view\n");
    return;
  }
  describeSound(nullptr);  // what the recordings' players wrote is told already
  auto host = std::make_shared<LiveHostScreen>();
  window_->setRootViewController(host);
  driver_->pump();
  auto player = std::make_shared<dk::KLPlayerViewController>();
  player->initWithCamera(dk::CameraPlayerAdapter::make(camera),
                         std::static_pointer_cast<dk::PlayerViewControllerDelegate>(host));
  host->addChildViewController(player);
  const double width = host->view()->bounds().size.width;
  auto container = std::make_shared<dk::platform::View>(dk::platform::Rect{0, 120, width, width * 9 / 16});
  host->view()->addSubview(container);
  container->addSubview(player->view());
  player->didMoveToParentViewController(host.get());
  player->viewWillAppear(false);
  player->viewDidAppear(false);
  player->setHasPushAudioCapability(true);
  driver_->pump();

  // The camera goes on recording while we watch.
  auto secondsPass = [&](double seconds) {
    if (cloud_) cloud_->updateWorld([&](dk::cloudsim::World& w) { w.now += seconds; });
    driver_->advance(seconds);
  };
  auto model = player->playerViewModel();
  // The person taps the video: the live overlay's play button starts the live view.
  player->handleExternalAction(dk::PlayerExternalActionPlay);
  const double asked = dk::platform::now();
  const bool playing = waitUntil([&] { return model->isPlaying() && model->cameraStreamer()->currentFrame(); }, 10);
  std::printf("  live video after %.2f s of %s time\n", dk::platform::now() - asked,
              dynamic_cast<dk::platform::ManualClock*>(&dk::platform::clock()) ? "virtual" : "real");
  secondsPass(1.0);
  picture("live_portrait", playing ? "opened the camera live" : "the live view did not start");
  if (!playing) return;

  player->handleExternalAction(dk::PlayerExternalActionTogglePushToTalk);
  waitUntil([&] { return model->isRecordingAudio() && model->cameraStreamer()->audioStreamingState() == 2; }, 10);
  secondsPass(2.0);
  picture("push_to_talk", "pressed push-to-talk and spoke for two seconds");
  player->handleExternalAction(dk::PlayerExternalActionTogglePushToTalk);
  waitUntil([&] { return !model->isRecordingAudio(); }, 10);
  if (cloud_ && !cloud_->world().talks.empty()) {
    const auto talk = cloud_->world().talks.back();
    std::printf("  the cloud got %.2f s of audio at %.0f Hz for camera #%lld (%s)\n", talk.seconds(), talk.toneHz,
                static_cast<long long>(talk.cameraId), talk.ended ? "ended" : "still open");
  }
  secondsPass(1.0);

  // The person mutes the camera's sound for a second.
  player->handleExternalAction(dk::PlayerExternalActionMuteAudio);
  secondsPass(1.0);
  player->handleExternalAction(dk::PlayerExternalActionUnmuteAudio);
  secondsPass(1.0);

  // The phone turns sideways while the live video plays: the landscape player takes it over.
  driver_->rotate(dk::platform::DeviceOrientation::LandscapeRight);
  secondsPass(1.0);
  if (auto landscape = player->landscapeViewController()) {
    char file[64];
    std::snprintf(file, sizeof file, "%02d_live_landscape.png", ++pictures_);
    std::string error;
    if (dk::platform::writeViewPNG(*landscape->view(), (pictures_dir_ / file).string(), 2, &error)) {
      std::printf("  %s  turned the phone: the live view full screen, %s\n", file,
                  model->isPlaying() ? "playing" : "not playing");
    } else {
      std::printf("  %s: not written (%s)\n", file, error.c_str());
    }
    driver_->rotate(dk::platform::DeviceOrientation::Portrait);
    secondsPass(1.0);
  } else {
    std::printf("  the landscape player did not open\n");
  }
  const std::string silent = model->cameraStreamer()->soundSilenceReason();
  std::printf("  live sound: %s (muted for a second after the talk)\n", silent.empty() ? "played" : silent.c_str());
  player->handleExternalAction(dk::PlayerExternalActionPause);  // pausing a live view ends its stream
  driver_->settle();
  model->cameraStreamer()->finishSoundWrites();
  describeSound("in the live view");
  player->removeFromParentViewController();
  window_->setRootViewController(std::make_shared<dk::platform::ViewController>());
  driver_->pump();
}
