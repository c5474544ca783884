// The time axis: rows and their ranges, offset to time and back, the visible window, the limits
// of scrolling, animated and row-exact positioning, taps, reloads and the guards before layout.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "platform/ui/table_view.h"
#include "timeline/kl_time_range_adapter.h"
#include "timeline_fixture.h"

namespace dk {
namespace {

using platform::IndexPath;
using platform::Point;
using platform::Rect;
using platform::TableView;
using platform::TableViewCell;

class FakeRows : public KLTimeRangeAdapterDataSource {
 public:
  bool offersRange = true;
  double start = 0, end = 0, row = 600;
  std::vector<KLTimeRange> updated;
  std::vector<std::pair<double, double>> selected;

  bool respondsToSelector(std::string_view s) const override {
    if (s == "tableView:didSelectTime:withXOffset:inTimelineAdapterTime:") return true;
    return offersRange && (s == "startTimeInTimelineAdapter:" || s == "endTimeInTimelineAdapter:" ||
                           s == "rowTimeIntervalInTimelineAdapter:");
  }
  std::shared_ptr<TableViewCell> tableViewCellForRowAtTimeRange(TableView& table, KLTimeRange,
                                                                KLTimeRangeAdapter&) override {
    return table.dequeueReusableCell("cell", IndexPath{});
  }
  void tableViewUpdateCell(TableView&, TableViewCell&, KLTimeRange range, KLTimeRangeAdapter&) override {
    updated.push_back(range);
  }
  double startTimeInTimelineAdapter(KLTimeRangeAdapter&) override { return start; }
  double endTimeInTimelineAdapter(KLTimeRangeAdapter&) override { return end; }
  double rowTimeIntervalInTimelineAdapter(KLTimeRangeAdapter&) override { return row; }
  void tableViewDidSelectTime(TableView&, double time, double x, KLTimeRangeAdapter&) override {
    selected.push_back({time, x});
  }
};

class FakeScreen : public KLTimeRangeAdapterDelegate {
 public:
  std::optional<double> offset, minTime;
  std::vector<double> scrolled, began, ended;
  std::vector<KLTimeRange> shown, hidden;

  bool respondsToSelector(std::string_view s) const override {
    if (s == "timelineOffsetInTimelineAdapter:") return offset.has_value();
    if (s == "minScrollTimeInTimelineAdapter:") return minTime.has_value();
    return s == "timelineAdapter:didScrollToTime:" || s == "timelineAdapter:willBeginScrollingAtTime:" ||
           s == "timelineAdapter:didEndScrollingAtTime:" || s == "timelineAdapter:willDisplayCellForRowAtTimeRange:" ||
           s == "timelineAdapter:didEndDisplayingCellForRowAtTimeRange:";
  }
  double timelineOffsetInTimelineAdapter(KLTimeRangeAdapter&) override { return *offset; }
  double minScrollTimeInTimelineAdapter(KLTimeRangeAdapter&) override { return *minTime; }
  void timelineAdapterDidScrollToTime(KLTimeRangeAdapter&, double t) override { scrolled.push_back(t); }
  void timelineAdapterWillBeginScrollingAtTime(KLTimeRangeAdapter&, double t) override { began.push_back(t); }
  void timelineAdapterDidEndScrollingAtTime(KLTimeRangeAdapter&, double t) override { ended.push_back(t); }
  void timelineAdapterWillDisplayCellForRowAtTimeRange(KLTimeRangeAdapter&, KLTimeRange r) override {
    shown.push_back(r);
  }
  void timelineAdapterDidEndDisplayingCellForRowAtTimeRange(KLTimeRangeAdapter&, KLTimeRange r) override {
    hidden.push_back(r);
  }
  bool allFinite() const {
    for (auto* list : {&scrolled, &began, &ended})
      for (double t : *list)
        if (!std::isfinite(t)) return false;
    return true;
  }
};

class KLTimeRangeAdapterTest : public test::TimelineUiTest {
 protected:
  static constexpr double kRowHeight = 100;

  void SetUp() override {
    TimelineUiTest::SetUp();
    now_ = platform::now();
    // Six hours of 600 s rows ending an hour after now: 36 rows, 3600 points of axis.
    rows_->end = now_ + 3600;
    rows_->start = rows_->end - 6 * 3600;
    table_ = std::make_shared<TableView>(Rect(0, 0, 320, 600));
    table_->setRowHeight(kRowHeight);
    table_->registerCell("cell", [](const std::string& id) { return std::make_shared<TableViewCell>(id); });
    adapter_->setDataSource(rows_);
    adapter_->setDelegate(screen_);
    table_->setDataSource(adapter_);
    table_->setDelegate(adapter_);
    root().addSubview(table_);
  }
  void reload() {
    adapter_->reloadTableView(*table_, false);
    table_->layoutIfNeeded();
  }
  double offsetForTime(double t) const {
    return (rows_->end - t) / (rows_->end - rows_->start) * (36 * kRowHeight);
  }

  double now_ = 0;
  std::shared_ptr<FakeRows> rows_ = std::make_shared<FakeRows>();
  std::shared_ptr<FakeScreen> screen_ = std::make_shared<FakeScreen>();
  std::shared_ptr<KLTimeRangeAdapter> adapter_ = std::make_shared<KLTimeRangeAdapter>();
  std::shared_ptr<TableView> table_;
};

TEST_F(KLTimeRangeAdapterTest, WithoutADataSourceTheTableIsEmpty) {
  adapter_->setDataSource(std::weak_ptr<KLTimeRangeAdapterDataSource>());
  reload();
  EXPECT_EQ(table_->numberOfSections(), 0);
  EXPECT_TRUE(table_->visibleCells().empty());
}

TEST_F(KLTimeRangeAdapterTest, WithoutRangeAnswersTheAxisIsTheLastDayInHours) {
  rows_->offersRange = false;
  reload();
  EXPECT_EQ(table_->numberOfRows(0), 24);
  EXPECT_EQ(adapter_->endTime(), now_);
  EXPECT_EQ(adapter_->startTime(), now_ - 86400);
  EXPECT_EQ(adapter_->rowTimeInterval(), 3600);
  EXPECT_EQ(adapter_->timeRangeForIndexPath(IndexPath::forRow(0, 0)), (KLTimeRange{now_ - 3600, 3600}));
  EXPECT_EQ(adapter_->timeRangeForIndexPath(IndexPath::forRow(23, 0)), (KLTimeRange{now_ - 86400, 3600}));
  EXPECT_FALSE(table_->allowsSelection());
}

TEST_F(KLTimeRangeAdapterTest, RowsAreNewestFirstSlicesOfTheDataSourcesRange) {
  reload();
  ASSERT_EQ(table_->numberOfRows(0), 36);
  EXPECT_EQ(adapter_->timeRangeForIndexPath(IndexPath::forRow(0, 0)), (KLTimeRange{rows_->end - 600, 600}));
  EXPECT_EQ(adapter_->timeRangeForIndexPath(IndexPath::forRow(35, 0)), (KLTimeRange{rows_->start, 600}));
  // The rows on screen were announced with their ranges.
  ASSERT_FALSE(screen_->shown.empty());
  EXPECT_EQ(screen_->shown.front(), (KLTimeRange{rows_->end - 600, 600}));
}

TEST_F(KLTimeRangeAdapterTest, NoOffsetMeansNoHeaderAndAFooterAsTallAsTheTable) {
  reload();
  EXPECT_EQ(adapter_->heightForHeader(*table_, 0), DBL_MIN);
  EXPECT_EQ(adapter_->heightForFooter(*table_, 0), 600);
  screen_->offset = 90;
  reload();
  EXPECT_EQ(adapter_->heightForHeader(*table_, 0), 90);
  EXPECT_EQ(adapter_->heightForFooter(*table_, 0), 510);
  // Rows plus header plus footer: the scrollable height is exactly the rows.
  EXPECT_EQ(table_->contentSize().height - table_->frame().size.height, 36 * kRowHeight);
}

TEST_F(KLTimeRangeAdapterTest, ARangeLongerThanTheRowCapStartsLaterSoOffsetsStillMatchTheRows) {
  struct Row {
    double rowInterval, start;
  };
  // Three-minute rows back to 1970, and hour rows forty million rows back.
  const Row rows[] = {{30, 0}, {3600, rows_->end - 4e7 * 3600}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.rowInterval);
    rows_->row = row.rowInterval;
    rows_->start = row.start;
    reload();
    const long count = table_->numberOfRows(0);
    ASSERT_EQ(count, 10'000'000);
    EXPECT_DOUBLE_EQ(adapter_->startTime(), rows_->end - count * row.rowInterval);
    EXPECT_EQ(adapter_->minScrollTime(), adapter_->startTime());
    // 600 points are six rows: the window holds six rows' time, and a row's top edge its end.
    adapter_->scrollToTime(now_ - 5 * 3600, static_cast<platform::ScrollView&>(*table_), false);
    EXPECT_NEAR(adapter_->visibleTimeRangeAtTableView(*table_).duration, 6 * row.rowInterval, 1e-3);
    const long last = count - 1;
    const KLTimeRange oldest = adapter_->timeRangeForIndexPath(IndexPath::forRow(last, 0));
    EXPECT_NEAR(adapter_->timeAtScrollView(*table_, last * kRowHeight), oldest.start + oldest.duration, 1e-3);
    EXPECT_NEAR(adapter_->timeAtScrollView(*table_, count * kRowHeight), oldest.start, 1e-3);
  }
}

TEST_F(KLTimeRangeAdapterTest, AMinimumBeforeTheAxisStartIsRaisedToIt) {
  screen_->minTime = rows_->start - 5000;
  reload();
  EXPECT_EQ(adapter_->minScrollTime(), rows_->start);
  screen_->minTime = rows_->start + 3600;
  reload();
  EXPECT_EQ(adapter_->minScrollTime(), rows_->start + 3600);
}

TEST_F(KLTimeRangeAdapterTest, PositioningPutsTheTimeAtTheOffsetAndReadsItBack) {
  reload();
  const double t = now_ - 2 * 3600 - 150;
  adapter_->scrollToTime(t, static_cast<platform::ScrollView&>(*table_), false);
  EXPECT_DOUBLE_EQ(table_->contentOffset().y, offsetForTime(t));
  EXPECT_DOUBLE_EQ(adapter_->timeAtScrollView(*table_, table_->contentOffset().y), t);
  EXPECT_DOUBLE_EQ(adapter_->scrollTime(), t);
  ASSERT_FALSE(screen_->scrolled.empty());
  EXPECT_DOUBLE_EQ(screen_->scrolled.back(), t);
}

TEST_F(KLTimeRangeAdapterTest, TheVisibleWindowSpansTheScreenAroundTheTimeLine) {
  screen_->offset = 90;
  reload();
  const double t = now_ - 3 * 3600;
  adapter_->scrollToTime(t, static_cast<platform::ScrollView&>(*table_), false);
  const KLTimeRange window = adapter_->visibleTimeRangeAtTableView(*table_);
  // 600 points are six rows, one hour; 90 of them lie above the time line.
  EXPECT_NEAR(window.duration, 3600, 1e-6);
  EXPECT_NEAR(window.end(), t + 90 * 6, 1e-6);
  EXPECT_NEAR(window.start, t - 510 * 6, 1e-6);
}

TEST_F(KLTimeRangeAdapterTest, ScrollingIntoTheFutureSnapsBackToNow) {
  reload();
  table_->setContentOffset({0, 100});  // 50 minutes after now
  EXPECT_NEAR(table_->contentOffset().y, offsetForTime(now_), 1e-9);
  ASSERT_FALSE(screen_->scrolled.empty());
  EXPECT_EQ(screen_->scrolled.back(), now_);
  EXPECT_EQ(adapter_->scrollTime(), now_);
  // A requested time after now is limited too.
  adapter_->scrollToTime(now_ + 1800, static_cast<platform::ScrollView&>(*table_), false);
  EXPECT_EQ(adapter_->scrollTime(), now_);
}

TEST_F(KLTimeRangeAdapterTest, ScrollingBeforeTheMinimumSnapsBackToIt) {
  screen_->minTime = rows_->start + 3600;
  reload();
  table_->setContentOffset({0, 36 * kRowHeight});  // the axis start
  EXPECT_EQ(screen_->scrolled.back(), rows_->start + 3600);
  adapter_->scrollToTime(rows_->start, static_cast<platform::ScrollView&>(*table_), false);
  EXPECT_EQ(adapter_->scrollTime(), rows_->start + 3600);
}

TEST_F(KLTimeRangeAdapterTest, AnAnimatedMoveOfHalfAPointOrLessIsDoneAtOnce) {
  reload();
  const double t = now_ - 3600;
  adapter_->scrollToTime(t, static_cast<platform::ScrollView&>(*table_), false);
  screen_->began.clear();
  // 0.5 point is 3 seconds on this axis.
  const double nudged = t - 2.9;
  adapter_->scrollToTime(nudged, static_cast<platform::ScrollView&>(*table_), true);
  EXPECT_TRUE(screen_->began.empty());
  EXPECT_EQ(adapter_->scrollTime(), nudged);
  EXPECT_FALSE(adapter_->isScrolling());
}

TEST_F(KLTimeRangeAdapterTest, ALongerAnimatedMoveReportsItsBeginAndLeavesTheTimeToItsEnd) {
  reload();
  const double from = now_ - 3600;
  adapter_->scrollToTime(from, static_cast<platform::ScrollView&>(*table_), false);
  screen_->scrolled.clear();
  const double to = now_ - 2 * 3600;
  adapter_->scrollToTime(to, static_cast<platform::ScrollView&>(*table_), true);
  ASSERT_EQ(screen_->began.size(), 1u);
  EXPECT_DOUBLE_EQ(screen_->began[0], from);
  EXPECT_TRUE(adapter_->isScrolling());
  EXPECT_EQ(adapter_->scrollTime(), from);
  driver().settle();
  EXPECT_NEAR(adapter_->scrollTime(), to, 1e-6);
  ASSERT_EQ(screen_->ended.size(), 1u);
  EXPECT_NEAR(screen_->ended[0], to, 1e-6);
  EXPECT_FALSE(adapter_->isScrolling());
}

TEST_F(KLTimeRangeAdapterTest, RowExactPositioningHappensOnceThenOnlyByOffset) {
  reload();
  const double t = now_ - 4 * 3600 - 250;
  adapter_->scrollToTime(t, *table_, false);
  EXPECT_TRUE(adapter_->shouldSkipTableViewScrollToTime());
  EXPECT_NEAR(adapter_->timeAtScrollView(*table_, table_->contentOffset().y), t, 1e-6);
  ASSERT_EQ(screen_->ended.size(), 1u);
  EXPECT_NEAR(screen_->ended[0], t, 1e-6);
  adapter_->scrollToTime(t + 600, *table_, false);
  EXPECT_EQ(screen_->ended.size(), 1u);
  EXPECT_NEAR(adapter_->scrollTime(), t + 600, 1e-6);
}

TEST_F(KLTimeRangeAdapterTest, RowExactPositioningOutsideTheRowsLinesUpTheNearestRow) {
  reload();
  // More than a row after the axis end would be a negative row; it is the first row instead.
  adapter_->scrollToTime(rows_->end + 5000, *table_, false);
  EXPECT_TRUE(adapter_->shouldSkipTableViewScrollToTime());
  EXPECT_EQ(adapter_->scrollTime(), now_);
  EXPECT_NEAR(table_->contentOffset().y, offsetForTime(now_), 1e-6);

  auto other = std::make_shared<KLTimeRangeAdapter>();
  other->setDataSource(rows_);
  table_->setDataSource(other);
  table_->setDelegate(other);
  other->reloadTableView(*table_, false);
  other->scrollToTime(rows_->start - 5000, *table_, false);
  EXPECT_TRUE(other->shouldSkipTableViewScrollToTime());
  EXPECT_EQ(other->scrollTime(), rows_->start);
}

TEST_F(KLTimeRangeAdapterTest, RowExactPositioningWaitsForRowsButNotForEver) {
  rows_->end = rows_->start;  // no rows yet
  reload();
  ASSERT_EQ(table_->numberOfRows(0), 0);
  adapter_->scrollToTime(now_ - 3600, *table_, false);
  clock_.advance(0.35);
  EXPECT_FALSE(adapter_->shouldSkipTableViewScrollToTime());
  // The rows arrive: the next retry finds them.
  rows_->end = now_ + 3600;
  reload();
  clock_.advance(0.1);
  EXPECT_TRUE(adapter_->shouldSkipTableViewScrollToTime());
  EXPECT_NEAR(adapter_->scrollTime(), now_ - 3600, 1e-6);
}

TEST_F(KLTimeRangeAdapterTest, RowExactPositioningGivesUpWhenRowsNeverCome) {
  rows_->end = rows_->start;
  reload();
  adapter_->scrollToTime(now_ - 3600, *table_, false);
  for (int i = 0; i < 2 * KLTimeRangeAdapter::kMaxRowRetries; ++i) clock_.advance(KLTimeRangeAdapter::kRowRetryInterval);
  EXPECT_FALSE(adapter_->shouldSkipTableViewScrollToTime());
  EXPECT_TRUE(screen_->ended.empty());
  // Nothing is left waiting on the clock.
  EXPECT_EQ(platform::MainRunLoop::runPending(), 0);
  clock_.advance(60);
  EXPECT_TRUE(screen_->ended.empty());
}

TEST_F(KLTimeRangeAdapterTest, BeforeLayoutNoTimeIsNaN) {
  auto bare = std::make_shared<TableView>(Rect(0, 0, 320, 0));
  // Nothing loaded: no content, no height.
  const double t = adapter_->timeAtScrollView(*bare, 0);
  EXPECT_TRUE(std::isfinite(t));
  EXPECT_TRUE(std::isfinite(adapter_->timeAtScrollView(*bare, 250)));
  const KLTimeRange window = adapter_->visibleTimeRangeAtTableView(*bare);
  EXPECT_TRUE(std::isfinite(window.start));
  EXPECT_TRUE(std::isfinite(window.duration));

  // A table whose content is not taller than its frame yet.
  rows_->end = rows_->start;
  reload();
  adapter_->scrollToTime(now_ - 600, static_cast<platform::ScrollView&>(*table_), false);
  table_->setContentOffset({0, 40});
  adapter_->scrollViewDidEndDecelerating(*table_);
  EXPECT_TRUE(std::isfinite(adapter_->scrollTime()));
  EXPECT_TRUE(screen_->allFinite());
}

TEST_F(KLTimeRangeAdapterTest, NonFiniteAnswersFallBackToTheDefaults) {
  rows_->end = NAN;
  screen_->offset = INFINITY;
  screen_->minTime = NAN;
  reload();
  EXPECT_EQ(adapter_->endTime(), now_);
  EXPECT_EQ(adapter_->timelineOffset(), 0);
  EXPECT_TRUE(std::isfinite(adapter_->minScrollTime()));
  table_->setContentOffset({0, 120});
  EXPECT_TRUE(screen_->allFinite());
}

TEST_F(KLTimeRangeAdapterTest, APositionTakenBeforeLayoutIsAppliedByTheResetReload) {
  auto early = std::make_shared<TableView>(Rect(0, 0, 320, 600));
  early->setRowHeight(kRowHeight);
  early->registerCell("cell", [](const std::string& id) { return std::make_shared<TableViewCell>(id); });
  early->setDataSource(adapter_);
  early->setDelegate(adapter_);
  root().addSubview(early);
  const double t = now_ - 7200;
  // Not loaded yet: the adapter has no range, so only the wish is kept.
  adapter_->reloadTableView(*early, false);
  adapter_->scrollToTime(t, static_cast<platform::ScrollView&>(*early), false);
  adapter_->reloadTableView(*early, true);
  EXPECT_NEAR(adapter_->timeAtScrollView(*early, early->contentOffset().y), t, 1e-6);
}

TEST_F(KLTimeRangeAdapterTest, ATapReportsTheTimeUnderTheFingerAndItsX) {
  screen_->offset = 90;
  reload();
  adapter_->scrollToTime(now_ - 3600, static_cast<platform::ScrollView&>(*table_), false);
  driver().tap(Point{200, 290});
  ASSERT_EQ(rows_->selected.size(), 1u);
  // 200 points below the time line are 200 x 6 seconds earlier.
  EXPECT_NEAR(rows_->selected[0].first, now_ - 3600 - 1200, 1e-6);
  EXPECT_EQ(rows_->selected[0].second, 200);
}

TEST_F(KLTimeRangeAdapterTest, ATapOnAViewThatIsNoTableDoesNothing) {
  reload();
  auto plain = std::make_shared<platform::View>(Rect(0, 0, 100, 100));
  root().addSubview(plain);
  auto tap = std::make_shared<platform::TapGestureRecognizer>();
  tap->addTarget(adapter_, &KLTimeRangeAdapter::tapRecognized);
  plain->addGestureRecognizer(tap);
  driver().tap(Point{50, 50});
  EXPECT_TRUE(rows_->selected.empty());
}

TEST_F(KLTimeRangeAdapterTest, RedrawingOneRowUpdatesOnlyTheRowHoldingTheTime) {
  reload();
  adapter_->scrollToTime(now_ - 1800, static_cast<platform::ScrollView&>(*table_), false);
  table_->layoutIfNeeded();
  // The time line is at the top: the rows on screen hold the hour before now - 1800.
  adapter_->reloadRowAtTime(now_ - 2000, *table_);
  ASSERT_EQ(rows_->updated.size(), 1u);
  EXPECT_LE(rows_->updated[0].start, now_ - 2000);
  EXPECT_GT(rows_->updated[0].end(), now_ - 2000);
  // A time on no visible row redraws nothing.
  adapter_->reloadRowAtTime(rows_->start + 10, *table_);
  EXPECT_EQ(rows_->updated.size(), 1u);
}

TEST_F(KLTimeRangeAdapterTest, DragsReportBeginAndEndWithLimitedTimes) {
  reload();
  adapter_->scrollToTime(now_ - 3600, static_cast<platform::ScrollView&>(*table_), false);
  screen_->began.clear();
  screen_->ended.clear();
  // Dragging down moves towards the future, past now.
  driver().drag(Point{160, 200}, Point{160, 600}, 0.5);
  driver().settle();
  ASSERT_EQ(screen_->began.size(), 1u);
  ASSERT_GE(screen_->ended.size(), 1u);
  EXPECT_LE(screen_->ended.back(), now_);
  EXPECT_FALSE(adapter_->isScrolling());
  for (double t : screen_->scrolled) EXPECT_LE(t, now_);
}

TEST_F(KLTimeRangeAdapterTest, AnAnimatedMoveOfMoreThanHalfAPointAnimatesAndReportsItsBegin) {
  reload();
  const double t = now_ - 3600;
  adapter_->scrollToTime(t, static_cast<platform::ScrollView&>(*table_), false);
  screen_->began.clear();
  screen_->ended.clear();
  // One point is 6 seconds on this axis: small, yet a move the user sees.
  adapter_->scrollToTime(t - 6, static_cast<platform::ScrollView&>(*table_), true);
  ASSERT_EQ(screen_->began.size(), 1u);
  EXPECT_TRUE(adapter_->isScrolling());
  driver().settle();
  EXPECT_NEAR(adapter_->scrollTime(), t - 6, 1e-6);
  ASSERT_EQ(screen_->ended.size(), 1u);
  EXPECT_FALSE(adapter_->isScrolling());
}

TEST_F(KLTimeRangeAdapterTest, AScrollThatEndsInTheFutureReportsNowAsItsEnd) {
  reload();
  adapter_->scrollToTime(now_ - 3600, static_cast<platform::ScrollView&>(*table_), false);
  screen_->ended.clear();
  // The content left half an hour in the future when the deceleration stops (a bounce), unseen
  // by the adapter until then.
  table_->setDelegate(std::weak_ptr<platform::TableViewDelegate>());
  table_->setContentOffset({0, offsetForTime(now_ + 1800)}, false);
  table_->setDelegate(adapter_);
  adapter_->scrollViewDidEndDecelerating(*table_);
  ASSERT_EQ(screen_->ended.size(), 1u);
  EXPECT_DOUBLE_EQ(screen_->ended[0], now_);
}

TEST_F(KLTimeRangeAdapterTest, CatchingTheDeceleratingStripBeginsNoNewScroll) {
  reload();
  adapter_->scrollToTime(now_ - 3 * 3600, static_cast<platform::ScrollView&>(*table_), false);
  screen_->began.clear();
  screen_->ended.clear();
  driver().fling(Point{160, 500}, Point{160, 200});
  ASSERT_TRUE(table_->isDecelerating());
  const size_t begunByTheFling = screen_->began.size();
  ASSERT_GE(begunByTheFling, 1u);
  // The finger catches the moving strip and drags on: still the same scroll.
  driver().drag(Point{160, 400}, Point{160, 300}, 0.3);
  driver().settle();
  EXPECT_EQ(screen_->began.size(), begunByTheFling);
  EXPECT_GE(screen_->ended.size(), 1u);
  EXPECT_FALSE(adapter_->isScrolling());
}

}  // namespace
}  // namespace dk
