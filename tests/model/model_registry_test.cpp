#include "model/model_registry.h"

#include <gtest/gtest.h>

#include <set>

#include "model/kl_camera_list_response.h"
#include "model/kl_event_response.h"
#include "model/kl_recording_response.h"
#include "model_test_support.h"

namespace dk {
namespace {

TEST(ModelRegistry, EveryModelClassOfTheRequestTableResolves) {
  // The model column of the request table.
  for (const char* name : {"KLCameraListResponse", "KLUserResponse", "KLEventListResponse", "KLWiFiResponse",
                           "KLWiFiListResponse", "KLCameraResponse", "KLEventResponse", "KLSubscriptionRightsResponse",
                           "KLWizardCameraModelsResponse", "KLDeviceTypesResponse", "KLRecordingResponse",
                           "KLRecordingListResponse", "KLCameraAdvancedInfoResponse", "KLCameraVideoSettingsResponse",
                           "KLCameraFootageSettingsResponse", "KLCameraDeviceInfoResponse", "KLAvailableEventTypesResponse",
                           "KLEventTypeDetailsListResponse", "KLAvailableFacesListResponse"}) {
    const platform::ClassInfo* cls = modelClassNamed(name);
    ASSERT_TRUE(cls) << name;
    EXPECT_EQ(cls->name(), name);
  }
  EXPECT_FALSE(modelClassNamed("NSObject"));
  EXPECT_FALSE(modelClassNamed(""));
}

TEST(ModelRegistry, EveryClassMakesInstancesOfItself) {
  std::set<std::string> names;
  for (const platform::ClassInfo* cls : allModelClasses()) {
    EXPECT_TRUE(names.insert(cls->name()).second) << "listed twice: " << cls->name();
    auto instance = cls->create();
    ASSERT_TRUE(instance) << cls->name();
    EXPECT_EQ(&instance->classInfo(), cls) << cls->name();
    EXPECT_EQ(modelClassNamed(cls->name()), cls);
    // Mapping an empty reply and merging it into a fresh instance must work for every class.
    auto mapped = platform::modelFromJSON(*cls, platform::Value(platform::ValueDictionary{}));
    ASSERT_TRUE(mapped) << cls->name();
    instance->mergeValuesForKeysFromModel(mapped);
  }
  EXPECT_EQ(names.size(), 46u);
}

TEST(ModelRegistry, ObjectDictionaryHookFollowsTheClassHierarchy) {
  const platform::Value single = test::json(R"({"eventId": 1})");
  EXPECT_EQ(objectDictionaryFromDictionary(KLEventListResponse::staticClassInfo(), single),
            KLEventListResponse::objectDictionaryFromDictionary(single));
  EXPECT_TRUE(objectDictionaryFromDictionary(KLRecordingListResponse::staticClassInfo(), single).isNil());
  EXPECT_TRUE(objectDictionaryFromDictionary(KLCameraListResponse::staticClassInfo(), single)["cameras"].isArray());
}

}  // namespace
}  // namespace dk
