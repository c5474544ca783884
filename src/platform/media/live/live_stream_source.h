// LiveStreamSource: a camera's live video from the cloud, as pictures on the run-loop clock.
//
// It reads the camera's live playlist ("<base>/media/cameras/<id>/live/index.m3u8", or the media
// playlist of the variant chosen for the view when that is a multivariant one), joins at the
// newest segment, fetches each later segment once and decodes it (its pictures and the camera's
// sound) on its own serial queue a picture at a time, a few pictures ahead of the clock, and hands the pictures out at their
// times while playing. The first picture is handed out as soon as it is decoded, playing or not,
// so that a player has a picture to show. While playing the playlist is read again every half target
// duration; when the pictures run out it reports a stall, and when new ones arrive it catches up
// with the live edge. A camera that restarts its stream (its segment numbers go back) is rejoined
// at its live edge; a stream that shows nothing new for stallSeconds while playing ends with an
// error.
//
// Segments are MPEG-TS, or fMP4 fragments decoded with their initialisation section (EXT-X-MAP),
// fetched once; either may be a byte range of one growing file (EXT-X-BYTERANGE), fetched as that
// range, and a range the server does not have fails only that segment. One video decoder goes on
// across the segments, as the encoder meant them, and starts anew at a discontinuity, after a
// segment skipped, and at another codec or picture size; a stream that gives no picture for
// several seconds of segments cannot be played. Until its first picture the playlist is read
// again whether playing or not, and the sound of segments without a picture plays meanwhile on
// its own clock (reported as the picture's clock). A playlist without program date-times is timed from its media sequence numbers
// and segment lengths, anchored at the clock when the view opens (LiveTimeline).
//
// The bearer token of DKAccessTokenProvider goes only to the base URL's origin, which must be
// https; a playlist's addresses on another host are fetched without it, and only over https.
// Every fetch has a deadline and a size bound (a segment's by its length), decoded pictures have
// a budget (per segment and for those waiting to be shown), and
// anything broken ends the source with an error. What it holds does not grow with the length of
// the view: finished calls are let go.
//
// Main thread only; callbacks arrive on the main thread and never after stop() or destruction.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/error.h"
#include "platform/graphics/image.h"
#include "platform/media/live/live_segment_decoder.h"

namespace dk::platform {

class LiveStreamSource : public std::enable_shared_from_this<LiveStreamSource> {
 public:
  struct Listener {
    std::function<void(const ImagePtr& image, double time)> frame;  // time: seconds since 1970
    std::function<void(bool stalled)> stalled;
    std::function<void(const ErrorPtr& error)> failed;  // the source has stopped
    // The camera's sound, as each stretch is decoded (up to a segment ahead of the picture); `time` is
    // when its first sample plays, on the camera's clock. `refused`: why a segment's sound is not
    // heard ("" for one whose sound is).
    std::function<void(const LiveSegmentSound& sound, double time)> sound;
    std::function<void(const std::string& refused)> soundRefused;
    // The picture's clock: while `running` (playing, not stalled; before any picture, while the
    // sound of segments without one plays, playing or not), the picture at camera time
    // `frameTime` shows at run-loop clock time `clock` and the camera's clock runs on from there
    // at 1x. Reported whenever it is set anew or stops.
    std::function<void(bool running, double frameTime, double clock)> clock;
  };
  struct Limits {
    double playlistDeadline = 5;  // seconds from asking to having the whole body
    double segmentDeadline = 8;
    // A segment may be this many bytes a second of the length its playlist gives it (16 Mbit/s:
    // twice a camera's 8 Mbit/s), that length counted as one to thirty seconds.
    int64_t maxSegmentBytesPerSecond = 2 << 20;
    // A stream's initialisation section (fMP4: its tracks and codecs, a few kilobytes).
    int64_t maxInitSectionBytes = 1 << 20;
    // Decoded pictures waiting to be shown: decoding pauses when they reach this many bytes.
    int64_t maxQueuedPictureBytes = 96 << 20;
    // Playing without a new picture this long ends the source (-1001).
    double stallSeconds = 20;

    // The bytes a segment the playlist gives `seconds` may have.
    int64_t maxSegmentBytes(double seconds) const;
  };

  static std::shared_ptr<LiveStreamSource> create(int64_t cameraId, std::string baseURL, Listener listener,
                                                  Limits limits);
  static std::shared_ptr<LiveStreamSource> create(int64_t cameraId, std::string baseURL, Listener listener) {
    return create(cameraId, std::move(baseURL), std::move(listener), Limits{});
  }
  ~LiveStreamSource();
  LiveStreamSource(const LiveStreamSource&) = delete;
  LiveStreamSource& operator=(const LiveStreamSource&) = delete;

  // The segment an earlier source of this camera showed last before it failed (a retry): joining
  // waits for a newer one, so that showing it again does not count as the stream going on, and
  // ends with the stall error when none comes. Before start().
  void setAlreadyShown(int64_t sequence);
  // The pixels of the view the pictures are drawn into: of a stream offered in several sizes, the
  // largest that fits is played (else the smallest). Before start().
  void setViewPixelSize(int width, int height);
  // Joins the stream: fetches the playlist and the newest segment.
  void start();
  // The segment of the picture on screen; -1 before the first.
  int64_t shownSequence() const;
  // Playing: frames advance and the playlist is followed. Not playing: nothing is fetched and the
  // picture on screen stays; playing again rejoins at the live edge.
  void setPlaying(bool playing);
  // Cancels everything; no callback follows.
  void stop();

  bool isPlaying() const;
  // Fetches sent so far (playlists and segments), and calls with their deadlines held now, for
  // tests.
  int fetchCount() const;
  size_t heldCallCount() const;
  // The most bytes of decoded pictures waiting to be shown at once so far, for tests.
  int64_t peakQueuedPictureBytes() const;

  struct Impl;

 private:
  LiveStreamSource() = default;
  std::shared_ptr<Impl> impl_;
};

}  // namespace dk::platform
