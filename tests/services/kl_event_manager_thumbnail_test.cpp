// An event's image loaded into an image view by the event manager, against the local cloud: the
// bearer token is sent, a view still showing the event gets the image rescaled to its size, a
// view that moved on (another tag) or a refused load is cleared, and the completion always runs.
#include <gtest/gtest.h>

#include "foundation/kl_server.h"
#include "network/executor_fixture.h"
#include "platform/media/images/image_cache.h"
#include "services/kl_event_manager.h"
#include "support/temp_directory.h"

namespace dk::test {
namespace {

using platform::MainRunLoop;

class EventThumbnailTest : public ExecutorTest {
 protected:
  void SetUp() override {
    ExecutorTest::SetUp();
    KLServer::setProcessProtocol("http");
    KLServer::setProcessIpAddress("127.0.0.1");
    KLServer::setProcessHttpPort(std::to_string(sim.port()));
    KLServer::resetForTesting();
    platform::ImageCache::Config config;
    config.directory = dir.path() / "images";
    downloader = platform::ImageDownloader::create(std::make_shared<platform::ImageCache>(config));
    event = std::make_shared<KLEventResponse>();
    event->setEventID(sim.world().events.at(0).eventId);
    view->setFrame(platform::Rect(0, 0, 64, 36));
    view->setTag(static_cast<long>(*event->eventID()));
    view->setBackgroundColor(platform::Color::whiteColor());
  }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    KLServer::resetProcessValuesForTesting();
    KLServer::resetForTesting();
    ExecutorTest::TearDown();
  }
  // Loads and waits for the completion.
  void load() {
    bool done = false;
    events->setImageForView(view, event, [&] { done = true; }, downloader);
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return done; }));
  }

  TemporaryDirectory dir;
  std::shared_ptr<platform::ImageDownloader> downloader;
  std::shared_ptr<KLEventManager> events = KLEventManager::create();
  std::shared_ptr<KLEventResponse> event;
  std::shared_ptr<platform::ImageView> view = std::make_shared<platform::ImageView>();
};

TEST_F(EventThumbnailTest, TheEventsImageIsShownCentredAtTheViewsSizeWithTheBearerToken) {
  storeCredential(sim.accessToken());
  load();
  auto image = view->image();
  ASSERT_TRUE(image);
  EXPECT_EQ(image->size(), platform::Size(64, 36));
  EXPECT_EQ(view->contentMode(), platform::ContentMode::Center);
  const auto path = "/rest/v2.4/events/" + std::to_string(*event->eventID()) + ".jpg";
  EXPECT_EQ(sim.requestsTo(path).size(), 1u);
}

TEST_F(EventThumbnailTest, AViewThatMovedOnToAnotherEventIsClearedNotOverwritten) {
  storeCredential(sim.accessToken());
  view->setImage(platform::Image::named("no_snap"));
  view->setTag(view->tag() + 1);
  load();
  EXPECT_FALSE(view->image());
  EXPECT_EQ(view->backgroundColor(), platform::Color::clear());
}

TEST_F(EventThumbnailTest, WithoutACredentialTheCloudRefusesAndTheViewIsCleared) {
  load();
  EXPECT_FALSE(view->image());
  EXPECT_EQ(view->backgroundColor(), platform::Color::clear());
}

TEST_F(EventThumbnailTest, AnEventWithoutAnIdentifierLoadsNothingAndStillCompletes) {
  storeCredential(sim.accessToken());
  event->setEventID(std::nullopt);
  load();
  EXPECT_FALSE(view->image());
  EXPECT_EQ(sim.requestCount(), 0u);
}

}  // namespace
}  // namespace dk::test
