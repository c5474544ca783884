// What a hostile server cannot do to a call: keep it alive for ever by trickling bytes, fill memory
// with an endless reply, or make a download land in a file somebody else chose.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>

#include "platform/dispatch/run_loop.h"
#include "platform/foundation/app_directories.h"
#include "platform/foundation/data.h"
#include "platform/net/http_errors.h"
#include "platform/net/http_session.h"
#include "platform/net/test_http_server.h"
#include "support/manual_clock.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

using test::CannedResponse;
using test::ManualClockScope;
using test::TemporaryDirectory;
using test::TestHttpServer;

struct LimitOutcome {
  int successes = 0;
  int failures = 0;
  ErrorPtr error;
  Value body;
  int total() const { return successes + failures; }
};

class HttpLimitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpSession::Options options;
    options.baseURL = server.baseURL();
    session = HttpSession::create(options);
  }
  void TearDown() override {
    session->invalidateAndCancel();
    MainRunLoop::runUntilIdle();
  }
  HttpTaskPtr send(LimitOutcome& outcome, const std::string& path, std::function<void(RequestConfiguration&)> adjust = {},
                   bool download = false) {
    auto configuration = std::make_shared<RequestConfiguration>();
    configuration->responseSerializer = download ? ResponseSerializerKind::Http : ResponseSerializerKind::Json;
    if (adjust) adjust(*configuration);
    auto success = [&outcome](const std::shared_ptr<const HttpResponseInfo>&, const Value& body) {
      outcome.successes++;
      outcome.body = body;
    };
    auto failure = [&outcome](const ErrorPtr& error) {
      outcome.failures++;
      outcome.error = error;
    };
    if (download) return session->downloadTask(path, configuration, nullptr, success, failure);
    return session->dataTask(HttpMethod::Get, path, Value(), configuration, success, failure);
  }

  test::TemporaryHome home;  // the private download folder lives in its caches
  TestHttpServer server;
  std::shared_ptr<HttpSession> session;
  // Outlive every call (a failed assertion leaves calls running until TearDown cancels them).
  LimitOutcome first, second, third;
};

TEST_F(HttpLimitsTest, ATrickleOfBytesDoesNotKeepACallAliveBeyondItsDeadline) {
  ManualClockScope clock;
  std::string padded(1000, ' ');
  padded += "{}";  // built in place: GCC 12 misreads `std::string(n, c) + "..."` as out of bounds
  CannedResponse slow = CannedResponse::json(padded);
  slow.drip = true;
  server.route("/page", slow);
  LimitOutcome& defaults = first;
  LimitOutcome& shortDeadline = second;
  send(defaults, "/page");  // idle time-out 60 s, deadline 120 s
  send(shortDeadline, "/page", [](RequestConfiguration& c) { c.deadline = 5; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server.requestCount() == 2; }));

  // A byte every 25 s: never idle for the 60 s of the idle time-out, yet the calls end.
  for (int step = 1; step <= 4; ++step) {
    server.dripOne();
    clock.clock().advance(25);
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return shortDeadline.total() == 1; }));
    EXPECT_EQ(defaults.total(), 0) << "ended " << 25 * step << " s in, before its deadline";
  }
  server.dripOne();
  clock.clock().advance(25);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return defaults.total() == 1; }));
  ASSERT_EQ(shortDeadline.failures, 1);
  EXPECT_EQ(shortDeadline.error->code(), kURLErrorTimedOut);
  ASSERT_EQ(defaults.failures, 1);
  EXPECT_EQ(defaults.error->code(), kURLErrorTimedOut);
  EXPECT_EQ(defaults.error->localizedDescription(), "The request timed out.");
}

// A download is given its deadline plus its announced size at the least throughput it must reach:
// the configuration's, else the default for downloads.
TEST_F(HttpLimitsTest, ADownloadsDeadlineGrowsWithItsSizeAtTheLeastThroughput) {
  const struct {
    const char* what;
    double throughput;  // 0: the default
    size_t bytes;
    double allowed;     // seconds
  } cases[] = {
      {"100 bytes a second", 100, 4000, 10 + 4000 / 100.0},
      {"the default for downloads", 0, 20 * 16384, 10 + 20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ManualClockScope clock;
    TestHttpServer dripping;
    CannedResponse clip{200, {{"Content-Type", "video/mp4"}}, std::string(c.bytes, 'v')};
    clip.drip = true;
    dripping.route("/clip.mp4", clip);
    LimitOutcome outcome;
    std::atomic<int64_t> received{0};
    auto configuration = std::make_shared<RequestConfiguration>();
    configuration->responseSerializer = ResponseSerializerKind::Http;
    configuration->deadline = 10;
    configuration->minimumThroughput = c.throughput;
    session->downloadTask(
        dripping.baseURL() + "/clip.mp4", configuration,
        [&received](int64_t completed, int64_t, double) { received = completed; },
        [&outcome](const std::shared_ptr<const HttpResponseInfo>&, const Value&) { outcome.successes++; },
        [&outcome](const ErrorPtr& error) {
          outcome.failures++;
          outcome.error = error;
        });
    // The first byte goes once the reply is dripping (a drip asked for before does not count).
    for (int tries = 0; tries < 100 && dripping.bytesDripped() == 0; ++tries) {
      dripping.dripOne();
      MainRunLoop::runUntil([&] { return dripping.bytesDripped() > 0; }, 0.2);
    }
    ASSERT_GT(dripping.bytesDripped(), 0u);
    // Every byte the server sent has reached the download.
    const auto caughtUp = [&] { return received == static_cast<int64_t>(dripping.bytesDripped()); };
    ASSERT_TRUE(MainRunLoop::runUntil(caughtUp));
    // Just before its time the call still takes bytes: the second byte can only arrive if the
    // network thread, having seen the first after the clock moved, did not end the call.
    clock.clock().advance(c.allowed - 1);
    for (int i = 0; i < 2; ++i) {
      const size_t sent = dripping.bytesDripped();
      dripping.dripOne();
      ASSERT_TRUE(MainRunLoop::runUntil([&] { return dripping.bytesDripped() > sent && caughtUp(); }))
          << "ended before its time";
    }
    EXPECT_EQ(outcome.total(), 0);
    clock.clock().advance(2);
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return outcome.total() == 1; }));
    ASSERT_EQ(outcome.failures, 1);
    EXPECT_EQ(outcome.error->code(), kURLErrorTimedOut);
    dripping.releaseHeld();
  }
}

TEST_F(HttpLimitsTest, RepliesPastTheirCapFailWithoutRetryingWhetherAnnouncedOrNot) {
  const std::string big = "[" + std::string(4096, ' ') + "]";
  server.route("/announced", CannedResponse::json(big));
  CannedResponse unannounced = CannedResponse::json(big);
  unannounced.omitContentLength = true;
  server.route("/unannounced", unannounced);
  server.route("/fits", CannedResponse::json("[1]"));
  auto capped = [](RequestConfiguration& c) {
    c.maxBodyBytes = 1024;
    c.retry.retryCount = 3;  // a reply that is too long is not asked for again
  };
  LimitOutcome& announced = first;
  LimitOutcome& streamed = second;
  LimitOutcome& fits = third;
  send(announced, "/announced", capped);
  send(streamed, "/unannounced", capped);
  send(fits, "/fits", capped);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  for (LimitOutcome* outcome : {&announced, &streamed}) {
    ASSERT_EQ(outcome->failures, 1);
    EXPECT_EQ(outcome->error->code(), kURLErrorDataLengthExceedsMaximum);
    EXPECT_EQ(outcome->error->localizedDescription(), "resource exceeds maximum size");
  }
  EXPECT_EQ(server.requestCount("/announced"), 1u);
  EXPECT_EQ(server.requestCount("/unannounced"), 1u);
  ASSERT_EQ(fits.successes, 1);
  EXPECT_EQ(fits.body[0].integerValue(), 1);

  // The default cap of a call is far above any real page and far below memory.
  EXPECT_GE(kDefaultMaxReplyBytes, 4 << 20);
  EXPECT_LE(kDefaultMaxReplyBytes, 64 << 20);
}

TEST_F(HttpLimitsTest, ADownloadPastItsCapLeavesNoFile) {
  server.route("/clip.mp4", CannedResponse{200, {{"Content-Type", "video/mp4"}}, std::string(8192, 'v')});
  LimitOutcome& outcome = first;
  send(outcome, "/clip.mp4", [](RequestConfiguration& c) { c.maxBodyBytes = 4096; }, true);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.error->code(), kURLErrorDataLengthExceedsMaximum);
  for (const auto& folder : std::filesystem::directory_iterator(AppDirectories::caches())) {
    EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << folder.path();
  }
}

TEST_F(HttpLimitsTest, DownloadsLandInAPrivateFolderOfTheAppsCaches) {
  server.route("/clip.mp4", CannedResponse{200, {{"Content-Type", "video/mp4"}}, "mp4 bytes"});
  LimitOutcome& outcome = first;
  send(outcome, "/clip.mp4", {}, true);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.successes, 1);
  auto data = outcome.body.objectAs<Data>();
  ASSERT_TRUE(data && data->filePath());
  const std::filesystem::path file = *data->filePath();
  const std::filesystem::path folder = file.parent_path();
  EXPECT_EQ(folder.parent_path(), AppDirectories::caches());
  EXPECT_NE(folder.filename().string().find("tmp-" + std::to_string(::getpid()) + "-"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::lstat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(data->bytes(), "mp4 bytes");
}

// The caches are the system's to purge while the app runs: the private folder is made again
// (never followed through a link planted in its place), and the next download lands there
// instead of failing to create its file.
TEST_F(HttpLimitsTest, DownloadsGoOnWhenTheCachesArePurgedWhileTheAppRuns) {
  server.route("/clip.mp4", CannedResponse{200, {{"Content-Type", "video/mp4"}}, "mp4 bytes"});
  const auto download = [&](LimitOutcome& outcome) -> std::filesystem::path {
    send(outcome, "/clip.mp4", {}, true);
    EXPECT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_EQ(outcome.successes, 1) << (outcome.error ? outcome.error->description() : "");
    auto data = outcome.body.objectAs<Data>();
    if (!data || !data->filePath()) return {};
    EXPECT_EQ(data->bytes(), "mp4 bytes");
    return std::filesystem::path(*data->filePath()).parent_path();
  };
  std::filesystem::path folder = download(first);
  ASSERT_FALSE(folder.empty());
  TemporaryDirectory elsewhere;
  const struct {
    const char* what;
    std::function<void(const std::filesystem::path& folder)> purge;
  } purges[] = {
      {"the caches emptied", [](const std::filesystem::path&) { std::filesystem::remove_all(AppDirectories::caches()); }},
      {"a link planted where the folder was", [&](const std::filesystem::path& folder) {
         std::filesystem::remove_all(folder);
         std::filesystem::create_directory_symlink(elsewhere.path(), folder);
       }},
  };
  LimitOutcome* outcomes[] = {&second, &third};
  for (size_t i = 0; i < std::size(purges); ++i) {
    SCOPED_TRACE(purges[i].what);
    purges[i].purge(folder);
    const std::filesystem::path after = download(*outcomes[i]);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.parent_path(), AppDirectories::caches());
    struct stat st {};
    ASSERT_EQ(::lstat(after.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << "a folder of its own, not the link";
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    folder = after;
  }
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path())) << "nothing went through the link";
}

}  // namespace
}  // namespace dk::platform
