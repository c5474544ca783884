#include "platform/foundation/bundle.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <system_error>
#include <vector>

#include "platform/foundation/file_io.h"
#include "platform/foundation/locale.h"

#ifndef DK_RESOURCE_DIR
#define DK_RESOURCE_DIR "resources"
#endif

namespace dk::platform {
namespace {

constexpr std::string_view kDefaultTable = "Localizable";
constexpr std::string_view kDevelopmentLanguage = "en";

struct BundleRegistry {
  std::mutex mutex;
  std::filesystem::path rootOverride;
  std::map<std::string, std::shared_ptr<const Bundle>, std::less<>> bundles;
};

BundleRegistry& registry() {
  static BundleRegistry* r = new BundleRegistry;
  return *r;
}

std::string tableFileName(const std::string& language, std::string_view table) {
  if (table.empty() || table == kDefaultTable) return language + ".json";
  return language + "." + std::string(table) + ".json";
}

// "de-DE" → {"de-DE", "de_DE", "de"}: the spellings a bundle may use for a preferred language.
std::vector<std::string> candidateLanguages(const std::string& tag) {
  std::vector<std::string> out{tag};
  std::string underscored = tag;
  for (char& c : underscored)
    if (c == '-') c = '_';
  if (underscored != tag) out.push_back(underscored);
  if (auto cut = tag.find_first_of("-_"); cut != std::string::npos) out.push_back(tag.substr(0, cut));
  return out;
}

}  // namespace

Bundle::Bundle(std::string identifier, std::string folder) : identifier_(std::move(identifier)), folder_(std::move(folder)) {}

std::shared_ptr<const Bundle> Bundle::main() { return withIdentifier("main"); }

std::shared_ptr<const Bundle> Bundle::withIdentifier(std::string_view identifier) {
  auto& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.bundles.find(identifier);
  if (it != r.bundles.end()) return it->second;
  std::string folder(identifier);
  for (char& c : folder)
    if (c == '/' || c == '\\') c = '_';
  auto bundle = std::make_shared<const Bundle>(std::string(identifier), folder);
  r.bundles.emplace(std::string(identifier), bundle);
  return bundle;
}

std::filesystem::path Bundle::resourceRoot() {
  {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!r.rootOverride.empty()) return r.rootOverride;
  }
  if (const char* env = std::getenv("DK_RESOURCE_DIR"); env && *env) return env;
  return DK_RESOURCE_DIR;
}

void Bundle::setResourceRoot(std::filesystem::path root) {
  std::vector<std::shared_ptr<const Bundle>> bundles;
  {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.rootOverride = std::move(root);
    for (auto& [id, bundle] : r.bundles) bundles.push_back(bundle);
  }
  for (auto& bundle : bundles) bundle->clearCache();
}

std::filesystem::path Bundle::resourcePath() const { return resourceRoot() / folder_; }

std::optional<std::filesystem::path> Bundle::pathForResource(std::string_view name, std::string_view type,
                                                             std::string_view subdirectory) const {
  std::string file(name);
  if (!type.empty()) {
    file += '.';
    file += type;
  }
  std::filesystem::path path = resourcePath();
  if (!subdirectory.empty()) path /= subdirectory;
  path /= file;
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) return path;
  return std::nullopt;
}

bool Bundle::hasLanguage(const std::string& language) const {
  return table(language, kDefaultTable) != nullptr;
}

std::string Bundle::localizationLanguage() const {
  for (const auto& preferred : Locale::preferredLanguages())
    for (const auto& candidate : candidateLanguages(preferred))
      if (hasLanguage(candidate)) return candidate;
  return std::string(kDevelopmentLanguage);
}

std::shared_ptr<const Bundle::Table> Bundle::table(const std::string& language, std::string_view name) const {
  const std::string file = tableFileName(language, name);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (auto it = tables_.find(file); it != tables_.end()) return it->second;
  }
  std::shared_ptr<Table> loaded;
  const auto path = resourceRoot() / "localization" / folder_ / file;
  if (auto text = readWholeFile(path)) {
    auto json = nlohmann::json::parse(*text, nullptr, false);
    if (json.is_object()) {
      loaded = std::make_shared<Table>();
      for (auto& [key, value] : json.items())
        if (value.is_string()) loaded->emplace(key, value.get<std::string>());
    } else {
      std::fprintf(stderr, "Bundle %s: %s is not a JSON object of texts; ignored\n", identifier_.c_str(),
                   path.c_str());
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // Absent tables are remembered too (as null) so a missing language costs one look at the disk.
  return tables_.emplace(file, std::move(loaded)).first->second;
}

std::string Bundle::localizedString(std::string_view key, std::string_view defaultValue, std::string_view table) const {
  auto texts = this->table(localizationLanguage(), table);
  if (texts) {
    if (auto it = texts->find(key); it != texts->end()) return it->second;
  }
  return std::string(defaultValue);
}

void Bundle::clearCache() const {
  std::lock_guard<std::mutex> lock(mutex_);
  tables_.clear();
}

}  // namespace dk::platform
