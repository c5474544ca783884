#include "platform/media/live/live_segment_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include "platform/media/core/audio_frame_pcm.h"
#include "platform/media/core/deinterlacer.h"
#include "platform/media/core/frame_converter.h"
#include "platform/media/core/media_input_policy.h"

namespace dk::platform {
namespace {

constexpr int kLiveReadBufferBytes = 32 * 1024;
// Video packets a segment may hold: two for each picture it may make.
constexpr size_t kMaxVideoPackets = LivePictureLimits::kMaxFrames * 2;
// A segment whose first packet follows the one before within this is the stream going on, its
// time line kept; any other (a camera numbering its time anew) is placed right after it.
constexpr double kMaxJoinGapSeconds = 2.0;

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

// One segment read through when it is opened: its video packets in decoding order (its bytes
// no more than the segment's), its sound decoded, and what its container says of its video.
struct SegmentContents {
  std::deque<AVPacket*> video;
  AVCodecParameters* parameters = nullptr;
  AVRational timeBase{0, 1};
  std::optional<PictureOrientation> orientation;
  std::vector<PendingSound> sound;  // `at` on the segment's own clock
  std::string soundRefusal;
  int64_t soundDecoded = 0;

  SegmentContents() = default;
  SegmentContents(const SegmentContents&) = delete;
  SegmentContents& operator=(const SegmentContents&) = delete;
  ~SegmentContents() {
    for (AVPacket* p : video) av_packet_free(&p);
    avcodec_parameters_free(&parameters);
  }
};

// Reads a segment (after its initialisation section when it has one) and decodes its sound.
struct SegmentReader {
  LiveMemoryInput input;
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVPacket* packet = nullptr;
  int stream = -1;
  SegmentContents* out = nullptr;

  AVCodecContext* sound = nullptr;
  AVFrame* soundFrame = nullptr;
  int soundStream = -1;
  double soundTimeBase = 0;
  int soundRate = 0, soundChannels = 0;
  int64_t soundBudget = 0;
  int soundFailuresInRow = 0;

  ~SegmentReader() {
    av_frame_free(&soundFrame);
    avcodec_free_context(&sound);
    av_packet_free(&packet);
    avformat_close_input(&format);  // frees the context even when opening failed midway
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  // Opens the segment; the video stream found, or a reason.
  const char* open(std::shared_ptr<const std::string> init, std::shared_ptr<const std::string> bytes) {
    const bool fragment = init != nullptr;
    input.head = std::move(init);
    input.bytes = std::move(bytes);
    auto* buffer = static_cast<uint8_t*>(av_malloc(kLiveReadBufferBytes));
    io = avio_alloc_context(buffer, kLiveReadBufferBytes, 0, &input, &LiveMemoryInput::read, nullptr, nullptr);
    if (!io) {
      av_free(buffer);
      return "out of memory";
    }
    format = avformat_alloc_context();
    packet = av_packet_alloc();
    if (!format || !packet) return "out of memory";
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    const MediaInputPolicy& policy = fragment ? kLiveFragmentInputPolicy : kLiveSegmentInputPolicy;
    if (!openMediaInput(&format, nullptr, policy)) return fragment ? "not an fMP4 segment" : "not an MPEG-TS segment";
    // The stream's codec comes with its program table; its stream information is not read, as that
    // would decode pictures of a size not yet checked.
    stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0) return "no video stream";
    return nullptr;
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
      out->soundRefusal = "a sound codec not allowed";
      return;
    }
    // MPEG-TS's AAC tells the rate and channels in each packet's header, so they are usually checked on
    // the decoded frames; a stream that states them here is held to them now.
    if (par->sample_rate && !soundRateUsable(par->sample_rate)) {
      out->soundRefusal = "unusable sample rate " + std::to_string(par->sample_rate);
      return;
    }
    if (par->ch_layout.nb_channels && !soundChannelsUsable(par->ch_layout.nb_channels)) {
      out->soundRefusal = "unusable channel count " + std::to_string(par->ch_layout.nb_channels);
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
    out->soundRefusal = std::move(why);
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
    if (out->soundDecoded + bytes > soundBudget) return giveUpSound("more sound than a segment may carry");
    soundFailuresInRow = 0;
    std::vector<PendingSound>& pending = out->sound;
    const int64_t pts = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
    double at = 0;
    if (pts != AV_NOPTS_VALUE) {
      at = static_cast<double>(pts) * soundTimeBase;
    } else if (!pending.empty()) {
      const LiveSegmentSound& last = pending.back().sound;
      at = pending.back().at + static_cast<double>(last.samples.size() / static_cast<size_t>(soundChannels)) / soundRate;
    } else {
      return;  // nowhere to put it
    }
    // A frame that follows on from the one before joins its stretch.
    if (!pending.empty()) {
      PendingSound& last = pending.back();
      const double end =
          last.at + static_cast<double>(last.sound.samples.size() / static_cast<size_t>(soundChannels)) / soundRate;
      if (std::abs(at - end) * soundRate < 1.0) {
        appendFramePcm(f, &last.sound.samples);
        out->soundDecoded += bytes;
        return;
      }
    }
    PendingSound next;
    next.at = at;
    next.sound.sampleRate = soundRate;
    next.sound.channels = soundChannels;
    appendFramePcm(f, &next.sound.samples);
    out->soundDecoded += bytes;
    pending.push_back(std::move(next));
  }

  // Reads the whole segment: its video packets kept, its sound decoded as it comes.
  const char* readAll() {
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == stream) {
        if (out->video.size() >= kMaxVideoPackets) return "a picture out of bounds";
        AVPacket* kept = av_packet_alloc();
        if (!kept) return "out of memory";
        av_packet_move_ref(kept, packet);
        out->video.push_back(kept);
      } else if (packet->stream_index == soundStream) {
        decodeSound(packet);
      }
      av_packet_unref(packet);
    }
    decodeSound(nullptr);  // drain
    return nullptr;
  }
};

std::unique_ptr<SegmentContents> readSegment(std::shared_ptr<const std::string> init,
                                             std::shared_ptr<const std::string> bytes, int64_t soundBudget,
                                             std::string* error) {
  auto contents = std::make_unique<SegmentContents>();
  SegmentReader reader;
  reader.out = contents.get();
  reader.soundBudget = soundBudget;
  const char* why = reader.open(std::move(init), std::move(bytes));
  if (!why) {
    const AVStream* stream = reader.format->streams[reader.stream];
    contents->timeBase = stream->time_base;
    // An fMP4 stream's initialisation section may say how its pictures are shown (a phone held
    // upright); MPEG-TS has no such matrix, and each picture follows its own video's message.
    contents->orientation = displayOrientationOf(stream);
    contents->parameters = avcodec_parameters_alloc();
    if (!contents->parameters || avcodec_parameters_copy(contents->parameters, stream->codecpar) < 0) {
      why = "out of memory";
    }
  }
  if (!why) {
    reader.openSound();
    why = reader.readAll();
  }
  if (why) {
    if (error) *error = why;
    return nullptr;
  }
  return contents;
}

}  // namespace

int64_t LivePictureLimits::segmentBudget(double seconds) {
  return static_cast<int64_t>(budgetSeconds(seconds) * static_cast<double>(kMaxBytesPerSecond));
}

int64_t LiveSoundLimits::segmentBudget(double seconds) {
  return static_cast<int64_t>(budgetSeconds(seconds) * static_cast<double>(kMaxBytesPerSecond));
}

struct LiveSegmentDecoder::Impl {
  // The stream's video decoder, kept from segment to segment, and what it was opened for.
  AVCodecContext* codec = nullptr;
  AVFrame* frame = nullptr;
  FrameConverter converter;
  Deinterlacer deinterlacer;  // interlaced pictures only
  int codecId = 0;
  int width = 0, height = 0;  // as the containers state them (0: not stated)
  AVRational timeBase{0, 1};
  std::shared_ptr<const std::string> init;
  bool whole = false;     // a segment on its own: its held pictures are drained at its end
  bool draining = false;  // the decoder was told the end and gives out what it holds
  bool ended = false;     // the stream was ended: what comes next starts anew
  bool failed = false;
  bool refusedPicture = false;  // the decoder asked for a picture past the bounds

  // The segment being decoded: its video packets (their times moved onto the stream's), its
  // number and its bounds.
  std::deque<AVPacket*> video;
  int64_t sequence = 0;
  int64_t budget = 0, decoded = 0;
  size_t pictures = 0;
  // A segment that starts the stream anew, waiting while the decoder gives out what it holds.
  std::unique_ptr<SegmentContents> waiting;
  LiveSegmentInput waitingInput;

  // The stream's time line: a picture is at start + (its pts - the first picture's) seconds,
  // each segment's times moved by `shift` so that they go on from the segment before. A segment
  // that ends before any picture has come puts 0 at the stream's earliest packet instead, so that
  // its sound can be placed (and heard) without one.
  double start = 0;
  int64_t firstPts = AV_NOPTS_VALUE, earliestPts = AV_NOPTS_VALUE;
  double lastOffset = 0;
  size_t streamPictures = 0;
  int64_t shift = 0, lastDts = AV_NOPTS_VALUE, dtsStep = 1;

  std::string soundRefusal;
  int64_t soundDecoded = 0;
  std::vector<PendingSound> pendingSound;  // `at` on the stream's moved clock

  // Every picture the decoder makes is asked for here first, so none past the bounds is allocated.
  static int getBuffer(AVCodecContext* codec, AVFrame* frame, int flags) {
    if (!pictureFits(frame->width, frame->height)) {
      static_cast<Impl*>(codec->opaque)->refusedPicture = true;
      return AVERROR(EINVAL);
    }
    return avcodec_default_get_buffer2(codec, frame, flags);
  }

  ~Impl() {
    for (AVPacket* p : video) av_packet_free(&p);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
  }

  bool fail(std::string* error, const char* why) {
    if (error) *error = why;
    failed = true;
    return false;
  }

  static const AVCodec* videoDecoder(const AVCodecParameters* parameters) {
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder || decoder->type != AVMEDIA_TYPE_VIDEO || !allowsDecoder(kLiveSegmentInputPolicy, decoder->name)) {
      return nullptr;
    }
    return decoder;
  }

  bool add(const LiveSegmentInput& in, std::string* error) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });  // failures are reported here
    if (failed) return fail(error, "the segment cannot be decoded");
    if (!in.bytes) return fail(error, "no segment");
    std::string why;
    auto contents = readSegment(in.init, in.bytes, in.soundBudgetBytes, &why);
    if (!contents) {
      if (error) *error = why;
      failed = true;
      return false;
    }
    const AVCodecParameters* parameters = contents->parameters;
    if (!videoDecoder(parameters)) return fail(error, "a video codec not allowed");
    if ((parameters->width || parameters->height) && !pictureFits(parameters->width, parameters->height)) {
      return fail(error, "a picture out of bounds");
    }
    sequence = in.sequence;
    budget = in.budgetBytes;
    decoded = 0;
    pictures = 0;
    soundRefusal = contents->soundRefusal;
    soundDecoded = contents->soundDecoded;
    const bool sameInit = in.init == init || (in.init && init && *in.init == *init);
    const bool sameSize = !width || !parameters->width || (width == parameters->width && height == parameters->height);
    if (codec && !ended && !in.anew && parameters->codec_id == codecId && sameInit && sameSize &&
        av_cmp_q(contents->timeBase, timeBase) == 0) {
      place(*contents);
      return true;
    }
    if (codec && !whole && !ended) {
      // What the decoder holds of the stream before is given out first.
      waiting = std::move(contents);
      waitingInput = in;
      waitingInput.bytes.reset();
      avcodec_send_packet(codec, nullptr);
      draining = true;
      return true;
    }
    return startStream(std::move(contents), in, error);
  }

  // A new video decoder for the stream from this segment on.
  bool startStream(std::unique_ptr<SegmentContents> contents, const LiveSegmentInput& in, std::string* error) {
    avcodec_free_context(&codec);
    draining = ended = false;
    const AVCodecParameters* parameters = contents->parameters;
    const AVCodec* decoder = videoDecoder(parameters);
    if (!decoder) return fail(error, "a video codec not allowed");
    codec = avcodec_alloc_context3(decoder);
    if (!codec || avcodec_parameters_to_context(codec, parameters) < 0) return fail(error, "the decoder does not open");
    codec->opaque = this;
    codec->get_buffer2 = &Impl::getBuffer;
    // Larger still is refused before the decoder sizes its own tables for it.
    codec->max_pixels = int64_t{LivePictureLimits::kMaxSide} * LivePictureLimits::kMaxSide;
    codec->thread_count = 1;  // one picture at a time: frame threads would each hold pictures
    if (avcodec_open2(codec, decoder, nullptr) < 0) return fail(error, "the decoder does not open");
    if (!frame) frame = av_frame_alloc();
    if (!frame) return fail(error, "out of memory");
    if (contents->orientation) converter.setOrientation(*contents->orientation);
    codecId = parameters->codec_id;
    width = parameters->width;
    height = parameters->height;
    timeBase = contents->timeBase;
    init = in.init;
    start = lastOffset = in.start;
    firstPts = earliestPts = AV_NOPTS_VALUE;
    streamPictures = 0;
    shift = 0;
    lastDts = AV_NOPTS_VALUE;
    dtsStep = 1;
    pendingSound.clear();  // the sound of a stream that showed nothing has nowhere to go
    place(*contents);
    return true;
  }

  // Takes the segment's packets and sound onto the stream's time line.
  void place(SegmentContents& contents) {
    int64_t first = AV_NOPTS_VALUE;
    for (const AVPacket* p : contents.video) {
      first = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
      if (first != AV_NOPTS_VALUE) break;
    }
    if (first != AV_NOPTS_VALUE && lastDts != AV_NOPTS_VALUE) {
      const double gap = static_cast<double>(first + shift - lastDts) * av_q2d(timeBase);
      if (!(gap > 0 && gap <= kMaxJoinGapSeconds)) shift = lastDts + dtsStep - first;
    }
    for (AVPacket* p : contents.video) {
      if (p->pts != AV_NOPTS_VALUE) {
        p->pts += shift;
        if (earliestPts == AV_NOPTS_VALUE || p->pts < earliestPts) earliestPts = p->pts;
      }
      if (p->dts != AV_NOPTS_VALUE) {
        p->dts += shift;
        if (lastDts != AV_NOPTS_VALUE && p->dts > lastDts) dtsStep = p->dts - lastDts;
        lastDts = p->dts;
      }
      video.push_back(p);
    }
    contents.video.clear();
    const double moved = static_cast<double>(shift) * av_q2d(timeBase);
    for (PendingSound& sound : contents.sound) {
      sound.at += moved;
      pendingSound.push_back(std::move(sound));
    }
  }

  ImagePtr image(const AVFrame* f) { return converter.convert(deinterlacer.apply(f)); }

  // A segment of a stream is decoded through; one that leaves the stream still without a picture
  // fixes its time line from its packets, so that its sound goes out rather than waiting for ever.
  LiveSegmentDecoder::Step segmentEnd() {
    if (firstPts == AV_NOPTS_VALUE && streamPictures == 0) firstPts = earliestPts;
    return LiveSegmentDecoder::Step::End;
  }
};

LiveSegmentDecoder::LiveSegmentDecoder() : impl_(std::make_unique<Impl>()) {}
LiveSegmentDecoder::~LiveSegmentDecoder() = default;
size_t LiveSegmentDecoder::pictureCount() const { return impl_->pictures; }
size_t LiveSegmentDecoder::streamPictureCount() const { return impl_->streamPictures; }
int64_t LiveSegmentDecoder::decodedBytes() const { return impl_->decoded; }
std::string LiveSegmentDecoder::soundRefusal() const { return impl_->soundRefusal; }
int64_t LiveSegmentDecoder::decodedSoundBytes() const { return impl_->soundDecoded; }

std::vector<LiveSegmentSound> LiveSegmentDecoder::takeSound() {
  Impl& c = *impl_;
  std::vector<LiveSegmentSound> out;
  if (c.firstPts == AV_NOPTS_VALUE) return out;  // placed once the first picture tells where 0 is
  const double zero = static_cast<double>(c.firstPts) * av_q2d(c.timeBase);
  for (PendingSound& p : c.pendingSound) {
    p.sound.offset = c.start + p.at - zero;
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
  impl_->whole = true;
  return impl_->add({nullptr, std::move(bytes), 0, 0, true, budgetBytes, soundBudgetBytes}, error);
}

bool LiveSegmentDecoder::openFragment(std::shared_ptr<const std::string> init, std::shared_ptr<const std::string> bytes,
                                      int64_t budgetBytes, int64_t soundBudgetBytes, std::string* error) {
  if (!init) return impl_->fail(error, "no initialisation section");
  impl_->whole = true;
  return impl_->add({std::move(init), std::move(bytes), 0, 0, true, budgetBytes, soundBudgetBytes}, error);
}

void LiveSegmentDecoder::endStream() {
  Impl& c = *impl_;
  if (!c.codec || c.ended || c.failed) return;
  for (AVPacket* p : c.video) av_packet_free(&p);
  c.video.clear();
  avcodec_send_packet(c.codec, nullptr);
  c.draining = c.ended = true;
}

bool LiveSegmentDecoder::add(const LiveSegmentInput& segment, std::string* error) {
  if (segment.init && segment.init->empty()) return impl_->fail(error, "no initialisation section");
  return impl_->add(segment, error);
}

LiveSegmentDecoder::Step LiveSegmentDecoder::next(LiveSegmentFrame& out, std::string* error) {
  Impl& c = *impl_;
  auto fail = [&](const char* why) {
    c.fail(error, why);
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
      const double offset =
          pts == AV_NOPTS_VALUE ? c.lastOffset : c.start + static_cast<double>(pts - c.firstPts) * av_q2d(c.timeBase);
      // Pictures come in presentation order; one that claims an earlier time is shown in turn.
      c.lastOffset = std::max(c.lastOffset, offset);
      out.offset = c.lastOffset;
      out.sequence = c.sequence;
      out.image = c.image(c.frame);
      av_frame_unref(c.frame);
      if (!out.image) return fail("a picture cannot be converted");
      ++c.pictures;
      ++c.streamPictures;
      c.decoded += bytes;
      return Step::Picture;
    }
    if (received == AVERROR_EOF || (c.draining && received == AVERROR(EAGAIN))) {
      if (c.waiting) {
        // The stream before is given out: the next starts anew.
        const LiveSegmentInput in = c.waitingInput;
        std::string why;
        if (!c.startStream(std::move(c.waiting), in, &why)) {
          if (error) *error = why;
          return Step::Failed;
        }
        continue;
      }
      if (!c.whole) return c.segmentEnd();
      return c.pictures ? Step::End : fail("the segment has no pictures");
    }
    if (received != AVERROR(EAGAIN)) return fail("a picture cannot be decoded");
    if (c.video.empty()) {
      if (!c.whole) return c.segmentEnd();  // what the decoder holds comes out with the next segment
      avcodec_send_packet(c.codec, nullptr);  // drain
      c.draining = true;
      continue;
    }
    AVPacket* p = c.video.front();
    c.video.pop_front();
    avcodec_send_packet(c.codec, p);  // a broken packet is skipped, as a player does
    av_packet_free(&p);
    if (c.refusedPicture) return fail("a picture out of bounds");
  }
}

}  // namespace dk::platform
