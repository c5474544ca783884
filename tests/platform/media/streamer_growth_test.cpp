// An open recording that grows while it plays: the streamer keeps what it read of the earlier
// take, reads only the new part and the new index, plays on into the new part frame for frame,
// and a seek past what it has fetched goes there. A take the cloud rewrote is not mixed with
// the old one.
#include <cstdio>

#include "streamer_fixture.h"

namespace dk::platform::test {
namespace {

constexpr int64_t kChunk = 4096;

// Where the media box of an MP4 file ends (its index follows); 0 when there is none.
int64_t mediaEndOf(const std::string& file) {
  size_t at = 0;
  while (at + 8 <= file.size()) {
    uint64_t size = 0;
    for (size_t i = 0; i < 4; ++i) size = (size << 8) | static_cast<uint8_t>(file[at + i]);
    if (size < 8) return 0;
    if (file.compare(at + 4, 4, "mdat") == 0) return static_cast<int64_t>(at + size);
    at += size;
  }
  return 0;
}

class GrowingRecordingTest : public StreamerTest {
 protected:
  void SetUp() override {
    StreamerTest::SetUp();
    StreamerEnvironment environment{sim->baseUrl()};
    environment.limits.chunkBytes = kChunk;
    StreamerEnvironment::install(environment);
    sim->updateWorld([](cloudsim::World& w) { w.now += 30; });  // forty seconds recorded so far
  }
  std::string path() const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(openId) + ".mp4";
  }
  // Body bytes the cloud sent for `requests`, ranges of a file of `size`; -1 when one asked for
  // the whole file.
  static int64_t bytesServed(const std::vector<cloudsim::RecordedRequest>& requests, int64_t size) {
    int64_t sum = 0;
    for (const auto& r : requests) {
      long long a = 0, b = 0;
      if (std::sscanf(r.header("Range").c_str(), "bytes=%lld-%lld", &a, &b) != 2) return -1;
      sum += std::min<int64_t>(b, size - 1) - a + 1;
    }
    return sum;
  }
  // The recording as the cloud has it now: its bytes in `file`, decoded independently.
  std::unique_ptr<VideoDecoder> currentTake(std::string& file) {
    auto decoder = referenceDecoder(openId);
    if (referenceFile) file = referenceFile->bytes();
    return decoder;
  }
  void play(double seconds) {
    for (double t = 0; t < seconds - 1e-9; t += 0.5) clock.advance(std::min(0.5, seconds - t));
  }
  void expectShowing(VideoDecoder& take, const char* where) {
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    const double t = streamer->currentTime();
    EXPECT_TRUE(sameFrame(streamer->currentFrame(), take.frameAt(take.frameIndexAt(t))))
        << where << ": the frame at " << t << " s is not the cloud's";
  }

  DKStreamerItemPtr item;
};

TEST_F(GrowingRecordingTest, AGrowthReadsOnlyTheNewPartAndIndexAndPlaysOnFrameForFrame) {
  std::string before;
  ASSERT_TRUE(currentTake(before));
  const int64_t oldMediaEnd = mediaEndOf(before);
  ASSERT_GT(oldMediaEnd, 0);
  ASSERT_GT(static_cast<int64_t>(before.size()), 20 * kChunk) << "a recording of many pieces";

  item = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  ASSERT_DOUBLE_EQ(item->duration(), 40.0);
  streamer->setRate(1.0f);
  play(38.0);

  // Six more seconds are recorded while the last two play; playback reaches the end, finds the
  // longer take and goes on.
  sim->updateWorld([](cloudsim::World& w) { w.now += 6; });
  sim->clearRequests();
  play(4.0);
  EXPECT_DOUBLE_EQ(item->duration(), 46.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying) << describe(streamer->failureReason());
  const auto afterGrowth = sim->requestsTo(path());
  std::string grown;
  auto take = currentTake(grown);
  ASSERT_TRUE(take);
  const auto size = static_cast<int64_t>(grown.size());
  const int64_t received = bytesServed(afterGrowth, size);
  // The new media and the new index, and the first and the last bytes kept read again to check
  // them (the media's new size is in the first): far less than the file.
  const int64_t newPartAndIndex = size - oldMediaEnd;
  std::printf("  after the growth: %zu requests, %lld bytes; new part and index %lld of %lld bytes\n",
              afterGrowth.size(), static_cast<long long>(received), static_cast<long long>(newPartAndIndex),
              static_cast<long long>(size));
  EXPECT_GT(received, newPartAndIndex / 2);
  EXPECT_LE(received, newPartAndIndex + 4 * kChunk);
  EXPECT_LT(received, size / 4);
  expectShowing(*take, "into the new part");

  // What was played before the growth is still held: seeking back there reads nothing.
  sim->clearRequests();
  streamer->seekTo(3.0);
  expectShowing(*take, "back in the earlier take");
  streamer->seekTo(39.5);
  expectShowing(*take, "where the earlier take ended");
  EXPECT_EQ(sim->requestsTo(path()).size(), 0u);

  // Recorded on again: a seek past everything fetched asks for the longer take and plays there.
  sim->updateWorld([](cloudsim::World& w) { w.now += 8; });
  streamer->seekTo(50.0);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_DOUBLE_EQ(item->duration(), 54.0);
  EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
  EXPECT_DOUBLE_EQ(streamer->currentTime(), 50.0);
  take = currentTake(grown);
  ASSERT_TRUE(take);
  expectShowing(*take, "past the fetched end");
  play(2.5);
  expectShowing(*take, "playing on");
}

TEST_F(GrowingRecordingTest, ATakeTheCloudRewroteIsReadAnewNotMixedWithTheOldOne) {
  item = DKStreamerItem::itemWithCameraId(cameraId, openId);
  streamer->setCurrentItem(item);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
  streamer->setRate(1.0f);
  play(38.0);

  // The camera is renamed and the cloud makes the longer take afresh: the same layout, the same
  // length of header, other pictures from the first frame on.
  sim->updateWorld([&](cloudsim::World& w) {
    w.now += 6;
    for (auto& camera : w.cameras)
      if (camera.cameraId == cameraId) camera.name += " (renamed)";
  });
  play(2.5);
  EXPECT_DOUBLE_EQ(item->duration(), 46.0);
  std::string rewritten;
  auto take = currentTake(rewritten);
  ASSERT_TRUE(take);
  expectShowing(*take, "into the new part");
  streamer->seekTo(3.0);
  expectShowing(*take, "back in what was the earlier take");
  streamer->seekTo(39.0);
  expectShowing(*take, "where the earlier take ended");
}

}  // namespace
}  // namespace dk::platform::test
