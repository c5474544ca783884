// The camera service's per-camera operations against the local cloud: detector switches and
// their bits, analytics, settings, connection details, changes, pan-tilt moves and snapshots.
#include <gtest/gtest.h>

#include "model/snapshot_image_cache.h"
#include "network/kl_camera_requests.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/images/image_cache.h"
#include "services/device_keeper_fixture.h"
#include "support/temp_directory.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::MainRunLoop;
using platform::Value;

// Counts the posts of one notification name and keeps the last one.
struct Posts {
  explicit Posts(const std::string& name)
      : token(platform::NotificationCenter::defaultCenter().addObserver(name, [this](const platform::Notification& n) {
          count++;
          last = n;
        })) {}
  int count = 0;
  platform::Notification last;
  std::shared_ptr<const void> token;
};

TEST_F(DeviceKeeperTest, DetectorReadsTakeOverTheSwitchesAndKeepFailureBits) {
  loadCameras();
  KLCameraPtr doorbell = cachedCamera(0);  // every detector
  auto detections = doorbell->cameraDetections();
  const int64_t id = *doorbell->cameraID();
  sim.updateWorld([&](cloudsim::World& w) {
    w.camera(id)->detectors.sound = false;
    w.camera(id)->detectors.pir = true;
  });
  detections->setTriggeredDetections(0);

  // A failing PIR read: the chain still ends in success, with the PIR bit of failure set.
  int pirFault = sim.addFault(FaultRule::failWith(cameraPath(0, "v2.0", "/detectors/pir"), 500));
  ManagerReport first;
  keeper->getCameraDetectionsStatusForCamera(doorbell, first.success(), first.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(first.successes, 1);
  EXPECT_EQ(first.errors, 0);
  EXPECT_NE(errorFromResult(first.result), nullptr);  // the PIR step's error reached success
  EXPECT_EQ(detections->soundDetection(), 0);        // the sound switch was taken over
  EXPECT_EQ(detections->doorbellDetection(), 1);
  const uint64_t bits = detections->triggeredDetections();
  EXPECT_TRUE(bits & KLTriggeredDetectionPirFailed);
  EXPECT_FALSE(bits & KLTriggeredDetectionSoundFailed);
  EXPECT_TRUE(bits & KLTriggeredDetectionVideoMotion);
  EXPECT_TRUE(bits & KLTriggeredDetectionDoorbell);
  EXPECT_FALSE(bits & KLTriggeredDetectionSound);
  // Sound, doorbell, video motion, then PIR (the first PIR attempt plus the retries the
  // executor made).
  auto requests = sim.requests();
  ASSERT_GE(requests.size(), 4u);
  EXPECT_EQ(requests[0].path, cameraPath(0, "v2.0", "/detectors/audio"));
  EXPECT_EQ(requests[1].path, cameraPath(0, "v2.0", "/detectors/doorbell"));
  EXPECT_EQ(requests[2].path, cameraPath(0, "v2.0", "/detectors/video"));
  EXPECT_EQ(requests[3].path, cameraPath(0, "v2.0", "/detectors/pir"));

  // A later successful PIR read clears the failure bit.
  sim.removeFault(pirFault);
  ManagerReport second;
  keeper->getPirDetectionsStatusForCamera(doorbell, second.success(), second.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(second.successes, 1);
  EXPECT_FALSE(detections->triggeredDetections() & KLTriggeredDetectionPirFailed);
  EXPECT_EQ(detections->pirDetection(), 1);
}

TEST_F(DeviceKeeperTest, ADetectorTheCameraLacksIsNotAskedAndItsBitIsCleared) {
  loadCameras();
  KLCameraPtr pan = cachedCamera(2);  // no PIR
  ASSERT_FALSE(pan->detectionsCapabilities()->hasInfraredCapability());
  auto detections = pan->cameraDetections();
  detections->setTriggeredDetections(KLTriggeredDetectionPir | KLTriggeredDetectionSound);
  ManagerReport report;
  keeper->getPirDetectionsStatusForCamera(pan, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.successes, 1);
  EXPECT_TRUE(report.onMain);
  EXPECT_EQ(report.result.objectAs<KLCameraResponse>(), pan);
  EXPECT_EQ(sim.requestCount(), 0u);
  EXPECT_FALSE(detections->triggeredDetections() & KLTriggeredDetectionPir);
  EXPECT_TRUE(detections->triggeredDetections() & KLTriggeredDetectionSound);
}

TEST_F(DeviceKeeperTest, SwitchingADetectorSendsTheChangeAndReadsTheSwitchesAgain) {
  loadCameras();
  KLCameraPtr outdoor = cachedCamera(1);  // sound off in the world
  ManagerReport report;
  keeper->updateCameraDetectionsForCamera(outdoor, KLDetectionTypeSound, true, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.successes, 1);
  EXPECT_TRUE(sim.world().camera(*outdoor->cameraID())->detectors.sound);
  auto puts = sim.requestsTo(cameraPath(1, "v2.0", "/detectors/audio"));
  ASSERT_GE(puts.size(), 2u);
  EXPECT_EQ(puts[0].method, "PUT");
  EXPECT_NE(puts[0].body.find("true"), std::string::npos);
  EXPECT_EQ(outdoor->cameraDetections()->soundDetection(), 1);
  EXPECT_TRUE(outdoor->cameraDetections()->triggeredDetections() & KLTriggeredDetectionSound);
}

TEST_F(DeviceKeeperTest, AFailedAnalyticsReadMarksTheSwitchUnknownAndReportsOnce) {
  loadCameras();
  KLCameraPtr outdoor = cachedCamera(1);  // no analytics: the cloud answers 404
  ManagerReport report;
  keeper->getSmartDetectionsStatusForCamera(outdoor, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.errors, 1);
  EXPECT_EQ(report.successes, 0);
  EXPECT_EQ(outdoor->smartDetections()->enabled(), 2147483647);

  KLCameraPtr pan = cachedCamera(2);
  ManagerReport read;
  keeper->getSmartDetectionsStatusForCamera(pan, read.success(), read.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(read.successes, 1);
  EXPECT_EQ(pan->smartDetections()->enabled(), 1);
  EXPECT_EQ(pan->smartDetections()->personDetectionOnly(), true);

  ManagerReport change;
  keeper->updateSmartDetectionsForCamera(pan, false, false, change.success(), change.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(change.successes, 1);
  EXPECT_EQ(change.result.objectAs<KLCameraResponse>(), pan);
  EXPECT_EQ(pan->smartDetections()->enabled(), 0);
  EXPECT_EQ(pan->smartDetections()->personDetectionOnly(), false);
  EXPECT_FALSE(sim.world().camera(*pan->cameraID())->detectors.analytics);
}

TEST_F(DeviceKeeperTest, ANameChangeIsAnnouncedOnlyAfterTheListWasRefreshed) {
  loadCameras();
  KLCameraPtr camera = cachedCamera(0);
  Posts updates(kCameraUpdateNotification);
  ManagerReport report;
  keeper->updateCameraWithName(camera, "Front door", report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.successes, 1);
  EXPECT_EQ(updates.count, 1);
  EXPECT_EQ(camera->name(), "Front door");  // the refresh merged the new name into the cache
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/").size(), 1u);

  // The change succeeds but the refresh fails: error, no announcement.
  sim.addFault(FaultRule::failWith("/rest/v2.0/cameras/", 404));
  ManagerReport failed;
  keeper->updateCameraWithName(camera, "Porch", failed.success(), failed.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(failed.errors, 1);
  EXPECT_EQ(failed.successes, 0);
  EXPECT_EQ(updates.count, 1);
}

TEST_F(DeviceKeeperTest, ModeAndMicrophoneChangesReachTheCloudAndTheCache) {
  loadCameras();
  KLCameraPtr camera = cachedCamera(0);
  Posts updates(kCameraUpdateNotification);
  ManagerReport mode;
  keeper->updateCameraWithMode(camera, "disarmed", "eventBased", mode.success(), mode.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(mode.successes, 1);
  EXPECT_EQ(updates.count, 1);
  EXPECT_EQ(sim.world().camera(*camera->cameraID())->mode, "disarmed");
  EXPECT_EQ(camera->cameraMode()->mode(), "disarmed");

  ManagerReport microphone;
  keeper->updateMicrophoneStateForCamera(camera, false, microphone.success(), microphone.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(microphone.successes, 1);
  EXPECT_EQ(camera->audioEnabled(), false);
  EXPECT_FALSE(sim.world().camera(*camera->cameraID())->audioEnabled);
}

TEST_F(DeviceKeeperTest, SettingsAreReadIntoNewRecordsAndReadAgainAfterAChange) {
  loadCameras();
  const int64_t id = sim.world().cameras[0].cameraId;
  ManagerReport change;
  keeper->updateVideoSettingsForCameraWithID(id, "180", "wdr", "Night", "60hz", change.success(), change.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(change.successes, 1);
  auto video = keeper->videoSettings();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(change.result.objectAs<KLCameraVideoSettingsResponse>(), video);
  EXPECT_EQ(video->rotation(), "180");
  EXPECT_EQ(video->antiFlickering(), "60 Hz");

  ManagerReport footage;
  keeper->updateFootageSettingsForCameraWithID(id, "1280x720", "10", "1024", footage.success(), footage.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(footage.successes, 1);
  ASSERT_NE(keeper->footageSettings(), nullptr);
  EXPECT_EQ(keeper->footageSettings()->resolution(), "1280x720");
  EXPECT_EQ(keeper->footageSettings()->bitRate(), "1024 kb/s");

  ManagerReport restore;
  keeper->restoreDefaultsCameraVideoSettingsForCameraID(id, restore.success(), restore.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(restore.successes, 1);
  EXPECT_EQ(sim.world().camera(id)->videoSettings.rotation, 0);

  // Capability records land in the camera record.
  KLCameraPtr camera = cachedCamera(0);
  ManagerReport options;
  keeper->getFootageSettingsOptionsForCamera(camera, options.success(), options.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(options.successes, 1);
  ASSERT_NE(camera->footageSettingsCapabilities(), nullptr);
  EXPECT_FALSE(camera->footageSettingsCapabilities()->resolutions().value_or(Strings{}).empty());
}

TEST_F(DeviceKeeperTest, DetailedInfoGathersCredentialsDeviceAndConnection) {
  const auto simulated = sim.world().cameras[0];
  ManagerReport report;
  keeper->getDetailedInfoForCameraWithID(simulated.cameraId, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.successes, 1);
  auto info = keeper->cameraAdvancedInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->username(), simulated.username);
  EXPECT_EQ(info->password(), simulated.password);
  EXPECT_EQ(info->localIP(), simulated.localHost);
  ASSERT_NE(info->deviceInfo(), nullptr);
  EXPECT_EQ(info->deviceInfo()->brand(), simulated.brand);

  // A failing device read keeps the chain going and leaves no error object as device info.
  sim.addFault(FaultRule::failWith(cameraPath(0, "v2.2", "/deviceInfo"), 404));
  ManagerReport again;
  keeper->getDetailedInfoForCameraWithID(simulated.cameraId, again.success(), again.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(again.successes, 1);
  EXPECT_EQ(keeper->cameraAdvancedInfo()->deviceInfo(), nullptr);
  EXPECT_EQ(keeper->cameraAdvancedInfo()->username(), simulated.username);
}

TEST_F(DeviceKeeperTest, SingleCameraReadsMergeIntoTheCameraAndAnnounceTheStatus) {
  loadCameras();
  KLCameraPtr pan = cachedCamera(2);
  const int64_t id = *pan->cameraID();
  sim.updateWorld([&](cloudsim::World& w) { w.camera(id)->online = false; });
  Posts status(kCameraStatusUpdatedNotification);
  ManagerReport read;
  keeper->getCameraStatusForCamera(pan, read.success(), read.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(read.successes, 1);
  EXPECT_EQ(read.result.objectAs<KLCameraResponse>(), pan);
  EXPECT_EQ(pan->cameraState(), KLCameraStateOffline);
  EXPECT_EQ(status.count, 1);

  ManagerReport ptz;
  keeper->getCameraPtzCapabilitiesForCamera(pan, ptz.success(), ptz.failure());
  ManagerReport image;
  keeper->getVideoSettingsOptionsForCamera(pan, image.success(), image.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(ptz.successes + image.successes, 2);
  ASSERT_NE(pan->cameraPtzCapabilities(), nullptr);
  EXPECT_EQ(pan->cameraPtzCapabilities()->panTilt(), true);
  ASSERT_NE(pan->videoSettingsCapabilities(), nullptr);
  EXPECT_FALSE(pan->videoSettingsCapabilities()->rotationCapabilities().value_or(Strings{}).empty());

  ManagerReport summary;
  keeper->generateNewDailySummaryForCameraID(id, "2023-11-14T00:00:00.000Z", "2023-11-15T00:00:00.000Z",
                                             summary.success(), summary.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(summary.successes, 1);
  auto posts = sim.requestsTo(cameraPath(2, "v2.0", "/summary"));
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_NE(posts[0].body.find("2023-11-14T00:00:00.000Z"), std::string::npos);

  // A camera the keeper does not know cannot be asked about: the call fails without a request.
  ManagerReport unknown;
  keeper->getCameraModeForCamera(std::make_shared<KLCameraResponse>(), unknown.success(), unknown.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(unknown.errors, 1);
}

TEST_F(DeviceKeeperTest, PanTiltMovesAreSentOnlyForACamera) {
  loadCameras();
  keeper->moveCamera(nullptr, KLPtzDirectionLeft);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(sim.requestCount(), 0u);
  keeper->moveCamera(cachedCamera(2), KLPtzDirectionLeft);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  auto moves = sim.requestsTo(cameraPath(2, "v2.1", "/ptz"));
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].status, 200);
  EXPECT_NE(moves[0].body.find("\"Left\""), std::string::npos);
}

class DeviceKeeperSnapshotTest : public DeviceKeeperTest {
 protected:
  void SetUp() override {
    DeviceKeeperTest::SetUp();
    home = std::make_unique<TemporaryHome>();
    platform::ImageCache::resetForTesting();
  }
  void TearDown() override {
    DeviceKeeperTest::TearDown();
    platform::ImageCache::resetForTesting();
    home.reset();
  }
  std::unique_ptr<TemporaryHome> home;
};

TEST_F(DeviceKeeperSnapshotTest, ASnapshotIsHandedOverAndLeftOutOfTheSnapshotCache) {
  loadCameras();
  KLCameraPtr camera = cachedCamera(0);
  ManagerReport report;
  keeper->refreshSnapshotForCamera(camera, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(report.successes, 1);
  auto picture = report.result.objectAs<platform::ImageObject>();
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->image()->pixelWidth(), 1280);
  EXPECT_EQ(picture->image()->pixelHeight(), 720);
  EXPECT_EQ(sim.requestsTo(cameraPath(0, "v2.0", "/snapshot"))[0].queryParams["resolution"], "1280x720");
  // Storing is the host's call: the timeline's backdrop must not change behind its back.
  EXPECT_EQ(getLocalSnapshotForKey(camera->cameraID()), nullptr);
  EXPECT_EQ(getLocalCroppedSnapshotForKey(camera->cameraID()), nullptr);

  // An offline camera's snapshot fails and reaches the error callback.
  ManagerReport offline;
  keeper->refreshSnapshotForCamera(cachedCamera(1), offline.success(), offline.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(offline.errors, 1);
  EXPECT_EQ(getLocalSnapshotForKey(cachedCamera(1)->cameraID()), nullptr);
}

TEST_F(DeviceKeeperSnapshotTest, AllSnapshotsAreAnnouncedOnlyWhenTheLastCameraIsOnline) {
  loadCameras();
  Posts each(kNewSnapshotDownloadedNotification);
  Posts all(kAllSnapshotsDownloadedNotification);
  keeper->refreshAllSnapshots();  // the list ends with the offline camera
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  const size_t online = sim.world().cameras.size() - 1;
  EXPECT_EQ(each.count, static_cast<int>(online));
  EXPECT_EQ(all.count, 0);
  EXPECT_EQ(each.last.object, keeper);
  EXPECT_NE(each.last.userInfo.at(kLastSnapshotSavedNotification).objectAs<platform::ImageObject>(), nullptr);
  EXPECT_TRUE(each.last.userInfo.at(std::string(kCameraIDKey)).isInteger());

  // With every camera online the last one's fetch is followed by the announcement.
  sim.updateWorld([](cloudsim::World& w) {
    for (auto& c : w.cameras) c.online = true;
  });
  ManagerReport status;
  keeper->getCamerasStatusWithSuccessBlock(status.success(), status.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  keeper->refreshAllSnapshots();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(all.count, 1);
  EXPECT_EQ(each.count, static_cast<int>(online + sim.world().cameras.size()));
}

TEST_F(DeviceKeeperSnapshotTest, AGoneKeeperEmptiesTheImageMemoryButKeepsTheDisk) {
  loadCameras();
  KLCameraPtr camera = cachedCamera(0);
  ManagerReport report;
  keeper->refreshSnapshotForCamera(camera, report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(report.successes, 1);
  storeImageLocally(report.result.objectAs<platform::ImageObject>()->image(), camera->cameraID());
  auto cache = platform::ImageCache::sharedImageCache();
  const std::string key = getCacheKeyForImageKey(camera->cameraID(), KLImageCacheOptionNone);
  ASSERT_NE(cache->imageFromMemoryCacheForKey(key), nullptr);
  keeper.reset();
  EXPECT_EQ(cache->imageFromMemoryCacheForKey(key), nullptr);
  EXPECT_NE(getLocalSnapshotForKey(camera->cameraID()), nullptr);
}

}  // namespace
}  // namespace dk::test
