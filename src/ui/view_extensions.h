// Small extensions every view gets: per-view hide and show alphas for control overlays, a hit test
// that finds buttons only, the zoom rectangle for a scale, a recursive restyling of subviews, and
// a layer transaction without animation.
//
// The hide values live on the view itself (associated values, gone with the view): a value never
// set reads as 0 (or false). All functions are for the main thread, like the views they touch.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/graphics/geometry.h"
#include "platform/ui/view.h"

namespace dk {

using platform::Color;
using platform::Point;
using platform::Rect;
using platform::View;

// ---- UIView(HideViews_Private): the stored values, under "MinTransparencyKey",
// "MaxTransparencyKey" and "ShowHideKey" ----
inline constexpr const char* kMinTransparencyKey = "MinTransparencyKey";
inline constexpr const char* kMaxTransparencyKey = "MaxTransparencyKey";
inline constexpr const char* kShowHideKey = "ShowHideKey";

float minTransparency(const View& view);
void setMinTransparency(View& view, float value);
float maxTransparency(const View& view);
void setMaxTransparency(View& view, float value);
bool showHide(const View& view);
void setShowHide(View& view, bool value);

// ---- UIView(HideView) ----
// Alpha of the view while its overlay is hidden (0 unless set).
double minAlpha(const View& view);
void setMinAlpha(View& view, double alpha);
// Alpha of the view while its overlay is shown: 1.0 when never set or set to 0.
double maxAlpha(const View& view);
void setMaxAlpha(View& view, double alpha);
// The overlay leaves this view alone when it hides or shows.
bool shouldNotUpdate(const View& view);
void setShouldNotUpdate(View& view, bool value);

// ---- UIView(HitTest) ----
// hitTest:fromSuperView: the first button (visible, its frame holding the point) found in subview
// order, descending into the first subview with subviews whose frame holds the point (and
// answering for it, even with nothing); else the receiver when it is a visible button whose frame
// holds the point as given; else nullptr. `fromSuperView` is the view `point` is given in.
std::shared_ptr<View> hitTest(const std::shared_ptr<View>& receiver, Point point, const View* fromSuperView);

// ---- UIView(RectForScale) ----
// zoomRectForScale:withCenter:inView: the receiver's frame size divided by the scale, centred on
// `center` (given in `view`'s coordinates) converted into the receiver's.
Rect zoomRectForScale(const View& receiver, float scale, Point center, const View* view);

// ---- UIView(CustomBackgroundColor) ----
// updateSubviewsWithBackgroundColor:cornerRadius: every subview, depth first in subview order,
// takes the colour and the corner radius; the receiver itself is left as it is.
void updateSubviewsWithBackgroundColor(View& receiver, std::optional<Color> color, double cornerRadius);

// ---- CATransaction(NoAnimation) ----
// commitWithoutAnimation: runs the block inside a layer transaction of duration 0.
void commitWithoutAnimation(const std::function<void()>& block);

}  // namespace dk
