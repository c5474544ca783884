// The timeline screen's playback hand-off: a drag or an event tap ends in a recording and the
// player is made once and seeks into it, the strip follows the playing time except while the user
// drags, the end of a recording moves on to the next (also when that is less than a point away),
// gaps and event jumps into gaps remove the player, and the player buttons.
#include <gtest/gtest.h>

#include "foundation/date_formatting.h"
#include "platform/foundation/bundle.h"
#include "platform/ui/ui_test_driver.h"
#include "player/kl_player_view_controller.h"
#include "player/player_interfaces.h"
#include "timeline/embedded_player.h"
#include "timeline/kl_timeline_view_controller.h"
#include "timeline_screen_fixture.h"
#include "ui/base_screen_services.h"

namespace dk {
namespace {

using test::restEvent;
using test::restRecording;

std::string localizedPlaybackText(const char* key) {
  return platform::Bundle::withIdentifier(kFrameworkBundleIdentifier)->localizedString(key, key);
}

class TimelinePlayback : public test::TimelineScreenTest {
 protected:
  void SetUp() override {
    TimelineScreenTest::SetUp();
    KLTimelineViewController::setPlayerFactory([this](KLCameraPtr, const KLTimelineRecordingPtr&) {
      auto player = std::make_shared<test::RecordingPlayer>();
      made_.push_back(player);
      return player;
    });
  }
  void TearDown() override {
    KLTimelineViewController::setPlayerFactory(nullptr);
    TimelineScreenTest::TearDown();
  }
  std::shared_ptr<KLTimelineViewController> screenAtThreeMinutes() {
    return showScreen(makeScreen(KLTimelineZoomLevelThreeMinutes));
  }
  std::shared_ptr<test::RecordingPlayer> player() { return made_.empty() ? nullptr : made_.back(); }
  void dragStrip(KLTimelineViewController& screen, double dy) {
    auto center = platform::UiTestDriver::centerOf(*screen.tableView());
    driver().drag(center, {center.x, center.y + dy});
    driver().settle();
  }

  std::vector<std::shared_ptr<test::RecordingPlayer>> made_;
};

TEST_F(TimelinePlayback, ThePlayerMayLetTheCameraBeHeardOnlyWithTheRightToListen) {
  for (const bool microphoneRight : {true, false}) {
    SCOPED_TRACE(microphoneRight ? "with the microphone right" : "without it");
    auto rights = std::make_shared<KLUserRightsResponse>();
    rights->setRights(microphoneRight ? KLUserRightPlayback | KLUserRightMicrophone : KLUserRightPlayback);
    installBaseScreenServices({[rights] { return rights; }, nullptr, nullptr});
    made_.clear();
    auto screen = screenAtThreeMinutes();
    setRecordings({restRecording(1, now() - 7200, now() - 1)});
    dragStrip(*screen, -60);
    ASSERT_EQ(made_.size(), 1u);
    EXPECT_EQ(player()->listeningAllowed, std::optional<bool>(microphoneRight));
  }
}

TEST_F(TimelinePlayback, ADragThatEndsInARecordingMakesThePlayerOnceAndSeeksWhereItStopped) {
  // Nothing recorded when the strip comes up: no player yet.
  auto screen = screenAtThreeMinutes();
  ASSERT_TRUE(made_.empty());
  double start = now() - 7200;
  setRecordings({restRecording(1, start, now() - 1)});
  std::shared_ptr<test::RecordingPlayer> first;

  // Upwards: back in time, into the recording.
  dragStrip(*screen, -60);
  ASSERT_EQ(made_.size(), 1u) << "a drag ending inside the recording makes the player";
  first = player();
  EXPECT_EQ(screen->player(), first);
  ASSERT_FALSE(first->seeks.empty());
  EXPECT_NEAR(first->seeks.back(), screen->adapter()->scrollTime() - start, 1e-6);
  EXPECT_FALSE(screen->seekInProgress());
  EXPECT_FALSE(first->renderHidden);
  ASSERT_TRUE(screen->playingRecording());
  EXPECT_DOUBLE_EQ(screen->playingRecording()->timelineRecordingStartTime(), start);

  size_t seeks = first->seeks.size();
  dragStrip(*screen, -30);
  EXPECT_EQ(made_.size(), 1u) << "later hand-offs re-target the same player";
  EXPECT_EQ(first->seeks.size(), seeks + 1);
  EXPECT_NEAR(first->seeks.back(), screen->adapter()->scrollTime() - start, 1e-6);
  EXPECT_FALSE(first->recordings.empty());
}

TEST_F(TimelinePlayback, AStartingDragPausesAPlayingPlayerAndHidesItsPicture) {
  setRecordings({restRecording(1, now() - 7200, now() - 60)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(now() - 3600, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  p->playing = true;
  p->actions.clear();
  auto center = platform::UiTestDriver::centerOf(*screen->tableView());
  auto touches = driver().touchDown({center});
  driver().touchMove(touches, {{center.x, center.y + 30}});
  driver().touchMove(touches, {{center.x, center.y + 60}});
  EXPECT_TRUE(screen->seekInProgress());
  EXPECT_TRUE(p->renderHidden);
  EXPECT_EQ(p->actions, std::vector<int>{PlayerExternalActionPause});
  driver().touchUp(touches);
  driver().settle();
  EXPECT_FALSE(screen->seekInProgress());
}

TEST_F(TimelinePlayback, TheStripFollowsThePlayingTimeButNotWhileTheUserDrags) {
  double start = now() - 7200;
  setRecordings({restRecording(1, start, now() - 60)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(now() - 3600, false, true);
  ASSERT_TRUE(player());
  size_t seeks = player()->seeks.size();
  double playing = screen->adapter()->scrollTime() - 30;
  screen->playerTimeDidChangeToTime(playing);
  EXPECT_NEAR(screen->adapter()->scrollTime(), playing, 1.0);
  EXPECT_EQ(screen->timelineLabel()->text(), hourMinutesSecondsFromTimestamp(screen->adapter()->scrollTime()));
  EXPECT_EQ(player()->seeks.size(), seeks) << "following the player does not seek it again";

  auto center = platform::UiTestDriver::centerOf(*screen->tableView());
  auto touches = driver().touchDown({center});
  driver().touchMove(touches, {{center.x, center.y + 30}});
  driver().touchMove(touches, {{center.x, center.y + 60}});
  double held = screen->adapter()->scrollTime();
  screen->playerTimeDidChangeToTime(playing + 300);
  EXPECT_DOUBLE_EQ(screen->adapter()->scrollTime(), held);
  driver().touchUp(touches);
  driver().settle();
}

TEST_F(TimelinePlayback, AtTheEndOfAClosedRecordingTheNextOneIsHandedOverAfterTheMove) {
  double aStart = now() - 7200, aEnd = now() - 5400, bStart = now() - 4800;
  setRecordings({restRecording(2, bStart, now() - 60), restRecording(1, aStart, aEnd)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(aEnd - 2, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  screen->playerDidEndPlaying();
  EXPECT_FALSE(screen->snapshotButton()->isEnabled());
  driver().settle();
  ASSERT_TRUE(screen->playingRecording());
  EXPECT_DOUBLE_EQ(screen->playingRecording()->timelineRecordingStartTime(), bStart);
  EXPECT_NEAR(p->seeks.back(), screen->adapter()->scrollTime() - bStart, 1e-6);
  EXPECT_NEAR(screen->adapter()->scrollTime(), bStart, 1.0);
}

TEST_F(TimelinePlayback, TheNextRecordingIsHandedOverWhenItStartsLessThanAPointAway) {
  double aStart = now() - 7200, aEnd = now() - 5400;
  // The next one starts where this one ends: the move to it is too short to animate.
  setRecordings({restRecording(2, aEnd, now() - 60), restRecording(1, aStart, aEnd)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(aEnd - 0.05, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  ASSERT_DOUBLE_EQ(screen->playingRecording()->timelineRecordingStartTime(), aStart);
  size_t seeks = p->seeks.size();
  screen->playerDidEndPlaying();
  ASSERT_EQ(p->seeks.size(), seeks + 1) << "the hand-off runs without an end of scrolling";
  EXPECT_DOUBLE_EQ(screen->playingRecording()->timelineRecordingStartTime(), aEnd);
  EXPECT_NEAR(p->seeks.back(), 0, 0.1);
  EXPECT_FALSE(screen->seekInProgress());
}

TEST_F(TimelinePlayback, TheEndOfAnOngoingRecordingPauses) {
  double start = now() - 600;
  setRecordings({restRecording(1, start, now(), false)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(start + 60, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  p->actions.clear();
  screen->playerDidEndPlaying();
  EXPECT_EQ(p->actions, std::vector<int>{PlayerExternalActionPause});
}

TEST_F(TimelinePlayback, AnEventTapHandsTheRecordingUnderItOver) {
  double start = now() - 7200, event = now() - 3000;
  setRecordings({restRecording(1, start, now() - 60)});
  setEvents({restEvent(1, event)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(event - 120, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  screen->userDidTapThumbnailForEvent(test::timelineEvent(1, event));
  driver().settle();
  EXPECT_NEAR(screen->adapter()->scrollTime(), event, 1.0);
  EXPECT_NEAR(p->seeks.back(), screen->adapter()->scrollTime() - start, 1e-6);

  // Tapped again where the strip already stands: nothing animates, the hand-off still comes.
  size_t seeks = p->seeks.size();
  screen->userDidTapThumbnailForEvent(test::timelineEvent(1, screen->adapter()->scrollTime()));
  EXPECT_EQ(p->seeks.size(), seeks + 1);
}

TEST_F(TimelinePlayback, AGapRemovesThePlayerAndBlursTheLastThumbnailOnce) {
  double aStart = now() - 7200, aEnd = now() - 6000, bStart = now() - 3000;
  setRecordings({restRecording(2, bStart, now() - 60), restRecording(1, aStart, aEnd)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(aStart + 60, false, true);
  ASSERT_TRUE(screen->player());
  screen->playerDidEndLoading();
  EXPECT_TRUE(screen->snapshotButton()->isEnabled());
  EXPECT_TRUE(screen->snapshotImageView()->isHidden());

  screen->scrollTableViewToTime(aEnd + 600, false, true);
  EXPECT_FALSE(screen->player());
  EXPECT_FALSE(screen->snapshotButton()->isEnabled());
  EXPECT_FALSE(screen->snapshotImageView()->isHidden());
  EXPECT_FALSE(screen->noVideoInfoLabel()->isHidden());
  EXPECT_EQ(screen->noVideoInfoLabel()->text(), localizedPlaybackText("NoRecordingsAvailable"));
  EXPECT_TRUE(screen->snapshotIsBlurred());
  auto blurred = screen->snapshotImageView()->image();
  ASSERT_TRUE(blurred);
  EXPECT_NE(blurred, screen->lastPresentedSnapshot());
  screen->scrollTableViewToTime(aEnd + 700, false, true);
  EXPECT_EQ(screen->snapshotImageView()->image(), blurred) << "a second gap does not blur again";

  screen->scrollTableViewToTime(aStart - 1800, false, true);
  EXPECT_EQ(screen->noVideoInfoLabel()->text(), localizedPlaybackText("EndOfRecordings"));
}

TEST_F(TimelinePlayback, ANewRecordingWhileOnePlaysLeavesPlaybackAlone) {
  double start = now() - 7200;
  auto playing = restRecording(1, start, now() - 600);
  setRecordings({playing});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(now() - 3600, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  const size_t seeks = p->seeks.size();
  const double at = screen->adapter()->scrollTime();
  // A new live segment arrives: the list grows by one and its items are made anew.
  setRecordings({restRecording(2, now() - 300, now() - 60), playing});
  driver().advance(1.0);
  EXPECT_EQ(p->seeks.size(), seeks) << "the playing recording is not sought again";
  ASSERT_TRUE(screen->playingRecording());
  EXPECT_DOUBLE_EQ(screen->playingRecording()->timelineRecordingStartTime(), start);
  EXPECT_DOUBLE_EQ(screen->adapter()->scrollTime(), at);
}

TEST_F(TimelinePlayback, ARecordingArrivingUnderTheStripPlaysOnlyWhenTheStripIsStill) {
  for (const bool scrolling : {false, true}) {
    SCOPED_TRACE(scrolling);
    setRecordings({});
    made_.clear();
    auto screen = screenAtThreeMinutes();
    const double at = now() - 1800;
    screen->scrollTableViewToTime(at, false, true);
    ASSERT_FALSE(screen->player());
    // The user has the strip in hand: where it ends is decided when the scroll ends.
    if (scrolling) screen->adapter()->scrollViewWillBeginDragging(*screen->tableView());
    ASSERT_EQ(screen->adapter()->isScrolling(), scrolling);
    setRecordings({restRecording(1, at - 600, at + 600)});
    driver().advance(1.0);
    EXPECT_EQ(screen->player() != nullptr, !scrolling);
    if (!scrolling) {
      ASSERT_TRUE(player());
      ASSERT_FALSE(player()->seeks.empty());
      EXPECT_NEAR(player()->seeks.back(), 600, 1.0);
    }
  }
}

TEST_F(TimelinePlayback, WhenThePlayingRecordingLeavesTheListPlaybackIsPositionedAgain) {
  double aStart = now() - 7200, aEnd = now() - 5400, bStart = now() - 3000;
  auto b = restRecording(2, bStart, now() - 60);
  setRecordings({b, restRecording(1, aStart, aEnd)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(aStart + 600, false, true);
  ASSERT_TRUE(screen->player());
  // The recording that plays is deleted: where the strip stands is a gap now.
  setRecordings({b});
  driver().advance(1.0);
  EXPECT_FALSE(screen->player());
  EXPECT_FALSE(screen->noVideoInfoLabel()->isHidden());
  EXPECT_EQ(screen->noVideoInfoLabel()->text(), localizedPlaybackText("EndOfRecordings"));
}

TEST_F(TimelinePlayback, BeforeTheOldestDataTheEndOfRecordingsShowsAlsoWithItemsWithoutATime) {
  const double start = now() - 3600;
  auto untimed = restEvent(9, 0);
  untimed->setTimestamp(std::nullopt);
  auto unparsed = restRecording(8, 0, 0);
  unparsed->setStartStringTime("yesterday");
  struct Row {
    const char* what;
    std::vector<KLRecordingPtr> recordings;
    std::vector<KLEventPtr> events;
  };
  const Row rows[] = {
      {"an event without a time", {restRecording(1, start, now() - 600)}, {restEvent(1, start + 60), untimed}},
      {"a recording whose start did not parse", {restRecording(1, start, now() - 600), unparsed}, {restEvent(1, start + 60)}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    setRecordings(row.recordings);
    setEvents(row.events);
    auto screen = screenAtThreeMinutes();
    screen->scrollTableViewToTime(start - 600, false, true);
    ASSERT_FALSE(screen->player());
    EXPECT_FALSE(screen->noVideoInfoLabel()->isHidden());
    EXPECT_EQ(screen->noVideoInfoLabel()->text(), localizedPlaybackText("EndOfRecordings"));
  }
}

TEST_F(TimelinePlayback, InAGapThePlayerAreasArrowsJumpToTheNearestEvents) {
  double aStart = now() - 7200, aEnd = now() - 6000, bStart = now() - 3000;
  double older = aEnd - 300, newer = bStart + 300;
  setRecordings({restRecording(2, bStart, now() - 60), restRecording(1, aStart, aEnd)});
  setEvents({restEvent(2, newer), restEvent(1, older)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(aStart + 60, false, true);
  EXPECT_TRUE(screen->playerPreviousEventButton()->isHidden()) << "a recording plays: no arrows";
  EXPECT_TRUE(screen->playerNextEventButton()->isHidden());

  const double gap = aEnd + 1200;
  screen->scrollTableViewToTime(gap, false, true);
  ASSERT_FALSE(screen->player());
  EXPECT_FALSE(screen->playerPreviousEventButton()->isHidden());
  EXPECT_FALSE(screen->playerNextEventButton()->isHidden());
  driver().tap(*screen->playerNextEventButton());
  driver().settle();
  EXPECT_NEAR(screen->adapter()->scrollTime(), newer, 1.0);
  ASSERT_TRUE(screen->player()) << "the jump landed in a recording";

  screen->scrollTableViewToTime(gap, false, true);
  driver().tap(*screen->playerPreviousEventButton());
  driver().settle();
  EXPECT_NEAR(screen->adapter()->scrollTime(), older, 1.0);

  // In a gap each arrow shows only when there is an event to jump to that way.
  struct Row {
    double time;
    bool previousHidden, nextHidden;
  };
  const Row rows[] = {{gap, false, false}, {now() - 30, false, true}, {aStart - 600, true, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.time - now());
    screen->scrollTableViewToTime(row.time, false, true);
    ASSERT_FALSE(screen->player());
    EXPECT_EQ(screen->playerPreviousEventButton()->isHidden(), row.previousHidden);
    EXPECT_EQ(screen->playerNextEventButton()->isHidden(), row.nextHidden);
  }
}

TEST_F(TimelinePlayback, TheThumbnailShownLastIsThePlayersPoster) {
  setRecordings({restRecording(1, now() - 7200, now() - 60)});
  auto screen = screenAtThreeMinutes();
  auto shown = platform::Image::withColor(platform::Color{1, 0, 0, 1}, {4, 4});
  screen->setLastPresentedSnapshot(shown);
  screen->scrollTableViewToTime(now() - 3600, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  ASSERT_FALSE(p->posters.empty()) << "a new player starts with the last thumbnail";
  EXPECT_EQ(p->posters.back(), shown);
  auto next = platform::Image::withColor(platform::Color{0, 1, 0, 1}, {4, 4});
  screen->setLastPresentedSnapshot(next);
  EXPECT_EQ(p->posters.back(), next);
}

TEST_F(TimelinePlayback, AnEventJumpFromLandscapeIntoAGapBringsLandscapeDownBeforeRemoving) {
  double aStart = now() - 7200, aEnd = now() - 6000, gapEvent = now() - 4000;
  setRecordings({restRecording(1, aStart, aEnd)});
  setEvents({restEvent(1, gapEvent)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(aStart + 60, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  p->landscape = true;
  screen->playerNextEventWasUpdated();
  driver().settle();
  EXPECT_EQ(p->landscapeDismissals, 1);
  EXPECT_FALSE(screen->player());
  EXPECT_NEAR(screen->adapter()->scrollTime(), gapEvent, 1.0);
}

TEST_F(TimelinePlayback, ButtonsSendThePlayerActions) {
  setRecordings({restRecording(1, now() - 7200, now() - 60)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(now() - 3600, false, true);
  auto p = player();
  ASSERT_TRUE(p);
  screen->playerDidEndLoading();
  p->actions.clear();
  screen->previousFrameButtonPressed();
  screen->nextFrameButtonPressed();
  driver().tap(*screen->snapshotButton());
  EXPECT_EQ(p->actions, (std::vector<int>{PlayerExternalActionPreviousFrame, PlayerExternalActionNextFrame,
                                          PlayerExternalActionTakeSnapshot}));
  screen->playerDidStartLoading();
  EXPECT_FALSE(screen->snapshotButton()->isEnabled());
}

TEST_F(TimelinePlayback, TheRealPlayerIsEmbeddedInThePlayerAreaAndTakenOutInAGap) {
  KLTimelineViewController::setPlayerFactory(nullptr);
  double aStart = now() - 7200, aEnd = now() - 6000;
  setRecordings({restRecording(2, now() - 3000, now() - 60), restRecording(1, aStart, aEnd)});
  auto screen = screenAtThreeMinutes();
  screen->scrollTableViewToTime(aStart + 90, false, true);
  auto embedded = std::dynamic_pointer_cast<EmbeddedPlayer>(screen->player());
  ASSERT_TRUE(embedded);
  auto controller = embedded->playerViewController();
  ASSERT_TRUE(controller);
  EXPECT_EQ(controller->parentViewController().get(), screen.get());
  EXPECT_EQ(controller->view()->superview(), screen->playerContainer());
  ASSERT_TRUE(controller->recording());
  EXPECT_EQ(controller->recording()->playerRecordingID(), 1);
  // The player's reports reach the screen.
  auto client = controller->playerDelegate();
  ASSERT_TRUE(client);
  ASSERT_TRUE(client->respondsToSelector("playerTimeDidChangeToTime:"));
  client->playerTimeDidChangeToTime(aStart + 300);
  EXPECT_NEAR(screen->adapter()->scrollTime(), aStart + 300, 1.0);
  client->playerDidEndLoading(*controller);
  EXPECT_TRUE(screen->snapshotButton()->isEnabled());

  screen->scrollTableViewToTime(aEnd + 600, false, true);
  driver().pump();
  EXPECT_FALSE(screen->player());
  EXPECT_FALSE(controller->parentViewController());
  EXPECT_FALSE(controller->view()->superview());
}

}  // namespace
}  // namespace dk
