#include "model/kl_device_type_response.h"

#include <gtest/gtest.h>

#include "model/kl_zone_response.h"
#include "model_test_support.h"

namespace dk {
namespace {

using platform::Value;

TEST(KLDeviceType, CapabilitiesAndApiFamily) {
  auto list = platform::modelFromJSON<KLDeviceTypesResponse>(test::json(R"({"deviceTypes": [
      {"deviceTypeId": 12, "display": {"model": "Cam Pro", "brand": "Acme"},
       "localConnection": {"apiFamilyId": "RG40"},
       "capabilities": {"microphone": true, "speaker": false, "panTilt": true, "provideFirmwareVersion": false}},
      {"deviceTypeId": 13}]})"));
  auto types = list->deviceTypes();
  ASSERT_EQ(types.size(), 2u);
  const auto& pro = *types[0];
  EXPECT_EQ(pro.modelName(), "Cam Pro");
  EXPECT_EQ(pro.brandName(), "Acme");
  EXPECT_TRUE(pro.doSupportsCapability(DeviceCapabilityMicrophone));
  EXPECT_FALSE(pro.doSupportsCapability(DeviceCapabilitySpeaker));
  EXPECT_TRUE(pro.doSupportsCapability(DeviceCapabilityPanTilt));
  EXPECT_FALSE(pro.doSupportsCapability(DeviceCapabilityZoom));
  EXPECT_TRUE(pro.doSupportsCapability(DeviceCapabilityFirmwareVersion)) << "always reported as provided";
  EXPECT_FALSE(pro.doSupportsCapability(9));
  EXPECT_FALSE(pro.doSupportsCapability(-1));
  EXPECT_TRUE(pro.doBelongsToApiFamily(ApiFamilyRG40));
  EXPECT_FALSE(pro.doBelongsToApiFamily(ApiFamilyKelo));
  EXPECT_FALSE(pro.doBelongsToApiFamily(ApiFamilyHostedCam));
  EXPECT_FALSE(pro.doBelongsToApiFamily(3));

  const auto& bare = *types[1];
  for (int64_t c = 0; c < 8; ++c) EXPECT_FALSE(bare.doSupportsCapability(c)) << c;
  EXPECT_TRUE(bare.doSupportsCapability(8));
  EXPECT_EQ(KLDeviceTypeResponse::staticClassInfo().properties().size(), 14u) << "13 mapped rows and cameraID";
}

TEST(KLWizardModels, GroupsAndDetails) {
  auto wizard = platform::modelFromJSON<KLWizardCameraModelsResponse>(test::json(R"({"wizardCameraModels": [
      {"category": "indoor", "details": [{"group": 1, "url": "https://x", "deviceTypeIds": [12, 13]}]},
      {"category": "outdoor", "details": "none"}]})"));
  auto groups = wizard->groups();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0]->category(), "indoor");
  auto details = groups[0]->details();
  ASSERT_EQ(details.size(), 1u);
  EXPECT_EQ(details[0]->deviceTypeIds(), (std::vector<int64_t>{12, 13}));
  EXPECT_TRUE(groups[1]->values().isNil()) << "details that are not an array map to nil";
}

// Arrays of identifiers leave out an element that does not fit in 64 bits (or is null) instead
// of clamping it onto the largest value, where it would name another camera or device type.
TEST(IdentifierArrays, ElementsBeyondSixtyFourBitsAreLeftOut) {
  const std::string elements = R"([12, 18446744073709551615, null, 9223372036854775807, 1e300,
                                   -9223372036854775809, "99999999999999999999", 13])";
  const std::vector<int64_t> kept = {12, INT64_MAX, 13};
  auto details = test::mapped<KLWizardCameraDetailsResponse>(R"({"deviceTypeIds": )" + elements + "}");
  EXPECT_EQ(details->deviceTypeIds(), kept);
  auto zone = test::mapped<KLZoneResponse>(R"({"zoneId": 1, "cameraIds": )" + elements + "}");
  EXPECT_EQ(zone->cameraIds(), kept);
  EXPECT_EQ(Value(zone->JSONObject()).toJSON(), R"({"cameraIds":[12,9223372036854775807,13],"zoneId":1})");
}

}  // namespace
}  // namespace dk
