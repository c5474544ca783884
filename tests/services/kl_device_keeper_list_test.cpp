// The camera service's camera list against the local cloud: the start-up chain (list, zones,
// status, modes), the look-ups it serves the event and recording managers, and the zones.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/foundation/notification_center.h"
#include "services/device_keeper_fixture.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::MainRunLoop;
using platform::Value;

TEST_F(DeviceKeeperTest, TheCameraChainLoadsListZonesStatusAndModesInThatOrder) {
  ManagerReport report;
  int listNotifications = 0;
  auto token = platform::NotificationCenter::defaultCenter().addObserver(
      std::string(kCamerasUpdatedNotifiction), [&](const platform::Notification&) { listNotifications++; });
  keeper->getCamerasWithSuccessBlock(report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(report.successes, 1);
  EXPECT_EQ(report.errors, 0);
  EXPECT_TRUE(report.onMain);
  EXPECT_EQ(report.result.objectAs<KLCameraListResponse>(), keeper->cameras());

  const auto world = sim.world();
  ASSERT_EQ(keeper->cameras()->cameras().size(), world.cameras.size());
  for (const auto& simulated : world.cameras) {
    KLCameraPtr cached = keeper->cameraWithID(simulated.cameraId);
    ASSERT_NE(cached, nullptr) << simulated.cameraId;
    EXPECT_EQ(cached->name(), simulated.name);
    EXPECT_EQ(cached->cameraState(), simulated.online ? KLCameraStateOnline : KLCameraStateOffline);
    ASSERT_NE(cached->cameraMode(), nullptr);
    EXPECT_EQ(cached->cameraMode()->mode(), simulated.mode);  // the per-camera mode reads merged
  }
  // Online cameras first.
  EXPECT_EQ(keeper->cameras()->cameras().back()->cameraState(), KLCameraStateOffline);
  EXPECT_GE(listNotifications, 2);  // the list read and the status read each merged into the list

  // The wire order: list, zones, status of all, then one mode read per camera.
  auto requests = sim.requests();
  ASSERT_GE(requests.size(), 3 + world.cameras.size());
  EXPECT_EQ(requests[0].path, "/rest/v2.0/cameras/");
  EXPECT_EQ(requests[1].path, "/rest/v2.0/zones");
  EXPECT_EQ(requests[2].path, "/rest/v2.0/cameras/all/status");
  for (size_t i = 0; i < world.cameras.size(); ++i) {
    EXPECT_EQ(requests[3 + i].path.rfind("/mode"), requests[3 + i].path.size() - 5) << requests[3 + i].path;
  }
}

TEST_F(DeviceKeeperTest, TheLookUpsServeTheEventAndRecordingManagers) {
  loadCameras();
  std::shared_ptr<KLEventManagerDelegate> events = keeper;
  std::shared_ptr<KLRecordingManagerDelegate> recordings = keeper;
  EXPECT_TRUE(events->respondsToSelector("getCameras"));
  EXPECT_TRUE(recordings->respondsToSelector("cameraWithID:"));
  EXPECT_FALSE(events->respondsToSelector("didUpdateEventsForCameraID:"));

  EXPECT_EQ(events->getCameras(), keeper->cameras());
  const int64_t id = sim.world().cameras[2].cameraId;
  KLCameraPtr found = recordings->cameraWithID(id);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->cameraID(), id);
  EXPECT_EQ(recordings->cameraWithID(987654), nullptr);
  EXPECT_EQ(recordings->cameraWithID(std::nullopt), nullptr);

  // A second load keeps the cached camera objects: screens holding them see the new values.
  sim.updateWorld([&](cloudsim::World& w) { w.camera(id)->name = "Garden"; });
  ManagerReport again;
  keeper->updateCamerasWithSuccessBlock(again.success(), again.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(again.successes, 1);
  EXPECT_EQ(recordings->cameraWithID(id), found);
  EXPECT_EQ(found->name(), "Garden");
  // The metadata refresh also read capabilities and detection capabilities of every camera.
  EXPECT_NE(found->cameraCapabilities(), nullptr);
  EXPECT_TRUE(found->detectionsCapabilities()->hasSoundCapability());
}

TEST_F(DeviceKeeperTest, AFailedListReadReportsOnceAndGoesNoFurther) {
  sim.addFault(FaultRule::failWith("/rest/v2.0/cameras/", 404, R"({"message":"gone"})"));
  ManagerReport report;
  keeper->getCamerasWithSuccessBlock(report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.errors, 1);
  EXPECT_EQ(report.successes, 0);
  EXPECT_TRUE(report.onMain);
  EXPECT_EQ(sim.requestCount(), 1u);
  EXPECT_TRUE(keeper->cameras()->cameras().empty());
}

TEST_F(DeviceKeeperTest, AFailedZonesReadReportsTheErrorAndSkipsTheMetadata) {
  sim.addFault(FaultRule::failWith("/rest/v2.0/zones", 404));
  ManagerReport report;
  keeper->getCamerasWithSuccessBlock(report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.errors, 1);
  EXPECT_EQ(report.successes, 0);
  EXPECT_EQ(sim.requestsTo("/rest/v2.0/cameras/all/status").size(), 0u);
  EXPECT_FALSE(keeper->cameras()->cameras().empty());  // the list itself was merged
}

TEST_F(DeviceKeeperTest, TheStartUpChainEndsInSuccessEvenWhenAModeReadFails) {
  const std::string failing = cameraPath(0, "v2.2", "/mode");
  sim.addFault(FaultRule::failWith(failing, 404));
  ManagerReport report;
  keeper->getCamerasWithSuccessBlock(report.success(), report.failure());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.errors, 0);
  ASSERT_EQ(report.successes, 1);
  // The success callback receives the stored error instead of the list.
  auto error = errorFromResult(report.result);
  ASSERT_NE(error, nullptr);
  ASSERT_NE(error->response(), nullptr);
  EXPECT_EQ(error->response()->statusCode, 404);
}

TEST_F(DeviceKeeperTest, ZonesAreKeptWithTheirCamerasAttached) {
  loadCameras();
  const auto world = sim.world();
  auto zones = keeper->zones()->zones();
  ASSERT_EQ(zones.size(), world.zones.size());
  KLZonePtr home = keeper->zones()->zoneWithID(11);
  ASSERT_NE(home, nullptr);
  ASSERT_NE(home->cameras(), nullptr);
  auto members = home->cameras()->cameras();
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[0]->cameraState(), KLCameraStateOnline);  // values sorted online first
  EXPECT_EQ(members[0], keeper->cameraWithID(members[0]->cameraID()));  // the cached objects
  EXPECT_EQ(home->cameras()->filteredValues().front()->cameraState(), KLCameraStateOffline);

  // The picker's filters follow the current zone's camera identifiers.
  keeper->setZone(home);
  auto filters = keeper->camerasFilters();
  ASSERT_EQ(filters.size(), 2u);
  EXPECT_EQ(filters[0]->cameraID, world.cameras[0].cameraId);
  EXPECT_EQ(filters[0]->cameraName, world.cameras[0].name);

  // Taking a camera out of its zone updates the zone and the camera.
  KLCameraPtr leaving = cachedCamera(0);
  keeper->removeCameraFromItsZone(leaving);
  EXPECT_EQ(leaving->zoneID(), -1);
  auto ids = home->cameraIds().value_or(std::vector<int64_t>{});
  EXPECT_EQ(std::count(ids.begin(), ids.end(), world.cameras[0].cameraId), 0);
  EXPECT_EQ(home->cameras()->cameras().size(), 1u);
  EXPECT_EQ(keeper->camerasFilters().size(), 1u);
  keeper->removeCameraFromItsZone(leaving);  // no zone any more: only the marker stays
  EXPECT_EQ(leaving->zoneID(), -1);
}

TEST_F(DeviceKeeperTest, MovingACameraIntoAZoneUpdatesTheCachedRecords) {
  loadCameras();
  KLZonePtr office = keeper->zones()->zoneWithID(12);
  ASSERT_NE(office, nullptr);
  KLCameraPtr moved = cachedCamera(0);
  keeper->setCamera(moved);
  keeper->zones()->addCameraWithId(moved->cameraID(), office);
  keeper->mapCameraIdsToCameraResponseForZone(office);
  keeper->updateCamerasWithCamerasFromZone(office);
  EXPECT_EQ(moved->zoneID(), 12);
  EXPECT_EQ(keeper->camera(), moved);
  EXPECT_EQ(keeper->zone(), office);
}

TEST_F(DeviceKeeperTest, TheSelectionOfCamerasToMoveHoldsEachCameraOnce) {
  loadCameras();
  KLCameraPtr a = cachedCamera(0);
  KLCameraPtr b = cachedCamera(1);
  keeper->addCameraToSelectedCamerasToMove(a);
  keeper->addCameraToSelectedCamerasToMove(a);
  keeper->addCameraToSelectedCamerasToMove(b);
  EXPECT_EQ(keeper->selectedCamerasToMove(), (Cameras{a, b}));
  keeper->removeCameraFromSelectedCamerasToMove(a);
  keeper->removeCameraFromSelectedCamerasToMove(a);
  EXPECT_EQ(keeper->selectedCamerasToMove(), (Cameras{b}));
  keeper->resetSelectedCamerasToMove();
  EXPECT_TRUE(keeper->selectedCamerasToMove().empty());
}

TEST_F(DeviceKeeperTest, TheCurrentCameraTakesItsNameFromASingleCameraRead) {
  const auto simulated = sim.world().cameras[2];
  KLCameraPtr current = keeper->camera();
  ASSERT_NE(current, nullptr);
  keeper->setCameraNameWithID(simulated.cameraId);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return current->name().has_value(); }));
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(current->name(), simulated.name);
  EXPECT_EQ(keeper->camera(), current);
}

TEST_F(DeviceKeeperTest, AReplyThatArrivesAfterTheKeeperIsGoneCallsNothing) {
  int hold = sim.addFault(FaultRule::hold("/rest/v2.0/cameras/all/status"));
  ManagerReport report;
  keeper->getCamerasStatusWithSuccessBlock(report.success(), report.failure());
  ASSERT_TRUE(sim.waitForHeld(1));
  keeper.reset();
  sim.release(hold);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(report.total(), 0);
}

}  // namespace
}  // namespace dk::test
