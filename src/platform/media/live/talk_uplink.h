// TalkUplink: push-to-talk audio to a camera's speaker through the cloud. A generated tone stands
// in for the microphone: 16-bit mono PCM at 8 kHz, sent as base64 in JSON posts, a quarter of a
// second at a time on the run-loop clock. The first post opens the talk, and the cloud's answer
// decides whether it is streaming; stop() sends the end.
//
// The bearer token goes only to the base URL, which must be https; the posts (the user's voice)
// follow no redirect off the cloud's origin; every post has a deadline, and a finished post is let
// go with its audio, so a long talk holds no more than the posts in flight.
//
// Main thread only; callbacks arrive on the main thread and never after cancel() or destruction.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/error.h"

namespace dk::platform {

class TalkUplink {
 public:
  struct Listener {
    std::function<void()> started;                     // the cloud took the talk
    std::function<void(const ErrorPtr& error)> ended;  // nullptr: stopped as asked
  };
  static constexpr int kSampleRate = 8000;
  static constexpr double kToneHz = 440;
  static constexpr double kChunkSeconds = 0.25;
  static constexpr double kPostDeadline = 5;

  static std::shared_ptr<TalkUplink> create(int64_t cameraId, std::string baseURL, Listener listener);
  ~TalkUplink();
  TalkUplink(const TalkUplink&) = delete;
  TalkUplink& operator=(const TalkUplink&) = delete;

  void start();
  // Ends the talk; `ended` follows with nullptr once the cloud has it (or with the error).
  void stop();
  // Drops the talk without telling anyone.
  void cancel();
  // Posts (each with its deadline) held now, for tests: those still in flight.
  size_t heldCallCount() const;

  // `count` samples of the tone starting at sample `first`, as little-endian 16-bit PCM.
  static std::string toneSamples(uint64_t first, size_t count);

  struct Impl;

 private:
  TalkUplink() = default;
  std::shared_ptr<Impl> impl_;
};

}  // namespace dk::platform
