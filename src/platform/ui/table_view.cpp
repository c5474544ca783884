#include "platform/ui/table_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/ui/main_thread.h"

namespace dk::platform {

TableView::TableView(const Rect& frame, Style style) : ScrollView(frame), style_(style) {
  setAlwaysBounceVertical(true);
}

TableView::~TableView() = default;

void TableView::setDataSource(std::weak_ptr<TableViewDataSource> dataSource) {
  dataSource_ = std::move(dataSource);
  auto rows = visible_;
  for (auto& [ip, cell] : rows) removeCell(ip, false);
  for (auto& [i, v] : headers_) v->removeFromSuperview();
  for (auto& [i, v] : footers_) v->removeFromSuperview();
  headers_.clear();
  footers_.clear();
  dataLoaded_ = false;
  setNeedsLayout();
}

void TableView::setDelegate(std::weak_ptr<TableViewDelegate> delegate) {
  tableDelegate_ = delegate;
  ScrollView::setDelegate(std::weak_ptr<ScrollViewDelegate>(delegate.lock()));
  if (dataLoaded_) {
    dataLoaded_ = false;
    for (auto& [ip, cell] : visible_) stale_.insert(ip);
    setNeedsLayout();
  }
}

void TableView::setRowHeight(double height) {
  rowHeight_ = height;
  if (dataLoaded_) {
    dataLoaded_ = false;
    for (auto& [ip, cell] : visible_) stale_.insert(ip);
  }
  setNeedsLayout();
}

void TableView::setSectionHeaderHeight(double height) {
  sectionHeaderHeight_ = height;
  dataLoaded_ = false;
  setNeedsLayout();
}

void TableView::setSectionFooterHeight(double height) {
  sectionFooterHeight_ = height;
  dataLoaded_ = false;
  setNeedsLayout();
}

void TableView::setAllowsSelection(bool allows) {
  allowsSelection_ = allows;
  if (!allows) {
    auto selected = selected_;
    for (auto& ip : selected) deselectRow(ip, false);
  }
}

// ---- cells ----

void TableView::registerCell(const std::string& reuseIdentifier, CellFactory factory) {
  factories_[reuseIdentifier] = std::move(factory);
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier) {
  auto it = reuse_.find(reuseIdentifier);
  if (it == reuse_.end() || it->second.empty()) return nullptr;
  auto cell = std::move(it->second.back());
  it->second.pop_back();
  cell->setSelected(false, false);
  cell->setHighlighted(false, false);
  cell->prepareForReuse();
  return cell;
}

std::shared_ptr<TableViewCell> TableView::dequeueReusableCell(const std::string& reuseIdentifier, IndexPath) {
  if (auto cell = dequeueReusableCell(reuseIdentifier)) return cell;
  auto it = factories_.find(reuseIdentifier);
  if (it == factories_.end() || !it->second) {
    std::fprintf(stderr, "unable to dequeue a cell with identifier %s - must register a nib or a class for the identifier\n",
                 reuseIdentifier.c_str());
    return nullptr;
  }
  return it->second(reuseIdentifier);
}

size_t TableView::reusableCellCount(const std::string& reuseIdentifier) const {
  auto it = reuse_.find(reuseIdentifier);
  return it == reuse_.end() ? 0 : it->second.size();
}

void TableView::removeCell(IndexPath indexPath, bool report) {
  auto it = visible_.find(indexPath);
  if (it == visible_.end()) return;
  auto cell = it->second;
  visible_.erase(it);
  cell->removeFromSuperview();
  if (!cell->reuseIdentifier().empty()) reuse_[cell->reuseIdentifier()].push_back(cell);
  if (report) {
    if (auto d = tableDelegate()) d->didEndDisplayingCell(*this, *cell, indexPath);
  }
}

// ---- data ----

void TableView::ensureData() {
  if (dataLoaded_) return;
  dataLoaded_ = true;
  auto ds = dataSource();
  const long n = ds ? std::max(0L, ds->numberOfSections(*this)) : 0;
  sections_.assign(static_cast<size_t>(n), Section{});
  for (long i = 0; i < n; ++i) loadSection(i, sections_[static_cast<size_t>(i)]);
  restack();
  updateContentSize();
}

void TableView::loadSection(long index, Section& s) {
  auto ds = dataSource();
  auto d = tableDelegate();
  s = Section{};
  s.rows = ds ? std::max(0L, ds->numberOfRows(*this, index)) : 0;
  auto sane = [](double h) { return std::isfinite(h) && h > 0 ? h : 0.0; };
  if (auto h = d ? d->heightForHeader(*this, index) : std::nullopt) {
    s.header = sane(*h);
  } else {
    const bool titled = ds && ds->titleForHeader(*this, index).has_value();
    s.header = titled && sectionHeaderHeight_ <= 0 ? 28 : sectionHeaderHeight_;
  }
  if (auto h = d ? d->heightForFooter(*this, index) : std::nullopt) {
    s.footer = sane(*h);
  } else {
    s.footer = sectionFooterHeight_;
  }
  s.rowHeight = sane(rowHeight_);
  std::optional<double> first = (d && s.rows > 0) ? d->heightForRow(*this, IndexPath{index, 0}) : std::nullopt;
  if (!first) {
    s.uniform = true;
    return;
  }
  s.uniform = false;
  s.offsets.resize(static_cast<size_t>(s.rows) + 1);
  s.offsets[0] = 0;
  s.offsets[1] = sane(*first);
  for (long r = 1; r < s.rows; ++r) {
    const double h = sane(d->heightForRow(*this, IndexPath{index, r}).value_or(rowHeight_));
    s.offsets[static_cast<size_t>(r) + 1] = s.offsets[static_cast<size_t>(r)] + h;
  }
}

void TableView::restack() {
  double y = 0;
  for (auto& s : sections_) {
    s.top = y;
    y += s.height();
  }
}

void TableView::updateContentSize() {
  double total = 0;
  for (auto& s : sections_) total += s.height();
  setContentSize({bounds().size.width, total});
}

void TableView::reloadData() {
  DK_ASSERT_MAIN_THREAD();
  auto keep = sharedAs<TableView>();
  auto rows = visible_;
  for (auto& [ip, cell] : rows) removeCell(ip, true);
  for (auto& [i, v] : headers_) v->removeFromSuperview();
  for (auto& [i, v] : footers_) v->removeFromSuperview();
  headers_.clear();
  footers_.clear();
  stale_.clear();
  selected_.clear();
  dataLoaded_ = false;
  ensureData();
  setNeedsLayout();
}

void TableView::reloadRows(const std::vector<IndexPath>& indexPaths, RowAnimation) {
  ensureData();
  std::set<long> touched;
  for (auto& ip : indexPaths) {
    if (ip.section < 0 || ip.section >= static_cast<long>(sections_.size())) continue;
    if (visible_.count(ip)) stale_.insert(ip);
    if (!sections_[static_cast<size_t>(ip.section)].uniform) touched.insert(ip.section);
  }
  for (long s : touched) {
    const long rows = sections_[static_cast<size_t>(s)].rows;
    loadSection(s, sections_[static_cast<size_t>(s)]);
    sections_[static_cast<size_t>(s)].rows = rows;
  }
  if (!touched.empty()) {
    restack();
    updateContentSize();
  }
  setNeedsLayout();
  if (updateDepth_ == 0) layoutIfNeeded();
}

void TableView::reloadSections(const std::vector<long>& sections, RowAnimation) {
  ensureData();
  for (long s : sections) {
    if (s < 0 || s >= static_cast<long>(sections_.size())) continue;
    loadSection(s, sections_[static_cast<size_t>(s)]);
    for (auto& [ip, cell] : visible_) {
      if (ip.section == s) stale_.insert(ip);
    }
    if (auto it = headers_.find(s); it != headers_.end()) {
      it->second->removeFromSuperview();
      headers_.erase(it);
    }
    if (auto it = footers_.find(s); it != footers_.end()) {
      it->second->removeFromSuperview();
      footers_.erase(it);
    }
  }
  restack();
  updateContentSize();
  setNeedsLayout();
  if (updateDepth_ == 0) layoutIfNeeded();
}

void TableView::beginUpdates() { ++updateDepth_; }

void TableView::endUpdates() {
  if (updateDepth_ == 0) return;
  if (--updateDepth_ == 0) {
    setNeedsLayout();
    layoutIfNeeded();
  }
}

long TableView::numberOfSections() {
  ensureData();
  return static_cast<long>(sections_.size());
}

long TableView::numberOfRows(long section) {
  ensureData();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return 0;
  return sections_[static_cast<size_t>(section)].rows;
}

// ---- geometry ----

long TableView::rowAtY(const Section& s, double y) const {
  if (s.rows <= 0) return 0;
  long r;
  if (s.uniform) {
    r = s.rowHeight > 0 ? static_cast<long>(std::floor(y / s.rowHeight)) : 0;
  } else {
    r = static_cast<long>(std::upper_bound(s.offsets.begin(), s.offsets.end(), y) - s.offsets.begin()) - 1;
  }
  return std::clamp(r, 0L, s.rows - 1);
}

Rect TableView::rectForSection(long section) {
  ensureData();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return Rect();
  const Section& s = sections_[static_cast<size_t>(section)];
  return Rect(0, s.top, bounds().size.width, s.height());
}

Rect TableView::rectForHeader(long section) {
  ensureData();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return Rect();
  const Section& s = sections_[static_cast<size_t>(section)];
  return Rect(0, s.top, bounds().size.width, s.header);
}

Rect TableView::rectForFooter(long section) {
  ensureData();
  if (section < 0 || section >= static_cast<long>(sections_.size())) return Rect();
  const Section& s = sections_[static_cast<size_t>(section)];
  return Rect(0, s.top + s.header + s.rowsHeight(), bounds().size.width, s.footer);
}

Rect TableView::rectForRow(IndexPath ip) {
  ensureData();
  if (ip.section < 0 || ip.section >= static_cast<long>(sections_.size())) return Rect();
  const Section& s = sections_[static_cast<size_t>(ip.section)];
  if (ip.row < 0 || ip.row >= s.rows) return Rect();
  return Rect(0, s.rowTop(ip.row), bounds().size.width, s.heightOfRow(ip.row));
}

std::optional<IndexPath> TableView::indexPathForRowAtPoint(Point point) {
  ensureData();
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    const double top = s.top + s.header;
    if (s.rows == 0 || point.y < top || point.y >= top + s.rowsHeight()) continue;
    return IndexPath{static_cast<long>(i), rowAtY(s, point.y - top)};
  }
  return std::nullopt;
}

std::vector<IndexPath> TableView::indexPathsForRowsInRect(const Rect& rect) {
  ensureData();
  std::vector<IndexPath> result;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    if (s.rows == 0) continue;
    const double top = s.top + s.header, bottom = top + s.rowsHeight();
    if (bottom <= rect.minY() || top >= rect.maxY()) continue;
    const long first = rowAtY(s, rect.minY() - top);
    const long last = rowAtY(s, rect.maxY() - top);
    for (long r = first; r <= last; ++r) {
      const double y = s.rowTop(r), h = s.heightOfRow(r);
      if (y >= rect.maxY() || y + h <= rect.minY()) continue;
      result.push_back(IndexPath{static_cast<long>(i), r});
    }
  }
  return result;
}

std::optional<IndexPath> TableView::indexPathForCell(const TableViewCell& cell) {
  for (auto& [ip, c] : visible_) {
    if (c.get() == &cell) return ip;
  }
  return std::nullopt;
}

std::shared_ptr<TableViewCell> TableView::cellForRow(IndexPath indexPath) {
  if (needsLayout() && !tiling_) layoutIfNeeded();
  auto it = visible_.find(indexPath);
  return it == visible_.end() ? nullptr : it->second;
}

std::vector<std::shared_ptr<TableViewCell>> TableView::visibleCells() {
  if (needsLayout() && !tiling_) layoutIfNeeded();
  std::vector<std::shared_ptr<TableViewCell>> cells;
  for (auto& [ip, c] : visible_) cells.push_back(c);
  return cells;
}

std::vector<IndexPath> TableView::indexPathsForVisibleRows() {
  if (needsLayout() && !tiling_) layoutIfNeeded();
  std::vector<IndexPath> result;
  for (auto& [ip, c] : visible_) result.push_back(ip);
  return result;
}

std::shared_ptr<View> TableView::headerViewForSection(long section) {
  if (needsLayout() && !tiling_) layoutIfNeeded();
  auto it = headers_.find(section);
  return it == headers_.end() ? nullptr : it->second;
}

void TableView::scrollToRow(IndexPath indexPath, ScrollPosition position, bool animated) {
  ensureData();
  if (indexPath.section < 0 || indexPath.section >= static_cast<long>(sections_.size()) || indexPath.row < 0 ||
      indexPath.row >= sections_[static_cast<size_t>(indexPath.section)].rows) {
    std::fprintf(stderr, "attempt to scroll to invalid index path: [%ld, %ld]\n", indexPath.section, indexPath.row);
    return;
  }
  const Rect row = rectForRow(indexPath);
  const Rect b = bounds();
  double y = b.minY();
  switch (position) {
    case ScrollPosition::Top: y = row.minY(); break;
    case ScrollPosition::Middle: y = row.midY() - b.height() / 2; break;
    case ScrollPosition::Bottom: y = row.maxY() - b.height(); break;
    case ScrollPosition::None:
      if (row.minY() < b.minY()) {
        y = row.minY();
      } else if (row.maxY() > b.maxY()) {
        y = row.maxY() - b.height();
      }
      break;
  }
  y = std::clamp(y, minimumContentOffset().y, maximumContentOffset().y);
  setContentOffset({contentOffset().x, y}, animated);
}

// ---- selection ----

void TableView::selectRow(std::optional<IndexPath> indexPath, bool animated, ScrollPosition position) {
  if (!indexPath) {
    auto selected = selected_;
    for (auto& ip : selected) deselectRow(ip, animated);
    return;
  }
  if (!allowsSelection_) return;
  if (!allowsMultipleSelection_) {
    auto selected = selected_;
    for (auto& ip : selected) {
      if (ip != *indexPath) deselectRow(ip, animated);
    }
  }
  selected_.insert(*indexPath);
  if (auto it = visible_.find(*indexPath); it != visible_.end()) it->second->setSelected(true, animated);
  if (position != ScrollPosition::None) scrollToRow(*indexPath, position, animated);
}

void TableView::deselectRow(IndexPath indexPath, bool animated) {
  selected_.erase(indexPath);
  if (auto it = visible_.find(indexPath); it != visible_.end()) it->second->setSelected(false, animated);
}

std::optional<IndexPath> TableView::indexPathForSelectedRow() const {
  if (selected_.empty()) return std::nullopt;
  return *selected_.begin();
}

std::vector<IndexPath> TableView::indexPathsForSelectedRows() const { return {selected_.begin(), selected_.end()}; }

void TableView::touchesBegan(const TouchList& touches, const Event&) {
  if (!touches.empty()) touchStart_ = touches.front()->locationInView(this);
}

void TableView::touchesEnded(const TouchList& touches, const Event&) {
  if (!touchStart_ || touches.empty() || !allowsSelection_) {
    touchStart_.reset();
    return;
  }
  touchStart_.reset();
  auto keep = sharedAs<TableView>();
  auto ip = indexPathForRowAtPoint(touches.front()->locationInView(this));
  if (!ip) return;
  auto d = tableDelegate();
  if (allowsMultipleSelection_ && selected_.count(*ip)) {
    deselectRow(*ip, false);
    if (d) d->didDeselectRow(*this, *ip);
    return;
  }
  if (!allowsMultipleSelection_) {
    auto selected = selected_;
    for (auto& other : selected) {
      if (other == *ip) continue;
      deselectRow(other, false);
      if (d) d->didDeselectRow(*this, other);
    }
  }
  selected_.insert(*ip);
  if (auto it = visible_.find(*ip); it != visible_.end()) it->second->setSelected(true, false);
  if (d) d->didSelectRow(*this, *ip);
}

void TableView::touchesCancelled(const TouchList&, const Event&) { touchStart_.reset(); }

// ---- layout ----

void TableView::setFrame(const Rect& frame) {
  const double oldWidth = bounds().size.width;
  ScrollView::setFrame(frame);
  if (bounds().size.width != oldWidth && dataLoaded_) updateContentSize();
}

void TableView::layoutSubviews() {
  ScrollView::layoutSubviews();
  tile();
}

void TableView::tile() {
  if (tiling_) return;
  tiling_ = true;
  auto keep = sharedAs<TableView>();
  ensureData();
  if (contentSize().width != bounds().size.width) updateContentSize();
  const Rect visibleRect = bounds();
  const double width = visibleRect.size.width;
  const std::vector<IndexPath> needed = indexPathsForRowsInRect(visibleRect);
  const std::set<IndexPath> neededSet(needed.begin(), needed.end());
  std::vector<IndexPath> gone;
  for (auto& [ip, cell] : visible_) {
    if (!neededSet.count(ip) || stale_.count(ip)) gone.push_back(ip);
  }
  for (auto& ip : gone) removeCell(ip, true);
  stale_.clear();
  auto ds = dataSource();
  for (auto& ip : needed) {
    if (ip.section >= static_cast<long>(sections_.size())) break;  // data changed underneath
    const Section& s = sections_[static_cast<size_t>(ip.section)];
    if (ip.row >= s.rows) continue;
    const Rect frame(0, s.rowTop(ip.row), width, s.heightOfRow(ip.row));
    if (auto it = visible_.find(ip); it != visible_.end()) {
      it->second->setFrame(frame);
      continue;
    }
    if (!ds) break;
    auto cell = ds->cellForRow(*this, ip);
    if (!cell) {
      std::fprintf(stderr, "the table's data source returned no cell for [%ld, %ld]\n", ip.section, ip.row);
      continue;
    }
    cell->setFrame(frame);
    if (cell->superview().get() != this) insertSubview(cell, 0);
    visible_[ip] = cell;
    cell->setSelected(selected_.count(ip) > 0, false);
    if (auto d = tableDelegate()) d->willDisplayCell(*this, *cell, ip);
  }
  // Section headers and footers on screen.
  auto d = tableDelegate();
  for (long i = 0; i < static_cast<long>(sections_.size()); ++i) {
    const Section& s = sections_[static_cast<size_t>(i)];
    const Rect header(0, s.top, width, s.header);
    const Rect footer(0, s.top + s.header + s.rowsHeight(), width, s.footer);
    auto place = [&](std::map<long, std::shared_ptr<View>>& views, const Rect& r, bool isHeader) {
      const bool onScreen = r.height() >= 0.5 && r.maxY() > visibleRect.minY() && r.minY() < visibleRect.maxY();
      auto it = views.find(i);
      if (!onScreen) {
        if (it != views.end()) {
          it->second->removeFromSuperview();
          views.erase(it);
        }
        return;
      }
      if (it != views.end()) {
        it->second->setFrame(r);
        return;
      }
      std::shared_ptr<View> v = d ? (isHeader ? d->viewForHeader(*this, i) : d->viewForFooter(*this, i)) : nullptr;
      if (!v) return;
      v->setFrame(r);
      addSubview(v);
      views[i] = v;
    };
    place(headers_, header, true);
    place(footers_, footer, false);
  }
  tiling_ = false;
}

}  // namespace dk::platform
