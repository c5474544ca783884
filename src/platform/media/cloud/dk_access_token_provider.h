// DKAccessTokenProvider: where the camera streamer gets the bearer token for its video requests.
// One class-wide delegate (held weakly) answers accessToken; without one the streamer sends
// "undefined", which the cloud refuses.
//
// Thread-safe.
#pragma once

#include <memory>
#include <string>

#include "platform/foundation/object.h"

namespace dk::platform {

class DKAccessTokenProviderDelegate : public virtual Protocol {
 public:
  virtual std::string accessToken() const = 0;
};

class DKAccessTokenProvider {
 public:
  static void setDelegate(std::weak_ptr<DKAccessTokenProviderDelegate> delegate);
  static std::shared_ptr<DKAccessTokenProviderDelegate> delegate();
  // The delegate's answer, or "undefined" when there is none.
  static std::string accessToken();
};

}  // namespace dk::platform
