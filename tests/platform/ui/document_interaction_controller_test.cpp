// The share menu for one file: when it may be shown, what it shows and how it goes away.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/ui/button.h"
#include "platform/ui/document_interaction_controller.h"
#include "platform/ui/label.h"
#include "platform/ui/ui_fixture.h"
#include "support/temp_directory.h"

namespace dk::platform::testing {
namespace {

class DocumentInteractionTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    DocumentInteractionController::resetForTesting();
    file_ = dir_.path() / "100001.mp4";
    std::ofstream(file_) << std::string(2'500'000, 'x');
  }
  void TearDown() override {
    DocumentInteractionController::resetForTesting();
    UiTest::TearDown();
  }
  std::shared_ptr<DocumentInteractionController> controllerFor(const std::filesystem::path& path) {
    auto controller = DocumentInteractionController::interactionControllerWithURL("file://" + path.string());
    controller->setUTI(kUTTypeMPEG4);
    return controller;
  }
  static std::vector<std::string> texts(View& root) {
    std::vector<std::string> found;
    for (auto& view : root.subviews()) {
      if (auto label = std::dynamic_pointer_cast<Label>(view)) found.push_back(label->text());
      for (auto& text : texts(*view)) found.push_back(text);
    }
    return found;
  }

  test::TemporaryDirectory dir_;
  std::filesystem::path file_;
};

TEST_F(DocumentInteractionTest, AnExistingFileShowsASheetNamingItOverTheWindow) {
  auto window = showWindow();
  auto controller = controllerFor(file_);
  EXPECT_EQ(controller->name(), "100001.mp4");

  ASSERT_TRUE(controller->presentOptionsMenu(Rect(10, 20, 30, 30), window->rootViewController()->view(), true));
  EXPECT_TRUE(controller->isMenuPresented());
  auto menu = window->viewWithAccessibilityIdentifier("document_options_menu");
  ASSERT_TRUE(menu);
  EXPECT_EQ(menu->frame(), window->bounds());
  const auto shown = texts(*menu);
  EXPECT_NE(std::find(shown.begin(), shown.end(), "100001.mp4"), shown.end());
  EXPECT_NE(std::find(shown.begin(), shown.end(), "MPEG-4 movie, 2.5 MB"), shown.end());

  ASSERT_EQ(DocumentInteractionController::presentations().size(), 1u);
  const auto& presented = DocumentInteractionController::presentations()[0];
  EXPECT_EQ(presented.url, "file://" + file_.string());
  EXPECT_EQ(presented.uti, kUTTypeMPEG4);
  EXPECT_EQ(presented.rect, Rect(10, 20, 30, 30));
}

TEST_F(DocumentInteractionTest, AMissingFileShowsNothingAndAnswersNo) {
  auto window = showWindow();
  auto controller = controllerFor(dir_.path() / "gone.mp4");
  EXPECT_FALSE(controller->presentOptionsMenu(Rect(), window->rootViewController()->view(), true));
  EXPECT_FALSE(controller->isMenuPresented());
  EXPECT_FALSE(window->viewWithAccessibilityIdentifier("document_options_menu"));
  EXPECT_TRUE(DocumentInteractionController::presentations().empty());
}

TEST_F(DocumentInteractionTest, CancelDismissalAndTheControllerGoingAllTakeTheSheetAway) {
  auto window = showWindow();
  auto controller = controllerFor(file_);
  ASSERT_TRUE(controller->presentOptionsMenu(Rect(), window->rootViewController()->view(), false));
  auto cancel = window->viewWithAccessibilityIdentifier("document_options_cancel");
  ASSERT_TRUE(cancel);
  driver().tap(*cancel);
  EXPECT_FALSE(controller->isMenuPresented());
  EXPECT_FALSE(window->viewWithAccessibilityIdentifier("document_options_menu"));

  ASSERT_TRUE(controller->presentOptionsMenu(Rect(), window->rootViewController()->view(), false));
  controller->dismissMenu(true);
  EXPECT_FALSE(window->viewWithAccessibilityIdentifier("document_options_menu"));

  // Presenting twice keeps one sheet; a controller that goes takes its sheet with it.
  ASSERT_TRUE(controller->presentOptionsMenu(Rect(), window->rootViewController()->view(), false));
  ASSERT_TRUE(controller->presentOptionsMenu(Rect(), window->rootViewController()->view(), false));
  int sheets = 0;
  for (auto& view : window->subviews()) sheets += view->accessibilityIdentifier() == "document_options_menu";
  EXPECT_EQ(sheets, 1);
  controller.reset();
  EXPECT_FALSE(window->viewWithAccessibilityIdentifier("document_options_menu"));
}

TEST_F(DocumentInteractionTest, AViewOutsideAnyWindowStillPresentsButDrawsNothing) {
  auto loose = std::make_shared<View>(Rect(0, 0, 100, 100));
  auto controller = controllerFor(file_);
  EXPECT_TRUE(controller->presentOptionsMenu(Rect(), loose, false));
  EXPECT_TRUE(controller->isMenuPresented());
  EXPECT_FALSE(controller->menuView());
}

}  // namespace
}  // namespace dk::platform::testing
