// The timeline screen's own costs with a full history: ingesting 50,000 events in pages of 200
// through the observer path (event manager cache, notification, the screen's update and throttled
// reload), the cost of each page against the pages before it; and 600 scroll frames of the
// screen's per-frame work (axis report, label, event buttons, table tiling) over that history.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "foundation/date_formatting.h"
#include "foundation/kl_server.h"
#include "live/kl_data_manager.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/ui_test_driver.h"
#include "platform/ui/window.h"
#include "services/request_executor.h"
#include "timeline/kl_timeline_view_controller.h"

namespace {

using namespace dk;
using Clock = std::chrono::steady_clock;

struct MainThread {
  MainThread() { platform::MainRunLoop::bindToCurrentThread(); }
};
const MainThread kMainThread;

constexpr int64_t kCamera = 7;
constexpr size_t kEvents = 50000;
constexpr size_t kPage = 200;
constexpr double kNow = 1700000000.0;

// A cloud that refuses everything at once: the benchmark feeds the caches itself.
class RefusingExecutor : public RequestExecutor {
 public:
  void requestWithRequest(const std::shared_ptr<KLRequest>&, RequestCompletion completion) override {
    completion(platform::Value(), platform::Error::make("NSURLErrorDomain", -1009, "offline"));
  }
  void refreshTokenWithSuccessBlock(CredentialBlock, ErrorBlock error) override {
    error(platform::Error::make("DKErrorDomain", 101002, "no refresh token"));
  }
  void isMethodInProgress(const std::string&, std::function<void(bool)> completion) override { completion(false); }
};

struct Fixture {
  std::shared_ptr<platform::ManualClock> clock = std::make_shared<platform::ManualClock>(kNow);
  std::shared_ptr<platform::Window> window;
  std::shared_ptr<KLTimelineViewController> screen;
  std::vector<KLEventPtr> events;  // newest first
  size_t filled = 0;

  Fixture() {
    platform::setClock(clock);
    platform::resetUiForTesting();
    // Thumbnails of the rows on screen are fetched from a loopback port nobody serves.
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort("9");
    KLServer::resetForTesting();
    KLServicesManager::setRequestExecutor(std::make_shared<RefusingExecutor>());
    events.reserve(kEvents);
    for (size_t i = 0; i < kEvents; ++i) {
      auto e = std::make_shared<KLEventResponse>();
      e->setEventID(static_cast<int64_t>(i + 1));
      e->setTimestamp(kNow - 30 - static_cast<double>(i) * 50.0);
      e->setType(std::string(i % 3 ? "vmdDetected" : "personDetected"));
      events.push_back(e);
    }
    window = std::make_shared<platform::Window>();
    screen = std::make_shared<KLTimelineViewController>();
    screen->setCameraID(kCamera);
    screen->setZoomlevel(KLTimelineZoomLevelFifteenMinutes);
    window->setRootViewController(screen);
    window->makeKeyAndVisible();
    platform::UiTestDriver(window).advance(1.0);
  }
  ~Fixture() {
    window.reset();
    screen.reset();
    platform::MainRunLoop::runUntilIdle();
    KLDataManager::resetSharedInstance();
    platform::MainRunLoop::runUntilIdle();
    KLServicesManager::setRequestExecutor(nullptr);
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
    platform::resetUiForTesting();
    platform::setClock(nullptr);
  }
  // The cache holds the first `count` events: the events after those it holds arrive as one page,
  // merged into the cached list as the event manager merges a fetched page.
  void fill(size_t count) {
    platform::ValueArray values;
    values.reserve(count - filled);
    for (size_t i = filled; i < count; ++i) values.emplace_back(events[i]);
    auto page = std::make_shared<KLEventListResponse>();
    page->setValues(platform::Value(std::move(values)));
    KLDataManager::sharedInstance()->eventManager()->eventsForCameraID(kCamera)->mergeValuesForKeysFromModel(page);
    filled = count;
  }
  // The observers are told, and the screen does what it does with it.
  void notify() {
    KLDataManager::sharedInstance()->eventManager()->notifyObserversForCameraID(kCamera);
    platform::MainRunLoop::runUntilIdle();
  }
  void deliver(size_t count) {
    fill(count);
    notify();
  }
};

void BM_ObserverPathIngestion(benchmark::State& state) {
  std::vector<double> pages;
  for (auto _ : state) {
    Fixture f;
    pages.clear();
    for (size_t n = kPage; n <= kEvents; n += kPage) {
      f.fill(n);
      auto start = Clock::now();
      f.notify();
      pages.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      f.clock->advance(1.0 / pages.size());
    }
  }
  auto mean = [&](size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += pages[i];
    return sum / static_cast<double>(to - from);
  };
  state.counters["pages"] = static_cast<double>(pages.size());
  state.counters["first10_us"] = mean(0, 10);
  state.counters["last10_us"] = mean(pages.size() - 10, pages.size());
  // Medians too: the first pages also pay for the strip's first layout and positioning.
  auto median = [&](size_t from, size_t to) {
    std::vector<double> part(pages.begin() + static_cast<ptrdiff_t>(from), pages.begin() + static_cast<ptrdiff_t>(to));
    std::sort(part.begin(), part.end());
    return part[part.size() / 2];
  };
  state.counters["first25_median_us"] = median(0, 25);
  state.counters["last25_median_us"] = median(pages.size() - 25, pages.size());
}
BENCHMARK(BM_ObserverPathIngestion)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ScreenScrollFrames(benchmark::State& state) {
  Fixture f;
  f.deliver(kEvents);
  platform::UiTestDriver(f.window).advance(1.0);
  auto table = f.screen->tableView();
  std::vector<double> frames;
  for (auto _ : state) {
    frames.clear();
    double t = f.screen->adapter()->scrollTime();
    for (int i = 0; i < 600; ++i) {
      auto start = Clock::now();
      t -= 20.0;
      f.screen->adapter()->scrollToTime(t, *table, false);
      table->layoutIfNeeded();
      frames.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
  }
  std::sort(frames.begin(), frames.end());
  state.counters["p50_ms"] = frames[frames.size() / 2];
  state.counters["p99_ms"] = frames[frames.size() * 99 / 100];
  state.counters["max_ms"] = frames.back();
}
BENCHMARK(BM_ScreenScrollFrames)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
