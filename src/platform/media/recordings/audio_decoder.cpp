#include "platform/media/recordings/audio_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "platform/media/core/audio_frame_pcm.h"
#include "platform/media/core/media_input_policy.h"
#include "platform/media/recordings/media_input_reader.h"
#include "platform/media/recordings/mp4_boxes.h"
#include "platform/media/recordings/mp4_fragment_locator.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace dk::platform {
namespace {

// Only what cameras record is decoded from a recording's sound.
constexpr MediaInputPolicy kRecordingSoundInputPolicy{"mov", "mov,mp4,m4a,3gp,3g2,mj2", "none", kCameraSoundDecoders};
constexpr MediaInputPolicy kRecordingSoundFilePolicy{"mov", "mov,mp4,m4a,3gp,3g2,mj2", "file", kCameraSoundDecoders};
constexpr int kSoundInputBufferBytes = 32 * 1024;
// Reads that jump less than this ahead decode through the gap instead of seeking.
constexpr double kDecodeThroughSeconds = 0.5;
// Decoded before a seek's target and dropped: two AAC frames, or the 80 ms Opus needs to settle.
constexpr int64_t kSeekPrerollSamples = 2048;
constexpr double kSeekPrerollSeconds = 0.08;
// After this many frames in a row that do not decode, the track is given up (silence).
constexpr int kMaxFailuresInRow = 64;
// A fragmented recording: a seek outside what the demuxer has read since it was placed goes to
// the fragment that holds the time (found without reading the media between), or, without an
// index, to a fragment known this near before it, decoding on from there.
constexpr double kDecodeFromKnownSeconds = 4;
// The fragments' own decode times (tfdt) are the track's before the demuxer's shift, which a
// sound track's edit list keeps to a frame or two: a fragment this early is sure to be early enough.
constexpr double kFragmentLeadSeconds = 1;
// The samples of one fragment of sound, at most.
constexpr int64_t kMostFragmentSoundSamples = 1 << 20;

}  // namespace

struct AudioDecoder::Impl {
  std::unique_ptr<MediaInputReader> reader;
  std::shared_ptr<const Mp4Movie> movie;     // read once, for the demuxer and the box reader alike
  bool fragmented = false;
  bool fragmentsRead = false;               // whether the fragments were looked into (at the first seek)
  std::optional<Mp4Fragments> fragments;    // of a fragmented recording
  std::optional<Mp4FragmentLocator> locator;
  int64_t placedAt = -1;                    // the fragment the demuxer was opened at (-1: the start)
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int stream = -1;
  AVRational timeBase{1, 1};
  Format shape;

  // Decoded sound not yet handed out: `pcm` (interleaved) starts at sample `pcmStart` of the
  // track; `positioned` is false until a frame has told where decoding stands.
  std::vector<int16_t> pcm;
  int64_t pcmStart = 0;
  int64_t wantUntil = 0;  // the sample the read in progress ends at
  // Where reads go on without a seek: the end of the last read (or the last seek's sample). A seek
  // that lands past its sample leaves silence before what it decoded, not another seek.
  int64_t readEnd = 0;
  bool positioned = false;
  bool endOfTrack = false;
  bool broken = false;
  int failuresInRow = 0;
  Counters counters;

  ~Impl() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  int64_t pcmEnd() const { return pcmStart + static_cast<int64_t>(pcm.size()) / shape.channels; }

  bool openTrack(const MediaInputPolicy& policy, std::string* why) {
    const int found = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (found < 0) {
      *why = "no sound track";
      return false;
    }
    stream = found;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
      if (static_cast<int>(i) != stream) format->streams[i]->discard = AVDISCARD_ALL;
    }
    const AVCodecParameters* par = format->streams[stream]->codecpar;
    const AVCodec* decoder = cameraSoundDecoder(par->codec_id, policy);
    if (!decoder) {
      *why = "a sound codec not allowed";
      return false;
    }
    if (par->sample_rate < kMinSampleRate || par->sample_rate > kMaxSampleRate) {
      *why = "unusable sample rate " + std::to_string(par->sample_rate);
      return false;
    }
    if (par->ch_layout.nb_channels < 1 || par->ch_layout.nb_channels > kMaxChannels) {
      *why = "unusable channel count " + std::to_string(par->ch_layout.nb_channels);
      return false;
    }
    timeBase = format->streams[stream]->time_base;
    if (timeBase.num <= 0 || timeBase.den <= 0) {
      *why = "no time base";
      return false;
    }
    codec = avcodec_alloc_context3(decoder);
    if (!codec || avcodec_parameters_to_context(codec, par) < 0) {
      *why = "the decoder does not open";
      return false;
    }
    codec->thread_count = 1;
    if (avcodec_open2(codec, decoder, nullptr) < 0) {
      *why = "the decoder does not open";
      return false;
    }
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (!packet || !frame) {
      *why = "out of memory";
      return false;
    }
    shape = {par->sample_rate, par->ch_layout.nb_channels};
    return true;
  }

  // Appends one decoded frame; false when it is not usable (wrong format or size).
  bool append(const AVFrame* f) {
    if (f->sample_rate != shape.sampleRate || f->ch_layout.nb_channels != shape.channels || !framePcmUsable(f)) {
      return false;
    }
    const int64_t pts = f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE && !positioned) return false;  // nowhere to put it
    if (pts != AV_NOPTS_VALUE) {
      const int64_t at = av_rescale_q(pts, timeBase, AVRational{1, shape.sampleRate});
      if (positioned && at > pcmEnd() && at <= wantUntil) {
        // A stretch without sound (frames missing or refused) within what is being read: silence,
        // so that the sound before it is still handed out.
        pcm.resize(pcm.size() + static_cast<size_t>(at - pcmEnd()) * static_cast<size_t>(shape.channels), 0);
      } else if (!positioned || at != pcmEnd()) {
        // The first frame after a seek, or a jump in the track: the buffer restarts there.
        pcm.clear();
        pcmStart = at;
      }
    }
    positioned = true;
    return appendFramePcm(f, &pcm);
  }

  // Decodes one more packet's worth; false at the end of the track (or when it is given up).
  bool decodeMore() {
    if (endOfTrack || broken) return false;
    for (;;) {
      const int got = avcodec_receive_frame(codec, frame);
      if (got == 0) {
        const bool ok = append(frame);
        av_frame_unref(frame);
        ok ? ++counters.framesDecoded : ++counters.framesRefused;
        failuresInRow = ok ? 0 : failuresInRow + 1;
        if (failuresInRow > kMaxFailuresInRow) broken = true;
        return !broken;
      }
      if (got == AVERROR_EOF) {
        endOfTrack = true;
        return false;
      }
      if (got != AVERROR(EAGAIN)) {
        avcodec_flush_buffers(codec);
      }
      const int read = av_read_frame(format, packet);
      if (read < 0) {
        avcodec_send_packet(codec, nullptr);  // drain what the decoder holds
        if (avcodec_receive_frame(codec, frame) == 0) {
          if (append(frame)) ++counters.framesDecoded;
          av_frame_unref(frame);
          continue;
        }
        endOfTrack = true;
        return false;
      }
      if (packet->stream_index == stream) {
        if (avcodec_send_packet(codec, packet) < 0) {
          ++counters.framesRefused;
          if (++failuresInRow > kMaxFailuresInRow) broken = true;
        }
      }
      av_packet_unref(packet);
      if (broken) return false;
    }
  }

  // Opens the demuxer again at fragment `moof` (-1: the file's start), shown the boxes between
  // the movie box and it as one to skip (media_input_reader.h).
  bool placeAt(int64_t moof) {
    moof = placeableFragment(*movie, moof);
    placedAt = -2;
    if (!reopenReaderInputAt(reader.get(), moof, kSoundInputBufferBytes, kRecordingSoundInputPolicy, &io, &format,
                             stream)) {
      broken = true;  // nothing more to read: silence
      return false;
    }
    placedAt = moof;
    return true;
  }

  // Whether the demuxer has read the packets about track time `ts` since it was placed (its
  // index of a fragmented file holds only those, and the movie box's own), so that its own seek
  // lands there: packets on both sides of it, at most a second apart.
  bool demuxerHolds(int64_t ts) const {
    AVStream* st = format->streams[stream];
    const int at = av_index_search_timestamp(st, ts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    const AVIndexEntry* before = at >= 0 ? avformat_index_get_entry(st, at) : nullptr;
    const AVIndexEntry* after = at >= 0 ? avformat_index_get_entry(st, at + 1) : nullptr;
    const int64_t second = av_rescale_q(1, AVRational{1, 1}, timeBase);
    return before && after && after->timestamp > ts && after->timestamp - before->timestamp <= second;
  }

  // The fragment to decode from for track time `ts` (-1: the file's start).
  int64_t fragmentFor(int64_t ts) {
    if (!fragmentsRead) {
      // The demuxer, which ignores its index of a fragmented file, would read every byte up to a
      // far time (or, the first fragment in the movie box, not even look for an index at the end).
      fragmentsRead = true;
      const int64_t size = reader->input.size ? reader->input.size() : -1;
      // The video's index serves when its time scale is known (its times are rescaled to ours).
      auto shared = reader->input.fragmentIndex;
      if (shared && shared->timescale <= 0) shared = nullptr;
      fragments = mp4Fragments(*movie, reader->input.read, size, format->streams[stream]->id, kLargestMovieBox,
                               std::move(shared));
      if (fragments) {
        locator.emplace(*fragments, reader->input.read, reader->input.prefetch, timeBase.num == 1 ? timeBase.den : 0,
                        kMostFragmentSoundSamples, kLargestMovieBox);
      }
    }
    if (!locator) return -1;
    const int64_t target = ts - av_rescale_q(1, AVRational{static_cast<int>(kFragmentLeadSeconds), 1}, timeBase);
    const Mp4FragmentLocator::Known known = locator->knownAround(target);
    const int64_t near = av_rescale_q(1, AVRational{static_cast<int>(kDecodeFromKnownSeconds), 1}, timeBase);
    if (!fragments->indexed() && known.before >= 0 && target - known.beforeTime <= near) return known.before;
    const int64_t movieEnd = movie->at + static_cast<int64_t>(movie->bytes.size());
    const int64_t moof = locator->locate(
        target, 0, {movieEnd, fragments->fileSize, 0, 0, locator->fragmentBytes()},
        [](const std::vector<Mp4SampleOffset>& samples) { return samples.front().decodeTime; });
    return moof >= 0 ? moof : (known.before >= 0 ? known.before : -1);
  }

  void seekTo(int64_t sample) {
    ++counters.seeks;
    // Each AAC frame overlaps the one before: decoding starts a couple of frames early, so the
    // sound at `sample` is what playing through would have given (the lead-in is dropped).
    const int64_t from =
        sample - std::max(kSeekPrerollSamples, static_cast<int64_t>(kSeekPrerollSeconds * shape.sampleRate));
    const int64_t ts = av_rescale_q(std::max<int64_t>(0, from), AVRational{1, shape.sampleRate}, timeBase);
    if (fragmented && reader && movie) {
      // Any seek, near or far, either way: the demuxer's own seek only where it has read since it
      // was placed; elsewhere it is placed at the fragment that holds the time first.
      const bool held = format && demuxerHolds(ts) && av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD) >= 0;
      // (Placed, it seeks within the fragment it read; a time past it is decoded through.)
      if (!held && placeAt(fragmentFor(ts))) av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD);
    } else if (format && av_seek_frame(format, stream, ts, AVSEEK_FLAG_BACKWARD) < 0) {
      // Before the first packet: from the first.
      av_seek_frame(format, stream, ts, AVSEEK_FLAG_ANY);
    }
    avcodec_flush_buffers(codec);
    pcm.clear();
    positioned = false;
    endOfTrack = false;
    failuresInRow = 0;
    readEnd = sample;
  }
};

AudioDecoder::AudioDecoder() = default;
AudioDecoder::~AudioDecoder() = default;

bool AudioDecoder::open(VideoDecoder::Input input, std::string* error) {
  impl_ = std::make_unique<Impl>();
  Impl& d = *impl_;
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    impl_.reset();
    return false;
  };
  if (!input.read) return fail("nothing to read");
  d.reader = std::make_unique<MediaInputReader>();
  d.reader->input = std::move(input);
  bool fragmented = false;
  if (const char* why = openRecordingInput(d.reader.get(), kSoundInputBufferBytes, kRecordingSoundInputPolicy, &d.io,
                                           &d.format, &fragmented)) {
    return fail(why);
  }
  d.movie = d.reader->movie;
  std::string why;
  if (!d.openTrack(kRecordingSoundInputPolicy, &why)) return fail(why);
  d.fragmented = fragmented;
  return true;
}

bool AudioDecoder::open(const std::string& path, std::string* error) {
  impl_ = std::make_unique<Impl>();
  std::string why = "not a media file";
  if (!openMediaInput(&impl_->format, path.c_str(), kRecordingSoundFilePolicy) ||
      !impl_->openTrack(kRecordingSoundFilePolicy, &why)) {
    if (error) *error = why;
    impl_.reset();
    return false;
  }
  return true;
}

bool AudioDecoder::isOpen() const { return impl_ != nullptr; }
AudioDecoder::Format AudioDecoder::format() const { return impl_ ? impl_->shape : Format{}; }
AudioDecoder::Counters AudioDecoder::counters() const { return impl_ ? impl_->counters : Counters{}; }

void AudioDecoder::read(double seconds, int64_t frames, std::vector<int16_t>* out) {
  frames = std::max<int64_t>(0, frames);
  if (!impl_) {
    out->assign(static_cast<size_t>(frames), 0);
    return;
  }
  Impl& d = *impl_;
  const int channels = d.shape.channels;
  out->assign(static_cast<size_t>(frames) * static_cast<size_t>(channels), 0);
  if (frames == 0 || !std::isfinite(seconds)) return;
  const int64_t from = std::llround(std::max(0.0, seconds) * d.shape.sampleRate);
  const int64_t to = from + frames;
  d.wantUntil = to;
  const auto ahead = static_cast<int64_t>(kDecodeThroughSeconds * d.shape.sampleRate);
  if (!d.positioned || from < std::min(d.pcmStart, d.readEnd) || from > d.pcmEnd() + ahead) d.seekTo(from);
  d.readEnd = to;
  while ((!d.positioned || d.pcmEnd() < to) && d.decodeMore()) {
    // Keep only what is still to be handed out, so a long read holds at most its own length.
    if (d.positioned && d.pcmEnd() <= from) {
      const int64_t end = d.pcmEnd();
      d.pcm.clear();
      d.pcmStart = end;
    }
  }
  if (!d.positioned) return;
  const int64_t copyFrom = std::max(from, d.pcmStart), copyTo = std::min(to, d.pcmEnd());
  if (copyTo > copyFrom) {
    std::memcpy(out->data() + (copyFrom - from) * channels, d.pcm.data() + (copyFrom - d.pcmStart) * channels,
                static_cast<size_t>(copyTo - copyFrom) * static_cast<size_t>(channels) * sizeof(int16_t));
  }
  // What lies before `to` has been handed out; the rest waits for the next read.
  const int64_t keepFrom = std::clamp(to, d.pcmStart, d.pcmEnd());
  d.pcm.erase(d.pcm.begin(), d.pcm.begin() + (keepFrom - d.pcmStart) * channels);
  d.pcmStart = keepFrom;
}

}  // namespace dk::platform
