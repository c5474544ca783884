#include "host_session.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "cloud-sim/cloud_sim.h"
#include "cloud-sim/live_changes.h"
#include "services/kl_camera_roll_album_manager.h"
#include "foundation/date_formatting.h"
#include "live/kl_data_manager.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/bundle.h"
#include "platform/media/images/photo_library.h"
#include "platform/ui/alert_controller.h"
#include "platform/ui/document_interaction_controller.h"
#include "platform/ui/render.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"
#include "services/kl_download_manager.h"
#include "timeline/dk_chrono_kit.h"
#include "timeline/kl_timeline_table_view_cell.h"
#include "timeline/timeline_event_adapter.h"

namespace {

using dk::platform::MainRunLoop;

// The sheet's titles are the framework's own texts.
std::string frameworkText(const std::string& key) {
  return dk::platform::Bundle::withIdentifier(dk::kFrameworkBundleIdentifier)->localizedString(key, key);
}

std::string eventText(const dk::KLEventResponse& event) {
  return "event " + std::to_string(event.eventID().value_or(0)) + " (" + event.type().value_or("?") + " at " +
         dk::stringDateIn24HFormatFromDate(event.timestamp().value_or(0), "dd MMM HH:mm:ss") + ")";
}

}  // namespace

HostSession::HostSession(std::filesystem::path pictures, dk::cloudsim::CloudSim* cloud)
    : pictures_dir_(std::move(pictures)), cloud_(cloud) {
  // The host application's own window and root screen.
  window_ = std::make_shared<dk::platform::Window>();
  window_->setRootViewController(std::make_shared<dk::platform::ViewController>());
  window_->makeKeyAndVisible();
  driver_ = std::make_unique<dk::platform::UiTestDriver>(window_);
  driver_->pump();
}

HostSession::~HostSession() {
  // The screens go with what is queued for them; a call still in flight to a cloud that stopped
  // answering is not waited for (on the real clock its deadline is minutes away).
  event_.reset();
  screen_.reset();
  MainRunLoop::runUntilIdle(kLeaveSeconds);
  window_->setRootViewController(nullptr);
  MainRunLoop::runUntilIdle(kLeaveSeconds);
}

void letTimePass(double seconds) {
  if (auto* manual = dynamic_cast<dk::platform::ManualClock*>(&dk::platform::clock())) {
    manual->advance(seconds);
  } else {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  }
}

bool HostSession::waitUntil(const std::function<bool()>& pred, double seconds) {
  // Frame by frame, pred() checked after every batch of tasks (the driver's own steps would run
  // whole exchanges with the cloud unobserved).
  const double end = dk::platform::now() + seconds;
  while (!MainRunLoop::runUntil(pred)) {
    if (dk::platform::now() >= end) return false;
    letTimePass(dk::platform::UiTestDriver::kFrame);
  }
  return true;
}

void HostSession::waitForTheCloud(const std::function<bool()>& pred, double seconds) {
  // Real time, the manual clock standing still: what the screen shows meanwhile does not move.
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!pred() && std::chrono::steady_clock::now() < end) {
    MainRunLoop::runPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

ScreenState HostSession::state() const { return ScreenState::read(*window_, screen_); }

void HostSession::picture(const std::string& name, const std::string& step) {
  char file[160];
  std::snprintf(file, sizeof file, "%02d_%s.png", ++pictures_, name.c_str());
  const auto path = pictures_dir_ / file;
  std::string error;
  if (!dk::platform::writeViewPNG(*window_, path.string(), 2, &error)) {
    std::printf("  %s: not written (%s)\n", file, error.c_str());
    return;
  }
  std::printf("  %s  %s: %s\n", file, step.c_str(), state().describe().c_str());
  std::fflush(stdout);
}

void HostSession::tapButton(const std::shared_ptr<dk::platform::View>& button) {
  if (!button) return;
  driver_->tap(*button);
  driver_->settle();
  driver_->advance(0.5);
}

std::optional<std::string> HostSession::present(const std::string& token, int64_t camera) {
  camera_ = camera;
  kit_ = dk::DKChronoKit::create(token, camera_, window_->rootViewController());
  kit_->present();
  screen_ = dk::DKChronoKit::presentedTimeline();
  if (!screen_) return "the timeline screen was not presented";
  auto data = dk::KLDataManager::sharedInstance();
  auto events = data->eventManager();
  // The whole history: every event page, and the recordings on the strip.
  auto eventsLoaded = [&] { return events->eventsFinishedLoadingForCameraIDs({camera_}); };
  auto recordingsShown = [&] { return screen_->dataSource() && !screen_->dataSource()->allTimelineRecordings().empty(); };
  auto eventsShown = [&] {
    return screen_->dataSource() &&
           screen_->dataSource()->allTimelineEvents().size() == events->numberOfEventsForCameraID(camera_);
  };
  const bool loaded = waitUntil([&] { return eventsLoaded() && recordingsShown() && eventsShown(); }, 120);
  // The throttled reload and the thumbnails of the rows on screen.
  driver_->advance(2.0);
  if (loaded) return std::nullopt;
  if (!eventsLoaded()) return "the events did not finish loading";
  if (!recordingsShown()) return "no recording arrived";
  return "the strip does not show every event";
}

void HostSession::showFailure(const std::string& title, const std::string& message) {
  auto top = window_->rootViewController();
  while (top && top->presentedViewController()) top = top->presentedViewController();
  if (top) {
    auto alert = dk::platform::AlertController::make(title, message, dk::platform::AlertController::Style::Alert);
    alert->addAction(dk::platform::AlertAction::make("OK", dk::platform::AlertAction::Style::Cancel));
    top->presentViewController(alert, false);
    driver_->pump();
  }
  picture("failed", title);
}

void HostSession::browse() {
  picture("first_screen", "first screen");

  // One day back: the row left of today in the date strip.
  if (auto strip = screen_->dayPickerView()) {
    const auto center = dk::platform::UiTestDriver::centerOf(*strip);
    driver_->tap(dk::platform::Point{center.x - strip->frame().size.width / 3, center.y});
    driver_->settle();
    driver_->advance(1.0);
  }
  picture("day_back", "tapped yesterday in the date strip");

  tapButton(screen_->zoomInButton());
  tapButton(screen_->zoomInButton());
  picture("zoomed_in", "tapped zoom in twice");

  tapButton(screen_->calendarButton());
  picture("calendar", "opened the calendar");
  // The oldest day of the last week that has recordings.
  const double today = dk::platform::now();
  for (int back = 7; back >= 2; --back) {
    const double day = today - back * 86400.0;
    auto cell = screen_->calendar() ? screen_->calendar()->cellForDate(day) : nullptr;
    if (!cell || !screen_->areRecordingsAvailableForDate(day)) continue;
    tapButton(cell);
    driver_->advance(1.0);
    break;
  }
  picture("day_picked", "picked a day in the calendar");

  if (!openActionSheetOnEvent(true)) {
    std::printf("  no event with an action button came on screen\n");
    return;
  }
  picture("action_sheet", "tapped an event's thumbnail, then its action button");

  // Download: the progress ring, then the clip in the documents folder and the album.
  auto& photos = *dk::platform::PhotoLibrary::sharedPhotoLibrary();
  // The progress shows while the clip is on its way. With the embedded cloud the clip's reply
  // waits on the server until the picture is taken, so that every run shows the same thing
  // however fast the bytes would have come.
  int held = -1;
  if (cloud_) {
    auto rule = dk::cloudsim::FaultRule::hold("/media/clips/");
    rule.prefix = true;
    held = cloud_->addFault(rule);
  }
  tapSheetAction("Download", false);
  waitUntil([&] {
    if (auto event = eventInDownload(); event && !event_) event_ = event;
    return event_ != nullptr;
  });
  if (cloud_) {
    waitForTheCloud([&] { return cloud_->heldCount() > 0; });
    // The sheet goes and the row redraws, frame by frame: the driver's own steps would wait for
    // the held reply.
    auto clock = std::dynamic_pointer_cast<dk::platform::ManualClock>(dk::platform::currentClock());
    for (int frame = 0; clock && frame < 30; ++frame) {
      clock->advance(dk::platform::UiTestDriver::kFrame);
      MainRunLoop::runPending();
    }
  }
  if (event_ && !dk::KLDownloadManager::isVideoDownloadedForEvent(event_)) {
    picture("downloading", "downloading " + eventText(*event_));
  }
  if (cloud_) {
    cloud_->release(held);
    cloud_->removeFault(held);
  }
  waitUntil([&] { return event_ && dk::KLDownloadManager::isVideoDownloadedForEvent(event_); });
  driver_->advance(1.5);
  if (!event_ || !dk::KLDownloadManager::isVideoDownloadedForEvent(event_)) {
    picture("download_failed", "the download did not finish");
    return;
  }
  picture("downloaded", "downloaded " + eventText(*event_));
  const auto clip = dk::KLDownloadManager::getURLForEvent(event_);
  std::printf("    clip file %s\n", clip ? clip->string().c_str() : "-");
  for (const auto& album : photos.fetchAlbumsWithTitle(dk::KLCameraRollAlbumManager::albumName())) {
    for (const auto& asset : photos.fetchAssetsInAlbum(album)) {
      // The album names its files afresh each run: the folder and the kind say what was saved.
      std::printf("    album \"%s\": a %s file in %s\n", album.title.c_str(), asset.file.extension().string().c_str(),
                  asset.file.parent_path().string().c_str());
    }
  }

  // Share the downloaded clip.
  if (openActionSheetOnEvent(false) && tapSheetAction("Share")) {
    picture("share_menu", "chose Share for " + eventText(*event_));
    if (const auto& menu = screen_->documentInteractionController()) menu->dismissMenu(true);
  }

  // Delete it, confirming in the pop-up.
  const auto doomed = event_->eventID();
  if (openActionSheetOnEvent(false) && tapSheetAction("Delete")) {
    picture("delete_pop_up", "chose Delete for " + eventText(*event_));
    tapButton(window_->viewWithAccessibilityIdentifier("pop_up_view_button_1"));
    auto events = dk::KLDataManager::sharedInstance()->eventManager();
    waitUntil([&] {
      for (const auto& e : events->eventsForCameraIDs({camera_})) {
        if (e->eventID() == doomed) return false;
      }
      return true;
    });
    driver_->advance(1.5);
    picture("deleted", "confirmed the deletion of event " + std::to_string(doomed.value_or(0)));
  }

  // Someone rings the doorbell while the timeline is open.
  if (cloud_) {
    const auto before = dk::KLDataManager::sharedInstance()->eventManager()->numberOfEventsForCameraID(camera_);
    const auto message = dk::cloudsim::addLiveEvent(*cloud_, camera_, dk::platform::now(), "doorbellPressed");
    waitUntil([&] {
      return dk::KLDataManager::sharedInstance()->eventManager()->numberOfEventsForCameraID(camera_) > before;
    }, 30);
    driver_->advance(1.5);
    picture("live_event", "the cloud recorded event " + std::to_string(message.id) + " (doorbellPressed)");
  }
}

std::shared_ptr<dk::KLEventResponse> HostSession::eventInDownload() const {
  const auto& source = screen_->dataSource();
  if (!source) return nullptr;
  for (const auto& item : source->allTimelineEvents()) {
    auto event = dk::underlyingEvent(*item);
    if (event && event->downloadProgress().value_or(0) > 0) return event;
  }
  return nullptr;
}

bool HostSession::openActionSheetOnEvent(bool tapThumbnailFirst) {
  auto table = screen_->tableView();
  if (!table) return false;
  for (int attempt = 0; attempt < 6; ++attempt) {
    std::shared_ptr<dk::KLTimelineTableViewCell> card;
    for (const auto& c : table->visibleCells()) {
      auto cell = std::dynamic_pointer_cast<dk::KLTimelineTableViewCell>(c);
      if (cell && isShownOnScreen(cell->eventAction())) {
        card = cell;
        break;
      }
    }
    if (card) {
      if (tapThumbnailFirst) {
        tapButton(card->eventThumbnail());
        driver_->advance(1.0);
        tapThumbnailFirst = false;
        continue;  // the strip moved: look for the card again
      }
      tapButton(card->eventAction());
      return !state().sheetActions.empty();
    }
    // No event on screen: the arrow to the nearest one.
    if (isShownOnScreen(screen_->nextEventButton())) tapButton(screen_->nextEventButton());
    else if (isShownOnScreen(screen_->prevEventButton())) tapButton(screen_->prevEventButton());
    else return false;
    driver_->advance(1.0);
  }
  return false;
}

bool HostSession::tapSheetAction(const std::string& title, bool settle) {
  for (auto c = window_->rootViewController(); c; c = c->presentedViewController()) {
    auto sheet = std::dynamic_pointer_cast<dk::platform::AlertController>(c);
    if (!sheet) continue;
    for (const auto& action : sheet->actions()) {
      if (action->title() != frameworkText(title)) continue;
      if (!settle) {
        driver_->tap(*sheet->buttonForAction(*action));
        return true;
      }
      tapButton(sheet->buttonForAction(*action));
      driver_->advance(0.5);
      return true;
    }
  }
  return false;
}

void HostSession::close() {
  if (!screen_) return;
  tapButton(screen_->closeButton());
  driver_->advance(1.0);
  screen_.reset();
}
