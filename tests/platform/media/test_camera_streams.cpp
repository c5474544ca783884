#include "test_camera_streams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace dk::platform::test {
namespace {

template <typename T, void (*Free)(T**)>
struct OwnedAv {
  T* p = nullptr;
  ~OwnedAv() { Free(&p); }
};
using OwnedCodec = OwnedAv<AVCodecContext, avcodec_free_context>;
using OwnedFrame = OwnedAv<AVFrame, av_frame_free>;
using OwnedPacket = OwnedAv<AVPacket, av_packet_free>;

void paintStreamPicture(AVFrame* frame, int index) {
  for (int y = 0; y < frame->height; ++y) {
    for (int x = 0; x < frame->width; ++x) {
      frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>((x * 2 + y + index * 6) & 0xff);
    }
  }
  for (int y = 0; y < frame->height / 2; ++y) {
    for (int x = 0; x < frame->width / 2; ++x) {
      frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(96 + ((x + index) & 0x3f));
      frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(96 + ((y + index) & 0x3f));
    }
  }
}

int adtsRateIndex(int rate) {
  const int rates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000};
  for (int i = 0; i < 12; ++i) {
    if (rates[i] == rate) return i;
  }
  return -1;
}

// An AAC-LC frame with the ADTS header that names its own rate and channels.
std::vector<uint8_t> withAdtsHeader(const AVPacket* p, int rate, int channels) {
  const size_t length = static_cast<size_t>(p->size) + 7;
  const int index = adtsRateIndex(rate);
  std::vector<uint8_t> out(length);
  out[0] = 0xFF;
  out[1] = 0xF1;
  out[2] = static_cast<uint8_t>((1 << 6) | (index << 2) | ((channels >> 2) & 1));
  out[3] = static_cast<uint8_t>(((channels & 3) << 6) | ((length >> 11) & 3));
  out[4] = static_cast<uint8_t>((length >> 3) & 0xFF);
  out[5] = static_cast<uint8_t>(((length & 7) << 5) | 0x1F);
  out[6] = 0xFC;
  std::memcpy(out.data() + 7, p->data, static_cast<size_t>(p->size));
  return out;
}

struct SoundEncoder {
  OwnedCodec codec;
  OwnedFrame frame;
  int rate = 0;
  int frameSamples = 0;
  int64_t firstSample = 0;  // of the stream's tone, where this encoder's sound starts
  int64_t fed = 0;          // samples given to the encoder so far
  bool adts = false;

  bool open(const AVCodec* encoder, int sampleRate, int channels, bool globalHeader) {
    codec.p = avcodec_alloc_context3(encoder);
    if (!codec.p) return false;
    codec.p->sample_rate = sampleRate;
    av_channel_layout_default(&codec.p->ch_layout, channels);
    codec.p->sample_fmt = encoder->sample_fmts ? encoder->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    codec.p->time_base = AVRational{1, sampleRate};
    codec.p->bit_rate = channels * 64000;
    codec.p->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
    if (globalHeader) codec.p->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(codec.p, encoder, nullptr) < 0) return false;
    rate = sampleRate;
    // G.711 has no frame of its own: 20 ms, as a camera sends it.
    frameSamples = codec.p->frame_size > 0 ? codec.p->frame_size : sampleRate / 50;
    frame.p = av_frame_alloc();
    frame.p->format = codec.p->sample_fmt;
    frame.p->nb_samples = frameSamples;
    frame.p->sample_rate = sampleRate;
    av_channel_layout_copy(&frame.p->ch_layout, &codec.p->ch_layout);
    return av_frame_get_buffer(frame.p, 0) >= 0;
  }
  double fedUntil() const { return static_cast<double>(fed) / rate; }
};

}  // namespace

int16_t cameraToneSample(const CameraStreamOptions& o, int64_t index) {
  double seconds = static_cast<double>(index) / o.sampleRate;
  if (o.switchedRate && index >= o.switchAtSample) {
    seconds = static_cast<double>(o.switchAtSample) / o.sampleRate +
              static_cast<double>(index - o.switchAtSample) / o.switchedRate;
  }
  return static_cast<int16_t>(std::lround(8192.0 * std::sin(2 * M_PI * o.toneHz * seconds)));
}

std::vector<std::string> writeCameraStream(const std::string& folder, const CameraStreamOptions& o, std::string* why) {
  auto fail = [&](const std::string& text) {
    *why = text;
    return std::vector<std::string>{};
  };
  av_log_set_level(AV_LOG_QUIET);
  const bool hls = o.container == "hls";
  const std::string extension = hls ? "m3u8" : o.container == "mpegts" ? "ts" : o.container;
  const std::string path = folder + "/stream." + extension;
  AVFormatContext* format = nullptr;
  if (avformat_alloc_output_context2(&format, nullptr, o.container.c_str(), path.c_str()) < 0) return fail("no muxer");
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> formatGuard(format, [](AVFormatContext* f) {
    if (f->pb && !(f->oformat->flags & AVFMT_NOFILE)) avio_closep(&f->pb);
    avformat_free_context(f);
  });
  format->max_delay = static_cast<int>(o.muxDelaySeconds * 1e6);
  const bool globalHeader = format->oformat->flags & AVFMT_GLOBALHEADER;

  const AVCodec* videoEncoder = avcodec_find_encoder_by_name(o.videoEncoder.c_str());
  if (!videoEncoder) return fail("no encoder " + o.videoEncoder);
  OwnedCodec video;
  video.p = avcodec_alloc_context3(videoEncoder);
  video.p->width = o.width;
  video.p->height = o.height;
  video.p->pix_fmt = AV_PIX_FMT_YUV420P;
  video.p->time_base = AVRational{1, o.fps};
  video.p->framerate = AVRational{o.fps, 1};
  const int keyEvery = static_cast<int>(std::lround((o.keySeconds > 0 ? o.keySeconds : o.segmentSeconds) * o.fps));
  video.p->gop_size = keyEvery;
  video.p->max_b_frames = o.videoEncoder == "mpeg2video" || o.videoEncoder == "mpeg4" ? 0 : 2;
  if (globalHeader) video.p->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const std::string keys = "keyint=" + std::to_string(keyEvery) + ":min-keyint=" + std::to_string(keyEvery) +
                           ":scenecut=0:bframes=2" + (o.openGop ? ":open-gop=1" : "");
  if (o.videoEncoder == "libx264") {
    av_opt_set(video.p->priv_data, "preset", "veryfast", 0);
    av_opt_set(video.p->priv_data, "x264-params", keys.c_str(), 0);
  } else if (o.videoEncoder == "libx265") {
    av_opt_set(video.p->priv_data, "preset", "ultrafast", 0);
    // One thread: the encoder's own pool would outlive the test's checks of threads.
    av_opt_set(video.p->priv_data, "x265-params", (keys + ":log-level=none:pools=none:frame-threads=1").c_str(), 0);
  }
  if (avcodec_open2(video.p, videoEncoder, nullptr) < 0) return fail("the video encoder does not open");
  AVStream* videoStream = avformat_new_stream(format, nullptr);
  videoStream->time_base = video.p->time_base;
  avcodec_parameters_from_context(videoStream->codecpar, video.p);

  SoundEncoder sound, switched;
  AVStream* soundStream = nullptr;
  if (!o.soundEncoder.empty()) {
    const AVCodec* encoder = avcodec_find_encoder_by_name(o.soundEncoder.c_str());
    // A build without libopus still has FFmpeg's own (experimental) Opus encoder.
    if (!encoder && o.soundEncoder == "libopus") encoder = avcodec_find_encoder_by_name("opus");
    if (!encoder) return fail("no encoder " + o.soundEncoder);
    if (!sound.open(encoder, o.sampleRate, o.channels, globalHeader)) return fail("the sound encoder does not open");
    if (o.switchedRate) {
      if (!switched.open(encoder, o.switchedRate, o.channels, false)) return fail("the switched encoder does not open");
      switched.firstSample = o.switchAtSample;
      switched.adts = true;
    }
    soundStream = avformat_new_stream(format, nullptr);
    soundStream->time_base = AVRational{1, o.sampleRate};
    avcodec_parameters_from_context(soundStream->codecpar, sound.codec.p);
  }

  AVDictionary* options = nullptr;
  if (hls) {
    av_dict_set(&options, "hls_time", std::to_string(o.segmentSeconds).c_str(), 0);
    av_dict_set(&options, "hls_list_size", "0", 0);
    const bool fragmented = o.segmentType == "fmp4";
    av_dict_set(&options, "hls_segment_type", o.segmentType.c_str(), 0);
    av_dict_set(&options, "hls_segment_filename", (folder + (fragmented ? "/segment%03d.m4s" : "/segment%03d.ts")).c_str(), 0);
    if (!o.hlsFlags.empty()) av_dict_set(&options, "hls_flags", o.hlsFlags.c_str(), 0);
  }
  if (!o.movflags.empty()) av_dict_set(&options, "movflags", o.movflags.c_str(), 0);
  if (!(format->oformat->flags & AVFMT_NOFILE) && avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
    return fail("cannot write the file");
  }
  const int header = avformat_write_header(format, &options);
  av_dict_free(&options);
  if (header < 0) return fail("no header");

  OwnedPacket packet;
  packet.p = av_packet_alloc();
  int soundPackets = 0;
  int64_t soundEnd = 0, switchShift = AV_NOPTS_VALUE;
  auto drain = [&](AVCodecContext* codec, AVStream* stream, AVFrame* input, const SoundEncoder* adts) {
    if (avcodec_send_frame(codec, input) < 0) return false;
    for (;;) {
      const int rc = avcodec_receive_packet(codec, packet.p);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return false;
      if (codec == video.p) packet.p->duration = 1;
      av_packet_rescale_ts(packet.p, codec->time_base, stream->time_base);
      if (adts) {
        // Placed right after the first encoder's sound, on the stream's clock.
        if (switchShift == AV_NOPTS_VALUE) switchShift = soundEnd - packet.p->dts;
        packet.p->pts += switchShift;
        packet.p->dts += switchShift;
        std::vector<uint8_t> framed = withAdtsHeader(packet.p, adts->rate, o.channels);
        AVPacket* copy = av_packet_alloc();
        av_new_packet(copy, static_cast<int>(framed.size()));
        std::memcpy(copy->data, framed.data(), framed.size());
        copy->pts = packet.p->pts;
        copy->dts = packet.p->dts;
        copy->duration = packet.p->duration;
        copy->stream_index = stream->index;
        av_packet_unref(packet.p);
        const int written = av_interleaved_write_frame(format, copy);
        av_packet_free(&copy);
        if (written < 0) return false;
        continue;
      }
      if (codec != video.p && soundPackets >= o.garbleFirst && soundPackets < o.garbleFirst + o.garbleCount) {
        if (av_packet_make_writable(packet.p) < 0) return false;
        std::memset(packet.p->data, 0, static_cast<size_t>(packet.p->size));
        packet.p->data[0] = 0x20;
      }
      if (codec != video.p) {
        ++soundPackets;
        soundEnd = std::max(soundEnd, packet.p->dts + packet.p->duration);
      }
      packet.p->stream_index = stream->index;
      if (av_interleaved_write_frame(format, packet.p) < 0) return false;
    }
  };
  // Feeds the tone up to `until` seconds into whichever encoder holds that stretch.
  auto feedSound = [&](double until) {
    if (!soundStream) return true;
    for (;;) {
      const bool second = o.switchedRate && sound.firstSample + sound.fed >= o.switchAtSample;
      SoundEncoder& e = second ? switched : sound;
      const double at = second ? static_cast<double>(o.switchAtSample) / o.sampleRate + e.fedUntil() : e.fedUntil();
      if (at >= until) return true;
      if (av_frame_make_writable(e.frame.p) < 0) return false;
      int samples = e.frameSamples;
      if (!second && o.switchedRate) samples = static_cast<int>(std::min<int64_t>(samples, o.switchAtSample - e.fed));
      if (samples <= 0) return false;
      e.frame.p->nb_samples = samples;
      for (int i = 0; i < samples; ++i) {
        const int64_t index = second ? o.switchAtSample + e.fed + i : e.fed + i;
        const int16_t v = cameraToneSample(o, index);
        for (int c = 0; c < o.channels; ++c) {
          switch (e.codec.p->sample_fmt) {
            case AV_SAMPLE_FMT_FLTP: reinterpret_cast<float*>(e.frame.p->data[c])[i] = v / 32768.0f; break;
            case AV_SAMPLE_FMT_FLT: reinterpret_cast<float*>(e.frame.p->data[0])[i * o.channels + c] = v / 32768.0f; break;
            case AV_SAMPLE_FMT_S16P: reinterpret_cast<int16_t*>(e.frame.p->data[c])[i] = v; break;
            default: reinterpret_cast<int16_t*>(e.frame.p->data[0])[i * o.channels + c] = v; break;
          }
        }
      }
      e.frame.p->pts = e.fed;
      e.fed += samples;
      if (!drain(e.codec.p, soundStream, e.frame.p, second ? &e : nullptr)) return false;
      // The first encoder's sound is all out before the second's begins.
      if (!second && o.switchedRate && e.fed >= o.switchAtSample && !drain(e.codec.p, soundStream, nullptr, nullptr)) {
        return false;
      }
    }
  };

  OwnedFrame picture;
  picture.p = av_frame_alloc();
  picture.p->format = AV_PIX_FMT_YUV420P;
  picture.p->width = o.width;
  picture.p->height = o.height;
  if (av_frame_get_buffer(picture.p, 0) < 0) return fail("no frame");
  const int frames = static_cast<int>(std::lround(o.seconds * o.fps));
  for (int i = 0; i < frames; ++i) {
    if (!feedSound(static_cast<double>(i + 1) / o.fps)) return fail("sound encoding failed");
    if (av_frame_make_writable(picture.p) < 0) return fail("frame not writable");
    paintStreamPicture(picture.p, i);
    picture.p->pts = i;
    if (!drain(video.p, videoStream, picture.p, nullptr)) return fail("video encoding failed");
  }
  if (!drain(video.p, videoStream, nullptr, nullptr)) return fail("video encoding failed");
  if (soundStream) {
    if (!o.switchedRate && !drain(sound.codec.p, soundStream, nullptr, nullptr)) return fail("sound encoding failed");
    if (o.switchedRate && !drain(switched.codec.p, soundStream, nullptr, &switched)) return fail("sound encoding failed");
  }
  if (av_write_trailer(format) < 0) return fail("no trailer");
  formatGuard.reset();

  auto read = [](const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::vector<std::string> files;
  if (!hls) {
    files.push_back(read(path));
  } else {
    if (o.segmentType == "fmp4") files.push_back(read(folder + "/init.mp4"));
    for (int i = 0;; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, o.segmentType == "fmp4" ? "/segment%03d.m4s" : "/segment%03d.ts", i);
      if (!std::filesystem::exists(folder + name)) break;
      files.push_back(read(folder + name));
    }
  }
  if (files.empty() || files.front().empty()) return fail("nothing written");
  return files;
}

}  // namespace dk::platform::test
