// A camera service talking to the local cloud through a real request executor, with the
// helpers its tests share.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "network/executor_fixture.h"
#include "platform/media/images/image_response.h"
#include "services/kl_device_keeper.h"
#include "services/manager_report.h"

namespace dk::test {

class DeviceKeeperTest : public ExecutorTest {
 protected:
  void SetUp() override {
    ExecutorTest::SetUp();
    platform::installImageResponseDecoder();
    storeCredential(sim.accessToken());
    KLServicesManager::setRequestExecutor(executorForRequestManager(manager));
  }
  void TearDown() override {
    keeper.reset();
    KLServicesManager::setRequestExecutor(nullptr);
    ExecutorTest::TearDown();
  }

  // Loads the list, zones, status and modes, as the data manager does at start-up.
  void loadCameras() {
    ManagerReport report;
    keeper->getCamerasWithSuccessBlock(report.success(), report.failure());
    ASSERT_TRUE(platform::MainRunLoop::runUntilIdle());
    ASSERT_EQ(report.successes, 1);
    ASSERT_EQ(report.errors, 0);
    sim.clearRequests();
  }
  // The cached camera of the simulated world's camera at `index`.
  KLCameraPtr cachedCamera(size_t index) { return keeper->cameraWithID(sim.world().cameras.at(index).cameraId); }
  std::string cameraPath(size_t index, const std::string& version, const std::string& rest = "") {
    return "/rest/" + version + "/cameras/" + std::to_string(sim.world().cameras.at(index).cameraId) + rest;
  }

  KLDeviceKeeperPtr keeper = std::make_shared<KLDeviceKeeper>();
};

}  // namespace dk::test
