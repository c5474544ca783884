#include "platform/media/live_segment_decoder.h"

#include <algorithm>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
#include <libswscale/swscale.h>
}

#include "platform/media/media_input_policy.h"

namespace dk::platform {
namespace {

constexpr int kMaxLiveSide = 4096;
constexpr size_t kMaxLiveFrames = 600;
constexpr int kLiveReadBufferBytes = 32 * 1024;

struct LiveMemoryInput {
  std::string_view bytes;
  size_t position = 0;
  static int read(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<LiveMemoryInput*>(opaque);
    const size_t left = self->bytes.size() - self->position;
    if (left == 0) return AVERROR_EOF;
    const size_t count = std::min(left, static_cast<size_t>(size));
    std::memcpy(buffer, self->bytes.data() + self->position, count);
    self->position += count;
    return static_cast<int>(count);
  }
};

struct LiveDecodeContexts {
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  SwsContext* scaler = nullptr;
  ~LiveDecodeContexts() {
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);  // frees the context even when opening failed midway
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }
};

ImagePtr liveFrameImage(LiveDecodeContexts& c, const AVFrame* frame) {
  const int w = frame->width, h = frame->height;
  c.scaler = sws_getCachedContext(c.scaler, w, h, static_cast<AVPixelFormat>(frame->format), w, h, AV_PIX_FMT_BGRA,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!c.scaler) return nullptr;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
  uint8_t* destination[1] = {pixels.data()};
  const int stride[1] = {w * 4};
  sws_scale(c.scaler, frame->data, frame->linesize, 0, h, destination, stride);
  return Image::fromPixels(pixels.data(), w, h, w * 4, 1.0, true);
}

}  // namespace

std::optional<std::vector<LiveSegmentFrame>> decodeLiveSegment(std::string_view bytes, std::string* error) {
  auto fail = [&](const char* why) -> std::optional<std::vector<LiveSegmentFrame>> {
    if (error) *error = why;
    return std::nullopt;
  };
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });  // failures are reported here

  LiveDecodeContexts c;
  LiveMemoryInput input{bytes};
  auto* buffer = static_cast<uint8_t*>(av_malloc(kLiveReadBufferBytes));
  c.io = avio_alloc_context(buffer, kLiveReadBufferBytes, 0, &input, &LiveMemoryInput::read, nullptr, nullptr);
  if (!c.io) {
    av_free(buffer);
    return fail("out of memory");
  }
  c.format = avformat_alloc_context();
  if (!c.format) return fail("out of memory");
  c.format->pb = c.io;
  c.format->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (!openMediaInput(&c.format, nullptr, kLiveSegmentInputPolicy)) return fail("not an MPEG-TS segment");
  if (avformat_find_stream_info(c.format, nullptr) < 0) return fail("no stream information");
  const int stream = av_find_best_stream(c.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream < 0) return fail("no video stream");
  const AVCodec* decoder = avcodec_find_decoder(c.format->streams[stream]->codecpar->codec_id);
  if (!decoder || !allowsDecoder(kLiveSegmentInputPolicy, decoder->name)) return fail("a video codec not allowed");
  c.codec = avcodec_alloc_context3(decoder);
  if (!c.codec || avcodec_parameters_to_context(c.codec, c.format->streams[stream]->codecpar) < 0 ||
      avcodec_open2(c.codec, decoder, nullptr) < 0) {
    return fail("the decoder does not open");
  }
  const double timeBase = av_q2d(c.format->streams[stream]->time_base);
  c.packet = av_packet_alloc();
  c.frame = av_frame_alloc();
  if (!c.packet || !c.frame) return fail("out of memory");

  std::vector<LiveSegmentFrame> frames;
  int64_t firstPts = AV_NOPTS_VALUE;
  auto receive = [&]() -> bool {
    while (avcodec_receive_frame(c.codec, c.frame) == 0) {
      if (c.frame->width <= 0 || c.frame->height <= 0 || c.frame->width > kMaxLiveSide || c.frame->height > kMaxLiveSide ||
          frames.size() >= kMaxLiveFrames) {
        return false;
      }
      const int64_t pts = c.frame->best_effort_timestamp != AV_NOPTS_VALUE ? c.frame->best_effort_timestamp : c.frame->pts;
      if (firstPts == AV_NOPTS_VALUE) firstPts = pts;
      LiveSegmentFrame out;
      out.offset = pts == AV_NOPTS_VALUE ? 0 : static_cast<double>(pts - firstPts) * timeBase;
      out.image = liveFrameImage(c, c.frame);
      av_frame_unref(c.frame);
      if (!out.image) return false;
      frames.push_back(std::move(out));
    }
    return true;
  };
  while (av_read_frame(c.format, c.packet) >= 0) {
    const bool ours = c.packet->stream_index == stream;
    if (ours) avcodec_send_packet(c.codec, c.packet);
    av_packet_unref(c.packet);
    if (ours && !receive()) return fail("a picture out of bounds");
  }
  avcodec_send_packet(c.codec, nullptr);  // drain
  if (!receive()) return fail("a picture out of bounds");
  if (frames.empty()) return fail("the segment has no pictures");
  std::stable_sort(frames.begin(), frames.end(), [](const auto& a, const auto& b) { return a.offset < b.offset; });
  return frames;
}

}  // namespace dk::platform
