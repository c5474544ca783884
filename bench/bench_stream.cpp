// Time to the first frame of a one-hour 1280x720 H.264 recording read piecewise over HTTPS on
// loopback.
//
// BM_FirstFrameStreamer/<second>: a DKCameraStreamer prepares a one-hour recording of the local
// cloud and shows the frame at <second> (0: the start; 2700: minute 45): from setCurrentItem to
// that frame on the layer, a fresh streamer (and so an empty cache) every time.
// BM_FirstFrameFFmpeg/<second>: a bare libavformat program doing the same open, seek and decode
// of the same URL with FFmpeg's own https reader, the frame converted to BGRA as ours is.
// Side by side in one run; ours should stay within 1.5x of theirs.
//
// BM_SeekStreamer/<link>, BM_SeekFFmpeg/<link>: the timeline's hand-off to minute 15 of a
// twenty-minute 1280x720 recording: ours prepares the item and seeks once it is ready (as the
// view model does), theirs opens, seeks and decodes; link 0 is loopback, link 1 a 50 Mbit/s line
// with a 20 ms round trip (a relay in front of the local cloud). Counter: bytes the cloud sent.
// Ours should stay within 1.5x of theirs over the line.
//
// BM_MoovAtEndStreamer/<second>, BM_MoovAtEndFFmpeg/<second>: a closed ten-minute 1280x720
// recording with its index at the end (as a camera closes its file), over a line with 200 ms
// round trips: the first picture (0) or the hand-off to 7:30 (450). Counters: requests and bytes.
// Ours should stay within 1.2x of theirs: the index comes in one range after the first piece.
//
// BM_FirstFrameFragmented/<seconds>/<index>: the first frame of a fragmented 1280x720 recording
// (a fragment every two seconds) of 20 s or 5 minutes, without an index of its fragments (0) or
// with one at its end (1), over the 50 Mbit/s, 20 ms line. Counters: requests and bytes; neither
// should grow with the recording's length.
//
// BM_FarSeekStreamer/<minutes>/<shape>, BM_FarSeekFFmpeg/<minutes>/<shape>: the timeline's hand-off
// to three quarters of a fragmented recording of 1 or 30 minutes (the small picture, a fragment
// every two seconds) over the 50 Mbit/s, 20 ms line: ours prepares the item and seeks once it is
// ready; theirs opens (with its random access box option), seeks and decodes. Shapes: 0 an index
// at the end (mfra), 1 no index, 2 the first fragment in the movie box (with mfra), 3 the same
// without an index. Counters: requests and bytes to the picture there. (A segment index up front
// is measured in the decoder's tests: the cloud's in-memory muxer cannot write one.)
//
// BM_FarSeekCameraStreamer/<height>/<minutes>/<shape>, BM_FarSeekCameraFFmpeg/...: the same hand-off
// to three quarters of recordings at the weights cameras write (far_seek_media.h: 640x360 at about
// 1.4 Mbit/s or 1080p at 4 Mbit/s, a fragment every two seconds) of 10 or 30 minutes, over the
// same line. Shapes: 0 no index, 1 an index at the end (mfra), 2 a segment index up front (sidx),
// 3 open groups of pictures with a segment index. The time is the frame before a fragment's key
// frame (in open groups, a picture decoded from the fragment before). The files are made once and kept under the
// build folder (bench-media). Counters: requests and bytes to the picture there.
//
// Run: build/bench/bench_stream.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include "cloud-sim/cloud_sim.h"
#include "far_seek_media.h"
#include "link_relay.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/tls_policy.h"
#include "platform/ui/layer.h"

namespace {

using dk::platform::MainRunLoop;

struct Token : dk::platform::DKAccessTokenProviderDelegate {
  std::string token;
  std::string accessToken() const override { return token; }
};

// One local cloud with a closed recording of `seconds`, made once for the whole run.
struct ClosedRecordingCloud {
  std::unique_ptr<dk::cloudsim::CloudSim> sim;
  std::string caFile, path;
  int64_t cameraId = 0, recordingId = 0;
  std::shared_ptr<Token> token = std::make_shared<Token>();

  explicit ClosedRecordingCloud(double seconds = 3600, const std::string& caName = "dk-bench-stream-ca.pem") {
    dk::cloudsim::GenerateOptions generate;
    generate.cameras = 1;
    generate.days = 1;
    auto world = dk::cloudsim::World::generate(generate);
    // A camera's real stream: 1280x720 25 fps H.264 with B-frames and a 2 s GOP.
    world.videoQuality = dk::cloudsim::World::VideoQuality::Hd720;
    cameraId = world.cameras.front().cameraId;
    const double start = 1699990000.0;
    recordingId = world.startRecording(cameraId, start);
    world.closeRecording(recordingId, start + seconds);
    dk::cloudsim::CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<dk::cloudsim::CloudSim>(std::move(world), options);
    sim->start();
    caFile = (std::filesystem::temp_directory_path() / caName).string();
    sim->writeCaCertificate(caFile);
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    dk::platform::StreamerEnvironment::install({sim->baseUrl()});
    token->token = sim->accessToken();
    dk::platform::DKAccessTokenProvider::setDelegate(token);
    path = "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(recordingId) + ".mp4";
  }
  std::string url() const { return sim->baseUrl() + path; }
};

ClosedRecordingCloud& cloud() {
  static ClosedRecordingCloud c;
  return c;
}

// Shows the frame at `second` of a recording through a fresh streamer; false when it did not.
bool streamerShows(int64_t cameraId, int64_t recordingId, double second) {
  auto streamer = dk::platform::DKCameraStreamer::initWithLayer(std::make_shared<dk::platform::Layer>());
  streamer->setCurrentItem(dk::platform::DKStreamerItem::itemWithCameraId(cameraId, recordingId));
  if (!MainRunLoop::runUntil([&] { return streamer->currentFrame() != nullptr; }, 120)) return false;
  if (second <= 0) return true;
  const auto shown = streamer->currentFrame();
  streamer->seekTo(second);
  return MainRunLoop::runUntil([&] { return streamer->currentFrame() != shown; }, 120);
}
bool streamerShows(const ClosedRecordingCloud& c, double second) { return streamerShows(c.cameraId, c.recordingId, second); }

void BM_FirstFrameStreamer(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  ClosedRecordingCloud& c = cloud();
  const double second = static_cast<double>(state.range(0));
  if (!streamerShows(c, second)) state.SkipWithError("no frame");  // also makes the video once
  for (auto _ : state) {
    if (!streamerShows(c, second)) state.SkipWithError("no frame");
  }
  MainRunLoop::runUntilIdle();
}
BENCHMARK(BM_FirstFrameStreamer)->Arg(0)->Arg(2700)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with FFmpeg alone: open over its https reader, seek, decode, convert.
bool ffmpegShows(const std::string& url, const std::string& token, const std::string& caFile, double second,
                 const char* demuxerOptions = nullptr) {
  AVDictionary* options = nullptr;
  if (demuxerOptions) av_dict_parse_string(&options, demuxerOptions, "=", ":", 0);
  av_dict_set(&options, "headers", ("Authorization: Bearer " + token + "\r\n").c_str(), 0);
  av_dict_set(&options, "ca_file", caFile.c_str(), 0);
  av_dict_set(&options, "tls_verify", "1", 0);
  AVFormatContext* format = nullptr;
  bool shown = false;
  if (avformat_open_input(&format, url.c_str(), nullptr, &options) == 0 &&
      avformat_find_stream_info(format, nullptr) >= 0) {
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVStream* stream = index >= 0 ? format->streams[index] : nullptr;
    const AVCodec* decoder = stream ? avcodec_find_decoder(stream->codecpar->codec_id) : nullptr;
    AVCodecContext* codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
    if (codec && avcodec_parameters_to_context(codec, stream->codecpar) >= 0 && avcodec_open2(codec, decoder, nullptr) == 0) {
      const auto target = static_cast<int64_t>(second / av_q2d(stream->time_base));
      av_seek_frame(format, index, target, AVSEEK_FLAG_BACKWARD);
      AVPacket* packet = av_packet_alloc();
      AVFrame* frame = av_frame_alloc();
      while (!shown && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(codec, packet) == 0) {
          while (avcodec_receive_frame(codec, frame) == 0) {
            if (frame->best_effort_timestamp < target) continue;
            SwsContext* scaler = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                                frame->width, frame->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr,
                                                nullptr, nullptr);
            std::vector<uint8_t> pixels(static_cast<size_t>(frame->width) * frame->height * 4);
            uint8_t* destination[1] = {pixels.data()};
            const int stride[1] = {frame->width * 4};
            sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, destination, stride);
            sws_freeContext(scaler);
            benchmark::DoNotOptimize(pixels.data());
            shown = true;
            break;
          }
        }
        av_packet_unref(packet);
      }
      av_frame_free(&frame);
      av_packet_free(&packet);
    }
    avcodec_free_context(&codec);
  }
  avformat_close_input(&format);
  av_dict_free(&options);
  return shown;
}

void BM_FirstFrameFFmpeg(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  ClosedRecordingCloud& c = cloud();
  const double second = static_cast<double>(state.range(0));
  if (!streamerShows(c, 0)) state.SkipWithError("no video");  // makes the video once
  for (auto _ : state) {
    if (!ffmpegShows(c.url(), c.sim->accessToken(), c.caFile, second)) state.SkipWithError("no frame");
  }
}
BENCHMARK(BM_FirstFrameFFmpeg)->Arg(0)->Arg(2700)->Unit(benchmark::kMillisecond)->UseRealTime();

// A closed twenty-minute recording, reached directly or through a 50 Mbit/s, 20 ms line.
struct TwentyMinuteCloud : ClosedRecordingCloud {
  std::unique_ptr<dk::bench::LinkRelay> line;

  TwentyMinuteCloud() : ClosedRecordingCloud(1200, "dk-bench-seek-ca.pem") {
    line = std::make_unique<dk::bench::LinkRelay>(sim->port(), 50e6, std::chrono::milliseconds(20));
  }
  std::string base(bool overLine) const {
    return overLine ? "https://127.0.0.1:" + std::to_string(line->port()) : sim->baseUrl();
  }
  void use(bool overLine) const {
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    dk::platform::StreamerEnvironment::install({base(overLine)});
    dk::platform::DKAccessTokenProvider::setDelegate(token);
  }
};

TwentyMinuteCloud& twentyMinutes() {
  static TwentyMinuteCloud c;
  return c;
}

constexpr double kHandOffSecond = 900;

// The hand-off to `second`: the item, then the seek once it is ready; done when a frame at most
// `early` before it is on the layer.
bool streamerSeeksTo(int64_t cameraId, int64_t recordingId, double second, double early) {
  auto streamer = dk::platform::DKCameraStreamer::initWithLayer(std::make_shared<dk::platform::Layer>());
  streamer->setCurrentItem(dk::platform::DKStreamerItem::itemWithCameraId(cameraId, recordingId));
  if (!MainRunLoop::runUntil([&] { return streamer->status() != dk::platform::DKCameraStreamerStatusPreparing; }, 120) ||
      streamer->status() != dk::platform::DKCameraStreamerStatusReadyToPlay) {
    return false;
  }
  if (second <= 0) return MainRunLoop::runUntil([&] { return streamer->currentFrame() != nullptr; }, 120);
  streamer->seekTo(second);
  return MainRunLoop::runUntil([&] { return streamer->currentFrameTime() >= second - early; }, 120);
}
bool streamerSeeks(const ClosedRecordingCloud& c, double second = kHandOffSecond) {
  return streamerSeeksTo(c.cameraId, c.recordingId, second, 0.05);
}

void BM_SeekStreamer(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  const TwentyMinuteCloud& c = twentyMinutes();
  const bool overLine = state.range(0) != 0;
  c.use(overLine);
  if (!streamerSeeks(c)) state.SkipWithError("no frame");  // also makes the video once
  const int64_t before = c.line->bytesDown();
  const auto sent = c.sim->requestsTo(c.path).size();
  for (auto _ : state) {
    if (!streamerSeeks(c)) state.SkipWithError("no frame");
  }
  if (overLine) state.counters["bytes"] = static_cast<double>(c.line->bytesDown() - before) / state.iterations();
  state.counters["requests"] = static_cast<double>(c.sim->requestsTo(c.path).size() - sent) / state.iterations();
  MainRunLoop::runUntilIdle();
}
BENCHMARK(BM_SeekStreamer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SeekFFmpeg(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  const TwentyMinuteCloud& c = twentyMinutes();
  const bool overLine = state.range(0) != 0;
  c.use(false);
  if (!streamerSeeks(c)) state.SkipWithError("no video");  // makes the video once
  const std::string url = c.base(overLine) + c.path;
  const int64_t before = c.line->bytesDown();
  const auto sent = c.sim->requestsTo(c.path).size();
  for (auto _ : state) {
    if (!ffmpegShows(url, c.sim->accessToken(), c.caFile, kHandOffSecond)) state.SkipWithError("no frame");
  }
  if (overLine) state.counters["bytes"] = static_cast<double>(c.line->bytesDown() - before) / state.iterations();
  state.counters["requests"] = static_cast<double>(c.sim->requestsTo(c.path).size() - sent) / state.iterations();
}
BENCHMARK(BM_SeekFFmpeg)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A closed ten-minute recording reached through a line with 200 ms round trips.
struct SlowReplyCloud : ClosedRecordingCloud {
  std::unique_ptr<dk::bench::LinkRelay> line;

  SlowReplyCloud() : ClosedRecordingCloud(600, "dk-bench-moov-ca.pem") {
    line = std::make_unique<dk::bench::LinkRelay>(sim->port(), 50e6, std::chrono::milliseconds(200));
  }
  std::string base() const { return "https://127.0.0.1:" + std::to_string(line->port()); }
  void use() const {
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    dk::platform::StreamerEnvironment::install({base()});
    dk::platform::DKAccessTokenProvider::setDelegate(token);
  }
};

SlowReplyCloud& slowReplies() {
  static SlowReplyCloud c;
  return c;
}

void BM_MoovAtEndStreamer(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  const SlowReplyCloud& c = slowReplies();
  const auto second = static_cast<double>(state.range(0));
  c.use();
  if (!streamerSeeks(c, second)) state.SkipWithError("no frame");  // also makes the video once
  const int64_t before = c.line->bytesDown();
  const auto sent = c.sim->requestsTo(c.path).size();
  for (auto _ : state) {
    if (!streamerSeeks(c, second)) state.SkipWithError("no frame");
  }
  state.counters["bytes"] = static_cast<double>(c.line->bytesDown() - before) / state.iterations();
  state.counters["requests"] = static_cast<double>(c.sim->requestsTo(c.path).size() - sent) / state.iterations();
  MainRunLoop::runUntilIdle();
}
BENCHMARK(BM_MoovAtEndStreamer)->Arg(0)->Arg(450)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MoovAtEndFFmpeg(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  const SlowReplyCloud& c = slowReplies();
  const auto second = static_cast<double>(state.range(0));
  c.use();
  if (!streamerSeeks(c, second)) state.SkipWithError("no video");  // makes the video once
  const std::string url = c.base() + c.path;
  const int64_t before = c.line->bytesDown();
  const auto sent = c.sim->requestsTo(c.path).size();
  for (auto _ : state) {
    if (!ffmpegShows(url, c.sim->accessToken(), c.caFile, second)) state.SkipWithError("no frame");
  }
  state.counters["bytes"] = static_cast<double>(c.line->bytesDown() - before) / state.iterations();
  state.counters["requests"] = static_cast<double>(c.sim->requestsTo(c.path).size() - sent) / state.iterations();
}
BENCHMARK(BM_MoovAtEndFFmpeg)->Arg(0)->Arg(450)->Unit(benchmark::kMillisecond)->UseRealTime();

// Fragmented recordings of 20 s and of 5 minutes on one cloud, reached through the line.
struct FragmentedCloud : ClosedRecordingCloud {
  std::unique_ptr<dk::bench::LinkRelay> line;
  int64_t shortId = 0;

  FragmentedCloud() : ClosedRecordingCloud(300, "dk-bench-fragmented-ca.pem") {
    sim->updateWorld([this](dk::cloudsim::World& w) {
      shortId = w.startRecording(cameraId, 1699990000.0 - 100);
      w.closeRecording(shortId, 1699990000.0 - 80);
    });
    line = std::make_unique<dk::bench::LinkRelay>(sim->port(), 50e6, std::chrono::milliseconds(20));
  }
  void use(bool indexed) const {
    sim->updateWorld([indexed](dk::cloudsim::World& w) {
      w.recordingMovflags = indexed ? "frag_keyframe+empty_moov+default_base_moof"
                                    : "frag_keyframe+empty_moov+default_base_moof+skip_trailer";
    });
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    dk::platform::StreamerEnvironment::install({"https://127.0.0.1:" + std::to_string(line->port())});
    dk::platform::DKAccessTokenProvider::setDelegate(token);
  }
};

void BM_FirstFrameFragmented(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  static FragmentedCloud c;
  c.use(state.range(1) != 0);
  const int64_t id = state.range(0) == 20 ? c.shortId : c.recordingId;
  const std::string path = "/media/cameras/" + std::to_string(c.cameraId) + "/recordings/" + std::to_string(id) + ".mp4";
  if (!streamerShows(c.cameraId, id, 0)) state.SkipWithError("no frame");  // also makes the video once
  const int64_t before = c.line->bytesDown();
  const auto sent = c.sim->requestsTo(path).size();
  for (auto _ : state) {
    if (!streamerShows(c.cameraId, id, 0)) state.SkipWithError("no frame");
  }
  state.counters["bytes"] = static_cast<double>(c.line->bytesDown() - before) / state.iterations();
  state.counters["requests"] = static_cast<double>(c.sim->requestsTo(path).size() - sent) / state.iterations();
  MainRunLoop::runUntilIdle();
}
BENCHMARK(BM_FirstFrameFragmented)
    ->Args({20, 0})
    ->Args({300, 0})
    ->Args({20, 1})
    ->Args({300, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Fragmented recordings of 1 and 30 minutes on one cloud, reached through the line.
struct FarSeekCloud : ClosedRecordingCloud {
  std::unique_ptr<dk::bench::LinkRelay> line;
  int64_t minuteId = 0;

  FarSeekCloud() : ClosedRecordingCloud(1800, "dk-bench-far-ca.pem") {
    sim->updateWorld([this](dk::cloudsim::World& w) {
      w.videoQuality = dk::cloudsim::World::VideoQuality::Small;
      minuteId = w.startRecording(cameraId, 1699990000.0 - 100);
      w.closeRecording(minuteId, 1699990000.0 - 40);
    });
    line = std::make_unique<dk::bench::LinkRelay>(sim->port(), 50e6, std::chrono::milliseconds(20));
  }
  static const char* movflags(int64_t shape) {
    switch (shape) {
      case 0: return "frag_keyframe+empty_moov+default_base_moof";
      case 1: return "frag_keyframe+empty_moov+default_base_moof+skip_trailer";
      case 2: return "frag_keyframe";
      default: return "frag_keyframe+skip_trailer";
    }
  }
  void use(int64_t shape) const {
    sim->updateWorld([shape](dk::cloudsim::World& w) { w.recordingMovflags = movflags(shape); });
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    dk::platform::StreamerEnvironment::install({"https://127.0.0.1:" + std::to_string(line->port())});
    dk::platform::DKAccessTokenProvider::setDelegate(token);
  }
  std::string pathOf(int64_t id) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(id) + ".mp4";
  }
};

FarSeekCloud& farSeekCloud() {
  static FarSeekCloud c;
  return c;
}

void farSeek(benchmark::State& state, bool ours) {
  MainRunLoop::bindToCurrentThread();
  FarSeekCloud& c = farSeekCloud();
  const int64_t id = state.range(0) == 1 ? c.minuteId : c.recordingId;
  const double second = static_cast<double>(state.range(0)) * 60 * 3 / 4;
  c.use(state.range(1));
  if (!streamerSeeksTo(c.cameraId, id, 0, 0)) state.SkipWithError("no video");  // makes the video once
  const int64_t before = c.line->bytesDown();
  const auto sent = c.sim->requestsTo(c.pathOf(id)).size();
  const std::string url = "https://127.0.0.1:" + std::to_string(c.line->port()) + c.pathOf(id);
  for (auto _ : state) {
    // (A picture every half second.)
    const bool shown = ours ? streamerSeeksTo(c.cameraId, id, second, 0.6)
                            : ffmpegShows(url, c.sim->accessToken(), c.caFile, second, "use_mfra_for=pts");
    if (!shown) state.SkipWithError("no frame");
  }
  state.counters["bytes"] = static_cast<double>(c.line->bytesDown() - before) / state.iterations();
  state.counters["requests"] = static_cast<double>(c.sim->requestsTo(c.pathOf(id)).size() - sent) / state.iterations();
  MainRunLoop::runUntilIdle();
}

// Camera-weight recordings on one cloud, served from files, reached through the line.
struct CameraWeightCloud : ClosedRecordingCloud {
  std::unique_ptr<dk::bench::LinkRelay> line;
  std::map<std::string, int64_t> recordings;  // by file

  CameraWeightCloud() : ClosedRecordingCloud(60, "dk-bench-camera-ca.pem") {
    line = std::make_unique<dk::bench::LinkRelay>(sim->port(), 50e6, std::chrono::milliseconds(20));
  }
  static dk::bench::FarSeekMedia media(const benchmark::State& state) {
    dk::bench::FarSeekMedia m;
    m.height = static_cast<int>(state.range(0));
    m.width = m.height >= 1080 ? 1920 : 640;
    m.minutes = static_cast<int>(state.range(1));
    m.openGop = state.range(2) == 3;
    const std::string fragmented = "frag_keyframe+empty_moov+default_base_moof";
    m.movflags = state.range(2) == 0 ? fragmented + "+skip_trailer"
                 : state.range(2) == 1 ? fragmented
                                       : fragmented + "+global_sidx+skip_trailer";
    return m;
  }
  // The recording of that file (made when it is not on disk yet); 0 when it cannot be made.
  int64_t recordingOf(const dk::bench::FarSeekMedia& m) {
    const std::string file = dk::bench::farSeekRecording(DK_BENCH_MEDIA_DIR, m);
    if (file.empty()) return 0;
    if (auto known = recordings.find(file); known != recordings.end()) return known->second;
    int64_t id = 0;
    sim->updateWorld([&](dk::cloudsim::World& w) {
      const double start = 1699990000.0 - 86400.0 * static_cast<double>(recordings.size() + 1);
      id = w.startRecording(cameraId, start);
      w.closeRecording(id, start + m.minutes * 60.0);
      w.recordingFiles[id] = file;
    });
    recordings[file] = id;
    return id;
  }
  void use() const {
    dk::platform::TlsPolicy::setDefaultCAFile(caFile);
    dk::platform::StreamerEnvironment::install({"https://127.0.0.1:" + std::to_string(line->port())});
    dk::platform::DKAccessTokenProvider::setDelegate(token);
  }
  std::string pathOf(int64_t id) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(id) + ".mp4";
  }
};

void farSeekCamera(benchmark::State& state, bool ours) {
  MainRunLoop::bindToCurrentThread();
  static CameraWeightCloud c;
  const dk::bench::FarSeekMedia m = CameraWeightCloud::media(state);
  const int64_t id = c.recordingOf(m);
  if (id == 0) {
    state.SkipWithError("the recording cannot be made");
    return;
  }
  // A frame before a key frame: in open groups, a picture decoded from the fragment before.
  const double second = m.minutes * 60.0 * 3 / 4 - 0.04;
  c.use();
  const int64_t before = c.line->bytesDown();
  const auto sent = c.sim->requestsTo(c.pathOf(id)).size();
  const std::string url = "https://127.0.0.1:" + std::to_string(c.line->port()) + c.pathOf(id);
  for (auto _ : state) {
    const bool shown = ours ? streamerSeeksTo(c.cameraId, id, second, 0.1)
                            : ffmpegShows(url, c.sim->accessToken(), c.caFile, second, "use_mfra_for=pts");
    if (!shown) state.SkipWithError("no frame");
  }
  state.counters["bytes"] = static_cast<double>(c.line->bytesDown() - before) / state.iterations();
  state.counters["requests"] = static_cast<double>(c.sim->requestsTo(c.pathOf(id)).size() - sent) / state.iterations();
  MainRunLoop::runUntilIdle();
}

void BM_FarSeekCameraStreamer(benchmark::State& state) { farSeekCamera(state, true); }
void BM_FarSeekCameraFFmpeg(benchmark::State& state) { farSeekCamera(state, false); }
BENCHMARK(BM_FarSeekCameraStreamer)
    ->ArgsProduct({{360, 1080}, {10, 30}, {0, 1, 2, 3}})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FarSeekCameraFFmpeg)
    ->ArgsProduct({{360, 1080}, {10, 30}, {0, 1, 2, 3}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_FarSeekStreamer(benchmark::State& state) { farSeek(state, true); }
void BM_FarSeekFFmpeg(benchmark::State& state) { farSeek(state, false); }
BENCHMARK(BM_FarSeekStreamer)
    ->ArgsProduct({{1, 30}, {0, 1, 2, 3}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FarSeekFFmpeg)
    ->ArgsProduct({{1, 30}, {0, 1, 2, 3}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
