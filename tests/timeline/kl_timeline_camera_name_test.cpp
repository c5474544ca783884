// The timeline screen watches the name of the camera service's current camera: the name is read
// on the service's parser queue, the embedded player is told on the main thread.
#include <gtest/gtest.h>

#include <thread>

#include "timeline_screen_fixture.h"

namespace dk {
namespace {

class TimelineCameraName : public test::TimelineScreenTest {};

TEST_F(TimelineCameraName, ANameSetOnAnotherThreadReachesThePlayerOnTheMainThread) {
  auto screen = showScreen(makeScreen());
  auto player = std::make_shared<test::RecordingPlayer>();
  screen->setPlayer(player);
  auto keeper = KLDataManager::sharedInstance()->deviceKeeper();
  // The record the screen made current when it loaded.
  KLCameraPtr current = keeper->camera();
  ASSERT_TRUE(current);
  ASSERT_EQ(current->cameraID(), test::kCamera);

  std::thread parser([&] { current->setName("Porch"); });
  parser.join();
  EXPECT_TRUE(player->cameras.empty()) << "nothing reaches the player off the main thread";
  driver().pump();
  ASSERT_EQ(player->cameras.size(), 1u);
  EXPECT_EQ(player->cameras[0], current);
  EXPECT_EQ(player->cameras[0]->name(), "Porch");
  EXPECT_TRUE(player->camerasOnMain[0]);

  // A camera made current later is followed too.
  auto next = std::make_shared<KLCameraResponse>();
  next->setCameraID(test::kCamera);
  keeper->setCamera(next);
  driver().pump();
  ASSERT_EQ(player->cameras.size(), 2u);
  current->setName("Old record");
  next->setName("Drive");
  driver().pump();
  ASSERT_EQ(player->cameras.size(), 3u);
  EXPECT_EQ(player->cameras[2], next);
}

TEST_F(TimelineCameraName, WithoutAPlayerOrAfterTheScreenIsGoneANameChangeDoesNothing) {
  auto screen = showScreen(makeScreen());
  auto keeper = KLDataManager::sharedInstance()->deviceKeeper();
  KLCameraPtr current = keeper->camera();
  current->setName("No player yet");
  driver().pump();
  EXPECT_EQ(screen->player(), nullptr);

  std::weak_ptr<KLTimelineViewController> weak = screen;
  screen.reset();
  window_->setRootViewController(std::make_shared<platform::ViewController>());
  platform::MainRunLoop::runUntilIdle();
  ASSERT_TRUE(weak.expired());
  EXPECT_FALSE(keeper->hasKeyValueObservers());
  EXPECT_FALSE(current->hasKeyValueObservers());
  std::thread parser([&] { current->setName("Nobody listens"); });
  parser.join();
  platform::MainRunLoop::runUntilIdle();
}

}  // namespace
}  // namespace dk
