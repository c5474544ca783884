// The timeline screen while the shared models it shows change on other queues: a live message
// closing a recording, page merges, an event's clip address fetched, download progress. The screen
// shows what it read on the main thread, each item whole, and takes the changes there. Run under
// ThreadSanitizer with the rest of the suite.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/kl_server.h"
#include "model/kl_event_response.h"
#include "model/kl_recording_response.h"
#include "timeline/timeline_event_adapter.h"
#include "timeline/timeline_recording_adapter.h"
#include "timeline_screen_fixture.h"

namespace dk {
namespace {

using platform::MainRunLoop;
using platform::Value;
using test::kCamera;
using test::restEvent;
using test::restRecording;

class TimelineDataFlow : public test::TimelineScreenTest {
 protected:
  void SetUp() override {
    test::TimelineScreenTest::SetUp();
    // Thumbnails of the rows scrolled past are fetched from a loopback port nobody serves.
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort("9");
    KLServer::resetForTesting();
  }
  void TearDown() override {
    test::TimelineScreenTest::TearDown();
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
  }
  std::string serverTime(double t) { return timeFormatterForStringTimestamp()->stringFromDate(t); }
  // A live "recording closed" message for recording `id`, as the feed hands it over.
  Value closedMessage(int64_t id, double start, double end) {
    return Value::parseJSON(R"({"cameraId":)" + std::to_string(kCamera) + R"(,"recordingId":)" + std::to_string(id) +
                            R"(,"startTime":")" + serverTime(start) + R"(","endTime":")" + serverTime(end) + "\"}");
  }
};

TEST_F(TimelineDataFlow, ARecordingClosedOffMainReachesTheStripOnlyWhenMainTakesTheChange) {
  const double start = now() - 600;
  auto open = restRecording(2, start, 0, false);
  setRecordings({open, restRecording(1, start - 3600, start - 1800)});
  auto screen = showScreen(makeScreen(1));
  auto shown = screen->dataSource()->newestTimelineRecording();
  ASSERT_TRUE(shown && shown->timelineRecordingIsOnGoing());

  // The live feed's queue closes it; the list's queue applies the change.
  std::thread feed([&] {
    recordings()->handleMessageUpdate(closedMessage(2, start, start + 300), 0, nullptr, nullptr);
    recordings()->recordingsForCameraID(kCamera)->customQueue()->sync([] {});
  });
  feed.join();
  ASSERT_EQ(open->closed(), true);
  EXPECT_TRUE(shown->timelineRecordingIsOnGoing()) << "the strip changed under the main thread's feet";
  EXPECT_DOUBLE_EQ(shown->timelineRecordingEndTime(), now());

  // The next tick on main takes it: the bar ends at the message's end and the row stops growing.
  const size_t redraws = screen->rowRedrawCount();
  driver().advance(1.0);
  EXPECT_FALSE(shown->timelineRecordingIsOnGoing());
  EXPECT_DOUBLE_EQ(shown->timelineRecordingEndTime(), start + 300);
  EXPECT_DOUBLE_EQ(shown->timelineRecordingStartTime(), start);
  driver().advance(2.0);
  EXPECT_EQ(screen->rowRedrawCount(), redraws) << "a closed recording no longer redraws the current row";
}

TEST_F(TimelineDataFlow, AnObserverCallTakesChangedTimesEvenWhenTheCountStaysTheSame) {
  const double start = now() - 7200;
  auto recording = restRecording(1, start, start + 600);
  setRecordings({recording});
  auto screen = showScreen(makeScreen(1));
  auto shown = screen->dataSource()->timelineRecordingAtTime(start + 300);
  ASSERT_TRUE(shown);

  std::thread merge([&] { recording->takeTimesFrom(*restRecording(1, start, start + 1200)); });
  merge.join();
  EXPECT_DOUBLE_EQ(shown->timelineRecordingEndTime(), start + 600);
  EXPECT_FALSE(screen->dataSource()->timelineRecordingAtTime(start + 900));

  recordings()->notifyObserversForCameraID(kCamera);
  driver().pump();
  EXPECT_DOUBLE_EQ(shown->timelineRecordingEndTime(), start + 1200);
  EXPECT_EQ(screen->dataSource()->timelineRecordingAtTime(start + 900), shown);
}

TEST_F(TimelineDataFlow, ARecordingIsNeverSeenHalfChangedWhileAnotherQueueRewritesIt) {
  const double base = now() - 86400;
  auto recording = restRecording(1, base, base + 600);
  const auto early = restRecording(1, base, base + 600);
  const std::string lateStart = serverTime(base + 3000), lateEnd = serverTime(base + 4000);
  setRecordings({recording});
  auto screen = showScreen(makeScreen(1));
  auto shown = screen->dataSource()->newestTimelineRecording();
  ASSERT_TRUE(shown);

  std::atomic<bool> done{false};
  std::thread writer([&] {
    // A page's fresh times and a live message's, alternately.
    for (int i = 0; i < 2000; ++i) {
      if (i % 2) {
        recording->closeWithTimes(lateStart, lateEnd);
      } else {
        recording->takeTimesFrom(*early);
      }
    }
    done = true;
  });
  int torn = 0, reads = 0;
  while (!done || reads < 50) {
    recordings()->notifyObserversForCameraID(kCamera);
    const double s = shown->timelineRecordingStartTime(), e = shown->timelineRecordingEndTime();
    const bool whole = (s == base && e == base + 600) || (s == base + 3000 && e == base + 4000);
    torn += whole ? 0 : 1;
    ++reads;
    if (auto table = screen->tableView()) screen->adapter()->reloadTableView(*table, false);
  }
  writer.join();
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  recordings()->notifyObserversForCameraID(kCamera);
  EXPECT_DOUBLE_EQ(shown->timelineRecordingStartTime(), base + 3000) << "the last write (the live message's) is shown";
}

TEST_F(TimelineDataFlow, ProgressWrittenOnADownloadThreadReachesTheCardThroughAReloadOnMain) {
  auto event = restEvent(42, now() - 60);
  setEvents({event});
  auto screen = showScreen(makeScreen(2));  // three minutes: the card has its action and state
  auto card = [&]() -> std::shared_ptr<KLTimelineTableViewCell> {
    for (const auto& c : screen->tableView()->visibleCells()) {
      auto cell = std::dynamic_pointer_cast<KLTimelineTableViewCell>(c);
      if (cell && !cell->eventContainer()->isHidden()) return cell;
    }
    return nullptr;
  };
  ASSERT_TRUE(card());
  EXPECT_TRUE(card()->downloadStatusContainerView()->isHidden()) << "nothing downloading yet";

  // The download manager's thread writes the progress and tells the screen there.
  const size_t reloads = screen->reloadCount();
  std::thread download([&] {
    event->setDownloadProgress(0.4);
    screen->downloadProgressUpdated(0.4f, event);
  });
  download.join();
  EXPECT_EQ(screen->reloadCount(), reloads) << "no reload on the download thread";
  driver().pump();
  EXPECT_GT(screen->reloadCount(), reloads);
  ASSERT_TRUE(card());
  EXPECT_FALSE(card()->downloadStatusContainerView()->isHidden());
  EXPECT_EQ(card()->downloadStatusImageView()->alpha(), 1.0);
}

TEST_F(TimelineDataFlow, TheScreenReloadsAndScrollsWhileEventsAndRecordingsChangeElsewhere) {
  const double t0 = now() - 3 * 3600;
  std::vector<KLEventPtr> cached;
  for (int i = 0; i < 120; ++i) cached.push_back(restEvent(500 - i, now() - 60 - i * 90.0));
  setEvents(cached);
  auto list = recordings()->recordingsForCameraID(kCamera);
  setRecordings({restRecording(10, t0 + 7200, t0 + 9000), restRecording(9, t0, t0 + 3600)});
  auto screen = showScreen(makeScreen(2));  // three minutes: action buttons and download states show
  auto table = screen->tableView();
  ASSERT_TRUE(table);

  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int round = 0; round < 40; ++round) {
      // A newer page merged on the lists' queue, a clip address fetched into an event, progress.
      list->appendSortedRecordings({restRecording(11 + round, t0 + 9100 + round * 60, t0 + 9150 + round * 60)}, nullptr);
      auto reply = std::make_shared<KLEventResponse>();
      reply->setEventID(500 - round);
      auto urls = std::make_shared<KLEventURLResponse>();
      urls->setMp4Https("https://127.0.0.1/clip/" + std::to_string(round) + ".mp4");
      reply->setUrls(urls);
      reply->setType(std::string("vmdDetected"));
      cached[static_cast<size_t>(round)]->mergeValuesForKeysFromModel(reply);
      cached[static_cast<size_t>(round)]->setDownloadProgress(round / 40.0);
    }
    list->customQueue()->sync([] {});
    done = true;
  });
  int frames = 0;
  double t = screen->adapter()->scrollTime();
  while (!done || frames < 30) {
    recordings()->notifyObserversForCameraID(kCamera);
    events()->notifyObserversForCameraID(kCamera);
    t -= 45;
    screen->adapter()->scrollToTime(t, *table, false);
    screen->reloadTableViewAndResetVelocity(true);
    MainRunLoop::runUntilIdle();
    ++frames;
  }
  worker.join();
  recordings()->notifyObserversForCameraID(kCamera);
  driver().pump();
  EXPECT_EQ(screen->dataSource()->allTimelineRecordings().size(), 42u) << "every merged page reached the strip";
  auto newest = screen->dataSource()->newestTimelineRecording();
  ASSERT_TRUE(newest);
  EXPECT_DOUBLE_EQ(newest->timelineRecordingStartTime(), t0 + 9100 + 39 * 60);
  EXPECT_EQ(screen->dataSource()->allTimelineEvents().size(), 120u);
}

}  // namespace
}  // namespace dk
