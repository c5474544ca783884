// Model hot paths: mapping a 200-event page (our JSON parse plus mapping, against parsing the same
// bytes with nlohmann-json alone), merging 250 pages of 200 events into one list (the cost of one
// page at several list lengths, and the whole history), and 10,000 time look-ups over a camera's
// 100 recording pages.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "model/kl_event_response.h"
#include "model/kl_recording_response.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/key_value_observation_controller.h"

namespace {

using dk::platform::Value;

constexpr int kEventsPerPage = 200;
constexpr int kPages = 250;
constexpr double kStart = 1616919330.0;

std::string serverTime(double seconds) {
  const auto whole = static_cast<time_t>(seconds);
  std::tm tm{};
  gmtime_r(&whole, &tm);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03d+00:00", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>((seconds - whole) * 1000));
  return buffer;
}

// One page of the events reply as the cloud sends it, wrapped under its root key.
std::string eventPageJSON(int page) {
  static const char* kTypes[] = {"vmdDetected", "pirDetected", "audioDetected", "personDetected"};
  std::string json = "{\"events\": [";
  for (int i = 0; i < kEventsPerPage; ++i) {
    const int64_t id = 1000000 - static_cast<int64_t>(page) * kEventsPerPage - i;
    if (i) json += ",";
    json += "{\"eventId\": " + std::to_string(id) + ", \"timestamp\": \"" + serverTime(kStart + id * 7.5) +
            "\", \"type\": \"" + kTypes[id % 4] +
            "\", \"source\": {\"sourceId\": 4711, \"sourceType\": \"camera\", \"name\": \"Front door\"}"
            ", \"streamUrls\": {\"mp4Https\": \"https://media.example/clips/" + std::to_string(id) +
            ".mp4\", \"hlsHttps\": \"https://media.example/hls/" + std::to_string(id) + "/index.m3u8\"}"
            ", \"faceId\": null, \"category\": \"" + (id % 3 ? "adult" : "vehicle") +
            "\", \"duration\": 30, \"acknowledged\": false, \"tags\": [\"motion\", \"zone-1\"]}";
  }
  json += "], \"responseHeader\": {\"Link\": \"<https://api.example/rest/v2.4/events?before=" +
          std::to_string(1000000 - (page + 1) * kEventsPerPage) + ">; rel=\\\"next\\\"\"}}";
  return json;
}

void BM_MapEventPage(benchmark::State& state) {
  const std::string bytes = eventPageJSON(0);
  for (auto _ : state) {
    Value json = Value::parseJSON(bytes);
    auto page = dk::platform::modelFromJSON<dk::KLEventListResponse>(json);
    benchmark::DoNotOptimize(page);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  state.SetItemsProcessed(state.iterations() * kEventsPerPage);
}
BENCHMARK(BM_MapEventPage)->Unit(benchmark::kMicrosecond);

void BM_ParseEventPageNlohmannOnly(benchmark::State& state) {
  const std::string bytes = eventPageJSON(0);
  for (auto _ : state) {
    auto json = nlohmann::json::parse(bytes);
    benchmark::DoNotOptimize(json);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  state.SetItemsProcessed(state.iterations() * kEventsPerPage);
}
BENCHMARK(BM_ParseEventPageNlohmannOnly)->Unit(benchmark::kMicrosecond);

void BM_ParseEventPageValueOnly(benchmark::State& state) {
  const std::string bytes = eventPageJSON(0);
  for (auto _ : state) benchmark::DoNotOptimize(Value::parseJSON(bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseEventPageValueOnly)->Unit(benchmark::kMicrosecond);

// 250 mapped pages, made once.
const std::vector<dk::KLEventListPtr>& mappedPages() {
  static const std::vector<dk::KLEventListPtr> pages = [] {
    std::vector<dk::KLEventListPtr> out;
    for (int p = 0; p < kPages; ++p) {
      out.push_back(dk::platform::modelFromJSON<dk::KLEventListResponse>(Value::parseJSON(eventPageJSON(p))));
    }
    return out;
  }();
  return pages;
}

// The whole history merged page by page into one list, each page timed: the counters give the
// mean cost of a page merged into the first 25 pages' list and into the last 25 pages' list
// (flat when a merge costs the page, not the list), and the whole history per iteration.
void BM_MergeWholeHistory(benchmark::State& state) {
  const auto& pages = mappedPages();
  double early = 0, late = 0;
  for (auto _ : state) {
    auto list = std::make_shared<dk::KLEventListResponse>();
    for (int p = 0; p < kPages; ++p) {
      const auto start = std::chrono::steady_clock::now();
      list->mergeValueForKey("values", pages[p]);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (p < 25) early += seconds;
      if (p >= kPages - 25) late += seconds;
    }
    // Repeating the first page adds nothing.
    list->mergeValueForKey("values", pages.front());
    if (list->numberOfEvents() != static_cast<size_t>(kPages) * kEventsPerPage) state.SkipWithError("lost events");
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["first25_us_per_page"] = early / runs / 25 * 1e6;
  state.counters["last25_us_per_page"] = late / runs / 25 * 1e6;
}
BENCHMARK(BM_MergeWholeHistory)->Unit(benchmark::kMillisecond);

// A camera's history of 100 pages of 100 recordings, newest first, one every 90 s lasting 60 s.
dk::KLRecordingListPtr recordingHistory() {
  auto list = std::make_shared<dk::KLRecordingListResponse>();
  constexpr int kRecordings = 100 * 100;
  for (int page = 0; page < 100; ++page) {
    dk::KLRecordingListResponse::Recordings recordings;
    for (int i = 0; i < 100; ++i) {
      const int64_t id = kRecordings - page * 100 - i;
      auto r = std::make_shared<dk::KLRecordingResponse>();
      r->setRecordingID(id);
      r->setStartStringTime(serverTime(kStart + id * 90.0));
      r->setEndStringTime(serverTime(kStart + id * 90.0 + 60));
      r->setClosed(true);
      recordings.push_back(r);
    }
    bool merged = false;
    list->appendSortedRecordings(recordings, [&] { merged = true; });
    dk::platform::MainRunLoop::runUntil([&] { return merged; });
  }
  return list;
}

void BM_RecordingTimeLookups(benchmark::State& state) {
  dk::platform::MainRunLoop::bindToCurrentThread();
  auto list = recordingHistory();
  std::vector<std::string> times;
  std::mt19937 random(3);
  std::uniform_real_distribution<double> at(kStart, kStart + 10000 * 90.0);
  for (int i = 0; i < 10000; ++i) times.push_back(serverTime(at(random)));
  int64_t found = 0;
  for (auto _ : state) {
    for (const auto& t : times) found += list->getRecordingForTimestamp(t) ? 1 : 0;
  }
  state.counters["hit_ratio"] = static_cast<double>(found) / (static_cast<double>(state.iterations()) * 10000);
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_RecordingTimeLookups)->Unit(benchmark::kMillisecond);

// A typed setter of a cached event: unobserved (argument 0), the path every JSON mapping and merge
// takes, and with one key-value observer of the key (argument 1).
void BM_EventSetter(benchmark::State& state) {
  auto event = std::make_shared<dk::KLEventResponse>();
  auto owner = std::make_shared<int>(0);
  auto kvo = dk::platform::KeyValueObservationController::controllerWithObserver(owner);
  int64_t told = 0;
  if (state.range(0) == 1) {
    kvo->observe(event, "downloadProgress", dk::platform::KeyValueObservingOptionNew,
                 [&](const dk::platform::KeyValueChange&) { ++told; });
  }
  double progress = 0;
  for (auto _ : state) {
    event->setDownloadProgress(progress);
    progress += 0.001;
  }
  state.counters["told"] = static_cast<double>(told);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EventSetter)->Arg(0)->Arg(1);

}  // namespace
