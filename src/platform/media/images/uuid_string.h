// A new random identifier in the platform's UUID text form ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"):
// version 4, upper-case hexadecimal. Thread-safe.
#pragma once

#include <string>

namespace dk::platform {

std::string makeUUIDString();

}  // namespace dk::platform
