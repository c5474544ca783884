// Binary search over time-ordered arrays with a caller-supplied comparison and a choice of what
// to answer on a miss, plus a walker that collects the run of neighbours matching a condition.
//
// Works on any random-access container (std::vector of model pointers in practice). Indices are
// signed, so stepping below index 0 cannot wrap; "not found" is kNotFound, the largest signed
// integer. Pure functions: thread-safety is that of the container and the callbacks.
#pragma once

#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

#include "platform/foundation/comparison_result.h"

namespace dk {

inline constexpr int64_t kNotFound = std::numeric_limits<int64_t>::max();

// What a miss answers. Any value other than 0 and 1 behaves as the preceding index.
enum KLBinarySearchOption : int64_t {
  KLBinarySearchOptionExact = 0,           // not found
  KLBinarySearchOptionInsertionIndex = 1,  // where the target would be inserted, if inside the array
  KLBinarySearchOptionPrecedingIndex = 2,  // the index just before that, if not negative
};

// `compare(element)` answers the element's order relative to the target: kOrderedAscending when
// the element is smaller, kOrderedSame when it matches, kOrderedDescending when it is larger.
// With several matching elements, whichever the halving reaches first is returned. In a
// newest-first array the insertion index is the next older item, the preceding index the next
// newer one. At most about log2(count) + 1 calls of `compare`.
template <typename Container, typename Compare>
int64_t indexOfObjectInArraySortedAscending(const Container& array, bool ascending, int64_t option, Compare&& compare) {
  const int64_t count = static_cast<int64_t>(std::size(array));
  int64_t low = 0;
  int64_t high = count - 1;
  while (low <= high) {
    const int64_t mid = low + (high - low) / 2;
    const platform::ComparisonResult order = compare(array[static_cast<size_t>(mid)]);
    if (order == platform::kOrderedSame) return mid;
    const bool goLower = ascending ? order == platform::kOrderedDescending : order == platform::kOrderedAscending;
    if (goLower)
      high = mid - 1;
    else
      low = mid + 1;
  }
  switch (option) {
    case KLBinarySearchOptionExact: return kNotFound;
    case KLBinarySearchOptionInsertionIndex: return low < count ? low : kNotFound;
    default: return high >= 0 ? high : kNotFound;
  }
}

// The run of consecutive elements, the start element included, for which `condition` holds,
// walking from `start` towards higher indices (ascendingDirection) or lower ones. Returned in
// array order; empty when the start element fails or `start` is outside the array.
template <typename Container, typename Condition>
auto subarrayFromIndex(const Container& array, int64_t start, bool ascendingDirection, Condition&& condition) {
  using Element = std::decay_t<decltype(array[0])>;
  std::vector<Element> run;
  const int64_t count = static_cast<int64_t>(std::size(array));
  if (start < 0 || start >= count) return run;
  const int64_t step = ascendingDirection ? 1 : -1;
  int64_t n = 0;
  for (int64_t i = start; i >= 0 && i < count && condition(array[static_cast<size_t>(i)]); i += step) ++n;
  if (n == 0) return run;
  const int64_t first = ascendingDirection ? start : start - n + 1;
  run.reserve(static_cast<size_t>(n));
  for (int64_t i = first; i < first + n; ++i) run.push_back(array[static_cast<size_t>(i)]);
  return run;
}

}  // namespace dk
