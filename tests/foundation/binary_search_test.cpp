#include <gtest/gtest.h>

#include <memory>

#include "foundation/binary_search.h"

namespace dk {
namespace {

using platform::ComparisonResult;

// The timeline's comparison: an element's time against the target time.
auto byTime(double target) {
  return [target](double time) -> ComparisonResult {
    if (time < target) return platform::kOrderedAscending;
    if (time > target) return platform::kOrderedDescending;
    return platform::kOrderedSame;
  };
}

const std::vector<double> kNewestFirst{50, 40, 30, 20};
const std::vector<double> kOldestFirst{20, 30, 40, 50};

TEST(BinarySearch, EmptyArrayFindsNothingWithEveryOption) {
  const std::vector<double> empty;
  for (int64_t option : {0, 1, 2, 7, -3}) {
    EXPECT_EQ(indexOfObjectInArraySortedAscending(empty, false, option, byTime(35)), kNotFound);
    EXPECT_EQ(indexOfObjectInArraySortedAscending(empty, true, option, byTime(35)), kNotFound);
  }
}

TEST(BinarySearch, HitsAnswerTheirIndexWhateverTheOption) {
  for (int64_t option : {0, 1, 2}) {
    EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, option, byTime(20)), 3);
    EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, option, byTime(50)), 0);
    EXPECT_EQ(indexOfObjectInArraySortedAscending(kOldestFirst, true, option, byTime(30)), 1);
  }
}

TEST(BinarySearch, MissesInANewestFirstArray) {
  // Between two items: the next older (insertion) or the next newer (preceding).
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, KLBinarySearchOptionExact, byTime(35)), kNotFound);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, KLBinarySearchOptionInsertionIndex, byTime(35)), 2);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, KLBinarySearchOptionPrecedingIndex, byTime(35)), 1);
  // Newer than everything: the search walks below index 0, which must not wrap.
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, KLBinarySearchOptionInsertionIndex, byTime(60)), 0);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, KLBinarySearchOptionPrecedingIndex, byTime(60)), kNotFound);
  // Older than everything.
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, KLBinarySearchOptionInsertionIndex, byTime(10)), kNotFound);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, KLBinarySearchOptionPrecedingIndex, byTime(10)), 3);
  // Any other option value behaves as the preceding index.
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kNewestFirst, false, 9, byTime(35)), 1);
}

TEST(BinarySearch, MissesInAnOldestFirstArray) {
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kOldestFirst, true, KLBinarySearchOptionExact, byTime(35)), kNotFound);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kOldestFirst, true, KLBinarySearchOptionInsertionIndex, byTime(35)), 2);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kOldestFirst, true, KLBinarySearchOptionPrecedingIndex, byTime(35)), 1);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kOldestFirst, true, KLBinarySearchOptionInsertionIndex, byTime(10)), 0);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kOldestFirst, true, KLBinarySearchOptionPrecedingIndex, byTime(10)), kNotFound);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kOldestFirst, true, KLBinarySearchOptionInsertionIndex, byTime(60)), kNotFound);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(kOldestFirst, true, KLBinarySearchOptionPrecedingIndex, byTime(60)), 3);
}

TEST(BinarySearch, SingleElementAndCallCountBound) {
  const std::vector<double> one{10};
  EXPECT_EQ(indexOfObjectInArraySortedAscending(one, false, KLBinarySearchOptionPrecedingIndex, byTime(11)), kNotFound);
  EXPECT_EQ(indexOfObjectInArraySortedAscending(one, false, KLBinarySearchOptionInsertionIndex, byTime(9)), kNotFound);

  std::vector<double> many;
  for (int i = 100000; i > 0; --i) many.push_back(i);
  int calls = 0;
  auto counted = [&](double time) {
    ++calls;
    return byTime(0.5)(time);
  };
  EXPECT_EQ(indexOfObjectInArraySortedAscending(many, false, KLBinarySearchOptionPrecedingIndex, counted), 99999);
  EXPECT_LE(calls, 18);  // log2(100000) + 1
}

TEST(BinarySearch, WorksOnArraysOfObjects) {
  struct Event {
    double timestamp;
  };
  std::vector<std::shared_ptr<Event>> events;
  for (double t : kNewestFirst) events.push_back(std::make_shared<Event>(Event{t}));
  auto index = indexOfObjectInArraySortedAscending(events, false, KLBinarySearchOptionInsertionIndex,
                                                   [](const std::shared_ptr<Event>& e) { return byTime(45)(e->timestamp); });
  EXPECT_EQ(index, 1);
}

TEST(RunWalk, CollectsMatchingNeighboursInArrayOrder) {
  const std::vector<int> all{5, 5, 5, 5, 9};
  auto isFive = [](int v) { return v == 5; };
  EXPECT_EQ(subarrayFromIndex(all, 3, false, isFive), (std::vector<int>{5, 5, 5, 5}));  // indexes 0 to 3
  EXPECT_EQ(subarrayFromIndex(all, 1, true, isFive), (std::vector<int>{5, 5, 5}));      // indexes 1 to 3
  EXPECT_TRUE(subarrayFromIndex(all, 4, false, isFive).empty());                          // start fails
  EXPECT_TRUE(subarrayFromIndex(all, 5, true, isFive).empty());                           // outside
  EXPECT_TRUE(subarrayFromIndex(all, -1, false, isFive).empty());

  const std::vector<int> mixed{1, 2, 3, 4, 5, 6};
  auto between = [](int v) { return v >= 2 && v <= 4; };
  EXPECT_EQ(subarrayFromIndex(mixed, 3, false, between), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(subarrayFromIndex(mixed, 2, true, between), (std::vector<int>{3, 4}));
}

}  // namespace
}  // namespace dk
