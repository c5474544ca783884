// Compares a picture drawn by a test with the project's stored picture of it
// (tests/data/<folder>/<name>.png).
//
// The rule (storedPictureMismatch):
//   - a pixel differs when any channel is more than 24 apart (anti-aliasing and font hinting
//     move edges a little between machines);
//   - at most 1 pixel in 1000 differs, and the mean channel difference is at most 1.5;
//   - no differing pixel has eight differing neighbours: edges that moved leave thin lines of
//     differences, while a mark that grew, moved or changed colour leaves a solid area, which
//     fails however small (a dot that became a bar).
// On a mismatch the picture drawn now is written to the working directory (the build tree) for a
// look; DK_UPDATE_PICTURES=1 rewrites the stored one instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/graphics/image.h"
#include "platform/graphics/image_compare.h"

namespace dk::test {

// Why `actual` does not pass for `expected`; empty when it does.
inline std::string storedPictureMismatch(const platform::Image& actual, const platform::Image& expected) {
  const auto difference = platform::compareImages(actual, expected, 24);
  const auto pixels = static_cast<size_t>(actual.pixelWidth()) * static_cast<size_t>(actual.pixelHeight());
  const bool close = difference.sameSize && difference.meanAbsolute <= 1.5 &&
                     difference.differingPixels * 1000 <= pixels && difference.solidlyDifferingPixels == 0;
  return close ? std::string() : difference.describe();
}

inline void expectLooksAsStored(const platform::ImagePtr& actual, const std::string& folder, const std::string& name) {
  ASSERT_TRUE(actual);
  // CTest points DK_TEST_DATA at tests/data; run by hand, the test finds it where it was built from.
  const char* dataDir = std::getenv("DK_TEST_DATA");
  if (!dataDir) dataDir = DK_TEST_DATA_DIR;
  const std::string stored = std::string(dataDir) + "/" + folder + "/" + name + ".png";
  if (std::getenv("DK_UPDATE_PICTURES")) {
    std::filesystem::create_directories(std::filesystem::path(stored).parent_path());
    ASSERT_TRUE(actual->writePNG(stored));
    return;
  }
  std::string error;
  auto expected = platform::Image::fromFile(stored, actual->scale(), &error);
  ASSERT_TRUE(expected) << error;
  const std::string mismatch = storedPictureMismatch(*actual, *expected);
  if (!mismatch.empty()) {
    const auto written = std::filesystem::current_path() / (name + ".actual.png");
    actual->writePNG(written.string());
    ADD_FAILURE() << name << ": " << mismatch << "; the picture drawn now is " << written;
  }
}

}  // namespace dk::test
