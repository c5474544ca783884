// What the models need from the foundation layer (server timestamps, localised texts, user
// defaults, the server address, string helpers), gathered behind one small interface so that the
// models read the same way whichever layer provides each piece.
//
// Stateless free functions; safe from any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/value.h"

namespace dk::bridge {

// Seconds since 1970 of a server time "yyyy-MM-dd'T'HH:mm:ss.SSSXXX" ("Z" accepted for the
// offset); nullopt when the text does not parse (milliseconds are required).
std::optional<double> secondsFromServerTimestamp(std::string_view text);

}  // namespace dk::bridge
