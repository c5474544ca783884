// Table view: only visible rows have cells, reuse, display callbacks, reloads, geometry, selection.
#include <gtest/gtest.h>

#include <set>

#include "platform/ui/table_view.h"
#include "platform/ui/ui_fixture.h"

namespace dk::platform::testing {
namespace {

class CountingCell : public TableViewCell {
 public:
  using TableViewCell::TableViewCell;
  int reuses = 0;
  void prepareForReuse() override { ++reuses; }
};

class Rows : public TableViewDataSource, public TableViewDelegate {
 public:
  long sections = 1;
  long rows = 1000000;
  std::optional<double> headerHeight, footerHeight;
  bool variableHeights = false;
  int cellsCreated = 0;
  int cellRequests = 0;
  int rowCountQueries = 0;
  std::vector<IndexPath> displayed, ended, selectedRows;
  CallLog log;

  long numberOfSections(TableView&) override { return sections; }
  long numberOfRows(TableView&, long) override {
    ++rowCountQueries;
    return rows;
  }
  std::shared_ptr<TableViewCell> cellForRow(TableView& table, IndexPath ip) override {
    ++cellRequests;
    auto cell = table.dequeueReusableCell("row", ip);
    cell->textLabel()->setText(std::to_string(ip.row));
    return cell;
  }
  std::optional<double> heightForRow(TableView&, IndexPath ip) override {
    if (!variableHeights) return std::nullopt;
    return ip.row % 2 == 0 ? 20.0 : 60.0;
  }
  std::optional<double> heightForHeader(TableView&, long) override { return headerHeight; }
  std::optional<double> heightForFooter(TableView&, long) override { return footerHeight; }
  void willDisplayCell(TableView&, TableViewCell&, IndexPath ip) override {
    displayed.push_back(ip);
    log.add("willDisplay");
  }
  void didEndDisplayingCell(TableView&, TableViewCell&, IndexPath ip) override { ended.push_back(ip); }
  void didSelectRow(TableView&, IndexPath ip) override { selectedRows.push_back(ip); }
  void scrollViewDidScroll(ScrollView&) override { log.add("didScroll"); }
  void scrollViewWillBeginDragging(ScrollView&) override { log.add("willBeginDragging"); }
  void scrollViewDidEndDragging(ScrollView&, bool) override { log.add("didEndDragging"); }
};

class TableViewTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    showWindow();
    table_ = std::make_shared<TableView>(Rect(0, 0, 320, 440));
    table_->registerCell("row", [this](const std::string& id) {
      ++rows_->cellsCreated;
      return std::make_shared<CountingCell>(id);
    });
    rows_ = std::make_shared<Rows>();
    table_->setDataSource(rows_);
    table_->setDelegate(rows_);
    window_->rootViewController()->view()->addSubview(table_);
    MainRunLoop::runUntilIdle();
  }
  std::set<long> visibleRowNumbers() {
    std::set<long> r;
    for (auto& ip : table_->indexPathsForVisibleRows()) r.insert(ip.row);
    return r;
  }

  std::shared_ptr<TableView> table_;
  std::shared_ptr<Rows> rows_;
};

TEST_F(TableViewTest, AMillionRowsHaveCellsOnlyWhereTheyAreSeen) {
  EXPECT_EQ(table_->contentSize().height, 44.0 * 1000000);
  EXPECT_EQ(visibleRowNumbers(), (std::set<long>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(rows_->cellsCreated, 10);
  table_->setContentOffset({0, 44.0 * 500000 + 22});
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(visibleRowNumbers(), (std::set<long>{500000, 500001, 500002, 500003, 500004, 500005, 500006, 500007,
                                                 500008, 500009, 500010}));
  EXPECT_EQ(table_->visibleCells().size(), 11u);
  EXPECT_LE(rows_->cellsCreated, 11);  // the first screen's cells came back
  EXPECT_EQ(table_->cellForRow({0, 3}), nullptr);
  ASSERT_NE(table_->cellForRow({0, 500004}), nullptr);
  EXPECT_EQ(table_->cellForRow({0, 500004})->textLabel()->text(), "500004");
  EXPECT_EQ(table_->cellForRow({0, 500004})->frame(), Rect(0, 44.0 * 500004, 320, 44));
}

TEST_F(TableViewTest, CellsLeavingTheScreenAreReusedAndReported) {
  auto first = table_->visibleCells();
  std::set<TableViewCell*> firstCells;
  for (auto& c : first) firstCells.insert(c.get());
  table_->setContentOffset({0, 44 * 100});
  MainRunLoop::runUntilIdle();
  int reused = 0;
  for (auto& c : table_->visibleCells()) {
    if (firstCells.count(c.get())) {
      ++reused;
      EXPECT_EQ(static_cast<CountingCell&>(*c).reuses, 1);
    }
  }
  EXPECT_EQ(reused, 10);
  // Every cell that left had been shown; what is shown now is what was shown and not ended.
  EXPECT_EQ(rows_->ended.size(), 10u);
  EXPECT_EQ(rows_->displayed.size() - rows_->ended.size(), table_->visibleCells().size());
  for (auto& ip : rows_->ended) EXPECT_LT(ip.row, 10);
}

TEST_F(TableViewTest, NewCellsAreShownOnTheLayoutPassAfterTheScroll) {
  rows_->log.take();
  driver().drag({160, 400}, {160, 300}, 0.3);
  auto calls = rows_->log.calls;
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "willBeginDragging");
  EXPECT_EQ(calls[1], "didScroll");
  const auto firstDisplay = std::find(calls.begin(), calls.end(), "willDisplay");
  ASSERT_NE(firstDisplay, calls.end());
  EXPECT_EQ(*(firstDisplay - 1), "didScroll");
  EXPECT_EQ(calls.back(), "didEndDragging");
  EXPECT_EQ(table_->contentOffset().y, 100);
  EXPECT_EQ(*visibleRowNumbers().begin(), 2);
  EXPECT_EQ(*visibleRowNumbers().rbegin(), 12);
}

TEST_F(TableViewTest, ReloadingAsksForTheCountsAtOnceAndTheCellsAtLayout) {
  const int queries = rows_->rowCountQueries;
  rows_->rows = 5;
  table_->reloadData();
  EXPECT_EQ(rows_->rowCountQueries, queries + 1);
  EXPECT_EQ(table_->numberOfRows(0), 5);
  EXPECT_EQ(table_->contentSize().height, 5 * 44);
  EXPECT_EQ(rows_->ended.size(), 10u);  // the old cells were reported as gone
  EXPECT_EQ(visibleRowNumbers(), (std::set<long>{0, 1, 2, 3, 4}));
}

TEST_F(TableViewTest, ReloadingOneRowReplacesOnlyItsCell) {
  table_->layoutIfNeeded();
  auto untouched = table_->cellForRow({0, 1});
  const int requests = rows_->cellRequests;
  table_->reloadRows({{0, 2}, {0, 900}});  // the second is off screen
  EXPECT_EQ(rows_->cellRequests, requests + 1);
  EXPECT_EQ(table_->cellForRow({0, 1}), untouched);
}

TEST_F(TableViewTest, ReloadingASectionInsideUpdatesReloadsAtTheEnd) {
  rows_->sections = 2;
  rows_->rows = 3;
  table_->reloadData();
  table_->layoutIfNeeded();
  const int requests = rows_->cellRequests;
  table_->beginUpdates();
  rows_->rows = 4;
  table_->reloadSections({1});
  EXPECT_EQ(rows_->cellRequests, requests);
  table_->endUpdates();
  EXPECT_EQ(rows_->cellRequests, requests + 4);
  EXPECT_EQ(table_->numberOfRows(0), 3);  // only the reloaded section was asked again
  EXPECT_EQ(table_->numberOfRows(1), 4);
}

TEST_F(TableViewTest, ScrollingToARowPlacesItAtTheTopMiddleOrBottom) {
  table_->scrollToRow({0, 100}, TableView::ScrollPosition::Top, false);
  EXPECT_EQ(table_->contentOffset().y, 4400);
  table_->scrollToRow({0, 100}, TableView::ScrollPosition::Middle, false);
  EXPECT_EQ(table_->contentOffset().y, 4400 + 22 - 220);
  table_->scrollToRow({0, 100}, TableView::ScrollPosition::Bottom, false);
  EXPECT_EQ(table_->contentOffset().y, 4400 + 44 - 440);
  table_->scrollToRow({0, 0}, TableView::ScrollPosition::Bottom, false);
  EXPECT_EQ(table_->contentOffset().y, 0);  // limited to the content
  table_->scrollToRow({0, 999999}, TableView::ScrollPosition::Top, true);
  ASSERT_TRUE(driver().settle());
  EXPECT_EQ(table_->contentOffset().y, 44.0 * 1000000 - 440);
}

TEST_F(TableViewTest, HeadersFootersAndRowHeightsShapeTheGeometry) {
  rows_->rows = 10;
  rows_->sections = 2;
  rows_->headerHeight = 30;
  rows_->footerHeight = 5;
  rows_->variableHeights = true;
  table_->reloadData();
  EXPECT_EQ(table_->rectForRow({0, 0}), Rect(0, 30, 320, 20));
  EXPECT_EQ(table_->rectForRow({0, 1}), Rect(0, 50, 320, 60));
  EXPECT_EQ(table_->rectForRow({1, 0}), Rect(0, 30 + 400 + 5 + 30, 320, 20));
  EXPECT_EQ(table_->contentSize().height, 2 * (30 + 400 + 5));
  EXPECT_EQ(table_->indexPathForRowAtPoint({10, 55}), (IndexPath{0, 1}));
  EXPECT_EQ(table_->indexPathForRowAtPoint({10, 10}), std::nullopt);  // on the header
  EXPECT_EQ(table_->indexPathForRowAtPoint({10, 466}), (IndexPath{1, 0}));
  EXPECT_EQ(table_->indexPathForRowAtPoint({10, 5000}), std::nullopt);
}

TEST_F(TableViewTest, TheSmallestPositiveHeaderIsNoHeader) {
  rows_->rows = 100;
  rows_->headerHeight = 2.2250738585072014e-308;
  rows_->footerHeight = 440 - 66;
  table_->reloadData();
  EXPECT_EQ(table_->rectForRow({0, 0}).minY(), 2.2250738585072014e-308);
  EXPECT_EQ(table_->contentSize().height, 100 * 44 + 374 + 2.2250738585072014e-308);
  EXPECT_EQ(table_->headerViewForSection(0), nullptr);
}

TEST_F(TableViewTest, ATapSelectsTheRowButADragDoesNot) {
  driver().tap({100, 44 * 3 + 10});
  EXPECT_EQ(rows_->selectedRows, (std::vector<IndexPath>{{0, 3}}));
  EXPECT_EQ(table_->indexPathForSelectedRow(), (IndexPath{0, 3}));
  EXPECT_TRUE(table_->cellForRow({0, 3})->isSelected());
  driver().drag({100, 300}, {100, 200}, 0.3);
  EXPECT_EQ(rows_->selectedRows.size(), 1u);
  table_->setAllowsSelection(false);
  driver().tap({100, 200});
  EXPECT_EQ(rows_->selectedRows.size(), 1u);
  EXPECT_EQ(table_->indexPathForSelectedRow(), std::nullopt);
}

TEST_F(TableViewTest, WithoutADataSourceThereIsNothing) {
  table_->setDataSource(std::weak_ptr<TableViewDataSource>());
  table_->reloadData();
  EXPECT_EQ(table_->numberOfSections(), 0);
  EXPECT_TRUE(table_->visibleCells().empty());
  EXPECT_EQ(table_->contentSize().height, 0);
}

TEST_F(TableViewTest, AnUnregisteredIdentifierGivesNoCell) {
  EXPECT_EQ(table_->dequeueReusableCell("nothing", {0, 0}), nullptr);
  EXPECT_EQ(table_->dequeueReusableCell("row"), nullptr);  // nothing waits for reuse yet
}

}  // namespace
}  // namespace dk::platform::testing
