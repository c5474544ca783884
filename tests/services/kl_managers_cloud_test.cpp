// The recording, event and user managers end to end: the real executor against the local cloud,
// with histories generated for the purpose, paged exactly as a screen would page them.
#include <gtest/gtest.h>

#include <set>

#include "cloud-sim/live_changes.h"
#include "network/executor_fixture.h"
#include "services/kl_event_manager.h"
#include "services/kl_recording_manager.h"
#include "services/kl_user_manager.h"
#include "services/manager_observers.h"
#include "services/manager_report.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using cloudsim::GenerateOptions;
using cloudsim::World;
using platform::MainRunLoop;
using platform::Value;

class ManagersCloudTest : public ExecutorTest {
 protected:
  void SetUp() override {
    ExecutorTest::SetUp();
    storeCredential(sim.accessToken());
    KLServicesManager::setRequestExecutor(executorForRequestManager(manager));
    GenerateOptions options;
    options.seed = 21;
    options.cameras = 2;
    options.days = 10;
    options.recordingsPerCamera = 350;
    options.eventsPerCamera = 1000;
    sim.updateWorld([&](World& world) { world = World::generate(options); });
    world = sim.world();
    camera = world.cameras[0].cameraId;
    recordings->addObserverForRecordingsChanges(recordingsObserver);
    events->addObserverForEventsChanges(eventsObserver);
    eventsObserver->snapshot = [this] { return events->numberOfEventsForCameraID(camera); };
  }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
    ExecutorTest::TearDown();
  }
  // The query parameter `name` of every request to `path`, in order.
  std::vector<std::string> queryOf(const std::string& path, const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& request : sim.requestsTo(path)) {
      auto it = request.queryParams.find(name);
      out.push_back(it == request.queryParams.end() ? std::string() : it->second);
    }
    return out;
  }
  std::string recordingsPath() const { return "/rest/v2.2/cameras/" + std::to_string(camera) + "/recordings"; }
  void pageAllEvents() {
    bool done = false;
    events->getOldEventsForCameraID(camera, nullptr, [&](const Value&) { done = true; });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return done; }));
    MainRunLoop::runUntilIdle();
  }

  World world;
  int64_t camera = 0;
  std::shared_ptr<KLRecordingManager> recordings = KLRecordingManager::create();
  std::shared_ptr<KLEventManager> events = KLEventManager::create();
  std::shared_ptr<RecordingsObserver> recordingsObserver = std::make_shared<RecordingsObserver>();
  std::shared_ptr<EventsObserver> eventsObserver = std::make_shared<EventsObserver>();
};

TEST_F(ManagersCloudTest, TheNewestRecordingsPageThenTheOlderPagesLoadTheWholeHistory) {
  bool newest = false;
  recordings->loadNewRecordingsForCameraID(camera, [&] { newest = true; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_TRUE(newest);
  auto list = recordings->recordingsForCameraID(camera);
  ASSERT_EQ(list->recordings().size(), 100u);
  EXPECT_EQ(list->recordings().front()->closed(), false);  // the newest is still being written
  EXPECT_EQ(recordingsObserver->calls(), 1);

  std::vector<std::string> order;
  recordingsObserver->snapshot = [&] {
    order.push_back("observer");
    return list->recordings().size();
  };
  bool done = false;
  recordings->loadRecordingsForCameraID(camera, [&] {
    order.push_back("completion");
    done = true;
  });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_TRUE(done);

  // The whole history, newest first, each recording once.
  const auto cloud = world.recordingsOf(camera);
  auto cached = list->recordings();
  ASSERT_EQ(cached.size(), cloud.size());
  for (size_t i = 0; i < cached.size(); ++i) {
    EXPECT_EQ(cached[i]->recordingID(), cloud[cloud.size() - 1 - i].recordingId);
  }
  EXPECT_TRUE(list->allRecordingsLoaded());

  // n older pages: n-1 notifications, then the completion.
  const auto bounds = queryOf(recordingsPath(), "maxTimestamp");
  ASSERT_EQ(bounds.size(), 1 + 4u);  // 100 newest, then 99 + 99 + 52 older, then one that adds nothing
  std::vector<std::string> expected(bounds.size() - 2, "observer");
  expected.push_back("completion");
  EXPECT_EQ(order, expected);
  EXPECT_TRUE(recordingsObserver->onMain);

  // Each older page is bounded by the oldest start known when it was asked for.
  EXPECT_EQ(bounds[0], "");
  std::set<std::string> starts;
  for (const auto& r : cached) starts.insert(*r->startStringTime());
  for (size_t i = 1; i < bounds.size(); ++i) EXPECT_TRUE(starts.count(bounds[i])) << bounds[i];
  EXPECT_EQ(bounds.back(), *cached.back()->startStringTime());
  for (const auto& request : sim.requestsTo(recordingsPath())) {
    EXPECT_EQ(request.queryParams.at("limit"), "100");
    EXPECT_EQ(request.queryParams.at("sortByRecordingIdOrder"), "desc");
  }
}

// The timeline screen asks for the newest page and the older pages together. On a first present
// the cache is empty, so the older pages' first request carries no bound: the newest page again.
// Whichever reply comes first, the whole history is held and complete: when the newest page is
// merged first, the older pages' first reply is a full page that adds nothing, which must not end
// the paging.
TEST_F(ManagersCloudTest, TheNewestAndTheOlderPagesStartedTogetherOnAnEmptyCacheLoadTheWholeHistory) {
  for (const bool newestFirst : {true, false}) {
    SCOPED_TRACE(newestFirst ? "the newest page answered first" : "the older pages answered first");
    recordings->deleteRecordingsForCameraID(camera);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    auto list = recordings->recordingsForCameraID(camera);
    ASSERT_TRUE(list == nullptr || list->recordings().empty());
    sim.clearRequests();
    int completions = 0;
    // The reply answered second is held until the first has been merged.
    int held = -1;
    if (newestFirst) {
      // Both are held until both were asked for, so that the newest page cannot be merged
      // before the older pages start: the first rule holds the first request, the second the next.
      const int newest = sim.addFault(FaultRule::hold(recordingsPath()));
      held = sim.addFault(FaultRule::hold(recordingsPath()));
      recordings->loadNewRecordingsForCameraID(camera, nullptr);
      ASSERT_TRUE(sim.waitForHeld(1));
      recordings->loadRecordingsForCameraID(camera, [&] { completions++; });
      ASSERT_TRUE(sim.waitForHeld(2));
      EXPECT_EQ(sim.release(newest), 1u);
      ASSERT_TRUE(MainRunLoop::runUntil([&] {
        auto merged = recordings->recordingsForCameraID(camera);
        return merged && merged->recordings().size() == 100;
      }));
      sim.removeFault(newest);
    } else {
      held = sim.addFault(FaultRule::hold(recordingsPath()));
      recordings->loadNewRecordingsForCameraID(camera, nullptr);
      ASSERT_TRUE(sim.waitForHeld(1));
      recordings->loadRecordingsForCameraID(camera, [&] { completions++; });
      ASSERT_TRUE(MainRunLoop::runUntil([&] { return completions == 1; }));
    }
    EXPECT_EQ(queryOf(recordingsPath(), "maxTimestamp").at(1), "") << "asked for on an empty cache";
    EXPECT_EQ(sim.release(held), 1u);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_EQ(completions, 1);
    list = recordings->recordingsForCameraID(camera);
    ASSERT_TRUE(list);
    const auto cloud = world.recordingsOf(camera);
    const auto cached = list->recordings();
    ASSERT_EQ(cloud.size(), 350u);
    ASSERT_EQ(cached.size(), cloud.size());
    for (size_t i = 0; i < cached.size(); ++i) {
      EXPECT_EQ(cached[i]->recordingID(), cloud[cloud.size() - 1 - i].recordingId);
    }
    EXPECT_TRUE(list->allRecordingsLoaded());
    sim.removeFault(held);
  }
}

TEST_F(ManagersCloudTest, EventsArePagedByTheirLinkHeaderWithOneNotificationPerPage) {
  pageAllEvents();
  auto list = events->eventsForCameraID(camera);
  EXPECT_EQ(list->numberOfEvents(), 1000u);
  EXPECT_TRUE(list->oldEventsFinishedLoading());
  // One notification per page, each seeing at least the pages so far, the last all of them.
  ASSERT_EQ(eventsObserver->calls(), 5);
  for (size_t i = 0; i < 5; ++i) EXPECT_GE(eventsObserver->countsSeen[i], 200 * (i + 1));
  EXPECT_EQ(eventsObserver->countsSeen.back(), 1000u);
  EXPECT_TRUE(eventsObserver->onMain);
  const auto pages = sim.requestsTo("/rest/v2.4/events");
  ASSERT_EQ(pages.size(), 5u);
  EXPECT_FALSE(pages[0].hasQuery("maxEventId"));
  for (size_t i = 1; i < pages.size(); ++i) {
    EXPECT_TRUE(pages[i].hasQuery("maxEventId"));  // the link's address, not one of ours
    EXPECT_EQ(pages[i].queryParams.at("cameraIds"), std::to_string(camera));
    EXPECT_EQ(pages[i].queryParams.at("limit"), "200");
  }
  // Newest first as the cloud pages them, so the first cached event is the newest.
  EXPECT_EQ(list->getNewestEvent()->eventID(), world.eventsOf(camera).back().eventId);
}

TEST_F(ManagersCloudTest, ALiveEventFetchesNewerEventsFromTheCachedFirstEvent) {
  pageAllEvents();
  const auto first = events->newestEventForCameraID(camera);
  const int calls = eventsObserver->calls();
  const auto message = cloudsim::addLiveEvent(sim, camera, world.now + 30, cloudsim::event_type::kDoorbell);
  sim.clearRequests();
  events->handleMessageUpdate(Value::parseJSON(message.body), kWebSocketsClassTypeEvents, nullptr, nullptr);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  const auto fetches = sim.requestsTo("/rest/v2.4/events");
  ASSERT_EQ(fetches.size(), 1u);
  EXPECT_EQ(fetches[0].queryParams.at("minTimestamp"), *first->stringTimestamp());
  EXPECT_EQ(fetches[0].queryParams.at("cameraIds"), std::to_string(camera));
  auto added = events->eventsForCameraID(camera)->eventWithID(message.id);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->type(), "doorbellPressed");
  EXPECT_EQ(events->numberOfEventsForCameraID(camera), 1001u);
  EXPECT_EQ(eventsObserver->calls(), calls + 1);

  // A message older than the cache's first event bounds the fetch with its own time.
  const auto late = cloudsim::addLiveEvent(sim, camera, world.now - 3600, cloudsim::event_type::kVideoMotion);
  events->handleMessageUpdate(Value::parseJSON(late.body), kWebSocketsClassTypeEvents, nullptr, nullptr);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  const auto later = sim.requestsTo("/rest/v2.4/events");
  ASSERT_EQ(later.size(), 2u);
  EXPECT_EQ(later[1].queryParams.at("minTimestamp"), Value::parseJSON(late.body)["timestamp"].stringValue());
  EXPECT_NE(events->eventsForCameraID(camera)->eventWithID(late.id), nullptr);
}

TEST_F(ManagersCloudTest, ALiveRecordingMessageClosesTheOpenRecordingAndReloadsTheNewestPage) {
  recordings->loadNewRecordingsForCameraID(camera, nullptr);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  auto open = recordings->recordingsForCameraID(camera)->recordings().front();
  ASSERT_EQ(open->closed(), false);
  const auto message = cloudsim::closeLiveRecording(sim, *open->recordingID(), world.now + 120);
  const auto next = cloudsim::startLiveRecording(sim, camera, world.now + 121);
  recordings->handleMessageUpdate(Value::parseJSON(message.body), kWebSocketsClassTypeRecordings, nullptr, nullptr);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(open->closed(), true);
  EXPECT_EQ(open->endStringTime(), Value::parseJSON(message.body)["endTime"].stringValue());
  auto list = recordings->recordingsForCameraID(camera)->recordings();
  ASSERT_EQ(list.size(), 101u);
  EXPECT_EQ(list.front()->recordingID(), next.id);
  EXPECT_EQ(sim.requestsTo(recordingsPath()).size(), 2u);
}

TEST_F(ManagersCloudTest, TheUserChainAsksForTheBasicsThenTheDetailsAndRightsMerge) {
  auto users = std::make_shared<KLUserManager>();
  ManagerReport user;
  users->getCurrentlyLoggedInUserWithSuccessBlock(user.success(), user.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(user.successes, 1);
  const auto requests = sim.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].path, "/rest/v2.3/users/self");
  EXPECT_EQ(requests[1].path, "/rest/v2.3/users/self/details");
  EXPECT_EQ(users->getUser()->accountID(), world.user.accountId);
  EXPECT_EQ(users->getUser()->firstName(), world.user.firstName);
  EXPECT_EQ(users->getUser()->company(), world.user.companyName);

  ManagerReport rights;
  users->getUserRightsWithSuccessBlock(rights.success(), rights.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(rights.successes, 1);
  EXPECT_EQ(users->userRights()->demoUser(), false);
  EXPECT_EQ(users->userRights()->rights(), 0xFFFCu);  // every right but the demo bit

  sim.updateWorld([](World& w) { w.rights.ptz = false; });
  ManagerReport again;
  users->getUserRightsWithSuccessBlock(again.success(), again.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(again.result.objectAs<KLUserRightsResponse>(), users->userRights());
  EXPECT_EQ(users->userRights()->ptz(), false);
}

TEST_F(ManagersCloudTest, AnEventGetsItsClipAddressAndIsDeletedOnTheServerThenInTheCache) {
  pageAllEvents();
  auto event = events->eventsForCameraID(camera)->eventWithID(world.eventsOf(camera)[500].eventId);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->urls(), nullptr);  // pages are asked without clip addresses
  const auto type = event->type();
  ManagerReport updated;
  events->updateEvent(event, updated.success(), updated.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(updated.successes, 1);
  EXPECT_EQ(updated.result.objectAs<KLEventResponse>(), event);  // merged into the cached event
  ASSERT_NE(event->urls(), nullptr);
  EXPECT_EQ(event->urls()->mp4Https(), sim.baseUrl() + "/media/clips/" + std::to_string(*event->eventID()) + ".mp4");
  EXPECT_EQ(event->type(), type);

  const int calls = eventsObserver->calls();
  ManagerReport deleted;
  events->deleteEvent(event, deleted.success(), deleted.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(deleted.successes, 1);
  EXPECT_EQ(sim.world().event(*event->eventID()), nullptr);
  EXPECT_EQ(events->eventsForCameraID(camera)->eventWithID(event->eventID()), nullptr);
  EXPECT_EQ(eventsObserver->calls(), calls + 1);
  EXPECT_EQ(eventsObserver->countsSeen.back(), 999u);

  // Gone on the server: a second deletion fails and the cache is left alone.
  ManagerReport again;
  events->deleteEvent(event, again.success(), again.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(again.errors, 1);
  EXPECT_EQ(events->numberOfEventsForCameraID(camera), 999u);
}

TEST_F(ManagersCloudTest, DeletingAllEventsOfACameraEmptiesTheCloudAndTheCache) {
  pageAllEvents();
  auto cached = events->eventsForCameraID(camera);
  auto record = platform::modelFromJSON<KLCameraResponse>(Value::parseJSON(R"({"cameraId":)" + std::to_string(camera) + "}"));
  ASSERT_NE(record, nullptr);
  ManagerReport report;
  events->deleteAllEventsForCamera(record, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(report.successes, 1);
  EXPECT_TRUE(sim.world().eventsOf(camera).empty());
  EXPECT_FALSE(sim.world().eventsOf(world.cameras[1].cameraId).empty());  // only that camera's
  EXPECT_NE(events->eventsForCameraID(camera), cached);
  EXPECT_EQ(events->numberOfEventsForCameraID(camera), 0u);
}

TEST_F(ManagersCloudTest, AnEventsPageThatLinksToItselfEndsThePaging) {
  FaultRule selfLink;
  selfLink.path = "/rest/v2.4/events";
  selfLink.times = -1;
  selfLink.headers = {{"Link", "<" + sim.baseUrl() + "/rest/v2.4/events?cameraIds=" + std::to_string(camera) +
                                   "&limit=200>; rel=\"next\""}};
  sim.updateWorld([&](World& w) {
    std::erase_if(w.events, [&](const cloudsim::Event& e) { return e.cameraId == camera && e.eventId % 10 != 0; });
  });
  const size_t total = sim.world().eventsOf(camera).size();
  ASSERT_LT(total, 200u);
  sim.addFault(selfLink);
  pageAllEvents();
  EXPECT_EQ(sim.requestsTo("/rest/v2.4/events").size(), 2u);
  EXPECT_EQ(events->numberOfEventsForCameraID(camera), total);
  EXPECT_TRUE(events->eventsForCameraID(camera)->oldEventsFinishedLoading());
}

}  // namespace
}  // namespace dk::test
