#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "network/executor_fixture.h"
#include "foundation/framework_errors.h"
#include "foundation/kl_server.h"
#include "network/kl_camera_requests.h"
#include "network/kl_event_requests.h"
#include "network/kl_recording_requests.h"
#include "network/kl_single_requests.h"
#include "platform/foundation/data.h"
#include "platform/media/images/image_response.h"
#include "support/manual_clock.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::MainRunLoop;
using platform::Value;

TEST_F(ExecutorTest, ACameraRecordingsPageGoesOutInTheExactWireFormat) {
  sim.setRequireAuth(false);
  storeCredential("T");
  sim.updateWorld([](cloudsim::World& w) {
    const int64_t old = w.cameras[0].cameraId;
    w.cameras[0].cameraId = 7;
    for (auto& r : w.recordings) {
      if (r.cameraId == old) r.cameraId = 7;
    }
  });
  auto request = std::make_shared<KLCameraRecordingsRequest>();
  request->cameraID = "7";
  request->limit = 100;
  request->reverse = true;
  request->endTime = "2024-01-01T10:00:00.000+01:00";
  Outcome outcome;
  manager->requestWithRequest(request, outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());

  const auto sent = sim.requestsTo("/rest/v2.2/cameras/7/recordings");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].method, "GET");
  EXPECT_EQ(sent[0].target,
            "/rest/v2.2/cameras/7/recordings?limit=100&maxTimestamp=2024-01-01T10%3A00%3A00.000%2B01%3A00"
            "&sortByRecordingIdOrder=desc");
  EXPECT_EQ(sent[0].header("Accept"), "*/*");
  EXPECT_EQ(sent[0].header("Content-Type"), "application/json");
  EXPECT_EQ(sent[0].header("Authorization"), "Bearer T");

  // A success completes once, on the GET parser queue.
  EXPECT_EQ(outcome.count(), 1);
  EXPECT_FALSE(outcome.error);
  EXPECT_FALSE(outcome.onMain);
  EXPECT_EQ(outcome.queueLabel, "com.kelo.parser");
  EXPECT_FALSE(outcome.result.isNil());
}

TEST_F(ExecutorTest, WritesSendJsonBodiesAndCompleteOnTheUpdateParserQueue) {
  storeCredential(sim.accessToken());
  const int64_t camera = sim.world().cameras[0].cameraId;
  auto request = std::make_shared<KLUpdateCameraNameRequest>();
  request->cameraID = std::to_string(camera);
  request->name = "Porch";
  Outcome outcome;
  manager->requestWithRequest(request, outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  const auto sent = sim.requestsTo("/rest/v2.0/cameras/" + std::to_string(camera));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].method, "PATCH");
  EXPECT_EQ(sent[0].body, "{\"name\":\"Porch\"}");
  EXPECT_EQ(sent[0].header("Authorization"), "Bearer " + sim.accessToken());
  EXPECT_EQ(outcome.count(), 1);
  EXPECT_FALSE(outcome.error);
  EXPECT_EQ(outcome.queueLabel, "com.kelo.update.parser");
  EXPECT_EQ(sim.world().cameras[0].name, "Porch");
}

TEST_F(ExecutorTest, WithoutStoredTokenNoAuthorizationHeaderIsSent) {
  sim.setRequireAuth(false);
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  const auto sent = sim.requestsTo("/rest/v2.0/cameras/");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].header("Authorization"), "");
  // The token stored by the host is used from the next call on.
  storeCredential("NEW");
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").at(1).header("Authorization"), "Bearer NEW");
}

// Each serializer type's session manager, request serializer and header fields, as the cloud
// client documents them; "Authorization" joins the sets that carry the bearer token.
TEST_F(ExecutorTest, EverySerializerTypeHasItsManagerAndExactHeaderSet) {
  storeCredential("T");
  manager->setSecret("S");
  using platform::RequestSerializerKind;
  enum Manager { Http, Json, JsonUpdate, Image };
  struct Row {
    int32_t type;
    Manager sessionManager;
    RequestSerializerKind serializer;
    platform::HeaderMap headers;
    bool bearer;
  };
  const platform::HeaderMap json = {{"Content-Type", "application/json"}};
  const platform::HeaderMap jsonAccept = {{"Accept", "*/*"}, {"Content-Type", "application/json"}};
  const platform::HeaderMap jsonSecret = {{"Content-Type", "application/json"}, {"X-ClientSecret", "S"}};
  const Row rows[] = {
      {0, Http, RequestSerializerKind::Http,
       {{"Transfer-Encoding", "chunked"}, {"Content-Type", "application/octet-stream"}}, true},
      {1, Json, RequestSerializerKind::Http, {{"Accept", "*/*"}}, false},
      {2, Json, RequestSerializerKind::Json, {{"Accept", "*/*"}}, false},
      {3, Http, RequestSerializerKind::Json, json, true},
      {4, Json, RequestSerializerKind::Json, jsonAccept, true},
      {5, Json, RequestSerializerKind::Http, {{"X-ClientSecret", "S"}}, false},
      {6, Json, RequestSerializerKind::Json, jsonSecret, false},
      {7, Json, RequestSerializerKind::Json, jsonSecret, false},
      {8, Http, RequestSerializerKind::Http, {{"Accept", "video/mp4"}}, true},
      {9, Image, RequestSerializerKind::Http, {}, true},
      {10, Http, RequestSerializerKind::Http, {{"Accept", "*/*"}}, true},
      {11, JsonUpdate, RequestSerializerKind::Json, jsonAccept, true},
      {-1, Json, RequestSerializerKind::Json, jsonAccept, true},
      {12, Json, RequestSerializerKind::Json, jsonAccept, true},
  };
  const SessionManagerPtr managers[] = {manager->httpSessionManager(), manager->jsonSessionManager(),
                                        manager->jsonUpdateSessionManager(), manager->imageSessionManager()};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    auto sessionManager = manager->setManagerForResponseRequestSerializerType(row.type);
    EXPECT_EQ(sessionManager, managers[row.sessionManager]);
    auto configuration = manager->setHeaderForResponseRequestSerializerType(row.type, *sessionManager);
    EXPECT_EQ(configuration.requestSerializer, row.serializer);
    platform::HeaderMap expected = row.headers;
    if (row.bearer) expected["Authorization"] = "Bearer T";
    EXPECT_EQ(configuration.headers, expected);
  }
}

WrappedReply& mapped(const Value& v) {
  auto model = v.objectAs<WrappedReply>();
  EXPECT_TRUE(model);
  static WrappedReply empty;
  return model ? *model : empty;
}

TEST(ModelResponseHeader, RepliesAreWrappedUnderTheRootKeyOfTheRequestName) {
  const Value object(platform::ValueDictionary{{"mode", Value("armed")}});
  const Value list(platform::ValueArray{Value(1), Value(2)});
  // An object under a root key becomes a one-element array.
  auto mode = KLRequestManager::modelResponseHeader({}, object, MappedRequest(CAMERA_MODE_GET_REQUEST_CLOUD, "x"));
  ASSERT_EQ(mapped(mode).cameraMode.count(), 1u);
  EXPECT_EQ(mapped(mode).cameraMode[size_t{0}]["mode"].stringValue(), "armed");
  // An array goes under the root key as it is.
  auto recordings = KLRequestManager::modelResponseHeader({}, list, MappedRequest(RECORDINGS_CAMERA_GET_REQUEST_CLOUD, "x"));
  EXPECT_EQ(mapped(recordings).recordings, list);
  // Without a root key an object is used as it is, and an array goes under the empty key.
  auto camera = KLRequestManager::modelResponseHeader(
      {}, Value(platform::ValueDictionary{{"status", Value("x")}}), MappedRequest(CAMERA_GET_REQUEST_CLOUD, "x"));
  EXPECT_EQ(mapped(camera).status.stringValue(), "x");
  auto unnamed = KLRequestManager::modelResponseHeader({}, list, MappedRequest(CAMERA_GET_REQUEST_CLOUD, "x"));
  EXPECT_EQ(mapped(unnamed).unnamed, list);
  // Anything else maps to nothing.
  EXPECT_TRUE(KLRequestManager::modelResponseHeader({}, Value("text"), MappedRequest(CAMERA_GET_REQUEST_CLOUD, "x")).isNil());
  EXPECT_TRUE(KLRequestManager::modelResponseHeader({}, Value(), MappedRequest(CAMERA_GET_REQUEST_CLOUD, "x")).isNil());
}

TEST(ModelResponseHeader, OnlyTheOlderEventsPageCarriesTheResponseHeader) {
  const platform::HeaderMap headers{{"Link", "<https://h/rest/v2.4/events?maxEventId=5>; rel=\"next\""}};
  const Value list(platform::ValueArray{});
  auto older = KLRequestManager::modelResponseHeader(headers, list, MappedRequest(OLD_EVENTS_GET_REQUEST_CLOUD, "x"));
  EXPECT_EQ(mapped(older).responseHeader["Link"].stringValue(), headers.at("Link"));
  auto newer = KLRequestManager::modelResponseHeader(headers, list, MappedRequest(NEW_EVENTS_GET_REQUEST_CLOUD, "x"));
  EXPECT_TRUE(mapped(newer).responseHeader.isNil());
}

TEST_F(ExecutorTest, ACameraSnapshotArrivesAsAnImage) {
  storeCredential(sim.accessToken());
  auto request = std::make_shared<KLCameraSnapshotRequest>();
  request->cameraID = std::to_string(sim.world().cameras[0].cameraId);
  Outcome outcome;
  manager->requestWithRequest(request, outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.count(), 1);
  ASSERT_FALSE(outcome.error) << outcome.error->description();
  auto image = outcome.result.objectAs<platform::ImageObject>();
  ASSERT_TRUE(image) << outcome.result.description();
  EXPECT_GT(image->image()->pixelWidth(), 0);
}

TEST_F(ExecutorTest, AnOlderEventsPageIsMappedWithItsNextPageLink) {
  storeCredential(sim.accessToken());
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<MappedRequest>(OLD_EVENTS_GET_REQUEST_CLOUD, "/rest/v2.4/events?limit=5"),
                              outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.count(), 1);
  ASSERT_FALSE(outcome.error);
  const auto& reply = mapped(outcome.result);
  EXPECT_EQ(reply.cameraMode.count(), 0u);
  const std::string link = reply.responseHeader["Link"].stringValue();
  EXPECT_NE(link.find("rel=\"next\""), std::string::npos);
}

TEST_F(ExecutorTest, ANextPageLinkIsSentAgainWithItsValuesEncodedOnce) {
  storeCredential(sim.accessToken());
  const std::string link =
      sim.baseUrl() + "/rest/v2.4/events?maxTimestamp=2024-01-01T10%3A00%3A00.000%2B01%3A00&limit=3&maxEventId=999999";
  auto request = std::make_shared<KLOldEventsRequest>(link);
  Outcome outcome;
  manager->requestWithRequest(request, outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  const auto sent = sim.requestsTo("/rest/v2.4/events");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].query, "limit=3&maxEventId=999999&maxTimestamp=2024-01-01T10%3A00%3A00.000%2B01%3A00");
  EXPECT_EQ(sent[0].queryParams.at("maxTimestamp"), "2024-01-01T10:00:00.000+01:00");
  EXPECT_EQ(outcome.count(), 1);
}

TEST_F(ExecutorTest, ASuccessThatMapsToNoModelCompletesOnceWith101004) {
  storeCredential(sim.accessToken());
  FaultRule text = FaultRule::failWith("/rest/v2.0/ping", 200, "\"just text\"");
  sim.addFault(text);
  FaultRule empty;
  empty.path = "/rest/v2.0/ping";
  empty.emptyBody = true;
  sim.addFault(empty);
  Outcome fragment, nothing;
  manager->requestWithRequest(std::make_shared<MappedRequest>(CAMERA_GET_REQUEST_CLOUD, "/rest/v2.0/ping"), fragment.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  manager->requestWithRequest(std::make_shared<MappedRequest>(CAMERA_GET_REQUEST_CLOUD, "/rest/v2.0/ping"), nothing.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  for (Outcome* o : {&fragment, &nothing}) {
    EXPECT_EQ(o->count(), 1);
    EXPECT_TRUE(o->onMain);
    ASSERT_TRUE(o->error);
    EXPECT_EQ(o->error->code(), 101004);
    EXPECT_EQ(o->error->localizedDescription(), "Request failed: unable to parse response (101004)");
    EXPECT_TRUE(o->result.isNil());
  }
}

TEST_F(ExecutorTest, AnEventsPageTooDenseToHoldFailsAsAMalformedOneAndMapsNothing) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  // A megabyte of "[0]" would make a tree thirty times its size.
  std::string dense = "{\"events\":[[0]";
  while (dense.size() < 1000000) dense += ",[0]";
  dense += "]}";
  FaultRule rule = FaultRule::failWith("/rest/v2.4/events", 200, dense);
  rule.times = -1;
  sim.addFault(rule);
  Outcome outcome;
  manager->requestWithRequest(std::make_shared<MappedRequest>(OLD_EVENTS_GET_REQUEST_CLOUD, "/rest/v2.4/events?limit=5"),
                              outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  for (int second = 0; second < 120 && outcome.count() == 0; ++second) clock.advance(1);
  ASSERT_EQ(outcome.count(), 1);
  EXPECT_EQ(outcome.errorCode(), 3840);
  EXPECT_TRUE(outcome.result.isNil());
}

TEST_F(ExecutorTest, RequestsThisOperationCannotSendFailOnceWithoutTouchingTheNetwork) {
  auto download = std::make_shared<KLDownloadVideoRequest>();
  download->downloadVideoURL = sim.baseUrl() + "/media/clips/1.mp4";
  auto unnamed = std::make_shared<KLRequest>();
  auto negative = std::make_shared<KLRequest>();
  negative->setRequestName(-5);
  auto beyond = std::make_shared<KLRequest>();
  beyond->setRequestName(97);
  auto noCamera = std::make_shared<KLGetCameraRequest>();  // its path needs a camera identifier
  std::vector<std::shared_ptr<KLRequest>> requests{download, unnamed, negative, beyond, noCamera};
  std::vector<Outcome> outcomes(requests.size());
  for (size_t i = 0; i < requests.size(); ++i) manager->requestWithRequest(requests[i], outcomes[i].recorder());
  for (const auto& o : outcomes) EXPECT_EQ(o.count(), 0);  // never from inside the call
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  for (const auto& o : outcomes) {
    EXPECT_EQ(o.count(), 1);
    EXPECT_TRUE(o.onMain);
    EXPECT_TRUE(o.error);
  }
  EXPECT_EQ(outcomes[0].errorCode(), platform::kURLErrorUnsupportedURL);
  EXPECT_EQ(outcomes[4].errorCode(), platform::kURLErrorBadURL);
  EXPECT_EQ(sim.requestCount(), 0u);
}

TEST_F(ExecutorTest, RetriesWaitTheRequestsIntervalDoublingAndStopAtFatalCodes) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  FaultRule broken;
  broken.path = "/rest/v2.0/cameras/";
  broken.malformedJson = true;
  broken.times = 2;
  sim.addFault(broken);
  Outcome cameras;
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), cameras.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 1u);
  clock.advance(2.9);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 1u);
  clock.advance(0.1);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 2u);
  clock.advance(5.9);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 2u);
  clock.advance(0.1);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 3u);
  EXPECT_EQ(cameras.count(), 1);
  EXPECT_FALSE(cameras.error);

  // Every non-2xx status carries -1011, which each request lists as fatal: no retry.
  sim.addFault([] {
    FaultRule r = FaultRule::failWith("/rest/v2.3/users/self", 500, "{\"message\":\"boom\"}");
    r.times = -1;
    return r;
  }());
  Outcome user;
  manager->requestWithRequest(std::make_shared<KLUserRequest>(), user.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  clock.advance(60);
  EXPECT_EQ(sim.requestsTo("/rest/v2.3/users/self").size(), 1u);
  ASSERT_EQ(user.count(), 1);
  EXPECT_TRUE(user.onMain);
  EXPECT_EQ(user.error->code(), -1011);
  EXPECT_EQ(user.error->response()->statusCode, 500);

  // The ping is never retried (its count is -1); its reply is not JSON-decoded, so a broken body
  // is no failure, and a timed-out ping is not sent again.
  sim.addFault(FaultRule::failWith("/rest/v2.0/ping", 200, "{broken"));
  Outcome ping;
  manager->requestWithRequest(std::make_shared<KLPingRequest>(), ping.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(ping.count(), 1);
  EXPECT_FALSE(ping.error);
  sim.addFault(FaultRule::hold("/rest/v2.0/ping"));
  Outcome slowPing;
  manager->requestWithRequest(std::make_shared<KLPingRequest>(), slowPing.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return sim.heldCount() == 1; }));
  clock.clock().advance(5.0);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return slowPing.count() == 1; }));
  EXPECT_EQ(slowPing.errorCode(), platform::kURLErrorTimedOut);
  sim.release();
  clock.advance(60);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/ping").size(), 2u);
}

TEST_F(ExecutorTest, ThePingsShortTimeOutNeverReachesAConcurrentDownload) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  const int64_t event = sim.world().events.front().eventId;
  const std::string clipPath = "/media/clips/" + std::to_string(event) + ".mp4";
  sim.addFault(FaultRule::hold("/rest/v2.0/ping"));
  sim.addFault(FaultRule::hold(clipPath));
  auto clip = std::make_shared<KLDownloadVideoRequest>();
  clip->downloadVideoURL = sim.baseUrl() + clipPath;
  Outcome download, ping;
  manager->downloadRequestWithRequest(clip, nullptr, download.recorder());
  manager->requestWithRequest(std::make_shared<KLPingRequest>(), ping.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return sim.heldCount() == 2; }));
  clock.clock().advance(5.0);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return ping.count() == 1; }));
  EXPECT_EQ(ping.errorCode(), platform::kURLErrorTimedOut);
  EXPECT_EQ(download.count(), 0);
  sim.release();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(download.count(), 1);
  EXPECT_FALSE(download.error);
  EXPECT_TRUE(download.onMain);
}

TEST_F(ExecutorTest, ThePingsCutOffCancelsThatPingOnly) {
  ManualClockScope clock;
  storeCredential(sim.accessToken());
  Outcome first;
  manager->requestWithRequest(std::make_shared<KLPingRequest>(), first.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(first.count(), 1);
  clock.advance(118);

  // A later ping still running when the first one's 120 s are up is left alone.
  const int held = sim.addFault(FaultRule::hold("/rest/v2.0/ping"));
  Outcome second;
  manager->requestWithRequest(std::make_shared<KLPingRequest>(), second.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return sim.heldCount() == 1; }));
  clock.clock().advance(2.0);
  MainRunLoop::runPending();  // the first ping's cut-off, due now
  EXPECT_EQ(second.count(), 0);
  sim.release(held);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(second.count(), 1);
  EXPECT_FALSE(second.error);

  // A ping still running at its own cut-off is cancelled (suspended, so it cannot time out first).
  sim.addFault(FaultRule::hold("/rest/v2.0/ping"));
  Outcome third;
  manager->requestWithRequest(std::make_shared<KLPingRequest>(), third.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return sim.heldCount() == 1; }));
  manager->suspendAllTasks();
  clock.clock().advance(120.0);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return third.count() == 1; }));
  EXPECT_EQ(third.errorCode(), platform::kURLErrorCancelled);
}

TEST_F(ExecutorTest, CancelSetsReachOnlyTheirCallsAndRunningCallsCanBeFound) {
  storeCredential(sim.accessToken());
  for (const char* path : {"/rest/v2.4/events", "/rest/v2.0/cameras/", "/rest/v2.0/users/self/tokens/current"}) {
    FaultRule rule = FaultRule::hold(path);
    rule.times = -1;
    sim.addFault(rule);
  }
  auto events = std::make_shared<KLNewEventsRequest>();
  events->minTimestamp = "2023-11-14T00:00:00.000+02:00";
  auto tokens = std::make_shared<KLRequest>();
  tokens->setRequestName(PUSH_NOTIFICATIONS_DELETE_REQUEST_CLOUD);  // jsonUpdate: outside the sets
  Outcome eventsOutcome, camerasOutcome, tokensOutcome;
  manager->requestWithRequest(events, eventsOutcome.recorder());
  manager->requestWithRequest(std::make_shared<KLCamerasRequest>(), camerasOutcome.recorder());
  manager->requestWithRequest(tokens, tokensOutcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return sim.heldCount() == 3; }));

  std::atomic<int> found{-1}, missing{-1};
  manager->isMethodInProgress("minTimestamp", [&](bool running) { found = running; });
  manager->isMethodInProgress("/rest/v2.2/cameras/all/mode", [&](bool running) { missing = running; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return found >= 0 && missing >= 0; }));
  EXPECT_EQ(found.load(), 1);
  EXPECT_EQ(missing.load(), 0);

  manager->cancelEventsRequests();
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return eventsOutcome.count() == 1; }));
  EXPECT_EQ(eventsOutcome.errorCode(), platform::kURLErrorCancelled);
  EXPECT_EQ(camerasOutcome.count(), 0);

  manager->cancelAllRequests();
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return camerasOutcome.count() == 1; }));
  EXPECT_EQ(camerasOutcome.errorCode(), platform::kURLErrorCancelled);
  EXPECT_EQ(tokensOutcome.count(), 0);
  sim.release();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(tokensOutcome.count(), 1);
  EXPECT_FALSE(tokensOutcome.error);
  EXPECT_EQ(eventsOutcome.count(), 1);
  EXPECT_EQ(camerasOutcome.count(), 1);
}

TEST_F(ExecutorTest, ClipDownloadsStreamToAFileWithProgressOnTheMainThread) {
  storeCredential(sim.accessToken());
  sim.updateWorld([](cloudsim::World& w) { w.defaultClipBytes = 2 * 1024 * 1024; });
  const int64_t event = sim.world().events.front().eventId;
  auto clip = std::make_shared<KLDownloadVideoRequest>();
  clip->downloadVideoURL = sim.baseUrl() + "/media/clips/" + std::to_string(event) + ".mp4";
  std::vector<double> fractions;
  bool progressOffMain = false;
  Outcome outcome;
  manager->downloadRequestWithRequest(
      clip,
      [&](int64_t, int64_t, double fraction) {
        progressOffMain |= !platform::isMainThread();
        fractions.push_back(fraction);
      },
      outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.count(), 1);
  ASSERT_FALSE(outcome.error);
  EXPECT_TRUE(outcome.onMain);
  auto data = outcome.result.objectAs<platform::Data>();
  ASSERT_TRUE(data);
  EXPECT_TRUE(data->filePath().has_value());
  EXPECT_EQ(data->length(), 2u * 1024 * 1024);
  EXPECT_FALSE(progressOffMain);
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  const auto sent = sim.requestsTo("/media/clips/" + std::to_string(event) + ".mp4");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].header("Accept"), "video/mp4");
  EXPECT_EQ(sent[0].header("Authorization"), "Bearer " + sim.accessToken());
}

TEST_F(ExecutorTest, TheSharedExecutorTakesTheServerSettingsReadWhenItIsCreated) {
  KLServer::resetProcessValuesForTesting();
  KLServer::resetForTesting();
  KLServer::setProcessProtocol("http");
  KLServer::setProcessIpAddress(sim.host());
  KLServer::setProcessHttpPort(std::to_string(sim.port()));
  KLRequestManager::resetSharedInstance();
  auto shared = KLRequestManager::sharedInstance();
  EXPECT_EQ(shared, KLRequestManager::sharedInstance());
  EXPECT_EQ(shared->baseURL(), sim.baseUrl());
  storeCredential(sim.accessToken());
  Outcome outcome;
  shared->requestWithRequest(std::make_shared<KLCamerasRequest>(), outcome.recorder());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(outcome.count(), 1);
  EXPECT_FALSE(outcome.error);

  // A reset drops the managers; the next instance reads the settings again.
  KLRequestManager::resetSharedInstance();
  EXPECT_FALSE(shared->jsonSessionManager());
  EXPECT_NE(KLRequestManager::sharedInstance(), shared);
  KLRequestManager::resetSharedInstance();
  KLServer::resetProcessValuesForTesting();
  KLServer::resetForTesting();
}

}  // namespace
}  // namespace dk::test
