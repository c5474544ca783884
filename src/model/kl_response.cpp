#include "model/kl_response.h"

namespace dk {

using platform::ClassInfo;
using platform::ModelPtr;
using platform::Value;

namespace {

// The key-specific merge when the class has one (it also receives nil models); otherwise the
// fallback, for non-nil models only.
template <typename Fallback>
void dispatchMerge(platform::Model& self, std::string_view key, const ModelPtr& model, Fallback fallback) {
  if (const ClassInfo::KeyMerge* merge = self.classInfo().keyMerge(key)) {
    (*merge)(self, model);
    return;
  }
  if (model) fallback();
}

}  // namespace

const ClassInfo& KLResponse::staticClassInfo() {
  static const ClassInfo info("KLResponse", nullptr, [] { return std::make_shared<KLResponse>(); },
                              {platform::property("cameraID", &KLResponse::cameraID_)});
  return info;
}

void KLResponse::mergeValueForKey(std::string_view key, const ModelPtr& model) {
  dispatchMerge(*this, key, model, [&] { mergeMethodForKey(key, model); });
}

void KLResponse::mergeMethodForKey(std::string_view key, const ModelPtr& model) {
  setValueForKey(key, model->valueForKey(key));
}

void KLResponse::mergePresentValueForKey(std::string_view key, const ModelPtr& model) {
  Value value = model->valueForKey(key);
  if (!value.isNilOrNull()) setValueForKey(key, value);
}

KLListResponse::KLListResponse() : values_(platform::ValueArray{}) {}

const ClassInfo& KLListResponse::staticClassInfo() {
  static const ClassInfo info(
      "KLListResponse", nullptr, [] { return std::make_shared<KLListResponse>(); },
      {platform::property("values", &KLListResponse::values, &KLListResponse::setValues, {"values"})});
  return info;
}

Value KLListResponse::values() const { return guardedGet(values_); }

void KLListResponse::setValues(Value values) {
  changeValueForKey("values", [&] { guardedSet(values_, std::move(values)); });
}

void KLListResponse::mergeValueForKey(std::string_view key, const ModelPtr& model) {
  dispatchMerge(*this, key, model, [&] { mergeMethodForKey(key, model); });
}

void KLListResponse::mergeValueForKey(std::string_view key, const ModelPtr& model, bool partialUpdate) {
  dispatchMerge(*this, key, model, [&] {
    if (partialUpdate) {
      mergeMethodForKey(key, model, true);
    } else {
      mergeMethodForKey(key, model);
    }
  });
}

void KLListResponse::mergeMethodForKey(std::string_view key, const ModelPtr& model) {
  setValueForKey(key, model->valueForKey(key));
}

void KLListResponse::mergeMethodForKey(std::string_view key, const ModelPtr& model, bool) {
  setValueForKey(key, model->valueForKey(key));
}

Value KLListResponse::objectDictionaryFromDictionary(const Value&) { return Value(); }

}  // namespace dk
