// Toasts: a short message in a rounded box shown over a view for a while, then faded out and
// removed (the toast library's makeToast:duration:position:style:).
//
// Main thread only.
#pragma once

#include <memory>
#include <string>

#include "platform/graphics/font.h"
#include "platform/graphics/geometry.h"
#include "platform/graphics/text_layout.h"
#include "platform/ui/view.h"

namespace dk::platform {

struct ToastStyle {
  Color backgroundColor{0, 0, 0, 0.8};
  Color messageColor{1, 1, 1, 1};
  Font messageFont;
  TextAlignment messageAlignment = TextAlignment::Left;
  double cornerRadius = 10;
  double maxWidthPercentage = 0.8;
  double maxHeightPercentage = 0.8;
  double horizontalPadding = 10;
  double verticalPadding = 10;
};

enum class ToastPosition { Top, Center, Bottom };

// The accessibility identifier of every toast view, for finding them.
inline constexpr const char* kToastIdentifier = "toast";

// Shows `message` over `view` for `duration` seconds; answers the toast's view.
std::shared_ptr<View> makeToast(View& view, const std::string& message, double duration, ToastPosition position,
                                const ToastStyle& style);

}  // namespace dk::platform
