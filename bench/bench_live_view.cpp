// Time to the first live picture: a camera streamer is handed a camera's live item and the
// benchmark waits until the first frame is on its layer. Each iteration is a fresh streamer (so
// the playlist, the newest segment and its decoding are all timed) against the local cloud over
// HTTPS on loopback, on the wall clock; the TLS connection is new each time too.
//
// Run: build/bench/bench_live_view.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/dk_access_token_provider.h"
#include "platform/media/dk_camera_streamer.h"
#include "platform/net/tls_policy.h"
#include "platform/ui/layer.h"

namespace {

using namespace dk::platform;

struct Token : DKAccessTokenProviderDelegate {
  explicit Token(std::string t) : token(std::move(t)) {}
  std::string accessToken() const override { return token; }
  std::string token;
};

void BM_TimeToFirstLiveFrame(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  dk::cloudsim::GenerateOptions generate;
  generate.cameras = 2;
  generate.days = 1;
  dk::cloudsim::CloudSimOptions options;
  options.https = true;
  dk::cloudsim::CloudSim sim(dk::cloudsim::World::generate(generate), options);
  if (sim.start() == 0) {
    state.SkipWithError("the cloud did not start");
    return;
  }
  const int64_t camera = sim.world().cameras.front().cameraId;
  const auto ca = std::filesystem::temp_directory_path() / ("dk-bench-live-ca-" + std::to_string(::getpid()) + ".pem");
  sim.writeCaCertificate(ca.string());
  TlsPolicy::setDefaultCAFile(ca.string());
  StreamerEnvironment::install({sim.baseUrl()});
  auto token = std::make_shared<Token>(sim.accessToken());
  DKAccessTokenProvider::setDelegate(token);

  int failures = 0;
  for (auto _ : state) {
    auto layer = std::make_shared<Layer>();
    auto streamer = DKCameraStreamer::initWithLayer(layer);
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(camera));
    if (!MainRunLoop::runUntil([&] { return layer->contents() != nullptr || streamer->status() == 2; }, 10.0) ||
        !layer->contents()) {
      ++failures;
    }
    state.PauseTiming();
    streamer.reset();
    MainRunLoop::runUntilIdle();
    state.ResumeTiming();
  }
  if (failures) state.SkipWithError("a live view did not show a picture");
  DKAccessTokenProvider::setDelegate({});
  TlsPolicy::setDefaultCAFile("");
  std::filesystem::remove(ca);
}
BENCHMARK(BM_TimeToFirstLiveFrame)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
