#include "timeline/kl_time_range_adapter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "platform/dispatch/clock.h"
#include "platform/ui/main_thread.h"

namespace dk {

using platform::IndexPath;
using platform::ScrollView;
using platform::TableView;
using platform::TableViewCell;

const std::shared_ptr<platform::TapGestureRecognizer>& KLTimeRangeAdapter::tapRecognizer() {
  if (!tapRecognizer_) {
    tapRecognizer_ = std::make_shared<platform::TapGestureRecognizer>();
    std::weak_ptr<KLTimeRangeAdapter> weak = weak_from_this();
    tapRecognizer_->addTarget(this, [weak](platform::GestureRecognizer& g) {
      if (g.state() != platform::kGestureRecognized) return;
      if (auto self = weak.lock()) self->tapRecognized(g);
    });
  }
  return tapRecognizer_;
}

void KLTimeRangeAdapter::requestDataForAdapter() {
  auto source = dataSource();
  auto screen = delegate();
  endTime_ = source && source->respondsToSelector("endTimeInTimelineAdapter:") ? source->endTimeInTimelineAdapter(*this)
                                                                                : platform::now();
  startTime_ = source && source->respondsToSelector("startTimeInTimelineAdapter:")
                   ? source->startTimeInTimelineAdapter(*this)
                   : endTime_ - 86400;
  rowTimeInterval_ = source && source->respondsToSelector("rowTimeIntervalInTimelineAdapter:")
                         ? source->rowTimeIntervalInTimelineAdapter(*this)
                         : 3600;
  // A non-finite answer would spread NaN into every offset and time: take the defaults instead.
  if (!std::isfinite(endTime_)) endTime_ = platform::now();
  if (!std::isfinite(startTime_)) startTime_ = endTime_ - 86400;
  // Offsets map to times over the whole range, so an axis longer than the rows a table can hold
  // is shortened at its old end: every row drawn keeps its own slice of time.
  if (rowTimeInterval_ > 0 && std::isfinite(rowTimeInterval_) &&
      (endTime_ - startTime_) / rowTimeInterval_ > kMaxRows)
    startTime_ = endTime_ - kMaxRows * rowTimeInterval_;
  minScrollTime_ = screen && screen->respondsToSelector("minScrollTimeInTimelineAdapter:")
                       ? screen->minScrollTimeInTimelineAdapter(*this)
                       : startTime_;
  if (!std::isfinite(minScrollTime_)) minScrollTime_ = startTime_;
  minScrollTime_ = std::max(minScrollTime_, startTime_);
  preventFromScrollInFuture_ = screen && screen->respondsToSelector("shouldPreventScrollInFutureInTimelineAdapter:")
                                   ? screen->shouldPreventScrollInFutureInTimelineAdapter(*this)
                                   : true;
  timelineOffset_ = screen && screen->respondsToSelector("timelineOffsetInTimelineAdapter:")
                        ? screen->timelineOffsetInTimelineAdapter(*this)
                        : 0;
  if (!std::isfinite(timelineOffset_)) timelineOffset_ = 0;
}

long KLTimeRangeAdapter::numberOfSections(TableView&) { return dataSource() ? 1 : 0; }

long KLTimeRangeAdapter::numberOfRows(TableView& tableView, long) {
  const auto& tap = tapRecognizer();
  const auto& present = tableView.gestureRecognizers();
  if (std::find(present.begin(), present.end(), tap) == present.end()) tableView.addGestureRecognizer(tap);
  tableView.setAllowsSelection(false);
  requestDataForAdapter();
  // A zero, negative or non-finite row length or range gives no rows rather than a wild count.
  const double rows = std::ceil((endTime_ - startTime_) / rowTimeInterval_);
  if (!(rowTimeInterval_ > 0) || !std::isfinite(rows) || rows <= 0) return 0;
  return static_cast<long>(std::min(rows, kMaxRows));
}

std::shared_ptr<TableViewCell> KLTimeRangeAdapter::cellForRow(TableView& tableView, IndexPath indexPath) {
  auto source = dataSource();
  std::shared_ptr<TableViewCell> cell;
  if (source) cell = source->tableViewCellForRowAtTimeRange(tableView, timeRangeForIndexPath(indexPath), *this);
  return cell ? cell : std::make_shared<TableViewCell>();
}

std::optional<double> KLTimeRangeAdapter::heightForHeader(TableView&, long) {
  // The smallest positive normal double is the table's "no header".
  return timelineOffset_ > 0 ? timelineOffset_ : DBL_MIN;
}

std::optional<double> KLTimeRangeAdapter::heightForFooter(TableView& tableView, long) {
  return tableView.frame().size.height - timelineOffset_;
}

void KLTimeRangeAdapter::willDisplayCell(TableView&, TableViewCell&, IndexPath indexPath) {
  auto screen = delegate();
  if (screen && screen->respondsToSelector("timelineAdapter:willDisplayCellForRowAtTimeRange:"))
    screen->timelineAdapterWillDisplayCellForRowAtTimeRange(*this, timeRangeForIndexPath(indexPath));
}

void KLTimeRangeAdapter::didEndDisplayingCell(TableView&, TableViewCell&, IndexPath indexPath) {
  auto screen = delegate();
  if (screen && screen->respondsToSelector("timelineAdapter:didEndDisplayingCellForRowAtTimeRange:"))
    screen->timelineAdapterDidEndDisplayingCellForRowAtTimeRange(*this, timeRangeForIndexPath(indexPath));
}

KLTimeRange KLTimeRangeAdapter::timeRangeForIndexPath(IndexPath indexPath) const {
  return {endTime_ - rowTimeInterval_ * static_cast<double>(indexPath.row + 1), rowTimeInterval_};
}

double KLTimeRangeAdapter::scrollableHeight(const ScrollView& scrollView) const {
  return scrollView.contentSize().height - scrollView.frame().size.height;
}

double KLTimeRangeAdapter::timeAtScrollView(const ScrollView& scrollView, double offset) const {
  const double height = scrollableHeight(scrollView);
  // Before layout the content is no taller than the view: there is nothing to divide by.
  if (!(height > 0) || !std::isfinite(height) || !std::isfinite(offset)) return endTime_;
  return endTime_ - offset / height * (endTime_ - startTime_);
}

KLTimeRange KLTimeRangeAdapter::visibleTimeRangeAtTableView(const TableView& tableView) const {
  const double y = tableView.contentOffset().y;
  const double h = tableView.frame().size.height;
  const double start = timeAtScrollView(tableView, y - timelineOffset_ + h);
  return {start, timeAtScrollView(tableView, y - timelineOffset_) - start};
}

void KLTimeRangeAdapter::scrollToTime(double time, ScrollView& scrollView, bool animated) {
  if (endTime_ == startTime_ || !std::isfinite(time)) return;
  const double upper = preventFromScrollInFuture_ ? platform::now() : endTime_;
  const double limited = std::min(std::max(minScrollTime_, time), upper);
  const double height = scrollableHeight(scrollView);
  if (!(height > 0)) {
    // Not laid out yet: remember the time; a reset reload positions the table there.
    scrollTime_ = limited;
    return;
  }
  const double y = (endTime_ - limited) / (endTime_ - startTime_) * height;
  scrollView.setContentOffset({0, y}, animated);
  if (animated && std::fabs(scrollView.contentOffset().y - y) > 0.5) {
    reportWillBegin(scrollView);
    return;
  }
  scrollTime_ = limited;
}

void KLTimeRangeAdapter::scrollToTime(double time, TableView& tableView, bool animated) {
  scrollToTimeAtTableView(time, std::static_pointer_cast<TableView>(tableView.shared_from_this()), animated, 0);
}

void KLTimeRangeAdapter::scrollToTimeAtTableView(double time, std::weak_ptr<TableView> weakTable, bool animated,
                                                 int attempt) {
  auto table = weakTable.lock();
  if (!table || !std::isfinite(time)) return;
  scrollToTime(time, static_cast<ScrollView&>(*table), animated);
  if (shouldSkipTableViewScrollToTime_) return;

  const long rows = table->numberOfSections() > 0 ? table->numberOfRows(0) : 0;
  if (rows <= 0) {
    // The rows are not loaded yet: look again shortly, but not for ever.
    if (attempt >= kMaxRowRetries) return;
    std::weak_ptr<KLTimeRangeAdapter> weak = weak_from_this();
    platform::runOnMainAfter(kRowRetryInterval, [weak, weakTable, time, animated, attempt] {
      if (auto self = weak.lock()) self->scrollToTimeAtTableView(time, weakTable, animated, attempt + 1);
    });
    return;
  }
  // A time after the axis end or before its start lines up the first or last row.
  const double upper = preventFromScrollInFuture_ ? platform::now() : endTime_;
  const double target = std::min(std::max(minScrollTime_, time), upper);
  const double rawRow = std::floor((endTime_ - time) / rowTimeInterval_);
  const long row = static_cast<long>(std::clamp(std::isfinite(rawRow) ? rawRow : 0.0, 0.0, double(rows - 1)));
  const IndexPath indexPath = IndexPath::forRow(row, 0);

  const auto visible = table->indexPathsForVisibleRows();
  if (std::find(visible.begin(), visible.end(), indexPath) == visible.end())
    table->scrollToRow(indexPath, TableView::ScrollPosition::Top, false);
  auto cell = table->cellForRow(indexPath);
  const double cellHeight = cell ? cell->frame().size.height : 0;
  const platform::Point offset = table->contentOffset();
  const double y = offset.y + (timeAtScrollView(*table, offset.y) - target) * cellHeight / rowTimeInterval_;
  table->setContentOffset({offset.x, y}, false);
  reportDidEnd(*table);
  shouldSkipTableViewScrollToTime_ = true;
}

void KLTimeRangeAdapter::scrollViewDidScroll(ScrollView& scrollView) {
  // The snap-back below moves the offset again; that move is reported by this call, once.
  if (ignoreDidScrollMessage_ || snappingBack_) return;
  double time = timeAtScrollView(scrollView, scrollView.contentOffset().y);
  const double now = platform::now();
  snappingBack_ = true;
  if (preventFromScrollInFuture_ && time > now) {
    scrollToTime(now, scrollView, false);
    time = now;
  }
  if (minScrollTime_ > time) {
    scrollToTime(minScrollTime_, scrollView, false);
    time = minScrollTime_;
  }
  snappingBack_ = false;
  auto screen = delegate();
  if (screen && screen->respondsToSelector("timelineAdapter:didScrollToTime:")) {
    scrollTime_ = time;
    screen->timelineAdapterDidScrollToTime(*this, time);
  }
}

void KLTimeRangeAdapter::reportWillBegin(ScrollView& scrollView) {
  auto screen = delegate();
  if (screen && screen->respondsToSelector("timelineAdapter:willBeginScrollingAtTime:"))
    screen->timelineAdapterWillBeginScrollingAtTime(*this, timeAtScrollView(scrollView, scrollView.contentOffset().y));
  isScrolling_ = true;
}

void KLTimeRangeAdapter::reportDidEnd(ScrollView& scrollView) {
  isScrolling_ = false;
  double time = std::max(timeAtScrollView(scrollView, scrollView.contentOffset().y), minScrollTime_);
  if (preventFromScrollInFuture_) time = std::min(time, platform::now());
  auto screen = delegate();
  if (screen && screen->respondsToSelector("timelineAdapter:didEndScrollingAtTime:"))
    screen->timelineAdapterDidEndScrollingAtTime(*this, time);
}

void KLTimeRangeAdapter::scrollViewWillBeginDragging(ScrollView& scrollView) {
  if (!scrollView.isDecelerating()) reportWillBegin(scrollView);
}

void KLTimeRangeAdapter::scrollViewWillBeginDecelerating(ScrollView& scrollView) {
  if (!scrollView.isDragging()) reportWillBegin(scrollView);
}

void KLTimeRangeAdapter::scrollViewDidEndDragging(ScrollView& scrollView, bool willDecelerate) {
  if (!willDecelerate && !scrollView.isDecelerating()) reportDidEnd(scrollView);
}

void KLTimeRangeAdapter::scrollViewDidEndDecelerating(ScrollView& scrollView) { reportDidEnd(scrollView); }

void KLTimeRangeAdapter::scrollViewDidEndScrollingAnimation(ScrollView& scrollView) { reportDidEnd(scrollView); }

void KLTimeRangeAdapter::tapRecognized(platform::GestureRecognizer& recognizer) {
  auto table = std::dynamic_pointer_cast<TableView>(recognizer.view());
  if (!table) return;
  const platform::Point p = recognizer.locationInView(table.get());
  const double time = timeAtScrollView(*table, p.y - timelineOffset_);
  auto source = dataSource();
  if (source && source->respondsToSelector("tableView:didSelectTime:withXOffset:inTimelineAdapterTime:"))
    source->tableViewDidSelectTime(*table, time, p.x, *this);
}

void KLTimeRangeAdapter::reloadTableView(TableView& tableView, bool resetVelocity) {
  ignoreDidScrollMessage_ = true;
  if (resetVelocity) {
    tableView.setContentOffset({0, 0});
    tableView.reloadData();
    ignoreDidScrollMessage_ = false;
    if (scrollTime_ > 0) scrollToTime(scrollTime_, static_cast<ScrollView&>(tableView), false);
  } else {
    tableView.reloadData();
    ignoreDidScrollMessage_ = false;
  }
}

void KLTimeRangeAdapter::reloadRowAtTime(double time, TableView& tableView) {
  for (const IndexPath& indexPath : tableView.indexPathsForVisibleRows()) {
    const KLTimeRange range = timeRangeForIndexPath(indexPath);
    if (range.start <= time && time < range.start + range.duration) {
      auto cell = tableView.cellForRow(indexPath);
      auto source = dataSource();
      if (cell && source) source->tableViewUpdateCell(tableView, *cell, range, *this);
      return;
    }
  }
}

}  // namespace dk
