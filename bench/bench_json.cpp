// Decoding the simulator's 200-event page: our reader (JSON text to Value) against nlohmann-json
// and simdjson (DOM, with a reused parser as it is meant to be used) building their trees from the
// same bytes in the same run. The page is fetched once from a local cloud, as a client receives it.
//
// Run: build/bench/bench_json. Each benchmark reports the page size; compare the times per page.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <simdjson.h>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "platform/foundation/value.h"

namespace {

using dk::platform::Value;

size_t collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// The reply body of "/rest/v2.4/events?limit=200" from a freshly generated world.
const std::string& eventPage() {
  static const std::string page = [] {
    dk::cloudsim::GenerateOptions world;
    world.eventsPerDay = 60;  // enough for a full 200-event page
    dk::cloudsim::CloudSim sim(dk::cloudsim::World::generate(world));
    sim.start();
    std::string body;
    CURL* curl = curl_easy_init();
    const std::string url = sim.baseUrl() + "/rest/v2.4/events?limit=200";
    curl_slist* headers = curl_slist_append(nullptr, ("Authorization: Bearer " + sim.accessToken()).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return body;
  }();
  return page;
}

void report(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * eventPage().size()));
  state.counters["page_bytes"] = static_cast<double>(eventPage().size());
}

void BM_DecodeEventPageValue(benchmark::State& state) {
  const std::string& page = eventPage();
  if (Value::parseJSON(page).count() == 0) state.SkipWithError("the page did not decode");
  for (auto _ : state) benchmark::DoNotOptimize(Value::parseJSON(page));
  report(state);
}
BENCHMARK(BM_DecodeEventPageValue)->Unit(benchmark::kMicrosecond);

void BM_DecodeEventPageNlohmann(benchmark::State& state) {
  const std::string& page = eventPage();
  for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(page));
  report(state);
}
BENCHMARK(BM_DecodeEventPageNlohmann)->Unit(benchmark::kMicrosecond);

void BM_DecodeEventPageSimdjson(benchmark::State& state) {
  const std::string& page = eventPage();
  const simdjson::padded_string padded(page);
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    if (parser.parse(padded).get(root)) state.SkipWithError("simdjson refused the page");
    benchmark::DoNotOptimize(root);
  }
  report(state);
}
BENCHMARK(BM_DecodeEventPageSimdjson)->Unit(benchmark::kMicrosecond);

}  // namespace
