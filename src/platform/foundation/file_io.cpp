#include "platform/foundation/file_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace dk::platform {
namespace {

void setError(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
}

}  // namespace

std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
  // POSIX calls rather than a stream: a stream "reads" a directory as empty text.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string contents;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    contents.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return contents;
}

bool writeFileAtomically(const std::filesystem::path& path, std::string_view data, mode_t mode, bool durable,
                         std::string* error) {
  std::error_code ec;
  const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::filesystem::create_directories(folder, ec);
  std::string temp = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    setError(error, "cannot create a temporary file beside " + path.string());
    return false;
  }
  bool ok = ::fchmod(fd, mode) == 0;
  if (!ok) setError(error, "cannot set the mode of " + temp);
  for (size_t written = 0; ok && written < data.size();) {
    ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      setError(error, "cannot write " + temp);
      ok = false;
      break;
    }
    written += static_cast<size_t>(n);
  }
  if (ok && durable && ::fsync(fd) != 0) {
    setError(error, "cannot flush " + temp);
    ok = false;
  }
  ::close(fd);
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    setError(error, "cannot replace " + path.string());
    ok = false;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  if (!durable) return true;
  // Make the rename itself durable.
  int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::filesystem::path quarantineFile(const std::filesystem::path& path) {
  for (int n = 1; n < 1000; ++n) {
    std::filesystem::path target = path;
    target += ".corrupt-" + std::to_string(n);
    std::error_code ec;
    if (std::filesystem::exists(target, ec)) continue;
    std::filesystem::rename(path, target, ec);
    return ec ? std::filesystem::path() : target;
  }
  return {};
}

}  // namespace dk::platform
