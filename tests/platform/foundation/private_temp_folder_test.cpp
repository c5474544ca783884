#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/foundation/private_temp_folder.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

namespace fs = std::filesystem;

// A process id nobody uses now.
pid_t deadPid() {
  for (pid_t pid = 4000000; pid > 1000; pid -= 7919) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return pid;
  }
  return 0;
}

void touch(const fs::path& file) { std::ofstream(file) << "x"; }

TEST(PrivateTempFolder, IsMadeOncePerProcessOwnerOnlyAndClearsWhatDeadProcessesLeft) {
  test::TemporaryDirectory caches;
  const pid_t dead = deadPid();
  ASSERT_NE(dead, 0);
  const fs::path abandoned = caches.path() / ("tmp-" + std::to_string(dead) + "-a1b2c3");
  fs::create_directory(abandoned);
  touch(abandoned / "dk-7-1.download");
  // Things that only look like leftovers stay: a link (not followed), a live process's folder, and
  // names this facility does not make.
  test::TemporaryDirectory elsewhere;
  touch(elsewhere.path() / "precious");
  const fs::path planted = caches.path() / ("tmp-" + std::to_string(dead) + "-zzzzzz");
  fs::create_directory_symlink(elsewhere.path(), planted);
  const fs::path live = caches.path() / ("tmp-" + std::to_string(::getppid()) + "-q9w8e7");
  fs::create_directory(live);
  const fs::path other = caches.path() / "thumbnails";
  fs::create_directory(other);

  const auto folder = PrivateTempFolder::forProcess(caches.path());
  ASSERT_TRUE(folder);
  EXPECT_EQ(PrivateTempFolder::forProcess(caches.path()), folder) << "one folder for the process";
  EXPECT_EQ(folder->parent_path(), caches.path());
  EXPECT_EQ(folder->filename().string().rfind("tmp-" + std::to_string(::getpid()) + "-", 0), 0u);
  struct stat st {};
  ASSERT_EQ(::lstat(folder->c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  EXPECT_FALSE(fs::exists(abandoned));
  EXPECT_TRUE(fs::is_symlink(planted));
  EXPECT_TRUE(fs::exists(elsewhere.path() / "precious"));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(fs::exists(other));
}

TEST(PrivateTempFolder, FilesAreNewOwnerOnlyAndNeverWrittenThroughALink) {
  test::TemporaryDirectory dir;
  test::TemporaryDirectory elsewhere;
  const fs::path target = elsewhere.path() / "victim";
  touch(target);

  const fs::path file = dir.path() / "dk-1-1.download";
  const int fd = PrivateTempFolder::createFile(file);
  ASSERT_GE(fd, 0);
  ::close(fd);
  struct stat st {};
  ASSERT_EQ(::lstat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_LT(PrivateTempFolder::createFile(file), 0) << "an existing file is not opened again";

  const fs::path link = dir.path() / "dk-2-1.download";
  fs::create_symlink(target, link);
  EXPECT_LT(PrivateTempFolder::createFile(link), 0);
  EXPECT_EQ(fs::file_size(target), 1u) << "the link's target is untouched";
}

}  // namespace
}  // namespace dk::platform
