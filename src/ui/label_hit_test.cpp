#include "ui/label_hit_test.h"

namespace dk {

bool isPointInLabelForSubstringInString(const LabelTextDescription& label, const std::string& substring,
                                        const std::string& string, platform::Point point) {
  // An absent substring has no range to be inside of.
  if (substring.empty()) return false;
  const auto start = string.find(substring);
  if (start == std::string::npos) return false;

  const platform::TextLayout layout(label.text, label.attributes, label.boundsSize);
  const platform::Rect used = layout.usedRect();
  // The label centres its text; the container lays it out from the top-left corner.
  const double offsetX = (label.boundsSize.width - used.width()) / 2 - used.minX();
  const double offsetY = (label.boundsSize.height - used.height()) / 2 - used.minY();
  const auto index = layout.characterIndexAtPoint({point.x - offsetX, point.y - offsetY});
  if (!index) return false;
  return *index >= start && *index - start < substring.size();
}

}  // namespace dk
