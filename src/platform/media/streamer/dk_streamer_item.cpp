#include "platform/media/streamer/dk_streamer_item.h"

namespace dk::platform {

std::shared_ptr<DKStreamerItem> DKStreamerItem::itemWithCameraId(int64_t cameraId, int64_t recordingId) {
  auto item = std::make_shared<DKStreamerItem>();
  item->cameraId_ = cameraId;
  item->recordingId_ = recordingId;
  return item;
}

std::shared_ptr<DKStreamerItem> DKStreamerItem::itemWithCameraId(int64_t cameraId) {
  auto item = std::make_shared<DKStreamerItem>();
  item->cameraId_ = cameraId;
  item->live_ = true;
  return item;
}

}  // namespace dk::platform
