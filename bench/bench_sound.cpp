// How closely the camera's sound follows the picture: a camera-like recording of the local cloud
// (1280x720 H.264 at 25 fps with its AAC sound) is played at 1x for a minute of clock time, the
// clock moving in 20 ms steps as a run loop sees it, the sound going to a WAV file. Every second
// the sound written so far (as item time: samples / rate) is held against the picture on screen
// and the streamer's own time.
//
// BM_SoundDriftOverAMinute: the wall time to play the minute; counters: drift_ms (sound against
// the streamer's time after the minute), max_picture_offset_ms (the largest gap between the
// sound and the picture on screen at the checks), and the seconds of sound written.
//
// BM_LiveSoundDriftOverAMinute: the same for a minute of the camera live (the cloud's small live
// video, 2 pictures a second, with its AAC sound in two-second segments; the camera's clock moves
// with ours): drift_ms is the sound written against the live clock moved since playing began,
// max_picture_offset_ms the largest gap between the sound and the live picture on screen (at most
// a picture's half second when in step).
//
// Run: build/bench/bench_sound.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/sound/audio_output.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/tls_policy.h"
#include "platform/ui/layer.h"

namespace {

using namespace dk::platform;

class Token : public DKAccessTokenProviderDelegate {
 public:
  explicit Token(std::string token) : token_(std::move(token)) {}
  std::string accessToken() const override { return token_; }

 private:
  std::string token_;
};

// A sound sink and a streamer against the local cloud.
std::shared_ptr<DKCameraStreamer> streamerInto(const dk::cloudsim::CloudSim& sim,
                                              const std::shared_ptr<FileAudioOutput>& sink) {
  StreamerEnvironment environment{sim.baseUrl()};
  environment.audioOutput = [sink] { return sink; };
  StreamerEnvironment::install(environment);
  return DKCameraStreamer::initWithLayer(std::make_shared<Layer>());
}

double heardSeconds(const FileAudioOutput& sink) {
  return static_cast<double>(sink.framesWritten()) / std::max(1, sink.sampleRate());
}

// The local cloud over HTTPS on a manual clock, trusted and signed in for the streamer; undone
// when it goes.
struct BenchCloud {
  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(1700000000.0);
  std::unique_ptr<dk::cloudsim::CloudSim> sim;
  std::string caFile;
  std::shared_ptr<Token> token;  // the provider holds its delegate weakly

  BenchCloud(dk::cloudsim::World world, const std::string& name) {
    MainRunLoop::bindToCurrentThread();
    setClock(clock);
    dk::cloudsim::CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<dk::cloudsim::CloudSim>(std::move(world), options);
    sim->start();
    caFile = (std::filesystem::temp_directory_path() / (name + "-ca.pem")).string();
    sim->writeCaCertificate(caFile);
    TlsPolicy::setDefaultCAFile(caFile);
    token = std::make_shared<Token>(sim->accessToken());
    DKAccessTokenProvider::setDelegate(token);
  }
  ~BenchCloud() {
    DKAccessTokenProvider::setDelegate({});
    TlsPolicy::setDefaultCAFile("");
    std::filesystem::remove(caFile);
    sim->stop();
    setClock(nullptr);
  }
};

dk::cloudsim::World oneCamera() {
  dk::cloudsim::GenerateOptions generate;
  generate.cameras = 1;
  generate.days = 1;
  return dk::cloudsim::World::generate(generate);
}

void BM_SoundDriftOverAMinute(benchmark::State& state) {
  auto world = oneCamera();
  world.videoQuality = dk::cloudsim::World::VideoQuality::Hd720;
  const int64_t camera = world.cameras.front().cameraId;
  const int64_t recording = world.startRecording(camera, world.now - 200);
  world.closeRecording(recording, world.now - 100);
  BenchCloud cloud(std::move(world), "dk-bench-sound");
  auto& sim = *cloud.sim;
  auto& clock = cloud.clock;
  const auto folder = std::filesystem::temp_directory_path();

  double drift = 0, worst = 0, seconds = 0;
  for (auto _ : state) {
    auto sink = FileAudioOutput::create((folder / "dk-bench-sound.wav").string());
    auto streamer = streamerInto(sim, sink);
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(camera, recording));
    MainRunLoop::runUntilIdle();
    if (streamer->status() != DKCameraStreamerStatusReadyToPlay) {
      state.SkipWithError("the recording did not open");
      break;
    }
    streamer->setRate(1.0f);
    worst = 0;
    for (int step = 1; step <= 60 * 50; ++step) {
      clock->advance(0.02);
      MainRunLoop::runUntilIdle();
      if (step % 50 != 0) continue;
      streamer->finishSoundWrites();
      worst = std::max(worst, std::abs(heardSeconds(*sink) - streamer->currentFrameTime()));
    }
    streamer->finishSoundWrites();
    seconds = heardSeconds(*sink);
    drift = seconds - streamer->currentTime();
    std::filesystem::remove(sink->path());
  }
  state.counters["drift_ms"] = drift * 1000;
  state.counters["max_picture_offset_ms"] = worst * 1000;
  state.counters["sound_seconds"] = seconds;
}
BENCHMARK(BM_SoundDriftOverAMinute)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LiveSoundDriftOverAMinute(benchmark::State& state) {
  auto world = oneCamera();
  const int64_t camera = world.cameras.front().cameraId;
  BenchCloud cloud(std::move(world), "dk-bench-live-sound");
  auto& sim = *cloud.sim;
  auto& clock = cloud.clock;
  const auto folder = std::filesystem::temp_directory_path();

  double drift = 0, worst = 0, seconds = 0;
  for (auto _ : state) {
    auto sink = FileAudioOutput::create((folder / "dk-bench-live-sound.wav").string());
    auto streamer = streamerInto(sim, sink);
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(camera));
    MainRunLoop::runUntilIdle();
    if (streamer->status() != DKCameraStreamerStatusReadyToPlay) {
      state.SkipWithError("the live view did not open");
      break;
    }
    // The camera a few seconds ahead of the segment joined, so that the next is always listed.
    sim.updateWorld([](dk::cloudsim::World& w) { w.now += 4; });
    const double joined = streamer->currentTime();
    streamer->setRate(1.0f);
    MainRunLoop::runUntilIdle();
    worst = 0;
    for (int step = 1; step <= 60 * 50; ++step) {
      sim.updateWorld([](dk::cloudsim::World& w) { w.now += 0.02; });
      clock->advance(0.02);
      MainRunLoop::runUntilIdle();
      if (step % 50 != 0) continue;
      streamer->finishSoundWrites();
      worst = std::max(worst, std::abs(heardSeconds(*sink) - (streamer->currentFrameTime() - joined)));
    }
    streamer->finishSoundWrites();
    seconds = heardSeconds(*sink);
    drift = seconds - 60.0;  // the live clock moved a minute
    if (streamer->playbackState() != DKPlaybackStatePlaying) state.SkipWithError("the live view stalled");
    std::filesystem::remove(sink->path());
  }
  state.counters["drift_ms"] = drift * 1000;
  state.counters["max_picture_offset_ms"] = worst * 1000;
  state.counters["sound_seconds"] = seconds;
}
BENCHMARK(BM_LiveSoundDriftOverAMinute)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
