#include "timeline/kl_timeline_view_controller.h"

#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "foundation/date_timeline_helper.h"
#include "live/kl_data_manager.h"
#include "model/snapshot_image_cache.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/foundation/bundle.h"
#include "platform/media/images/image_cache.h"
#include "platform/media/images/image_prefetcher.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/ui_notifications.h"
#include "timeline/timeline_event_adapter.h"
#include "timeline/timeline_recording_adapter.h"
#include "ui/button_tint.h"
#include "ui/fonts.h"
#include "ui/kl_verlically_centered_button.h"

namespace dk {

using platform::Rect;

namespace {

std::string frameworkText(std::string_view key) {
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key, key);
}

std::string upper(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

constexpr double kPlayerAspect = 9.0 / 16.0;
constexpr double kBottomRowHeight = 64.0;
constexpr double kDateRowHeight = 50.0;

}  // namespace

KLTimelineViewController::~KLTimelineViewController() {
  // The delegate goes first, so pausing cannot call back into a screen being destroyed.
  if (player_) {
    player_->setPlayerDelegate({});
    player_->pausePlayer();
  }
  if (reloadTableViewTimer_) reloadTableViewTimer_->invalidate();
  platform::ImageCache::sharedImageCache()->clearMemory();
  platform::NotificationCenter::defaultCenter().removeObserver(observerKey());
}

void KLTimelineViewController::setPlayer(std::shared_ptr<TimelinePlayer> player) {
  player_ = std::move(player);
  if (!player_) return;
  // The screen as the player's delegate (through one of its protocol bases).
  std::shared_ptr<platform::Protocol> self =
      std::static_pointer_cast<KLTimeRangeAdapterDelegate>(sharedAs<KLTimelineViewController>());
  player_->setPlayerDelegate(self);
}

std::shared_ptr<KLEventManager> KLTimelineViewController::events() const { return dataManager()->eventManager(); }
std::shared_ptr<KLRecordingManager> KLTimelineViewController::recordings() const {
  return dataManager()->recordingManager();
}

// ---- layout ----

void KLTimelineViewController::buildLayout(platform::View& root) {
  auto bounds = root.bounds();
  double width = bounds.size.width;
  double playerHeight = std::round(width * kPlayerAspect) + 40;
  double stripTop = playerHeight + kDateRowHeight;
  double stripHeight = std::max(0.0, bounds.size.height - stripTop - kBottomRowHeight);
  Rect strip(0, stripTop, width, stripHeight);

  KLDashboardViewController::buildLayout(root);
  auto container = containerView();
  auto bottom = std::make_shared<platform::View>(Rect(0, bounds.size.height - kBottomRowHeight, width, kBottomRowHeight));
  container->addSubview(bottom);
  bottomControlsContainer_ = bottom;
  auto recordingBackground = std::make_shared<platform::View>(Rect(0, stripTop, 0, stripHeight));
  container->insertSubview(recordingBackground, 0);
  recordingBackgroundView_ = recordingBackground;
  auto timelineContainer = std::make_shared<platform::View>(strip);
  container->insertSubview(timelineContainer, 1);
  timelineContainerView_ = timelineContainer;
  using platform::LayoutAttribute;
  using platform::LayoutConstraint;
  using platform::LayoutRelation;
  auto pin = [](const std::shared_ptr<platform::View>& view, LayoutAttribute attribute,
                          const std::shared_ptr<platform::View>& other, LayoutAttribute otherAttribute,
                          double constant = 0) {
    return LayoutConstraint::make(view, attribute, LayoutRelation::Equal, other, otherAttribute, 1, constant);
  };
  bottom->setTranslatesAutoresizingMaskIntoConstraints(false);
  heightConstraint_ = LayoutConstraint::make(bottom, LayoutAttribute::Height, LayoutRelation::Equal, nullptr,
                                             LayoutAttribute::NotAnAttribute, 1, kBottomRowHeight);
  container->addConstraints({pin(bottom, LayoutAttribute::Left, container, LayoutAttribute::Left),
                             pin(bottom, LayoutAttribute::Width, container, LayoutAttribute::Width),
                             pin(bottom, LayoutAttribute::Bottom, container, LayoutAttribute::Bottom),
                             heightConstraint_});
  // The rows are drawn for a light strip: dark bars and names on white.
  timelineContainer->setBackgroundColor(platform::Color::whiteColor());
  if (auto table = tableView()) {
    table->setFrame(strip);
    table->setBackgroundColor(platform::Color::whiteColor());
  }
  if (auto panel = noConnectionView()) panel->setFrame(strip);
  if (auto back = backButton()) back->setHidden(true);
  if (auto title = titleLabel()) title->setHidden(true);
  // The strip's own views end a bottom row above the screen's bottom (the no-network panel keeps
  // the frame the dashboard gives it).
  for (const auto& view : std::vector<std::shared_ptr<platform::View>>{recordingBackground, timelineContainer,
                                                                       tableView()}) {
    if (!view) continue;
    const auto frame = view->frame();
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto stripBottom = pin(view, LayoutAttribute::Bottom, container, LayoutAttribute::Bottom, -kBottomRowHeight);
    container->addConstraints({pin(view, LayoutAttribute::Top, container, LayoutAttribute::Top, frame.origin.y),
                               pin(view, LayoutAttribute::Left, container, LayoutAttribute::Left, frame.origin.x),
                               frame.size.width == width
                                   ? pin(view, LayoutAttribute::Width, container, LayoutAttribute::Width)
                                   : pin(view, LayoutAttribute::Width, nullptr, LayoutAttribute::NotAnAttribute,
                                         frame.size.width),
                               stripBottom});
    stripBottomConstraints_.push_back(stripBottom);
  }

  auto player = std::make_shared<platform::View>(Rect(0, 0, width, playerHeight));
  player->setBackgroundColor(platform::Color{0, 0, 0, 1});
  container->addSubview(player);
  playerContainer_ = player;
  auto snapshot = std::make_shared<platform::ImageView>(Rect(0, 0, width, playerHeight));
  snapshot->setContentMode(platform::ContentMode::ScaleAspectFill);
  container->addSubview(snapshot);
  snapshotImageView_ = snapshot;
  auto noVideo = std::make_shared<platform::Label>(Rect(16, playerHeight / 2 - 12, width - 32, 24));
  noVideo->setTextAlignment(platform::TextAlignment::Center);
  container->addSubview(noVideo);
  noVideoInfoLabel_ = noVideo;
  auto close = std::make_shared<KLLargerHitTestAreaButton>(Rect(width - 52, 8, 44, 44));
  close->setTitle("\u00d7", platform::kControlStateNormal);
  close->setTitleColor(platform::Color::whiteColor(), platform::kControlStateNormal);
  close->titleLabel()->setFont(platform::Font::system(30));
  container->addSubview(close);
  closeButton_ = close;
  // Event jumps under the no-video message, for the gaps between recordings.
  auto previousEvent = std::make_shared<KLLargerHitTestAreaButton>(Rect(width / 2 - 52, playerHeight / 2 + 18, 36, 36));
  auto nextEvent = std::make_shared<KLLargerHitTestAreaButton>(Rect(width / 2 + 16, playerHeight / 2 + 18, 36, 36));
  previousEvent->setAccessibilityIdentifier("player_previous_event_button");
  nextEvent->setAccessibilityIdentifier("player_next_event_button");
  container->addSubview(previousEvent);
  container->addSubview(nextEvent);
  playerPreviousEventButton_ = previousEvent;
  playerNextEventButton_ = nextEvent;

  auto line = std::make_shared<platform::View>(Rect(0, stripTop, width, 1));
  container->addSubview(line);
  timelineLineView_ = line;
  auto label = std::make_shared<platform::Label>(Rect(4, stripTop, 90, 18));
  container->addSubview(label);
  timelineLabel_ = label;
  auto noEventsImage = std::make_shared<platform::ImageView>(Rect(width / 2 - 32, stripTop + stripHeight / 2 - 60, 64, 64));
  noEventsImage->setImage(platform::Image::named("no_snap"));
  container->addSubview(noEventsImage);
  noEventsImageView_ = noEventsImage;
  auto noEvents = std::make_shared<platform::Label>(Rect(16, stripTop + stripHeight / 2 + 12, width - 32, 24));
  noEvents->setTextAlignment(platform::TextAlignment::Center);
  container->addSubview(noEvents);
  noEventsInfoLabel_ = noEvents;
  auto up = std::make_shared<platform::Button>(Rect(width - 48, stripTop + 8, 40, 40));
  up->setAccessibilityIdentifier("next_event_button");
  container->addSubview(up);
  nextEventButton_ = up;
  auto down = std::make_shared<platform::Button>(Rect(width - 48, stripTop + stripHeight - 48, 40, 40));
  down->setAccessibilityIdentifier("previous_event_button");
  container->addSubview(down);
  prevEventButton_ = down;
  auto badge = KLUpdateAvailableView::make(Rect(width / 2 - 80, stripTop + 8, 160, KLUpdateAvailableView::kHeight));
  badge->setTitle("NewEventsAvailable");
  container->addSubview(badge);
  // Centred over the strip and sized by its text (the badge styles itself when asked its size).
  badge->setTranslatesAutoresizingMaskIntoConstraints(false);
  container->addConstraints({
      platform::LayoutConstraint::make(badge, platform::LayoutAttribute::CenterX, platform::LayoutRelation::Equal,
                                       container, platform::LayoutAttribute::CenterX),
      platform::LayoutConstraint::make(badge, platform::LayoutAttribute::Top, platform::LayoutRelation::Equal,
                                       container, platform::LayoutAttribute::Top, 1, stripTop + 8),
  });
  updateAvailableView_ = badge;

  double buttonWidth = width / 5;
  std::vector<std::shared_ptr<platform::Button>> buttons;
  for (int i = 0; i < 5; ++i) {
    auto b = std::make_shared<KLVerlicallyCenteredButton>(Rect(i * buttonWidth, 0, buttonWidth, kBottomRowHeight));
    bottom->addSubview(b);
    buttons.push_back(b);
  }
  zoomOutButton_ = buttons[1];
  zoomInButton_ = buttons[2];
  dailySummaryButton_ = buttons[3];
  moreButton_ = std::static_pointer_cast<KLVerlicallyCenteredButton>(buttons[4]);
  snapshotButton_ = buttons[0];
  buttons[0]->setAccessibilityIdentifier("snapshot_button");
  buttons[1]->setAccessibilityIdentifier("zoom_out_button");
  buttons[2]->setAccessibilityIdentifier("zoom_in_button");
  buttons[3]->setAccessibilityIdentifier("daily_summary_button");
  buttons[4]->setAccessibilityIdentifier("more_button");
  close->setAccessibilityIdentifier("close_button");
  buildPlayerControlsLayout(*container, Rect(0, bounds.size.height - 2 * kBottomRowHeight, width, kBottomRowHeight));
  buildDateLayout(*container, Rect(0, playerHeight, width, kDateRowHeight), strip);
}

// ---- life cycle ----

void KLTimelineViewController::viewDidLoad() {
  KLDashboardViewController::viewDidLoad();
  if (!isVerticalRecordingsVisible_) {
    if (auto v = recordingBackgroundView()) v->setHidden(true);
  }
  hideViewsWithAnimationDuration(0, 0, true);
  downloadManager_ = std::make_shared<KLDownloadManager>();
  downloadManager_->setDelegate(std::static_pointer_cast<KLDownloadManagerDelegate>(sharedAs<KLTimelineViewController>()));
  auto prefetcher = platform::ImagePrefetcher::sharedImagePrefetcher();
  prefetcher->setOptions(256);
  prefetcher->setMaxConcurrentPrefetchCount(5);
  auto manager = dataManager();
  if (!hideEventTypes_.empty()) manager->eventManager()->setHideEventTypes(hideEventTypes_);
  manager->eventManager()->getAllEventsForCameraID(cameraID_);
  if (isCameraNameVisible_) manager->deviceKeeper()->setCameraNameWithID(cameraID_);
  auto camera = std::make_shared<KLCameraResponse>();
  camera->setCameraID(cameraID_);
  manager->deviceKeeper()->setCamera(camera);
  if (!isTimelineControlsVisible_) {
    // The strip grows down over the place of the row.
    heightConstraint_->setConstant(0);
    for (const auto& c : stripBottomConstraints_) c->setConstant(0);
    if (auto v = viewIfLoaded()) v->layoutIfNeeded();
    if (auto bottom = bottomControlsContainer()) bottom->setHidden(true);
    didUpdateRecordingsForCameraID(cameraID_);
  }
  didUpdateEventsForCameraID(cameraID_);
}

void KLTimelineViewController::setUpKVOController() {
  // The name is read on the camera service's parser queue: the player is only told on the main
  // thread. The key path follows the current camera, which viewDidLoad replaces right after this.
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  kvoController()->observe(dataManager()->deviceKeeper(), "camera.name",
                           platform::KeyValueObservingOptionNew | platform::KeyValueObservingOptionOld,
                           [weak](const platform::KeyValueChange&) {
                             platform::runOnMain([weak] {
                               auto s = weak.lock();
                               if (!s || !s->player_) return;
                               s->player_->setCamera(s->dataManager()->deviceKeeper()->camera());
                             });
                           });
}

void KLTimelineViewController::setFonts() {
  auto font = XS_MediumTextFont();
  for (const auto& label : {timelineLabel(), noVideoInfoLabel(), noEventsInfoLabel()}) {
    if (label) label->setFont(font);
  }
  double midnight = timeIntervalForMidnight(platform::now());
  timelineLabelMaxWidth_ = font.boundingSizeOfText(hourMinutesSecondsFromTimestamp(midnight), 0).width + 15.0;
}

void KLTimelineViewController::configureNotifications() {
  observe(platform::kUIApplicationDidEnterBackgroundNotification, [](KLViewController& s, const platform::Notification&) {
    static_cast<KLTimelineViewController&>(s).handle_UIApplicationDidEnterBackgroundNotification();
  });
  observe(platform::kUIApplicationWillEnterForegroundNotification, [](KLViewController& s, const platform::Notification&) {
    static_cast<KLTimelineViewController&>(s).handle_UIApplicationWillEnterForegroundNotification();
  });
  observe(kUnableToSaveVideoToPhotoAlbumNotification, [](KLViewController& s, const platform::Notification&) {
    static_cast<KLTimelineViewController&>(s).handle_kUnableToSaveVideoToPhotoAlbumNotification();
  });
  observe(kVideoSavedToPhotoAlbumNotification, [](KLViewController& s, const platform::Notification&) {
    static_cast<KLTimelineViewController&>(s).endBackgroundTaskForClip();
  });
  observe(platform::kUIDeviceOrientationDidChangeNotification, [](KLViewController& s, const platform::Notification&) {
    static_cast<KLTimelineViewController&>(s).pickersDidAppear();
  });
  observe(kUserRightsLoadedNotification, [](KLViewController& s, const platform::Notification&) {
    static_cast<KLTimelineViewController&>(s).recomputePermissions();
  });
}

void KLTimelineViewController::setUpViews() {
  KLDashboardViewController::setUpViews();
  auto self = sharedAs<KLTimelineViewController>();
  for (const auto& v : {playerContainer(), std::static_pointer_cast<platform::View>(snapshotImageView())}) {
    if (!v) continue;
    v->setClipsToBounds(true);
    v->layer().setCornerRadius(16);
    v->layer().setMaskedCorners(platform::kCornerMinXMinY | platform::kCornerMaxXMinY);
  }
  if (auto bottom = bottomControlsContainer()) {
    bottom->layer().setCornerRadius(16);
    bottom->layer().setMaskedCorners(platform::kCornerMinXMaxY | platform::kCornerMaxXMaxY);
    bottom->setBackgroundColor(lightGreyColor());
  }
  if (auto close = closeButton()) {
    // Every control event of the close area (64 points square, over the button) asks to close;
    // closeButtonPressed acts on the first.
    close->addTarget(self, &KLTimelineViewController::closeButtonPressed, platform::kControlEventAllEvents);
    close->veryLargeTouchArea()->addTarget(self, &KLTimelineViewController::closeButtonPressed,
                                           platform::kControlEventAllEvents);
    close->layer().setShadowColor(darkColor());
    close->layer().setShadowOffset({1.5, 1.5});
    close->layer().setShadowOpacity(0.7);
    close->layer().setShadowRadius(2.0);
  }
  if (auto player = playerContainer()) {
    auto swipe = std::make_shared<platform::SwipeGestureRecognizer>();
    swipe->direction = platform::kSwipeDown;
    std::weak_ptr<KLTimelineViewController> weak = self;
    swipe->addTarget(this, [weak](platform::GestureRecognizer&) {
      if (auto s = weak.lock()) s->closeButtonPressed();
    });
    player->addGestureRecognizer(swipe);
  }
  if (auto label = noVideoInfoLabel()) {
    label->setText(frameworkText("NoRecordingsAvailable"));
    label->setTextColor(platform::Color::whiteColor());
  }
  struct EventJump {
    std::shared_ptr<KLLargerHitTestAreaButton> button;
    const char* image;
    void (KLTimelineViewController::*action)();
  };
  for (const auto& jump : {EventJump{playerPreviousEventButton(), "Player_Prev",
                                     &KLTimelineViewController::playerPreviousEventButtonTapped},
                           EventJump{playerNextEventButton(), "Player_Next",
                                     &KLTimelineViewController::playerNextEventButtonTapped}}) {
    if (!jump.button) continue;
    jump.button->setImage(platform::Image::named(jump.image), platform::kControlStateNormal);
    jump.button->addTarget(self, jump.action, platform::kControlEventTouchUpInside);
    jump.button->largeHitTestArea()->addTarget(self, jump.action, platform::kControlEventTouchUpInside);
  }
  updateTimelineWithRecordingAvailable(false);
  if (auto label = noEventsInfoLabel()) {
    label->setText(frameworkText("NoEventsYet"));
    label->setTextColor(darkColor());
    label->setHidden(true);
  }
  if (auto image = noEventsImageView()) image->setHidden(true);
  if (auto snapshot = snapshotImageView()) {
    auto image = getLocalSnapshotForKey(cameraID_);
    if (!image) image = platform::Image::withColor(lightGreyColor(), {1, 1});
    snapshot->setImage(image);
    snapshot->setHidden(false);
    lastPresentedSnapshot_ = image;
  }
  if (auto label = timelineLabel()) label->setTextColor(lightColor());
  if (auto line = timelineLineView_.lock()) {
    line->setBackgroundColor(lightColor());
    auto frame = line->frame();
    frame.origin.y = timelineContainerView()->frame().origin.y + timelineOffset();
    line->setFrame(frame);
    if (auto label = timelineLabel()) {
      auto labelFrame = label->frame();
      labelFrame.origin.y = frame.origin.y - labelFrame.size.height;
      labelFrame.size.width = timelineLabelMaxWidth_;
      label->setFrame(labelFrame);
    }
  }
  if (auto badge = updateAvailableView()) {
    badge->setUserInteractionEnabled(true);
    badge->setHidden(true);
    auto tap = std::make_shared<platform::TapGestureRecognizer>();
    std::weak_ptr<KLTimelineViewController> weak = self;
    tap->addTarget(this, [weak](platform::GestureRecognizer&) {
      if (auto s = weak.lock()) s->scrollToFirstEvent();
    });
    badge->addGestureRecognizer(tap);
  }
  if (auto up = nextEventButton()) {
    setImageAndTint(*up, platform::Image::named("Event_arrow_up"), lightColor());
    up->addTarget(self, &KLTimelineViewController::nextEventButtonTapped, platform::kControlEventTouchUpInside);
  }
  if (auto down = prevEventButton()) {
    setImageAndTint(*down, platform::Image::named("Event_arrow_down"), lightColor());
    down->addTarget(self, &KLTimelineViewController::prevEventButtonTapped, platform::kControlEventTouchUpInside);
  }
  setZoomLevel(zoomlevel_);
  setUpPickers();
  setUpTableView();
  setUpCalendar();
  if (auto bottom = bottomControlsContainer()) {
    struct Item {
      std::shared_ptr<platform::Button> button;
      const char* image;
      const char* title;
    };
    auto snapshotButton = std::dynamic_pointer_cast<platform::Button>(bottom->subviews()[0]);
    for (const auto& item : {Item{snapshotButton, "Player_iOs_shot", "Snapshot"},
                             Item{zoomOutButton(), "zoom-out", "ZoomOut"}, Item{zoomInButton(), "zoom-in", "ZoomIn"},
                             Item{moreButton_.lock(), "more-timeline", "More"}}) {
      if (!item.button) continue;
      setImageAndTint(*item.button, platform::Image::named(item.image), darkColor());
      item.button->setTitle(upper(frameworkText(item.title)), platform::kControlStateNormal);
      item.button->setTitleColor(darkColor(), platform::kControlStateNormal);
    }
    if (snapshotButton) {
      snapshotButton->setEnabled(false);
      snapshotButton->addTarget(self, &KLTimelineViewController::snapshotButtonPressed,
                                platform::kControlEventTouchUpInside);
    }
    zoomOutButton()->addTarget(self, &KLTimelineViewController::zoomOutButtonPressed,
                               platform::kControlEventTouchUpInside);
    zoomInButton()->addTarget(self, &KLTimelineViewController::zoomInButtonPressed,
                              platform::kControlEventTouchUpInside);
  }
  setUpPlayerControls();
  updateZoomButtons();
  updateVideoSummaryButton();
}

void KLTimelineViewController::resetFacesList() { dataManager()->eventManager()->resetFacesList(); }

void KLTimelineViewController::viewWillAppear(bool animated) {
  KLDashboardViewController::viewWillAppear(animated);
  auto self = sharedAs<KLTimelineViewController>();
  if (!observingManagers_) {
    auto eventManager = events();
    auto recordingManager = recordings();
    eventManager->addObserverForEventsChanges(self);
    recordingManager->addObserverForRecordingsChanges(self);
    observedEvents_ = eventManager;
    observedRecordings_ = recordingManager;
    observingManagers_ = true;
  }
  didUpdateEventsForCameraID(cameraID_);
  didUpdateRecordingsForCameraID(cameraID_);
  if (auto day = dayPickerView(); day && day->currentDirection() == 0) rect_ = day->frame();
  setIsHiddenStatusBar(true);
  tableViewDidAppear();
  recordings()->loadNewRecordingsForCameraID(cameraID_, nullptr);
  recordings()->loadRecordingsForCameraID(cameraID_, nullptr);
  {
    std::weak_ptr<KLTimelineViewController> weakSelf = self;
    auto keeper = dataManager()->deviceKeeper();
    keeper->getSmartDetectionsStatusForCamera(
        keeper->camera(),
        [weakSelf](const platform::Value&) {
          if (auto s = weakSelf.lock()) s->updateVideoSummaryButton();
        },
        [weakSelf](const platform::ErrorPtr&) {
          if (auto s = weakSelf.lock()) s->updateVideoSummaryButton();
        });
  }
  if (reloadTableViewTimer_) reloadTableViewTimer_->invalidate();
  std::weak_ptr<KLTimelineViewController> weak = self;
  // The timer holds the screen only weakly; the screen stops it when it leaves.
  reloadTableViewTimer_ = platform::Timer::scheduled(kReloadInterval, true, platform::DispatchQueue::main(), [weak] {
    if (auto s = weak.lock()) s->reloadTableViewIfNeeded();
  });
  reloadTableViewIfNeeded();
}

void KLTimelineViewController::viewDidAppear(bool animated) {
  KLDashboardViewController::viewDidAppear(animated);
  pickersDidAppear();
  hideViewsWithAnimationDuration(0.2, 0.3, false);
}

void KLTimelineViewController::viewWillDisappear(bool animated) {
  KLDashboardViewController::viewWillDisappear(animated);
  stopObserving();
  if (reloadTableViewTimer_) reloadTableViewTimer_->invalidate();
  reloadTableViewTimer_.reset();
  platform::ImagePrefetcher::sharedImagePrefetcher()->cancelPrefetching();
  if (player_ && !player_->isInLandscape()) player_->pausePlayer();
}

void KLTimelineViewController::stopObserving() {
  if (!observingManagers_) return;
  // The managers observed, not the registry's current ones: leaving must not build a new registry.
  auto self = sharedAs<KLTimelineViewController>();
  if (auto m = observedEvents_.lock()) m->removeObserverForEventsChanges(self);
  if (auto m = observedRecordings_.lock()) m->removeObserverForRecordingsChanges(self);
  observingManagers_ = false;
}

// ---- data flow ----

void KLTimelineViewController::didUpdateEventsForCameraID(std::optional<int64_t> cameraID) {
  if (!cameraID || !cameraID_ || *cameraID != *cameraID_ || !dataSource_) return;
  // The cache's snapshot, not a sorted copy of it: the feed takes only what was added since.
  auto list = eventFeed_.update(events()->eventsForCameraID(*cameraID_)->events());
  auto newestBefore = dataSource_->newestTimelineEvent();
  double before = newestBefore ? newestBefore->timelineEventTimestamp() : 0;
  if (!dataSource_->updateWithEvents(list)) return;
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  platform::DispatchQueue::main()->async([weak, before] {
    auto s = weak.lock();
    if (!s) return;
    s->reloadTableViewAndResetVelocity(false);
    auto newest = s->dataSource_->newestTimelineEvent();
    auto table = s->tableView();
    if (newest && table && newest->timelineEventTimestamp() != before) {
      auto visible = s->adapter_->visibleTimeRangeAtTableView(*table);
      if (newest->timelineEventTimestamp() > visible.start + visible.duration) {
        if (auto badge = s->updateAvailableView()) badge->setHidden(false);
      }
    }
    s->updatePreviousNextEventButtons();
  });
}

void KLTimelineViewController::takeRecordingTimes() {
  // Any recording's times changed since the last look (page merges and live messages change them
  // on other queues): the recordings shown take theirs here, on main.
  const uint64_t generation = KLRecordingResponse::timesGeneration();
  if (!dataSource_ || generation == recordingTimesGeneration_) return;
  recordingTimesGeneration_ = generation;
  dataSource_->refreshRecordingTimes();
}

void KLTimelineViewController::didUpdateRecordingsForCameraID(std::optional<int64_t>) {
  if (!dataSource_) return;
  auto list = recordings()->recordingsForCameraID(cameraID_);
  if (!list) return;
  takeRecordingTimes();
  auto models = list->recordings();
  if (models.size() == dataSource_->allTimelineRecordings().size()) return;
  if (!dataSource_->updateWithRecordings(TimelineRecordingAdapter::makeList(models))) return;
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  platform::DispatchQueue::main()->async([weak] {
    auto s = weak.lock();
    if (!s) return;
    s->reloadTableViewAndResetVelocity(false);
    const bool playing = s->playingRecordingModel_ != nullptr;
    const bool playingLeft = playing && !s->playingRecording();
    double t = s->adapter_->scrollTime();
    if ((!playing && !s->adapter_->isScrolling() && t > 0) || playingLeft) {
      s->timelineAdapterDidEndScrollingAtTime(*s->adapter_, t);
    }
  });
}

void KLTimelineViewController::reloadTableViewAndResetVelocity(bool reset) {
  double now = platform::now();
  // The first events and the first recordings to reach the strip are shown at once rather than
  // at a later tick (the first reloads run before any reply is in); then the throttle's bound holds.
  const bool hasEvents = dataSource_ && dataSource_->newestTimelineEvent();
  const bool hasRecordings = dataSource_ && dataSource_->newestTimelineRecording();
  const bool firstRows = (hasEvents && !eventsShown_) || (hasRecordings && !recordingsShown_);
  if (!throttle_.shouldReload(now, reset || firstRows)) return;
  auto table = tableView();
  if (!table || !adapter_) return;
  double endBefore = adapter_->endTime();
  adapter_->reloadTableView(*table, reset);
  ++reloadCount_;
  // The axis ends at the next midnight: when that end moved, an offset kept by the reload would
  // show a day later, so the strip goes back to the time it showed.
  if (!reset && endBefore > 0 && adapter_->endTime() != endBefore && adapter_->scrollTime() > 0) {
    adapter_->scrollToTime(adapter_->scrollTime(), *table, false);
  }
  refreshDateRangeIfNeeded();
  updateNoEventsViews();
  throttle_.didReload(now);
  eventsShown_ = eventsShown_ || hasEvents;
  recordingsShown_ = recordingsShown_ || hasRecordings;
}

void KLTimelineViewController::updateNoEventsViews() {
  bool hasData = dataSource_ && (dataSource_->newestTimelineRecording() || dataSource_->newestTimelineEvent());
  if (auto image = noEventsImageView()) image->setHidden(hasData);
  if (auto label = noEventsInfoLabel()) label->setHidden(hasData);
}

void KLTimelineViewController::reloadTableViewIfNeeded() {
  takeRecordingTimes();
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  if (throttle_.isPending()) {
    platform::DispatchQueue::main()->async([weak] {
      if (auto s = weak.lock()) s->reloadTableViewAndResetVelocity(false);
    });
    return;
  }
  auto newest = dataSource_ ? dataSource_->newestTimelineRecording() : nullptr;
  if (newest && newest->timelineRecordingIsOnGoing()) {
    platform::DispatchQueue::main()->async([weak] {
      auto s = weak.lock();
      if (!s) return;
      if (auto table = s->tableView()) {
        s->adapter_->reloadRowAtTime(platform::now(), *table);
        ++s->rowRedrawCount_;
      }
    });
  }
}

void KLTimelineViewController::recomputePermissions() {
  setPermissions(0);
  computePermissions();
  // The summary button depends on the export right.
  updateVideoSummaryButton();
}

void KLTimelineViewController::handle_UIApplicationDidEnterBackgroundNotification() {
  auto& app = platform::Application::shared();
  // One task at a time: the one still running ends before a new one begins.
  if (bgTask_ != platform::kBackgroundTaskInvalid) app.endBackgroundTask(bgTask_);
  auto id = std::make_shared<platform::BackgroundTaskIdentifier>(platform::kBackgroundTaskInvalid);
  std::weak_ptr<KLTimelineViewController> weak = sharedAs<KLTimelineViewController>();
  // Each expiry ends its own task, never one begun later.
  *id = app.beginBackgroundTask([weak, id] {
    platform::Application::shared().endBackgroundTask(*id);
    if (auto s = weak.lock(); s && s->bgTask_ == *id) s->bgTask_ = platform::kBackgroundTaskInvalid;
  });
  bgTask_ = *id;
}

void KLTimelineViewController::handle_UIApplicationWillEnterForegroundNotification() {
  pickersDidAppear();
  events()->getNewEventsForCameraID(cameraID_, platform::Value(), nullptr);
  recordings()->loadNewRecordingsForCameraID(cameraID_, nullptr);
}

void KLTimelineViewController::handle_kUnableToSaveVideoToPhotoAlbumNotification() {
  endBackgroundTaskForClip();
  displayPopUpViewWithTitle(frameworkText("UnableToSaveVideo"), frameworkText("AnIssueOccured"), std::nullopt,
                            KLPopUpOptionRotatable | KLPopUpOptionNoSwipeDismiss, {frameworkText("Continue")});
}

void KLTimelineViewController::updateTimelineWithRecordingAvailable(bool available) {
  if (auto label = noVideoInfoLabel()) label->setHidden(available);
  if (auto previous = playerPreviousEventButton()) previous->setHidden(available || !hasPreviousEvent_);
  if (auto next = playerNextEventButton()) next->setHidden(available || !hasNextEvent_);
}

void KLTimelineViewController::updateVideoSummaryButton() {
  auto button = dailySummaryButton();
  if (!button) return;
  auto camera = dataManager()->deviceKeeper()->camera();
  auto capabilities = camera ? camera->detectionsCapabilities() : nullptr;
  auto smart = camera ? camera->smartDetections() : nullptr;
  const int64_t enabled = smart ? smart->enabled().value_or(0) : 0;
  bool on = !(permissions() & KLPermissionNoExportFootage) && capabilities &&
            capabilities->hasSmartDetectionsCapability() && enabled != -1 && enabled != 2147483647 && enabled != 0;
  if (on) {
    setImageAndTint(*button, platform::Image::named("download-summary"), darkColor());
    button->setTitle(upper(frameworkText("24hSummary")), platform::kControlStateNormal);
  } else {
    button->setImage(nullptr, platform::kControlStateNormal);
    button->setTintColor(platform::Color::whiteColor());
    button->setTitle(std::nullopt, platform::kControlStateNormal);
  }
  button->setEnabled(on);
}

void KLTimelineViewController::updatePreviousNextEventButtons() {
  auto table = tableView();
  auto up = nextEventButton();
  auto down = prevEventButton();
  if (!table || !adapter_ || !dataSource_ || !up || !down) return;
  auto window = adapter_->visibleTimeRangeAtTableView(*table);
  double top = window.start + window.duration;
  auto before = dataSource_->closestTimelineEventBeforeTime(top);
  if (before && window.start <= before->timelineEventTimestamp() && before->timelineEventTimestamp() < top) {
    up->setHidden(true);
    down->setHidden(true);
    if (before == dataSource_->newestTimelineEvent()) {
      if (auto badge = updateAvailableView()) badge->setHidden(true);
    }
    return;
  }
  down->setHidden(!before);
  up->setHidden(!dataSource_->closestTimelineEventAfterTime(top));
}

void KLTimelineViewController::prevEventButtonTapped() {
  auto table = tableView();
  if (!table || !adapter_ || !dataSource_) return;
  auto window = adapter_->visibleTimeRangeAtTableView(*table);
  if (auto event = dataSource_->closestTimelineEventBeforeTime(window.start)) userDidTapThumbnailForEvent(event);
}

void KLTimelineViewController::nextEventButtonTapped() {
  auto table = tableView();
  if (!table || !adapter_ || !dataSource_) return;
  auto window = adapter_->visibleTimeRangeAtTableView(*table);
  if (auto event = dataSource_->closestTimelineEventAfterTime(window.start + window.duration)) {
    userDidTapThumbnailForEvent(event);
  }
}

void KLTimelineViewController::scrollToFirstEvent() {
  if (auto newest = dataSource_ ? dataSource_->newestTimelineEvent() : nullptr) {
    scrollTableViewToTime(newest->timelineEventTimestamp(), true, false);
  }
  if (auto badge = updateAvailableView()) badge->setHidden(true);
}

void KLTimelineViewController::hideViewsWithAnimationDuration(double duration, double delay, bool shouldHide) {
  std::vector<std::shared_ptr<platform::View>> views = {tableView(),       dayPickerView(),   timelineLineView_.lock(),
                                                        timelineLabel(),   nextEventButton(), prevEventButton(),
                                                        updateAvailableView()};
  double alpha = shouldHide ? 0 : 1;
  platform::View::animate(duration, delay, 2, [views, alpha] {
    for (const auto& v : views) {
      if (v) v->setAlpha(alpha);
    }
  });
}

// ---- closing ----

void KLTimelineViewController::closeButtonPressed() {
  if (dismissing_ || !presentingViewController()) return;
  auto self = sharedAs<KLTimelineViewController>();
  auto completed = std::make_shared<bool>(false);
  auto finish = [self, completed] {
    *completed = true;
    self->dismissing_ = false;
    self->selfWhileDismissing_.reset();
    if (auto d = self->timelineDelegate()) d->didDismissTimeline(self);
  };
  dismissViewController(true, finish);
  // The platform refuses a dismissal while the screen still slides in: the screen stays as it
  // was, so a later tap can close it.
  if (*completed || !isBeingDismissed()) return;
  dismissing_ = true;
  selfWhileDismissing_ = self;
}

bool KLTimelineViewController::respondsToSelector(std::string_view selector) const {
  return selector == "timelineOffsetInTimelineAdapter:" || selector == "minScrollTimeInTimelineAdapter:" ||
         selector == "timelineAdapter:didScrollToTime:" || selector == "timelineAdapter:didEndScrollingAtTime:" ||
         selector == "timelineAdapter:willBeginScrollingAtTime:" ||
         selector == "timelineAdapter:willDisplayCellForRowAtTimeRange:" ||
         selector == "timelineAdapter:didEndDisplayingCellForRowAtTimeRange:" ||
         selector == "secondButtonTappedWithCompletion:" || selector == "downloadProgressUpdated:forEvent:" ||
         selector == "errorWithInfo:" || selector == "lastDateForPickerView:" ||
         selector == "pickerView:didSelectDate:" || selector == "pickerView:didSelectDateWithOffset:" ||
         selector == "userDidTapThumbnailForEvent:" || selector == "userDidTapActionButtonForEvent:" ||
         KLDashboardViewController::respondsToSelector(selector);
}

}  // namespace dk
