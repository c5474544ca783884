#include "model/kl_event_type_models.h"

#include "model/model_keys.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

const ClassInfo& KLAvailableEventTypesResponse::staticClassInfo() {
  using L = KLAvailableEventTypesResponse;
  static const ClassInfo info("KLAvailableEventTypesResponse", &KLListResponse::staticClassInfo(),
                              [] { return std::make_shared<L>(); },
                              {property("values", &L::values, &L::setValues, {"values"})});
  return info;
}

std::vector<std::string> KLAvailableEventTypesResponse::eventTypes() const {
  std::vector<std::string> out;
  for (const Value& v : values().arrayValue()) {
    if (v.isString()) out.push_back(v.stringValue());
  }
  return out;
}

const ClassInfo& KLEventTypeDetailsResponse::staticClassInfo() {
  using D = KLEventTypeDetailsResponse;
  static const ClassInfo info("KLEventTypeDetailsResponse", nullptr, [] { return std::make_shared<D>(); },
                              {property("priority", &D::priority_, {std::string(kPriorityKey)}),
                               property("eventType", &D::eventType_, {std::string(kDetailsEventTypeKey)}),
                               property("localizedName", &D::localizedName_, {std::string(kDetailsEventTypeTranslatedKey)}),
                               property("categoriesTranslated", &D::categoriesTranslated_,
                                        {std::string(kCategoriesTranslated)})});
  return info;
}

std::optional<std::string> KLEventTypeDetailsResponse::translatedCategory(std::string_view category) const {
  return categoriesTranslated()[category].optionalString();
}

const ClassInfo& KLEventTypeDetailsListResponse::staticClassInfo() {
  using L = KLEventTypeDetailsListResponse;
  static const ClassInfo info(
      "KLEventTypeDetailsListResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<L>(); },
      {property("values", &L::values, &L::setValues, {"values"},
                platform::arrayTransformer(KLEventTypeDetailsResponse::staticClassInfo()))});
  return info;
}

const ClassInfo& KLAvailableFacesResponse::staticClassInfo() {
  using F = KLAvailableFacesResponse;
  static const ClassInfo info("KLAvailableFacesResponse", nullptr, [] { return std::make_shared<F>(); },
                              {property("faceID", &F::faceID_, {"faceId"}),
                               property("accountID", &F::accountID_, {"accountId"}),
                               property("createTime", &F::createTime_, {"createTime"}),
                               property("samples", &F::samples_, {"samples"}),
                               property("customData", &F::customData_, {"customData"}),
                               property("name", &F::name_, {"name"}),
                               property("state", &F::state_, {"state"})});
  return info;
}

const ClassInfo& KLAvailableFacesListResponse::staticClassInfo() {
  using L = KLAvailableFacesListResponse;
  static const ClassInfo info(
      "KLAvailableFacesListResponse", &KLListResponse::staticClassInfo(), [] { return std::make_shared<L>(); },
      {property("values", &L::values, &L::setValues, {"values"},
                platform::arrayTransformer(KLAvailableFacesResponse::staticClassInfo()))});
  return info;
}

const ClassInfo& KLFaceSample::staticClassInfo() {
  using S = KLFaceSample;
  static const ClassInfo info("KLFaceSample", nullptr, [] { return std::make_shared<S>(); },
                              {property("createTime", &S::createTime_, {"createTime"}),
                               property("sampleID", &S::sampleID_, {"sampleId"}),
                               property("quality", &S::quality_, {"quality"}),
                               property("customData", &S::customData_, {"customData"})});
  return info;
}

}  // namespace dk
