// The look-up lists the event manager loads once: the event types the account may query, each
// type's server details (translated name and categories, display priority), and the account's
// known faces. Plain mapped models without merge rules of their own.
//
// Thread safety: fields are read and written under each model's own mutex.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/kl_response.h"

namespace dk {

// `values`: the event-type strings as sent (JSON "values").
class KLAvailableEventTypesResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  // The string elements of `values`, in order.
  std::vector<std::string> eventTypes() const;
};

class KLEventTypeDetailsResponse : public platform::Model {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(int32_t, priority, setPriority);
  DK_MODEL_PROPERTY(std::optional<std::string>, eventType, setEventType);
  DK_MODEL_PROPERTY(std::optional<std::string>, localizedName, setLocalizedName);
  // Category name to its translation; nil when the reply had none.
  DK_MODEL_PROPERTY(platform::Value, categoriesTranslated, setCategoriesTranslated);

 public:
  // The translation of one category; nullopt when there is none.
  std::optional<std::string> translatedCategory(std::string_view category) const;
};

// `values`: KLEventTypeDetailsResponse elements (nil when the reply's "values" is not an array).
class KLEventTypeDetailsListResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  std::vector<std::shared_ptr<KLEventTypeDetailsResponse>> details() const {
    return modelsOfClass<KLEventTypeDetailsResponse>(values());
  }
};

class KLAvailableFacesResponse : public platform::Model {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, faceID, setFaceID);
  DK_MODEL_PROPERTY(int64_t, accountID, setAccountID);
  DK_MODEL_PROPERTY(int64_t, createTime, setCreateTime);
  DK_MODEL_PROPERTY(platform::Value, samples, setSamples);        // the raw JSON array
  DK_MODEL_PROPERTY(platform::Value, customData, setCustomData);  // any JSON value
  DK_MODEL_PROPERTY(std::optional<std::string>, name, setName);
  // "known" marks a named face.
  DK_MODEL_PROPERTY(std::optional<std::string>, state, setState);
};

class KLAvailableFacesListResponse : public KLListResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  std::vector<std::shared_ptr<KLAvailableFacesResponse>> faces() const {
    return modelsOfClass<KLAvailableFacesResponse>(values());
  }
};

class KLFaceSample : public platform::Model {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(int64_t, createTime, setCreateTime);
  DK_MODEL_PROPERTY(std::optional<std::string>, sampleID, setSampleID);
  DK_MODEL_PROPERTY(std::optional<std::string>, quality, setQuality);
  DK_MODEL_PROPERTY(platform::Value, customData, setCustomData);
};

}  // namespace dk
