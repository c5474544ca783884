// HTTP byte ranges on media replies: a reply that offers them ("Accept-Ranges: bytes", status
// 200) answers one "Range: bytes=..." with 206 and Content-Range, and a range that starts past
// the end with 416 and "Content-Range: bytes */<size>". Several ranges or a malformed header
// leave the whole reply, as HTTP allows.
//
// Pure function; thread-safe.
#pragma once

#include <string>

#include "http_types.h"

namespace dk::cloudsim::detail {

void applyByteRange(const std::string& rangeHeader, HttpReply& reply);

}  // namespace dk::cloudsim::detail
