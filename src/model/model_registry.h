// The model classes by name: what the request table's model column names ("KLCameraListResponse")
// resolves to, and the class-level hook that turns one reply dictionary into a list reply.
//
// Built once, immutable; safe from any thread.
#pragma once

#include <string_view>
#include <vector>

#include "platform/foundation/model.h"
#include "platform/foundation/value.h"

namespace dk {

// The model class of that name; nullptr for a name that is not a model class.
const platform::ClassInfo* modelClassNamed(std::string_view name);
// Every model class, in a fixed order.
const std::vector<const platform::ClassInfo*>& allModelClasses();

// +objectDictionaryFromDictionary: of a list class (the nearest class in its hierarchy that has
// one): one reply dictionary as the dictionary the list maps from; nil when the class has none.
platform::Value objectDictionaryFromDictionary(const platform::ClassInfo& listClass, const platform::Value& dictionary);

}  // namespace dk
