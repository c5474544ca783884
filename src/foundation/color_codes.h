// The framework's colours: hex strings to colours, the two theme colours of ColorManager and a
// fixed palette. Theme colours are read from the store at every call, so a later change is seen
// by the next drawing. Pure functions apart from that read; thread-safe.
#pragma once

#include <string_view>

#include "platform/graphics/geometry.h"

namespace dk {

using platform::Color;

// The opaque colour of "#rrggbb": the first character (the "#") is skipped and the longest run
// of hex digits after it is read as an unsigned 32-bit number, red in bits 16-23, green 8-15,
// blue 0-7, each over 255. No digits (an empty or one-character string) gives black; a run too
// long for 32 bits reads as the largest number (white), as the platform's scanner does.
Color colorFromHexString(std::string_view hex);

// The theme colours (ColorManager's primary and secondary).
Color lightColor();
Color darkColor();
// The fixed palette; fixed channels are fractions of 256.
Color accentColor();
Color specialActionColor();
Color lightGreyColor();
Color coolGreyColor();
Color walkthroughColor();
Color greenishColor();
Color darkBlueColorWithAlpha(double alpha);
Color lightGreyColorWithAlpha(double alpha);
Color coolGreyColorWithAlpha(double alpha);
Color darkGreyColorWithAlpha(double alpha);
Color whiteColorWithAlpha(double alpha);
Color blackSemiTransparentColor();

}  // namespace dk
