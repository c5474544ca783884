// The model look-ups the request layer needs by class name, so that the request table and the
// merge callbacks do not depend on each concrete model class.
//
// Stateless; safe from any thread.
#pragma once

#include <string_view>

#include "platform/foundation/model.h"

namespace dk {

// The response model class of that name, or nullptr.
const platform::ClassInfo* modelClassForName(std::string_view className);

// True when `model` is an instance of the named class or of a subclass of it.
bool isModelOfClassNamed(const platform::ModelPtr& model, std::string_view className);

}  // namespace dk
