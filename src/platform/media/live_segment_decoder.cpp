#include "platform/media/live_segment_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "platform/media/audio_frame_pcm.h"
#include "platform/media/deinterlacer.h"
#include "platform/media/frame_converter.h"
#include "platform/media/media_input_policy.h"

namespace dk::platform {
namespace {

constexpr int kLiveReadBufferBytes = 32 * 1024;
// The demuxer reads this far (in video time) ahead of the picture being decoded, so that sound a
// muxer places after the pictures of its time is decoded before them: ffmpeg's MPEG-TS muxer packs
// up to 0.35 s of AAC in one packet and writes it once the video has passed it.
constexpr double kReadAheadSeconds = 1.0;
// Video packets held ahead at most (a second of video at 60 frames a second, four times over),
// whatever their timestamps say.
constexpr size_t kMaxPacketsAhead = 256;

// The segment in memory, after its initialisation section when it has one (neither is copied).
struct LiveMemoryInput {
  std::shared_ptr<const std::string> head, bytes;
  size_t position = 0;
  static int read(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<LiveMemoryInput*>(opaque);
    const size_t headSize = self->head ? self->head->size() : 0;
    const std::string& from = self->position < headSize ? *self->head : *self->bytes;
    const size_t at = self->position < headSize ? self->position : self->position - headSize;
    const size_t left = from.size() - at;
    if (left == 0) return AVERROR_EOF;
    const size_t count = std::min(left, static_cast<size_t>(size));
    std::memcpy(buffer, from.data() + at, count);
    self->position += count;
    return static_cast<int>(count);
  }
};

bool pictureFits(int width, int height) {
  return width > 0 && height > 0 && width <= LivePictureLimits::kMaxSide && height <= LivePictureLimits::kMaxSide &&
         int64_t{width} * height <= LivePictureLimits::kMaxPixels;
}

// Budgets are for one to sixty seconds, whatever length a playlist claims.
double budgetSeconds(double seconds) { return std::clamp(std::isfinite(seconds) ? seconds : 0.0, 1.0, 60.0); }

// Sound decoded before the first picture fixes where the segment starts, kept with its own time.
struct PendingSound {
  double at = 0;  // seconds on the stream's clock
  LiveSegmentSound sound;
};

}  // namespace

int64_t LivePictureLimits::segmentBudget(double seconds) {
  return static_cast<int64_t>(budgetSeconds(seconds) * static_cast<double>(kMaxBytesPerSecond));
}

int64_t LiveSoundLimits::segmentBudget(double seconds) {
  return static_cast<int64_t>(budgetSeconds(seconds) * static_cast<double>(kMaxBytesPerSecond));
}


struct LiveSegmentDecoder::Impl {
  LiveMemoryInput input;
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  FrameConverter converter;
  Deinterlacer deinterlacer;  // interlaced pictures only
  int stream = -1;
  double timeBase = 0;
  int64_t firstPts = AV_NOPTS_VALUE;
  double lastOffset = 0;
  int64_t budget = 0, decoded = 0;
  size_t pictures = 0;
  bool draining = false, failed = false;
  bool refusedPicture = false;  // the decoder asked for a picture past the bounds

  // The sound stream, while it is heard.
  AVCodecContext* sound = nullptr;
  AVFrame* soundFrame = nullptr;
  int soundStream = -1;
  double soundTimeBase = 0;
  int soundRate = 0, soundChannels = 0;
  int64_t soundBudget = 0, soundDecoded = 0;
  int soundFailuresInRow = 0;
  std::string soundRefusal;
  std::vector<PendingSound> pendingSound;

  // Video packets read but not yet given to the decoder, and whether the demuxer is at its end.
  std::deque<AVPacket*> videoAhead;
  bool demuxed = false;

  // Every picture the decoder makes is asked for here first, so none past the bounds is allocated.
  static int getBuffer(AVCodecContext* codec, AVFrame* frame, int flags) {
    if (!pictureFits(frame->width, frame->height)) {
      static_cast<Impl*>(codec->opaque)->refusedPicture = true;
      return AVERROR(EINVAL);
    }
    return avcodec_default_get_buffer2(codec, frame, flags);
  }

  ~Impl() {
    for (AVPacket* p : videoAhead) av_packet_free(&p);
    av_frame_free(&soundFrame);
    avcodec_free_context(&sound);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);  // frees the context even when opening failed midway
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  // The segment's sound stream, when it has one a microphone could have made; anything else
  // stays unread.
  void openSound() {
    // The first sound stream (the best-stream search passes over those whose rate is not yet
    // known, as MPEG-TS's are until their packets are read).
    int found = -1;
    for (unsigned i = 0; i < format->nb_streams && found < 0; ++i) {
      if (format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) found = static_cast<int>(i);
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      if (static_cast<int>(i) != stream && static_cast<int>(i) != found) format->streams[i]->discard = AVDISCARD_ALL;
    }
    if (found < 0) return;
    format->streams[found]->discard = AVDISCARD_ALL;  // until it is known to be heard
    const AVCodecParameters* par = format->streams[found]->codecpar;
    const AVCodec* decoder = cameraSoundDecoder(par->codec_id, kLiveSegmentInputPolicy);
    if (!decoder) {
      soundRefusal = "a sound codec not allowed";
      return;
    }
    // MPEG-TS's AAC tells the rate and channels in each packet's header, so they are usually checked on
    // the decoded frames; a stream that states them here is held to them now.
    if (par->sample_rate && !soundRateUsable(par->sample_rate)) {
      soundRefusal = "unusable sample rate " + std::to_string(par->sample_rate);
      return;
    }
    if (par->ch_layout.nb_channels && !soundChannelsUsable(par->ch_layout.nb_channels)) {
      soundRefusal = "unusable channel count " + std::to_string(par->ch_layout.nb_channels);
      return;
    }
    sound = avcodec_alloc_context3(decoder);
    soundFrame = av_frame_alloc();
    if (!sound || !soundFrame || avcodec_parameters_to_context(sound, par) < 0) {
      giveUpSound("the sound decoder does not open");
      return;
    }
    sound->thread_count = 1;
    if (avcodec_open2(sound, decoder, nullptr) < 0) {
      giveUpSound("the sound decoder does not open");
      return;
    }
    soundStream = found;
    soundTimeBase = av_q2d(format->streams[found]->time_base);
    format->streams[found]->discard = AVDISCARD_DEFAULT;
  }

  static bool soundRateUsable(int rate) {
    return rate >= LiveSoundLimits::kMinSampleRate && rate <= LiveSoundLimits::kMaxSampleRate;
  }
  static bool soundChannelsUsable(int channels) { return channels >= 1 && channels <= LiveSoundLimits::kMaxChannels; }

  void giveUpSound(std::string why) {
    soundRefusal = std::move(why);
    avcodec_free_context(&sound);
    if (soundStream >= 0) format->streams[soundStream]->discard = AVDISCARD_ALL;
    soundStream = -1;
  }
  void soundFailed() {
    if (++soundFailuresInRow > LiveSoundLimits::kMaxFailuresInRow) giveUpSound("the sound does not decode");
  }

  // Sends one packet of sound (null: the end) and keeps what it decodes.
  void decodeSound(const AVPacket* p) {
    if (!sound) return;
    if (avcodec_send_packet(sound, p) < 0 && p) {
      soundFailed();
      return;
    }
    while (sound) {
      const int got = avcodec_receive_frame(sound, soundFrame);
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
      if (got < 0) {
        soundFailed();
        return;
      }
      keepSound(soundFrame);
      av_frame_unref(soundFrame);
    }
  }

  void keepSound(const AVFrame* f) {
    const int channels = f->ch_layout.nb_channels;
    if (soundRate == 0) {
      // The first frame sets the segment's format; one no microphone has is not heard at all.
      if (!soundRateUsable(f->sample_rate)) return giveUpSound("unusable sample rate " + std::to_string(f->sample_rate));
      if (!soundChannelsUsable(channels)) return giveUpSound("unusable channel count " + std::to_string(channels));
      soundRate = f->sample_rate;
      soundChannels = channels;
    }
    if (f->sample_rate != soundRate || channels != soundChannels || !framePcmUsable(f)) return soundFailed();
    const int64_t bytes = int64_t{f->nb_samples} * channels * 2;
    if (soundDecoded + bytes > soundBudget) return giveUpSound("more sound than a segment may carry");
    soundFailuresInRow = 0;
    const int64_t pts = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
    double at = 0;
    if (pts != AV_NOPTS_VALUE) {
      at = static_cast<double>(pts) * soundTimeBase;
    } else if (!pendingSound.empty()) {
      const LiveSegmentSound& last = pendingSound.back().sound;
      at = pendingSound.back().at + static_cast<double>(last.samples.size() / static_cast<size_t>(soundChannels)) / soundRate;
    } else {
      return;  // nowhere to put it
    }
    // A frame that follows on from the one before joins its stretch.
    if (!pendingSound.empty()) {
      PendingSound& last = pendingSound.back();
      const double end =
          last.at + static_cast<double>(last.sound.samples.size() / static_cast<size_t>(soundChannels)) / soundRate;
      if (std::abs(at - end) * soundRate < 1.0) {
        appendFramePcm(f, &last.sound.samples);
        soundDecoded += bytes;
        return;
      }
    }
    PendingSound next;
    next.at = at;
    next.sound.sampleRate = soundRate;
    next.sound.channels = soundChannels;
    appendFramePcm(f, &next.sound.samples);
    soundDecoded += bytes;
    pendingSound.push_back(std::move(next));
  }

  // Reads packets until the video held ahead spans kReadAheadSeconds (or the segment ends),
  // decoding the sound among them as it comes.
  void readAhead() {
    auto seconds = [this](const AVPacket* p) {
      const int64_t t = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
      return t == AV_NOPTS_VALUE ? NAN : static_cast<double>(t) * timeBase;
    };
    while (!demuxed && videoAhead.size() < kMaxPacketsAhead) {
      if (videoAhead.size() >= 2 && seconds(videoAhead.back()) - seconds(videoAhead.front()) >= kReadAheadSeconds) {
        return;
      }
      if (av_read_frame(format, packet) < 0) {
        demuxed = true;
        decodeSound(nullptr);  // drain
        return;
      }
      if (packet->stream_index == stream) {
        AVPacket* kept = av_packet_alloc();
        if (!kept) {
          av_packet_unref(packet);
          return;
        }
        av_packet_move_ref(kept, packet);
        videoAhead.push_back(kept);
      } else if (packet->stream_index == soundStream) {
        decodeSound(packet);
      }
      av_packet_unref(packet);
    }
  }

  ImagePtr image(const AVFrame* f) { return converter.convert(deinterlacer.apply(f)); }
};

LiveSegmentDecoder::LiveSegmentDecoder() : impl_(std::make_unique<Impl>()) {}
LiveSegmentDecoder::~LiveSegmentDecoder() = default;
size_t LiveSegmentDecoder::pictureCount() const { return impl_->pictures; }
int64_t LiveSegmentDecoder::decodedBytes() const { return impl_->decoded; }
std::string LiveSegmentDecoder::soundRefusal() const { return impl_->soundRefusal; }
int64_t LiveSegmentDecoder::decodedSoundBytes() const { return impl_->soundDecoded; }

std::vector<LiveSegmentSound> LiveSegmentDecoder::takeSound() {
  Impl& c = *impl_;
  std::vector<LiveSegmentSound> out;
  if (c.firstPts == AV_NOPTS_VALUE) return out;  // placed once the first picture tells where 0 is
  const double zero = static_cast<double>(c.firstPts) * c.timeBase;
  for (PendingSound& p : c.pendingSound) {
    p.sound.offset = p.at - zero;
    out.push_back(std::move(p.sound));
  }
  c.pendingSound.clear();
  return out;
}

bool LiveSegmentDecoder::open(std::shared_ptr<const std::string> bytes, int64_t budgetBytes, std::string* error) {
  return open(std::move(bytes), budgetBytes, LiveSoundLimits::segmentBudget(60), error);
}

bool LiveSegmentDecoder::open(std::shared_ptr<const std::string> bytes, int64_t budgetBytes, int64_t soundBudgetBytes,
                              std::string* error) {
  return openWith(nullptr, std::move(bytes), budgetBytes, soundBudgetBytes, error);
}

bool LiveSegmentDecoder::openFragment(std::shared_ptr<const std::string> init, std::shared_ptr<const std::string> bytes,
                                      int64_t budgetBytes, int64_t soundBudgetBytes, std::string* error) {
  if (!init) {
    if (error) *error = "no initialisation section";
    impl_->failed = true;
    return false;
  }
  return openWith(std::move(init), std::move(bytes), budgetBytes, soundBudgetBytes, error);
}

bool LiveSegmentDecoder::openWith(std::shared_ptr<const std::string> init, std::shared_ptr<const std::string> bytes,
                                  int64_t budgetBytes, int64_t soundBudgetBytes, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    impl_->failed = true;
    return false;
  };
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });  // failures are reported here

  Impl& c = *impl_;
  if (!bytes) return fail("no segment");
  const bool fragment = init != nullptr;
  c.input.head = std::move(init);
  c.input.bytes = std::move(bytes);
  c.budget = budgetBytes;
  c.soundBudget = soundBudgetBytes;
  auto* buffer = static_cast<uint8_t*>(av_malloc(kLiveReadBufferBytes));
  c.io = avio_alloc_context(buffer, kLiveReadBufferBytes, 0, &c.input, &LiveMemoryInput::read, nullptr, nullptr);
  if (!c.io) {
    av_free(buffer);
    return fail("out of memory");
  }
  c.format = avformat_alloc_context();
  if (!c.format) return fail("out of memory");
  c.format->pb = c.io;
  c.format->flags |= AVFMT_FLAG_CUSTOM_IO;
  const MediaInputPolicy& policy = fragment ? kLiveFragmentInputPolicy : kLiveSegmentInputPolicy;
  if (!openMediaInput(&c.format, nullptr, policy)) return fail(fragment ? "not an fMP4 segment" : "not an MPEG-TS segment");
  // The stream's codec comes with its program table; its stream information is not read, as that
  // would decode pictures of a size not yet checked.
  c.stream = av_find_best_stream(c.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (c.stream < 0) return fail("no video stream");
  // An fMP4 stream's initialisation section may say how its pictures are shown (a phone held
  // upright); MPEG-TS has no such matrix, and each picture follows its own video's message.
  if (auto orientation = displayOrientationOf(c.format->streams[c.stream])) c.converter.setOrientation(*orientation);
  const AVCodecParameters* parameters = c.format->streams[c.stream]->codecpar;
  const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
  if (!decoder || decoder->type != AVMEDIA_TYPE_VIDEO || !allowsDecoder(kLiveSegmentInputPolicy, decoder->name)) {
    return fail("a video codec not allowed");
  }
  if ((parameters->width || parameters->height) && !pictureFits(parameters->width, parameters->height)) {
    return fail("a picture out of bounds");
  }
  c.codec = avcodec_alloc_context3(decoder);
  if (!c.codec || avcodec_parameters_to_context(c.codec, parameters) < 0) return fail("the decoder does not open");
  c.codec->opaque = &c;
  c.codec->get_buffer2 = &Impl::getBuffer;
  // Larger still is refused before the decoder sizes its own tables for it.
  c.codec->max_pixels = int64_t{LivePictureLimits::kMaxSide} * LivePictureLimits::kMaxSide;
  c.codec->thread_count = 1;  // one picture at a time: frame threads would each hold pictures
  if (avcodec_open2(c.codec, decoder, nullptr) < 0) return fail("the decoder does not open");
  c.timeBase = av_q2d(c.format->streams[c.stream]->time_base);
  c.packet = av_packet_alloc();
  c.frame = av_frame_alloc();
  if (!c.packet || !c.frame) return fail("out of memory");
  c.openSound();
  return true;
}

LiveSegmentDecoder::Step LiveSegmentDecoder::next(LiveSegmentFrame& out, std::string* error) {
  Impl& c = *impl_;
  auto fail = [&](const char* why) {
    if (error) *error = why;
    c.failed = true;
    return Step::Failed;
  };
  if (c.failed || !c.codec) return fail("the segment cannot be decoded");
  for (;;) {
    const int received = avcodec_receive_frame(c.codec, c.frame);
    if (c.refusedPicture) return fail("a picture out of bounds");
    if (received == 0) {
      const int w = c.frame->width, h = c.frame->height;
      const int64_t bytes = int64_t{w} * h * 4;
      if (!pictureFits(w, h) || c.pictures >= LivePictureLimits::kMaxFrames || c.decoded + bytes > c.budget) {
        av_frame_unref(c.frame);
        return fail("a picture out of bounds");
      }
      const int64_t pts = c.frame->best_effort_timestamp != AV_NOPTS_VALUE ? c.frame->best_effort_timestamp : c.frame->pts;
      if (c.firstPts == AV_NOPTS_VALUE) c.firstPts = pts;
      const double offset = pts == AV_NOPTS_VALUE ? c.lastOffset : static_cast<double>(pts - c.firstPts) * c.timeBase;
      // Pictures come in presentation order; one that claims an earlier time is shown in turn.
      c.lastOffset = std::max(c.lastOffset, offset);
      out.offset = c.lastOffset;
      out.image = c.image(c.frame);
      av_frame_unref(c.frame);
      if (!out.image) return fail("a picture cannot be converted");
      ++c.pictures;
      c.decoded += bytes;
      return Step::Picture;
    }
    if (received == AVERROR_EOF) return c.pictures ? Step::End : fail("the segment has no pictures");
    if (received != AVERROR(EAGAIN)) return fail("a picture cannot be decoded");
    if (c.draining) return c.pictures ? Step::End : fail("the segment has no pictures");
    // The decoder wants more: the next packet of our stream, or the end.
    c.readAhead();
    if (c.videoAhead.empty()) {
      avcodec_send_packet(c.codec, nullptr);  // drain
      c.draining = true;
      continue;
    }
    AVPacket* p = c.videoAhead.front();
    c.videoAhead.pop_front();
    avcodec_send_packet(c.codec, p);  // a broken packet is skipped, as a player does
    av_packet_free(&p);
    if (c.refusedPicture) return fail("a picture out of bounds");
  }
}

}  // namespace dk::platform
