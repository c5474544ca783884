#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "model/kl_response.h"
#include "network/kl_camera_requests.h"
#include "network/kl_detections_requests.h"
#include "network/kl_event_requests.h"
#include "network/kl_recording_requests.h"
#include "network/kl_single_requests.h"
#include "network/kl_zone_requests.h"
#include "platform/foundation/locale.h"
#include "platform/net/url.h"

namespace dk {
namespace {

using platform::Value;
using platform::ValueArray;
using platform::ValueDictionary;

// --- URL building --------------------------------------------------------------------------------

struct UrlCase {
  std::function<std::shared_ptr<KLCameraRequest>()> make;
  const char* url;
};

template <typename T>
std::function<std::shared_ptr<KLCameraRequest>()> maker() {
  return [] { return std::make_shared<T>(); };
}

TEST(KLRequestUrls, CameraFamilyFillsTheCameraIdentifier) {
  const UrlCase cases[] = {
      {maker<KLGetCameraRequest>(), "/rest/v2.1/cameras/7"},
      {maker<KLSingleCameraStatusRequest>(), "/rest/v2.0/cameras/7/status"},
      {maker<KLSingleCameraModeRequest>(), "/rest/v2.2/cameras/7/mode"},
      {maker<KLUpdateCameraNameRequest>(), "/rest/v2.0/cameras/7"},
      {maker<KLUpdateCameraModeRequest>(), "/rest/v2.2/cameras/7/mode"},
      {maker<KLUpdateMicrophoneStateRequest>(), "rest/v2.1/cameras/7/microphone"},
      {maker<KLDeleteCameraRequest>(), "/rest/v2.0/cameras/7"},
      {maker<KLMoveCameraRequest>(), "rest/v2.1/cameras/7/ptz"},
      {maker<KLCameraSnapshotRequest>(), "/rest/v2.0/cameras/7/snapshot?resolution=1280x720"},
      {maker<KLGenerateDailySummaryRequest>(), "rest/v2.0/cameras/7/summary"},
      {maker<KLCameraConnectionDetailsRequest>(), "rest/v2.2/cameras/7/connection/details"},
      {maker<KLCameraConnectionCredentialsRequest>(), "rest/v2.2/cameras/7/connection/credentials"},
      {maker<KLCameraDeviceInfoRequest>(), "rest/v2.2/cameras/7/deviceInfo"},
      {maker<KLCameraVideoSettingsRequest>(), "rest/v2.2/cameras/7/video/settings"},
      {maker<KLUpdateCameraVideoSettingsRequest>(), "rest/v2.2/cameras/7/video/settings"},
      {maker<KLDeleteCameraVideoSettingsRequest>(), "rest/v2.2/cameras/7/video/settings"},
      {maker<KLCameraVideoSettingsOptionsRequest>(), "rest/v2.2/cameras/7/capabilities/image"},
      {maker<KLCameraFootageSettingsRequest>(), "rest/v2.2/cameras/7/footage/settings"},
      {maker<KLUpdateCameraFootageSettingsRequest>(), "rest/v2.2/cameras/7/footage/settings"},
      {maker<KLCameraFootageSettingsOptionsRequest>(), "rest/v2.2/cameras/7/footage/capabilities"},
      {maker<KLCameraCapabilitiesRequest>(), "rest/v2.2/cameras/7/capabilities"},
      {maker<KLCameraPtzCapabilitiesRequest>(), "rest/v2.2/cameras/7/capabilities/ptz"},
      {maker<KLGetSmartDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/analytics"},
      {maker<KLUpdateSmartDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/analytics"},
      {maker<KLGetDetectionsCapabilitiesRequest>(), "rest/v2.0/cameras/7/detectors/capabilities"},
      {maker<KLGetPirDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/pir"},
      {maker<KLUpdatePirDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/pir"},
      {maker<KLGetVideoMotionDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/video"},
      {maker<KLUpdateVideoMotionDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/video"},
      {maker<KLGetSoundDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/audio"},
      {maker<KLUpdateSoundDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/audio"},
      {maker<KLGetDoorbellDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/doorbell"},
      {maker<KLUpdateDoorbellDetectionsRequest>(), "rest/v2.0/cameras/7/detectors/doorbell"},
      // Templates without a camera ignore it.
      {maker<KLCamerasStatusRequest>(), "/rest/v2.0/cameras/all/status"},
      {maker<KLCamerasModeRequest>(), "/rest/v2.2/cameras/all/mode"},
  };
  for (const UrlCase& c : cases) {
    auto request = c.make();
    request->cameraID = "7";
    EXPECT_EQ(request->requestURL(), c.url) << request->className();
  }
}

TEST(KLRequestUrls, EachClassCarriesItsOwnName) {
  EXPECT_EQ(KLGetCameraRequest().requestName(), 32);
  EXPECT_EQ(KLSingleCameraStatusRequest().requestName(), 33);
  EXPECT_EQ(KLCamerasStatusRequest().requestName(), 34);
  EXPECT_EQ(KLUpdateCameraZoneRequest().requestName(), 51);
  EXPECT_EQ(KLMoveCameraRequest().requestName(), 58);
  EXPECT_EQ(KLDownloadDailySummaryRequest().requestName(), 59);
  EXPECT_EQ(KLCameraPtzCapabilitiesRequest().requestName(), 93);
  EXPECT_EQ(KLCameraRequest().requestName(), 0);
  EXPECT_EQ(KLDetectionsRequest().requestName(), 0);
  EXPECT_EQ(KLZoneRequest().requestName(), 0);
  EXPECT_EQ(KLDeviceRequest().requestName(), 0);
  EXPECT_EQ(KLUpdateDoorbellDetectionsRequest().requestName(), 83);
  EXPECT_EQ(KLEventRequest().requestName(), 36);
  EXPECT_EQ(KLOldEventsRequest().requestName(), 9);
  EXPECT_EQ(KLNewEventsRequest().requestName(), 86);
  EXPECT_EQ(KLRecordingsRequest().requestName(), 47);
  EXPECT_EQ(KLCameraRecordingsRequest().requestName(), 84);
  EXPECT_EQ(KLAllFacesRequest().requestName(), 96);
  EXPECT_EQ(KLPingRequest().requestName(), 5);
  EXPECT_EQ(KLCameraRecordingsRequest().className(), "KLCameraRecordingsRequest");
}

TEST(KLRequestUrls, MissingOrUnsafeIdentifiersFormNoUrl) {
  KLGetCameraRequest noCamera;
  EXPECT_EQ(noCamera.requestURL(), "");  // never ".../cameras/(null)"
  KLCameraSnapshotRequest noSnapshot;
  EXPECT_EQ(noSnapshot.requestURL(), "");
  for (const char* bad : {"", ".", ".."}) {
    KLDeleteCameraRequest request;
    request.cameraID = bad;
    EXPECT_EQ(request.requestURL(), "") << bad;  // "cameras/" would be the whole camera list
  }
  KLUpdateCameraZoneRequest zoneless;
  zoneless.cameraID = "7";
  EXPECT_EQ(zoneless.requestURL(), "");
  KLCameraRequest abstract;
  abstract.cameraID = "7";
  EXPECT_EQ(abstract.requestURL(), "");
}

TEST(KLRequestUrls, IdentifiersStayInsideTheirPathSegment) {
  KLGetCameraRequest request;
  request.cameraID = "7/../../users/self";
  EXPECT_EQ(request.requestURL(), "/rest/v2.1/cameras/7%2F..%2F..%2Fusers%2Fself");
  request.cameraID = "a b?c#d%";
  EXPECT_EQ(request.requestURL(), "/rest/v2.1/cameras/a%20b%3Fc%23d%25");
  request.cameraID = "cam-7_x.y~:@";
  EXPECT_EQ(request.requestURL(), "/rest/v2.1/cameras/cam-7_x.y~:@");
}

TEST(KLRequestUrls, TwoIdentifierTemplatesFillInOrder) {
  KLUpdateCameraZoneRequest zone;
  zone.cameraID = "7";
  zone.zoneID = 12;
  EXPECT_EQ(zone.requestURL(), "/rest/v2.0/cameras/7/zone/12");
  KLRecordingRequest recording;
  recording.cameraID = "7";
  recording.recordingID = "abc";
  EXPECT_EQ(recording.requestURL(), "/rest/v2.2/cameras/7/recordings/abc");
  recording.recordingID.reset();
  EXPECT_EQ(recording.requestURL(), "");
}

TEST(KLRequestUrls, EventAndZoneFamiliesFillTheirNumbers) {
  KLEventRequest event;
  event.eventID = 4200000000123;
  EXPECT_EQ(event.requestURL(), "/rest/v2.4/events/4200000000123");
  KLDeleteEventRequest deletion;
  deletion.eventID = 5;
  EXPECT_EQ(deletion.requestURL(), "/rest/v2.3/events/5");
  KLEventSnapshotRequest snapshot;
  snapshot.eventID = 5;
  EXPECT_EQ(snapshot.requestURL(), "rest/v2.4/events/5.jpg");
  KLNewEventsRequest newer;
  newer.eventID = 5;
  EXPECT_EQ(newer.requestURL(), "/rest/v2.4/events");
  EXPECT_EQ(KLOldEventsRequest().requestURL(), "/rest/v2.4/events");

  KLUpdateZoneRequest zone;
  zone.zoneID = 3;
  EXPECT_EQ(zone.requestURL(), "/rest/v2.0/zones/3");
  KLDeleteZoneRequest deleteZone;
  deleteZone.zoneID = 3;
  EXPECT_EQ(deleteZone.requestURL(), "/rest/v2.0/zones/3");
  KLMoveCamerasIntoZoneRequest move;
  move.zoneID = 3;
  EXPECT_EQ(move.requestURL(), "/rest/v2.1/zones/3/cameraIds");
  EXPECT_EQ(KLAddZoneRequest().requestURL(), "/rest/v2.0/zones");
  EXPECT_EQ(KLZonesRequest().requestURL(), "/rest/v2.0/zones");
}

TEST(KLRequestUrls, SingleRequestsUseTheirTemplateOrAbsoluteUrl) {
  EXPECT_EQ(KLPingRequest().requestURL(), "/rest/v2.0/ping");
  EXPECT_EQ(KLCamerasRequest().requestURL(), "/rest/v2.0/cameras/");
  EXPECT_EQ(KLUserRequest().requestURL(), "/rest/v2.3/users/self");
  EXPECT_EQ(KLUserRightsRequest().requestURL(), "rest/v2.0/users/self/rights");
  EXPECT_EQ(KLUserDetailsRequest().requestURL(), "/rest/v2.3/users/self/details");
  EXPECT_EQ(KLUserUpdateRequest().requestURL(), "/rest/v2.3/users/self");
  EXPECT_EQ(KLUserDetailsUpdateRequest().requestURL(), "/rest/v2.3/users/self/details");
  EXPECT_EQ(KLDeviceTypesRequest().requestURL(), "/rest/v2.0/deviceTypes");
  EXPECT_EQ(KLWizardCameraModelsRequest().requestURL(), "/rest/v2.2/users/self/wizardCameraModels");
  EXPECT_EQ(KLAvailableEventTypesRequest().requestURL(), "rest/v2.4/events/availableTypes");
  EXPECT_EQ(KLEventTypeDetailsListRequest().requestURL(), "rest/v2.4/events/eventTypeDetails");
  EXPECT_EQ(KLAllFacesRequest().requestURL(), "rest/v2.4/faces");

  KLDownloadVideoRequest video;
  EXPECT_EQ(video.requestURL(), "");
  video.downloadVideoURL = "https://media.example/clips/9.mp4?sig=a%2Bb";
  EXPECT_EQ(video.requestURL(), "https://media.example/clips/9.mp4?sig=a%2Bb");
  KLDownloadDailySummaryRequest summary;
  summary.cameraID = "7";
  summary.videoSummaryURL = "https://media.example/summary/1.mp4";
  EXPECT_EQ(summary.requestURL(), "https://media.example/summary/1.mp4");

  KLDeleteAllEventsRequest all;
  EXPECT_EQ(all.requestURL(), "");
  all.cameraID = "7";
  EXPECT_EQ(all.requestURL(), "/rest/v2.3/events?cameraIds=7");
  all.cameraID = "7&cameraIds=8";
  EXPECT_EQ(all.requestURL(), "/rest/v2.3/events?cameraIds=7%26cameraIds%3D8");

  // Name 0 has no template, so the access-point base forms no URL by itself.
  EXPECT_EQ(KLDeviceRequest().requestURL(), "");
}

// --- Parameters ----------------------------------------------------------------------------------

TEST(KLRequestParameters, NewestRecordingsPageOfTheTimeline) {
  KLCameraRecordingsRequest request;
  request.cameraID = "7";
  request.limit = 100;
  request.reverse = true;
  request.endTime = "2024-01-01T10:00:00.000+01:00";
  EXPECT_EQ(request.requestURL(), "/rest/v2.2/cameras/7/recordings");
  EXPECT_EQ(request.methodType(), KLRequestMethodGet);
  EXPECT_EQ(request.parameters(), Value(ValueDictionary{{"limit", Value(100)},
                                                         {"maxTimestamp", Value("2024-01-01T10:00:00.000+01:00")},
                                                         {"sortByRecordingIdOrder", Value("desc")}}));
  request.reverse = false;
  request.startTime = "2023-12-31T00:00:00.000+01:00";
  request.limit.reset();
  EXPECT_EQ(request.parameters(), Value(ValueDictionary{{"minTimestamp", Value("2023-12-31T00:00:00.000+01:00")},
                                                         {"maxTimestamp", Value("2024-01-01T10:00:00.000+01:00")}}));
}

// What goes on the wire: the request's path and its parameters encoded as the HTTP layer encodes
// a GET query.
std::string wireTarget(const KLRequest& request) {
  std::string query = platform::queryStringFromParameters(request.parameters());
  return request.requestURL() + (query.empty() ? "" : "?" + query);
}

TEST(KLRequestParameters, WireFormatOfTheNewestRecordingsPage) {
  KLCameraRecordingsRequest request;
  request.cameraID = "7";
  request.limit = 100;
  request.reverse = true;
  request.endTime = "2024-01-01T10:00:00.000+01:00";
  EXPECT_EQ(wireTarget(request),
            "/rest/v2.2/cameras/7/recordings?limit=100&maxTimestamp=2024-01-01T10%3A00%3A00.000%2B01%3A00"
            "&sortByRecordingIdOrder=desc");
}

TEST(KLRequestParameters, NextPageLinkIsSentAsTheServerWroteIt) {
  // Decoded when parsed and encoded once when sent: the values arrive as the server meant them.
  const std::string link =
      "https://api.example/rest/v2.4/events?cameraIds=7%2C8&limit=200&maxEventId=5"
      "&maxTimestamp=2024-01-01T10%3A00%3A00.000%2B01%3A00";
  KLOldEventsRequest older{std::optional<std::string>(link)};
  EXPECT_EQ(wireTarget(older), "/rest/v2.4/events" + link.substr(link.find('?')));
}

TEST(KLRequestParameters, CleanedDictionariesDropNilAndEmptyValues) {
  KLUpdateMicrophoneStateRequest microphone;
  EXPECT_EQ(microphone.parameters(), Value(ValueDictionary{}));
  microphone.enabled = "";
  EXPECT_EQ(microphone.parameters(), Value(ValueDictionary{}));
  microphone.enabled = "false";
  EXPECT_EQ(microphone.parameters(), Value(ValueDictionary{{"enabled", Value("false")}}));

  KLUpdatePirDetectionsRequest pir;
  pir.enabled = "true";
  EXPECT_EQ(pir.parameters(), Value(ValueDictionary{{"enabled", Value("true")}}));

  KLUpdateSmartDetectionsRequest smart;
  smart.personDetectionOnly = "true";
  EXPECT_EQ(smart.parameters(), Value(ValueDictionary{{"personDetectionOnly", Value("true")}}));
  smart.enabled = "false";
  EXPECT_EQ(smart.parameters(),
            Value(ValueDictionary{{"personDetectionOnly", Value("true")}, {"enabled", Value("false")}}));
}

TEST(KLRequestParameters, CameraWrites) {
  KLUpdateCameraNameRequest name;
  name.name = "Porch";
  EXPECT_EQ(name.parameters(), Value(ValueDictionary{{"name", Value("Porch")}}));

  KLUpdateCameraModeRequest mode;
  mode.mode = "ARMED";
  mode.recordingMode = "EVENTS";
  EXPECT_EQ(mode.parameters(), Value(ValueDictionary{{"mode", Value("ARMED")}, {"recordingMode", Value("EVENTS")}}));
  mode.recordingMode.reset();
  EXPECT_EQ(mode.parameters(), Value(ValueDictionary{{"mode", Value("ARMED")}}));

  KLDeleteCameraRequest deletion;
  deletion.password = "secret";
  EXPECT_EQ(deletion.parameters(), Value(ValueDictionary{{"password", Value("secret")}}));

  KLGenerateDailySummaryRequest summary;
  summary.minTimestamp = "a";
  summary.maxTimestamp = "b";
  EXPECT_EQ(summary.parameters(), Value(ValueDictionary{{"minTimestamp", Value("a")}, {"maxTimestamp", Value("b")}}));

  KLUpdateCameraVideoSettingsRequest video;
  video.rotation = "180";
  video.exposure = "auto";
  EXPECT_EQ(video.parameters(), Value(ValueDictionary{{"rotation", Value("180")}, {"exposure", Value("auto")}}));

  KLUpdateCameraFootageSettingsRequest footage;
  footage.resolution = "1920x1080";
  footage.framerate = "15";
  footage.maxBitRate = "2048";
  EXPECT_EQ(footage.parameters(),
            Value(ValueDictionary{{"rec", Value(ValueDictionary{{"video", Value(ValueDictionary{
                                                                              {"resolution", Value("1920x1080")},
                                                                              {"framerate", Value("15")},
                                                                              {"maxBitRate", Value("2048")}})}})}}));
}

TEST(KLRequestParameters, PtzDirectionsAndOutOfRangeValues) {
  const char* words[] = {"Up", "Down", "Left", "Right", "In", "Out"};
  for (uint64_t d = 0; d < 6; ++d) {
    KLMoveCameraRequest move;
    move.direction = d;
    EXPECT_EQ(move.parameters(), Value(ValueDictionary{{"direction", Value(words[d])},
                                                        {"moveType", Value("CameraPtzDirectionMove")}}));
  }
  KLMoveCameraRequest wild;
  wild.direction = 6;
  EXPECT_EQ(wild.parameters(), Value(ValueDictionary{{"moveType", Value("CameraPtzDirectionMove")}}));
  wild.direction = UINT64_MAX;
  EXPECT_EQ(wild.parameters()["direction"], Value());
}

TEST(KLRequestParameters, EventPages) {
  KLEventRequest event;
  event.includeUrlsTypes = "none";
  EXPECT_EQ(event.parameters(), Value(ValueDictionary{{"includeUrlTypes", Value("none")}}));

  KLNewEventsRequest newer;
  newer.minTimestamp = "2024-01-01T10:00:00.000+01:00";
  newer.includeUrlsTypes = "none";
  newer.eventsTypes = "VIDEO_MOTION,PIR";
  EXPECT_EQ(newer.parameters(), Value(ValueDictionary{{"minTimestamp", Value("2024-01-01T10:00:00.000+01:00")},
                                                       {"includeUrlTypes", Value("none")},
                                                       {"types", Value("VIDEO_MOTION,PIR")}}));
  newer.cameraIDs = {"7", "8", "9"};
  EXPECT_EQ(newer.parameters()["cameraIds"], Value("7,8,9"));

  KLOldEventsRequest older;
  older.limit = 200;
  older.eventsTypes = "VIDEO_MOTION";
  older.includeUrlsTypes = "none";
  older.cameraIDs = {"7"};
  older.minTimestamp = "ignored";
  EXPECT_EQ(older.parameters(), Value(ValueDictionary{{"includeUrlTypes", Value("none")},
                                                       {"types", Value("VIDEO_MOTION")},
                                                       {"limit", Value(200)},
                                                       {"cameraIds", Value("7")}}));
  older.maxEventID = "991";
  EXPECT_EQ(older.parameters()["maxEventId"], Value("991"));
}

TEST(KLRequestParameters, OldEventsFromTheNextPageLink) {
  KLOldEventsRequest fromLink(std::string("https://api.example/rest/v2.4/events?maxEventId=5&limit=200&broken"));
  EXPECT_EQ(fromLink.parameters(), Value(ValueDictionary{{"maxEventId", Value("5")}, {"limit", Value("200")}}));

  // The link's values arrive encoded; they are decoded so that sending encodes them only once.
  KLOldEventsRequest encoded(std::string(
      "/rest/v2.4/events?maxTimestamp=2024-01-01T10%3A00%3A00.000%2B01%3A00&types=VIDEO_MOTION%2CPIR&cameraIds=7"
      "&a=b=c&plus=1+2#fragment"));
  EXPECT_EQ(encoded.parameters(), Value(ValueDictionary{{"maxTimestamp", Value("2024-01-01T10:00:00.000+01:00")},
                                                         {"types", Value("VIDEO_MOTION,PIR")},
                                                         {"cameraIds", Value("7")},
                                                         {"plus", Value("1+2")}}));
  // A value that is not validly encoded is kept as it came rather than lost.
  KLOldEventsRequest odd(std::string("/events?q=100%&r=%zz"));
  EXPECT_EQ(odd.parameters(), Value(ValueDictionary{{"q", Value("100%")}, {"r", Value("%zz")}}));

  KLOldEventsRequest noLink(std::nullopt);
  noLink.limit = 10;
  EXPECT_FALSE(noLink.internalParameters.has_value());
  EXPECT_EQ(noLink.parameters(), Value(ValueDictionary{{"limit", Value(10)}}));
}

TEST(KLRequestParameters, ZonesAndUsers) {
  EXPECT_EQ(KLAddZoneRequest().parameters(), Value(ValueDictionary{{"name", Value("Default")}}));
  KLAddZoneRequest named;
  named.name = "Garden";
  EXPECT_EQ(named.parameters(), Value(ValueDictionary{{"name", Value("Garden")}}));
  KLUpdateZoneRequest update;
  update.name = "Yard";
  EXPECT_EQ(update.parameters(), Value(ValueDictionary{{"name", Value("Yard")}}));

  KLUserUpdateRequest user;
  user.firstName = "Ada";
  EXPECT_EQ(user.parameters(), Value(ValueDictionary{{"firstName", Value("Ada")},
                                                      {"lastName", Value("")},
                                                      {"email", Value("")}}));
  KLUserDetailsUpdateRequest details;
  details.telephone = "+4412";
  details.countryIso = "GB";
  EXPECT_EQ(details.parameters(), Value(ValueDictionary{{"companyName", Value("")},
                                                         {"phone", Value("+4412")},
                                                         {"country", Value("GB")}}));
  KLUserRequest plain;
  plain.password = "not sent";
  EXPECT_TRUE(plain.parameters().isNil());

  KLDeviceTypesRequest types;
  types.includeCapabilities = true;
  Value params = types.parameters();
  EXPECT_TRUE(params["includeCapabilities"].isBool());
  EXPECT_EQ(params, Value(ValueDictionary{{"includeCapabilities", Value(true)},
                                          {"includeLocalConnection", Value(false)}}));
}

// A camera record with an identifier, for the zone move.
class Camera : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo() {
    static const platform::ClassInfo info("TestCamera", &KLResponse::staticClassInfo(),
                                          [] { return std::make_shared<Camera>(); },
                                          {platform::property("cameraID", &Camera::cameraID_, {"cameraId"}),
                                           platform::property("name", &Camera::name_, {"name"})});
    return info;
  }
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, name, setName);
};

TEST(KLRequestParameters, MovingCamerasSendsTheirIdentifiersAsAnArray) {
  KLMoveCamerasIntoZoneRequest move;
  EXPECT_EQ(move.parameters(), Value(ValueArray{}));
  EXPECT_EQ(move.parameters().toJSON(), "[]");
  auto a = std::make_shared<Camera>();
  a->setCameraID(7);
  auto unnamed = std::make_shared<Camera>();
  auto b = std::make_shared<Camera>();
  b->setCameraID(9);
  move.camerasList = {a, unnamed, nullptr, b};
  EXPECT_EQ(move.parameters().toJSON(), "[7,9]");
}

TEST(KLRequestParameters, EventTypeDetailsAskInTheUsersLanguage) {
  platform::Locale::setCurrent("de_CH");
  EXPECT_EQ(KLEventTypeDetailsListRequest().parameters(), Value(ValueDictionary{{"language", Value("de")}}));
  platform::Locale::setCurrent("pt_BR");
  EXPECT_EQ(KLEventTypeDetailsListRequest().parameters(), Value(ValueDictionary{{"language", Value("pt")}}));
  platform::Locale::setCurrent(std::nullopt);
}

}  // namespace
}  // namespace dk
