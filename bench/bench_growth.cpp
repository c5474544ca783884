// What a growing open recording costs to follow: a ten-minute 1280x720 H.264 recording of the
// local cloud, read piecewise over HTTPS in the streamer's 1 MiB pieces, is opened and its last
// frame shown (as playback reaching its end does); then <seconds> more are recorded, the
// source is asked for the longer take, and the longer take is opened again and shown at the old
// end and at its new end.
//
// BM_OpenRecordingGrowth/<seconds>: the time for the growth step; counters: bytes and requests
// after the growth, the bytes of the new media and index, and the whole file's bytes.
//
// Run: build/bench/bench_growth.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <thread>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/recording_source.h"
#include "platform/media/video_decoder.h"
#include "platform/net/tls_policy.h"

namespace {

using dk::platform::MainRunLoop;
using dk::platform::RecordingSource;
using dk::platform::VideoDecoder;

struct OpenCloud {
  std::unique_ptr<dk::cloudsim::CloudSim> sim;
  std::string caFile, url;
  double now = 0;

  OpenCloud() {
    dk::cloudsim::GenerateOptions generate;
    generate.cameras = 1;
    generate.days = 1;
    auto world = dk::cloudsim::World::generate(generate);
    world.videoQuality = dk::cloudsim::World::VideoQuality::Hd720;
    const int64_t camera = world.cameras.front().cameraId;
    const int64_t recording = world.startRecording(camera, world.now - 600);
    now = world.now;
    dk::cloudsim::CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<dk::cloudsim::CloudSim>(std::move(world), options);
    sim->start();
    caFile = (std::filesystem::temp_directory_path() / "dk-bench-growth-ca.pem").string();
    sim->writeCaCertificate(caFile);
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    url = sim->baseUrl() + "/media/cameras/" + std::to_string(camera) + "/recordings/" + std::to_string(recording) +
          ".mp4";
  }
  void recordedUntil(double seconds) {
    sim->updateWorld([&](dk::cloudsim::World& w) { w.now = now + seconds; });
  }
};

// Opens the take the source reads and decodes its frames nearest to `times` (the end for < 0).
bool show(const std::shared_ptr<RecordingSource>& source, std::initializer_list<double> times) {
  bool ok = false;
  std::thread([&] {
    VideoDecoder decoder;
    VideoDecoder::Input input;
    input.read = [source](int64_t offset, uint8_t* out, int64_t count) { return source->read(offset, out, count); };
    input.size = [source] { return source->size(); };
    if (!decoder.open(std::move(input))) return;
    ok = true;
    for (double t : times) {
      const size_t index = t < 0 ? decoder.frameCount() - 1 : decoder.frameIndexAt(t);
      ok = ok && decoder.frameAt(index) != nullptr;
    }
  }).join();
  return ok;
}

void BM_OpenRecordingGrowth(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  static OpenCloud cloud;
  const double more = static_cast<double>(state.range(0));
  int64_t bytes = 0, requests = 0, fileBytes = 0, newBytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    cloud.recordedUntil(0);
    dk::platform::ErrorPtr error;
    auto source = RecordingSource::create(cloud.url, cloud.sim->accessToken(), RecordingSource::Limits{}, &error);
    if (!source || !show(source, {-1.0})) {
      state.SkipWithError("the recording does not play");
      break;
    }
    const int64_t oldSize = source->size();
    cloud.recordedUntil(more);
    const int64_t receivedBefore = source->bytesReceived();
    const int requestsBefore = source->requestsSent();
    state.ResumeTiming();

    bool grew = false;
    std::thread([&] { grew = source->refreshGrowth(); }).join();
    if (!grew || !show(source, {600.0 - 0.5, -1.0})) {
      state.SkipWithError("the longer take does not play");
      break;
    }
    bytes = source->bytesReceived() - receivedBefore;
    requests = source->requestsSent() - requestsBefore;
    fileBytes = source->size();
    newBytes = fileBytes - oldSize;
  }
  state.counters["bytes_after_growth"] = static_cast<double>(bytes);
  state.counters["requests_after_growth"] = static_cast<double>(requests);
  state.counters["file_growth_bytes"] = static_cast<double>(newBytes);
  state.counters["file_bytes"] = static_cast<double>(fileBytes);
  MainRunLoop::runUntilIdle();
}
BENCHMARK(BM_OpenRecordingGrowth)->Arg(3)->Arg(30)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
