// make-images <output folder>: draws every image of the project as "<name>@2x.png" into the
// folder (created when missing). Run by the build; exits non-zero when any image cannot be written.
#include <cstdio>
#include <filesystem>
#include <string>

#include "icons.h"
#include "platform/graphics/image_renderer.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-images <output folder>\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "make-images: cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
    return 1;
  }
  int failures = 0;
  for (const auto& icon : dk::tools::allIcons()) {
    const auto image = dk::platform::ImageRenderer::render(icon.size, 2.0, false, icon.draw);
    const std::string path = (folder / (icon.name + "@2x.png")).string();
    std::string error;
    if (!image || !image->writePNG(path, &error)) {
      std::fprintf(stderr, "make-images: %s: %s\n", icon.name.c_str(), error.c_str());
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
