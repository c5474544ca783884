// The host application's localised text for `key` (the key itself when the host has none).
#pragma once

#include <string>

#include "platform/foundation/bundle.h"

namespace dk {

inline std::string hostText(const char* key) { return platform::Bundle::main()->localizedString(key, key); }

}  // namespace dk
