// The camera service's per-camera operations: detectors, capabilities, settings, connection
// details, changes, pan-tilt moves and snapshots.
#include <memory>

#include "network/kl_camera_requests.h"
#include "network/kl_detections_requests.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/images/image_response.h"
#include "services/kl_device_keeper.h"
#include "services/kl_device_keeper_support.h"

namespace dk {

using keeper_support::idText;
using platform::ErrorPtr;
using platform::Value;

namespace {

constexpr int64_t kSmartDetectionsReadFailed = 2147483647;

const char* flagText(bool flag) { return flag ? "true" : "false"; }

}  // namespace

// ---- detectors ----

struct KLDeviceKeeper::DetectorRead {
  bool (KLDetectionsCapabilitiesResponse::*capable)() const;
  std::shared_ptr<KLRequest> (*makeRequest)();
  uint64_t typeBit;
  uint64_t failureBit;
};

namespace {

template <typename Request>
std::shared_ptr<KLRequest> makeSwitchRead() {
  return std::make_shared<keeper_support::DetectionSwitchRead<Request>>();
}

}  // namespace

void KLDeviceKeeper::getDetectionStatus(const KLCameraPtr& camera, const DetectorRead& detector, SuccessBlock success,
                                        ErrorBlock error) {
  auto capabilities = camera ? camera->detectionsCapabilities() : nullptr;
  if (!camera || !capabilities || !((*capabilities).*detector.capable)()) {
    if (camera) {
      if (auto detections = camera->cameraDetections()) {
        uint64_t bits = detections->triggeredDetections();
        if (bits & detector.typeBit) detections->setTriggeredDetections(bits & ~detector.typeBit);
      }
    }
    genericBlock()(camera ? Value(camera) : Value(), nullptr, success, error);
    return;
  }
  auto detections = camera->cameraDetections();
  if (!detections) {
    detections = std::make_shared<KLCameraDetectionsResponse>();
    camera->setCameraDetections(detections);
  }
  auto request = detector.makeRequest();
  static_cast<KLCameraRequest&>(*request).cameraID = idText(camera);
  const uint64_t failureBit = detector.failureBit;
  auto succeeded = [detections, failureBit, success](const Value& result) {
    uint64_t bits = detections->triggeredDetections();
    if (bits & failureBit) detections->setTriggeredDetections(bits & ~failureBit);
    if (success) success(result);
  };
  auto failed = [detections, failureBit, error](const ErrorPtr& failure) {
    detections->setTriggeredDetections(detections->triggeredDetections() | failureBit);
    if (error) error(failure);
  };
  sendGeneric(request, detections, succeeded, failed);
}

void KLDeviceKeeper::getVideoMotionDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                             ErrorBlock error) {
  static const DetectorRead read{&KLDetectionsCapabilitiesResponse::hasVideoMotionCapability,
                                 &makeSwitchRead<KLGetVideoMotionDetectionsRequest>, KLTriggeredDetectionVideoMotion,
                                 KLTriggeredDetectionVideoMotionFailed};
  getDetectionStatus(camera, read, std::move(success), std::move(error));
}

void KLDeviceKeeper::getPirDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                     ErrorBlock error) {
  static const DetectorRead read{&KLDetectionsCapabilitiesResponse::hasInfraredCapability,
                                 &makeSwitchRead<KLGetPirDetectionsRequest>, KLTriggeredDetectionPir,
                                 KLTriggeredDetectionPirFailed};
  getDetectionStatus(camera, read, std::move(success), std::move(error));
}

void KLDeviceKeeper::getSoundDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                       ErrorBlock error) {
  static const DetectorRead read{&KLDetectionsCapabilitiesResponse::hasSoundCapability,
                                 &makeSwitchRead<KLGetSoundDetectionsRequest>, KLTriggeredDetectionSound,
                                 KLTriggeredDetectionSoundFailed};
  getDetectionStatus(camera, read, std::move(success), std::move(error));
}

void KLDeviceKeeper::getDoorbellDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                          ErrorBlock error) {
  static const DetectorRead read{&KLDetectionsCapabilitiesResponse::hasDoorbellCapability,
                                 &makeSwitchRead<KLGetDoorbellDetectionsRequest>, KLTriggeredDetectionDoorbell,
                                 KLTriggeredDetectionDoorbellFailed};
  getDetectionStatus(camera, read, std::move(success), std::move(error));
}

void KLDeviceKeeper::getCameraDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                        ErrorBlock) {
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  // Each read starts on either outcome of the one before; the last hands its outcome to success.
  auto step = [weak, camera](PerCameraRead read, SuccessBlock next) -> SuccessBlock {
    return [weak, camera, read, next](const Value&) {
      if (auto self = weak.lock()) ((*self).*read)(camera, next, keeper_support::asError(next));
    };
  };
  SuccessBlock pir = step(&KLDeviceKeeper::getPirDetectionsStatusForCamera, success);
  SuccessBlock video = step(&KLDeviceKeeper::getVideoMotionDetectionsStatusForCamera, pir);
  SuccessBlock doorbell = step(&KLDeviceKeeper::getDoorbellDetectionsStatusForCamera, video);
  getSoundDetectionsStatusForCamera(camera, doorbell, keeper_support::asError(doorbell));
}

void KLDeviceKeeper::getSmartDetectionsStatusForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                       ErrorBlock error) {
  auto request = std::make_shared<KLGetSmartDetectionsRequest>();
  request->cameraID = idText(camera);
  auto failed = [camera, error](const ErrorPtr& failure) {
    if (camera) {
      auto smart = camera->smartDetections();
      if (!smart) {
        smart = std::make_shared<KLSmartDetectionsResponse>();
        camera->setSmartDetections(smart);
      }
      smart->setEnabled(kSmartDetectionsReadFailed);
    }
    if (error) error(failure);
  };
  sendGeneric(request, camera, std::move(success), failed);
}

void KLDeviceKeeper::getDetectionsCapabilitiesForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                        ErrorBlock error) {
  auto request = std::make_shared<KLGetDetectionsCapabilitiesRequest>();
  request->cameraID = idText(camera);
  sendGeneric(request, camera, std::move(success), std::move(error));
}

void KLDeviceKeeper::getCameraCapabilitiesForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                    ErrorBlock error) {
  auto request = std::make_shared<KLCameraCapabilitiesRequest>();
  request->cameraID = idText(camera);
  sendGeneric(request, camera, std::move(success), std::move(error));
}

void KLDeviceKeeper::getCameraPtzCapabilitiesForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                       ErrorBlock error) {
  auto request = std::make_shared<KLCameraPtzCapabilitiesRequest>();
  request->cameraID = idText(camera);
  sendGeneric(request, camera, std::move(success), std::move(error));
}

void KLDeviceKeeper::getVideoSettingsOptionsForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                      ErrorBlock error) {
  if (camera && !camera->videoSettingsCapabilities()) {
    camera->setVideoSettingsCapabilities(std::make_shared<KLCameraVideoSettingsCapabilitiesResponse>());
  }
  auto request = std::make_shared<KLCameraVideoSettingsOptionsRequest>();
  request->cameraID = idText(camera);
  sendGeneric(request, camera, std::move(success), std::move(error));
}

void KLDeviceKeeper::getFootageSettingsOptionsForCamera(const KLCameraPtr& camera, SuccessBlock success,
                                                        ErrorBlock error) {
  if (camera && !camera->footageSettingsCapabilities()) {
    camera->setFootageSettingsCapabilities(std::make_shared<KLCameraFootageSettingsCapabilitiesResponse>());
  }
  auto request = std::make_shared<KLCameraFootageSettingsOptionsRequest>();
  request->cameraID = idText(camera);
  sendGeneric(request, camera, std::move(success), std::move(error));
}

// ---- settings and connection ----

void KLDeviceKeeper::getVideoSettingsForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error) {
  auto record = std::make_shared<KLCameraVideoSettingsResponse>();
  replaceRecord("videoSettings", videoSettings_, record);
  auto request = std::make_shared<KLCameraVideoSettingsRequest>();
  request->cameraID = idText(cameraID);
  sendGeneric(request, record, std::move(success), std::move(error));
}

void KLDeviceKeeper::getFootageSettingsForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error) {
  auto record = std::make_shared<KLCameraFootageSettingsResponse>();
  replaceRecord("footageSettings", footageSettings_, record);
  auto request = std::make_shared<KLCameraFootageSettingsRequest>();
  request->cameraID = idText(cameraID);
  sendGeneric(request, record, std::move(success), std::move(error));
}

namespace {

std::shared_ptr<KLCameraAdvancedInfoResponse> adoptAdvancedInfo(std::mutex& mutex,
                                                                 std::shared_ptr<KLCameraAdvancedInfoResponse>& slot) {
  std::lock_guard<std::mutex> lock(mutex);
  if (!slot) slot = std::make_shared<KLCameraAdvancedInfoResponse>();
  return slot;
}

}  // namespace

void KLDeviceKeeper::getConnectionDetailsForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLCameraConnectionDetailsRequest>();
  request->cameraID = idText(cameraID);
  sendGeneric(request, adoptAdvancedInfo(mutex_, cameraAdvancedInfo_), std::move(success), std::move(error));
}

void KLDeviceKeeper::getConnectionCredentialsForCameraWithID(CameraID cameraID, SuccessBlock success,
                                                             ErrorBlock error) {
  auto request = std::make_shared<KLCameraConnectionCredentialsRequest>();
  request->cameraID = idText(cameraID);
  sendGeneric(request, adoptAdvancedInfo(mutex_, cameraAdvancedInfo_), std::move(success), std::move(error));
}

void KLDeviceKeeper::getDeviceInfoForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLCameraDeviceInfoRequest>();
  request->cameraID = idText(cameraID);
  send(request, nullptr,
       [success = std::move(success), error = std::move(error)](KLDeviceKeeper& self, const Value& result,
                                                                const ErrorPtr& failure) {
         // Only a device-information record is kept: a failed read leaves the last one in place.
         if (auto info = result.objectAs<KLCameraDeviceInfoResponse>()) {
           adoptAdvancedInfo(self.mutex_, self.cameraAdvancedInfo_)->setDeviceInfo(info);
         }
         self.genericBlock()(result, failure, success, error);
       });
}

void KLDeviceKeeper::getDetailedInfoForCameraWithID(CameraID cameraID, SuccessBlock success, ErrorBlock error) {
  replaceRecord("cameraAdvancedInfo", cameraAdvancedInfo_, std::make_shared<KLCameraAdvancedInfoResponse>());
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  SuccessBlock details = [weak, cameraID, success, error](const Value&) {
    if (auto self = weak.lock()) self->getConnectionDetailsForCameraWithID(cameraID, success, error);
  };
  SuccessBlock device = [weak, cameraID, details](const Value&) {
    if (auto self = weak.lock()) self->getDeviceInfoForCameraWithID(cameraID, details, keeper_support::asError(details));
  };
  getConnectionCredentialsForCameraWithID(cameraID, device, keeper_support::asError(device));
}

// ---- changes ----

void KLDeviceKeeper::updateCameraThenRefresh(std::shared_ptr<KLRequest> request, const KLCameraPtr& camera,
                                             SuccessBlock success, ErrorBlock error) {
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  auto refreshed = [success](const Value& result) {
    platform::NotificationCenter::defaultCenter().post(kCameraUpdateNotification);
    if (success) success(result);
  };
  auto changed = [weak, refreshed, error](const Value&) {
    if (auto self = weak.lock()) self->updateCamerasWithSuccessBlock(refreshed, error);
  };
  sendGeneric(std::move(request), camera, changed, error);
}

void KLDeviceKeeper::updateCameraWithName(const KLCameraPtr& camera, std::optional<std::string> name,
                                          SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLUpdateCameraNameRequest>();
  request->cameraID = idText(camera);
  request->name = std::move(name);
  updateCameraThenRefresh(request, nullptr, std::move(success), std::move(error));
}

void KLDeviceKeeper::updateCameraWithMode(const KLCameraPtr& camera, std::optional<std::string> mode,
                                          std::optional<std::string> recordingMode, SuccessBlock success,
                                          ErrorBlock error) {
  auto request = std::make_shared<KLUpdateCameraModeRequest>();
  request->cameraID = idText(camera);
  request->mode = std::move(mode);
  request->recordingMode = std::move(recordingMode);
  updateCameraThenRefresh(request, camera, std::move(success), std::move(error));
}

void KLDeviceKeeper::updateMicrophoneStateForCamera(const KLCameraPtr& camera, bool enabled, SuccessBlock success,
                                                    ErrorBlock error) {
  auto request = std::make_shared<KLUpdateMicrophoneStateRequest>();
  request->cameraID = idText(camera);
  request->enabled = flagText(enabled);
  auto changed = [camera, enabled, success](const Value& result) {
    if (camera) camera->setAudioEnabled(enabled);
    if (success) success(result);
  };
  sendGeneric(request, nullptr, changed, std::move(error));
}

void KLDeviceKeeper::updateSmartDetectionsForCamera(const KLCameraPtr& camera, bool enabled,
                                                    bool isPersonDetectionsOnly, SuccessBlock success,
                                                    ErrorBlock error) {
  auto request = std::make_shared<KLUpdateSmartDetectionsRequest>();
  request->cameraID = idText(camera);
  request->enabled = flagText(enabled);
  request->personDetectionOnly = flagText(isPersonDetectionsOnly);
  auto changed = [camera, enabled, isPersonDetectionsOnly, success](const Value&) {
    if (camera) {
      auto smart = camera->smartDetections();
      if (!smart) {
        smart = std::make_shared<KLSmartDetectionsResponse>();
        camera->setSmartDetections(smart);
      }
      smart->setPersonDetectionOnly(isPersonDetectionsOnly);
      smart->setEnabled(enabled ? 1 : 0);
    }
    if (success) success(camera ? Value(camera) : Value());
  };
  sendGeneric(request, nullptr, changed, std::move(error));
}

void KLDeviceKeeper::updateCameraDetectionsForCamera(const KLCameraPtr& camera, int64_t detectionType, bool enabled,
                                                     SuccessBlock success, ErrorBlock error) {
  std::shared_ptr<KLDetectionsRequest> request;
  switch (detectionType) {
    case KLDetectionTypeVideoMotion: request = std::make_shared<KLUpdateVideoMotionDetectionsRequest>(); break;
    case KLDetectionTypePir: request = std::make_shared<KLUpdatePirDetectionsRequest>(); break;
    case KLDetectionTypeSound: request = std::make_shared<KLUpdateSoundDetectionsRequest>(); break;
    default: request = std::make_shared<KLUpdateDoorbellDetectionsRequest>(); break;
  }
  request->cameraID = idText(camera);
  request->enabled = flagText(enabled);
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  auto changed = [weak, camera, success, error](const Value&) {
    if (auto self = weak.lock()) self->getCameraDetectionsStatusForCamera(camera, success, error);
  };
  sendGeneric(request, nullptr, changed, error);
}

void KLDeviceKeeper::updateVideoSettingsForCameraWithID(CameraID cameraID, std::optional<std::string> rotation,
                                                        std::optional<std::string> backlight,
                                                        std::optional<std::string> manualNightview,
                                                        std::optional<std::string> exposure, SuccessBlock success,
                                                        ErrorBlock error) {
  auto request = std::make_shared<KLUpdateCameraVideoSettingsRequest>();
  request->cameraID = idText(cameraID);
  request->rotation = std::move(rotation);
  request->backlight = std::move(backlight);
  request->manualNightview = std::move(manualNightview);
  request->exposure = std::move(exposure);
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  auto changed = [weak, cameraID, success, error](const Value&) {
    if (auto self = weak.lock()) self->getVideoSettingsForCameraWithID(cameraID, success, error);
  };
  sendGeneric(request, nullptr, changed, error);
}

void KLDeviceKeeper::updateFootageSettingsForCameraWithID(CameraID cameraID, std::optional<std::string> resolution,
                                                          std::optional<std::string> framerate,
                                                          std::optional<std::string> maxBitRate, SuccessBlock success,
                                                          ErrorBlock error) {
  auto request = std::make_shared<KLUpdateCameraFootageSettingsRequest>();
  request->cameraID = idText(cameraID);
  request->resolution = std::move(resolution);
  request->framerate = std::move(framerate);
  request->maxBitRate = std::move(maxBitRate);
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  auto changed = [weak, cameraID, success, error](const Value&) {
    if (auto self = weak.lock()) self->getFootageSettingsForCameraWithID(cameraID, success, error);
  };
  sendGeneric(request, nullptr, changed, error);
}

void KLDeviceKeeper::restoreDefaultsCameraVideoSettingsForCameraID(CameraID cameraID, SuccessBlock succesBlock,
                                                                   ErrorBlock error) {
  auto request = std::make_shared<KLDeleteCameraVideoSettingsRequest>();
  request->cameraID = idText(cameraID);
  sendGeneric(request, nullptr, std::move(succesBlock), std::move(error));
}

void KLDeviceKeeper::generateNewDailySummaryForCameraID(CameraID cameraID, std::optional<std::string> minTimestamp,
                                                        std::optional<std::string> maxTimestamp, SuccessBlock success,
                                                        ErrorBlock error) {
  auto request = std::make_shared<KLGenerateDailySummaryRequest>();
  request->cameraID = idText(cameraID);
  request->minTimestamp = std::move(minTimestamp);
  request->maxTimestamp = std::move(maxTimestamp);
  sendGeneric(request, nullptr, std::move(success), std::move(error));
}

void KLDeviceKeeper::moveCamera(const KLCameraPtr& camera, uint64_t direction) {
  if (!camera) return;
  auto request = std::make_shared<KLMoveCameraRequest>();
  request->cameraID = idText(camera);
  request->direction = direction;
  requestWithRequestObject(request, nullptr, nullptr);
}

// ---- snapshots ----

void KLDeviceKeeper::refreshSnapshotForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLCameraSnapshotRequest>();
  request->cameraID = idText(camera);
  sendGeneric(request, nullptr, std::move(success), std::move(error));
}

void KLDeviceKeeper::refreshAllSnapshots() {
  Cameras all = cameras_->cameras();
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  for (size_t i = 0; i < all.size(); ++i) {
    const KLCameraPtr camera = all[i];
    if (camera->cameraState() != KLCameraStateOnline) continue;
    const bool last = i + 1 == all.size();
    platform::DispatchQueue::global()->sync([&] {
      auto self = weak.lock();
      if (!self) return;
      CameraID cameraID = camera->cameraID();
      self->refreshSnapshotForCamera(
          camera,
          [weak, cameraID](const Value& result) {
            auto keeper = weak.lock();
            if (!keeper || !result.objectAs<platform::ImageObject>()) return;
            platform::ValueDictionary info{{kLastSnapshotSavedNotification, result},
                                           {std::string(kCameraIDKey), cameraID ? Value(*cameraID) : Value()}};
            platform::NotificationCenter::defaultCenter().post(kNewSnapshotDownloadedNotification, keeper,
                                                               std::move(info));
          },
          nullptr);
      if (last) platform::NotificationCenter::defaultCenter().post(kAllSnapshotsDownloadedNotification);
    });
  }
}

}  // namespace dk
