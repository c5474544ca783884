// PrivateTempFolder: where the process keeps its temporary files (downloads in flight, recordings
// the streamer reads): one folder of its own inside the app's caches, made with mkdtemp (mode
// 0700, an unpredictable name that starts with the process id), and files in it created only
// as new files, never through a link, mode 0600.
//
// The first use in a process also removes the folders that processes no longer running left
// behind (killed before they could clean up). Thread-safe; the folder lives as long as the process.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace dk::platform {

class PrivateTempFolder {
 public:
  // The process's folder inside `parent` (AppDirectories::caches() when empty), made on first use
  // for that parent; nullopt when it cannot be made.
  static std::optional<std::filesystem::path> forProcess(const std::filesystem::path& parent = {});
  // Removes the folders in `parent` named by this facility for a process that no longer runs;
  // links and other entries are left alone. Returns how many went.
  static size_t removeAbandoned(const std::filesystem::path& parent);
  // Creates `path` as a new file (not following a link), mode 0600, open for writing; returns the
  // descriptor or -1 (errno set).
  static int createFile(const std::filesystem::path& path);

  static constexpr const char* kPrefix = "tmp-";
};

}  // namespace dk::platform
