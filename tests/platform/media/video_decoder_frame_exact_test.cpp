// The decoder against real encodings: B-frames in open and closed groups of pictures, MPEG-4
// Part 2 with B-frames, edit lists. Whatever order frames are asked in, the picture at a slot is
// the one a plain front-to-back decode presents at that time, and the times and the length are
// the container's, whether the file is opened by path or read through an Input (as a recording
// read over the network is).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "platform/graphics/image_compare.h"
#include "platform/media/recordings/video_decoder.h"
#include "support/temp_directory.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

enum class Opening { Path, Input };

class FrameExactTest : public ::testing::TestWithParam<Opening> {
 protected:
  // Writes the video, opens it both ways and checks the frame table against the plain decode.
  void make(const TestVideoOptions& options) {
    path = (folder.path() / "video.mp4").string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    reference = decodeSequentially(path);
    ASSERT_GE(reference.times.size(), 2u);
    ASSERT_TRUE(open(&why)) << why;
    // A fragmented file read through an Input starts with its first fragment; the rest as asked for.
    decoder.extendTo(reference.times.back());
    EXPECT_TRUE(decoder.complete());
    ASSERT_EQ(decoder.frameCount(), reference.times.size());
    // (The decoder's time line starts at the first picture.)
    for (size_t i = 0; i < reference.times.size(); ++i) {
      EXPECT_NEAR(decoder.frameTimes()[i], reference.times[i] - reference.times.front(), 1e-9) << "frame " << i;
    }
  }

  bool open(std::string* why) {
    if (GetParam() == Opening::Path) return decoder.open(path, why);
    std::ifstream in(path, std::ios::binary);
    bytes = std::make_shared<std::string>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    VideoDecoder::Input input;
    input.read = [data = bytes](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
      const auto size = static_cast<int64_t>(data->size());
      if (offset >= size) return 0;
      const int64_t n = std::min(count, size - offset);
      std::memcpy(out, data->data() + offset, static_cast<size_t>(n));
      return n;
    };
    input.size = [data = bytes] { return static_cast<int64_t>(data->size()); };
    return decoder.open(std::move(input), why);
  }

  // The slots whose picture is not the one expected (by default the reference's own), asking
  // for them in `order`.
  std::vector<size_t> wrongFrames(const std::vector<size_t>& order,
                                  const std::function<ImagePtr(size_t)>& expected = nullptr) {
    std::vector<size_t> wrong;
    for (size_t i : order) {
      const ImagePtr picture = decoder.frameAt(i);
      const ImagePtr want = expected ? expected(i) : reference.pictures[i];
      if (!picture || compareImages(*picture, *want).maxAbsolute != 0) wrong.push_back(i);
    }
    std::sort(wrong.begin(), wrong.end());
    wrong.erase(std::unique(wrong.begin(), wrong.end()), wrong.end());
    return wrong;
  }

  // A camera that drops and repeats pictures, with B-frames, in the muxer's `movflags`: the table
  // and every access as the plain decode has them.
  void expectVariableRateExact(const std::string& movflags) {
    TestVideoOptions options;
    options.frames = 60;
    options.gop = 15;
    options.frameMilliseconds = {40, 100, 70, 130, 40, 250, 90, 60};
    options.movflags = movflags;
    make(options);
    expectEveryAccessExact();
  }

  // Random access, playback, fast playback (every third frame) and stepping back.
  void expectEveryAccessExact(const std::function<ImagePtr(size_t)>& expected = nullptr) {
    const size_t n = decoder.frameCount();
    std::vector<size_t> shuffled(n), forward(n), skipping, backward(n);
    for (size_t i = 0; i < n; ++i) shuffled[i] = forward[i] = backward[i] = i;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    std::reverse(backward.begin(), backward.end());
    for (size_t i = 1; i < n; i += 3) skipping.push_back(i);
    EXPECT_THAT(wrongFrames(shuffled, expected), ::testing::IsEmpty()) << "random access";
    EXPECT_THAT(wrongFrames(forward, expected), ::testing::IsEmpty()) << "playback";
    EXPECT_THAT(wrongFrames(skipping, expected), ::testing::IsEmpty()) << "fast playback";
    EXPECT_THAT(wrongFrames(backward, expected), ::testing::IsEmpty()) << "stepping back";
  }

  dk::test::TemporaryDirectory folder;
  std::string path;
  std::shared_ptr<std::string> bytes;
  SequentialDecode reference;
  VideoDecoder decoder;
};

TEST_P(FrameExactTest, H264WithBFramesInOpenGroupsOfPictures) {
  TestVideoOptions options;
  options.openGop = true;
  options.frames = 50;
  make(options);
  expectEveryAccessExact();
  EXPECT_DOUBLE_EQ(decoder.frameTimes().front(), 0.0);
  EXPECT_NEAR(decoder.duration(), 5.0, 1e-9);
  EXPECT_NEAR(decoder.duration(), reference.movieDuration, 1e-6);
}

TEST_P(FrameExactTest, H264WithBFramesInClosedGroupsOfPictures) {
  TestVideoOptions options;
  options.frames = 30;
  make(options);
  expectEveryAccessExact();
  EXPECT_NEAR(decoder.duration(), 3.0, 1e-9);
}

TEST_P(FrameExactTest, Mpeg4PartTwoWithBFrames) {
  TestVideoOptions options;
  options.encoder = "mpeg4";
  options.bFrames = 2;
  options.frames = 40;
  make(options);
  expectEveryAccessExact();
  EXPECT_NEAR(decoder.duration(), 4.0, 1e-9);
  EXPECT_NEAR(decoder.duration(), reference.movieDuration, 1e-6);
}

// A file whose edit list opens with an empty stretch (its times start at 3.5 s): the time line
// starts at its first picture, and the length is that of its pictures.
TEST_P(FrameExactTest, AnEmptyLeadingEditStartsTheTimeLineAtTheFirstFrame) {
  TestVideoOptions options;
  options.startSeconds = 3.5;
  options.frames = 24;
  make(options);
  expectEveryAccessExact();
  EXPECT_NEAR(reference.times.front(), 3.5, 1e-9);
  EXPECT_DOUBLE_EQ(decoder.frameTimes().front(), 0.0);
  EXPECT_NEAR(decoder.duration(), 2.4, 1e-9);
  EXPECT_NEAR(decoder.duration(), reference.movieDuration - 3.5, 1e-6);
  EXPECT_NEAR(decoder.startTime(), 3.5, 1e-9);
  EXPECT_EQ(decoder.frameIndexAt(0.05), 0u);
  EXPECT_EQ(decoder.frameIndexAt(0.1), 1u);
}

TEST_P(FrameExactTest, AFrameTheEditListCutsIsNotShown) {
  // Without packet lengths the muxer's edit list ends where the last frame starts: the
  // container presents one frame fewer than were encoded, and the file is that much shorter.
  TestVideoOptions options;
  options.encoder = "mpeg4";
  options.bFrames = 0;
  options.fps = 2;
  options.frames = 12;
  options.packetDurations = false;
  make(options);
  expectEveryAccessExact();
  EXPECT_NEAR(decoder.duration(), reference.movieDuration, 1e-6);
  EXPECT_NEAR(decoder.duration(), reference.times.back() + 0.5, 1e-6);
}

TEST_P(FrameExactTest, FastPlaybackCarriesOnForwardInsteadOfSeekingBackForEachFrame) {
  TestVideoOptions options;
  options.frames = 48;  // four groups of twelve
  make(options);
  std::vector<size_t> everyFourth;
  for (size_t i = 0; i < 48; i += 4) everyFourth.push_back(i);
  EXPECT_THAT(wrongFrames(everyFourth), ::testing::IsEmpty());
  const VideoDecoder::Counters work = decoder.counters();
  EXPECT_LE(work.seeks, 4) << "at most one jump to each group's key frame";
  EXPECT_GT(work.packetsSkipped, 0) << "pictures nothing refers to are left out";
  EXPECT_LT(work.packetsDecoded, 48);
}

// A camera that drops and repeats pictures: each frame lasts its own time, with B-frames
// reordered. Every time in the table is one the container presents, and every slot shows the
// picture of that time, whichever way it is reached.
TEST_P(FrameExactTest, VariableFrameRateWithBFramesShowsEachPictureAtItsOwnTime) { expectVariableRateExact(""); }

// Fragmented files as cameras upload them and packagers write them: with and without an index
// of the fragments up front, offsets from each fragment or from the file's start.
TEST_P(FrameExactTest, FragmentedFilesShowEachPictureAtItsOwnTime) {
  for (const char* flags : {"frag_keyframe+empty_moov+default_base_moof",
                            "frag_keyframe+empty_moov+default_base_moof+global_sidx", "frag_keyframe+empty_moov"}) {
    SCOPED_TRACE(flags);
    expectVariableRateExact(flags);
  }
}

// Composition offsets below zero (the muxer's "negative_cts_offsets" writes version-1 tables),
// with B-frames at a variable frame rate: the index after the media or before it; fragmented with
// the first fragment inside the movie box (with or without a random access box at the end, whose
// times the muxer writes on another time line), or after an empty one, indexed up front. Each
// offset is read as the signed number it is, and the fragments' times follow the movie box's.
TEST_P(FrameExactTest, NegativeCompositionOffsetsShowEachPictureAtItsOwnTime) {
  for (const char* flags : {"negative_cts_offsets", "negative_cts_offsets+faststart", "frag_keyframe+negative_cts_offsets",
                            "frag_keyframe+negative_cts_offsets+skip_trailer",
                            "frag_keyframe+empty_moov+default_base_moof+negative_cts_offsets",
                            "frag_keyframe+empty_moov+default_base_moof+global_sidx+negative_cts_offsets"}) {
    SCOPED_TRACE(flags);
    expectVariableRateExact(flags);
  }
}

// A frame sought is decoded from the key frame of its own group of pictures: a time that is
// itself a key frame starts there, not a group early, and times just before and after it start
// at the key frame before them. Counted in packets handed to the decoder (or passed over), from a
// fresh open, and after the first frame was shown (as a prepared item shows it).
TEST_P(FrameExactTest, ASeekDecodesFromTheKeyFrameOfItsOwnGroup) {
  struct Case {
    const char* name;
    double time;
    double keyTime;  // the key frame its group starts at
  };
  const Case cases[] = {
      {"a key frame", 3.0, 3.0},
      {"just after a key frame", 3.1, 3.0},
      {"just before a key frame", 2.9, 2.0},
      {"the last frame", 5.9, 5.0},
  };
  for (bool closedGop : {true, false}) {
    TestVideoOptions options;
    options.width = 160;
    options.height = 96;
    options.fps = 10;
    options.frames = 60;  // six groups of ten
    options.gop = 10;
    options.openGop = !closedGop;
    make(options);
    for (bool afterFirst : {false, true}) {
      for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (closedGop ? ", closed groups" : ", open groups") +
                     (afterFirst ? ", after the first frame" : ""));
        std::string why;
        ASSERT_TRUE(open(&why)) << why;
        if (afterFirst) {
          ASSERT_TRUE(decoder.frameAt(0));
        }
        const VideoDecoder::Counters before = decoder.counters();
        const size_t index = decoder.frameIndexAt(c.time);
        const ImagePtr picture = decoder.frameAt(index);
        ASSERT_TRUE(picture);
        EXPECT_EQ(compareImages(*picture, *reference.pictures[index]).maxAbsolute, 0);
        // The key frame up to the frame, and the B-frames decoded before it is out.
        const long fromKey = std::lround((c.time - c.keyTime) * options.fps) + 1;
        const long work = decoder.counters().packetsDecoded + decoder.counters().packetsSkipped -
                          before.packetsDecoded - before.packetsSkipped;
        EXPECT_GE(work, fromKey);
        EXPECT_LE(work, fromKey + options.bFrames + 1);
      }
    }
  }
}

// A clip a cloud cut with stream copy, starting on a frame that is not a key frame: the pictures
// before its first key frame (and those shown before it that are predicted from the group before)
// have lost their references. Their slots hold the first whole picture; every other slot shows the
// picture a plain decode (which starts at the first key frame) shows at its time, whichever way
// it is reached: never a grey concealed picture, never one of another group of pictures.
TEST_P(FrameExactTest, AClipCutOnANonKeyFrameShowsOnlyWholePictures) {
  struct Cut {
    const char* name;
    bool openGop;
    int bFrames;
    size_t firstPacket;  // in decode order
  };
  const std::vector<Cut> cuts = {
      {"closed groups, B-frames, cut early in a group", false, 3, 2},
      {"closed groups, B-frames, cut late in a group", false, 3, 9},
      {"open groups: the first key frame's leading B-frames are lost too", true, 3, 5},
      {"no B-frames", false, 0, 7},
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.name);
    TestVideoOptions options;
    options.frames = 48;
    options.gop = 12;
    options.bFrames = cut.bFrames;
    options.openGop = cut.openGop;
    const std::string source = (folder.path() / "source.mp4").string();
    path = (folder.path() / "clip.mp4").string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(source, options, &why)) << why;
    ASSERT_TRUE(cutTestClip(source, path, cut.firstPacket, &why)) << why;
    const std::vector<SampleSpan> samples = samplesOf(path);
    ASSERT_FALSE(samples.empty());
    ASSERT_FALSE(samples.front().key) << "the clip must start on a frame that is not a key frame";
    double firstKey = -1;
    for (const SampleSpan& s : samples) {
      if (s.key) {
        firstKey = s.time;
        break;
      }
    }
    reference = decodeSequentially(path);
    ASSERT_GE(reference.times.size(), 12u);
    // The plain decode shows nothing before the first key frame.
    ASSERT_NEAR(reference.times.front(), firstKey, 1e-9);
    ASSERT_TRUE(open(&why)) << why;
    const std::vector<double>& times = decoder.frameTimes();
    ASSERT_GE(times.size(), reference.times.size());
    // From the first whole picture on, the table is the plain decode's.
    const size_t lead = times.size() - reference.times.size();
    for (size_t i = 0; i < reference.times.size(); ++i) {
      ASSERT_NEAR(times[lead + i], reference.times[i], 1e-9) << "frame " << lead + i;
    }
    SCOPED_TRACE(std::to_string(lead) + " frames before the first whole one");
    expectEveryAccessExact([&](size_t i) { return reference.pictures[i < lead ? 0 : i - lead]; });
  }
}

INSTANTIATE_TEST_SUITE_P(ByPathAndOverInput, FrameExactTest, ::testing::Values(Opening::Path, Opening::Input),
                         [](const auto& info) { return info.param == Opening::Path ? "Path" : "Input"; });

}  // namespace
}  // namespace dk::platform::test
