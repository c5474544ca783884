// KeyValueObservation: one observed key path of one object, as a KeyValueObservationController
// keeps it. It registers itself for each step of the path on the object that step reaches, moves
// those registrations when an intermediate value is replaced, and calls its handler for every
// change of the path's value while its observer lives and it is not cancelled.
//
// Internal to the key-value observation of platform/foundation. Thread-safe: the chain of
// registrations is guarded by the observation's own lock, which is never held while values are
// read or the handler runs.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/key_value_coding.h"

namespace dk::platform {

class KeyValueObservation : public std::enable_shared_from_this<KeyValueObservation> {
 public:
  using Handler = std::function<void(const KeyValueChange&)>;

  KeyValueObservation(std::weak_ptr<const void> observer, const std::shared_ptr<KeyValueCoding>& object,
                      std::string keyPath, unsigned options, Handler handler);

  const KeyValueCoding* object() const { return objectIdentity_; }
  const std::string& keyPath() const { return keyPath_; }

  // Registers along the path, then makes the initial call when asked for.
  void start();
  // Removes every registration. A change being delivered on another thread at that moment may
  // still reach the handler once; none starts after this returns.
  void cancel();

  // Called by the changing object around a change of keys_[level] on `changed`.
  Value valueBeforeChange(const KeyValueCoding& changed, size_t level) const;
  void didChange(const KeyValueCoding& changed, size_t level, Value oldValue);

 private:
  // The path's tail from step `level` read on `from`.
  Value valueFrom(const KeyValueCoding& from, size_t level) const;
  // Registers on the objects the path reaches now (from step 1 on), until what was registered is
  // still what the path reaches.
  void followPath();
  std::vector<std::shared_ptr<KeyValueCoding>> objectsOnPath() const;
  void deliver(KeyValueChange change) const;

  const std::weak_ptr<const void> observer_;
  const std::weak_ptr<KeyValueCoding> object_;
  const KeyValueCoding* const objectIdentity_;
  const std::string keyPath_;
  const std::vector<std::string> keys_;
  const unsigned options_;
  const Handler handler_;
  std::atomic<bool> cancelled_{false};

  std::mutex mutex_;
  std::vector<std::weak_ptr<KeyValueCoding>> registeredOn_;  // guarded by mutex_; one per step
};

}  // namespace dk::platform
