// A camera's whole history (10,000 recordings, 50,000 events) loaded through the recording and
// event managers from the local cloud, against fetching and decoding the very same pages with
// bare libcurl in the same run.
//
// Run: build/bench/bench_services. Counters: "vs_bare_curl_and_parse" on BM_ManagersLoadHistory
// is the managers' time for the whole history, recordings then events, divided by the time of the
// bare fetch run right before each load (target: at most 1.5); BM_ManagersLoadHistoryTogether loads recordings
// and events at the same time, as the timeline screen does; "peak_bytes_per_event" is the growth of the peak resident size while the
// managers load, per cached event; "kept_bytes_per_event" what stays resident with the caches
// alive. Both sides send the same queries over one reused connection, one page at a time.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <malloc.h>
#include <strings.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "network/kl_oauth2_manager.h"
#include "network/kl_request_manager.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/http_request.h"
#include "platform/net/oauth_credential.h"
#include "services/kl_event_manager.h"
#include "services/kl_recording_manager.h"

namespace {

using dk::platform::MainRunLoop;
using dk::platform::Value;

constexpr int kRecordings = 10000;
constexpr int kEvents = 50000;

struct Environment {
  Environment() {
    MainRunLoop::bindToCurrentThread();
    dk::platform::SecureStore::setShared(dk::platform::InMemorySecureStore::create());
    dk::cloudsim::GenerateOptions world;
    world.seed = 77;
    world.cameras = 2;
    world.days = 120;
    world.recordingsPerCamera = kRecordings;
    world.eventsPerCamera = kEvents;
    dk::cloudsim::CloudSimOptions options;
    options.threads = 4;
    sim = std::make_unique<dk::cloudsim::CloudSim>(dk::cloudsim::World::generate(world), options);
    sim->start();
    camera = sim->world().cameras[0].cameraId;
    dk::platform::OAuthCredential::storeCredential(dk::platform::OAuthCredential(sim->accessToken(), "bearer"),
                                                   dk::kCredentialIdentifier);
    manager = std::make_shared<dk::KLRequestManager>(sim->baseUrl());
    dk::KLServicesManager::setRequestExecutor(dk::executorForRequestManager(manager));
  }
  std::unique_ptr<dk::cloudsim::CloudSim> sim;
  std::shared_ptr<dk::KLRequestManager> manager;
  int64_t camera = 0;
  double bareSeconds = 0;
};

Environment& env() {
  static Environment* e = new Environment;
  return *e;
}

// ---- bare libcurl ----

struct Transfer {
  std::string body;
  std::string link;
};

size_t collectBody(char* data, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->body.append(data, size * count);
  return size * count;
}

size_t collectHeader(char* data, size_t size, size_t count, void* user) {
  const std::string line(data, size * count);
  if (line.size() > 5 && strncasecmp(line.c_str(), "link:", 5) == 0) {
    const size_t open = line.find('<');
    const size_t close = line.find('>', open);
    if (open != std::string::npos && close != std::string::npos) {
      static_cast<Transfer*>(user)->link = line.substr(open + 1, close - open - 1);
    }
  }
  return size * count;
}

// The header lines the executor sends for these GETs.
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

class BareClient {
 public:
  BareClient() : curl_(curl_easy_init()), headers_(executorHeaders(env().sim->accessToken())) {
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(curl_, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, collectBody);
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, collectHeader);
  }
  ~BareClient() {
    curl_slist_free_all(headers_);
    curl_easy_cleanup(curl_);
  }
  // Fetches and decodes one page.
  Value get(const std::string& url, Transfer& transfer) {
    transfer = {};
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &transfer);
    if (curl_easy_perform(curl_) != CURLE_OK) return Value();
    return Value::parseJSON(transfer.body);
  }
  std::string escape(const std::string& text) {
    char* escaped = curl_easy_escape(curl_, text.c_str(), static_cast<int>(text.size()));
    std::string out(escaped);
    curl_free(escaped);
    return out;
  }

 private:
  CURL* curl_;
  curl_slist* headers_;
};

// The same pages the managers ask for: recordings newest first by 100, each older page bounded
// by the oldest start so far, until a page adds nothing; events by 200 following "Link".
size_t bareHistory(BareClient& client) {
  auto& e = env();
  const std::string base = e.sim->baseUrl();
  const std::string recordings =
      base + "/rest/v2.2/cameras/" + std::to_string(e.camera) + "/recordings?limit=100&sortByRecordingIdOrder=desc";
  Transfer transfer;
  size_t items = 0;
  int64_t oldestId = INT64_MAX;
  std::string oldestStart;
  std::string url = recordings;
  for (;;) {
    Value page = client.get(url, transfer);
    bool added = false;
    for (const Value& r : page.arrayValue()) {
      const int64_t id = r["recordingId"].integerValue();
      if (id >= oldestId) continue;
      oldestId = id;
      oldestStart = r["startTime"].stringValue();
      added = true;
      ++items;
    }
    if (!added) break;
    url = recordings + "&maxTimestamp=" + client.escape(oldestStart);
  }
  url = base + "/rest/v2.4/events?cameraIds=" + std::to_string(e.camera) + "&includeUrlTypes=none&limit=200&types=";
  for (;;) {
    Value page = client.get(url, transfer);
    items += page.count();
    if (transfer.link.empty()) break;
    url = transfer.link;
  }
  return items;
}

void BM_BareCurlHistory(benchmark::State& state) {
  auto& e = env();
  BareClient client;
  size_t items = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) items = bareHistory(client);
  e.bareSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / state.iterations();
  state.counters["items"] = static_cast<double>(items);
  if (items != kRecordings + kEvents) state.SkipWithError("incomplete history");
}

// ---- the managers ----

long statusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(field) + ":";
  while (std::getline(status, line)) {
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  }
  return 0;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// `together`: recordings and events load at the same time, as the timeline screen loads them;
// otherwise one after the other, page by page like the bare client.
void managersLoadHistory(benchmark::State& state, bool together) {
  auto& e = env();
  double peakBytesPerEvent = 0, keptBytesPerEvent = 0;
  size_t recordingsLoaded = 0, eventsLoaded = 0;
  double seconds = 0, bareSeconds = 0;
  BareClient client;
  for (auto _ : state) {
    // The bare fetch of the same pages right before each load, so that both see the same load
    // on the machine; the ratio is taken over these pairs.
    state.PauseTiming();
    const auto bareStart = std::chrono::steady_clock::now();
    bareHistory(client);
    bareSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - bareStart).count();
    state.ResumeTiming();
    malloc_trim(0);
    const long before = statusKiB("VmRSS");
    resetPeak();
    const auto start = std::chrono::steady_clock::now();
    auto recordings = dk::KLRecordingManager::create();
    auto events = dk::KLEventManager::create();
    bool newest = false, older = false, paged = false;
    recordings->loadNewRecordingsForCameraID(e.camera, [&] {
      newest = true;
      recordings->loadRecordingsForCameraID(e.camera, [&] { older = true; });
    });
    if (!together) MainRunLoop::runUntil([&] { return older; }, 600);
    events->getOldEventsForCameraID(e.camera, nullptr, [&](const Value&) { paged = true; });
    MainRunLoop::runUntil([&] { return paged && older; }, 600);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    recordingsLoaded = recordings->recordingsForCameraID(e.camera)->recordings().size();
    eventsLoaded = events->numberOfEventsForCameraID(e.camera);
    if (!newest || recordingsLoaded != kRecordings || eventsLoaded != kEvents) {
      state.SkipWithError("incomplete history");
      break;
    }
    state.PauseTiming();
    const long peak = statusKiB("VmHWM");
    malloc_trim(0);
    const long kept = statusKiB("VmRSS");
    peakBytesPerEvent = (peak - before) * 1024.0 / eventsLoaded;
    keptBytesPerEvent = (kept - before) * 1024.0 / eventsLoaded;
    recordings.reset();
    events.reset();
    MainRunLoop::runUntilIdle();
    state.ResumeTiming();
  }
  state.counters["recordings"] = static_cast<double>(recordingsLoaded);
  state.counters["events"] = static_cast<double>(eventsLoaded);
  state.counters["peak_bytes_per_event"] = peakBytesPerEvent;
  state.counters["kept_bytes_per_event"] = keptBytesPerEvent;
  if (bareSeconds > 0) state.counters["vs_bare_curl_and_parse"] = seconds / bareSeconds;
}

void BM_ManagersLoadHistory(benchmark::State& state) { managersLoadHistory(state, false); }
void BM_ManagersLoadHistoryTogether(benchmark::State& state) { managersLoadHistory(state, true); }

BENCHMARK(BM_BareCurlHistory)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ManagersLoadHistory)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ManagersLoadHistoryTogether)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
