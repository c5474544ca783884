#include "ui/kl_permissions_view_controller.h"


#include <array>

#include "live/kl_data_manager.h"
#include "model/kl_user_response.h"
#include "ui/base_screen_services.h"

namespace dk {

void KLPermissionsViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  computePermissions();
}

void KLPermissionsViewController::computePermissions() {
  demoUserPermissionWithRigths(KLUserRightDemoUser);
  listenToAudioOfTheCameraPermissionWithRights(KLUserRightMicrophone);
  edgeStorageManagementPermissionWithRights(KLUserRightEdgeStorageManagement);
  viewFootagePermissionWithRights(KLUserRightPlayback);
  deleteFootagePermissionWithRights(KLUserRightDeleteRecording);
  exportFootagePermissionWithRights(KLUserRightExport);
}

void KLPermissionsViewController::demoUserPermissionWithRigths(unsigned long right) {
  // The demo bit is fixed, whatever right is asked about.
  if (currentUserRightsMask() & right) permissions_ |= KLPermissionDemoUser;
}

void KLPermissionsViewController::addBitWhenMissing(unsigned long right, unsigned long bit) {
  if (currentUserRightsMask() & right) return;
  if (permissions_ & KLPermissionDemoUser) return;
  permissions_ |= bit;
}

void KLPermissionsViewController::listenToAudioOfTheCameraPermissionWithRights(unsigned long right) {
  addBitWhenMissing(right, KLPermissionNoCameraAudio);
}

void KLPermissionsViewController::edgeStorageManagementPermissionWithRights(unsigned long right) {
  addBitWhenMissing(right, KLPermissionNoEdgeStorageManagement);
}

void KLPermissionsViewController::viewFootagePermissionWithRights(unsigned long right) {
  addBitWhenMissing(right, KLPermissionNoViewFootage);
}

void KLPermissionsViewController::deleteFootagePermissionWithRights(unsigned long right) {
  addBitWhenMissing(right, KLPermissionNoDeleteFootage);
}

void KLPermissionsViewController::exportFootagePermissionWithRights(unsigned long right) {
  addBitWhenMissing(right, KLPermissionNoExportFootage);
}

bool KLPermissionsViewController::respondsToSelector(std::string_view selector) const {
  static constexpr std::array<std::string_view, 6> kImplemented = {
      "demoUserPermissionWithRigths:",  "listenToAudioOfTheCameraPermissionWithRights:",
      "edgeStorageManagementPermissionWithRights:", "viewFootagePermissionWithRights:",
      "deleteFootagePermissionWithRights:", "exportFootagePermissionWithRights:"};
  for (auto s : kImplemented) {
    if (s == selector) return true;
  }
  return false;
}

std::shared_ptr<KLDataManager> KLPermissionsViewController::dataManager() const { return KLDataManager::sharedInstance(); }

}  // namespace dk
