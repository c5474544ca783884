#include "platform/foundation/app_directories.h"

#include <cstdlib>
#include <mutex>
#include <system_error>
#include <unistd.h>

namespace dk::platform {
namespace {

std::mutex& directoriesMutex() {
  static std::mutex mutex;
  return mutex;
}
std::filesystem::path& homeOverride() {
  static std::filesystem::path path;
  return path;
}
std::filesystem::path& documentsOverride() {
  static std::filesystem::path path;
  return path;
}

std::filesystem::path environmentHome() {
  if (const char* dk = std::getenv("DK_HOME"); dk && *dk) return dk;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return std::filesystem::path(xdg) / "DKChronoKit";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::filesystem::path(home) / ".local" / "share" / "DKChronoKit";
  return std::filesystem::temp_directory_path() / ("DKChronoKit-" + std::to_string(getuid()));
}

std::filesystem::path ensureFolder(std::filesystem::path path, std::filesystem::perms perms) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    std::filesystem::create_directories(path, ec);
    std::filesystem::permissions(path, perms, ec);
  }
  return path;
}

}  // namespace

std::filesystem::path AppDirectories::home() {
  std::lock_guard<std::mutex> lock(directoriesMutex());
  return homeOverride().empty() ? environmentHome() : homeOverride();
}

void AppDirectories::setHomeDirectory(std::filesystem::path path) {
  std::lock_guard<std::mutex> lock(directoriesMutex());
  homeOverride() = std::move(path);
}

std::filesystem::path AppDirectories::documents() {
  std::filesystem::path path;
  {
    std::lock_guard<std::mutex> lock(directoriesMutex());
    path = documentsOverride();
  }
  if (path.empty()) path = home() / "Documents";
  return ensureFolder(std::move(path), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                           std::filesystem::perms::group_exec);
}

void AppDirectories::setDocumentsDirectory(std::filesystem::path path) {
  std::lock_guard<std::mutex> lock(directoriesMutex());
  documentsOverride() = std::move(path);
}

std::filesystem::path AppDirectories::preferences() {
  return ensureFolder(home() / "Preferences", std::filesystem::perms::owner_all);
}

std::filesystem::path AppDirectories::caches() { return ensureFolder(home() / "Caches", std::filesystem::perms::owner_all); }

std::filesystem::path AppDirectories::keychains() {
  return ensureFolder(home() / "Keychains", std::filesystem::perms::owner_all);
}

}  // namespace dk::platform
