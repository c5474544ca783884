#include "timeline/dk_chrono_kit.h"

#include "foundation/color_manager.h"
#include "foundation/credential_storage.h"
#include "foundation/data_handler.h"
#include "foundation/kl_server.h"
#include "live/kl_data_manager.h"
#include "live/kl_websockets_service.h"
#include "platform/dispatch/queue.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/media/images/photo_library.h"
#include "platform/foundation/notification_center.h"
#include "platform/ui/storyboard.h"
#include "platform/ui/ui_notifications.h"
#include "player/kl_player_view_model.h"
#include "player/player_view_controller.h"
#include "services/kl_camera_roll_album_manager.h"
#include "services/kl_push_notifications_manager.h"
#include "timeline/kl_timeline_preview_view_controller.h"
#include "ui/base_screen_services.h"

namespace dk {

namespace {

// The presented timeline; touched on the main thread only.
std::shared_ptr<KLTimelineViewController>& presentedReference() {
  // Never destroyed: objects torn down at exit may still ask for it.
  static auto* reference = new std::shared_ptr<KLTimelineViewController>();
  return *reference;
}

void installServices() {
  installBaseScreenServices({
      [] { return KLDataManager::sharedInstance()->userManager()->userRights(); },
      [] { KLDataManager::cancelLogoutOperations(); },
      [] { KLDataManager::resetSharedInstance(); },
  });
  // The player's snapshots go to the album, its pan-tilt taps to the camera service, and the
  // streamer fetches recordings from the cloud the requests go to.
  KLPlayerViewModel::setAlbumSaver([](const platform::ImagePtr& image, std::function<void()> saved) {
    // The user is asked for the photo library first (once), as saving would on a device.
    platform::PhotoLibrary::sharedPhotoLibrary()->requestAuthorization(
        [image, saved = std::move(saved)](platform::PhotoAuthorizationStatus) {
          KLCameraRollAlbumManager::addToCameraRollImage(image, saved, nullptr);
        });
  });
  PlayerServices::install({[](const platform::ObjectPtr& camera, uint64_t direction) {
    if (auto target = std::dynamic_pointer_cast<KLCameraResponse>(camera)) {
      KLDataManager::sharedInstance()->deviceKeeper()->moveCamera(target, direction);
    }
  }});
  platform::StreamerEnvironment environment{KLServer::sharedInstance()->baseURL()};
  // Where the sound goes is the host's choice, made before the kit starts.
  environment.audioOutput = platform::StreamerEnvironment::current().audioOutput;
  platform::StreamerEnvironment::install(std::move(environment));
}

}  // namespace

void registerTimelineStoryboard() {
  auto storyboard = platform::Storyboard::registerStoryboard(KLTimelineViewController::kStoryboardName);
  if (!storyboard->hasScene(KLTimelineViewController::kSceneIdentifier)) {
    storyboard->registerScene(KLTimelineViewController::kSceneIdentifier,
                              [] { return std::make_shared<KLTimelineViewController>(); });
  }
  if (!storyboard->hasScene(KLTimelinePreviewViewController::kSceneIdentifier)) {
    storyboard->registerScene(KLTimelinePreviewViewController::kSceneIdentifier,
                              [] { return std::make_shared<KLTimelinePreviewViewController>(); });
  }
}

std::shared_ptr<DKChronoKit> DKChronoKit::create(std::optional<std::string> accessToken,
                                                 std::optional<int64_t> cameraId, double time,
                                                 std::shared_ptr<platform::ViewController> viewController) {
  return std::shared_ptr<DKChronoKit>(new DKChronoKit(std::move(accessToken), cameraId, time, std::move(viewController)));
}

std::shared_ptr<DKChronoKit> DKChronoKit::create(std::optional<std::string> accessToken,
                                                 std::optional<int64_t> cameraId,
                                                 std::shared_ptr<platform::ViewController> viewController) {
  return create(std::move(accessToken), cameraId, 0.0, std::move(viewController));
}

DKChronoKit::DKChronoKit(std::optional<std::string> token, std::optional<int64_t> camera, double startTime,
                         std::shared_ptr<platform::ViewController> presenter)
    : accessToken(std::move(token)), cameraId(camera), time(startTime), viewController(std::move(presenter)) {}

DKChronoKit::~DKChronoKit() { platform::NotificationCenter::defaultCenter().removeObserver(this); }

void DKChronoKit::present() {
  registerTimelineStoryboard();
  auto storyboard = platform::Storyboard::named(KLTimelineViewController::kStoryboardName);
  installServices();
  KLPushNotificationsManager::installDeliveredNotificationsRemover();
  if (accessToken) {
    deleteCredential();
    storeCredential(platform::OAuthCredential(*accessToken, "bearer"));
  }
  auto screen = std::dynamic_pointer_cast<KLTimelineViewController>(
      storyboard->instantiate(KLTimelineViewController::kSceneIdentifier));
  if (!screen) return;
  presentedReference() = screen;
  screen->setCameraID(cameraId);
  screen->setScrollTimeAfterInit(time);
  screen->setTimelineDelegate(std::static_pointer_cast<KLTimelineDelegate>(shared_from_this()));
  screen->setModalPresentationStyle(platform::ModalPresentationStyle::FullScreen);
  screen->resetFacesList();
  configureColors();
  configureFonts();
  UISetup();
  configureZoomLevel();
  configureAlbumName();
  auto presenter = viewController;
  platform::DispatchQueue::main()->async([presenter, screen] {
    if (presenter) presenter->presentViewController(screen, true);
  });
  // Added again at every present (a second present switches the feed twice per transition, which
  // the feed takes as one); removed when the facade goes.
  std::weak_ptr<DKChronoKit> weak = shared_from_this();
  auto key = std::shared_ptr<const void>(shared_from_this(), static_cast<const void*>(this));
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(key, platform::kUIApplicationDidEnterBackgroundNotification, [weak](const platform::Notification&) {
    if (auto s = weak.lock()) s->applicationDidEnterBackground();
  });
  center.addObserver(key, platform::kUIApplicationWillEnterForegroundNotification, [weak](const platform::Notification&) {
    if (auto s = weak.lock()) s->applicationWillEnterForeground();
  });
}

void DKChronoKit::configureColors() {
  ColorManager::setPrimaryColors(primaryColor.value_or(kDefaultPrimaryColor));
  ColorManager::setSecondaryColors(secondaryColor.value_or(kDefaultSecondaryColor));
}

void DKChronoKit::configureFonts() { DataHandler::setData(customFont); }

void DKChronoKit::UISetup() {
  auto screen = presentedReference();
  if (!screen) return;
  screen->setIsVerticalRecordingsVisible(isVerticalRecordingsVisible);
  screen->setIsTimelineControlsVisible(isTimelineControlsVisible);
  screen->setIsCameraNameVisible(isCameraNameVisible);
  if (!hideEventTypes.empty()) screen->setHideEventTypes(hideEventTypes);
}

void DKChronoKit::configureZoomLevel() {
  if (auto screen = presentedReference()) screen->setZoomlevel(zoomLevel);
}

void DKChronoKit::configureAlbumName() { DataHandler::setAlbumName(albumName.value_or(kDefaultAlbumName)); }

void DKChronoKit::configureAppGroupName() { DataHandler::setAppGroupName(appGroupName.value_or(kDefaultAppGroupName)); }

void DKChronoKit::setBaseURL(const std::string& host) { KLServer::setProcessIpAddress(host); }

std::string DKChronoKit::getBaseURL() { return "https://" + KLServer::processIpAddress(); }

std::shared_ptr<KLTimelineViewController> DKChronoKit::presentedTimeline() { return presentedReference(); }

void DKChronoKit::didDismissTimeline(const std::shared_ptr<KLTimelineViewController>& timeline) {
  KLWebsocketsService::websocketsTurnOFF();
  if (presentedReference() == timeline) presentedReference().reset();
}

void DKChronoKit::applicationDidEnterBackground() { KLWebsocketsService::websocketsTurnOFF(); }

void DKChronoKit::applicationWillEnterForeground() {
  // No identifier: the feed reconnects the account it remembers.
  KLWebsocketsService::websocketsTurnONWithAccountID(platform::Value());
}

}  // namespace dk
