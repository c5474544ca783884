// The single requests: ping, clip download, device types, wizard camera models, event types and
// faces, the user's own records, and the base for calls to a camera reached over its own Wi-Fi
// access point.
//
// Same ownership and thread-safety contract as KLRequest.
#pragma once

#include <optional>
#include <string>

#include "network/kl_request.h"

namespace dk {

DK_NAMED_REQUEST(KLPingRequest, KLRequest, PING_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLWizardCameraModelsRequest, KLRequest, USER_WIZARD_CAMERA_MODELS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLAvailableEventTypesRequest, KLRequest, CAMERA_AVAILABLE_EVENT_TYPES_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLAllFacesRequest, KLRequest, GET_ALL_FACES);
DK_NAMED_REQUEST(KLUserRightsRequest, KLRequest, USER_RIGHTS_GET_REQUEST_CLOUD);
DK_NAMED_REQUEST(KLUserDetailsRequest, KLRequest, USER_DETAILS_GET_REQUEST_CLOUD);

// The event's clip at the absolute downloadVideoURL.
class KLDownloadVideoRequest : public KLRequest {
 public:
  KLDownloadVideoRequest() : KLRequest(DOWNLOAD_VIDEO_REQUEST_CLOUD) {}
  std::string requestURL() const override { return downloadVideoURL.value_or(std::string()); }
  std::string className() const override { return "KLDownloadVideoRequest"; }

  std::optional<std::string> downloadVideoURL;
};

// {"includeCapabilities", "includeLocalConnection"} as booleans.
class KLDeviceTypesRequest : public KLRequest {
 public:
  KLDeviceTypesRequest() : KLRequest(DEVICE_TYPES_GET_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLDeviceTypesRequest"; }

  bool includeCapabilities = false;
  bool includeLocalConnection = false;
};

// {"language": the current locale's language code}
class KLEventTypeDetailsListRequest : public KLRequest {
 public:
  KLEventTypeDetailsListRequest() : KLRequest(CAMERA_EVENT_TYPE_DETAILS_GET_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLEventTypeDetailsListRequest"; }
};

// The signed-in user. The properties are carried, not sent.
class KLUserRequest : public KLRequest {
 public:
  KLUserRequest() : KLRequest(USER_GET_REQUEST_CLOUD) {}
  std::string className() const override { return "KLUserRequest"; }

  std::optional<std::string> email;
  std::optional<std::string> name;
  std::optional<std::string> password;
};

// {"firstName", "lastName", "email"}, each the empty string when not set.
class KLUserUpdateRequest : public KLRequest {
 public:
  KLUserUpdateRequest() : KLRequest(USER_PATCH_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUserUpdateRequest"; }

  std::optional<std::string> firstName;
  std::optional<std::string> lastName;
  std::optional<std::string> email;
};

// {"companyName": company, "phone": telephone, "country": countryIso}, each "" when not set.
class KLUserDetailsUpdateRequest : public KLRequest {
 public:
  KLUserDetailsUpdateRequest() : KLRequest(USER_DETAILS_PATCH_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  std::string className() const override { return "KLUserDetailsUpdateRequest"; }

  std::optional<std::string> company;
  std::optional<std::string> telephone;
  std::optional<std::string> countryIso;
};

// A call to a camera reached directly over its own access point: "https://<address><template>".
class KLDeviceRequest : public KLRequest {
 public:
  KLDeviceRequest() = default;
  std::string requestURL() const override;
  std::string className() const override { return "KLDeviceRequest"; }

  // The fixed private address of the cameras' own access point.
  static constexpr char kAccessPointAddress[] = "192.168.42.1";

  std::optional<std::string> clientSecret;
  std::optional<std::string> cameraSecret;

 protected:
  explicit KLDeviceRequest(int32_t name) : KLRequest(name) {}
};

// The language code of the current locale ("de" for "de_CH").
std::string currentLanguageCode();

}  // namespace dk
