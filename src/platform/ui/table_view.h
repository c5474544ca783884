// TableView: a vertical list of sections and rows over a ScrollView (UITableView).
//
// The table asks its data source for the number of sections and rows and the row heights (the
// delegate's heightForRow when it answers, else rowHeight) when data is (re)loaded, and for cells
// only for the rows inside its bounds: with fixed heights a million rows cost nothing until shown.
// Cells that leave the bounds are taken off, reported (didEndDisplayingCell) and kept for reuse
// by identifier; new ones are asked for (cellForRow, usually through dequeueReusableCell) and
// reported (willDisplayCell) during layout, which runs after a scroll on the next layout pass or
// at once when visible rows are queried. Section headers and footers take the heights the
// delegate gives (a header height of the smallest positive double is no header) and the views it
// offers. Selection follows taps that no gesture recogniser took. The data source and delegate
// are held weakly; the delegate is also the scroll view's delegate. Main thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/ui/index_path.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/table_view_cell.h"

namespace dk::platform {

class TableView;

class TableViewDataSource {
 public:
  virtual ~TableViewDataSource() = default;
  virtual long numberOfSections(TableView& tableView) { return 1; }
  virtual long numberOfRows(TableView& tableView, long section) = 0;
  virtual std::shared_ptr<TableViewCell> cellForRow(TableView& tableView, IndexPath indexPath) = 0;
  virtual std::optional<std::string> titleForHeader(TableView& tableView, long section) { return std::nullopt; }
};

// Optional answers return nullopt (or nullptr) when not given.
class TableViewDelegate : public ScrollViewDelegate {
 public:
  virtual std::optional<double> heightForRow(TableView& tableView, IndexPath indexPath) { return std::nullopt; }
  virtual std::optional<double> heightForHeader(TableView& tableView, long section) { return std::nullopt; }
  virtual std::optional<double> heightForFooter(TableView& tableView, long section) { return std::nullopt; }
  virtual std::shared_ptr<View> viewForHeader(TableView& tableView, long section) { return nullptr; }
  virtual std::shared_ptr<View> viewForFooter(TableView& tableView, long section) { return nullptr; }
  virtual void willDisplayCell(TableView& tableView, TableViewCell& cell, IndexPath indexPath) {}
  virtual void didEndDisplayingCell(TableView& tableView, TableViewCell& cell, IndexPath indexPath) {}
  virtual void didSelectRow(TableView& tableView, IndexPath indexPath) {}
  virtual void didDeselectRow(TableView& tableView, IndexPath indexPath) {}
};

class TableView : public ScrollView {
 public:
  enum class Style { Plain, Grouped };
  enum class ScrollPosition { None, Top, Middle, Bottom };
  enum class RowAnimation { Fade, Right, Left, Top, Bottom, None, Middle, Automatic = 100 };
  using CellFactory = std::function<std::shared_ptr<TableViewCell>(const std::string& reuseIdentifier)>;

  explicit TableView(const Rect& frame = Rect(), Style style = Style::Plain);
  ~TableView() override;

  Style style() const { return style_; }
  void setDataSource(std::weak_ptr<TableViewDataSource> dataSource);
  std::shared_ptr<TableViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDelegate(std::weak_ptr<TableViewDelegate> delegate);
  std::shared_ptr<TableViewDelegate> tableDelegate() const { return tableDelegate_.lock(); }

  double rowHeight() const { return rowHeight_; }
  void setRowHeight(double height);
  double estimatedRowHeight() const { return estimatedRowHeight_; }
  void setEstimatedRowHeight(double height) { estimatedRowHeight_ = height; }
  double sectionHeaderHeight() const { return sectionHeaderHeight_; }
  void setSectionHeaderHeight(double height);
  double sectionFooterHeight() const { return sectionFooterHeight_; }
  void setSectionFooterHeight(double height);
  bool allowsSelection() const { return allowsSelection_; }
  void setAllowsSelection(bool allows);
  bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
  void setAllowsMultipleSelection(bool allows) { allowsMultipleSelection_ = allows; }

  // ---- cells ----
  void registerCell(const std::string& reuseIdentifier, CellFactory factory);
  // A cell waiting for reuse, or nullptr.
  std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier);
  // A cell waiting for reuse, else a new one from the registered factory (nullptr, logged, when
  // the identifier was never registered).
  std::shared_ptr<TableViewCell> dequeueReusableCell(const std::string& reuseIdentifier, IndexPath indexPath);
  size_t reusableCellCount(const std::string& reuseIdentifier) const;

  // ---- data ----
  void reloadData();
  void reloadRows(const std::vector<IndexPath>& indexPaths, RowAnimation animation = RowAnimation::None);
  void reloadSections(const std::vector<long>& sections, RowAnimation animation = RowAnimation::None);
  void beginUpdates();
  void endUpdates();
  long numberOfSections();
  long numberOfRows(long section);

  // ---- geometry (content coordinates) ----
  Rect rectForSection(long section);
  Rect rectForHeader(long section);
  Rect rectForFooter(long section);
  Rect rectForRow(IndexPath indexPath);
  std::optional<IndexPath> indexPathForRowAtPoint(Point point);
  std::vector<IndexPath> indexPathsForRowsInRect(const Rect& rect);
  std::optional<IndexPath> indexPathForCell(const TableViewCell& cell);
  // The cell on display for the row, or nullptr (rows off screen have none).
  std::shared_ptr<TableViewCell> cellForRow(IndexPath indexPath);
  std::vector<std::shared_ptr<TableViewCell>> visibleCells();
  std::vector<IndexPath> indexPathsForVisibleRows();
  std::shared_ptr<View> headerViewForSection(long section);
  void scrollToRow(IndexPath indexPath, ScrollPosition position, bool animated);

  // ---- selection ----
  void selectRow(std::optional<IndexPath> indexPath, bool animated, ScrollPosition position = ScrollPosition::None);
  void deselectRow(IndexPath indexPath, bool animated);
  std::optional<IndexPath> indexPathForSelectedRow() const;
  std::vector<IndexPath> indexPathsForSelectedRows() const;

  void layoutSubviews() override;
  void setFrame(const Rect& frame) override;
  void touchesBegan(const TouchList& touches, const Event& event) override;
  void touchesEnded(const TouchList& touches, const Event& event) override;
  void touchesCancelled(const TouchList& touches, const Event& event) override;

 private:
  struct Section {
    long rows = 0;
    double header = 0, footer = 0;
    double top = 0;  // y of the header's top edge
    bool uniform = true;
    double rowHeight = 44;
    std::vector<double> offsets;  // row tops relative to the first row, rows + 1 entries (non-uniform)
    double rowsHeight() const { return uniform ? rows * rowHeight : offsets.back(); }
    double height() const { return header + rowsHeight() + footer; }
    double rowTop(long row) const { return top + header + (uniform ? row * rowHeight : offsets[row]); }
    double heightOfRow(long row) const { return uniform ? rowHeight : offsets[row + 1] - offsets[row]; }
  };

  void ensureData();
  void loadSection(long index, Section& section);
  void restack();
  void updateContentSize();
  void tile();
  void removeCell(IndexPath indexPath, bool report);
  long rowAtY(const Section& section, double y) const;

  Style style_;
  std::weak_ptr<TableViewDataSource> dataSource_;
  std::weak_ptr<TableViewDelegate> tableDelegate_;
  double rowHeight_ = 44, estimatedRowHeight_ = 0, sectionHeaderHeight_ = 0, sectionFooterHeight_ = 0;
  bool allowsSelection_ = true, allowsMultipleSelection_ = false;
  std::vector<Section> sections_;
  bool dataLoaded_ = false;
  bool tiling_ = false;
  int updateDepth_ = 0;
  std::map<IndexPath, std::shared_ptr<TableViewCell>> visible_;
  std::map<long, std::shared_ptr<View>> headers_, footers_;
  std::set<IndexPath> stale_;
  std::set<IndexPath> selected_;
  std::unordered_map<std::string, std::vector<std::shared_ptr<TableViewCell>>> reuse_;
  std::unordered_map<std::string, CellFactory> factories_;
  std::optional<Point> touchStart_;
};

}  // namespace dk::platform
