// DataHandler: the host's look-and-feel choices that are not colours — the font code, the photo
// album name and the app-group name. The facade writes them before the timeline is shown;
// screens, fonts and album saving read them when they draw or save.
//
// Process-wide values behind class functions; no instances. Thread-safe (each value is read and
// written under one lock).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dk {

class DataHandler {
 public:
  DataHandler() = delete;

  // Non-zero selects "Roboto", zero "Poppins". Initially 0.
  static void setData(int64_t customFont);
  static int64_t getDataForCustomFont();
  // Initially nil.
  static void setAlbumName(std::optional<std::string> name);
  static std::optional<std::string> getAlbumName();
  // Initially nil.
  static void setAppGroupName(std::optional<std::string> name);
  static std::optional<std::string> getAppGroupName();

  // Back to the initial values. For tests: the framework never clears the store.
  static void resetForTesting();
};

}  // namespace dk
