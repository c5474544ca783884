#include "ui/view_extensions.h"

#include "platform/ui/button.h"
#include "platform/ui/layer.h"

namespace dk {
namespace {

template <typename T>
T stored(const View& view, const char* key) {
  if (const std::any* value = view.associatedValue(key)) {
    if (const T* v = std::any_cast<T>(value)) return *v;
  }
  return T{};
}

}  // namespace

float minTransparency(const View& view) { return stored<float>(view, kMinTransparencyKey); }
void setMinTransparency(View& view, float value) { view.setAssociatedValue(kMinTransparencyKey, value); }
float maxTransparency(const View& view) { return stored<float>(view, kMaxTransparencyKey); }
void setMaxTransparency(View& view, float value) { view.setAssociatedValue(kMaxTransparencyKey, value); }
bool showHide(const View& view) { return stored<bool>(view, kShowHideKey); }
void setShowHide(View& view, bool value) { view.setAssociatedValue(kShowHideKey, value); }

double minAlpha(const View& view) { return minTransparency(view); }
void setMinAlpha(View& view, double alpha) { setMinTransparency(view, static_cast<float>(alpha)); }

double maxAlpha(const View& view) {
  const float value = maxTransparency(view);
  return value == 0 ? 1.0 : value;
}
void setMaxAlpha(View& view, double alpha) { setMaxTransparency(view, static_cast<float>(alpha)); }

bool shouldNotUpdate(const View& view) { return showHide(view); }
void setShouldNotUpdate(View& view, bool value) { setShowHide(view, value); }

std::shared_ptr<View> hitTest(const std::shared_ptr<View>& receiver, Point point, const View* fromSuperView) {
  if (!receiver) return nullptr;
  const Point p = receiver->convertPointFrom(point, fromSuperView);
  const auto subviews = receiver->subviews();
  for (const auto& s : subviews) {
    const bool isButton = dynamic_cast<platform::Button*>(s.get()) != nullptr;
    if (isButton && !s->isHidden() && s->frame().contains(p)) return s;
    if (s->frame().contains(p) && !s->subviews().empty()) return hitTest(s, p, receiver.get());
  }
  if (dynamic_cast<platform::Button*>(receiver.get()) && !receiver->isHidden() && receiver->frame().contains(point)) {
    return receiver;
  }
  return nullptr;
}

Rect zoomRectForScale(const View& receiver, float scale, Point center, const View* view) {
  const double width = receiver.frame().width() / scale;
  const double height = receiver.frame().height() / scale;
  const Point c = receiver.convertPointFrom(center, view);
  return Rect(c.x - width / 2.0, c.y - height / 2.0, width, height);
}

void updateSubviewsWithBackgroundColor(View& receiver, std::optional<Color> color, double cornerRadius) {
  const auto subviews = receiver.subviews();
  for (const auto& s : subviews) {
    s->setBackgroundColor(color);
    s->layer().setCornerRadius(cornerRadius);
    if (!s->subviews().empty()) updateSubviewsWithBackgroundColor(*s, color, cornerRadius);
  }
}

void commitWithoutAnimation(const std::function<void()>& block) {
  platform::Transaction::begin();
  platform::Transaction::setAnimationDuration(0);
  if (block) block();
  platform::Transaction::commit();
}

}  // namespace dk
