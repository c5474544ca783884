// Playback costs of the camera streamer stand-in.
//
// BM_HourOfRecordingAt10x: one hour of a recording from the local cloud played at 10x in virtual
// time (six minutes of manual clock in 0.1 s steps) through KLPlayerViewModel and the streamer;
// counters give the main-loop tasks and the CPU time (all threads of the process) per second of
// recording played. The video is fetched and prepared before timing starts.
//
// BM_DecodeOneFrame: decoding and converting one frame at a random place of a ten-minute video
// with VideoDecoder::frameAt (seek, decode, convert to a platform image), against the same work
// done with FFmpeg's own calls on the same file; "vs_ffmpeg" is our time divided by theirs.
//
// BM_TenTimesOn1080p: a 1920x1080 25 fps H.264 recording (B-frames, a key frame every 2 s) from
// the local cloud played at 10x by the streamer, the run-loop clock following real time; counters
// give the rate held (played seconds per clock second) and how far the picture on screen trails
// the played time, in seconds of video (99th percentile and worst), sampled every pump.
//
// BM_MinuteAt1x720p: a minute of 1280x720 25 fps H.264 (as the local cloud's HD recordings) shown
// frame after frame as 1x playback does, through VideoDecoder::frameAt, and the same minute
// decoded and converted to BGRA with FFmpeg's own calls on the same threads; "cpu_s_ours" and
// "cpu_s_ffmpeg" are CPU seconds (all threads) per minute of video, "vs_ffmpeg" their ratio.
//
// BM_ConvertPicture1080p: one 1080p picture to a platform image, upright and turned a quarter.
//
// BM_DeinterlacePicture1080i: one interlaced 1920x1080 picture made whole, in playback (the
// picture before it as its neighbour) and alone (after a seek).
//
// Run: build/bench/bench_player.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/media/streamer/dk_streamer_item.h"
#include "platform/media/core/deinterlacer.h"
#include "platform/media/core/frame_converter.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/net/tls_policy.h"
#include "platform/ui/layer.h"
#include "player/kl_player_view_model.h"
#include "recording_video.h"

namespace {

using dk::platform::MainRunLoop;

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the main loop until idle and answers how many tasks ran.
long pumpCounting() {
  long calls = 0;
  MainRunLoop::runUntil([&] {
    ++calls;
    return false;
  });
  return calls > 0 ? calls - 1 : 0;  // the last call is the idle check
}

struct Token : dk::platform::DKAccessTokenProviderDelegate {
  std::string token;
  std::string accessToken() const override { return token; }
};

struct Camera : dk::PlayerCameraInterface {
  int64_t id = 0;
  dk::platform::ObjectPtr underlyingObject() const override { return nullptr; }
  int64_t playerCameraID() const override { return id; }
  std::string cameraName() const override { return "bench"; }
  bool microphoneEnabled() const override { return false; }
  bool isRecording() const override { return true; }
};

struct Recording : dk::PlayerRecordingInterface {
  int64_t camera = 0, recording = 0;
  double start = 0;
  dk::platform::ObjectPtr underlyingObject() const override { return nullptr; }
  int64_t playerCameraID() const override { return camera; }
  int64_t playerRecordingID() const override { return recording; }
  double startTime() const override { return start; }
  double endTime() const override { return start + 3600; }
  double recordingDuration() const override { return 3600; }
};

struct Quiet : dk::PlayerViewModelDelegate {
  long ticks = 0;
  void streamerDidStartLoading() override {}
  void streamerDidEndLoading() override {}
  void streamerDidStartStreaming() override {}
  void streamerDidPauseStreaming() override {}
  void streamerDidEndStreaming() override {}
  void streamerTimeDidChangeToTime(double) override { ++ticks; }
  void streamerDidUpdateSpeedWithRate(double) override {}
  void audioInputDidStartPushToTalk() override {}
  void audioInputDidEndPushToTalk() override {}
  void audioInputDidFailPushToTalkWithError(const dk::platform::ErrorPtr&) override {}
  void snapshotWasCreated(const dk::platform::ImagePtr&) override {}
  void playerShouldDisplayErrorToastWithText(const std::optional<std::string>&) override {}
  void playerShouldDisplayInfoToastWithText(const std::optional<std::string>&, double) override {}
};

// The local cloud with one closed recording of `seconds` on the first camera, the streamer
// pointed at it with its token, and the manual clock; undone when it goes.
struct BenchCloud {
  BenchCloud(double seconds, dk::cloudsim::World::VideoQuality quality) {
    MainRunLoop::bindToCurrentThread();
    dk::platform::setClock(clock);
    dk::cloudsim::GenerateOptions generate;
    generate.cameras = 2;
    generate.days = 1;
    auto world = dk::cloudsim::World::generate(generate);
    world.videoQuality = quality;
    cameraId = world.cameras.front().cameraId;
    recordingId = world.startRecording(cameraId, start);
    world.closeRecording(recordingId, start + seconds);
    dk::cloudsim::CloudSimOptions options;
    options.https = true;  // the token goes to the cloud over https only
    sim = std::make_unique<dk::cloudsim::CloudSim>(std::move(world), options);
    sim->start();
    const std::string caFile = (std::filesystem::temp_directory_path() / "dk-bench-player-ca.pem").string();
    sim->writeCaCertificate(caFile);
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    dk::platform::StreamerEnvironment::install({sim->baseUrl()});
    token->token = sim->accessToken();
    dk::platform::DKAccessTokenProvider::setDelegate(token);
  }
  ~BenchCloud() {
    dk::platform::DKAccessTokenProvider::setDelegate({});
    dk::platform::setClock(nullptr);
  }

  std::shared_ptr<dk::platform::ManualClock> clock = std::make_shared<dk::platform::ManualClock>(1700000000.0);
  const double start = 1699990000.0;
  int64_t cameraId = 0, recordingId = 0;
  std::unique_ptr<dk::cloudsim::CloudSim> sim;
  std::shared_ptr<Token> token = std::make_shared<Token>();
};

void BM_HourOfRecordingAt10x(benchmark::State& state) {
  BenchCloud cloud(3600, dk::cloudsim::World::VideoQuality::Small);
  auto& clock = cloud.clock;
  const int64_t cameraId = cloud.cameraId, recordingId = cloud.recordingId;
  const double start = cloud.start;

  auto camera = std::make_shared<Camera>();
  camera->id = cameraId;
  auto recording = std::make_shared<Recording>();
  recording->camera = cameraId;
  recording->recording = recordingId;
  recording->start = start;
  auto delegate = std::make_shared<Quiet>();
  long tasks = 0;
  double cpu = 0, played = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto model = dk::KLPlayerViewModel::initWithCamera(camera, recording, std::make_shared<dk::platform::Layer>(),
                                                       delegate);
    model->setRecording(recording);
    MainRunLoop::runUntilIdle(120);  // fetch (and, the first time, encode) the hour of video
    model->setRate(10.0);
    MainRunLoop::runUntilIdle();
    state.ResumeTiming();
    const double cpuBefore = processCpuSeconds();
    const double from = model->cameraStreamer()->currentTime();
    for (int step = 0; step < 3600; ++step) {
      clock->advance(0.1);
      tasks += pumpCounting();
    }
    played += model->cameraStreamer()->currentTime() - from;
    cpu += processCpuSeconds() - cpuBefore;
  }
  state.counters["main_tasks_per_played_s"] = static_cast<double>(tasks) / played;
  state.counters["cpu_us_per_played_s"] = cpu * 1e6 / played;
  state.counters["played_s"] = played / static_cast<double>(state.iterations());
}
BENCHMARK(BM_HourOfRecordingAt10x)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_TenTimesOn1080p(benchmark::State& state) {
  BenchCloud cloud(60, dk::cloudsim::World::VideoQuality::Hd1080);
  auto& clock = cloud.clock;
  const int64_t cameraId = cloud.cameraId, recordingId = cloud.recordingId;

  std::vector<double> lags;
  double played = 0, clockSeconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto streamer = dk::platform::DKCameraStreamer::initWithLayer(std::make_shared<dk::platform::Layer>());
    streamer->setCurrentItem(dk::platform::DKStreamerItem::itemWithCameraId(cameraId, recordingId));
    MainRunLoop::runUntil([&] { return streamer->status() != dk::platform::DKCameraStreamerStatusPreparing; }, 600);
    streamer->setRate(10);
    state.ResumeTiming();
    // Five seconds of real time: fifty of video.
    const auto begin = std::chrono::steady_clock::now();
    auto last = begin;
    const double from = streamer->currentTime();
    while (last - begin < std::chrono::seconds(5)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const auto now = std::chrono::steady_clock::now();
      const double step = std::chrono::duration<double>(now - last).count();
      last = now;
      clock->advance(step);
      clockSeconds += step;
      MainRunLoop::runPending();
      if (streamer->currentFrameTime() >= 0) lags.push_back(streamer->currentTime() - streamer->currentFrameTime());
    }
    played += streamer->currentTime() - from;
    streamer->setRate(0);
    state.PauseTiming();
    streamer.reset();
    MainRunLoop::runUntilIdle();
    state.ResumeTiming();
  }
  std::sort(lags.begin(), lags.end());
  const auto at = [&](double q) { return lags.empty() ? -1.0 : lags[static_cast<size_t>(q * (lags.size() - 1))]; };
  state.counters["rate_held"] = clockSeconds > 0 ? played / clockSeconds : 0;
  state.counters["lag_p50_s"] = at(0.5);
  state.counters["lag_p99_s"] = at(0.99);
  state.counters["lag_max_s"] = at(1.0);
}
BENCHMARK(BM_TenTimesOn1080p)->Unit(benchmark::kMillisecond)->Iterations(1);

// FFmpeg's own seek, decode and conversion of frame `index` (`pts` its timestamp).
// The yardstick's conversion: a decoded picture to BGRA in a buffer of its own, as a bare FFmpeg
// program does it (with slack past the last row for the converter's block stores).
void bareToBGRA(const AVFrame* frame, SwsContext** scaler, std::vector<uint8_t>* pixels) {
  const int w = frame->width, h = frame->height;
  *scaler = sws_getCachedContext(*scaler, w, h, static_cast<AVPixelFormat>(frame->format), w, h, AV_PIX_FMT_BGRA,
                                 SWS_BILINEAR, nullptr, nullptr, nullptr);
  pixels->resize(static_cast<size_t>(w) * h * 4 + 256);
  uint8_t* out[1] = {pixels->data()};
  const int stride[1] = {w * 4};
  sws_scale(*scaler, frame->data, frame->linesize, 0, h, out, stride);
}

struct Bare {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* scaler = nullptr;
  int stream = -1;
  std::vector<int64_t> pts;
  std::vector<uint8_t> pixels;

  explicit Bare(const std::string& path) {
    avformat_open_input(&format, path.c_str(), nullptr, nullptr);
    avformat_find_stream_info(format, nullptr);
    stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* decoder = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
    codec = avcodec_alloc_context3(decoder);
    avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
    avcodec_open2(codec, decoder, nullptr);
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == stream) pts.push_back(packet->pts);
      av_packet_unref(packet);
    }
    std::sort(pts.begin(), pts.end());
  }
  ~Bare() {
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
  bool decode(size_t index) {
    av_seek_frame(format, stream, pts[index], AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec);
    while (av_read_frame(format, packet) >= 0) {
      const bool mine = packet->stream_index == stream;
      if (mine) avcodec_send_packet(codec, packet);
      av_packet_unref(packet);
      if (!mine) continue;
      while (avcodec_receive_frame(codec, frame) == 0) {
        if (frame->best_effort_timestamp >= pts[index]) {
          bareToBGRA(frame, &scaler, &pixels);
          av_frame_unref(frame);
          return true;
        }
        av_frame_unref(frame);
      }
    }
    return false;
  }
};

void BM_DecodeOneFrame(benchmark::State& state) {
  dk::cloudsim::detail::VideoSpec spec;
  spec.label = "Bench";
  spec.startTime = 1699990000.0;
  spec.duration = 600;
  const std::string bytes = dk::cloudsim::detail::encodeLabelledVideo(spec);
  const auto path = std::filesystem::temp_directory_path() / ("dk-bench-" + std::to_string(::getpid()) + ".mp4");
  std::ofstream(path, std::ios::binary) << bytes;
  dk::platform::VideoDecoder ours;
  ours.open(path.string());
  Bare bare(path.string());
  std::mt19937 random(7);
  std::uniform_int_distribution<size_t> pick(0, ours.frameCount() - 1);
  double oursSeconds = 0, bareSeconds = 0;
  for (auto _ : state) {
    const size_t index = pick(random);
    auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(ours.frameAt(index));
    auto t1 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(bare.decode(index));
    auto t2 = std::chrono::steady_clock::now();
    oursSeconds += std::chrono::duration<double>(t1 - t0).count();
    bareSeconds += std::chrono::duration<double>(t2 - t1).count();
  }
  state.counters["ours_us"] = oursSeconds * 1e6 / static_cast<double>(state.iterations());
  state.counters["ffmpeg_us"] = bareSeconds * 1e6 / static_cast<double>(state.iterations());
  state.counters["vs_ffmpeg"] = oursSeconds / bareSeconds;
  std::filesystem::remove(path);
}
BENCHMARK(BM_DecodeOneFrame)->Unit(benchmark::kMicrosecond);

// Every frame of the file decoded front to back and converted into one reused BGRA buffer, the
// decoder threaded as VideoDecoder threads it at this size.
long bareSequentialDecode(const std::string& path) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return 0;
  avformat_find_stream_info(format, nullptr);
  const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* decoder = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
  codec->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
  codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  avcodec_open2(codec, decoder, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* scaler = nullptr;
  std::vector<uint8_t> pixels;
  long frames = 0;
  auto drain = [&] {
    while (avcodec_receive_frame(codec, frame) == 0) {
      bareToBGRA(frame, &scaler, &pixels);
      av_frame_unref(frame);
      ++frames;
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == stream) avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    drain();
  }
  avcodec_send_packet(codec, nullptr);
  drain();
  sws_freeContext(scaler);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&codec);
  avformat_close_input(&format);
  return frames;
}

void BM_MinuteAt1x720p(benchmark::State& state) {
  dk::cloudsim::detail::VideoSpec spec;
  spec.label = "Bench";
  spec.startTime = 1699990000.0;
  spec.duration = 60;
  spec.h264 = true;
  spec.fps = 25;
  spec.width = 1280;
  spec.height = 720;
  const std::string bytes = dk::cloudsim::detail::encodeLabelledVideo(spec);
  const auto path = std::filesystem::temp_directory_path() / ("dk-bench-720-" + std::to_string(::getpid()) + ".mp4");
  std::ofstream(path, std::ios::binary) << bytes;
  double oursCpu = 0, bareCpu = 0;
  long oursFrames = 0, bareFrames = 0;
  for (auto _ : state) {
    const double t0 = processCpuSeconds();
    {
      dk::platform::VideoDecoder ours;
      ours.open(path.string());
      for (size_t i = 0; i < ours.frameCount(); ++i) oursFrames += ours.frameAt(i) != nullptr;
    }
    const double t1 = processCpuSeconds();
    bareFrames += bareSequentialDecode(path.string());
    const double t2 = processCpuSeconds();
    oursCpu += t1 - t0;
    bareCpu += t2 - t1;
  }
  const double minutes = static_cast<double>(state.iterations()) * spec.duration / 60.0;
  state.counters["cpu_s_ours"] = oursCpu / minutes;
  state.counters["cpu_s_ffmpeg"] = bareCpu / minutes;
  state.counters["vs_ffmpeg"] = bareCpu > 0 ? oursCpu / bareCpu : 0;
  state.counters["frames_ours"] = static_cast<double>(oursFrames) / static_cast<double>(state.iterations());
  state.counters["frames_ffmpeg"] = static_cast<double>(bareFrames) / static_cast<double>(state.iterations());
  std::filesystem::remove(path);
}
BENCHMARK(BM_MinuteAt1x720p)->Unit(benchmark::kMillisecond)->Iterations(3);

// A 1920x1080 YUV 4:2:0 picture to paint.
AVFrame* picture1080() {
  AVFrame* frame = av_frame_alloc();
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = 1920;
  frame->height = 1080;
  av_frame_get_buffer(frame, 0);
  return frame;
}

// One 1920x1080 picture converted to a platform image: as stored (0), and turned a quarter as a
// recording whose display matrix says so (1), which costs one more pass over the pixels.
void BM_ConvertPicture1080p(benchmark::State& state) {
  AVFrame* frame = picture1080();
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? frame->height : frame->height / 2;
    for (int y = 0; y < rows; ++y) std::fill_n(frame->data[plane] + y * frame->linesize[plane], frame->linesize[plane], y & 0xff);
  }
  dk::platform::FrameConverter converter;
  if (state.range(0) == 1) converter.setOrientation({0, 1, -1, 0});
  for (auto _ : state) benchmark::DoNotOptimize(converter.convert(frame));
  av_frame_free(&frame);
}
BENCHMARK(BM_ConvertPicture1080p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One interlaced 1920x1080 picture of moving bars made whole: one after another as in playback
// (0), or each alone as after a seek (1).
void BM_DeinterlacePicture1080i(benchmark::State& state) {
  AVFrame* frame = picture1080();
  frame->interlaced_frame = 1;
  frame->top_field_first = 1;
  for (int y = 0; y < frame->height; ++y) {
    for (int x = 0; x < frame->width; ++x) frame->data[0][y * frame->linesize[0] + x] = ((x + (y & 1) * 5) % 32) < 12 ? 220 : 40;
  }
  for (int plane = 1; plane < 3; ++plane) {
    for (int y = 0; y < frame->height / 2; ++y) std::fill_n(frame->data[plane] + y * frame->linesize[plane], frame->width / 2, 128);
  }
  dk::platform::Deinterlacer played;
  int64_t pts = 0;
  for (auto _ : state) {
    frame->pts = pts++;
    if (state.range(0) == 0) {
      benchmark::DoNotOptimize(played.apply(frame));
    } else {
      dk::platform::Deinterlacer alone;
      benchmark::DoNotOptimize(alone.apply(frame));
    }
  }
  av_frame_free(&frame);
}
BENCHMARK(BM_DeinterlacePicture1080i)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
