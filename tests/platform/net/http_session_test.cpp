#include <gtest/gtest.h>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/data.h"
#include "platform/net/http_session.h"
#include "support/manual_clock.h"
#include "platform/net/test_http_server.h"

namespace dk::platform {
namespace {

using test::CannedResponse;
using test::ManualClockScope;
using test::RecordedRequest;
using test::TestHttpServer;

// What one call reported; each field is written once, on the main thread.
struct Outcome {
  int successes = 0;
  int failures = 0;
  bool onMain = true;
  std::shared_ptr<const HttpResponseInfo> response;
  Value body;
  ErrorPtr error;
  int total() const { return successes + failures; }
};

class HttpSessionTest : public ::testing::Test {
 protected:
  static std::filesystem::path downloadDirectory() {
    return std::filesystem::temp_directory_path() / ("dk-session-test-" + std::to_string(::getpid()));
  }
  void SetUp() override {
    HttpSession::Options options;
    options.baseURL = server.baseURL();
    options.downloadDirectory = downloadDirectory().string();
    session = HttpSession::create(options);
  }
  void TearDown() override {
    session->invalidateAndCancel();
    server.releaseHeld();
    MainRunLoop::runUntilIdle();
  }

  HttpTaskPtr send(Outcome& outcome, HttpMethod method, const std::string& url, RequestConfigurationPtr configuration,
                   Value parameters = Value()) {
    return session->dataTask(
        method, url, parameters, std::move(configuration),
        [&outcome](const std::shared_ptr<const HttpResponseInfo>& response, const Value& body) {
          outcome.successes++;
          outcome.onMain = outcome.onMain && isMainThread();
          outcome.response = response;
          outcome.body = body;
        },
        [&outcome](const ErrorPtr& error) {
          outcome.failures++;
          outcome.onMain = outcome.onMain && isMainThread();
          outcome.error = error;
        });
  }

  // A GET whose reply the server holds back until released; nullptr when it never arrives there.
  HttpTaskPtr sendToAHeldReply(Outcome& outcome, double timeoutInterval, double deadline) {
    server.route("/held", [](const RecordedRequest&) {
      CannedResponse r = CannedResponse::json("{\"late\":1}");
      r.hold = true;
      return r;
    });
    const size_t held = server.heldCount();
    auto task = send(outcome, HttpMethod::Get, "/held", json([&](RequestConfiguration& c) {
                       c.timeoutInterval = timeoutInterval;
                       c.deadline = deadline;
                     }));
    return MainRunLoop::runUntil([&] { return server.heldCount() == held + 1; }) ? task : nullptr;
  }

  static RequestConfigurationPtr json(std::function<void(RequestConfiguration&)> adjust = nullptr) {
    auto c = std::make_shared<RequestConfiguration>();
    c->requestSerializer = RequestSerializerKind::Json;
    c->responseSerializer = ResponseSerializerKind::Json;
    if (adjust) adjust(*c);
    return c;
  }

  TestHttpServer server;
  std::shared_ptr<HttpSession> session;
};

TEST_F(HttpSessionTest, GetSendsTheCallsHeadersAndDecodesJsonOnTheMainThread) {
  server.route("/rest/v2.2/cameras/7/recordings",
               CannedResponse{200, {{"Content-Type", "application/json"}, {"link", "<https://h/next>; rel=\"next\""}},
                              "{\"values\":[{\"id\":1}]}"});
  Outcome outcome;
  send(outcome, HttpMethod::Get, "/rest/v2.2/cameras/7/recordings", json([](RequestConfiguration& c) {
         c.headers = {{"Accept", "*/*"}, {"Content-Type", "application/json"}, {"Authorization", "Bearer T"}};
       }),
       Value(ValueDictionary{{"limit", Value(100)}, {"sortByRecordingIdOrder", Value("desc")}}));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());

  ASSERT_EQ(outcome.successes, 1);
  EXPECT_EQ(outcome.failures, 0);
  EXPECT_TRUE(outcome.onMain);
  EXPECT_EQ(outcome.body["values"][size_t{0}]["id"].integerValue(), 1);
  ASSERT_TRUE(outcome.response);
  EXPECT_EQ(outcome.response->statusCode, 200);
  // A lower-case header name arrives in the spelling the models read.
  bool sawCanonicalLink = false;
  for (const auto& [name, value] : outcome.response->headers) sawCanonicalLink |= name == "Link";
  EXPECT_TRUE(sawCanonicalLink);

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].target, "/rest/v2.2/cameras/7/recordings?limit=100&sortByRecordingIdOrder=desc");
  EXPECT_EQ(requests[0].headers["Accept"], "*/*");
  EXPECT_EQ(requests[0].headers["Content-Type"], "application/json");
  EXPECT_EQ(requests[0].headers["Authorization"], "Bearer T");
  EXPECT_EQ(requests[0].body, "");
}

TEST_F(HttpSessionTest, PatchSendsAJsonBody) {
  server.route("/zones/3/cameraIds", CannedResponse{204, {}, ""});
  Outcome outcome;
  send(outcome, HttpMethod::Patch, "zones/3/cameraIds", json(), Value(ValueArray{Value("7"), Value("9")}));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(outcome.successes, 1);
  EXPECT_TRUE(outcome.body.isNil());
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "PATCH");
  EXPECT_EQ(requests[0].body, "[\"7\",\"9\"]");
}

TEST_F(HttpSessionTest, AnUnauthorizedReplyFailsWithStatusHeadersAndTheServersMessage) {
  server.route("/x", CannedResponse{401, {{"Content-Type", "application/json"}, {"WWW-Authenticate", "Bearer"}},
                                    "{\"message\":\"Invalid access token: T\"}"});
  Outcome outcome;
  send(outcome, HttpMethod::Get, "/x", json());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.successes, 0);
  EXPECT_EQ(outcome.error->code(), -1011);
  EXPECT_EQ(outcome.error->localizedDescription(), "Request failed: unauthorized (401)");
  ASSERT_TRUE(outcome.error->response());
  EXPECT_EQ(outcome.error->response()->statusCode, 401);
  EXPECT_EQ(outcome.error->response()->headers.at("www-authenticate"), "Bearer");
  EXPECT_EQ(outcome.error->responseBody(), "{\"message\":\"Invalid access token: T\"}");
}

TEST_F(HttpSessionTest, MalformedJsonAndUnacceptableTypesFailWithoutRetrying) {
  server.route("/broken", CannedResponse::json("{\"values\":[", 200));
  server.route("/html", CannedResponse{200, {{"Content-Type", "text/html"}}, "<html/>"});
  Outcome broken, html;
  send(broken, HttpMethod::Get, "/broken", json());
  send(html, HttpMethod::Get, "/html", json());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(broken.failures, 1);
  EXPECT_EQ(broken.error->code(), 3840);
  ASSERT_EQ(html.failures, 1);
  EXPECT_EQ(html.error->code(), -1016);
  EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(HttpSessionTest, ACallThatCannotBeEncodedFailsOnceAndLater) {
  Outcome outcome;
  auto task = send(outcome, HttpMethod::Post, "/x", json(), Value("not a dictionary"));
  EXPECT_EQ(outcome.total(), 0);  // never inline: callers may still be setting up
  EXPECT_EQ(task->state(), HttpTask::State::Completed);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.successes, 0);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(HttpSessionTest, RedirectsStayOnTheRequestsHostUnlessTheyGoToHttps) {
  CannedResponse elsewhere;
  elsewhere.status = 302;
  elsewhere.headers = {{"Location", "http://localhost:" + std::to_string(server.port()) + "/target"}};
  server.route("/elsewhere", elsewhere);
  CannedResponse here;
  here.status = 302;
  here.headers = {{"Location", "/target"}};
  server.route("/here", here);
  server.route("/target", CannedResponse::json(R"({"ok": true})"));
  auto bearer = json([](RequestConfiguration& c) { c.headers["Authorization"] = "Bearer secret-token"; });

  Outcome refused;
  send(refused, HttpMethod::Get, "/elsewhere", bearer);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(refused.failures, 1) << "a plaintext hop to another host is not a success";
  EXPECT_EQ(refused.error->code(), kURLErrorAppTransportSecurityRequiresSecureConnection);
  EXPECT_EQ(server.requestCount("/target"), 0u);

  Outcome followed;
  send(followed, HttpMethod::Get, "/here", bearer);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(followed.successes, 1);
  EXPECT_EQ(followed.body.valueForKeyPath("ok").boolValue(), true);
  const auto requests = server.requests();
  ASSERT_EQ(requests.back().path, "/target");
  EXPECT_EQ(requests.back().headers.at("Authorization"), "Bearer secret-token") << "same host: the token goes along";
}

TEST_F(HttpSessionTest, TransportFailuresCarryThePlatformCodes) {
  int closedPort;
  {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t length = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    closedPort = ntohs(addr.sin_port);
    ::close(fd);
  }
  server.route("/drop", [](const RecordedRequest&) {
    CannedResponse r;
    r.drop = true;
    return r;
  });
  Outcome refused, dropped;
  send(refused, HttpMethod::Get, "http://127.0.0.1:" + std::to_string(closedPort) + "/x", json());
  send(dropped, HttpMethod::Get, "/drop", json());
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(refused.failures, 1);
  EXPECT_EQ(refused.error->domain(), "NSURLErrorDomain");
  EXPECT_EQ(refused.error->code(), -1004);
  EXPECT_EQ(refused.error->localizedDescription(), "Could not connect to the server.");
  ASSERT_EQ(dropped.failures, 1);
  EXPECT_EQ(dropped.error->code(), -1005);
}

TEST_F(HttpSessionTest, RetriesWaitOnTheInjectedClockAndDoubleWhenProgressive) {
  ManualClockScope clock;
  std::atomic<int> hits{0};
  server.route("/flaky", [&](const RecordedRequest&) {
    return ++hits < 3 ? CannedResponse::json("{}", 503) : CannedResponse::json("{\"ok\":true}");
  });
  Outcome outcome;
  auto task = send(outcome, HttpMethod::Get, "/flaky", json([](RequestConfiguration& c) {
                     c.retry = RetryPolicy{3, 2.0, true, {400, 404}};
                   }));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(task->retriesDone(), 1);
  EXPECT_EQ(outcome.total(), 0);

  clock.advance(1.9);
  EXPECT_EQ(server.requestCount(), 1u);
  clock.advance(0.1);
  EXPECT_EQ(server.requestCount(), 2u);
  clock.advance(3.9);  // the second wait is twice the first
  EXPECT_EQ(server.requestCount(), 2u);
  clock.advance(0.1);
  EXPECT_EQ(server.requestCount(), 3u);
  EXPECT_EQ(outcome.successes, 1);
  EXPECT_TRUE(outcome.body["ok"].boolValue());
}

TEST_F(HttpSessionTest, FatalCodesAndExhaustedRetriesEndTheCallWithTheLastError) {
  ManualClockScope clock;
  server.route("/missing", CannedResponse::json("{}", 404));
  server.route("/down", CannedResponse::json("{}", 503));
  Outcome fatal, exhausted, none;
  send(fatal, HttpMethod::Get, "/missing", json([](RequestConfiguration& c) { c.retry = RetryPolicy{3, 3.0, false, {404}}; }));
  send(exhausted, HttpMethod::Get, "/down", json([](RequestConfiguration& c) { c.retry = RetryPolicy{2, 3.0, false, {404}}; }));
  send(none, HttpMethod::Get, "/down", json([](RequestConfiguration& c) { c.retry = RetryPolicy{-1, 3.0, false, {}}; }));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(fatal.failures, 1);
  EXPECT_EQ(server.requestCount("/missing"), 1u);
  EXPECT_EQ(none.failures, 1);
  EXPECT_EQ(exhausted.total(), 0);
  clock.advance(3);
  clock.advance(3);
  EXPECT_EQ(server.requestCount("/down"), 4u);  // 1 for `none`, 1 + 2 retries for `exhausted`
  ASSERT_EQ(exhausted.failures, 1);
  EXPECT_EQ(exhausted.error->response()->statusCode, 503);
  clock.advance(30);
  EXPECT_EQ(server.requestCount("/down"), 4u);
  EXPECT_EQ(exhausted.total(), 1);
}

TEST_F(HttpSessionTest, CancellingDuringARetryWaitEndsTheCallAtOnce) {
  ManualClockScope clock;
  server.route("/down", CannedResponse::json("{}", 503));
  Outcome outcome;
  auto task = send(outcome, HttpMethod::Get, "/down", json([](RequestConfiguration& c) { c.retry = RetryPolicy{5, 2.0, false, {}}; }));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(session->tasks().size(), 1u);  // a waiting call is still listed
  task->cancel();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.error->code(), -999);
  EXPECT_EQ(outcome.error->localizedDescription(), "cancelled");
  clock.advance(60);
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_EQ(outcome.total(), 1);
  EXPECT_TRUE(session->tasks().empty());
}

TEST_F(HttpSessionTest, CancellingACallInFlightCompletesItOnceAsCancelled) {
  server.route("/hang", [](const RecordedRequest&) {
    CannedResponse r = CannedResponse::json("{}");
    r.hold = true;
    return r;
  });
  Outcome outcome;
  auto task = send(outcome, HttpMethod::Get, "/hang", json([](RequestConfiguration& c) { c.retry = RetryPolicy{3, 1.0, false, {}}; }));
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server.heldCount() == 1; }));
  EXPECT_EQ(task->url(), server.baseURL() + "/hang");
  task->cancel();
  task->cancel();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.successes, 0);
  EXPECT_EQ(outcome.error->code(), -999);
  EXPECT_EQ(task->state(), HttpTask::State::Completed);
}

TEST_F(HttpSessionTest, IdleTimeOutIsPerCallAndMeasuredOnTheInjectedClock) {
  ManualClockScope clock;
  server.route("/hang", [](const RecordedRequest&) {
    CannedResponse r = CannedResponse::json("{\"late\":1}");
    r.hold = true;
    return r;
  });
  Outcome ping, download;
  send(ping, HttpMethod::Get, "/hang", json([](RequestConfiguration& c) { c.timeoutInterval = 5; }));
  send(download, HttpMethod::Get, "/hang", json([](RequestConfiguration& c) { c.timeoutInterval = 180; }));
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server.heldCount() == 2; }));
  clock.clock().advance(5);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return ping.total() == 1; }));
  ASSERT_EQ(ping.failures, 1);
  EXPECT_EQ(ping.error->code(), -1001);
  EXPECT_EQ(ping.error->localizedDescription(), "The request timed out.");
  EXPECT_EQ(download.total(), 0);  // the short time-out of one call never reaches another
  server.releaseHeld();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(download.successes, 1);
  EXPECT_EQ(download.body["late"].integerValue(), 1);
}

TEST_F(HttpSessionTest, SuspendingHoldsTheNextAttemptUntilResumed) {
  ManualClockScope clock;
  std::atomic<int> hits{0};
  server.route("/flaky", [&](const RecordedRequest&) {
    return ++hits < 2 ? CannedResponse::json("{}", 503) : CannedResponse::json("{}");
  });
  Outcome outcome;
  auto task = send(outcome, HttpMethod::Get, "/flaky", json([](RequestConfiguration& c) { c.retry = RetryPolicy{1, 2.0, false, {}}; }));
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  task->suspend();
  EXPECT_EQ(task->state(), HttpTask::State::Suspended);
  clock.advance(10);
  EXPECT_EQ(server.requestCount(), 1u);
  task->resume();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(server.requestCount(), 2u);
  EXPECT_EQ(outcome.successes, 1);
}

// A manual clock whose readings off the main thread (the network thread's, where it checks its
// transfers for time-outs) a test can count, and act inside of once.
class NetworkThreadClock final : public Clock {
 public:
  double now() const override {
    if (!isMainThread()) {
      readings_.fetch_add(1);
      std::function<void()> hook;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        hook.swap(hook_);
      }
      if (hook) hook();
    }
    return manual_.now();
  }
  bool isManual() const override { return true; }
  void advance(double seconds) { manual_.advance(seconds); }
  // Runs `hook` inside the next reading off the main thread.
  void atNextReading(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    hook_ = std::move(hook);
  }
  // Waits until the network thread has read the time afresh (it has then checked its transfers
  // against the time as it is now), or `done` holds (with no transfer left it has nothing to check).
  bool waitForFreshReadings(const std::function<bool()>& done) {
    const int seen = readings_.load();
    return MainRunLoop::runUntil([&] { return readings_.load() >= seen + 2 || done(); });
  }

 private:
  ManualClock manual_;
  mutable std::mutex mutex_;
  mutable std::function<void()> hook_;
  mutable std::atomic<int> readings_{0};
};

// Installs a NetworkThreadClock for one test and restores the system clock afterwards.
class NetworkThreadClockScope {
 public:
  NetworkThreadClockScope() { setClock(clock_); }
  ~NetworkThreadClockScope() {
    MainRunLoop::runUntilIdle();
    setClock(nullptr);
  }
  NetworkThreadClock& clock() { return *clock_; }

 private:
  std::shared_ptr<NetworkThreadClock> clock_ = std::make_shared<NetworkThreadClock>();
};

// A pause is in force when suspend() returns, even before the network thread has heard of it:
// here the call is suspended, and the clock moved far past its time-outs, from inside the
// network thread's own reading of the time (where it checks for time-outs). Resumed, it goes on.
TEST_F(HttpSessionTest, ACallCannotTimeOutOnceSuspendReturns) {
  NetworkThreadClockScope scope;
  NetworkThreadClock& clock = scope.clock();
  Outcome outcome;
  auto task = sendToAHeldReply(outcome, 5, 10);
  ASSERT_TRUE(task);
  std::atomic<bool> acted{false};
  clock.atNextReading([&] {
    task->suspend();
    clock.advance(1000);
    acted = true;
  });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return acted.load(); }));
  ASSERT_TRUE(clock.waitForFreshReadings([&] { return outcome.total() == 1; }));
  EXPECT_EQ(outcome.total(), 0);
  task->resume();
  server.releaseHeld();
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return outcome.total() == 1; }));
  ASSERT_EQ(outcome.successes, 1) << outcome.error->description();
  EXPECT_EQ(outcome.body["late"].integerValue(), 1);
}

// Time spent suspended does not count towards a call's deadline (10 s here), nor its idle time-out
// (60 s): a call suspended far longer than both goes on when resumed, with the rest of its 10 s.
TEST_F(HttpSessionTest, TimeSpentSuspendedDoesNotCountTowardsTheDeadline) {
  const struct {
    const char* what;
    double afterResume;  // seconds; 4 had run before the suspension
    bool timesOut;
  } cases[] = {
      {"within the rest of its deadline", 5.5, false},
      {"past the rest of its deadline", 6.5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    NetworkThreadClockScope scope;
    NetworkThreadClock& clock = scope.clock();
    Outcome outcome;
    auto task = sendToAHeldReply(outcome, 60, 10);
    ASSERT_TRUE(task);
    clock.advance(4);
    task->suspend();
    clock.advance(3600);
    ASSERT_TRUE(clock.waitForFreshReadings([&] { return outcome.total() == 1; }));
    task->resume();
    clock.advance(c.afterResume);
    ASSERT_TRUE(clock.waitForFreshReadings([&] { return outcome.total() == 1; }));
    server.releaseHeld();
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return outcome.total() == 1; }));
    if (c.timesOut) {
      ASSERT_EQ(outcome.failures, 1);
      EXPECT_EQ(outcome.error->code(), kURLErrorTimedOut);
    } else {
      EXPECT_EQ(outcome.successes, 1) << outcome.error->description();
    }
  }
}

TEST_F(HttpSessionTest, ConnectionsAreReusedAndAtMostTenPerHost) {
  server.route("/ok", CannedResponse::json("{}"));
  for (int i = 0; i < 20; ++i) {
    Outcome outcome;
    send(outcome, HttpMethod::Get, "/ok", json());
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(outcome.successes, 1);
  }
  EXPECT_EQ(server.connectionsAccepted(), 1);

  std::atomic<int> hits{0};
  server.route("/slow", [&](const RecordedRequest&) {
    CannedResponse r = CannedResponse::json("{}");
    r.hold = ++hits <= 10;
    return r;
  });
  std::vector<Outcome> outcomes(25);
  for (auto& outcome : outcomes) send(outcome, HttpMethod::Get, "/slow", json());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server.heldCount() == 10; }));
  EXPECT_EQ(server.requestCount("/slow"), 10u);  // the other 15 wait for a connection
  server.releaseHeld();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  for (const auto& outcome : outcomes) EXPECT_EQ(outcome.successes, 1);
  EXPECT_LE(server.maxOpenConnections(), 10);
}

TEST_F(HttpSessionTest, DownloadsStreamToAFileWithOrderedProgress) {
  std::string clip(3 * 1024 * 1024 + 17, '\0');
  for (size_t i = 0; i < clip.size(); ++i) clip[i] = static_cast<char>(i * 31 % 251);
  server.route("/clip.mp4", CannedResponse{200, {{"Content-Type", "video/mp4"}}, clip});
  auto configuration = std::make_shared<RequestConfiguration>();
  configuration->responseSerializer = ResponseSerializerKind::Http;
  configuration->acceptableContentTypes = std::vector<std::string>{"video/mp4"};

  std::vector<double> fractions;
  int64_t lastTotal = 0;
  Outcome outcome;
  session->downloadTask(
      "/clip.mp4", configuration,
      [&](int64_t, int64_t total, double fraction) {
        EXPECT_EQ(outcome.total(), 0);  // progress never trails the completion
        EXPECT_TRUE(isMainThread());
        fractions.push_back(fraction);
        lastTotal = total;
      },
      [&](const std::shared_ptr<const HttpResponseInfo>& response, const Value& body) {
        outcome.successes++;
        outcome.body = body;
      },
      [&](const ErrorPtr& error) {
        outcome.failures++;
        outcome.error = error;
      });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.successes, 1);
  auto data = outcome.body.objectAs<Data>();
  ASSERT_TRUE(data);
  const auto path = data->filePath();
  ASSERT_TRUE(path);
  EXPECT_EQ(data->length(), clip.size());
  EXPECT_EQ(data->mimeType(), "video/mp4");
  EXPECT_TRUE(data->bytes() == clip);
  ASSERT_FALSE(fractions.empty());
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
  EXPECT_DOUBLE_EQ(fractions.back(), 1.0);
  EXPECT_EQ(lastTotal, static_cast<int64_t>(clip.size()));

  // Saving moves the file; a temporary nobody keeps is removed.
  const auto saved = downloadDirectory().parent_path() / ("dk-saved-" + std::to_string(::getpid()) + ".mp4");
  EXPECT_FALSE(data->writeToFile(saved.string()));
  EXPECT_EQ(std::filesystem::file_size(saved), clip.size());
  std::filesystem::remove(saved);
}

TEST_F(HttpSessionTest, ADownloadRefusedByTheServerKeepsTheMessageAndLeavesNoFile) {
  server.route("/clip.mp4", CannedResponse::json("{\"message\":\"Invalid access token: old\"}", 401));
  auto configuration = std::make_shared<RequestConfiguration>();
  configuration->responseSerializer = ResponseSerializerKind::Http;
  Outcome outcome;
  session->downloadTask("/clip.mp4", configuration, nullptr,
                        [&](const std::shared_ptr<const HttpResponseInfo>&, const Value&) { outcome.successes++; },
                        [&](const ErrorPtr& error) {
                          outcome.failures++;
                          outcome.error = error;
                        });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(outcome.failures, 1);
  EXPECT_EQ(outcome.error->response()->statusCode, 401);
  EXPECT_EQ(outcome.error->responseBody(), "{\"message\":\"Invalid access token: old\"}");
  EXPECT_TRUE(std::filesystem::is_empty(downloadDirectory()));
}

TEST_F(HttpSessionTest, TasksListsRunningCallsForCancellingByUrl) {
  server.route("/a", [](const RecordedRequest&) {
    CannedResponse r = CannedResponse::json("{}");
    r.hold = true;
    return r;
  });
  server.route("/b", [](const RecordedRequest&) {
    CannedResponse r = CannedResponse::json("{}");
    r.hold = true;
    return r;
  });
  Outcome a, b;
  send(a, HttpMethod::Get, "/a", json(), Value(ValueDictionary{{"minTimestamp", Value("t")}}));
  send(b, HttpMethod::Get, "/b", json());
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server.heldCount() == 2; }));
  for (auto& task : session->tasks()) {
    if (task->url().find("minTimestamp") != std::string::npos) task->cancel();
  }
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return a.total() == 1; }));
  EXPECT_EQ(a.error->code(), -999);
  EXPECT_EQ(b.total(), 0);
  server.releaseHeld();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(b.successes, 1);
}

}  // namespace
}  // namespace dk::platform

namespace dk::platform {
namespace {

TEST_F(HttpSessionTest, ACallbackQueueOfTheCallReceivesItsOutcomeOffTheMainThread) {
  server.route("/ok", CannedResponse::json("{\"a\":1}"));
  server.route("/bad", CannedResponse::json("{}", 500));
  auto queue = DispatchQueue::createConcurrent("com.kelo.test.callbacks");
  auto configuration = json([&](RequestConfiguration& c) { c.callbackQueue = queue; });
  std::atomic<int> onQueue{0}, calls{0};
  auto check = [&] {
    calls++;
    if (queue->isCurrent() && !isMainThread()) onQueue++;
  };
  session->dataTask(HttpMethod::Get, "/ok", Value(), configuration,
                    [&](const std::shared_ptr<const HttpResponseInfo>&, const Value& body) {
                      EXPECT_EQ(body["a"].integerValue(), 1);
                      check();
                    },
                    [&](const ErrorPtr&) { check(); });
  session->dataTask(HttpMethod::Get, "/bad", Value(), configuration,
                    [&](const std::shared_ptr<const HttpResponseInfo>&, const Value&) { check(); },
                    [&](const ErrorPtr&) { check(); });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(calls.load(), 2);
  EXPECT_EQ(onQueue.load(), 2);
}

}  // namespace
}  // namespace dk::platform
