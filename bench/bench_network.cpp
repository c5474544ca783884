// The request executor's overhead against bare libcurl, fetching the same 200-event page from the
// local cloud in the same run, and the cost of mapping event pages of growing size.
//
// Run: build/bench/bench_network. The overhead ratios are reported as counters of the executor
// benchmarks ("vs_bare_curl", "vs_bare_curl_and_parse"): the median time of one request through
// KLRequestManager divided by the median of the bare libcurl requests measured just before (one
// at a time), or the whole runs' times with 8 in flight. Bare libcurl does not decode the reply;
// the executor does, so the "and_parse" baseline adds the same JSON decoding to the bare transfer.
// Both sides send the same header lines over one reused connection (8 with 8 in flight). The
// simulator answers the page with bytes it built once, so the baseline is the transfer alone.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "model/kl_event_response.h"
#include "network/kl_oauth2_manager.h"
#include "network/kl_request_manager.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/http_request.h"
#include "platform/net/oauth_credential.h"

namespace {

using dk::KLRequest;
using dk::KLRequestManager;
using dk::platform::MainRunLoop;
using dk::platform::Value;

constexpr int kRequests = 10000;
constexpr const char* kPage = "/rest/v2.4/events?limit=200";

// A page of events read as it comes (no model class): what is measured is the executor, not the
// model layer.
class EventPageRequest : public KLRequest {
 public:
  EventPageRequest() : KLRequest(dk::NEW_EVENTS_GET_REQUEST_CLOUD) {}
  std::string requestURL() const override { return kPage; }
  const dk::platform::ClassInfo* modelClass() const override { return nullptr; }
};

// The same page mapped to the event list model.
class MappedEventPageRequest : public KLRequest {
 public:
  MappedEventPageRequest() : KLRequest(dk::NEW_EVENTS_GET_REQUEST_CLOUD) {}
  std::string requestURL() const override { return kPage; }
  const dk::platform::ClassInfo* modelClass() const override { return &dk::KLEventListResponse::staticClassInfo(); }
};

struct Environment {
  Environment() {
    MainRunLoop::bindToCurrentThread();
    dk::platform::SecureStore::setShared(dk::platform::InMemorySecureStore::create());
    dk::cloudsim::GenerateOptions world;
    world.eventsPerDay = 60;  // enough for full 200-event pages
    dk::cloudsim::CloudSimOptions options;
    options.threads = 4;
    sim = std::make_unique<dk::cloudsim::CloudSim>(dk::cloudsim::World::generate(world), options);
    sim->start();
    servePrebuiltPage();
    dk::platform::OAuthCredential::storeCredential(dk::platform::OAuthCredential(sim->accessToken(), "bearer"),
                                                   dk::kCredentialIdentifier);
    manager = std::make_shared<KLRequestManager>(sim->baseUrl());
  }
  // The page as the simulator makes it, then answered from those bytes for every request.
  void servePrebuiltPage() {
    std::string body;
    CURL* curl = curl_easy_init();
    const std::string url = sim->baseUrl() + kPage;
    curl_slist* headers = curl_slist_append(nullptr, ("Authorization: Bearer " + sim->accessToken()).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* user) {
      static_cast<std::string*>(user)->append(data, size * count);
      return size * count;
    });
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    dk::cloudsim::FaultRule page = dk::cloudsim::FaultRule::failWith("/rest/v2.4/events", 200, std::move(body));
    page.method = "GET";
    page.times = -1;
    sim->addFault(std::move(page));
  }
  std::unique_ptr<dk::cloudsim::CloudSim> sim;
  std::shared_ptr<KLRequestManager> manager;
  double bareSecondsPerRequest = 0;  // medians
  double bareParseSecondsPerRequest = 0;
  double bareConcurrentSeconds = 0;
};

Environment& env() {
  static Environment* e = new Environment;
  return *e;
}

// The header lines the executor puts on the wire for these GETs (its defaults, then the JSON
// serializer's set and the bearer token), so that both sides send the same request.
curl_slist* executorHeaders(const std::string& accessToken) {
  curl_slist* headers = nullptr;
  for (const auto& [name, value] : dk::platform::defaultRequestHeaders()) {
    headers = curl_slist_append(headers, (name + ": " + value).c_str());
  }
  headers = curl_slist_append(headers, "Accept: */*");
  headers = curl_slist_append(headers, "Content-Type: application/json");
  headers = curl_slist_append(headers, ("Authorization: Bearer " + accessToken).c_str());
  headers = curl_slist_append(headers, "Expect:");
  return headers;
}

size_t collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// Times of single requests, in seconds; the median is robust to the machine's other load.
class Samples {
 public:
  void reserve(size_t n) { seconds_.reserve(n); }
  void start() { start_ = std::chrono::steady_clock::now(); }
  void stop() { seconds_.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count()); }
  double median() {
    if (seconds_.empty()) return 0;
    auto middle = seconds_.begin() + static_cast<std::ptrdiff_t>(seconds_.size() / 2);
    std::nth_element(seconds_.begin(), middle, seconds_.end());
    return *middle;
  }

 private:
  std::vector<double> seconds_;
  std::chrono::steady_clock::time_point start_;
};

void bareCurl(benchmark::State& state, bool parse) {
  auto& e = env();
  CURL* curl = curl_easy_init();
  const std::string url = e.sim->baseUrl() + kPage;
  curl_slist* headers = executorHeaders(e.sim->accessToken());
  std::string body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  size_t bytes = 0;
  Samples samples;
  samples.reserve(state.max_iterations);
  for (auto _ : state) {
    samples.start();
    body.clear();
    if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("transfer failed");
    bytes += body.size();
    if (parse) benchmark::DoNotOptimize(Value::parseJSON(body));
    samples.stop();
  }
  const double median = samples.median();
  (parse ? e.bareParseSecondsPerRequest : e.bareSecondsPerRequest) = median;
  state.counters["median_us"] = median * 1e6;
  state.counters["page_bytes"] = static_cast<double>(bytes) / state.iterations();
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
}

void BM_BareCurl(benchmark::State& state) { bareCurl(state, false); }
void BM_BareCurlAndParse(benchmark::State& state) { bareCurl(state, true); }

template <typename Request>
void executor(benchmark::State& state) {
  auto& e = env();
  auto request = std::make_shared<Request>();
  Samples samples;
  samples.reserve(state.max_iterations);
  for (auto _ : state) {
    samples.start();
    std::atomic<bool> done{false};
    bool failed = false;
    e.manager->requestWithRequest(request, [&](const Value& result, const dk::platform::ErrorPtr& error) {
      failed = error != nullptr || result.isNil();
      done.store(true);
    });
    MainRunLoop::runUntil([&] { return done.load(); });
    samples.stop();
    if (failed) state.SkipWithError("request failed");
  }
  const double median = samples.median();
  state.counters["median_us"] = median * 1e6;
  if (e.bareSecondsPerRequest > 0) state.counters["vs_bare_curl"] = median / e.bareSecondsPerRequest;
  if (e.bareParseSecondsPerRequest > 0) state.counters["vs_bare_curl_and_parse"] = median / e.bareParseSecondsPerRequest;
}

void BM_KLRequestManager(benchmark::State& state) { executor<EventPageRequest>(state); }
void BM_KLRequestManagerMapped(benchmark::State& state) { executor<MappedEventPageRequest>(state); }

// The same 10,000 requests with 8 in flight at any time: bare libcurl multi against the executor.
constexpr int kInFlight = 8;

void BM_BareCurlConcurrent(benchmark::State& state) {
  auto& e = env();
  const std::string url = e.sim->baseUrl() + kPage;
  curl_slist* headers = executorHeaders(e.sim->accessToken());
  CURLM* multi = curl_multi_init();
  std::vector<CURL*> handles(kInFlight);
  std::vector<std::string> bodies(kInFlight);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    int started = 0, finished = 0;
    auto launch = [&](int slot) {
      bodies[slot].clear();
      curl_easy_setopt(handles[slot], CURLOPT_URL, url.c_str());
      curl_easy_setopt(handles[slot], CURLOPT_HTTPHEADER, headers);
      curl_easy_setopt(handles[slot], CURLOPT_ACCEPT_ENCODING, "");
      curl_easy_setopt(handles[slot], CURLOPT_WRITEFUNCTION, collect);
      curl_easy_setopt(handles[slot], CURLOPT_WRITEDATA, &bodies[slot]);
      curl_easy_setopt(handles[slot], CURLOPT_PRIVATE, reinterpret_cast<char*>(static_cast<intptr_t>(slot)));
      curl_multi_add_handle(multi, handles[slot]);
      ++started;
    };
    for (int i = 0; i < kInFlight; ++i) {
      if (!handles[i]) handles[i] = curl_easy_init();
      launch(i);
    }
    while (finished < kRequests) {
      int running = 0;
      curl_multi_perform(multi, &running);
      int left = 0;
      while (CURLMsg* m = curl_multi_info_read(multi, &left)) {
        if (m->msg != CURLMSG_DONE) continue;
        char* slotPtr = nullptr;
        curl_easy_getinfo(m->easy_handle, CURLINFO_PRIVATE, &slotPtr);
        const int slot = static_cast<int>(reinterpret_cast<intptr_t>(slotPtr));
        curl_multi_remove_handle(multi, m->easy_handle);
        ++finished;
        if (started < kRequests) launch(slot);
      }
      if (finished < kRequests) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    }
  }
  e.bareConcurrentSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["us_per_request"] = e.bareConcurrentSeconds * 1e6 / kRequests;
  for (CURL* h : handles) curl_easy_cleanup(h);
  curl_multi_cleanup(multi);
  curl_slist_free_all(headers);
}

void BM_KLRequestManagerConcurrent(benchmark::State& state) {
  auto& e = env();
  auto request = std::make_shared<EventPageRequest>();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    std::atomic<int> started{0}, finished{0}, failed{0};
    std::function<void()> next = [&] {
      if (started.fetch_add(1) >= kRequests) return;
      e.manager->requestWithRequest(request, [&](const Value&, const dk::platform::ErrorPtr& error) {
        if (error) failed++;
        finished++;
        next();
      });
    };
    for (int i = 0; i < kInFlight; ++i) next();
    MainRunLoop::runUntil([&] { return finished.load() >= kRequests; }, 600);
    if (failed.load()) state.SkipWithError("request failed");
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  state.counters["us_per_request"] = seconds * 1e6 / kRequests;
  if (e.bareConcurrentSeconds > 0) state.counters["vs_bare_curl"] = seconds / e.bareConcurrentSeconds;
}

// A reply of `n` events in the cloud's shape, built from a real page.
Value eventsReply(size_t n) {
  auto& e = env();
  static Value page = [&] {
    std::string body;
    CURL* curl = curl_easy_init();
    const std::string url = e.sim->baseUrl() + "/rest/v2.4/events?limit=1000";
    curl_slist* headers = curl_slist_append(nullptr, ("Authorization: Bearer " + e.sim->accessToken()).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return Value::parseJSON(body);
  }();
  const auto& source = page.arrayValue();
  dk::platform::ValueArray events;
  events.reserve(n);
  for (size_t i = 0; i < n && !source.empty(); ++i) {
    auto event = source[i % source.size()].dictionaryValue();
    event["eventId"] = Value(static_cast<int64_t>(1000000 - i));
    events.emplace_back(std::move(event));
  }
  return Value(std::move(events));
}

void BM_MapEventReply(benchmark::State& state) {
  const Value reply = eventsReply(static_cast<size_t>(state.range(0)));
  const MappedEventPageRequest request;
  for (auto _ : state) {
    Value model = KLRequestManager::modelResponseHeader({}, reply, request);
    if (model.isNil()) state.SkipWithError("mapping failed");
    benchmark::DoNotOptimize(model);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_BareCurl)->Iterations(kRequests)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareCurlAndParse)->Iterations(kRequests)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KLRequestManager)->Iterations(kRequests)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KLRequestManagerMapped)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareCurlConcurrent)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_KLRequestManagerConcurrent)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MapEventReply)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
