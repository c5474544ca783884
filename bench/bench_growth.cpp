// What a growing open recording costs to follow: a 1280x720 H.264 recording of the local cloud,
// <minutes> long, read piecewise over HTTPS in pieces of <KiB>, is opened and its last frame
// shown (as playback reaching its end does); then <seconds> more are recorded, the source is
// asked for the longer take, and the longer take is opened again and shown at the old end and at
// its new end.
//
// BM_OpenRecordingGrowth/<seconds>/<KiB>/<minutes>: the time for the growth step; counters:
// bytes and requests after the growth; what the file grew by; what follows the end of the old
// media in the longer take (new media and the new index: what has to be read at least, besides
// the checks of the first and last bytes kept); the whole file's bytes.
//
// Run: build/bench/bench_growth.
#include <benchmark/benchmark.h>

#include <cstring>
#include <filesystem>
#include <map>
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

  explicit OpenCloud(double minutes) {
    dk::cloudsim::GenerateOptions generate;
    generate.cameras = 1;
    generate.days = 1;
    auto world = dk::cloudsim::World::generate(generate);
    world.videoQuality = dk::cloudsim::World::VideoQuality::Hd720;
    const int64_t camera = world.cameras.front().cameraId;
    const int64_t recording = world.startRecording(camera, world.now - minutes * 60);
    now = world.now;
    dk::cloudsim::CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<dk::cloudsim::CloudSim>(std::move(world), options);
    sim->start();
    caFile = (std::filesystem::temp_directory_path() /
              ("dk-bench-growth-ca-" + std::to_string(static_cast<int>(minutes)) + ".pem"))
                 .string();
    sim->writeCaCertificate(caFile);
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    url = sim->baseUrl() + "/media/cameras/" + std::to_string(camera) + "/recordings/" + std::to_string(recording) +
          ".mp4";
  }
  void recordedUntil(double seconds) {
    sim->updateWorld([&](dk::cloudsim::World& w) { w.now = now + seconds; });
  }
};

// Where the media box of the take the source reads ends, from its first bytes; 0 when unknown.
int64_t mediaEnd(const std::shared_ptr<RecordingSource>& source) {
  int64_t end = 0;
  std::thread([&] {
    uint8_t bytes[64];
    int64_t at = 0;
    while (at + 8 <= 64) {
      if (source->read(at, bytes, 8) != 8) return;
      const int64_t size = (int64_t{bytes[0]} << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
      if (size < 8) return;
      if (std::memcmp(bytes + 4, "mdat", 4) == 0) {
        end = at + size;
        return;
      }
      at += size;
    }
  }).join();
  return end;
}

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
  static std::map<int64_t, std::unique_ptr<OpenCloud>> clouds;
  auto& made = clouds[state.range(2)];
  if (!made) made = std::make_unique<OpenCloud>(static_cast<double>(state.range(2)));
  OpenCloud& cloud = *made;
  dk::platform::TlsPolicy::setDefaultCAFile(cloud.caFile);
  const double more = static_cast<double>(state.range(0));
  RecordingSource::Limits limits;
  limits.chunkBytes = state.range(1) * 1024;
  int64_t bytes = 0, requests = 0, fileBytes = 0, newBytes = 0, afterMedia = 0;
  for (auto _ : state) {
    state.PauseTiming();
    cloud.recordedUntil(0);
    dk::platform::ErrorPtr error;
    auto source = RecordingSource::create(cloud.url, cloud.sim->accessToken(), limits, &error);
    if (!source || !show(source, {-1.0})) {
      state.SkipWithError("the recording does not play");
      break;
    }
    const int64_t oldSize = source->size();
    const int64_t oldMediaEnd = mediaEnd(source);
    cloud.recordedUntil(more);
    const int64_t receivedBefore = source->bytesReceived();
    const int requestsBefore = source->requestsSent();
    state.ResumeTiming();

    bool grew = false;
    std::thread([&] { grew = source->refreshGrowth(); }).join();
    if (!grew || !show(source, {static_cast<double>(state.range(2)) * 60 - 0.5, -1.0})) {
      state.SkipWithError("the longer take does not play");
      break;
    }
    bytes = source->bytesReceived() - receivedBefore;
    requests = source->requestsSent() - requestsBefore;
    fileBytes = source->size();
    newBytes = fileBytes - oldSize;
    afterMedia = fileBytes - oldMediaEnd;
  }
  state.counters["bytes_after_growth"] = static_cast<double>(bytes);
  state.counters["requests_after_growth"] = static_cast<double>(requests);
  state.counters["file_growth_bytes"] = static_cast<double>(newBytes);
  state.counters["after_old_media_bytes"] = static_cast<double>(afterMedia);
  state.counters["file_bytes"] = static_cast<double>(fileBytes);
  MainRunLoop::runUntilIdle();
}
// The streamer's pieces (128 KiB) and the earlier 1 MiB ones; two lengths put the end of the
// old media at different places in its piece.
BENCHMARK(BM_OpenRecordingGrowth)
    ->ArgsProduct({{3, 30}, {128, 1024}, {10, 20}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
