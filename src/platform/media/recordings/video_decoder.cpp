// VideoDecoder's core: opening a file or an Input, seeking to a key sample, feeding the decoder
// and decoding on to the frame asked for, and the accessors.
#include "platform/media/recordings/video_decoder.h"

#include <algorithm>
#include <climits>
#include <mutex>
#include <string_view>
#include <thread>

#include "platform/media/core/media_input_policy.h"
#include "platform/media/recordings/media_input_reader.h"
#include "platform/media/recordings/mp4_boxes.h"
#include "platform/media/recordings/video_decoder_impl.h"

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

VideoDecoder::Impl::~Impl() {
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

// The key sample a frame can be decoded from: the last key frame before it in decode order
// that is not presented after it. (In an open group of pictures, the frames decoded after a
// key frame but shown before it are predicted from the group before.)
size_t VideoDecoder::Impl::keyFor(size_t sample, int64_t pts) const {
  auto it = std::upper_bound(keySamples.begin(), keySamples.end(), sample);
  while (it != keySamples.begin()) {
    --it;
    if (samples[*it].pts <= pts) return *it;
  }
  return keySamples.front();
}

// Takes the presentation time from a packet read, in place of the estimate.
void VideoDecoder::Impl::learn(const AVPacket* p) {
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
int64_t VideoDecoder::Impl::firstWholePts() {
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
bool VideoDecoder::Impl::landOn(size_t sample, int64_t timestamp) {
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

bool VideoDecoder::Impl::seekTo(size_t sample) {
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
bool VideoDecoder::Impl::feed(int64_t targetPts) {
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
bool VideoDecoder::Impl::decodeUntil(int64_t pts) {
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
  // Read over the network, the movie box comes in one transfer.
  if (!d.reader->input.movie) prefetchMovieBox(d.reader->input, d.reader->input.size ? d.reader->input.size() : -1);
  bool fragmented = false;
  if (const char* why = openRecordingInput(d.reader.get(), kInputBufferBytes, kStreamedRecordingInputPolicy, &d.io,
                                           &d.format, &fragmented)) {
    return fail(why);
  }
  d.movie = d.reader->movie;
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
std::shared_ptr<const Mp4FragmentIndex> VideoDecoder::fragmentIndex() const {
  return impl_->fragments && impl_->fragments->indexed() ? impl_->fragments->index : nullptr;
}
bool VideoDecoder::reachesEnd() const { return impl_->reachesEnd(); }
const std::vector<size_t>& VideoDecoder::gapsAfter() const { return impl_->gapsAfter; }

double VideoDecoder::duration() const { return impl_->duration; }
double VideoDecoder::startTime() const { return static_cast<double>(impl_->originPts) * impl_->timeBase; }
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
  size_t sample = d.frameSample[index];
  size_t key = d.keyFor(sample, pts);
  // A picture shown before its own fragment's key frame (an open group) in a fragment read far
  // from the others: its references are in the fragment before, which is read first, rather than
  // decoding every fragment on from the last key frame read before the gap.
  if (d.fragments && key < sample && d.runOfSample(key) != d.runOfSample(sample) &&
      d.readFragmentBefore(d.runOfSample(sample))) {
    index = static_cast<size_t>(std::lower_bound(d.framePts.begin(), d.framePts.end(), pts) - d.framePts.begin());
    if (index >= d.framePts.size() || d.framePts[index] != pts) return nullptr;
    sample = d.frameSample[index];
    key = d.keyFor(sample, pts);
  }
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