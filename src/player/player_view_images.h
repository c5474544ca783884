// The player's image helpers: the two 21-frame sequences of the play/pause morph (made once per
// process and shared), playing them once on a button, and a plain image of one colour.
//
// Main thread only (the sequences themselves are built once, thread-safely).
#pragma once

#include <vector>

#include "platform/graphics/geometry.h"
#include "platform/graphics/image.h"
#include "platform/ui/button.h"

namespace dk {

const std::vector<platform::ImagePtr>& playToPauseImages();
const std::vector<platform::ImagePtr>& pauseToPlayImages();
// The button's image view plays the play-to-pause frames (or pause-to-play) once in 0.5 s;
// the button's selected state is left alone.
void animateWithoutSelectingButtonFromPlayToPause(bool playToPause, platform::Button& button);
// Selects the button when `playing`, then the same animation.
void animatePlayPause(bool playing, platform::Button& button);
// A 1 x 2 point image filled with the colour, at the screen's scale.
platform::ImagePtr getImageForColor(const platform::Color& color);

}  // namespace dk
