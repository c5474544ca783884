// A fresh temporary folder for one test, removed with everything in it afterwards; and a scope
// that makes it the application's home (documents, user defaults, secure store files).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/foundation/app_directories.h"
#include "platform/foundation/user_defaults.h"

namespace dk::test {

class TemporaryDirectory {
 public:
  TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dk-test-XXXXXX").string();
    if (char* made = ::mkdtemp(pattern.data())) path_ = made;
  }
  ~TemporaryDirectory() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Points AppDirectories at a temporary home for the scope and forgets shared user defaults on
// both ends, so no test reads another's settings.
class TemporaryHome {
 public:
  TemporaryHome() {
    platform::AppDirectories::setHomeDirectory(dir_.path());
    platform::UserDefaults::resetForTesting();
  }
  ~TemporaryHome() {
    platform::UserDefaults::resetForTesting();
    platform::AppDirectories::setHomeDirectory({});
  }
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  TemporaryDirectory dir_;
};

}  // namespace dk::test
