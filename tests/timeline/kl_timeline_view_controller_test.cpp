// The timeline screen: zoom at load and by its buttons, the first position, how it follows the
// event and recording managers, the once-a-second reload throttle, the rights arriving late,
// background tasks, leaving with a player, and closing once.
#include "timeline/kl_timeline_view_controller.h"

#include <gtest/gtest.h>

#include "foundation/data_handler.h"
#include "foundation/date_timeline_helper.h"
#include "platform/foundation/user_defaults.h"
#include "platform/ui/application.h"
#include "platform/ui/ui_test_driver.h"
#include "foundation/date_formatting.h"
#include "network/kl_request_table.h"
#include "model/kl_detections_response.h"
#include "timeline_screen_fixture.h"

namespace dk {
namespace {

using platform::MainRunLoop;
using test::kCamera;
using test::restEvent;
using test::restRecording;

class TimelineScreen : public test::TimelineScreenTest {};

int64_t storedZoom() {
  auto settings = platform::UserDefaults::standard()->dictionaryForKey(kTimelineSettingsKey);
  if (!settings) return -1;
  return settings->at(kTimelineOptionKey).integerValue();
}

TEST_F(TimelineScreen, TheHostsZoomChoosesTheLevelAtLoadAndIsStored) {
  struct Case {
    int zoom;
    double start;
    unsigned long interval;
    int64_t stored;
  };
  double start = now() - 3600;
  for (const auto& c : {Case{2, 0, 0, 0}, Case{1, 0, 1, 1}, Case{0, start, 0, 2}, Case{0, 0, 2, 2}, Case{5, 0, 2, 2}}) {
    platform::UserDefaults::standard()->removeObjectForKey(kTimelineSettingsKey);
    auto screen = makeScreen(c.zoom, c.start);
    screen->loadViewIfNeeded();
    EXPECT_EQ(screen->currentInterval(), c.interval) << "zoom " << c.zoom << " start " << c.start;
    EXPECT_EQ(storedZoom(), c.stored) << "zoom " << c.zoom;
  }
}

TEST_F(TimelineScreen, WithTheDefaultZoomTheStoredLevelIsUsed) {
  KLTimelineViewController::saveSelectedZoomOption(1);
  // setZoomLevel stores 2 first, so the default level then reads 2 back.
  auto screen = makeScreen(0);
  screen->loadViewIfNeeded();
  EXPECT_EQ(screen->currentInterval(), 2u);
  EXPECT_EQ(KLTimelineViewController::getSelectedZoomOption(), 2u);
}

TEST_F(TimelineScreen, AZoomChangeReachesTheAppGroupsSharedSettingsOnDisk) {
  DataHandler::setAppGroupName("group.com.example.widgets");
  auto screen = showScreen(makeScreen(0));
  driver().tap(*screen->zoomInButton());
  ASSERT_EQ(screen->currentInterval(), 1u);
  // Read back as the app group's other process would: from the file, not this process's copy.
  platform::UserDefaults::resetForTesting();
  auto shared = platform::UserDefaults::suite("group.com.example.widgets")->dictionaryForKey(kTimelineSettingsKey);
  DataHandler::resetForTesting();
  ASSERT_TRUE(shared);
  ASSERT_TRUE(shared->count(kTimelineOptionKey));
  EXPECT_EQ(shared->at(kTimelineOptionKey).integerValue(), 1);
  EXPECT_EQ(storedZoom(), 1) << "the app's own settings too";
}

TEST_F(TimelineScreen, ZoomingInStopsAtThreeMinutesAndKeepsTheTimeLabel) {
  auto screen = showScreen(makeScreen(0));
  ASSERT_EQ(screen->currentInterval(), 2u);
  EXPECT_FALSE(screen->zoomOutButton()->isEnabled());
  std::string label = screen->timelineLabel()->text();
  EXPECT_FALSE(label.empty());

  driver().tap(*screen->zoomInButton());
  EXPECT_EQ(screen->currentInterval(), 1u);
  EXPECT_EQ(screen->dataSource()->timelineOption()->interval(), 1u);
  EXPECT_EQ(storedZoom(), 1);
  EXPECT_EQ(screen->timelineLabel()->text(), label);
  driver().tap(*screen->zoomInButton());
  EXPECT_EQ(screen->currentInterval(), 0u);
  EXPECT_FALSE(screen->zoomInButton()->isEnabled());
  EXPECT_TRUE(screen->zoomOutButton()->isEnabled());
  driver().tap(*screen->zoomInButton());
  EXPECT_EQ(screen->currentInterval(), 0u) << "a disabled button does nothing";
  driver().tap(*screen->zoomOutButton());
  EXPECT_EQ(screen->currentInterval(), 1u);
}

TEST_F(TimelineScreen, TheFirstPositionIsTodaysNewestActivity) {
  double midnight = timeIntervalForMidnight(now());
  // An event today at midnight + 10 min and a recording from an hour before midnight to an hour after.
  {
    auto screen = showScreen(makeScreen());
    setEvents({restEvent(1, midnight + 600)});
    setRecordings({restRecording(1, midnight - 3600, midnight + 3600)});
    EXPECT_DOUBLE_EQ(screen->firstPositionTime(), midnight + 600);
  }
  {
    auto screen = showScreen(makeScreen());
    setEvents({restEvent(2, midnight - 7200)});
    setRecordings({restRecording(1, midnight - 3600, midnight + 3600), restRecording(2, midnight - 9000, midnight - 8000)});
    EXPECT_DOUBLE_EQ(screen->firstPositionTime(), midnight);
  }
}

TEST_F(TimelineScreen, WithNothingRecordedTheFirstPositionIsNowAndTheNoEventsViewsShow) {
  auto screen = showScreen(makeScreen());
  EXPECT_DOUBLE_EQ(screen->firstPositionTime(), now());
  EXPECT_FALSE(screen->noEventsImageView()->isHidden());
  EXPECT_FALSE(screen->noEventsInfoLabel()->isHidden());
  setEvents({restEvent(1, now() - 60)});
  driver().advance(1.0);
  EXPECT_TRUE(screen->noEventsImageView()->isHidden());
  EXPECT_TRUE(screen->noEventsInfoLabel()->isHidden());
}

TEST_F(TimelineScreen, AHostStartTimeInMillisecondsOrInTheFutureIsMadeSound) {
  double t = now() - 7200;
  EXPECT_DOUBLE_EQ(makeScreen(0, t * 1000)->firstPositionTime(), t);
  EXPECT_DOUBLE_EQ(makeScreen(0, now() + 86400)->firstPositionTime(), now());
  EXPECT_DOUBLE_EQ(makeScreen(0, t)->firstPositionTime(), t);
}

TEST_F(TimelineScreen, TheStripStartsAtTheHostsTime) {
  double t = now() - 2 * 3600;
  setRecordings({restRecording(1, now() - 5 * 3600, now() - 60)});
  auto screen = showScreen(makeScreen(0, t));
  EXPECT_NEAR(screen->adapter()->scrollTime(), t, 1.0);
  EXPECT_FALSE(screen->timelineLabel()->text().empty());
}

TEST_F(TimelineScreen, TwoEventUpdatesWithinOneSecondReloadOnceAtOnceAndOnceAtTheNextTick) {
  auto screen = showScreen(makeScreen());
  size_t before = screen->reloadCount();
  setEvents({restEvent(1, now() - 600)});
  EXPECT_EQ(screen->reloadCount(), before + 1);
  setEvents({restEvent(2, now() - 300), restEvent(1, now() - 600)});
  EXPECT_EQ(screen->reloadCount(), before + 1);
  EXPECT_TRUE(screen->shouldReloadTableView());
  driver().advance(2.0);
  EXPECT_EQ(screen->reloadCount(), before + 2);
  EXPECT_FALSE(screen->shouldReloadTableView());
}

// The first reloads run before any reply is in; the first recordings and the first events must
// not then wait for a tick of the throttle. After them, reloads are held to one a second again.
TEST_F(TimelineScreen, TheFirstDataReachesAnEmptyStripAtOnceThenTheThrottleHolds) {
  auto screen = makeScreen();
  show(screen);
  driver().advance(0.25);  // past the first positioning, which reloaded the empty strip
  ASSERT_FALSE(screen->noEventsImageView()->isHidden());
  const size_t before = screen->reloadCount();
  setRecordings({restRecording(1, now() - 3600, now() - 1800)});
  EXPECT_EQ(screen->reloadCount(), before + 1);
  EXPECT_TRUE(screen->noEventsImageView()->isHidden());
  setEvents({restEvent(1, now() - 600)});
  EXPECT_EQ(screen->reloadCount(), before + 2);
  EXPECT_FALSE(screen->shouldReloadTableView());

  setEvents({restEvent(2, now() - 300), restEvent(1, now() - 600)});
  setRecordings({restRecording(2, now() - 1700, now() - 1000), restRecording(1, now() - 3600, now() - 1800)});
  EXPECT_EQ(screen->reloadCount(), before + 2);
  EXPECT_TRUE(screen->shouldReloadTableView());
  driver().advance(0.5);
  EXPECT_EQ(screen->reloadCount(), before + 2);
  driver().advance(1.5);
  EXPECT_EQ(screen->reloadCount(), before + 3);
  EXPECT_EQ(screen->dataSource()->allTimelineEvents().size(), 2u);
  EXPECT_EQ(screen->dataSource()->allTimelineRecordings().size(), 2u);
}

TEST_F(TimelineScreen, AClockSteppingBackDoesNotHoldReloadsBack) {
  auto screen = showScreen(makeScreen());
  setEvents({restEvent(1, now() - 600)});
  size_t count = screen->reloadCount();
  clock_.clock().set(now() - 3600);
  setEvents({restEvent(2, now() - 300), restEvent(1, now() + 3000)});
  EXPECT_EQ(screen->reloadCount(), count + 1);
}

TEST_F(TimelineScreen, UpdatesForAnotherCameraOrNoneChangeNothing) {
  auto screen = showScreen(makeScreen());
  size_t count = screen->reloadCount();
  setEvents({restEvent(1, now() - 600)}, 8);
  screen->didUpdateEventsForCameraID(std::nullopt);
  driver().pump();
  EXPECT_EQ(screen->reloadCount(), count);
  EXPECT_EQ(screen->dataSource()->allTimelineEvents().size(), 0u);
}

TEST_F(TimelineScreen, ARecordingUpdateWithAsManyRecordingsChangesNothing) {
  auto screen = showScreen(makeScreen());
  double end = now() - 1800;
  setRecordings({restRecording(1, now() - 3600, end)});
  driver().advance(1.0);
  ASSERT_EQ(screen->dataSource()->allTimelineRecordings().size(), 1u);
  size_t count = screen->reloadCount();
  setRecordings({restRecording(9, now() - 900, now() - 600)});
  driver().advance(1.0);
  EXPECT_EQ(screen->reloadCount(), count);
  EXPECT_DOUBLE_EQ(screen->dataSource()->allTimelineRecordings()[0]->timelineRecordingEndTime(), end);
}

TEST_F(TimelineScreen, ANewEventAboveTheVisibleWindowShowsTheUpdateBadge) {
  auto screen = showScreen(makeScreen(0, now() - 6 * 3600));
  setEvents({restEvent(1, now() - 6 * 3600)});
  driver().advance(1.0);
  EXPECT_TRUE(screen->updateAvailableView()->isHidden()) << "inside the visible window";
  setEvents({restEvent(2, now() - 60), restEvent(1, now() - 6 * 3600 - 1)});
  EXPECT_FALSE(screen->updateAvailableView()->isHidden());
}

TEST_F(TimelineScreen, TheUpdateBadgesPillSitsInTheMiddleOfTheScreen) {
  auto screen = showScreen(makeScreen(0, now() - 6 * 3600));
  setEvents({restEvent(1, now() - 6 * 3600)});
  driver().advance(1.0);
  setEvents({restEvent(2, now() - 60), restEvent(1, now() - 6 * 3600 - 1)});
  driver().advance(1.0);
  auto badge = screen->updateAvailableView();
  ASSERT_FALSE(badge->isHidden());
  auto pill = badge->view();
  ASSERT_TRUE(pill);
  auto root = screen->view();
  platform::Rect onScreen = pill->convertRectTo(pill->bounds(), root.get());
  EXPECT_NEAR(onScreen.midX(), root->bounds().midX(), 0.5);
  EXPECT_DOUBLE_EQ(onScreen.width(), badge->intrinsicContentSize().width) << "as wide as its text";
}

TEST_F(TimelineScreen, WhileTheNewestRecordingIsOpenEachTickRedrawsItsRowAlone) {
  auto screen = showScreen(makeScreen());
  setRecordings({restRecording(1, now() - 600, now() - 300)});
  driver().advance(2.0);
  size_t redraws = screen->rowRedrawCount();
  driver().advance(3.0);
  EXPECT_EQ(screen->rowRedrawCount(), redraws) << "a closed recording needs no redraw";

  setRecordings({restRecording(2, now() - 200, 0, false), restRecording(1, now() - 600, now() - 300)});
  driver().advance(1.0);
  redraws = screen->rowRedrawCount();
  driver().advance(3.0);
  EXPECT_GE(screen->rowRedrawCount(), redraws + 2);
  EXPECT_LE(screen->rowRedrawCount(), redraws + 3);
}

TEST_F(TimelineScreen, LeavingStopsTheTimerAndPausesOnlyAPortraitPlayer) {
  auto portrait = std::make_shared<test::RecordingPlayer>();
  auto screen = showScreen(makeScreen());
  screen->setPlayer(portrait);
  screen->viewWillDisappear(false);
  EXPECT_FALSE(screen->isReloadTimerRunning());
  EXPECT_FALSE(portrait->playing);

  auto landscape = std::make_shared<test::RecordingPlayer>();
  landscape->landscape = true;
  auto other = showScreen(makeScreen());
  other->setPlayer(landscape);
  other->viewWillDisappear(false);
  EXPECT_TRUE(landscape->playing);
}

TEST_F(TimelineScreen, AReleasedScreenLetsGoOfThePlayerBeforePausingIt) {
  auto player = std::make_shared<test::RecordingPlayer>();
  {
    auto screen = makeScreen();
    screen->loadViewIfNeeded();
    screen->setPlayer(player);
  }
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(player->log, (std::vector<std::string>{"delegate", "no delegate", "pause"}));
  EXPECT_FALSE(player->delegateSetWhenPaused);
}

TEST_F(TimelineScreen, EachBackgroundTaskEndsItselfAndOnlyOneRuns) {
  auto screen = showScreen(makeScreen());
  auto& app = platform::Application::shared();
  driver().enterBackground();
  auto first = screen->bgTask();
  EXPECT_NE(first, platform::kBackgroundTaskInvalid);
  driver().enterForeground();
  driver().enterBackground();
  auto second = screen->bgTask();
  EXPECT_NE(second, first);
  EXPECT_FALSE(app.isBackgroundTaskRunning(first)) << "the earlier task ended before another began";
  EXPECT_EQ(app.backgroundTaskCount(), 1u);
  driver().advance(platform::Application::kBackgroundTimeAllowance + 1);
  EXPECT_EQ(app.backgroundTaskCount(), 0u) << "no task is left running";
  EXPECT_EQ(screen->bgTask(), platform::kBackgroundTaskInvalid);
  driver().enterForeground();
}

TEST_F(TimelineScreen, RightsThatArriveLateOfferWhatTheUserMay) {
  auto rights = std::make_shared<KLUserRightsResponse>();
  installBaseScreenServices({[&rights] { return rights; }, nullptr, nullptr});
  auto screen = showScreen(makeScreen());
  EXPECT_TRUE(screen->permissions() & KLPermissionNoDeleteFootage) << "no rights yet";
  rights->setRights(KLUserRightDeleteRecording | KLUserRightPlayback | KLUserRightExport);
  platform::NotificationCenter::defaultCenter().post(kUserRightsLoadedNotification);
  driver().pump();
  EXPECT_FALSE(screen->permissions() & KLPermissionNoDeleteFootage);
  EXPECT_FALSE(screen->permissions() & KLPermissionNoViewFootage);
}

TEST_F(TimelineScreen, WhileScrollingTheNearerEventsThumbnailIsChosenAndTheLaterOnATie) {
  auto screen = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes));
  double t = now() - 600;
  // Three-minute rows of 30 s: a precision of 14.25 s.
  setEvents({restEvent(2, t + 10), restEvent(1, t - 10)});
  auto picked = screen->eventForSnapshotAtTime(t);
  ASSERT_TRUE(picked);
  EXPECT_DOUBLE_EQ(picked->timelineEventTimestamp(), t + 10);
  EXPECT_DOUBLE_EQ(screen->eventForSnapshotAtTime(t - 6)->timelineEventTimestamp(), t - 10);
  EXPECT_EQ(screen->eventForSnapshotAtTime(t + 30), nullptr) << "farther than the precision";
}

TEST_F(TimelineScreen, ARecordingCountsFromJustBeforeItsStartUntilBeforeItsEnd) {
  auto screen = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes));
  double start = now() - 3600, end = now() - 1800;
  setRecordings({restRecording(1, start, end)});
  double p = screen->dataSource()->timelineOption()->recordingOffsetPrecision();
  EXPECT_TRUE(screen->preciseRecordingAtTime(start - p / 2));
  EXPECT_TRUE(screen->preciseRecordingAtTime(end - 1));
  EXPECT_FALSE(screen->preciseRecordingAtTime(end));
  EXPECT_FALSE(screen->preciseRecordingAtTime(start - p));
}

TEST_F(TimelineScreen, RowsOnScreenPrefetchTheirThumbnailsAndLeavingRowsDropThem) {
  auto screen = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes));
  double t = now() - 7200;
  setEvents({restEvent(2, t + 10), restEvent(1, t + 5)});
  auto& adapter = *screen->adapter();
  size_t before = screen->eventSnapshotsToPrefetch().size();
  screen->timelineAdapterWillDisplayCellForRowAtTimeRange(adapter, KLTimeRange{t, 30});
  EXPECT_EQ(screen->eventSnapshotsToPrefetch().size(), before + 2);
  screen->timelineAdapterDidEndDisplayingCellForRowAtTimeRange(adapter, KLTimeRange{t, 30});
  EXPECT_EQ(screen->eventSnapshotsToPrefetch().size(), before);
}

TEST_F(TimelineScreen, EventButtonsFollowTheEventsAroundTheScrolledTime) {
  auto player = std::make_shared<test::RecordingPlayer>();
  auto screen = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes));
  screen->setPlayer(player);
  double t = now() - 3600;
  // An event without a time waits at the list's old end; it is no previous event.
  setEvents({restEvent(1, t), restEvent(2, 0)});
  screen->timelineAdapterDidScrollToTime(*screen->adapter(), t - 60);
  EXPECT_TRUE(screen->hasNextEvent());
  EXPECT_FALSE(screen->hasPreviousEvent());
  EXPECT_FALSE(player->hasPrevious);
  EXPECT_TRUE(player->hasNext);
  screen->timelineAdapterDidScrollToTime(*screen->adapter(), t + 60);
  EXPECT_FALSE(player->hasNext);
  EXPECT_TRUE(player->hasPrevious);
}

TEST_F(TimelineScreen, TheStripAndItsDayRowFadeInOnlyOnceTheScreenHasAppeared) {
  auto screen = makeScreen();
  screen->loadViewIfNeeded();
  const std::vector<std::shared_ptr<platform::View>> faded = {
      screen->tableView(),       screen->dayPickerView(),   screen->timelineLabel(),
      screen->nextEventButton(), screen->prevEventButton(), screen->updateAvailableView()};
  for (size_t i = 0; i < faded.size(); ++i) EXPECT_EQ(faded[i]->alpha(), 0.0) << "view " << i << " at load";
  show(screen);
  for (size_t i = 0; i < faded.size(); ++i) EXPECT_EQ(faded[i]->alpha(), 1.0) << "view " << i << " once shown";
  // The date row keeps taking touches while it fades in.
  EXPECT_TRUE(screen->dayPickerView()->isUserInteractionEnabled());
}

TEST_F(TimelineScreen, WithoutTheHostsControlsTheStripReachesTheBottomOfTheScreen) {
  auto with = showScreen(makeScreen());
  const double rowWithControls = with->tableView()->rowHeight();
  ASSERT_LT(with->tableView()->frame().maxY(), with->view()->bounds().size.height);
  window_.reset();

  auto screen = makeScreen();
  screen->setIsTimelineControlsVisible(false);
  showScreen(screen);
  EXPECT_EQ(screen->heightConstraint()->constant(), 0);
  EXPECT_TRUE(screen->bottomControlsContainer()->isHidden());
  EXPECT_DOUBLE_EQ(screen->tableView()->frame().maxY(), screen->view()->bounds().size.height);
  EXPECT_DOUBLE_EQ(screen->timelineContainerView()->frame().maxY(), screen->view()->bounds().size.height);
  EXPECT_GT(screen->tableView()->rowHeight(), rowWithControls) << "six rows fill the taller strip";
}

TEST_F(TimelineScreen, BackInTheForegroundItAsksForWhatIsNew) {
  auto screen = showScreen(makeScreen());
  // New events are those after the newest one held.
  auto held = restEvent(1, now() - 600);
  held->setStringTimestamp(timeFormatterForStringTimestamp()->stringFromDate(now() - 600));
  setEvents({held});
  auto named = [this](KLRequestName name, size_t from) {
    size_t n = 0;
    auto requests = executor_->requests();
    for (size_t i = from; i < requests.size(); ++i) n += requests[i]->requestName() == name;
    return n;
  };
  driver().enterBackground();
  platform::MainRunLoop::runUntilIdle();
  const size_t before = executor_->requests().size();
  driver().enterForeground();
  driver().advance(0.1);
  EXPECT_GE(named(NEW_EVENTS_GET_REQUEST_CLOUD, before), 1u);
  EXPECT_GE(named(RECORDINGS_CAMERA_GET_REQUEST_CLOUD, before), 1u);
}

TEST_F(TimelineScreen, AMoveFartherThanOneScreenJumpsAndReportsAShortOneAnimates) {
  const double start = now() - 6 * 3600;
  setRecordings({restRecording(1, now() - 12 * 3600, now() - 60)});
  auto screen = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes, start));
  auto table = screen->tableView();
  const double screenSpan = table->frame().size.height / table->rowHeight() * 30;  // 30 s rows
  ASSERT_NEAR(screen->adapter()->scrollTime(), start, 1.0);

  // Half a screen, animated: the strip is still on its way and nothing reported a scroll.
  const std::string label = screen->timelineLabel()->text();
  screen->scrollTableViewToTime(start - screenSpan / 2, true, false);
  EXPECT_GT(std::fabs(screen->adapter()->scrollTime() - (start - screenSpan / 2)), 1.0);
  EXPECT_EQ(screen->timelineLabel()->text(), label);
  driver().settle();
  EXPECT_NEAR(screen->adapter()->scrollTime(), start - screenSpan / 2, 1.0);

  // Two screens, animated asked: there at once, reported as a scroll (the label follows).
  const double far = screen->adapter()->scrollTime() - 2 * screenSpan;
  screen->scrollTableViewToTime(far, true, false);
  EXPECT_NEAR(screen->adapter()->scrollTime(), far, 1.0);
  EXPECT_EQ(screen->timelineLabel()->text(), hourMinutesSecondsFromTimestamp(screen->adapter()->scrollTime()));
}

TEST_F(TimelineScreen, AReloadAfterMidnightKeepsTheStripAtTheTimeItShowed) {
  const double shown = now() - 3600;
  setRecordings({restRecording(1, now() - 5 * 3600, now() - 60)});
  auto screen = showScreen(makeScreen(0, shown));
  ASSERT_NEAR(screen->adapter()->scrollTime(), shown, 1.0);
  const double endBefore = screen->adapter()->endTime();
  // The day ends: the axis now ends a day later.
  clock_.clock().set(timeIntervalForMidnight(now()) + 86400 + 30);
  screen->reloadTableViewAndResetVelocity(false);
  EXPECT_GT(screen->adapter()->endTime(), endBefore);
  EXPECT_NEAR(screen->adapter()->scrollTime(), shown, 1.0);
}

class Delegate : public KLTimelineDelegate {
 public:
  int calls = 0;
  std::weak_ptr<KLTimelineViewController> screen;
  void didDismissTimeline(const std::shared_ptr<KLTimelineViewController>& timeline) override {
    ++calls;
    screen = timeline;
  }
};

TEST_F(TimelineScreen, TheSummaryButtonNeedsTheExportRightAndSmartDetectionKnownToBeOn) {
  auto rights = std::make_shared<KLUserRightsResponse>();
  rights->setRights(KLUserRightExport | KLUserRightPlayback);
  installBaseScreenServices({[&rights] { return rights; }, nullptr, nullptr});
  auto screen = showScreen(makeScreen());
  auto camera = KLDataManager::sharedInstance()->deviceKeeper()->camera();
  ASSERT_TRUE(camera);
  auto capabilities = std::make_shared<KLDetectionsCapabilitiesResponse>();
  capabilities->setAnalyticsPersonArea(true);
  camera->setDetectionsCapabilities(capabilities);
  auto smart = std::make_shared<KLSmartDetectionsResponse>();
  camera->setSmartDetections(smart);
  struct Case {
    int64_t enabled;
    bool on;
  };
  for (const auto& c : {Case{-1, false}, Case{2147483647, false}, Case{0, false}, Case{1, true}}) {
    smart->setEnabled(c.enabled);
    screen->updateVideoSummaryButton();
    EXPECT_EQ(screen->dailySummaryButton()->isEnabled(), c.on) << c.enabled;
  }
  EXPECT_FALSE(screen->dailySummaryButton()->titleForState(platform::kControlStateNormal)->empty());
  // Rights that arrive late (without the export right) turn it off whatever the camera does.
  rights->setRights(KLUserRightPlayback);
  platform::NotificationCenter::defaultCenter().post(kUserRightsLoadedNotification);
  driver().pump();
  EXPECT_FALSE(screen->dailySummaryButton()->isEnabled());
  EXPECT_FALSE(screen->dailySummaryButton()->titleForState(platform::kControlStateNormal));
  // And back on when the right arrives.
  rights->setRights(KLUserRightExport | KLUserRightPlayback);
  platform::NotificationCenter::defaultCenter().post(kUserRightsLoadedNotification);
  driver().pump();
  EXPECT_TRUE(screen->dailySummaryButton()->isEnabled());
}

TEST_F(TimelineScreen, EventArrowsPointToEventsOutsideTheWindowAndHideWhileOneIsOnScreen) {
  auto screen = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes, now() - 6 * 3600));
  auto window = screen->adapter()->visibleTimeRangeAtTableView(*screen->tableView());
  setEvents({restEvent(2, window.start + window.duration + 3600), restEvent(1, window.start - 3600)});
  screen->updatePreviousNextEventButtons();
  EXPECT_FALSE(screen->nextEventButton()->isHidden());
  EXPECT_FALSE(screen->prevEventButton()->isHidden());

  setEvents({restEvent(3, window.start + window.duration + 3600), restEvent(4, window.start + window.duration / 2),
             restEvent(1, window.start - 3600)});
  screen->updatePreviousNextEventButtons();
  EXPECT_TRUE(screen->nextEventButton()->isHidden());
  EXPECT_TRUE(screen->prevEventButton()->isHidden());

  // Below the window only an event without a time: no down arrow, and a tap goes nowhere.
  setEvents({restEvent(5, window.start + window.duration + 3600), restEvent(6, 0)});
  screen->updatePreviousNextEventButtons();
  EXPECT_FALSE(screen->nextEventButton()->isHidden());
  EXPECT_TRUE(screen->prevEventButton()->isHidden());
  const double scrolled = screen->adapter()->scrollTime();
  screen->prevEventButtonTapped();
  driver().pump();
  EXPECT_EQ(screen->adapter()->scrollTime(), scrolled);
}

TEST_F(TimelineScreen, TappingTheBadgeGoesToTheNewestEventAndHidesIt) {
  auto screen = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes, now() - 6 * 3600));
  setEvents({restEvent(2, now() - 120), restEvent(1, now() - 6 * 3600)});
  ASSERT_FALSE(screen->updateAvailableView()->isHidden());
  driver().tap(*screen->updateAvailableView());
  driver().settle();
  EXPECT_TRUE(screen->updateAvailableView()->isHidden());
  EXPECT_NEAR(screen->adapter()->scrollTime(), now() - 120, 1.0);
}

TEST_F(TimelineScreen, ACloseSwipeOnAScreenNobodyPresentedDoesNothing) {
  auto delegate = std::make_shared<Delegate>();
  auto screen = showScreen(makeScreen());
  screen->setTimelineDelegate(delegate);
  screen->closeButtonPressed();
  driver().advance(1.0);
  EXPECT_FALSE(screen->isDismissing());
  EXPECT_EQ(delegate->calls, 0);
}


TEST_F(TimelineScreen, TheCloseAreaClosesOnceAndTellsTheDelegateOnceDone) {
  showWindow();
  auto root = window_->rootViewController();
  auto delegate = std::make_shared<Delegate>();
  std::weak_ptr<KLTimelineViewController> weak;
  {
    auto screen = makeScreen();
    screen->setTimelineDelegate(delegate);
    screen->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
    root->presentViewController(screen, false);
    driver().advance(1.0);
    weak = screen;
  }
  ASSERT_TRUE(weak.lock());
  // The close area reaches beyond the button: 64 points square around its centre.
  auto close = weak.lock()->closeButton();
  auto centre = platform::UiTestDriver::centerOf(*close);
  ASSERT_LT(close->frame().size.width / 2, 28);
  driver().tap({centre.x - 28, centre.y});
  EXPECT_TRUE(weak.lock()) << "alive while dismissing";
  EXPECT_EQ(delegate->calls, 0);
  driver().advance(1.0);
  EXPECT_EQ(delegate->calls, 1);
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_TRUE(weak.expired()) << "released once the dismissal completed";
}

TEST_F(TimelineScreen, ACloseTapDuringTheSlideInLeavesTheScreenAbleToCloseLater) {
  showWindow();
  auto root = window_->rootViewController();
  auto delegate = std::make_shared<Delegate>();
  std::weak_ptr<KLTimelineViewController> weak;
  {
    auto screen = makeScreen();
    screen->setTimelineDelegate(delegate);
    screen->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
    root->presentViewController(screen, true);
    weak = screen;
  }
  driver().advance(0.1);  // still sliding in: the platform refuses to dismiss it
  ASSERT_TRUE(weak.lock());
  weak.lock()->closeButtonPressed();
  EXPECT_FALSE(weak.lock()->isDismissing());
  driver().advance(1.0);
  EXPECT_EQ(delegate->calls, 0);
  EXPECT_EQ(root->presentedViewController(), weak.lock());

  driver().tap(*weak.lock()->closeButton());
  driver().advance(1.0);
  EXPECT_EQ(delegate->calls, 1) << "the delegate hears of the close (and turns the live feed off)";
  EXPECT_EQ(root->presentedViewController(), nullptr);
  EXPECT_TRUE(weak.expired()) << "released once the dismissal completed";
}

}  // namespace
}  // namespace dk
