#include "timeline/kl_dashboard_view_controller.h"

#include "foundation/color_codes.h"
#include "foundation/date_formatting.h"
#include "live/kl_data_manager.h"
#include "platform/foundation/bundle.h"
#include "platform/media/images/photo_library.h"
#include "platform/ui/main_thread.h"
#include "platform/ui/navigation_controller.h"
#include "ui/fonts.h"
#include "ui/top_most_view_controller.h"

namespace dk {

namespace {
std::string frameworkText(std::string_view key) {
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key);
}
}  // namespace

KLDashboardViewController::~KLDashboardViewController() {
  if (auto table = tableView_.lock()) {
    table->setDataSource({});
    table->setDelegate({});
  }
}

void KLDashboardViewController::loadView() {
  KLViewController::loadView();
  buildLayout(*view());
}

void KLDashboardViewController::buildLayout(platform::View& root) {
  auto bounds = root.bounds();
  auto background = std::make_shared<platform::ImageView>(bounds);
  root.addSubview(background);
  backgroundImageView_ = background;
  auto container = std::make_shared<platform::View>(bounds);
  root.addSubview(container);
  containerView_ = container;
  setMainView(container);

  auto table = std::make_shared<KLTableView>(tableFrame(bounds));
  table->setBackgroundColor(platform::Color::clear());
  container->addSubview(table);
  tableView_ = table;
  auto panel = KLNetworkConnectionLostView::make(table->frame());
  panel->setHidden(true);
  container->addSubview(panel);
  noConnectionView_ = panel;

  auto back = std::make_shared<platform::Button>(platform::Rect(8, 8, 120, 44));
  container->addSubview(back);
  backButton_ = back;
  auto title = std::make_shared<platform::Label>(platform::Rect(128, 8, bounds.size.width - 256, 44));
  container->addSubview(title);
  setTitleLabel(title);
  refreshControl_ = std::make_shared<platform::RefreshControl>();
}

void KLDashboardViewController::viewDidLoad() {
  KLViewController::viewDidLoad();
  setKvoController(platform::KeyValueObservationController::controllerWithObserver(shared_from_this()));
  setUpKVOController();
}

void KLDashboardViewController::setUpKVOController() {
  // The zone list changes on the service's parser queue: the screen is only touched on the main
  // thread (and never kept alive from another one).
  std::weak_ptr<KLDashboardViewController> weak = sharedAs<KLDashboardViewController>();
  kvoController()->observe(dataManager()->deviceKeeper()->zones(), "values",
                           platform::KeyValueObservingOptionNew | platform::KeyValueObservingOptionOld,
                           [weak](const platform::KeyValueChange&) {
                             platform::runOnMain([weak] {
                               if (auto s = weak.lock()) s->UI_reloadData();
                             });
                           });
}

void KLDashboardViewController::setFonts() {
  KLViewController::setFonts();
  if (auto back = backButton()) back->titleLabel()->setFont(S_RegularTextFont());
  if (auto title = titleLabel()) title->setFont(S_RegularTextFont());
}

void KLDashboardViewController::setUpViews() {
  KLViewController::setUpViews();
  if (auto back = backButton()) {
    auto image = platform::Image::named("chevron_left_white");
    back->setImage(image, platform::kControlStateNormal);
    back->setImage(image, platform::kControlStateHighlighted);
    back->addTarget(sharedAs<KLDashboardViewController>(), &KLDashboardViewController::UI_backButtonTapped,
                    platform::kControlEventTouchUpInside);
  }
  if (auto title = titleLabel()) title->setTextColor(platform::Color::whiteColor());
  auto table = tableView();
  if (auto panel = noConnectionView(); panel && table) {
    panel->configureViewWithSize({view()->frame().size.width, table->frame().size.height});
  }
  if (table) {
    auto self = sharedAs<KLDashboardViewController>();
    table->setDelegate(std::static_pointer_cast<platform::TableViewDelegate>(self));
    table->setDataSource(std::static_pointer_cast<platform::TableViewDataSource>(self));
  }
}

void KLDashboardViewController::subscribeToNotifications() {
  // Every subscription adds the reachability observation again; the handler is idempotent.
  std::weak_ptr<KLDashboardViewController> weak = sharedAs<KLDashboardViewController>();
  auto key = std::shared_ptr<const void>(weak.lock(), observerKey());
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(key, kNetworkReachableNotification, [weak](const platform::Notification&) {
    platform::runOnMain([weak] {
      if (auto s = weak.lock()) s->handle_kNetworkReachableNotification();
    });
  });
  observe(kImageNotCapturedNotification, [](KLViewController& s, const platform::Notification&) {
    static_cast<KLDashboardViewController&>(s).handle_kImageNotCapturedNotification();
  });
}

void KLDashboardViewController::unsubscribeFromNotifications() {
  platform::NotificationCenter::defaultCenter().removeObserver(observerKey(), kImageNotCapturedNotification);
}

void KLDashboardViewController::viewWillAppear(bool animated) {
  KLViewController::viewWillAppear(animated);
  UI_shouldShowNoNetworkConnection(showNoNetworkConnection_);
}

void KLDashboardViewController::viewDidAppear(bool animated) {
  KLViewController::viewDidAppear(animated);
  UI_shouldShowNoNetworkConnection(showNoNetworkConnection_);
}

void KLDashboardViewController::UI_shouldShowNoNetworkConnection(bool show) {
  std::weak_ptr<KLDashboardViewController> weak = sharedAs<KLDashboardViewController>();
  platform::runOnMain([weak, show] {
    if (auto s = weak.lock()) s->applyNoNetwork(show);
  });
}

void KLDashboardViewController::applyNoNetwork(bool show) {
  showNoNetworkConnection_ = show;
  if (!isTopMostViewController(*this)) return;
  if (auto table = tableView()) table->setHidden(show);
  if (auto panel = noConnectionView()) panel->setHidden(!show);
  if (show && popUpView()) {
    popUpView()->setCanBeDismissed(true);
    hidePopUpView();
  }
}

void KLDashboardViewController::UI_reloadData() {
  std::weak_ptr<KLDashboardViewController> weak = sharedAs<KLDashboardViewController>();
  platform::runOnMain([weak] {
    auto s = weak.lock();
    if (!s) return;
    if (auto table = s->tableView()) table->reloadData();
    auto zone = KLDataManager::sharedInstance()->deviceKeeper()->zone();
    std::optional<std::string> name = zone ? zone->name() : std::nullopt;
    if (auto back = s->backButton()) {
      back->setTitle(name, platform::kControlStateNormal);
      back->setTitle(name, platform::kControlStateSelected);
    }
  });
}

void KLDashboardViewController::UI_backButtonTapped() {
  auto tabs = tabBarController();
  if (!tabs) return;
  if (auto navigation = tabs->navigationController()) navigation->popToRootViewController(true);
}

void KLDashboardViewController::handle_kNetworkReachableNotification() {
  showNoNetworkConnection_ = false;
  UI_shouldShowNoNetworkConnection(false);
}

void KLDashboardViewController::handle_kNetworkNotReachableNotification() {
  showNoNetworkConnection_ = true;
  UI_shouldShowNoNetworkConnection(true);
}

void KLDashboardViewController::handle_kImageNotCapturedNotification() {
  std::weak_ptr<KLDashboardViewController> weak = sharedAs<KLDashboardViewController>();
  platform::PhotoLibrary::sharedPhotoLibrary()->requestAuthorization([weak](platform::PhotoAuthorizationStatus status) {
    std::optional<std::string> text;
    switch (status) {
      case platform::PhotoAuthorizationStatus::Restricted:
      case platform::PhotoAuthorizationStatus::Denied:
        text = frameworkText("AllowPermisionToSaveSnapshot");
        break;
      case platform::PhotoAuthorizationStatus::Authorized:
        text = frameworkText("ADecodingErrorOccuredPleaseTryAgainLater");
        break;
      default:
        return;
    }
    platform::runOnMain([weak, text] {
      if (auto s = weak.lock()) {
        s->displayPopUpViewWithTitle(frameworkText("UnableToSaveSnapshot"), text, std::nullopt,
                                     KLPopUpOptionRotatable | KLPopUpOptionNoSwipeDismiss,
                                     {frameworkText("Continue")});
      }
    });
  });
}

std::shared_ptr<platform::TableViewCell> KLDashboardViewController::cellForRow(platform::TableView&,
                                                                               platform::IndexPath) {
  return std::make_shared<platform::TableViewCell>();
}

}  // namespace dk
