// Reading composition offsets straight from a file's boxes: what a fragmented file's track runs
// say, bounded by what the caller allows, and nothing from a table that does not add up.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/media/recordings/mp4_boxes.h"
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

// Fragments read one at a time, and where the last one is by the file's index of fragments (up
// front or at its end): an index that does not point at a fragment, or runs off the file, is no
// use, and reading one fragment reads nothing of the others.
TEST(Mp4BoxesTest, FragmentsAreReadOneByOneAndTheLastIsFoundByTheFilesIndexOnly) {
  dk::test::TemporaryDirectory folder;
  struct Case {
    const char* movflags;
    const char* index;
  };
  for (const Case& c : {Case{"frag_keyframe+empty_moov+default_base_moof+skip_trailer", ""},
                        Case{"frag_keyframe+empty_moov+default_base_moof+global_sidx+skip_trailer", "sidx"},
                        Case{"frag_keyframe+empty_moov+default_base_moof", "mfro"}}) {
    SCOPED_TRACE(c.movflags);
    const std::string path = (folder.path() / "fragmented.mp4").string();
    TestVideoOptions options;
    options.frames = 40;
    options.gop = 10;
    options.movflags = c.movflags;
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    std::ifstream in(path, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto size = static_cast<int64_t>(whole.size());
    const auto lastMoof = static_cast<int64_t>(whole.rfind("moof")) - 4;

    auto fragments = mp4Fragments(readerOf(whole), size, 1, 1 << 20);
    ASSERT_TRUE(fragments);
    EXPECT_EQ(fragments->lastFragment, *c.index ? lastMoof : -1);
    // Every fragment in the index, by time; and each found from any place before it by its header.
    std::vector<int64_t> moofs;
    for (size_t at = whole.find("moof"); at != std::string::npos; at = whole.find("moof", at + 4)) {
      moofs.push_back(static_cast<int64_t>(at) - 4);
    }
    ASSERT_EQ(moofs.size(), 4u);
    if (*c.index) {
      ASSERT_TRUE(fragments->index);
      const auto& index = fragments->index->entries;
      ASSERT_EQ(index.size(), moofs.size());
      for (size_t i = 0; i < moofs.size(); ++i) {
        EXPECT_EQ(index[i].moof, moofs[i]);
        if (i > 0) {
          EXPECT_GT(index[i].time, index[i - 1].time);
        }
      }
    } else {
      EXPECT_FALSE(fragments->indexed());
    }
    for (size_t i = 0; i < moofs.size(); ++i) {
      EXPECT_EQ(mp4FindFragment(readerOf(whole), size, i == 0 ? fragments->next : moofs[i - 1] + 1, size, 1 << 20), moofs[i]);
    }
    EXPECT_EQ(mp4FindFragment(readerOf(whole), size, moofs.back() + 1, size, 1 << 20), -1) << "none after the last";
    std::vector<Mp4SampleOffset> last;
    if (*c.index) {
      ASSERT_TRUE(mp4FragmentAt(*fragments, readerOf(whole), lastMoof, 1000, 1 << 20, &last));
      EXPECT_EQ(last.size(), 10u);
    }
    std::vector<Mp4SampleOffset> samples;
    int64_t furthest = 0;
    const Mp4Read counting = [&](int64_t offset, uint8_t* out, int64_t count) {
      furthest = std::max(furthest, offset + count);
      return readerOf(whole)(offset, out, count);
    };
    ASSERT_TRUE(mp4NextFragment(*fragments, counting, 1000, 1 << 20, &samples));
    EXPECT_EQ(samples.size(), 10u);
    EXPECT_LT(furthest, static_cast<int64_t>(whole.find("moof", static_cast<size_t>(fragments->next))));
    for (int more = 0; more < 5 && !fragments->done; ++more) {
      ASSERT_TRUE(mp4NextFragment(*fragments, readerOf(whole), 1000, 1 << 20, &samples));
    }
    EXPECT_TRUE(fragments->done);
    ASSERT_EQ(samples.size(), 40u);
    if (!*c.index) continue;
    EXPECT_EQ(last.front().decodeTime, samples[30].decodeTime);

    // The index broken: its fragment sizes (or the random access box's own length) off.
    std::string broken = whole;
    const size_t at = broken.find(c.index) + 4;
    if (std::string(c.index) == "sidx") {
      broken[at + 32] = static_cast<char>(broken[at + 32] ^ 0x40);  // the first fragment's size
    } else {
      broken[at + 4] = '\x7f';  // the random access box's length
    }
    fragments = mp4Fragments(readerOf(broken), size, 1, 1 << 20);
    ASSERT_TRUE(fragments);
    if (fragments->lastFragment >= 0) {
      EXPECT_FALSE(mp4FragmentAt(*fragments, readerOf(broken), fragments->lastFragment, 1000, 1 << 20, &last));
    }
  }
}

}  // namespace
}  // namespace dk::platform::test
