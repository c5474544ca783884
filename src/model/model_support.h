// Small helpers the model classes share: the host's localised texts, scalar texts, the checks and
// clean-up of values that go into and come out of camera and zone records, and the two patterns
// the cached lists repeat (merging records by identifier, sorting by a rank and then by name).
//
// Stateless; safe from any thread.
#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/locale.h"
#include "platform/foundation/model.h"
#include "platform/foundation/value.h"

namespace dk::model_support {

// The one-key JSON path of a property table entry.
inline std::vector<std::string> path(std::string_view key) { return {std::string(key)}; }

// The host's (main bundle's) text for a localisation key; without a default, the key itself.
std::string localizedString(std::string_view key, std::optional<std::string_view> defaultValue = std::nullopt);

// A scalar's text: strings as they are, numbers as "%@" prints them; nullopt for anything else.
std::optional<std::string> scalarText(const platform::Value& value);
// The null object for nil (a JSON body field that is unknown), the value otherwise.
platform::Value valueOrNull(const platform::Value& value);
// A transformer whose every result is nil (records never turned back into JSON).
platform::ValueTransform nilTransformer();

// A dotted IPv4 address other than "0.0.0.0" (each part 0 to 255, at most three digits).
bool validateIPAddress(std::string_view address);
// Six hexadecimal pairs joined by ":" or "-" (mixed allowed), other than all zeros.
bool validateMacAddress(std::string_view address);
// A dictionary without its null values and empty strings (top level only).
platform::ValueDictionary removeAllNullValuesFromDictionary(const platform::ValueDictionary& dictionary);

// A stable sort by an integer rank, then by name (localised, case-insensitive): total keys, so the
// order never depends on the sort algorithm or the input order beyond ties of both.
template <typename T, typename RankOf, typename NameOf>
std::vector<std::shared_ptr<T>> sortedByRankThenName(const std::vector<std::shared_ptr<T>>& items, RankOf rankOf,
                                                     NameOf nameOf) {
  struct Keyed {
    int rank;
    std::string name;
    std::shared_ptr<T> item;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(items.size());
  for (const auto& item : items) {
    if (item) keyed.push_back({rankOf(*item), nameOf(*item), item});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    return platform::localizedCaseInsensitiveCompare(a.name, b.name) == platform::kOrderedAscending;
  });
  std::vector<std::shared_ptr<T>> out;
  out.reserve(keyed.size());
  for (auto& k : keyed) out.push_back(std::move(k.item));
  return out;
}

// Folds `incoming` records into `cached` by identifier: a cached record with the same identifier
// merges the incoming one into itself (its identity is kept), any other becomes a new record that
// merges it and is appended. A full update (partial false) first drops the cached records whose
// identifier the incoming ones lack. Searching the growing list, a reply naming an identifier
// twice yields one record.
template <typename T>
void mergeRecordsByIdentifier(std::vector<std::shared_ptr<T>>& cached, const std::vector<std::shared_ptr<T>>& incoming,
                              bool partial, const std::function<std::optional<int64_t>(const T&)>& idOf) {
  if (!partial) {
    std::vector<int64_t> kept;
    for (const auto& record : incoming) {
      if (auto id = idOf(*record)) kept.push_back(*id);
    }
    std::sort(kept.begin(), kept.end());
    std::erase_if(cached, [&](const std::shared_ptr<T>& record) {
      auto id = idOf(*record);
      return !id || !std::binary_search(kept.begin(), kept.end(), *id);
    });
  }
  for (const auto& record : incoming) {
    const auto id = idOf(*record);
    auto match = id ? std::find_if(cached.begin(), cached.end(), [&](const std::shared_ptr<T>& c) { return idOf(*c) == id; })
                    : cached.end();
    if (match != cached.end()) {
      (*match)->mergeValuesForKeysFromModel(record);
    } else {
      auto fresh = std::make_shared<T>();
      fresh->mergeValuesForKeysFromModel(record);
      cached.push_back(std::move(fresh));
    }
  }
}

}  // namespace dk::model_support
