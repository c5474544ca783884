// Sets the main screen's scale for one test and puts the previous one back.
#pragma once

#include "platform/graphics/screen_scale.h"

namespace dk::test {

class ScreenScaleScope {
 public:
  explicit ScreenScaleScope(double scale) : saved_(platform::mainScreenScale()) { platform::setMainScreenScale(scale); }
  ~ScreenScaleScope() { platform::setMainScreenScale(saved_); }
  ScreenScaleScope(const ScreenScaleScope&) = delete;
  ScreenScaleScope& operator=(const ScreenScaleScope&) = delete;

 private:
  double saved_;
};

}  // namespace dk::test
