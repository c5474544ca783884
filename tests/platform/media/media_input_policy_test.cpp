// Each path that opens media opens only what its policy names, whatever the bytes claim: live
// segments are MPEG-4 video in MPEG-TS, recordings and clips are MPEG-4 files.
#include <gtest/gtest.h>

#include <fstream>

#include "cloud-sim/recording_video.h"
#include "platform/media/live_segment_decoder.h"
#include "platform/media/mp4_check.h"
#include "platform/media/video_decoder.h"
#include "support/temp_directory.h"

namespace dk::platform::test {
namespace {

std::string video(const std::string& container, bool h264) {
  cloudsim::detail::VideoSpec spec;
  spec.label = "Porch";
  spec.startTime = 1'700'000'000;
  spec.duration = 2;
  spec.width = 96;
  spec.height = 64;
  spec.h264 = h264;
  spec.container = container;
  return cloudsim::detail::encodeLabelledVideo(spec);
}

std::string writeFile(const dk::test::TemporaryDirectory& folder, const std::string& name, const std::string& bytes) {
  const std::string path = (folder.path() / name).string();
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

TEST(MediaInputPolicyTest, ALiveSegmentPlaysOnlyWhenItIsMpeg4VideoInMpegTs) {
  const std::string segment = video("mpegts", false);
  ASSERT_FALSE(segment.empty());
  std::string why;
  const auto frames = decodeLiveSegment(segment, &why);
  ASSERT_TRUE(frames) << why;
  EXPECT_EQ(frames->size(), 4u);  // two seconds at two frames a second

  const std::string h264 = video("mpegts", true);
  ASSERT_FALSE(h264.empty());
  EXPECT_FALSE(decodeLiveSegment(h264, &why)) << "a decoder the live path does not name";
  EXPECT_EQ(why, "a video codec not allowed");

  EXPECT_FALSE(decodeLiveSegment(video("mp4", false), &why)) << "MPEG-4 file bytes, not a segment";
}

TEST(MediaInputPolicyTest, RecordingsAndClipsOpenOnlyAsMpeg4FilesWhateverTheyHold) {
  dk::test::TemporaryDirectory folder;
  const std::string mp4 = writeFile(folder, "good.mp4", video("mp4", false));
  const std::string ts = writeFile(folder, "segment.mp4", video("mpegts", false));

  VideoDecoder decoder;
  std::string why;
  EXPECT_TRUE(decoder.open(mp4, &why)) << why;
  EXPECT_EQ(decoder.frameCount(), 4u);
  EXPECT_EQ(checkCompleteMp4Video(mp4), nullptr);

  // Playable video, but in a container the recording path does not name.
  EXPECT_FALSE(decoder.open(ts, &why));
  EXPECT_EQ(decoder.frameCount(), 0u);
  const ErrorPtr refused = checkCompleteMp4Video(ts);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->code(), kMp4NotReadable);
}

}  // namespace
}  // namespace dk::platform::test
