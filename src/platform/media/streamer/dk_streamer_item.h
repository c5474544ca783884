// DKStreamerItem: what a camera streamer plays: one stored recording of a camera, or the
// camera's live stream. Identity is the object: handing the same item again does nothing.
// Its duration and capabilities are filled in by the streamer once the item is prepared.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <memory>

namespace dk::platform {

enum : uint64_t { DKStreamerItemCapabilitySeek = 1 };

class DKStreamerItem {
 public:
  static std::shared_ptr<DKStreamerItem> itemWithCameraId(int64_t cameraId, int64_t recordingId);
  static std::shared_ptr<DKStreamerItem> itemWithCameraId(int64_t cameraId);  // live

  int64_t cameraId() const { return cameraId_; }
  int64_t recordingId() const { return recordingId_; }  // 0 for a live item
  bool isLive() const { return live_; }
  // Seconds; 0 until prepared, growing while an open recording is being recorded.
  double duration() const { return duration_; }
  uint64_t capabilitiesMask() const { return capabilitiesMask_; }

  // Set by the streamer.
  void setDuration(double seconds) { duration_ = seconds; }
  void setCapabilitiesMask(uint64_t mask) { capabilitiesMask_ = mask; }

 private:
  int64_t cameraId_ = 0;
  int64_t recordingId_ = 0;
  bool live_ = false;
  double duration_ = 0;
  uint64_t capabilitiesMask_ = 0;
};

using DKStreamerItemPtr = std::shared_ptr<DKStreamerItem>;

}  // namespace dk::platform
