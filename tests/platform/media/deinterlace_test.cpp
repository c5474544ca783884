// Interlaced video as older cameras and recorder bridges send it (H.264 with its two fields taken
// half a frame apart): every picture is shown whole, in a recording reached by play, seek or
// step and in a live segment, so that the moving bars do not comb. Progressive video is shown
// exactly as a plain decode gives it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/graphics/image_compare.h"
#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/recordings/video_decoder.h"
#include "support/temp_directory.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

enum class Road { Recording, LiveSegment };

struct FieldsCase {
  const char* name;
  Road road;
  bool interlaced;
  bool bottomFieldFirst;
};

// The pictures a viewer is shown: a recording's every frame, asked for shuffled (seeks), in
// order (play) and backwards (steps); a live segment's pictures as they come.
std::vector<std::pair<size_t, ImagePtr>> shownPictures(Road road, const std::string& path, size_t* count,
                                                       std::string* why) {
  std::vector<std::pair<size_t, ImagePtr>> shown;
  if (road == Road::Recording) {
    VideoDecoder decoder;
    if (!decoder.open(path, why)) return shown;
    const size_t n = decoder.frameCount();
    *count = n;
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    for (size_t i = 0; i < n; ++i) order.push_back(i);
    for (size_t i = n; i-- > 0;) order.push_back(i);
    for (size_t i : order) shown.emplace_back(i, decoder.frameAt(i));
    return shown;
  }
  LiveSegmentDecoder decoder;
  if (!decoder.open(std::make_shared<const std::string>(readFile(path)), LivePictureLimits::segmentBudget(2), why)) {
    return shown;
  }
  LiveSegmentFrame frame;
  while (decoder.next(frame, why) == LiveSegmentDecoder::Step::Picture) {
    shown.emplace_back(shown.size(), frame.image);
  }
  *count = shown.size();
  return shown;
}

// The mean brightness difference of two pictures over the lines of the field shown first.
double firstFieldDifference(const Image& a, const Image& b, bool bottomFieldFirst) {
  if (a.pixelWidth() != b.pixelWidth() || a.pixelHeight() != b.pixelHeight()) return 255;
  double sum = 0;
  long count = 0;
  for (int y = bottomFieldFirst ? 1 : 0; y < a.pixelHeight(); y += 2) {
    for (int x = 0; x < a.pixelWidth(); ++x, ++count) {
      sum += std::abs(static_cast<int>(a.pixelValue(x, y) >> 8 & 0xff) - static_cast<int>(b.pixelValue(x, y) >> 8 & 0xff));
    }
  }
  return count ? sum / static_cast<double>(count) : 255;
}

TEST(DeinterlaceTest, InterlacedPicturesAreShownWholeAndProgressiveOnesAsDecoded) {
  const std::vector<FieldsCase> cases = {
      {"1080i-like recording, top field first", Road::Recording, true, false},
      {"576i-like recording, bottom field first", Road::Recording, true, true},
      {"interlaced live segment", Road::LiveSegment, true, false},
      {"progressive recording", Road::Recording, false, false},
      {"progressive live segment", Road::LiveSegment, false, false},
  };
  for (const FieldsCase& c : cases) {
    SCOPED_TRACE(c.name);
    dk::test::TemporaryDirectory folder;
    TestVideoOptions options;
    options.width = 128;
    options.height = 96;
    options.fps = 25;
    options.frames = 24;
    options.gop = 12;
    options.bFrames = 2;
    options.interlaced = c.interlaced;
    options.bottomFieldFirst = c.bottomFieldFirst;
    if (c.road == Road::LiveSegment) options.container = "mpegts";
    const std::string path = (folder.path() / (c.road == Road::LiveSegment ? "segment.ts" : "video.mp4")).string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    const SequentialDecode woven = decodeSequentially(path);
    ASSERT_EQ(woven.pictures.size(), 24u);

    size_t count = 0;
    const auto shown = shownPictures(c.road, path, &count, &why);
    ASSERT_EQ(count, 24u) << why;
    std::vector<size_t> combed, missing, changed;
    for (const auto& [index, picture] : shown) {
      if (!picture) {
        missing.push_back(index);
        continue;
      }
      const Image& plain = *woven.pictures[index];
      if (!c.interlaced) {
        if (compareImages(*picture, plain).maxAbsolute != 0) changed.push_back(index);
        continue;
      }
      // Woven, the bars comb at their edges; shown whole, hardly a line differs from the next.
      EXPECT_GT(combing(plain), 0.2) << "frame " << index << ": the test video must comb when woven";
      if (combing(*picture) > 0.02) combed.push_back(index);
      // Still the same picture: the field shown first kept as decoded.
      if (firstFieldDifference(*picture, plain, c.bottomFieldFirst) > 2) changed.push_back(index);
    }
    EXPECT_THAT(missing, ::testing::IsEmpty());
    EXPECT_THAT(combed, ::testing::IsEmpty()) << "pictures shown with their fields woven";
    EXPECT_THAT(changed, ::testing::IsEmpty()) << "pictures not as decoded";
  }
}

}  // namespace
}  // namespace dk::platform::test
