#include "model/kl_user_response.h"

#include <gtest/gtest.h>

#include "platform/foundation/user_defaults.h"
#include "model_test_support.h"

namespace dk {
namespace {

using platform::Value;

TEST(KLUserMapping, MapsEveryKeyAndRemembersTheUserID) {
  platform::UserDefaults::standard()->removeObjectForKey("USERID");
  auto user = platform::modelFromJSON<KLUserResponse>(test::json(R"({
      "firstName": "Ada", "lastName": "Lovelace", "email": "ada@example.org", "password": "pw",
      "userId": 42, "valid": "yes", "accountId": 9001, "newestPassword": "np", "secret": "s",
      "access_token": "t", "token_type": "bearer", "expires_in": 3600, "allowsHelpdesk": true,
      "country": "GB", "companyName": "Engines", "phone": "+44"})"));
  ASSERT_TRUE(user);
  EXPECT_EQ(user->userID(), 42);
  EXPECT_EQ(user->accountID(), 9001);
  EXPECT_EQ(user->clientSecret(), "s");
  EXPECT_EQ(user->accessToken(), "t");
  EXPECT_EQ(user->tokenType(), "bearer");
  EXPECT_EQ(user->expiresIn(), Value(3600)) << "kept as sent";
  EXPECT_EQ(user->allowsHelpdesk(), true);
  EXPECT_EQ(user->countryIso(), "GB");
  EXPECT_EQ(user->company(), "Engines");
  EXPECT_EQ(user->telephone(), "+44");
  EXPECT_EQ(platform::UserDefaults::standard()->objectForKey("USERID"), Value(42));
  EXPECT_TRUE(user->country().has_value());
  EXPECT_NE(user->country(), "GB") << "the country's name, not its code";
  EXPECT_EQ(KLUserResponse::staticClassInfo().properties().size(), 17u) << "sixteen mapped keys and cameraID";
}

TEST(KLUserName, JoinsPresentPartsWithoutNullText) {
  KLUserResponse user;
  user.setFirstName("Ada");
  user.setLastName("Lovelace");
  EXPECT_EQ(user.name(), "Ada Lovelace");
  user.setLastName("");
  EXPECT_EQ(user.name(), "Ada");
  user.setLastName(std::nullopt);
  EXPECT_EQ(user.name(), "Ada");
  user.setFirstName(std::nullopt);
  user.setLastName("Lovelace");
  EXPECT_EQ(user.name(), "Lovelace");
  user.setLastName(std::nullopt);
  EXPECT_EQ(user.name(), "");
  EXPECT_FALSE(user.country().has_value());
}

TEST(KLUserEquality, ByEditableFieldsOnly) {
  auto make = [](std::string email) {
    auto u = std::make_shared<KLUserResponse>();
    u->setFirstName("Ada");
    u->setLastName("L");
    u->setTelephone("1");
    u->setCompany("C");
    u->setCountryIso("GB");
    u->setEmail(std::move(email));
    return u;
  };
  EXPECT_TRUE(make("a@x")->isEqual(*make("b@y")));
  auto a = make("a"), b = make("a");
  a->setFirstName(std::nullopt);
  b->setFirstName(std::nullopt);
  EXPECT_FALSE(a->isEqual(*b)) << "a field we lack makes the users unequal";
  EXPECT_EQ(KLUserResponse::userPropertyList(),
            (std::vector<std::string>{"firstName", "lastName", "telephone", "company", "countryIso"}));
}

TEST(KLUserMerge, NilNeverOverwrites) {
  auto held = std::make_shared<KLUserResponse>();
  held->setFirstName("Ada");
  held->setEmail("old@x");
  auto details = platform::modelFromJSON<KLUserResponse>(test::json(R"({"email": "new@x", "accountId": 3})"));
  held->mergeValuesForKeysFromModel(details);
  EXPECT_EQ(held->firstName(), "Ada");
  EXPECT_EQ(held->email(), "new@x");
  EXPECT_EQ(held->accountID(), 3);
}

TEST(KLUserRights, BitsFromFlagsAndAfterMerge) {
  auto rights = platform::modelFromJSON<KLUserRightsResponse>(test::json(R"({"playback": true, "export": true,
      "demoUser": false, "addCameraManually": false})"));
  ASSERT_TRUE(rights);
  EXPECT_EQ(rights->rights(), 24u);
  auto reply = platform::modelFromJSON<KLUserRightsResponse>(test::json(R"({"playback": true, "export": true, "ptz": true})"));
  rights->mergeValuesForKeysFromModel(reply);
  EXPECT_EQ(rights->rights(), 32792u);
  EXPECT_EQ(rights->ptz(), true);

  auto all = platform::modelFromJSON<KLUserRightsResponse>(test::json(R"({"demoUser": true, "microphone": true,
      "playback": true, "export": true, "addPnPCamera": true, "addCameraManually": true, "editCamera": true,
      "deleteCamera": true, "addZone": true, "editZone": true, "deleteZone": true, "audioPIR": true,
      "edgeStorageManagement": true, "deleteRecording": true, "ptz": true})"));
  EXPECT_EQ(all->rights(), 0xFFFEu);
}

TEST(KLUserRights, AllFalseIsRecomputedAtEveryRead) {
  KLUserRightsResponse rights;
  rights.setPlayback(false);
  EXPECT_EQ(rights.rights(), 0u);
  rights.setMicrophone(true);
  EXPECT_EQ(rights.rights(), static_cast<uint64_t>(KLUserRightMicrophone));
  rights.setMicrophone(false);
  EXPECT_EQ(rights.rights(), static_cast<uint64_t>(KLUserRightMicrophone)) << "a non-zero set is kept";
}

TEST(KLAccountModels, SlotsAndSubscriptionRights) {
  auto slots = platform::modelFromJSON<KLUserCameraSlots>(test::json(R"({"slots": 4, "used": 1})"));
  EXPECT_EQ(slots->slots(), 4);
  EXPECT_EQ(slots->used(), 1);
  auto rights = platform::modelFromJSON<KLSubscriptionRightsResponse>(test::json(R"({"cameraId": 8, "daysOfRecordings": 30})"));
  EXPECT_EQ(rights->cameraID(), 8);
  EXPECT_EQ(rights->daysOfRecordings(), 30);
}

}  // namespace
}  // namespace dk
