// KLPermissionsViewController: the root of the framework's screens. Once per screen, when its view
// has loaded, it turns the signed-in user's rights into `permissions`, a set of restriction bits
// (KLPermissions) that screens test before offering an action.
//
// The rights are read anew by each of the six permission operations through the base screens'
// services (base_screen_services.h); with no rights loaded every right counts as missing. The bits
// are only added, never cleared, and not recomputed when the rights change later. Screens are
// held by shared_ptr and live on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/foundation/object.h"
#include "platform/ui/view_controller.h"

namespace dk {

class KLDataManager;

// Restriction bits; a set bit forbids the action, except the demo bit, which marks a demo account.
enum KLPermissions : unsigned long {
  KLPermissionDemoUser = 2,
  KLPermissionNoCameraAudio = 4,
  KLPermissionNoViewFootage = 8,
  KLPermissionNoExportFootage = 16,
  KLPermissionNoEdgeStorageManagement = 4096,
  KLPermissionNoDeleteFootage = 8192,
};

// Every operation optional; each takes one right bit.
class KLPermissionsProtocol : public virtual platform::Protocol {
 public:
  virtual void demoUserPermissionWithRigths(unsigned long right) {}
  virtual void listenToAudioOfTheCameraPermissionWithRights(unsigned long right) {}
  virtual void edgeStorageManagementPermissionWithRights(unsigned long right) {}
  virtual void viewFootagePermissionWithRights(unsigned long right) {}
  virtual void deleteFootagePermissionWithRights(unsigned long right) {}
  virtual void exportFootagePermissionWithRights(unsigned long right) {}
};

class KLPermissionsViewController : public platform::ViewController, public KLPermissionsProtocol {
 public:
  using ViewController::ViewController;

  unsigned long permissions() const { return permissions_; }
  void setPermissions(unsigned long permissions) { permissions_ = permissions; }
  // The managers' registry (its shared instance; the first use starts the user chain).
  std::shared_ptr<KLDataManager> dataManager() const;

  // The platform's viewDidLoad, then the six permission operations in a fixed order.
  void viewDidLoad() override;
  // The six permission operations in that order (adding bits to the current ones).
  void computePermissions();

  void demoUserPermissionWithRigths(unsigned long right) override;
  void listenToAudioOfTheCameraPermissionWithRights(unsigned long right) override;
  void edgeStorageManagementPermissionWithRights(unsigned long right) override;
  void viewFootagePermissionWithRights(unsigned long right) override;
  void deleteFootagePermissionWithRights(unsigned long right) override;
  void exportFootagePermissionWithRights(unsigned long right) override;

  bool respondsToSelector(std::string_view selector) const override;

 private:
  // Adds `bit` when the current rights lack `right` and the account is not a demo.
  void addBitWhenMissing(unsigned long right, unsigned long bit);

  unsigned long permissions_ = 0;
};

}  // namespace dk
