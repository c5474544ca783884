// The timeline screen's event actions: the sheet offered by the user's rights, the popover anchor,
// sharing a clip that is not there, the delete confirmation, the download flow through the photo
// library, and the background task a clip keeps until its outcome.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "network/kl_request_table.h"
#include "services/kl_camera_roll_album_manager.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/user_defaults.h"
#include "platform/media/images/photo_library.h"
#include "platform/ui/application.h"
#include "platform/ui/document_interaction_controller.h"
#include "timeline/kl_timeline_view_controller.h"
#include "timeline/timeline_event_adapter.h"
#include "timeline_screen_fixture.h"

namespace dk {
namespace {

using platform::PhotoAuthorizationStatus;
using test::restEvent;

std::string text(const char* key) {
  return platform::Bundle::withIdentifier("com.devicekeeper.DKChronoKit")->localizedString(key);
}

std::vector<std::string> titles(const platform::AlertController& sheet) {
  std::vector<std::string> out;
  for (const auto& a : sheet.actions()) out.push_back(a->title());
  return out;
}

class EventActions : public test::TimelineScreenTest {
 protected:
  void SetUp() override {
    TimelineScreenTest::SetUp();
    platform::PhotoLibrary::setRootDirectory(home_.path() / "Photos");
    platform::DocumentInteractionController::resetForTesting();
  }
  void TearDown() override {
    TimelineScreenTest::TearDown();
    platform::PhotoLibrary::setRootDirectory({});
  }
  std::shared_ptr<KLTimelineViewController> screenWithRights(uint64_t rights) {
    rights_->setRights(rights);
    installBaseScreenServices({[this] { return rights_; }, nullptr, nullptr});
    return showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes));
  }
  void settleLibrary() {
    platform::PhotoLibrary::sharedPhotoLibrary()->queue()->sync([] {});
    platform::MainRunLoop::runUntilIdle();
    driver().advance(0.6);
  }
  size_t requestsNamed(int name) {
    size_t n = 0;
    for (const auto& r : executor_->requests()) n += r->requestName() == name;
    return n;
  }
  std::shared_ptr<KLUserRightsResponse> rights_ = std::make_shared<KLUserRightsResponse>();
};

TEST_F(EventActions, TheSheetOffersDeletionOnlyWithTheDeleteRight) {
  auto event = TimelineEventAdapter::make(restEvent(1, now() - 60));
  auto without = screenWithRights(KLUserRightPlayback | KLUserRightExport);
  EXPECT_EQ(titles(*without->actionSheetForEvent(event)),
            (std::vector<std::string>{text("Share"), text("Download"), text("Cancel")}));
  auto with = screenWithRights(KLUserRightPlayback | KLUserRightExport | KLUserRightDeleteRecording);
  auto sheet = with->actionSheetForEvent(event);
  EXPECT_EQ(titles(*sheet), (std::vector<std::string>{text("Share"), text("Download"), text("Delete"), text("Cancel")}));
  EXPECT_EQ(sheet->actions()[2]->style(), platform::AlertAction::Style::Destructive);
  EXPECT_EQ(sheet->preferredStyle(), platform::AlertController::Style::ActionSheet);
}

TEST_F(EventActions, OnlyTheThreeMinuteLevelShowsActionButtons) {
  auto screen = screenWithRights(0);
  auto event = TimelineEventAdapter::make(restEvent(1, now() - 60));
  EXPECT_FALSE(screen->shouldHideActionButtonForEvent(event));
  screen->zoomOutButtonPressed();
  EXPECT_TRUE(screen->shouldHideActionButtonForEvent(event));
}

TEST_F(EventActions, TheSheetAndTheShareMenuPointAtTheCardsActionSeventyPointsInForADownloadedClipElseForty) {
  struct Row {
    int64_t id;
    double fromTop;  // where the event sits in the visible window, 0 top and 1 bottom
    bool downloaded;
    double inset;
  };
  const Row rows[] = {{1, 0.0, false, 40.0}, {7, 0.5, true, 70.0}, {8, 0.25, false, 40.0}};
  auto screen = screenWithRights(0);
  auto table = screen->tableView();
  auto window = screen->adapter()->visibleTimeRangeAtTableView(*table);
  ASSERT_GT(window.duration, 0);
  const platform::Rect frame = table->frame();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.id);
    auto event = TimelineEventAdapter::make(restEvent(row.id, window.start + window.duration * (1 - row.fromTop)));
    const std::string key = "Event-" + std::to_string(row.id) + ".mp4";
    if (row.downloaded) platform::UserDefaults::standard()->setObject(platform::Value("Downloaded"), key);
    auto source = screen->popoverSourceStructForEvent(event);
    auto sheet = screen->actionSheetForEvent(event);
    // The anchor is given where the table's frame is: in the coordinates of the table's superview.
    EXPECT_DOUBLE_EQ(source.rect.origin.x, frame.origin.x + frame.size.width - row.inset);
    EXPECT_NEAR(source.rect.origin.y, frame.origin.y + row.fromTop * frame.size.height, 1e-6);
    EXPECT_DOUBLE_EQ(source.rect.size.width, 0);
    EXPECT_DOUBLE_EQ(source.rect.size.height, 0);
    EXPECT_EQ(source.view, screen->timelineContainerView());
    // The sheet carries it to the same place on screen, so a large screen shows it by the card.
    const platform::Point onScreen = table->superview()->convertPointTo(source.rect.origin, nullptr);
    const auto& popover = sheet->popoverPresentationController();
    auto anchorView = popover.sourceView.lock();
    ASSERT_EQ(anchorView, screen->timelineContainerView());
    const platform::Rect anchor = anchorView->convertRectTo(popover.sourceRect, nullptr);
    EXPECT_NEAR(anchor.origin.x, onScreen.x, 1e-6);
    EXPECT_NEAR(anchor.origin.y, onScreen.y, 1e-6);
    if (row.downloaded) {
      // So does the share menu of a clip on the device.
      auto file = KLDownloadManager::getURLForEvent(underlyingEvent(*event));
      ASSERT_TRUE(file);
      std::filesystem::create_directories(file->parent_path());
      std::ofstream(*file) << "clip";
      screen->shareEvent(underlyingEvent(*event), source);
      ASSERT_EQ(platform::DocumentInteractionController::presentations().size(), 1u);
      const auto& menu = platform::DocumentInteractionController::presentations()[0];
      ASSERT_EQ(menu.view.lock(), screen->timelineContainerView());
      const platform::Rect menuAnchor = menu.view.lock()->convertRectTo(menu.rect, nullptr);
      EXPECT_NEAR(menuAnchor.origin.x, onScreen.x, 1e-6);
      EXPECT_NEAR(menuAnchor.origin.y, onScreen.y, 1e-6);
    }
    platform::UserDefaults::standard()->removeObjectForKey(key);
  }
}

TEST_F(EventActions, AClipTheAlbumCouldNotTakeIsExplainedAndTheCardStaysUntilContinue) {
  auto screen = screenWithRights(0);
  platform::NotificationCenter::defaultCenter().post(kUnableToSaveVideoToPhotoAlbumNotification);
  driver().advance(0.6);
  auto card = shownCard();
  ASSERT_TRUE(card);
  EXPECT_EQ(card->titleLabel()->text(), text("UnableToSaveVideo"));
  EXPECT_EQ(card->infoLabel()->text(), text("AnIssueOccured"));
  ASSERT_EQ(card->buttons().size(), 1u);
  EXPECT_EQ(card->buttons()[0]->titleForState(platform::kControlStateNormal), text("Continue"));
  EXPECT_FALSE(card->imageView()) << "no picture on this card";
  EXPECT_TRUE(card->canBeRotated());
  driver().swipe(card->center(), platform::kSwipeDown);
  driver().advance(0.6);
  EXPECT_EQ(shownCard(), card) << "a swipe does not take it away";
  driver().tap(*card->viewWithAccessibilityIdentifier("pop_up_view_button_0"));
  driver().advance(1.0);
  EXPECT_EQ(shownCard(), nullptr);
}

TEST_F(EventActions, SharingAClipNeverDownloadedExplainsInsteadOfOpeningAMenu) {
  auto screen = screenWithRights(0);
  auto event = TimelineEventAdapter::make(restEvent(1, now() - 60));
  screen->actionSheetForEvent(event)->tapAction(text("Share"));
  driver().advance(0.6);
  auto card = shownCard();
  ASSERT_TRUE(card);
  EXPECT_EQ(card->titleLabel()->text(), text("VideoIsNotDownloadedYet"));
  EXPECT_TRUE(platform::DocumentInteractionController::presentations().empty());
}

TEST_F(EventActions, ConfirmingTheDeletionAsksTheCloudAndCancellingForgetsTheEvent) {
  auto screen = screenWithRights(KLUserRightDeleteRecording | KLUserRightPlayback | KLUserRightExport);
  auto event = restEvent(1, now() - 60);
  screen->actionSheetForEvent(TimelineEventAdapter::make(event))->tapAction(text("Delete"));
  driver().advance(0.6);
  ASSERT_TRUE(shownCard());
  EXPECT_EQ(shownCard()->titleLabel()->text(), text("DelteFootage"));
  EXPECT_EQ(screen->eventToDelete(), event);
  driver().tap(*shownCard()->viewWithAccessibilityIdentifier("pop_up_view_button_0"));
  driver().advance(1.0);
  EXPECT_EQ(screen->eventToDelete(), nullptr);
  EXPECT_EQ(shownCard(), nullptr);
  EXPECT_EQ(requestsNamed(EVENT_DELETE_REQUEST_CLOUD), 0u);

  screen->actionSheetForEvent(TimelineEventAdapter::make(event))->tapAction(text("Delete"));
  driver().advance(0.6);
  driver().tap(*shownCard()->viewWithAccessibilityIdentifier("pop_up_view_button_1"));
  driver().advance(1.0);
  platform::MainRunLoop::runUntilIdle();
  EXPECT_EQ(screen->eventToDelete(), nullptr);
  EXPECT_EQ(requestsNamed(EVENT_DELETE_REQUEST_CLOUD), 1u);
}

TEST_F(EventActions, ADownloadRefusedByThePhotoLibraryIsExplained) {
  platform::PhotoLibrary::sharedPhotoLibrary()->setUserAnswer(PhotoAuthorizationStatus::Denied);
  auto screen = screenWithRights(0);
  screen->downloadEvent(restEvent(1, now() - 60));
  settleLibrary();
  ASSERT_TRUE(shownCard());
  EXPECT_EQ(shownCard()->titleLabel()->text(), text("UnableToSaveVideo"));
  EXPECT_EQ(shownCard()->infoLabel()->text(), text("AllowPermisionToSaveSnapshot"));
}

TEST_F(EventActions, AnAuthorisedDownloadFetchesTheClipAddressFirst) {
  platform::PhotoLibrary::sharedPhotoLibrary()->setUserAnswer(PhotoAuthorizationStatus::Authorized);
  auto screen = screenWithRights(0);
  size_t before = executor_->count();
  screen->downloadEvent(restEvent(1, now() - 60));
  settleLibrary();
  platform::MainRunLoop::runUntilIdle();
  driver().advance(0.6);
  EXPECT_GT(executor_->count(), before);
  ASSERT_TRUE(shownCard()) << "the cloud refused the fetch";
  EXPECT_EQ(shownCard()->infoLabel()->text(), text("DownloadEventFailedToFetchMetadata"));
}

TEST_F(EventActions, AClipKeepsItsBackgroundTaskUntilItsOutcome) {
  auto screen = screenWithRights(0);
  auto& app = platform::Application::shared();
  driver().enterBackground();
  auto task = screen->bgTask();
  ASSERT_NE(task, platform::kBackgroundTaskInvalid);
  screen->downloadProgressUpdated(0.99f, nullptr);
  screen->downloadProgressUpdated(1.0f, nullptr);
  driver().pump();
  EXPECT_TRUE(app.isBackgroundTaskRunning(task)) << "the file is not written yet at the last byte";
  platform::NotificationCenter::defaultCenter().post(kVideoSavedToPhotoAlbumNotification);
  driver().pump();
  EXPECT_FALSE(app.isBackgroundTaskRunning(task));
  EXPECT_EQ(screen->bgTask(), platform::kBackgroundTaskInvalid);
  // A later failure finds nothing left to end.
  screen->errorWithInfo("failed");
  driver().pump();
  EXPECT_EQ(app.backgroundTaskCount(), 0u);
  driver().enterForeground();
}

TEST_F(EventActions, AFailedSaveEndsTheTaskAndShowsWhy) {
  auto screen = screenWithRights(0);
  driver().enterBackground();
  auto task = screen->bgTask();
  screen->errorWithInfo("The disk is full");
  driver().advance(0.6);
  EXPECT_FALSE(platform::Application::shared().isBackgroundTaskRunning(task));
  driver().enterForeground();
  driver().advance(0.6);
  ASSERT_TRUE(shownCard());
  EXPECT_EQ(shownCard()->infoLabel()->text(), "The disk is full");
}

}  // namespace
}  // namespace dk
