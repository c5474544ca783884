// The signed-in user's profile (KLUserResponse) and rights (KLUserRightsResponse), and two small
// account models: the camera slots of the subscription and the recording rights of a camera.
//
// Thread safety: every field is read and written under the model's own mutex; the user manager
// merges replies into the models it holds on its queue while screens read them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/kl_response.h"

namespace dk {

class KLUserResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<std::string>, firstName, setFirstName);
  DK_MODEL_PROPERTY(std::optional<std::string>, lastName, setLastName);
  DK_MODEL_PROPERTY(std::optional<std::string>, email, setEmail);
  DK_MODEL_PROPERTY(std::optional<std::string>, password, setPassword);
  DK_MODEL_PROPERTY(std::optional<int64_t>, userID, setUserID);
  DK_MODEL_PROPERTY(std::optional<std::string>, valid, setValid);
  DK_MODEL_PROPERTY(std::optional<int64_t>, accountID, setAccountID);
  DK_MODEL_PROPERTY(std::optional<std::string>, newestPassword, setNewestPassword);
  DK_MODEL_PROPERTY(std::optional<std::string>, clientSecret, setClientSecret);
  DK_MODEL_PROPERTY(std::optional<std::string>, accessToken, setAccessToken);
  DK_MODEL_PROPERTY(std::optional<std::string>, tokenType, setTokenType);
  // Kept as the server sent it.
  DK_MODEL_PROPERTY(platform::Value, expiresIn, setExpiresIn);
  DK_MODEL_PROPERTY(std::optional<bool>, allowsHelpdesk, setAllowsHelpdesk);
  DK_MODEL_PROPERTY(std::optional<std::string>, countryIso, setCountryIso);
  DK_MODEL_PROPERTY(std::optional<std::string>, company, setCompany);
  DK_MODEL_PROPERTY(std::optional<std::string>, telephone, setTelephone);

 public:
  // First and last name joined by one blank when both are present and non-empty; a missing name
  // contributes nothing (never "(null)").
  std::string name() const;
  // The current locale's name for `countryIso`; nullopt without a code.
  std::optional<std::string> country() const;

  // The editable fields, in order: firstName, lastName, telephone, company, countryIso.
  static const std::vector<std::string>& userPropertyList();

  // Equal to another user whose editable fields all equal ours; a field we lack makes them unequal.
  bool isEqual(const platform::Object& other) const override;
  // Copies the other user's value only when it is not nil.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;
};

enum KLUserRights : uint64_t {
  KLUserRightDemoUser = 1ull << 1,
  KLUserRightMicrophone = 1ull << 2,
  KLUserRightPlayback = 1ull << 3,
  KLUserRightExport = 1ull << 4,
  KLUserRightAddPnpCamera = 1ull << 5,
  KLUserRightAddCameraManually = 1ull << 6,
  KLUserRightEditCamera = 1ull << 7,
  KLUserRightDeleteCamera = 1ull << 8,
  KLUserRightAddZone = 1ull << 9,
  KLUserRightEditZone = 1ull << 10,
  KLUserRightDeleteZone = 1ull << 11,
  KLUserRightAudioPir = 1ull << 12,
  KLUserRightEdgeStorageManagement = 1ull << 13,
  KLUserRightDeleteRecording = 1ull << 14,
  KLUserRightPtz = 1ull << 15,
};

// The user's rights as fifteen flags and their bit set. A plain mapped model: merging copies
// every shared property, flags and bit set included.
class KLUserRightsResponse : public platform::Model {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<bool>, demoUser, setDemoUser);
  DK_MODEL_PROPERTY(std::optional<bool>, microphone, setMicrophone);
  DK_MODEL_PROPERTY(std::optional<bool>, playback, setPlayback);
  DK_MODEL_PROPERTY(std::optional<bool>, exporting, setExporting);
  DK_MODEL_PROPERTY(std::optional<bool>, addPnpCamera, setAddPnpCamera);
  DK_MODEL_PROPERTY(std::optional<bool>, addCameraManualy, setAddCameraManualy);
  DK_MODEL_PROPERTY(std::optional<bool>, editCamera, setEditCamera);
  DK_MODEL_PROPERTY(std::optional<bool>, deleteCamera, setDeleteCamera);
  DK_MODEL_PROPERTY(std::optional<bool>, addZone, setAddZone);
  DK_MODEL_PROPERTY(std::optional<bool>, editZone, setEditZone);
  DK_MODEL_PROPERTY(std::optional<bool>, deleteZone, setDeleteZone);
  DK_MODEL_PROPERTY(std::optional<bool>, audioPir, setAudioPir);
  DK_MODEL_PROPERTY(std::optional<bool>, edgeStorageManagement, setEdgeStorageManagement);
  DK_MODEL_PROPERTY(std::optional<bool>, deleteRecording, setDeleteRecording);
  DK_MODEL_PROPERTY(std::optional<bool>, ptz, setPtz);

 public:
  // The stored bit set when it is not 0; otherwise computed from the flags, stored and returned.
  uint64_t rights() const;
  void setRights(uint64_t rights);

 private:
  mutable uint64_t rights_ = 0;
};

class KLUserCameraSlots : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<int64_t>, slots, setSlots);
  DK_MODEL_PROPERTY(std::optional<int64_t>, used, setUsed);
};

class KLSubscriptionRightsResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<int64_t>, daysOfRecordings, setDaysOfRecordings);
};

using KLUserPtr = std::shared_ptr<KLUserResponse>;
using KLUserRightsPtr = std::shared_ptr<KLUserRightsResponse>;

}  // namespace dk
