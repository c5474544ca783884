// KeyValueCoding: access by key, and the change announcements that key-value observation hears
// (what NSKeyValueCoding and NSKeyValueObserving give; observers register through
// KeyValueObservationController).
//
// An observable class answers valueForKey/setValueForKey and wraps every change of a key in
// changeValueForKey(key, apply): observers of that key, or of a key path running through it, are
// told synchronously, on the changing thread, once `apply` has run. Model does so for
// setValueForKey and for its DK_MODEL_PROPERTY setters. While nobody observes an object a change
// costs one relaxed atomic load.
//
// Thread-safe: changes, observations and their removal may happen on any threads at once. No
// lock is held while observers run, so an observer may change, observe and unobserve in turn.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/foundation/value.h"

namespace dk::platform {

class KeyValueObservation;

// NSKeyValueObservingOptions, with the platform's values.
enum KeyValueObservingOptions : unsigned {
  KeyValueObservingOptionNew = 0x01,
  KeyValueObservingOptionOld = 0x02,
  KeyValueObservingOptionInitial = 0x04,
};

class KeyValueCoding;

// What an observer is told of one change.
struct KeyValueChange {
  std::shared_ptr<KeyValueCoding> object;  // the observed object (the key path's first step)
  std::string keyPath;
  Value oldValue;  // with KeyValueObservingOptionOld; nil in the initial call
  Value newValue;  // with KeyValueObservingOptionNew
  bool isInitial = false;  // the call made at registration (KeyValueObservingOptionInitial)
};

class KeyValueCoding {
 public:
  KeyValueCoding() = default;
  KeyValueCoding(const KeyValueCoding&) = delete;
  KeyValueCoding& operator=(const KeyValueCoding&) = delete;
  virtual ~KeyValueCoding();

  // An unknown key reads nil and writes nothing.
  virtual Value valueForKey(std::string_view key) const = 0;
  virtual void setValueForKey(std::string_view key, const Value& value) = 0;
  // A dotted path ("camera.name"); a step whose value is not key-value coding compliant ends the
  // walk with nil.
  Value valueForKeyPath(std::string_view keyPath) const;

  bool hasKeyValueObservers() const noexcept { return observationCount_.load(std::memory_order_relaxed) != 0; }

 protected:
  // Runs `apply` (which stores the new value of `key`) and tells the key's observers. A change of
  // the same key of the same object announced inside `apply` (a setter called by setValueForKey)
  // is not announced twice.
  template <typename Apply>
  void changeValueForKey(std::string_view key, Apply&& apply) {
    if (!hasKeyValueObservers()) {
      apply();
      return;
    }
    announceChange(key, [](void* context) { (*static_cast<std::remove_reference_t<Apply>*>(context))(); }, &apply);
  }

 private:
  friend class KeyValueObservation;
  struct Registry;

  void announceChange(std::string_view key, void (*apply)(void*), void* context);
  // Registrations of an observation's step `level` on this object for `key`.
  void addObservation(std::string_view key, std::shared_ptr<KeyValueObservation> observation, size_t level);
  void removeObservation(const KeyValueObservation* observation, size_t level);
  Registry* registry();

  std::atomic<uint32_t> observationCount_{0};
  std::atomic<Registry*> registry_{nullptr};  // made at the first observation, freed with the object
};

// The key-value coding compliant object a value holds, or nullptr.
std::shared_ptr<KeyValueCoding> keyValueCodingObject(const Value& value);

}  // namespace dk::platform
