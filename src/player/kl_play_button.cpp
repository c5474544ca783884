#include "player/kl_play_button.h"

#include "player/player_view_images.h"
#include "ui/button_tint.h"

namespace dk {

void KLPlayButton::setIsPlaying(bool playing) {
  if (playing == isPlaying_) return;
  setImageForAllControlStates(*this, platform::Image::named(playing ? "Pause" : "Play"));
  isPlaying_ = playing;
  animateWithoutSelectingButtonFromPlayToPause(playing, *this);
}

}  // namespace dk
