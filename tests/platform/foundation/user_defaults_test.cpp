#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/foundation/file_io.h"
#include "platform/foundation/user_defaults.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

class UserDefaultsTest : public ::testing::Test {
 protected:
  test::TemporaryHome home_;
};

TEST_F(UserDefaultsTest, ValuesSurviveAReloadFromDisk) {
  auto defaults = UserDefaults::standard();
  EXPECT_TRUE(defaults->setObject(Value(ValueDictionary{{"timelineOption", Value(2)}}), "timelineSettings"));
  EXPECT_TRUE(defaults->setObject(Value("42"), "USERID"));
  EXPECT_TRUE(defaults->setObject(Value("Downloaded"), "Event-abc.mp4"));
  EXPECT_TRUE(defaults->setBool(true, "flag"));
  EXPECT_TRUE(defaults->setDouble(1.5, "ratio"));

  UserDefaults::resetForTesting();
  auto reloaded = UserDefaults::standard();
  ASSERT_NE(reloaded, defaults);
  auto settings = reloaded->dictionaryForKey("timelineSettings");
  ASSERT_TRUE(settings.has_value());
  EXPECT_EQ(settings->at("timelineOption").integerValue(), 2);
  EXPECT_EQ(reloaded->stringForKey("USERID"), "42");
  EXPECT_EQ(reloaded->stringForKey("Event-abc.mp4"), "Downloaded");
  EXPECT_TRUE(reloaded->boolForKey("flag"));
  EXPECT_DOUBLE_EQ(reloaded->doubleForKey("ratio"), 1.5);
}

TEST_F(UserDefaultsTest, MissingKeysAnswerNothingAndNilRemoves) {
  auto defaults = UserDefaults::standard();
  EXPECT_TRUE(defaults->objectForKey("absent").isNil());
  EXPECT_EQ(defaults->stringForKey("absent"), std::nullopt);
  EXPECT_EQ(defaults->integerForKey("absent"), 0);
  EXPECT_FALSE(defaults->dictionaryForKey("absent").has_value());

  defaults->setInteger(7, "count");
  EXPECT_EQ(defaults->stringForKey("count"), "7");  // numbers read as strings, as the platform does
  EXPECT_FALSE(defaults->arrayForKey("count").has_value());
  defaults->setObject(Value(), "count");
  UserDefaults::resetForTesting();
  EXPECT_TRUE(UserDefaults::standard()->objectForKey("count").isNil());
}

TEST_F(UserDefaultsTest, SuitesAreSeparateFilesSharedByName) {
  auto standard = UserDefaults::standard();
  auto group = UserDefaults::suite("group.com.example.shared");
  EXPECT_EQ(group, UserDefaults::suite("group.com.example.shared"));
  EXPECT_EQ(UserDefaults::suite(""), standard);  // no app group: the standard settings
  EXPECT_NE(group->path(), standard->path());

  group->setObject(Value(ValueDictionary{{"timelineOption", Value(1)}}), "timelineSettings");
  EXPECT_TRUE(standard->objectForKey("timelineSettings").isNil());
  UserDefaults::resetForTesting();
  EXPECT_EQ(UserDefaults::suite("group.com.example.shared")->dictionaryForKey("timelineSettings")->at("timelineOption").integerValue(), 1);
}

TEST_F(UserDefaultsTest, SuiteNamesCannotEscapeThePreferencesFolder) {
  auto sneaky = UserDefaults::suite("../../etc/passwd");
  EXPECT_EQ(sneaky->path().parent_path(), UserDefaults::standard()->path().parent_path());
  EXPECT_TRUE(sneaky->setBool(true, "x"));
}

TEST_F(UserDefaultsTest, ModelObjectsAreRefusedAndNothingIsStored) {
  struct Thing : Object {};
  auto defaults = UserDefaults::standard();
  EXPECT_FALSE(defaults->setObject(Value(std::make_shared<Thing>()), "thing"));
  EXPECT_FALSE(defaults->setObject(Value(ValueArray{Value(1), Value(std::make_shared<Thing>())}), "things"));
  EXPECT_TRUE(defaults->objectForKey("thing").isNil());
  EXPECT_TRUE(defaults->objectForKey("things").isNil());
}

TEST_F(UserDefaultsTest, FileIsPrivateAndReplacedWithoutLeftovers) {
  auto defaults = UserDefaults::standard();
  for (int i = 0; i < 5; ++i) defaults->setInteger(i, "k" + std::to_string(i));
  struct stat info {};
  ASSERT_EQ(::stat(defaults->path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  int files = 0;
  for (auto& entry : std::filesystem::directory_iterator(defaults->path().parent_path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1);  // no temporary files left behind
}

TEST_F(UserDefaultsTest, DamagedFileIsKeptAsideAndTheSuiteStartsEmpty) {
  auto path = UserDefaults::standard()->path();
  UserDefaults::resetForTesting();
  ASSERT_TRUE(writeFileAtomically(path, "{\"timelineSettings\": {", 0600));

  auto defaults = UserDefaults::standard();
  EXPECT_TRUE(defaults->objectForKey("timelineSettings").isNil());
  auto kept = path;
  kept += ".corrupt-1";
  EXPECT_EQ(readWholeFile(kept), "{\"timelineSettings\": {");
  EXPECT_TRUE(defaults->setBool(true, "fresh"));
  UserDefaults::resetForTesting();
  EXPECT_TRUE(UserDefaults::standard()->boolForKey("fresh"));
}

TEST_F(UserDefaultsTest, ConcurrentWritersLoseNothing) {
  auto defaults = UserDefaults::standard();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([defaults, t] {
      for (int i = 0; i < 25; ++i) defaults->setInteger(i, "t" + std::to_string(t) + "-" + std::to_string(i));
    });
  for (auto& thread : threads) thread.join();
  UserDefaults::resetForTesting();
  auto reloaded = UserDefaults::standard()->dictionaryRepresentation();
  EXPECT_EQ(reloaded.size(), 100u);
  EXPECT_EQ(reloaded.at("t3-24").integerValue(), 24);
}

}  // namespace
}  // namespace dk::platform
