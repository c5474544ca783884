// How soon the presented timeline draws its first rows, against a cloud that takes 100 ms for
// every request, compared with the requests the first rows need (the three event look-ups, the
// first events page and the newest recordings page) made one after another with bare libcurl.
//
// Run: build/bench/bench_first_rows. Counters on BM_FirstRows: "first_rows_ms" from `present` to
// the first reload that shows both recordings and events, "first_any_ms" to the first reload that
// shows either, "bare_ms" the sequential bare requests measured in the same run,
// "vs_bare_sequential" first_rows over bare (target: at most 1.3).
// Real time on the system clock; the screen's own timers and animations run as in the host.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "foundation/kl_server.h"
#include "live/kl_data_manager.h"
#include "network/kl_request_manager.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/http_request.h"
#include "platform/ui/view_controller.h"
#include "platform/ui/window.h"
#include "services/request_executor.h"
#include "timeline/dk_chrono_kit.h"
#include "timeline/kl_timeline_view_controller.h"

namespace {

using namespace dk;
using SteadyClock = std::chrono::steady_clock;

constexpr double kDelaySeconds = 0.1;

double secondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

struct Cloud {
  Cloud() {
    platform::MainRunLoop::bindToCurrentThread();
    platform::SecureStore::setShared(platform::InMemorySecureStore::create());
    cloudsim::GenerateOptions world;
    world.seed = 11;
    world.cameras = 1;
    world.days = 2;
    world.recordingsPerCamera = 60;
    world.eventsPerCamera = 300;
    // The simulator as it comes (three server threads): the screen's first requests queue there,
    // so its first data comes in after the strip's first reload, as against a slow cloud.
    sim = std::make_unique<cloudsim::CloudSim>(cloudsim::World::generate(world));
    sim->start();
    camera = sim->world().cameras[0].cameraId;
    KLServer::setProcessProtocol("http");
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(sim->port()));
    KLServer::resetForTesting();
    cloudsim::FaultRule slow;
    slow.path = "/rest";
    slow.prefix = true;
    slow.times = -1;
    slow.delaySeconds = kDelaySeconds;
    sim->addFault(slow);
  }
  std::unique_ptr<cloudsim::CloudSim> sim;
  int64_t camera = 0;
};

Cloud& cloud() {
  static Cloud* c = new Cloud;
  return *c;
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// The first rows' requests, one after another over one reused connection.
double bareSequentialSeconds() {
  auto& c = cloud();
  const std::string base = c.sim->baseUrl();
  const std::string camera = std::to_string(c.camera);
  const std::vector<std::string> urls = {
      base + "/rest/v2.4/events/availableTypes",
      base + "/rest/v2.4/events/eventTypeDetails",
      base + "/rest/v2.4/faces",
      base + "/rest/v2.4/events?cameraIds=" + camera + "&includeUrlTypes=none&limit=200&types=",
      base + "/rest/v2.2/cameras/" + camera + "/recordings?limit=100&sortByRecordingIdOrder=desc",
  };
  CURL* curl = curl_easy_init();
  curl_slist* headers = nullptr;
  for (const auto& [name, value] : platform::defaultRequestHeaders()) {
    headers = curl_slist_append(headers, (name + ": " + value).c_str());
  }
  headers = curl_slist_append(headers, ("Authorization: Bearer " + c.sim->accessToken()).c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
  const auto start = SteadyClock::now();
  for (const auto& url : urls) {
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_perform(curl);
  }
  const double seconds = secondsSince(start);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return seconds;
}

// Presents the camera's timeline and returns the seconds until its first rows of recordings and
// events are drawn (or a negative number when they never were within ten seconds); `firstAny`
// takes the seconds until the first rows of either.
double firstRowsSeconds(double& firstAny) {
  auto& c = cloud();
  auto requests = std::make_shared<KLRequestManager>(c.sim->baseUrl());
  KLServicesManager::setRequestExecutor(executorForRequestManager(requests));
  auto window = std::make_shared<platform::Window>();
  window->setRootViewController(std::make_shared<platform::ViewController>());
  window->makeKeyAndVisible();

  const auto start = SteadyClock::now();
  auto kit = DKChronoKit::create(c.sim->accessToken(), c.camera, window->rootViewController());
  kit->present();
  auto screen = DKChronoKit::presentedTimeline();
  // Drawn: a reload ran while the strip held recordings and events (the first page of each).
  size_t reloadsSeen = 0;
  bool any = false;
  bool both = false;
  double anySeconds = -1;
  auto drawn = [&] {
    if (both || !screen || screen->reloadCount() == reloadsSeen) return both;
    reloadsSeen = screen->reloadCount();
    auto data = screen->dataSource();
    const bool recordings = data && data->newestTimelineRecording();
    const bool events = data && data->newestTimelineEvent();
    if (!any && (recordings || events)) {
      any = true;
      anySeconds = secondsSince(start);
    }
    both = recordings && events;
    return both;
  };
  double seconds = -1;
  while (secondsSince(start) < 10) {
    platform::MainRunLoop::runUntil(drawn, 0.05);
    if (drawn()) {
      seconds = secondsSince(start);
      break;
    }
    std::this_thread::yield();  // the cloud has not answered yet
  }
  firstAny = anySeconds;
  kit->didDismissTimeline(screen);
  window.reset();
  screen.reset();
  kit.reset();
  for (const auto& m : {requests->httpSessionManager(), requests->jsonSessionManager(),
                        requests->jsonUpdateSessionManager(), requests->imageSessionManager()}) {
    m->session->invalidateAndCancel();
  }
  platform::MainRunLoop::runUntilIdle(10);
  KLDataManager::resetSharedInstance();
  platform::MainRunLoop::runUntilIdle(10);
  KLServicesManager::setRequestExecutor(nullptr);
  return seconds;
}

void BM_FirstRows(benchmark::State& state) {
  double bare = 0;
  double total = 0;
  double totalAny = 0;
  for (auto _ : state) {
    bare += bareSequentialSeconds();
    double any = 0;
    const double seconds = firstRowsSeconds(any);
    totalAny += any;
    if (seconds < 0) {
      state.SkipWithError("the first rows were never drawn");
      return;
    }
    total += seconds;
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["first_rows_ms"] = 1000 * total / n;
  state.counters["first_any_ms"] = 1000 * totalAny / n;
  state.counters["bare_ms"] = 1000 * bare / n;
  state.counters["vs_bare_sequential"] = total / bare;
}
BENCHMARK(BM_FirstRows)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
