// Timeline models: the adapters over the REST models, look-ups by time and range with their
// boundaries, and the choice of thumbnails by priority and spacing, rebuilt and added to.
#include <gtest/gtest.h>

#include <functional>

#include "platform/graphics/image.h"
#include "support/manual_clock.h"
#include "platform/dispatch/run_loop.h"
#include "timeline/event_manager_lookups.h"
#include "timeline/kl_timeline_model_fabric.h"
#include "timeline_test_items.h"

namespace dk {
namespace {

using test::restEvent;
using test::restRecording;
using test::timelineEvent;
using test::timelineRecording;

std::vector<double> timesOf(const std::vector<KLTimelineEventPtr>& events) {
  std::vector<double> times;
  for (const auto& e : events) times.push_back(e->timelineEventTimestamp());
  return times;
}

TEST(TimelineAdapters, ARecordingIsOpenOnlyWhenItsClosedFlagIsFalse) {
  test::ManualClockScope clock(10000);
  TimelineRecordingAdapter finished(restRecording(1, 1000, 2000));
  EXPECT_EQ(finished.timelineRecordingStartTime(), 1000);
  EXPECT_EQ(finished.timelineRecordingEndTime(), 2000);
  EXPECT_FALSE(finished.timelineRecordingIsOnGoing());
  TimelineRecordingAdapter unknown(restRecording(2, 1000, 2000, std::nullopt));
  EXPECT_FALSE(unknown.timelineRecordingIsOnGoing());
  EXPECT_EQ(unknown.timelineRecordingEndTime(), 2000);

  // An open recording ends now, and its end moves with the clock.
  auto open = restRecording(3, 9000, 0, false);
  TimelineRecordingAdapter running(open);
  EXPECT_TRUE(running.timelineRecordingIsOnGoing());
  EXPECT_EQ(running.timelineRecordingEndTime(), 10000);
  clock.advance(25);
  EXPECT_EQ(running.timelineRecordingEndTime(), 10025);
  EXPECT_EQ(running.timelineRecordingUnderlyingObject(), open);
  // Closed in place by a later page: its end shows once the main thread takes it.
  open->takeTimesFrom(*restRecording(3, 9000, 9500, true));
  EXPECT_EQ(running.timelineRecordingEndTime(), 10025);
  EXPECT_TRUE(running.refreshTimes());
  EXPECT_EQ(running.timelineRecordingEndTime(), 9500);
  EXPECT_FALSE(running.timelineRecordingIsOnGoing());
  EXPECT_FALSE(running.refreshTimes()) << "nothing new";
}

TEST(TimelineAdapters, AnEventShowsItsTypesPlaceholderAndStandsAsAThirtySecondSpan) {
  auto motion = timelineEvent(1, 5000, "vmdDetected");
  EXPECT_EQ(motion->timelineEventPlaceholderImage(), platform::Image::named("motion_event"));
  EXPECT_EQ(timelineEvent(2, 5000, "pirDetected")->timelineEventPlaceholderImage(),
            platform::Image::named("Infrared_event"));
  EXPECT_EQ(timelineEvent(3, 5000, "audioDetected")->timelineEventPlaceholderImage(),
            platform::Image::named("sound_event"));
  EXPECT_EQ(timelineEvent(4, 5000, "audioCategorized")->timelineEventPlaceholderImage(),
            platform::Image::named("sound_event"));
  EXPECT_FALSE(timelineEvent(5, 5000, "personDetected")->timelineEventPlaceholderImage());
  EXPECT_TRUE(platform::Image::named("motion_event"));

  EXPECT_EQ(motion->timelineEventTimestamp(), 5000);
  EXPECT_EQ(motion->timelineRecordingStartTime(), 5000);
  EXPECT_EQ(motion->timelineRecordingEndTime(), 5030);
  EXPECT_EQ(motion->timelineEventType(), "vmdDetected");
  ASSERT_TRUE(motion->timelineEventImageUrl());
  EXPECT_NE(motion->timelineEventImageUrl()->find("rest/v2.4/events/1.jpg"), std::string::npos);
  EXPECT_EQ(underlyingEvent(*motion), motion->event());
}

class RecordingsModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Newest first: 500-600, 300-400, 100-200.
    model_->updateWithRecordings(makeTimelineRecordings(
        {timelineRecording(3, 500, 600), timelineRecording(2, 300, 400), timelineRecording(1, 100, 200)}));
  }
  static double startOf(const KLTimelineRecordingPtr& r) { return r ? r->timelineRecordingStartTime() : -1; }
  std::shared_ptr<KLTimelineRecordingsModel> model_ = KLTimelineModelFabric::getRecordingsModel();
};

TEST_F(RecordingsModelTest, ARecordingHoldsOnlyTheTimesStrictlyInside) {
  EXPECT_EQ(startOf(model_->timelineRecordingAtTime(150)), 100);
  EXPECT_FALSE(model_->timelineRecordingAtTime(100));
  EXPECT_FALSE(model_->timelineRecordingAtTime(200));
  EXPECT_FALSE(model_->timelineRecordingAtTime(250));
  EXPECT_EQ(startOf(model_->timelineRecordingAtTime(599)), 500);
}

TEST_F(RecordingsModelTest, TheClosestRecordingsBeforeAndAfterATime) {
  EXPECT_EQ(startOf(model_->closestTimelineRecordingBeforeTime(250)), 100);
  EXPECT_EQ(startOf(model_->closestTimelineRecordingAfterTime(250)), 300);
  EXPECT_EQ(startOf(model_->closestTimelineRecordingAfterTime(50)), 100);
  EXPECT_EQ(startOf(model_->closestTimelineRecordingBeforeTime(350)), 300);
  EXPECT_FALSE(model_->closestTimelineRecordingBeforeTime(50));
  EXPECT_FALSE(model_->closestTimelineRecordingAfterTime(700));
  EXPECT_EQ(startOf(model_->newestTimelineRecording()), 500);
  EXPECT_EQ(startOf(model_->oldestTimelineRecording()), 100);
}

TEST_F(RecordingsModelTest, ARangeGivesTheRecordingsOverlappingIt) {
  auto within = model_->timelineRecordingsInTimeRange({350, 200});
  ASSERT_EQ(within.size(), 2u);
  EXPECT_EQ(startOf(within[0]), 500);
  EXPECT_EQ(startOf(within[1]), 300);
  // Touching ends do not overlap.
  EXPECT_TRUE(model_->timelineRecordingsInTimeRange({200, 100}).empty());
  EXPECT_EQ(model_->timelineRecordingsInTimeRange({0, 1000}).size(), 3u);
  EXPECT_TRUE(model_->timelineRecordingsInTimeRange({700, 100}).empty());
}

// A recording without a known start, or closed without a known end, has no place on the axis,
// wherever the list holds it: it is neither drawn nor played from 1970, or up to 1970, yet it
// still counts as held.
TEST(RecordingsModel, ARecordingWithoutAKnownStartOrEndIsHeldButNeverFoundByTime) {
  const struct {
    const char* what;
    std::function<void(KLRecordingResponse&)> spoil;
  } variants[] = {
      {"its start does not read", [](KLRecordingResponse& r) { r.setStartStringTime("yesterday-ish"); }},
      {"closed, its end does not read", [](KLRecordingResponse& r) { r.setEndStringTime("soon"); }},
      {"closed without an end", [](KLRecordingResponse& r) { r.setEndStringTime(std::nullopt); }},
      {"closed flag unknown, without an end",
       [](KLRecordingResponse& r) {
         r.setEndStringTime(std::nullopt);
         r.setClosed(std::nullopt);
       }},
  };
  for (const auto& variant : variants) {
    SCOPED_TRACE(variant.what);
    auto rest = restRecording(2, 300, 400);
    variant.spoil(*rest);
    const auto untimed = TimelineRecordingAdapter::make(rest);
    const auto first = timelineRecording(1, 100, 200);
    const auto third = timelineRecording(3, 500, 600);
    for (const auto& list : {makeTimelineRecordings({third, untimed, first}), makeTimelineRecordings({third, first, untimed})}) {
      KLTimelineRecordingsModel model;
      model.updateWithRecordings(list);
      EXPECT_EQ(model.allTimelineRecordings().size(), 3u) << "held and counted, so a reload is not asked again";
      EXPECT_EQ(model.timelineRecordingAtTime(150), first);
      EXPECT_FALSE(model.timelineRecordingAtTime(350));
      EXPECT_FALSE(model.timelineRecordingAtTime(10));
      EXPECT_EQ(model.timelineRecordingsInTimeRange({0, 1000}).size(), 2u);
      EXPECT_TRUE(model.timelineRecordingsInTimeRange({250, 200}).empty());
      EXPECT_EQ(model.oldestTimelineRecording(), first);
      EXPECT_EQ(model.closestTimelineRecordingBeforeTime(450), first);
      EXPECT_EQ(model.closestTimelineRecordingAfterTime(250), third);
    }
  }
}

TEST(RecordingsModel, AnEmptyModelAnswersNothing) {
  KLTimelineRecordingsModel model;
  EXPECT_FALSE(model.timelineRecordingAtTime(1));
  EXPECT_FALSE(model.newestTimelineRecording());
  EXPECT_TRUE(model.timelineRecordingsInTimeRange({0, 100}).empty());
  EXPECT_TRUE(model.allTimelineRecordings().empty());
}

TEST(EventsModel, RangesIncludeTheirStartAndExcludeTheirEnd) {
  auto model = KLTimelineModelFabric::getEventsModel();
  model->updateWithEvents(test::eventList({timelineEvent(4, 400), timelineEvent(3, 300), timelineEvent(2, 300),
                                           timelineEvent(1, 100)}));
  EXPECT_EQ(timesOf(model->timelineEventsInTimeRange({300, 100})), (std::vector<double>{300, 300}));
  EXPECT_EQ(timesOf(model->timelineEventsInTimeRange({100, 300})), (std::vector<double>{300, 300, 100}));
  EXPECT_EQ(timesOf(model->timelineEventsInTimeRange({301, 99})), (std::vector<double>{}));
  EXPECT_EQ(model->closestTimelineEventAfterTime(150)->timelineEventTimestamp(), 300);
  EXPECT_EQ(model->closestTimelineEventBeforeTime(350)->timelineEventTimestamp(), 300);
  EXPECT_EQ(model->closestTimelineEventBeforeTime(400)->timelineEventTimestamp(), 400);
  EXPECT_FALSE(model->closestTimelineEventAfterTime(401));
  EXPECT_EQ(model->newestTimelineEvent()->timelineEventTimestamp(), 400);
  EXPECT_EQ(model->oldestTimelineEvent()->timelineEventTimestamp(), 100);
}

// An event without a time stands at the list's old end as time 0: it is never the previous or the
// next event, in the events or among the thumbnails.
TEST(EventsModel, AnEventWithoutATimeIsNeverThePreviousOrNextEvent) {
  auto events = KLTimelineModelFabric::getEventsModel();
  auto lookups = std::make_shared<test::FixedLookups>();
  auto thumbnails = KLTimelineModelFabric::getEventsWithThumbnailModelWithEventManager(lookups);
  thumbnails->clearAndSetMinimalTimeBetweenEventsWithThumbnail(30);
  const auto list = test::eventList({timelineEvent(3, 400), timelineEvent(2, 100), timelineEvent(1, 0)});
  events->updateWithEvents(list);
  thumbnails->updateWithEvents(list);
  for (const KLTimelineEventsModelInterface* model : std::initializer_list<const KLTimelineEventsModelInterface*>{
           events.get(), thumbnails.get()}) {
    ASSERT_NE(model->closestTimelineEventBeforeTime(150), nullptr);
    EXPECT_EQ(model->closestTimelineEventBeforeTime(150)->timelineEventTimestamp(), 100);
    EXPECT_FALSE(model->closestTimelineEventBeforeTime(99)) << "nothing timed is older";
    EXPECT_FALSE(model->closestTimelineEventBeforeTime(1));
    EXPECT_EQ(model->closestTimelineEventAfterTime(150)->timelineEventTimestamp(), 400);
  }
}

class ThumbnailModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lookups_->priorities = {{"personDetected", -5}, {"vmdDetected", 10}, {"audioDetected", 20}};
    model_->clearAndSetMinimalTimeBetweenEventsWithThumbnail(30);
  }
  std::vector<double> thumbnails() const { return timesOf(model_->eventsWithThumbnails()); }

  std::shared_ptr<test::FixedLookups> lookups_ = std::make_shared<test::FixedLookups>();
  std::shared_ptr<KLTimelineEventsWithThumbnailModel> model_ =
      KLTimelineModelFabric::getEventsWithThumbnailModelWithEventManager(lookups_);
};

TEST_F(ThumbnailModelTest, ARebuildKeepsTheBetterTypeThenTheNewerEvent) {
  model_->updateWithEvents(test::eventList({timelineEvent(2, 1010, "audioDetected"), timelineEvent(1, 1000)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1000}));
  model_->clearAndSetMinimalTimeBetweenEventsWithThumbnail(30);
  model_->updateWithEvents(test::eventList({timelineEvent(2, 1010), timelineEvent(1, 1000)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1010}));
}

TEST_F(ThumbnailModelTest, ARebuildSpacesThumbnailsAtLeastTheMinimalTimeApart) {
  std::vector<std::shared_ptr<TimelineEventAdapter>> events;
  for (int i = 99; i >= 0; --i) events.push_back(timelineEvent(i, 1000 + 7 * i));
  model_->updateWithEvents(test::eventList(events));
  const auto kept = thumbnails();
  ASSERT_GT(kept.size(), 10u);
  EXPECT_EQ(kept.front(), 1000 + 7 * 99);  // newest first
  for (size_t i = 1; i < kept.size(); ++i) EXPECT_GE(kept[i - 1] - kept[i], 30);
}

TEST_F(ThumbnailModelTest, AnAddedEventOfEqualTypeNeverReplacesAThumbnail) {
  model_->updateWithEvents(test::eventList({timelineEvent(1, 1000)}));
  model_->updateWithEvents(test::eventList({timelineEvent(2, 1010)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1000}));
  // Far enough away: a thumbnail of its own, in time order.
  model_->updateWithEvents(test::eventList({timelineEvent(3, 1100), timelineEvent(4, 900)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1100, 1000, 900}));
}

TEST_F(ThumbnailModelTest, ABetterAddedEventReplacesEveryThumbnailNotBetterInItsWindow) {
  model_->updateWithEvents(test::eventList({timelineEvent(2, 1030, "audioDetected"), timelineEvent(1, 1000)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1030, 1000}));
  model_->updateWithEvents(test::eventList({timelineEvent(3, 1015, "personDetected")}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1015}));
}

TEST_F(ThumbnailModelTest, TheNewestThumbnailInTheWindowDecidesWhetherTheAddedEventCompetes) {
  model_->updateWithEvents(test::eventList({timelineEvent(2, 1030, "personDetected"), timelineEvent(1, 1000,
                                                                                                      "audioDetected")}));
  model_->updateWithEvents(test::eventList({timelineEvent(3, 1015)}));
  // The person thumbnail (newest in the window) is better than the motion event: nothing changes.
  EXPECT_EQ(thumbnails(), (std::vector<double>{1030, 1000}));
  model_->updateWithEvents(test::eventList({timelineEvent(4, 1010)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1030, 1000}));
  // With only the audio thumbnail in its window, the motion event takes its place.
  model_->updateWithEvents(test::eventList({timelineEvent(5, 990)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1030, 990}));
}

TEST_F(ThumbnailModelTest, TheAddWindowIncludesItsOlderEdgeAndExcludesItsNewerOne) {
  model_->updateWithEvents(test::eventList({timelineEvent(1, 1000)}));
  // The thumbnail lies exactly m before the added event: inside the window, so blocked.
  model_->updateWithEvents(test::eventList({timelineEvent(2, 1030)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1000}));
  // The thumbnail lies exactly m after it: outside, so added.
  model_->updateWithEvents(test::eventList({timelineEvent(3, 970)}));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1000, 970}));
}

TEST_F(ThumbnailModelTest, WithoutTypePrioritiesTheChoiceFollowsTimeAlone) {
  auto bare = KLTimelineModelFabric::getEventsWithThumbnailModelWithEventManager({});
  bare->clearAndSetMinimalTimeBetweenEventsWithThumbnail(30);
  bare->updateWithEvents(test::eventList({timelineEvent(2, 1010, "audioDetected"), timelineEvent(1, 1000,
                                                                                                  "personDetected")}));
  EXPECT_EQ(timesOf(bare->eventsWithThumbnails()), (std::vector<double>{1010}));
  EXPECT_EQ(bare->getPriorityForEventType(*timelineEvent(3, 0, "personDetected")), 0);
}

TEST_F(ThumbnailModelTest, TheThumbnailAtATimeLiesWithinHalfTheSpacing) {
  model_->updateWithEvents(test::eventList({timelineEvent(2, 1100), timelineEvent(1, 1000)}));
  auto timeAt = [&](double t) {
    auto e = model_->eventWithThumbnailAtTime(t);
    return e ? e->timelineEventTimestamp() : -1;
  };
  EXPECT_EQ(timeAt(1010), 1000);
  EXPECT_EQ(timeAt(1015), 1000);  // t - m/2 is inside
  EXPECT_EQ(timeAt(986), 1000);
  EXPECT_EQ(timeAt(985), -1);  // t + m/2 is outside
  EXPECT_EQ(timeAt(1050), -1);
  // The event queries answer over the thumbnails only.
  EXPECT_EQ(model_->allTimelineEvents().size(), 2u);
  EXPECT_EQ(model_->closestTimelineEventAfterTime(1001)->timelineEventTimestamp(), 1100);
}

TEST_F(ThumbnailModelTest, ThumbnailsOfEventsThatLeftTheListAreDropped) {
  auto kept = timelineEvent(1, 1000);
  auto deleted = timelineEvent(2, 1100);
  model_->updateWithEvents(test::eventList({deleted, kept}));
  // The list comes back with new adapters over the same events, minus the deleted one.
  auto again = TimelineEventAdapter::make(kept->event());
  EXPECT_TRUE(model_->removeThumbnailsOfEventsNotIn(test::eventList({again})));
  EXPECT_EQ(thumbnails(), (std::vector<double>{1000}));
  EXPECT_FALSE(model_->removeThumbnailsOfEventsNotIn(test::eventList({again})));
}

// After a delete, the events the deleted card kept out take a card only where their window is
// empty: never a second card beside another one, never by evicting a card of a worse type.
TEST_F(ThumbnailModelTest, AfterADeleteOnlyAnEmptyWindowTakesACard) {
  const auto person = timelineEvent(1, 1000, "personDetected");
  const auto motion = timelineEvent(2, 990);
  const auto audio = timelineEvent(3, 960, "audioDetected");
  const auto motionNear = timelineEvent(4, 965);
  const struct {
    const char* what;
    std::vector<std::shared_ptr<TimelineEventAdapter>> before;
    std::vector<double> cardsBefore;
    std::vector<double> cardsAfter;  // once the person event is deleted
  } cases[] = {
      {"the window is empty: the neighbour takes the card", {person, motion}, {1000}, {990}},
      {"a card of a worse type on the window's older edge stays alone", {person, motion, audio}, {1000, 960}, {960}},
      {"a card of the same type in the window stays alone", {person, motion, motionNear}, {1000, 965}, {965}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    model_->clearAndSetMinimalTimeBetweenEventsWithThumbnail(30);
    model_->updateWithEvents(test::eventList(c.before));
    ASSERT_EQ(thumbnails(), c.cardsBefore);
    std::vector<std::shared_ptr<TimelineEventAdapter>> after(c.before.begin() + 1, c.before.end());
    EXPECT_TRUE(model_->removeThumbnailsOfEventsNotIn(test::eventList(after)));
    EXPECT_EQ(thumbnails(), c.cardsAfter);
  }
}

TEST_F(ThumbnailModelTest, SortingByPriorityThenTimeIsStable) {
  std::vector<KLTimelineEventPtr> events = {timelineEvent(1, 100, "audioDetected"), timelineEvent(2, 300),
                                            timelineEvent(3, 200, "personDetected"), timelineEvent(4, 300)};
  auto sorted = model_->sortEvents(events, true, true);
  EXPECT_EQ(sorted[0], events[2]);
  EXPECT_EQ(sorted[1], events[1]);
  EXPECT_EQ(sorted[2], events[3]);
  EXPECT_EQ(sorted[3], events[0]);
}

}  // namespace
}  // namespace dk

namespace dk {
namespace {

TEST(EventManagerLookups, BeforeTheTypesAreLoadedEveryEventRanksAlikeAndKeepsItsTypeName) {
  auto manager = KLEventManager::create();
  auto lookups = std::make_shared<EventManagerLookups>(manager);
  EXPECT_EQ(lookups->getPriorityForEventType(std::string("personDetected")), 0);
  EXPECT_EQ(lookups->getLocalizedNameForEventType(std::string("personDetected"), std::nullopt), "personDetected");
  auto model = KLTimelineModelFabric::getEventsWithThumbnailModelWithEventManager(lookups);
  model->clearAndSetMinimalTimeBetweenEventsWithThumbnail(30);
  model->updateWithEvents(test::eventList({timelineEvent(2, 1010, "audioDetected"), timelineEvent(1, 1000,
                                                                                                   "personDetected")}));
  ASSERT_EQ(model->eventsWithThumbnails().size(), 1u);
  EXPECT_EQ(model->eventsWithThumbnails()[0]->timelineEventTimestamp(), 1010);
  // Once the manager is gone the look-ups still answer.
  manager.reset();
  platform::MainRunLoop::runUntilIdle();
  EXPECT_EQ(lookups->getPriorityForEventType(std::string("vmdDetected")), 0);
  EXPECT_EQ(lookups->getLocalizedNameForEventType(std::string("vmdDetected"), std::string("car")), "vmdDetected");
}

}  // namespace
}  // namespace dk
