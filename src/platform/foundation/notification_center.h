// NotificationCenter: process-wide named notifications (NSNotificationCenter).
//
// Delivery is synchronous, on the posting thread, in registration order. Registering the same
// observer twice delivers twice, as the platform does. Observers are held weakly by a token
// object: an observation ends when its owner removes it (by observer and name) or when the
// observing object dies. Thread-safe; posting does not hold the centre's lock while callbacks run.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/value.h"

namespace dk::platform {

struct Notification {
  std::string name;
  ObjectPtr object;          // the sender, or nullptr
  ValueDictionary userInfo;
};

class NotificationCenter {
 public:
  using Handler = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();

  // Observes `name` (empty: every name) while `observer` is alive. Returns nothing: removal is by
  // observer (and name).
  void addObserver(const std::shared_ptr<const void>& observer, std::string name, Handler handler);
  // Same, for owners that are not shared (screens tests, free functions): the returned token is the
  // observer; drop it or remove it to stop observing.
  [[nodiscard]] std::shared_ptr<const void> addObserver(std::string name, Handler handler);

  void removeObserver(const void* observer);
  void removeObserver(const void* observer, const std::string& name);

  void post(const std::string& name, ObjectPtr object = nullptr, ValueDictionary userInfo = {});
  void post(const Notification& notification);

  // Number of live observations of a name (tests and diagnostics).
  size_t observerCount(const std::string& name) const;

 private:
  struct Entry {
    const void* key;
    std::weak_ptr<const void> observer;
    std::string name;
    std::shared_ptr<Handler> handler;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace dk::platform
