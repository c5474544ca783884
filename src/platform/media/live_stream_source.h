// LiveStreamSource: a camera's live video from the cloud, as pictures on the run-loop clock.
//
// It reads the camera's live playlist ("<base>/media/cameras/<id>/live/index.m3u8"), joins at the
// newest segment, fetches each later segment once, decodes it on its own serial queue and hands
// the frames out at their times while playing. The first frame is handed out as soon as it is
// decoded, playing or not, so that a player has a picture to show. While playing the playlist is
// read again every target duration; when the pictures run out it reports a stall, and when new
// ones arrive it catches up with the live edge.
//
// The bearer token of DKAccessTokenProvider goes only to the base URL, which must be https; a
// playlist can only name files in the stream's own folder. Every fetch has a deadline and a size
// bound, and anything broken ends the source with an error.
//
// Main thread only; callbacks arrive on the main thread and never after stop() or destruction.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/error.h"
#include "platform/graphics/image.h"

namespace dk::platform {

class LiveStreamSource : public std::enable_shared_from_this<LiveStreamSource> {
 public:
  struct Listener {
    std::function<void(const ImagePtr& image, double time)> frame;  // time: seconds since 1970
    std::function<void(bool stalled)> stalled;
    std::function<void(const ErrorPtr& error)> failed;  // the source has stopped
  };
  struct Limits {
    double playlistDeadline = 5;  // seconds from asking to having the whole body
    double segmentDeadline = 8;
    int64_t maxSegmentBytes = 4 << 20;
  };

  static std::shared_ptr<LiveStreamSource> create(int64_t cameraId, std::string baseURL, Listener listener,
                                                  Limits limits);
  static std::shared_ptr<LiveStreamSource> create(int64_t cameraId, std::string baseURL, Listener listener) {
    return create(cameraId, std::move(baseURL), std::move(listener), Limits{});
  }
  ~LiveStreamSource();
  LiveStreamSource(const LiveStreamSource&) = delete;
  LiveStreamSource& operator=(const LiveStreamSource&) = delete;

  // Joins the stream: fetches the playlist and the newest segment.
  void start();
  // Playing: frames advance and the playlist is followed. Not playing: nothing is fetched and the
  // picture on screen stays; playing again rejoins at the live edge.
  void setPlaying(bool playing);
  // Cancels everything; no callback follows.
  void stop();

  bool isPlaying() const;
  // Fetches sent so far (playlists and segments), for tests.
  int fetchCount() const;

  struct Impl;

 private:
  LiveStreamSource() = default;
  std::shared_ptr<Impl> impl_;
};

}  // namespace dk::platform
