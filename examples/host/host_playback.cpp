// The session's playback: the strip scrolled until its axis rests on a recording (the timeline
// hands playback to the embedded player), 5x for a minute, a frame step, a snapshot into the album
// (also written as PNG) and the jump to the next event.
#include <cstdio>
#include <filesystem>
#include <set>

#include "services/kl_camera_roll_album_manager.h"
#include "platform/dispatch/run_loop.h"
#include "platform/graphics/image.h"
#include "platform/media/images/photo_library.h"
#include "platform/ui/table_view.h"
#include "playback_controls.h"
#include "player/kl_player_view_controller.h"
#include "host_session.h"
#include "timeline/embedded_player.h"
#include "timeline/kl_timeline_view_controller.h"

namespace {

dk::KLPlayerViewModelPtr playerModel(const dk::KLTimelineViewController& screen) {
  auto embedded = std::dynamic_pointer_cast<dk::EmbeddedPlayer>(screen.player());
  const auto& player = embedded ? embedded->playerViewController() : nullptr;
  return player ? player->playerViewModel() : nullptr;
}

std::vector<dk::platform::PhotoAsset> albumAssets() {
  auto& photos = *dk::platform::PhotoLibrary::sharedPhotoLibrary();
  std::vector<dk::platform::PhotoAsset> assets;
  for (const auto& album : photos.fetchAlbumsWithTitle(dk::KLCameraRollAlbumManager::albumName())) {
    for (auto& asset : photos.fetchAssetsInAlbum(album)) assets.push_back(std::move(asset));
  }
  return assets;
}

}  // namespace

void HostSession::play() {
  if (!screen_) return;
  // A wider view first, then drags of a third of the strip towards older times until the axis
  // rests on a recording.
  tapButton(screen_->zoomOutButton());
  tapButton(screen_->zoomOutButton());
  auto table = screen_->tableView();
  if (!table) return;
  const auto center = dk::platform::UiTestDriver::centerOf(*table);
  const double third = table->bounds().size.height / 3;
  for (int i = 0; i < 24 && !screen_->playingRecording(); ++i) {
    driver_->drag({center.x, center.y - third / 2}, {center.x, center.y + third / 2}, 0.4);
    driver_->settle();
    driver_->advance(0.5);
  }
  const bool ready = waitUntil([&] {
    auto model = playerModel(*screen_);
    return model && model->isReadyToPlay() && model->cameraStreamer()->currentFrame() != nullptr;
  }, 60);
  driver_->advance(1.0);
  picture("playing", ready ? "dragged the strip onto a recording" : "the recording did not start");
  if (!ready) return;
  driver_->advance(4.0);  // five seconds at 1x, with the camera's sound

  auto controls = makePlaybackControls(screen_, *driver_);
  const std::string how = controls->chooseSpeed(5.0);
  driver_->advance(60.0);
  picture("played_5x", "played at 5x for a minute (" + how + ")");
  if (auto model = playerModel(*screen_)) {
    model->cameraStreamer()->finishSoundWrites();
    const bool microphone = model->camera() && model->camera()->microphoneEnabled();
    std::printf("  sound: %s (the camera's microphone %s, listening %s)\n",
                model->cameraStreamer()->isAudioMuted() ? "muted at 5x" : "not muted at 5x", microphone ? "on" : "off",
                model->isListeningAllowed() ? "allowed" : "not allowed");
  }
  describeSound("since the first screen");

  picture("paused", controls->pause());
  picture("frame_step", controls->stepFrame(true));

  std::set<std::filesystem::path> before;
  for (const auto& asset : albumAssets()) before.insert(asset.file);
  const std::string snapshot = controls->takeSnapshot();
  waitUntil([&] {
    dk::platform::PhotoLibrary::sharedPhotoLibrary()->queue()->sync([] {});
    return albumAssets().size() > before.size();
  }, 10);
  driver_->advance(0.5);
  picture("snapshot", snapshot);
  const auto assets = albumAssets();
  // The image the snapshot added (assets come in name order, not in order of arrival).
  const dk::platform::PhotoAsset* added = nullptr;
  for (const auto& asset : assets) {
    if (!before.count(asset.file)) added = &asset;
  }
  if (added) {
    const auto& saved = *added;
    char file[64];
    std::snprintf(file, sizeof file, "%02d_snapshot_image.png", ++pictures_);
    auto image = dk::platform::Image::fromFile(saved.file.string());
    if (image && image->writePNG((pictures_dir_ / file).string())) {
      std::printf("  %s  the snapshot the album holds (a %s file in %s), %.0fx%.0f\n", file,
                  saved.file.extension().string().c_str(), saved.file.parent_path().string().c_str(),
                  image->size().width, image->size().height);
    }
  } else {
    std::printf("  the snapshot did not reach the album\n");
  }
  driver_->advance(2.0);

  const std::string jump = controls->nextEvent();
  driver_->settle();
  driver_->advance(1.0);
  picture("next_event", jump);
}
