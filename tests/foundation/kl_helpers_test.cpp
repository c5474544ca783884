#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "foundation/kl_device_helper.h"
#include "foundation/device_rotation.h"
#include "foundation/kl_file_manager.h"
#include "foundation/string_helpers.h"
#include "foundation/kl_wifi_helper.h"
#include "platform/foundation/app_directories.h"
#include "platform/net/captive_network.h"
#include "platform/net/reachability.h"
#include "support/temp_directory.h"

namespace dk {
namespace {

using platform::Value;
using platform::ValueArray;
using platform::ValueDictionary;

// --- Device models ------------------------------------------------------------------------------

TEST(KLDeviceHelper, HardwareIdentifiersMapToModels) {
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("x86_64"), 0);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("i386"), 0);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPhone4,1"), 1);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPhone5,4"), 2);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPhone8,4"), 4);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPhone7,1"), 5);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPhone10,6"), 13);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPhone11,6"), 16);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPhone12,5"), 19);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPod1,1"), 20);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPod9,1"), 26);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPhone13,2"), 27);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier("iPad8,1"), 27);
  EXPECT_EQ(KLDeviceHelper::deviceModelForIdentifier(""), 27);
}

TEST(KLDeviceHelper, SizeAndRetinaClasses) {
  const int32_t dimension[] = {0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 0, 2};
  const int32_t retina[] = {2, 1, 1, 1, 1, 2, 1, 1, 2, 1, 2, 1, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 2, 2};
  for (int32_t model = 0; model <= 27; ++model) {
    EXPECT_EQ(KLDeviceHelper::deviceDimensionForModel(model), dimension[model]) << model;
    EXPECT_EQ(KLDeviceHelper::retinaTypeForModel(model), retina[model]) << model;
  }
  EXPECT_EQ(KLDeviceHelper::deviceDimensionForModel(-1), 0);
  EXPECT_EQ(KLDeviceHelper::deviceDimensionForModel(28), 0);
  EXPECT_EQ(KLDeviceHelper::retinaTypeForModel(99), 2);
  for (int32_t model = 0; model <= 27; ++model) {
    EXPECT_EQ(KLDeviceHelper::isXGenerationModel(model), model >= 13 && model <= 19) << model;
  }
}

TEST(KLDeviceHelper, ThisMachineIsClassifiedOnceAndConsistently) {
  std::string machine = KLDeviceHelper::platformRawString();
  EXPECT_FALSE(machine.empty());
  KLDeviceModel model = KLDeviceHelper::getDevice();
  EXPECT_EQ(model, KLDeviceHelper::deviceModelForIdentifier(machine));
  EXPECT_EQ(KLDeviceHelper::getDeviceDimension(), KLDeviceHelper::deviceDimensionForModel(model));
  EXPECT_EQ(KLDeviceHelper::getDeviceRetinaType(), KLDeviceHelper::retinaTypeForModel(model));
  EXPECT_EQ(KLDeviceHelper::isXGenerationOriPad(), KLDeviceHelper::isXGenerationModel(model) || model == 27);
}

// --- Validation and clean-up --------------------------------------------------------------------

TEST(KLValidation, IPv4Addresses) {
  for (const char* good : {"255.255.255.255", "192.168.1.10", "1.2.3.4", "10.0.0.0", "01.002.3.4"}) {
    EXPECT_TRUE(validateIPAddress(good)) << good;
  }
  for (const char* bad : {"0.0.0.0", "256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.4 ", "a.b.c.d", "", "1..2.3"}) {
    EXPECT_FALSE(validateIPAddress(bad)) << bad;
  }
}

TEST(KLValidation, MacAddresses) {
  for (const char* good : {"AA:bb:CC:dd:EE:ff", "aa-bb-cc-dd-ee-ff", "00:11-22:33-44:55", "00:00:00:00:00:01"}) {
    EXPECT_TRUE(validateMacAddress(good)) << good;
  }
  for (const char* bad :
       {"00:00:00:00:00:00", "00-00-00-00-00-00", "AA:BB:CC:DD:EE", "AA:BB:CC:DD:EE:FG", "AABBCCDDEEFF", "",
        "AA:BB:CC:DD:EE:FF:00"}) {
    EXPECT_FALSE(validateMacAddress(bad)) << bad;
  }
  EXPECT_TRUE(validateMacAddressCharacter(""));
  EXPECT_TRUE(validateMacAddressCharacter("0aF9"));
  EXPECT_FALSE(validateMacAddressCharacter("0a:"));
  EXPECT_FALSE(validateMacAddressCharacter("g"));
}

TEST(KLValidation, NullAndEmptyValuesAreStrippedOneLevelDeep) {
  ValueDictionary body{{"null", Value::null()},
                       {"empty", Value("")},
                       {"zero", Value(0)},
                       {"no", Value(false)},
                       {"space", Value(" ")},
                       {"list", Value(ValueArray{Value::null(), Value("")})},
                       {"nested", Value(ValueDictionary{{"inner", Value::null()}})}};
  ValueDictionary cleaned = removeAllNullValuesFromDictionary(body);
  EXPECT_EQ(cleaned.size(), 5u);
  EXPECT_EQ(cleaned.count("null"), 0u);
  EXPECT_EQ(cleaned.count("empty"), 0u);
  EXPECT_EQ(cleaned.at("zero"), Value(0));
  EXPECT_TRUE(cleaned.at("no").isBool());
  EXPECT_EQ(cleaned.at("space"), Value(" "));
  EXPECT_EQ(cleaned.at("list").count(), 2u);
  EXPECT_TRUE(cleaned.at("nested")["inner"].isNull());
  EXPECT_TRUE(removeAllNullValuesFromDictionary({}).empty());
}

// --- Regular expressions and encoding -----------------------------------------------------------

constexpr char kNextLinkPattern[] = "<(.*)>; rel=\"next\"";

TEST(KLRegexMatch, NextPageLinkOfTheEventList) {
  std::string header = "<https://api.example/rest/v2.4/events?maxEventId=5&limit=200>; rel=\"next\"";
  EXPECT_EQ(firstSubstringMatchUsingRegex(header, kNextLinkPattern),
            "https://api.example/rest/v2.4/events?maxEventId=5&limit=200");
  // Matched case-insensitively.
  EXPECT_EQ(firstSubstringMatchUsingRegex("<u>; REL=\"NEXT\"", kNextLinkPattern), "u");
  // When text follows the link, the whole match differs from the header and is returned.
  std::string longer = header + ", <https://api.example/first>; rel=\"first\"";
  EXPECT_EQ(firstSubstringMatchUsingRegex(longer, kNextLinkPattern), header);
  EXPECT_EQ(firstStringMatchUsingRegex(longer, kNextLinkPattern), header);
  EXPECT_EQ(firstSubstringMatchUsingRegex("<u>; rel=\"prev\"", kNextLinkPattern), std::nullopt);
  EXPECT_EQ(firstSubstringMatchUsingRegex("", kNextLinkPattern), std::nullopt);
}

TEST(KLRegexMatch, GroupsThatTookNoPartAreSkipped) {
  // Group 1 does not take part; the first range that differs from the text is group 2.
  EXPECT_EQ(firstSubstringMatchUsingRegex("abc", "(x)?(b)"), "b");
  auto match = firstMatchUsingRegex("abc", "(x)?(b)");
  ASSERT_TRUE(match);
  ASSERT_EQ(match->ranges.size(), 3u);
  EXPECT_FALSE(match->ranges[1].has_value());
  // Every range equal to the whole text: nothing.
  EXPECT_EQ(firstSubstringMatchUsingRegex("abc", "(abc)"), std::nullopt);
  EXPECT_EQ(firstSubstringMatchUsingRegex("abc", "(x)?abc"), std::nullopt);
}

TEST(KLRegexMatch, BadPatternsAndMultibyteText) {
  EXPECT_EQ(firstMatchUsingRegex("abc", "(unclosed"), std::nullopt);
  EXPECT_EQ(firstStringMatchUsingRegex("abc", "["), std::nullopt);
  EXPECT_FALSE(stringMatchesPattern("abc", "("));
  // Ranges are byte offsets into UTF-8 text.
  EXPECT_EQ(firstSubstringMatchUsingRegex("caméra <ü>; rel=\"next\"", kNextLinkPattern), "<ü>; rel=\"next\"");
  EXPECT_EQ(firstSubstringMatchUsingRegex("<ü€>; rel=\"next\"", kNextLinkPattern), "ü€");
  EXPECT_TRUE(stringMatchesPattern("ÄBC", "äbc"));
}

TEST(KLUrlEncode, OnlyUnreservedCharactersStayPlain) {
  EXPECT_EQ(urlEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(urlEncode("!*'();:@&=+$,/?"), "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F");
  EXPECT_EQ(urlEncode("a b#%"), "a%20b%23%25");
  EXPECT_EQ(urlEncode("é"), "%C3%A9");
  EXPECT_EQ(urlEncode(""), "");
}

// --- Rotation -----------------------------------------------------------------------------------

TEST(KLDeviceRotation, AnglesBetweenOrientations) {
  EXPECT_FLOAT_EQ(rotationAngleForOrientation(1, 3), 1.5707964f);
  EXPECT_FLOAT_EQ(rotationAngleForOrientation(1, 4), 4.712389f);
  EXPECT_FLOAT_EQ(rotationAngleForOrientation(2, 3), 1.5707964f);
  EXPECT_FLOAT_EQ(rotationAngleForOrientation(2, 4), 4.712389f);
  EXPECT_FLOAT_EQ(rotationAngleForOrientation(4, 3), 1.5707964f);
  EXPECT_FLOAT_EQ(rotationAngleForOrientation(3, 4), 4.712389f);
  for (int32_t o = 0; o <= 6; ++o) EXPECT_EQ(rotationAngleForOrientation(o, o), 0.0f);
  EXPECT_EQ(rotationAngleForOrientation(3, 1), 0.0f);
  EXPECT_EQ(rotationAngleForOrientation(1, 2), 0.0f);
  for (int32_t current : {0, 5, 6}) {
    for (int32_t target = 0; target <= 6; ++target) EXPECT_EQ(rotationAngleForOrientation(current, target), 0.0f);
  }
}

// --- Files --------------------------------------------------------------------------------------

class KLFileManagerTest : public ::testing::Test {
 protected:
  test::TemporaryHome home;
  std::filesystem::path documents() const { return platform::AppDirectories::documents(); }
  static platform::DataPtr data(std::string bytes) { return std::make_shared<platform::Data>(std::move(bytes)); }
};

TEST_F(KLFileManagerTest, SavesChecksAndDeletesInTheDocumentsFolder) {
  EXPECT_EQ(KLFileManager::URLForFileName(std::string("42.mp4")), documents() / "42.mp4");
  EXPECT_FALSE(KLFileManager::fileWithNameExists(std::string("42.mp4")));
  EXPECT_EQ(KLFileManager::saveDataToDisk(data("clip"), std::string("42.mp4")), nullptr);
  EXPECT_TRUE(KLFileManager::fileWithNameExists(std::string("42.mp4")));
  EXPECT_EQ(platform::Data::withContentsOfFileAtPath((documents() / "42.mp4").string())->bytes(), "clip");
  EXPECT_EQ(KLFileManager::saveDataToDisk(data("clip two"), std::string("42.mp4")), nullptr);  // replaced
  EXPECT_EQ(platform::Data::withContentsOfFileAtPath((documents() / "42.mp4").string())->bytes(), "clip two");
  EXPECT_EQ(KLFileManager::deleteFileWithName(std::string("42.mp4")), nullptr);
  EXPECT_FALSE(KLFileManager::fileWithNameExists(std::string("42.mp4")));
  EXPECT_EQ(KLFileManager::deleteFileWithName(std::string("42.mp4")), nullptr);  // nothing to remove
}

TEST_F(KLFileManagerTest, NilNamesDoNothing) {
  EXPECT_EQ(KLFileManager::URLForFileName(std::nullopt), std::nullopt);
  EXPECT_FALSE(KLFileManager::fileWithNameExists(std::nullopt));
  EXPECT_EQ(KLFileManager::saveDataToDisk(data("x"), std::nullopt), nullptr);
  EXPECT_EQ(KLFileManager::deleteFileWithName(std::nullopt), nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(documents()));
}

TEST_F(KLFileManagerTest, NamesFromTheServerCannotLeaveTheFolder) {
  // A file beside the documents folder that a hostile identifier would aim at.
  std::filesystem::path outside = documents().parent_path() / "victim.mp4";
  std::ofstream(outside) << "keep";
  for (const char* name : {"../victim.mp4", "..", ".", "", "a/b.mp4", "/etc/passwd"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(KLFileManager::URLForFileName(std::string(name)), std::nullopt);
    EXPECT_FALSE(KLFileManager::fileWithNameExists(std::string(name)));
    auto saveError = KLFileManager::saveDataToDisk(data("evil"), std::string(name));
    ASSERT_NE(saveError, nullptr);
    EXPECT_EQ(saveError->code(), 514);
    auto deleteError = KLFileManager::deleteFileWithName(std::string(name));
    ASSERT_NE(deleteError, nullptr);
    EXPECT_EQ(deleteError->code(), 514);
  }
  EXPECT_TRUE(KLFileManager::URLForFileName(std::string("..mp4")).has_value());  // dots inside a name are fine
  EXPECT_EQ(platform::Data::withContentsOfFileAtPath(outside.string())->bytes(), "keep");
}

TEST_F(KLFileManagerTest, MissingDataIsAnErrorAndWritesNothing) {
  auto error = KLFileManager::saveDataToDisk(nullptr, std::string("1.mp4"));
  ASSERT_NE(error, nullptr);
  EXPECT_FALSE(KLFileManager::fileWithNameExists(std::string("1.mp4")));
}

TEST_F(KLFileManagerTest, WriteFailuresAreReported) {
  // A folder where the file should go makes the write fail.
  std::filesystem::create_directories(documents() / "busy.mp4" / "inside");
  EXPECT_NE(KLFileManager::saveDataToDisk(data("x"), std::string("busy.mp4")), nullptr);
  EXPECT_NE(KLFileManager::deleteFileWithName(std::string("busy.mp4")), nullptr);
  EXPECT_TRUE(std::filesystem::exists(documents() / "busy.mp4" / "inside"));
}

// --- Wi-Fi --------------------------------------------------------------------------------------

class KLWiFiHelperTest : public ::testing::Test {
 protected:
  void TearDown() override {
    platform::NetworkReachability::sharedManager().setProvider(nullptr);
    platform::NetworkReachability::sharedManager().refresh();
    platform::CaptiveNetwork::setProvider({});
  }
  void on(platform::NetworkReachabilityStatus status) {
    platform::NetworkReachability::sharedManager().setProvider([status] { return status; });
    platform::NetworkReachability::sharedManager().refresh();
  }
  void interfaces(std::vector<std::pair<std::string, ValueDictionary>> list) {
    platform::CaptiveNetworkProvider provider;
    provider.supportedInterfaces = [list] {
      std::vector<std::string> names;
      for (const auto& entry : list) names.push_back(entry.first);
      return names;
    };
    provider.currentNetworkInfo = [list](const std::string& name) {
      for (const auto& entry : list)
        if (entry.first == name) return entry.second;
      return ValueDictionary{};
    };
    platform::CaptiveNetwork::setProvider(provider);
  }
};

TEST_F(KLWiFiHelperTest, MobileDataAndNoNetwork) {
  on(platform::NetworkReachabilityStatus::ReachableViaWWAN);
  interfaces({{"wlan0", {{"SSID", Value("KELO-1234")}}}});
  EXPECT_EQ(KLWiFiHelper::fetchSSIDInfo(), "Mobile_Network");
  EXPECT_FALSE(KLWiFiHelper::isConnectedToCameraAP());
  on(platform::NetworkReachabilityStatus::NotReachable);
  EXPECT_EQ(KLWiFiHelper::fetchSSIDInfo(), std::nullopt);
  EXPECT_FALSE(KLWiFiHelper::isConnectedToKeloAP());
}

TEST_F(KLWiFiHelperTest, CameraAccessPointsByName) {
  on(platform::NetworkReachabilityStatus::ReachableViaWiFi);
  interfaces({{"wlan0", {}}, {"wlan1", {{"SSID", Value("KELO-1234")}, {"BSSID", Value("aa:bb")}}}});
  EXPECT_EQ(KLWiFiHelper::fetchSSIDInfo(), "KELO-1234");
  EXPECT_TRUE(KLWiFiHelper::isConnectedToKeloAP());
  EXPECT_FALSE(KLWiFiHelper::isConnectedToDoorbellAP());
  EXPECT_TRUE(KLWiFiHelper::isConnectedToCameraAP());

  interfaces({{"wlan0", {{"SSID", Value("Front Doorbell")}}}});
  EXPECT_TRUE(KLWiFiHelper::isConnectedToDoorbellAP());
  EXPECT_TRUE(KLWiFiHelper::isConnectedToCameraAP());

  interfaces({{"wlan0", {{"SSID", Value("kelo-home")}}}});  // case matters
  EXPECT_FALSE(KLWiFiHelper::isConnectedToCameraAP());
}

TEST_F(KLWiFiHelperTest, WiFiWithoutAName) {
  on(platform::NetworkReachabilityStatus::ReachableViaWiFi);
  interfaces({});
  EXPECT_EQ(KLWiFiHelper::fetchSSIDInfo(), "WiFi_Network");
  interfaces({{"wlan0", {{"BSSID", Value("aa:bb")}}}, {"wlan1", {{"SSID", Value("KELO")}}}});
  EXPECT_EQ(KLWiFiHelper::fetchSSIDInfo(), "WiFi_Network");  // the first interface with info decides
  EXPECT_FALSE(KLWiFiHelper::isConnectedToCameraAP());
}

}  // namespace
}  // namespace dk
