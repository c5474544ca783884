#include "network/kl_model_merge.h"

namespace dk {

const platform::ClassInfo* modelClassForName(std::string_view className) { return nullptr; }

bool isModelOfClassNamed(const platform::ModelPtr& model, std::string_view className) {
  if (!model) return false;
  for (const platform::ClassInfo* cls = &model->classInfo(); cls; cls = cls->superclass()) {
    if (cls->name() == className) return true;
  }
  return false;
}

void mergeValuesForKeysFromModel(const platform::ModelPtr& target, const platform::Value& source) {
  auto model = source.objectAs<platform::Model>();
  if (!target || !model) return;
  for (const platform::PropertyInfo* property : target->classInfo().properties()) {
    if (model->classInfo().hasProperty(property->key)) mergeValueForKeyFromModel(target, property->key, source);
  }
}

void mergeValueForKeyFromModel(const platform::ModelPtr& target, std::string_view key, const platform::Value& source) {
  auto model = source.objectAs<platform::Model>();
  if (!target) return;
  if (const auto* merge = target->classInfo().keyMerge(key)) {
    (*merge)(*target, model);
    return;
  }
  if (model) target->setValueForKey(key, model->valueForKey(key));
}

}  // namespace dk
