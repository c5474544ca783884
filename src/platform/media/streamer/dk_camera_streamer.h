// DKCameraStreamer: plays one DKStreamerItem into a layer (each decoded frame becomes the
// layer's contents), at a rate on the run-loop clock, with seeking, frame steps and snapshots.
//
// A recording item is read piecewise with HTTP range requests (RecordingSource) from the server
// of the StreamerEnvironment, with the bearer token of DKAccessTokenProvider (sent only to that
// server over https): playing starts once the container's index and the first frames are in, a
// seek reads only the part it lands in, and a new item ends the old one's transfers at once.
// Demuxing and decoding run with FFmpeg on the streamer's own serial queue (which also waits for
// the bytes); everything else happens on the main thread. A live item plays from a
// LiveStreamSource (the camera's live playlist on the same server): it is ready with its first
// picture, cannot seek, its time is the camera's clock, and pausing stops its stream; one that
// shows nothing new for a while, or sends a segment past its bounds, fails (status 2). Audio
// streaming is push-to-talk to the current item's camera (TalkUplink); a recording's own sound
// plays at 1x, and a live view's with its pictures, unless muted, through the environment's
// audio output (StreamerSound). States:
//   status            0 preparing, 1 ready (also while idle, without an item), 2 failed;
//   playbackState     0 paused, 1 buffering, 2 playing, 3 ended;
//   audioStreamingState 0 stopped, 1 opening (the cloud has not taken the talk yet), 2 streaming.
// Every change is reported to the delegate (held weakly) by a task posted on the main queue
// that names the streamer; tasks of a streamer that has been destroyed do not run.
// An open recording (the server says "X-Recording-Open: true") is asked for its size when
// playback reaches its end (or a seek goes past it), every few seconds while it has not grown:
// the streamer buffers meanwhile, and once it has grown reads the new take by ranges (keeping
// what it holds of the earlier take when the new one only appended to it) and the item's
// duration grows. A seek back, a step or a pause ends the wait at once; a reply saying the
// recording is closed ends playback there (ended), as for any closed recording. A recording
// that stops arriving, fails to answer or shrinks fails the item (status 2). A prepared item
// shows its first frame unless a seek came in answer to "ready". Frames that do not decode
// cleanly are passed over with the last good picture left on screen (a snapshot then gives that
// picture, never a damaged one); the item fails only when it has shown no good picture yet, or
// none for a few seconds of its own time. A recording cut short ends at its last whole frame.
// A failing item stops playing first (paused, reported before the failure).
//
// Main thread only. Owned by its creator through shared_ptr (create with initWithLayer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/object.h"
#include "platform/graphics/image.h"
#include "platform/media/recordings/recording_source.h"
#include "platform/media/sound/audio_output.h"
#include "platform/media/streamer/dk_streamer_item.h"

namespace dk::platform {

class Layer;
class DKCameraStreamer;

enum : uint64_t {
  DKCameraStreamerStatusPreparing = 0,
  DKCameraStreamerStatusReadyToPlay = 1,
  DKCameraStreamerStatusFailed = 2,
};
enum : uint64_t {
  DKPlaybackStatePaused = 0,
  DKPlaybackStateBuffering = 1,
  DKPlaybackStatePlaying = 2,
  DKPlaybackStateEnded = 3,
};
enum : uint64_t {
  DKAudioStreamingStateStopped = 0,
  DKAudioStreamingStateStreaming = 2,
};

// The streamer's callbacks; all optional (answer respondsToSelector for the ones implemented:
// "cameraStreamer:onStatusChanged:", "cameraStreamer:onPlaybackStateChanged:",
// "cameraStreamer:onAudioStreamingStateChanged:", "cameraStreamer:onSnapshotTaken:atTime:",
// "cameraStreamer:onCurrentItemDurationChanged:").
class DKCameraStreamerDelegete : public virtual Protocol {
 public:
  virtual void cameraStreamerOnStatusChanged(const std::shared_ptr<DKCameraStreamer>& streamer, uint64_t status) {}
  virtual void cameraStreamerOnPlaybackStateChanged(const std::shared_ptr<DKCameraStreamer>& streamer,
                                                    uint64_t state) {}
  virtual void cameraStreamerOnAudioStreamingStateChanged(const std::shared_ptr<DKCameraStreamer>& streamer,
                                                          uint64_t state) {}
  virtual void cameraStreamerOnSnapshotTaken(const std::shared_ptr<DKCameraStreamer>& streamer,
                                             const ImagePtr& image, double time) {}
  virtual void cameraStreamerOnCurrentItemDurationChanged(const std::shared_ptr<DKCameraStreamer>& streamer,
                                                          double duration) {}
};

// Where the streamer finds recordings, and test hooks. Process-wide; thread-safe.
struct StreamerEnvironment {
  // "https://host:port"; a recording is "<baseURL>/media/cameras/<camera>/recordings/<id>.mp4".
  std::string baseURL;
  // Chunk size, disk held per item, and how long a transfer may stall or last.
  RecordingSource::Limits limits;
  // Where a recording's sound is played; asked once per streamer, when it first has a recording
  // (empty: makeDefaultAudioOutput, a null output: no sound).
  std::function<AudioOutputPtr()> audioOutput;

  static void install(StreamerEnvironment environment);
  static StreamerEnvironment current();
  // Scripted failures: the next `count` item preparations (or audio starts) fail with `error`.
  static void failNextPreparations(int count, ErrorPtr error);
  static void failNextAudioStarts(int count, ErrorPtr error);
  static void clearScriptedFailures();
};

class DKCameraStreamer : public std::enable_shared_from_this<DKCameraStreamer> {
 public:
  static std::shared_ptr<DKCameraStreamer> initWithLayer(std::shared_ptr<Layer> layer);
  ~DKCameraStreamer();
  DKCameraStreamer(const DKCameraStreamer&) = delete;
  DKCameraStreamer& operator=(const DKCameraStreamer&) = delete;

  void setDelegate(std::weak_ptr<DKCameraStreamerDelegete> delegate);
  std::shared_ptr<DKCameraStreamerDelegete> delegate() const;
  const std::shared_ptr<Layer>& layer() const;

  uint64_t status() const;
  uint64_t playbackState() const;
  uint64_t audioStreamingState() const;
  ErrorPtr failureReason() const;
  ErrorPtr audioNotStreamingReason() const;

  const DKStreamerItemPtr& currentItem() const;
  // nullptr clears playback (back to idle: ready, paused); a new item is prepared (status 0,
  // later 1 or 2); the item already current does nothing.
  void setCurrentItem(DKStreamerItemPtr item);

  // Seconds into the current item.
  double currentTime() const;
  float rate() const;
  // 0 pauses; above 0 plays at that speed (not finite or negative counts as 0). Playing is
  // reported once a picture of the item is on screen: until the first one is, it buffers and its
  // time stands still.
  void setRate(float rate);
  bool isAudioMuted() const;
  void setMuteAudio(bool muted);
  // Negative times seek to 0; times at or past the end end playback; seeking back from the end
  // resumes (playing when the rate is above 0, else paused).
  void seekTo(double seconds);
  // Shows the previous (-1) or next (+1) frame and stays there when paused.
  void stepBy(int64_t frames);
  // Reports the frame on screen through cameraStreamer:onSnapshotTaken:atTime:.
  void takeSnapshot();
  void startAudioStreaming();
  void stopAudioStreaming();

  // The frame on screen (also the layer's contents), nullptr before the first one, and its time
  // in the item (-1 before the first one).
  ImagePtr currentFrame() const;
  double currentFrameTime() const;
  // Waits until the sound due so far has reached the audio output; why the current recording
  // plays no sound ("" while it may).
  void finishSoundWrites();
  std::string soundSilenceReason() const;
  // Calls made on this streamer, in order ("setCurrentItem:7/5001", "setRate:2", "seekTo:12.5",
  // "stepBy:-1", "takeSnapshot", "setMuteAudio:1", ...), for tests.
  const std::vector<std::string>& callLog() const;

  struct State;

 private:
  explicit DKCameraStreamer(std::shared_ptr<Layer> layer);
  std::shared_ptr<State> state_;
};

using DKCameraStreamerPtr = std::shared_ptr<DKCameraStreamer>;

}  // namespace dk::platform
