// The sound device through ALSA. Writes never wait: the device is opened non-blocking, and what
// does not fit in its buffer is dropped (the streamer writes in step with its clock and only a
// little ahead, so that happens only when the device's clock runs slow).
#include <alsa/asoundlib.h>

#include <algorithm>
#include <mutex>

#include "platform/media/sound/audio_output.h"

namespace dk::platform {
namespace {

constexpr unsigned kLatencyMicroseconds = 300000;
constexpr double kLeadSeconds = 0.15;

void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

class AlsaAudioOutput : public AudioOutput {
 public:
  AlsaAudioOutput(snd_pcm_t* pcm, std::string device) : pcm_(pcm), device_(std::move(device)) {}
  ~AlsaAudioOutput() override {
    if (pcm_) snd_pcm_close(pcm_);
  }

  bool configure(int sampleRate, int channels) override {
    std::lock_guard lock(mutex_);
    if (sampleRate == rate_ && channels == channels_) return usable_;
    rate_ = sampleRate;
    channels_ = channels;
    snd_pcm_drop(pcm_);
    usable_ = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                                 static_cast<unsigned>(channels), static_cast<unsigned>(sampleRate), 1,
                                 kLatencyMicroseconds) == 0;
    // Playing starts as soon as a little is queued (by default only with a full buffer): the
    // streamer keeps only kLeadSeconds queued, so that the sound leaves with its picture.
    snd_pcm_sw_params_t* software = nullptr;
    snd_pcm_sw_params_alloca(&software);
    if (usable_ && snd_pcm_sw_params_current(pcm_, software) == 0) {
      snd_pcm_sw_params_set_start_threshold(pcm_, software, static_cast<snd_pcm_uframes_t>(sampleRate / 50));
      snd_pcm_sw_params(pcm_, software);
    }
    return usable_;
  }

  void write(const int16_t* samples, int64_t frames) override {
    std::lock_guard lock(mutex_);
    if (!usable_) return;
    while (frames > 0) {
      snd_pcm_sframes_t n = snd_pcm_writei(pcm_, samples, static_cast<snd_pcm_uframes_t>(frames));
      if (n == -EAGAIN) return;  // the buffer is full: the device is behind
      if (n < 0) {
        if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0) return;
        continue;
      }
      samples += n * channels_;
      frames -= n;
    }
  }

  void pause() override {
    std::lock_guard lock(mutex_);
    if (!usable_) return;
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
  }

  double leadSeconds() const override { return kLeadSeconds; }
  std::string description() const override { return "ALSA device " + device_; }

 private:
  std::mutex mutex_;
  snd_pcm_t* pcm_;
  std::string device_;
  int rate_ = 0, channels_ = 0;
  bool usable_ = false;
};

}  // namespace

AudioOutputPtr makeDeviceAudioOutput(const std::string& device, std::string* error) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(&quietAlsa); });  // failures are reported here
  snd_pcm_t* pcm = nullptr;
  const int rc = snd_pcm_open(&pcm, device.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
  if (rc < 0) {
    if (error) *error = "the sound device " + device + " does not open: " + snd_strerror(rc);
    return nullptr;
  }
  return std::make_shared<AlsaAudioOutput>(pcm, device);
}

}  // namespace dk::platform
