// The few model operations the request merge callbacks need, reached by class name so that the
// request layer does not depend on each concrete model class.
//
// Stateless; thread safety is that of the models merged (callers serialise merges into a cached
// model on its owner's queue).
#pragma once

#include <string_view>

#include "platform/foundation/model.h"
#include "platform/foundation/value.h"

namespace dk {

// The response model class of that name, or nullptr.
const platform::ClassInfo* modelClassForName(std::string_view className);

// True when `model` is an instance of the named class or of a subclass of it.
bool isModelOfClassNamed(const platform::ModelPtr& model, std::string_view className);

// mergeValuesForKeysFromModel: of the response bases. A source that is not a model (nil, null, a
// raw reply) changes nothing.
void mergeValuesForKeysFromModel(const platform::ModelPtr& target, const platform::Value& source);

// mergeValueForKey:fromModel: of the response bases (a nil source reaches only a key-specific
// merge; the default copy needs a model).
void mergeValueForKeyFromModel(const platform::ModelPtr& target, std::string_view key, const platform::Value& source);

}  // namespace dk
