// The recording manager over a scripted executor: which pages it asks for, what reaches the
// cache, and when (and on which thread) observers and callers hear of it.
#include "services/kl_recording_manager.h"

#include <gtest/gtest.h>

#include <atomic>

#include "foundation/server_timestamp.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/notification_center.h"
#include "services/kl_service_notifications.h"
#include "services/manager_observers.h"
#include "services/scripted_executor.h"
#include "services/server_time.h"

namespace dk::test {
namespace {

using platform::MainRunLoop;
using platform::Value;

constexpr int64_t kRecordingsCamera = 1001;
constexpr double kRecordingsNow = 1700000000.0;

// Recording `id` starts 10000 - id minutes before now and lasts 50 seconds (open when `open`).
double recordingStart(int64_t id) { return kRecordingsNow - 60.0 * static_cast<double>(10000 - id); }
std::string recording(int64_t id, bool open = false) {
  const double start = recordingStart(id);
  std::string json = R"({"recordingId":)" + std::to_string(id) + R"(,"cameraId":1001,"startTime":")" +
                     serverTime(start) + "\"";
  if (open) return json + R"(,"closed":false})";
  return json + R"(,"endTime":")" + serverTime(start + 50) + R"(","closed":true})";
}

// Recordings from `newest` down to `oldest`, newest first.
std::string page(int64_t newest, int64_t oldest) {
  std::string json = "[";
  for (int64_t id = newest; id >= oldest; --id) json += (id == newest ? "" : ",") + recording(id);
  return json + "]";
}

class KLRecordingManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KLServicesManager::setRequestExecutor(executor);
    manager->addObserverForRecordingsChanges(observer);
    observer->snapshot = [this] { return manager->recordingsForCameraID(kRecordingsCamera)->recordings().size(); };
  }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
  }

  std::shared_ptr<ScriptedExecutor> executor = std::make_shared<ScriptedExecutor>();
  std::shared_ptr<KLRecordingManager> manager = KLRecordingManager::create();
  std::shared_ptr<RecordingsObserver> observer = std::make_shared<RecordingsObserver>();
};

TEST_F(KLRecordingManagerTest, TheNewestPageIsMergedThenObserversThenTheCallerHear) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(page(300, 201)); });
  std::vector<std::string> order;
  observer->snapshot = [&] {
    order.push_back("observer");
    return manager->recordingsForCameraID(kRecordingsCamera)->recordings().size();
  };
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, [&] {
    EXPECT_TRUE(platform::isMainThread());
    order.push_back("completion");
  });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(order, (std::vector<std::string>{"observer", "completion"}));
  EXPECT_EQ(observer->countsSeen, std::vector<size_t>{100});  // merged before anyone heard
  EXPECT_TRUE(observer->onMain);
  ASSERT_EQ(executor->count(), 1u);
  EXPECT_EQ(executor->parameter(0, "limit"), "100");
  EXPECT_EQ(executor->parameter(0, "sortByRecordingIdOrder"), "desc");
  EXPECT_EQ(executor->parameter(0, "maxTimestamp"), "");  // the newest page has no bound
  EXPECT_EQ(executor->requests()[0]->requestURL(), "/rest/v2.2/cameras/1001/recordings");
}

TEST_F(KLRecordingManagerTest, AnEmptyOrFailedNewestPageCallsNobody) {
  int completions = 0;
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body("[]"); });
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, [&] { completions++; });
  MainRunLoop::runUntilIdle();
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::failure(500); });
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, [&] { completions++; });
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(completions, 0);
  EXPECT_EQ(observer->calls(), 0);
  EXPECT_EQ(executor->count(), 2u);
}

TEST_F(KLRecordingManagerTest, ACancelledNewestPageIsAskedAgainAFewTimesOnly) {
  std::atomic<int> attempts{0};
  executor->setScript([&](const KLRequest&, size_t index) {
    attempts++;
    if (index < 2) return ScriptedReply{{}, {}, platform::Error::make("NSURLErrorDomain", -999, "cancelled")};
    return ScriptedReply::body(page(300, 299));
  });
  bool done = false;
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, [&] { done = true; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(done);  // the third attempt got through
  EXPECT_EQ(attempts, 3);

  // Cancelled every time: asked again a bounded number of times, then given up silently.
  executor->setScript([](const KLRequest&, size_t) {
    return ScriptedReply{{}, {}, platform::Error::make("NSURLErrorDomain", -999, "cancelled")};
  });
  bool never = false;
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, [&] { never = true; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_FALSE(never);
  EXPECT_EQ(executor->count(), 3u + 4u);
}

TEST_F(KLRecordingManagerTest, OlderPagesEndWithOneNotificationFewerThanPagesThenTheCompletion) {
  // Pages of 100 going back, each starting with the oldest known recording; the third only
  // repeats it and so completes the history.
  executor->setScript([](const KLRequest& request, size_t index) {
    if (index == 0) return ScriptedReply::body(page(300, 201));
    if (index == 1) return ScriptedReply::body(page(201, 102));
    return ScriptedReply::body(page(102, 102));
  });
  std::vector<std::string> events;
  observer->snapshot = [&] {
    events.push_back("observer");
    return manager->recordingsForCameraID(kRecordingsCamera)->recordings().size();
  };
  bool done = false;
  manager->loadRecordingsForCameraID(kRecordingsCamera, [&] {
    EXPECT_TRUE(platform::isMainThread());
    events.push_back("completion");
    done = true;
  });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_TRUE(done);
  EXPECT_EQ(events, (std::vector<std::string>{"observer", "observer", "completion"}));
  auto list = manager->recordingsForCameraID(kRecordingsCamera);
  EXPECT_TRUE(list->allRecordingsLoaded());
  EXPECT_EQ(list->recordings().size(), 199u);
  EXPECT_EQ(list->recordings().back()->recordingID(), 102);
  ASSERT_EQ(executor->count(), 3u);
  // Each older page is bounded by the oldest start known when it was asked for.
  EXPECT_EQ(executor->parameter(0, "maxTimestamp"), "");
  EXPECT_EQ(Value::parseJSON("[" + recording(201) + "]")[size_t(0)]["startTime"].stringValue(),
            executor->parameter(1, "maxTimestamp"));
  EXPECT_EQ(Value::parseJSON("[" + recording(102) + "]")[size_t(0)]["startTime"].stringValue(),
            executor->parameter(2, "maxTimestamp"));

  // Once complete, asking again completes at once and sends nothing.
  bool again = false;
  manager->loadRecordingsForCameraID(kRecordingsCamera, [&] { again = true; });
  MainRunLoop::runUntilIdle();
  EXPECT_TRUE(again);
  EXPECT_EQ(executor->count(), 3u);
}

TEST_F(KLRecordingManagerTest, AFailedOlderPageEndsTheLoopOnTheMainThread) {
  executor->setScript([](const KLRequest&, size_t index) {
    return index == 0 ? ScriptedReply::body(page(300, 201)) : ScriptedReply::failure(503);
  });
  bool done = false;
  bool onMain = false;
  manager->loadRecordingsForCameraID(kRecordingsCamera, [&] {
    done = true;
    onMain = platform::isMainThread();
  });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(done);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(observer->calls(), 1);  // the first page's chained notification
  EXPECT_FALSE(manager->recordingsForCameraID(kRecordingsCamera)->allRecordingsLoaded());
  EXPECT_EQ(manager->recordingsForCameraID(kRecordingsCamera)->recordings().size(), 100u);
}

// A cloud holding recordings 1 to `newest` and, when given, a late upload with the identifier
// `lateUpload` (uploaded from the camera's card after a gap: the highest identifier, the oldest
// start). It answers as the REST API does: starts up to "maxTimestamp", highest identifier first,
// 100 at most; so a late upload heads every older page.
ScriptedReply historyCloud(const KLRequest& request, int64_t newest, std::optional<int64_t> lateUpload = {}) {
  const double lateStart = recordingStart(1) - 3600;
  std::optional<double> bound;
  const Value max = request.parameters()["maxTimestamp"];
  if (max.isString()) bound = parseServerTimestamp(max.stringValue());
  std::string json = "[";
  int taken = 0;
  if (lateUpload && (!bound || lateStart <= *bound)) {
    json += R"({"recordingId":)" + std::to_string(*lateUpload) + R"(,"cameraId":1001,"startTime":")" +
            serverTime(lateStart) + R"(","endTime":")" + serverTime(lateStart + 50) + R"(","closed":true})";
    taken++;
  }
  for (int64_t id = newest; id >= 1 && taken < 100; --id) {
    if (bound && recordingStart(id) > *bound) continue;
    json += (taken++ ? "," : "") + recording(id);
  }
  return ScriptedReply::body(json + "]");
}

ScriptedReply lateUploadCloud(const KLRequest& request) { return historyCloud(request, 201, 950); }

// The timeline screen starts the newest page and the older pages together. On an empty cache the
// older pages' first request has no bound, so it is the newest page again; whichever of the two
// replies comes first, the whole history is held and complete.
TEST_F(KLRecordingManagerTest, TheNewestAndTheOlderPagesStartedTogetherLoadTheWholeHistory) {
  const auto cloud = [](const KLRequest& request) { return historyCloud(request, 350); };
  for (const size_t firstAnswered : {0u, 1u}) {
    SCOPED_TRACE("the reply answered first: " + std::to_string(firstAnswered));
    manager->deleteRecordingsForCameraID(kRecordingsCamera);
    const size_t before = executor->count();
    executor->setScript([&](const KLRequest& request, size_t index) {
      return index < before + 2 ? ScriptedReply::parked() : cloud(request);
    });
    int completions = 0;
    manager->loadNewRecordingsForCameraID(kRecordingsCamera, nullptr);
    manager->loadRecordingsForCameraID(kRecordingsCamera, [&] { completions++; });
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(executor->count(), before + 2);
    EXPECT_EQ(executor->parameter(before + 1, "maxTimestamp"), "") << "nothing cached yet: no bound";
    ASSERT_TRUE(executor->answerParked(firstAnswered, cloud));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_TRUE(executor->answerParked(0, cloud));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());

    EXPECT_EQ(completions, 1);
    auto list = manager->recordingsForCameraID(kRecordingsCamera);
    EXPECT_TRUE(list->allRecordingsLoaded());
    const auto held = list->recordings();
    ASSERT_EQ(held.size(), 350u);
    for (size_t i = 0; i < held.size(); ++i) ASSERT_EQ(held[i]->recordingID(), int64_t(350 - i));
  }
}

// Deleting an event drops the recording under it from the cache; the cloud still lists it, and
// the next newest page (a live recording message, a return to the foreground) must not bring it
// back, while the recordings made since still arrive.
TEST_F(KLRecordingManagerTest, ARecordingDroppedFromTheCacheStaysOutOfLaterNewestPages) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(page(300, 201)); });
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, nullptr);
  MainRunLoop::runUntilIdle();
  manager->deleteRecordingForCameraID(kRecordingsCamera, 250);
  MainRunLoop::runUntilIdle();

  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(page(302, 203)); });
  manager->handleMessageUpdate(Value::parseJSON(R"({"cameraId":1001,"recordingId":301})"), 0, nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, nullptr);
  MainRunLoop::runUntilIdle();

  auto list = manager->recordingsForCameraID(kRecordingsCamera);
  EXPECT_EQ(list->getRecordingWithId(250), nullptr);
  ASSERT_NE(list->getRecordingWithId(302), nullptr);
  ASSERT_NE(list->getRecordingWithId(301), nullptr);
  const auto held = list->recordings();
  EXPECT_EQ(held.size(), 100u - 1u + 2u);
  EXPECT_EQ(held.front()->recordingID(), 302);
  EXPECT_EQ(executor->count(), 3u);
}

TEST_F(KLRecordingManagerTest, ALateUploadHeadingOlderPagesHidesNothingOfTheHistory) {
  executor->setScript([](const KLRequest& request, size_t) { return lateUploadCloud(request); });
  int completions = 0;
  manager->loadRecordingsForCameraID(kRecordingsCamera, [&] { completions++; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(completions, 1);
  auto list = manager->recordingsForCameraID(kRecordingsCamera);
  EXPECT_TRUE(list->allRecordingsLoaded());
  const auto recordings = list->recordings();
  ASSERT_EQ(recordings.size(), 202u);
  EXPECT_EQ(recordings.front()->recordingID(), 950);
  for (size_t i = 1; i < recordings.size(); ++i) EXPECT_EQ(recordings[i]->recordingID(), int64_t(202 - i));
  // Three pages bring recordings, the fourth only what is known: it completes the history.
  EXPECT_EQ(executor->count(), 4u);
  EXPECT_EQ(observer->calls(), 3);

  // Paging back to a time reaches it too.
  manager->deleteRecordingsForCameraID(kRecordingsCamera);
  const std::string inThree = serverTime(recordingStart(3) + 10);
  bool done = false;
  manager->loadRecordingsForCameraID(kRecordingsCamera, inThree, [&] { done = true; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(done);
  EXPECT_NE(manager->recordingsForCameraID(kRecordingsCamera)->getRecordingForTimestamp(inThree), nullptr);
  EXPECT_EQ(executor->count(), 4u + 3u);
}

// An older page whose recordings all lack identifiers adds nothing: the history is complete, and
// the loop does not ask for the same page again.
TEST_F(KLRecordingManagerTest, AnOlderPageOfRecordingsWithoutIdentifiersCompletesTheHistory) {
  const std::string noIdentifiers = R"([{"cameraId":1001,"startTime":")" + serverTime(recordingStart(150)) +
                                    R"("},{"cameraId":1001,"startTime":")" + serverTime(recordingStart(149)) + "\"}]";
  executor->setScript([&](const KLRequest&, size_t index) {
    if (index == 0) return ScriptedReply::body(page(300, 201));
    return index < 10 ? ScriptedReply::body(noIdentifiers) : ScriptedReply::failure(500);
  });
  int completions = 0;
  manager->loadRecordingsForCameraID(kRecordingsCamera, [&] { completions++; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(completions, 1);
  EXPECT_EQ(executor->count(), 2u);
  auto list = manager->recordingsForCameraID(kRecordingsCamera);
  EXPECT_TRUE(list->allRecordingsLoaded());
  EXPECT_EQ(list->recordings().size(), 100u);
}

// A cloud that ignores the older pages' bound and invents new identifiers for the same recordings
// at every page: each page adds recordings but none reaches further back, so the loop ends
// instead of asking the same page again for ever (and growing the list without end).
TEST_F(KLRecordingManagerTest, OlderPagesThatReachNoFurtherBackEndTheLoop) {
  executor->setScript([](const KLRequest&, size_t index) {
    if (index == 0) return ScriptedReply::body(page(300, 201));
    if (index > 500) return ScriptedReply::failure(500);  // keeps a looping manager from hanging the test
    const int64_t id = 1000 + static_cast<int64_t>(index);
    return ScriptedReply::body("[" + recording(id) + "]");
  });
  for (const bool upToATime : {false, true}) {
    SCOPED_TRACE(upToATime ? "up to a time" : "the whole history");
    manager->deleteRecordingsForCameraID(kRecordingsCamera);
    const size_t before = executor->count();
    bool done = false;
    if (upToATime) {
      manager->loadRecordingsForCameraID(kRecordingsCamera, serverTime(recordingStart(3)), [&] { done = true; });
    } else {
      manager->loadRecordingsForCameraID(kRecordingsCamera, [&] { done = true; });
    }
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_TRUE(done);
    EXPECT_LE(executor->count() - before, 3u);
  }
}

TEST_F(KLRecordingManagerTest, OlderPagesUpToATimeStopOnceItIsCoveredWithoutNotifying) {
  executor->setScript([](const KLRequest&, size_t index) {
    if (index == 0) return ScriptedReply::body(page(300, 201));
    return ScriptedReply::body(page(201, 102));
  });
  // Recording 150 starts at now - 9850 minutes; ask for a time inside it.
  const double inside = kRecordingsNow - 60.0 * (10000 - 150) + 10;
  bool done = false;
  manager->loadRecordingsForCameraID(kRecordingsCamera, serverTime(inside), [&] { done = true; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(done);
  EXPECT_EQ(executor->count(), 2u);
  EXPECT_EQ(observer->calls(), 0);
  ASSERT_NE(manager->recordingsForCameraID(kRecordingsCamera)->getRecordingForTimestamp(serverTime(inside)), nullptr);
}

TEST_F(KLRecordingManagerTest, ALiveMessageClosesTheRecordingWithTheTimesItCarriesAndReloads) {
  executor->setScript([](const KLRequest&, size_t index) {
    return ScriptedReply::body("[" + recording(300, true) + "," + recording(299) + "]");
  });
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, nullptr);
  MainRunLoop::runUntilIdle();
  auto list = manager->recordingsForCameraID(kRecordingsCamera);
  auto open = list->getRecordingWithId(300);
  ASSERT_NE(open, nullptr);
  const auto start = open->startStringTime();
  EXPECT_FALSE(open->endStringTime());

  // A message without start time: the known start stays, the end and the closed flag arrive.
  const std::string end = serverTime(kRecordingsNow + 5);
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body("[]"); });
  manager->handleMessageUpdate(
      Value::parseJSON(R"({"cameraId":1001,"recordingId":300,"endTime":")" + end + "\"}"), 0, nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(open->startStringTime(), start);
  EXPECT_EQ(open->endStringTime(), end);
  EXPECT_EQ(open->closed(), true);
  EXPECT_EQ(executor->count(), 2u);  // the newest page again

  // A message without end time leaves the end it has.
  manager->handleMessageUpdate(Value::parseJSON(R"({"cameraId":1001,"recordingId":300,"startTime":")" +
                                                serverTime(kRecordingsNow - 1) + "\"}"),
                               0, nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(open->endStringTime(), end);
  EXPECT_EQ(open->startStringTime(), serverTime(kRecordingsNow - 1));
  EXPECT_EQ(executor->count(), 3u);
}

TEST_F(KLRecordingManagerTest, ALiveMessageWithEqualTimesOrAnUnknownRecordingOnlyReloads) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(page(300, 299)); });
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, nullptr);
  MainRunLoop::runUntilIdle();
  auto cached = manager->recordingsForCameraID(kRecordingsCamera)->getRecordingWithId(300);
  const auto end = cached->endStringTime();
  const std::string same = serverTime(kRecordingsNow);
  manager->handleMessageUpdate(Value::parseJSON(R"({"cameraId":1001,"recordingId":300,"startTime":")" + same +
                                                R"(","endTime":")" + same + "\"}"),
                               0, nullptr, nullptr);
  manager->handleMessageUpdate(Value::parseJSON(R"({"cameraId":1001,"recordingId":7,"endTime":")" + same + "\"}"),
                               0, nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(cached->endStringTime(), end);
  EXPECT_EQ(executor->count(), 3u);
  // Each reload merged a non-empty page: once by the load, once by the message's completion.
  EXPECT_EQ(observer->calls(), 1 + 2 * 2);
}

// A broker flooding one camera's recording messages (hostile or broken): each message still
// closes its recording, in order, but the newest page is reloaded once in flight and once more
// for everything that came meanwhile, not once per message; other cameras are not held up.
TEST_F(KLRecordingManagerTest, AFloodOfRecordingMessagesReloadsOnceInFlightAndOnceMore) {
  executor->setScript([](const KLRequest&, size_t index) {
    return index == 0 ? ScriptedReply::body("[" + recording(300, true) + "," + recording(299) + "]")
                      : ScriptedReply::parked();
  });
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, nullptr);
  MainRunLoop::runUntilIdle();
  auto open = manager->recordingsForCameraID(kRecordingsCamera)->getRecordingWithId(300);
  ASSERT_NE(open, nullptr);
  const auto message = [](int64_t camera, int64_t recordingID, double end) {
    return Value::parseJSON(R"({"cameraId":)" + std::to_string(camera) + R"(,"recordingId":)" +
                            std::to_string(recordingID) + R"(,"endTime":")" + serverTime(end) + "\"}");
  };

  for (int i = 0; i < 1000; ++i) manager->handleMessageUpdate(message(kRecordingsCamera, 300, kRecordingsNow + i), 0, nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(executor->count(), 2u) << "the first load, then one reload in flight";
  EXPECT_EQ(open->endStringTime(), serverTime(kRecordingsNow + 999)) << "every message closed it, in order";

  executor->answerParked(ScriptedReply::body(page(300, 299)));
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(executor->count(), 3u) << "one follow-up for the 999 messages that came meanwhile";
  const int told = observer->calls();
  EXPECT_EQ(told, 2 * 1 + 1) << "the first load, then the reload's merge and its message";

  executor->answerParked(ScriptedReply::failure(500));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(executor->count(), 3u) << "nothing came during the follow-up: the camera is quiet again";
  EXPECT_EQ(observer->calls(), told);

  // The next message reloads at once again, after a failed reload too; another camera's message
  // is never held up by it.
  manager->handleMessageUpdate(message(kRecordingsCamera, 300, kRecordingsNow + 2000), 0, nullptr, nullptr);
  manager->handleMessageUpdate(message(2002, 1, kRecordingsNow + 2000), 0, nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(executor->count(), 5u);
  EXPECT_EQ(executor->requests()[3]->requestURL(), "/rest/v2.2/cameras/1001/recordings");
  EXPECT_EQ(executor->requests()[4]->requestURL(), "/rest/v2.2/cameras/2002/recordings");
  executor->answerParked(ScriptedReply::body("[]"));
  MainRunLoop::runUntilIdle();
}

TEST_F(KLRecordingManagerTest, ObserversHearOfADeletionOnlyOnceItTookEffect) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(page(300, 291)); });
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, nullptr);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(observer->countsSeen.back(), 10u);

  manager->deleteRecordingForCameraID(kRecordingsCamera, 295);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(observer->calls(), 2);
  EXPECT_EQ(observer->countsSeen.back(), 9u);  // the observer already sees the list without it
  EXPECT_TRUE(observer->onMain);
  EXPECT_EQ(manager->recordingsForCameraID(kRecordingsCamera)->getRecordingWithId(295), nullptr);
  EXPECT_EQ(executor->count(), 1u);  // no request

  // Unknown camera lists are not created, and nobody is told.
  manager->deleteRecordingForCameraID(4242, 1);
  manager->deleteRecordingForCameraID(std::nullopt, 1);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(observer->calls(), 2);
}

TEST_F(KLRecordingManagerTest, ADeletedCameraLosesItsListAndStartsAgainEmpty) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(page(300, 291)); });
  manager->loadNewRecordingsForCameraID(kRecordingsCamera, nullptr);
  MainRunLoop::runUntilIdle();
  auto before = manager->recordingsForCameraID(kRecordingsCamera);
  ASSERT_EQ(before->recordings().size(), 10u);
  platform::NotificationCenter::defaultCenter().post(kCameraDeletedNotification, nullptr,
                                                     {{kCameraIdUserInfoKey, Value(kRecordingsCamera)}});
  auto after = manager->recordingsForCameraID(kRecordingsCamera);
  EXPECT_NE(after, before);
  EXPECT_TRUE(after->recordings().empty());
  EXPECT_FALSE(after->allRecordingsLoaded());
  EXPECT_EQ(manager->recordingsForCameraID(std::nullopt), nullptr);
}

TEST_F(KLRecordingManagerTest, ObserversAreKeptOnceInOrderUntilRemoved) {
  auto second = std::make_shared<RecordingsObserver>();
  manager->addObserverForRecordingsChanges(second);
  manager->addObserverForRecordingsChanges(observer);
  manager->addObserverForRecordingsChanges(nullptr);
  EXPECT_EQ(manager->recordingsUpdatesDelegates().size(), 2u);
  manager->notifyObserversForCameraID(kRecordingsCamera);
  EXPECT_EQ(observer->calls(), 1);
  EXPECT_EQ(second->calls(), 1);
  manager->removeObserverForRecordingsChanges(observer);
  manager->removeObserverForRecordingsChanges(observer);
  manager->notifyObserversForCameraID(kRecordingsCamera);
  EXPECT_EQ(observer->calls(), 1);
  EXPECT_EQ(second->calls(), 2);
  EXPECT_TRUE(manager->respondsToSelector("handleMessageUpdate:forClassType:modelClass:modelListClass:"));
  EXPECT_FALSE(manager->respondsToSelector("handleMessageDelete:forClassType:modelClass:"));
}

}  // namespace
}  // namespace dk::test
