// KLTimelineDataSource: the single owner of what the time strip shows — the zoom level, the
// recordings, the events and the thumbnail choice. It answers the time axis with its range and
// its row cells, draws each row (recordings as bars, events as marks, a time label, at most one
// event card with thumbnail, type name, action and download state) and turns taps on a row into
// thumbnail and action taps for the timeline screen.
//
// Thumbnails load through the image downloader (the shared one unless another is given), with the
// stored credential's bearer token when there is one and no authorisation header when there is
// none. Event names and type priorities come from the event look-ups, held weakly, as is the cell
// delegate. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/media/images/image_downloader.h"
#include "timeline/event_lookups.h"
#include "timeline/kl_time_range_adapter.h"
#include "timeline/kl_timeline_events_model.h"
#include "timeline/kl_timeline_events_with_thumbnail_model.h"
#include "timeline/kl_timeline_interval_option.h"
#include "timeline/kl_timeline_recordings_model.h"
#include "timeline/kl_timeline_table_view_cell.h"

namespace dk {

class KLTimelineDataSourceInterface : public KLTimelineRecordingsModelInterface,
                                      public KLTimelineEventsModelInterface,
                                      public KLTimelineEventsWithThumbnailModelPublicInterface {
 public:
  virtual void setTimelineOption(KLTimelineIntervalOptionPtr option) = 0;
  virtual void setCellDelegate(std::weak_ptr<KLTimelineTableViewCellDelegate> delegate) = 0;
  virtual void registerCellsForTableView(platform::TableView& tableView) = 0;
};

class KLTimelineDataSource final : public KLTimelineDataSourceInterface, public KLTimeRangeAdapterDataSource {
 public:
  static constexpr const char* kDownloadProgressLayerName = "downloadProgress";
  // The stored bearer token, read at each thumbnail (nullopt: none stored).
  using TokenSource = std::function<std::optional<std::string>()>;

  KLTimelineDataSource(KLTimelineIntervalOptionPtr option, std::weak_ptr<const EventLookups> eventManager);

  // ---- configuration ----
  void setTimelineOption(KLTimelineIntervalOptionPtr option) override;
  const KLTimelineIntervalOptionPtr& timelineOption() const { return timelineOption_; }
  void setCellDelegate(std::weak_ptr<KLTimelineTableViewCellDelegate> delegate) override { cellDelegate_ = delegate; }
  std::shared_ptr<KLTimelineTableViewCellDelegate> cellDelegate() const { return cellDelegate_.lock(); }
  // The table makes its row cells as the layout resource would.
  void registerCellsForTableView(platform::TableView& tableView) override;
  void hideRecordingRenderView(bool hidden) { renderingViewHidden_ = hidden; }
  bool renderingViewHidden() const { return renderingViewHidden_; }
  double timelineEndTime() const { return timelineEndTime_; }
  void setImageDownloader(std::shared_ptr<platform::ImageDownloader> downloader) { downloader_ = std::move(downloader); }
  std::shared_ptr<platform::ImageDownloader> imageDownloader() const;
  void setTokenSource(TokenSource source) { tokenSource_ = std::move(source); }

  const std::shared_ptr<KLTimelineRecordingsModel>& recordingsModel() const { return recordingsModel_; }
  const std::shared_ptr<KLTimelineEventsModel>& eventsModel() const { return eventsModel_; }
  const std::shared_ptr<KLTimelineEventsWithThumbnailModel>& eventsWithThumbnailModel() const {
    return eventsWithThumbnailModel_;
  }

  // ---- data ----
  // Every recording is held and counted (allTimelineRecordings); only those with known times are
  // drawn and found by time.
  bool updateWithRecordings(KLTimelineRecordings recordings) override;
  // The recordings take their current times; true when any changed.
  bool refreshRecordingTimes();
  // A full newest-first list: the events added since the last list get thumbnails by the
  // incremental rule; thumbnails of events that left the list are dropped.
  bool updateWithEvents(KLTimelineEvents events) override;
  // The events of `events` not held yet (by the identity of the events behind the items).
  std::vector<KLTimelineEventPtr> findAddedEventsFrom(const KLTimelineEvents& events) const;

  KLTimelineRecordings allTimelineRecordings() const override;
  std::vector<KLTimelineRecordingPtr> timelineRecordingsInTimeRange(KLTimeRange range) const override;
  KLTimelineRecordingPtr timelineRecordingAtTime(double time) const override;
  KLTimelineRecordingPtr closestTimelineRecordingAfterTime(double time) const override;
  KLTimelineRecordingPtr closestTimelineRecordingBeforeTime(double time) const override;
  KLTimelineRecordingPtr newestTimelineRecording() const override;
  KLTimelineRecordingPtr oldestTimelineRecording() const override;
  KLTimelineEvents allTimelineEvents() const override;
  std::vector<KLTimelineEventPtr> timelineEventsInTimeRange(KLTimeRange range) const override;
  KLTimelineEventPtr closestTimelineEventAfterTime(double time) const override;
  KLTimelineEventPtr closestTimelineEventBeforeTime(double time) const override;
  KLTimelineEventPtr newestTimelineEvent() const override;
  KLTimelineEventPtr oldestTimelineEvent() const override;
  KLTimelineEventPtr eventWithThumbnailAtTime(double time) const override;
  // The oldest recording start and event time that are known: items without a time (an event
  // without timestamp, a start that did not parse) stand at the lists' ends as time 0.
  std::optional<double> oldestKnownRecordingStart() const;
  std::optional<double> oldestKnownEventTime() const;

  // ---- the time axis ----
  bool respondsToSelector(std::string_view selector) const override;
  // The oldest known recording start or event time (else now), on the hour, two hours earlier.
  double startTimeInTimelineAdapter(KLTimeRangeAdapter& adapter) override;
  // The midnight that ends today.
  double endTimeInTimelineAdapter(KLTimeRangeAdapter& adapter) override;
  double rowTimeIntervalInTimelineAdapter(KLTimeRangeAdapter& adapter) override;
  std::shared_ptr<platform::TableViewCell> tableViewCellForRowAtTimeRange(platform::TableView& tableView,
                                                                          KLTimeRange range,
                                                                          KLTimeRangeAdapter& adapter) override;
  // Redraws the recordings bars of a row (the open recording grows).
  void tableViewUpdateCell(platform::TableView& tableView, platform::TableViewCell& cell, KLTimeRange range,
                           KLTimeRangeAdapter& adapter) override;
  void tableViewDidSelectTime(platform::TableView& tableView, double time, double xOffset,
                              KLTimeRangeAdapter& adapter) override;

  // ---- drawing one row (also for tools that draw rows without a table) ----
  void configureCell(KLTimelineTableViewCell& cell, KLTimeRange range, double rowHeight);
  void drawRecordings(KLTimelineTableViewCell& cell, KLTimeRange range, double rowHeight);
  void drawEvents(KLTimelineTableViewCell& cell, KLTimeRange range, double rowHeight);
  void placeTimeLabel(KLTimelineTableViewCell& cell, KLTimeRange range, double rowHeight);
  void showEventCard(KLTimelineTableViewCell& cell, KLTimeRange range, double rowHeight);

 private:
  void showDownloadState(KLTimelineTableViewCell& cell, const KLTimelineEventPtr& event, bool actionHidden);
  void loadThumbnail(KLTimelineTableViewCell& cell, const KLTimelineEventPtr& event);

  bool renderingViewHidden_ = false;
  KLTimelineIntervalOptionPtr timelineOption_;
  std::weak_ptr<KLTimelineTableViewCellDelegate> cellDelegate_;
  std::shared_ptr<KLTimelineRecordingsModel> recordingsModel_;
  std::shared_ptr<KLTimelineEventsModel> eventsModel_;
  std::shared_ptr<KLTimelineEventsWithThumbnailModel> eventsWithThumbnailModel_;
  std::weak_ptr<const EventLookups> eventManager_;
  double timelineEndTime_ = 0;
  std::shared_ptr<platform::ImageDownloader> downloader_;
  TokenSource tokenSource_;
};

}  // namespace dk
