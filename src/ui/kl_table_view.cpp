#include "ui/kl_table_view.h"

#include "platform/dispatch/queue.h"

namespace dk {

void KLTableView::reloadDataForSection(long section) {
  std::weak_ptr<KLTableView> weak = sharedAs<KLTableView>();
  platform::runOnMain([weak, section] {
    auto table = weak.lock();
    // Negative indexes are as meaningless as ones past the end.
    if (!table || section < 0 || section >= table->numberOfSections()) return;
    table->beginUpdates();
    table->reloadSections({section}, RowAnimation::None);
    table->endUpdates();
  });
}

void KLTableView::reloadDataForCell(const std::shared_ptr<platform::TableViewCell>& cell) {
  std::weak_ptr<KLTableView> weak = sharedAs<KLTableView>();
  std::weak_ptr<platform::TableViewCell> weakCell = cell;
  platform::runOnMain([weak, weakCell] {
    auto table = weak.lock();
    if (!table) return;
    long section = 0;
    if (auto c = weakCell.lock()) {
      if (auto path = table->indexPathForCell(*c)) section = path->section;
    }
    table->reloadDataForSection(section);
  });
}

}  // namespace dk
