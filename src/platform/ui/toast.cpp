#include "platform/ui/toast.h"

#include <algorithm>

#include "platform/ui/label.h"
#include "platform/ui/main_thread.h"

namespace dk::platform {

std::shared_ptr<View> makeToast(View& view, const std::string& message, double duration, ToastPosition position,
                                const ToastStyle& style) {
  const Rect host = view.bounds();
  auto label = std::make_shared<Label>();
  label->setText(message);
  label->setFont(style.messageFont);
  label->setTextColor(style.messageColor);
  label->setTextAlignment(style.messageAlignment);
  label->setNumberOfLines(0);
  const double maxWidth = std::max(0.0, host.size.width * style.maxWidthPercentage - 2 * style.horizontalPadding);
  const double maxHeight = std::max(0.0, host.size.height * style.maxHeightPercentage - 2 * style.verticalPadding);
  Size text = label->sizeThatFits({maxWidth, maxHeight});
  text.width = std::min(text.width, maxWidth);
  text.height = std::min(text.height, maxHeight);
  label->setFrame({style.horizontalPadding, style.verticalPadding, text.width, text.height});

  const Size box{text.width + 2 * style.horizontalPadding, text.height + 2 * style.verticalPadding};
  double y = (host.size.height - box.height) / 2;
  if (position == ToastPosition::Top) y = 10;
  if (position == ToastPosition::Bottom) y = host.size.height - box.height - 10;
  auto toast = std::make_shared<View>(Rect{(host.size.width - box.width) / 2, y, box.width, box.height});
  toast->setAccessibilityIdentifier(kToastIdentifier);
  toast->setBackgroundColor(style.backgroundColor);
  toast->layer().setCornerRadius(std::min(style.cornerRadius, box.height / 2));
  toast->setUserInteractionEnabled(false);
  toast->addSubview(label);
  view.addSubview(toast);

  std::weak_ptr<View> weak = toast;
  runOnMainAfter(duration, [weak] {
    auto shown = weak.lock();
    if (!shown) return;
    View::animate(0.2, [shown] { shown->setAlpha(0); }, [weak](bool) {
      if (auto gone = weak.lock()) gone->removeFromSuperview();
    });
  });
  return toast;
}

}  // namespace dk::platform
