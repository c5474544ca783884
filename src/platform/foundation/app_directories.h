// AppDirectories: where the process keeps its files (the application's sandbox folders).
//
// One home folder holds Documents/ (downloaded clips), Preferences/ (user defaults),
// Keychains/ (the secure store) and Caches/ (temporary downloads). The home is $DK_HOME when set, else $XDG_DATA_HOME/DKChronoKit,
// else ~/.local/share/DKChronoKit. Tests point it at a temporary folder with setHomeDirectory.
// Thread-safe: readers get a copy of the current path.
#pragma once

#include <filesystem>
#include <string>

namespace dk::platform {

class AppDirectories {
 public:
  static std::filesystem::path home();
  // Overrides the home folder; an empty path returns to the environment's choice.
  static void setHomeDirectory(std::filesystem::path path);

  // The documents folder (NSDocumentDirectory). Created on first use.
  static std::filesystem::path documents();
  // Overrides the documents folder alone; empty returns to home()/Documents.
  static void setDocumentsDirectory(std::filesystem::path path);

  // Where user defaults suites live (home()/Preferences), created on first use.
  static std::filesystem::path preferences();
  // The caches folder (home()/Caches, mode 0700), created on first use; temporary files live in
  // private folders inside it (PrivateTempFolder).
  static std::filesystem::path caches();
  // Where the file-backed secure store lives (home()/Keychains, mode 0700), created on first use.
  static std::filesystem::path keychains();
};

}  // namespace dk::platform
