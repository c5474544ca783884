// Hit test for a tappable word inside a label's text (isPointInLabelForSubstringInString).
//
// Written against a plain description of what the label shows (its text, attributes and bounds),
// so that any label class can call it with its own state. Safe from any thread.
#pragma once

#include <string>

#include "platform/graphics/geometry.h"
#include "platform/graphics/text_layout.h"

namespace dk {

struct LabelTextDescription {
  std::string text;
  platform::TextAttributes attributes;
  // The label's bounds size: the text container.
  platform::Size boundsSize;
};

// Lays the text out in the label's bounds, centres the used rectangle in them and answers whether
// the character under `point` (label coordinates) lies in the first occurrence of `substring` in
// `string`. NO when the substring does not occur (or is empty).
bool isPointInLabelForSubstringInString(const LabelTextDescription& label, const std::string& substring,
                                        const std::string& string, platform::Point point);

}  // namespace dk
