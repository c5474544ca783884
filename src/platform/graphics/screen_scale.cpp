#include "platform/graphics/screen_scale.h"

#include <atomic>

namespace dk::platform {
namespace {
std::atomic<double> gScale{2.0};
}

double mainScreenScale() { return gScale.load(std::memory_order_relaxed); }

void setMainScreenScale(double scale) {
  if (scale > 0) gScale.store(scale, std::memory_order_relaxed);
}

}  // namespace dk::platform
