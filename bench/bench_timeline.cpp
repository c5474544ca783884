// The time strip's hot paths over a month of history (50,000 events, 10,000 recordings): one row
// cell update, 600 scroll frames of the screen's per-frame work (the axis report, the screen's
// look-ups, the table tiling new rows), a full thumbnail rebuild, and 100 older pages of 200
// events handed to the data source one after another (the cost of a page must not grow with the
// pages before it).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/date_formatting.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/ui/table_view.h"
#include "timeline/kl_timeline_data_source.h"
#include "timeline/timeline_event_adapter.h"
#include "timeline/timeline_recording_adapter.h"

namespace {

using namespace dk;
using platform::Rect;
using Clock = std::chrono::steady_clock;

struct MainThread {
  MainThread() { platform::MainRunLoop::bindToCurrentThread(); }
};
const MainThread kMainThread;

constexpr size_t kEvents = 50000;
constexpr size_t kRecordings = 10000;
constexpr double kSpan = 30 * 86400.0;

class Lookups : public EventLookups {
 public:
  int32_t getPriorityForEventType(const std::optional<std::string>& type) const override {
    static const std::map<std::string, int32_t> priorities = {
        {"vmdDetected", 10}, {"pirDetected", 11}, {"audioDetected", 12}, {"audioCategorized", 13}};
    auto it = type ? priorities.find(*type) : priorities.end();
    return it == priorities.end() ? 0 : it->second;
  }
  std::string getFaceNameForFaceID(const std::string&) const override { return "Face"; }
  std::string getLocalizedNameForEventType(const std::optional<std::string>& type,
                                           const std::optional<std::string>&) const override {
    return type.value_or("");
  }
};

class Screen : public KLTimelineTableViewCellDelegate {
 public:
  double recordingsRenderViewOffsetFromLeft() override { return 62; }
  double eventsRenderViewOffsetFromLeft() override { return 78; }
  bool shouldHideActionButtonForEvent(const KLTimelineEventPtr&) override { return false; }
};

// A month of history ending now: events of the placeholder kinds (no download in a benchmark),
// recordings of 3 minutes with gaps. Newest first, as the managers deliver them.
struct History {
  double now = platform::now();
  std::vector<KLEventPtr> events;
  std::vector<KLRecordingPtr> recordings;
  std::vector<KLEventPtr> olderPages;  // 100 pages of 200, older than everything above

  History() {
    const char* types[] = {"vmdDetected", "pirDetected", "audioDetected", "audioCategorized"};
    const double eventStep = kSpan / kEvents;
    for (size_t i = 0; i < kEvents; ++i) {
      auto e = std::make_shared<KLEventResponse>();
      e->setEventID(static_cast<int64_t>(kEvents + 20000 - i));
      e->setTimestamp(now - 10 - eventStep * static_cast<double>(i) - static_cast<double>(i % 7));
      e->setType(types[i % 4]);
      events.push_back(e);
    }
    for (size_t i = 0; i < 20000; ++i) {
      auto e = std::make_shared<KLEventResponse>();
      e->setEventID(static_cast<int64_t>(20000 - i));
      e->setTimestamp(now - kSpan - 60 - eventStep * static_cast<double>(i));
      e->setType(types[i % 4]);
      olderPages.push_back(e);
    }
    const double recordingStep = kSpan / kRecordings;
    auto text = [](double t) { return timeFormatterForStringTimestamp()->stringFromDate(t); };
    for (size_t i = 0; i < kRecordings; ++i) {
      auto r = std::make_shared<KLRecordingResponse>();
      const double start = now - recordingStep * static_cast<double>(i + 1);
      r->setRecordingID(static_cast<int64_t>(kRecordings - i));
      r->setStartStringTime(text(start));
      if (i == 0) {
        r->setClosed(false);
      } else {
        r->setEndStringTime(text(start + 180));
        r->setClosed(true);
      }
      recordings.push_back(r);
    }
  }
};

const History& history() {
  static const History h;
  return h;
}

struct Fixture {
  std::shared_ptr<Lookups> lookups = std::make_shared<Lookups>();
  std::shared_ptr<Screen> screen = std::make_shared<Screen>();
  std::shared_ptr<KLTimelineDataSource> source;
  KLTimelineEvents events = TimelineEventAdapter::makeList(history().events);

  explicit Fixture(unsigned long level = KLTimelineIntervalOneHour) {
    source = std::make_shared<KLTimelineDataSource>(KLTimelineIntervalOption::optionWithInterval(level), lookups);
    source->setCellDelegate(screen);
    source->setTokenSource([] { return std::optional<std::string>(); });
    source->updateWithRecordings(TimelineRecordingAdapter::makeList(history().recordings));
    source->updateWithEvents(events);
  }
};

void BM_RowCellUpdate(benchmark::State& state) {
  Fixture f;
  auto cell = KLTimelineTableViewCell::make();
  cell->setFrame(Rect(0, 0, 375, 90));
  cell->layoutIfNeeded();
  const double end = f.source->endTimeInTimelineAdapter(*std::make_shared<KLTimeRangeAdapter>());
  const double row = 600;
  size_t i = 0;
  for (auto _ : state) {
    // A different row each time, all over the month.
    const double start = end - row * static_cast<double>(10 + (i++ * 37) % 4000);
    f.source->configureCell(*cell, {start, row}, 90);
    cell->layoutIfNeeded();
  }
}
BENCHMARK(BM_RowCellUpdate)->Unit(benchmark::kMicrosecond);

// What the screen does at every reported scroll: the time text, the events either side within
// the level's precision, the day of the time.
class ScrollingScreen : public KLTimeRangeAdapterDelegate {
 public:
  std::shared_ptr<KLTimelineDataSource> source;
  std::string label;
  bool respondsToSelector(std::string_view s) const override { return s == "timelineAdapter:didScrollToTime:"; }
  void timelineAdapterDidScrollToTime(KLTimeRangeAdapter&, double t) override {
    label = hourMinutesSecondsFromTimestamp(t);
    const double p = source->timelineOption()->eventOffsetPrecision();
    auto after = source->closestTimelineEventAfterTime(t);
    auto before = source->closestTimelineEventBeforeTime(t);
    benchmark::DoNotOptimize(after && after->timelineEventTimestamp() - t < p);
    benchmark::DoNotOptimize(before && t - before->timelineEventTimestamp() < p);
    benchmark::DoNotOptimize(source->closestTimelineEventAfterTime(t + 1.0));
    benchmark::DoNotOptimize(source->closestTimelineEventBeforeTime(t - 1.0));
  }
};

void BM_ScrollFrames(benchmark::State& state) {
  Fixture f;
  auto screen = std::make_shared<ScrollingScreen>();
  screen->source = f.source;
  auto table = std::make_shared<platform::TableView>(Rect(0, 0, 375, 540));
  table->setRowHeight(90);
  f.source->registerCellsForTableView(*table);
  auto adapter = std::make_shared<KLTimeRangeAdapter>();
  adapter->setDataSource(f.source);
  adapter->setDelegate(screen);
  table->setDataSource(adapter);
  table->setDelegate(adapter);
  adapter->reloadTableView(*table, false);
  std::vector<double> frames;
  for (auto _ : state) {
    adapter->scrollToTime(history().now - 3 * 86400, static_cast<platform::ScrollView&>(*table), false);
    table->layoutIfNeeded();
    frames.clear();
    double y = table->contentOffset().y;
    for (int frame = 0; frame < 600; ++frame) {
      // A brisk fling: 14 points a frame, a row every six or seven frames.
      y += 14;
      const auto t0 = Clock::now();
      table->setContentOffset({0, y});
      table->layoutIfNeeded();
      frames.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
  }
  std::sort(frames.begin(), frames.end());
  state.counters["p50_ms"] = frames[frames.size() / 2];
  state.counters["p99_ms"] = frames[frames.size() * 99 / 100];
  state.counters["max_ms"] = frames.back();
}
BENCHMARK(BM_ScrollFrames)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ThumbnailRebuild(benchmark::State& state) {
  Fixture f;
  unsigned long level = 0;
  for (auto _ : state) {
    // A zoom change: the thumbnails are chosen again from all events.
    f.source->setTimelineOption(KLTimelineIntervalOption::optionWithInterval(level));
    level = (level + 1) % 3;
  }
  state.counters["thumbnails"] = static_cast<double>(f.source->eventsWithThumbnailModel()->eventsWithThumbnails().size());
}
BENCHMARK(BM_ThumbnailRebuild)->Unit(benchmark::kMillisecond);

void BM_IncrementalPages(benchmark::State& state) {
  std::vector<double> pages;
  for (auto _ : state) {
    state.PauseTiming();
    Fixture f;
    KLTimelineEventList list;
    list.append(f.events.begin(), f.events.end());
    std::vector<KLTimelineEventPtr> older;
    for (const auto& e : history().olderPages) older.push_back(TimelineEventAdapter::make(e));
    pages.clear();
    state.ResumeTiming();
    for (size_t page = 0; page < 100; ++page) {
      const auto t0 = Clock::now();
      // An older page arrives at the end of the newest-first list.
      list.append(older.begin() + static_cast<ptrdiff_t>(page * 200),
                  older.begin() + static_cast<ptrdiff_t>((page + 1) * 200));
      f.source->updateWithEvents(list.snapshot());
      pages.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
  }
  auto mean = [&](size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += pages[i];
    return sum / static_cast<double>(to - from);
  };
  state.counters["first10_us"] = mean(0, 10);
  state.counters["last10_us"] = mean(90, 100);
}
BENCHMARK(BM_IncrementalPages)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
