#include "platform/media/recordings/video_decoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <mutex>
#include <map>
#include <optional>
#include <string_view>
#include <thread>

#include "platform/media/core/deinterlacer.h"
#include "platform/media/core/frame_converter.h"
#include "platform/media/recordings/mp4_boxes.h"
#include "platform/media/core/media_input_policy.h"
#include "platform/media/recordings/media_input_reader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace dk::platform {
namespace {

// FFmpeg's decoding threads synchronise in code ThreadSanitizer does not see; under it the
// decoder runs on the calling thread alone.
#if defined(__SANITIZE_THREAD__)
constexpr bool kDecoderThreads = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool kDecoderThreads = false;
#else
constexpr bool kDecoderThreads = true;
#endif
#else
constexpr bool kDecoderThreads = true;
#endif

// True when no other picture is predicted from this packet's picture, so a decoder on its way to
// a later frame may leave it out: H.264 slices with nal_ref_idc 0, MPEG-4 B-VOPs.
bool isDisposable(const AVPacket* packet, AVCodecID codec, int nalLengthSize) {
  const uint8_t* data = packet->data;
  const size_t size = static_cast<size_t>(std::max(packet->size, 0));
  if (codec == AV_CODEC_ID_H264) {
    auto sliceVerdict = [](uint8_t header) -> int {
      const int type = header & 0x1f;
      if (type != 1 && type != 5) return -1;  // not a slice: look further
      return (header & 0x60) == 0 ? 1 : 0;
    };
    if (nalLengthSize > 0) {
      size_t at = 0;
      while (at + static_cast<size_t>(nalLengthSize) < size) {
        size_t length = 0;
        for (int i = 0; i < nalLengthSize; ++i) length = (length << 8) | data[at + static_cast<size_t>(i)];
        at += static_cast<size_t>(nalLengthSize);
        if (length == 0 || length > size - at) return false;
        const int verdict = sliceVerdict(data[at]);
        if (verdict >= 0) return verdict == 1;
        at += length;
      }
      return false;
    }
    for (size_t i = 0; i + 3 < size; ++i) {  // Annex B start codes
      if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
        const int verdict = sliceVerdict(data[i + 3]);
        if (verdict >= 0) return verdict == 1;
      }
    }
    return false;
  }
  if (codec == AV_CODEC_ID_MPEG4) {
    bool sawVop = false;
    for (size_t i = 0; i + 4 < size; ++i) {
      if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6) {
        if ((data[i + 4] >> 6) != 2) return false;  // I, P or S: others are predicted from it
        sawVop = true;
      }
    }
    return sawVop;
  }
  return false;
}

// One packet of the video stream, in decode order.
struct Sample {
  int64_t dts = 0;
  int64_t pts = 0;
  bool key = false;
  bool presented = false;  // false: the edit list cuts it; decoded only for the frames after it
  bool ptsRead = false;    // false: `pts` is estimated from the index until the packet is read
};


constexpr int kInputBufferBytes = 64 * 1024;
// A fragmented file's samples: about ten hours at 30 frames a second at most.
constexpr int64_t kMostFragmentSamples = 1 << 20;
// Beyond the frames read, a time at most this far is reached by reading the fragments on to it.
constexpr double kWalkSeconds = 12;

// Tells the input where the movie box lies, from the top-level box headers before it, so that it
// comes in one transfer: wherever it starts, once its header is read; after the media (a closed
// recording's usual shape), as the rest of the file from the media's end, before its header is
// even read, when that rest is no larger than the largest movie box taken. Only the headers are
// read here, and only up to the movie box (a fragmented file's fragments follow it).
void prefetchMovieBox(const VideoDecoder::Input& input, int64_t fileSize) {
  if (!input.prefetch || fileSize <= 0) return;
  int64_t at = 0;
  bool afterMedia = false;
  for (int boxes = 0; boxes < 16 && at + 8 <= fileSize; ++boxes) {
    if (afterMedia && fileSize - at <= kLargestMovieBox) {
      input.prefetch(at, fileSize - at);
      return;
    }
    uint8_t header[16];
    const int64_t wanted = std::min<int64_t>(16, fileSize - at);
    int64_t got = 0;
    while (got < wanted) {
      const int64_t n = input.read(at + got, header + got, wanted - got);
      if (n <= 0) return;
      got += n;
    }
    uint64_t size = 0;
    for (int i = 0; i < 4; ++i) size = (size << 8) | header[i];
    if (size == 1) {
      if (got < 16) return;
      size = 0;
      for (int i = 8; i < 16; ++i) size = (size << 8) | header[i];
    }
    if (size < 8 || size > static_cast<uint64_t>(fileSize - at)) return;  // to the end, or broken
    const std::string_view type(reinterpret_cast<const char*>(header) + 4, 4);
    if (type == "moov") {
      input.prefetch(at, std::min(static_cast<int64_t>(size), kLargestMovieBox));
      return;
    }
    if (type == "moof") return;
    if (type == "mdat") afterMedia = true;
    at += static_cast<int64_t>(size);
  }
}

void quietLibraries() {
  static std::once_flag quiet;
  std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });  // failures are reported here
}

}  // namespace

struct VideoDecoder::Impl {
  std::unique_ptr<MediaInputReader> reader;  // with `io`, for a video that is not a local file
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  AVFrame* shown = nullptr;  // the last picture out of the decoder at or before the target
  AVFrame* ahead = nullptr;  // a picture out of the decoder past the last target, kept for the next
  FrameConverter converter;
  Deinterlacer deinterlacer;  // interlaced pictures only
  int stream = -1;
  int nalLengthSize = 0;
  AVCodecID codecId = AV_CODEC_ID_NONE;
  double timeBase = 0;

  std::vector<Sample> samples;      // decode order
  std::vector<int64_t> framePts;    // presented frames, ascending
  std::vector<size_t> frameSample;  // the sample of each presented frame
  std::vector<size_t> keySamples;   // the key samples, ascending
  std::vector<double> frameTimes;
  double duration = 0;
  // A fragmented file read through an Input: its fragments join the table as they are needed,
  // their times shifted as the demuxer shifts them (the first packet says by how much).
  // `fragments` holds what every fragment shares (defaults, the file's index of fragments).
  std::shared_ptr<const Mp4Movie> movie;  // read once, for the demuxer and the box readers alike
  std::optional<Mp4Fragments> fragments;
  // Fragments read one after another from `begin` (the first run from the file's start): a far
  // frame starts a run of its own at the fragment that holds it, leaving the fragments between
  // unread (a gap in the table) until they are asked for; a run that reaches the next joins it.
  struct FragmentRun {
    int64_t begin = 0;
    Mp4Fragments cursor;
    int64_t firstDts = INT64_MIN, firstPts = INT64_MAX, lastPts = INT64_MIN;
  };
  std::vector<FragmentRun> runs;
  std::vector<std::pair<int64_t, int64_t>> fragmentStarts;  // first decode time → its moof (-1: the first)
  std::vector<size_t> gapsAfter;  // frames after which the table lacks frames not read yet
  int64_t demuxerAt = -1;  // the fragment the demuxer was placed at (-1: the file's start)
  bool tableComplete = true;
  int64_t fragmentDtsShift = 0, fragmentPtsShift = 0;
  double indexedDuration = 0;  // the whole length, from the last fragment (0: not known)

  // Where decoding stands: the sample the last seek started at (-1: none since open or a
  // failure), the sample after the last one read, and the time of the last picture out.
  long sessionStart = -1;
  size_t nextSample = 0;
  int64_t lastOutPts = INT64_MIN;
  bool endOfFile = false;
  bool drained = false;
  bool pending = false;  // `packet` holds one read and not yet handed on
  // Damage seen (a packet the decoder refused, a picture it marked as broken or one of another
  // size), by group of pictures: its key sample, and the first sample found damaged in it. A
  // frame of that group shown from the first picture decoded at or after that sample may show
  // the decoder's concealment (a grey picture): it is passed over without decoding it again.
  std::map<size_t, size_t> damagedGroups;
  long lastSent = -1;  // the last sample handed to the decoder (-1: not one of the table)
  long earliestNewDamage = LONG_MAX;  // the first group found damaged by the current frameAt()
  bool damaged = false;  // the last frameAt() failed for that reason
  int pictureWidth = 0, pictureHeight = 0;  // the stream's picture size when it opened
  PictureOrientation orientation;  // how the container says pictures are shown
  ImagePtr shownImage;
  int64_t shownImagePts = INT64_MIN;
  int64_t wholePts = INT64_MIN;  // firstWholePts(), made from this many key samples and samples
  size_t wholeFromKeys = SIZE_MAX, wholeFromSamples = 0;  // (SIZE_MAX: to be made again)
  Counters counters;

  ~Impl() {
    av_frame_free(&frame);
    av_frame_free(&shown);
    av_frame_free(&ahead);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);  // leaves a custom `io` alone
    if (io) {
      av_freep(&io->buffer);
      avio_context_free(&io);
    }
  }

  static int64_t ptsOf(const AVFrame* f) { return f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp; }

  size_t sampleOfDts(int64_t dts) const {
    auto it = std::lower_bound(samples.begin(), samples.end(), dts,
                               [](const Sample& s, int64_t value) { return s.dts < value; });
    return static_cast<size_t>(it - samples.begin());
  }

  // The key sample a frame can be decoded from: the last key frame before it in decode order
  // that is not presented after it. (In an open group of pictures, the frames decoded after a
  // key frame but shown before it are predicted from the group before.)
  size_t keyFor(size_t sample, int64_t pts) const {
    auto it = std::upper_bound(keySamples.begin(), keySamples.end(), sample);
    while (it != keySamples.begin()) {
      --it;
      if (samples[*it].pts <= pts) return *it;
    }
    return keySamples.front();
  }

  // Takes the presentation time from a packet read, in place of the estimate.
  void learn(const AVPacket* p) {
    const size_t index = sampleOfDts(p->dts);
    if (index < samples.size() && samples[index].dts == p->dts && p->pts != AV_NOPTS_VALUE) {
      if (samples[index].key && samples[index].pts != p->pts) wholeFromKeys = SIZE_MAX;
      samples[index].pts = p->pts;
      samples[index].ptsRead = true;
    }
  }

  // The presentation time of the first picture that can be decoded whole: that of the earliest
  // shown key frame (any other picture is predicted from one shown no later). A clip cut with
  // stream copy on a frame that is not a key frame starts with pictures shown before it whose
  // references were cut away; they would show the decoder's concealment.
  int64_t firstWholePts() {
    if (wholeFromKeys != keySamples.size() || wholeFromSamples != samples.size()) {
      wholePts = INT64_MAX;
      for (size_t key : keySamples) wholePts = std::min(wholePts, samples[key].pts);
      wholeFromKeys = keySamples.size();
      wholeFromSamples = samples.size();
    }
    return wholePts;
  }

  // Places the demuxer at key sample `sample` by a seek to `timestamp`, reading up to its packet
  // (kept for feed(), its presentation time learnt): true when the seek landed on it or before it
  // (the packets in between are passed over), false when it landed past it or nowhere.
  bool landOn(size_t sample, int64_t timestamp) {
    if (av_seek_frame(format, stream, timestamp, AVSEEK_FLAG_BACKWARD) < 0) return false;
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == stream && packet->dts >= samples[sample].dts) {
        if (packet->dts > samples[sample].dts) break;
        learn(packet);
        pending = true;
        return true;
      }
      av_packet_unref(packet);
    }
    av_packet_unref(packet);
    return false;
  }

  bool seekTo(size_t sample) {
    ++counters.seeks;
    if (pending) av_packet_unref(packet);
    pending = false;
    // The MPEG-4 demuxer takes the time asked for as a presentation time and takes its own shift
    // (the edit list's, the earliest picture's) off it before it looks in its index of decode
    // times: the key frame's decode time would land a group of pictures early. So the key frame
    // is asked for by its presentation time, and where that lands is checked; by its decode time
    // (landing early at worst) when it lands past it. A clip's first key frame after pictures
    // that are not key frames is reached from the start: asked for by its own time, the demuxer
    // finds no key frame at or before it and lands nowhere.
    const bool firstKeyLate = sample > 0 && !keySamples.empty() && sample == keySamples.front();
    // A far fragment not read yet is reached by placing the demuxer there first.
    if (!placeDemuxer(fragmentOfSample(sample)) ||
        (!(firstKeyLate && landOn(sample, samples.front().dts - 1)) && !landOn(sample, samples[sample].pts) &&
        !landOn(sample, samples[sample].dts) && av_seek_frame(format, stream, samples[sample].dts, AVSEEK_FLAG_BACKWARD) < 0)) {
      sessionStart = -1;
      return false;
    }
    avcodec_flush_buffers(codec);
    av_frame_unref(shown);
    av_frame_unref(ahead);
    sessionStart = static_cast<long>(sample);
    nextSample = sample;
    lastOutPts = INT64_MIN;
    endOfFile = drained = false;
    lastSent = -1;
    return true;
  }

  // Hands the decoder one more packet (or the drain at the end). False when nothing is left.
  bool feed(int64_t targetPts) {
    if (drained) return false;
    for (;;) {
      if (pending) {
        pending = false;
      } else if (endOfFile || av_read_frame(format, packet) < 0) {
        endOfFile = drained = true;
        avcodec_send_packet(codec, nullptr);
        return true;
      }
      if (packet->stream_index != stream) {
        av_packet_unref(packet);
        continue;
      }
      const size_t index = sampleOfDts(packet->dts);
      const bool known = index < samples.size() && samples[index].dts == packet->dts;
      if (known) {
        nextSample = index + 1;
        learn(packet);
      }
      // Cut short (the file ends inside it): never handed on, whatever the table holds of it.
      if ((packet->flags & AV_PKT_FLAG_CORRUPT) != 0) {
        if (known) noteDamage(static_cast<long>(index), targetPts);
        av_packet_unref(packet);
        continue;
      }
      // Before the key frame asked for (the demuxer may land early), or a picture nothing
      // refers to that is shown before the target: not needed.
      // Whether other pictures refer to this one is seen only now, in its bytes: the table is
      // made without reading them, so that a video read over the network is read as it plays.
      const bool early = sessionStart >= 0 && index < static_cast<size_t>(sessionStart);
      const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : (known ? samples[index].pts : INT64_MAX);
      const bool skippable = known && pts < targetPts && isDisposable(packet, codecId, nalLengthSize);
      if (early || skippable) {
        ++counters.packetsSkipped;
        av_packet_unref(packet);
        continue;
      }
      ++counters.packetsDecoded;
      const int sent = avcodec_send_packet(codec, packet);
      lastSent = known ? static_cast<long>(index) : -1;
      if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) noteDamage(lastSent, targetPts);
      av_packet_unref(packet);
      return true;
    }
  }

  // Decodes until the picture presented at `pts` is out (into `shown`). A frame that makes no
  // picture (a "not coded" one repeats the picture before) shows the last picture before it.
  bool decodeUntil(int64_t pts) {
    if (ahead->data[0]) {
      const int64_t at = ptsOf(ahead);
      if (at > pts) return shown->data[0] != nullptr;
      av_frame_unref(shown);
      av_frame_move_ref(shown, ahead);
      lastOutPts = at;
      if (at == pts) return true;
    }
    for (;;) {
      const int rc = avcodec_receive_frame(codec, frame);
      if (rc == 0) {
        // (Not AV_FRAME_FLAG_CORRUPT: under SHOW_ALL it marks every picture after a key frame that is
        // not an instantaneous refresh, sound ones included.)
        if (frame->decode_error_flags != 0) noteDamageAt(ptsOf(frame));
        const int64_t at = ptsOf(frame);
        if (at > pts) {
          av_frame_unref(ahead);
          av_frame_move_ref(ahead, frame);
          if (!shown->data[0]) av_frame_ref(shown, ahead);  // nothing came before: the nearest
          return true;
        }
        av_frame_unref(shown);
        av_frame_move_ref(shown, frame);
        lastOutPts = at;
        if (at == pts) return true;
        continue;
      }
      // A failure the decoder reports on receiving is that of the packet it was decoding.
      if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) noteDamage(lastSent, pts);
      if (rc != AVERROR(EAGAIN)) return shown->data[0] != nullptr;  // the end, or broken
      if (!feed(pts)) return shown->data[0] != nullptr;
    }
  }

  // Each sample's presentation minus decode time, by its place in the file; without a table of
  // them, the first packet's for all.
  struct SampleDelays {
    std::vector<Mp4SampleOffset> offsets;
    int64_t shift = 0;
    const int64_t* find(int64_t position) const {
      auto it = std::lower_bound(offsets.begin(), offsets.end(), position,
                                 [](const Mp4SampleOffset& o, int64_t p) { return o.position < p; });
      return it != offsets.end() && it->position == position ? &it->offset : nullptr;
    }
    int64_t of(int64_t position, int64_t fallback) const {
      const int64_t* offset = offsets.empty() ? nullptr : find(position);
      return offset ? *offset + shift : fallback;
    }
  };
  SampleDelays sampleDelays(int count, int64_t firstDts, int64_t firstPts, int64_t firstPos) const;
  int lazyFragmentTable(int64_t firstDts, int64_t firstPts, int64_t firstPos, std::string* why);
  bool readFragment(size_t run);
  bool insertFragment(size_t run, const std::vector<Mp4SampleOffset>& found, int64_t moof);
  bool rebuildFrames();
  void noteTableShape();
  int64_t firstPtsOf(const std::vector<Mp4SampleOffset>& found) const;
  size_t runFor(int64_t pts) const;
  bool landAt(int64_t pts, size_t run);
  int64_t bisectFor(int64_t pts, size_t run, int64_t from, int64_t to, std::vector<Mp4SampleOffset>* found);
  bool placeDemuxer(int64_t moof);
  int64_t fragmentOfSample(size_t sample) const;
  int64_t fileSize() const { return reader && reader->input.size ? reader->input.size() : -1; }
  bool reachesEnd() const { return !fragments || runs.empty() || runs.back().cursor.done; }
  bool indexFrames(size_t from);
  // Adds the key samples from `from` on. A table with none flagged key decodes from its first
  // sample, so that every frame has a key sample to start from (and damage a group to count in).
  void addKeySamples(size_t from) {
    for (size_t i = from; i < samples.size(); ++i) {
      if (samples[i].key) keySamples.push_back(i);
    }
    if (keySamples.empty() && !samples.empty()) keySamples.push_back(0);
  }
  double lengthAfter(int64_t last, int64_t before, int64_t end) const;
  void settleDuration();

  // The group of pictures shown at `pts`: the last key sample presented at or before it (its
  // index in keySamples; -1 before the first). Frames decoded after a key frame but shown before
  // it belong to the group before, as their references do.
  long groupAt(int64_t pts) const {
    auto it = std::upper_bound(keySamples.begin(), keySamples.end(), pts,
                               [&](int64_t value, size_t key) { return value < samples[key].pts; });
    return static_cast<long>(it - keySamples.begin()) - 1;
  }
  size_t groupEnd(long group) const {
    const auto next = static_cast<size_t>(group) + 1;
    return next < keySamples.size() ? keySamples[next] : samples.size();
  }
  void noteDamageIn(long group, size_t sample) {
    if (group < 0) group = 0;
    const size_t key = keySamples[static_cast<size_t>(group)];
    sample = std::clamp(sample, key, groupEnd(group) - 1);
    auto [it, added] = damagedGroups.emplace(key, sample);
    if (!added) it->second = std::min(it->second, sample);
    earliestNewDamage = std::min(earliestNewDamage, group);
  }
  // Damage of a sample (-1: not known; then of the frame shown at `pts`, from its group's key).
  void noteDamage(long sample, int64_t pts) {
    if (sample < 0) {
      noteDamageIn(groupAt(pts), 0);
      return;
    }
    auto it = std::upper_bound(keySamples.begin(), keySamples.end(), static_cast<size_t>(sample));
    noteDamageIn(static_cast<long>(it - keySamples.begin()) - 1, static_cast<size_t>(sample));
  }
  // Damage of the picture shown at `pts`: of the sample it came from.
  void noteDamageAt(int64_t pts) {
    const long group = groupAt(pts);
    if (group < 0) return noteDamageIn(group, 0);
    const size_t key = keySamples[static_cast<size_t>(group)];
    size_t sample = key;
    for (size_t i = key; i < groupEnd(group); ++i) {
      if (samples[i].pts == pts) {
        sample = i;
        break;
      }
    }
    noteDamageIn(group, sample);
  }
  // Whether the frame shown at `pts` comes after damage in its group: shown no earlier than the
  // first picture decoded at or after the first damaged sample.
  bool damagedAt(int64_t pts) const {
    const long group = groupAt(pts);
    if (group < 0 || damagedGroups.empty()) return false;
    auto it = damagedGroups.find(keySamples[static_cast<size_t>(group)]);
    if (it == damagedGroups.end()) return false;
    int64_t from = INT64_MAX;
    for (size_t i = it->second; i < groupEnd(group); ++i) from = std::min(from, samples[i].pts);
    return pts >= from;
  }

  // A frame that would show damage: nothing is shown, and the next frame asked for is decoded
  // afresh from its own key frame, not from what the damage left in the decoder.
  ImagePtr passOver() {
    damaged = true;
    sessionStart = -1;
    return nullptr;
  }

  bool scanFrameTable(std::string* why, int64_t* end);
  void dropLostSamples();
  int indexFrameTable(std::string* why);
  bool finishFrameTable(int64_t end, std::string* why);
  bool openStreams(const MediaInputPolicy& policy, bool fromIndex, std::string* why);
};

// Every packet read once: exact presentation times, whatever the container's index says.
bool VideoDecoder::Impl::scanFrameTable(std::string* why, int64_t* end) {
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == stream && packet->dts != AV_NOPTS_VALUE) {
      Sample s;
      s.dts = packet->dts;
      s.pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      s.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
      s.presented = (packet->flags & AV_PKT_FLAG_DISCARD) == 0;
      s.ptsRead = true;
      if (!samples.empty() && s.dts <= samples.back().dts) {
        av_packet_unref(packet);
        *why = "decode times do not increase";
        return false;
      }
      if (s.presented && packet->duration > 0) *end = std::max(*end, s.pts + packet->duration);
      samples.push_back(s);
    }
    av_packet_unref(packet);
  }
  return true;
}

// The table from the demuxer's index (the sample tables of the movie header), reading nothing
// but the first packet: a video read over the network then fetches only what it plays. The index
// holds decode times (edit list applied, cut samples flagged); presentation times add each
// sample's composition offset from the movie box (sampleDelays). 1 when made,
// 0 when the index does not cover the stream (a fragmented file; nothing has been read), -1 when
// the video is unusable.
int VideoDecoder::Impl::indexFrameTable(std::string* why) {
  AVStream* st = format->streams[stream];
  const int count = avformat_index_get_entries_count(st);
  if (count <= 0 || (st->nb_frames > 0 && count < st->nb_frames)) return 0;
  // A few bytes may claim millions of samples: the table, and the offsets read for it, stay bounded.
  if (count > kMostFragmentSamples) {
    *why = "more frames than a recording holds";
    return -1;
  }
  int64_t delay = 0;
  bool sawPacket = false;
  int64_t firstDts = AV_NOPTS_VALUE, firstPts = AV_NOPTS_VALUE, firstPos = -1;
  while (av_read_frame(format, packet) >= 0) {
    const bool ours = packet->stream_index == stream;
    if (ours && packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE) {
      delay = packet->pts - packet->dts;
      firstDts = packet->dts;
      firstPts = packet->pts;
      firstPos = packet->pos;
    }
    av_packet_unref(packet);
    if (ours) {
      sawPacket = true;
      break;
    }
  }
  if (!sawPacket || delay < 0) {
    *why = sawPacket ? "presentation before decoding" : "the video has no frames";
    return -1;
  }
  if (const int lazy = lazyFragmentTable(firstDts, firstPts, firstPos, why); lazy != 0) return lazy;
  const SampleDelays delays = sampleDelays(count, firstDts, firstPts, firstPos);
  samples.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const AVIndexEntry* e = avformat_index_get_entry(st, i);
    if (!e || (!samples.empty() && e->timestamp <= samples.back().dts)) {
      *why = "decode times do not increase";
      return -1;
    }
    Sample s;
    s.dts = e->timestamp;
    s.pts = e->timestamp + delays.of(e->pos, delay);
    s.key = (e->flags & AVINDEX_KEYFRAME) != 0;
    s.presented = (e->flags & AVINDEX_DISCARD_FRAME) == 0;
    if (s.dts == firstDts) {
      s.pts = firstPts;
      s.ptsRead = true;
    }
    samples.push_back(s);
  }
  return 1;
}

// A fragmented file: the table starts with the fragment of the first packet (or with the movie
// box's own samples, where the first fragment is kept), and the others join as frames near its
// end are asked for (extendTo), so that opening reads the same few pieces whatever the file's
// length. Where the file's index says where its last fragment is, that fragment gives the whole
// length at once. 1 when made, 0 when the file is not fragmented (or its first fragment is not
// where the demuxer found the first packet).
int VideoDecoder::Impl::lazyFragmentTable(int64_t firstDts, int64_t firstPts, int64_t firstPos, std::string* why) {
  if (!reader || !movie || firstPos < 0 || firstDts == AV_NOPTS_VALUE) return 0;
  const int64_t size = fileSize();
  AVStream* st = format->streams[stream];
  fragments = mp4Fragments(*movie, reader->input.read, size, st->id, kLargestMovieBox);
  if (!fragments) return 0;
  FragmentRun run;
  run.cursor = *fragments;
  std::vector<Mp4SampleOffset> found;
  if (!mp4NextFragment(run.cursor, reader->input.read, kMostFragmentSamples, kLargestMovieBox, &found)) {
    fragments.reset();
    return 0;
  }
  const auto first = std::find_if(found.begin(), found.end(),
                                  [&](const Mp4SampleOffset& o) { return o.position == firstPos; });
  samples.clear();
  if (first != found.end()) {
    fragmentDtsShift = firstDts - first->decodeTime;
    fragmentPtsShift = firstPts - firstDts - first->offset;
  } else {
    // The first fragment's samples in the movie box's own tables (no empty movie box): those
    // from the demuxer's index, then the fragment read, which follows them.
    const int count = avformat_index_get_entries_count(st);
    const int64_t moof = run.cursor.lastMoof >= 0 ? run.cursor.lastMoof : size;
    const AVIndexEntry* head = count > 0 ? avformat_index_get_entry(st, 0) : nullptr;
    if (!head || head->pos != firstPos || firstPos >= moof) {
      fragments.reset();
      return 0;
    }
    const SampleDelays delays = sampleDelays(count, firstDts, firstPts, firstPos);
    for (int i = 0; i < count; ++i) {
      const AVIndexEntry* e = avformat_index_get_entry(st, i);
      if (!e || e->pos >= moof) break;
      if (!samples.empty() && e->timestamp <= samples.back().dts) {
        *why = "decode times do not increase";
        return -1;
      }
      Sample s;
      s.dts = e->timestamp;
      s.pts = e->timestamp + delays.of(e->pos, firstPts - firstDts);
      s.key = (e->flags & AVINDEX_KEYFRAME) != 0;
      s.presented = (e->flags & AVINDEX_DISCARD_FRAME) == 0;
      s.ptsRead = s.dts == firstDts;
      if (s.ptsRead) s.pts = firstPts;
      samples.push_back(s);
    }
    // The movie box's decode times start at 0, the fragments' follow on from them; the
    // demuxer shifts both alike.
    fragmentDtsShift = head->timestamp;
    fragmentPtsShift = delays.offsets.empty() ? firstPts - firstDts : delays.shift;
    if (!indexFrames(0)) {
      *why = "two frames share a presentation time";
      return -1;
    }
    run.firstDts = samples.front().dts;
    for (const Sample& s : samples) {
      run.firstPts = std::min(run.firstPts, s.pts);
      run.lastPts = std::max(run.lastPts, s.pts);
    }
  }
  tableComplete = false;
  runs.push_back(run);
  runs[0].begin = 0;
  const size_t own = samples.size();
  if (!insertFragment(0, found, own > 0 ? run.cursor.lastMoof : -1)) {
    *why = "decode times do not increase";
    return -1;
  }
  if (own > 0) fragmentStarts.insert(fragmentStarts.begin(), {samples.front().dts, -1});
  std::vector<Mp4SampleOffset> last;
  const int64_t lastAt = !reachesEnd() ? fragments->lastFragment : -1;
  if (lastAt >= 0 &&
      mp4FragmentAt(*fragments, reader->input.read, lastAt, kMostFragmentSamples, kLargestMovieBox, &last) &&
      last.size() >= 2) {
    std::vector<int64_t> pts;
    for (const Mp4SampleOffset& o : last) pts.push_back(o.decodeTime + fragmentDtsShift + o.offset + fragmentPtsShift);
    std::sort(pts.begin(), pts.end());
    indexedDuration = lengthAfter(pts.back(), pts[pts.size() - 2], INT64_MIN);
  }
  return 1;
}

int64_t VideoDecoder::Impl::firstPtsOf(const std::vector<Mp4SampleOffset>& found) const {
  int64_t first = INT64_MAX;
  for (const Mp4SampleOffset& o : found) first = std::min(first, o.decodeTime + fragmentDtsShift + o.offset + fragmentPtsShift);
  return first;
}

// Puts one fragment's samples (in decode order) into the table, at their place among those of
// the fragments read before, as the latest of run `run`. False, adding none, when they do not fit
// between their neighbours or two frames would share a time.
bool VideoDecoder::Impl::insertFragment(size_t run, const std::vector<Mp4SampleOffset>& found, int64_t moof) {
  if (found.empty()) return true;
  std::vector<Sample> add;
  add.reserve(found.size());
  for (const Mp4SampleOffset& o : found) {
    Sample s;
    s.dts = o.decodeTime + fragmentDtsShift;
    s.pts = s.dts + o.offset + fragmentPtsShift;
    s.key = o.key;
    s.presented = true;
    s.ptsRead = true;
    if (!add.empty() && s.dts <= add.back().dts) return false;
    add.push_back(s);
  }
  const size_t at = sampleOfDts(add.front().dts);
  if (at < samples.size() && samples[at].dts <= add.back().dts) return false;
  const bool appended = at == samples.size();
  const size_t count = add.size();
  samples.insert(samples.begin() + static_cast<std::ptrdiff_t>(at), add.begin(), add.end());
  auto undo = [&] {
    samples.erase(samples.begin() + static_cast<std::ptrdiff_t>(at),
                  samples.begin() + static_cast<std::ptrdiff_t>(at + count));
    rebuildFrames();
    return false;
  };
  if (appended) {
    if (!indexFrames(at)) return undo();
  } else {
    // Frames before others already read: every index from here on moves along.
    if (sessionStart >= static_cast<long>(at)) sessionStart += static_cast<long>(count);
    if (nextSample > at) nextSample += count;
    if (lastSent >= static_cast<long>(at)) lastSent += static_cast<long>(count);
    std::map<size_t, size_t> moved;
    for (auto [key, first] : damagedGroups) moved[key >= at ? key + count : key] = first >= at ? first + count : first;
    damagedGroups = std::move(moved);
    if (!rebuildFrames()) {
      sessionStart = -1;
      return undo();
    }
  }
  FragmentRun& r = runs[run];
  if (r.firstDts == INT64_MIN) r.firstDts = add.front().dts;
  for (const Sample& s : add) {
    r.firstPts = std::min(r.firstPts, s.pts);
    r.lastPts = std::max(r.lastPts, s.pts);
  }
  const auto place = std::lower_bound(fragmentStarts.begin(), fragmentStarts.end(), std::make_pair(add.front().dts, INT64_MIN));
  fragmentStarts.insert(place, {add.front().dts, moof});
  noteTableShape();
  return true;
}

bool VideoDecoder::Impl::rebuildFrames() {
  keySamples.clear();
  frameSample.clear();
  framePts.clear();
  frameTimes.clear();
  const bool ok = indexFrames(0);
  if (keySamples.empty() && !samples.empty()) keySamples.push_back(0);
  return ok;
}

void VideoDecoder::Impl::noteTableShape() {
  gapsAfter.clear();
  for (size_t r = 1; r < runs.size(); ++r) {
    const auto k = static_cast<size_t>(std::lower_bound(framePts.begin(), framePts.end(), runs[r].firstPts) - framePts.begin());
    if (k > 0) gapsAfter.push_back(k - 1);
  }
  tableComplete = runs.size() == 1 && runs[0].cursor.done;
}

// Reads the next fragment of run `run` into the table; a run that reaches the next joins it.
// False when there is none (the run has reached the file's end) or it cannot be read or does
// not fit: the table then ends at the fragments before it.
bool VideoDecoder::Impl::readFragment(size_t run) {
  if (runs[run].cursor.done) return false;
  Mp4Fragments cursor = runs[run].cursor;
  std::vector<Mp4SampleOffset> found;
  const int64_t room = kMostFragmentSamples - static_cast<int64_t>(samples.size());
  bool ok = room > 0 && mp4NextFragment(cursor, reader->input.read, room, kLargestMovieBox, &found);
  if (ok && run + 1 < runs.size() && (cursor.done || cursor.lastMoof >= runs[run + 1].begin)) {
    runs[run].cursor = runs[run + 1].cursor;
    runs[run].lastPts = std::max(runs[run].lastPts, runs[run + 1].lastPts);
    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(run) + 1);
    noteTableShape();
    return true;
  }
  runs[run].cursor = cursor;
  if (ok && !cursor.done) ok = insertFragment(run, found, cursor.lastMoof);
  if (!ok) {
    // The table ends here: what was read beyond this run goes with the fragments it cannot reach.
    if (run + 1 < runs.size()) {
      samples.resize(sampleOfDts(runs[run + 1].firstDts));
      runs.resize(run + 1);
      const int64_t end = samples.empty() ? INT64_MIN : samples.back().dts + 1;
      fragmentStarts.erase(std::lower_bound(fragmentStarts.begin(), fragmentStarts.end(), std::make_pair(end, INT64_MIN)),
                           fragmentStarts.end());
      if (sessionStart >= static_cast<long>(samples.size())) sessionStart = -1;
      rebuildFrames();
    }
    runs[run].cursor.done = true;
  }
  noteTableShape();
  return ok && !cursor.done;
}

// The run whose frames a time falls among or after: the last that starts at or before it.
size_t VideoDecoder::Impl::runFor(int64_t pts) const {
  size_t r = 0;
  while (r + 1 < runs.size() && runs[r + 1].firstPts <= pts) ++r;
  return r;
}

// Without an index of the fragments: the last fragment shown at or before `pts` between `from`
// (where run `run` ends) and `to`, found by narrowing the bytes (mp4_boxes.h).
int64_t VideoDecoder::Impl::bisectFor(int64_t pts, size_t run, int64_t from, int64_t to,
                                      std::vector<Mp4SampleOffset>* found) {
  const FragmentRun& r = runs[run];
  const double bytesPerTick = r.lastPts > r.firstPts ? static_cast<double>(r.cursor.next - r.begin) /
                                                           static_cast<double>(r.lastPts - r.firstPts)
                                                     : 0;
  return mp4NarrowToFragment(*fragments, reader->input.read, {from, to, r.lastPts, bytesPerTick}, pts,
                             [this](const std::vector<Mp4SampleOffset>& there) { return firstPtsOf(there); },
                             kMostFragmentSamples, kLargestMovieBox, found);
}

// Starts a run at the fragment that holds `pts`, far beyond run `run`: by the file's index of
// fragments, else by narrowing the bytes between. False when none is found between `run` and the run after it.
bool VideoDecoder::Impl::landAt(int64_t pts, size_t run) {
  const int64_t from = runs[run].cursor.next;
  const int64_t to = run + 1 < runs.size() ? runs[run + 1].begin : fileSize();
  int64_t moof = -1;
  std::vector<Mp4SampleOffset> there;
  const auto& index = fragments->index;
  if (!index.empty()) {
    // The index's times are before the demuxer's shift; the fragment read says where it starts.
    auto it = std::upper_bound(index.begin(), index.end(), pts - fragmentDtsShift,
                               [](int64_t t, const Mp4Fragments::Entry& e) { return t < e.time; });
    while (it != index.begin() && std::prev(it)->moof >= to) --it;  // (times that differ by a shift)
    for (int tries = 0; tries < 4 && it != index.begin(); ++tries) {
      --it;
      there.clear();
      if (it->moof <= from ||
          !mp4FragmentAt(*fragments, reader->input.read, it->moof, kMostFragmentSamples, kLargestMovieBox, &there)) {
        return false;
      }
      if (!there.empty() && firstPtsOf(there) <= pts) {
        moof = it->moof;
        break;
      }
    }
  } else if (to > from) {
    moof = bisectFor(pts, run, from, to, &there);
  }
  if (moof <= from || moof >= to) return false;
  FragmentRun landed;
  landed.begin = moof;
  landed.cursor = *fragments;
  landed.cursor.next = moof;
  landed.cursor.done = false;
  runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(run) + 1, landed);
  if (!readFragment(run + 1)) {
    if (run + 1 < runs.size() && runs[run + 1].firstDts == INT64_MIN) {
      runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(run) + 1);
    }
    noteTableShape();
    return false;
  }
  return true;
}

// The fragment a sample's bytes are in, for placing the demuxer (-1: the first, or not fragmented).
int64_t VideoDecoder::Impl::fragmentOfSample(size_t sample) const {
  if (fragmentStarts.empty() || sample >= samples.size()) return -1;
  auto it = std::upper_bound(fragmentStarts.begin(), fragmentStarts.end(), std::make_pair(samples[sample].dts, INT64_MAX));
  if (it == fragmentStarts.begin()) return -1;
  --it;
  return it == fragmentStarts.begin() ? -1 : it->second;
}

// Opens the demuxer again so that it reads on from fragment `moof` (-1: the file's start),
// shown everything between the movie box and that fragment as one box to skip: it opened with
// its own index ignored, and would otherwise read every fragment before it.
bool VideoDecoder::Impl::placeDemuxer(int64_t moof) {
  if (!reader || !movie) return format != nullptr;
  moof = placeableFragment(*movie, moof);
  if (moof == demuxerAt && format) return true;
  if (pending) av_packet_unref(packet);
  pending = false;
  demuxerAt = -2;  // tried again at the next seek when this fails
  if (!reopenReaderInputAt(reader.get(), moof, kInputBufferBytes, kStreamedRecordingInputPolicy, &io, &format, stream)) {
    return false;
  }
  demuxerAt = moof;
  return true;
}

// The composition offsets of the movie box's own table: each picture's presentation time is its
// decode time plus its own offset (which varies with B-frames at a variable frame rate), shifted
// as the demuxer shifts them all (edit list, negative offsets); the first packet says by how much.
VideoDecoder::Impl::SampleDelays VideoDecoder::Impl::sampleDelays(int count, int64_t firstDts, int64_t firstPts,
                                                                  int64_t firstPos) const {
  SampleDelays delays;
  if (!reader || firstPos < 0 || firstDts == AV_NOPTS_VALUE) return delays;
  const int64_t size = reader->input.size ? reader->input.size() : -1;
  if (!movie) return delays;
  auto table = mp4CompositionOffsets(*movie, reader->input.read, size, format->streams[stream]->id,
                                     std::max<int64_t>(static_cast<int64_t>(count) * 2 + 16, kMostFragmentSamples),
                                     kLargestMovieBox);
  if (!table || table->empty()) return delays;
  delays.offsets = std::move(*table);
  const int64_t* first = delays.find(firstPos);
  if (!first) {
    delays.offsets.clear();
    return delays;
  }
  delays.shift = firstPts - firstDts - *first;
  return delays;
}

// A recording cut short (an upload that stopped) still indexes the samples it lost. The table
// keeps the samples whose bytes are all in the file up to the first one that is not (those after
// it may be predicted from it), and shows no frame from the first lost one's time on: playback
// ends at the last whole frame, and the length with it.
void VideoDecoder::Impl::dropLostSamples() {
  const int64_t fileSize = format->pb ? avio_size(format->pb) : -1;
  AVStream* st = format->streams[stream];
  if (fileSize <= 0 || avformat_index_get_entries_count(st) != static_cast<int>(samples.size())) return;
  size_t whole = 0;
  while (whole < samples.size()) {
    const AVIndexEntry* e = avformat_index_get_entry(st, static_cast<int>(whole));
    if (!e || e->pos < 0 || e->pos + e->size > fileSize) break;
    ++whole;
  }
  if (whole == samples.size()) return;
  int64_t firstLost = INT64_MAX;
  for (size_t i = whole; i < samples.size(); ++i) {
    if (samples[i].presented) firstLost = std::min(firstLost, samples[i].pts);
  }
  samples.resize(whole);
  for (Sample& s : samples) {
    if (s.pts >= firstLost) s.presented = false;
  }
}

// Adds the samples from `from` on to the key and frame lists: frames already listed keep their
// place unless a new one is shown before them. False when two frames share a presentation time.
bool VideoDecoder::Impl::indexFrames(size_t from) {
  size_t firstNew = frameSample.size();
  addKeySamples(from);
  for (size_t i = from; i < samples.size(); ++i) {
    if (samples[i].presented) frameSample.push_back(i);
  }
  auto byPts = [&](size_t a, size_t b) { return samples[a].pts < samples[b].pts; };
  const auto split = frameSample.begin() + static_cast<std::ptrdiff_t>(firstNew);
  std::sort(split, frameSample.end(), byPts);
  if (firstNew > 0 && firstNew < frameSample.size() && !byPts(frameSample[firstNew - 1], frameSample[firstNew])) {
    std::inplace_merge(frameSample.begin(), split, frameSample.end(), byPts);
    firstNew = 0;
  }
  framePts.resize(firstNew);
  frameTimes.resize(firstNew);
  for (size_t k = firstNew; k < frameSample.size(); ++k) {
    const int64_t pts = samples[frameSample[k]].pts;
    if (!framePts.empty() && framePts.back() == pts) return false;
    framePts.push_back(pts);
    frameTimes.push_back(static_cast<double>(pts) * timeBase);
  }
  return true;
}

// The time after the last picture (shown at `last`, the one before at `before`): `end` when the
// packets say it, else one frame's length on; the movie's length when the edit list ends inside
// the last picture.
double VideoDecoder::Impl::lengthAfter(int64_t last, int64_t before, int64_t end) const {
  if (end <= last) end = last + std::max<int64_t>(before != INT64_MIN ? last - before : 1, 1);
  double length = static_cast<double>(end) * timeBase;
  if (format && format->duration > 0) {  // (none while a failed placement is retried)
    const double movie = static_cast<double>(format->duration) / AV_TIME_BASE;
    if (movie > static_cast<double>(last) * timeBase && movie < length) length = movie;
  }
  return length;
}

void VideoDecoder::Impl::settleDuration() {
  if (framePts.empty()) return;
  // A length from the index that ends before the frames read is not believed.
  duration = !reachesEnd() && indexedDuration > frameTimes.back()
                 ? indexedDuration
                 : lengthAfter(framePts.back(), framePts.size() > 1 ? framePts[framePts.size() - 2] : INT64_MIN,
                               INT64_MIN);
}

bool VideoDecoder::Impl::finishFrameTable(int64_t end, std::string* why) {
  if (!fragments && !indexFrames(0)) {  // (a fragmented file's is made as its fragments come)
    *why = "two frames share a presentation time";
    return false;
  }
  if (frameSample.empty()) {
    *why = "the video has no frames";
    return false;
  }
  if (fragments) {
    settleDuration();
  } else {
    duration = lengthAfter(framePts.back(), framePts.size() > 1 ? framePts[framePts.size() - 2] : INT64_MIN, end);
  }
  return true;
}

VideoDecoder::VideoDecoder() : impl_(std::make_unique<Impl>()) {}
VideoDecoder::~VideoDecoder() = default;

bool VideoDecoder::open(const std::string& path, std::string* error) {
  quietLibraries();
  impl_ = std::make_unique<Impl>();
  std::string why = "not a media file";
  if (!openMediaInput(&impl_->format, path.c_str(), kRecordingInputPolicy) ||
      !impl_->openStreams(kRecordingInputPolicy, false, &why)) {
    if (error) *error = why;
    impl_ = std::make_unique<Impl>();
    return false;
  }
  return true;
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
  if (!input.read) return fail("nothing to read");
  d.reader = std::make_unique<MediaInputReader>();
  d.reader->input = std::move(input);
  const int64_t size = d.reader->input.size ? d.reader->input.size() : -1;
  // The movie box is read once here, and everything after (the demuxer too) looks into this copy;
  // read over the network, it comes in one transfer.
  if (!d.reader->input.movie) prefetchMovieBox(d.reader->input, size);
  d.movie = d.reader->input.movie ? d.reader->input.movie : mp4ReadMovie(d.reader->input.read, size, kLargestMovieBox);
  d.reader->movie = d.movie;
  const bool fragmented = d.movie && mp4IsFragmented(*d.movie);
  if (const char* why = openReaderInput(d.reader.get(), kInputBufferBytes, kStreamedRecordingInputPolicy, &d.io, &d.format,
                                         fragmented ? kRecordingReaderOptions : nullptr)) {
    return fail(why);
  }
  std::string why;
  if (!d.openStreams(kStreamedRecordingInputPolicy, true, &why)) return fail(why);
  return true;
}

bool VideoDecoder::Impl::openStreams(const MediaInputPolicy& policy, bool fromIndex, std::string* why) {
  Impl& d = *this;
  auto fail = [&](const std::string& reason) {
    *why = reason;
    return false;
  };
  // A camera's H.264 or HEVC stream has its parameters in the movie box: what FFmpeg reads and
  // decodes of the media to learn more (the first second or so) would, over the network, be
  // transfers spent on the start of a recording that is usually opened to be sought into.
  if (fromIndex) {
    for (unsigned i = 0; i < d.format->nb_streams; ++i) {
      const AVCodecParameters* par = d.format->streams[i]->codecpar;
      if (par->codec_type == AVMEDIA_TYPE_VIDEO && (par->codec_id == AV_CODEC_ID_H264 || par->codec_id == AV_CODEC_ID_HEVC) &&
          par->width > 0 && par->height > 0 && par->extradata_size > 0) {
        d.format->probesize = 32;  // the first packet
      }
    }
  }
  if (avformat_find_stream_info(d.format, nullptr) < 0) return fail("no stream information");
  d.stream = av_find_best_stream(d.format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (d.stream < 0) return fail("no video stream");
  AVStream* stream = d.format->streams[d.stream];
  for (unsigned i = 0; i < d.format->nb_streams; ++i) {
    if (static_cast<int>(i) != d.stream) d.format->streams[i]->discard = AVDISCARD_ALL;
  }
  const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!decoder || !allowsDecoder(policy, decoder->name)) return fail("no decoder for the video");
  d.codec = avcodec_alloc_context3(decoder);
  if (!d.codec || avcodec_parameters_to_context(d.codec, stream->codecpar) < 0) {
    return fail("the decoder does not open");
  }
  // Large pictures decode on a few threads so that fast playback keeps up; small ones are
  // quicker on one (a seek waits for every thread).
  if (kDecoderThreads && static_cast<long>(d.codec->width) * d.codec->height >= 1280L * 720) {
    d.codec->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    d.codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  } else {
    d.codec->thread_count = 1;
  }
  // Decoding may start at a key frame that is not an instantaneous refresh (open groups of
  // pictures); the H.264 decoder would then hold back good pictures after it as unrecovered.
  // The key frame chosen for a frame guarantees every picture asked for is whole.
  d.codec->flags2 |= AV_CODEC_FLAG2_SHOW_ALL;
  if (avcodec_open2(d.codec, decoder, nullptr) < 0) return fail("the decoder does not open");
  if (d.codec->width <= 0 || d.codec->height <= 0 || d.codec->width > 8192 || d.codec->height > 8192) {
    return fail("unusable picture size");
  }
  d.pictureWidth = d.codec->width;
  d.pictureHeight = d.codec->height;
  // Only the container's matrix turns a recording, so its shown size is known before any frame.
  d.orientation = displayOrientationOf(stream).value_or(PictureOrientation{});
  d.converter.setOrientation(d.orientation);
  const AVCodecParameters* par = stream->codecpar;
  if (par->codec_id == AV_CODEC_ID_H264 && par->extradata_size >= 7 && par->extradata[0] == 1) {
    d.nalLengthSize = (par->extradata[4] & 3) + 1;
  }
  d.packet = av_packet_alloc();
  d.frame = av_frame_alloc();
  d.shown = av_frame_alloc();
  d.ahead = av_frame_alloc();
  if (!d.packet || !d.frame || !d.shown || !d.ahead) return fail("out of memory");
  d.codecId = par->codec_id;
  d.timeBase = av_q2d(stream->time_base);
  if (!(d.timeBase > 0)) return fail("no time base");
  int64_t end = INT64_MIN;  // the end of the last presented picture, when packets say it
  const int indexed = fromIndex ? d.indexFrameTable(why) : 0;
  if (indexed < 0) return false;
  if (indexed == 0 && !d.scanFrameTable(why, &end)) return false;
  if (indexed == 1) d.dropLostSamples();
  if (!d.finishFrameTable(end, why)) return false;
  d.sessionStart = -1;  // the first frameAt() seeks
  return true;
}

const std::vector<double>& VideoDecoder::frameTimes() const { return impl_->frameTimes; }
bool VideoDecoder::complete() const { return impl_->tableComplete; }

std::shared_ptr<const Mp4Movie> VideoDecoder::movieBox() const { return impl_->movie; }
bool VideoDecoder::reachesEnd() const { return impl_->reachesEnd(); }
const std::vector<size_t>& VideoDecoder::gapsAfter() const { return impl_->gapsAfter; }

bool VideoDecoder::extendTo(double seconds) {
  Impl& d = *impl_;
  if (!d.codec || d.tableComplete || !d.fragments || d.runs.empty() || std::isnan(seconds)) return false;
  const size_t before = d.frameTimes.size();
  const int64_t target = static_cast<int64_t>(std::clamp(seconds / d.timeBase, -9e15, 9e15));
  // Farther than this beyond the frames read, the fragment that holds the time is gone to
  // straight; nearer, the fragments are read on to it (as playback reads ahead).
  const auto walk = static_cast<int64_t>(kWalkSeconds / d.timeBase);
  while (std::isinf(seconds) && seconds > 0 && !d.tableComplete && (d.readFragment(0) || !d.runs[0].cursor.done)) {
    // Every frame: the gaps filled from the start, each run joining the next.
  }
  for (;;) {
    const size_t r = d.runFor(target);
    const Impl::FragmentRun& run = d.runs[r];
    if (run.lastPts > target || run.cursor.done) break;
    if (std::isfinite(seconds) && run.lastPts < target - walk && d.landAt(target, r)) continue;
    if (!d.readFragment(r)) break;
  }
  d.settleDuration();
  return d.frameTimes.size() != before;
}
double VideoDecoder::duration() const { return impl_->duration; }
int VideoDecoder::width() const {
  return impl_->codec ? (impl_->orientation.swapsSides() ? impl_->pictureHeight : impl_->pictureWidth) : 0;
}
int VideoDecoder::height() const {
  return impl_->codec ? (impl_->orientation.swapsSides() ? impl_->pictureWidth : impl_->pictureHeight) : 0;
}
VideoDecoder::Counters VideoDecoder::counters() const { return impl_->counters; }
bool VideoDecoder::lastFrameDamaged() const { return impl_->damaged; }

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
  d.damaged = false;
  // A picture shown before the first one that decodes whole holds that one, as if the clip began
  // with it: its own references are not in the file.
  if (const int64_t whole = d.firstWholePts(); d.framePts[index] < whole) {
    const auto first = std::lower_bound(d.framePts.begin(), d.framePts.end(), whole);
    if (first != d.framePts.end()) index = static_cast<size_t>(first - d.framePts.begin());
  }
  const int64_t pts = d.framePts[index];
  if (d.shownImage && d.shownImagePts == pts) return d.shownImage;
  const size_t sample = d.frameSample[index];
  size_t key = d.keyFor(sample, pts);
  if (d.damagedAt(pts)) return d.passOver();
  d.earliestNewDamage = LONG_MAX;
  // Forward from here reaches the frame when its key frame has been read since the last seek
  // and its picture has not gone by; otherwise the key frame is the shorter way.
  const bool passed = d.lastOutPts >= pts || (d.ahead->data[0] && Impl::ptsOf(d.ahead) > pts);
  const bool forward = d.sessionStart >= 0 && static_cast<size_t>(d.sessionStart) <= key && key < d.nextSample && !passed;
  while (!forward) {
    // A key frame whose presentation time was only estimated has it read by the seek. In a group
    // that shows pictures decoded after its key frame before it, the estimate can be early, and
    // decoding from that key frame would miss their references: an earlier one is taken then.
    const bool estimated = !d.samples[key].ptsRead;
    if (!d.seekTo(key)) return nullptr;
    if (!estimated) break;
    d.samples[key].ptsRead = true;  // unreadable: the estimate stands, and is not tried again
    const size_t chosen = d.keyFor(d.frameSample[index], pts);
    if (chosen == key) break;
    key = chosen;
  }
  const bool decoded = d.decodeUntil(pts);
  // A camera's recording keeps its picture size; a picture of another size (a parameter set
  // changed mid-stream) is damage, not a frame to show or save at a size nobody asked for.
  if (decoded && (d.shown->width != d.pictureWidth || d.shown->height != d.pictureHeight)) {
    d.noteDamageAt(Impl::ptsOf(d.shown));
  }
  // Damage read on the way here, or just past this frame in its group: its own references may
  // be whole, but noise can also make a picture that decodes without a sign of it, so neither the
  // decoder's state nor the picture is trusted; the frame is decoded afresh when asked again.
  if (d.damagedAt(pts) || d.earliestNewDamage <= d.groupAt(pts)) return d.passOver();
  if (!decoded) {
    d.sessionStart = -1;  // the next frame starts over from its key frame
    return nullptr;
  }
  if (d.shown->width != d.pictureWidth || d.shown->height != d.pictureHeight) return d.passOver();
  ImagePtr image = d.converter.convert(d.deinterlacer.apply(d.shown));
  d.shownImage = image;
  d.shownImagePts = image ? pts : INT64_MIN;
  return image;
}

}  // namespace dk::platform
