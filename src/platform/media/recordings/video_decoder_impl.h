// VideoDecoder's insides, shared by the core (video_decoder.cpp), the frame table
// (video_decoder_table.cpp) and the damage bookkeeping (video_decoder_damage.cpp). Included by
// those .cpp files of the recordings room only (it needs FFmpeg's headers).
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/media/core/deinterlacer.h"
#include "platform/media/core/frame_converter.h"
#include "platform/media/core/media_input_policy.h"
#include "platform/media/recordings/media_input_reader.h"
#include "platform/media/recordings/mp4_boxes.h"
#include "platform/media/recordings/mp4_fragment_locator.h"
#include "platform/media/recordings/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace dk::platform {

inline constexpr int kInputBufferBytes = 64 * 1024;
// A fragmented file's samples: about ten hours at 30 frames a second at most.
inline constexpr int64_t kMostFragmentSamples = 1 << 20;

struct VideoDecoder::Impl {
  // One packet of the video stream, in decode order.
  struct Sample {
    int64_t dts = 0;
    int64_t pts = 0;
    bool key = false;
    bool presented = false;  // false: the edit list cuts it; decoded only for the frames after it
    bool ptsRead = false;    // false: `pts` is estimated from the index until the packet is read
  };

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
  std::optional<Mp4FragmentLocator> locator;  // finds the fragment for a far time
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
  // The first picture's presentation time: the time line's 0. A camera may stamp its media from
  // its own uptime, or a recording may be cut from a live stream; its frames count from there.
  int64_t originPts = 0;

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

  // The core (video_decoder.cpp): decoding from a key sample on to the frame asked for.
  ~Impl();

  static int64_t ptsOf(const AVFrame* f) { return f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp; }

  size_t sampleOfDts(int64_t dts) const {
    auto it = std::lower_bound(samples.begin(), samples.end(), dts,
                               [](const Sample& s, int64_t value) { return s.dts < value; });
    return static_cast<size_t>(it - samples.begin());
  }

  size_t keyFor(size_t sample, int64_t pts) const;
  void learn(const AVPacket* p);
  int64_t firstWholePts();
  bool landOn(size_t sample, int64_t timestamp);
  bool seekTo(size_t sample);
  bool feed(int64_t targetPts);
  bool decodeUntil(int64_t pts);
  bool openStreams(const MediaInputPolicy& policy, bool fromIndex, std::string* why);

  // The frame table (video_decoder_table.cpp): the whole file's at open, or a fragmented
  // file's, read on fragment by fragment as frames are asked for.

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
  double lengthFromIndex();
  bool readFragment(size_t run);
  bool insertFragment(size_t run, const std::vector<Mp4SampleOffset>& found, int64_t moof);
  bool rebuildFrames();
  void noteTableShape();
  std::optional<std::pair<int64_t, int64_t>> fragmentTimes(const Mp4SampleOffset& o) const;
  int64_t firstPtsOf(const std::vector<Mp4SampleOffset>& found) const;
  size_t runFor(int64_t pts) const;
  bool landAt(int64_t pts, size_t run);
  size_t runOfSample(size_t sample) const;
  bool readFragmentBefore(size_t run);
  bool placeDemuxer(int64_t moof);
  int64_t fragmentOfSample(size_t sample) const;
  int64_t fileSize() const { return reader && reader->input.size ? reader->input.size() : -1; }
  bool reachesEnd() const { return !fragments || runs.empty() || runs.back().cursor.done; }
  bool indexFrames(size_t from);
  void addKeySamples(size_t from);
  double lengthAfter(int64_t last, int64_t before, int64_t end) const;
  double secondsOf(int64_t pts) const { return static_cast<double>(pts - originPts) * timeBase; }
  void settleDuration();
  bool scanFrameTable(std::string* why, int64_t* end);
  void dropLostSamples();
  int indexFrameTable(std::string* why);
  bool finishFrameTable(int64_t end, std::string* why);

  // Damage bookkeeping (video_decoder_damage.cpp).
  long groupAt(int64_t pts) const;
  size_t groupEnd(long group) const;
  void noteDamageIn(long group, size_t sample);
  void noteDamage(long sample, int64_t pts);
  void noteDamageAt(int64_t pts);
  bool damagedAt(int64_t pts) const;
  ImagePtr passOver();
};

}  // namespace dk::platform
