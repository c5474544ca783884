// The decoder on its own: the frame table of a recording from the local cloud, and files that
// are not video.
#include <fstream>

#include "platform/graphics/image_compare.h"

#include "streamer_fixture.h"
#include "test_videos.h"
#include "support/temp_directory.h"

namespace dk::platform::test {
namespace {

TEST_F(StreamerTest, TheDecoderKnowsEveryFrameTimeBeforeDecodingAny) {
  auto decoder = referenceDecoder(closedId);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->width(), 320);
  EXPECT_EQ(decoder->height(), 180);
  EXPECT_DOUBLE_EQ(decoder->duration(), 30.0);
  EXPECT_DOUBLE_EQ(decoder->frameTimes()[1], 0.5);
  EXPECT_EQ(decoder->frameIndexAt(-3), 0u);
  EXPECT_EQ(decoder->frameIndexAt(0.49), 0u);
  EXPECT_EQ(decoder->frameIndexAt(0.5), 1u);
  EXPECT_EQ(decoder->frameIndexAt(99), 59u);
  EXPECT_EQ(decoder->frameAt(60), nullptr);
  // In order and out of order, the same frame decodes to the same picture.
  const ImagePtr forward = decoder->frameAt(41);
  decoder->frameAt(3);
  const ImagePtr again = decoder->frameAt(41);
  ASSERT_TRUE(forward && again);
  EXPECT_EQ(compareImages(*forward, *again).maxAbsolute, 0);
}

TEST_F(StreamerTest, CameraLikeRecordingsAreH264At25FramesASecondWithEveryFrameShown) {
  int64_t id = 0;
  sim->updateWorld([&](cloudsim::World& w) {
    w.videoQuality = cloudsim::World::VideoQuality::Hd720;
    id = w.startRecording(cameraId, kStart + 100);
    w.closeRecording(id, kStart + 102);
  });
  auto decoder = referenceDecoder(id);
  ASSERT_TRUE(decoder);
  EXPECT_EQ(decoder->width(), 1280);
  EXPECT_EQ(decoder->height(), 720);
  ASSERT_EQ(decoder->frameCount(), 50u);
  EXPECT_DOUBLE_EQ(decoder->frameTimes()[1], 0.04);
  EXPECT_DOUBLE_EQ(decoder->duration(), 2.0);
  // A plain front-to-back decode of the same file agrees, the last frame included.
  const SequentialDecode plain = decodeSequentially(*referenceFile->filePath());
  ASSERT_EQ(plain.pictures.size(), 50u);
  for (size_t i : {size_t{49}, size_t{3}, size_t{27}}) {
    const ImagePtr picture = decoder->frameAt(i);
    ASSERT_TRUE(picture);
    EXPECT_EQ(compareImages(*picture, *plain.pictures[i]).maxAbsolute, 0) << "frame " << i;
  }
}

TEST(VideoDecoderTest, FilesThatAreNotVideoDoNotOpen) {
  dk::test::TemporaryDirectory folder;
  const std::string path = (folder.path() / "notes.mp4").string();
  std::ofstream(path) << "these are not the frames you are looking for";
  VideoDecoder decoder;
  std::string why;
  EXPECT_FALSE(decoder.open(path, &why));
  EXPECT_FALSE(why.empty());
  EXPECT_EQ(decoder.frameCount(), 0u);
  EXPECT_EQ(decoder.frameAt(0), nullptr);
  EXPECT_FALSE(decoder.open((folder.path() / "missing.mp4").string(), &why));
}

}  // namespace
}  // namespace dk::platform::test
