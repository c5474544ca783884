#include "model/kl_recording_response.h"

#include <gtest/gtest.h>

#include <atomic>

#include "model_test_support.h"
#include "platform/dispatch/sync.h"

namespace dk {
namespace {

using platform::Value;
using test::serverTime;

constexpr double kBase = 1616919330.0;  // recording n starts at kBase + 100 n and lasts 60 s

KLRecordingPtr rec(int64_t id, bool closed = true) {
  auto r = std::make_shared<KLRecordingResponse>();
  r->setRecordingID(id);
  r->setCameraID(5);
  r->setStartStringTime(serverTime(kBase + 100.0 * id));
  if (closed) r->setEndStringTime(serverTime(kBase + 100.0 * id + 60));
  r->setClosed(closed);
  return r;
}

KLRecordingListResponse::Recordings page(std::initializer_list<int64_t> ids) {
  KLRecordingListResponse::Recordings out;
  for (int64_t id : ids) out.push_back(rec(id));
  return out;
}

std::vector<int64_t> ids(const KLRecordingListResponse& list) {
  std::vector<int64_t> out;
  for (const auto& r : list.recordings()) out.push_back(r->recordingID().value_or(-1));
  return out;
}

// Merges a page as the list classifies it, or, with `older`, as a page asked for as an older one.
void merge(const KLRecordingListPtr& list, KLRecordingListResponse::Recordings p, bool older = false) {
  bool done = false;
  if (older) {
    list->appendOlderRecordings(std::move(p), [&] { done = true; });
  } else {
    list->appendSortedRecordings(std::move(p), [&] { done = true; });
  }
  ASSERT_TRUE(test::waitFor(done));
}

KLRecordingListPtr listOf(std::initializer_list<int64_t> ids) {
  auto list = std::make_shared<KLRecordingListResponse>();
  merge(list, page(ids));
  return list;
}

TEST(KLRecordingMapping, MapsRecordingsAndTimes) {
  auto list = platform::modelFromJSON<KLRecordingListResponse>(test::json(R"({"recordings": [
      {"cameraId": 5, "recordingId": 12, "startTime": "2021-03-28T10:15:30.000+02:00",
       "endTime": "2021-03-28T10:16:30.500+02:00", "closed": true},
      {"cameraId": 5, "recordingId": 11, "startTime": "2021-03-28T10:10:00.000+02:00", "closed": false}]})"));
  ASSERT_TRUE(list);
  auto recordings = list->recordings();
  ASSERT_EQ(recordings.size(), 2u);
  EXPECT_EQ(recordings[0]->cameraID(), 5);
  EXPECT_EQ(recordings[0]->recordingID(), 12);
  EXPECT_EQ(recordings[0]->startSeconds(), 1616919330.0);
  EXPECT_EQ(recordings[0]->endSeconds(), 1616919390.5);
  EXPECT_EQ(recordings[0]->closed(), true);
  EXPECT_FALSE(recordings[1]->endStringTime().has_value());
  EXPECT_EQ(recordings[1]->closed(), false);
  EXPECT_FALSE(list->allRecordingsLoaded());
  EXPECT_EQ(list->customQueue(), KLRecordingListResponse::sharedQueue());
  EXPECT_EQ(list->customQueue()->label(), "com.devicekeeper.kelo.recordingresponse");

  auto notArray = platform::modelFromJSON<KLRecordingListResponse>(test::json(R"({"recordings": {"a": 1}})"));
  EXPECT_TRUE(notArray->values().isNil());
}

TEST(KLRecordingMapping, IdentifiersBeyondSixtyFourBitsAreNil) {
  auto page = platform::modelFromJSON<KLRecordingListResponse>(test::json(R"({"recordings": [
      {"recordingId": 18446744073709551615}, {"recordingId": 18446744073709551614}, {"recordingId": 5}]})"));
  ASSERT_TRUE(page);
  const auto values = page->values().arrayValue();
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].objectAs<KLRecordingResponse>()->recordingID(), std::nullopt);
  EXPECT_EQ(values[1].objectAs<KLRecordingResponse>()->recordingID(), std::nullopt);
  EXPECT_EQ(values[2].objectAs<KLRecordingResponse>()->recordingID(), 5);
}

TEST(KLRecordingOlderPages, AppendAfterTheOldestWithoutDuplicates) {
  auto list = listOf({10, 9, 8});
  auto before = list->recordings();
  merge(list, page({8, 7, 6}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 9, 8, 7, 6}));
  EXPECT_FALSE(list->allRecordingsLoaded());
  auto after = list->recordings();
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(after[i], before[i]) << "cached objects are kept";
}

TEST(KLRecordingOlderPages, TheCachedOldestKeepsItsOwnTimes) {
  auto list = listOf({10, 9, 8});
  auto eight = list->getRecordingWithId(8);
  auto differentEight = rec(8, false);
  differentEight->setStartStringTime(serverTime(kBase + 5));
  merge(list, {differentEight, rec(7)});
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 9, 8, 7}));
  EXPECT_EQ(list->getRecordingWithId(8), eight);
  EXPECT_EQ(eight->startSeconds(), kBase + 800);
  EXPECT_EQ(eight->endSeconds(), kBase + 860);
  EXPECT_EQ(eight->closed(), true);
}

TEST(KLRecordingOlderPages, PageWithoutTheOldestStillAddsTheOlderOnes) {
  // The server no longer holds recording 8: the page starts further back.
  auto list = listOf({10, 9, 8});
  merge(list, page({7, 6, 5}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 9, 8, 7, 6, 5}));
  EXPECT_FALSE(list->allRecordingsLoaded());
  // A page that overlaps the cache and reaches further: only the older part is new.
  merge(list, page({9, 6, 4, 3}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 9, 8, 7, 6, 5, 4, 3}));
}

// A page that adds nothing is the end of the history only when it is short of the limit: a full
// one may be the newest page again (the first older page of an empty list carries no bound).
TEST(KLRecordingOlderPages, APageThatAddsNothingCompletesTheHistoryOnlyWhenShort) {
  const auto run = [](int64_t newest, int64_t oldest) {
    KLRecordingListResponse::Recordings out;
    for (int64_t id = newest; id >= oldest; --id) out.push_back(rec(id));
    return out;
  };
  struct Case {
    const char* what;
    KLRecordingListResponse::Recordings page;
    bool older;  // asked for as an older page
    bool complete;
  };
  const Case cases[] = {
      {"the oldest alone", page({201}), false, true},
      {"99 known recordings", run(299, 201), true, true},
      {"the newest page again, full", run(300, 201), true, false},
      {"a full page of known recordings", run(251, 152), true, false},
      {"a full page of known recordings classified by its head", run(251, 152), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto list = std::make_shared<KLRecordingListResponse>();
    merge(list, run(300, 152));
    const auto before = ids(*list);
    merge(list, c.page, c.older);
    EXPECT_EQ(ids(*list), before);
    EXPECT_EQ(list->allRecordingsLoaded(), c.complete);
  }
}

TEST(KLRecordingOlderPages, RepeatedRecordingsInsideAPageAreAddedOnce) {
  auto list = listOf({10});
  merge(list, page({9, 9, 8, 8}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 9, 8}));
}

TEST(KLRecordingOlderPages, EmptyListTakesTheFirstPageWholeAndStaysIncomplete) {
  auto list = listOf({10, 9, 8});
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 9, 8}));
  EXPECT_FALSE(list->allRecordingsLoaded());
}

TEST(KLRecordingOlderPages, EmptyPageChangesNothingButCompletes) {
  auto list = listOf({10});
  merge(list, {});
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10}));
  EXPECT_FALSE(list->allRecordingsLoaded());
}

TEST(KLRecordingOneElement, PageStartingWithTheOnlyRecordingUpdatesItAndAddsTheRest) {
  auto list = std::make_shared<KLRecordingListResponse>();
  merge(list, {rec(10, false)});
  auto ten = list->recordings().front();
  ASSERT_FALSE(ten->endStringTime());
  merge(list, page({10, 9, 8}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 9, 8}));
  EXPECT_EQ(list->recordings().front(), ten);
  EXPECT_EQ(ten->closed(), true);
  EXPECT_EQ(ten->endSeconds(), kBase + 1060);
  EXPECT_FALSE(list->allRecordingsLoaded());
}

TEST(KLRecordingOneElement, PageOfOnlyThatRecordingEndsThePaging) {
  auto list = listOf({10});
  merge(list, page({10}));
  EXPECT_TRUE(list->allRecordingsLoaded()) << "the paging loop would otherwise ask forever";
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10}));
}

TEST(KLRecordingNewerPages, NewerRecordingsGoInFrontAndTheOpenOneClosesInPlace) {
  auto list = std::make_shared<KLRecordingListResponse>();
  merge(list, {rec(10, false), rec(9)});
  auto ten = list->recordings().front();
  merge(list, page({13, 12, 11, 10}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{13, 12, 11, 10, 9}));
  EXPECT_EQ(list->recordings()[3], ten) << "the cached recording is updated, not replaced";
  EXPECT_EQ(ten->closed(), true);
  EXPECT_EQ(ten->endStringTime(), serverTime(kBase + 1060));
  EXPECT_FALSE(list->allRecordingsLoaded());
}

TEST(KLRecordingNewerPages, SamePageNewestOnlyRefreshesIt) {
  auto list = std::make_shared<KLRecordingListResponse>();
  merge(list, {rec(10, false), rec(9)});
  merge(list, page({10}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 9}));
  EXPECT_EQ(list->recordings().front()->closed(), true);
}

TEST(KLRecordingNewerPages, PageLackingTheNewestAddsOnlyNewerOnes) {
  auto list = listOf({10, 9, 8});
  merge(list, page({12, 11, 9, 8}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{12, 11, 10, 9, 8})) << "no identifier twice";
  EXPECT_FALSE(list->allRecordingsLoaded());
}

// Every recording of an older page that the list lacks is kept where its identifier belongs,
// whatever identifier heads the page: a late upload (a camera uploading from its card after a gap
// gets a higher identifier for an older start) heads the older pages it falls into, and must not
// hide the recordings behind it. A newer page puts in front only what is newer than the cached
// newest. Only a short older page that adds nothing completes the history.
TEST(KLRecordingPages, EveryRecordingTheListLacksIsKeptInIdentifierOrder) {
  constexpr int64_t kNoID = -1;
  struct Case {
    const char* what;
    std::vector<int64_t> list;
    std::vector<int64_t> page;
    bool older;  // asked for as an older page
    std::vector<int64_t> expected;
    bool complete;
  };
  const Case cases[] = {
      {"a late upload heads an older page", {10, 9, 8}, {50, 7, 6}, true, {50, 10, 9, 8, 7, 6}, false},
      {"the same page classified by its head is a newer page", {10, 9, 8}, {50, 7, 6}, false, {50, 10, 9, 8}, false},
      {"the late upload again with nothing older", {50, 10, 9}, {50, 9}, true, {50, 10, 9}, true},
      {"a newer page adding nothing never completes", {50, 10, 9}, {50, 9}, false, {50, 10, 9}, false},
      {"recordings between cached ones", {10, 6, 5}, {9, 8, 7, 6}, true, {10, 9, 8, 7, 6, 5}, false},
      {"an unsorted page with repeats", {10}, {7, 9, 7, 12, 9}, true, {12, 10, 9, 7}, false},
      {"an older page without identifiers adds nothing", {10}, {kNoID, kNoID}, true, {10}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto list = std::make_shared<KLRecordingListResponse>();
    KLRecordingListResponse::Recordings cached;
    for (int64_t id : c.list) cached.push_back(rec(id));
    list->setValues(valueArray(cached));
    KLRecordingListResponse::Recordings incoming;
    for (int64_t id : c.page) {
      incoming.push_back(rec(id == kNoID ? 0 : id));
      if (id == kNoID) incoming.back()->setRecordingID(std::nullopt);
    }
    merge(list, incoming, c.older);
    EXPECT_EQ(ids(*list), c.expected);
    EXPECT_EQ(list->allRecordingsLoaded(), c.complete);
    for (const auto& recording : cached) {
      EXPECT_EQ(list->getRecordingWithId(recording->recordingID()), recording) << "cached objects are kept";
    }
  }
}

// A recording dropped from the cache (its event deleted) stays out while the cloud still lists
// it: a newer page brings only what is newer than the cached newest, wherever the gap is.
TEST(KLRecordingNewerPages, ARecordingDroppedFromTheCacheStaysOut) {
  struct Case {
    const char* what;
    int64_t dropped;
    std::vector<int64_t> expected;
  };
  const Case cases[] = {
      {"inside the list", 8, {12, 11, 10, 9, 7}},
      {"the oldest", 7, {12, 11, 10, 9, 8}},
      {"next to the newest", 9, {12, 11, 10, 8, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto list = listOf({10, 9, 8, 7});
    auto ten = list->getRecordingWithId(10);
    list->removeRecordingWithId(c.dropped);
    merge(list, page({10, 9, 8, 7}));
    EXPECT_EQ(ids(*list).size(), 3u) << "the same newest page again adds nothing";
    merge(list, page({12, 11, 10, 9, 8, 7}));
    EXPECT_EQ(ids(*list), c.expected);
    EXPECT_EQ(list->getRecordingWithId(10), ten);
    EXPECT_FALSE(list->allRecordingsLoaded());
  }
}

TEST(KLRecordingPages, ACachedRecordingWithoutIdentifierIsSteppedOver) {
  auto list = std::make_shared<KLRecordingListResponse>();
  auto anonymous = std::make_shared<KLRecordingResponse>();
  auto ten = rec(10, false);
  list->setValues(valueArray(KLRecordingListResponse::Recordings{anonymous, ten, rec(9)}));
  merge(list, page({12, 11, 10}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{-1, 12, 11, 10, 9}));
  EXPECT_EQ(ten->closed(), true) << "the newest identified recording takes the page's times";
  EXPECT_FALSE(list->allRecordingsLoaded());
  merge(list, page({9, 8}));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{-1, 12, 11, 10, 9, 8}));
}

TEST(KLRecordingLookups, ByIdentifierAndRemoval) {
  auto list = listOf({10, 9, 8});
  auto nine = list->getRecordingWithId(9);
  ASSERT_TRUE(nine);
  EXPECT_EQ(nine->recordingID(), 9);
  EXPECT_FALSE(list->getRecordingWithId(4));
  EXPECT_FALSE(list->getRecordingWithId(std::nullopt));

  list->removeRecordingWithId(4);
  list->removeRecordingWithId(9);
  // The removal is queued; a look-up made afterwards runs after it.
  EXPECT_FALSE(list->getRecordingWithId(9));
  EXPECT_EQ(ids(*list), (std::vector<int64_t>{10, 8}));
}

TEST(KLRecordingLookups, SeeMergesScheduledBeforeThem) {
  auto list = listOf({10});
  bool done = false;
  list->appendSortedRecordings(page({12, 11, 10}), [&] { done = true; });
  // No waiting: the look-ups wait for the queued merge themselves.
  EXPECT_TRUE(list->getRecordingWithId(12));
  EXPECT_EQ(list->getRecordingForTime(kBase + 1130), list->getRecordingWithId(11));
  EXPECT_TRUE(test::waitFor(done));
}

TEST(KLRecordingLookups, ByTimeExcludesTheStartAndIncludesTheEnd) {
  auto list = listOf({10, 9, 8});
  const double start9 = kBase + 900, end9 = kBase + 960;
  EXPECT_FALSE(list->getRecordingForTimestamp(serverTime(start9)));
  EXPECT_EQ(list->getRecordingForTimestamp(serverTime(start9 + 0.001)), list->getRecordingWithId(9));
  EXPECT_EQ(list->getRecordingForTimestamp(serverTime(end9)), list->getRecordingWithId(9));
  EXPECT_FALSE(list->getRecordingForTimestamp(serverTime(end9 + 1))) << "a gap between recordings";
  EXPECT_FALSE(list->getRecordingForTimestamp(serverTime(kBase)));
  EXPECT_FALSE(list->getRecordingForTimestamp("2021-03-28T10:15:30+02:00")) << "no milliseconds: no time";
  EXPECT_FALSE(std::make_shared<KLRecordingListResponse>()->getRecordingForTimestamp(serverTime(start9 + 1)));
}

TEST(KLRecordingLookups, ByTimeFollowsInPlaceChangesAndNewPages) {
  auto list = std::make_shared<KLRecordingListResponse>();
  merge(list, {rec(10, false), rec(9)});
  const double inTen = kBase + 1030;
  EXPECT_FALSE(list->getRecordingForTime(inTen)) << "an open recording has no end yet";
  merge(list, page({11, 10}));
  EXPECT_EQ(list->getRecordingForTime(inTen), list->getRecordingWithId(10));
  EXPECT_EQ(list->getRecordingForTime(kBase + 1130), list->getRecordingWithId(11));
  // A live message moves the end of recording 11 in place.
  list->getRecordingWithId(11)->setEndStringTime(serverTime(kBase + 1190));
  EXPECT_EQ(list->getRecordingForTime(kBase + 1180), list->getRecordingWithId(11));
}

TEST(KLRecordingLookups, ByTimeWhenStartsAreOutOfOrder) {
  // Identifiers and times need not agree: recording 9 here starts after recording 10.
  auto list = std::make_shared<KLRecordingListResponse>();
  auto odd = rec(9);
  odd->setStartStringTime(serverTime(kBase + 2000));
  odd->setEndStringTime(serverTime(kBase + 2050));
  merge(list, {rec(10), odd, rec(8)});
  EXPECT_EQ(list->getRecordingForTime(kBase + 2010), odd);
  EXPECT_EQ(list->getRecordingForTime(kBase + 830), list->getRecordingWithId(8));
  EXPECT_EQ(list->getRecordingForTime(kBase + 1010), list->getRecordingWithId(10));
}

TEST(KLRecordingConcurrency, ReadersOnOtherQueuesDuringInPlaceMerges) {
  auto list = std::make_shared<KLRecordingListResponse>();
  merge(list, {rec(1, false)});
  std::atomic<bool> stop{false};
  std::atomic<int> reads{0};
  platform::DispatchSemaphore started(0);
  auto group = platform::DispatchGroup::create();
  auto readers = platform::DispatchQueue::createConcurrent("test.readers");
  for (int r = 0; r < 3; ++r) {
    group->async(readers, [&] {
      bool first = true;
      while (first || !stop.load()) {
        for (const auto& recording : list->recordings()) {
          auto closed = recording->closed();
          auto end = recording->endStringTime();
          if (closed == true) {
            EXPECT_TRUE(end.has_value()) << "an end always comes with its closed flag";
          }
          (void)recording->containsTime(kBase);
        }
        (void)list->getRecordingForTime(kBase + 30);
        reads.fetch_add(1);
        if (first) started.signal();
        first = false;
      }
    });
  }
  // Every reader has read once before the merges begin, however busy the machine is.
  for (int r = 0; r < 3; ++r) started.wait();
  for (int64_t id = 2; id <= 40; ++id) {
    // Each newer page closes the previous open recording and adds a new open one.
    merge(list, {rec(id, false), rec(id - 1, true)});
  }
  stop = true;
  group->wait();
  EXPECT_EQ(list->recordings().size(), 40u);
  EXPECT_EQ(list->getRecordingWithId(1)->closed(), true);
  EXPECT_GT(reads.load(), 0);
}

}  // namespace
}  // namespace dk
