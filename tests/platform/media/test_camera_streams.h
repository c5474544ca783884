// A camera's stream as a common open-source packager writes it: pictures and a steady tone made
// with FFmpeg's encoders (H.264, HEVC, MPEG-4 or MPEG-2 video; AAC, G.711, Opus or MPEG audio
// sound) and muxed by libavformat's own MPEG-TS, HLS, MP4 or QuickTime muxer, with the muxing
// delay ffmpeg's command line uses, so that MPEG-TS packs a few AAC frames in each sound packet
// and places it after the pictures of its time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dk::platform::test {

struct CameraStreamOptions {
  std::string videoEncoder = "libx264";  // "libx265", "mpeg4", "mpeg2video"
  int width = 96;
  int height = 64;
  int fps = 25;
  double seconds = 2;
  std::string soundEncoder = "aac";  // "pcm_alaw", "pcm_mulaw", "libopus", "mp2"; "" for none
  int sampleRate = 48000;
  int channels = 1;
  double toneHz = 1000;
  // "mpegts" (one file), "hls" (segments of segmentSeconds, each opening with a key frame),
  // "mp4" or "mov".
  std::string container = "mpegts";
  double segmentSeconds = 2;
  // A key frame this often (0: at each segment's start); libx264's open groups of pictures, whose
  // parameter sets then come only with the first (an IDR picture: the muxer adds them to no other);
  // the HLS muxer's further "hls_flags" ("split_by_time": segments cut between key frames).
  double keySeconds = 0;
  bool openGop = false;
  std::string hlsFlags;
  // The mp4 muxer's own "movflags" ("frag_keyframe+empty_moov+default_base_moof" for a file in
  // fragments of segmentSeconds, each opening with a key frame).
  std::string movflags;
  // The HLS segments: "mpegts", or "fmp4" (fragments after an initialisation section, which is
  // then the first of the files returned).
  std::string segmentType = "mpegts";
  // ffmpeg's command-line default (-muxdelay 0.7): its MPEG-TS muxer gathers up to half of it of
  // sound in one packet. 0: the library's default, one sound frame per packet.
  double muxDelaySeconds = 0.7;
  // From this sample on, the sound is encoded at switchedRate and its AAC frames carry their own
  // headers (ADTS) naming it: a rate that changes midway (0: it does not). AAC only.
  int64_t switchAtSample = 0;
  int switchedRate = 0;
  // Sound packets [garbleFirst, garbleFirst + garbleCount) in the order encoded carry bytes no AAC
  // decoder takes (a stereo element in a mono stream), as damaged storage would give them.
  int garbleFirst = 0;
  int garbleCount = 0;
};

// The stream's files: one for "mpegts", "mp4" and "mov", each segment in order for "hls". Empty
// with a reason in *why when an encoder or muxer is missing or fails.
std::vector<std::string> writeCameraStream(const std::string& folder, const CameraStreamOptions& options,
                                           std::string* why);

// The tone's sample at `index` as it was encoded (a quarter of full scale).
int16_t cameraToneSample(const CameraStreamOptions& options, int64_t index);

}  // namespace dk::platform::test
