// A started simulator and a client connected to it, for the simulator's own tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "sim_client.h"

namespace dk::cloudsim::test {

inline GenerateOptions smallWorld(int cameras = 2, int days = 2, uint64_t seed = 1) {
  GenerateOptions o;
  o.seed = seed;
  o.cameras = cameras;
  o.days = days;
  return o;
}

class SimTest : public ::testing::Test {
 protected:
  void start(GenerateOptions world = smallWorld(), CloudSimOptions options = {}) {
    sim = std::make_unique<CloudSim>(World::generate(world), options);
    ASSERT_NE(sim->start(), 0) << sim->lastError();
    client = std::make_unique<SimClient>(sim->port());
  }

  std::string token() const { return sim->accessToken(); }
  int64_t firstCamera() const { return sim->world().cameras.at(0).cameraId; }

  std::unique_ptr<CloudSim> sim;
  std::unique_ptr<SimClient> client;
};

}  // namespace dk::cloudsim::test
