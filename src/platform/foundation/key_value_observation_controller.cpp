#include "platform/foundation/key_value_observation_controller.h"

#include <algorithm>

#include "platform/foundation/key_value_observation.h"

namespace dk::platform {

KeyValueObservationController::KeyValueObservationController(std::weak_ptr<const void> observer)
    : observer_(std::move(observer)) {}

std::shared_ptr<KeyValueObservationController> KeyValueObservationController::controllerWithObserver(
    std::weak_ptr<const void> observer) {
  return std::make_shared<KeyValueObservationController>(std::move(observer));
}

KeyValueObservationController::~KeyValueObservationController() { unobserveAll(); }

void KeyValueObservationController::observe(const std::shared_ptr<KeyValueCoding>& object, std::string keyPath,
                                            unsigned options, Handler handler) {
  if (!object || keyPath.empty()) return;
  auto observation =
      std::make_shared<KeyValueObservation>(observer_, object, std::move(keyPath), options, std::move(handler));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : entries_) {
      if (entry.object == object && entry.observation->keyPath() == observation->keyPath()) return;
    }
    entries_.push_back({object, observation});
  }
  // Registration and the initial call run outside the lock: the handler may observe again.
  observation->start();
}

void KeyValueObservationController::unobserve(const KeyValueCoding* object, std::string_view keyPath) {
  std::vector<Entry> removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::stable_partition(entries_.begin(), entries_.end(), [&](const Entry& e) {
      return !(e.object.get() == object && e.observation->keyPath() == keyPath);
    });
    std::move(it, entries_.end(), std::back_inserter(removed));
    entries_.erase(it, entries_.end());
  }
  cancel(std::move(removed));
}

void KeyValueObservationController::unobserve(const KeyValueCoding* object) {
  std::vector<Entry> removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::stable_partition(entries_.begin(), entries_.end(),
                                    [&](const Entry& e) { return e.object.get() != object; });
    std::move(it, entries_.end(), std::back_inserter(removed));
    entries_.erase(it, entries_.end());
  }
  cancel(std::move(removed));
}

void KeyValueObservationController::unobserveAll() {
  std::vector<Entry> removed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    removed.swap(entries_);
  }
  cancel(std::move(removed));
}

bool KeyValueObservationController::isObserving(const KeyValueCoding* object, std::string_view keyPath) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return e.object.get() == object && e.observation->keyPath() == keyPath;
  });
}

void KeyValueObservationController::cancel(std::vector<Entry> entries) {
  for (auto& entry : entries) entry.observation->cancel();
}

}  // namespace dk::platform
