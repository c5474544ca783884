// The timeline screen's axis: zoom levels (chosen at load, stored, changed by the buttons), the
// first position, moving the axis to a time, and the answers and reports of the axis delegate.
#include <cmath>

#include "foundation/data_handler.h"
#include "foundation/date_formatting.h"
#include "foundation/date_timeline_helper.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/user_defaults.h"
#include "model/snapshot_image_cache.h"
#include "platform/media/images/image_prefetcher.h"
#include "platform/media/images/image_view_web_cache.h"
#include "platform/ui/main_thread.h"
#include "timeline/kl_timeline_view_controller.h"

namespace dk {

namespace {
// A host time this far ahead of now was given in milliseconds.
constexpr double kMillisecondsThreshold = 1e11;
}  // namespace

// ---- zoom ----

void KLTimelineViewController::setZoomLevel(int level) {
  currentInterval_ = level == KLTimelineZoomLevelThreeMinutes ? 0 : level == KLTimelineZoomLevelFifteenMinutes ? 1 : 2;
  saveSelectedZoomOption(currentInterval_);
}

void KLTimelineViewController::setUpTableView() {
  unsigned long interval = currentInterval_;
  if (zoomlevel_ == KLTimelineZoomLevelDefault) interval = scrollTimeAfterInit_ > 0 ? 0 : getSelectedZoomOption();
  auto option = KLTimelineIntervalOption::optionWithInterval(interval);
  currentInterval_ = option->interval();
  lookups_ = std::make_shared<EventManagerLookups>(events());
  dataSource_ = std::make_shared<KLTimelineDataSource>(option, lookups_);
  auto self = sharedAs<KLTimelineViewController>();
  dataSource_->setCellDelegate(std::static_pointer_cast<KLTimelineTableViewCellDelegate>(self));
  if (!isVerticalRecordingsVisible_) dataSource_->hideRecordingRenderView(true);
  adapter_ = std::make_shared<KLTimeRangeAdapter>();
  adapter_->setDelegate(std::static_pointer_cast<KLTimeRangeAdapterDelegate>(self));
  adapter_->setDataSource(std::static_pointer_cast<KLTimeRangeAdapterDataSource>(dataSource_));
  if (auto table = tableView()) {
    dataSource_->registerCellsForTableView(*table);
    table->setDataSource(std::static_pointer_cast<platform::TableViewDataSource>(adapter_));
    table->setDelegate(std::static_pointer_cast<platform::TableViewDelegate>(adapter_));
  }
}

void KLTimelineViewController::saveSelectedZoomOption(unsigned long interval) {
  platform::ValueDictionary settings{{kTimelineOptionKey, platform::Value(interval)}};
  auto standard = platform::UserDefaults::standard();
  standard->setObject(platform::Value(settings), kTimelineSettingsKey);
  standard->synchronize();
  if (auto group = DataHandler::getAppGroupName()) {
    auto suite = platform::UserDefaults::suite(*group);
    suite->setObject(platform::Value(settings), kTimelineSettingsKey);
    suite->synchronize();
  }
}

unsigned long KLTimelineViewController::getSelectedZoomOption() {
  auto settings = platform::UserDefaults::standard()->dictionaryForKey(kTimelineSettingsKey);
  if (!settings) return 2;
  auto it = settings->find(kTimelineOptionKey);
  if (it == settings->end() || !it->second.isNumber()) return 2;
  return static_cast<unsigned long>(it->second.integerValue());
}

void KLTimelineViewController::updateSelectedZoomOptionZoomedIn(bool zoomedIn) {
  auto option = zoomedIn ? KLTimelineIntervalOption::zoomInOptionForInterval(currentInterval_)
                         : KLTimelineIntervalOption::zoomOutOptionForInterval(currentInterval_);
  currentInterval_ = option->interval();
  dataSource_->setTimelineOption(option);
  saveSelectedZoomOption(currentInterval_);
  auto label = timelineLabel();
  std::string text = label ? label->text() : std::string();
  reloadTableViewAndResetVelocity(true);
  if (label) label->setText(text);
  updateZoomButtons();
}

void KLTimelineViewController::updateZoomButtons() {
  if (auto out = zoomOutButton()) out->setEnabled(currentInterval_ != 2);
  if (auto in = zoomInButton()) in->setEnabled(currentInterval_ != 0);
}

// ---- positioning ----

double KLTimelineViewController::timelineOffset() const {
  auto v = viewIfLoaded();
  return v ? v->frame().size.height * static_cast<double>(0.15f) : 0;
}

double KLTimelineViewController::firstPositionTime() const {
  double now = platform::now();
  if (scrollTimeAfterInit_ > 0) {
    double t = scrollTimeAfterInit_;
    if (t > kMillisecondsThreshold) t /= 1000.0;
    return std::min(t, now);
  }
  double midnight = timeIntervalForMidnight(now);
  double t = now;
  auto event = dataSource_ ? dataSource_->closestTimelineEventBeforeTime(now) : nullptr;
  if (event && event->timelineEventTimestamp() > midnight) t = event->timelineEventTimestamp();
  auto recording = dataSource_ ? dataSource_->closestTimelineRecordingBeforeTime(now) : nullptr;
  if (recording && recording->timelineRecordingEndTime() > midnight &&
      (!event || recording->timelineRecordingStartTime() > event->timelineEventTimestamp())) {
    t = std::max(midnight, recording->timelineRecordingStartTime());
  }
  return t;
}

void KLTimelineViewController::tableViewDidAppear() {
  auto table = tableView();
  auto container = timelineContainerView();
  if (table && container) {
    double h = container->frame().size.height / kRowsPerScreen;
    if (h > 0) {
      table->setRowHeight(h);
      table->setEstimatedRowHeight(h);
    }
  }
  if (playingRecording()) return;
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  platform::runOnMainAfter(0.2, [weak] {
    auto s = weak.lock();
    if (!s) return;
    s->reloadTableViewAndResetVelocity(true);
    s->scrollTableViewToTime(s->firstPositionTime(), false, true);
  });
}

void KLTimelineViewController::scrollTableViewToTime(double time, bool animated, bool sendScrollMessages) {
  auto table = tableView();
  if (!table || !adapter_) return;
  if (animated) {
    double rowHeight = table->rowHeight();
    auto option = dataSource_->timelineOption();
    // Before layout there is no screen to compare with: treat the move as a jump.
    double span = rowHeight > 0 ? table->frame().size.height / rowHeight * option->rowTimeInterval() : 0;
    if (std::fabs(adapter_->scrollTime() - time) > span) {
      animated = false;
      sendScrollMessages = true;
    }
  }
  if (sendScrollMessages) timelineAdapterWillBeginScrollingAtTime(*adapter_, adapter_->scrollTime());
  adapter_->scrollToTime(time, *table, animated);
  if (animated && !sendScrollMessages && !adapter_->isScrolling()) {
    // A move too short to animate ends at once and sends no end of scrolling: hand over here.
    timelineAdapterDidEndScrollingAtTime(*adapter_, adapter_->scrollTime());
    return;
  }
  if (sendScrollMessages) {
    timelineAdapterDidScrollToTime(*adapter_, adapter_->scrollTime());
    timelineAdapterDidEndScrollingAtTime(*adapter_, adapter_->scrollTime());
  }
}

KLTimelineRecordingPtr KLTimelineViewController::preciseRecordingAtTime(double time) const {
  if (!dataSource_) return nullptr;
  auto r = dataSource_->closestTimelineRecordingAfterTime(time);
  double p = dataSource_->timelineOption()->recordingOffsetPrecision();
  if (r && r->timelineRecordingStartTime() - p < time && time < r->timelineRecordingEndTime()) return r;
  return nullptr;
}

double KLTimelineViewController::oldestTimestamp() const {
  double t = platform::now();
  if (!dataSource_) return t;
  // Items without a time would put the oldest data in 1970 and hide the end of the recordings.
  if (auto start = dataSource_->oldestKnownRecordingStart()) t = std::min(t, *start);
  if (auto time = dataSource_->oldestKnownEventTime()) t = std::min(t, *time);
  return t;
}

// ---- axis delegate ----

double KLTimelineViewController::timelineOffsetInTimelineAdapter(KLTimeRangeAdapter&) { return timelineOffset(); }

double KLTimelineViewController::minScrollTimeInTimelineAdapter(KLTimeRangeAdapter& adapter) {
  return roundedDateWithTimeIntervalSince1970(adapter.startTime(), 1);
}

void KLTimelineViewController::timelineAdapterDidScrollToTime(KLTimeRangeAdapter& adapter, double time) {
  if (auto label = timelineLabel()) label->setText(hourMinutesSecondsFromTimestamp(time));
  if (!dataSource_) return;
  if (adapter.isScrolling()) {
    auto event = eventForSnapshotAtTime(time);
    auto url = event ? event->timelineEventImageUrl() : std::nullopt;
    auto view = snapshotImageView();
    if (url && view) {
      std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
      platform::setImageWithURL(*view, *url, view->image(), 256,
                                [weak](platform::ImagePtr image, platform::ErrorPtr error, bool, const std::string&) {
                                  auto s = weak.lock();
                                  if (!s || error || !image) return;
                                  s->setLastPresentedSnapshot(image);
                                  // The view shows the sharp thumbnail now: the next gap blurs it again.
                                  s->snapshotIsBlurred_ = false;
                                });
    }
  }
  updatePreviousNextEventButtons();
  // The day strip follows the axis unless a recording plays; the open calendar always does.
  if (!player_ || !player_->isPlaying()) {
    if (auto day = dayPickerView()) day->updatePickerWithSelectedDateForTimeInterval(time, platform::kCalendarUnitDay);
  }
  if (!isCalendarHidden()) calendarSelectDateAtTime(time, false);
  hasNextEvent_ = dataSource_->closestTimelineEventAfterTime(time + 1.0) != nullptr;
  hasPreviousEvent_ = dataSource_->closestTimelineEventBeforeTime(time - 1.0) != nullptr;
  if (player_) {
    player_->setHasNextEvent(hasNextEvent_);
    player_->setHasPreviousEvent(hasPreviousEvent_);
  }
}

KLTimelineEventPtr KLTimelineViewController::eventForSnapshotAtTime(double time) const {
  if (!dataSource_) return nullptr;
  double p = dataSource_->timelineOption()->eventOffsetPrecision();
  auto after = dataSource_->closestTimelineEventAfterTime(time);
  auto before = dataSource_->closestTimelineEventBeforeTime(time);
  if (after && after->timelineEventTimestamp() - time >= p) after = nullptr;
  if (before && time - before->timelineEventTimestamp() >= p) before = nullptr;
  if (after && before) {
    return after->timelineEventTimestamp() - time <= time - before->timelineEventTimestamp() ? after : before;
  }
  return after ? after : before;
}

void KLTimelineViewController::setLastPresentedSnapshot(platform::ImagePtr image) {
  if (!image) image = getLocalSnapshotForKey(cameraID_);
  lastPresentedSnapshot_ = image;
  if (player_) player_->setCameraImage(image);
}

void KLTimelineViewController::timelineAdapterWillDisplayCellForRowAtTimeRange(KLTimeRangeAdapter&, KLTimeRange range) {
  if (!dataSource_) return;
  for (const auto& event : dataSource_->timelineEventsInTimeRange(range)) {
    if (auto url = event->timelineEventImageUrl()) eventSnapshotsToPrefetch_.push_back(*url);
  }
  platform::ImagePrefetcher::sharedImagePrefetcher()->prefetchURLs(eventSnapshotsToPrefetch_);
}

void KLTimelineViewController::timelineAdapterDidEndDisplayingCellForRowAtTimeRange(KLTimeRangeAdapter&,
                                                                                   KLTimeRange range) {
  if (!dataSource_) return;
  for (const auto& event : dataSource_->timelineEventsInTimeRange(range)) {
    auto url = event->timelineEventImageUrl();
    if (!url) continue;
    std::erase(eventSnapshotsToPrefetch_, *url);
  }
}

}  // namespace dk
