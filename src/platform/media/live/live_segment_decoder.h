// LiveSegmentDecoder: live segments (MPEG-TS files or fMP4 fragments held in memory) decoded a
// picture at a time, with only the demuxer and decoders that media_input_policy.h names for live
// segments. A camera's segment holds seconds of full-size video, so its pictures are made as
// playback needs them, never all at once. Interlaced pictures are shown deinterlaced (deinterlacer.h).
//
// A segment is decoded on its own (open), or as one of a stream's in turn (add): then the video
// decoder goes on from the segments before, as the encoder meant (a segment need not begin with a
// key frame or carry its parameter sets; leading pictures refer to the segment before), and a
// segment's last pictures come out as the next one is decoded. It starts anew when asked (a
// discontinuity, skipped segments), and at another codec, initialisation section or picture size.
//
// Bounds, so that no segment can ask for more than a camera's stream needs: a picture's sides
// and area (checked by the decoder before it allocates the picture), the pictures in a segment,
// and the bytes of all its decoded pictures for the length the playlist gives it.
//
// The segment's sound (one AAC or Opus stream, as a camera's microphone gives it) is decoded when
// the segment is opened, wherever the muxer placed it (MPEG-TS after the pictures of its time,
// fMP4 after all the fragment's video), under its own byte budget; the segment's video packets
// are held (their bytes no more than the segment's), not their pictures. Sound that is refused (a
// rate or channel count no microphone has, packets that keep failing, more than the budget) is
// left out, heard as silence: the pictures play on regardless.
//
// Not thread-safe: one queue uses a decoder at a time (the live source's decode queue); it may be
// created and destroyed on another.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/image.h"

namespace dk::platform {

struct LiveSegmentFrame {
  // Seconds from the first picture of the segment opened (open), or where the picture falls on
  // the caller's time line (add: a stream's pictures are timed on from its first segment's start).
  double offset = 0;
  int64_t sequence = 0;  // of the segment being decoded when it came out (add)
  ImagePtr image;
};

// One segment of a stream for LiveSegmentDecoder::add.
struct LiveSegmentInput {
  std::shared_ptr<const std::string> init;  // its fMP4 initialisation section; null for MPEG-TS
  std::shared_ptr<const std::string> bytes;
  double start = 0;      // where it starts on the caller's time line
  int64_t sequence = 0;  // its number, given back with its pictures
  // No picture before it is referred to: a discontinuity, or segments skipped.
  bool anew = false;
  int64_t budgetBytes = 0;       // its decoded pictures
  int64_t soundBudgetBytes = 0;  // its decoded sound
};

struct LivePictureLimits {
  // A camera's picture: up to 4096 wide or tall, and no larger than 4096 x 2304 (DCI 4K, a
  // fisheye's square 3000 x 3000) in area.
  static constexpr int kMaxSide = 4096;
  static constexpr int64_t kMaxPixels = int64_t{4096} * 2304;
  static constexpr int64_t kMaxPictureBytes = kMaxPixels * 4;
  static constexpr size_t kMaxFrames = 600;
  // Decoded bytes a second of video may make: the largest picture at 30 frames a second.
  static constexpr int64_t kMaxBytesPerSecond = kMaxPictureBytes * 30;

  // The decoded bytes a segment of `seconds` may make (at least one second's worth).
  static int64_t segmentBudget(double seconds);
};

// A stretch of decoded sound, interleaved signed 16-bit samples.
struct LiveSegmentSound {
  // Where the first sample falls, as LiveSegmentFrame::offset (may be < 0).
  double offset = 0;
  int sampleRate = 0;
  int channels = 0;
  std::vector<int16_t> samples;
};

struct LiveSoundLimits {
  static constexpr int kMinSampleRate = 8000;
  static constexpr int kMaxSampleRate = 48000;
  static constexpr int kMaxChannels = 2;
  // Decoded bytes a second of sound may make: the highest rate in stereo, twice over (a segment's
  // sound may run a frame past its pictures).
  static constexpr int64_t kMaxBytesPerSecond = int64_t{kMaxSampleRate} * kMaxChannels * 2 * 2;
  // After this many packets in a row that do not decode, the segment's sound is given up.
  static constexpr int kMaxFailuresInRow = 16;

  // The decoded sound bytes a segment of `seconds` may make (at least one second's worth).
  static int64_t segmentBudget(double seconds);
};

class LiveSegmentDecoder {
 public:
  LiveSegmentDecoder();
  ~LiveSegmentDecoder();
  LiveSegmentDecoder(const LiveSegmentDecoder&) = delete;
  LiveSegmentDecoder& operator=(const LiveSegmentDecoder&) = delete;

  // Opens the segment (kept by the decoder) whose pictures may make `budgetBytes` in all; false
  // with a reason for anything that is not a decodable allowed video in MPEG-TS.
  // Its sound may make `soundBudgetBytes` (the default: a minute's worth).
  bool open(std::shared_ptr<const std::string> bytes, int64_t budgetBytes, std::string* error = nullptr);
  bool open(std::shared_ptr<const std::string> bytes, int64_t budgetBytes, int64_t soundBudgetBytes,
            std::string* error);
  // The same for an fMP4 (CMAF) fragment: `init`, the stream's initialisation section (its
  // tracks and codecs), read as if it came before the fragment's own bytes, under the same
  // codec allow-list.
  bool openFragment(std::shared_ptr<const std::string> init, std::shared_ptr<const std::string> bytes,
                    int64_t budgetBytes, int64_t soundBudgetBytes, std::string* error);
  // The next segment of a stream: first, or once next() has given End for the one before. Its
  // End comes when its packets are all decoded, without waiting for the pictures the decoder
  // holds back for the next; a segment with no picture of its own ends as well (pictureCount()
  // and streamPictureCount() tell). False with a reason when it does not open.
  bool add(const LiveSegmentInput& segment, std::string* error = nullptr);
  // The stream stops here (a segment that is not there follows): next() gives out what the
  // decoder holds, then End; the next segment added starts anew.
  void endStream();

  enum class Step { Picture, End, Failed };
  // The next picture in presentation order into `out`; End after the last; Failed with a reason
  // for a broken segment or one past its bounds (then End ever after is not promised: stop).
  Step next(LiveSegmentFrame& out, std::string* error = nullptr);

  // Pictures made so far (of the segment opened or added last) and their bytes.
  size_t pictureCount() const;
  // Pictures made since the stream last started anew.
  size_t streamPictureCount() const;
  int64_t decodedBytes() const;

  // The sound decoded since the last call, in order; placed once the first picture is out, or,
  // in a stream that has given none, once a segment of it has ended (then from its packets' times).
  std::vector<LiveSegmentSound> takeSound();
  // Why the segment's sound is not heard ("" while it is, or when it has none); bytes decoded.
  std::string soundRefusal() const;
  int64_t decodedSoundBytes() const;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace dk::platform
