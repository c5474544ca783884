#include "platform/foundation/user_defaults.h"

#include <cstdio>
#include <map>

#include "platform/foundation/app_directories.h"
#include "platform/foundation/file_io.h"

namespace dk::platform {
namespace {

constexpr std::string_view kStandardSuiteName = "standard";

// What a settings file can hold: JSON values, no model objects anywhere inside.
bool isPropertyList(const Value& value) {
  switch (value.type()) {
    case Value::Type::Object: return false;
    case Value::Type::Array:
      for (const auto& item : value.arrayValue())
        if (!isPropertyList(item)) return false;
      return true;
    case Value::Type::Dictionary:
      for (const auto& [key, item] : value.dictionaryValue())
        if (!isPropertyList(item)) return false;
      return true;
    default: return true;
  }
}

// Suite names become file names: keep them to one path component.
std::string fileNameForSuite(std::string_view name) {
  std::string file;
  for (char c : name) file += (c == '/' || c == '\\' || c == '\0') ? '_' : c;
  if (file.empty() || file[0] == '.') file.insert(file.begin(), '_');
  return file + ".json";
}

struct Registry {
  std::mutex mutex;
  std::map<std::filesystem::path, std::shared_ptr<UserDefaults>> instances;
};

Registry& registry() {
  static Registry* r = new Registry;
  return *r;
}

std::shared_ptr<UserDefaults> sharedAt(const std::filesystem::path& path) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto& slot = r.instances[path];
  if (!slot) slot = std::make_shared<UserDefaults>(path);
  return slot;
}

}  // namespace

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  return sharedAt(AppDirectories::preferences() / fileNameForSuite(kStandardSuiteName));
}

std::shared_ptr<UserDefaults> UserDefaults::suite(std::string_view name) {
  if (name.empty()) return standard();
  return sharedAt(AppDirectories::preferences() / fileNameForSuite(name));
}

std::shared_ptr<UserDefaults> UserDefaults::atPath(std::filesystem::path path) {
  return std::make_shared<UserDefaults>(std::move(path));
}

void UserDefaults::resetForTesting() {
  std::map<std::filesystem::path, std::shared_ptr<UserDefaults>> old;
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  old.swap(r.instances);
}

UserDefaults::UserDefaults(std::filesystem::path path) : path_(std::move(path)) { load(); }

void UserDefaults::load() {
  auto text = readWholeFile(path_);
  if (!text) return;
  std::string error;
  Value parsed = Value::parseJSON(*text, false, &error);
  if (parsed.isDictionary()) {
    values_ = parsed.dictionaryValue();
    return;
  }
  // Keep the damaged file for inspection instead of overwriting it with the next change.
  auto moved = quarantineFile(path_);
  std::fprintf(stderr, "UserDefaults: %s is not a settings file (%s); moved to %s\n", path_.c_str(),
               error.empty() ? "not a dictionary" : error.c_str(), moved.c_str());
}

Value UserDefaults::objectForKey(std::string_view key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = values_.find(key);
  return it == values_.end() ? Value() : it->second;
}

bool UserDefaults::setObject(const Value& value, std::string_view key) {
  if (!isPropertyList(value)) {
    std::fprintf(stderr, "UserDefaults: refusing a non-property-list value for key %.*s\n",
                 static_cast<int>(key.size()), key.data());
    return false;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (value.isNil()) {
    auto it = values_.find(key);
    if (it == values_.end() && !dirty_) return true;
    if (it != values_.end()) values_.erase(it);
  } else {
    values_.insert_or_assign(std::string(key), value);
  }
  dirty_ = true;
  return persistLocked();
}

bool UserDefaults::persistLocked() {
  std::string error;
  if (!writeFileAtomically(path_, Value(values_).toJSON(true), 0600, false, &error)) {
    std::fprintf(stderr, "UserDefaults: %s\n", error.c_str());
    return false;
  }
  dirty_ = false;
  return true;
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
  Value value = objectForKey(key);
  // stringForKey: also answers numbers, in their printed form.
  if (value.isString()) return value.stringValue();
  if (value.isNumber() && !value.isBool()) return value.description();
  return std::nullopt;
}

std::optional<ValueDictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (!value.isDictionary()) return std::nullopt;
  return value.dictionaryValue();
}

std::optional<ValueArray> UserDefaults::arrayForKey(std::string_view key) const {
  Value value = objectForKey(key);
  if (!value.isArray()) return std::nullopt;
  return value.arrayValue();
}

bool UserDefaults::synchronize() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !dirty_ || persistLocked();
}

ValueDictionary UserDefaults::dictionaryRepresentation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return values_;
}

}  // namespace dk::platform
