#include "live/kl_data_manager.h"

#include "foundation/error_classification.h"
#include "live/kl_websockets_service.h"
#include "network/kl_request_manager.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/notification_center.h"

namespace dk {

namespace {

std::mutex& classLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<KLDataManager>& sharedReference() {
  // Never destroyed: objects torn down at exit may still ask for it.
  static auto* instance = new std::shared_ptr<KLDataManager>();
  return *instance;
}

}  // namespace

std::shared_ptr<KLDataManager> KLDataManager::sharedInstance() {
  std::shared_ptr<KLDataManager> created;
  {
    std::lock_guard<std::mutex> lock(classLock());
    if (sharedReference()) return sharedReference();
    created = std::make_shared<KLDataManager>();
    sharedReference() = created;
  }
  // Outside the lock: the chain's callbacks may ask for the shared instance themselves.
  created->getUserAndTurnOnWebsockets();
  return created;
}

void KLDataManager::resetSharedInstance() {
  {
    std::lock_guard<std::mutex> lock(classLock());
    if (sharedReference()) sharedReference()->clearManagers();
    sharedReference().reset();
  }
  KLRequestManager::resetSharedInstance();
}

KLDataManager::KLDataManager() { configureManager(*this); }

void KLDataManager::configureManager(KLDataManager& manager) {
  std::lock_guard<std::mutex> lock(manager.mutex_);
  if (!manager.deviceKeeper_) manager.deviceKeeper_ = std::make_shared<KLDeviceKeeper>();
  if (!manager.servicesManager_) manager.servicesManager_ = std::make_shared<KLServicesManager>();
  if (!manager.userManager_) manager.userManager_ = std::make_shared<KLUserManager>();
  if (!manager.eventManager_) {
    manager.eventManager_ = KLEventManager::create();
    manager.eventManager_->setCameraDelegate(manager.deviceKeeper_);
  }
  if (!manager.recordingManager_) {
    manager.recordingManager_ = KLRecordingManager::create();
    manager.recordingManager_->setCameraDelegate(manager.deviceKeeper_);
  }
  if (!manager.webSocketsManager_) {
    manager.webSocketsManager_ = KLWebSocketsManager::create();
    manager.webSocketsManager_->setEventsDelegate(manager.eventManager_);
    manager.webSocketsManager_->setRecordingsDelegate(manager.recordingManager_);
  }
}

void KLDataManager::clearManagers() {
  std::lock_guard<std::mutex> lock(mutex_);
  deviceKeeper_.reset();
  userManager_.reset();
  eventManager_.reset();
  servicesManager_.reset();
  webSocketsManager_.reset();
  recordingManager_.reset();
}

std::shared_ptr<KLDeviceKeeper> KLDataManager::deviceKeeper() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deviceKeeper_;
}
std::shared_ptr<KLUserManager> KLDataManager::userManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return userManager_;
}
std::shared_ptr<KLEventManager> KLDataManager::eventManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return eventManager_;
}
std::shared_ptr<KLServicesManager> KLDataManager::servicesManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return servicesManager_;
}
std::shared_ptr<KLWebSocketsManager> KLDataManager::webSocketsManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return webSocketsManager_;
}
std::shared_ptr<KLRecordingManager> KLDataManager::recordingManager() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return recordingManager_;
}

void KLDataManager::getUserAndTurnOnWebsockets() {
  auto users = userManager();
  if (!users) return;
  std::weak_ptr<KLUserManager> weakUsers = users;
  users->getCurrentlyLoggedInUserWithSuccessBlock(
      [weakUsers](const platform::Value&) {
        auto users = weakUsers.lock();
        platform::Value account;
        if (users) {
          if (auto id = users->getUser()->accountID()) account = platform::Value(*id);
        }
        KLWebsocketsService::websocketsTurnONWithAccountID(account);
        // The rights follow the user, so screens can offer what the user may do.
        if (users) {
          users->getUserRightsWithSuccessBlock(
              [](const platform::Value&) {
                platform::NotificationCenter::defaultCenter().post(kUserRightsLoadedNotification);
              },
              [](const platform::ErrorPtr&) {});
        }
      },
      nullptr);
}

int64_t KLDataManager::statusForError(const platform::ErrorPtr& error) {
  if (!error) return kInitialRequestsRetryable;
  if (isOfflineError(*error)) return kInitialRequestsOffline;
  if (!isFatalError(*error)) return kInitialRequestsRetryable;
  if (isTimeoutError(*error)) return kInitialRequestsRetryable;
  return kInitialRequestsFatalError;
}

void KLDataManager::performInitialRequestsWithSuccessBlock(StatusBlock success, KLServicesManager::ErrorBlock) {
  auto report = [success](int64_t status) {
    if (success) success(status);
  };
  auto fail = [report](const platform::ErrorPtr& error) { report(statusForError(error)); };
  auto services = servicesManager();
  auto users = userManager();
  auto cameras = deviceKeeper();
  if (!services || !users || !cameras) return report(kInitialRequestsRetryable);
  std::weak_ptr<KLUserManager> weakUsers = users;
  std::weak_ptr<KLDeviceKeeper> weakCameras = cameras;
  services->refreshTokenSuccessBlock(
      [=](const platform::OAuthCredentialPtr&) {
        auto users = weakUsers.lock();
        if (!users) return report(kInitialRequestsRetryable);
        users->getUserRightsWithSuccessBlock(
            [=](const platform::Value&) {
              auto cameras = weakCameras.lock();
              if (!cameras) return report(kInitialRequestsRetryable);
              cameras->getCamerasWithSuccessBlock(
                  [=](const platform::Value&) {
                    auto cameras = weakCameras.lock();
                    bool hasZones = cameras && cameras->zones() && !cameras->zones()->zones().empty();
                    report(hasZones ? kInitialRequestsWithZones : kInitialRequestsNoZones);
                  },
                  fail);
            },
            fail);
      },
      fail);
}

void KLDataManager::cancelAllOperations() { KLRequestManager::sharedInstance()->cancelAllRequests(); }
void KLDataManager::cancelWizardWifiOperations() { KLRequestManager::sharedInstance()->cancelWizardWifiRequests(); }
void KLDataManager::cancelSettingsWifiOperations() { KLRequestManager::sharedInstance()->cancelSettingsWifiRequests(); }

void KLDataManager::cancelLogoutOperations() {
  // Synchronous on a global queue (there is one priority here), as the logout path expects.
  platform::DispatchQueue::global()->sync([] {
    KLRequestManager::sharedInstance()->logoutCancelRequests();
  });
}

}  // namespace dk
