// Heap cost of what a hostile or merely large events reply makes us hold, measured with a counting
// operator new in this program: the JSON tree of an events page against its text, 50,000 cached
// events against their raw JSON, and the peak of parsing, mapping and merging a 10,000-event page.
// Each benchmark reports bytes (counters ending in _bytes) and ratios to the raw JSON size
// (counters ending in _x); the time per iteration is secondary.
//
// Run: build/bench/bench_memory --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <malloc.h>
#include <new>
#include <string>
#include <vector>

#include "model/kl_event_response.h"
#include "platform/foundation/value.h"

namespace {

// Live and peak bytes of every operator new of this program (usable sizes, so rounding counts).
std::atomic<int64_t> gLive{0};
std::atomic<int64_t> gPeak{0};

void noteAllocated(void* p) {
  if (!p) return;
  const auto size = static_cast<int64_t>(malloc_usable_size(p));
  const int64_t live = gLive.fetch_add(size, std::memory_order_relaxed) + size;
  int64_t peak = gPeak.load(std::memory_order_relaxed);
  while (live > peak && !gPeak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
}

void noteFreed(void* p) {
  if (p) gLive.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
}

void* allocate(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  noteAllocated(p);
  return p;
}

void* allocateAligned(size_t size, std::align_val_t align) {
  void* p = nullptr;
  if (posix_memalign(&p, static_cast<size_t>(align), size ? size : 1) != 0) throw std::bad_alloc();
  noteAllocated(p);
  return p;
}

}  // namespace

void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
void* operator new(size_t size, std::align_val_t align) { return allocateAligned(size, align); }
void* operator new[](size_t size, std::align_val_t align) { return allocateAligned(size, align); }
void operator delete(void* p) noexcept { noteFreed(p), std::free(p); }
void operator delete[](void* p) noexcept { noteFreed(p), std::free(p); }
void operator delete(void* p, size_t) noexcept { noteFreed(p), std::free(p); }
void operator delete[](void* p, size_t) noexcept { noteFreed(p), std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { noteFreed(p), std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { noteFreed(p), std::free(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { noteFreed(p), std::free(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { noteFreed(p), std::free(p); }

namespace {

using dk::platform::Value;

constexpr double kStart = 1616919330.0;

// Counts from a starting point: what is held now and the most held since.
class HeapWindow {
 public:
  HeapWindow() : base_(gLive.load()) { gPeak.store(base_); }
  int64_t held() const { return gLive.load() - base_; }
  int64_t peak() const { return gPeak.load() - base_; }

 private:
  int64_t base_;
};

std::string serverTime(double seconds) {
  const auto whole = static_cast<time_t>(seconds);
  std::tm tm{};
  gmtime_r(&whole, &tm);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.000+00:00", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

// One event as the cloud sends it (the local cloud's shape: identifier, time, type, source, clip).
std::string eventJSON(int64_t id) {
  static const char* kTypes[] = {"vmdDetected", "pirDetected", "audioDetected", "personDetected"};
  return "{\"eventId\":" + std::to_string(id) + ",\"timestamp\":\"" + serverTime(kStart + id * 7.5) +
         "\",\"type\":\"" + kTypes[id % 4] + "\",\"source\":{\"sourceId\":4711,\"type\":\"camera\"}" +
         (id % 3 ? ",\"category\":\"adult\"" : "") + ",\"streamUrls\":{\"mp4Https\":\"https://127.0.0.1:8443/media/clips/" +
         std::to_string(id) + ".mp4\"}}";
}

// A page of `count` events from `firstID` down, under the reply's root key; *eventBytes gets the
// size of the events' own JSON (without the wrapping).
std::string eventPageJSON(int64_t firstID, int count, size_t* eventBytes = nullptr) {
  std::string json = "{\"events\":[";
  size_t bytes = 0;
  for (int i = 0; i < count; ++i) {
    if (i) json += ",";
    const std::string event = eventJSON(firstID - i);
    bytes += event.size();
    json += event;
  }
  json += "]}";
  if (eventBytes) *eventBytes = bytes;
  return json;
}

void ratio(benchmark::State& state, const char* name, int64_t bytes, size_t text) {
  state.counters[std::string(name) + "_bytes"] = static_cast<double>(bytes);
  state.counters[std::string(name) + "_x"] = static_cast<double>(bytes) / static_cast<double>(text);
}

// Parses `text` at every iteration: the tree held after parsing and the peak while parsing, against
// the text; `refused` is 1 when the reader would not build the tree.
bool measureParse(benchmark::State& state, const std::string& text) {
  int64_t held = 0, peak = 0;
  bool refused = false;
  for (auto _ : state) {
    HeapWindow window;
    Value tree = Value::parseJSON(text);
    held = window.held();
    peak = window.peak();
    refused = tree.isNil();
  }
  state.counters["json_bytes"] = static_cast<double>(text.size());
  state.counters["refused"] = refused ? 1 : 0;
  ratio(state, "tree", held, text.size());
  ratio(state, "parse_peak", peak, text.size());
  return !refused;
}

// The parsed tree of an events page: held after parsing, and the peak while parsing.
void BM_EventPageTree(benchmark::State& state) {
  if (!measureParse(state, eventPageJSON(1000000, static_cast<int>(state.range(0))))) {
    state.SkipWithError("the page did not parse");
  }
}
BENCHMARK(BM_EventPageTree)->Arg(200)->Arg(10000)->Unit(benchmark::kMillisecond);

// Hostile shapes of about 4 MB: pages of many tiny values cost the most per byte of text, and the
// reader refuses them (refused = 1) before their tree passes 8 times the text.
struct HostileShape {
  const char* label;
  std::string (*element)(int index);
  char open, close;
};
const HostileShape kHostileShapes[] = {
    {"[0,...]", [](int) { return std::string("0"); }, '[', ']'},
    {"[[],...]", [](int) { return std::string("[]"); }, '[', ']'},
    {"[{},...]", [](int) { return std::string("{}"); }, '[', ']'},
    {"[\"\",...]", [](int) { return std::string("\"\""); }, '[', ']'},
    {"[{\"a\":0},...]", [](int) { return std::string("{\"a\":0}"); }, '[', ']'},
    {"[[0],...]", [](int) { return std::string("[0]"); }, '[', ']'},
    {"[\"a\",\"b\",...]", [](int i) { return std::string(i % 2 ? "\"b\"" : "\"a\""); }, '[', ']'},
    {"{\"k1\":0,...}", [](int i) { return "\"k" + std::to_string(i) + "\":0"; }, '{', '}'},
    // Dense but within the bound: read whole, its peak shows how close the reader lets a tree come.
    {"[\"clip-0000000-cam\",...]",
     [](int i) { return "\"clip-" + std::to_string(1000000 + i) + "-cam\""; }, '[', ']'},
};

void BM_HostileTree(benchmark::State& state) {
  const HostileShape& shape = kHostileShapes[state.range(0)];
  std::string text(1, shape.open);
  for (int i = 0; text.size() < 4000000; ++i) text += (i ? "," : "") + shape.element(i);
  text += shape.close;
  state.SetLabel(shape.label);
  measureParse(state, text);
}
BENCHMARK(BM_HostileTree)->DenseRange(0, std::size(kHostileShapes) - 1)->Unit(benchmark::kMillisecond);

// 50,000 events cached in one camera's list, merged from 250 pages of 200 whose trees and page
// models are gone: what the cache holds against the events' raw JSON.
void BM_CachedEvents(benchmark::State& state) {
  constexpr int kPages = 250, kPerPage = 200;
  int64_t held = 0;
  size_t raw = 0;
  for (auto _ : state) {
    raw = 0;
    HeapWindow window;
    auto list = std::make_shared<dk::KLEventListResponse>();
    for (int p = 0; p < kPages; ++p) {
      size_t bytes = 0;
      state.PauseTiming();
      const std::string text = eventPageJSON(1000000 - int64_t{p} * kPerPage, kPerPage, &bytes);
      state.ResumeTiming();
      raw += bytes;
      auto page = dk::platform::modelFromJSON<dk::KLEventListResponse>(Value::parseJSON(text));
      list->mergeValueForKey("values", page);
    }
    held = window.held();
    if (list->numberOfEvents() != size_t{kPages} * kPerPage) state.SkipWithError("lost events");
  }
  state.counters["json_bytes"] = static_cast<double>(raw);
  ratio(state, "cache", held, raw);
  state.counters["per_event_bytes"] = static_cast<double>(held) / (kPages * kPerPage);
}
BENCHMARK(BM_CachedEvents)->Unit(benchmark::kMillisecond)->Iterations(1);

// One 10,000-event page parsed, mapped and merged into an empty list: the peak of the whole road.
void BM_LargePageRoad(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  const std::string text = eventPageJSON(1000000, count);
  int64_t peak = 0, held = 0;
  for (auto _ : state) {
    HeapWindow window;
    auto list = std::make_shared<dk::KLEventListResponse>();
    {
      auto page = dk::platform::modelFromJSON<dk::KLEventListResponse>(Value::parseJSON(text));
      list->mergeValueForKey("values", page);
    }
    peak = window.peak();
    held = window.held();
    if (list->numberOfEvents() != static_cast<size_t>(count)) state.SkipWithError("lost events");
  }
  state.counters["json_bytes"] = static_cast<double>(text.size());
  ratio(state, "road_peak", peak, text.size());
  ratio(state, "cache", held, text.size());
}
BENCHMARK(BM_LargePageRoad)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace
