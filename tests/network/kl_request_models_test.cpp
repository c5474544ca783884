// The request classes against the real response models: the table's model classes resolve, and
// replies mapped as the executor maps them merge into new and cached models.
#include <gtest/gtest.h>

#include "model/kl_camera_list_response.h"
#include "model/kl_camera_response.h"
#include "model/kl_event_response.h"
#include "model/kl_recording_response.h"
#include "network/kl_camera_requests.h"
#include "network/kl_event_requests.h"
#include "network/kl_recording_requests.h"
#include "network/kl_request_manager.h"

namespace dk {
namespace {

using platform::Value;

// The reply as the executor maps it for `request`.
Value mapped(const KLRequest& request, std::string_view json, platform::HeaderMap headers = {}) {
  return KLRequestManager::modelResponseHeader(headers, Value::parseJSON(json), request);
}

TEST(KLRequestModels, EveryModelClassOfTheTableResolves) {
  int named = 0;
  for (int32_t name = 0; name < kKLRequestNameCount; ++name) {
    KLRequest request;
    request.setRequestName(name);
    if (request.modelClassName().empty()) {
      EXPECT_EQ(request.modelClass(), nullptr) << name;
      continue;
    }
    named++;
    ASSERT_NE(request.modelClass(), nullptr) << request.modelClassName();
    EXPECT_EQ(request.modelClass()->name(), request.modelClassName());
    EXPECT_NE(request.modelClass()->create(), nullptr) << request.modelClassName();
  }
  EXPECT_EQ(named, 39);
}

TEST(KLRequestModels, AReplyWithoutCachedModelBecomesANewModelOfTheTablesClass) {
  KLGetCameraRequest request;
  request.cameraID = "7";
  Value reply = mapped(request, R"({"cameraId": 7, "name": "Porch"})");
  ASSERT_NE(reply.objectAs<KLCameraResponse>(), nullptr);
  Value result = request.block()(reply, nullptr, nullptr);
  auto camera = result.objectAs<KLCameraResponse>();
  ASSERT_NE(camera, nullptr);
  EXPECT_NE(camera, reply.objectAs<KLCameraResponse>());  // a new model, merged from the reply
  EXPECT_EQ(camera->valueForKey("name"), Value("Porch"));
}

TEST(KLRequestModels, ARecordingPageWithoutCachedListBecomesANewList) {
  KLCameraRecordingsRequest request;
  request.cameraID = "7";
  Value reply = mapped(request, R"([
      {"recordingId": 2, "cameraId": 7, "startTime": "2024-01-01T10:00:00.000+01:00",
       "endTime": "2024-01-01T10:05:00.000+01:00", "closed": true},
      {"recordingId": 1, "cameraId": 7, "startTime": "2024-01-01T09:00:00.000+01:00",
       "endTime": "2024-01-01T09:05:00.000+01:00", "closed": true}])");
  ASSERT_NE(reply.objectAs<KLRecordingListResponse>(), nullptr);
  auto list = request.block()(reply, nullptr, nullptr).objectAs<KLRecordingListResponse>();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->recordings().size(), 2u);
  EXPECT_EQ(list->recordings()[0]->valueForKey("recordingID"), Value(2));

  // After a failure without a cached list the caller gets an empty list beside the error.
  auto error = platform::Error::make("NSURLErrorDomain", -1001, "The request timed out.");
  auto empty = request.block()(Value(), error, nullptr).objectAs<KLRecordingListResponse>();
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->recordings().empty());
}

TEST(KLRequestModels, NewEventsJoinTheCachedListWithoutDuplicates) {
  KLNewEventsRequest request;
  auto cached = mapped(request, R"([{"eventId": 1, "timestamp": "2024-01-01T10:00:00.000+01:00", "type": "PIR",
                                      "source": {"sourceId": 7}}])")
                    .objectAs<KLEventListResponse>();
  ASSERT_NE(cached, nullptr);
  ASSERT_EQ(cached->numberOfEvents(), 1u);
  Value page = mapped(request, R"([
      {"eventId": 1, "timestamp": "2024-01-01T10:00:00.000+01:00", "type": "PIR", "source": {"sourceId": 7}},
      {"eventId": 2, "timestamp": "2024-01-01T10:01:00.000+01:00", "type": "PIR", "source": {"sourceId": 7}}])");
  Value result = request.block()(page, nullptr, cached);
  EXPECT_EQ(result.objectAs<KLEventListResponse>(), page.objectAs<KLEventListResponse>());
  EXPECT_EQ(cached->numberOfEvents(), 2u);
}

TEST(KLRequestModels, OlderEventPagesCarryTheirNextLinkIntoTheNextRequest) {
  KLOldEventsRequest first;
  first.limit = 200;
  platform::HeaderMap headers{{"Link", "<https://api.example/rest/v2.4/events?maxEventId=5&limit=200>; rel=\"next\""}};
  auto page = mapped(first, R"([{"eventId": 9, "timestamp": "2024-01-01T10:00:00.000+01:00", "type": "PIR",
                                  "source": {"sourceId": 7}}])",
                     headers)
                  .objectAs<KLEventListResponse>();
  ASSERT_NE(page, nullptr);
  ASSERT_TRUE(page->nextEventsBatchURL().has_value());
  KLOldEventsRequest next(page->nextEventsBatchURL());
  EXPECT_EQ(next.parameters(), Value(platform::ValueDictionary{{"maxEventId", Value("5")}, {"limit", Value("200")}}));
}

TEST(KLRequestModels, CameraListsMergeStatusPagesIntoTheCachedCameras) {
  KLCamerasRequest all;
  auto cached = mapped(all, R"([{"cameraId": 7, "name": "Porch"}, {"cameraId": 8, "name": "Yard"}])")
                    .objectAs<KLCameraListResponse>();
  ASSERT_NE(cached, nullptr);
  auto porch = cached->valueForKey("values")[size_t{0}].objectAs<KLCameraResponse>();
  ASSERT_NE(porch, nullptr);
  EXPECT_EQ(porch->state(), std::nullopt);
  KLCamerasStatusRequest status;
  Value page = mapped(status, R"([{"cameraId": 7, "online": true}, {"cameraId": 8, "online": false}])");
  Value result = status.block()(page, nullptr, cached);
  EXPECT_EQ(result.objectAs<KLCameraListResponse>(), cached);
  Value cameras = cached->valueForKey("values");
  ASSERT_EQ(cameras.count(), 2u);
  // The cached camera object itself took the status and kept its name.
  bool found = false;
  for (const Value& camera : cameras.arrayValue()) {
    if (camera.objectAs<KLCameraResponse>() != porch) continue;
    found = true;
    EXPECT_EQ(porch->valueForKey("name"), Value("Porch"));
    EXPECT_EQ(porch->state(), true);
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace dk
