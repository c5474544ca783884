// Reading a recording piecewise: what goes over the wire, what stays on disk, and how transfers
// that stall or take too long end, against the local cloud in virtual time.
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

#include <gmock/gmock.h>

#include "platform/graphics/image_compare.h"
#include "platform/media/recordings/recording_source.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/net/test_http_server.h"
#include "streamer_fixture.h"
#include "support/temp_directory.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

// Answers a request for `take` as a range server does: its "bytes=a-b" as a 206 with
// Content-Range (b cut at the end), anything else as the whole take.
dk::test::CannedResponse serveRange(const std::string& take, const dk::test::RecordedRequest& request,
                                    dk::test::CannedResponse reply) {
  long long a = 0, b = 0;
  auto range = request.headers.find("Range");
  if (range == request.headers.end() || std::sscanf(range->second.c_str(), "bytes=%lld-%lld", &a, &b) != 2) {
    reply.body = take;
    return reply;
  }
  b = std::min<long long>(b, static_cast<long long>(take.size()) - 1);
  reply.status = 206;
  reply.headers.push_back(
      {"Content-Range", "bytes " + std::to_string(a) + "-" + std::to_string(b) + "/" + std::to_string(take.size())});
  reply.body = take.substr(static_cast<size_t>(a), static_cast<size_t>(b - a + 1));
  return reply;
}

std::string mediaBytes(size_t count, int seed);
std::string take(const std::string& media, bool indexFirst, char index);

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

// Each reply must be the part asked for, of a size a recording may have: the first byte asked
// for, a body as long as its range, a last byte inside the total, a total of at most
// largestRecording (16 GiB), and a range at all.
TEST_F(RecordingSourceTest, RepliesThatAreNotThePartAskedForFailTheReaders) {
  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  const std::string part(4096, 'x');
  struct Case {
    const char* what;
    int status;
    std::string body;
    std::string contentRange;  // empty: none
    int64_t code;              // 0: the read succeeds; -1: fails for the transport's reason
  };
  const std::vector<Case> cases = {
      {"a part as asked", 206, part, "bytes 0-4095/100000", 0},
      {"a web page where the video should be", 200, "<html>sign in</html>", "", -1},
      {"another part", 206, "0123456789", "bytes 10-19/100", 8},
      {"not the first byte asked for", 206, part, "bytes 1-4096/100000", 8},
      {"a body shorter than its range", 206, part.substr(0, 4000), "bytes 0-4095/100000", 8},
      {"a body longer than its range", 206, part + "y", "bytes 0-4095/100000", 8},
      {"fewer bytes than asked, said so", 206, part.substr(0, 100), "bytes 0-99/100000", 8},
      {"a last byte past the total", 206, part, "bytes 0-4095/4000", 8},
      {"a range ending before it starts", 206, part, "bytes 4095-0/100000", 8},
      {"no total", 206, part, "bytes 0-4095/*", 8},
      {"no range at all", 206, part, "", 8},
      {"not bytes", 206, part, "items 0-4095/100000", 8},
      {"a negative total", 206, part, "bytes 0-4095/-100000", 8},
      {"a total of exactly 16 GiB", 206, part, "bytes 0-4095/17179869184", 0},
      {"a total one byte over 16 GiB", 206, part, "bytes 0-4095/17179869185", 9},
      {"a total of 16 TiB", 206, part, "bytes 0-4095/17592186044416", 9},
      {"a total beyond any recording", 206, part, "bytes 0-4095/99999999999999", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(path(closedId), c.status, c.body);
    rule.contentType = c.status == 200 ? "text/html" : "video/mp4";
    if (!c.contentRange.empty()) rule.headers = {{"Content-Range", c.contentRange}};
    sim->addFault(rule);
    auto s = source(closedId, limits);
    std::string bytes;
    if (c.code == 0) {
      ASSERT_EQ(readAt(s, 0, bytes, 10), 10) << describe(s->error());
      EXPECT_EQ(bytes, part.substr(0, 10));
    } else {
      EXPECT_EQ(readAt(s, 0, bytes, 10), -1);
      ASSERT_TRUE(s->error());
      if (c.code > 0) {
        EXPECT_EQ(s->error()->code(), c.code) << describe(s->error());
      }
    }
    s->cancel();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    sim->clearFaults();
  }
}

// A server that ignores ranges sends the whole recording: kept when it is no larger than
// largestWholeReply (and fits the space held), refused with the source's own reason otherwise.
// The HTTP layer's smaller cap for ordinary replies does not apply.
TEST_F(RecordingSourceTest, AWholeReplyIsBoundByTheSourcesOwnLimitAlone) {
  const std::string whole = mediaBytes(10 << 20, 3);
  dk::test::TestHttpServer server;
  server.route("/whole.mp4", [&](const dk::test::RecordedRequest&) {
    dk::test::CannedResponse reply;
    reply.headers = {{"Content-Type", "video/mp4"}};
    reply.body = whole;
    return reply;
  });
  struct Case {
    const char* what;
    int64_t largestWholeReply;
    int64_t code;  // 0: read
  };
  const std::vector<Case> cases = {
      {"within the default bound", RecordingSource::Limits{}.largestWholeReply, 0},
      {"over a smaller bound", 4 << 20, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingSource::Limits limits;
    limits.largestWholeReply = c.largestWholeReply;
    ErrorPtr error;
    auto s = RecordingSource::create(server.baseURL() + "/whole.mp4", "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    std::string bytes;
    const int64_t offset = (9 << 20) + 5;
    if (c.code == 0) {
      ASSERT_EQ(readAt(s, offset, bytes, 100), 100) << describe(s->error());
      EXPECT_EQ(bytes, whole.substr(static_cast<size_t>(offset), 100));
      EXPECT_EQ(s->size(), static_cast<int64_t>(whole.size()));
      // Kept whole: the rest is read from what came, not asked for again.
      ASSERT_EQ(readAt(s, 0, bytes, 100), 100) << describe(s->error());
      EXPECT_EQ(bytes, whole.substr(0, 100));
      EXPECT_EQ(s->requestsSent(), 1);
    } else {
      EXPECT_EQ(readAt(s, offset, bytes, 100), -1);
      ASSERT_TRUE(s->error());
      EXPECT_EQ(s->error()->domain(), "DKCameraStreamerErrorDomain") << describe(s->error());
      EXPECT_EQ(s->error()->code(), c.code) << describe(s->error());
    }
    s->cancel();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }
}

// A closed recording whose bytes change on the cloud between two range reads (the same size,
// other content): where the server gives a validator, every read after the first carries it in
// If-Range, and a reply of another version fails the source instead of mixing two recordings.
TEST_F(RecordingSourceTest, AClosedRecordingThatChangesBetweenReadsFailsWhereTheServerSaysSo) {
  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  // A take as a camera closes it, its index after the media; the longer one another recording
  // laid out alike, its media where the first one's is.
  const std::string before = take(mediaBytes(40 * 1024, 1), false, 'i'), after = mediaBytes(before.size(), 2);
  const std::string longer = take(mediaBytes(48 * 1024, 3), false, 'i');
  struct Case {
    const char* what;
    std::string header;            // the validator's header
    std::string first, second;     // its value before and after the change
    bool honoursIfRange;           // a mismatched If-Range gets the whole new recording (200)
    bool grows = false;            // the change: more bytes after the same ones
  };
  const std::vector<Case> cases = {
      {"an ETag, If-Range honoured", "ETag", "\"v1\"", "\"v2\"", true},
      {"an ETag, If-Range ignored", "ETag", "\"v1\"", "\"v2\"", false},
      {"only Last-Modified", "Last-Modified", "Mon, 07 Dec 2026 10:00:00 GMT", "Mon, 07 Dec 2026 10:05:00 GMT", true},
      // Only its size tells: a closed recording does not grow.
      {"no validator, longer", "", "", "", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::mutex mutex;
    int served = 0;
    std::vector<std::string> ifRanges;
    dk::test::TestHttpServer server;
    server.route("/recording.mp4", [&](const dk::test::RecordedRequest& request) {
      std::lock_guard lock(mutex);
      const bool changed = ++served > 3;
      const std::string& take = changed ? (c.grows ? longer : after) : before;
      const std::string validator = changed ? c.second : c.first;
      auto ifRange = request.headers.find("If-Range");
      ifRanges.push_back(ifRange == request.headers.end() ? "" : ifRange->second);
      dk::test::CannedResponse reply;
      reply.headers = {{"Content-Type", "video/mp4"}};
      if (!c.header.empty()) reply.headers.push_back({c.header, validator});
      const bool stale = ifRange != request.headers.end() && ifRange->second != validator && c.honoursIfRange;
      return serveRange(take, stale ? dk::test::RecordedRequest{} : request, std::move(reply));
    });
    ErrorPtr error;
    auto s = RecordingSource::create(server.baseURL() + "/recording.mp4", "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    std::string all, bytes;
    int64_t got = 0;
    while (static_cast<int64_t>(all.size()) < static_cast<int64_t>(before.size()) &&
           (got = readAt(s, static_cast<int64_t>(all.size()), bytes, 3000)) > 0) {
      all += bytes;
    }
    EXPECT_EQ(got, -1) << "read through the change";
    ASSERT_TRUE(s->error());
    EXPECT_EQ(s->error()->code(), 10) << describe(s->error());
    EXPECT_EQ(all, before.substr(0, all.size())) << "nothing of the other recording is read";
    s->cancel();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    std::lock_guard lock(mutex);
    ASSERT_GE(ifRanges.size(), 2u);
    EXPECT_EQ(ifRanges.front(), "") << "nothing to carry yet";
    for (size_t i = 1; i < ifRanges.size(); ++i) EXPECT_EQ(ifRanges[i], c.first) << "request " << i;
  }
}

// Takes of a growing recording as a server might write them: the index after the media or
// before it, and a media payload that grows by appending (or is rewritten).
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
  explicit GrowingServer(std::string first, bool open = true) : take_(std::move(first)) {
    server.route("/recording.mp4", [this, open](const dk::test::RecordedRequest& request) {
      std::lock_guard lock(mutex_);
      dk::test::CannedResponse reply;
      reply.headers = {{"Content-Type", "video/mp4"}};
      if (open) reply.headers.push_back({"X-Recording-Open", "true"});
      reply = serveRange(take_, request, std::move(reply));
      auto range = request.headers.find("Range");
      reply.hold = holdIf_ && range != request.headers.end() && holdIf_(range->second);
      return reply;
    });
  }
  // Replies to the ranges this picks are held back until the server's releaseHeld().
  void holdIf(std::function<bool(const std::string& range)> pick) {
    std::lock_guard lock(mutex_);
    holdIf_ = std::move(pick);
  }
  void replace(std::string take) {
    std::lock_guard lock(mutex_);
    take_ = std::move(take);
  }
  std::string url() const { return server.baseURL() + "/recording.mp4"; }

 private:
  std::mutex mutex_;
  std::string take_;
  std::function<bool(const std::string&)> holdIf_;

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

// A camera's fragmented upload of `seconds` (320x240) and the shorter take a watcher saw first:
// its first `fragmentsFirst` fragments (each a moof and the mdat after it). `path` is empty when
// the upload could not be written (`why` says why).
struct GrowingUpload {
  std::string path, whole, first;
  size_t fragments = 0;  // in the whole upload
};
GrowingUpload writeGrowingUpload(const dk::test::TemporaryDirectory& folder, int seconds, size_t fragmentsFirst,
                                 std::string* why) {
  GrowingUpload upload;
  upload.path = writeFragmentedUpload(folder.path().string(), seconds, 320, 240, why);
  if (upload.path.empty()) return upload;
  upload.whole = readFile(upload.path);
  for (const TopLevelBox& box : topLevelBoxes(upload.whole)) {
    if (box.type != "mdat") continue;
    if (++upload.fragments == fragmentsFirst) upload.first = upload.whole.substr(0, box.at + box.size);
  }
  return upload;
}

// A camera uploading a fragmented MP4 appends whole fragments while the recording is watched:
// a piece that comes from the longer take while the shorter one is read is the same bytes, not
// a change; the growth keeps everything held, reads only what was appended, and the longer
// take plays frame for frame.
TEST_F(RecordingSourceTest, AFragmentedRecordingGrowsByFragmentsAppendedWhileItIsRead) {
  dk::test::TemporaryDirectory folder;
  std::string why;
  const GrowingUpload upload = writeGrowingUpload(folder, 120, 4, &why);  // fragments of several pieces
  ASSERT_FALSE(upload.path.empty()) << why;
  ASSERT_GE(upload.fragments, 10u);
  const SequentialDecode reference = decodeSequentially(upload.path);
  const std::string& whole = upload.whole;
  const std::string& first = upload.first;

  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  GrowingServer cloud(first);
  ErrorPtr error;
  auto s = RecordingSource::create(cloud.url(), "token", limits, &error);
  ASSERT_TRUE(s) << describe(error);
  auto openDecoder = [&](VideoDecoder& decoder) {
    VideoDecoder::Input input;
    input.read = [s](int64_t offset, uint8_t* out, int64_t count) { return s->read(offset, out, count); };
    input.size = [s] { return s->size(); };
    bool opened = false;
    std::thread([&] {
      opened = decoder.open(std::move(input), &why);
      decoder.extendTo(std::numeric_limits<double>::infinity());  // every fragment in the take
    }).join();
    return opened;
  };
  // The slots whose picture is not the reference's (decoded off the main thread, as the streamer does).
  auto wrongFrames = [&](VideoDecoder& decoder) {
    std::vector<size_t> wrong;
    std::thread([&] {
      for (size_t i = 0; i < decoder.frameCount(); ++i) {
        const ImagePtr picture = decoder.frameAt(i);
        if (!picture || i >= reference.pictures.size() ||
            compareImages(*picture, *reference.pictures[i]).maxAbsolute != 0) {
          wrong.push_back(i);
        }
      }
    }).join();
    return wrong;
  };

  VideoDecoder shorter;
  ASSERT_TRUE(openDecoder(shorter)) << why;
  ASSERT_GT(shorter.frameCount(), 0u);
  ASSERT_LT(shorter.frameCount(), reference.times.size());
  cloud.replace(whole);  // the rest is uploaded while the first fragments play
  EXPECT_THAT(wrongFrames(shorter), ::testing::IsEmpty());
  EXPECT_FALSE(s->error()) << describe(s->error());

  const int64_t received = s->bytesReceived();
  bool grew = false;
  std::thread([&] { grew = s->refreshGrowth(); }).join();
  ASSERT_TRUE(grew) << describe(s->error());
  VideoDecoder longer;
  ASSERT_TRUE(openDecoder(longer)) << why;
  ASSERT_EQ(longer.frameCount(), reference.times.size());
  EXPECT_THAT(wrongFrames(longer), ::testing::IsEmpty());
  // What was appended, the size probe and the two checks of at most 16 KiB each.
  const auto appended = static_cast<int64_t>(whole.size() - first.size());
  EXPECT_LE(s->bytesReceived() - received, appended + 1 + 2 * 16 * 1024 + limits.chunkBytes);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

// The two reads that check a grown take (its first bytes and the last bytes held) go out together
// and may be answered in either order: either way what is held of the shorter take is kept, and
// reading it again asks the server for nothing.
TEST_F(RecordingSourceTest, AGrowthKeepsWhatIsHeldWhicheverCheckIsAnsweredFirst) {
  dk::test::TemporaryDirectory folder;
  std::string why;
  const GrowingUpload upload = writeGrowingUpload(folder, 60, 3, &why);
  ASSERT_FALSE(upload.path.empty()) << why;
  ASSERT_GE(upload.fragments, 6u);
  const std::string& whole = upload.whole;
  const std::string& first = upload.first;
  constexpr int64_t kPiece = 4096;
  const auto wholePieces = static_cast<int64_t>(first.size()) / kPiece;  // not the last, partial one
  for (const bool headFirst : {true, false}) {
    SCOPED_TRACE(headFirst ? "the first bytes' check answered first" : "the last bytes' check answered first");
    RecordingSource::Limits limits;
    limits.chunkBytes = kPiece;
    GrowingServer cloud(first);
    ErrorPtr error;
    auto s = RecordingSource::create(cloud.url(), "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    std::string bytes;
    for (int64_t piece = 0; piece <= wholePieces; ++piece) ASSERT_GT(readAt(s, piece * kPiece, bytes, kPiece), 0);
    cloud.replace(whole);
    // After the size probe (one byte at 0): the first bytes' check reads more from 0, the last
    // bytes' check ends where the shorter take ended. The one to be answered second is held.
    const std::string tailEnd = "-" + std::to_string(first.size() - 1);
    auto isHead = [](const std::string& range) { return range.rfind("bytes=0-", 0) == 0 && range != "bytes=0-0"; };
    auto isTail = [tailEnd](const std::string& range) {
      return range.size() > tailEnd.size() && range.compare(range.size() - tailEnd.size(), tailEnd.size(), tailEnd) == 0;
    };
    auto probed = std::make_shared<std::atomic<bool>>(false);
    cloud.holdIf([=](const std::string& range) {
      if (range == "bytes=0-0") *probed = true;
      return *probed && (headFirst ? isTail(range) : isHead(range));
    });
    const int64_t before = s->bytesReceived();
    std::atomic<bool> grew = false, done = false;
    std::thread growth([&] {
      grew = s->refreshGrowth();
      done = true;
    });
    // Once both checks are asked for and the one not held is in (after the probe's byte), the
    // other is let go (again and again, as it may not be waiting yet).
    auto answeredFirst = [&] {
      int64_t size = -1;
      bool held = false;
      for (const dk::test::RecordedRequest& request : cloud.server.requests()) {
        auto range = request.headers.find("Range");
        if (range == request.headers.end()) continue;
        long long a = 0, b = -1;
        if (std::sscanf(range->second.c_str(), "bytes=%lld-%lld", &a, &b) != 2) continue;
        if (isHead(range->second) || isTail(range->second)) {
          if (isHead(range->second) == headFirst) size = b - a + 1;
          else held = true;
        }
      }
      return held && size > 0 && s->bytesReceived() >= before + 1 + size;
    };
    while (!done && !answeredFirst()) std::this_thread::yield();
    while (!done) {
      cloud.server.releaseHeld();
      std::this_thread::yield();
    }
    growth.join();
    ASSERT_TRUE(grew) << describe(s->error());
    const size_t asked = cloud.server.requests().size();
    for (int64_t piece = 0; piece < wholePieces; ++piece) {
      ASSERT_EQ(readAt(s, piece * kPiece, bytes, kPiece), kPiece);
      EXPECT_EQ(bytes, whole.substr(static_cast<size_t>(piece * kPiece), kPiece)) << "piece " << piece;
    }
    // Reading on may ask for what follows (the last piece's new part), never for a piece held.
    for (size_t i = asked; i < cloud.server.requests().size(); ++i) {
      long long at = -1;
      std::sscanf(cloud.server.requests()[i].headers.at("Range").c_str(), "bytes=%lld", &at);
      EXPECT_GE(at, wholePieces * kPiece) << "a piece of the shorter take read again";
    }
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

// A piece of a fragmented take still being recorded, read for the first time once the server
// holds a longer take: the longer take's bytes there are the shorter one's, also in its last
// piece, which the shorter take ends inside (only its part before that end is kept). Once the
// source has taken the growth, that last piece is read on past the old end from the longer take.
TEST_F(RecordingSourceTest, PiecesOfAFragmentedTakeReadAfterItGrewAreTheSameBytesUpToItsLastPiece) {
  dk::test::TemporaryDirectory folder;
  std::string why;
  const GrowingUpload upload = writeGrowingUpload(folder, 60, 3, &why);
  ASSERT_FALSE(upload.path.empty()) << why;
  ASSERT_GE(upload.fragments, 6u);
  const std::string& whole = upload.whole;
  const std::string& first = upload.first;
  constexpr int64_t kPiece = 4096;
  const auto oldEnd = static_cast<int64_t>(first.size());
  ASSERT_NE(oldEnd % kPiece, 0) << "the take ends inside a piece";
  ASSERT_GT(oldEnd / kPiece, 2) << "its last piece is not its first";

  struct Case {
    const char* what;
    int64_t offset;
  };
  for (const Case& c : {Case{"a piece inside the take", oldEnd / 2}, Case{"the take's last piece", oldEnd - 100}}) {
    SCOPED_TRACE(c.what);
    RecordingSource::Limits limits;
    limits.chunkBytes = kPiece;
    GrowingServer cloud(first);
    ErrorPtr error;
    auto s = RecordingSource::create(cloud.url(), "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    std::string bytes;
    ASSERT_EQ(readAt(s, 0, bytes, 100), 100);  // the start: the take is fragmented
    cloud.replace(whole);  // uploaded on meanwhile
    ASSERT_EQ(readAt(s, c.offset, bytes, 100), 100) << describe(s->error());
    EXPECT_EQ(bytes, first.substr(static_cast<size_t>(c.offset), 100));
    EXPECT_EQ(readAt(s, oldEnd - 10, bytes, 100), 10) << "the shorter take ends where it did";
    EXPECT_FALSE(s->error()) << describe(s->error());

    bool grew = false;
    std::thread([&] { grew = s->refreshGrowth(); }).join();
    ASSERT_TRUE(grew) << describe(s->error());
    ASSERT_EQ(readAt(s, oldEnd - 10, bytes, 100), 10) << "what is held, up to the old end";
    EXPECT_EQ(bytes, whole.substr(static_cast<size_t>(oldEnd - 10), 10));
    ASSERT_EQ(readAt(s, oldEnd, bytes, 100), 100) << describe(s->error());
    EXPECT_EQ(bytes, whole.substr(static_cast<size_t>(oldEnd), 100));
    s->cancel();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }
}

// The rest of a piece held in part (where a grown recording's old media ended) must come whole:
// a reply of fewer bytes, with a Content-Range that says so, fails the readers instead of
// completing the piece with whatever lies past the reply.
TEST_F(RecordingSourceTest, APieceHeldInPartIsCompletedOnlyByTheWholeRestOfIt) {
  RecordingSource::Limits limits;
  limits.chunkBytes = 64 * 1024;
  const std::string media = mediaBytes(3 * 64 * 1024 - 200, 0);  // ends a little before its third piece does
  const std::string first = take(media, false, 'a');
  const std::string next = take(media + mediaBytes(12 * 1024, 5), false, 'b');
  const int64_t oldMediaEnd = static_cast<int64_t>(first.size()) - 3008;  // the index box follows it
  const std::string rest = "bytes=" + std::to_string(oldMediaEnd) + "-" + std::to_string(3 * 64 * 1024 - 1);
  for (const bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "fewer bytes, said so" : "the rest as asked");
    std::mutex mutex;
    std::string current = first;
    std::vector<std::string> ranges;
    dk::test::TestHttpServer server;
    server.route("/recording.mp4", [&](const dk::test::RecordedRequest& request) {
      std::lock_guard lock(mutex);
      auto range = request.headers.find("Range");
      ranges.push_back(range == request.headers.end() ? "" : range->second);
      dk::test::CannedResponse reply;
      reply.headers = {{"Content-Type", "video/mp4"}, {"X-Recording-Open", "true"}};
      reply = serveRange(current, request, std::move(reply));
      if (cut && ranges.back() == rest) {
        reply.body.resize(100);
        reply.headers.back() = {"Content-Range", "bytes " + std::to_string(oldMediaEnd) + "-" +
                                                     std::to_string(oldMediaEnd + 99) + "/" +
                                                     std::to_string(current.size())};
      }
      return reply;
    });
    ErrorPtr error;
    auto s = RecordingSource::create(server.baseURL() + "/recording.mp4", "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    std::string all, bytes;
    while (readAt(s, static_cast<int64_t>(all.size()), bytes, 5000) > 0) all += bytes;
    ASSERT_EQ(all, first);
    {
      std::lock_guard lock(mutex);
      current = next;
    }
    bool grew = false;
    std::thread([&] { grew = s->refreshGrowth(); }).join();
    ASSERT_TRUE(grew) << describe(s->error());
    ASSERT_EQ(readAt(s, oldMediaEnd - 10, bytes, 100), 10) << "held up to where the old media ended";
    EXPECT_EQ(bytes, next.substr(static_cast<size_t>(oldMediaEnd - 10), 10));
    if (cut) {
      EXPECT_EQ(readAt(s, oldMediaEnd, bytes, 100), -1);
      ASSERT_TRUE(s->error());
      EXPECT_EQ(s->error()->code(), 8) << describe(s->error());
    } else {
      ASSERT_EQ(readAt(s, oldMediaEnd, bytes, 100), 100) << describe(s->error());
      EXPECT_EQ(bytes, next.substr(static_cast<size_t>(oldMediaEnd), 100));
    }
    s->cancel();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    std::lock_guard lock(mutex);
    EXPECT_EQ(std::count(ranges.begin(), ranges.end(), rest), 1) << "only the rest of the piece is asked for";
  }
}

// What goes in If-Range: a strong validator of a closed recording, and nothing else. A weak ETag
// never does (Last-Modified stands in when there is one); a recording still being recorded, whose
// tag changes as it grows, sends none and is read through the changes.
TEST_F(RecordingSourceTest, OnlyAStrongValidatorOfAClosedRecordingGoesInIfRange) {
  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;
  const std::string whole = mediaBytes(20 * 1024, 4);
  const std::string lastModified = "Mon, 07 Dec 2026 10:00:00 GMT";
  struct Case {
    const char* what;
    bool open;
    std::string etag;  // "#" stands for the number of the reply
    std::string lastModified;
    std::string ifRange;  // carried by every request after the first
  };
  const std::vector<Case> cases = {
      {"a strong ETag", false, "\"v1\"", lastModified, "\"v1\""},
      {"a weak ETag", false, "W/\"v1\"", "", ""},
      {"a weak ETag and Last-Modified", false, "W/\"v1\"", lastModified, lastModified},
      {"still being recorded", true, "\"v#\"", lastModified, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::mutex mutex;
    std::vector<std::string> ifRanges;
    dk::test::TestHttpServer server;
    server.route("/recording.mp4", [&](const dk::test::RecordedRequest& request) {
      std::lock_guard lock(mutex);
      auto ifRange = request.headers.find("If-Range");
      ifRanges.push_back(ifRange == request.headers.end() ? "" : ifRange->second);
      std::string etag = c.etag;
      if (auto at = etag.find('#'); at != std::string::npos) etag.replace(at, 1, std::to_string(ifRanges.size()));
      dk::test::CannedResponse reply;
      reply.headers = {{"Content-Type", "video/mp4"}, {"ETag", etag}};
      if (!c.lastModified.empty()) reply.headers.push_back({"Last-Modified", c.lastModified});
      if (c.open) reply.headers.push_back({"X-Recording-Open", "true"});
      return serveRange(whole, request, std::move(reply));
    });
    ErrorPtr error;
    auto s = RecordingSource::create(server.baseURL() + "/recording.mp4", "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    std::string all, bytes;
    while (readAt(s, static_cast<int64_t>(all.size()), bytes, 3000) > 0) all += bytes;
    EXPECT_EQ(all, whole) << describe(s->error());
    s->cancel();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    std::lock_guard lock(mutex);
    ASSERT_GE(ifRanges.size(), 3u);
    EXPECT_EQ(ifRanges.front(), "") << "nothing to carry yet";
    for (size_t i = 1; i < ifRanges.size(); ++i) EXPECT_EQ(ifRanges[i], c.ifRange) << "request " << i;
  }
}

// The top-level boxes of an MPEG-4 file, by type.
// Opens `decoder` over the source as the streamer does (off the main thread) and decodes its first
// frame; nullptr with *why when it does not open.
ImagePtr openAndShowFirst(VideoDecoder& decoder, const RecordingSourcePtr& s, std::string* why) {
  VideoDecoder::Input input;
  input.read = [s](int64_t offset, uint8_t* out, int64_t count) { return s->read(offset, out, count); };
  input.size = [s] { return s->size(); };
  input.prefetch = [s](int64_t offset, int64_t length) { s->prefetch(offset, length); };
  ImagePtr first;
  std::thread([&] {
    if (decoder.open(std::move(input), why)) first = decoder.frameAt(0);
  }).join();
  return first;
}

// A fragmented recording read over the network shows its first picture after reading its
// movie box, its index and its first fragment (and, with an index, its last): what that costs
// does not grow with the recording's length (beyond the index, which has an entry per fragment). Played through and sought to its end, it shows
// what the whole file, opened locally, shows, and ends where it does.
TEST_F(RecordingSourceTest, AFragmentedRecordingShowsItsFirstPictureAtACostThatDoesNotGrowWithItsLength) {
  struct Case {
    const char* what;
    const char* movflags;
    const char* index;  // the top-level box that indexes the fragments, if any
  };
  const std::vector<Case> cases = {
      {"no index", "frag_keyframe+empty_moov+default_base_moof+skip_trailer", nullptr},
      {"an index up front", "frag_keyframe+empty_moov+default_base_moof+global_sidx+skip_trailer", "sidx"},
      {"an index at the end", "frag_keyframe+empty_moov+default_base_moof", "mfra"},
  };
  RecordingSource::Limits limits;
  limits.chunkBytes = 2048;  // fragments of several pieces each, as a camera's are of 128 KiB ones
  dk::test::TemporaryDirectory folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    struct Cost {
      int requests = 0;
      int64_t bytes = 0;
    };
    std::vector<Cost> costs;
    std::vector<size_t> indexBytes;
    for (int seconds : {60, 300}) {
      SCOPED_TRACE(seconds);
      const std::string file = (folder.path() / ("fragmented-" + std::to_string(seconds) + ".mp4")).string();
      TestVideoOptions options;
      options.fps = 5;
      options.frames = seconds * options.fps;
      options.gop = 10;
      options.movflags = c.movflags;
      std::string why;
      ASSERT_TRUE(writeTestVideo(file, options, &why)) << why;
      std::ifstream in(file, std::ios::binary);
      const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      std::map<std::string, int> counts;
      indexBytes.push_back(0);
      for (const TopLevelBox& box : topLevelBoxes(whole)) {
        ++counts[box.type];
        if (c.index && box.type == c.index) indexBytes.back() += box.size;
      }
      ASSERT_EQ(counts["moof"], seconds / 2) << "one fragment per key frame";
      for (const char* type : {"sidx", "mfra"}) {
        EXPECT_EQ(counts[type], c.index && std::string(c.index) == type ? 1 : 0) << type;
      }
      VideoDecoder local;
      ASSERT_TRUE(local.open(file, &why)) << why;
      ASSERT_EQ(local.frameCount(), static_cast<size_t>(options.frames));

      GrowingServer cloud(whole, false);
      ErrorPtr error;
      auto s = RecordingSource::create(cloud.url(), "token", limits, &error);
      ASSERT_TRUE(s) << describe(error);
      VideoDecoder decoder;
      const ImagePtr first = openAndShowFirst(decoder, s, &why);
      ASSERT_TRUE(first) << why;
      EXPECT_TRUE(sameFrame(first, local.frameAt(0)));
      costs.push_back({s->requestsSent(), s->bytesReceived()});
      if (seconds == 300) {
        EXPECT_LT(s->bytesReceived(), static_cast<int64_t>(whole.size() / 10));
      }

      // To the end and back to the middle, as a seek there and playing on need: the frame at
      // each time is the whole file's; then every frame, where the whole file has it.
      std::vector<size_t> wrong;
      std::thread([&] {
        const size_t n = local.frameCount();
        for (size_t i : {n - 1, n / 2, n / 2 + 1, n - 2, n - 1}) {
          const double t = local.frameTimes()[i];
          decoder.extendTo(t);
          const size_t at = decoder.frameIndexAt(t);
          if (decoder.frameTimes()[at] != t || !sameFrame(decoder.frameAt(at), local.frameAt(i))) wrong.push_back(i);
        }
        decoder.extendTo(std::numeric_limits<double>::infinity());
      }).join();
      EXPECT_THAT(wrong, ::testing::IsEmpty());
      EXPECT_TRUE(decoder.complete());
      EXPECT_TRUE(decoder.frameTimes() == local.frameTimes());
      EXPECT_DOUBLE_EQ(decoder.duration(), local.duration());
      EXPECT_FALSE(s->error()) << describe(s->error());
    }
    ASSERT_EQ(costs.size(), 2u);
    EXPECT_LE(costs[1].requests, costs[0].requests + 1) << costs[0].requests << " for 60 s";
    // (The longer index may reach into one piece more.)
    EXPECT_LE(costs[1].bytes, costs[0].bytes + 2 * limits.chunkBytes + static_cast<int64_t>(indexBytes[1] - indexBytes[0]))
        << costs[0].bytes << " for 60 s";
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

}  // namespace
}  // namespace dk::platform::test

namespace dk::platform::test {
namespace {

// Where the top-level box of `type` starts in a file, and how long it is ({-1, 0}: none).
std::pair<int64_t, int64_t> topLevelBox(const std::string& file, const std::string& type) {
  for (size_t at = 0; at + 8 <= file.size();) {
    uint64_t size = 0;
    for (size_t i = 0; i < 4; ++i) size = (size << 8) | static_cast<uint8_t>(file[at + i]);
    if (size < 8 || size > file.size() - at) break;
    if (file.compare(at + 4, 4, type) == 0) return {static_cast<int64_t>(at), static_cast<int64_t>(size)};
    at += size;
  }
  return {-1, 0};
}

// A span asked for ahead comes in one request for each run of pieces not yet held, no larger than
// half of what may be held; a reply shorter than asked keeps its whole pieces and the rest is
// asked for again when read. Whatever the case, the bytes read are the recording's.
TEST_F(RecordingSourceTest, ASpanAskedForAheadComesInOneRequestWithinTheBound) {
  constexpr int64_t kPiece = 4096;
  struct Case {
    const char* what;
    int64_t heldPieces;
    int64_t heldFirst;      // a piece read before the span is asked for (-1: none)
    int64_t replyAtMost;    // the server sends at most this many bytes of a range (0: all)
    std::vector<std::string> ranges;  // asked for by the span
  };
  const std::vector<Case> cases = {
      {"ten pieces", 64, -1, 0, {"bytes=4096-45055"}},
      {"beyond half of what may be held", 8, -1, 0, {"bytes=4096-20479"}},
      {"around a piece already held", 64, 4, 0, {"bytes=4096-16383", "bytes=20480-45055"}},
      {"a server that sends less", 64, -1, 6000, {"bytes=4096-45055"}},
  };
  const std::string whole = mediaBytes(30 * kPiece, 3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dk::test::TestHttpServer server;
    server.route("/recording.mp4", [&](const dk::test::RecordedRequest& request) {
      dk::test::CannedResponse reply;
      reply.headers = {{"Content-Type", "video/mp4"}};
      reply = serveRange(whole, request, std::move(reply));
      if (c.replyAtMost > 0 && reply.status == 206 && static_cast<int64_t>(reply.body.size()) > c.replyAtMost) {
        long long a = 0;
        std::sscanf(request.headers.at("Range").c_str(), "bytes=%lld", &a);
        reply.body.resize(static_cast<size_t>(c.replyAtMost));
        reply.headers.back().second = "bytes " + std::to_string(a) + "-" + std::to_string(a + c.replyAtMost - 1) + "/" +
                                      std::to_string(whole.size());
      }
      return reply;
    });
    RecordingSource::Limits limits;
    limits.chunkBytes = kPiece;
    limits.heldBytes = c.heldPieces * kPiece;
    ErrorPtr error;
    auto s = RecordingSource::create(server.baseURL() + "/recording.mp4", "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    std::string bytes;
    ASSERT_EQ(readAt(s, 0, bytes, 16), 16);  // the size is known from the first piece on
    if (c.heldFirst >= 0) {
      ASSERT_EQ(readAt(s, c.heldFirst * kPiece, bytes, 16), 16);
    }
    const size_t before = server.requests().size();
    s->prefetch(kPiece, 10 * kPiece);
    // Reading the span (from its end, as no reader going on would): nothing more than it and,
    // when it was cut, the rest of it.
    for (int64_t piece = 10; piece >= 1; --piece) {
      ASSERT_EQ(readAt(s, piece * kPiece, bytes, kPiece), kPiece);
      EXPECT_EQ(bytes, whole.substr(static_cast<size_t>(piece * kPiece), kPiece)) << "piece " << piece;
    }
    std::vector<std::string> asked;
    for (size_t i = before; i < server.requests().size(); ++i) asked.push_back(server.requests()[i].headers.at("Range"));
    // The span's own requests go out from the source's queue, so a read of a piece beyond it may
    // reach the server first: each is looked for, not its place in line.
    ASSERT_GE(asked.size(), c.ranges.size());
    for (const std::string& range : c.ranges) {
      EXPECT_NE(std::find(asked.begin(), asked.end(), range), asked.end()) << range;
    }
    if (c.heldPieces >= 64 && c.replyAtMost == 0) {
      EXPECT_EQ(asked.size(), c.ranges.size()) << "every piece of the span came with it";
    }
    EXPECT_LE(s->bytesHeld(), limits.heldBytes);
    EXPECT_FALSE(s->error()) << describe(s->error());
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

// A span of many pieces is one transfer: it ends by the source's one deadline, however many
// pieces it asks for, against a server that keeps it alive a byte at a time.
TEST_F(RecordingSourceTest, ASpanOfManyPiecesEndsByTheOneDeadline) {
  constexpr int64_t kPiece = 4096;
  const std::string whole = mediaBytes(300 * kPiece, 4);
  std::mutex mutex;
  std::condition_variable asked;
  int spans = 0;
  dk::test::TestHttpServer server;
  server.route("/recording.mp4", [&](const dk::test::RecordedRequest& request) {
    dk::test::CannedResponse reply;
    reply.headers = {{"Content-Type", "video/mp4"}};
    reply = serveRange(whole, request, std::move(reply));
    if (static_cast<int64_t>(reply.body.size()) > kPiece) {
      reply.drip = true;
      std::lock_guard lock(mutex);
      ++spans;
      asked.notify_all();
    }
    return reply;
  });
  RecordingSource::Limits limits;
  limits.chunkBytes = kPiece;
  limits.heldBytes = 1024 * kPiece;
  limits.idleSeconds = 1000;
  limits.deadlineSeconds = 25;
  ErrorPtr error;
  auto s = RecordingSource::create(server.baseURL() + "/recording.mp4", "token", limits, &error);
  ASSERT_TRUE(s) << describe(error);
  std::string bytes;
  ASSERT_EQ(readAt(s, 0, bytes, 16), 16);
  s->prefetch(kPiece, 256 * kPiece);
  {
    std::unique_lock lock(mutex);
    asked.wait(lock, [&] { return spans == 1; });
  }
  server.dripOne();
  server.dripOne();
  clock.clock().advance(26);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return s->error() != nullptr; })) << "still reading the span";
  EXPECT_EQ(s->error()->code(), kURLErrorTimedOut) << describe(s->error());
  s->cancel();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

// The movie box (the index) of a closed recording spans many pieces: it comes in one request,
// whether it follows the media (as a camera closes its file) or comes first, and whatever the
// recording's length; the first picture then costs the first piece, the index and its own bytes.
TEST_F(RecordingSourceTest, TheIndexOfAClosedRecordingComesInOneRequest) {
  struct Case {
    const char* what;
    int frames;
    bool indexFirst;
  };
  const Case cases[] = {
      {"index at the end, 2 minutes", 1200, false},
      {"index at the end, 7 minutes", 4000, false},
      {"index at the end, 20 minutes", 12000, false},
      {"index first, 7 minutes", 4000, true},
  };
  RecordingSource::Limits limits;
  limits.chunkBytes = 4096;  // an index of many pieces, as a long recording's is of 128 KiB ones
  dk::test::TemporaryDirectory folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string file = (folder.path() / "closed.mp4").string();
    TestVideoOptions options;
    options.width = 64;
    options.height = 48;
    options.fps = 10;
    options.frames = c.frames;
    options.gop = 20;
    options.indexFirst = c.indexFirst;
    std::string why;
    ASSERT_TRUE(writeTestVideo(file, options, &why)) << why;
    std::ifstream in(file, std::ios::binary);
    const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto [moovAt, moovSize] = topLevelBox(whole, "moov");
    ASSERT_GT(moovSize, 3 * limits.chunkBytes) << "an index of several pieces";
    VideoDecoder local;
    ASSERT_TRUE(local.open(file, &why)) << why;

    GrowingServer cloud(whole, false);
    ErrorPtr error;
    auto s = RecordingSource::create(cloud.url(), "token", limits, &error);
    ASSERT_TRUE(s) << describe(error);
    VideoDecoder decoder;
    const ImagePtr first = openAndShowFirst(decoder, s, &why);
    ASSERT_TRUE(first) << why;
    EXPECT_TRUE(sameFrame(first, local.frameAt(0)));
    EXPECT_EQ(decoder.frameTimes(), local.frameTimes());

    // Requests that brought any of the index: one.
    int indexRequests = 0;
    for (const auto& request : cloud.server.requests()) {
      long long a = 0, b = 0;
      auto range = request.headers.find("Range");
      ASSERT_TRUE(range != request.headers.end() && std::sscanf(range->second.c_str(), "bytes=%lld-%lld", &a, &b) == 2);
      if (a < moovAt + moovSize && b >= moovAt) ++indexRequests;
    }
    EXPECT_EQ(indexRequests, c.indexFirst ? 2 : 1) << "the first piece holds the start of an index that comes first";
    EXPECT_LE(s->requestsSent(), 4);
    EXPECT_LE(s->bytesReceived(), moovSize + 4 * limits.chunkBytes);

    // A far frame then reads its own part, and the index is not read again.
    const int sent = s->requestsSent();
    ImagePtr far;
    const size_t farIndex = local.frameIndexAt(c.frames * 0.075);
    std::thread([&] { far = decoder.frameAt(farIndex); }).join();
    EXPECT_TRUE(sameFrame(far, local.frameAt(farIndex)));
    EXPECT_LE(s->requestsSent() - sent, 3);
    EXPECT_FALSE(s->error()) << describe(s->error());
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
}

}  // namespace
}  // namespace dk::platform::test
