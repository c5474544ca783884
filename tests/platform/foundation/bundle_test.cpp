#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/foundation/file_io.h"
#include "platform/foundation/locale.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

// A resource folder of its own, with English and German tables for the main bundle.
class BundleTest : public ::testing::Test {
 protected:
  BundleTest() {
    const auto tables = dir_.path() / "localization" / "main";
    writeFileAtomically(tables / "en.json", R"({"Today": "Today", "Hour": "%@ hour", "Count": 3})");
    writeFileAtomically(tables / "de.json", R"({"Today": "Heute"})");
    writeFileAtomically(tables / "en.Errors.json", R"({"Today": "from the Errors table"})");
    writeFileAtomically(dir_.path() / "main" / "kelo_cam.cer", "certificate");
    Bundle::setResourceRoot(dir_.path());
    Locale::setPreferredLanguages(std::vector<std::string>{"en-US"});
  }
  ~BundleTest() override {
    Bundle::setResourceRoot({});
    Locale::setPreferredLanguages(std::nullopt);
  }
  test::TemporaryDirectory dir_;
};

TEST_F(BundleTest, MissingKeysGiveTheCallersDefault) {
  auto bundle = Bundle::main();
  EXPECT_EQ(bundle->localizedString("Today", "", ""), "Today");
  EXPECT_EQ(bundle->localizedString("NoSuchKey", "", ""), "");
  EXPECT_EQ(bundle->localizedString("NoSuchKey", "fallback", ""), "fallback");
  EXPECT_EQ(bundle->localizedString("Count", "not a text", ""), "not a text");  // non-text entries are ignored
  EXPECT_EQ(bundle->localizedString("Today", "", "Errors"), "from the Errors table");
  EXPECT_EQ(bundle->localizedString("Today", "none", "NoSuchTable"), "none");
}

TEST_F(BundleTest, TheFirstPreferredLanguageWithATableWins) {
  auto bundle = Bundle::main();
  Locale::setPreferredLanguages(std::vector<std::string>{"de-AT", "en"});
  EXPECT_EQ(bundle->localizationLanguage(), "de");
  EXPECT_EQ(bundle->localizedString("Today"), "Heute");
  // The German table has no "Hour": the default, not the English text (the platform's rule).
  EXPECT_EQ(bundle->localizedString("Hour", "", ""), "");

  Locale::setPreferredLanguages(std::vector<std::string>{"fr-FR", "ja"});
  EXPECT_EQ(bundle->localizationLanguage(), "en");  // none of them: the development language
  EXPECT_EQ(bundle->localizedString("Today"), "Today");
}

TEST_F(BundleTest, BundlesAreSeparateAndFindTheirResources) {
  auto framework = Bundle::withIdentifier("com.devicekeeper.DKChronoKit");
  EXPECT_EQ(framework, Bundle::withIdentifier("com.devicekeeper.DKChronoKit"));
  EXPECT_EQ(framework->bundleIdentifier(), "com.devicekeeper.DKChronoKit");
  EXPECT_EQ(framework->localizedString("Today", "", ""), "");  // that bundle has no tables here
  EXPECT_TRUE(Bundle::main()->pathForResource("kelo_cam", "cer").has_value());
  EXPECT_FALSE(framework->pathForResource("kelo_cam", "cer").has_value());
}

TEST_F(BundleTest, ADamagedTableFindsNothing) {
  writeFileAtomically(dir_.path() / "localization" / "main" / "en.json", "{ broken");
  Bundle::main()->clearCache();
  EXPECT_EQ(Bundle::main()->localizedString("Today", "default"), "default");
}

TEST(ProjectResources, BothBundlesShipEnglishTables) {
  Locale::setPreferredLanguages(std::vector<std::string>{"en"});
  EXPECT_EQ(Bundle::withIdentifier("com.devicekeeper.DKChronoKit")->localizedString("Today", "", ""), "Today");
  EXPECT_EQ(Bundle::withIdentifier("com.devicekeeper.DKChronoKit")->localizedString("Yesterday", "", ""), "Yesterday");
  EXPECT_FALSE(Bundle::main()->localizedString("AnErrorOccuredPleaseTryAgain", "", "").empty());
  Locale::setPreferredLanguages(std::nullopt);
}

TEST(Locale, CurrentAndPreferredLanguagesCanBeSet) {
  Locale::setCurrent("de_DE");
  EXPECT_EQ(Locale::current().identifier(), "de_DE");
  EXPECT_EQ(Locale::current().languageCode(), "de");
  EXPECT_EQ(Locale::current(), Locale("de_DE"));
  EXPECT_FALSE(Locale::current() == Locale("en_US"));
  Locale::setCurrent(std::nullopt);
  EXPECT_EQ(Locale("C").identifier(), "en_US_POSIX");

  Locale::setPreferredLanguages(std::vector<std::string>{"fr-CA", "en"});
  EXPECT_EQ(Locale::preferredLanguages().front(), "fr-CA");
  Locale::setPreferredLanguages(std::nullopt);
  EXPECT_FALSE(Locale::preferredLanguages().empty());
}

TEST(Locale, LocalizedComparisonIgnoresCaseButNotLetters) {
  const Locale en("en_US");
  EXPECT_EQ(localizedCaseInsensitiveCompare("garage", "Garage", en), kOrderedSame);
  EXPECT_EQ(localizedCaseInsensitiveCompare("apple", "Banana", en), kOrderedAscending);
  EXPECT_EQ(localizedCaseInsensitiveCompare("Zoo", "apple", en), kOrderedDescending);
  EXPECT_EQ(localizedCaseInsensitiveCompare("Äpfel", "Birne", Locale("de_DE")), kOrderedAscending);  // not byte order
  EXPECT_NE(localizedCompare("a", "A", en), kOrderedSame);
}

}  // namespace
}  // namespace dk::platform
