// The timeline screen's event actions: the action sheet (share, download, delete with the right),
// the download flow through the photo library, the event manager and the download manager, the
// delete confirmation, and the background task a clip keeps until its outcome is known.
#include "foundation/date_formatting.h"
#include "live/kl_data_manager.h"
#include "platform/foundation/bundle.h"
#include "platform/media/images/photo_library.h"
#include "platform/ui/document_interaction_controller.h"
#include "platform/ui/main_thread.h"
#include "timeline/kl_timeline_view_controller.h"
#include "timeline/timeline_event_adapter.h"
#include "ui/view_extensions.h"

namespace dk {

namespace {
std::string text(std::string_view key) {
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key, key);
}
constexpr unsigned long kInfoOptions = KLPopUpOptionRotatable | KLPopUpOptionNoSwipeDismiss;
}  // namespace

bool KLTimelineViewController::shouldHideActionButtonForEvent(const KLTimelineEventPtr&) {
  return !dataSource_ || dataSource_->timelineOption()->interval() != 0;
}

void KLTimelineViewController::userDidTapThumbnailForEvent(const KLTimelineEventPtr& event) {
  if (event) scrollTableViewToTime(event->timelineEventTimestamp(), true, false);
}

void KLTimelineViewController::userDidTapActionButtonForEvent(const KLTimelineEventPtr& event) {
  auto sheet = actionSheetForEvent(event);
  if (sheet) presentViewController(sheet, true);
}

KLTimelineViewController::PopoverSource KLTimelineViewController::popoverSourceStructForEvent(
    const KLTimelineEventPtr& event) const {
  PopoverSource source{{}, timelineContainerView()};
  auto table = tableView();
  if (!table || !adapter_ || !event) return source;
  auto window = adapter_->visibleTimeRangeAtTableView(*table);
  auto frame = table->frame();
  bool downloaded = KLDownloadManager::isVideoDownloadedForEvent(underlyingEvent(*event));
  source.rect.origin.x = frame.origin.x + frame.size.width - (downloaded ? 70.0 : 40.0);
  // Before layout the window has no duration: anchor at the table's top.
  double fraction = window.duration > 0 ? (event->timelineEventTimestamp() - window.start) / window.duration : 1.0;
  source.rect.origin.y = frame.origin.y + (1.0 - fraction) * frame.size.height;
  return source;
}

platform::Rect KLTimelineViewController::popoverRectInSourceView(const PopoverSource& source) const {
  auto table = tableView();
  auto parent = table ? table->superview() : nullptr;
  if (!source.view || !parent) return source.rect;
  return source.view->convertRectFrom(source.rect, parent.get());
}

std::shared_ptr<platform::AlertController> KLTimelineViewController::actionSheetForEvent(const KLTimelineEventPtr& item) {
  if (!item) return nullptr;
  auto event = underlyingEvent(*item);
  if (!event) return nullptr;
  auto sheet = platform::AlertController::make(std::nullopt, std::nullopt, platform::AlertController::Style::ActionSheet);
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  auto source = popoverSourceStructForEvent(item);
  using Style = platform::AlertAction::Style;
  sheet->addAction(platform::AlertAction::make(text("Share"), Style::Default, [weak, event, source](platform::AlertAction&) {
    if (auto s = weak.lock()) s->shareEvent(event, source);
  }));
  sheet->addAction(platform::AlertAction::make(text("Download"), Style::Default, [weak, event](platform::AlertAction&) {
    if (auto s = weak.lock()) s->downloadEvent(event);
  }));
  if (!(permissions() & KLPermissionNoDeleteFootage)) {
    sheet->addAction(platform::AlertAction::make(text("Delete"), Style::Destructive, [weak, event](platform::AlertAction&) {
      if (auto s = weak.lock()) s->deleteEventAskingFirst(event);
    }));
  }
  sheet->addAction(platform::AlertAction::make(text("Cancel"), Style::Default));
  updateSubviewsWithBackgroundColor(*sheet->view(), platform::Color::whiteColor(), 20.0);
  // On a large screen the sheet points at the card's action button.
  auto& popover = sheet->popoverPresentationController();
  popover.sourceView = source.view;
  popover.sourceRect = popoverRectInSourceView(source);
  return sheet;
}

void KLTimelineViewController::shareEvent(const KLEventPtr& event, const PopoverSource& source) {
  auto url = KLDownloadManager::isVideoDownloadedForEvent(event) ? KLDownloadManager::getURLForEvent(event)
                                                                 : std::nullopt;
  if (!url) {
    displayPopUpViewWithTitle(text("VideoIsNotDownloadedYet"), text("PleaseDownloadTheVideo"), std::nullopt,
                              kInfoOptions, {text("Continue")});
    return;
  }
  auto controller = platform::DocumentInteractionController::interactionControllerWithURL("file://" + url->string());
  controller->setUTI(platform::kUTTypeMPEG4);
  if (source.view) controller->presentOptionsMenu(popoverRectInSourceView(source), source.view, true);
  documentInteractionController_ = controller;
}

void KLTimelineViewController::downloadEvent(const KLEventPtr& event) {
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  platform::PhotoLibrary::sharedPhotoLibrary()->requestAuthorization([weak, event](platform::PhotoAuthorizationStatus status) {
    using Status = platform::PhotoAuthorizationStatus;
    if (status == Status::Restricted || status == Status::Denied) {
      platform::runOnMain([weak] {
        if (auto s = weak.lock()) s->showInfoPopUp("UnableToSaveVideo", text("AllowPermisionToSaveSnapshot"));
      });
      return;
    }
    if (status != Status::Authorized) return;
    platform::runOnMain([weak, event] {
      auto s = weak.lock();
      if (!s) return;
      s->events()->updateEvent(
          event,
          [weak, event](const platform::Value&) {
            if (auto s = weak.lock()) s->downloadManager_->downloadEvent(event);
          },
          [weak](const platform::ErrorPtr&) {
            if (auto s = weak.lock()) s->showInfoPopUp("UnableToSaveVideo", text("DownloadEventFailedToFetchMetadata"));
          });
    });
  });
}

void KLTimelineViewController::downloadProgressUpdated(float, const KLEventPtr&) {
  // Progress arrives on download threads; the table is reloaded on main. The background task
  // waits for the clip's outcome, not for the last byte.
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  platform::DispatchQueue::main()->async([weak] {
    if (auto s = weak.lock()) s->reloadTableViewAndResetVelocity(true);
  });
}

void KLTimelineViewController::errorWithInfo(const std::string& info) {
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  platform::runOnMain([weak, info] {
    auto s = weak.lock();
    if (!s) return;
    s->endBackgroundTaskForClip();
    s->showInfoPopUp("UnableToSaveVideo", info);
  });
}

void KLTimelineViewController::endBackgroundTaskForClip() {
  if (bgTask_ == platform::kBackgroundTaskInvalid) return;
  platform::Application::shared().endBackgroundTask(bgTask_);
  bgTask_ = platform::kBackgroundTaskInvalid;
}

void KLTimelineViewController::showInfoPopUp(const char* title, const std::string& info) {
  displayPopUpViewWithTitle(text(title), info, std::nullopt, kInfoOptions, {text("Continue")});
}

void KLTimelineViewController::deleteEventAskingFirst(const KLEventPtr& event) {
  eventToDelete_ = event;
  displayPopUpViewWithTitle(text("DelteFootage"), text("TheFootageWillBeDeletedEverywhere"), std::nullopt,
                            KLPopUpOptionAnimateSecondButton, {text("Cancel"), text("Delete")});
}

void KLTimelineViewController::firstButtonTapped() {
  // The delete pop-up's "Cancel" (and the single button of the others).
  eventToDelete_ = nullptr;
  KLDashboardViewController::firstButtonTapped();
}

void KLTimelineViewController::secondButtonTappedWithCompletion(std::function<void()> completion) {
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  auto finish = [weak, completion] {
    if (completion) completion();
    if (auto s = weak.lock()) s->hidePopUpViewWithCompletion(nullptr);
  };
  auto card = popUpView();
  bool confirmed = card && card->titleForSelectedButton() == text("Delete");
  auto doomed = std::move(eventToDelete_);
  eventToDelete_ = nullptr;
  if (!confirmed || !doomed) return finish();
  events()->deleteEvent(
      doomed,
      [weak, doomed](const platform::Value&) {
        auto s = weak.lock();
        if (!s || !s->dataSource_) return;
        auto recording = s->dataSource_->timelineRecordingAtTime(doomed->timestamp().value_or(0));
        auto object = recording ? std::dynamic_pointer_cast<KLRecordingResponse>(recording->timelineRecordingUnderlyingObject())
                                : nullptr;
        if (object) s->recordings()->deleteRecordingForCameraID(s->cameraID_, object->recordingID());
      },
      nullptr);
  finish();
}

}  // namespace dk
