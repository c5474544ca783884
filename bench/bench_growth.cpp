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

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/recordings/recording_source.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/tls_policy.h"
#include "platform/ui/layer.h"

namespace {

using dk::platform::MainRunLoop;
using dk::platform::RecordingSource;
using dk::platform::VideoDecoder;

struct OpenCloud {
  std::unique_ptr<dk::cloudsim::CloudSim> sim;
  std::string caFile, url, path;
  int64_t camera = 0, recording = 0;
  double now = 0;

  explicit OpenCloud(double minutes) {
    dk::cloudsim::GenerateOptions generate;
    generate.cameras = 1;
    generate.days = 1;
    auto world = dk::cloudsim::World::generate(generate);
    world.videoQuality = dk::cloudsim::World::VideoQuality::Hd720;
    camera = world.cameras.front().cameraId;
    recording = world.startRecording(camera, world.now - minutes * 60);
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
    path = "/media/cameras/" + std::to_string(camera) + "/recordings/" + std::to_string(recording) + ".mp4";
    url = sim->baseUrl() + path;
  }
  void recordedUntil(double seconds) {
    sim->updateWorld([&](dk::cloudsim::World& w) { w.now = now + seconds; });
  }
};

OpenCloud& openCloud(int64_t minutes) {
  static std::map<int64_t, std::unique_ptr<OpenCloud>> clouds;
  auto& made = clouds[minutes];
  if (!made) made = std::make_unique<OpenCloud>(static_cast<double>(minutes));
  dk::platform::TlsPolicy::setDefaultCAFile(made->caFile);
  return *made;
}

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
  OpenCloud& cloud = openCloud(state.range(2));
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

namespace {

struct Token : dk::platform::DKAccessTokenProviderDelegate {
  std::string token;
  std::string accessToken() const override { return token; }
};

// Body bytes the cloud sent for the range requests in `requests`, of a file of `size` bytes.
int64_t bytesServed(const std::vector<dk::cloudsim::RecordedRequest>& requests, int64_t size) {
  int64_t sum = 0;
  for (const auto& r : requests) {
    long long a = 0, b = 0;
    if (std::sscanf(r.header("Range").c_str(), "bytes=%lld-%lld", &a, &b) == 2) sum += std::min<int64_t>(b, size - 1) - a + 1;
  }
  return sum;
}

// The same growth through the streamer, as the player follows it: waiting at the end of a
// <minutes> recording, <seconds> more are recorded and it plays on one second past the old end.
// Counters: bytes the cloud sent from the growth until that frame is on the layer, and what
// follows the old media in the longer take (the least it must read).
void BM_StreamerGrowth(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  OpenCloud& cloud = openCloud(state.range(1));
  auto token = std::make_shared<Token>();
  token->token = cloud.sim->accessToken();
  dk::platform::DKAccessTokenProvider::setDelegate(token);
  dk::platform::StreamerEnvironment::install({cloud.sim->baseUrl()});
  const double more = static_cast<double>(state.range(0));
  int64_t bytes = 0, afterMedia = 0;
  for (auto _ : state) {
    state.PauseTiming();
    cloud.recordedUntil(0);
    auto streamer = dk::platform::DKCameraStreamer::initWithLayer(std::make_shared<dk::platform::Layer>());
    auto item = dk::platform::DKStreamerItem::itemWithCameraId(cloud.camera, cloud.recording);
    streamer->setCurrentItem(item);
    MainRunLoop::runUntil([&] { return streamer->currentFrame() != nullptr; }, 120);
    const double end = item->duration();
    streamer->seekTo(end);  // waits there for more
    MainRunLoop::runUntilIdle(120);
    dk::platform::ErrorPtr error;
    auto check = RecordingSource::create(cloud.url, cloud.sim->accessToken(), RecordingSource::Limits{}, &error);
    const int64_t oldMediaEnd = check ? mediaEnd(check) : 0;
    check.reset();
    cloud.recordedUntil(more);
    cloud.sim->clearRequests();
    state.ResumeTiming();

    streamer->seekTo(end + 1);
    const bool shown = MainRunLoop::runUntil([&] { return streamer->currentFrameTime() >= end + 1 - 0.05; }, 120);

    state.PauseTiming();
    if (!shown) {
      state.SkipWithError("the longer take does not play");
      break;
    }
    const auto requests = cloud.sim->requestsTo(cloud.path);
    auto sized = RecordingSource::create(cloud.url, cloud.sim->accessToken(), RecordingSource::Limits{}, &error);
    int64_t fileBytes = 0;
    std::thread([&] { fileBytes = sized ? sized->size() : 0; }).join();
    bytes = bytesServed(requests, fileBytes);
    afterMedia = fileBytes - oldMediaEnd;
    streamer.reset();
    MainRunLoop::runUntilIdle(120);
    state.ResumeTiming();
  }
  state.counters["bytes_after_growth"] = static_cast<double>(bytes);
  state.counters["after_old_media_bytes"] = static_cast<double>(afterMedia);
  dk::platform::DKAccessTokenProvider::setDelegate({});
}
BENCHMARK(BM_StreamerGrowth)
    ->ArgsProduct({{3}, {10, 20}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace
