#include "platform/media/video_decoder.h"

#include <algorithm>
#include <cmath>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace dk::platform {

namespace {

// The AVIO side of an Input: a position over its read/size pair.
struct InputReader {
  VideoDecoder::Input input;
  int64_t position = 0;

  static int read(void* opaque, uint8_t* buffer, int size) {
    auto& r = *static_cast<InputReader*>(opaque);
    const int64_t n = r.input.read(r.position, buffer, size);
    if (n < 0) return AVERROR(EIO);
    if (n == 0) return AVERROR_EOF;
    r.position += n;
    return static_cast<int>(n);
  }
  static int64_t seek(void* opaque, int64_t offset, int whence) {
    auto& r = *static_cast<InputReader*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return r.input.size ? r.input.size() : -1;
    int64_t target = offset;
    if (whence == SEEK_CUR) target = r.position + offset;
    if (whence == SEEK_END) {
      const int64_t size = r.input.size ? r.input.size() : -1;
      if (size < 0) return -1;
      target = size + offset;
    }
    if (target < 0) return -1;
    r.position = target;
    return target;
  }
};

constexpr int kInputBufferBytes = 64 * 1024;

}  // namespace

struct VideoDecoder::Impl {
  std::unique_ptr<InputReader> reader;  // with `io`, for a video that is not a local file
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  AVFrame* shown = nullptr;
  long pendingPacket = -1;  // index of the last packet sent that has not made a picture yet
  SwsContext* scaler = nullptr;
  int stream = -1;
  double timeBase = 0;
  std::vector<int64_t> framePts;  // container timestamps, ascending
  std::vector<double> frameTimes;
  double duration = 0;
  // Index of the frame the decoder produced last; -1 after a seek or before the first.
  long lastDecoded = -1;
  bool endOfFile = false;

  ~Impl() {
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_frame_free(&shown);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  // Moves on by one picture: the next frame out of the decoder, or, for a packet that made
  // none (a "not coded" picture, which repeats the previous one), that packet's slot. `shown`
  // holds the picture on screen afterwards. False at the end.
  bool advance() {
    for (;;) {
      const int rc = avcodec_receive_frame(codec, frame);
      if (rc == 0) {
        lastDecoded = indexOfFrame(frame);
        pendingPacket = -1;
        av_frame_unref(shown);
        av_frame_move_ref(shown, frame);
        return true;
      }
      if (rc != AVERROR(EAGAIN)) return false;
      if (pendingPacket >= 0 && codec->has_b_frames == 0) {
        lastDecoded = pendingPacket;
        pendingPacket = -1;
        if (shown->data[0]) return true;
      }
      if (endOfFile) return false;
      if (av_read_frame(format, packet) < 0) {
        endOfFile = true;
        avcodec_send_packet(codec, nullptr);  // drain
        continue;
      }
      if (packet->stream_index == stream && avcodec_send_packet(codec, packet) == 0) {
        pendingPacket = indexOfPts(packet->pts);
      }
      av_packet_unref(packet);
    }
  }

  long indexOfPts(int64_t pts) const {
    auto it = std::lower_bound(framePts.begin(), framePts.end(), pts);
    if (it == framePts.end()) return static_cast<long>(framePts.size()) - 1;
    return static_cast<long>(it - framePts.begin());
  }

  long indexOfFrame(const AVFrame* f) const {
    return indexOfPts(f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts);
  }

  // The presentation times of every frame from the demuxer's index, which holds decode times:
  // those shifted by the first packet's reorder delay, as with a steady frame rate. False when
  // the index does not cover the whole stream (fragments not read yet).
  bool tableFromIndex(AVStream* st, int64_t* lastDuration) {
    const int count = avformat_index_get_entries_count(st);
    if (count <= 0 || st->nb_frames <= 0 || count < st->nb_frames) return false;
    std::vector<int64_t> decodeTimes;
    decodeTimes.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      const AVIndexEntry* e = avformat_index_get_entry(st, i);
      if (e) decodeTimes.push_back(e->timestamp);  // every packet, as the packet scan gives them
    }
    if (decodeTimes.empty()) return false;
    int64_t delay = 0;
    while (av_read_frame(format, packet) >= 0) {
      const bool ours = packet->stream_index == stream;
      if (ours && packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE) delay = packet->pts - packet->dts;
      av_packet_unref(packet);
      if (ours) break;
    }
    std::sort(decodeTimes.begin(), decodeTimes.end());
    framePts.clear();
    framePts.reserve(decodeTimes.size());
    for (int64_t t : decodeTimes) framePts.push_back(t + delay);
    *lastDuration = decodeTimes.size() > 1 ? decodeTimes.back() - decodeTimes[decodeTimes.size() - 2] : 0;
    return true;
  }

  ImagePtr toImage() {
    const AVFrame* frame = shown;
    const int w = frame->width, h = frame->height;
    scaler = sws_getCachedContext(scaler, w, h, static_cast<AVPixelFormat>(frame->format), w, h,
                                  AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler) return nullptr;
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * h * 4);
    uint8_t* destination[1] = {pixels.data()};
    const int stride[1] = {w * 4};
    sws_scale(scaler, frame->data, frame->linesize, 0, h, destination, stride);
    return Image::fromPixels(pixels.data(), w, h, w * 4, 1.0, true);
  }
};

VideoDecoder::VideoDecoder() : impl_(std::make_unique<Impl>()) {}
VideoDecoder::~VideoDecoder() = default;

namespace {
void quietLibraries() {
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });  // failures are reported here
}
}  // namespace

bool VideoDecoder::open(const std::string& path, std::string* error) {
  quietLibraries();
  impl_ = std::make_unique<Impl>();
  if (avformat_open_input(&impl_->format, path.c_str(), nullptr, nullptr) < 0) {
    if (error) *error = "not a media file";
    impl_ = std::make_unique<Impl>();
    return false;
  }
  return openStreams(error);
}

bool VideoDecoder::open(Input input, std::string* error) {
  quietLibraries();
  impl_ = std::make_unique<Impl>();
  Impl& d = *impl_;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    impl_ = std::make_unique<Impl>();
    return false;
  };
  d.reader = std::make_unique<InputReader>();
  d.reader->input = std::move(input);
  auto* buffer = static_cast<unsigned char*>(av_malloc(kInputBufferBytes));
  if (!buffer) return fail("out of memory");
  d.io = avio_alloc_context(buffer, kInputBufferBytes, 0, d.reader.get(), &InputReader::read, nullptr,
                            &InputReader::seek);
  if (!d.io) {
    av_free(buffer);
    return fail("out of memory");
  }
  d.format = avformat_alloc_context();
  if (!d.format) return fail("out of memory");
  d.format->pb = d.io;
  d.format->flags |= AVFMT_FLAG_CUSTOM_IO;
  // Recordings are MPEG-4; nothing else is probed, so a reply in another format cannot lead the
  // demuxer anywhere.
  if (avformat_open_input(&d.format, nullptr, av_find_input_format("mov"), nullptr) < 0) {
    return fail("not a media file");
  }
  return openStreams(error);
}

bool VideoDecoder::openStreams(std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    impl_ = std::make_unique<Impl>();
    return false;
  };
  Impl& d = *impl_;
  if (avformat_find_stream_info(d.format, nullptr) < 0) return fail("no stream information");
  d.stream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (d.stream < 0) return fail("no video stream");
  AVStream* stream = d.format->streams[d.stream];
  const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!decoder) return fail("no decoder for the video");
  d.codec = avcodec_alloc_context3(decoder);
  if (!d.codec || avcodec_parameters_to_context(d.codec, stream->codecpar) < 0 ||
      avcodec_open2(d.codec, decoder, nullptr) < 0) {
    return fail("the decoder does not open");
  }
  if (d.codec->width <= 0 || d.codec->height <= 0 || d.codec->width > 8192 || d.codec->height > 8192) {
    return fail("unusable picture size");
  }
  d.packet = av_packet_alloc();
  d.frame = av_frame_alloc();
  d.shown = av_frame_alloc();
  d.timeBase = av_q2d(stream->time_base);

  // The frame table, from the container's index when it has one (nothing more is read: a
  // recording read over the network starts playing once its index and first frames are in),
  // else from the packets alone.
  int64_t lastDuration = 0;
  const bool indexed = d.tableFromIndex(stream, &lastDuration);
  while (!indexed && av_read_frame(d.format, d.packet) >= 0) {
    if (d.packet->stream_index == d.stream && d.packet->pts != AV_NOPTS_VALUE) {
      d.framePts.push_back(d.packet->pts);
      lastDuration = d.packet->duration;
    }
    av_packet_unref(d.packet);
  }
  if (d.framePts.empty()) return fail("the video has no frames");
  std::sort(d.framePts.begin(), d.framePts.end());
  const int64_t first = d.framePts.front();
  d.frameTimes.reserve(d.framePts.size());
  for (int64_t pts : d.framePts) d.frameTimes.push_back(static_cast<double>(pts - first) * d.timeBase);
  if (lastDuration <= 0 && d.framePts.size() > 1) lastDuration = d.framePts.back() - d.framePts[d.framePts.size() - 2];
  d.duration = d.frameTimes.back() + static_cast<double>(std::max<int64_t>(lastDuration, 1)) * d.timeBase;
  av_seek_frame(d.format, d.stream, first, AVSEEK_FLAG_BACKWARD);
  avcodec_flush_buffers(d.codec);
  d.lastDecoded = -1;
  return true;
}

const std::vector<double>& VideoDecoder::frameTimes() const { return impl_->frameTimes; }
double VideoDecoder::duration() const { return impl_->duration; }
int VideoDecoder::width() const { return impl_->codec ? impl_->codec->width : 0; }
int VideoDecoder::height() const { return impl_->codec ? impl_->codec->height : 0; }

size_t VideoDecoder::frameIndexAt(double seconds) const {
  const auto& times = impl_->frameTimes;
  if (times.empty()) return 0;
  // A hair of tolerance, so that a time computed as a frame's own time finds that frame.
  auto it = std::upper_bound(times.begin(), times.end(), seconds + 1e-6);
  return it == times.begin() ? 0 : static_cast<size_t>(it - times.begin() - 1);
}

ImagePtr VideoDecoder::frameAt(size_t index) {
  Impl& d = *impl_;
  if (!d.codec || index >= d.framePts.size()) return nullptr;
  const long target = static_cast<long>(index);
  if (d.lastDecoded < 0 || target <= d.lastDecoded || target > d.lastDecoded + 1) {
    // Not the next one: back to the key frame at or before it, then forward.
    if (av_seek_frame(d.format, d.stream, d.framePts[index], AVSEEK_FLAG_BACKWARD) < 0) return nullptr;
    avcodec_flush_buffers(d.codec);
    d.endOfFile = false;
    d.lastDecoded = -1;
    d.pendingPacket = -1;
    av_frame_unref(d.shown);
  }
  while (d.advance()) {
    if (d.lastDecoded >= target) return d.toImage();
  }
  d.lastDecoded = -1;
  return nullptr;
}

}  // namespace dk::platform
