// The pieces the base screens stand on: the top-most screen search, the table view's section
// reloads, the network-lost panel, and the request executor's alerts on the top-most screen.
#include <gtest/gtest.h>

#include <atomic>

#include "foundation/color_codes.h"
#include "platform/dispatch/queue.h"
#include "platform/ui/alert_controller.h"
#include "platform/ui/navigation_controller.h"
#include "ui/screen_test_support.h"
#include "ui/fonts.h"
#include "ui/kl_network_connection_lost_view.h"
#include "ui/kl_table_view.h"
#include "ui/request_alerts.h"
#include "ui/top_most_view_controller.h"

namespace dk {
namespace {

using platform::ViewController;

class TopMost : public test::ScreenTest {};

TEST_F(TopMost, ARootWithNothingOverItIsItsOwnTopMostScreen) {
  EXPECT_EQ(topMostViewController(), nullptr) << "no key window yet";
  auto root = std::make_shared<ViewController>();
  showWindow(root);
  EXPECT_EQ(topMostViewController(), root);
  EXPECT_TRUE(isTopMostViewController(*root));
}

TEST_F(TopMost, TheSearchGoesThroughTabsNavigationAndPresentedScreens) {
  auto inside = std::make_shared<ViewController>();
  auto navigation = platform::NavigationController::withRoot(inside);
  auto other = std::make_shared<ViewController>();
  auto tabs = std::make_shared<platform::TabBarController>();
  tabs->setViewControllers({navigation, other});
  showWindow(tabs);
  EXPECT_EQ(topMostViewController(), inside);
  EXPECT_TRUE(isTopMostViewController(*inside));
  EXPECT_TRUE(isTopMostViewController(*tabs)) << "the tab bar controller holding it counts";
  EXPECT_FALSE(isTopMostViewController(*navigation));

  auto pushed = std::make_shared<ViewController>();
  navigation->pushViewController(pushed, false);
  driver().advance(0.6);
  EXPECT_EQ(topMostViewController(), pushed);

  auto presented = std::make_shared<ViewController>();
  pushed->presentViewController(presented, false);
  driver().advance(0.6);
  EXPECT_EQ(topMostViewController(), presented);
  EXPECT_FALSE(isTopMostViewController(*pushed));
  EXPECT_FALSE(isTopMostViewController(*tabs));

  tabs->setSelectedIndex(1);
  EXPECT_EQ(topMostViewController(), presented) << "the presentation covers every tab";
}

TEST_F(TopMost, AScreenEmbeddedInAContainersViewIsFound) {
  auto container = std::make_shared<ViewController>();
  showWindow(container);
  container->view()->addSubview(std::make_shared<platform::View>(platform::Rect(0, 0, 10, 10)));
  auto embedded = std::make_shared<ViewController>();
  container->addChildViewController(embedded);
  container->view()->addSubview(embedded->view());
  embedded->didMoveToParentViewController(container.get());
  EXPECT_EQ(topMostViewController(), embedded);
  EXPECT_FALSE(isTopMostViewController(*container));
}

TEST_F(TopMost, AskedFromAnotherThreadTheMainThreadAnswers) {
  auto root = std::make_shared<ViewController>();
  showWindow(root);
  std::shared_ptr<ViewController> answer;
  std::atomic<bool> done{false};
  platform::DispatchQueue::global()->async([&] {
    answer = topMostViewController();
    done = true;
  });
  ASSERT_TRUE(platform::MainRunLoop::runUntil([&] { return done.load(); }));
  EXPECT_EQ(answer, root);
}

// Three sections of rows; counts how often each section's rows were asked for.
class Sections : public platform::TableViewDataSource {
 public:
  std::vector<long> rows{3, 2, 4};
  std::vector<int> asked = std::vector<int>(3, 0);
  long numberOfSections(platform::TableView&) override { return static_cast<long>(rows.size()); }
  long numberOfRows(platform::TableView&, long section) override {
    ++asked[static_cast<size_t>(section)];
    return rows[static_cast<size_t>(section)];
  }
  std::shared_ptr<platform::TableViewCell> cellForRow(platform::TableView& table, platform::IndexPath path) override {
    return std::make_shared<platform::TableViewCell>();
  }
};

class TableReloads : public test::ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    showWindow();
    table_ = std::make_shared<KLTableView>(platform::Rect(0, 0, 375, 600));
    table_->setDataSource(source_);
    window_->rootViewController()->view()->addSubview(table_);
    table_->layoutIfNeeded();
    source_->asked.assign(3, 0);
  }
  std::shared_ptr<Sections> source_ = std::make_shared<Sections>();
  std::shared_ptr<KLTableView> table_;
};

TEST_F(TableReloads, OneSectionIsReloadedWithItsNewRows) {
  source_->rows[1] = 5;
  table_->reloadDataForSection(1);
  EXPECT_EQ(table_->numberOfRows(1), 5);
  EXPECT_EQ(source_->asked, (std::vector<int>{0, 1, 0}));
}

TEST_F(TableReloads, IndexesOutsideTheSectionsAreIgnored) {
  source_->rows[0] = 9;
  table_->reloadDataForSection(3);
  table_->reloadDataForSection(-1);
  driver().pump();
  EXPECT_EQ(source_->asked, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(table_->numberOfRows(0), 3);
}

TEST_F(TableReloads, FromAnotherThreadTheReloadWaitsForTheMainThread) {
  source_->rows[2] = 1;
  auto table = table_;
  platform::DispatchQueue::global()->async([table] { table->reloadDataForSection(2); });
  platform::MainRunLoop::runUntilIdle();
  EXPECT_EQ(table_->numberOfRows(2), 1);
}

TEST_F(TableReloads, ACellsSectionOrSectionZeroForACellNotShown) {
  auto shown = table_->cellForRow(platform::IndexPath::forRow(1, 1));
  ASSERT_TRUE(shown);
  table_->reloadDataForCell(shown);
  EXPECT_EQ(source_->asked, (std::vector<int>{0, 1, 0}));
  table_->reloadDataForCell(std::make_shared<platform::TableViewCell>());
  EXPECT_EQ(source_->asked, (std::vector<int>{1, 1, 0}));
}

class NetworkLost : public test::ScreenTest {};

TEST_F(NetworkLost, TheLightThemeIsTheDefaultAndTheDarkOneSuitsDarkScreens) {
  auto panel = KLNetworkConnectionLostView::make(platform::Rect(0, 0, 375, 420));
  auto content = panel->view();
  auto label = panel->noInternetConnectionLabel();
  auto image = panel->noConnectionImageView();
  ASSERT_TRUE(content && label && image && panel->refreshButton());
  EXPECT_EQ(content->backgroundColor(), Color::whiteColor());
  EXPECT_EQ(label->textColor(), darkColor());
  EXPECT_EQ(label->font(), XS_MediumTextFont());
  EXPECT_EQ(label->text(), "No internet connection");
  EXPECT_EQ(image->tintColor(), coolGreyColor());
  EXPECT_EQ(image->image()->renderingMode(), platform::ImageRenderingMode::AlwaysTemplate);

  panel->darkTheme();
  EXPECT_EQ(content->backgroundColor(), Color::clear());
  EXPECT_EQ(label->textColor(), Color::whiteColor());
  EXPECT_EQ(image->tintColor(), Color::whiteColor());
  panel->lightTheme();
  EXPECT_EQ(content->backgroundColor(), Color::whiteColor());
}

TEST_F(NetworkLost, TheContentFollowsThePanelsSize) {
  auto panel = KLNetworkConnectionLostView::make(platform::Rect(10, 20, 375, 420));
  panel->layoutIfNeeded();
  EXPECT_EQ(panel->view()->frame(), platform::Rect(0, 0, 375, 420));
  // Image over message over button, together in the middle of the panel.
  auto image = panel->noConnectionImageView()->frame();
  auto label = panel->noInternetConnectionLabel()->frame();
  auto button = panel->refreshButton()->frame();
  EXPECT_GT(image.minY(), 0);
  EXPECT_LT(image.maxY(), label.minY());
  EXPECT_GT(label.height(), 0);
  EXPECT_LT(label.maxY(), button.minY());
  EXPECT_LT(button.maxY(), 420);
  EXPECT_EQ(image.midX(), 375 / 2.0);
  EXPECT_EQ(button.midX(), 375 / 2.0);

  panel->configureViewWithSize({300, 500});
  panel->layoutIfNeeded();
  EXPECT_EQ(panel->frame(), platform::Rect(10, 20, 300, 500));
  EXPECT_EQ(panel->view()->frame(), platform::Rect(0, 0, 300, 500));
  EXPECT_EQ(panel->refreshButton()->frame().midX(), 150);
  EXPECT_EQ(panel->refreshButton()->frame().minY(), button.minY() + 40) << "the group stays centred";
}

TEST_F(NetworkLost, RefreshIsPostedForTheHost) {
  showWindow();
  auto panel = KLNetworkConnectionLostView::make(platform::Rect(0, 0, 375, 420));
  window_->rootViewController()->view()->addSubview(panel);
  int posted = 0;
  auto token = platform::NotificationCenter::defaultCenter().addObserver(
      kRefreshButtonTapped, [&](const platform::Notification& n) { posted += n.object ? 100 : 1; });
  driver().pump();  // the layout pass places the button
  driver().tap(*panel->refreshButton());
  EXPECT_EQ(posted, 1);
}

TEST_F(NetworkLost, TheMessageCanBeReplacedAndTheResetNeverReports) {
  auto panel = KLNetworkConnectionLostView::make(platform::Rect(0, 0, 375, 420));
  panel->setNoInternetConnectionText("Camera offline");
  panel->localizeStrings();
  EXPECT_EQ(panel->noInternetConnectionLabel()->text(), "Camera offline");
  panel->setNoInternetConnectionText(std::nullopt);
  panel->localizeStrings();
  EXPECT_EQ(panel->noInternetConnectionLabel()->text(), "No internet connection");

  int completed = 0;
  panel->resetContinueButtonWithAnimation(true, [&] { ++completed; });
  clock_.advance(2.0);
  EXPECT_EQ(completed, 0) << "the panel has no button to reset and never calls back";
}

class RequestAlerts : public test::ScreenTest {};

TEST_F(RequestAlerts, OnlyTheTitledAlertIsPresentedOnTheTopMostScreen) {
  auto root = std::make_shared<ViewController>();
  showWindow(root);
  auto sheet = std::make_shared<ViewController>();
  root->presentViewController(sheet, false);
  driver().advance(0.6);

  // The message-only and error alerts show nothing, from any thread.
  platform::DispatchQueue::global()->async([] { presentAlertViewOnErrorWithMessage("The request timed out."); });
  platform::MainRunLoop::runUntilIdle();
  presentAlertViewWithMessage("Saved");
  presentAlertViewOnErrorWithMessage("Saved");
  driver().advance(0.6);
  EXPECT_EQ(sheet->presentedViewController(), nullptr);

  platform::DispatchQueue::global()->async([] { showAlertWithTitle("Title", "Message"); });
  platform::MainRunLoop::runUntilIdle();
  driver().advance(0.6);
  auto alert = std::dynamic_pointer_cast<platform::AlertController>(sheet->presentedViewController());
  ASSERT_TRUE(alert);
  EXPECT_EQ(alert->alertTitle(), "Title");
  EXPECT_EQ(alert->message(), "Message");
  ASSERT_EQ(alert->actions().size(), 1u);
  EXPECT_EQ(alert->actions()[0]->title(), "OK");
  EXPECT_EQ(alert->actions()[0]->style(), platform::AlertAction::Style::Cancel);
  EXPECT_TRUE(alert->tapAction("OK"));
  driver().advance(0.6);
  EXPECT_EQ(sheet->presentedViewController(), nullptr);
}

TEST_F(RequestAlerts, WithoutAWindowNothingIsShown) {
  showAlertWithTitle("Title", "Message");
  driver().pump();  // shows a plain window first
  EXPECT_EQ(window_->rootViewController()->presentedViewController(), nullptr);
}

}  // namespace
}  // namespace dk
