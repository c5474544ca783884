#include "platform/foundation/key_value_observation.h"

namespace dk::platform {

namespace {
constexpr int kMaxRounds = 16;

std::vector<std::string> kvoSplitKeyPath(const std::string& keyPath) {
  std::vector<std::string> keys;
  size_t start = 0;
  for (;;) {
    const size_t dot = keyPath.find('.', start);
    keys.push_back(keyPath.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
    if (dot == std::string::npos) return keys;
    start = dot + 1;
  }
}

std::string kvoTailPath(const std::vector<std::string>& keys, size_t level) {
  std::string path = keys[level];
  for (size_t i = level + 1; i < keys.size(); ++i) path += "." + keys[i];
  return path;
}
}  // namespace

KeyValueObservation::KeyValueObservation(std::weak_ptr<const void> observer,
                                         const std::shared_ptr<KeyValueCoding>& object, std::string keyPath,
                                         unsigned options, Handler handler)
    : observer_(std::move(observer)),
      object_(object),
      objectIdentity_(object.get()),
      keyPath_(std::move(keyPath)),
      keys_(kvoSplitKeyPath(keyPath_)),
      options_(options),
      handler_(std::move(handler)) {}

void KeyValueObservation::start() {
  followPath();
  if (!(options_ & KeyValueObservingOptionInitial)) return;
  auto object = object_.lock();
  if (!object) return;
  KeyValueChange change;
  change.object = object;
  change.keyPath = keyPath_;
  change.isInitial = true;
  if (options_ & KeyValueObservingOptionNew) change.newValue = object->valueForKeyPath(keyPath_);
  deliver(std::move(change));
}

void KeyValueObservation::cancel() {
  cancelled_.store(true);
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t level = 0; level < registeredOn_.size(); ++level) {
    if (auto on = registeredOn_[level].lock()) on->removeObservation(this, level);
  }
  registeredOn_.clear();
}

Value KeyValueObservation::valueFrom(const KeyValueCoding& from, size_t level) const {
  return level + 1 == keys_.size() ? from.valueForKey(keys_[level]) : from.valueForKeyPath(kvoTailPath(keys_, level));
}

Value KeyValueObservation::valueBeforeChange(const KeyValueCoding& changed, size_t level) const {
  if (!(options_ & KeyValueObservingOptionOld) || cancelled_.load()) return Value();
  return valueFrom(changed, level);
}

void KeyValueObservation::didChange(const KeyValueCoding& changed, size_t level, Value oldValue) {
  if (cancelled_.load()) return;
  // A replaced intermediate value moves the registrations of the steps after it.
  if (level + 1 < keys_.size()) followPath();
  auto object = object_.lock();
  if (!object) return;
  KeyValueChange change;
  change.object = std::move(object);
  change.keyPath = keyPath_;
  change.oldValue = std::move(oldValue);
  if (options_ & KeyValueObservingOptionNew) change.newValue = valueFrom(changed, level);
  deliver(std::move(change));
}

void KeyValueObservation::deliver(KeyValueChange change) const {
  if (cancelled_.load() || observer_.expired() || !handler_) return;
  handler_(change);
}

std::vector<std::shared_ptr<KeyValueCoding>> KeyValueObservation::objectsOnPath() const {
  std::vector<std::shared_ptr<KeyValueCoding>> objects(keys_.size());
  objects[0] = object_.lock();
  for (size_t level = 1; level < keys_.size() && objects[level - 1]; ++level) {
    objects[level] = keyValueCodingObject(objects[level - 1]->valueForKey(keys_[level - 1]));
  }
  return objects;
}

void KeyValueObservation::followPath() {
  // The path is read without the lock (reading takes the objects' own locks, which a changing
  // thread may hold while it announces). A change that lands between the read and the
  // registration is caught by reading again afterwards. A getter that makes a new object at every
  // read would never settle: the rounds are bounded.
  for (int round = 0; round < kMaxRounds; ++round) {
    if (cancelled_.load()) return;
    auto objects = objectsOnPath();
    if (!objects[0]) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (cancelled_.load()) return;
      registeredOn_.resize(keys_.size());
      for (size_t level = 0; level < keys_.size(); ++level) {
        auto current = registeredOn_[level].lock();
        if (current == objects[level]) continue;
        if (current) current->removeObservation(this, level);
        if (objects[level]) objects[level]->addObservation(keys_[level], shared_from_this(), level);
        registeredOn_[level] = objects[level];
      }
    }
    if (objectsOnPath() == objects) return;
  }
}

}  // namespace dk::platform
