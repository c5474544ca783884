// What a hostile server cannot do to a call: keep it alive for ever by trickling bytes, fill memory
// with an endless reply, or make a download land in a file somebody else chose.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

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

TEST_F(HttpLimitsTest, ADownloadsDeadlineGrowsWithItsSizeAtTheLeastThroughput) {
  ManualClockScope clock;
  CannedResponse clip{200, {{"Content-Type", "video/mp4"}}, std::string(4000, 'v')};
  clip.drip = true;
  server.route("/clip.mp4", clip);
  LimitOutcome& outcome = first;
  // 10 s, plus 4000 bytes at 100 bytes a second: 50 s in all.
  send(outcome, "/clip.mp4", [](RequestConfiguration& c) { c.deadline = 10; c.minimumThroughput = 100; }, true);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server.requestCount() == 1; }));
  server.dripOne();
  clock.clock().advance(45);
  MainRunLoop::runPending();
  EXPECT_EQ(outcome.total(), 0) << "a large download is given time in proportion";
  clock.clock().advance(6);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return outcome.total() == 1; }));
  ASSERT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.error->code(), kURLErrorTimedOut);
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

}  // namespace
}  // namespace dk::platform
