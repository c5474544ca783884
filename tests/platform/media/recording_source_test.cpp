// Reading a recording piecewise: what goes over the wire, what stays on disk, and how transfers
// that stall or take too long end, against the local cloud in virtual time.
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/media/recording_source.h"
#include "platform/net/test_http_server.h"
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

TEST_F(RecordingSourceTest, ReadsOnlyThePiecesAskedForAndAheadOnlyForAReaderGoingOnIntoAPrivateFile) {
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
  // The tail, as for an index at the end: only that piece.
  const int64_t tail = static_cast<int64_t>(whole.size()) - 50;
  ASSERT_EQ(readAt(s, tail, bytes, 1000), 50);  // stops at the end
  EXPECT_EQ(bytes, whole.substr(static_cast<size_t>(tail)));
  EXPECT_EQ(readAt(s, static_cast<int64_t>(whole.size()), bytes, 10), 0);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  auto ranges = rangesAsked(closedId);
  std::sort(ranges.begin(), ranges.end());
  const int64_t lastChunk = tail / 4096 * 4096;
  const std::string last = "bytes=" + std::to_string(lastChunk) + "-" + std::to_string(lastChunk + 4095);
  std::vector<std::string> expected{"bytes=0-4095", last};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ranges, expected);
  // A reader going on from one piece to the next has the one after fetched ahead.
  ASSERT_EQ(readAt(s, 4096, bytes, 4096), 4096);
  ASSERT_EQ(readAt(s, 8192, bytes, 4096), 4096);
  EXPECT_EQ(bytes, whole.substr(8192, 4096));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ranges = rangesAsked(closedId);
  std::sort(ranges.begin(), ranges.end());
  expected = {"bytes=0-4095", "bytes=4096-8191", "bytes=8192-12287", "bytes=12288-16383", last};
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

// Takes of a growing recording as a server might write them: the index after the media or
// before it, and a media payload that grows by appending (or is rewritten).
std::string mp4Box(const char* type, const std::string& content) {
  std::string box;
  const auto size = static_cast<uint32_t>(8 + content.size());
  for (int shift = 24; shift >= 0; shift -= 8) box.push_back(static_cast<char>((size >> shift) & 0xff));
  return box + type + content;
}
std::string mediaBytes(size_t count, int seed) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 131 + (i >> 9) * 7 + static_cast<size_t>(seed)) & 0xff);
  return bytes;
}
std::string take(const std::string& media, bool indexFirst, char index) {
  const std::string ftyp = mp4Box("ftyp", "isom\0\0\2\0isomiso2mp41"), moov = mp4Box("moov", std::string(3000, index));
  return indexFirst ? ftyp + moov + mp4Box("mdat", media) : ftyp + mp4Box("mdat", media) + moov;
}

// A server with one recording whose take the test replaces, answering byte ranges.
class GrowingServer {
 public:
  explicit GrowingServer(std::string first) : take_(std::move(first)) {
    server.route("/recording.mp4", [this](const dk::test::RecordedRequest& request) {
      std::lock_guard lock(mutex_);
      long long a = 0, b = 0;
      auto range = request.headers.find("Range");
      dk::test::CannedResponse reply;
      reply.headers = {{"Content-Type", "video/mp4"}, {"X-Recording-Open", "true"}};
      if (range == request.headers.end() || std::sscanf(range->second.c_str(), "bytes=%lld-%lld", &a, &b) != 2) {
        reply.body = take_;
        return reply;
      }
      b = std::min<long long>(b, static_cast<long long>(take_.size()) - 1);
      reply.status = 206;
      reply.headers.push_back({"Content-Range", "bytes " + std::to_string(a) + "-" + std::to_string(b) + "/" +
                                                    std::to_string(take_.size())});
      reply.body = take_.substr(static_cast<size_t>(a), static_cast<size_t>(b - a + 1));
      return reply;
    });
  }
  void replace(std::string take) {
    std::lock_guard lock(mutex_);
    take_ = std::move(take);
  }
  std::string url() const { return server.baseURL() + "/recording.mp4"; }

 private:
  std::mutex mutex_;
  std::string take_;

 public:
  // Declared last so that it goes first: its serving threads read take_ until it stops.
  dk::test::TestHttpServer server;
};

TEST_F(RecordingSourceTest, AGrowthKeepsOnlyWhatTheLongerTakeStillHasWhereItWas) {
  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  const std::string media = mediaBytes(60 * 1024, 0);
  const std::string first = take(media, false, 'a');
  const std::string appended = take(media + mediaBytes(12 * 1024, 5), false, 'b');
  std::string rewrittenEnd = media;
  rewrittenEnd.replace(rewrittenEnd.size() - 100, 100, 100, 'x');  // the old take's last frames re-encoded
  std::string rewrittenStart = media;
  rewrittenStart.replace(0, 100, 100, 'y');  // its first frame
  struct Case {
    const char* what;
    std::string next;
    bool keeps;
  };
  const std::vector<Case> cases = {
      {"appended", appended, true},
      {"its end rewritten", take(rewrittenEnd + mediaBytes(12 * 1024, 5), false, 'b'), false},
      {"its start rewritten", take(rewrittenStart + mediaBytes(12 * 1024, 5), false, 'b'), false},
      {"rewritten whole", take(mediaBytes(72 * 1024, 9), false, 'b'), false},
      {"index first", take(media + mediaBytes(12 * 1024, 5), true, 'b'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GrowingServer cloud(first);
    ErrorPtr error;
    auto s = RecordingSource::create(cloud.url(), "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    auto readWhole = [&](int64_t size) {
      std::string all, bytes;
      while (static_cast<int64_t>(all.size()) < size) {
        if (readAt(s, static_cast<int64_t>(all.size()), bytes, 5000) <= 0) break;
        all += bytes;
      }
      return all;
    };
    ASSERT_EQ(readWhole(static_cast<int64_t>(first.size())), first);

    cloud.replace(c.next);
    const int64_t received = s->bytesReceived();
    bool grew = false;
    std::thread([&] { grew = s->refreshGrowth(); }).join();
    ASSERT_TRUE(grew) << describe(s->error());
    EXPECT_EQ(s->size(), static_cast<int64_t>(c.next.size()));
    // Every byte read is the new take's: nothing of the old one is mixed in.
    EXPECT_EQ(readWhole(static_cast<int64_t>(c.next.size())), c.next);
    const int64_t readAgain = s->bytesReceived() - received;
    if (c.keeps) {
      // The new media and index, the first and the last bytes kept read again, the size asked.
      const int64_t newPart = static_cast<int64_t>(c.next.size() - first.size() + 3000);
      EXPECT_LE(readAgain, newPart + 2 * limits.chunkBytes + 16 * 1024 + 1);
    } else {
      EXPECT_GE(readAgain, static_cast<int64_t>(c.next.size()));
    }
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

TEST_F(RecordingSourceTest, AGrowthReadsWhatGrewNotAgainThePieceWhereTheMediaEnded) {
  RecordingSource::Limits limits;
  limits.chunkBytes = 64 * 1024;
  // The old media ends a little before the end of its third piece.
  const std::string media = mediaBytes(3 * 64 * 1024 - 200, 0);
  const std::string first = take(media, false, 'a');
  const std::string next = take(media + mediaBytes(12 * 1024, 5), false, 'b');
  const int64_t oldMediaEnd = static_cast<int64_t>(first.size()) - 3008;  // the index box follows it
  GrowingServer cloud(first);
  ErrorPtr error;
  auto s = RecordingSource::create(cloud.url(), "token", limits, &error);
  ASSERT_TRUE(s) << describe(error);
  std::string all, bytes;
  while (readAt(s, static_cast<int64_t>(all.size()), bytes, 5000) > 0) all += bytes;
  ASSERT_EQ(all, first);

  cloud.replace(next);
  const int64_t received = s->bytesReceived();
  bool grew = false;
  std::thread([&] { grew = s->refreshGrowth(); }).join();
  ASSERT_TRUE(grew) << describe(s->error());
  all.clear();
  while (readAt(s, static_cast<int64_t>(all.size()), bytes, 5000) > 0) all += bytes;
  EXPECT_EQ(all, next);
  // What grew (new media, new index), the one-byte size probe, and the two checks of at most
  // 16 KiB each (the first bytes reach a little into the media): not the 64 KiB piece again.
  const int64_t grown = static_cast<int64_t>(next.size()) - oldMediaEnd;
  EXPECT_LE(s->bytesReceived() - received, grown + 1 + 2 * 16 * 1024 + 64);

  // Grown twice before anything after the first growth was read: the piece held in part
  // stays in part, and every byte read is the latest take's.
  const std::string twice = take(media + mediaBytes(12 * 1024, 5) + mediaBytes(70 * 1024, 7), false, 'c');
  const std::string thrice = take(media + mediaBytes(12 * 1024, 5) + mediaBytes(90 * 1024, 7), false, 'd');
  cloud.replace(twice);
  std::thread([&] { grew = s->refreshGrowth(); }).join();
  ASSERT_TRUE(grew) << describe(s->error());
  cloud.replace(thrice);
  std::thread([&] { grew = s->refreshGrowth(); }).join();
  ASSERT_TRUE(grew) << describe(s->error());
  all.clear();
  while (readAt(s, static_cast<int64_t>(all.size()), bytes, 5000) > 0) all += bytes;
  EXPECT_EQ(all, thrice);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

TEST_F(RecordingSourceTest, PiecesOfALongerTakeAreTakenOnlyWhereTheyHoldTheMediaBeingRead) {
  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  const std::string media = mediaBytes(60 * 1024, 0);
  const std::string first = take(media, false, 'a');
  GrowingServer cloud(first);
  ErrorPtr error;
  auto s = RecordingSource::create(cloud.url(), "token", limits, &error);
  ASSERT_TRUE(s) << describe(error);
  std::string bytes;
  ASSERT_EQ(readAt(s, 0, bytes, 100), 100);  // the start of the take, and with it where its media lies

  // Recorded on while the take is read: its media reads the same, but where its index was the
  // longer take has new frames, which are not the index asked for.
  cloud.replace(take(media + mediaBytes(12 * 1024, 5), false, 'b'));
  ASSERT_EQ(readAt(s, 30000, bytes, 1000), 1000);
  EXPECT_EQ(bytes, first.substr(30000, 1000));
  const int64_t index = static_cast<int64_t>(first.size()) - 2000;
  EXPECT_EQ(readAt(s, index, bytes, 1000), -1);
  ASSERT_TRUE(s->error());
  EXPECT_EQ(s->error()->code(), 10);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

}  // namespace
}  // namespace dk::platform::test
