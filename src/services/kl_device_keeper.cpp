// The camera service: cached records, look-ups, the camera list with its status and mode reads,
// the refresh chains, the fan-outs over all cameras and the zones. The per-camera detector,
// settings, change and snapshot operations are in kl_device_keeper_operations.cpp.
#include "services/kl_device_keeper.h"

#include <algorithm>

#include "network/kl_camera_requests.h"
#include "network/kl_detections_requests.h"
#include "network/kl_zone_requests.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/guarded.h"
#include "platform/dispatch/sync.h"
#include "platform/media/images/image_cache.h"
#include "services/kl_device_keeper_support.h"

namespace dk {

using platform::ErrorPtr;
using platform::Value;

KLDeviceKeeper::KLDeviceKeeper()
    : KLServicesManager("KLDeviceKeeper"),
      cameras_(std::make_shared<KLCameraListResponse>()),
      zones_(std::make_shared<KLZoneListResponse>()),
      camera_(std::make_shared<KLCameraResponse>()) {}

KLDeviceKeeper::~KLDeviceKeeper() { deleteAllImagesInMemory(); }

std::weak_ptr<KLDeviceKeeper> KLDeviceKeeper::weakSelf() {
  return std::static_pointer_cast<KLDeviceKeeper>(KLServicesManager::shared_from_this());
}

// ---- cached records ----

KLCameraPtr KLDeviceKeeper::camera() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return camera_;
}
void KLDeviceKeeper::setCamera(KLCameraPtr camera) { replaceRecord("camera", camera_, std::move(camera)); }
KLZonePtr KLDeviceKeeper::zone() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return zone_;
}
void KLDeviceKeeper::setZone(KLZonePtr zone) { replaceRecord("zone", zone_, std::move(zone)); }
KLZonePtr KLDeviceKeeper::createdZone() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return createdZone_;
}
void KLDeviceKeeper::setCreatedZone(KLZonePtr zone) { replaceRecord("createdZone", createdZone_, std::move(zone)); }
std::shared_ptr<KLCameraAdvancedInfoResponse> KLDeviceKeeper::cameraAdvancedInfo() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cameraAdvancedInfo_;
}
std::shared_ptr<KLCameraVideoSettingsResponse> KLDeviceKeeper::videoSettings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return videoSettings_;
}
std::shared_ptr<KLCameraFootageSettingsResponse> KLDeviceKeeper::footageSettings() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return footageSettings_;
}
Cameras KLDeviceKeeper::selectedCamerasToMove() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return selectedCamerasToMove_;
}

Value KLDeviceKeeper::valueForKey(std::string_view key) const {
  if (key == "camera") return Value(camera());
  if (key == "cameras") return Value(cameras_);
  if (key == "zone") return Value(zone());
  if (key == "createdZone") return Value(createdZone());
  if (key == "zones") return Value(zones_);
  if (key == "cameraAdvancedInfo") return Value(cameraAdvancedInfo());
  if (key == "videoSettings") return Value(videoSettings());
  if (key == "footageSettings") return Value(footageSettings());
  if (key == "selectedCamerasToMove") return valueArray(selectedCamerasToMove());
  return Value();
}

void KLDeviceKeeper::setValueForKey(std::string_view key, const Value& value) {
  if (key == "camera") {
    setCamera(value.objectAs<KLCameraResponse>());
  } else if (key == "zone") {
    setZone(value.objectAs<KLZoneResponse>());
  } else if (key == "createdZone") {
    setCreatedZone(value.objectAs<KLZoneResponse>());
  } else if (key == "cameraAdvancedInfo") {
    replaceRecord("cameraAdvancedInfo", cameraAdvancedInfo_, value.objectAs<KLCameraAdvancedInfoResponse>());
  } else if (key == "videoSettings") {
    replaceRecord("videoSettings", videoSettings_, value.objectAs<KLCameraVideoSettingsResponse>());
  } else if (key == "footageSettings") {
    replaceRecord("footageSettings", footageSettings_, value.objectAs<KLCameraFootageSettingsResponse>());
  } else if (key == "selectedCamerasToMove") {
    editSelectedCamerasToMove([cameras = modelsOfClass<KLCameraResponse>(value)](Cameras& selection) {
      selection = cameras;
      return true;
    });
  }
}

// ---- look-ups ----

KLCameraPtr KLDeviceKeeper::cameraWithID(std::optional<int64_t> cameraID) { return cameras_->cameraWithID(cameraID); }

bool KLDeviceKeeper::respondsToSelector(std::string_view selector) const {
  return selector == "getCameras" || selector == "cameraWithID:";
}

std::vector<std::shared_ptr<KLCameraFilter>> KLDeviceKeeper::camerasFilters() const {
  std::vector<std::shared_ptr<KLCameraFilter>> filters;
  KLZonePtr current = zone();
  if (!current) return filters;
  for (int64_t id : current->cameraIds().value_or(std::vector<int64_t>{})) {
    KLCameraPtr found = cameras_->cameraWithID(id);
    if (!found || !found->cameraID() || !found->name()) continue;
    filters.push_back(std::make_shared<KLCameraFilter>(found->cameraID(), found->name()));
  }
  return filters;
}

namespace {
bool keeperSameCamera(const KLCameraPtr& a, const KLCameraPtr& b) { return a == b || (a && b && a->isEqual(*b)); }
}  // namespace

void KLDeviceKeeper::editSelectedCamerasToMove(const std::function<bool(Cameras&)>& edit) {
  // Decided on a copy first, so that an edit that changes nothing announces nothing; the edit is
  // then applied again under the lock to the selection of that moment.
  Cameras probe = selectedCamerasToMove();
  if (!edit(probe)) return;
  changeValueForKey("selectedCamerasToMove", [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    Cameras next = selectedCamerasToMove_;
    if (edit(next)) selectedCamerasToMove_ = std::move(next);
  });
}

void KLDeviceKeeper::addCameraToSelectedCamerasToMove(const KLCameraPtr& camera) {
  if (!camera) return;
  editSelectedCamerasToMove([&camera](Cameras& selection) {
    if (std::any_of(selection.begin(), selection.end(), [&](const KLCameraPtr& c) { return keeperSameCamera(c, camera); })) {
      return false;
    }
    selection.push_back(camera);
    return true;
  });
}

void KLDeviceKeeper::removeCameraFromSelectedCamerasToMove(const KLCameraPtr& camera) {
  editSelectedCamerasToMove([&camera](Cameras& selection) {
    return std::erase_if(selection, [&](const KLCameraPtr& c) { return keeperSameCamera(c, camera); }) > 0;
  });
}

void KLDeviceKeeper::resetSelectedCamerasToMove() {
  editSelectedCamerasToMove([](Cameras& selection) {
    selection.clear();
    return true;
  });
}

void KLDeviceKeeper::deleteAllImagesInMemory() { platform::ImageCache::sharedImageCache()->clearMemory(); }

// ---- sending ----

void KLDeviceKeeper::send(std::shared_ptr<KLRequest> request, platform::ModelPtr target, ReplyBlock reply) {
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  requestWithRequestObject(std::move(request), std::move(target),
                           [weak, reply = std::move(reply)](const Value& result, const ErrorPtr& error) {
                             auto self = weak.lock();
                             if (!self) return;
                             self->runCompletionBlock([&] {
                               if (reply) reply(*self, result, error);
                             });
                           });
}

void KLDeviceKeeper::sendGeneric(std::shared_ptr<KLRequest> request, platform::ModelPtr target, SuccessBlock success,
                                 ErrorBlock error) {
  send(std::move(request), std::move(target),
       [success = std::move(success), error = std::move(error)](KLDeviceKeeper& self, const Value& result,
                                                                const ErrorPtr& failure) {
         self.genericBlock()(result, failure, success, error);
       });
}

// ---- the camera list, status and modes ----

void KLDeviceKeeper::fetchCamerasThen(void (KLDeviceKeeper::*metadata)(SuccessBlock, ErrorBlock),
                                      SuccessBlock success, ErrorBlock error) {
  send(std::make_shared<KLCamerasRequest>(), cameras_,
       [metadata, success, error](KLDeviceKeeper& self, const Value& result, const ErrorPtr& failure) {
         std::weak_ptr<KLDeviceKeeper> weak = self.weakSelf();
         auto afterList = [weak, metadata, success, error](const Value&) {
           auto keeper = weak.lock();
           if (!keeper) return;
           keeper->getZonesWithSuccessBlock(
               [weak, metadata, success, error](const Value&) {
                 if (auto again = weak.lock()) ((*again).*metadata)(success, error);
               },
               error);
         };
         self.genericBlock()(result, failure, afterList, error);
       });
}

void KLDeviceKeeper::getCamerasWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  fetchCamerasThen(&KLDeviceKeeper::initialCamerasMetadataWithSuccessBlock, std::move(success), std::move(error));
}

void KLDeviceKeeper::updateCamerasWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  fetchCamerasThen(&KLDeviceKeeper::updateCamerasMetadataWithSuccessBlock, std::move(success), std::move(error));
}

void KLDeviceKeeper::getCamerasStatusWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  sendGeneric(std::make_shared<KLCamerasStatusRequest>(), cameras_, std::move(success), std::move(error));
}

void KLDeviceKeeper::getCamerasModeWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  sendGeneric(std::make_shared<KLCamerasModeRequest>(), cameras_, std::move(success), std::move(error));
}

void KLDeviceKeeper::initialCamerasMetadataWithSuccessBlock(SuccessBlock success, ErrorBlock) {
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  auto modes = [weak, success](const Value&) {
    auto self = weak.lock();
    if (!self) return;
    self->getAllCameraModesForCameras(self->cameras_, success, keeper_support::asError(success));
  };
  getCamerasStatusWithSuccessBlock(modes, keeper_support::asError(modes));
}

void KLDeviceKeeper::updateCamerasMetadataWithSuccessBlock(SuccessBlock success, ErrorBlock) {
  std::weak_ptr<KLDeviceKeeper> weak = weakSelf();
  // Each step is given as both callbacks of the one before it.
  auto step = [weak](PerCameraRead read, SuccessBlock next) -> SuccessBlock {
    return [weak, read, next](const Value&) {
      auto self = weak.lock();
      if (!self) return;
      self->fanOut(self->cameras_, read, next, keeper_support::asError(next));
    };
  };
  SuccessBlock modes = step(&KLDeviceKeeper::getCameraModeForCamera, success);
  SuccessBlock capabilities = step(&KLDeviceKeeper::getCameraCapabilitiesForCamera, modes);
  SuccessBlock detections = step(&KLDeviceKeeper::getDetectionsCapabilitiesForCamera, capabilities);
  getCamerasStatusWithSuccessBlock(detections, keeper_support::asError(detections));
}

void KLDeviceKeeper::fanOut(const KLCameraListPtr& cameras, PerCameraRead read, SuccessBlock success,
                            ErrorBlock error) {
  auto group = platform::DispatchGroup::create();
  auto lastError = std::make_shared<platform::Guarded<ErrorPtr>>();
  Cameras all = cameras ? cameras->cameras() : Cameras{};
  for (const KLCameraPtr& camera : all) {
    group->enter();
    (this->*read)(
        camera, [group](const Value&) { group->leave(); },
        [group, lastError](const ErrorPtr& failure) {
          lastError->set(failure);  // a later failure replaces an earlier one
          group->leave();
        });
  }
  group->notify(platform::DispatchQueue::main(), [cameras, lastError, success, error] {
    if (ErrorPtr failure = lastError->get()) {
      if (error) error(failure);
    } else if (success) {
      success(cameras ? Value(cameras) : Value());
    }
  });
}

void KLDeviceKeeper::getAllCameraModesForCameras(const KLCameraListPtr& cameras, SuccessBlock success,
                                                 ErrorBlock error) {
  fanOut(cameras, &KLDeviceKeeper::getCameraModeForCamera, std::move(success), std::move(error));
}

void KLDeviceKeeper::getAllCapabilitiesForCameras(const KLCameraListPtr& cameras, SuccessBlock success,
                                                  ErrorBlock error) {
  fanOut(cameras, &KLDeviceKeeper::getCameraCapabilitiesForCamera, std::move(success), std::move(error));
}

void KLDeviceKeeper::getAllDetectionsCapabilitiesForCameras(const KLCameraListPtr& cameras, SuccessBlock success,
                                                            ErrorBlock error) {
  fanOut(cameras, &KLDeviceKeeper::getDetectionsCapabilitiesForCamera, std::move(success), std::move(error));
}

void KLDeviceKeeper::setCameraNameWithID(CameraID cameraID) {
  auto request = std::make_shared<KLGetCameraRequest>();
  request->cameraID = keeper_support::idText(cameraID);
  send(request, camera(), [](KLDeviceKeeper& self, const Value& result, const ErrorPtr&) {
    // On the parser queue, without a hop to the main thread. The name goes to the camera that is
    // current when the reply arrives: a screen may have replaced it since the call.
    if (auto read = result.objectAs<KLCameraResponse>()) {
      if (KLCameraPtr current = self.camera()) current->setName(read->name());
    }
  });
}

void KLDeviceKeeper::getCameraStatusForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLSingleCameraStatusRequest>();
  request->cameraID = keeper_support::idText(camera);
  sendGeneric(request, camera, std::move(success), std::move(error));
}

void KLDeviceKeeper::getCameraModeForCamera(const KLCameraPtr& camera, SuccessBlock success, ErrorBlock error) {
  auto request = std::make_shared<KLSingleCameraModeRequest>();
  request->cameraID = keeper_support::idText(camera);
  sendGeneric(request, camera, std::move(success), std::move(error));
}

// ---- zones ----

void KLDeviceKeeper::getZonesWithSuccessBlock(SuccessBlock success, ErrorBlock error) {
  send(std::make_shared<keeper_support::ZoneListRead>(), zones_,
       [success = std::move(success), error = std::move(error)](KLDeviceKeeper& self, const Value& result,
                                                                const ErrorPtr& failure) {
         std::weak_ptr<KLDeviceKeeper> weak = self.weakSelf();
         auto mapped = [weak, success](const Value&) {
           if (auto keeper = weak.lock()) keeper->mapCameraIdsToCameraResponseForAllZones();
           if (success) success(Value());
         };
         self.genericBlock()(result, failure, mapped, error);
       });
}

void KLDeviceKeeper::mapCameraIdsToCameraResponseForAllZones() {
  for (const KLZonePtr& zone : zones_->zones()) mapCameraIdsToCameraResponseForZone(zone);
}

void KLDeviceKeeper::mapCameraIdsToCameraResponseForZone(const KLZonePtr& zone) {
  if (!zone) return;
  Cameras collected;
  for (int64_t id : zone->cameraIds().value_or(std::vector<int64_t>{})) {
    if (KLCameraPtr found = cameras_->cameraWithID(id)) collected.push_back(std::move(found));
  }
  auto list = std::make_shared<KLCameraListResponse>();
  zone->setCameras(list);
  platform::ValueArray sorted;
  for (const KLCameraPtr& c : KLCameraListResponse::sortCameras(collected, true)) sorted.emplace_back(c);
  list->setValues(Value(std::move(sorted)));
  list->setFilteredValues(std::move(collected));
}

void KLDeviceKeeper::removeCameraFromItsZone(const KLCameraPtr& camera) {
  if (!camera || !camera->zoneID()) return;
  if (KLZonePtr found = zones_->zoneWithID(camera->zoneID())) {
    zones_->removeCameraWithId(camera->cameraID(), found);
    mapCameraIdsToCameraResponseForZone(found);
  }
  camera->setZoneID(-1);
}

void KLDeviceKeeper::updateCamerasWithCamerasFromZone(const KLZonePtr& zone) {
  if (!zone) return;
  Cameras inZone = zone->cameras() ? zone->cameras()->cameras() : Cameras{};
  for (const KLCameraPtr& cached : cameras_->cameras()) {
    for (const KLCameraPtr& member : inZone) {
      if (cached->cameraID() && cached->cameraID() == member->cameraID()) {
        cached->setZoneID(zone->zoneID());
        break;
      }
    }
  }
  KLCameraPtr current = camera();
  if (current && current->cameraID()) {
    // A camera the list no longer holds stays current rather than becoming nil.
    if (KLCameraPtr fresh = cameras_->cameraWithID(current->cameraID())) {
      setValueForKey("camera", Value(fresh));
      if (zone->zoneID() && fresh->zoneID()) {
        if (KLZonePtr own = zones_->zoneWithID(fresh->zoneID())) setValueForKey("zone", Value(own));
      }
    }
  }
  KLZonePtr currentZone = this->zone();
  if (currentZone && currentZone->zoneID()) {
    if (KLZonePtr fresh = zones_->zoneWithID(currentZone->zoneID())) setValueForKey("zone", Value(fresh));
  }
}

}  // namespace dk
