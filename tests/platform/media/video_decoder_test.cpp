// The decoder on its own: the frame table of a recording from the local cloud, and files that
// are not video.
#include <fstream>
#include <iterator>

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

// A picture wider or taller than 8192 pixels is refused when the video opens, before a frame is
// decoded (a header may ask for picture buffers of any size); 8192 itself plays.
TEST(VideoDecoderTest, PicturesBeyond8192PixelsAcrossAreRefused) {
  dk::test::TemporaryDirectory folder;
  struct Case {
    int width, height;
    bool opens;
  };
  const std::vector<Case> cases = {{8192, 16, true}, {16, 8192, true}, {8208, 16, false}, {16, 8208, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const std::string path = (folder.path() / "size.mp4").string();
    TestVideoOptions options;
    options.width = c.width;
    options.height = c.height;
    options.frames = 2;
    options.gop = 2;
    options.bFrames = 0;
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    VideoDecoder decoder;
    EXPECT_EQ(decoder.open(path, &why), c.opens) << why;
    if (c.opens) {
      const ImagePtr picture = decoder.frameAt(1);
      ASSERT_TRUE(picture);
      EXPECT_EQ(picture->pixelWidth(), c.width);
      EXPECT_EQ(picture->pixelHeight(), c.height);
    } else {
      EXPECT_EQ(why, "unusable picture size");
      EXPECT_EQ(decoder.frameCount(), 0u);
    }
  }
}

// The movie's own length (its header and edit list) may only cut the last picture short: a
// header that claims far more, or less than the frames hold, leaves the length the frames give.
TEST(VideoDecoderTest, TheMoviesLengthOnlyEverShortensTheLastPicture) {
  dk::test::TemporaryDirectory folder;
  const std::string path = (folder.path() / "movie.mp4").string();
  TestVideoOptions options;
  options.frames = 20;  // 2 s at 10 frames a second
  std::string why;
  ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto read32 = [](const std::string& b, size_t at) {
    return (uint32_t{static_cast<uint8_t>(b[at])} << 24) | (uint32_t{static_cast<uint8_t>(b[at + 1])} << 16) |
           (uint32_t{static_cast<uint8_t>(b[at + 2])} << 8) | static_cast<uint8_t>(b[at + 3]);
  };
  auto write32 = [](std::string& b, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<char>((value >> (24 - 8 * i)) & 0xff);
  };
  // Version-0 boxes: where each holds its duration, counted from its type.
  const size_t mvhd = bytes.find("mvhd"), tkhd = bytes.find("tkhd"), elst = bytes.find("elst");
  ASSERT_TRUE(mvhd != std::string::npos && tkhd != std::string::npos && elst != std::string::npos);
  ASSERT_EQ(bytes[mvhd + 4], 0);
  const uint32_t timescale = read32(bytes, mvhd + 16);
  const uint32_t length = read32(bytes, mvhd + 20);
  ASSERT_NEAR(static_cast<double>(length) / timescale, 2.0, 1e-6);
  auto withLength = [&](uint32_t ticks, bool editList) {
    std::string patched = bytes;
    write32(patched, mvhd + 20, ticks);
    write32(patched, tkhd + 24, ticks);
    if (editList) write32(patched, elst + 12, ticks);
    return patched;
  };
  struct Case {
    const char* what;
    uint32_t ticks;
    bool editList;  // the edit list says so too (shorter, it would cut frames)
    double expected;
  };
  const std::vector<Case> cases = {
      {"as made", length, true, 2.0},
      {"a thousand times longer", length * 1000, true, 2.0},
      {"ending inside the last picture", length - timescale / 20, true, 1.95},
      {"the headers ending before the last picture", timescale, false, 2.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string patchedPath = (folder.path() / "patched.mp4").string();
    std::ofstream(patchedPath, std::ios::binary) << withLength(c.ticks, c.editList);
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(patchedPath, &why)) << why;
    EXPECT_EQ(decoder.frameCount(), 20u);
    EXPECT_NEAR(decoder.duration(), c.expected, 1e-6);
  }
}

}  // namespace
}  // namespace dk::platform::test
