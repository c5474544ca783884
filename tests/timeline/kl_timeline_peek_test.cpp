// The timeline screen's peek: registered while force touch is available, a press on an event row
// previews its thumbnail, a row without a picture previews nothing.
#include <gtest/gtest.h>

#include "platform/ui/device.h"
#include "timeline/dk_chrono_kit.h"
#include "timeline/kl_timeline_preview_view_controller.h"
#include "timeline/kl_timeline_table_view_cell.h"
#include "timeline_screen_fixture.h"

namespace dk {
namespace {

using test::restEvent;

class TimelinePeek : public test::TimelineScreenTest {
 protected:
  void SetUp() override {
    TimelineScreenTest::SetUp();
    registerTimelineStoryboard();
  }
  // The centre, in window coordinates, of a visible row that does (or does not) show a thumbnail.
  std::optional<platform::Point> rowCentre(KLTimelineViewController& screen, bool withThumbnail) {
    for (const auto& visible : screen.tableView()->visibleCells()) {
      auto cell = std::dynamic_pointer_cast<KLTimelineTableViewCell>(visible);
      if (!cell || (cell->eventThumbnail()->image() != nullptr) != withThumbnail) continue;
      const auto bounds = cell->bounds();
      return cell->convertPointTo({bounds.size.width / 2, bounds.size.height / 2}, nullptr);
    }
    return std::nullopt;
  }
};

TEST_F(TimelinePeek, ForceTouchRegistersTheScreenOnceAndItsLossUnregistersIt) {
  auto screen = showScreen(makeScreen());
  EXPECT_EQ(screen->previewingContex(), nullptr);
  EXPECT_TRUE(screen->previewingContexts().empty());

  platform::Device::current().setForceTouchAvailable(true);
  auto context = screen->previewingContex();
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(screen->previewingContexts(), (std::vector<std::shared_ptr<platform::PreviewingContext>>{context}));
  EXPECT_EQ(context->sourceView.lock(), screen->view());
  EXPECT_EQ(std::dynamic_pointer_cast<KLTimelineViewController>(context->delegate.lock()), screen);

  // Another trait change while registered keeps the one registration.
  screen->traitCollectionDidChange(nullptr);
  EXPECT_EQ(screen->previewingContexts().size(), 1u);

  platform::Device::current().setForceTouchAvailable(false);
  EXPECT_EQ(screen->previewingContex(), nullptr);
  EXPECT_TRUE(screen->previewingContexts().empty());
  EXPECT_EQ(driver().peek({100, 600}), nullptr);
}

TEST_F(TimelinePeek, AScreenShownWithForceTouchPreviewsTheThumbnailOfTheRowPressed) {
  platform::Device::current().setForceTouchAvailable(true);
  auto screen = showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes));
  ASSERT_NE(screen->previewingContex(), nullptr) << "registered at the first appearance";
  setEvents({restEvent(1, now() - 60)});
  driver().advance(1.0);

  auto withThumbnail = rowCentre(*screen, true);
  ASSERT_TRUE(withThumbnail);
  auto preview = std::dynamic_pointer_cast<KLTimelinePreviewViewController>(driver().peek(*withThumbnail));
  ASSERT_NE(preview, nullptr);
  ASSERT_NE(preview->cameraImage(), nullptr);
  EXPECT_EQ(preview->cameraImage()->name(), "motion_event");
  EXPECT_EQ(preview->preferredContentSize(), screen->view()->frame().size);

  auto withoutThumbnail = rowCentre(*screen, false);
  ASSERT_TRUE(withoutThumbnail);
  EXPECT_EQ(driver().peek(*withoutThumbnail), nullptr);
}

}  // namespace
}  // namespace dk
