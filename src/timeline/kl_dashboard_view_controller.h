// KLDashboardViewController: the base of the timeline screen. A framework screen with a back
// button, a title, a table and a no-network panel: the panel stands in for the table while the
// network is known to be lost, a change of the zone list reloads the table, and a snapshot that
// could not be saved is explained in a pop-up.
//
// The layout is built in code when the view loads (buildLayout); the outlets are weak, the view
// tree owns the views. Main thread only; the UI_ operations hop to the main queue from elsewhere.
#pragma once

#include <memory>

#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/index_path.h"
#include "platform/ui/refresh_control.h"
#include "platform/ui/table_view.h"
#include "services/kl_camera_roll_album_manager.h"
#include "ui/kl_network_connection_lost_view.h"
#include "ui/kl_table_view.h"
#include "ui/kl_view_controller.h"

namespace dk {

class KLDashboardViewController : public KLViewController,
                                  public platform::TableViewDataSource,
                                  public platform::TableViewDelegate {
 public:
  KLDashboardViewController() = default;
  ~KLDashboardViewController() override;

  // ---- properties and outlets ----
  bool showNoNetworkConnection() const { return showNoNetworkConnection_; }
  std::shared_ptr<platform::ImageView> backgroundImageView() const { return backgroundImageView_.lock(); }
  std::shared_ptr<platform::View> containerView() const { return containerView_.lock(); }
  std::shared_ptr<KLNetworkConnectionLostView> noConnectionView() const { return noConnectionView_.lock(); }
  std::shared_ptr<KLTableView> tableView() const { return tableView_.lock(); }
  std::shared_ptr<platform::Button> backButton() const { return backButton_.lock(); }
  const std::shared_ptr<platform::RefreshControl>& refreshControl() const { return refreshControl_; }
  std::optional<platform::IndexPath> selectedIndexPath() const { return selectedIndexPath_; }

  // ---- base-screen hooks ----
  void loadView() override;
  void viewDidLoad() override;
  void setFonts() override;
  // Nothing: the base's network observers are not added for this screen.
  void configureNotifications() override {}
  void setUpViews() override;
  void setUpTitle() override {}
  void subscribeToNotifications() override;
  void unsubscribeFromNotifications() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;
  // Reloads the table (UI_reloadData) whenever the camera service's zone list changes.
  void setUpKVOController() override;

  // ---- operations (hop) ----
  // Stores the flag; only the top-most screen swaps its table and the panel (and dismisses its
  // pop-up when the panel comes up).
  void UI_shouldShowNoNetworkConnection(bool show);
  // Reloads the table and titles the back button with the current zone's name.
  void UI_reloadData();
  void UI_backButtonTapped();
  // The right swipe goes back as the back button does: to the root of the tabs' navigation.
  void swipeToGoBack() override { UI_backButtonTapped(); }
  void handle_kNetworkReachableNotification() override;
  void handle_kNetworkNotReachableNotification() override;
  void handle_kImageNotCapturedNotification();

  // ---- the table (an empty one, replaced by the timeline screen) ----
  long numberOfSections(platform::TableView& tableView) override { return 0; }
  long numberOfRows(platform::TableView& tableView, long section) override { return 0; }
  std::shared_ptr<platform::TableViewCell> cellForRow(platform::TableView& tableView,
                                                      platform::IndexPath indexPath) override;

 protected:
  // Makes the screen's views (the layout resource); subclasses add theirs after calling it.
  virtual void buildLayout(platform::View& root);
  // The table's frame within the root view.
  virtual platform::Rect tableFrame(const platform::Rect& bounds) const { return bounds; }

 private:
  void applyNoNetwork(bool show);

  bool showNoNetworkConnection_ = false;
  std::shared_ptr<platform::ImageView> refreshImageView_;
  std::weak_ptr<platform::ImageView> backgroundImageView_;
  std::weak_ptr<platform::View> containerView_;
  std::weak_ptr<KLNetworkConnectionLostView> noConnectionView_;
  std::weak_ptr<KLTableView> tableView_;
  std::shared_ptr<platform::RefreshControl> refreshControl_;
  std::weak_ptr<platform::Button> backButton_;
  std::optional<platform::IndexPath> selectedIndexPath_;
};

}  // namespace dk
