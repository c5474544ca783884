// The time strip as a user sees it: one row cell, and a window of six rows at each zoom level,
// drawn from fixed data and compared with the project's stored pictures of them
// (tests/data/timeline/*.png). On a mismatch the picture drawn now is written to the working
// directory for a look; DK_UPDATE_PICTURES=1 rewrites the stored ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "foundation/color_manager.h"
#include "foundation/date_formatting.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"
#include "platform/foundation/user_defaults.h"
#include "platform/graphics/image_compare.h"
#include "platform/graphics/image_renderer.h"
#include "platform/ui/render.h"
#include "platform/ui/stored_picture.h"
#include "support/temp_directory.h"
#include "timeline/kl_timeline_data_source.h"
#include "timeline_fixture.h"
#include "timeline_test_items.h"
#include "ui/fonts.h"

namespace dk {
namespace {

using platform::Rect;

// 2023-11-14 12:05:00 UTC.
constexpr double kNow = 1699963500;

class PictureScreen : public KLTimelineTableViewCellDelegate {
 public:
  double recordingsRenderViewOffsetFromLeft() override { return 62; }
  double eventsRenderViewOffsetFromLeft() override { return 78; }
  bool shouldHideActionButtonForEvent(const KLTimelineEventPtr&) override { return false; }
};

// A snapshot as the cloud would send it: sky, ground and a figure.
platform::ImagePtr snapshot(double hue) {
  return platform::ImageRenderer::render({96, 54}, 2, true, [hue](platform::GraphicsContext& c) {
    c.setFillColor(platform::Color::rgba(0.55, 0.7, 0.85));
    c.fillRect(Rect(0, 0, 96, 30));
    c.setFillColor(platform::Color::rgba(0.35, 0.5 + hue * 0.2, 0.3));
    c.fillRect(Rect(0, 30, 96, 24));
    c.setFillColor(platform::Color::rgba(0.8 * hue + 0.1, 0.25, 0.2));
    c.fillEllipse(Rect(40, 14, 14, 14));
    c.fillRect(Rect(42, 27, 10, 20));
  });
}

class TimelinePictureTest : public test::TimelineUiTest {
 protected:
  static constexpr double kMargin = 32;

  void SetUp() override {
    platform::TimeZone::setLocal(platform::TimeZone::gmt());
    platform::Locale::setCurrent("en_US");
    resetDateCachesForTesting();
    TimelineUiTest::SetUp();
    clock_.clock().set(kNow);
    setFontEnvironment({[] { return 1L; }, [] { return 0; }, [] { return 0; }});
    ColorManager::setPrimaryColors("#0c94c8");
    ColorManager::setSecondaryColors("#333333");
    platform::ImageCache::Config config;
    config.directory = dir_.path() / "images";
    downloader_ = platform::ImageDownloader::create(std::make_shared<platform::ImageCache>(config));
    lookups_->priorities = {{"personDetected", 1}, {"doorbellPressed", 2}, {"vmdDetected", 10},
                            {"pirDetected", 11}, {"audioDetected", 12}};
    lookups_->names = {{"personDetected", "Person"}, {"doorbellPressed", "Doorbell ringing"},
                       {"vmdDetected", "Motion"}, {"pirDetected", "Infrared"}, {"audioDetected", "Sound"}};
    loadFixedData();
  }
  void TearDown() override {
    TimelineUiTest::TearDown();
    setFontEnvironment({});
    resetDateCachesForTesting();
    platform::TimeZone::setLocal(std::nullopt);
    platform::Locale::setCurrent(std::nullopt);
  }

  // An hour of a camera's history: recordings with gaps, one still open, and events of every kind.
  void loadFixedData() {
    std::vector<KLRecordingPtr> recordings = {
        test::restRecording(5, kNow - 520, 0, false), test::restRecording(4, kNow - 1500, kNow - 700),
        test::restRecording(3, kNow - 1790, kNow - 1620), test::restRecording(2, kNow - 2900, kNow - 1950),
        test::restRecording(1, kNow - 3700, kNow - 3100)};
    const char* types[] = {"vmdDetected", "personDetected", "audioDetected", "pirDetected", "doorbellPressed"};
    std::vector<KLEventPtr> events;
    int id = 100;
    for (double t = kNow - 25; t > kNow - 3700; t -= 47 + (id % 5) * 13) {
      auto event = test::restEvent(id, t, types[id % 5]);
      ++id;
      events.push_back(event);
    }
    for (const auto& event : events) {
      if (event->eventType() == KLEventTypeOther)
        downloader_->imageCache()->storeImage(snapshot((*event->eventID() % 7) / 7.0), *event->imageURL(), false,
                                              nullptr);
    }
    events_ = events;
    recordings_ = recordings;
  }

  std::shared_ptr<KLTimelineDataSource> makeSource(unsigned long level) {
    auto source = std::make_shared<KLTimelineDataSource>(KLTimelineIntervalOption::optionWithInterval(level), lookups_);
    source->setCellDelegate(screen_);
    source->setImageDownloader(downloader_);
    source->setTokenSource([] { return std::optional<std::string>(); });
    source->updateWithRecordings(TimelineRecordingAdapter::makeList(recordings_));
    source->updateWithEvents(TimelineEventAdapter::makeList(events_));
    return source;
  }

  // Six rows of 80 points under the time `top`, with a margin above and below where the labels
  // and cards of the edge rows show whole.
  platform::ImagePtr drawWindow(unsigned long level, double top) {
    auto source = makeSource(level);
    auto frame = std::make_shared<platform::View>(Rect(0, 0, 320, 480 + 2 * kMargin));
    frame->setBackgroundColor(platform::Color::whiteColor());
    auto table = std::make_shared<platform::TableView>(Rect(0, kMargin, 320, 480));
    table->setClipsToBounds(false);
    table->setRowHeight(80);
    table->setShowsVerticalScrollIndicator(false);
    source->registerCellsForTableView(*table);
    auto adapter = std::make_shared<KLTimeRangeAdapter>();
    adapter->setDataSource(source);
    table->setDataSource(adapter);
    table->setDelegate(adapter);
    frame->addSubview(table);
    root().addSubview(frame);
    adapter->reloadTableView(*table, false);
    adapter->scrollToTime(top, static_cast<platform::ScrollView&>(*table), false);
    table->layoutIfNeeded();
    platform::MainRunLoop::runUntilIdle();
    auto image = platform::renderViewToImage(*frame, 2);
    frame->removeFromSuperview();
    return image;
  }


  // Settings (download marks) go to a home of the test's own.
  test::TemporaryHome home_;
  test::TemporaryDirectory dir_;
  std::shared_ptr<platform::ImageDownloader> downloader_;
  std::shared_ptr<test::FixedLookups> lookups_ = std::make_shared<test::FixedLookups>();
  std::shared_ptr<PictureScreen> screen_ = std::make_shared<PictureScreen>();
  std::vector<KLEventPtr> events_;
  std::vector<KLRecordingPtr> recordings_;
};

TEST_F(TimelinePictureTest, OneRowCell) {
  auto source = makeSource(KLTimelineIntervalOneHour);
  // Room above and below the row for a card or label that stands over its edge.
  auto frame = std::make_shared<platform::View>(Rect(0, 0, 320, 100 + 2 * kMargin));
  frame->setBackgroundColor(platform::Color::whiteColor());
  auto cell = KLTimelineTableViewCell::make();
  cell->setFrame(Rect(0, kMargin, 320, 100));
  frame->addSubview(cell);
  root().addSubview(frame);
  cell->layoutIfNeeded();
  // The 10-minute row of the thumbnail nearest 11:45: bars, marks, its time label and the card.
  auto card = source->eventsWithThumbnailModel()->closestTimelineEventBeforeTime(kNow - 1200);
  ASSERT_TRUE(card);
  const double end = source->endTimeInTimelineAdapter(*std::make_shared<KLTimeRangeAdapter>());
  const double rowStart = end - 600 * std::ceil((end - card->timelineEventTimestamp()) / 600);
  source->configureCell(*cell, {rowStart, 600}, 100);
  platform::MainRunLoop::runUntilIdle();
  test::expectLooksAsStored(platform::renderViewToImage(*frame, 2), "timeline", "row_cell");
}

TEST_F(TimelinePictureTest, SixRowsAtTheOneHourLevel) {
  test::expectLooksAsStored(drawWindow(KLTimelineIntervalOneHour, kNow - 300), "timeline", "window_one_hour");
}

TEST_F(TimelinePictureTest, SixRowsAtTheFifteenMinuteLevel) {
  test::expectLooksAsStored(drawWindow(KLTimelineIntervalFifteenMinutes, kNow - 1200), "timeline", "window_fifteen_minutes");
}

TEST_F(TimelinePictureTest, SixRowsAtTheThreeMinuteLevel) {
  test::expectLooksAsStored(drawWindow(KLTimelineIntervalThreeMinutes, kNow - 1560), "timeline", "window_three_minutes");
}

}  // namespace
}  // namespace dk
