// The timeline screen as a user sees it, from fixed data: the strip at each zoom level, the
// calendar opened over it, the no-network panel, the action sheet of an event and the delete confirmation, each compared with
// the project's stored pictures (tests/data/timeline/screen_*.png). On a mismatch the picture
// drawn now is written to the working directory; DK_UPDATE_PICTURES=1 rewrites the stored ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "foundation/date_formatting.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/time_zone.h"
#include "platform/graphics/image_compare.h"
#include "platform/ui/render.h"
#include "platform/ui/stored_picture.h"
#include "timeline/kl_timeline_table_view_cell.h"
#include "timeline/timeline_event_adapter.h"
#include "timeline_screen_fixture.h"

namespace dk {
namespace {

// 2023-11-14 12:05:00 UTC.
constexpr double kScreenPictureNow = 1699963500;

class ScreenPicture : public test::TimelineScreenTest {
 protected:
  void SetUp() override {
    platform::TimeZone::setLocal(platform::TimeZone::gmt());
    platform::Locale::setCurrent("en_US");
    resetDateCachesForTesting();
    TimelineScreenTest::SetUp();
    clock_.clock().set(kScreenPictureNow);
    loadEventTypes();
    const char* types[] = {"vmdDetected", "personDetected", "audioDetected", "pirDetected", "doorbellPressed"};
    int id = 100;
    for (double t = kScreenPictureNow - 25; t > kScreenPictureNow - 3700; t -= 47 + (id % 5) * 13) {
      events_.push_back(test::restEvent(id, t, types[id % 5]));
      ++id;
    }
    setEvents(events_);
    recordings_ = {test::restRecording(5, kScreenPictureNow - 520, 0, false), test::restRecording(4, kScreenPictureNow - 1500, kScreenPictureNow - 700),
                   test::restRecording(3, kScreenPictureNow - 1790, kScreenPictureNow - 1620), test::restRecording(2, kScreenPictureNow - 2900, kScreenPictureNow - 1950),
                   test::restRecording(1, kScreenPictureNow - 3700, kScreenPictureNow - 3100)};
    setRecordings(recordings_);
  }
  void TearDown() override {
    TimelineScreenTest::TearDown();
    resetDateCachesForTesting();
    platform::TimeZone::setLocal(std::nullopt);
    platform::Locale::setCurrent(std::nullopt);
  }

  std::shared_ptr<KLTimelineViewController> shown(int zoom) {
    auto screen = showScreen(makeScreen(zoom));
    driver().advance(1.0);
    return screen;
  }
  platform::ImagePtr picture() {
    driver().pump();
    platform::renderViewToImage(*window_, 1);
    return platform::renderViewToImage(*window_, 1);
  }


  std::vector<KLEventPtr> events_;
  std::vector<KLRecordingPtr> recordings_;
};

TEST_F(ScreenPicture, TheStripAtEachZoomLevel) {
  struct Case {
    int zoom;
    const char* name;
  };
  for (const auto& c : {Case{KLTimelineZoomLevelThreeMinutes, "screen_three_minutes"},
                        Case{KLTimelineZoomLevelFifteenMinutes, "screen_fifteen_minutes"},
                        Case{KLTimelineZoomLevelDefault, "screen_one_hour"}}) {
    shown(c.zoom);
    test::expectLooksAsStored(picture(), "timeline", c.name);
  }
}

TEST_F(ScreenPicture, CardsNameTheEventTypesAsTheCloudNamesThemForAUser) {
  auto screen = shown(KLTimelineZoomLevelThreeMinutes);
  std::vector<std::string> shownNames;
  for (const auto& c : screen->tableView()->visibleCells()) {
    auto cell = std::dynamic_pointer_cast<KLTimelineTableViewCell>(c);
    if (cell && !cell->eventContainer()->isHidden()) shownNames.push_back(cell->eventTypeLabel()->text());
  }
  ASSERT_GE(shownNames.size(), 3u);
  for (const auto& name : shownNames) {
    EXPECT_THAT(name, ::testing::AnyOf("Motion", "Person", "Sound", "Infrared", "Doorbell"));
  }
}

TEST_F(ScreenPicture, TheCalendarOpenedOverTheStrip) {
  // Recordings on two earlier days of the month: those days dark, the others grey.
  const double day = 86400;
  auto more = recordings_;
  more.push_back(test::restRecording(20, kScreenPictureNow - 2 * day, kScreenPictureNow - 2 * day + 900));
  more.push_back(test::restRecording(21, kScreenPictureNow - 9 * day, kScreenPictureNow - 9 * day + 900));
  setRecordings(more);
  auto screen = shown(KLTimelineZoomLevelFifteenMinutes);
  driver().tap(*screen->calendarButton());
  driver().advance(1.0);
  ASSERT_FALSE(screen->isCalendarHidden());
  test::expectLooksAsStored(picture(), "timeline", "screen_calendar");
}

TEST_F(ScreenPicture, TheNoNetworkPanel) {
  auto screen = shown(KLTimelineZoomLevelFifteenMinutes);
  screen->handle_kNetworkNotReachableNotification();
  driver().advance(0.6);
  test::expectLooksAsStored(picture(), "timeline", "screen_no_network");
}

TEST_F(ScreenPicture, TheActionSheetAndTheDeleteConfirmation) {
  auto rights = std::make_shared<KLUserRightsResponse>();
  rights->setRights(KLUserRightDeleteRecording | KLUserRightPlayback | KLUserRightExport);
  installBaseScreenServices({[rights] { return rights; }, nullptr, nullptr});
  auto screen = shown(KLTimelineZoomLevelThreeMinutes);
  screen->userDidTapActionButtonForEvent(TimelineEventAdapter::make(events_[0]));
  driver().advance(1.0);
  test::expectLooksAsStored(picture(), "timeline", "screen_action_sheet");
  screen->dismissViewController(false);
  driver().advance(1.0);
  screen->deleteEventAskingFirst(events_[0]);
  driver().advance(1.0);
  test::expectLooksAsStored(picture(), "timeline", "screen_delete_pop_up");
}

}  // namespace
}  // namespace dk
