#include "model/kl_event_type_models.h"

#include <gtest/gtest.h>

#include "model_test_support.h"

namespace dk {
namespace {

TEST(KLEventTypeModels, AvailableTypesAsSent) {
  auto types = platform::modelFromJSON<KLAvailableEventTypesResponse>(test::json(R"({"values": ["vmdDetected", 3, "pirDetected"]})"));
  ASSERT_TRUE(types);
  EXPECT_EQ(types->values().count(), 3u);
  EXPECT_EQ(types->eventTypes(), (std::vector<std::string>{"vmdDetected", "pirDetected"}));
}

TEST(KLEventTypeModels, DetailsWithCategoriesAndPriority) {
  auto list = platform::modelFromJSON<KLEventTypeDetailsListResponse>(test::json(R"({"values": [
      {"priority": 3, "eventType": "personDetected", "eventTypeTranslated": "Person",
       "categoriesTranslated": {"adult": "Erwachsener"}},
      {"priority": 1, "eventType": "vmdDetected", "eventTypeTranslated": "Motion"}]})"));
  auto details = list->details();
  ASSERT_EQ(details.size(), 2u);
  EXPECT_EQ(details[0]->priority(), 3);
  EXPECT_EQ(details[0]->localizedName(), "Person");
  EXPECT_EQ(details[0]->translatedCategory("adult"), "Erwachsener");
  EXPECT_FALSE(details[0]->translatedCategory("child"));
  EXPECT_TRUE(details[1]->categoriesTranslated().isNil());
  EXPECT_FALSE(details[1]->translatedCategory("adult"));

  auto broken = platform::modelFromJSON<KLEventTypeDetailsListResponse>(test::json(R"({"values": {"priority": 1}})"));
  EXPECT_TRUE(broken->values().isNil());
}

TEST(KLEventTypeModels, FacesAndSamples) {
  auto list = platform::modelFromJSON<KLAvailableFacesListResponse>(test::json(R"({"values": [
      {"faceId": "f1", "accountId": 12, "createTime": 1600000000000, "samples": [{"sampleId": "s"}],
       "customData": {"x": 1}, "name": "Ada", "state": "known"},
      {"faceId": "f2"}]})"));
  auto faces = list->faces();
  ASSERT_EQ(faces.size(), 2u);
  EXPECT_EQ(faces[0]->accountID(), 12);
  EXPECT_EQ(faces[0]->createTime(), 1600000000000);
  EXPECT_EQ(faces[0]->samples().count(), 1u);
  EXPECT_EQ(faces[0]->customData()["x"].integerValue(), 1);
  EXPECT_EQ(faces[0]->state(), "known");
  EXPECT_FALSE(faces[1]->state()) << "a face without state is not known";

  auto sample = platform::modelFromJSON<KLFaceSample>(faces[0]->samples()[size_t{0}]);
  EXPECT_EQ(sample->sampleID(), "s");
}

}  // namespace
}  // namespace dk
