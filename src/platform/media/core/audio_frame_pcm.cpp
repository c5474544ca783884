#include "platform/media/core/audio_frame_pcm.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace dk::platform {
namespace {

int16_t floatToS16(float value) {
  if (!(value == value)) return 0;  // NaN
  return static_cast<int16_t>(std::lround(std::clamp(value, -1.0f, 1.0f) * 32767.0f));
}

}  // namespace

bool framePcmUsable(const AVFrame* f) {
  if (f->ch_layout.nb_channels <= 0 || f->nb_samples <= 0 || f->nb_samples > kMaxSoundFrameSamples) return false;
  const auto fmt = static_cast<AVSampleFormat>(f->format);
  return fmt == AV_SAMPLE_FMT_FLTP || fmt == AV_SAMPLE_FMT_FLT || fmt == AV_SAMPLE_FMT_S16 || fmt == AV_SAMPLE_FMT_S16P;
}

bool appendFramePcm(const AVFrame* f, std::vector<int16_t>* pcm) {
  if (!framePcmUsable(f)) return false;
  const int channels = f->ch_layout.nb_channels;
  const auto fmt = static_cast<AVSampleFormat>(f->format);
  const size_t base = pcm->size();
  pcm->resize(base + static_cast<size_t>(f->nb_samples) * static_cast<size_t>(channels));
  int16_t* out = pcm->data() + base;
  for (int i = 0; i < f->nb_samples; ++i) {
    for (int c = 0; c < channels; ++c) {
      int16_t v = 0;
      switch (fmt) {
        case AV_SAMPLE_FMT_FLTP: v = floatToS16(reinterpret_cast<const float*>(f->extended_data[c])[i]); break;
        case AV_SAMPLE_FMT_FLT: v = floatToS16(reinterpret_cast<const float*>(f->extended_data[0])[i * channels + c]); break;
        case AV_SAMPLE_FMT_S16P: v = reinterpret_cast<const int16_t*>(f->extended_data[c])[i]; break;
        default: v = reinterpret_cast<const int16_t*>(f->extended_data[0])[i * channels + c]; break;
      }
      *out++ = v;
    }
  }
  return true;
}

}  // namespace dk::platform
