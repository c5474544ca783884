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
// Run: build/bench/bench_sound.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/audio_output.h"
#include "platform/media/dk_access_token_provider.h"
#include "platform/media/dk_camera_streamer.h"
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

void BM_SoundDriftOverAMinute(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  auto clock = std::make_shared<ManualClock>(1700000000.0);
  setClock(clock);
  dk::cloudsim::GenerateOptions generate;
  generate.cameras = 1;
  generate.days = 1;
  auto world = dk::cloudsim::World::generate(generate);
  world.videoQuality = dk::cloudsim::World::VideoQuality::Hd720;
  const int64_t camera = world.cameras.front().cameraId;
  const int64_t recording = world.startRecording(camera, world.now - 200);
  world.closeRecording(recording, world.now - 100);
  dk::cloudsim::CloudSimOptions options;
  options.https = true;
  dk::cloudsim::CloudSim sim(std::move(world), options);
  sim.start();
  const auto folder = std::filesystem::temp_directory_path();
  const std::string caFile = (folder / "dk-bench-sound-ca.pem").string();
  sim.writeCaCertificate(caFile);
  TlsPolicy::setDefaultCAFile(caFile);
  auto token = std::make_shared<Token>(sim.accessToken());
  DKAccessTokenProvider::setDelegate(token);

  double drift = 0, worst = 0, seconds = 0;
  for (auto _ : state) {
    auto sink = FileAudioOutput::create((folder / "dk-bench-sound.wav").string());
    StreamerEnvironment environment{sim.baseUrl()};
    environment.audioOutput = [sink] { return sink; };
    StreamerEnvironment::install(environment);
    auto streamer = DKCameraStreamer::initWithLayer(std::make_shared<Layer>());
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
      const double heard = static_cast<double>(sink->framesWritten()) / std::max(1, sink->sampleRate());
      worst = std::max(worst, std::abs(heard - streamer->currentFrameTime()));
    }
    streamer->finishSoundWrites();
    seconds = static_cast<double>(sink->framesWritten()) / std::max(1, sink->sampleRate());
    drift = seconds - streamer->currentTime();
    std::filesystem::remove(sink->path());
  }
  state.counters["drift_ms"] = drift * 1000;
  state.counters["max_picture_offset_ms"] = worst * 1000;
  state.counters["sound_seconds"] = seconds;
  DKAccessTokenProvider::setDelegate({});
  TlsPolicy::setDefaultCAFile("");
  std::filesystem::remove(caFile);
  sim.stop();
  setClock(nullptr);
}
BENCHMARK(BM_SoundDriftOverAMinute)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
