// The DST-free calendar is made once per process from the process's own time zone, so the only
// faithful check runs a fresh process with TZ set: this test program re-runs itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

#include "foundation/calendar_ignoring_dst.h"
#include "foundation/date_timeline_helper.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/time_zone.h"
#include "support/manual_clock.h"
#include "support/temp_directory.h"

extern char** environ;

namespace dk {
namespace {

constexpr const char* kChildFlag = "DK_DST_CHILD_RESULT";
constexpr double kJanuaryNoonUtc = 1705320000;  // 2024-01-15 12:00 UTC
constexpr double kJulyNoonUtc = 1721044800;    // 2024-07-15 12:00 UTC

// Runs only inside the child started below (TZ=Europe/Berlin, nothing else touched the calendar).
TEST(DstFreeCalendarChild, AWinterStartKeepsPlusOneHourInJuly) {
  const char* result = std::getenv(kChildFlag);
  if (!result) GTEST_SKIP() << "runs in the child process of DstFreeCalendarProcess";
  test::ManualClockScope clock(kJanuaryNoonUtc);
  ASSERT_EQ(platform::TimeZone::local().identifier(), "Europe/Berlin");
  auto calendar = calendarWithIgnoringDST();

  clock.clock().set(kJulyNoonUtc);
  EXPECT_EQ(platform::TimeZone::local().secondsFromGMT(kJulyNoonUtc), 7200);  // the wall clock moved on
  EXPECT_EQ(calendarWithIgnoringDST(), calendar);
  EXPECT_EQ(calendar->timeZone().secondsFromGMT(kJulyNoonUtc), 3600);
  EXPECT_EQ(midnight(kJulyNoonUtc), 1721001600 - 3600);  // 00:00 +01:00, an hour after wall-clock midnight
  EXPECT_EQ(daysBetweenDate(kJanuaryNoonUtc, kJulyNoonUtc), 182);
  if (!::testing::Test::HasFailure()) std::ofstream(result) << "passed";
}

TEST(DstFreeCalendarProcess, AWinterStartKeepsPlusOneHourInJuly) {
  if (std::getenv(kChildFlag)) GTEST_SKIP();
  test::TemporaryDirectory dir;
  const auto resultPath = dir.path() / "result";
  const auto outputPath = dir.path() / "output";
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "TZ=", 3) != 0) env.emplace_back(*e);
  env.push_back("TZ=Europe/Berlin");
  // Appended in place: gcc 12 warns of an out-of-bounds copy in the chained operator+ here when
  // this file compiles on its own (a false -Warray-bounds).
  std::string childFlag = kChildFlag;
  childFlag += '=';
  childFlag += resultPath.string();
  env.push_back(std::move(childFlag));
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string filter = "--gtest_filter=DstFreeCalendarChild.*";
  std::vector<char*> argv{const_cast<char*>(self.c_str()), filter.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);

  const std::string output = platform::readWholeFile(outputPath).value_or("");
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_EQ(platform::readWholeFile(resultPath), "passed") << output;
}

}  // namespace
}  // namespace dk
