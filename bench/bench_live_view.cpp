// Time to the first live picture: a camera streamer is handed a camera's live item and the
// benchmark waits until the first frame is on its layer. Each iteration is a fresh streamer (so
// the playlist, the newest segment and its decoding are all timed) against the local cloud over
// HTTPS on loopback, on the wall clock; the TLS connection is new each time too.
//
// BM_LiveViewPeakMemory: how much a live view raises the process's peak memory (VmHWM, reset
// through /proc/self/clear_refs after a warm-up and malloc_trim) while it plays one camera
// segment through on the wall clock. Arg 0: the cloud's 1080p25 H.264 (its segment encoded
// before the window, so the cloud's encoder is not counted); arg 1: a hostile 2 s segment of 60
// black 4096 x 4096 pictures. Counters: peak_growth_mb, pictures (new pictures shown), failed.
//
// BM_LiveHevc4kAcrossSegments: a camera's 4K HEVC at 15 pictures a second (libx265's own open
// groups of pictures, a key frame each 2 s segment), cut into MPEG-TS segments by libavformat's
// hls muxer, decoded as the live view does: each segment on its own ("alone", as before), and as
// one stream across its segments. Counters: frames encoded, pictures each way, pictures a second
// of stream, pictures lost at the joins; the time is both decodings of the 6 s of video.
//
// Run: build/bench/bench_live_view.
#include <benchmark/benchmark.h>

#include <malloc.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include "cloud-sim/cloud_sim.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/tls_policy.h"
#include "platform/ui/layer.h"

namespace {

using namespace dk::platform;

struct Token : DKAccessTokenProviderDelegate {
  explicit Token(std::string t) : token(std::move(t)) {}
  std::string accessToken() const override { return token; }
  std::string token;
};

// The local cloud over HTTPS with a camera, and the streamer pointed at it with its token.
struct LiveBenchCloud {
  explicit LiveBenchCloud(dk::cloudsim::World::VideoQuality quality) {
    MainRunLoop::bindToCurrentThread();
    dk::cloudsim::GenerateOptions generate;
    generate.cameras = 2;
    generate.days = 1;
    auto world = dk::cloudsim::World::generate(generate);
    world.videoQuality = quality;
    dk::cloudsim::CloudSimOptions options;
    options.https = true;
    sim = std::make_unique<dk::cloudsim::CloudSim>(std::move(world), options);
    if (sim->start() == 0) return;
    camera = sim->world().cameras.front().cameraId;
    sim->writeCaCertificate(ca.string());
    TlsPolicy::setDefaultCAFile(ca.string());
    StreamerEnvironment::install({sim->baseUrl()});
    token = std::make_shared<Token>(sim->accessToken());
    DKAccessTokenProvider::setDelegate(token);
  }
  ~LiveBenchCloud() {
    DKAccessTokenProvider::setDelegate({});
    TlsPolicy::setDefaultCAFile("");
    std::filesystem::remove(ca);
  }
  bool started() const { return camera != 0; }

  std::unique_ptr<dk::cloudsim::CloudSim> sim;
  int64_t camera = 0;
  std::filesystem::path ca =
      std::filesystem::temp_directory_path() / ("dk-bench-live-ca-" + std::to_string(::getpid()) + ".pem");
  std::shared_ptr<Token> token;
};

void BM_TimeToFirstLiveFrame(benchmark::State& state) {
  LiveBenchCloud cloud(dk::cloudsim::World::VideoQuality::Small);
  if (!cloud.started()) {
    state.SkipWithError("the cloud did not start");
    return;
  }
  const int64_t camera = cloud.camera;
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
}
BENCHMARK(BM_TimeToFirstLiveFrame)->Unit(benchmark::kMillisecond)->Iterations(20);

// A field of /proc/self/status in kB ("VmHWM", "VmRSS").
int64_t statusKilobytes(const std::string& field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stoll(line.substr(field.size() + 1));
  }
  return -1;
}

// Encodes `input` (null: the end) and writes what comes out to `stream` of `format`.
void encodeInto(AVCodecContext* codec, const AVFrame* input, AVPacket* packet, AVFormatContext* format,
                AVStream* stream) {
  avcodec_send_frame(codec, input);
  while (avcodec_receive_packet(codec, packet) == 0) {
    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    av_interleaved_write_frame(format, packet);
  }
}

// An MPEG-TS segment of `frames` black pictures of `side` x `side`, 30 a second, in memory.
std::string blackSegment(int side, int frames) {
  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  AVFormatContext* format = nullptr;
  const auto file = std::filesystem::temp_directory_path() / ("dk-bench-black-" + std::to_string(::getpid()) + ".ts");
  if (!encoder || avformat_alloc_output_context2(&format, nullptr, "mpegts", file.c_str()) < 0) return {};
  AVCodecContext* codec = avcodec_alloc_context3(encoder);
  codec->width = codec->height = side;
  codec->pix_fmt = AV_PIX_FMT_YUV420P;
  codec->time_base = AVRational{1, 30};
  codec->gop_size = frames;
  codec->max_b_frames = 0;
  AVStream* stream = avformat_new_stream(format, nullptr);
  std::string bytes;
  if (stream && avcodec_open2(codec, encoder, nullptr) >= 0 &&
      avcodec_parameters_from_context(stream->codecpar, codec) >= 0 &&
      avio_open(&format->pb, file.c_str(), AVIO_FLAG_WRITE) >= 0 && avformat_write_header(format, nullptr) >= 0) {
    stream->time_base = codec->time_base;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = frame->height = side;
    av_frame_get_buffer(frame, 0);
    for (int plane = 0; plane < 3; ++plane) {
      std::memset(frame->data[plane], plane == 0 ? 16 : 128, static_cast<size_t>(frame->linesize[plane]) * (plane ? side / 2 : side));
    }
    auto drain = [&](AVFrame* input) { encodeInto(codec, input, packet, format, stream); };
    for (int i = 0; i < frames; ++i) {
      frame->pts = i;
      drain(frame);
    }
    drain(nullptr);
    av_write_trailer(format);
    avio_closep(&format->pb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    std::ifstream in(file, std::ios::binary);
    std::ostringstream read;
    read << in.rdbuf();
    bytes = read.str();
  }
  avcodec_free_context(&codec);
  avformat_free_context(format);
  std::filesystem::remove(file);
  return bytes;
}

void BM_LiveViewPeakMemory(benchmark::State& state) {
  const bool hostile = state.range(0) == 1;
  av_log_set_level(AV_LOG_ERROR);  // the cloud's encoder reports every segment it makes
  LiveBenchCloud cloud(dk::cloudsim::World::VideoQuality::Hd1080);
  if (!cloud.started()) {
    state.SkipWithError("the cloud did not start");
    return;
  }
  dk::cloudsim::CloudSim& sim = *cloud.sim;
  const int64_t camera = cloud.camera;
  if (hostile) {
    const int64_t newest = static_cast<int64_t>(sim.world().now / 2) - 1;
    dk::cloudsim::FaultRule rule = dk::cloudsim::FaultRule::failWith(
        "/media/cameras/" + std::to_string(camera) + "/live/" + std::to_string(newest) + ".ts", 200,
        blackSegment(4096, 60));
    rule.contentType = "video/mp2t";
    rule.times = -1;
    sim.addFault(rule);
  }

  auto play = [&](double seconds, int* pictures) {
    auto layer = std::make_shared<Layer>();
    auto streamer = DKCameraStreamer::initWithLayer(layer);
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(camera));
    MainRunLoop::runUntil([&] { return layer->contents() != nullptr || streamer->status() == 2; }, 30.0);
    streamer->setRate(1);
    ImagePtr shown = layer->contents();
    int count = shown ? 1 : 0;
    const double end = dk::platform::now() + seconds;
    while (dk::platform::now() < end && streamer->status() != 2) {
      MainRunLoop::runUntil([&] { return layer->contents() != shown || streamer->status() == 2; }, 0.05);
      if (layer->contents() != shown) {
        shown = layer->contents();
        ++count;
      }
    }
    const bool failed = streamer->status() == 2;
    if (pictures) *pictures = count;
    streamer.reset();
    MainRunLoop::runUntilIdle();
    return failed;
  };

  play(0.5, nullptr);  // the cloud encodes (and keeps) its newest segment outside the window
  int pictures = 0;
  bool failed = false;
  int64_t growth = 0;
  for (auto _ : state) {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const int64_t base = statusKilobytes("VmRSS");
    failed = play(2.5, &pictures);
    growth = statusKilobytes("VmHWM") - base;
  }
  state.counters["peak_growth_mb"] = static_cast<double>(growth) / 1024.0;
  state.counters["pictures"] = pictures;
  state.counters["failed"] = failed ? 1 : 0;
}
BENCHMARK(BM_LiveViewPeakMemory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// Segments of `seconds` seconds of a moving picture, `side` wide, 16:9, from libx265 through
// the hls muxer (MPEG-TS), each read back into memory; empty when the encoder is missing.
std::vector<std::string> hevcSegments(int width, int height, int fps, int seconds, int segments) {
  const auto folder = std::filesystem::temp_directory_path() / ("dk-bench-hevc-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::vector<std::string> out;
  const AVCodec* encoder = avcodec_find_encoder_by_name("libx265");
  AVFormatContext* format = nullptr;
  if (!encoder || avformat_alloc_output_context2(&format, nullptr, "hls", (folder / "index.m3u8").c_str()) < 0) {
    return out;
  }
  AVCodecContext* codec = avcodec_alloc_context3(encoder);
  codec->width = width;
  codec->height = height;
  codec->pix_fmt = AV_PIX_FMT_YUV420P;
  codec->time_base = AVRational{1, fps};
  codec->framerate = AVRational{fps, 1};
  av_opt_set(codec->priv_data, "preset", "ultrafast", 0);
  const std::string params = "log-level=none:keyint=" + std::to_string(fps * seconds) + ":min-keyint=" +
                             std::to_string(fps * seconds) + ":scenecut=0:bframes=3";
  av_opt_set(codec->priv_data, "x265-params", params.c_str(), 0);
  AVStream* stream = avformat_new_stream(format, nullptr);
  AVDictionary* options = nullptr;
  av_dict_set(&options, "hls_time", std::to_string(seconds).c_str(), 0);
  av_dict_set(&options, "hls_list_size", "0", 0);
  av_dict_set(&options, "hls_segment_filename", (folder / "index%d.ts").c_str(), 0);
  if (stream && avcodec_open2(codec, encoder, nullptr) >= 0 &&
      avcodec_parameters_from_context(stream->codecpar, codec) >= 0 && avformat_write_header(format, &options) >= 0) {
    stream->time_base = codec->time_base;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    av_frame_get_buffer(frame, 0);
    auto drain = [&](AVFrame* input) { encodeInto(codec, input, packet, format, stream); };
    for (int i = 0; i < fps * seconds * segments; ++i) {
      av_frame_make_writable(frame);
      for (int y = 0; y < height; ++y) {
        std::memset(frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0], (y + i * 8) & 0xff,
                    static_cast<size_t>(width));
      }
      for (int plane = 1; plane < 3; ++plane) {
        std::memset(frame->data[plane], 96 + (i & 31), static_cast<size_t>(frame->linesize[plane]) * (height / 2));
      }
      frame->pts = i;
      drain(frame);
    }
    drain(nullptr);
    av_write_trailer(format);
    av_frame_free(&frame);
    av_packet_free(&packet);
    for (int i = 0;; ++i) {
      std::ifstream in(folder / ("index" + std::to_string(i) + ".ts"), std::ios::binary);
      if (!in) break;
      std::ostringstream read;
      read << in.rdbuf();
      out.push_back(read.str());
    }
  }
  av_dict_free(&options);
  avcodec_free_context(&codec);
  avformat_free_context(format);
  std::filesystem::remove_all(folder);
  return out;
}

void BM_LiveHevc4kAcrossSegments(benchmark::State& state) {
  constexpr int kFps = 15, kSeconds = 2, kSegments = 3;
  static const std::vector<std::string> segments = hevcSegments(3840, 2160, kFps, kSeconds, kSegments);
  if (segments.size() != kSegments) {
    state.SkipWithError("no HEVC encoder");
    return;
  }
  const int64_t budget = LivePictureLimits::segmentBudget(kSeconds);
  const int64_t soundBudget = LiveSoundLimits::segmentBudget(kSeconds);
  size_t alone = 0, across = 0;
  for (auto _ : state) {
    alone = across = 0;
    for (const std::string& bytes : segments) {
      LiveSegmentDecoder decoder;
      LiveSegmentFrame frame;
      if (!decoder.open(std::make_shared<const std::string>(bytes), budget, soundBudget, nullptr)) continue;
      while (decoder.next(frame) == LiveSegmentDecoder::Step::Picture) ++alone;
    }
    LiveSegmentDecoder decoder;
    LiveSegmentFrame frame;
    int64_t sequence = 0;
    for (const std::string& bytes : segments) {
      LiveSegmentInput input{nullptr, std::make_shared<const std::string>(bytes), 0.0, sequence++, false, budget,
                             soundBudget};
      if (!decoder.add(input)) break;
      while (decoder.next(frame) == LiveSegmentDecoder::Step::Picture) ++across;
    }
    decoder.endStream();  // the stream's last pictures, held for a segment that does not come
    while (decoder.next(frame) == LiveSegmentDecoder::Step::Picture) ++across;
  }
  const double frames = kFps * kSeconds * kSegments;
  state.counters["frames"] = frames;
  state.counters["pictures_alone"] = static_cast<double>(alone);
  state.counters["pictures_across"] = static_cast<double>(across);
  state.counters["shown_per_stream_second"] = static_cast<double>(across) / (kSeconds * kSegments);
  state.counters["lost_at_joins_alone"] = frames - static_cast<double>(alone);
  state.counters["lost_at_joins_across"] = frames - static_cast<double>(across);
}
BENCHMARK(BM_LiveHevc4kAcrossSegments)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
