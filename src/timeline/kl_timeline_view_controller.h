// KLTimelineViewController: the screen the facade presents. The camera's history as a vertical
// time strip (the dashboard's table driven by KLTimeRangeAdapter and KLTimelineDataSource), the
// player area above it and the control rows below. It follows the event and recording managers,
// throttles its table reloads to one a second, chooses and stores the zoom level, takes its first
// position, and closes once.
//
// Main thread only: manager callbacks arrive there, and reloads they cause are posted to the main
// queue so a callback never reloads the table inside its own call.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/timer.h"
#include "platform/ui/application.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/alert_controller.h"
#include "platform/ui/document_interaction_controller.h"
#include "services/kl_camera_roll_album_manager.h"
#include "services/kl_download_manager.h"
#include "services/kl_event_manager.h"
#include "services/kl_recording_manager.h"
#include "timeline/event_manager_lookups.h"
#include "timeline/kl_calendar.h"
#include "timeline/kl_date_picker_delegate.h"
#include "timeline/kl_day_picker_data_source_delegate.h"
#include "timeline/kl_horizontal_picker_view.h"
#include "timeline/kl_month_picker_data_source_delegate.h"
#include "timeline/kl_dashboard_view_controller.h"
#include "timeline/kl_time_range_adapter.h"
#include "timeline/kl_timeline_data_source.h"
#include "timeline/kl_update_available_view.h"
#include "timeline/reload_throttle.h"
#include "timeline/timeline_event_feed.h"
#include "timeline/timeline_player.h"
#include "ui/kl_larger_hit_test_area_button.h"
#include "ui/kl_verlically_centered_button.h"

namespace dk {

class KLTimelineViewController;

// Zoom asked by the host.
enum KLTimelineZoomLevel : int {
  KLTimelineZoomLevelDefault = 0,
  KLTimelineZoomLevelFifteenMinutes = 1,
  KLTimelineZoomLevelThreeMinutes = 2,
};

inline constexpr const char* kTimelineSettingsKey = "timelineSettings";
inline constexpr const char* kTimelineOptionKey = "timelineOption";

class KLTimelineDelegate : public virtual platform::Protocol {
 public:
  // didDismissTimeline:, once, after the dismissal has completed.
  virtual void didDismissTimeline(const std::shared_ptr<KLTimelineViewController>& timeline) = 0;
};

class KLTimelineViewController : public KLDashboardViewController,
                                 public KLTimeRangeAdapterDelegate,
                                 public KLTimelineTableViewCellDelegate,
                                 public KLEventsUpdatesDelegate,
                                 public KLRecordingsUpdatesDelegate,
                                 public KLDownloadManagerDelegate,
                                 public KLDatePickerDelegate,
                                 public platform::MonthCalendarDataSource,
                                 public platform::MonthCalendarDelegate,
                                 public platform::PreviewingDelegate {
 public:
  static constexpr const char* kStoryboardName = "Timeline";
  static constexpr const char* kSceneIdentifier = "timelineScreen";
  static constexpr double kReloadInterval = 1.0;
  static constexpr double kRowsPerScreen = 6.0;

  KLTimelineViewController() = default;
  ~KLTimelineViewController() override;

  // ---- configuration (before the view loads) ----
  std::optional<int64_t> cameraID() const { return cameraID_; }
  void setCameraID(std::optional<int64_t> id) { cameraID_ = id; }
  double scrollTimeAfterInit() const { return scrollTimeAfterInit_; }
  void setScrollTimeAfterInit(double time) { scrollTimeAfterInit_ = time; }
  int zoomlevel() const { return zoomlevel_; }
  void setZoomlevel(int level) { zoomlevel_ = level; }
  bool isVerticalRecordingsVisible() const { return isVerticalRecordingsVisible_; }
  void setIsVerticalRecordingsVisible(bool v) { isVerticalRecordingsVisible_ = v; }
  bool isTimelineControlsVisible() const { return isTimelineControlsVisible_; }
  void setIsTimelineControlsVisible(bool v) { isTimelineControlsVisible_ = v; }
  bool isCameraNameVisible() const { return isCameraNameVisible_; }
  void setIsCameraNameVisible(bool v) { isCameraNameVisible_ = v; }
  const std::vector<std::string>& hideEventTypes() const { return hideEventTypes_; }
  void setHideEventTypes(std::vector<std::string> types) { hideEventTypes_ = std::move(types); }
  std::shared_ptr<KLTimelineDelegate> timelineDelegate() const { return timelineDelegate_.lock(); }
  void setTimelineDelegate(std::weak_ptr<KLTimelineDelegate> d) { timelineDelegate_ = std::move(d); }

  // ---- outlets ----
  std::shared_ptr<platform::View> playerContainer() const { return playerContainer_.lock(); }
  std::shared_ptr<platform::ImageView> snapshotImageView() const { return snapshotImageView_.lock(); }
  std::shared_ptr<platform::Label> noVideoInfoLabel() const { return noVideoInfoLabel_.lock(); }
  std::shared_ptr<platform::ImageView> noEventsImageView() const { return noEventsImageView_.lock(); }
  std::shared_ptr<platform::Label> noEventsInfoLabel() const { return noEventsInfoLabel_.lock(); }
  std::shared_ptr<KLLargerHitTestAreaButton> closeButton() const { return closeButton_.lock(); }
  // The event jumps over the player area, shown in a gap when there is an event that way.
  std::shared_ptr<KLLargerHitTestAreaButton> playerPreviousEventButton() const { return playerPreviousEventButton_.lock(); }
  std::shared_ptr<KLLargerHitTestAreaButton> playerNextEventButton() const { return playerNextEventButton_.lock(); }
  // The bottom row's height: 0 when the host hides the controls, so the strip takes their place.
  const std::shared_ptr<platform::LayoutConstraint>& heightConstraint() const { return heightConstraint_; }
  std::shared_ptr<platform::Label> timelineLabel() const { return timelineLabel_.lock(); }
  std::shared_ptr<platform::View> timelineContainerView() const { return timelineContainerView_.lock(); }
  std::shared_ptr<KLUpdateAvailableView> updateAvailableView() const { return updateAvailableView_.lock(); }
  std::shared_ptr<platform::View> bottomControlsContainer() const { return bottomControlsContainer_.lock(); }
  std::shared_ptr<platform::View> recordingBackgroundView() const { return recordingBackgroundView_.lock(); }
  std::shared_ptr<platform::Button> zoomInButton() const { return zoomInButton_.lock(); }
  std::shared_ptr<platform::Button> zoomOutButton() const { return zoomOutButton_.lock(); }

  // ---- working state ----
  const std::shared_ptr<KLTimeRangeAdapter>& adapter() const { return adapter_; }
  const std::shared_ptr<KLTimelineDataSource>& dataSource() const { return dataSource_; }
  unsigned long currentInterval() const { return currentInterval_; }
  bool shouldReloadTableView() const { return throttle_.isPending(); }
  bool isReloadTimerRunning() const { return reloadTableViewTimer_ != nullptr; }
  // Full table reloads, and redraws of the current time's row alone.
  size_t reloadCount() const { return reloadCount_; }
  size_t rowRedrawCount() const { return rowRedrawCount_; }
  const std::shared_ptr<TimelinePlayer>& player() const { return player_; }
  // The embedded player (the hand-off creates it; tests give one).
  void setPlayer(std::shared_ptr<TimelinePlayer> player);
  // The recording handed to the player, as the strip's list holds it now (nullptr once it has
  // left the list). Kept by its model: the list's items are made anew at every change.
  KLTimelineRecordingPtr playingRecording() const;
  platform::BackgroundTaskIdentifier bgTask() const { return bgTask_; }

  // ---- playback hand-off (kl_timeline_view_controller_playback.cpp) ----
  // Makes the embedded player for a camera and recording; tests install their own.
  using PlayerFactory = std::function<std::shared_ptr<TimelinePlayer>(KLCameraPtr, const KLTimelineRecordingPtr&)>;
  static void setPlayerFactory(PlayerFactory factory);
  bool seekInProgress() const { return seekInProgress_; }
  bool snapshotIsBlurred() const { return snapshotIsBlurred_; }
  std::shared_ptr<platform::Button> snapshotButton() const { return snapshotButton_.lock(); }
  // Seeks the player to `time` within `recording`.
  void startPlayerWithRecording(const KLTimelineRecordingPtr& recording, double time);
  void pausePlayer();
  void removePlayer();
  void playerTimeDidChangeToTime(double time);
  void playerPreviousEventWasUpdated() { previousEventWasUpdated(); }
  void playerNextEventWasUpdated() { nextEventWasUpdated(); }
  void playerSpeedWasUpdatedWithRate(double rate);
  void playerDidStartLoading();
  void playerDidEndLoading();
  void playerDidEndPlaying();
  void previousEventWasUpdated();
  void nextEventWasUpdated();
  void playerPreviousEventButtonTapped() { previousEventWasUpdated(); }
  void playerNextEventButtonTapped() { nextEventWasUpdated(); }
  // The player row ("more" row): frame steps and the speed menu, shown by the "more" button.
  std::shared_ptr<platform::Button> previousFrameButton() const { return previousFrameButton_.lock(); }
  std::shared_ptr<platform::Button> nextFrameButton() const { return nextFrameButton_.lock(); }
  std::shared_ptr<platform::Button> speedButton() const { return speedButton_.lock(); }
  std::shared_ptr<KLVerlicallyCenteredButton> moreButton() const { return moreButton_.lock(); }
  std::shared_ptr<platform::View> speedOptionsView() const { return speedOptionsView_.lock(); }
  std::shared_ptr<platform::View> playerBottomControlsContainer() const { return playerBottomControlsContainer_.lock(); }
  // The speed option buttons, each carrying its rate's tag (1001 1X, 1002 2X, 1003 5X, 1004 10X).
  const std::vector<std::shared_ptr<platform::Button>>& speedOptions() const { return speedOptions_; }
  void previousFrameButtonPressed();
  void nextFrameButtonPressed();
  void snapshotButtonPressed();
  // The rate a speed option stands for, by its tag.
  static double rateForSpeedOptionTag(long tag);
  // Opens the speed menu when it is closed, closes it otherwise.
  void speedButtonPressed();
  // A speed option: its title goes to the speed button, the menu closes, the player takes its rate.
  void speedOptionButtonPressed(platform::Control& option);
  // Shows or hides the player row; hiding it closes the speed menu at once.
  void moreButtonPressed();
  // The speed button's title ("1X\nSPEED" until an option or the player's rate changes it).
  std::string speedTitle() const;
  bool isDismissing() const { return dismissing_; }

  // ---- life cycle ----
  void buildLayout(platform::View& root) override;
  void viewDidLoad() override;
  // Replaces the dashboard's: the player is given the current camera whenever its name changes.
  void setUpKVOController() override;
  void setFonts() override;
  void configureNotifications() override;
  void setUpViews() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  bool prefersStatusBarHidden() const override { return false; }
  void resetFacesList();

  // ---- data flow ----
  void didUpdateEventsForCameraID(std::optional<int64_t> cameraID) override;
  void didUpdateRecordingsForCameraID(std::optional<int64_t> cameraID) override;
  // Ordinary reloads run at most once a second; `reset` ones always (and restart the window).
  void reloadTableViewAndResetVelocity(bool reset);
  void reloadTableViewIfNeeded();
  // The signed-in user's rights arrived: the permission bits are computed anew.
  void recomputePermissions();
  void handle_UIApplicationDidEnterBackgroundNotification();
  void handle_UIApplicationWillEnterForegroundNotification();
  void handle_kUnableToSaveVideoToPhotoAlbumNotification();

  // ---- zoom and positioning ----
  void setZoomLevel(int level);
  void setUpTableView();
  static void saveSelectedZoomOption(unsigned long interval);
  static unsigned long getSelectedZoomOption();
  void zoomInButtonPressed() { updateSelectedZoomOptionZoomedIn(true); }
  void zoomOutButtonPressed() { updateSelectedZoomOptionZoomedIn(false); }
  void updateSelectedZoomOptionZoomedIn(bool zoomedIn);
  void updateZoomButtons();
  void tableViewDidAppear();
  // The time the strip starts at when it comes on screen.
  double firstPositionTime() const;
  void scrollTableViewToTime(double time, bool animated, bool sendScrollMessages);
  KLTimelineRecordingPtr preciseRecordingAtTime(double time) const;
  double oldestTimestamp() const;

  // ---- buttons, badge, fades ----
  std::shared_ptr<platform::Button> prevEventButton() const { return prevEventButton_.lock(); }
  std::shared_ptr<platform::Button> nextEventButton() const { return nextEventButton_.lock(); }
  std::shared_ptr<platform::Button> dailySummaryButton() const { return dailySummaryButton_.lock(); }
  // On only with the export right and a camera whose smart detection is known to be on.
  void updateVideoSummaryButton();
  // Arrows to the nearest events outside the visible window; hidden while an event is on screen.
  void updatePreviousNextEventButtons();
  void prevEventButtonTapped();
  void nextEventButtonTapped();
  // The badge's tap: the newest event, and the badge goes.
  void scrollToFirstEvent();
  void hideViewsWithAnimationDuration(double duration, double delay, bool shouldHide);

  // ---- closing ----
  // Dismisses a presented screen once; the delegate hears of it when the dismissal has completed.
  // A screen nobody presented does nothing.
  void closeButtonPressed();

  // ---- axis delegate ----
  double timelineOffsetInTimelineAdapter(KLTimeRangeAdapter& adapter) override;
  double minScrollTimeInTimelineAdapter(KLTimeRangeAdapter& adapter) override;
  void timelineAdapterDidScrollToTime(KLTimeRangeAdapter& adapter, double time) override;
  void timelineAdapterDidEndScrollingAtTime(KLTimeRangeAdapter& adapter, double time) override;
  void timelineAdapterWillBeginScrollingAtTime(KLTimeRangeAdapter& adapter, double time) override;
  void timelineAdapterWillDisplayCellForRowAtTimeRange(KLTimeRangeAdapter& adapter, KLTimeRange range) override;
  void timelineAdapterDidEndDisplayingCellForRowAtTimeRange(KLTimeRangeAdapter& adapter, KLTimeRange range) override;
  // The event whose thumbnail stands in the player area while the user scrolls at `time`: the
  // nearer of the closest events before and after within the level's precision, the later on a tie.
  KLTimelineEventPtr eventForSnapshotAtTime(double time) const;
  // Thumbnails of the rows on screen, prefetched.
  const std::vector<std::string>& eventSnapshotsToPrefetch() const { return eventSnapshotsToPrefetch_; }
  const platform::ImagePtr& lastPresentedSnapshot() const { return lastPresentedSnapshot_; }
  // Nil falls back to the camera's stored snapshot; the player is given the same image.
  void setLastPresentedSnapshot(platform::ImagePtr image);
  bool hasNextEvent() const { return hasNextEvent_; }
  bool hasPreviousEvent() const { return hasPreviousEvent_; }

  // ---- row cell delegate ----
  double recordingsRenderViewOffsetFromLeft() override { return timelineLabelMaxWidth_; }
  double eventsRenderViewOffsetFromLeft() override { return timelineLabelMaxWidth_ + 16; }
  // Hidden unless the strip shows the 3-minute level.
  bool shouldHideActionButtonForEvent(const KLTimelineEventPtr& event) override;
  void userDidTapThumbnailForEvent(const KLTimelineEventPtr& event) override;
  void userDidTapActionButtonForEvent(const KLTimelineEventPtr& event) override;

  // ---- event actions ----
  struct PopoverSource {
    platform::Rect rect;
    std::shared_ptr<platform::View> view;
  };
  // The anchor, its rectangle in the coordinates of the table's superview (where the table's
  // frame is given) and its view the timeline container.
  PopoverSource popoverSourceStructForEvent(const KLTimelineEventPtr& event) const;
  // The anchor's rectangle in its view's own coordinates, as popovers and menus read it.
  platform::Rect popoverRectInSourceView(const PopoverSource& source) const;
  // The sheet offered for an event: share, download, delete (with the right) and cancel.
  std::shared_ptr<platform::AlertController> actionSheetForEvent(const KLTimelineEventPtr& event);
  void shareEvent(const KLEventPtr& event, const PopoverSource& source);
  // Asks for the photo library, fetches the clip's address, then downloads it.
  void downloadEvent(const KLEventPtr& event);
  void deleteEventAskingFirst(const KLEventPtr& event);
  const KLEventPtr& eventToDelete() const { return eventToDelete_; }
  const std::shared_ptr<KLDownloadManager>& downloadManager() const { return downloadManager_; }
  const std::shared_ptr<platform::DocumentInteractionController>& documentInteractionController() const {
    return documentInteractionController_;
  }
  void downloadProgressUpdated(float progress, const KLEventPtr& event) override;
  void errorWithInfo(const std::string& info) override;
  void firstButtonTapped() override;
  void secondButtonTappedWithCompletion(std::function<void()> completion) override;

  // ---- date navigation (kl_timeline_view_controller_dates.cpp) ----
  std::shared_ptr<KLHorizontalPickerView> dayPickerView() const { return dayPickerView_.lock(); }
  std::shared_ptr<KLHorizontalPickerView> monthPickerView() const { return monthPickerView_.lock(); }
  std::shared_ptr<KLCalendar> calendar() const { return calendar_.lock(); }
  std::shared_ptr<platform::View> calendarContainerView() const { return calendarContainerView_.lock(); }
  std::shared_ptr<platform::Button> calendarButton() const { return calendarButton_.lock(); }
  const std::shared_ptr<KLDayPickerDataSourceDelegate>& dayPickerDataSourceDelegate() const { return dayPickers_; }
  const std::shared_ptr<KLMonthPickerDataSourceDelegate>& monthPickerDataSourceDelegate() const { return monthPickers_; }
  std::optional<double> minimumDateForCalendar() const { return minimumDateForCalendar_; }
  void setUpPickers();
  void setUpCalendar();
  // Reloads both strips and turns them to the day strip's first frame.
  void pickersDidAppear();
  // First start of a recording on the day of `date`, and whether there is one.
  KLTimelineRecordingPtr firstRecordingOfDay(double date) const;
  bool areRecordingsAvailableForDate(double date) const;
  void calendarButtonPressed();
  bool isCalendarHidden() const;
  void shouldDisplayCalendar(bool show);
  // Moves the calendar's selection to the day of `time` while it is shown.
  void calendarSelectDateAtTime(double time, bool scrollToDate);
  std::optional<double> lastDateForPickerView(platform::PickerView& picker) override;
  void pickerViewDidSelectDate(platform::PickerView& picker, double date) override;
  void pickerViewDidSelectDateWithOffset(platform::PickerView& picker, int64_t offset) override;
  std::optional<double> minimumDate(platform::MonthCalendarView& calendar) override;
  std::optional<double> maximumDate(platform::MonthCalendarView& calendar) override;
  std::optional<platform::Color> titleDefaultColorForDate(platform::MonthCalendarView& calendar, double date) override;
  bool shouldSelectDate(platform::MonthCalendarView& calendar, double date, platform::MonthPosition position) override;
  void didSelectDate(platform::MonthCalendarView& calendar, double date, platform::MonthPosition position) override;
  void currentPageDidChange(platform::MonthCalendarView& calendar) override;

  // ---- peek (kl_timeline_view_controller_peek.cpp) ----
  // Registers the screen's view for previewing when force touch becomes available (once), and
  // unregisters it when force touch is not available.
  void traitCollectionDidChange(const platform::TraitCollection* previous) override;
  // The peek screen showing the thumbnail of the event row under `location` (in the screen's
  // view), or nullptr while that row shows no thumbnail image.
  std::shared_ptr<platform::ViewController> previewingViewControllerForLocation(platform::PreviewingContext& context,
                                                                                platform::Point location) override;
  void previewingCommitViewController(platform::PreviewingContext&,
                                      const std::shared_ptr<platform::ViewController>&) override {}
  const std::shared_ptr<platform::PreviewingContext>& previewingContex() const { return previewingContex_; }

  bool respondsToSelector(std::string_view selector) const override;

 private:
  // The date row below the player and the calendar over the strip.
  void buildDateLayout(platform::View& container, const platform::Rect& row, const platform::Rect& strip);
  // At every performed reload: a new oldest day reloads what shows the range.
  void refreshDateRangeIfNeeded();

  // 15 % of the view's height (the single-precision constant); 0 without a view.
  double timelineOffset() const;
  std::shared_ptr<KLEventManager> events() const;
  std::shared_ptr<KLRecordingManager> recordings() const;
  void stopObserving();
  // The recordings shown take the times their models hold now (main thread).
  void takeRecordingTimes();
  void updateNoEventsViews();
  void updateTimelineWithRecordingAvailable(bool available);
  void setPlayerButtonsEnabled(bool enabled);
  // The player row and the speed menu over the bottom of the strip (kl_timeline_view_controller_controls.cpp).
  void buildPlayerControlsLayout(platform::View& container, const platform::Rect& row);
  void setUpPlayerControls();
  // The speed button's title for a rate ("5X\nSPEED").
  void showSpeedRate(double rate);
  void jumpToEvent(const KLTimelineEventPtr& event);
  void showInfoPopUp(const char* title, const std::string& text);
  // A clip's outcome (saved, failed): the background task kept for it ends.
  void endBackgroundTaskForClip();

  // configuration
  std::optional<int64_t> cameraID_;
  double scrollTimeAfterInit_ = 0;
  int zoomlevel_ = 0;
  bool isVerticalRecordingsVisible_ = true;
  bool isTimelineControlsVisible_ = true;
  bool isCameraNameVisible_ = true;
  std::vector<std::string> hideEventTypes_;
  std::weak_ptr<KLTimelineDelegate> timelineDelegate_;

  // outlets
  std::weak_ptr<platform::View> playerContainer_;
  std::weak_ptr<platform::ImageView> snapshotImageView_;
  std::weak_ptr<platform::Label> noVideoInfoLabel_;
  std::weak_ptr<platform::ImageView> noEventsImageView_;
  std::weak_ptr<platform::Label> noEventsInfoLabel_;
  std::weak_ptr<KLLargerHitTestAreaButton> closeButton_;
  std::weak_ptr<KLLargerHitTestAreaButton> playerPreviousEventButton_;
  std::weak_ptr<KLLargerHitTestAreaButton> playerNextEventButton_;
  std::shared_ptr<platform::LayoutConstraint> heightConstraint_;
  // The strip's bottom edges, a bottom row's height above the screen's bottom.
  std::vector<std::shared_ptr<platform::LayoutConstraint>> stripBottomConstraints_;
  std::weak_ptr<platform::Label> timelineLabel_;
  std::weak_ptr<platform::View> timelineLineView_;
  std::weak_ptr<platform::View> timelineContainerView_;
  std::weak_ptr<KLUpdateAvailableView> updateAvailableView_;
  std::weak_ptr<platform::View> bottomControlsContainer_;
  std::weak_ptr<platform::View> recordingBackgroundView_;
  std::weak_ptr<platform::Button> zoomInButton_;
  std::weak_ptr<platform::Button> zoomOutButton_;
  std::weak_ptr<KLVerlicallyCenteredButton> moreButton_;
  std::weak_ptr<platform::Button> previousFrameButton_;
  std::weak_ptr<platform::Button> nextFrameButton_;
  std::weak_ptr<platform::Button> speedButton_;
  std::weak_ptr<platform::View> speedOptionsView_;
  std::weak_ptr<platform::View> playerBottomControlsContainer_;
  std::vector<std::shared_ptr<platform::Button>> speedOptions_;
  std::weak_ptr<platform::Button> dailySummaryButton_;
  std::weak_ptr<platform::Button> prevEventButton_;
  std::weak_ptr<platform::Button> nextEventButton_;
  std::shared_ptr<KLDownloadManager> downloadManager_;
  std::shared_ptr<platform::DocumentInteractionController> documentInteractionController_;
  KLEventPtr eventToDelete_;

  // working state
  std::shared_ptr<KLTimeRangeAdapter> adapter_;
  std::shared_ptr<KLTimelineDataSource> dataSource_;
  std::shared_ptr<EventManagerLookups> lookups_;
  TimelineEventFeed eventFeed_;
  unsigned long currentInterval_ = 2;
  std::shared_ptr<TimelinePlayer> player_;
  platform::ObjectPtr playingRecordingModel_;
  bool seekInProgress_ = false;
  bool snapshotIsBlurred_ = false;
  std::weak_ptr<platform::Button> snapshotButton_;
  std::shared_ptr<platform::Timer> reloadTableViewTimer_;
  ReloadThrottle throttle_{kReloadInterval};
  // The strip has shown events / recordings; the first of each kind is let through the throttle.
  bool eventsShown_ = false;
  bool recordingsShown_ = false;
  size_t reloadCount_ = 0;
  size_t rowRedrawCount_ = 0;
  platform::BackgroundTaskIdentifier bgTask_ = platform::kBackgroundTaskInvalid;
  double timelineLabelMaxWidth_ = 0;
  std::vector<std::string> eventSnapshotsToPrefetch_;
  platform::ImagePtr lastPresentedSnapshot_;
  bool hasNextEvent_ = false;
  bool hasPreviousEvent_ = false;
  bool observingManagers_ = false;
  uint64_t recordingTimesGeneration_ = 0;
  std::weak_ptr<KLEventManager> observedEvents_;
  std::weak_ptr<KLRecordingManager> observedRecordings_;
  bool dismissing_ = false;
  // date navigation
  std::weak_ptr<KLHorizontalPickerView> dayPickerView_;
  std::weak_ptr<KLHorizontalPickerView> monthPickerView_;
  std::weak_ptr<KLCalendar> calendar_;
  std::weak_ptr<platform::View> calendarContainerView_;
  std::weak_ptr<platform::Button> calendarButton_;
  std::shared_ptr<KLDayPickerDataSourceDelegate> dayPickers_;
  std::shared_ptr<KLMonthPickerDataSourceDelegate> monthPickers_;
  platform::Rect rect_;
  std::optional<double> minimumDateForCalendar_;
  std::shared_ptr<platform::PreviewingContext> previewingContex_;
  // Keeps the screen alive from the close tap until its dismissal has completed.
  std::shared_ptr<KLTimelineViewController> selfWhileDismissing_;
};

}  // namespace dk
