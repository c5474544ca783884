// The small pieces of the player: the model adapters, the restartable timer, the play/pause
// frame sequences and the plain colour image.
#include <gtest/gtest.h>

#include "platform/dispatch/run_loop.h"
#include "platform/graphics/screen_scale.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "player/kl_player_timer.h"
#include "player/player_adapters.h"
#include "player/player_view_images.h"
#include "support/manual_clock.h"

namespace dk::test {
namespace {

class PlayerHelpersTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::MainRunLoop::bindToCurrentThread(); }
  ManualClockScope clock{1700000000.0};
};

struct Ticks {
  int count = 0;
  void tick() { ++count; }
};

TEST_F(PlayerHelpersTest, AnOpenRecordingEndsNowAndAClosedOneAtItsEnd) {
  auto model = std::make_shared<KLRecordingResponse>();
  model->setCameraID(7);
  model->setRecordingID(5001);
  model->setStartStringTime("2023-11-14T22:00:00.000Z");  // 1699999200
  model->setEndStringTime("2023-11-14T22:10:00.000Z");
  auto recording = RecordingPlayerAdapter::make(model);
  EXPECT_EQ(recording->underlyingObject(), model);
  EXPECT_EQ(recording->playerCameraID(), 7);
  EXPECT_EQ(recording->playerRecordingID(), 5001);
  EXPECT_DOUBLE_EQ(recording->startTime(), 1699999200.0);
  EXPECT_DOUBLE_EQ(recording->endTime(), 1699999800.0);  // no closed flag: its end text

  model->setClosed(false);
  EXPECT_DOUBLE_EQ(recording->endTime(), 1700000000.0);  // the clock's now
  clock.advance(30);
  EXPECT_DOUBLE_EQ(recording->recordingDuration(), 830.0);  // grows with the clock
  model->setClosed(true);
  EXPECT_DOUBLE_EQ(recording->endTime(), 1699999800.0);
  EXPECT_EQ(RecordingPlayerAdapter::make(nullptr), nullptr);
}

TEST_F(PlayerHelpersTest, ACameraWithoutAudioEnabledHasNoMicrophone) {
  auto model = std::make_shared<KLCameraResponse>();
  model->setCameraID(42);
  model->setName("Porch");
  auto camera = CameraPlayerAdapter::make(model);
  EXPECT_EQ(camera->playerCameraID(), 42);
  EXPECT_EQ(camera->cameraName(), "Porch");
  EXPECT_FALSE(camera->microphoneEnabled());
  EXPECT_FALSE(camera->isRecording());
  model->setAudioEnabled(true);
  model->setRecordingOnCloud(true);
  EXPECT_TRUE(camera->microphoneEnabled());
  EXPECT_TRUE(camera->isRecording());
}

TEST_F(PlayerHelpersTest, SettingAnIntervalStartsAStoppedTimer) {
  auto target = std::make_shared<Ticks>();
  auto timer = KLPlayerTimer::initWithTarget(target, &Ticks::tick, 1.0, true);
  clock.advance(3.0);
  EXPECT_EQ(target->count, 0);  // not running until asked
  timer->setInterval(0.5);
  EXPECT_TRUE(timer->isRunning());
  clock.advance(0.5);
  clock.advance(0.5);
  EXPECT_EQ(target->count, 2);
  timer->stopTimer();
  clock.advance(1.0);
  EXPECT_EQ(target->count, 2);
}

TEST_F(PlayerHelpersTest, TwoRestartsWithinAPeriodFireOnceAFullPeriodAfterTheSecond) {
  auto target = std::make_shared<Ticks>();
  auto timer = KLPlayerTimer::initWithTarget(target, &Ticks::tick, 3.0, false);
  timer->restartTimer();
  clock.advance(2.0);
  timer->restartTimer();
  clock.advance(2.9);
  EXPECT_EQ(target->count, 0);
  clock.advance(0.1);
  EXPECT_EQ(target->count, 1);
  clock.advance(10.0);
  EXPECT_EQ(target->count, 1);  // one-shot until restarted
}

TEST_F(PlayerHelpersTest, ATimerNeitherKeepsItsTargetAliveNorFiresIntoIt) {
  auto target = std::make_shared<Ticks>();
  std::weak_ptr<Ticks> weak = target;
  auto timer = KLPlayerTimer::initWithTarget(target, &Ticks::tick, 1.0, true);
  timer->restartTimer();
  target.reset();
  EXPECT_TRUE(weak.expired());
  clock.advance(2.0);  // fires into nothing
  EXPECT_TRUE(timer->isRunning());
}

TEST_F(PlayerHelpersTest, IntervalsThatAreNotAPeriodAreRefused) {
  auto target = std::make_shared<Ticks>();
  auto timer = KLPlayerTimer::initWithTarget(target, &Ticks::tick, 1.0, true);
  timer->setInterval(1.0 / 0.0);
  timer->setInterval(0.0);
  timer->setInterval(-2.0);
  timer->setInterval(std::nan(""));
  EXPECT_FALSE(timer->isRunning());
  EXPECT_DOUBLE_EQ(timer->interval(), 1.0);
  timer->setInterval(0.25);
  for (int i = 0; i < 4; ++i) clock.advance(0.25);
  EXPECT_EQ(target->count, 4);
}

TEST_F(PlayerHelpersTest, ThePlayPauseMorphHasTwentyOneFramesMadeOnce) {
  const auto& toPause = playToPauseImages();
  ASSERT_EQ(toPause.size(), 21u);
  EXPECT_EQ(&playToPauseImages(), &toPause);
  EXPECT_EQ(playToPauseImages()[0], toPause[0]);
  ASSERT_EQ(pauseToPlayImages().size(), 21u);
  EXPECT_NE(pauseToPlayImages()[0], toPause[0]);

  platform::Button button;
  animatePlayPause(true, button);
  EXPECT_TRUE(button.isSelected());
  EXPECT_EQ(button.imageView()->animationImages(), toPause);
  EXPECT_DOUBLE_EQ(button.imageView()->animationDuration(), 0.5);
  EXPECT_EQ(button.imageView()->animationRepeatCount(), 1);
  animateWithoutSelectingButtonFromPlayToPause(false, button);
  EXPECT_TRUE(button.isSelected());  // left alone
  EXPECT_EQ(button.imageView()->animationImages(), pauseToPlayImages());
}

TEST_F(PlayerHelpersTest, AColourImageIsOneByTwoPointsAtTheScreensScale) {
  auto image = getImageForColor(platform::Color{1, 0, 0, 1});
  EXPECT_DOUBLE_EQ(image->size().width, 1.0);
  EXPECT_DOUBLE_EQ(image->size().height, 2.0);
  EXPECT_DOUBLE_EQ(image->scale(), platform::mainScreenScale());
}

}  // namespace
}  // namespace dk::test
