// KLUserManager: the signed-in user's profile (KLUserResponse) and rights (KLUserRightsResponse).
// Every reply is merged into the same two objects, so whoever holds them sees the update.
//
// Owned by the data manager. Every operation may be called from any thread; callbacks arrive on
// the main thread. The two models guard their own fields.
#pragma once

#include <memory>

#include "model/kl_user_response.h"
#include "services/kl_services_manager.h"

namespace dk {

class KLUserManager : public KLServicesManager {
 public:
  explicit KLUserManager(std::string className = "KLUserManager");

  KLUserPtr getUser() const { return user_; }
  KLUserRightsPtr userRights() const { return userRights_; }

  // users/self merged into the user; success receives the user.
  void getUserBasicInfoWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  // users/self/details merged into the user; success receives the user.
  void getUserDetailedInfoWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  // The rights merged into userRights; success receives the rights model.
  void getUserRightsWithSuccessBlock(SuccessBlock success, ErrorBlock error);
  // Basic, then (whatever its outcome) detailed information; success receives the outcome of the
  // second (the user, or the error object). The error block is never called.
  void getCurrentlyLoggedInUserWithSuccessBlock(SuccessBlock success, ErrorBlock error);

 private:
  const KLUserPtr user_ = std::make_shared<KLUserResponse>();
  const KLUserRightsPtr userRights_ = std::make_shared<KLUserRightsResponse>();
};

}  // namespace dk
