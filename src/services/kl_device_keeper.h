// KLDeviceKeeper: the domain manager for cameras. It keeps the current camera, the account's
// camera list, the zones and the records of the camera settings screens, and offers one
// asynchronous operation per camera call of the cloud API. Every operation sends one request
// through the service-manager base, merges the reply into the cached record it belongs to (on
// the parser queue) and reports to a pair of callbacks on the main thread. It also serves the
// camera look-ups of the event and recording managers.
//
// Owned by the data manager; create it with std::make_shared (replies hold it weakly: a reply
// that arrives after it is gone calls nothing). Every operation may be called from any thread;
// the cached records are replaced under the keeper's own lock and protect their fields
// themselves. Callbacks run on the main thread, except where an operation says otherwise.
// The records are key-value coded ("camera", "zone", "selectedCamerasToMove", ...): each
// replacement is announced to key-value observers on the replacing thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/kl_camera_list_response.h"
#include "model/kl_camera_response.h"
#include "model/kl_camera_settings_response.h"
#include "model/kl_zone_response.h"
#include "model/model_keys.h"
#include "platform/foundation/key_value_coding.h"
#include "services/kl_camera_filter.h"
#include "services/kl_camera_lookup_delegates.h"
#include "services/kl_services_manager.h"

namespace dk {

// Posted (no object) after a successful name or mode change and the camera refresh after it.
inline constexpr char kCameraUpdateNotification[] = "kCameraUpdateNotification";
// Posted (object: the keeper) for each snapshot refreshAllSnapshots fetched.
inline constexpr char kNewSnapshotDownloadedNotification[] = "kNewSnapshotDownloadedNotification";
// Posted (no object) once refreshAllSnapshots has started the last camera's fetch.
inline constexpr char kAllSnapshotsDownloadedNotification[] = "kAllSnapshotsDownloadedNotifiction";
// User-info keys of kNewSnapshotDownloadedNotification: the image, and the camera identifier
// under kCameraIDKey ("cameraId").
inline constexpr char kLastSnapshotSavedNotification[] = "kLastSnapshotSavedNotification";

// The failure bits of triggeredDetections: the last status read of that detector failed.
enum KLTriggeredDetectionFailure : uint64_t {
  KLTriggeredDetectionVideoMotionFailed = 32,
  KLTriggeredDetectionPirFailed = 64,
  KLTriggeredDetectionSoundFailed = 128,
  KLTriggeredDetectionDoorbellFailed = 256,
};

// Which detector a switch change is for; any other value means the doorbell.
enum KLDetectionType : int64_t {
  KLDetectionTypeVideoMotion = 0,
  KLDetectionTypePir = 1,
  KLDetectionTypeSound = 2,
  KLDetectionTypeDoorbell = 3,
};

// A pan-tilt-zoom step: 0 up, 1 down, 2 left, 3 right, 4 zoom in, 5 zoom out.
enum KLPtzDirection : uint64_t {
  KLPtzDirectionUp = 0,
  KLPtzDirectionDown = 1,
  KLPtzDirectionLeft = 2,
  KLPtzDirectionRight = 3,
  KLPtzDirectionIn = 4,
  KLPtzDirectionOut = 5,
};

class KLDeviceKeeper : public KLServicesManager,
                       public KLEventManagerDelegate,
                       public KLRecordingManagerDelegate,
                       public platform::KeyValueCoding {
 public:
  using CameraID = std::optional<int64_t>;

  KLDeviceKeeper();
  // Empties the memory part of the shared image cache.
  ~KLDeviceKeeper() override;

  // ---- cached records ----
  KLCameraPtr camera() const;
  void setCamera(KLCameraPtr camera);
  // The account's cameras; the same list object for the keeper's whole life.
  const KLCameraListPtr& cameras() const { return cameras_; }
  KLZonePtr zone() const;
  void setZone(KLZonePtr zone);
  KLZonePtr createdZone() const;
  void setCreatedZone(KLZonePtr zone);
  // The account's zones as the last zones read brought them; the same list object throughout.
  const KLZoneListPtr& zones() const { return zones_; }
  std::shared_ptr<KLCameraAdvancedInfoResponse> cameraAdvancedInfo() const;
  std::shared_ptr<KLCameraVideoSettingsResponse> videoSettings() const;
  std::shared_ptr<KLCameraFootageSettingsResponse> footageSettings() const;
  Cameras selectedCamerasToMove() const;

  // Key-value coding of the records above by their property names; "cameras" and "zones" are
  // read-only, "selectedCamerasToMove" is an array of cameras.
  platform::Value valueForKey(std::string_view key) const override;
  void setValueForKey(std::string_view key, const platform::Value& value) override;

  // ---- look-ups (synchronous, any thread) ----
  // KLEventManagerDelegate "getCameras"
  std::shared_ptr<KLCameraListResponse> getCameras() override { return cameras_; }
  // KLRecordingManagerDelegate "cameraWithID:"
  KLCameraPtr cameraWithID(std::optional<int64_t> cameraID) override;
  bool respondsToSelector(std::string_view selector) const override;

  // One filter per identifier of zone().cameraIds whose camera is known and has a name.
  std::vector<std::shared_ptr<KLCameraFilter>> camerasFilters() const;
  // Each change replaces the whole array, announced to observers of "selectedCamerasToMove".
  // A camera equal to one already selected is not added; removing takes every equal one.
  void addCameraToSelectedCamerasToMove(const KLCameraPtr& camera);
  void removeCameraFromSelectedCamerasToMove(const KLCameraPtr& camera);
  void resetSelectedCamerasToMove();
  void deleteAllImagesInMemory();

  // ---- the camera list, status and modes ----
  // List read (full merge into cameras()), then zones, then initialCamerasMetadata. A failure of
  // the list or zones read calls error.
  void getCamerasWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  // The same, ending in updateCamerasMetadata.
  void updateCamerasWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  void getCamerasStatusWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  void getCamerasModeWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  // Status of all cameras, then the modes of all; success gets the list or the last error
  // (error is never called).
  void initialCamerasMetadataWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  // Status, detection capabilities, capabilities, then modes of all cameras; success gets the
  // list or the last error (error is never called).
  void updateCamerasMetadataWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  // Fan-outs over a list's cameras: success with the list, or error with the error that
  // arrived last. An empty (or missing) list succeeds at once.
  void getAllCameraModesForCameras(const KLCameraListPtr& cameras, SuccessBlock success, ErrorBlock error);
  void getAllCapabilitiesForCameras(const KLCameraListPtr& cameras, SuccessBlock success, ErrorBlock error);
  void getAllDetectionsCapabilitiesForCameras(const KLCameraListPtr& cameras, SuccessBlock success,
                                              ErrorBlock error);

  // Reads one camera into camera() and sets its name (on the parser queue; no callbacks).
  void setCameraNameWithID(CameraID cameraID);
  void getCameraStatusForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getCameraModeForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  // On failure smartDetections.enabled becomes 2147483647 before error is called.
  void getSmartDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getDetectionsCapabilitiesForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getCameraCapabilitiesForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getCameraPtzCapabilitiesForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getVideoSettingsOptionsForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getFootageSettingsOptionsForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);

  // ---- detectors ----
  // A camera without the capability sends nothing, clears the type bit and succeeds with the
  // camera. Otherwise the switch is read into camera.cameraDetections; a failure sets the
  // detector's failure bit, a later success clears it.
  void getVideoMotionDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getPirDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getSoundDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  void getDoorbellDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  // Sound, doorbell, video motion, then PIR, each after either outcome of the one before; always
  // ends in success (with the PIR read's result or error); the failure bits tell what failed.
  void getCameraDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);

  // ---- settings and connection ----
  void getVideoSettingsForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error);
  void getFootageSettingsForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error);
  void getConnectionDetailsForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error);
  void getConnectionCredentialsForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error);
  // Stores a device-information reply as cameraAdvancedInfo().deviceInfo before reporting.
  void getDeviceInfoForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error);
  // A new cameraAdvancedInfo, then credentials, device information and connection details.
  void getDetailedInfoForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error);

  // ---- changes ----
  // The change, then updateCameras; kCameraUpdateNotification once both succeeded.
  void updateCameraWithName(const KLCameraPtr& camera, std::optional<std::string> name, SuccessBlock success,
                            ErrorBlock error);
  void updateCameraWithMode(const KLCameraPtr& camera, std::optional<std::string> mode,
                            std::optional<std::string> recordingMode, SuccessBlock success, ErrorBlock error);
  void updateMicrophoneStateForCamera(const KLCameraPtr& camera, bool enabled, SuccessBlock success, ErrorBlock error);
  void updateSmartDetectionsForCamera(const KLCameraPtr& camera, bool enabled, bool isPersonDetectionsOnly,
                                      SuccessBlock success, ErrorBlock error);
  // The switch change, then getCameraDetectionsStatusForCamera with the caller's callbacks.
  void updateCameraDetectionsForCamera(const KLCameraPtr& camera, int64_t detectionType, bool enabled,
                                       SuccessBlock success, ErrorBlock error);
  // The change, then the settings read with the caller's callbacks.
  void updateVideoSettingsForCameraWithID(CameraID cameraID, std::optional<std::string> rotation,
                                          std::optional<std::string> backlight,
                                          std::optional<std::string> manualNightview,
                                          std::optional<std::string> exposure, SuccessBlock success,
                                          ErrorBlock error);
  void updateFootageSettingsForCameraWithID(CameraID cameraID, std::optional<std::string> resolution,
                                            std::optional<std::string> framerate,
                                            std::optional<std::string> maxBitRate, SuccessBlock success,
                                            ErrorBlock error);
  void restoreDefaultsCameraVideoSettingsForCameraID(CameraID cameraID, SuccessBlock succesBlock, ErrorBlock error);
  void generateNewDailySummaryForCameraID(CameraID cameraID, std::optional<std::string> minTimestamp,
                                          std::optional<std::string> maxTimestamp, SuccessBlock success,
                                          ErrorBlock error);
  // Fire and forget; nothing is sent for a nil camera.
  void moveCamera(const KLCameraPtr& camera, uint64_t direction);

  // ---- snapshots ----
  // The camera's current picture: kept in the snapshot cache (plain and cropped) under the
  // camera's identifier, then handed to success as an image object.
  void refreshSnapshotForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error);
  // Fetches the snapshot of every online camera, posting kNewSnapshotDownloadedNotification for
  // each picture; kAllSnapshotsDownloadedNotifiction follows the start of the last camera's fetch
  // when the last camera is online.
  void refreshAllSnapshots();

  // ---- zones ----
  // Zones read into zones(), then each zone's cameras attached; success with nil.
  void getZonesWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  void mapCameraIdsToCameraResponseForAllZones();
  void mapCameraIdsToCameraResponseForZone(const KLZonePtr& zone);
  void removeCameraFromItsZone(const KLCameraPtr& camera);
  void updateCamerasWithCamerasFromZone(const KLZonePtr& zone);

  std::string className() const override { return "KLDeviceKeeper"; }

 private:
  using ReplyBlock = std::function<void(KLDeviceKeeper& self, const platform::Value& result,
                                        const platform::ErrorPtr& error)>;
  using PerCameraRead = void (KLDeviceKeeper::*)(const KLCameraPtr&, SuccessBlock, ErrorBlock);
  struct DetectorRead;

  std::weak_ptr<KLDeviceKeeper> weakSelf();
  // Replaces one record under the lock, announced to the key's observers.
  template <typename T>
  void replaceRecord(std::string_view key, T& field, T value) {
    changeValueForKey(key, [&] {
      std::lock_guard<std::mutex> lock(mutex_);
      field = std::move(value);
    });
  }
  // Applies `edit` to a copy of the selection and stores it when `edit` says it changed it.
  void editSelectedCamerasToMove(const std::function<bool(Cameras&)>& edit);
  // Sends the request with the merge target; `reply` runs on the parser queue while the keeper
  // lives.
  void send(std::shared_ptr<KLRequest> request, platform::ModelPtr target, ReplyBlock reply);
  // Sends and reports the outcome as genericBlock does.
  void sendGeneric(std::shared_ptr<KLRequest> request, platform::ModelPtr target, SuccessBlock success,
                   ErrorBlock error);
  void fetchCamerasThen(void (KLDeviceKeeper::*metadata)(SuccessBlock, ErrorBlock), SuccessBlock success,
                        ErrorBlock error);
  void fanOut(const KLCameraListPtr& cameras, PerCameraRead read, SuccessBlock success, ErrorBlock error);
  void getDetectionStatus(const KLCameraPtr& camera, const DetectorRead& detector, SuccessBlock success,
                          ErrorBlock error);
  void updateCameraThenRefresh(std::shared_ptr<KLRequest> request, const KLCameraPtr& camera, SuccessBlock success,
                               ErrorBlock error);

  const KLCameraListPtr cameras_;
  const KLZoneListPtr zones_;
  mutable std::mutex mutex_;  // guards the records below (replaced as a whole)
  KLCameraPtr camera_;
  KLZonePtr zone_;
  KLZonePtr createdZone_;
  std::shared_ptr<KLCameraAdvancedInfoResponse> cameraAdvancedInfo_;
  std::shared_ptr<KLCameraVideoSettingsResponse> videoSettings_;
  std::shared_ptr<KLCameraFootageSettingsResponse> footageSettings_;
  Cameras selectedCamerasToMove_;
};

using KLDeviceKeeperPtr = std::shared_ptr<KLDeviceKeeper>;

}  // namespace dk
