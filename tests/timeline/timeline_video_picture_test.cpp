// The timeline screen while its player shows a real frame of the local cloud's video: with the
// player row shown, and with the speed menu opened over the strip, each compared with the
// project's stored pictures (tests/data/timeline/). On a mismatch the picture drawn now is
// written to the working directory; DK_UPDATE_PICTURES=1 rewrites the stored ones.
#include <gtest/gtest.h>

#include "platform/ui/render.h"
#include "platform/ui/stored_picture.h"
#include "timeline_video_fixture.h"

namespace dk {
namespace {

class TimelineVideoPicture : public test::TimelineVideoTest {
 protected:
  platform::ImagePtr picture() {
    driver().pump();
    platform::renderViewToImage(*window_, 1);
    return platform::renderViewToImage(*window_, 1);
  }
  // Playing from 20 s into the first recording, the player row shown.
  void playingWithThePlayerRow() {
    shownScreen();
    playAt(kFirstStart + 20);
    tapOn("more_button");
    driver().advance(1.0);
    ASSERT_TRUE(playerScreen()->playerViewModel()->isPlaying());
  }
};

TEST_F(TimelineVideoPicture, ThePlayingScreenWithThePlayerRow) {
  playingWithThePlayerRow();
  ASSERT_EQ(named("player_bottom_controls_container")->alpha(), 1.0);
  test::expectLooksAsStored(picture(), "timeline", "screen_video_player_row");
}

TEST_F(TimelineVideoPicture, ThePlayingScreenWithTheSpeedMenuOpen) {
  playingWithThePlayerRow();
  tapOn("speed_button");
  tapOn("speed_option_1002");
  tapOn("speed_button");
  driver().advance(1.0);
  ASSERT_EQ(named("speed_options_view")->alpha(), 1.0);
  test::expectLooksAsStored(picture(), "timeline", "screen_video_speed_menu");
}

}  // namespace
}  // namespace dk
