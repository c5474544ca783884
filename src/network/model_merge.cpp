#include "network/model_merge.h"

#include "model/model_registry.h"

namespace dk {

const platform::ClassInfo* modelClassForName(std::string_view className) { return modelClassNamed(className); }

bool isModelOfClassNamed(const platform::ModelPtr& model, std::string_view className) {
  if (!model) return false;
  for (const platform::ClassInfo* cls = &model->classInfo(); cls; cls = cls->superclass()) {
    if (cls->name() == className) return true;
  }
  return false;
}

}  // namespace dk
