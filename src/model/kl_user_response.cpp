#include "model/kl_user_response.h"

#include "platform/foundation/locale_names.h"
#include "platform/foundation/user_defaults.h"
#include "model/model_keys.h"
#include "model/model_support.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

namespace {
using model_support::path;

// Passes the identifier through and remembers it in the standard user defaults.
platform::ValueTransform userIDTransformer() {
  return [](const Value& v) {
    if (!v.isNil()) platform::UserDefaults::standard()->setObject(v, "USERID");
    return v;
  };
}
}  // namespace

const ClassInfo& KLUserResponse::staticClassInfo() {
  using U = KLUserResponse;
  static const ClassInfo info(
      "KLUserResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<KLUserResponse>(); },
      {property("firstName", &U::firstName_, path(kFirstNameKey)),
       property("lastName", &U::lastName_, path(kLastNameKey)),
       property("email", &U::email_, path(kEmailKey)),
       property("password", &U::password_, path(kPasswordKey)),
       property("userID", &U::userID_, path(kUserIDKey), userIDTransformer()),
       property("valid", &U::valid_, path(kValidKey)),
       property("accountID", &U::accountID_, path(kAccountIDKey)),
       property("newestPassword", &U::newestPassword_, {"newestPassword"}),
       property("clientSecret", &U::clientSecret_, path(kClientSecretKey)),
       property("accessToken", &U::accessToken_, {"access_token"}),
       property("tokenType", &U::tokenType_, {"token_type"}),
       property("expiresIn", &U::expiresIn_, {"expires_in"}),
       property("allowsHelpdesk", &U::allowsHelpdesk_, path(kAllowsHelpdeskKey)),
       property("countryIso", &U::countryIso_, path(kCountryKey)),
       property("company", &U::company_, path(kCompanyKey)),
       property("telephone", &U::telephone_, path(kTelephoneKey))});
  return info;
}

std::string KLUserResponse::name() const {
  const std::string first = firstName().value_or("");
  const std::string last = lastName().value_or("");
  const std::string separator = !first.empty() && !last.empty() ? " " : "";
  return first + separator + last;
}

std::optional<std::string> KLUserResponse::country() const {
  const auto code = countryIso();
  if (!code) return std::nullopt;
  return platform::displayNameForCountryCode(*code);
}

const std::vector<std::string>& KLUserResponse::userPropertyList() {
  static const std::vector<std::string> keys = {"firstName", "lastName", "telephone", "company", "countryIso"};
  return keys;
}

bool KLUserResponse::isEqual(const platform::Object& other) const {
  const auto* user = dynamic_cast<const KLUserResponse*>(&other);
  if (!user) return false;
  for (const auto& key : userPropertyList()) {
    const Value mine = valueForKey(key);
    if (mine.isNil() || !(mine == user->valueForKey(key))) return false;
  }
  return true;
}

void KLUserResponse::mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) {
  mergePresentValueForKey(key, model);
}

// ---- KLUserRightsResponse ----

const ClassInfo& KLUserRightsResponse::staticClassInfo() {
  using R = KLUserRightsResponse;
  static const ClassInfo info(
      "KLUserRightsResponse", nullptr, [] { return std::make_shared<KLUserRightsResponse>(); },
      {property("demoUser", &R::demoUser_, path(kDemoUserKey)),
       property("microphone", &R::microphone_, path(kMicrophoneKey)),
       property("playback", &R::playback_, path(kPlaybackKey)),
       property("exporting", &R::exporting_, path(kExportKey)),
       property("addPnpCamera", &R::addPnpCamera_, path(kAddPnpCameraKey)),
       property("addCameraManualy", &R::addCameraManualy_, path(kAddCameraManually)),
       property("editCamera", &R::editCamera_, path(kEditCameraKey)),
       property("deleteCamera", &R::deleteCamera_, path(kDeleteCameraKey)),
       property("addZone", &R::addZone_, path(kAddZoneKey)),
       property("editZone", &R::editZone_, path(kEditZoneKey)),
       property("deleteZone", &R::deleteZone_, path(kDeleteZoneKey)),
       property("audioPir", &R::audioPir_, path(kAudioPirKey)),
       property("edgeStorageManagement", &R::edgeStorageManagement_, path(kEdgeStorageManagementKey)),
       property("deleteRecording", &R::deleteRecording_, path(kDeleteRecordingKey)),
       property("ptz", &R::ptz_, path(kPtzKey)),
       property("rights", &R::rights, &R::setRights)});
  return info;
}

uint64_t KLUserRightsResponse::rights() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (rights_ != 0) return rights_;
  const std::pair<const std::optional<bool>*, uint64_t> flags[] = {
      {&demoUser_, KLUserRightDemoUser},
      {&microphone_, KLUserRightMicrophone},
      {&playback_, KLUserRightPlayback},
      {&exporting_, KLUserRightExport},
      {&addPnpCamera_, KLUserRightAddPnpCamera},
      {&addCameraManualy_, KLUserRightAddCameraManually},
      {&editCamera_, KLUserRightEditCamera},
      {&deleteCamera_, KLUserRightDeleteCamera},
      {&addZone_, KLUserRightAddZone},
      {&editZone_, KLUserRightEditZone},
      {&deleteZone_, KLUserRightDeleteZone},
      {&audioPir_, KLUserRightAudioPir},
      {&edgeStorageManagement_, KLUserRightEdgeStorageManagement},
      {&deleteRecording_, KLUserRightDeleteRecording},
      {&ptz_, KLUserRightPtz},
  };
  uint64_t bits = 0;
  for (const auto& [flag, bit] : flags) {
    if (flag->value_or(false)) bits |= bit;
  }
  rights_ = bits;
  return bits;
}

void KLUserRightsResponse::setRights(uint64_t rights) { guardedSet(rights_, rights); }

// ---- account models ----

const ClassInfo& KLUserCameraSlots::staticClassInfo() {
  static const ClassInfo info("KLUserCameraSlots", &KLResponse::staticClassInfo(),
                              [] { return std::make_shared<KLUserCameraSlots>(); },
                              {property("slots", &KLUserCameraSlots::slots_, {"slots"}),
                               property("used", &KLUserCameraSlots::used_, {"used"})});
  return info;
}

const ClassInfo& KLSubscriptionRightsResponse::staticClassInfo() {
  using S = KLSubscriptionRightsResponse;
  static const ClassInfo info("KLSubscriptionRightsResponse", &KLResponse::staticClassInfo(),
                              [] { return std::make_shared<KLSubscriptionRightsResponse>(); },
                              {property("cameraID", &S::cameraID_, path(kCameraIDKey)),
                               property("daysOfRecordings", &S::daysOfRecordings_, {"daysOfRecordings"})});
  return info;
}

}  // namespace dk
