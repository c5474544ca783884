// Picker wheels: code selection is silent, the user's is reported; a turned picker; row reuse.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/ui/label.h"
#include "platform/ui/picker_view.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

class Days : public PickerViewDataSource, public PickerViewDelegate {
 public:
  long rows = 30;
  double rowHeight = 40;
  std::vector<std::pair<long, long>> selections;  // (row, component)
  int reusedViews = 0;
  int componentQueries = 0;
  long numberOfComponents(PickerView&) override {
    ++componentQueries;
    return 1;
  }
  long numberOfRows(PickerView&, long) override { return rows; }
  std::optional<double> rowHeightForComponent(PickerView&, long) override { return rowHeight; }
  std::shared_ptr<View> viewForRow(PickerView&, long row, long, const std::shared_ptr<View>& reusing) override {
    auto label = std::dynamic_pointer_cast<Label>(reusing);
    if (label) {
      ++reusedViews;
    } else {
      label = std::make_shared<Label>();
    }
    label->setText("day " + std::to_string(row));
    return label;
  }
  void didSelectRow(PickerView&, long row, long component) override { selections.emplace_back(row, component); }
};

class PickerViewTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    showWindow();
    picker_ = std::make_shared<PickerView>(Rect(0, 100, 300, 200));
    days_ = std::make_shared<Days>();
    picker_->setDataSource(days_);
    picker_->setDelegate(days_);
    window_->rootViewController()->view()->addSubview(picker_);
    MainRunLoop::runUntilIdle();
  }
  std::shared_ptr<PickerView> picker_;
  std::shared_ptr<Days> days_;
};

TEST_F(PickerViewTest, SelectingInCodeDoesNotTellTheDelegate) {
  picker_->selectRow(5, 0, false);
  EXPECT_EQ(picker_->selectedRowInComponent(0), 5);
  picker_->selectRow(9, 0, true);
  EXPECT_EQ(picker_->selectedRowInComponent(0), 9);  // the answer changes at once
  ASSERT_TRUE(driver().settle());
  picker_->selectRow(500, 0, false);
  EXPECT_EQ(picker_->selectedRowInComponent(0), 29);  // limited to the rows there are
  EXPECT_TRUE(days_->selections.empty());
}

TEST_F(PickerViewTest, TheUserTurningTheWheelIsReportedOnceItSettles) {
  // Two rows up: the wheel moves the rows with the finger.
  driver().drag({150, 250}, {150, 250 - 80}, 0.3);
  EXPECT_TRUE(days_->selections.empty());
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(days_->selections, (std::vector<std::pair<long, long>>{{2, 0}}));
  EXPECT_EQ(picker_->selectedRowInComponent(0), 2);
  ASSERT_NE(picker_->viewForRow(2, 0), nullptr);
  EXPECT_EQ(UiTestDriver::centerOf(*picker_->viewForRow(2, 0)).y, 200);  // in the selection band
}

TEST_F(PickerViewTest, TappingARowTurnsTheWheelToIt) {
  driver().tap({150, 200 + 40});  // one row below the band
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(days_->selections, (std::vector<std::pair<long, long>>{{1, 0}}));
}

TEST_F(PickerViewTest, OnlyRowsOnScreenHaveViewsAndLeavingOnesAreReused) {
  picker_->layoutIfNeeded();
  EXPECT_NE(picker_->viewForRow(2, 0), nullptr);
  EXPECT_EQ(picker_->viewForRow(10, 0), nullptr);
  picker_->selectRow(20, 0, false);
  picker_->layoutIfNeeded();
  EXPECT_NE(picker_->viewForRow(20, 0), nullptr);
  EXPECT_EQ(picker_->viewForRow(2, 0), nullptr);
  EXPECT_GT(days_->reusedViews, 0);
}

TEST_F(PickerViewTest, TheSelectionIndicatorsAreHairlineSubviews) {
  picker_->layoutIfNeeded();
  int hairlines = 0;
  for (auto& v : picker_->subviews()) hairlines += v->frame().height() < 1.0 ? 1 : 0;
  EXPECT_EQ(hairlines, 2);
  const int before = days_->componentQueries;
  picker_->reloadAllComponents();
  EXPECT_EQ(days_->componentQueries, before + 1);
}

TEST_F(PickerViewTest, ATurnedPickerIsAHorizontalStrip) {
  // Turned a quarter clockwise and framed as a wide strip: its rows run from left to right.
  picker_->setTransform(AffineTransform::rotation(M_PI / 2));
  picker_->setFrame(Rect(0, 300, 375, 60));
  days_->rowHeight = 375 / 3.0;
  picker_->reloadAllComponents();
  picker_->layoutIfNeeded();
  EXPECT_NEAR(picker_->bounds().height(), 375, 1e-9);
  ASSERT_NE(picker_->viewForRow(1, 0), nullptr);
  // Row 0 sits in the middle; row 1 is the third to its left on screen.
  EXPECT_NEAR(UiTestDriver::centerOf(*picker_->viewForRow(0, 0)).x, 187.5, 1e-6);
  EXPECT_NEAR(UiTestDriver::centerOf(*picker_->viewForRow(1, 0)).x, 62.5, 1e-6);
  driver().drag({187, 330}, {187 + 250, 330}, 0.4);  // the finger pulls the strip right
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(days_->selections, (std::vector<std::pair<long, long>>{{2, 0}}));
}

TEST_F(PickerViewTest, WithoutRowsNothingIsSelected) {
  days_->rows = 0;
  picker_->reloadAllComponents();
  EXPECT_EQ(picker_->selectedRowInComponent(0), -1);
  EXPECT_EQ(picker_->selectedRowInComponent(3), -1);
  picker_->selectRow(2, 0, true);
  EXPECT_TRUE(driver().settle());
}

}  // namespace
}  // namespace dk::platform::testing
