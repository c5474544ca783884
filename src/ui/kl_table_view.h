// KLTableView: the timeline's table view, which can reload one section (or a cell's section) from
// any thread.
//
// A reload runs at once on the main thread, or is queued to the main queue from elsewhere; a
// section index outside [0, numberOfSections) is ignored when the reload runs. The table is held
// by shared_ptr; a queued reload of a table that is gone is dropped.
#pragma once

#include <memory>

#include "platform/ui/table_view.h"

namespace dk {

class KLTableView : public platform::TableView {
 public:
  using TableView::TableView;

  // Nothing in the framework reads or writes it.
  bool shouldNotScroll() const { return shouldNotScroll_; }
  void setShouldNotScroll(bool value) { shouldNotScroll_ = value; }

  // Reloads that one section, without row animation, inside a begin/end-updates pair.
  void reloadDataForSection(long section);
  // The same for the section of the cell's row; a cell the table does not show counts as section 0.
  void reloadDataForCell(const std::shared_ptr<platform::TableViewCell>& cell);

 private:
  bool shouldNotScroll_ = false;
};

}  // namespace dk
