// KLDataManager: the process-wide registry of the domain managers. Its shared instance creates
// one of each manager, wires the camera look-ups (the device keeper serves the event and
// recording managers) and the live feed (it feeds the event and recording managers), asks the
// cloud for the signed-in user and then turns the live feed on for the user's account.
//
// Screens reach every manager through sharedInstance(). Creation and reset are serialised by one
// process-wide lock; the managers guard themselves, so the accessors may be called from any thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "live/kl_web_sockets_manager.h"
#include "services/kl_device_keeper.h"
#include "services/kl_event_manager.h"
#include "services/kl_recording_manager.h"
#include "services/kl_services_manager.h"
#include "services/kl_user_manager.h"

namespace dk {

// Posted on the main thread when the signed-in user's rights have been read.
inline constexpr const char* kUserRightsLoadedNotification = "userRightsLoaded";

class KLDataManager : public platform::Object {
 public:
  // Outcomes of the start-up chain (performInitialRequests).
  enum InitialRequestsStatus : int64_t {
    kInitialRequestsNoZones = 0,
    kInitialRequestsWithZones = 1,
    kInitialRequestsFatalError = 2,
    kInitialRequestsOffline = 3,
    kInitialRequestsRetryable = 4,
  };
  using StatusBlock = std::function<void(int64_t status)>;

  // The shared instance; the first call creates it and starts the user chain (then the live feed).
  static std::shared_ptr<KLDataManager> sharedInstance();
  // Drops the managers and the shared instance, then the request executor's shared instance; the
  // next sharedInstance() builds everything again (logout, and tests between cases).
  static void resetSharedInstance();
  // Fills every manager that is still missing, in a fixed order, wiring only the new ones.
  static void configureManager(KLDataManager& manager);

  KLDataManager();
  std::string className() const override { return "KLDataManager"; }

  std::shared_ptr<KLDeviceKeeper> deviceKeeper() const;
  std::shared_ptr<KLUserManager> userManager() const;
  std::shared_ptr<KLEventManager> eventManager() const;
  std::shared_ptr<KLServicesManager> servicesManager() const;
  std::shared_ptr<KLWebSocketsManager> webSocketsManager() const;
  std::shared_ptr<KLRecordingManager> recordingManager() const;

  // The user (basic, then detailed information, whatever their outcome), then the live feed
  // turned on with the user's account identifier (nil when none was ever read).
  void getUserAndTurnOnWebsockets();

  // Token refresh, rights, cameras; every outcome goes to `success` as an InitialRequestsStatus on
  // the main thread. `error` is never called.
  void performInitialRequestsWithSuccessBlock(StatusBlock success, KLServicesManager::ErrorBlock error);

  static void cancelAllOperations();
  static void cancelWizardWifiOperations();
  static void cancelSettingsWifiOperations();
  static void cancelLogoutOperations();

  // The status the start-up chain reports for a failed step.
  static int64_t statusForError(const platform::ErrorPtr& error);

 private:
  void clearManagers();

  mutable std::mutex mutex_;  // guards the six references
  std::shared_ptr<KLDeviceKeeper> deviceKeeper_;
  std::shared_ptr<KLUserManager> userManager_;
  std::shared_ptr<KLEventManager> eventManager_;
  std::shared_ptr<KLServicesManager> servicesManager_;
  std::shared_ptr<KLWebSocketsManager> webSocketsManager_;
  std::shared_ptr<KLRecordingManager> recordingManager_;
};

}  // namespace dk
