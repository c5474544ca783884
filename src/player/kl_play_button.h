// KLPlayButton: the play/pause button; changing `isPlaying` swaps its icon ("Pause" while
// playing, "Play" otherwise) and plays the 21-frame morph once.
//
// Main thread only.
#pragma once

#include "ui/kl_larger_hit_test_area_button.h"

namespace dk {

class KLPlayButton : public KLLargerHitTestAreaButton {
 public:
  using KLLargerHitTestAreaButton::KLLargerHitTestAreaButton;
  bool isPlaying() const { return isPlaying_; }
  // Nothing when unchanged.
  void setIsPlaying(bool playing);

 private:
  bool isPlaying_ = false;
};

}  // namespace dk
