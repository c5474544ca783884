// Reading composition offsets straight from a file's boxes: what a fragmented file's track runs
// say, bounded by what the caller allows, and nothing from a table that does not add up.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/media/mp4_boxes.h"
#include "support/temp_directory.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

Mp4Read readerOf(const std::string& bytes) {
  return [&bytes](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
    const auto size = static_cast<int64_t>(bytes.size());
    if (offset >= size) return 0;
    const int64_t n = std::min(count, size - offset);
    std::memcpy(out, bytes.data() + offset, static_cast<size_t>(n));
    return n;
  };
}

TEST(Mp4BoxesTest, AFragmentedFilesSamplesAreReadWithinTheirBoundsAndNotFromBrokenRuns) {
  dk::test::TemporaryDirectory folder;
  const std::string path = (folder.path() / "fragmented.mp4").string();
  TestVideoOptions options;
  options.frames = 40;
  options.gop = 10;
  options.movflags = "frag_keyframe+empty_moov+default_base_moof";
  std::string why;
  ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
  std::ifstream in(path, std::ios::binary);
  const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto size = static_cast<int64_t>(whole.size());

  auto table = mp4CompositionOffsets(readerOf(whole), size, 1, 1000, 1 << 20);
  ASSERT_TRUE(table);
  ASSERT_EQ(table->size(), 40u);
  int keys = 0;
  for (const auto& sample : *table) {
    EXPECT_TRUE(sample.fragment);
    EXPECT_LT(sample.position, size);
    keys += sample.key ? 1 : 0;
  }
  EXPECT_EQ(keys, 4) << "a key frame every ten";
  EXPECT_FALSE(mp4CompositionOffsets(readerOf(whole), size, 1, 39, 1 << 20)) << "more samples than allowed";
  EXPECT_FALSE(mp4CompositionOffsets(readerOf(whole), size, 2, 1000, 1 << 20)) << "no such track";

  // A file cut inside its last fragment (still being uploaded): the whole fragments only.
  const size_t lastMoof = whole.rfind("moof") - 4;
  const std::string cut = whole.substr(0, lastMoof + 20);
  table = mp4CompositionOffsets(readerOf(cut), static_cast<int64_t>(cut.size()), 1, 1000, 1 << 20);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->size(), 30u);

  // A track run claiming four billion samples is refused, not allocated.
  std::string broken = whole;
  const size_t trun = broken.find("trun");
  ASSERT_NE(trun, std::string::npos);
  for (size_t i = 0; i < 4; ++i) broken[trun + 8 + i] = '\xff';
  EXPECT_FALSE(mp4CompositionOffsets(readerOf(broken), size, 1, 1 << 20, 1 << 20));
}

}  // namespace
}  // namespace dk::platform::test
