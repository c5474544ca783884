#include "recording_video.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <future>
#include <list>
#include <mutex>
#include <utility>
#include <vector>

#include <cairo.h>

#include "camera_sound.h"

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

// The encoder's output for the first `frames` pictures of a video, before muxing: packets in
// decode order and the codec's time base, with the parameters the muxer needs.
struct Pictures {
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  AVRational timeBase{1, 1};
  std::vector<AVPacket*> packets;
  int frames = 0;

  Pictures() = default;
  Pictures(const Pictures&) = delete;
  Pictures& operator=(const Pictures&) = delete;
  ~Pictures() {
    for (AVPacket*& p : packets) av_packet_free(&p);
    avcodec_parameters_free(&parameters);
  }
};
using PicturesPtr = std::shared_ptr<const Pictures>;

struct EncodeHook {
  std::mutex mutex;
  std::function<void()> hook;
};
EncodeHook& encodeHook() {
  static EncodeHook h;
  return h;
}

struct Encoder {
  AVCodecContext* codec = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* scaler = nullptr;
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;

  ~Encoder() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    sws_freeContext(scaler);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
  }

  bool drain(AVFrame* input, Pictures& out) {
    if (avcodec_send_frame(codec, input) < 0) return false;
    for (;;) {
      const int rc = avcodec_receive_packet(codec, packet);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return false;
      // Each picture lasts one frame; without the length the muxer's edit list ends where the
      // last picture starts, and players drop it.
      packet->duration = 1;
      out.packets.push_back(av_packet_clone(packet));
      av_packet_unref(packet);
      if (!out.packets.back()) return false;
    }
  }
};

// The frame size, rate and group of pictures a spec asks for, within bounds.
struct Shape {
  int fps, width, height, gopFrames, cycleFrames;
  explicit Shape(const VideoSpec& spec)
      : fps(std::clamp(spec.fps, 1, 30)),
        width(std::clamp(spec.width & ~1, 16, 1920)),
        height(std::clamp(spec.height & ~1, 16, 1080)),
        gopFrames(fps * 2),
        cycleFrames(static_cast<int>(kH264CycleSeconds) * fps) {}
};

// Whether the container carries the decoder's headers once, outside the packets (MP4 does).
bool wantsGlobalHeader(const std::string& container) {
  const AVOutputFormat* format = av_guess_format(container.c_str(), nullptr, nullptr);
  return format && (format->flags & AVFMT_GLOBALHEADER);
}

// Encodes the first `frames` pictures of the video. Null when the encoder fails.
PicturesPtr encodePictures(const VideoSpec& spec, int frames) {
  std::function<void()> hook;
  {
    std::lock_guard lock(encodeHook().mutex);
    hook = encodeHook().hook;
  }
  if (hook) hook();
  const Shape shape(spec);
  const AVCodec* encoder = spec.h264 ? avcodec_find_encoder_by_name("libx264") : avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  if (!encoder) return nullptr;
  Encoder e;
  auto out = std::make_shared<Pictures>();
  e.codec = avcodec_alloc_context3(encoder);
  if (!e.codec || !out->parameters) return nullptr;
  e.codec->width = shape.width;
  e.codec->height = shape.height;
  e.codec->pix_fmt = AV_PIX_FMT_YUV420P;
  e.codec->time_base = AVRational{1, shape.fps};
  e.codec->framerate = AVRational{shape.fps, 1};
  e.codec->gop_size = shape.gopFrames;  // a key frame every two seconds keeps seeks cheap
  if (spec.h264) {
    // Like a camera: B-frames, a fixed two-second group of pictures.
    av_opt_set(e.codec->priv_data, "preset", "veryfast", 0);
    av_opt_set(e.codec->priv_data, "crf", "28", 0);
    const std::string params = "keyint=" + std::to_string(shape.gopFrames) +
                               ":min-keyint=" + std::to_string(shape.gopFrames) + ":scenecut=0:bframes=3:open-gop=0";
    av_opt_set(e.codec->priv_data, "x264-params", params.c_str(), 0);
  } else {
    e.codec->max_b_frames = 0;  // small and simple for fast tests
    e.codec->flags |= AV_CODEC_FLAG_QSCALE;
    e.codec->global_quality = FF_QP2LAMBDA * 4;
  }
  if (wantsGlobalHeader(spec.container)) e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(e.codec, encoder, nullptr) < 0) return nullptr;
  if (avcodec_parameters_from_context(out->parameters, e.codec) < 0) return nullptr;
  out->timeBase = e.codec->time_base;
  out->frames = frames;

  e.frame = av_frame_alloc();
  e.packet = av_packet_alloc();
  if (!e.frame || !e.packet) return nullptr;
  e.frame->format = AV_PIX_FMT_YUV420P;
  e.frame->width = shape.width;
  e.frame->height = shape.height;
  if (av_frame_get_buffer(e.frame, 0) < 0) return nullptr;
  e.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, shape.width, shape.height);
  e.cr = cairo_create(e.surface);
  // Cairo's RGB24 is a native-endian 32-bit word: B, G, R, X in memory on little-endian hosts.
  e.scaler = sws_getContext(shape.width, shape.height, AV_PIX_FMT_BGR0, shape.width, shape.height, AV_PIX_FMT_YUV420P,
                            SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!e.scaler) return nullptr;
  VideoSpec drawn = spec;
  drawn.width = shape.width;
  drawn.height = shape.height;
  for (int i = 0; i < frames; ++i) {
    drawFrame(e.cr, drawn, spec.startTime + static_cast<double>(i) / shape.fps);
    cairo_surface_flush(e.surface);
    if (av_frame_make_writable(e.frame) < 0) return nullptr;
    const uint8_t* source[1] = {cairo_image_surface_get_data(e.surface)};
    const int stride[1] = {cairo_image_surface_get_stride(e.surface)};
    sws_scale(e.scaler, source, stride, 0, shape.height, e.frame->data, e.frame->linesize);
    e.frame->pts = i;
    if (!e.drain(e.frame, *out)) return nullptr;
  }
  if (!e.drain(nullptr, *out)) return nullptr;
  return out;
}

// The H.264 pictures of a spec are encoded once for every length (up to a whole cycle) and
// shared: a longer take reuses them, so a growing recording is not encoded again and again.
// An encode covers the frames asked for and one group of pictures more, capped at the cycle,
// so that what the encoder's look-ahead decides near the end of the part used is what a longer
// encode decides too.
PicturesPtr cachedH264Pictures(const VideoSpec& spec, int framesUsed) {
  const Shape shape(spec);
  const int wanted = std::min(shape.cycleFrames, framesUsed + shape.gopFrames);
  char key[512];
  std::snprintf(key, sizeof key, "%s|%.3f|%d|%d|%dx%d|%s", spec.label.c_str(), spec.startTime, spec.utcOffsetSeconds,
                shape.fps, shape.width, shape.height, spec.container.c_str());
  static std::mutex mutex;
  static std::list<std::pair<std::string, std::shared_future<PicturesPtr>>> cache;
  constexpr size_t kCapacity = 4;
  std::promise<PicturesPtr> promise;
  std::shared_future<PicturesPtr> known;
  int toEncode = wanted;
  {
    std::lock_guard lock(mutex);
    auto it = std::find_if(cache.begin(), cache.end(), [&](const auto& entry) { return entry.first == key; });
    if (it != cache.end()) {
      cache.splice(cache.begin(), cache, it);
      known = it->second;
      // Made already but too short: a longer encode (doubling, so a growing take is encoded
      // only a few times) replaces it.
      if (known.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        const PicturesPtr made = known.get();
        if (!made || made->frames < wanted) {
          toEncode = std::min(shape.cycleFrames, std::max(wanted, made ? made->frames * 2 : 0));
          known = {};
          cache.erase(it);
        }
      }
    }
    if (!known.valid()) {
      cache.emplace_front(key, promise.get_future().share());
      if (cache.size() > kCapacity) cache.pop_back();
    }
  }
  if (known.valid()) {  // being made by another thread: wait for it
    PicturesPtr made = known.get();
    if (made && made->frames >= wanted) return made;
    return encodePictures(spec, wanted);  // too short: this once, unshared
  }
  PicturesPtr made = encodePictures(spec, toEncode);
  promise.set_value(made);
  if (!made) {  // a failure is not kept
    std::lock_guard lock(mutex);
    cache.remove_if([&](const auto& entry) { return entry.first == key; });
  }
  return made;
}

// How many packets, from the first in decode order, hold exactly the first pictures up to
// `frames` of them: the longest cut that leaves no picture waiting for a reference that is cut.
size_t wholePrefix(const std::vector<AVPacket*>& packets, int64_t frames) {
  size_t cut = 0;
  int64_t highest = -1;
  for (size_t i = 0; i < packets.size(); ++i) {
    highest = std::max(highest, packets[i]->pts);
    if (highest >= frames) break;
    if (highest + 1 == static_cast<int64_t>(i + 1)) cut = i + 1;
  }
  return cut;
}

// An in-memory muxer for one video stream, and the camera's sound when asked for.
struct Muxer {
  AVFormatContext* format = nullptr;
  AVIOContext* io = nullptr;
  AVStream* stream = nullptr;
  AVStream* soundStream = nullptr;
  std::shared_ptr<const CameraSound> sound;
  AVPacket* packet = av_packet_alloc();
  MemoryOutput output;
  int fps = 1;
  int64_t picturesWritten = 0;
  int64_t soundWritten = 0;  // sound packets written, counted across cycles
  // Live segments: the sound's first packet is packet `soundFirst` of the endless tone and plays
  // `soundLead` samples after the first picture (before it: < 0); packets are written when they start (not end)
  // before the limit, so that the one that straddles two segments is in the first.
  int64_t soundFirst = 0, soundLead = 0;
  bool soundByStart = false;

  ~Muxer() {
    av_packet_free(&packet);
    if (format) avformat_free_context(format);
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  bool open(const std::string& container, const Pictures& pictures, int framesPerSecond,
            std::shared_ptr<const CameraSound> withSound, double startTime, const std::string& movflags,
            double timeOffset) {
    fps = framesPerSecond;
    const AVOutputFormat* muxer = av_guess_format(container.c_str(), nullptr, nullptr);
    if (!muxer || !packet || avformat_alloc_output_context2(&format, muxer, nullptr, nullptr) < 0) return false;
    auto* ioBuffer = static_cast<uint8_t*>(av_malloc(64 * 1024));
    io = avio_alloc_context(ioBuffer, 64 * 1024, 1, &output, nullptr, &MemoryOutput::write, &MemoryOutput::seek);
    if (!io) {
      av_free(ioBuffer);
      return false;
    }
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    stream = avformat_new_stream(format, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, pictures.parameters) < 0) return false;
    stream->time_base = pictures.timeBase;
    if (withSound) {
      sound = std::move(withSound);
      soundStream = avformat_new_stream(format, nullptr);
      if (!soundStream || avcodec_parameters_copy(soundStream->codecpar, sound->parameters) < 0) return false;
      soundStream->time_base = AVRational{1, kCameraSoundRate};
      if (container == "mpegts") {
        const auto startSample = static_cast<int64_t>(std::llround(startTime * kCameraSoundRate));
        // The packet under way at the segment's start opens it, so that its decoder has the frame
        // the next one overlaps (the segment before holds it too).
        soundFirst = (startSample + sound->frameSamples - 1) / sound->frameSamples - 1;
        soundLead = soundFirst * sound->frameSamples - startSample;
        soundByStart = true;
      }
    }
    // Each sound packet in its own PES packet, right before the picture that follows it, as a
    // camera streams it: bundled, the sound would trail the pictures by most of a second.
    AVDictionary* options = nullptr;
    if (soundByStart) av_dict_set(&options, "pes_payload_size", "0", 0);
    if (!movflags.empty()) av_dict_set(&options, "movflags", movflags.c_str(), 0);
    if (timeOffset > 0 && movflags.find("empty_moov") != std::string::npos) {
      // A fragmented file's first decode time says where its times start (no edit list).
      av_dict_set(&options, "movflags", "+frag_discont", AV_DICT_APPEND);
      av_dict_set(&options, "use_editlist", "0", 0);
    }
    // A transport stream's clock does not start at 0 (the sound's first packet starts a little
    // before the first picture, and a negative time would be dropped).
    if (container == "mpegts") format->output_ts_offset = 10 * AV_TIME_BASE;
    if (timeOffset > 0) {
      // Kept as written: the muxer would otherwise move a fragmented file's times back to 0.
      format->output_ts_offset = static_cast<int64_t>(timeOffset * AV_TIME_BASE);
      format->avoid_negative_ts = AVFMT_AVOID_NEG_TS_DISABLED;
    }
    const int written = avformat_write_header(format, &options);
    av_dict_free(&options);
    return written >= 0;
  }

  // Writes the sound packets that end by `seconds` and are not written yet. Placing them by this
  // rule alone (and not by the muxer's interleaving) keeps a shorter take a prefix of a longer.
  bool writeSoundUntil(double seconds) {
    if (!sound) return true;
    const auto perCycle = static_cast<int64_t>(sound->packets.size());
    const auto limit = static_cast<int64_t>(std::floor(seconds * kCameraSoundRate + 1e-6));
    for (;; ++soundWritten) {
      const int64_t start = soundLead + soundWritten * sound->frameSamples;
      if (soundByStart ? start >= limit : start + sound->frameSamples > limit) return true;
      const AVPacket* source = sound->packets[static_cast<size_t>((soundFirst + soundWritten) % perCycle)];
      if (av_packet_ref(packet, source) < 0) return false;
      packet->pts = packet->dts = start;
      av_packet_rescale_ts(packet, AVRational{1, kCameraSoundRate}, soundStream->time_base);
      packet->stream_index = soundStream->index;
      const int rc = av_write_frame(format, packet);
      av_packet_unref(packet);
      if (rc < 0) return false;
    }
  }

  // Writes the first `count` packets, `shift` frames later than encoded.
  bool write(const Pictures& pictures, size_t count, int64_t shift) {
    for (size_t i = 0; i < count; ++i) {
      if (!writeSoundUntil(static_cast<double>(picturesWritten) / fps)) return false;
      av_packet_ref(packet, pictures.packets[i]);
      packet->pts += shift;
      packet->dts += shift;
      av_packet_rescale_ts(packet, pictures.timeBase, stream->time_base);
      packet->stream_index = stream->index;
      const int rc = av_write_frame(format, packet);
      av_packet_unref(packet);
      if (rc < 0) return false;
      ++picturesWritten;
    }
    return true;
  }

  std::string finish() {
    if (!writeSoundUntil(static_cast<double>(picturesWritten) / fps)) return {};
    if (av_write_trailer(format) < 0) return {};
    avio_flush(io);
    return std::move(output.bytes);
  }
};

}  // namespace

void setEncodeHookForTests(std::function<void()> hook) {
  std::lock_guard lock(encodeHook().mutex);
  encodeHook().hook = std::move(hook);
}

std::string encodeLabelledVideo(const VideoSpec& spec) {
  const Shape shape(spec);
  const double duration = std::clamp(spec.duration, 0.0, kMaxVideoSeconds);
  const int frames = std::max(1, static_cast<int>(std::lround(duration * shape.fps)));
  // Pictures of the MPEG-4 Part 2 encoder (no B-frames, no look-ahead) do not depend on what
  // follows them, so exactly the frames asked for are encoded. H.264 repeats one cycle of closed
  // groups of pictures with timestamps running on; every take, whatever its length, is cut from
  // the same encoded pictures, so a longer take of a recording only appends to a shorter one.
  const PicturesPtr pictures =
      spec.h264 ? cachedH264Pictures(spec, std::min(frames, shape.cycleFrames)) : encodePictures(spec, frames);
  if (!pictures) return {};
  const int cycle = spec.h264 ? shape.cycleFrames : frames;
  const int repeats = frames / cycle;
  const size_t tail = wholePrefix(pictures->packets, frames % cycle);
  std::shared_ptr<const CameraSound> sound;
  if (spec.sound) {
    sound = cameraSound(spec.toneHz);
    if (!sound) return {};
  }
  Muxer m;
  if (!m.open(spec.container, *pictures, shape.fps, std::move(sound), spec.startTime, spec.movflags, spec.timeOffset)) {
    return {};
  }
  for (int pass = 0; pass < repeats; ++pass) {
    if (!m.write(*pictures, wholePrefix(pictures->packets, cycle), static_cast<int64_t>(pass) * cycle)) return {};
  }
  if (!m.write(*pictures, tail, static_cast<int64_t>(repeats) * cycle)) return {};
  return m.finish();
}

std::shared_ptr<const std::string> cachedLabelledVideo(const VideoSpec& spec) {
  // A few recent videos: enough for a test or a demo session, bounded in memory. A video being
  // made is in the cache as a future, so a second request waits for it instead of encoding again.
  using Video = std::shared_ptr<const std::string>;
  static std::mutex mutex;
  static std::list<std::pair<std::string, std::shared_future<Video>>> cache;
  constexpr size_t kCapacity = 8;
  char key[512];
  std::snprintf(key, sizeof key, "%s|%.3f|%.3f|%d|%d|%dx%d|%d|%d|%.1f|%s|%s|%.3f", spec.label.c_str(), spec.startTime,
                std::min(spec.duration, kMaxVideoSeconds), spec.utcOffsetSeconds, spec.fps, spec.width,
                spec.height, spec.h264 ? 1 : 0, spec.sound ? 1 : 0, spec.toneHz, spec.container.c_str(),
                spec.movflags.c_str(), spec.timeOffset);
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
