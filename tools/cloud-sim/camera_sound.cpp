#include "camera_sound.h"

#include <cmath>
#include <map>
#include <mutex>
#include <numbers>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

namespace dk::cloudsim::detail {
namespace {

struct SoundEncoder {
  AVCodecContext* codec = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  ~SoundEncoder() {
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&codec);
  }
};

std::shared_ptr<const CameraSound> encodeCameraSound(double hz) {
  const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (!encoder) return nullptr;
  SoundEncoder e;
  auto out = std::make_shared<CameraSound>();
  out->parameters = avcodec_parameters_alloc();
  e.codec = avcodec_alloc_context3(encoder);
  e.frame = av_frame_alloc();
  e.packet = av_packet_alloc();
  if (!out->parameters || !e.codec || !e.frame || !e.packet) return nullptr;
  e.codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
  e.codec->sample_rate = kCameraSoundRate;
  e.codec->bit_rate = 32000;
  e.codec->time_base = AVRational{1, kCameraSoundRate};
  av_channel_layout_default(&e.codec->ch_layout, 1);
  e.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // MP4 keeps the decoder's header in the index
  if (avcodec_open2(e.codec, encoder, nullptr) < 0) return nullptr;
  const int64_t frameSamples = e.codec->frame_size > 0 ? e.codec->frame_size : 1024;
  const int64_t priming = e.codec->initial_padding;
  out->frameSamples = frameSamples;
  out->cycleSamples = int64_t{kCameraSoundCycleSeconds} * kCameraSoundRate;
  if (out->cycleSamples % frameSamples != 0) return nullptr;

  e.frame->format = AV_SAMPLE_FMT_FLTP;
  e.frame->sample_rate = kCameraSoundRate;
  e.frame->nb_samples = static_cast<int>(frameSamples);
  av_channel_layout_default(&e.frame->ch_layout, 1);
  if (av_frame_get_buffer(e.frame, 0) < 0) return nullptr;

  // The packets kept are those one frame after the start, whose transform windows lie wholly in
  // the tone (the first one's overlaps the encoder's silence); they are moved back by that frame.
  const int64_t keepFrom = priming + frameSamples;
  const int64_t keepTo = keepFrom + out->cycleSamples;
  const int64_t total = keepTo + 3 * frameSamples;
  auto keep = [&]() -> bool {
    for (;;) {
      const int rc = avcodec_receive_packet(e.codec, e.packet);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return false;
      // Encoder pts count input samples; the priming makes the first packet start before 0.
      const int64_t at = e.packet->pts + priming;
      if (at >= keepFrom && at < keepTo) {
        AVPacket* kept = av_packet_clone(e.packet);
        if (!kept) return false;
        kept->pts = kept->dts = at - keepFrom;
        kept->duration = frameSamples;
        out->packets.push_back(kept);
      }
      av_packet_unref(e.packet);
    }
  };
  for (int64_t start = 0; start < total; start += frameSamples) {
    if (av_frame_make_writable(e.frame) < 0) return nullptr;
    auto* samples = reinterpret_cast<float*>(e.frame->data[0]);
    for (int64_t i = 0; i < frameSamples; ++i) {
      const double t = static_cast<double>(start + i) / kCameraSoundRate;
      samples[i] = static_cast<float>(0.25 * std::sin(2 * std::numbers::pi * hz * t));
    }
    e.frame->pts = start;
    if (avcodec_send_frame(e.codec, e.frame) < 0 || !keep()) return nullptr;
  }
  if (avcodec_send_frame(e.codec, nullptr) < 0 || !keep()) return nullptr;
  if (static_cast<int64_t>(out->packets.size()) != out->cycleSamples / frameSamples) return nullptr;
  if (avcodec_parameters_from_context(out->parameters, e.codec) < 0) return nullptr;
  out->parameters->initial_padding = 0;  // the priming is not in the packets kept
  return out;
}

}  // namespace

CameraSound::~CameraSound() {
  for (AVPacket*& packet : packets) av_packet_free(&packet);
  avcodec_parameters_free(&parameters);
}

std::shared_ptr<const CameraSound> cameraSound(double hz) {
  static std::mutex mutex;
  static std::map<double, std::shared_ptr<const CameraSound>> made;  // a tone or two per process
  const double periods = hz * kCameraSoundCycleSeconds;
  if (!(hz > 0) || hz * 2 >= kCameraSoundRate || periods != std::floor(periods)) return nullptr;
  std::lock_guard lock(mutex);
  auto [it, added] = made.try_emplace(hz);
  if (added) it->second = encodeCameraSound(hz);
  return it->second;
}

}  // namespace dk::cloudsim::detail
