// Bundle: the resources of the host application (main bundle) and of the framework (by bundle
// identifier), with their localisation tables (NSBundle).
//
// Resources live in the project's resources folder ($DK_RESOURCE_DIR, else the build's copy):
// each bundle has a folder named after it ("main" for the host, the identifier otherwise), and
// its texts are JSON objects {"key": "text"} in localization/<bundle>/<language>.json (default
// table) or localization/<bundle>/<language>.<Table>.json. The language is the first of
// Locale::preferredLanguages() the bundle has a table for ("de-DE", then "de"), else English.
// Bundles are immutable apart from their table cache; every method is thread-safe.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace dk::platform {

class Bundle {
 public:
  // The host application's bundle.
  static std::shared_ptr<const Bundle> main();
  // The bundle with that identifier (for example the framework's). Never null: a bundle without
  // resources finds no texts and no files.
  static std::shared_ptr<const Bundle> withIdentifier(std::string_view identifier);

  // Where every bundle's folder is. Tests point it elsewhere; an empty path restores the default.
  static std::filesystem::path resourceRoot();
  static void setResourceRoot(std::filesystem::path root);

  const std::string& bundleIdentifier() const { return identifier_; }
  // This bundle's resource folder.
  std::filesystem::path resourcePath() const;
  // The file name.type in this bundle's folder (or its subdirectory), nullopt when absent.
  std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view type,
                                                       std::string_view subdirectory = {}) const;

  // The text of `key` in `table` (empty: the default table "Localizable") for the user's
  // language; `defaultValue` when the table has no text for the key.
  std::string localizedString(std::string_view key, std::string_view defaultValue = {},
                              std::string_view table = {}) const;
  // The language whose tables are used now ("en" when the bundle has none of the preferred).
  std::string localizationLanguage() const;

  // Drops loaded tables so edited files are read again (tests).
  void clearCache() const;

  explicit Bundle(std::string identifier, std::string folder);

 private:
  using Table = std::map<std::string, std::string, std::less<>>;
  std::shared_ptr<const Table> table(const std::string& language, std::string_view name) const;
  bool hasLanguage(const std::string& language) const;

  const std::string identifier_;
  const std::string folder_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::shared_ptr<const Table>, std::less<>> tables_;
};

}  // namespace dk::platform
