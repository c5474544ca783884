// The event feed: pages merged into a camera's cache reach the timeline's newest-first list by
// merging only what each page added, and the list (and the thumbnails chosen from it) is always the
// one a full sort of the cache gives — older pages, newer events appended at the cache's end, pages
// that interleave, repeated events, events without a time, and deletions.
#include "timeline/timeline_event_feed.h"

#include <gtest/gtest.h>

#include "services/kl_event_manager.h"
#include "support/manual_clock.h"
#include "support/temp_directory.h"
#include "timeline/kl_timeline_data_source.h"
#include "timeline_test_items.h"

namespace dk {
namespace {

using test::restEvent;

class TimelineEventFeedTest : public ::testing::Test {
 protected:
  // One fetched page merged into the cache, as the event manager merges it.
  void mergePage(const std::vector<KLEventPtr>& page) {
    platform::ValueArray values;
    for (const auto& e : page) values.emplace_back(e);
    auto model = std::make_shared<KLEventListResponse>();
    model->setValues(platform::Value(std::move(values)));
    cache_->mergeValuesForKeysFromModel(model);
  }
  // What building the list from the whole cache gives: the event manager's sort, then items.
  static std::vector<const KLEventResponse*> rebuilt(const KLEventListResponse& cache) {
    return order(TimelineEventAdapter::makeList(KLEventManager::sortEventsByDate(cache.events().toVector())));
  }
  static std::vector<const KLEventResponse*> order(const KLTimelineEvents& items) {
    std::vector<const KLEventResponse*> out;
    for (const auto& item : items) out.push_back(underlyingEvent(*item).get());
    return out;
  }
  // The feed's list for the cache as it is now, checked against a full rebuild.
  KLTimelineEvents updateAndCompare(const char* step) {
    auto items = feed_.update(cache_->events());
    EXPECT_EQ(order(items), rebuilt(*cache_)) << step;
    return items;
  }
  static std::vector<KLEventPtr> page(int64_t firstID, double newest, int count, double step = 60) {
    std::vector<KLEventPtr> out;
    for (int i = 0; i < count; ++i) out.push_back(restEvent(firstID + i, newest - i * step));
    return out;
  }

  test::TemporaryHome home_;
  std::shared_ptr<KLEventListResponse> cache_ = std::make_shared<KLEventListResponse>();
  TimelineEventFeed feed_;
};

TEST_F(TimelineEventFeedTest, OlderPagesAreAppendedWithoutRebuildingOrRemakingHeldItems) {
  mergePage(page(1, 10000, 5));
  auto first = updateAndCompare("first page");
  ASSERT_EQ(first.size(), 5u);
  mergePage(page(6, 9000, 5));
  auto second = updateAndCompare("older page");
  ASSERT_EQ(second.size(), 10u);
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(second[i], first[i]) << "item " << i << " was made again";
  EXPECT_EQ(feed_.rebuildCount(), 0u);
  // Told again with nothing new: the same list.
  EXPECT_EQ(order(feed_.update(cache_->events())), order(second));
}

TEST_F(TimelineEventFeedTest, NewerAndInterleavedPagesLandWhereAFullSortPutsThem) {
  mergePage(page(1, 10000, 4, 100));  // 10000, 9900, 9800, 9700
  updateAndCompare("first page");
  // Live events: newer ones arrive at the cache's end.
  mergePage({restEvent(20, 10200), restEvent(21, 10100)});
  auto items = updateAndCompare("newer events");
  EXPECT_EQ(underlyingEvent(*items.front())->eventID(), 20);
  // A page reaching between held events, one of them at a held time (the held one stays first).
  mergePage({restEvent(30, 9950), restEvent(31, 9900), restEvent(32, 9650)});
  items = updateAndCompare("interleaved page");
  EXPECT_EQ(underlyingEvent(*items[3])->eventID(), 30);
  EXPECT_EQ(underlyingEvent(*items[4])->eventID(), 2) << "held 9900 before the added 9900";
  EXPECT_EQ(underlyingEvent(*items[5])->eventID(), 31);
  EXPECT_EQ(underlyingEvent(*items.back())->eventID(), 32);
  // Events without a time go after all others, in cache order, and later timed events before them.
  auto untimed = std::make_shared<KLEventResponse>();
  untimed->setEventID(40);
  mergePage({untimed});
  updateAndCompare("event without a time");
  mergePage({restEvent(41, 9000)});
  items = updateAndCompare("timed event after an untimed one");
  EXPECT_EQ(underlyingEvent(*items.back())->eventID(), 40);
  EXPECT_EQ(feed_.rebuildCount(), 0u);
}

TEST_F(TimelineEventFeedTest, RepeatedEventsAddNothingAndDeletionsRebuild) {
  const auto held = page(1, 10000, 6);
  mergePage(held);
  updateAndCompare("first page");
  // A page overlapping what is held: only the new event is added, once.
  mergePage({held[4], held[5], restEvent(7, 10000 - 6 * 60), restEvent(7, 10000 - 6 * 60)});
  auto items = updateAndCompare("overlapping page");
  EXPECT_EQ(items.size(), 7u);
  EXPECT_EQ(feed_.rebuildCount(), 0u);

  cache_->deleteEventWithEventID(3);
  cache_->eventsHandleQueue()->sync([] {});
  items = updateAndCompare("after a deletion");
  EXPECT_EQ(items.size(), 6u);
  EXPECT_EQ(feed_.rebuildCount(), 1u);
  // A cache replaced whole with the same first events and more: still only the new ones are added.
  auto kept = cache_->events().toVector();
  kept.push_back(restEvent(8, 1000));
  platform::ValueArray values(kept.begin(), kept.end());
  cache_->setValues(platform::Value(std::move(values)));
  items = updateAndCompare("replaced with one more");
  EXPECT_EQ(items.size(), 7u);
  EXPECT_EQ(feed_.rebuildCount(), 1u);
}

TEST_F(TimelineEventFeedTest, ADataSourceFedPageByPageChoosesTheThumbnailsOfOneFedWholeLists) {
  test::ManualClockScope clock(20000);
  auto lookups = std::make_shared<test::FixedLookups>();
  lookups->priorities = {{"vmdDetected", 10}, {"personDetected", 1}};
  auto option = KLTimelineIntervalOption::optionWithInterval(0);  // rows of 30 s: cards crowd
  KLTimelineDataSource incremental(option, lookups), whole(option, lookups);
  auto pageAt = [](int64_t id, double newest) {
    std::vector<KLEventPtr> out;
    for (int i = 0; i < 8; ++i)
      out.push_back(restEvent(id + i, newest - i * 17, i % 3 ? "vmdDetected" : "personDetected"));
    return out;
  };
  const std::vector<std::vector<KLEventPtr>> pages = {pageAt(1, 15000), pageAt(20, 14800), pageAt(40, 15300),
                                                      pageAt(60, 14900)};
  for (size_t p = 0; p < pages.size(); ++p) {
    mergePage(pages[p]);
    incremental.updateWithEvents(feed_.update(cache_->events()));
    whole.updateWithEvents(
        TimelineEventAdapter::makeList(KLEventManager::sortEventsByDate(cache_->events().toVector())));
    EXPECT_EQ(order(incremental.allTimelineEvents()), order(whole.allTimelineEvents())) << "page " << p;
    EXPECT_EQ(order(makeTimelineEvents(incremental.eventsWithThumbnailModel()->eventsWithThumbnails())),
              order(makeTimelineEvents(whole.eventsWithThumbnailModel()->eventsWithThumbnails())))
        << "page " << p;
  }
  EXPECT_FALSE(incremental.eventsWithThumbnailModel()->eventsWithThumbnails().empty());
  // A deleted event's card goes on both roads.
  const auto card = underlyingEvent(*incremental.eventsWithThumbnailModel()->eventsWithThumbnails().front());
  cache_->deleteEventWithEventID(card->eventID());
  cache_->eventsHandleQueue()->sync([] {});
  incremental.updateWithEvents(feed_.update(cache_->events()));
  whole.updateWithEvents(TimelineEventAdapter::makeList(KLEventManager::sortEventsByDate(cache_->events().toVector())));
  const auto cards = order(makeTimelineEvents(incremental.eventsWithThumbnailModel()->eventsWithThumbnails()));
  EXPECT_EQ(std::count(cards.begin(), cards.end(), card.get()), 0);
  EXPECT_EQ(cards, order(makeTimelineEvents(whole.eventsWithThumbnailModel()->eventsWithThumbnails())));
}

}  // namespace
}  // namespace dk
