// What the base screens need of the data manager, reached through one process-wide slot.
//
// The data manager lives above this layer's sources in the build order of the managers, so the
// base screens do not name it: the layer that owns it installs these services once it exists
// (the signed-in user's rights from its user manager, and its logout reset). Until then the
// rights are none, so every right counts as missing, and the reset does nothing. Installing and
// reading are thread-safe; the functions run on the caller's thread.
#pragma once

#include <functional>

#include "model/kl_user_response.h"

namespace dk {

struct BaseScreenServices {
  // The current user's rights model (the user manager's `userRights`), or nullptr when none.
  std::function<KLUserRightsPtr()> currentUserRights;
  // KLDataManager cancelLogoutOperations, then resetSharedInstance.
  std::function<void()> cancelLogoutOperations;
  std::function<void()> resetSharedInstance;
};

// Replaces the installed services (empty members: the defaults above).
void installBaseScreenServices(BaseScreenServices services);
// The rights the installed source answers now (nullptr without a source).
KLUserRightsPtr currentUserRights();
// The rights bit set of the current user: 0 when no rights model was loaded.
uint64_t currentUserRightsMask();
// Runs the logout reset of the installed services, when there is one.
void resetDataManagerForLogout();

}  // namespace dk
