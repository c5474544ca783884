// What key-value observers of the camera service hear: the current camera and zone replaced, the
// selection of cameras to move, the camera name read on the parser queue.
#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "platform/foundation/key_value_observation_controller.h"
#include "services/device_keeper_fixture.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::KeyValueChange;
using platform::KeyValueObservationController;
using platform::MainRunLoop;
using platform::Value;

constexpr unsigned kKeeperNewOld = platform::KeyValueObservingOptionNew | platform::KeyValueObservingOptionOld;

struct KeeperChanges {
  std::mutex mutex;
  std::vector<KeyValueChange> changes;
  std::vector<std::thread::id> threads;

  KeyValueObservationController::Handler handler() {
    return [this](const KeyValueChange& change) {
      std::lock_guard<std::mutex> lock(mutex);
      changes.push_back(change);
      threads.push_back(std::this_thread::get_id());
    };
  }
  size_t count() {
    std::lock_guard<std::mutex> lock(mutex);
    return changes.size();
  }
};

KLCameraPtr keeperCamera(int64_t id, const std::string& name, std::optional<int64_t> zoneID = std::nullopt) {
  auto camera = std::make_shared<KLCameraResponse>();
  camera->setCameraID(id);
  camera->setName(name);
  camera->setZoneID(zoneID);
  return camera;
}

KLZonePtr keeperZone(int64_t id, const std::string& name, std::vector<int64_t> cameraIDs) {
  auto zone = std::make_shared<KLZoneResponse>();
  zone->setZoneID(id);
  zone->setName(name);
  zone->setCameraIds(std::move(cameraIDs));
  return zone;
}

class KeeperObservationTest : public ::testing::Test {
 protected:
  KLDeviceKeeperPtr keeper = std::make_shared<KLDeviceKeeper>();
  std::shared_ptr<int> observer = std::make_shared<int>(0);
  std::shared_ptr<KeyValueObservationController> kvo = KeyValueObservationController::controllerWithObserver(observer);
};

TEST_F(KeeperObservationTest, TheZoneUpdateReplacesCameraAndZoneAndTellsTheirObservers) {
  // The list's record of the current camera, and the zones' own records.
  auto listed = keeperCamera(7, "porch", 3);
  keeper->cameras()->setValues(valueArray(Cameras{listed, keeperCamera(8, "yard")}));
  auto cachedZone = keeperZone(3, "home", {7});
  keeper->zones()->setValues(valueArray(Zones{cachedZone}));
  keeper->setCamera(keeperCamera(7, "stale"));
  keeper->setZone(keeperZone(3, "old home", {}));

  KeeperChanges camera, zone, name;
  kvo->observe(keeper, "camera", kKeeperNewOld, camera.handler());
  kvo->observe(keeper, "zone", kKeeperNewOld, zone.handler());
  kvo->observe(keeper, "camera.name", kKeeperNewOld, name.handler());

  auto update = keeperZone(3, "home", {7});
  auto members = std::make_shared<KLCameraListResponse>();
  members->setValues(valueArray(Cameras{keeperCamera(7, "porch")}));
  update->setCameras(members);
  keeper->updateCamerasWithCamerasFromZone(update);

  EXPECT_EQ(keeper->camera(), listed);
  ASSERT_EQ(camera.count(), 1u);
  EXPECT_EQ(camera.changes[0].newValue.objectAs<KLCameraResponse>(), listed);
  ASSERT_EQ(name.count(), 1u);
  EXPECT_EQ(name.changes[0].oldValue, Value("stale"));
  EXPECT_EQ(name.changes[0].newValue, Value("porch"));
  // Set once from the camera's zone and once more from the current zone's identifier.
  EXPECT_EQ(keeper->zone(), cachedZone);
  ASSERT_EQ(zone.count(), 2u);
  EXPECT_EQ(zone.changes[0].oldValue.objectAs<KLZoneResponse>()->name(), "old home");
  EXPECT_EQ(zone.changes[1].newValue.objectAs<KLZoneResponse>(), cachedZone);

  // The name observation now follows the listed camera.
  listed->setName("front door");
  ASSERT_EQ(name.count(), 2u);
  EXPECT_EQ(name.changes[1].newValue, Value("front door"));
}

TEST_F(KeeperObservationTest, TheSelectionIsReplacedWholeAndOnlyWhenItChanges) {
  auto a = keeperCamera(1, "a");
  auto b = keeperCamera(2, "b");
  KeeperChanges selection;
  kvo->observe(keeper, "selectedCamerasToMove", kKeeperNewOld, selection.handler());

  keeper->addCameraToSelectedCamerasToMove(a);
  keeper->addCameraToSelectedCamerasToMove(keeperCamera(1, "a"));  // equal to a: not added
  keeper->addCameraToSelectedCamerasToMove(b);
  ASSERT_EQ(selection.count(), 2u);
  EXPECT_EQ(selection.changes[1].oldValue, valueArray(Cameras{a}));
  EXPECT_EQ(selection.changes[1].newValue, valueArray(Cameras{a, b}));
  EXPECT_EQ(keeper->selectedCamerasToMove(), (Cameras{a, b}));

  keeper->removeCameraFromSelectedCamerasToMove(keeperCamera(2, "c"));  // not selected
  EXPECT_EQ(selection.count(), 2u);
  keeper->removeCameraFromSelectedCamerasToMove(keeperCamera(1, "a"));  // equal to a
  ASSERT_EQ(selection.count(), 3u);
  EXPECT_EQ(keeper->selectedCamerasToMove(), (Cameras{b}));

  keeper->resetSelectedCamerasToMove();
  ASSERT_EQ(selection.count(), 4u);
  EXPECT_EQ(selection.changes[3].newValue.count(), 0u);

  keeper->setValueForKey("selectedCamerasToMove", valueArray(Cameras{b, a}));
  ASSERT_EQ(selection.count(), 5u);
  EXPECT_EQ(keeper->selectedCamerasToMove(), (Cameras{b, a}));
}

TEST_F(KeeperObservationTest, KeyValueCodingReadsEveryRecordAndWritesOnlyTheSettableOnes) {
  auto camera = keeperCamera(4, "hall");
  keeper->setValueForKey("camera", Value(camera));
  EXPECT_EQ(keeper->camera(), camera);
  EXPECT_EQ(keeper->valueForKeyPath("camera.name"), Value("hall"));
  EXPECT_EQ(keeper->valueForKey("cameras").objectAs<KLCameraListResponse>(), keeper->cameras());

  auto listBefore = keeper->cameras();
  keeper->setValueForKey("cameras", Value(std::make_shared<KLCameraListResponse>()));
  EXPECT_EQ(keeper->cameras(), listBefore) << "the camera list is the keeper's own for its whole life";
  EXPECT_TRUE(keeper->valueForKey("nothing").isNil());
}

TEST_F(DeviceKeeperTest, TheNameReadNamesTheCameraCurrentWhenTheReplyArrivesOnTheParserQueue) {
  loadCameras();
  const auto simulated = sim.world().cameras[1];
  auto observer = std::make_shared<int>(0);
  auto kvo = KeyValueObservationController::controllerWithObserver(observer);
  KeeperChanges name;
  kvo->observe(keeper, "camera.name", platform::KeyValueObservingOptionNew, name.handler());

  // A screen replaces the current camera while the read is on its way.
  int hold = sim.addFault(FaultRule::hold(cameraPath(1, "v2.1")));
  keeper->setCameraNameWithID(simulated.cameraId);
  ASSERT_TRUE(sim.waitForHeld(1));
  auto replacement = std::make_shared<KLCameraResponse>();
  replacement->setCameraID(simulated.cameraId);
  keeper->setCamera(replacement);
  ASSERT_EQ(name.count(), 1u);  // the replacement itself
  sim.release(hold);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return replacement->name().has_value(); }));
  MainRunLoop::runUntilIdle();

  EXPECT_EQ(replacement->name(), simulated.name);
  ASSERT_EQ(name.count(), 2u);
  EXPECT_EQ(name.changes[1].newValue, Value(simulated.name));
  EXPECT_NE(name.threads[1], std::this_thread::get_id()) << "told on the thread that merged the reply";
}

}  // namespace
}  // namespace dk::test
