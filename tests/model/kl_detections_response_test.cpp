#include "model/kl_detections_response.h"

#include <gtest/gtest.h>

#include "model/model_support.h"
#include "model_test_support.h"

namespace dk {
namespace {

using test::loc;

TEST(KLDetections, SwitchesFromTheFirstArrayElement) {
  auto d = platform::modelFromJSON<KLCameraDetectionsResponse>(test::json(R"({
      "enabled": true, "videoMotionDetection": [{"enabled": true}, {"enabled": false}],
      "pirDetection": [], "soundDetection": {"enabled": true}, "doorbellDetection": [{"enabled": false}]})"));
  ASSERT_TRUE(d);
  EXPECT_EQ(d->videoMotionDetection(), 1);
  EXPECT_FALSE(d->pirDetection()) << "an empty array";
  EXPECT_FALSE(d->soundDetection()) << "an object instead of an array";
  EXPECT_EQ(d->doorbellDetection(), 0);
  EXPECT_EQ(d->enabled(), -1) << "the detector switches reply does not carry the camera-wide flag";
  KLDetectionsResponse fresh;
  EXPECT_EQ(fresh.enabled(), -1);
}

TEST(KLDetections, TriggeredBitsStayUntilClearedThroughTheSetter) {
  KLCameraDetectionsResponse d;
  d.setVideoMotionDetection(1);
  d.setDoorbellDetection(1);
  EXPECT_EQ(d.triggeredDetections(), 2u | 16u);
  d.setVideoMotionDetection(0);
  EXPECT_EQ(d.triggeredDetections(), 2u | 16u) << "the getter never removes a bit";
  d.setDoorbellDetection(0);
  d.setTriggeredDetections(d.triggeredDetections() & ~uint64_t{2});
  EXPECT_EQ(d.triggeredDetections(), 16u);
  d.setPirDetection(-1);
  EXPECT_EQ(d.triggeredDetections(), 16u) << "a switch not known yet is not on";
}

TEST(KLDetections, ActiveDetectionNames) {
  KLCameraDetectionsResponse d;
  d.setVideoMotionDetection(1);
  d.setSoundDetection(1);
  d.setDoorbellDetection(1);
  EXPECT_EQ(d.activeCameraDetections(), loc("VideoMotion") + ", " + loc("Sound"));
  d.setVideoMotionDetection(0);
  d.setSoundDetection(0);
  EXPECT_EQ(d.activeCameraDetections(), "");
}

TEST(KLDetections, MergeKeepsCachedSwitchesTheReplyLacks) {
  auto cached = std::make_shared<KLCameraDetectionsResponse>();
  cached->setSoundDetection(1);
  cached->setPirDetection(0);
  auto reply = platform::modelFromJSON<KLCameraDetectionsResponse>(test::json(R"({"pirDetection": [{"enabled": true}]})"));
  cached->mergeValuesForKeysFromModel(reply);
  EXPECT_EQ(cached->soundDetection(), 1);
  EXPECT_EQ(cached->pirDetection(), 1);
}

TEST(KLDetections, SmartDetections) {
  auto smart = platform::modelFromJSON<KLSmartDetectionsResponse>(test::json(R"({"enabled": 1, "personDetectionOnly": false})"));
  EXPECT_EQ(smart->enabled(), 1);
  EXPECT_EQ(smart->personDetectionOnly(), false);
}

TEST(KLDetectionCapabilities, FlagsAndLocalisedTypes) {
  auto caps = platform::modelFromJSON<KLDetectionsCapabilitiesResponse>(test::json(R"({
      "audio": true, "videoMotion": true, "pir": false, "doorbell": true, "analyticsPersonTripWire": true})"));
  EXPECT_TRUE(caps->hasSoundCapability()) << "\"audio\" is the sound flag";
  EXPECT_TRUE(caps->hasVideoMotionCapability());
  EXPECT_FALSE(caps->hasInfraredCapability());
  EXPECT_TRUE(caps->hasDoorbellCapability());
  EXPECT_TRUE(caps->hasSmartDetectionsCapability());
  EXPECT_EQ(caps->supportedTypes(),
            (std::vector<std::string>{loc("Person"), loc("Sound"), loc("VideoDoorbell"), loc("VideoMotion")}));
  EXPECT_EQ(caps->supportedTriggeredTypes(),
            (std::vector<std::string>{loc("VideoMotionDetectionSettings"), loc("SoundDetectionSettings"),
                                      loc("VideoDoorbellRing")}));
  KLDetectionsCapabilitiesResponse none;
  EXPECT_FALSE(none.hasSmartDetectionsCapability());
  EXPECT_TRUE(none.supportedTypes().empty());
}

}  // namespace
}  // namespace dk
