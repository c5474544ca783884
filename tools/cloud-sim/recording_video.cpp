#include "recording_video.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <future>
#include <vector>
#include <list>
#include <mutex>
#include <utility>

#include <cairo.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace dk::cloudsim::detail {
namespace {

// An in-memory, seekable output for the MP4 muxer (it rewrites the moov sizes at the end).
struct MemoryOutput {
  std::string bytes;
  int64_t position = 0;

  static int write(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<MemoryOutput*>(opaque);
    const auto end = static_cast<size_t>(self->position) + static_cast<size_t>(size);
    if (end > self->bytes.size()) self->bytes.resize(end);
    std::memcpy(self->bytes.data() + self->position, buffer, static_cast<size_t>(size));
    self->position = static_cast<int64_t>(end);
    return size;
  }
  static int64_t seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<MemoryOutput*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return static_cast<int64_t>(self->bytes.size());
    int64_t target = offset;
    if (whence == SEEK_CUR) target = self->position + offset;
    else if (whence == SEEK_END) target = static_cast<int64_t>(self->bytes.size()) + offset;
    if (target < 0) return -1;
    self->position = target;
    return target;
  }
};

std::string timeText(double seconds, int utcOffset, const char* format) {
  const std::time_t t = static_cast<std::time_t>(std::floor(seconds)) + utcOffset;
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[64];
  std::strftime(buffer, sizeof buffer, format, &tm);
  return buffer;
}

// One frame: a dark backdrop tinted by the label, a bar that sweeps once a minute, the time of
// day, the label and the date.
void drawFrame(cairo_t* cr, const VideoSpec& spec, double time) {
  const double w = spec.width, h = spec.height;
  uint32_t hash = 2166136261u;
  for (char c : spec.label) hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
  cairo_set_source_rgb(cr, 0.10 + (hash & 0x3f) / 400.0, 0.16 + ((hash >> 6) & 0x3f) / 400.0,
                       0.24 + ((hash >> 12) & 0x3f) / 400.0);
  cairo_paint(cr);
  const double sweep = std::fmod(time, 60.0) / 60.0;
  cairo_set_source_rgb(cr, 0.95, 0.65, 0.15);
  cairo_rectangle(cr, 0, h - 8, w * sweep, 8);
  cairo_fill(cr);

  // The time of day large above the middle, the name and the date low on the left: players
  // put their own title at the top and their play button in the middle.
  cairo_select_font_face(cr, "Roboto", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_source_rgb(cr, 1, 1, 1);
  const std::string clock = timeText(time, spec.utcOffsetSeconds, "%H:%M:%S");
  cairo_set_font_size(cr, h * 0.22);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, clock.c_str(), &extents);
  cairo_move_to(cr, (w - extents.x_advance) / 2, h * 0.40);
  cairo_show_text(cr, clock.c_str());

  cairo_set_font_size(cr, h * 0.09);
  cairo_move_to(cr, w * 0.05, h * 0.76);
  cairo_show_text(cr, spec.label.c_str());
  cairo_set_font_size(cr, h * 0.07);
  cairo_move_to(cr, w * 0.05, h * 0.87);
  cairo_show_text(cr, timeText(time, spec.utcOffsetSeconds, "%Y-%m-%d").c_str());
}

struct Encoder {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVIOContext* io = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* scaler = nullptr;
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  AVStream* stream = nullptr;
  MemoryOutput output;

  ~Encoder() {
    for (AVPacket*& p : packets) av_packet_free(&p);
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    sws_freeContext(scaler);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
    if (format) avformat_free_context(format);
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  // Encoded packets, in decode order and the codec's time base, before they are muxed.
  std::vector<AVPacket*> packets;

  bool drain(AVFrame* input) {
    if (avcodec_send_frame(codec, input) < 0) return false;
    for (;;) {
      const int rc = avcodec_receive_packet(codec, packet);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return false;
      // Each picture lasts one frame; without the length the muxer's edit list ends where the
      // last picture starts, and players drop it.
      packet->duration = 1;
      packets.push_back(av_packet_clone(packet));
      av_packet_unref(packet);
      if (!packets.back()) return false;
    }
  }

  // Muxes the packets `repeats` times over (each pass later by `cycle` frames), then the packets
  // of the first `tailGops` groups of pictures once more.
  bool mux(int repeats, int64_t cycle, int tailGops) {
    for (int pass = 0; pass <= repeats; ++pass) {
      int gop = -1;
      for (AVPacket* source : packets) {
        if (source->flags & AV_PKT_FLAG_KEY) ++gop;
        if (pass == repeats && gop >= tailGops) break;
        av_packet_ref(packet, source);
        packet->pts += pass * cycle;
        packet->dts += pass * cycle;
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(format, packet) < 0) return false;
      }
    }
    return true;
  }

};

}  // namespace

std::string encodeLabelledVideo(const VideoSpec& spec) {
  const int fps = std::clamp(spec.fps, 1, 30);
  const int width = std::clamp(spec.width & ~1, 16, 1920), height = std::clamp(spec.height & ~1, 16, 1080);
  const double duration = std::clamp(spec.duration, 0.0, kMaxVideoSeconds);
  const int frames = std::max(1, static_cast<int>(std::lround(duration * fps)));
  // Long H.264 videos repeat one cycle of whole groups of pictures (closed, a key frame every
  // two seconds); the last part cycle is cut to whole groups.
  const int gopFrames = fps * 2;
  const int cycleFrames = static_cast<int>(kH264CycleSeconds) * fps;
  const bool cycled = spec.h264 && frames > cycleFrames;
  const int encodedFrames = cycled ? cycleFrames : frames;

  Encoder e;
  const AVOutputFormat* mp4 = av_guess_format(spec.container.c_str(), nullptr, nullptr);
  const AVCodec* encoder = spec.h264 ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (!mp4 || !encoder || avformat_alloc_output_context2(&e.format, mp4, nullptr, nullptr) < 0) return {};
  auto* ioBuffer = static_cast<uint8_t*>(av_malloc(64 * 1024));
  e.io = avio_alloc_context(ioBuffer, 64 * 1024, 1, &e.output, nullptr, &MemoryOutput::write, &MemoryOutput::seek);
  if (!e.io) {
    av_free(ioBuffer);
    return {};
  }
  e.format->pb = e.io;
  e.format->flags |= AVFMT_FLAG_CUSTOM_IO;

  e.codec = avcodec_alloc_context3(encoder);
  e.codec->width = width;
  e.codec->height = height;
  e.codec->pix_fmt = AV_PIX_FMT_YUV420P;
  e.codec->time_base = AVRational{1, fps};
  e.codec->framerate = AVRational{fps, 1};
  e.codec->gop_size = gopFrames;  // a key frame every two seconds keeps seeks cheap
  if (spec.h264) {
    // Like a camera: B-frames, a fixed two-second group of pictures.
    av_opt_set(e.codec->priv_data, "preset", "veryfast", 0);
    av_opt_set(e.codec->priv_data, "crf", "28", 0);
    const std::string params = "keyint=" + std::to_string(gopFrames) + ":min-keyint=" + std::to_string(gopFrames) +
                               ":scenecut=0:bframes=3:open-gop=0";
    av_opt_set(e.codec->priv_data, "x264-params", params.c_str(), 0);
  } else {
    e.codec->max_b_frames = 0;  // small and simple for fast tests
    e.codec->flags |= AV_CODEC_FLAG_QSCALE;
    e.codec->global_quality = FF_QP2LAMBDA * 4;
  }
  if (e.format->oformat->flags & AVFMT_GLOBALHEADER) e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(e.codec, encoder, nullptr) < 0) return {};

  e.stream = avformat_new_stream(e.format, nullptr);
  if (!e.stream) return {};
  e.stream->time_base = e.codec->time_base;
  avcodec_parameters_from_context(e.stream->codecpar, e.codec);
  if (avformat_write_header(e.format, nullptr) < 0) return {};

  e.frame = av_frame_alloc();
  e.packet = av_packet_alloc();
  e.frame->format = AV_PIX_FMT_YUV420P;
  e.frame->width = width;
  e.frame->height = height;
  if (av_frame_get_buffer(e.frame, 0) < 0) return {};
  e.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  e.cr = cairo_create(e.surface);
  // Cairo's RGB24 is a native-endian 32-bit word: B, G, R, X in memory on little-endian hosts.
  e.scaler = sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, AV_PIX_FMT_YUV420P,
                            SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!e.scaler) return {};

  for (int i = 0; i < encodedFrames; ++i) {
    drawFrame(e.cr, spec, spec.startTime + static_cast<double>(i) / fps);
    cairo_surface_flush(e.surface);
    if (av_frame_make_writable(e.frame) < 0) return {};
    const uint8_t* source[1] = {cairo_image_surface_get_data(e.surface)};
    const int stride[1] = {cairo_image_surface_get_stride(e.surface)};
    sws_scale(e.scaler, source, stride, 0, height, e.frame->data, e.frame->linesize);
    e.frame->pts = i;
    if (!e.drain(e.frame)) return {};
  }
  if (!e.drain(nullptr)) return {};
  const int repeats = cycled ? frames / cycleFrames : 0;
  const int tailGops = cycled ? (frames % cycleFrames) / gopFrames : INT32_MAX;
  if (!e.mux(repeats, cycleFrames, tailGops)) return {};
  if (av_write_trailer(e.format) < 0) return {};
  avio_flush(e.io);
  return std::move(e.output.bytes);
}

std::shared_ptr<const std::string> cachedLabelledVideo(const VideoSpec& spec) {
  // A few recent videos: enough for a test or a demo session, bounded in memory. A video being
  // made is in the cache as a future, so a second request waits for it instead of encoding again.
  using Video = std::shared_ptr<const std::string>;
  static std::mutex mutex;
  static std::list<std::pair<std::string, std::shared_future<Video>>> cache;
  constexpr size_t kCapacity = 8;
  char key[512];
  std::snprintf(key, sizeof key, "%s|%.3f|%.3f|%d|%d|%dx%d|%d|%s", spec.label.c_str(), spec.startTime,
                std::min(spec.duration, kMaxVideoSeconds), spec.utcOffsetSeconds, spec.fps, spec.width,
                spec.height, spec.h264 ? 1 : 0, spec.container.c_str());
  std::promise<Video> promise;
  std::shared_future<Video> known;
  {
    std::lock_guard lock(mutex);
    for (auto it = cache.begin(); it != cache.end(); ++it) {
      if (it->first == key) {
        cache.splice(cache.begin(), cache, it);
        known = it->second;
        break;
      }
    }
    if (!known.valid()) {
      cache.emplace_front(key, promise.get_future().share());
      if (cache.size() > kCapacity) cache.pop_back();
    }
  }
  if (known.valid()) return known.get();  // made, or being made by another thread
  auto video = std::make_shared<const std::string>(encodeLabelledVideo(spec));
  promise.set_value(video);
  if (video->empty()) {  // a failure is not kept
    std::lock_guard lock(mutex);
    cache.remove_if([&](const auto& entry) { return entry.first == key; });
  }
  return video;
}

}  // namespace dk::cloudsim::detail
