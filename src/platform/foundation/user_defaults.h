// UserDefaults: small persistent key-value settings (NSUserDefaults), the standard set and named
// suites (an app group's shared settings).
//
// Each suite is one JSON file in AppDirectories::preferences(), rewritten atomically on every
// change, so a crash never leaves half a file. standard() and suite(name) hand out one shared
// object per file for the whole process. Values are what JSON can hold (nil removes a key); model
// objects are refused. A damaged file is moved aside and the suite starts empty. Thread-safe.
#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace dk::platform {

class UserDefaults {
 public:
  // The application's own settings.
  static std::shared_ptr<UserDefaults> standard();
  // The settings shared under `name` (initWithSuiteName:). An empty name gives standard().
  static std::shared_ptr<UserDefaults> suite(std::string_view name);
  // An unshared instance over the file at `path` (tools and tests).
  static std::shared_ptr<UserDefaults> atPath(std::filesystem::path path);
  // Forgets every shared instance; the next standard()/suite() reads its file again. For tests.
  static void resetForTesting();

  explicit UserDefaults(std::filesystem::path path);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // nil when the key is absent.
  Value objectForKey(std::string_view key) const;
  // Stores value under key (nil removes it) and writes the file. Returns false, storing nothing,
  // for a value JSON cannot hold (a model object); false also when the file could not be written
  // (the value is kept in memory and written with the next change or synchronize()).
  bool setObject(const Value& value, std::string_view key);
  bool removeObjectForKey(std::string_view key) { return setObject(Value(), key); }

  // Typed readers, converting as the platform does (a missing key gives 0, false, nullopt).
  std::optional<std::string> stringForKey(std::string_view key) const;
  int64_t integerForKey(std::string_view key) const { return objectForKey(key).integerValue(); }
  double doubleForKey(std::string_view key) const { return objectForKey(key).doubleValue(); }
  bool boolForKey(std::string_view key) const { return objectForKey(key).boolValue(); }
  // nullopt when absent or not a dictionary (array).
  std::optional<ValueDictionary> dictionaryForKey(std::string_view key) const;
  std::optional<ValueArray> arrayForKey(std::string_view key) const;

  bool setInteger(int64_t value, std::string_view key) { return setObject(Value(static_cast<long long>(value)), key); }
  bool setDouble(double value, std::string_view key) { return setObject(Value(value), key); }
  bool setBool(bool value, std::string_view key) { return setObject(Value(value), key); }

  // Writes the file now if an earlier write failed. True when memory and file agree.
  bool synchronize();
  ValueDictionary dictionaryRepresentation() const;

 private:
  void load();
  bool persistLocked();

  const std::filesystem::path path_;
  mutable std::mutex mutex_;
  ValueDictionary values_;
  bool dirty_ = false;
};

}  // namespace dk::platform
