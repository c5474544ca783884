#include "player/player_view_images.h"

#include "platform/graphics/screen_scale.h"
#include "platform/ui/image_view.h"
#include "ui/image_effects.h"

namespace dk {

const std::vector<platform::ImagePtr>& playToPauseImages() {
  static const std::vector<platform::ImagePtr> frames = imagesForAnimation(1, 21, "play_pause");
  return frames;
}

const std::vector<platform::ImagePtr>& pauseToPlayImages() {
  static const std::vector<platform::ImagePtr> frames = imagesForAnimation(1, 21, "pause_play");
  return frames;
}

void animateWithoutSelectingButtonFromPlayToPause(bool playToPause, platform::Button& button) {
  auto& imageView = *button.imageView();
  imageView.setAnimationImages(playToPause ? playToPauseImages() : pauseToPlayImages());
  imageView.setAnimationDuration(0.5);
  imageView.setAnimationRepeatCount(1);
  imageView.startAnimating();
}

void animatePlayPause(bool playing, platform::Button& button) {
  button.setSelected(playing);
  animateWithoutSelectingButtonFromPlayToPause(playing, button);
}

platform::ImagePtr getImageForColor(const platform::Color& color) {
  return platform::Image::withColor(color, platform::Size{1, 2}, platform::mainScreenScale());
}

}  // namespace dk
