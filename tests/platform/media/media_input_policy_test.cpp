// Each path that opens media opens only what its policy names, whatever the bytes claim: live
// segments are a camera's video in MPEG-TS within a camera's bounds, recordings and clips are MPEG-4 files.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cloud-sim/recording_video.h"
#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/recordings/mp4_check.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/media/core/media_input_policy.h"
#include "platform/net/test_http_server.h"
#include "support/temp_directory.h"
#include "test_videos.h"

extern "C" {
#include <libavformat/avformat.h>
}

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

// Every picture of a live segment decoded one at a time, or the reason it stops.
struct LiveDecode {
  std::vector<LiveSegmentFrame> frames;
  std::string why;
  int64_t decodedBytes = 0;
};
LiveDecode decodeLive(const std::string& bytes, int64_t budget = LivePictureLimits::segmentBudget(2)) {
  LiveDecode out;
  LiveSegmentDecoder decoder;
  if (!decoder.open(std::make_shared<const std::string>(bytes), budget, &out.why)) return out;
  for (;;) {
    LiveSegmentFrame frame;
    const auto step = decoder.next(frame, &out.why);
    if (step != LiveSegmentDecoder::Step::Picture) break;
    out.frames.push_back(std::move(frame));
  }
  out.decodedBytes = decoder.decodedBytes();
  return out;
}

std::string testSegment(const dk::test::TemporaryDirectory& folder, TestVideoOptions options) {
  options.container = "mpegts";
  const std::string path = (folder.path() / "segment.ts").string();
  std::string why;
  if (!writeTestVideo(path, options, &why)) {
    ADD_FAILURE() << why;
    return {};
  }
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(MediaInputPolicyTest, ALiveSegmentPlaysOnlyWhenItIsACamerasVideoInMpegTs) {
  std::string why;
  const auto small = decodeLive(video("mpegts", false));
  ASSERT_EQ(small.frames.size(), 4u) << small.why;  // two seconds at two frames a second
  EXPECT_DOUBLE_EQ(small.frames[3].offset, 1.5);
  EXPECT_EQ(small.why, "");

  // A camera's H.264 with B-frames: pictures in presentation order.
  const auto h264 = decodeLive(video("mpegts", true));
  ASSERT_EQ(h264.frames.size(), 4u) << h264.why;
  for (size_t i = 1; i < h264.frames.size(); ++i) EXPECT_GT(h264.frames[i].offset, h264.frames[i - 1].offset);

  dk::test::TemporaryDirectory folder;
  TestVideoOptions mpeg2;
  mpeg2.encoder = "mpeg2video";
  mpeg2.bFrames = 0;
  mpeg2.frames = 4;
  EXPECT_TRUE(decodeLive(testSegment(folder, mpeg2)).frames.empty());
  EXPECT_EQ(decodeLive(testSegment(folder, mpeg2)).why, "a video codec not allowed");

  const auto mp4 = decodeLive(video("mp4", false));  // MPEG-4 file bytes, not a segment
  EXPECT_TRUE(mp4.frames.empty());
  EXPECT_FALSE(mp4.why.empty());
}

// Segments that ask for more pictures than a camera's stream has: each is refused when it
// passes a bound, before the picture past it is made.
TEST(MediaInputPolicyTest, ALiveSegmentPastItsPictureBoundsIsRefused) {
  dk::test::TemporaryDirectory folder;
  struct Row {
    const char* what;
    TestVideoOptions options;
    int64_t budget;
    size_t picturesBeforeRefusal;
  };
  auto options = [](int width, int height, int frames, int fps) {
    TestVideoOptions o;
    o.encoder = "mpeg4";
    o.bFrames = 0;
    o.width = width;
    o.height = height;
    o.frames = frames;
    o.fps = fps;
    o.gop = frames;
    return o;
  };
  const int64_t small = 96 * 64 * 4;
  const Row rows[] = {
      {"4096 x 4096 pictures", options(4096, 4096, 2, 30), LivePictureLimits::segmentBudget(2), 0},
      {"a side past 4096", options(4112, 16, 2, 30), LivePictureLimits::segmentBudget(2), 0},
      {"more than 600 pictures", options(16, 16, 601, 30), LivePictureLimits::segmentBudget(30), 600},
      {"more bytes than its budget", options(96, 64, 8, 4), 5 * small, 5},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string segment = testSegment(folder, row.options);
    ASSERT_FALSE(segment.empty());
    const auto decoded = decodeLive(segment, row.budget);
    EXPECT_EQ(decoded.frames.size(), row.picturesBeforeRefusal);
    EXPECT_EQ(decoded.why, "a picture out of bounds");
    EXPECT_LE(decoded.decodedBytes, row.budget);
  }
  // The same small pictures within the budget all play.
  const auto within = decodeLive(testSegment(folder, options(96, 64, 8, 4)), 8 * small);
  EXPECT_EQ(within.frames.size(), 8u) << within.why;
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

// What the clip check lets through before a download is kept: only a regular file of our own
// (no link, no special file), MPEG-4 with its index, a video stream, and every sample inside the
// file, wherever the index lies.
TEST(MediaInputPolicyTest, TheClipCheckKeepsOnlyACompleteMpeg4VideoInARegularFile) {
  dk::test::TemporaryDirectory folder;
  std::string why;
  const std::string indexLast = (folder.path() / "index-last.mp4").string();
  const std::string indexFirst = (folder.path() / "index-first.mp4").string();
  TestVideoOptions options;
  options.frames = 30;
  ASSERT_TRUE(writeTestVideo(indexLast, options, &why)) << why;
  options.indexFirst = true;
  ASSERT_TRUE(writeTestVideo(indexFirst, options, &why)) << why;
  const std::string lastBytes = readFile(indexLast), firstBytes = readFile(indexFirst);
  ASSERT_LT(firstBytes.find("moov"), firstBytes.find("mdat")) << "the index comes first";
  ASSERT_GT(lastBytes.find("moov"), lastBytes.find("mdat")) << "the index comes last";

  // The handler says sound: a track, samples, but no video.
  std::string sound = lastBytes;
  const size_t handler = sound.find("hdlr");
  ASSERT_NE(handler, std::string::npos);
  const size_t vide = sound.find("vide", handler);
  ASSERT_NE(vide, std::string::npos);
  sound.replace(vide, 4, "soun");

  auto write = [&](const std::string& name, const std::string& bytes) {
    const std::string path = (folder.path() / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  };
  const std::string link = (folder.path() / "link.mp4").string();
  std::filesystem::create_symlink(indexLast, link);
  const std::string fifo = (folder.path() / "fifo.mp4").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string directory = (folder.path() / "directory.mp4").string();
  std::filesystem::create_directory(directory);

  struct Case {
    const char* what;
    std::string path;
    int64_t code;  // 0: kept
  };
  const std::vector<Case> cases = {
      {"a whole clip, index last", indexLast, 0},
      {"a whole clip, index first", indexFirst, 0},
      {"index first, cut inside the media", write("cut-media.mp4", firstBytes.substr(0, firstBytes.size() * 2 / 3)),
       kMp4Truncated},
      {"index first, its last sample one byte short", write("cut-one.mp4", firstBytes.substr(0, firstBytes.size() - 1)),
       kMp4Truncated},
      {"index last, cut before the index", write("cut-index.mp4", lastBytes.substr(0, lastBytes.size() / 2)),
       kMp4NotReadable},
      {"a sound track only", write("sound.mp4", sound), kMp4NoVideo},
      {"a link to a whole clip", link, kMp4NotReadable},
      {"a named pipe", fifo, kMp4NotReadable},
      {"a directory", directory, kMp4NotReadable},
      {"no file", (folder.path() / "none.mp4").string(), kMp4NotReadable},
      {"a web page", write("page.mp4", "<html><body>sign in</body></html>"), kMp4NotReadable},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ErrorPtr error = checkCompleteMp4Video(c.path);
    if (c.code == 0) {
      EXPECT_EQ(error, nullptr) << error->description();
    } else {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->domain(), kMp4CheckErrorDomain);
      EXPECT_EQ(error->code(), c.code) << error->description();
    }
  }
}

// Recordings on disk may be read through the file protocol alone, streamed ones through none:
// whatever address reaches FFmpeg, nothing else is opened, a web address least of all.
TEST(MediaInputPolicyTest, EachRecordingPathOpensOnlyTheProtocolsItNames) {
  dk::test::TemporaryDirectory folder;
  const std::string path = writeFile(folder, "good.mp4", video("mp4", false));
  dk::test::TestHttpServer server;
  dk::test::CannedResponse reply;
  reply.headers = {{"Content-Type", "video/mp4"}};
  reply.body = readFile(path);
  server.route("/good.mp4", reply);
  const std::string web = server.baseURL() + "/good.mp4";
  struct Case {
    const char* what;
    const MediaInputPolicy* policy;
    std::string url;
    bool opens;
  };
  const std::vector<Case> cases = {
      {"on disk, a path", &kRecordingInputPolicy, path, true},
      {"on disk, a file address", &kRecordingInputPolicy, "file:" + path, true},
      {"on disk, a web address", &kRecordingInputPolicy, web, false},
      {"on disk, a secure web address", &kRecordingInputPolicy, "https://127.0.0.1:1/good.mp4", false},
      {"streamed, a path", &kStreamedRecordingInputPolicy, path, false},
      {"streamed, a file address", &kStreamedRecordingInputPolicy, "file:" + path, false},
      {"streamed, a web address", &kStreamedRecordingInputPolicy, web, false},
      {"streamed, a secure web address", &kStreamedRecordingInputPolicy, "https://127.0.0.1:1/good.mp4", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AVFormatContext* format = nullptr;
    const bool opened = openMediaInput(&format, c.url.c_str(), *c.policy);
    EXPECT_EQ(opened, c.opens);
    if (opened) avformat_close_input(&format);
  }
  EXPECT_TRUE(server.requests().empty()) << "nothing was fetched from the web";
}

}  // namespace
}  // namespace dk::platform::test
