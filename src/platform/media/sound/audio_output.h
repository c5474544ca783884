// AudioOutput: where a streamer's sound goes. A sound device (ALSA, the kernel's own sound
// interface: no daemon to run, small and well kept), or a WAV file that receives exactly what was
// played, for machines without a sound device (CI, a headless demo) and for tests.
//
// The streamer writes the sound in step with its picture clock, on its own audio queue: write()
// must not block for long. Implementations are thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace dk::platform {

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // The format of the writes that follow. False when it cannot be played (those writes are dropped).
  virtual bool configure(int sampleRate, int channels) = 0;
  // `frames` interleaved signed 16-bit sample frames, in the order they are to be heard.
  virtual void write(const int16_t* samples, int64_t frames) = 0;
  // Playback paused, jumped or ended: sound queued and not yet heard may be dropped.
  virtual void pause() {}
  // How far ahead of the picture the sound is to be written (a device's buffer; 0 for a file).
  virtual double leadSeconds() const { return 0; }
  virtual std::string description() const = 0;
};

using AudioOutputPtr = std::shared_ptr<AudioOutput>;

// A 16-bit PCM WAV file at `path`, made anew and private (0600, a link there is refused). Its
// header is kept valid after every write, so the file can be read while it grows. The first
// format configured is the file's; another one later is refused. It holds at most
// `maxDataBytes` of sound (WAV sizes are 32-bit): a write that would take it further is dropped
// whole. Null with a reason in *error when the file cannot be made.
class FileAudioOutput : public AudioOutput {
 public:
  static constexpr int64_t kMaxDataBytes = int64_t{1} << 30;

  static std::shared_ptr<FileAudioOutput> create(const std::string& path, std::string* error = nullptr,
                                                 int64_t maxDataBytes = kMaxDataBytes);
  ~FileAudioOutput() override;

  bool configure(int sampleRate, int channels) override;
  void write(const int16_t* samples, int64_t frames) override;
  std::string description() const override;

  // Sample frames written so far, and the file's format (0 before the first configure).
  int64_t framesWritten() const;
  int sampleRate() const;
  int channels() const;
  const std::string& path() const;

  struct Impl;

 private:
  explicit FileAudioOutput(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The ALSA playback device `device` ("default" for the user's). Null with a reason in *error when
// it does not open.
AudioOutputPtr makeDeviceAudioOutput(const std::string& device, std::string* error = nullptr);

// What a host gets without choosing: a WAV file when DK_AUDIO_FILE names one, else the sound
// device when the machine has one (/dev/snd), else nothing (null: the sound is not played).
AudioOutputPtr makeDefaultAudioOutput(std::string* why = nullptr);

}  // namespace dk::platform
