#include "model/kl_zone_response.h"

#include <gtest/gtest.h>

#include "model_test_support.h"

namespace dk {
namespace {

using platform::Value;

KLZoneListPtr zonesReply(std::string_view zonesJSON) {
  return test::mapped<KLZoneListResponse>("{\"zones\": " + std::string(zonesJSON) + "}");
}

std::vector<int64_t> ids(const Zones& zones) {
  std::vector<int64_t> out;
  for (const auto& z : zones) out.push_back(z->zoneID().value_or(-1));
  return out;
}

KLCameraPtr cam(int64_t id, std::string name, bool online) {
  auto c = std::make_shared<KLCameraResponse>();
  c->setCameraID(id);
  c->setName(std::move(name));
  c->setState(online);
  return c;
}

KLCameraListPtr camerasOf(Cameras cameras) {
  auto list = std::make_shared<KLCameraListResponse>();
  list->setValues(valueArray(cameras));
  list->setFilteredValues(cameras);
  return list;
}

TEST(KLZoneUpdate, BodyLeavesOutUnknownAndEmptyFields) {
  KLZoneUpdateResponse zone;
  zone.setZoneID(3);
  zone.setName("");
  zone.setCameraIds(std::vector<int64_t>{1, 2});
  auto body = zone.JSONObject();
  EXPECT_FALSE(body.count("status"));
  EXPECT_FALSE(body.count("name"));
  EXPECT_EQ(Value(body).toJSON(), R"({"cameraIds":[1,2],"zoneId":3})");
}

TEST(KLZoneMerge, FullMergeDropsPartialKeepsAndIdentityIsKept) {
  auto cache = std::make_shared<KLZoneListResponse>();
  cache->mergeValueForKey("values", zonesReply(R"([{"zoneId": 1, "name": "Home", "status": "ok"}, {"zoneId": 2, "name": "Shop"}])"));
  auto home = cache->zoneWithID(1);
  ASSERT_TRUE(home);
  auto partial = std::make_shared<KLZoneListResponse>();
  partial->mergeValueForKey("values", zonesReply(R"([{"zoneId": 1, "name": "Home"}, {"zoneId": 2, "name": "Shop"}])"));

  cache->mergeValueForKey("values", zonesReply(R"([{"zoneId": 1, "name": "House"}])"));
  EXPECT_EQ(ids(cache->zones()), (std::vector<int64_t>{1}));
  EXPECT_EQ(cache->zoneWithID(1), home);
  EXPECT_EQ(home->name(), "House");
  EXPECT_EQ(home->status(), "ok") << "nil never overwrites";

  partial->mergeValueForKey("values", zonesReply(R"([{"zoneId": 1, "name": "House"}])"), true);
  EXPECT_EQ(partial->zones().size(), 2u);
}

TEST(KLZoneMerge, DuplicateAndUnidentifiedZones) {
  auto cache = std::make_shared<KLZoneListResponse>();
  cache->mergeValueForKey("values", zonesReply(R"([{"zoneId": 5, "name": "A"}, {"zoneId": 5, "status": "s"}, {"name": "no id"}])"));
  ASSERT_EQ(cache->zones().size(), 1u);
  EXPECT_EQ(cache->zones()[0]->name(), "A");
  EXPECT_EQ(cache->zones()[0]->status(), "s");
  cache->deleteValuesForKey("values", zonesReply(R"([{"zoneId": 5}])"));
  EXPECT_TRUE(cache->zones().empty());
  EXPECT_TRUE(cache->values().isArray());
}

TEST(KLZoneSort, OnlineZonesFirstThenOfflineThenEmptyByName) {
  auto zone = [](int64_t id, std::string name, std::vector<int64_t> cameraIds, Cameras cameras) {
    auto z = std::make_shared<KLZoneResponse>();
    z->setZoneID(id);
    z->setName(std::move(name));
    z->setCameraIds(std::move(cameraIds));
    z->setCameras(camerasOf(std::move(cameras)));
    return z;
  };
  auto a = zone(1, "A", {1, 2}, {cam(1, "x", false), cam(2, "y", false)});
  auto b = zone(2, "B", {3}, {cam(3, "z", true)});
  auto c = zone(3, "c", {4}, {cam(4, "w", true)});
  auto empty = zone(4, "0-empty", {}, {});
  EXPECT_EQ(ids(KLZoneListResponse::sortZones({a, b, c, empty})), (std::vector<int64_t>{2, 3, 1, 4}));
  EXPECT_EQ(ids(KLZoneListResponse::sortZones({empty, c, a, b})), (std::vector<int64_t>{2, 3, 1, 4}));
  EXPECT_EQ(ids(KLZoneListResponse::filterByNonEmptyZones({a, empty, b})), (std::vector<int64_t>{1, 2}));
}

TEST(KLZoneFilter, ByCameraNameIgnoringCaseAndAccents) {
  auto list = std::make_shared<KLZoneListResponse>();
  list->mergeValueForKey("values", zonesReply(R"([{"zoneId": 1, "name": "Home", "cameraIds": [1, 2]},
                                             {"zoneId": 2, "name": "Shop", "cameraIds": [3]}])"));
  list->zoneWithID(1)->setCameras(camerasOf({cam(1, "Front Door", true), cam(2, "Garden", true)}));
  list->zoneWithID(2)->setCameras(camerasOf({cam(3, "Cash désk", true)}));
  list->setFilterString("door");
  EXPECT_EQ(ids(list->filteredValues()), (std::vector<int64_t>{1}));
  auto shown = list->zoneWithID(1)->cameras()->filteredValues();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0]->name(), "Front Door");
  list->setFilterString("DESK");
  EXPECT_EQ(ids(list->filteredValues()), (std::vector<int64_t>{2}));
  list->setFilterString("");
  EXPECT_EQ(list->filteredValues().size(), 2u);
  EXPECT_EQ(list->zoneWithID(1)->cameras()->filteredValues().size(), 2u) << "no filter shows every camera";
}

TEST(KLZoneList, AddDeleteAndCameraMembership) {
  auto list = std::make_shared<KLZoneListResponse>();
  auto z = std::make_shared<KLZoneResponse>();
  z->setZoneID(8);
  z->setName("Office");
  list->addZone(z);
  list->addZone(z);
  auto twin = std::make_shared<KLZoneResponse>();
  twin->setZoneID(8);
  list->addZone(twin);
  EXPECT_EQ(list->zones().size(), 1u);
  EXPECT_EQ(list->zones()[0], z);
  list->addCameraWithId(4, z);
  list->addCameraWithId(4, z);
  EXPECT_EQ(z->cameraIds(), (std::vector<int64_t>{4}));
  list->removeCameraWithId(4, z);
  list->removeCameraWithId(5, z);
  EXPECT_EQ(z->cameraIds(), (std::vector<int64_t>{}));
  list->deleteZone(twin);
  EXPECT_EQ(list->zones().size(), 1u);
  list->deleteZone(z);
  EXPECT_TRUE(list->zones().empty());
  EXPECT_FALSE(list->zoneWithID(std::nullopt));
}

TEST(KLZoneList, EqualZonesCountAsOneForAddAndDelete) {
  auto list = std::make_shared<KLZoneListResponse>();
  auto make = [](const char* name) {
    auto zone = std::make_shared<KLZoneResponse>();  // no identifier yet: a zone being created
    zone->setName(name);
    return zone;
  };
  auto office = make("Office");
  list->addZone(office);
  list->addZone(make("Office"));
  list->addZone(make("Garden"));
  ASSERT_EQ(list->zones().size(), 2u);
  EXPECT_EQ(list->zones()[0], office) << "the object already held stays";
  EXPECT_TRUE(office->isEqual(*make("Office")));
  EXPECT_FALSE(office->isEqual(*make("office")));
  list->deleteZone(make("Garden"));
  ASSERT_EQ(list->zones().size(), 1u);
  EXPECT_EQ(list->zones()[0], office);
  auto other = make("Office");
  other->setZoneID(3);
  list->deleteZone(other);
  EXPECT_EQ(list->zones().size(), 1u) << "a zone differing in one field is another zone";
}

TEST(KLZoneList, ObjectDictionaryAndNonArrayReply) {
  Value wrapped = KLZoneListResponse::objectDictionaryFromDictionary(test::json(R"({"zoneId": 3, "cameras": [1]})"));
  auto single = platform::modelFromJSON<KLZoneListResponse>(wrapped);
  ASSERT_EQ(single->zones().size(), 1u);
  EXPECT_EQ(single->zones()[0]->zoneID(), 3);
  EXPECT_TRUE(wrapped["zones"][size_t{0}]["cameras"].isNull());
  auto bad = platform::modelFromJSON<KLZoneListResponse>(test::json(R"({"zones": "none"})"));
  EXPECT_TRUE(bad->values().isNil());
  EXPECT_TRUE(bad->filteredValues().empty());
}

}  // namespace
}  // namespace dk
