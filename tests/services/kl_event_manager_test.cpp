// The event manager over a scripted executor: paging by the "Link" header and when it must stop,
// newer events from the right bound, deletions, ordering and the look-ups the timeline labels
// events with.
#include "services/kl_event_manager.h"

#include <gtest/gtest.h>

#include "platform/dispatch/run_loop.h"
#include "platform/foundation/key_value_observation_controller.h"
#include "services/manager_observers.h"
#include "services/manager_report.h"
#include "services/scripted_executor.h"
#include "services/server_time.h"
#include "support/manual_clock.h"

namespace dk::test {
namespace {

using platform::MainRunLoop;
using platform::Value;

constexpr int64_t kCamera = 1001;
constexpr double kNow = 1700000000.0;

// Event `id` happened id seconds after kNow - 100000.
std::string event(int64_t id, const std::string& type = "vmdDetected") {
  return R"({"eventId":)" + std::to_string(id) + R"(,"timestamp":")" + serverTime(kNow - 100000 + id) +
         R"(","type":")" + type + R"(","source":{"sourceId":1001,"type":"camera"}})";
}
std::string events(int64_t newest, int64_t oldest) {
  std::string json = "[";
  for (int64_t id = newest; id >= oldest; --id) json += (id == newest ? "" : ",") + event(id);
  return json + "]";
}
std::string link(const std::string& query) {
  return "<http://127.0.0.1:1/rest/v2.4/events?" + query + ">; rel=\"next\"";
}
KLCameraListPtr oneCamera() {
  return platform::modelFromJSON<KLCameraListResponse>(
      Value::parseJSON(R"({"cameras":[{"cameraId":1001,"name":"Front Door","online":false}]})"));
}
bool isPage(const KLRequest& request) { return request.requestName() == OLD_EVENTS_GET_REQUEST_CLOUD; }

class KLEventManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KLServicesManager::setRequestExecutor(executor);
    manager->addObserverForEventsChanges(observer);
    observer->snapshot = [this] { return manager->numberOfEventsForCameraID(kCamera); };
  }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
  }
  // Pages the whole history and waits for the end; returns what the completion received.
  Value pageAll() {
    std::optional<Value> outcome;
    manager->getOldEventsForCameraID(kCamera, nullptr, [&](const Value& page) { outcome = page; });
    EXPECT_TRUE(MainRunLoop::runUntil([&] { return outcome.has_value(); }));
    MainRunLoop::runUntilIdle();
    return outcome.value_or(Value());
  }

  std::shared_ptr<ScriptedExecutor> executor = std::make_shared<ScriptedExecutor>();
  std::shared_ptr<KLEventManager> manager = KLEventManager::create();
  std::shared_ptr<EventsObserver> observer = std::make_shared<EventsObserver>();
};

TEST_F(KLEventManagerTest, OlderPagesFollowTheLinkHeaderAndEachNotifiesOnce) {
  executor->setScript([](const KLRequest&, size_t index) {
    if (index == 0) return ScriptedReply::body(events(600, 401), link("cameraIds=1001&limit=200&maxEventId=400"));
    if (index == 1) return ScriptedReply::body(events(400, 201), link("cameraIds=1001&limit=200&maxEventId=200"));
    return ScriptedReply::body(events(200, 150));
  });
  Value last = pageAll();
  auto list = manager->eventsForCameraID(kCamera);
  EXPECT_EQ(list->numberOfEvents(), 451u);
  EXPECT_TRUE(list->oldEventsFinishedLoading());
  // One call per page. Paging goes on while the main thread tells the observers, so a call may
  // already see a later page; it never sees fewer events than its own page brought.
  ASSERT_EQ(observer->calls(), 3);
  EXPECT_GE(observer->countsSeen[0], 200u);
  EXPECT_GE(observer->countsSeen[1], 400u);
  EXPECT_EQ(observer->countsSeen[2], 451u);
  EXPECT_TRUE(observer->onMain);
  ASSERT_NE(last.objectAs<KLEventListResponse>(), nullptr);
  EXPECT_EQ(last.objectAs<KLEventListResponse>()->numberOfEvents(), 51u);
  ASSERT_EQ(executor->count(), 3u);
  EXPECT_EQ(executor->parameter(0, "limit"), "200");
  EXPECT_EQ(executor->parameter(0, "includeUrlTypes"), "none");
  EXPECT_EQ(executor->parameter(0, "cameraIds"), "1001");
  EXPECT_EQ(executor->parameter(0, "maxEventId"), "");
  EXPECT_EQ(executor->parameter(1, "maxEventId"), "400");
  EXPECT_EQ(executor->parameter(2, "maxEventId"), "200");
  EXPECT_TRUE(manager->eventsFinishedLoadingForCameraIDs({kCamera}));
}

TEST_F(KLEventManagerTest, ANextLinkPointingBackAtTheSamePageEndsThePaging) {
  // A cloud whose every page links to itself: the second answer adds nothing and must end it.
  executor->setScript([](const KLRequest&, size_t) {
    return ScriptedReply::body(events(600, 401), link("cameraIds=1001&limit=200"));
  });
  pageAll();
  EXPECT_EQ(executor->count(), 2u);
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 200u);
  EXPECT_TRUE(manager->eventsForCameraID(kCamera)->oldEventsFinishedLoading());
  EXPECT_EQ(observer->calls(), 2);
}

// A live event's fetch can bring the very page the paging asks for next: that page adds nothing,
// yet the history goes on behind its next link.
TEST_F(KLEventManagerTest, APageAlreadyFetchedByALiveEventDoesNotEndThePaging) {
  const auto maxEventID = [](const KLRequest& request) {
    const Value v = request.parameters()["maxEventId"];
    return v.isString() ? v.stringValue() : std::string();
  };
  executor->setScript([&](const KLRequest& request, size_t index) {
    if (!isPage(request)) return ScriptedReply::body(events(600, 201));  // the live event's fetch
    if (index == 0) return ScriptedReply::body(events(600, 401), link("cameraIds=1001&limit=200&maxEventId=400"));
    if (maxEventID(request) == "400") return ScriptedReply::parked();
    return ScriptedReply::body(events(200, 1));
  });
  std::optional<Value> outcome;
  manager->getOldEventsForCameraID(kCamera, nullptr, [&](const Value& page) { outcome = page; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return executor->count() == 2; }));
  // Meanwhile a late event arrives: everything from its time on is fetched and merged.
  manager->getNewEventsForCameraID(kCamera, Value(serverTime(kNow - 100000 + 201)), KLEventManager::ResultBlock());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return manager->numberOfEventsForCameraID(kCamera) == 400; }));
  executor->answerParked(ScriptedReply::body(events(400, 201), link("cameraIds=1001&limit=200&maxEventId=200")));
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return outcome.has_value(); }));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 600u);
  EXPECT_TRUE(manager->eventsForCameraID(kCamera)->oldEventsFinishedLoading());
  ASSERT_EQ(executor->count(), 4u);
  EXPECT_EQ(executor->parameter(3, "maxEventId"), "200");
}

TEST_F(KLEventManagerTest, PagingStopsWhenANextLinkRepeatsARequestAlreadyMade) {
  // Two pages linking to each other, each adding something the first time only.
  executor->setScript([](const KLRequest& request, size_t) {
    const Value v = request.parameters()["maxEventId"];
    const std::string max = v.isString() ? v.stringValue() : std::string();
    if (max == "400") return ScriptedReply::body(events(400, 201), link("cameraIds=1001&limit=200&maxEventId=600"));
    return ScriptedReply::body(events(600, 401), link("cameraIds=1001&limit=200&maxEventId=400"));
  });
  pageAll();
  EXPECT_EQ(executor->count(), 3u);  // first page, 400, 600; the link back to 400 is not followed
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 400u);
  EXPECT_TRUE(manager->eventsForCameraID(kCamera)->oldEventsFinishedLoading());

  // A cloud handing out ever new links is left after 50 pages in a row that add nothing, be they
  // pages of known events (after the first, which adds them) or empty ones.
  struct Case {
    std::string body;
    size_t requests;
  };
  for (const Case& c : {Case{events(600, 401), 51}, Case{"[]", 50}}) {
    SCOPED_TRACE(c.body.substr(0, 20));
    executor->setScript([&](const KLRequest&, size_t index) {
      return ScriptedReply::body(c.body, link("cameraIds=1001&maxEventId=" + std::to_string(100000 + index)));
    });
    manager->deleteEventsForCameraID(kCamera);
    const size_t before = executor->count();
    pageAll();
    EXPECT_EQ(executor->count() - before, c.requests);
    EXPECT_TRUE(manager->eventsForCameraID(kCamera)->oldEventsFinishedLoading());
  }
}

// The cloud may filter a whole stretch out of a page and still link on: the history behind the
// empty page is fetched. An empty page linking to itself ends as any repeated request does.
TEST_F(KLEventManagerTest, AnEmptyPageWithANextLinkLeadsOnToTheHistoryBehindIt) {
  executor->setScript([](const KLRequest& request, size_t) {
    const Value v = request.parameters()["maxEventId"];
    const std::string max = v.isString() ? v.stringValue() : std::string();
    if (max.empty()) return ScriptedReply::body(events(600, 401), link("cameraIds=1001&maxEventId=400"));
    if (max == "400") return ScriptedReply::body("[]", link("cameraIds=1001&maxEventId=200"));
    return ScriptedReply::body(events(200, 1));
  });
  pageAll();
  EXPECT_EQ(executor->count(), 3u);
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 400u);
  EXPECT_TRUE(manager->eventsForCameraID(kCamera)->oldEventsFinishedLoading());
  EXPECT_EQ(observer->calls(), 3);

  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body("[]", link("maxEventId=5")); });
  manager->deleteEventsForCameraID(kCamera);
  const size_t before = executor->count();
  pageAll();
  EXPECT_EQ(executor->count() - before, 2u);
  EXPECT_TRUE(manager->eventsForCameraID(kCamera)->oldEventsFinishedLoading());
}

TEST_F(KLEventManagerTest, AFailingPageIsRetriedSpacedOutThenTheLoopGivesUp) {
  ManualClockScope clock;
  executor->setScript([](const KLRequest&, size_t index) {
    if (index == 0) return ScriptedReply::body(events(600, 401), link("cameraIds=1001&maxEventId=400"));
    return ScriptedReply::failure(503);
  });
  std::optional<Value> outcome;
  manager->getOldEventsForCameraID(kCamera, nullptr, [&](const Value& page) { outcome = page; });
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(executor->count(), 2u);  // the retry waits for the clock
  for (int retry = 1; retry <= KLEventManager::kOldEventsPageRetries; ++retry) {
    clock.advance(KLEventManager::kOldEventsPageRetryInterval - 0.5);
    EXPECT_EQ(executor->count(), 1u + retry);
    clock.advance(0.5);
    EXPECT_EQ(executor->count(), 2u + retry);
    // Every retry asks for the very page that failed.
    EXPECT_EQ(executor->parameter(executor->count() - 1, "maxEventId"), "400");
  }
  ASSERT_TRUE(outcome.has_value());
  EXPECT_TRUE(outcome->isNil());
  clock.advance(60);
  EXPECT_EQ(executor->count(), 2u + KLEventManager::kOldEventsPageRetries);  // it stopped
  EXPECT_TRUE(manager->eventsForCameraID(kCamera)->oldEventsFinishedLoading());
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 200u);  // what it had is kept
  EXPECT_EQ(observer->calls(), 2);
}

TEST_F(KLEventManagerTest, ASingleFailedPageHandsBackTheRequestThatFailed) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::failure(500); });
  auto request = KLEventManager::nextRequestFromEventsList(nullptr);
  EXPECT_EQ(request, nullptr);
  auto list = manager->eventsForCameraID(kCamera);
  list->setNextEventsBatchURL("http://127.0.0.1:1/rest/v2.4/events?cameraIds=1001&maxEventId=77");
  request = KLEventManager::nextRequestFromEventsList(list);
  ASSERT_NE(request, nullptr);
  std::shared_ptr<KLOldEventsRequest> failed;
  int successes = 0;
  manager->getOldEventsForCameraID(kCamera, request, [&](const Value&) { successes++; },
                                   [&](const std::shared_ptr<KLOldEventsRequest>& r) { failed = r; });
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(successes, 0);
  EXPECT_EQ(failed, request);
  EXPECT_EQ(executor->parameter(0, "maxEventId"), "77");
  EXPECT_FALSE(list->oldEventsFinishedLoading());  // the single request ends no loop
}

TEST_F(KLEventManagerTest, ALiveEventFetchesFromTheEarlierOfItsTimeAndTheCachedFirstEvent) {
  executor->setScript([](const KLRequest& request, size_t) {
    return isPage(request) ? ScriptedReply::body(events(600, 401)) : ScriptedReply::body(events(603, 600));
  });
  pageAll();
  auto cameras = oneCamera();
  auto camera = cameras->cameraWithID(kCamera);
  ASSERT_NE(camera, nullptr);
  camera->setState(false);
  auto lookup = std::make_shared<CameraLookup>(cameras);
  manager->setCameraDelegate(lookup);

  const int before = observer->calls();
  const std::string firstCached = serverTime(kNow - 100000 + 600);
  // A message newer than the cache: the bound is the cached first event.
  manager->handleMessageUpdate(Value::parseJSON(R"({"type":"vmdDetected","cameraId":1001,"timestamp":")" +
                                                serverTime(kNow) + "\"}"),
                               3, nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(executor->count(), 2u);
  EXPECT_EQ(executor->requests()[1]->requestName(), NEW_EVENTS_GET_REQUEST_CLOUD);
  EXPECT_EQ(executor->parameter(1, "minTimestamp"), firstCached);
  EXPECT_EQ(executor->parameter(1, "cameraIds"), "1001");
  EXPECT_EQ(camera->state(), true);
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 203u);
  EXPECT_EQ(observer->calls(), before + 1);
  // Newer events go at the end: the first event is still the newest of the first page.
  EXPECT_EQ(manager->newestEventForCameraID(kCamera)->eventID(), 600);

  // A message older than the cache's first event: its own time is the bound.
  const std::string older = serverTime(kNow - 100000 + 500);
  manager->handleMessageUpdate(
      Value::parseJSON(R"({"type":"pirDetected","cameraId":"1001","timestamp":")" + older + "\"}"), 3, nullptr,
      nullptr);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(executor->count(), 3u);
  EXPECT_EQ(executor->parameter(2, "minTimestamp"), older);
}

// A broker that floods one camera's destination (hostile or broken) costs two requests, not one
// per message: one fetch in flight, one follow-up from the earliest time that came meanwhile. The
// camera list is set again only when the camera came online; other cameras are not held up.
TEST_F(KLEventManagerTest, AFloodOfLiveEventsFetchesOnceInFlightAndOnceMore) {
  executor->setScript([](const KLRequest& request, size_t) {
    return isPage(request) ? ScriptedReply::body(events(600, 401)) : ScriptedReply::parked();
  });
  pageAll();
  auto cameras = oneCamera();
  auto camera = cameras->cameraWithID(kCamera);
  camera->setState(false);
  auto lookup = std::make_shared<CameraLookup>(cameras);
  manager->setCameraDelegate(lookup);
  auto watcher = std::make_shared<int>(0);
  auto kvo = platform::KeyValueObservationController::controllerWithObserver(watcher);
  int listChanges = 0;
  kvo->observe(cameras, "values", platform::KeyValueObservingOptionNew,
               [&](const platform::KeyValueChange&) { listChanges++; });
  const auto message = [](int64_t camera, double at) {
    return Value::parseJSON(R"({"type":"vmdDetected","cameraId":)" + std::to_string(camera) + R"(,"timestamp":")" +
                            serverTime(at) + "\"}");
  };

  const std::string earliest = serverTime(kNow - 100000 + 450);
  for (int i = 0; i < 1000; ++i) {
    // Newer than the cache, except one in the middle that reaches back before its first event.
    manager->handleMessageUpdate(message(kCamera, i == 500 ? kNow - 100000 + 450 : kNow + i), 3, nullptr, nullptr);
  }
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(executor->count(), 2u) << "the paging, then one fetch in flight";
  EXPECT_EQ(executor->parameter(1, "minTimestamp"), serverTime(kNow - 100000 + 600));
  EXPECT_EQ(camera->state(), true);
  EXPECT_EQ(listChanges, 1) << "the list is set again once, when the camera came online";

  executor->answerParked(ScriptedReply::body(events(603, 601)));
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(executor->count(), 3u) << "one follow-up for the 999 messages that came meanwhile";
  EXPECT_EQ(executor->parameter(2, "minTimestamp"), earliest);
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 203u);

  executor->answerParked(ScriptedReply::body("[]"));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(executor->count(), 3u) << "nothing came during the follow-up: the camera is quiet again";

  // The next message fetches at once again; a message of another camera is never held up by it.
  manager->handleMessageUpdate(message(kCamera, kNow + 2000), 3, nullptr, nullptr);
  manager->handleMessageUpdate(message(2002, kNow + 2000), 3, nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(executor->count(), 4u) << "camera 2002 has nothing cached to fetch from";
  EXPECT_EQ(executor->parameter(3, "cameraIds"), "1001");
  executor->answerParked(ScriptedReply::body("[]"));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(listChanges, 1);
}

// The messages that come while a fetch is in flight are folded into one follow-up, which starts
// from the earliest time among them that reads: one that does not read gives way to one that
// does, whichever came first.
TEST_F(KLEventManagerTest, TheFollowUpOfFoldedMessagesStartsFromTheirEarliestReadableTime) {
  executor->setScript([](const KLRequest& request, size_t) {
    return isPage(request) ? ScriptedReply::body(events(600, 401)) : ScriptedReply::parked();
  });
  pageAll();
  const Value early(serverTime(kNow - 100000 + 450));
  const Value earlier(serverTime(kNow - 100000 + 420));
  const Value unreadable("soon");
  const Value number(kNow - 100000 + 410.0);  // a time, but not the server's text
  const struct {
    const char* what;
    std::vector<Value> folded;
    Value from;
  } cases[] = {
      {"an unreadable time, then a readable one", {unreadable, early}, early},
      {"a readable time, then an unreadable one", {early, unreadable}, early},
      {"a number, then a readable time", {number, early}, early},
      {"readable times: the earliest", {early, earlier, early}, earlier},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t before = executor->count();
    const auto message = [](const Value& timestamp) {
      return Value(platform::ValueDictionary{
          {"type", Value("vmdDetected")}, {"cameraId", Value(kCamera)}, {"timestamp", timestamp}});
    };
    manager->handleMessageUpdate(message(Value(serverTime(kNow))), 3, nullptr, nullptr);
    for (const Value& timestamp : c.folded) manager->handleMessageUpdate(message(timestamp), 3, nullptr, nullptr);
    MainRunLoop::runUntilIdle();
    ASSERT_EQ(executor->count(), before + 1) << "one fetch in flight";
    executor->answerParked(ScriptedReply::body("[]"));
    MainRunLoop::runUntilIdle();
    ASSERT_EQ(executor->count(), before + 2) << "one follow-up";
    EXPECT_EQ(executor->parameter(before + 1, "minTimestamp"), c.from.stringValue());
    executor->answerParked(ScriptedReply::body("[]"));
    MainRunLoop::runUntilIdle();
  }
}

TEST_F(KLEventManagerTest, ALiveEventWithIdentifiersOrTimesOfTheWrongKindChangesNothing) {
  auto cameras = oneCamera();
  auto lookup = std::make_shared<CameraLookup>(cameras);
  manager->setCameraDelegate(lookup);
  auto camera = cameras->cameraWithID(kCamera);
  camera->setState(false);
  const std::string time = "\"" + serverTime(kNow) + "\"";
  for (const std::string& body : {R"({"type":"vmdDetected","cameraId":true,"timestamp":)" + time + "}",
                                  R"({"type":"vmdDetected","cameraId":1001.5,"timestamp":)" + time + "}",
                                  R"({"type":"vmdDetected","cameraId":"1001x","timestamp":)" + time + "}",
                                  std::string(R"({"type":"vmdDetected","cameraId":1001,"timestamp":{"at":1}})"),
                                  std::string(R"({"type":"vmdDetected","cameraId":1001,"timestamp":[1]})")}) {
    manager->handleMessageUpdate(Value::parseJSON(body), 3, nullptr, nullptr);
  }
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(camera->state(), false) << "no message named the camera properly";
  EXPECT_EQ(executor->count(), 0u);
}

TEST_F(KLEventManagerTest, ALiveEventWithoutTimeOrCacheFetchesNothing) {
  auto cameras = oneCamera();
  auto lookup = std::make_shared<CameraLookup>(cameras);
  manager->setCameraDelegate(lookup);
  auto camera = cameras->cameraWithID(kCamera);
  camera->setState(false);
  // Whoever watches the camera list hears of the camera coming online.
  auto watcher = std::make_shared<int>(0);
  auto kvo = platform::KeyValueObservationController::controllerWithObserver(watcher);
  int listChanges = 0;
  kvo->observe(cameras, "values", platform::KeyValueObservingOptionNew,
               [&](const platform::KeyValueChange&) { listChanges++; });
  manager->handleMessageUpdate(Value::parseJSON(R"({"type":"vmdDetected","cameraId":1001})"), 3, nullptr, nullptr);
  EXPECT_EQ(camera->state(), false);
  EXPECT_EQ(listChanges, 0);
  manager->handleMessageUpdate(
      Value::parseJSON(R"({"type":"vmdDetected","cameraId":1001,"timestamp":")" + serverTime(kNow) + "\"}"), 3,
      nullptr, nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(camera->state(), true);  // online, but nothing cached to fetch from
  EXPECT_EQ(listChanges, 1);
  EXPECT_EQ(executor->count(), 0u);

  std::optional<Value> got;
  manager->getNewEventsForCameraID(kCamera, Value(12), [&](const Value& v) { got = v; });
  ASSERT_TRUE(got.has_value());
  EXPECT_TRUE(got->isNil());
  EXPECT_EQ(executor->count(), 0u);
}

TEST_F(KLEventManagerTest, ObserversHearOfADeletionOnlyOnceItTookEffect) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(events(10, 1)); });
  pageAll();
  ASSERT_EQ(observer->countsSeen.back(), 10u);
  manager->deleteEventForCameraID(kCamera, 5);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(observer->countsSeen.back(), 9u);
  EXPECT_EQ(manager->eventsForCameraID(kCamera)->eventWithID(5), nullptr);

  // Deleting on the server, then in the cache.
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body("{}"); });
  ManagerReport report;
  manager->deleteEvent(manager->eventsForCameraID(kCamera)->eventWithID(6), report.success(), report.failure());
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(report.successes, 1);
  EXPECT_EQ(executor->requests().back()->requestName(), EVENT_DELETE_REQUEST_CLOUD);
  EXPECT_EQ(observer->countsSeen.back(), 8u);

  // A failed server deletion keeps the event.
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::failure(500); });
  ManagerReport failed;
  manager->deleteEvent(manager->eventsForCameraID(kCamera)->eventWithID(7), failed.success(), failed.failure());
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(failed.errors, 1);
  EXPECT_NE(manager->eventsForCameraID(kCamera)->eventWithID(7), nullptr);
}

TEST_F(KLEventManagerTest, EventsOfSeveralCamerasComeNewestFirstWithUntimedOnesLast) {
  auto make = [](std::optional<int64_t> id, std::optional<double> t) {
    auto e = std::make_shared<KLEventResponse>();
    e->setEventID(id);
    e->setTimestamp(t);
    return e;
  };
  // Untimed events among timed ones: under an order where they equal everything the result
  // depends on the sort's inner workings; here it is fixed.
  std::vector<KLEventPtr> mixed = {make(1, 10), make(2, std::nullopt), make(3, 30), make(4, std::nullopt),
                                   make(5, 20), make(6, 30)};
  auto sorted = KLEventManager::sortEventsByDate(mixed);
  std::vector<int64_t> ids;
  for (const auto& e : sorted) ids.push_back(*e->eventID());
  EXPECT_EQ(ids, (std::vector<int64_t>{3, 6, 5, 1, 2, 4}));

  manager->eventsForCameraID(1)->setValues(valueArray(std::vector<KLEventPtr>{make(11, 100), make(12, 300)}));
  manager->eventsForCameraID(2)->setValues(valueArray(std::vector<KLEventPtr>{make(21, 200)}));
  ids.clear();
  for (const auto& e : manager->eventsForCameraIDs({1, 2})) ids.push_back(*e->eventID());
  EXPECT_EQ(ids, (std::vector<int64_t>{12, 21, 11}));
  EXPECT_EQ(manager->numberOfEventsForCameraIDs({1, 2, 99}), 3u);
  EXPECT_EQ(manager->numberOfEventsForCameraID(99), 0u);
}

TEST_F(KLEventManagerTest, LookUpsLoadOnceAndLabelEvents) {
  executor->setScript([](const KLRequest& request, size_t) {
    switch (request.requestName()) {
      case CAMERA_AVAILABLE_EVENT_TYPES_GET_REQUEST_CLOUD:
        return ScriptedReply::body(R"(["vmdDetected","audioDetected","pirDetected"])");
      case CAMERA_EVENT_TYPE_DETAILS_GET_REQUEST_CLOUD:
        return ScriptedReply::body(R"([{"eventType":"vmdDetected","eventTypeTranslated":"Motion","priority":5},
          {"eventType":"analyticsDetected","eventTypeTranslated":"Object","priority":3,
           "categoriesTranslated":{"person":"Person"}}])");
      default:
        return ScriptedReply::body(R"([{"faceId":"f1","name":"Alice","state":"known"},
          {"faceId":"f2","name":"Bob","state":"unknown"}])");
    }
  });
  EXPECT_EQ(manager->getLocalizedNameForEventType("vmdDetected", std::nullopt), "vmdDetected");  // not loaded
  EXPECT_EQ(manager->getAvailableEventTypes(), "");
  EXPECT_FALSE(manager->getEventTypes());  // refused on the main thread, which delivers the answers
  bool loaded = false;
  manager->getEventTypesWithCompletion([&] { loaded = true; });
  MainRunLoop::runUntilIdle();
  ASSERT_TRUE(loaded);
  EXPECT_EQ(executor->count(), 3u);

  manager->setHideEventTypes({"audioDetected"});
  EXPECT_EQ(manager->getAvailableEventTypes(), "vmdDetected,pirDetected");
  EXPECT_EQ(manager->getLocalizedNameForEventType("vmdDetected", std::nullopt), "Motion");
  EXPECT_EQ(manager->getLocalizedNameForEventType("analyticsDetected", "person"), "Person");
  EXPECT_EQ(manager->getLocalizedNameForEventType("doorbellPressed", std::nullopt), "doorbellPressed");
  EXPECT_EQ(manager->getPriorityForEventType("analyticsDetected"), 3);
  EXPECT_EQ(manager->getPriorityForEventType("unknown"), 0);
  EXPECT_EQ(manager->getFaceNameForFaceID("f1"), "Alice");
  EXPECT_NE(manager->getFaceNameForFaceID("f2"), "Bob");  // not a known face
  EXPECT_EQ(manager->getFaceNameForFaceID("f2"), manager->getFaceNameForFaceID(std::nullopt));

  // Loaded lists are kept; only the faces are fetched again after a reset.
  manager->resetFacesList();
  loaded = false;
  manager->getEventTypesWithCompletion([&] { loaded = true; });
  MainRunLoop::runUntilIdle();
  EXPECT_TRUE(loaded);
  EXPECT_EQ(executor->count(), 4u);
  EXPECT_EQ(executor->requests().back()->requestName(), GET_ALL_FACES);
}

// Every presentation drops the faces; the full load that follows must fetch them again, or from
// the second presentation on every face event reads as an unknown face.
TEST_F(KLEventManagerTest, FaceNamesComeBackWithTheFullLoadAfterEveryPresentation) {
  executor->setScript([](const KLRequest& request, size_t) {
    switch (request.requestName()) {
      case CAMERA_AVAILABLE_EVENT_TYPES_GET_REQUEST_CLOUD:
        return ScriptedReply::body(R"(["vmdDetected"])");
      case GET_ALL_FACES:
        return ScriptedReply::body(R"([{"faceId":"f1","name":"Alice","state":"known"}])");
      default:
        return ScriptedReply::body("[]");
    }
  });
  const std::string unknown = manager->getFaceNameForFaceID(std::nullopt);
  for (int presentation = 1; presentation <= 2; ++presentation) {
    SCOPED_TRACE(presentation);
    manager->resetFacesList();
    EXPECT_EQ(manager->getFaceNameForFaceID("f1"), unknown);
    manager->getAllEventsForCameraID(kCamera);
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return manager->getFaceNameForFaceID("f1") == "Alice"; }));
  }
  size_t faceRequests = 0;
  for (const auto& request : executor->requests()) faceRequests += request->requestName() == GET_ALL_FACES;
  EXPECT_EQ(faceRequests, 2u);
}

TEST_F(KLEventManagerTest, ADeleteMessageDropsTheEventsItNamesOrTheWholeList) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body(events(600, 591)); });
  pageAll();
  ASSERT_EQ(manager->numberOfEventsForCameraID(kCamera), 10u);
  const int before = observer->calls();
  manager->handleMessageDelete(Value::parseJSON(R"({"cameraId":1001,"deletedEventIds":[600,595,"593",4242]})"), 3,
                               nullptr);
  MainRunLoop::runUntilIdle();
  auto list = manager->eventsForCameraID(kCamera);
  EXPECT_EQ(list->numberOfEvents(), 7u);
  EXPECT_EQ(list->eventWithID(600), nullptr);
  EXPECT_EQ(list->eventWithID(595), nullptr);
  EXPECT_EQ(list->eventWithID(593), nullptr);
  EXPECT_NE(list->eventWithID(599), nullptr);
  EXPECT_GE(observer->calls(), before + 3);  // told of each deletion of a cached list

  // Another camera's ids touch nothing here; without ids the camera's whole list goes.
  manager->handleMessageDelete(Value::parseJSON(R"({"cameraId":2002,"deletedEventIds":[599]})"), 3, nullptr);
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 7u);
  manager->handleMessageDelete(Value::parseJSON(R"({"cameraId":1001})"), 3, nullptr);
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 0u);
  EXPECT_NE(manager->eventsForCameraID(kCamera), list);
}

TEST_F(KLEventManagerTest, GetEventTypesOffTheMainThreadWaitsForTheAnswers) {
  executor->setScript([](const KLRequest&, size_t) { return ScriptedReply::body("[]"); });
  std::atomic<int> result{-1};
  platform::DispatchQueue::global()->async([&] { result = manager->getEventTypes() ? 1 : 0; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return result.load() >= 0; }));
  EXPECT_EQ(result.load(), 1);
  EXPECT_EQ(manager->eventAvailableTypes(), std::vector<std::string>{});
}

TEST_F(KLEventManagerTest, TheFullLoadFetchesLookUpsThenPagesThenNewerEvents) {
  executor->setScript([](const KLRequest& request, size_t) {
    if (isPage(request)) return ScriptedReply::body(events(600, 401));
    if (request.requestName() == NEW_EVENTS_GET_REQUEST_CLOUD) return ScriptedReply::body(events(601, 600));
    if (request.requestName() == CAMERA_AVAILABLE_EVENT_TYPES_GET_REQUEST_CLOUD) {
      return ScriptedReply::body(R"(["vmdDetected","pirDetected"])");
    }
    return ScriptedReply::body("[]");
  });
  manager->setHideEventTypes({"pirDetected"});
  manager->getAllEventsForCameraID(kCamera);
  MainRunLoop::runUntilIdle();
  // The three look-ups, then the first page. The newer-events fetch follows only when the page
  // was merged before the load looked at the cache (the page is asked for asynchronously).
  auto first = executor->requests();
  ASSERT_GE(first.size(), 4u);
  ASSERT_LE(first.size(), 5u);
  EXPECT_TRUE(isPage(*first[3]));
  EXPECT_EQ(executor->parameter(3, "types"), "vmdDetected");
  if (first.size() == 5) {
    EXPECT_EQ(first[4]->requestName(), NEW_EVENTS_GET_REQUEST_CLOUD);
  }

  // The second full load asks for no look-up again: the cached pages, then what is newer.
  manager->getAllEventsForCameraID(kCamera);
  MainRunLoop::runUntilIdle();
  auto requests = executor->requests();
  ASSERT_EQ(requests.size(), first.size() + 2);
  int pages = 0, newer = 0;
  for (size_t i = first.size(); i < requests.size(); ++i) {
    pages += isPage(*requests[i]);
    newer += requests[i]->requestName() == NEW_EVENTS_GET_REQUEST_CLOUD;
  }
  EXPECT_EQ(pages, 1);
  EXPECT_EQ(newer, 1);
  EXPECT_EQ(manager->numberOfEventsForCameraID(kCamera), 201u);
}

TEST_F(KLEventManagerTest, TimestampBoundsAndDeletedCameras) {
  const std::string early = serverTime(kNow - 10);
  const std::string late = serverTime(kNow);
  EXPECT_EQ(KLEventManager::newestTimestampBetweenUpdateTimestamp(early, late), early);
  EXPECT_EQ(KLEventManager::newestTimestampBetweenUpdateTimestamp(late, early), early);
  EXPECT_EQ(KLEventManager::newestTimestampBetweenUpdateTimestamp("garbage", late), late);
  EXPECT_EQ(KLEventManager::newestTimestampBetweenUpdateTimestamp(early, std::nullopt), std::nullopt);

  auto list = manager->eventsForCameraID(kCamera);
  manager->handleMessageDelete(Value::parseJSON(R"({"cameraId":1001})"), 3, nullptr);
  EXPECT_NE(manager->eventsForCameraID(kCamera), list);
  EXPECT_EQ(manager->eventsForCameraID(std::nullopt), nullptr);
  EXPECT_EQ(manager->eventsRequestQueueForCameraID(std::nullopt), nullptr);
}

}  // namespace
}  // namespace dk::test
