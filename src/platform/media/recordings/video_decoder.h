// VideoDecoder: one MPEG-4 video file, demuxed and decoded with FFmpeg's libraries, frame by
// frame into platform images.
//
// open() reads the file's frame table (every sample's decode and presentation time, from the
// container, without decoding), so times, durations and frame indices are known at once. Times
// are the container's presentation times, edit list applied (a frame the edit list cuts is not
// in the table), counted from the first picture: a file whose times start elsewhere (an empty
// stretch its edit list opens with, a camera stamping its uptime) starts at 0 all the same.
// frameAt() decodes the frame presented at a slot: it carries on decoding forward
// when that reaches the frame soonest (leaving out pictures nothing refers to), and otherwise
// seeks to the key frame the frame can be decoded from. Images are opaque ARGB32 at scale 1,
// upright as the container's display matrix says the video is shown.
//
// Only the MPEG-4 demuxer is used (media_input_policy.h), whatever the bytes claim to be; a path
// may open that local file only, an Input nothing beyond its own bytes.
//
// Thread-compatible: one thread at a time (the streamer keeps it on its own serial queue).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/image.h"
#include "platform/media/recordings/media_input.h"

namespace dk::platform {

struct Mp4Movie;
struct Mp4FragmentIndex;

class VideoDecoder {
 public:
  VideoDecoder();
  ~VideoDecoder();
  VideoDecoder(const VideoDecoder&) = delete;
  VideoDecoder& operator=(const VideoDecoder&) = delete;

  // Opens an MPEG-4 file holding a video stream. False with a reason in *error otherwise.
  bool open(const std::string& path, std::string* error = nullptr);

  // An MPEG-4 video whose bytes come from elsewhere (a recording read piecewise over the
  // network): `read` copies up to `count` bytes at `offset` and returns how many (0 at the end,
  // below 0 on failure); `size` gives the whole length (below 0 when unknown). Both are called
  // on the decoder's thread and may block. Only the MPEG-4 demuxer is used, and it may open
  // nothing else (media_input_policy.h). Only the movie header and the first frame are read
  // here; the rest is read as frames are asked for. A fragmented file's frame table starts with
  // its first fragment (so that opening costs the same whatever its length) and grows through
  // extendTo().
  // `prefetch` (optional) is told, without waiting, of a span about to be read whole (the movie
  // box), so that it can come in one transfer rather than piece by piece.
  // `movie`, when given, is the file's movie box as another decoder of the same bytes read it
  // (movieBox()): it is not read again.
  using Input = MediaInput;
  bool open(Input input, std::string* error = nullptr);

  // Presentation time (seconds from the first picture's) of each frame, ascending:
  // every frame, or those of a fragmented file's fragments read so far (complete() false).
  const std::vector<double>& frameTimes() const;
  size_t frameCount() const { return frameTimes().size(); }
  // The time after the last frame has been shown, as the container gives it. While the table is
  // not complete: the whole length where the file's index of fragments says it, else the end
  // of the frames read so far.
  double duration() const;
  // Whether frameTimes() holds every frame of the file (as read when it opened): no gap, and
  // read to the end.
  bool complete() const;
  // Reads the headers of further fragments until the table holds the frame showing at `seconds`
  // (and the one after it) or every frame (infinity: all). A time far beyond the frames read is gone to straight
  // (by the file's index of fragments, else by halving the bytes between): the fragments between
  // stay unread, a gap in the table (gapsAfter()), until a time in it is asked for. Frames
  // already in the table keep their index unless frames are read before them (a gap filled);
  // times keep their frames. A fragment that cannot be read or does not add up ends the table
  // at the ones before it. True when frames were added.
  bool extendTo(double seconds);
  // Whether the table's last frame is the file's (the fragments up to its end are read; gaps
  // before may remain).
  bool reachesEnd() const;
  // The frames after which the table lacks frames not read yet, ascending: a time between such a
  // frame and the next is to be read (extendTo) before frameIndexAt() can tell its frame.
  const std::vector<size_t>& gapsAfter() const;
  // The movie box read at open() (through an Input; null otherwise or when there was none), for
  // another decoder of the same bytes.
  std::shared_ptr<const Mp4Movie> movieBox() const;
  // Where 0 of these times lies on the file's own time line (its first picture's presentation
  // time there, in seconds), for another track of the same file: the sound.
  double startTime() const;
  // A fragmented file's index of its fragments read at open() (null when it has none), shared
  // with another decoder of the same bytes rather than read and held again.
  std::shared_ptr<const Mp4FragmentIndex> fragmentIndex() const;
  // The pictures' size as shown: a recording whose container says it is turned a quarter shows
  // its stored height across.
  int width() const;
  int height() const;

  // The index of the frame showing at `seconds` (the last one starting at or before it; the
  // first one before the first starts). Within a gap, the frame before it: extendTo() first.
  size_t frameIndexAt(double seconds) const;
  // Decodes frame `index`; nullptr when it cannot be decoded or is out of range. A picture that
  // may show damage is never returned: one the decoder marks as broken, one of another size than
  // the stream's, or one decoded after a packet the decoder refused since its key frame (it would
  // show concealment, typically a grey picture). Damage is remembered: the frames after it up to
  // the next key frame are passed over without decoding them again, and decoding goes on afresh
  // from that key frame. A recording cut short ends at its last whole frame (the table and the
  // duration say so). A frame shown before the first picture that decodes whole (a clip cut with
  // stream copy on a frame that is not a key frame) shows that picture. Interlaced pictures are
  // shown deinterlaced (deinterlacer.h).
  ImagePtr frameAt(size_t index);
  // The last frameAt() gave nullptr because the video's bytes are damaged (they do not decode
  // to what the index says), not because the frame was out of range or the reading failed.
  bool lastFrameDamaged() const;

  // Work counters since open(), for benchmarks: packets handed to the decoder and seeks made.
  struct Counters {
    long packetsDecoded = 0;
    long packetsSkipped = 0;  // pictures nothing refers to, left out on the way to a later one
    long seeks = 0;
  };
  Counters counters() const;

  struct Impl;

 private:
  bool openStreams(std::string* error);
  std::unique_ptr<Impl> impl_;
};

}  // namespace dk::platform
