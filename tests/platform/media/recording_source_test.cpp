// Reading a recording piecewise: what goes over the wire, what stays on disk, and how transfers
// that stall or take too long end, against the local cloud in virtual time.
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/media/recording_source.h"
#include "streamer_fixture.h"

namespace dk::platform::test {
namespace {

class RecordingSourceTest : public StreamerTest {
 protected:
  std::string path(int64_t recordingId) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(recordingId) + ".mp4";
  }
  RecordingSourcePtr source(int64_t recordingId, RecordingSource::Limits limits) {
    ErrorPtr error;
    auto made = RecordingSource::create(sim->baseUrl() + path(recordingId), sim->accessToken(), limits, &error);
    EXPECT_TRUE(made) << describe(error);
    return made;
  }
  // Reads off the main thread, as the decoder does, and pumps the run loop meanwhile.
  int64_t readAt(const RecordingSourcePtr& s, int64_t offset, std::string& out, int64_t count) {
    out.assign(static_cast<size_t>(count), '\0');
    int64_t got = -2;
    std::thread reader([&] { got = s->read(offset, reinterpret_cast<uint8_t*>(out.data()), count); });
    reader.join();
    if (got > 0) out.resize(static_cast<size_t>(got));
    return got;
  }
  std::vector<std::string> rangesAsked(int64_t recordingId) const {
    std::vector<std::string> ranges;
    for (const auto& r : sim->requestsTo(path(recordingId))) ranges.push_back(r.header("Range"));
    return ranges;
  }
};

TEST_F(RecordingSourceTest, ReadsOnlyThePiecesAskedForAndTheirNeighbourIntoAPrivateFile) {
  referenceDecoder(closedId);
  ASSERT_TRUE(referenceFile);
  const std::string& whole = referenceFile->bytes();
  ASSERT_GT(whole.size(), 5u * 4096);
  sim->clearRequests();

  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  auto s = source(closedId, limits);
  std::string bytes;
  ASSERT_EQ(readAt(s, 10, bytes, 100), 100);
  EXPECT_EQ(bytes, whole.substr(10, 100));
  EXPECT_EQ(s->size(), static_cast<int64_t>(whole.size()));
  // The tail, as for an index at the end: only that piece (and the one after a piece read).
  const int64_t tail = static_cast<int64_t>(whole.size()) - 50;
  ASSERT_EQ(readAt(s, tail, bytes, 1000), 50);  // stops at the end
  EXPECT_EQ(bytes, whole.substr(static_cast<size_t>(tail)));
  EXPECT_EQ(readAt(s, static_cast<int64_t>(whole.size()), bytes, 10), 0);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  auto ranges = rangesAsked(closedId);
  std::sort(ranges.begin(), ranges.end());
  const int64_t lastChunk = tail / 4096 * 4096;
  std::vector<std::string> expected{"bytes=0-4095", "bytes=4096-8191",
                                    "bytes=" + std::to_string(lastChunk) + "-" + std::to_string(lastChunk + 4095)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ranges, expected);
  EXPECT_LT(s->bytesReceived(), static_cast<int64_t>(whole.size()) / 2);
  for (const auto& r : sim->requestsTo(path(closedId))) {
    EXPECT_TRUE(r.tls);
    EXPECT_EQ(r.header("Authorization"), "Bearer " + sim->accessToken());
  }

  // Private: a folder of its own only the user may enter, with nothing left to find in it.
  struct stat info {};
  const std::string folder = s->folder();
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  s.reset();
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(RecordingSourceTest, HoldsNoMoreThanItsBoundAndReadsAgainWhatItLetGo) {
  referenceDecoder(closedId);
  ASSERT_TRUE(referenceFile);
  const std::string& whole = referenceFile->bytes();
  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  limits.heldBytes = 3 * 4096;
  auto s = source(closedId, limits);
  std::string all, bytes;
  for (int64_t offset = 0; offset < static_cast<int64_t>(whole.size());) {
    const int64_t got = readAt(s, offset, bytes, 3000);
    ASSERT_GT(got, 0);
    all += bytes;
    offset += got;
    EXPECT_LE(s->bytesHeld(), limits.heldBytes);
  }
  EXPECT_EQ(all, whole);
  ASSERT_EQ(readAt(s, 0, bytes, 64), 64);  // long gone from the cache: fetched again, same bytes
  EXPECT_EQ(bytes, whole.substr(0, 64));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

TEST_F(RecordingSourceTest, RepliesThatAreNotThePartAskedForFailTheReaders) {
  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  std::string bytes;
  // A web page where the video should be.
  cloudsim::FaultRule html = cloudsim::FaultRule::failWith(path(closedId), 200, "<html>sign in</html>");
  html.contentType = "text/html";
  sim->addFault(html);
  auto s = source(closedId, limits);
  EXPECT_EQ(readAt(s, 0, bytes, 10), -1);
  ASSERT_TRUE(s->error());
  // A part that is not the one asked for.
  cloudsim::FaultRule wrong = cloudsim::FaultRule::failWith(path(closedId), 206, "0123456789");
  wrong.contentType = "video/mp4";
  wrong.headers = {{"Content-Range", "bytes 10-19/100"}};
  sim->addFault(wrong);
  s = source(closedId, limits);
  EXPECT_EQ(readAt(s, 0, bytes, 10), -1);
  EXPECT_EQ(s->error()->code(), 8);
  // A size beyond any recording.
  cloudsim::FaultRule huge = cloudsim::FaultRule::failWith(path(closedId), 206, std::string(4096, 'x'));
  huge.contentType = "video/mp4";
  huge.headers = {{"Content-Range", "bytes 0-4095/99999999999999"}};
  sim->addFault(huge);
  s = source(closedId, limits);
  EXPECT_EQ(readAt(s, 0, bytes, 10), -1);
  EXPECT_EQ(s->error()->code(), 9);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

}  // namespace
}  // namespace dk::platform::test
