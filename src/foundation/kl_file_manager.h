// KLFileManager: the few file operations the framework performs in the app's documents folder
// (downloaded clips named after event identifiers).
//
// File names come from server identifiers, so a name is accepted only when it is one plain path
// component: empty names, "." and "..", and names holding "/" or NUL are refused and can neither
// read, write nor delete anything outside the folder. Stateless; safe from any thread (callers
// serialise writers of one file).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"

namespace dk {

class KLFileManager {
 public:
  // The documents folder with `fileName` appended; nullopt for a nil or refused name.
  static std::optional<std::filesystem::path> URLForFileName(const std::optional<std::string>& fileName);
  // Whether a file exists under that name; false for a nil or refused name.
  static bool fileWithNameExists(const std::optional<std::string>& fileName);
  // Writes `data` atomically under that name. nullptr on success and for a nil name (nothing is
  // written); the write error otherwise, and an invalid-file-name error for a refused name or no data.
  static platform::ErrorPtr saveDataToDisk(const platform::DataPtr& data, const std::optional<std::string>& fileName);
  // Removes the file when it exists: the removal error or nullptr; nullptr when there is nothing to
  // remove; an invalid-file-name error for a refused name.
  static platform::ErrorPtr deleteFileWithName(const std::optional<std::string>& fileName);

  // True when `fileName` is one plain path component (see above).
  static bool isSafeFileName(std::string_view fileName);
};

}  // namespace dk
