// Foundation hot paths: reading server timestamps (ours against ICU's parser on the same
// strings) and binary search over a million time-ordered items.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/binary_search.h"
#include "foundation/date_formatting.h"
#include "foundation/server_timestamp.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"

namespace {

constexpr int kTimestampCount = 100000;

// 100k server timestamps spread over ten years, in several offsets and with "Z".
const std::vector<std::string>& timestamps() {
  static const std::vector<std::string> strings = [] {
    std::vector<std::string> out;
    out.reserve(kTimestampCount);
    std::mt19937 random(42);
    std::uniform_int_distribution<int64_t> millis(1420070400000, 1735689600000);
    const int offsets[] = {0, 3600, 7200, -18000, 19800};
    std::vector<dk::platform::DateFormatterPtr> formatters;
    for (int offset : offsets) {
      dk::platform::DateFormatterOptions options;
      options.dateFormat = "yyyy-MM-dd'T'HH:mm:ss.SSSXXX";
      options.locale = dk::platform::Locale("en_US_POSIX");
      options.timeZone = dk::platform::TimeZone::withSecondsFromGMT(offset);
      formatters.push_back(dk::platform::DateFormatter::create(options));
    }
    for (int i = 0; i < kTimestampCount; ++i)
      out.push_back(formatters[i % formatters.size()]->stringFromDate(millis(random) / 1000.0));
    return out;
  }();
  return strings;
}

void BM_TimestampParse_Strict(benchmark::State& state) {
  const auto& strings = timestamps();
  for (auto _ : state) {
    double sum = 0;
    for (const auto& text : strings) sum += dk::parseServerTimestamp(text).value_or(0);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kTimestampCount);
}
BENCHMARK(BM_TimestampParse_Strict)->Unit(benchmark::kMillisecond);

void BM_TimestampParse_Icu(benchmark::State& state) {
  const auto& strings = timestamps();
  auto icu = dk::timeFormatterForStringTimestamp();
  for (auto _ : state) {
    double sum = 0;
    for (const auto& text : strings) sum += icu->dateFromString(text).value_or(0);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kTimestampCount);
}
BENCHMARK(BM_TimestampParse_Icu)->Unit(benchmark::kMillisecond);

// A newest-first array of 1M times, one every 30 s, searched for random times with each miss
// option, as the timeline looks up the item at a scroll position.
void BM_BinarySearch_1M(benchmark::State& state) {
  constexpr int64_t kCount = 1000000;
  std::vector<double> times(kCount);
  for (int64_t i = 0; i < kCount; ++i) times[i] = 1.7e9 - static_cast<double>(i) * 30;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> targets(1.7e9 - kCount * 30.0, 1.7e9);
  std::vector<double> queries(4096);
  for (auto& q : queries) q = targets(random);
  const int64_t option = state.range(0);
  size_t next = 0;
  for (auto _ : state) {
    const double target = queries[next++ & 4095];
    auto index = dk::indexOfObjectInArraySortedAscending(times, false, option, [target](double time) {
      return time < target ? dk::platform::kOrderedAscending
                           : (time > target ? dk::platform::kOrderedDescending : dk::platform::kOrderedSame);
    });
    benchmark::DoNotOptimize(index);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BinarySearch_1M)->Arg(0)->Arg(1)->Arg(2);

}  // namespace
