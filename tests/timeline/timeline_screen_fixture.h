// Shared set-up for the timeline screen and facade tests: the base screens' fixture, the managers
// behind a scripted cloud that refuses every request (the tests put data into the caches
// themselves), settings in a home of the test's own, and a player that records what it is told.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "live/kl_data_manager.h"
#include "platform/dispatch/run_loop.h"
#include "platform/ui/main_thread.h"
#include "services/scripted_executor.h"
#include "support/temp_directory.h"
#include "timeline/dk_chrono_kit.h"
#include "timeline/kl_timeline_view_controller.h"
#include "timeline_test_items.h"
#include "ui/screen_test_support.h"

namespace dk::test {

inline constexpr int64_t kCamera = 7;

// The facade holds the timeline it presented for the life of the process, observing the
// application's notifications (going to the background starts its task); a test lets it go as
// the facade does when the timeline is dismissed, so that the next test starts without it.
inline void letGoOfThePresentedTimeline() {
  if (auto screen = DKChronoKit::presentedTimeline()) {
    DKChronoKit::create(std::nullopt, std::nullopt, nullptr)->didDismissTimeline(screen);
  }
}

class RecordingPlayer : public TimelinePlayer {
 public:
  std::vector<std::string> log;
  bool playing = true;
  bool landscape = false;
  std::weak_ptr<platform::Protocol> delegate;
  bool delegateSetWhenPaused = false;

  bool isPlaying() const override { return playing; }
  bool isInLandscape() const override { return landscape; }
  void pausePlayer() override {
    log.push_back("pause");
    delegateSetWhenPaused = delegate.lock() != nullptr;
    playing = false;
  }
  void setPlayerDelegate(std::weak_ptr<platform::Protocol> d) override {
    log.push_back(d.lock() ? "delegate" : "no delegate");
    delegate = std::move(d);
  }
  void setCamera(KLCameraPtr camera) override {
    log.push_back("camera");
    cameras.push_back(std::move(camera));
    camerasOnMain.push_back(platform::isMainThread());
  }
  std::vector<KLCameraPtr> cameras;
  std::vector<bool> camerasOnMain;
  std::optional<bool> listeningAllowed;
  void setListeningAllowed(bool allowed) override { listeningAllowed = allowed; }
  void setHasNextEvent(bool v) override { hasNext = v; }
  void setHasPreviousEvent(bool v) override { hasPrevious = v; }
  bool hasNext = false, hasPrevious = false;

  std::vector<int> actions;
  std::vector<double> seeks;
  std::vector<double> rates;
  // The models handed over, as the real player keeps them (not the strip's items).
  std::vector<platform::ObjectPtr> recordings;
  bool renderHidden = false;
  int landscapeDismissals = 0;
  void handleExternalAction(int action) override {
    actions.push_back(action);
    if (action == 1) pausePlayer();
  }
  void seekToTime(double seconds) override { seeks.push_back(seconds); }
  void updateSpeedWithRate(double rate) override { rates.push_back(rate); }
  void setRecording(const KLTimelineRecordingPtr& r) override {
    recordings.push_back(r ? r->timelineRecordingUnderlyingObject() : nullptr);
  }
  void setRenderViewHidden(bool hidden) override { renderHidden = hidden; }
  std::vector<platform::ImagePtr> posters;
  void setCameraImage(platform::ImagePtr image) override { posters.push_back(std::move(image)); }
  void dismissLandscape() override {
    ++landscapeDismissals;
    landscape = false;
  }
};

class TimelineScreenTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    executor_->setScript([](const KLRequest&, size_t) { return ScriptedReply::failure(500); });
    KLServicesManager::setRequestExecutor(executor_);
    // The strip's tests run without an embedded player; the playback tests give their own.
    KLTimelineViewController::setPlayerFactory(
        [](KLCameraPtr, const KLTimelineRecordingPtr&) -> std::shared_ptr<TimelinePlayer> { return nullptr; });
  }
  void TearDown() override {
    KLTimelineViewController::setPlayerFactory(nullptr);
    platform::MainRunLoop::runUntilIdle();
    letGoOfThePresentedTimeline();
    window_.reset();
    platform::MainRunLoop::runUntilIdle();
    KLDataManager::resetSharedInstance();
    platform::MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
    ScreenTest::TearDown();
  }

  std::shared_ptr<KLTimelineViewController> makeScreen(int zoom = 0, double start = 0) {
    auto screen = std::make_shared<KLTimelineViewController>();
    screen->setCameraID(kCamera);
    screen->setZoomlevel(zoom);
    screen->setScrollTimeAfterInit(start);
    return screen;
  }
  // The screen shown, its first position taken.
  std::shared_ptr<KLTimelineViewController> showScreen(std::shared_ptr<KLTimelineViewController> screen) {
    show(screen);
    driver().advance(1.0);
    return screen;
  }

  std::shared_ptr<KLEventManager> events() { return KLDataManager::sharedInstance()->eventManager(); }
  std::shared_ptr<KLRecordingManager> recordings() { return KLDataManager::sharedInstance()->recordingManager(); }

  // Replaces the camera's cached events (newest first) and tells the observers.
  void setEvents(const std::vector<KLEventPtr>& list, int64_t camera = kCamera) {
    platform::ValueArray values;
    for (const auto& e : list) values.push_back(platform::Value(e));
    events()->eventsForCameraID(camera)->setValues(platform::Value(values));
    events()->notifyObserversForCameraID(camera);
    driver().pump();
  }
  void setRecordings(const std::vector<KLRecordingPtr>& list) {
    platform::ValueArray values;
    for (const auto& r : list) values.push_back(platform::Value(r));
    recordings()->recordingsForCameraID(kCamera)->setValues(platform::Value(values));
    recordings()->notifyObserversForCameraID(kCamera);
    driver().pump();
  }
  double now() { return clock_.clock().now(); }

  // The event types with the names the cloud gives them for a user, loaded as the facade loads
  // them before the timeline shows: the cards then read "Motion", not the server's "vmdDetected".
  void loadEventTypes() {
    executor_->setScript([](const KLRequest& request, size_t) {
      const std::string url = request.requestURL();
      if (url == "rest/v2.4/events/eventTypeDetails") {
        return ScriptedReply::body(R"([
            {"eventType": "vmdDetected", "eventTypeTranslated": "Motion", "priority": 5},
            {"eventType": "pirDetected", "eventTypeTranslated": "Infrared", "priority": 4},
            {"eventType": "audioDetected", "eventTypeTranslated": "Sound", "priority": 6},
            {"eventType": "doorbellPressed", "eventTypeTranslated": "Doorbell", "priority": 1},
            {"eventType": "personDetected", "eventTypeTranslated": "Person", "priority": 3}])");
      }
      if (url == "rest/v2.4/events/availableTypes") {
        return ScriptedReply::body(R"(["vmdDetected", "pirDetected", "audioDetected", "doorbellPressed", "personDetected"])");
      }
      if (url == "rest/v2.4/faces") return ScriptedReply::body("[]");
      return ScriptedReply::failure(500);
    });
    bool loaded = false;
    events()->getEventTypesWithCompletion([&loaded] { loaded = true; });
    platform::MainRunLoop::runUntil([&loaded] { return loaded; });
    ASSERT_TRUE(events()->eventTypeDetails()) << "the event types did not load";
    executor_->setScript([](const KLRequest&, size_t) { return ScriptedReply::failure(500); });
  }

  TemporaryHome home_;
  std::shared_ptr<ScriptedExecutor> executor_ = std::make_shared<ScriptedExecutor>();
};

}  // namespace dk::test
