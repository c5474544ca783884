// What a manager operation reported to its pair of callbacks, and on which thread. The callbacks
// run on the main thread, where the test reads the counts.
#pragma once

#include "platform/dispatch/queue.h"
#include "services/kl_services_manager.h"

namespace dk::test {

struct ManagerReport {
  int successes = 0;
  int errors = 0;
  bool onMain = true;
  platform::Value result;
  platform::ErrorPtr error;

  KLServicesManager::SuccessBlock success() {
    return [this](const platform::Value& v) {
      successes++;
      onMain = onMain && platform::isMainThread();
      result = v;
    };
  }
  KLServicesManager::ErrorBlock failure() {
    return [this](const platform::ErrorPtr& e) {
      errors++;
      onMain = onMain && platform::isMainThread();
      error = e;
    };
  }
  int total() const { return successes + errors; }
};

}  // namespace dk::test
