#include "platform/foundation/key_value_coding.h"

#include <mutex>
#include <vector>

#include "platform/foundation/key_value_observation.h"

namespace dk::platform {

struct KeyValueCoding::Registry {
  struct Entry {
    std::string key;
    std::shared_ptr<KeyValueObservation> observation;
    size_t level;
  };
  std::mutex mutex;
  std::vector<Entry> entries;
};

namespace {

// The changes being applied on this thread, innermost first: a setter that setValueForKey calls
// must not announce the same change again.
struct KvcChangeFrame {
  const KeyValueCoding* object;
  std::string_view key;
  const KvcChangeFrame* outer;
};
thread_local const KvcChangeFrame* kvcInnermostChange = nullptr;

bool kvcIsBeingAnnounced(const KeyValueCoding* object, std::string_view key) {
  for (const KvcChangeFrame* f = kvcInnermostChange; f; f = f->outer) {
    if (f->object == object && f->key == key) return true;
  }
  return false;
}

class KvcChangeFrameScope {
 public:
  KvcChangeFrameScope(const KeyValueCoding* object, std::string_view key) : frame_{object, key, kvcInnermostChange} {
    kvcInnermostChange = &frame_;
  }
  ~KvcChangeFrameScope() { kvcInnermostChange = frame_.outer; }
  KvcChangeFrameScope(const KvcChangeFrameScope&) = delete;
  KvcChangeFrameScope& operator=(const KvcChangeFrameScope&) = delete;

 private:
  KvcChangeFrame frame_;
};

}  // namespace

KeyValueCoding::~KeyValueCoding() { delete registry_.load(std::memory_order_acquire); }

Value KeyValueCoding::valueForKeyPath(std::string_view keyPath) const {
  const size_t dot = keyPath.find('.');
  if (dot == std::string_view::npos) return valueForKey(keyPath);
  Value head = valueForKey(keyPath.substr(0, dot));
  auto next = keyValueCodingObject(head);
  return next ? next->valueForKeyPath(keyPath.substr(dot + 1)) : Value();
}

KeyValueCoding::Registry* KeyValueCoding::registry() {
  Registry* existing = registry_.load(std::memory_order_acquire);
  if (existing) return existing;
  auto* made = new Registry;
  if (registry_.compare_exchange_strong(existing, made, std::memory_order_acq_rel)) return made;
  delete made;  // another thread made it first
  return existing;
}

void KeyValueCoding::addObservation(std::string_view key, std::shared_ptr<KeyValueObservation> observation,
                                    size_t level) {
  Registry* r = registry();
  std::lock_guard<std::mutex> lock(r->mutex);
  r->entries.push_back({std::string(key), std::move(observation), level});
  observationCount_.fetch_add(1, std::memory_order_relaxed);
}

void KeyValueCoding::removeObservation(const KeyValueObservation* observation, size_t level) {
  Registry* r = registry_.load(std::memory_order_acquire);
  if (!r) return;
  std::vector<Registry::Entry> removed;  // released after the lock
  std::lock_guard<std::mutex> lock(r->mutex);
  for (auto it = r->entries.begin(); it != r->entries.end();) {
    if (it->observation.get() == observation && it->level == level) {
      removed.push_back(std::move(*it));
      it = r->entries.erase(it);
    } else {
      ++it;
    }
  }
  observationCount_.fetch_sub(static_cast<uint32_t>(removed.size()), std::memory_order_relaxed);
}

void KeyValueCoding::announceChange(std::string_view key, void (*apply)(void*), void* context) {
  struct Pending {
    std::shared_ptr<KeyValueObservation> observation;
    size_t level;
    Value oldValue;
  };
  std::vector<Pending> pending;
  if (!kvcIsBeingAnnounced(this, key)) {
    if (Registry* r = registry_.load(std::memory_order_acquire)) {
      std::lock_guard<std::mutex> lock(r->mutex);
      for (const auto& entry : r->entries) {
        if (entry.key == key) pending.push_back({entry.observation, entry.level, Value()});
      }
    }
  }
  if (pending.empty()) {
    apply(context);
    return;
  }
  for (auto& p : pending) p.oldValue = p.observation->valueBeforeChange(*this, p.level);
  {
    KvcChangeFrameScope scope(this, key);
    apply(context);
  }
  for (auto& p : pending) p.observation->didChange(*this, p.level, std::move(p.oldValue));
}

std::shared_ptr<KeyValueCoding> keyValueCodingObject(const Value& value) {
  return std::dynamic_pointer_cast<KeyValueCoding>(value.objectValue());
}

}  // namespace dk::platform
