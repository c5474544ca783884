#include "model/kl_camera_settings_response.h"

#include <gtest/gtest.h>

#include "model/model_support.h"
#include "model_test_support.h"

namespace dk {
namespace {

using test::loc;

TEST(KLVideoSettings, ValuesBecomeDisplayTexts) {
  auto s = platform::modelFromJSON<KLCameraVideoSettingsResponse>(test::json(
      R"({"rotation": 180, "exposure": "60hz", "backlight": "wdr", "manualNightview": "Night"})"));
  EXPECT_EQ(s->rotation(), "180");
  EXPECT_EQ(s->antiFlickering(), "60 Hz");
  EXPECT_EQ(s->backlightCompensation(), loc("WdrCompensation"));
  EXPECT_EQ(s->dayNightMode(), loc("ModeNight"));
  auto odd = platform::modelFromJSON<KLCameraVideoSettingsResponse>(test::json(
      R"({"rotation": {"deg": 90}, "exposure": "70hz", "backlight": 3})"));
  EXPECT_FALSE(odd->rotation());
  EXPECT_FALSE(odd->antiFlickering());
  EXPECT_FALSE(odd->backlightCompensation());
}

TEST(KLVideoSettingsCapabilities, OptionListsSurviveUnexpectedElements) {
  KLCameraVideoSettingsCapabilitiesResponse fresh;
  EXPECT_EQ(fresh.rotationCapabilities(), Strings{});
  auto caps = platform::modelFromJSON<KLCameraVideoSettingsCapabilitiesResponse>(test::json(R"({
      "rotationOptions": [0, "90", 180, {"x": 1}, null, true],
      "exposureOptions": ["outdoor", "auto", "70hz", 5, ["50hz"]],
      "backlightOptions": "off",
      "manualNightviewOptions": ["Auto", "Day"],
      "rotation": true, "exposure": false})"));
  EXPECT_EQ(caps->rotationCapabilities(), (Strings{"0", "90", "180", "1"}));
  EXPECT_EQ(caps->antiFlickeringCapabilities(), (Strings{loc("Outdoor"), loc("ModeAuto")}));
  EXPECT_FALSE(caps->backlightCompensationCapabilities()) << "a single text instead of an array";
  EXPECT_EQ(caps->dayNightModeCapabilities(), (Strings{loc("ModeAuto"), loc("ModeDay")}));
  EXPECT_EQ(caps->rotationAvailable(), true);
  EXPECT_EQ(caps->antiFlickeringAvailable(), false);
  EXPECT_FALSE(caps->dayNightModeAvailable());
}

TEST(KLFootageSettings, BitRateTexts) {
  auto s = platform::modelFromJSON<KLCameraFootageSettingsResponse>(test::json(
      R"({"rec": {"video": {"resolution": "1920x1080", "framerate": 25, "maxBitRate": 2048}}})"));
  EXPECT_EQ(s->resolution(), "1920x1080");
  EXPECT_EQ(s->frameRate(), 25);
  EXPECT_EQ(s->maxBitRate(), 2048);
  EXPECT_EQ(s->bitRate(), "2048 kb/s");
  auto missing = platform::modelFromJSON<KLCameraFootageSettingsResponse>(test::json(R"({"rec": {"video": {}}})"));
  EXPECT_EQ(missing->bitRate(), "0 kb/s");
  EXPECT_FALSE(missing->maxBitRate());
  auto text = platform::modelFromJSON<KLCameraFootageSettingsResponse>(test::json(R"({"rec": {"video": {"maxBitRate": "fast"}}})"));
  EXPECT_EQ(text->bitRate(), "0 kb/s");
}

TEST(KLFootageCapabilities, ResolutionsInNumericOrderWithTheirFrameRates) {
  auto caps = platform::modelFromJSON<KLCameraFootageSettingsCapabilitiesResponse>(test::json(R"({"rec": {
      "1920x1080": {"framerates": [25, 30]}, "640x480": {"framerates": [10, 12.5, "15"]}, "junk": 4}})"));
  EXPECT_EQ(caps->resolutions(), (Strings{"640x480", "1920x1080", "junk"}));
  EXPECT_EQ(caps->recordingResolutions().size(), 2u) << "a value that is not an object is skipped";
  EXPECT_EQ(caps->frameRatesForResolution("1920x1080"), (Strings{"25", "30"}));
  EXPECT_EQ(caps->frameRatesForResolution("640x480"), (Strings{"10", "12.5", "15"}));
  EXPECT_FALSE(caps->frameRatesForResolution("320x240"));
  EXPECT_FALSE(caps->frameRatesForResolution(std::nullopt));
  EXPECT_EQ(caps->recordings(), (Strings{loc("Continuous"), loc("DetectionBased")}));

  auto notObject = platform::modelFromJSON<KLCameraFootageSettingsCapabilitiesResponse>(test::json(R"({"rec": [1, 2]})"));
  ASSERT_TRUE(notObject);
  EXPECT_TRUE(notObject->recordingResolutions().empty());
  EXPECT_EQ(notObject->resolutions(), Strings{});
}

TEST(KLFootageCapabilities, NumericOrderIsTotal) {
  EXPECT_TRUE(numericLess("640x480", "1280x720"));
  EXPECT_FALSE(numericLess("1280x720", "640x480"));
  EXPECT_TRUE(numericLess("1280x720", "1280x960"));
  EXPECT_TRUE(numericLess("7", "07") != numericLess("07", "7"));
  EXPECT_FALSE(numericLess("abc", "abc"));
}

TEST(KLAdvancedInfo, AddressesAreCheckedAndNullNeverOverwrites) {
  auto info = platform::modelFromJSON<KLCameraAdvancedInfoResponse>(test::json(R"({
      "localHost": "192.168.1.20", "globalHost": "0.0.0.0", "username": "admin", "password": "secret",
      "cloudManagedCredentials": true})"));
  EXPECT_EQ(info->localIP(), "192.168.1.20");
  EXPECT_FALSE(info->globalIP());
  for (const char* bad : {"256.1.1.1", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1..2.3", "1.2.3.4 "}) {
    auto m = platform::modelFromJSON<KLCameraAdvancedInfoResponse>(platform::Value(platform::ValueDictionary{{"localHost", bad}}));
    EXPECT_FALSE(m->localIP()) << bad;
  }
  auto ok = platform::modelFromJSON<KLCameraAdvancedInfoResponse>(test::json(R"({"localHost": "255.255.255.255"})"));
  EXPECT_EQ(ok->localIP(), "255.255.255.255");

  auto reply = platform::modelFromJSON<KLCameraAdvancedInfoResponse>(test::json(R"({"password": null, "username": "root"})"));
  info->mergeValuesForKeysFromModel(reply);
  EXPECT_EQ(info->password(), "secret");
  EXPECT_EQ(info->username(), "root");
  EXPECT_EQ(info->localIP(), "192.168.1.20");
}

TEST(KLCapabilityRecords, Flags) {
  auto caps = platform::modelFromJSON<KLCameraCapabilitiesResponse>(test::json(R"({"ptz": true, "wifi": false, "playAudio": true})"));
  EXPECT_EQ(caps->ptz(), true);
  EXPECT_EQ(caps->wifi(), false);
  EXPECT_FALSE(caps->recordAudio());
  auto ptz = platform::modelFromJSON<KLCameraPtzCapabilitiesResponse>(test::json(R"({"zoom": true, "panTilt": false})"));
  EXPECT_EQ(ptz->zoom(), true);
  EXPECT_EQ(ptz->panTilt(), false);
  auto device = platform::modelFromJSON<KLCameraDeviceInfoResponse>(test::json(R"({"brand": "Acme", "model": "X1"})"));
  EXPECT_EQ(device->model(), "X1");
}

}  // namespace
}  // namespace dk
