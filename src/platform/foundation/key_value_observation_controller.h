// KeyValueObservationController: the observations one observer makes of key paths of other
// objects (what a key-value observation controller library gives over the platform's observing).
//
// The observer owns its controller and is held by it weakly: a handler is never called once the
// observer is gone, and destroying the controller (with the observer, or before) ends every
// observation it made. The observed objects are kept alive by the controller while observed.
// Handlers run synchronously on the thread that made the change, with no lock held; a handler
// that touches a screen hops to the main queue itself.
//
// Thread-safe: observe, unobserve and the changes may come from any threads. A change that is
// being delivered on another thread when unobserve returns may still reach its handler once.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/key_value_coding.h"

namespace dk::platform {

class KeyValueObservation;

class KeyValueObservationController {
 public:
  using Handler = std::function<void(const KeyValueChange&)>;

  explicit KeyValueObservationController(std::weak_ptr<const void> observer);
  static std::shared_ptr<KeyValueObservationController> controllerWithObserver(std::weak_ptr<const void> observer);
  ~KeyValueObservationController();
  KeyValueObservationController(const KeyValueObservationController&) = delete;
  KeyValueObservationController& operator=(const KeyValueObservationController&) = delete;

  // Observes `keyPath` (dotted: every step's value is followed as it is replaced) of `object`
  // with KeyValueObservingOptions. Observing the same key path of the same object again keeps
  // the first observation. A nil object or an empty key path observes nothing.
  void observe(const std::shared_ptr<KeyValueCoding>& object, std::string keyPath, unsigned options, Handler handler);
  void unobserve(const KeyValueCoding* object, std::string_view keyPath);
  void unobserve(const KeyValueCoding* object);
  void unobserveAll();

  bool isObserving(const KeyValueCoding* object, std::string_view keyPath) const;

 private:
  struct Entry {
    std::shared_ptr<KeyValueCoding> object;  // kept alive while observed
    std::shared_ptr<KeyValueObservation> observation;
  };
  // Cancels outside the lock: cancelling takes the observed objects' registry locks.
  static void cancel(std::vector<Entry> entries);

  const std::weak_ptr<const void> observer_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace dk::platform
