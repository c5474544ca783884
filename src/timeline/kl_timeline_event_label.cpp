#include "timeline/kl_timeline_event_label.h"

#include <algorithm>
#include <vector>

namespace dk {

void KLTimelineEventLabel::setText(const std::string& text) {
  adjustFontForText(text, bounds().size.width);
  Label::setText(text);
}

void KLTimelineEventLabel::layoutSubviews() {
  Label::layoutSubviews();
  adjustFontForText(text(), bounds().size.width);
}

void KLTimelineEventLabel::adjustFontForText(const std::string& text, double width) {
  std::vector<std::string> words;
  for (size_t start = 0;;) {
    const size_t space = text.find(' ', start);
    words.push_back(text.substr(start, space == std::string::npos ? std::string::npos : space - start));
    if (space == std::string::npos) break;
    start = space + 1;
  }
  const double smallest = std::max(defaultFont_.pointSize() / 2, kSmallestSize);
  double size = defaultFont_.pointSize();
  platform::Font candidate = defaultFont_.withSize(size);
  for (;;) {
    const bool fits = std::all_of(words.begin(), words.end(),
                                  [&](const std::string& w) { return candidate.sizeOfText(w).width <= width; });
    if (fits || size * kShrinkFactor < smallest) break;
    size *= kShrinkFactor;
    candidate = defaultFont_.withSize(size);
  }
  if (candidate.pointSize() != font().pointSize()) Label::setFont(candidate);
}

}  // namespace dk
