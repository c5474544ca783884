// A far point of a long fragmented recording read through an Input, as the timeline asks for it:
// the decoder goes straight to the fragment that holds the time (by the file's index of
// fragments, else by halving the bytes), shows the very picture there after a few requests, and
// plays on, steps back over the fragments it skipped and reaches the end frame for frame as the
// whole file has them. Each shape as the mp4 muxer writes it, the first fragment kept in the
// movie box included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/graphics/image_compare.h"
#include "platform/media/recordings/video_decoder.h"
#include "support/temp_directory.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

constexpr int64_t kServedPieceBytes = 4096;

bool sameFarPicture(const ImagePtr& a, const ImagePtr& b) {
  if (!a || !b) return false;
  const ImageDifference d = compareImages(*a, *b);
  return d.sameSize && d.maxAbsolute == 0;
}

// Bytes in memory read as a recording over the network is: a read that needs bytes not held
// costs one request, which brings the pieces of kServedPieceBytes it touches; they are kept.
struct PieceInput {
  explicit PieceInput(std::string whole) : bytes(std::make_shared<std::string>(std::move(whole))) {}
  VideoDecoder::Input input() {
    VideoDecoder::Input in;
    in.read = [data = bytes, fetched = fetched, requests = requestCount](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
      const auto size = static_cast<int64_t>(data->size());
      if (offset >= size) return 0;
      const int64_t n = std::min(count, size - offset);
      bool fetches = false;
      for (int64_t piece = offset / kServedPieceBytes; piece <= (offset + n - 1) / kServedPieceBytes; ++piece) {
        fetches = fetched->insert(piece).second || fetches;
      }
      if (fetches) ++*requests;
      std::memcpy(out, data->data() + offset, static_cast<size_t>(n));
      return n;
    };
    in.size = [data = bytes] { return static_cast<int64_t>(data->size()); };
    return in;
  }
  int requests() const { return *requestCount; }
  std::shared_ptr<std::string> bytes;
  std::shared_ptr<std::set<int64_t>> fetched = std::make_shared<std::set<int64_t>>();
  std::shared_ptr<int> requestCount = std::make_shared<int>(0);
};

struct Shape {
  const char* what;
  const char* movflags;
  bool indexed;
  bool ownTimeScale = false;  // the segment index counts in a time scale of its own
};

// Rewrites each segment index of the file to count in twice the track's time scale (its times
// doubled with it): the same index, as a muxer with a time scale of its own writes it.
void doubleSegmentIndexTimeScale(std::string& bytes) {
  auto get = [&](size_t at, int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return v;
  };
  auto put = [&](size_t at, int n, uint64_t v) {
    for (int i = n - 1; i >= 0; --i, v >>= 8) bytes[at + static_cast<size_t>(i)] = static_cast<char>(v & 0xff);
  };
  for (const TopLevelBox& box : topLevelBoxes(bytes)) {
    if (box.type != "sidx") continue;
    const size_t content = box.at + 8;
    const int width = bytes[content] == 1 ? 8 : 4;
    put(content + 8, 4, get(content + 8, 4) * 2);
    put(content + 12, width, get(content + 12, width) * 2);
    const size_t countAt = content + 12 + 2 * static_cast<size_t>(width) + 2;
    for (uint64_t i = 0, count = get(countAt, 2); i < count; ++i) {
      const size_t duration = countAt + 2 + static_cast<size_t>(i) * 12 + 4;
      put(duration, 4, get(duration, 4) * 2);
    }
  }
}

// Half-second fragments of a tiny picture: many fragments at little cost.
const std::vector<Shape> kFragmentShapes = {
    {"mfra", "frag_keyframe+empty_moov+default_base_moof", true},
    {"sidx", "frag_keyframe+empty_moov+default_base_moof+global_sidx+skip_trailer", true},
    {"sidx in a time scale of its own", "frag_keyframe+empty_moov+default_base_moof+global_sidx+skip_trailer", true, true},
    {"no index", "frag_keyframe+empty_moov+default_base_moof+skip_trailer", false},
    {"first fragment in the movie box, mfra", "frag_keyframe", true},
    {"first fragment in the movie box, no index", "frag_keyframe+skip_trailer", false},
};

TEST(VideoDecoderFarSeekTest, AFarPointOfALongFragmentedRecordingIsReadStraightAndPlaysOnToItsEnd) {
  dk::test::TemporaryDirectory folder;
  for (const int seconds : {60, 480}) {
    TestVideoOptions options;
    options.width = 64;
    options.height = 48;
    options.fps = 10;
    options.gop = 5;
    options.bFrames = 2;
    options.frames = seconds * options.fps;
    for (const Shape& shape : kFragmentShapes) {
      SCOPED_TRACE(std::string(shape.what) + ", " + std::to_string(seconds) + " s");
      options.movflags = shape.movflags;
      const std::string path = (folder.path() / "recording.mp4").string();
      std::string why;
      ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
      VideoDecoder whole;
      ASSERT_TRUE(whole.open(path, &why)) << why;
      ASSERT_EQ(whole.frameCount(), static_cast<size_t>(options.frames));

      std::string bytes = readFile(path);
      if (shape.ownTimeScale) doubleSegmentIndexTimeScale(bytes);
      PieceInput served(std::move(bytes));
      VideoDecoder decoder;
      ASSERT_TRUE(decoder.open(served.input(), &why)) << why;
      EXPECT_FALSE(decoder.complete());
      ASSERT_GE(decoder.frameCount(), 2u);
      EXPECT_DOUBLE_EQ(decoder.frameTimes()[1], whole.frameTimes()[1]) << "the first fragment's frames";
      EXPECT_TRUE(sameFarPicture(decoder.frameAt(1), whole.frameAt(1)));
      if (shape.indexed) {
        EXPECT_DOUBLE_EQ(decoder.duration(), whole.duration()) << "the length from the index";
      }

      // Three quarters in, on a frame that is not a key frame.
      const size_t far = whole.frameCount() * 3 / 4 + 2;
      const double at = whole.frameTimes()[far];
      decoder.extendTo(at);
      const size_t index = decoder.frameIndexAt(at);
      ASSERT_LT(index, decoder.frameCount());
      EXPECT_DOUBLE_EQ(decoder.frameTimes()[index], at);
      EXPECT_TRUE(sameFarPicture(decoder.frameAt(index), whole.frameAt(far))) << "the picture there";
      const int requests = served.requests();
      EXPECT_LE(requests, shape.indexed ? 8 : 25) << "pieces read to the first picture there";
      ASSERT_FALSE(decoder.gapsAfter().empty()) << "the fragments between are not read";

      // Playing on: the table is read ahead, the pictures follow on.
      decoder.extendTo(at + 10);
      for (size_t k = far + 1; k < far + 25; ++k) {
        const size_t i = decoder.frameIndexAt(whole.frameTimes()[k]);
        ASSERT_DOUBLE_EQ(decoder.frameTimes()[i], whole.frameTimes()[k]) << "frame " << k;
        EXPECT_TRUE(sameFarPicture(decoder.frameAt(i), whole.frameAt(k))) << "frame " << k;
      }

      // One frame back from the first frame read there, across the fragments skipped.
      const size_t gap = decoder.gapsAfter().back();
      const double firstThere = decoder.frameTimes()[gap + 1];
      const auto k = static_cast<size_t>(std::find(whole.frameTimes().begin(), whole.frameTimes().end(), firstThere) -
                                         whole.frameTimes().begin());
      ASSERT_GT(k, 0u);
      ASSERT_LT(k, whole.frameCount());
      decoder.extendTo(whole.frameTimes()[k - 1]);
      const size_t before = decoder.frameIndexAt(whole.frameTimes()[k - 1]);
      EXPECT_DOUBLE_EQ(decoder.frameTimes()[before], whole.frameTimes()[k - 1]);
      EXPECT_DOUBLE_EQ(decoder.frameTimes()[before + 1], firstThere) << "the frame after it keeps its time";
      EXPECT_TRUE(sameFarPicture(decoder.frameAt(before), whole.frameAt(k - 1)));
      EXPECT_TRUE(sameFarPicture(decoder.frameAt(before + 1), whole.frameAt(k)));

      // To the end: the last frames, the file's length, and the end known.
      decoder.extendTo(whole.duration());
      EXPECT_TRUE(decoder.reachesEnd());
      EXPECT_DOUBLE_EQ(decoder.duration(), whole.duration());
      EXPECT_DOUBLE_EQ(decoder.frameTimes().back(), whole.frameTimes().back());
      EXPECT_TRUE(sameFarPicture(decoder.frameAt(decoder.frameCount() - 1), whole.frameAt(whole.frameCount() - 1)));
      if (seconds > 60) {
        EXPECT_LE(served.fetched->size(), served.bytes->size() / kServedPieceBytes / 3) << "most of it never read";
      }

      // And back to the start: the first frames are the file's.
      EXPECT_TRUE(sameFarPicture(decoder.frameAt(3), whole.frameAt(3)));
    }
  }
}

// A camera stamping its fragments with its uptime (decode times from a day in), in every shape: the
// time line starts at the first picture, the length is the pictures', and a far time is gone to
// straight and shows the very picture there, as a plain decode of the file presents it that far
// after its first.
TEST(VideoDecoderFarSeekTest, ARecordingStampedFromTheCamerasUptimeCountsFromItsFirstPicture) {
  dk::test::TemporaryDirectory folder;
  TestVideoOptions options;
  options.width = 64;
  options.height = 48;
  options.fps = 10;
  options.gop = 5;
  options.bFrames = 2;
  options.frames = 1200;
  std::vector<Shape> shapes(kFragmentShapes.begin(), kFragmentShapes.begin() + 3);  // (an empty movie box)
  shapes.push_back({"plain, an empty edit first", "", true});
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.what);
    // A day added to every time, kept as written. A fragmented file's first decode time says it
    // (the muxer would otherwise move its times back to 0), a plain file's edit list.
    options.muxerOptions = {{"output_ts_offset", "86400"}, {"avoid_negative_ts", "disabled"}};
    options.movflags = shape.movflags;
    if (options.movflags.find("frag_") != std::string::npos) {
      options.movflags += "+frag_discont";
      options.muxerOptions.emplace_back("use_editlist", "0");
    }
    const std::string path = (folder.path() / "uptime.mp4").string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    const SequentialDecode plain = decodeSequentially(path);
    ASSERT_EQ(plain.times.size(), static_cast<size_t>(options.frames));
    ASSERT_NEAR(plain.times.front(), 86400, 1e-6) << "the muxer kept the camera's times";
    const double length = options.frames / 10.0;

    VideoDecoder whole;
    ASSERT_TRUE(whole.open(path, &why)) << why;
    PieceInput served(readFile(path));
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(served.input(), &why)) << why;
    for (VideoDecoder* d : {&whole, &decoder}) {
      SCOPED_TRACE(d == &whole ? "by path" : "through an Input");
      ASSERT_GE(d->frameCount(), 2u);
      EXPECT_DOUBLE_EQ(d->frameTimes().front(), 0.0);
      EXPECT_NEAR(d->startTime(), 86400, 1e-6);
      if (d == &whole || shape.indexed) {
        EXPECT_NEAR(d->duration(), length, 1e-6) << "the length of its pictures";
      } else {
        EXPECT_LT(d->duration(), length) << "the fragments read so far";
      }
      EXPECT_TRUE(sameFarPicture(d->frameAt(d->frameIndexAt(0.35)), plain.pictures[3])) << "near the start";
      // Three quarters in, on a frame that is not a key frame.
      const size_t far = plain.times.size() * 3 / 4 + 2;
      const double at = plain.times[far] - plain.times.front();
      const int before = served.requests();
      d->extendTo(at);
      const size_t index = d->frameIndexAt(at);
      ASSERT_LT(index, d->frameCount());
      EXPECT_NEAR(d->frameTimes()[index], at, 1e-6);
      EXPECT_TRUE(sameFarPicture(d->frameAt(index), plain.pictures[far])) << "the picture there";
      if (d == &decoder) {
        EXPECT_LE(served.requests() - before, shape.indexed ? 8 : 25) << "gone to straight";
        d->extendTo(length);
        EXPECT_TRUE(d->reachesEnd());
        EXPECT_NEAR(d->duration(), length, 1e-6);
      }
    }
  }
}

// Open groups of pictures (a camera's x264 "open-gop"): the pictures shown just before a
// fragment's key frame are decoded after it, from the group before. A far seek onto one decodes
// from the key frame of the fragment before (or its own), never from the last one read near the
// start, and shows the very picture a plain decode of the file does.
TEST(VideoDecoderFarSeekTest, AFarSeekOntoALeadingPictureOfAnOpenGroupReadsTwoFragmentsNotAllBefore) {
  dk::test::TemporaryDirectory folder;
  TestVideoOptions options;
  options.width = 64;
  options.height = 48;
  options.fps = 10;
  options.gop = 20;
  options.bFrames = 3;
  options.openGop = true;
  options.frames = 4800;
  for (const Shape& shape : kFragmentShapes) {
    if (std::string(shape.movflags).find("empty_moov") == std::string::npos) continue;
    SCOPED_TRACE(shape.what);
    options.movflags = shape.movflags;
    const std::string path = (folder.path() / "open.mp4").string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(path, options, &why)) << why;
    const SequentialDecode plain = decodeSequentially(path);
    ASSERT_EQ(plain.times.size(), static_cast<size_t>(options.frames));
    // A key frame three quarters in, and the picture shown just before it: stored after it.
    const std::vector<SampleSpan> spans = samplesOf(path);
    auto key = std::find_if(spans.begin() + static_cast<std::ptrdiff_t>(spans.size() * 3 / 4), spans.end(),
                            [](const SampleSpan& s) { return s.key; });
    ASSERT_NE(key, spans.end());
    const auto shown = std::lower_bound(plain.times.begin(), plain.times.end(), key->time - 1e-9);
    ASSERT_GT(shown, plain.times.begin());
    const auto leading = static_cast<size_t>(shown - plain.times.begin()) - 1;
    const auto stored = std::find_if(spans.begin(), spans.end(), [&](const SampleSpan& s) {
      return std::abs(s.time - plain.times[leading]) < 1e-9;
    });
    ASSERT_NE(stored, spans.end());
    ASSERT_GT(stored->pos, key->pos) << "a leading picture, decoded after the key frame";

    PieceInput served(readFile(path));
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(served.input(), &why)) << why;
    const double at = plain.times[leading] - plain.times.front();
    decoder.extendTo(at);
    const size_t index = decoder.frameIndexAt(at);
    ASSERT_LT(index, decoder.frameCount());
    EXPECT_NEAR(decoder.frameTimes()[index], at, 1e-9);
    EXPECT_TRUE(sameFarPicture(decoder.frameAt(index), plain.pictures[leading])) << "the leading picture";
    const size_t pieces = served.bytes->size() / kServedPieceBytes;
    EXPECT_LE(served.requests(), shape.indexed ? 12 : 30) << "requests to the picture there";
    // (The demuxer reads 64 KiB at a time: sixteen pieces at the start, sixteen where it is placed.)
    EXPECT_LE(served.fetched->size(), pieces / 3) << "pieces read of " << pieces;
    // Played on from there: the key frame after it and the pictures after that.
    for (size_t k = leading + 1; k < leading + 8; ++k) {
      decoder.extendTo(plain.times[k] - plain.times.front());
      const size_t i = decoder.frameIndexAt(plain.times[k] - plain.times.front());
      EXPECT_TRUE(sameFarPicture(decoder.frameAt(i), plain.pictures[k])) << "frame " << k;
    }
  }
}

// Bytes read as the recording source reads them: pieces of 128 KiB, one request for each piece
// a read needs that is not held, and one for every span a reader tells it of beforehand (the
// pieces of it not held yet).
struct NetworkInput {
  static constexpr int64_t kPiece = 128 << 10;
  explicit NetworkInput(std::string whole) : bytes(std::make_shared<std::string>(std::move(whole))) {}
  VideoDecoder::Input input() {
    VideoDecoder::Input in;
    auto fetch = [data = bytes, held = held, requests = requests, received = received](int64_t from, int64_t to) {
      bool asked = false;
      for (int64_t piece = from / kPiece; piece * kPiece < std::min<int64_t>(to, static_cast<int64_t>(data->size())); ++piece) {
        if (!held->insert(piece).second) continue;
        asked = true;
        *received += std::min<int64_t>(kPiece, static_cast<int64_t>(data->size()) - piece * kPiece);
      }
      if (asked) ++*requests;
    };
    in.read = [data = bytes, fetch](int64_t offset, uint8_t* out, int64_t count) -> int64_t {
      const auto size = static_cast<int64_t>(data->size());
      if (offset >= size) return 0;
      const int64_t n = std::min({count, size - offset, (offset / kPiece + 1) * kPiece - offset});
      fetch(offset, offset + n);
      std::memcpy(out, data->data() + offset, static_cast<size_t>(n));
      return n;
    };
    in.size = [data = bytes] { return static_cast<int64_t>(data->size()); };
    in.prefetch = [fetch](int64_t offset, int64_t length) { fetch(offset, offset + length); };
    return in;
  }
  std::shared_ptr<std::string> bytes;
  std::shared_ptr<std::set<int64_t>> held = std::make_shared<std::set<int64_t>>();
  std::shared_ptr<int> requests = std::make_shared<int>(0);
  std::shared_ptr<int64_t> received = std::make_shared<int64_t>(0);
};

// Without an index, a far seek into a recording of the weight cameras write (2 s fragments of a
// few hundred KB, or of several MB) costs a few requests: each probe one request, as long as a
// fragment weighs, and a probe that finds no fragment's header does not narrow the wrong way.
TEST(VideoDecoderFarSeekTest, AFarSeekWithoutAnIndexCostsAFewRequestsAtTheWeightsCamerasWrite) {
  struct Case {
    const char* what;
    int seconds;
    int fillerBytes;  // per picture (ten a second)
    int mostRequests;
    int64_t mostBytes;
  };
  const Case cases[] = {
      {"10 min in 2 s fragments of 350 KB", 600, 17 << 10, 10, 4LL << 20},
      {"40 s in 2 s fragments of 5.6 MB", 40, 280 << 10, 12, 28LL << 20},
  };
  dk::test::TemporaryDirectory folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestVideoOptions options;
    options.width = 64;
    options.height = 48;
    options.fps = 10;
    options.gop = 20;
    options.bFrames = 2;
    options.frames = c.seconds * options.fps;
    const std::string source = (folder.path() / "source.mp4").string();
    const std::string path = (folder.path() / "recording.mp4").string();
    std::string why;
    ASSERT_TRUE(writeTestVideo(source, options, &why)) << why;
    ASSERT_TRUE(remuxTestFile(source, path, "frag_keyframe+empty_moov+default_base_moof+skip_trailer", &why,
                              c.fillerBytes))
        << why;
    VideoDecoder whole;
    ASSERT_TRUE(whole.open(path, &why)) << why;
    ASSERT_EQ(whole.frameCount(), static_cast<size_t>(options.frames));

    NetworkInput served(readFile(path));
    VideoDecoder decoder;
    ASSERT_TRUE(decoder.open(served.input(), &why)) << why;
    const int opening = *served.requests;
    const int64_t openingBytes = *served.received;
    const size_t far = whole.frameCount() * 3 / 4 + 3;  // 7:30 of 10 minutes
    const double at = whole.frameTimes()[far];
    decoder.extendTo(at);
    const size_t index = decoder.frameIndexAt(at);
    ASSERT_LT(index, decoder.frameCount());
    EXPECT_DOUBLE_EQ(decoder.frameTimes()[index], at);
    EXPECT_TRUE(sameFarPicture(decoder.frameAt(index), whole.frameAt(far))) << "the picture there";
    EXPECT_LE(*served.requests - opening, c.mostRequests) << "requests to the picture there";
    EXPECT_LE(*served.received - openingBytes, c.mostBytes) << "bytes to the picture there";
  }
}

}  // namespace
}  // namespace dk::platform::test
