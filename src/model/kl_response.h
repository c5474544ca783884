// KLResponse and KLListResponse: the two bases of every model the cloud API's replies map to, and
// the merge protocol by which a later reply is folded into a cached model instead of replacing it.
//
// mergeValueForKey dispatches per key: the class's key-specific merge (ClassInfo::setKeyMerge)
// when it has one, otherwise mergeMethodForKey (a copy by key unless a subclass overrides it).
// A nil source is a nullptr ModelPtr (or a nil Value); the null object is Value::null(). Both are
// ignored by mergeValuesForKeysFromModel.
//
// Thread safety: each stored property is read and written under the model's own mutex, so readers
// on any queue may read a model while one queue merges into it. The bases serialise nothing else:
// whoever merges into a cached model runs its merges on one queue (or the subclass carries its own).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/foundation/model.h"

namespace dk {

// Base of single-object models. Carries the camera the record belongs to; subclasses that want it
// filled from JSON redeclare "cameraID" with their key path.
class KLResponse : public platform::Model {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  using platform::Model::mergeValuesForKeysFromModel;
  void mergeValueForKey(std::string_view key, const platform::ModelPtr& model) override;
  // The default per-key merge: the other model's value for `key` set on this one, nil included.
  virtual void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model);

  DK_MODEL_PROPERTY(std::optional<int64_t>, cameraID, setCameraID);

 protected:
  // The other model's value for `key`, copied only when it is neither nil nor the null object:
  // the merge of records whose replies may be sparse.
  void mergePresentValueForKey(std::string_view key, const platform::ModelPtr& model);
};

// Base of list models: one `values` array (JSON "values"; subclasses map their own root key and
// element class). A new list holds an empty, non-nil array; a reply whose list is not an array
// leaves it nil. `values` is replaced whole, never mutated, so a reader's snapshot stays valid;
// every replacement is announced to the observers of "values".
class KLListResponse : public platform::Model {
 public:
  KLListResponse();
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  virtual platform::Value values() const;
  virtual void setValues(platform::Value values);

  using platform::Model::mergeValuesForKeysFromModel;
  void mergeValueForKey(std::string_view key, const platform::ModelPtr& model) override;
  // Same dispatch; the fallback is the partial-update merge when `partialUpdate` is true.
  void mergeValueForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate);
  virtual void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model);
  virtual void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model, bool partialUpdate);

  // Turns one reply dictionary into the dictionary a list is mapped from; the base has none (nil).
  static platform::Value objectDictionaryFromDictionary(const platform::Value& dictionary);

 private:
  platform::Value values_;
};

// The elements of a model array that are of class T, in order (other elements are skipped).
template <typename T>
std::vector<std::shared_ptr<T>> modelsOfClass(const platform::Value& array) {
  std::vector<std::shared_ptr<T>> out;
  out.reserve(array.count());
  for (const platform::Value& element : array.arrayValue()) {
    if (auto model = element.objectAs<T>()) out.push_back(std::move(model));
  }
  return out;
}

// A model array as a Value (what `values` holds).
template <typename T>
platform::Value valueArray(const std::vector<std::shared_ptr<T>>& models) {
  platform::ValueArray out;
  out.reserve(models.size());
  for (const auto& model : models) out.emplace_back(model);
  return platform::Value(std::move(out));
}

}  // namespace dk
