// The timeline screen's peek: registration for previewing as force touch comes and goes, and the
// preview of an event thumbnail.
#include "platform/ui/storyboard.h"
#include "timeline/kl_timeline_preview_view_controller.h"
#include "timeline/kl_timeline_table_view_cell.h"
#include "timeline/kl_timeline_view_controller.h"

namespace dk {

void KLTimelineViewController::traitCollectionDidChange(const platform::TraitCollection* previous) {
  KLDashboardViewController::traitCollectionDidChange(previous);
  const auto capability = traitCollection().forceTouchCapability;
  if (capability == platform::TraitCollection::ForceTouch::Unknown) return;
  if (capability != platform::TraitCollection::ForceTouch::Available) {
    if (previewingContex_) unregisterForPreviewing(previewingContex_);
    previewingContex_.reset();
    return;
  }
  if (previewingContex_) return;
  std::weak_ptr<platform::PreviewingDelegate> delegate =
      std::static_pointer_cast<platform::PreviewingDelegate>(sharedAs<KLTimelineViewController>());
  previewingContex_ = registerForPreviewing(std::move(delegate), view());
}

std::shared_ptr<platform::ViewController> KLTimelineViewController::previewingViewControllerForLocation(
    platform::PreviewingContext&, platform::Point location) {
  auto table = tableView();
  if (!table || !view()) return nullptr;
  const auto row = table->indexPathForRowAtPoint(table->convertPointFrom(location, view().get()));
  if (!row) return nullptr;
  auto cell = std::dynamic_pointer_cast<KLTimelineTableViewCell>(table->cellForRow(*row));
  if (!cell || !cell->eventThumbnail() || !cell->eventThumbnail()->image()) return nullptr;
  auto storyboard = platform::Storyboard::named(kStoryboardName);
  auto preview = std::dynamic_pointer_cast<KLTimelinePreviewViewController>(
      storyboard ? storyboard->instantiate(KLTimelinePreviewViewController::kSceneIdentifier) : nullptr);
  if (!preview) return nullptr;
  preview->setCameraImage(cell->eventThumbnail()->image());
  preview->setPreferredContentSize(view()->frame().size);
  return preview;
}

}  // namespace dk
