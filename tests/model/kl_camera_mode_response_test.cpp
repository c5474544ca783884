#include "model/kl_camera_mode_response.h"

#include <gtest/gtest.h>

#include "model/model_support.h"
#include "model_test_support.h"

namespace dk {
namespace {

using test::loc;

TEST(KLCameraMode, MapsNamesTypesAndDescriptions) {
  auto mode = platform::modelFromJSON<KLCameraModeResponse>(test::json(
      R"({"cameraId": 3, "mode": "armed", "previousMode": "silent", "recordingMode": "eventBased"})"));
  ASSERT_TRUE(mode);
  EXPECT_EQ(mode->cameraID(), 3);
  EXPECT_EQ(mode->modeName(), loc("Armed"));
  EXPECT_EQ(mode->previousModeName(), loc("Silent"));
  EXPECT_EQ(mode->recordingModeName(), loc("DetectionBased"));
  EXPECT_EQ(mode->modeType(), 1);
  EXPECT_EQ(mode->modeDescription(), loc("LiveViewRecordDetectAndNotify"));
  EXPECT_NE(loc("LiveView"), "LiveView") << "the host's text, not the key";
}

TEST(KLCameraMode, PrivateCameraIsDescribedByItsPreviousMode) {
  auto mode = platform::modelFromJSON<KLCameraModeResponse>(test::json(R"({"mode": "private", "previousMode": "silent"})"));
  EXPECT_EQ(mode->modeType(), 5);
  EXPECT_EQ(mode->modeName(), loc("Private"));
  EXPECT_EQ(mode->modeDescription(), loc("LiveViewRecordAndDetect"));
}

TEST(KLCameraMode, CapitalisedValueNamesAtMappingButNotOnLaterReads) {
  auto mode = platform::modelFromJSON<KLCameraModeResponse>(test::json(R"({"mode": "ARMED"})"));
  const auto& toName = KLCameraModeResponse::staticClassInfo().property("modeName")->fromJSON;
  EXPECT_EQ(toName(platform::Value("ARMED")), platform::Value(loc("Armed"))) << "mapping lower-cases";
  EXPECT_FALSE(mode->modeName()) << "a later read looks the stored value up unchanged";
  EXPECT_EQ(mode->modeType(), 0);
  auto unknown = platform::modelFromJSON<KLCameraModeResponse>(test::json(R"({"mode": "holiday", "recordingMode": 4})"));
  EXPECT_FALSE(unknown->modeName());
  EXPECT_FALSE(unknown->recordingModeName());
  EXPECT_FALSE(unknown->modeDescription());
}

TEST(KLCameraMode, InitWithNameAndWithoutMode) {
  KLCameraModeResponse silent("silent");
  EXPECT_EQ(silent.modeType(), 3);
  EXPECT_EQ(silent.modeName(), loc("Silent"));
  KLCameraModeResponse empty;
  empty.setModeName("kept");
  empty.setModeType(7);
  EXPECT_EQ(empty.modeName(), "kept") << "without a mode the stored value is returned";
  EXPECT_EQ(empty.modeType(), 7);
}

TEST(KLCameraModeList, FourChoosableModesAndFiltering) {
  KLCameraModeList list;
  auto modes = list.modes();
  ASSERT_EQ(modes.size(), 4u);
  EXPECT_EQ(modes[3]->mode(), "custom");
  EXPECT_NE(list.modes()[0], modes[0]) << "a new array at every read";
  EXPECT_EQ(list.values().count(), 4u);
  auto withoutCustom = list.modesWithoutMode(4);
  ASSERT_EQ(withoutCustom.size(), 3u);
  EXPECT_EQ(withoutCustom[0]->mode(), "armed");
  EXPECT_EQ(withoutCustom[2]->mode(), "silent");
  EXPECT_EQ(list.modesWithoutMode(5).size(), 4u);
}

TEST(KLValueMaps, RecordingAndImageSettingMapsBothWays) {
  EXPECT_EQ(lookUp(KLCameraModeResponse::recordingModeValueMap(), loc("DetectionBased")), "eventBased");
  using Maps = KLCameraVideoSettingsCapabilitiesMap;
  EXPECT_EQ(lookUp(Maps::exposureCapabiltiesMap(), "60hz"), "60 Hz");
  EXPECT_EQ(lookUp(Maps::exposureCapabiltiesValuesMap(), "50 Hz"), "50hz");
  EXPECT_EQ(lookUp(Maps::backlightCapabiltiesMap(), "wdr"), loc("WdrCompensation"));
  EXPECT_EQ(lookUp(Maps::manualNightviewCapabiltiesMap(), "Night"), loc("ModeNight"));
  EXPECT_FALSE(lookUp(Maps::manualNightviewCapabiltiesMap(), "night")) << "day/night values are capitalised";
  EXPECT_EQ(lookUp(Maps::manualNightviewCapabiltiesValuesMap(), loc("ModeAuto")), "Auto");
}

}  // namespace
}  // namespace dk
