#include "platform/foundation/private_temp_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>

#include "platform/foundation/app_directories.h"

namespace dk::platform {

namespace {

// "tmp-<pid>-XXXXXX": the pid of the owner, or nullopt for a name this facility did not make.
std::optional<pid_t> ownerOf(std::string_view name) {
  const std::string_view prefix = PrivateTempFolder::kPrefix;
  if (name.substr(0, prefix.size()) != prefix) return std::nullopt;
  name.remove_prefix(prefix.size());
  const auto dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 9 || name.size() - dash - 1 != 6) return std::nullopt;
  pid_t pid = 0;
  for (char c : name.substr(0, dash)) {
    if (c < '0' || c > '9') return std::nullopt;
    pid = pid * 10 + (c - '0');
  }
  return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

bool isRunning(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

std::optional<std::filesystem::path> PrivateTempFolder::forProcess(const std::filesystem::path& given) {
  static std::mutex mutex;
  static std::map<std::filesystem::path, std::filesystem::path> made;
  const std::filesystem::path parent = given.empty() ? AppDirectories::caches() : given;
  std::lock_guard<std::mutex> lock(mutex);
  if (auto it = made.find(parent); it != made.end()) {
    // Still ours? (a test may have removed its home meanwhile)
    struct stat st {};
    if (::lstat(it->second.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid()) return it->second;
    made.erase(it);
  }
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  removeAbandoned(parent);
  std::string pattern = (parent / (std::string(kPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) return std::nullopt;
  made[parent] = pattern;
  return std::filesystem::path(pattern);
}

size_t PrivateTempFolder::removeAbandoned(const std::filesystem::path& parent) {
  size_t removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(parent, ec)) {
    const auto owner = ownerOf(entry.path().filename().string());
    if (!owner || *owner == ::getpid() || isRunning(*owner)) continue;
    // symlink_status: a link planted under such a name is not a folder of ours, and is not followed.
    std::error_code statError;
    if (!std::filesystem::is_directory(entry.symlink_status(statError))) continue;
    std::error_code removeError;
    if (std::filesystem::remove_all(entry.path(), removeError) > 0) ++removed;
  }
  return removed;
}

int PrivateTempFolder::createFile(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace dk::platform
