// Draws a camera's time strip as the timeline shows it, at the three zoom levels, into PNG files:
// the visible window at the newest recording and one a day earlier, with the thumbnails fetched
// from the cloud. Main thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace dk {
class KLDataManager;
}

struct TimeStripPicture {
  std::filesystem::path file;
  std::string description;
};

std::vector<TimeStripPicture> writeTimeStripPictures(const std::shared_ptr<dk::KLDataManager>& data, int64_t cameraId,
                                                     const std::filesystem::path& directory);
