#include "timeline/kl_timeline_data_source.h"

#include "foundation/kl_server.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <unordered_set>

#include "foundation/color_codes.h"
#include "foundation/credential_storage.h"
#include "foundation/date_timeline_helper.h"
#include "foundation/kl_server.h"
#include "platform/dispatch/clock.h"
#include "platform/foundation/user_defaults.h"
#include "platform/media/images/image_view_web_cache.h"
#include "platform/ui/shape_layer.h"
#include "timeline/download_progress_layer.h"
#include "timeline/kl_timeline_model_fabric.h"
#include "timeline/timeline_event_adapter.h"
#include "timeline/timeline_recording_adapter.h"
#include "timeline/timeline_search.h"
#include "ui/button_tint.h"
#include "ui/download_status_circle.h"

namespace dk {

using platform::Rect;

namespace {

// An event is the REST event behind its item; items without one stand for themselves.
const void* eventIdentity(const KLTimelineEventPtr& event) {
  if (auto object = event->timelineEventUnderlyingObject()) return object.get();
  return event.get();
}

// Motion, infrared and audio events show their type's picture; the others their snapshot.
bool showsSnapshot(const KLTimelineEventInterface& event) {
  if (auto rest = underlyingEvent(event)) return rest->eventType() > KLEventTypeAudioCategorized;
  return event.timelineEventPlaceholderImage() == nullptr;
}

using timeline_search::isKnownTime;

}  // namespace

KLTimelineDataSource::KLTimelineDataSource(KLTimelineIntervalOptionPtr option,
                                           std::weak_ptr<const EventLookups> eventManager)
    : recordingsModel_(KLTimelineModelFabric::getRecordingsModel()),
      eventsModel_(KLTimelineModelFabric::getEventsModel()),
      eventsWithThumbnailModel_(KLTimelineModelFabric::getEventsWithThumbnailModelWithEventManager(eventManager)),
      eventManager_(std::move(eventManager)) {
  setTimelineOption(option ? std::move(option) : KLTimelineIntervalOption::defaultOption());
}

void KLTimelineDataSource::setTimelineOption(KLTimelineIntervalOptionPtr option) {
  if (!option) return;
  timelineOption_ = std::move(option);
  eventsWithThumbnailModel_->clearAndSetMinimalTimeBetweenEventsWithThumbnail(timelineOption_->rowTimeInterval());
  eventsWithThumbnailModel_->updateWithEvents(eventsModel_->allTimelineEvents());
}

void KLTimelineDataSource::registerCellsForTableView(platform::TableView& tableView) {
  tableView.registerCell(kTimelineCellIdentifier,
                         [](const std::string& identifier) { return KLTimelineTableViewCell::make(identifier); });
}

std::shared_ptr<platform::ImageDownloader> KLTimelineDataSource::imageDownloader() const {
  return downloader_ ? downloader_ : platform::ImageDownloader::sharedDownloader();
}

// ---- data ----

bool KLTimelineDataSource::updateWithRecordings(KLTimelineRecordings recordings) {
  return recordingsModel_->updateWithRecordings(std::move(recordings));
}

std::vector<KLTimelineEventPtr> KLTimelineDataSource::findAddedEventsFrom(const KLTimelineEvents& events) const {
  const KLTimelineEvents& held = eventsModel_->events();
  if (held.size() == 0) return events.toVector();
  // By identity, not by count: deletions and arrivals at either end may come in one list.
  std::unordered_set<const void*> heldIdentities;
  heldIdentities.reserve(held.size());
  for (const auto& event : held) heldIdentities.insert(eventIdentity(event));
  std::vector<KLTimelineEventPtr> added;
  for (const auto& event : events)
    if (!heldIdentities.contains(eventIdentity(event))) added.push_back(event);
  return added;
}

bool KLTimelineDataSource::updateWithEvents(KLTimelineEvents events) {
  auto added = findAddedEventsFrom(events);
  const size_t held = eventsModel_->events().size();
  eventsModel_->updateWithEvents(events);
  // Held events that are not in the new list were deleted: their cards go too.
  if (held > 0 && held + added.size() != events.size()) eventsWithThumbnailModel_->removeThumbnailsOfEventsNotIn(events);
  eventsWithThumbnailModel_->updateWithEvents(makeTimelineEvents(std::move(added)));
  return true;
}

bool KLTimelineDataSource::refreshRecordingTimes() {
  if (!TimelineRecordingAdapter::refreshTimes(recordingsModel_->recordings())) return false;
  // A start or end that came (or went) moves the recording onto (or off) the axis.
  recordingsModel_->placeRecordings();
  return true;
}

KLTimelineRecordings KLTimelineDataSource::allTimelineRecordings() const { return recordingsModel_->allTimelineRecordings(); }
std::vector<KLTimelineRecordingPtr> KLTimelineDataSource::timelineRecordingsInTimeRange(KLTimeRange range) const {
  return recordingsModel_->timelineRecordingsInTimeRange(range);
}
KLTimelineRecordingPtr KLTimelineDataSource::timelineRecordingAtTime(double time) const {
  return recordingsModel_->timelineRecordingAtTime(time);
}
KLTimelineRecordingPtr KLTimelineDataSource::closestTimelineRecordingAfterTime(double time) const {
  return recordingsModel_->closestTimelineRecordingAfterTime(time);
}
KLTimelineRecordingPtr KLTimelineDataSource::closestTimelineRecordingBeforeTime(double time) const {
  return recordingsModel_->closestTimelineRecordingBeforeTime(time);
}
KLTimelineRecordingPtr KLTimelineDataSource::newestTimelineRecording() const {
  return recordingsModel_->newestTimelineRecording();
}
KLTimelineRecordingPtr KLTimelineDataSource::oldestTimelineRecording() const {
  return recordingsModel_->oldestTimelineRecording();
}
KLTimelineEvents KLTimelineDataSource::allTimelineEvents() const { return eventsModel_->allTimelineEvents(); }
std::vector<KLTimelineEventPtr> KLTimelineDataSource::timelineEventsInTimeRange(KLTimeRange range) const {
  return eventsModel_->timelineEventsInTimeRange(range);
}
KLTimelineEventPtr KLTimelineDataSource::closestTimelineEventAfterTime(double time) const {
  return eventsModel_->closestTimelineEventAfterTime(time);
}
KLTimelineEventPtr KLTimelineDataSource::closestTimelineEventBeforeTime(double time) const {
  return eventsModel_->closestTimelineEventBeforeTime(time);
}
KLTimelineEventPtr KLTimelineDataSource::newestTimelineEvent() const { return eventsModel_->newestTimelineEvent(); }
KLTimelineEventPtr KLTimelineDataSource::oldestTimelineEvent() const { return eventsModel_->oldestTimelineEvent(); }
KLTimelineEventPtr KLTimelineDataSource::eventWithThumbnailAtTime(double time) const {
  return eventsWithThumbnailModel_->eventWithThumbnailAtTime(time);
}

std::optional<double> KLTimelineDataSource::oldestKnownRecordingStart() const {
  const auto recordings = recordingsModel_->allTimelineRecordings();
  for (size_t i = recordings.size(); i-- > 0;)
    if (const double start = recordings[i]->timelineRecordingStartTime(); isKnownTime(start)) return start;
  return std::nullopt;
}

std::optional<double> KLTimelineDataSource::oldestKnownEventTime() const {
  const auto events = eventsModel_->allTimelineEvents();
  for (size_t i = events.size(); i-- > 0;)
    if (const double t = events[i]->timelineEventTimestamp(); isKnownTime(t)) return t;
  return std::nullopt;
}

// ---- the time axis ----

bool KLTimelineDataSource::respondsToSelector(std::string_view selector) const {
  return selector == "startTimeInTimelineAdapter:" || selector == "endTimeInTimelineAdapter:" ||
         selector == "rowTimeIntervalInTimelineAdapter:" ||
         selector == "tableView:didSelectTime:withXOffset:inTimelineAdapterTime:";
}

double KLTimelineDataSource::startTimeInTimelineAdapter(KLTimeRangeAdapter&) {
  double t = platform::now();
  if (auto oldest = oldestKnownRecordingStart()) t = *oldest;
  if (auto oldest = oldestKnownEventTime(); oldest && *oldest < t) t = *oldest;
  return roundedDateWithTimeIntervalSince1970(t, -2);
}

double KLTimelineDataSource::endTimeInTimelineAdapter(KLTimeRangeAdapter&) {
  timelineEndTime_ = dateWithDaysOffset(midnightForTimeInterval(platform::now()), 1);
  return timelineEndTime_;
}

double KLTimelineDataSource::rowTimeIntervalInTimelineAdapter(KLTimeRangeAdapter&) {
  return timelineOption_->rowTimeInterval();
}

std::shared_ptr<platform::TableViewCell> KLTimelineDataSource::tableViewCellForRowAtTimeRange(
    platform::TableView& tableView, KLTimeRange range, KLTimeRangeAdapter&) {
  auto dequeued = tableView.dequeueReusableCell(kTimelineCellIdentifier, platform::IndexPath{});
  auto cell = std::dynamic_pointer_cast<KLTimelineTableViewCell>(dequeued);
  if (!cell) cell = KLTimelineTableViewCell::make();
  configureCell(*cell, range, tableView.rowHeight());
  return cell;
}

void KLTimelineDataSource::tableViewUpdateCell(platform::TableView& tableView, platform::TableViewCell& cell,
                                               KLTimeRange range, KLTimeRangeAdapter&) {
  if (auto* row = dynamic_cast<KLTimelineTableViewCell*>(&cell)) drawRecordings(*row, range, tableView.rowHeight());
}

void KLTimelineDataSource::configureCell(KLTimelineTableViewCell& cell, KLTimeRange range, double rowHeight) {
  if (timelineEndTime_ == 0) timelineEndTime_ = dateWithDaysOffset(midnightForTimeInterval(platform::now()), 1);
  if (renderingViewHidden_) cell.isRecordingViewHidden(true);
  drawRecordings(cell, range, rowHeight);
  drawEvents(cell, range, rowHeight);
  placeTimeLabel(cell, range, rowHeight);
  showEventCard(cell, range, rowHeight);
  cell.setNeedsLayout();
}

void KLTimelineDataSource::drawRecordings(KLTimelineTableViewCell& cell, KLTimeRange range, double h) {
  if (auto delegate = cellDelegate()) cell.recordingsRenderViewOffset()->setConstant(delegate->recordingsRenderViewOffsetFromLeft());
  auto& view = *cell.recordingsRenderView();
  const double w = view.frame().size.width > 0 ? view.frame().size.width : KLTimelineTableViewCell::kColumnWidth;
  view.layer().removeAllSublayers();
  const double k = h / timelineOption_->rowTimeInterval();
  platform::Path path;
  for (const auto& recording : recordingsModel_->timelineRecordingsInTimeRange(range)) {
    // Bars run up to one width past the row, so round caps fall outside and spans look continuous.
    const double a = std::min((recording->timelineRecordingEndTime() - range.start) * k, std::ceil(w + h));
    const double b = std::max((recording->timelineRecordingStartTime() - range.start) * k, std::floor(-w));
    if (!(a > b)) continue;
    path.addPath(platform::Path::roundedRect(Rect(0, h - a, w, a - b), w / 2));
  }
  auto shape = std::make_shared<platform::ShapeLayer>();
  shape->setPath(std::move(path));
  shape->setFillColor(darkColor());
  shape->setFrame(Rect(0, 0, w, h));
  view.layer().addSublayer(shape);
}

void KLTimelineDataSource::drawEvents(KLTimelineTableViewCell& cell, KLTimeRange range, double h) {
  if (auto delegate = cellDelegate()) cell.eventsRenderViewOffset()->setConstant(delegate->eventsRenderViewOffsetFromLeft());
  auto& view = *cell.eventsRenderView();
  const double w = view.frame().size.width > 0 ? view.frame().size.width : KLTimelineTableViewCell::kColumnWidth;
  view.layer().removeAllSublayers();
  const double k = h / timelineOption_->rowTimeInterval();
  // Half a mark's height: 15 seconds either side, unless the column is narrower.
  const double r = std::min(static_cast<float>(15.0 * k), static_cast<float>(w / 2));
  platform::Path path;
  for (const auto& event : eventsModel_->timelineEventsInTimeRange({range.start - r / k, range.duration + 2 * r / k})) {
    const double c = (event->timelineEventTimestamp() - range.start) * k;
    path.addPath(platform::Path::roundedRect(Rect(0, h - (c + r), w, 2 * r), r));
  }
  auto shape = std::make_shared<platform::ShapeLayer>();
  shape->setPath(std::move(path));
  shape->setFillColor(lightColor());
  shape->setFrame(Rect(0, 0, w, h));
  view.layer().addSublayer(shape);
}

void KLTimelineDataSource::placeTimeLabel(KLTimelineTableViewCell& cell, KLTimeRange range, double h) {
  const double E = timelineEndTime_;
  const double T = timelineOption_->timestampInterval();
  const double s = range.start, e = range.start + range.duration;
  // The first label time at or after the row end, counting back from the axis end in steps of T.
  const double q = std::trunc((E - e) / T);
  double tick = E - q * T;
  bool shown = std::fabs(tick - e) < DBL_EPSILON;
  if (!shown && tick > e) {
    tick -= T;
    shown = s <= tick && tick < e;
  }
  auto& label = *cell.timestampLabel();
  if (!shown) {
    label.setHidden(true);
    return;
  }
  label.setText("- " + timelineOption_->formatter()->stringFromDate(tick));
  cell.timstampLabelOffset()->setConstant((e - tick) * h / timelineOption_->rowTimeInterval());
  label.setHidden(false);
}

void KLTimelineDataSource::showEventCard(KLTimelineTableViewCell& cell, KLTimeRange range, double h) {
  // Whatever the row showed before, its thumbnail load is over: a late image must not land here.
  platform::cancelCurrentImageLoad(*cell.eventThumbnail());
  const auto thumbnails = eventsWithThumbnailModel_->timelineEventsInTimeRange(range);
  if (thumbnails.empty()) {
    cell.eventContainer()->setHidden(true);
    return;
  }
  const KLTimelineEventPtr& event = thumbnails.front();
  loadThumbnail(cell, event);

  auto lookups = eventManager_.lock();
  std::string text;
  if (auto face = event->timelineEventFaceID(); face && lookups) {
    text = lookups->getFaceNameForFaceID(*face);
  } else if (lookups) {
    text = lookups->getLocalizedNameForEventType(event->timelineEventType(), event->timelineEventCategory());
  } else {
    text = event->timelineEventType().value_or("");
  }
  cell.eventTypeLabel()->setText(text);
  cell.eventContainterOffset()->setConstant((event->timelineEventTimestamp() - range.start) * h /
                                            timelineOption_->rowTimeInterval());
  cell.eventContainer()->setHidden(false);

  auto delegate = cellDelegate();
  const bool actionHidden = !delegate || delegate->shouldHideActionButtonForEvent(event);
  cell.eventActionContainerView()->setHidden(actionHidden);
  showDownloadState(cell, event, actionHidden);
}

void KLTimelineDataSource::loadThumbnail(KLTimelineTableViewCell& cell, const KLTimelineEventPtr& event) {
  auto downloader = imageDownloader();
  // The header applies to every later thumbnail download; with no stored credential there is no
  // token to send, so no authorisation header at all.
  std::optional<std::string> token;
  if (tokenSource_) {
    token = tokenSource_();
  } else if (auto credential = retrieveCredential(); credential && !credential->accessToken().empty()) {
    token = credential->accessToken();
  }
  downloader->setValueForHTTPHeaderField(token ? std::optional<std::string>("Bearer " + *token) : std::nullopt,
                                         "Authorization");
  downloader->setValueForHTTPHeaderField("image/jpeg", "Accept");
  downloader->setCredentialServer(KLServer::sharedInstance()->baseURL());

  auto& thumbnail = *cell.eventThumbnail();
  thumbnail.setBackgroundColor(lightGreyColor());
  thumbnail.setContentMode(platform::ContentMode::Center);
  if (!showsSnapshot(*event)) {
    setImageAndTint(thumbnail, event->timelineEventPlaceholderImage(), lightColor());
    return;
  }
  auto weakView = std::weak_ptr<platform::ImageView>(cell.eventThumbnail());
  thumbnail.setTintColor(std::nullopt);
  platform::setImageWithURL(
      thumbnail, event->timelineEventImageUrl().value_or(""), nullptr, platform::kImageRetryFailed,
      [weakView](platform::ImagePtr image, platform::ErrorPtr error, bool, const std::string&) {
        auto view = weakView.lock();
        if (!view) return;
        if (!image || error) {
          view->setImage(platform::Image::named("no_snap"));
        } else {
          view->setContentMode(platform::ContentMode::ScaleToFill);
        }
      },
      downloader);
}

void KLTimelineDataSource::showDownloadState(KLTimelineTableViewCell& cell, const KLTimelineEventPtr& event,
                                             bool actionHidden) {
  auto& statusImage = *cell.downloadStatusImageView();
  auto& container = *cell.downloadStatusContainerView();
  if (actionHidden) {
    statusImage.setAlpha(0);
    container.setHidden(true);
    return;
  }
  removeDownloadProgressLayerFromLayerWithName(statusImage.layer(), kDownloadProgressLayerName);
  auto rest = underlyingEvent(*event);
  const double progress = rest ? rest->downloadProgress().value_or(0) : 0;
  const bool downloaded =
      rest && rest->eventID() &&
      !platform::UserDefaults::standard()->objectForKey("Event-" + std::to_string(*rest->eventID()) + ".mp4").isNil();
  if (downloaded || progress == 1.0) {
    statusImage.setImage(platform::Image::named("download_done"));
    statusImage.setTintColor(std::nullopt);
    statusImage.setAlpha(1);
    container.setHidden(false);
    if (rest) rest->setDownloadProgress(1.0);
    return;
  }
  if (progress > 0) {
    setImageAndTint(statusImage, platform::Image::named("download_while"), lightColor());
    statusImage.setAlpha(1);
    container.setHidden(false);
  } else {
    statusImage.setAlpha(0);
    container.setHidden(true);
  }
  const double width = statusImage.frame().size.width > 0 ? statusImage.frame().size.width
                                                          : KLTimelineTableViewCell::kStatusSize;
  auto ring = downloadStatusCircleLayer(getDownloadStatusCircleWithRadius(
      lightColor(), static_cast<float>(width / 2), static_cast<float>(progress), 1.5f));
  addDownloadProgressLayerWithName(ring, statusImage.layer(), kDownloadProgressLayerName);
}

void KLTimelineDataSource::tableViewDidSelectTime(platform::TableView& tableView, double time, double xOffset,
                                                  KLTimeRangeAdapter&) {
  auto delegate = cellDelegate();
  if (!delegate) return;
  const double row = timelineOption_->rowTimeInterval();
  const auto thumbnails = eventsWithThumbnailModel_->timelineEventsInTimeRange({time - row / 2, row});
  if (thumbnails.size() != 1) return;
  // Every card shares one horizontal layout, but a row without a card may keep the collapsed action
  // of an earlier zoom level: a visible cell that shows its card answers for all.
  std::shared_ptr<KLTimelineTableViewCell> cell;
  for (const auto& visible : tableView.visibleCells()) {
    auto candidate = std::dynamic_pointer_cast<KLTimelineTableViewCell>(visible);
    if (!candidate) continue;
    if (!cell) cell = candidate;
    if (!candidate->eventContainer()->isHidden()) {
      cell = candidate;
      break;
    }
  }
  if (!cell) return;
  cell->layoutIfNeeded();
  const KLTimelineEventPtr& event = thumbnails.front();
  if (cell->xOffsetLocatedAtThumbnail(xOffset) && delegate->respondsToSelector("userDidTapThumbnailForEvent:"))
    delegate->userDidTapThumbnailForEvent(event);
  if (cell->xOffsetLocatedAtAction(xOffset) && !delegate->shouldHideActionButtonForEvent(event) &&
      delegate->respondsToSelector("userDidTapActionButtonForEvent:"))
    delegate->userDidTapActionButtonForEvent(event);
}

}  // namespace dk
