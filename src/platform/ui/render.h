// Rendering the headless view tree into pictures, through the graphics layer (cairo and pango).
//
// A view draws, in order: its shadow (from the alpha of everything it draws, blurred), its
// background (with its corner radius and masked corners), its layer's contents image, its own
// draw(), its layer's sublayers (shapes, gradients, pictures), its subviews back to front, and its
// border. clipsToBounds clips the content and subviews to the (rounded) bounds; alpha below one
// composites the whole subtree at once; hidden views and fully transparent ones draw nothing;
// transforms turn and scale the subtree about the view's centre. Rendering reads the tree and
// changes nothing but the layout that is due. Main thread only.
#pragma once

#include <string>

#include "platform/graphics/context.h"
#include "platform/graphics/image.h"
#include "platform/ui/view.h"

namespace dk::platform {

// The view and its subtree, in the view's bounds, at `scale` pixels per point (0: the main
// screen's scale). Lays out what is due first.
ImagePtr renderViewToImage(View& view, double scale = 0);
// Draws the view's content and subtree in its own bounds coordinates (as if it were the root).
void drawViewContents(GraphicsContext& context, View& view);
// Draws a subview of the view being drawn: applies its position, transform and alpha.
void drawSubview(GraphicsContext& context, View& view);
// Draws a standalone layer placed in its superlayer's coordinates.
void drawLayer(GraphicsContext& context, const Layer& layer);
// renderViewToImage, written as a PNG file.
bool writeViewPNG(View& view, const std::string& path, double scale = 0, std::string* error = nullptr);
// A picture of the view as it looks now (snapshotViewAfterScreenUpdates): an image view of the
// view's size showing it.
std::shared_ptr<View> snapshotView(View& view, bool afterScreenUpdates);

}  // namespace dk::platform
