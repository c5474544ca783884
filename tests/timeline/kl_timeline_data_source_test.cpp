// Timeline data source and row cell: added events by identity, thumbnails rebuilt, added and
// dropped, the axis range, bars, marks and time labels of a row, the event card (placeholder or
// downloaded snapshot, names, action, download state), taps, the authorisation header and the
// cancelled load of a reused cell, and the type label's bounded shrinking.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/calendar_ignoring_dst.h"
#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "foundation/date_timeline_helper.h"
#include "foundation/kl_server.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"
#include "platform/foundation/user_defaults.h"
#include "platform/graphics/image_renderer.h"
#include "platform/media/images/image_view_web_cache.h"
#include "platform/net/test_http_server.h"
#include "platform/ui/shape_layer.h"
#include "support/temp_directory.h"
#include "timeline/download_progress_layer.h"
#include "timeline/kl_timeline_data_source.h"
#include "timeline_fixture.h"
#include "timeline_test_items.h"

namespace dk {
namespace {

using platform::Rect;
using test::timelineEvent;
using test::timelineRecording;

// 2023-11-14 12:00:00 UTC.
constexpr double kNoon = 1699963200;
constexpr double kMidnightEnd = 1700006400;  // the midnight that ends that day

class DataSourceScreen : public KLTimelineTableViewCellDelegate {
 public:
  bool hideActions = false;
  std::vector<KLTimelineEventPtr> thumbnailTaps, actionTaps;
  bool respondsToSelector(std::string_view s) const override {
    return s == "userDidTapThumbnailForEvent:" || s == "userDidTapActionButtonForEvent:";
  }
  double recordingsRenderViewOffsetFromLeft() override { return 60; }
  double eventsRenderViewOffsetFromLeft() override { return 76; }
  bool shouldHideActionButtonForEvent(const KLTimelineEventPtr&) override { return hideActions; }
  void userDidTapThumbnailForEvent(const KLTimelineEventPtr& e) override { thumbnailTaps.push_back(e); }
  void userDidTapActionButtonForEvent(const KLTimelineEventPtr& e) override { actionTaps.push_back(e); }
};

platform::Rect pathBox(const platform::View& column) {
  if (column.layer().sublayers().empty()) return {};
  auto shape = std::dynamic_pointer_cast<platform::ShapeLayer>(column.layer().sublayers().front());
  return shape ? shape->path().boundingBox() : Rect();
}

class DataSourceTest : public test::TimelineUiTest {
 protected:
  void SetUp() override {
    platform::TimeZone::setLocal(platform::TimeZone::gmt());
    platform::Locale::setCurrent("en_US");
    resetDateCachesForTesting();
    TimelineUiTest::SetUp();
    clock_.clock().set(kNoon);
    ImageCacheConfig();
    lookups_->priorities = {{"vmdDetected", 10}, {"personDetected", 1}};
    lookups_->names = {{"vmdDetected", "Motion"}, {"personDetected", "Person"}};
    lookups_->faces = {{"face-1", "Ada"}};
    source_ = std::make_shared<KLTimelineDataSource>(KLTimelineIntervalOption::defaultOption(), lookups_);
    source_->setCellDelegate(screen_);
    source_->setImageDownloader(downloader_);
    source_->setTokenSource([this] { return token_; });
  }
  void TearDown() override {
    server_.releaseHeld();
    TimelineUiTest::TearDown();
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
    resetDateCachesForTesting();
    platform::TimeZone::setLocal(std::nullopt);
    platform::Locale::setCurrent(std::nullopt);
  }
  void ImageCacheConfig() {
    platform::ImageCache::Config config;
    config.directory = dir_.path() / "images";
    downloader_ = platform::ImageDownloader::create(std::make_shared<platform::ImageCache>(config));
  }
  // A cell laid out at 320 x 100, configured for the row.
  std::shared_ptr<KLTimelineTableViewCell> row(KLTimeRange range, double height = 100) {
    auto cell = KLTimelineTableViewCell::make();
    cell->setFrame(Rect(0, 0, 320, height));
    cell->layoutIfNeeded();
    source_->configureCell(*cell, range, height);
    cell->layoutIfNeeded();
    return cell;
  }
  std::string url(const std::string& path) const { return server_.baseURL() + path; }
  // Event snapshot addresses lead to the loopback server.
  void pointServerAtLoopback() {
    KLServer::resetForTesting();
    KLServer::setProcessProtocol("http");
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(server_.port()));
  }

  // Settings (download marks) go to a home of the test's own.
  test::TemporaryHome home_;
  test::TemporaryDirectory dir_;
  test::TestHttpServer server_;
  std::shared_ptr<platform::ImageDownloader> downloader_;
  std::shared_ptr<test::FixedLookups> lookups_ = std::make_shared<test::FixedLookups>();
  std::shared_ptr<DataSourceScreen> screen_ = std::make_shared<DataSourceScreen>();
  std::shared_ptr<KLTimelineDataSource> source_;
  std::optional<std::string> token_;
};

TEST_F(DataSourceTest, AddedEventsAreFoundByTheIdentityOfTheEventsBehindThem) {
  auto a = test::restEvent(1, 1000), b = test::restEvent(2, 900), c = test::restEvent(3, 800), d = test::restEvent(4, 700);
  auto first = TimelineEventAdapter::makeList({a, b});
  EXPECT_EQ(source_->findAddedEventsFrom(first).size(), 2u);
  source_->updateWithEvents(first);
  // The same list again, as new items over the same events: nothing new.
  EXPECT_TRUE(source_->findAddedEventsFrom(TimelineEventAdapter::makeList({a, b})).empty());
  // Two older events appended.
  auto older = source_->findAddedEventsFrom(TimelineEventAdapter::makeList({a, b, c, d}));
  ASSERT_EQ(older.size(), 2u);
  EXPECT_EQ(underlyingEvent(*older[0]), c);
  EXPECT_EQ(underlyingEvent(*older[1]), d);
  // Three newer events at the head.
  auto x = test::restEvent(7, 1300), y = test::restEvent(6, 1200), z = test::restEvent(5, 1100);
  auto newer = source_->findAddedEventsFrom(TimelineEventAdapter::makeList({x, y, z, a, b}));
  ASSERT_EQ(newer.size(), 3u);
  EXPECT_EQ(underlyingEvent(*newer[0]), x);
  EXPECT_EQ(underlyingEvent(*newer[2]), z);
}

TEST_F(DataSourceTest, ThumbnailsAreBuiltThenAddedAndThoseOfDeletedEventsDropped) {
  auto keep = test::restEvent(1, kNoon - 3000), gone = test::restEvent(2, kNoon - 1000);
  source_->updateWithEvents(TimelineEventAdapter::makeList({gone, keep}));
  EXPECT_EQ(source_->eventsWithThumbnailModel()->eventsWithThumbnails().size(), 2u);
  auto added = test::restEvent(3, kNoon - 6000);
  source_->updateWithEvents(TimelineEventAdapter::makeList({gone, keep, added}));
  EXPECT_EQ(source_->eventsWithThumbnailModel()->eventsWithThumbnails().size(), 3u);
  // `gone` was deleted: its card must not stay on the strip.
  source_->updateWithEvents(TimelineEventAdapter::makeList({keep, added}));
  const auto& cards = source_->eventsWithThumbnailModel()->eventsWithThumbnails();
  ASSERT_EQ(cards.size(), 2u);
  for (const auto& card : cards) EXPECT_NE(underlyingEvent(*card), gone);
  auto cell = row({kNoon - 1200, 600});
  EXPECT_TRUE(cell->eventContainer()->isHidden());
}

TEST_F(DataSourceTest, ADeletionAndArrivalsInOneListMoveTheCardsToTheRightEvents) {
  // Rows are 600 s: every event here is far enough from the others for a card of its own.
  auto e1 = test::restEvent(1, kNoon - 3000), e2 = test::restEvent(2, kNoon - 6000);
  source_->updateWithEvents(TimelineEventAdapter::makeList({e1, e2}));
  // #1 is deleted while #3 and #4 arrive: the list keeps its length plus one.
  auto e3 = test::restEvent(3, kNoon - 1800), e4 = test::restEvent(4, kNoon - 600);
  source_->updateWithEvents(TimelineEventAdapter::makeList({e4, e3, e2}));
  std::vector<KLEventPtr> cards;
  for (const auto& card : source_->eventsWithThumbnailModel()->eventsWithThumbnails())
    cards.push_back(underlyingEvent(*card));
  EXPECT_EQ(cards, (std::vector<KLEventPtr>{e4, e3, e2}));
  // The deleted event's row shows no card; the new events' rows show theirs, and a tap acts on them.
  EXPECT_TRUE(row({kNoon - 3300, 600})->eventContainer()->isHidden());
  EXPECT_FALSE(row({kNoon - 2100, 600})->eventContainer()->isHidden());
  auto card = source_->eventWithThumbnailAtTime(kNoon - 1800);
  ASSERT_TRUE(card);
  EXPECT_EQ(underlyingEvent(*card), e3);
  EXPECT_EQ(source_->eventWithThumbnailAtTime(kNoon - 3000), nullptr);
}

TEST_F(DataSourceTest, CardsFollowDeletionsByIdentityAndAFreedWindowGoesToTheNeighbour) {
  // Rows and card spacing are 600 s. The person event outranks the motion event 200 s after it;
  // the twins share a second, and the first of them holds the card.
  auto person = test::restEvent(1, kNoon - 3000, "personDetected"), motion = test::restEvent(2, kNoon - 3200);
  auto lone = test::restEvent(3, kNoon - 6000);
  auto twinA = test::restEvent(4, kNoon - 9000), twinB = test::restEvent(5, kNoon - 9000);
  auto fresh = test::restEvent(6, kNoon - 600), fresher = test::restEvent(7, kNoon - 1800);
  const std::vector<KLEventPtr> before{person, motion, lone, twinA, twinB};
  struct Row {
    const char* what;
    std::vector<KLEventPtr> after, cards;
  };
  const Row rows[] = {
      {"the card's event deleted: its neighbour takes the card", {motion, lone, twinA, twinB}, {motion, lone, twinA}},
      {"one twin deleted: its card goes, the other twin's comes", {person, motion, lone, twinB}, {person, lone, twinB}},
      {"a deletion and an arrival in one update", {fresh, motion, lone, twinA, twinB}, {fresh, motion, lone, twinA}},
      {"a deletion and two arrivals in one update",
       {fresh, fresher, person, motion, lone, twinB},
       {fresh, fresher, person, lone, twinB}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    source_ = std::make_shared<KLTimelineDataSource>(KLTimelineIntervalOption::defaultOption(), lookups_);
    source_->setCellDelegate(screen_);
    source_->updateWithEvents(TimelineEventAdapter::makeList(before));
    source_->updateWithEvents(TimelineEventAdapter::makeList(row.after));
    std::vector<KLEventPtr> cards;
    for (const auto& card : source_->eventsWithThumbnailModel()->eventsWithThumbnails())
      cards.push_back(underlyingEvent(*card));
    EXPECT_EQ(cards, row.cards);
    // Each card shows in the row around its event, without waiting for a zoom change.
    for (const auto& event : row.cards) {
      auto card = source_->eventWithThumbnailAtTime(*event->timestamp());
      ASSERT_TRUE(card);
      EXPECT_EQ(underlyingEvent(*card), event);
      EXPECT_FALSE(this->row({*event->timestamp() - 300, 600})->eventContainer()->isHidden());
    }
  }
}

TEST_F(DataSourceTest, AZoomChangeRebuildsTheThumbnailsAtTheNewSpacing) {
  std::vector<KLEventPtr> events;
  for (int i = 0; i < 20; ++i) events.push_back(test::restEvent(i, kNoon - 40.0 * i));
  source_->updateWithEvents(TimelineEventAdapter::makeList(events));
  EXPECT_EQ(source_->eventsWithThumbnailModel()->eventsWithThumbnails().size(), 2u);  // 600 s apart
  source_->setTimelineOption(KLTimelineIntervalOption::optionWithInterval(0));
  EXPECT_EQ(source_->eventsWithThumbnailModel()->minimalTimeBetweenEvents(), 30);
  EXPECT_EQ(source_->eventsWithThumbnailModel()->eventsWithThumbnails().size(), 20u);
  // Look-ups by time still see every event.
  EXPECT_EQ(source_->timelineEventsInTimeRange({kNoon - 200, 201}).size(), 6u);
}

TEST_F(DataSourceTest, TheAxisRunsFromTheOldestItemOnTheHourToTheEndOfToday) {
  KLTimeRangeAdapter adapter;
  EXPECT_EQ(source_->endTimeInTimelineAdapter(adapter), kMidnightEnd);
  EXPECT_EQ(source_->timelineEndTime(), kMidnightEnd);
  EXPECT_EQ(source_->rowTimeIntervalInTimelineAdapter(adapter), 600);
  // Nothing yet: now, on the hour, two hours back.
  EXPECT_EQ(source_->startTimeInTimelineAdapter(adapter), kNoon - 2 * 3600);
  source_->updateWithRecordings(makeTimelineRecordings({timelineRecording(1, kNoon - 5000, kNoon - 4000)}));
  EXPECT_EQ(source_->startTimeInTimelineAdapter(adapter), kNoon - 2 * 3600 - 2 * 3600);  // 10:36 -> 08:00
  source_->updateWithEvents(test::eventList({timelineEvent(1, kNoon - 9000)}));
  EXPECT_EQ(source_->startTimeInTimelineAdapter(adapter), kNoon - 3 * 3600 - 2 * 3600);  // 09:30 -> 07:00

  // Items without a time stand at the lists' ends as time 0; they must not pull the axis to 1970.
  auto untimedEvent = test::restEvent(2, 0);
  untimedEvent->setTimestamp(std::nullopt);
  auto unparsed = test::restRecording(2, 0, kNoon - 100);
  unparsed->setStartStringTime("yesterday");
  struct Row {
    std::vector<KLTimelineRecordingPtr> recordings;
    std::vector<KLEventPtr> events;
    double start;
  };
  const Row rows[] = {
      {{timelineRecording(1, kNoon - 5000, kNoon - 4000)}, {test::restEvent(1, kNoon - 9000), untimedEvent},
       kNoon - 5 * 3600},
      {{timelineRecording(1, kNoon - 5000, kNoon - 4000), TimelineRecordingAdapter::make(unparsed)}, {},
       kNoon - 4 * 3600},
      {{TimelineRecordingAdapter::make(unparsed)}, {untimedEvent}, kNoon - 2 * 3600},  // only untimed: now
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    source_->updateWithRecordings(makeTimelineRecordings(rows[i].recordings));
    source_->updateWithEvents(TimelineEventAdapter::makeList(rows[i].events));
    EXPECT_EQ(source_->startTimeInTimelineAdapter(adapter), rows[i].start);
  }
}

TEST_F(DataSourceTest, ARecordingIsABarAtItsPlaceInTheRow) {
  const double s = kNoon - 6000;
  source_->updateWithRecordings(makeTimelineRecordings({timelineRecording(1, s + 150, s + 450)}));
  auto cell = row({s, 600});
  const Rect bar = pathBox(*cell->recordingsRenderView());
  EXPECT_NEAR(bar.origin.y, 25, 1e-9);
  EXPECT_NEAR(bar.size.height, 50, 1e-9);
  EXPECT_NEAR(bar.size.width, KLTimelineTableViewCell::kColumnWidth, 1e-9);
  EXPECT_EQ(cell->recordingsRenderView()->frame().origin.x, 60);
  // A recording spanning rows reaches one bar width past both edges.
  source_->updateWithRecordings(makeTimelineRecordings({timelineRecording(2, s - 3000, s + 3000)}));
  source_->configureCell(*cell, {s, 600}, 100);
  const Rect long_ = pathBox(*cell->recordingsRenderView());
  EXPECT_NEAR(long_.origin.y, -8, 1e-9);
  EXPECT_NEAR(long_.size.height, 116, 1e-9);
  // Hidden recordings stay hidden.
  source_->hideRecordingRenderView(true);
  source_->configureCell(*cell, {s, 600}, 100);
  EXPECT_TRUE(cell->recordingsRenderView()->isHidden());
}

// A recording whose start did not parse draws no bar down the strip and plays at no time, until a
// start that parses reaches it; then it takes its place.
TEST_F(DataSourceTest, ARecordingWithoutAKnownStartHasNoBarUntilItsStartIsKnown) {
  const double s = kNoon - 6000;
  auto rest = test::restRecording(1, s + 150, s + 450);
  rest->setStartStringTime("not a time");
  source_->updateWithRecordings(makeTimelineRecordings({TimelineRecordingAdapter::make(rest)}));
  EXPECT_EQ(source_->allTimelineRecordings().size(), 1u);
  EXPECT_EQ(pathBox(*row({s, 600})->recordingsRenderView()).size.height, 0);
  EXPECT_EQ(pathBox(*row({s - 6000, 600})->recordingsRenderView()).size.height, 0);
  EXPECT_FALSE(source_->timelineRecordingAtTime(s - 1000));
  EXPECT_FALSE(source_->newestTimelineRecording());

  rest->setStartStringTime(timeFormatterForStringTimestamp()->stringFromDate(s + 150));
  EXPECT_TRUE(source_->refreshRecordingTimes());
  EXPECT_NEAR(pathBox(*row({s, 600})->recordingsRenderView()).size.height, 50, 1e-9);
  EXPECT_EQ(source_->timelineRecordingAtTime(s + 300), source_->allTimelineRecordings().front());
  EXPECT_FALSE(source_->refreshRecordingTimes()) << "nothing changed since";
}

TEST_F(DataSourceTest, EventsAreMarksOfThirtySecondsAroundTheirTime) {
  const double s = kNoon - 6000;
  source_->updateWithEvents(test::eventList({timelineEvent(2, s + 600 + 10), timelineEvent(1, s + 300)}));
  auto cell = row({s, 600});
  const Rect marks = pathBox(*cell->eventsRenderView());
  // At 1/6 point a second a mark is 5 points: 2.5 either side of the time. The event 300 s in
  // sits 50 points up; the one 10 s past the row's end peeks in above the top.
  EXPECT_NEAR(marks.origin.y + marks.size.height, 52.5, 1e-5);
  EXPECT_NEAR(marks.origin.y, 100 - (610.0 / 6 + 2.5), 1e-5);
  EXPECT_NEAR(marks.size.width, KLTimelineTableViewCell::kColumnWidth, 1e-9);
  EXPECT_EQ(cell->eventsRenderView()->frame().origin.x, 76);
  // The event 10 s past the row's end peeks in: its mark is drawn too.
  source_->setTimelineOption(KLTimelineIntervalOption::optionWithInterval(0));
  auto near = row({s + 580, 30});
  auto shape = std::dynamic_pointer_cast<platform::ShapeLayer>(near->eventsRenderView()->layer().sublayers().front());
  EXPECT_FALSE(shape->path().isEmpty());
}

TEST_F(DataSourceTest, OneHourLabelsFallOnFifteenMinuteStepsFromTheAxisEnd) {
  source_->updateWithEvents(test::eventList({}));
  auto label = [&](double rowEnd) -> std::pair<bool, double> {
    auto cell = row({rowEnd - 600, 600});
    return {!cell->timestampLabel()->isHidden(), cell->timstampLabelOffset()->constant()};
  };
  const double E = kMidnightEnd;
  EXPECT_EQ(label(E), std::make_pair(true, 0.0));
  EXPECT_EQ(label(E - 600), std::make_pair(true, 50.0));   // E - 900, half a row down
  EXPECT_EQ(label(E - 1200), std::make_pair(true, 100.0)); // E - 1800 at the bottom edge
  EXPECT_EQ(label(E - 1800), std::make_pair(true, 0.0));   // ... and again at the top of the next
  auto cell = row({E - 1200, 600});
  EXPECT_EQ(cell->timestampLabel()->text(),
            "- " + KLTimelineIntervalOption::defaultOption()->formatter()->stringFromDate(E - 900));
}

TEST_F(DataSourceTest, ThreeMinuteLabelsMarkEveryOtherRowBoundary) {
  source_->setTimelineOption(KLTimelineIntervalOption::optionWithInterval(0));
  const double E = kMidnightEnd;
  auto at = [&](double rowEnd) {
    auto cell = row({rowEnd - 30, 30});
    return cell->timestampLabel()->isHidden() ? -1.0 : cell->timstampLabelOffset()->constant();
  };
  EXPECT_EQ(at(E), 0);
  EXPECT_EQ(at(E - 30), 100);  // E - 60 at its bottom edge
  EXPECT_EQ(at(E - 60), 0);
  EXPECT_EQ(at(E - 90), 100);
  EXPECT_EQ(at(E - 120), 0);
}

TEST_F(DataSourceTest, AMotionEventShowsItsTintedPictureAndNeverDownloads) {
  const double s = kNoon - 6000;
  source_->updateWithEvents(test::eventList({timelineEvent(1, s + 300, "vmdDetected")}));
  auto cell = row({s, 600});
  EXPECT_FALSE(cell->eventContainer()->isHidden());
  ASSERT_TRUE(cell->eventThumbnail()->image());
  EXPECT_EQ(cell->eventThumbnail()->image()->name(), "motion_event");
  EXPECT_EQ(cell->eventThumbnail()->image()->renderingMode(), platform::ImageRenderingMode::AlwaysTemplate);
  EXPECT_EQ(cell->eventThumbnail()->tintColor(), lightColor());
  EXPECT_EQ(cell->eventThumbnail()->contentMode(), platform::ContentMode::Center);
  EXPECT_FALSE(platform::currentImageLoad(*cell->eventThumbnail()));
  EXPECT_EQ(cell->eventTypeLabel()->text(), "Motion");
  EXPECT_DOUBLE_EQ(cell->eventContainterOffset()->constant(), 50);
  platform::MainRunLoop::runUntilIdle();
  EXPECT_EQ(server_.requestCount(), 0u);
}

TEST_F(DataSourceTest, AnAnalyticsEventLoadsItsSnapshotWithTheStoredToken) {
  auto snapshot = platform::ImageRenderer::render({32, 18}, 1, true, [](platform::GraphicsContext& c) {
    c.setFillColor(platform::Color::rgba(0.9, 0.3, 0.1));
    c.fillRect(Rect(0, 0, 32, 18));
  });
  test::CannedResponse jpeg;
  jpeg.headers = {{"Content-Type", "image/jpeg"}};
  const auto bytes = snapshot->encodeJPEG();
  jpeg.body.assign(bytes.begin(), bytes.end());
  server_.route("/rest/v2.4/events/1.jpg", jpeg);
  const double s = kNoon - 6000;
  auto event = test::restEvent(1, s + 300, "personDetected");
  event->setFaceId("face-1");
  pointServerAtLoopback();
  source_->updateWithEvents(TimelineEventAdapter::makeList({event}));
  token_ = "tok-9";
  auto cell = row({s, 600});
  EXPECT_EQ(cell->eventTypeLabel()->text(), "Ada");
  platform::MainRunLoop::runUntilIdle();
  ASSERT_EQ(server_.requestCount(), 1u);
  const auto request = server_.requests().front();
  EXPECT_EQ(request.headers.at("Authorization"), "Bearer tok-9");
  EXPECT_EQ(request.headers.at("Accept"), "image/jpeg");
  ASSERT_TRUE(cell->eventThumbnail()->image());
  EXPECT_EQ(cell->eventThumbnail()->contentMode(), platform::ContentMode::ScaleToFill);
}

TEST_F(DataSourceTest, WithoutAStoredCredentialNoAuthorizationIsSent) {
  server_.route("/rest/v2.4/events/1.jpg", test::CannedResponse::json("{}", 401));
  pointServerAtLoopback();
  const double s = kNoon - 6000;
  source_->updateWithEvents(test::eventList({timelineEvent(1, s + 300, "personDetected")}));
  downloader_->setValueForHTTPHeaderField("Bearer old", "Authorization");
  auto cell = row({s, 600});
  platform::MainRunLoop::runUntilIdle();
  ASSERT_EQ(server_.requestCount(), 1u);
  EXPECT_EQ(server_.requests().front().headers.count("Authorization"), 0u);
  EXPECT_FALSE(downloader_->valueForHTTPHeaderField("Authorization"));
  // The failed load shows "no_snap".
  EXPECT_EQ(cell->eventThumbnail()->image(), platform::Image::named("no_snap"));
}

TEST_F(DataSourceTest, AReusedCellNeverShowsTheLateThumbnailOfItsEarlierEvent) {
  test::CannedResponse held;
  held.headers = {{"Content-Type", "image/jpeg"}};
  const auto bytes = platform::ImageRenderer::render({8, 8}, 1, true, [](platform::GraphicsContext& c) {
                       c.setFillColor(platform::Color::rgba(0, 1, 0));
                       c.fillRect(Rect(0, 0, 8, 8));
                     })->encodeJPEG();
  held.body.assign(bytes.begin(), bytes.end());
  held.hold = true;
  server_.route("/rest/v2.4/events/1.jpg", held);
  pointServerAtLoopback();
  const double s = kNoon - 6000;
  source_->updateWithEvents(test::eventList({timelineEvent(2, s + 900, "vmdDetected"),
                                             timelineEvent(1, s + 300, "personDetected")}));
  auto cell = row({s, 600});
  ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return server_.heldCount() == 1; }));
  // Reused for the next row, whose event shows its type's picture; then the first load arrives.
  source_->configureCell(*cell, {s + 600, 600}, 100);
  server_.releaseHeld();
  platform::MainRunLoop::runUntilIdle();
  ASSERT_TRUE(cell->eventThumbnail()->image());
  EXPECT_EQ(cell->eventThumbnail()->image()->name(), "motion_event");
  // Reused for an empty row: the card hides, and nothing is loading any more.
  source_->configureCell(*cell, {s + 1800, 600}, 100);
  EXPECT_TRUE(cell->eventContainer()->isHidden());
  EXPECT_FALSE(platform::currentImageLoad(*cell->eventThumbnail()));
}

TEST_F(DataSourceTest, DownloadStatesFollowTheSavedKeyAndTheProgress) {
  const double s = kNoon - 6000;
  auto done = test::restEvent(5, s + 300);
  platform::UserDefaults::standard()->setObject(platform::Value("Downloaded"), "Event-5.mp4");
  source_->updateWithEvents(TimelineEventAdapter::makeList({done}));
  auto cell = row({s, 600});
  EXPECT_EQ(cell->downloadStatusImageView()->image(), platform::Image::named("download_done"));
  EXPECT_EQ(cell->downloadStatusImageView()->alpha(), 1);
  EXPECT_FALSE(cell->downloadStatusContainerView()->isHidden());
  EXPECT_EQ(done->downloadProgress(), 1.0);

  auto running = test::restEvent(6, s + 300);
  running->setDownloadProgress(0.5);
  source_->updateWithEvents(TimelineEventAdapter::makeList({running}));
  source_->eventsWithThumbnailModel()->removeThumbnailsOfEventsNotIn(TimelineEventAdapter::makeList({running}));
  source_->setTimelineOption(KLTimelineIntervalOption::defaultOption());
  source_->configureCell(*cell, {s, 600}, 100);
  ASSERT_TRUE(cell->downloadStatusImageView()->image());
  EXPECT_EQ(cell->downloadStatusImageView()->image()->name(), "download_while");
  EXPECT_FALSE(cell->downloadStatusContainerView()->isHidden());
  auto ring = std::dynamic_pointer_cast<platform::ShapeLayer>(
      downloadProgressLayerWithName(cell->downloadStatusImageView()->layer(), "downloadProgress"));
  ASSERT_TRUE(ring);
  // A 1.5-point line in the light colour.
  EXPECT_EQ(ring->lineWidth(), 1.5);
  EXPECT_EQ(ring->strokeColor(), lightColor());
  // Redrawing replaces the ring rather than stacking another.
  source_->configureCell(*cell, {s, 600}, 100);
  EXPECT_EQ(cell->downloadStatusImageView()->layer().sublayers().size(), 1u);

  // The last progress report, before the clip is saved under its key: shown as done already.
  running->setDownloadProgress(1.0);
  source_->configureCell(*cell, {s, 600}, 100);
  ASSERT_TRUE(platform::UserDefaults::standard()->objectForKey("Event-6.mp4").isNil());
  EXPECT_EQ(cell->downloadStatusImageView()->image(), platform::Image::named("download_done"));
  EXPECT_FALSE(downloadProgressLayerWithName(cell->downloadStatusImageView()->layer(), "downloadProgress"));

  running->setDownloadProgress(0.0);
  source_->configureCell(*cell, {s, 600}, 100);
  EXPECT_TRUE(cell->downloadStatusContainerView()->isHidden());
  EXPECT_EQ(cell->downloadStatusImageView()->alpha(), 0);

  screen_->hideActions = true;
  running->setDownloadProgress(0.7);
  source_->configureCell(*cell, {s, 600}, 100);
  EXPECT_TRUE(cell->eventActionContainerView()->isHidden());
  EXPECT_TRUE(cell->downloadStatusContainerView()->isHidden());
  EXPECT_EQ(cell->downloadStatusImageView()->alpha(), 0);
}

class DataSourceTableTest : public DataSourceTest {
 protected:
  void SetUp() override {
    DataSourceTest::SetUp();
    table_ = std::make_shared<platform::TableView>(Rect(0, 0, 320, 600));
    table_->setRowHeight(100);
    source_->registerCellsForTableView(*table_);
    adapter_->setDataSource(source_);
    table_->setDataSource(adapter_);
    table_->setDelegate(adapter_);
    root().addSubview(table_);
  }
  std::shared_ptr<platform::TableView> table_;
  std::shared_ptr<KLTimeRangeAdapter> adapter_ = std::make_shared<KLTimeRangeAdapter>();
};

TEST_F(DataSourceTableTest, TapsOnTheCardReachTheScreen) {
  source_->updateWithEvents(test::eventList({timelineEvent(1, kNoon - 1200, "vmdDetected")}));
  adapter_->reloadTableView(*table_, false);
  adapter_->scrollToTime(kNoon - 1200, static_cast<platform::ScrollView&>(*table_), false);
  table_->layoutIfNeeded();
  auto cell = std::dynamic_pointer_cast<KLTimelineTableViewCell>(table_->visibleCells().front());
  ASSERT_TRUE(cell);
  const double thumbnailX = cell->eventContainer()->frame().origin.x + cell->eventThumbnail()->frame().midX();
  const double actionX = cell->eventContainer()->frame().origin.x + cell->stackView()->frame().origin.x +
                         cell->eventActionContainerView()->frame().midX();
  // The time line is at the top of the table: the event is at offset 0.
  driver().tap(platform::Point{thumbnailX, 5});
  ASSERT_EQ(screen_->thumbnailTaps.size(), 1u);
  EXPECT_TRUE(screen_->actionTaps.empty());
  driver().advance(1);
  driver().tap(platform::Point{actionX, 5});
  EXPECT_EQ(screen_->actionTaps.size(), 1u);
  // Far from any card: nothing.
  driver().advance(1);
  driver().tap(platform::Point{thumbnailX, 400});
  EXPECT_EQ(screen_->thumbnailTaps.size(), 1u);
  // Without a screen, taps go nowhere.
  source_->setCellDelegate(std::weak_ptr<KLTimelineTableViewCellDelegate>());
  driver().advance(1);
  driver().tap(platform::Point{thumbnailX, 5});
  EXPECT_EQ(screen_->thumbnailTaps.size(), 1u);
}

TEST_F(DataSourceTableTest, ATapOnALowerCardsActionReachesTheScreenWhateverTheTopRowShowedBefore) {
  source_->updateWithEvents(test::eventList({timelineEvent(1, kNoon - 1200, "vmdDetected")}));
  adapter_->reloadTableView(*table_, false);
  adapter_->scrollToTime(kNoon, static_cast<platform::ScrollView&>(*table_), false);
  table_->layoutIfNeeded();
  const auto cells = table_->visibleCells();
  ASSERT_GE(cells.size(), 3u);
  auto top = std::dynamic_pointer_cast<KLTimelineTableViewCell>(cells.front());
  ASSERT_TRUE(top && top->eventContainer()->isHidden());
  // The top cell as reuse leaves it: it showed a card at a level without actions, then a row
  // without a card.
  screen_->hideActions = true;
  source_->configureCell(*top, {kNoon - 1200, 600}, 100);
  screen_->hideActions = false;
  source_->configureCell(*top, {kNoon - 600, 600}, 100);
  top->layoutIfNeeded();
  std::shared_ptr<KLTimelineTableViewCell> card;
  for (const auto& c : cells) {
    auto cell = std::dynamic_pointer_cast<KLTimelineTableViewCell>(c);
    if (cell && !cell->eventContainer()->isHidden()) card = cell;
  }
  ASSERT_TRUE(card);
  driver().tap(platform::UiTestDriver::centerOf(*card->eventAction()));
  ASSERT_EQ(screen_->actionTaps.size(), 1u);
  EXPECT_EQ(screen_->actionTaps.front()->timelineEventTimestamp(), kNoon - 1200);
}

TEST_F(DataSourceTableTest, TheRedrawOfTheCurrentRowExtendsTheOpenRecording) {
  clock_.clock().set(kNoon + 300);
  auto open = test::restRecording(1, kNoon - 400, 0, false);
  source_->updateWithRecordings(TimelineRecordingAdapter::makeList({open}));
  adapter_->reloadTableView(*table_, false);
  adapter_->scrollToTime(kNoon + 200, static_cast<platform::ScrollView&>(*table_), false);
  table_->layoutIfNeeded();
  auto cellAt = [&] {
    for (const auto& ip : table_->indexPathsForVisibleRows()) {
      const auto range = adapter_->timeRangeForIndexPath(ip);
      if (range.start <= platform::now() && platform::now() < range.end())
        return std::dynamic_pointer_cast<KLTimelineTableViewCell>(table_->cellForRow(ip));
    }
    return std::shared_ptr<KLTimelineTableViewCell>();
  };
  auto cell = cellAt();
  ASSERT_TRUE(cell);
  const double before = pathBox(*cell->recordingsRenderView()).size.height;
  clock_.clock().advance(120);
  adapter_->reloadRowAtTime(platform::now(), *table_);
  EXPECT_NEAR(pathBox(*cell->recordingsRenderView()).size.height - before, 20, 1e-6);
}

TEST(KLTimelineEventLabel, ShrinksUntilEveryWordFitsAndStopsAtItsFloor) {
  KLTimelineEventLabel label(Rect(0, 0, 60, 30));
  label.setDefaultFont(platform::Font::system(14));
  label.setText("Doorbell pressed");
  EXPECT_LE(label.font().sizeOfText("Doorbell").width, 60);
  EXPECT_LE(label.font().pointSize(), 14);
  // A wide label keeps the default size.
  KLTimelineEventLabel wide(Rect(0, 0, 300, 30));
  wide.setDefaultFont(platform::Font::system(14));
  wide.setText("Doorbell pressed");
  EXPECT_EQ(wide.font().pointSize(), 14);
  // No width at all: it stops at half the default size instead of shrinking for ever.
  KLTimelineEventLabel none(Rect(0, 0, 0, 30));
  none.setDefaultFont(platform::Font::system(14));
  none.setText("Motion");
  EXPECT_GE(none.font().pointSize(), 7);
  EXPECT_LT(none.font().pointSize(), 7 / 0.95);
  KLTimelineEventLabel tiny(Rect(0, 0, 0, 30));
  tiny.setDefaultFont(platform::Font::system(8));
  tiny.setText("Motion");
  EXPECT_GE(tiny.font().pointSize(), 5);
}

}  // namespace
}  // namespace dk
