// KLTimeRangeAdapter: turns a plain vertical table into a time axis. Every row is a fixed slice of
// time, the newest at the top, and the vertical scroll offset maps linearly to a Unix time.
//
// The adapter is the table's data source and delegate. It asks its own data source (the timeline
// data source) for the range of time and for the cells, and reports scrolling as times to its
// delegate (the timeline screen). It owns no recordings or events; it only knows times, rows and
// offsets. Data source and delegate are held weakly. Main thread only; the one deferred piece of
// work, the retry of a row-exact positioning while the table has no rows yet, runs on the main
// queue and is bounded.
#pragma once

#include <memory>
#include <optional>

#include "platform/foundation/object.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/table_view.h"
#include "timeline/kl_time_range.h"

namespace dk {

class KLTimeRangeAdapter;

// What the axis asks of the timeline's data. The range questions are optional
// ("startTimeInTimelineAdapter:", "endTimeInTimelineAdapter:", "rowTimeIntervalInTimelineAdapter:"),
// as is "tableView:didSelectTime:withXOffset:inTimelineAdapterTime:".
class KLTimeRangeAdapterDataSource : public virtual platform::Protocol {
 public:
  // tableView:cellForRowAtTimeRange:inTimelineAdapter:
  virtual std::shared_ptr<platform::TableViewCell> tableViewCellForRowAtTimeRange(platform::TableView& tableView,
                                                                                  KLTimeRange range,
                                                                                  KLTimeRangeAdapter& adapter) = 0;
  // tableView:updateCell:forRowAtTimeRange:inTimelineAdapter:
  virtual void tableViewUpdateCell(platform::TableView& tableView, platform::TableViewCell& cell, KLTimeRange range,
                                   KLTimeRangeAdapter& adapter) = 0;
  virtual double startTimeInTimelineAdapter(KLTimeRangeAdapter& adapter) { return 0; }
  virtual double endTimeInTimelineAdapter(KLTimeRangeAdapter& adapter) { return 0; }
  virtual double rowTimeIntervalInTimelineAdapter(KLTimeRangeAdapter& adapter) { return 0; }
  virtual void tableViewDidSelectTime(platform::TableView& tableView, double time, double xOffset,
                                      KLTimeRangeAdapter& adapter) {}
};

// Screen-side settings and scroll reports; every operation optional, spelt as
// "timelineOffsetInTimelineAdapter:", "minScrollTimeInTimelineAdapter:",
// "shouldPreventScrollInFutureInTimelineAdapter:", "timelineAdapter:didScrollToTime:",
// "timelineAdapter:didEndScrollingAtTime:", "timelineAdapter:willBeginScrollingAtTime:",
// "timelineAdapter:willDisplayCellForRowAtTimeRange:",
// "timelineAdapter:didEndDisplayingCellForRowAtTimeRange:".
class KLTimeRangeAdapterDelegate : public virtual platform::Protocol {
 public:
  virtual double timelineOffsetInTimelineAdapter(KLTimeRangeAdapter& adapter) { return 0; }
  virtual double minScrollTimeInTimelineAdapter(KLTimeRangeAdapter& adapter) { return 0; }
  virtual bool shouldPreventScrollInFutureInTimelineAdapter(KLTimeRangeAdapter& adapter) { return true; }
  virtual void timelineAdapterDidScrollToTime(KLTimeRangeAdapter& adapter, double time) {}
  virtual void timelineAdapterDidEndScrollingAtTime(KLTimeRangeAdapter& adapter, double time) {}
  virtual void timelineAdapterWillBeginScrollingAtTime(KLTimeRangeAdapter& adapter, double time) {}
  virtual void timelineAdapterWillDisplayCellForRowAtTimeRange(KLTimeRangeAdapter& adapter, KLTimeRange range) {}
  virtual void timelineAdapterDidEndDisplayingCellForRowAtTimeRange(KLTimeRangeAdapter& adapter, KLTimeRange range) {}
};

class KLTimeRangeAdapter : public platform::TableViewDataSource,
                           public platform::TableViewDelegate,
                           public std::enable_shared_from_this<KLTimeRangeAdapter> {
 public:
  // The most rows an axis has; a longer range starts later (see requestDataForAdapter).
  static constexpr double kMaxRows = 1e7;
  // How often, and how far apart, a row-exact positioning waits for the table's rows.
  static constexpr double kRowRetryInterval = 0.1;
  static constexpr int kMaxRowRetries = 50;

  KLTimeRangeAdapter() = default;

  void setDataSource(std::weak_ptr<KLTimeRangeAdapterDataSource> dataSource) { dataSource_ = std::move(dataSource); }
  std::shared_ptr<KLTimeRangeAdapterDataSource> dataSource() const { return dataSource_.lock(); }
  void setDelegate(std::weak_ptr<KLTimeRangeAdapterDelegate> delegate) { delegate_ = std::move(delegate); }
  std::shared_ptr<KLTimeRangeAdapterDelegate> delegate() const { return delegate_.lock(); }

  double startTime() const { return startTime_; }
  double endTime() const { return endTime_; }
  double scrollTime() const { return scrollTime_; }
  double rowTimeInterval() const { return rowTimeInterval_; }
  double timelineOffset() const { return timelineOffset_; }
  double minScrollTime() const { return minScrollTime_; }
  bool preventFromScrollInFuture() const { return preventFromScrollInFuture_; }
  bool ignoreDidScrollMessage() const { return ignoreDidScrollMessage_; }
  bool isScrolling() const { return isScrolling_; }
  bool shouldSkipTableViewScrollToTime() const { return shouldSkipTableViewScrollToTime_; }
  // Made on first use, with tapRecognized as its action.
  const std::shared_ptr<platform::TapGestureRecognizer>& tapRecognizer();

  // ---- the table's data source and delegate ----
  long numberOfSections(platform::TableView& tableView) override;
  long numberOfRows(platform::TableView& tableView, long section) override;
  std::shared_ptr<platform::TableViewCell> cellForRow(platform::TableView& tableView,
                                                      platform::IndexPath indexPath) override;
  std::optional<double> heightForHeader(platform::TableView& tableView, long section) override;
  std::optional<double> heightForFooter(platform::TableView& tableView, long section) override;
  void willDisplayCell(platform::TableView& tableView, platform::TableViewCell& cell,
                       platform::IndexPath indexPath) override;
  void didEndDisplayingCell(platform::TableView& tableView, platform::TableViewCell& cell,
                            platform::IndexPath indexPath) override;
  void scrollViewDidScroll(platform::ScrollView& scrollView) override;
  void scrollViewWillBeginDragging(platform::ScrollView& scrollView) override;
  void scrollViewWillBeginDecelerating(platform::ScrollView& scrollView) override;
  void scrollViewDidEndDragging(platform::ScrollView& scrollView, bool willDecelerate) override;
  void scrollViewDidEndDecelerating(platform::ScrollView& scrollView) override;
  void scrollViewDidEndScrollingAnimation(platform::ScrollView& scrollView) override;

  // ---- for the screen ----
  KLTimeRange timeRangeForIndexPath(platform::IndexPath indexPath) const;
  // The time at content offset y. Before the table is laid out (no scrollable height yet) every
  // offset reads as the top of the axis, so no NaN ever leaves the adapter.
  double timeAtScrollView(const platform::ScrollView& scrollView, double offset) const;
  KLTimeRange visibleTimeRangeAtTableView(const platform::TableView& tableView) const;
  // Positions by offset, limited to [minScrollTime, now or endTime].
  void scrollToTime(double time, platform::ScrollView& scrollView, bool animated);
  // The first time also lines the row up exactly, then only positions by offset.
  void scrollToTime(double time, platform::TableView& tableView, bool animated);
  void reloadTableView(platform::TableView& tableView, bool resetVelocity);
  void reloadRowAtTime(double time, platform::TableView& tableView);

  void tapRecognized(platform::GestureRecognizer& recognizer);

 private:
  void requestDataForAdapter();
  double scrollableHeight(const platform::ScrollView& scrollView) const;
  void reportWillBegin(platform::ScrollView& scrollView);
  void reportDidEnd(platform::ScrollView& scrollView);
  void scrollToTimeAtTableView(double time, std::weak_ptr<platform::TableView> table, bool animated, int attempt);

  std::weak_ptr<KLTimeRangeAdapterDataSource> dataSource_;
  std::weak_ptr<KLTimeRangeAdapterDelegate> delegate_;
  double startTime_ = 0;
  double endTime_ = 0;
  double scrollTime_ = 0;
  double rowTimeInterval_ = 0;
  double timelineOffset_ = 0;
  double minScrollTime_ = 0;
  bool preventFromScrollInFuture_ = false;
  bool ignoreDidScrollMessage_ = false;
  bool isScrolling_ = false;
  bool shouldSkipTableViewScrollToTime_ = false;
  bool snappingBack_ = false;
  std::shared_ptr<platform::TapGestureRecognizer> tapRecognizer_;
};

}  // namespace dk
