#include "model/kl_camera_list_response.h"

#include <gtest/gtest.h>

#include <atomic>

#include "model_test_support.h"
#include "platform/dispatch/sync.h"
#include "platform/foundation/notification_center.h"

namespace dk {
namespace {

using platform::Value;

KLCameraListPtr camerasReply(std::string_view camerasJSON) {
  return test::mapped<KLCameraListResponse>("{\"cameras\": " + std::string(camerasJSON) + "}");
}

std::vector<int64_t> ids(const Cameras& cameras) {
  std::vector<int64_t> out;
  for (const auto& c : cameras) out.push_back(c->cameraID().value_or(-1));
  return out;
}

// Counts "kCamerasUpdatedNotifiction" posts for the scope.
class UpdateCounter {
 public:
  UpdateCounter()
      : token_(platform::NotificationCenter::defaultCenter().addObserver(
            std::string(kCamerasUpdatedNotifiction), [this](const platform::Notification& n) {
              ++count;
              sender = n.object;
              userInfoValues = n.userInfo.count("values") ? n.userInfo.at("values") : Value();
            })) {}
  std::atomic<int> count{0};
  platform::ObjectPtr sender;
  Value userInfoValues;

 private:
  std::shared_ptr<const void> token_;
};

TEST(KLCameraListMerge, EmptyCacheGetsNewRecordsAndOneNotification) {
  UpdateCounter updates;
  auto cache = std::make_shared<KLCameraListResponse>();
  auto page = camerasReply(R"([{"cameraId": 7, "name": "b", "online": true}, {"cameraId": 9, "name": "A", "online": true}])");
  cache->mergeValueForKey("values", page);
  EXPECT_EQ(ids(cache->cameras()), (std::vector<int64_t>{9, 7})) << "by name, ignoring case";
  EXPECT_NE(cache->cameras()[0], page->cameras()[1]) << "new cameras start from a new record";
  EXPECT_EQ(updates.count.load(), 1);
  EXPECT_EQ(updates.sender, cache);
  EXPECT_EQ(updates.userInfoValues, Value(cache));
}

TEST(KLCameraListMerge, FullMergeDropsMissingCamerasPartialKeepsThem) {
  auto cache = std::make_shared<KLCameraListResponse>();
  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 7, "name": "Seven"}, {"cameraId": 9, "name": "Nine"}])"));
  auto partial = cache;
  auto copy = std::make_shared<KLCameraListResponse>();
  copy->mergeValueForKey("values", camerasReply(R"([{"cameraId": 7, "name": "Seven"}, {"cameraId": 9, "name": "Nine"}])"));

  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 9}, {"cameraId": 11, "name": "Eleven"}])"));
  EXPECT_EQ(ids(cache->cameras()), (std::vector<int64_t>{11, 9}));
  copy->mergeValueForKey("values", camerasReply(R"([{"cameraId": 9}, {"cameraId": 11, "name": "Eleven"}])"), true);
  EXPECT_EQ(ids(copy->cameras()), (std::vector<int64_t>{11, 9, 7}));
}

TEST(KLCameraListMerge, CachedCameraChangesInPlaceAndMovesBehindOnlineOnes) {
  UpdateCounter updates;
  auto cache = std::make_shared<KLCameraListResponse>();
  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 9, "name": "Alpha", "online": true, "zoneId": 2},
                                              {"cameraId": 7, "name": "Beta", "online": true}])"));
  auto nine = cache->cameraWithID(9);
  ASSERT_EQ(cache->cameras().front(), nine);
  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 9, "online": false}, {"cameraId": 7}])"));
  EXPECT_EQ(cache->cameraWithID(9), nine) << "the same object";
  EXPECT_EQ(nine->cameraState(), KLCameraStateOffline);
  EXPECT_EQ(nine->name(), "Alpha");
  EXPECT_EQ(nine->zoneID(), 2);
  EXPECT_EQ(ids(cache->cameras()), (std::vector<int64_t>{7, 9}));
  EXPECT_EQ(updates.count.load(), 2);
}

TEST(KLCameraListMerge, ReplyNamingACameraTwiceYieldsOneRecord) {
  auto cache = std::make_shared<KLCameraListResponse>();
  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 5, "name": "x"}, {"cameraId": 5, "online": true}])"));
  ASSERT_EQ(cache->cameras().size(), 1u);
  EXPECT_EQ(cache->cameras()[0]->name(), "x");
  EXPECT_EQ(cache->cameras()[0]->state(), true);
}

TEST(KLCameraListSort, TotalOrderWithUnknownStates) {
  auto make = [](int64_t id, std::string name, std::optional<bool> online) {
    auto c = std::make_shared<KLCameraResponse>();
    c->setCameraID(id);
    c->setName(std::move(name));
    c->setState(online);
    return c;
  };
  Cameras cameras = {make(1, "delta", std::nullopt), make(2, "Charlie", false), make(3, "bravo", true),
                       make(4, "Alpha", false), make(5, "echo", true), make(6, "Foxtrot", std::nullopt)};
  EXPECT_EQ(ids(KLCameraListResponse::sortCameras(cameras, true)), (std::vector<int64_t>{3, 5, 4, 2, 1, 6}));
  EXPECT_EQ(ids(KLCameraListResponse::sortCameras(cameras, false)), (std::vector<int64_t>{4, 2, 3, 5, 1, 6}));
  Cameras reversed(cameras.rbegin(), cameras.rend());
  EXPECT_EQ(ids(KLCameraListResponse::sortCameras(reversed, true)), (std::vector<int64_t>{3, 5, 4, 2, 1, 6}));
}

TEST(KLCameraListLookups, ByIdentifierAndName) {
  auto cache = std::make_shared<KLCameraListResponse>();
  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 1, "name": "Front door", "online": true},
      {"cameraId": 2, "name": "Garage", "online": true}, {"cameraId": 3, "online": true}, {"name": "DOORBELL"}])"));
  EXPECT_EQ(cache->cameraNameWithID(2), "Garage");
  EXPECT_EQ(cache->cameraNameWithID(42), "");
  EXPECT_EQ(cache->cameraNameWithID(3), "") << "a camera without a name is not \"(null)\"";
  EXPECT_EQ(cache->cameraNameWithID(std::nullopt), "");
  EXPECT_FALSE(cache->cameraWithID(std::nullopt));
  EXPECT_EQ(cache->rangeOfCameraWithID(42), 0u);
  EXPECT_EQ(cache->cameraIDsThatContainString("DOOR"), (std::vector<int64_t>{1}));
  EXPECT_TRUE(cache->cameraIDsThatContainString(std::nullopt).empty());
  EXPECT_EQ(cache->cameras().size(), 4u) << "a new camera is kept even without identifier";
}

TEST(KLCameraListLookups, NameSearchFoldsCaseOfAnyLetterAndIgnoresEmptyText) {
  auto cache = std::make_shared<KLCameraListResponse>();
  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 1, "name": "KÜCHE", "online": true},
      {"cameraId": 2, "name": "Straße", "online": true}, {"cameraId": 3, "name": "Küche hinten", "online": true}])"));
  EXPECT_EQ(cache->cameraIDsThatContainString("küche"), (std::vector<int64_t>{1, 3}));
  EXPECT_EQ(cache->cameraIDsThatContainString("STRASSE"), (std::vector<int64_t>{2}));
  EXPECT_TRUE(cache->cameraIDsThatContainString("kuche").empty()) << "diacritics still count";
  EXPECT_TRUE(cache->cameraIDsThatContainString("").empty());
}

TEST(KLCameraListDelete, ByListAndByIdentifier) {
  UpdateCounter updates;
  auto cache = std::make_shared<KLCameraListResponse>();
  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 1, "name": "a"}, {"cameraId": 2, "name": "b"}, {"cameraId": 3, "name": "c"}])"));
  cache->deleteValuesForKey("values", camerasReply(R"([{"cameraId": 2}, {"cameraId": 8}])"));
  EXPECT_EQ(ids(cache->cameras()), (std::vector<int64_t>{1, 3}));
  cache->deleteCameraWithID(3);
  cache->deleteCameraWithID(99);
  EXPECT_EQ(ids(cache->cameras()), (std::vector<int64_t>{1}));
  EXPECT_EQ(updates.count.load(), 1) << "deletions post nothing";
}

TEST(KLCameraListCounts, OfflineCamerasAndItems) {
  auto list = std::make_shared<KLCameraListResponse>();
  EXPECT_EQ(list->numberOfItems(), 0);
  auto cam = [](int64_t id, bool online) {
    auto c = std::make_shared<KLCameraResponse>();
    c->setCameraID(id);
    c->setState(online);
    return c;
  };
  list->setFilteredValues({cam(1, true), cam(2, false), cam(3, true)});
  EXPECT_EQ(list->filteredValues().front()->cameraID(), 2) << "filtered cameras keep offline ones first";
  EXPECT_EQ(list->numberOfCameras(), 3);
  EXPECT_EQ(list->numberOfOfflineCameras(), 1);
  EXPECT_EQ(list->numberOfItems(), 3);
  list->setFilteredValues({cam(1, true), cam(2, false), cam(3, false), cam(4, false)});
  EXPECT_EQ(list->numberOfOfflineCameras(), 3);
  EXPECT_EQ(list->numberOfItems(), 2);
  list->setFilteredValues({cam(2, false), cam(3, false)});
  EXPECT_EQ(list->numberOfItems(), 1);
}

TEST(KLCameraListObjectDictionary, SingleCameraWithoutNestedRecords) {
  auto cache = std::make_shared<KLCameraListResponse>();
  cache->mergeValueForKey("values", camerasReply(R"([{"cameraId": 4, "subscriptionRights": {"daysOfRecordings": 30}}])"));
  Value wrapped = KLCameraListResponse::objectDictionaryFromDictionary(
      test::json(R"({"cameraId": 4, "online": true, "subscriptionRights": {"daysOfRecordings": 1}})"));
  auto single = platform::modelFromJSON<KLCameraListResponse>(wrapped);
  ASSERT_EQ(single->cameras().size(), 1u);
  EXPECT_FALSE(single->cameras()[0]->subscriptionRights());
  cache->mergeValueForKey("values", single, true);
  EXPECT_EQ(cache->cameraWithID(4)->subscriptionRights()->daysOfRecordings(), 30);
  EXPECT_EQ(cache->cameraWithID(4)->state(), true);
}

TEST(KLCameraListConcurrency, MergesFromAParserQueueWhileOthersRead) {
  auto cache = std::make_shared<KLCameraListResponse>();
  std::atomic<bool> stop{false};
  auto group = platform::DispatchGroup::create();
  auto readers = platform::DispatchQueue::createConcurrent("test.camera.readers");
  for (int r = 0; r < 2; ++r) {
    group->async(readers, [&] {
      while (!stop.load()) {
        for (const auto& c : cache->cameras()) {
          (void)c->name();
          (void)c->cameraState();
          (void)c->cameraMode();
        }
        (void)cache->cameraNameWithID(3);
      }
    });
  }
  auto parser = platform::DispatchQueue::createConcurrent("test.camera.parser");
  auto writers = platform::DispatchGroup::create();
  for (int i = 0; i < 40; ++i) {
    writers->async(parser, [&, i] {
      auto page = camerasReply("[{\"cameraId\": " + std::to_string(i % 5) + ", \"online\": " + (i % 2 ? "true" : "false") +
                        ", \"name\": \"cam" + std::to_string(i) + "\"}]");
      cache->mergeValueForKey("values", page, true);
    });
  }
  writers->wait();
  stop = true;
  group->wait();
  EXPECT_EQ(cache->cameras().size(), 5u) << "concurrent merges lose no camera and duplicate none";
}

}  // namespace
}  // namespace dk
