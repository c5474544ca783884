// The catalogue of the project's images: each one a name, a size in points and a drawing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/graphics/context.h"

namespace dk::tools {

struct Icon {
  std::string name;
  platform::Size size;
  std::function<void(platform::GraphicsContext&)> draw;
};

std::vector<Icon> allIcons();

}  // namespace dk::tools
