// AudioDecoder: the sound track of an MPEG-4 (or QuickTime) recording (AAC, G.711 or Opus, as
// cameras record it), decoded with FFmpeg into interleaved signed 16-bit PCM at the track's own
// rate and channel count.
//
// A track outside what a camera records (another codec, a rate outside 8-48 kHz, more than two
// channels) is refused at open(); frames that do not decode, or that change format midway, are
// heard as silence and never stop the pictures (the video has its own decoder). read() hands out
// the sound from any time on: it decodes forward while the reads follow one another and seeks
// when they jump. The bytes come through the same kind of Input as the video's, under the same
// policy: only the MPEG-4 demuxer, nothing it may open beyond its own bytes.
//
// Thread-compatible: one thread at a time (the streamer keeps it on its own serial queue).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/recordings/video_decoder.h"

namespace dk::platform {

class AudioDecoder {
 public:
  static constexpr int kMinSampleRate = 8000;
  static constexpr int kMaxSampleRate = 48000;
  static constexpr int kMaxChannels = 2;

  struct Format {
    int sampleRate = 0;
    int channels = 0;
  };

  AudioDecoder();
  ~AudioDecoder();
  AudioDecoder(const AudioDecoder&) = delete;
  AudioDecoder& operator=(const AudioDecoder&) = delete;

  // Opens the sound track of the file `input` reads. False with a reason in *error when there is
  // none or it is refused; the decoder then stays closed.
  bool open(VideoDecoder::Input input, std::string* error = nullptr);
  bool open(const std::string& path, std::string* error = nullptr);
  bool isOpen() const;
  Format format() const;

  // `frames` sample frames of sound starting `seconds` into the file's timeline, interleaved,
  // into *out (resized to frames × channels). Silence where the track has no sound to give.
  void read(double seconds, int64_t frames, std::vector<int16_t>* out);

  struct Counters {
    long framesDecoded = 0;  // decoder output frames (of about 1024 samples for AAC)
    long framesRefused = 0;  // did not decode, or changed format
    long seeks = 0;
  };
  Counters counters() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace dk::platform
