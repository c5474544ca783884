// Clip downloads against the local cloud, into the documents folder and the photo album, and the
// album saving on its own.
#include "services/kl_download_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <vector>

#include "foundation/data_handler.h"
#include "network/executor_fixture.h"
#include "platform/foundation/app_directories.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/user_defaults.h"
#include "platform/media/images/photo_library.h"
#include "services/kl_camera_roll_album_manager.h"
#include "cloud-sim/media.h"
#include "support/manual_clock.h"
#include "support/temp_directory.h"

namespace dk::test {
namespace {

using cloudsim::FaultRule;
using platform::MainRunLoop;
namespace fs = std::filesystem;

class RecordingDelegate : public KLDownloadManagerDelegate {
 public:
  bool respondsToSelector(std::string_view selector) const override {
    return selector == "downloadProgressUpdated:forEvent:" || selector == "errorWithInfo:";
  }
  void downloadProgressUpdated(float progress, const KLEventPtr& event) override {
    onMain = onMain && platform::isMainThread();
    progresses.push_back(progress);
    events.push_back(event);
  }
  void errorWithInfo(const std::string& info) override { errors.push_back(info); }

  std::vector<float> progresses;
  std::vector<KLEventPtr> events;
  std::vector<std::string> errors;
  bool onMain = true;
};

// Counts the posts of one notification name (posted on the photo library's queue).
struct PostCount {
  explicit PostCount(const std::string& name)
      : token(platform::NotificationCenter::defaultCenter().addObserver(
            name, [this](const platform::Notification&) { count++; })) {}
  std::atomic<int> count{0};
  std::shared_ptr<const void> token;
};

class DownloadTest : public ExecutorTest {
 protected:
  void SetUp() override {
    ExecutorTest::SetUp();
    home = std::make_unique<TemporaryHome>();
    platform::PhotoLibrary::setRootDirectory(home->path() / "Photos");
    DataHandler::resetForTesting();
    storeCredential(sim.accessToken());
    downloads->setRequestManager(manager);
    downloads->setDelegate(delegate);
    // The screen asks for access before it downloads.
    platform::PhotoLibrary::sharedPhotoLibrary()->requestAuthorization(nullptr);
    sim.updateWorld([](cloudsim::World& w) {
      w.events.front().eventId = 42;  // the oldest event: identifiers stay ascending
      w.events.front().clipBytes = 256 * 1024;
    });
  }
  void TearDown() override {
    ExecutorTest::TearDown();
    platform::PhotoLibrary::setRootDirectory({});
    DataHandler::resetForTesting();
    home.reset();
  }
  KLEventPtr event42() {
    auto event = std::make_shared<KLEventResponse>();
    event->setEventID(42);
    auto urls = std::make_shared<KLEventURLResponse>();
    urls->setMp4Https(sim.baseUrl() + "/media/clips/42.mp4");
    event->setUrls(urls);
    return event;
  }
  std::vector<platform::PhotoAsset> albumAssets(const std::string& title) {
    auto library = platform::PhotoLibrary::sharedPhotoLibrary();
    auto albums = library->fetchAlbumsWithTitle(title);
    return albums.empty() ? std::vector<platform::PhotoAsset>{} : library->fetchAssetsInAlbum(albums.front());
  }
  static std::string fileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::unique_ptr<TemporaryHome> home;
  std::shared_ptr<KLDownloadManager> downloads = std::make_shared<KLDownloadManager>();
  std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(DownloadTest, AClipDownloadsWithProgressIntoTheDocumentsFolderAndTheTimelineAlbum) {
  PostCount saved(kVideoSavedToPhotoAlbumNotification);
  KLEventPtr event = event42();
  EXPECT_FALSE(KLDownloadManager::isVideoDownloadedForEvent(event));
  downloads->downloadEvent(event);
  EXPECT_GT(event->downloadProgress().value_or(0), 0.0);  // downloading from the start
  ASSERT_TRUE(MainRunLoop::runUntilIdle());

  // Progress: first 0 (the start marker narrowed to a float), rising, ending at 1.
  ASSERT_GE(delegate->progresses.size(), 2u);
  EXPECT_EQ(delegate->progresses.front(), 0.0f);
  EXPECT_FLOAT_EQ(delegate->progresses.back(), 1.0f);
  EXPECT_TRUE(std::is_sorted(delegate->progresses.begin(), delegate->progresses.end()));
  EXPECT_EQ(delegate->events.back(), event);
  EXPECT_TRUE(delegate->onMain);
  EXPECT_TRUE(delegate->errors.empty());
  EXPECT_DOUBLE_EQ(event->downloadProgress().value_or(0), 1.0);

  // The clip in the documents folder, byte for byte what the cloud served.
  const fs::path file = platform::AppDirectories::documents() / "42.mp4";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_EQ(KLDownloadManager::getURLForEvent(event), file);
  EXPECT_EQ(fs::file_size(file), 256u * 1024u);
  auto served = sim.requestsTo("/media/clips/42.mp4");
  ASSERT_EQ(served.size(), 1u);
  EXPECT_EQ(served[0].header("Authorization"), "Bearer " + sim.accessToken());

  // In the album, created on the way; then the flag.
  auto assets = albumAssets("Timeline");
  ASSERT_EQ(assets.size(), 1u);
  EXPECT_EQ(fileBytes(assets[0].file), fileBytes(file));
  EXPECT_EQ(saved.count, 1);
  EXPECT_EQ(platform::UserDefaults::standard()->stringForKey("Event-42.mp4"), "Downloaded");
  EXPECT_TRUE(KLDownloadManager::isVideoDownloadedForEvent(event));
  for (const auto& entry : fs::directory_iterator(platform::AppDirectories::documents())) {
    EXPECT_EQ(entry.path().filename(), "42.mp4");  // no temporary file left beside it
  }
}

TEST_F(DownloadTest, DownloadingTwiceKeepsOneFlagAndTheHostsAlbumName) {
  DataHandler::setAlbumName("Porch clips");
  KLEventPtr event = event42();
  downloads->downloadEvent(event);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  downloads->downloadEvent(event);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  auto defaults = platform::UserDefaults::standard()->dictionaryRepresentation();
  EXPECT_EQ(defaults.count("Event-42.mp4"), 1u);
  EXPECT_EQ(defaults.size(), 1u);
  EXPECT_EQ(albumAssets("Porch clips").size(), 2u);
  EXPECT_TRUE(albumAssets("Timeline").empty());
}

TEST_F(DownloadTest, AnEventWithoutClipAddressSendsNothing) {
  KLEventPtr event = event42();
  event->urls()->setMp4Https(std::nullopt);
  downloads->downloadEvent(event);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(sim.requestCount(), 0u);
  ASSERT_EQ(delegate->errors.size(), 1u);
  EXPECT_EQ(delegate->errors[0], platform::Bundle::main()->localizedString("DownloadEventNoRecordingAttached",
                                                                            "DownloadEventNoRecordingAttached"));
  EXPECT_EQ(event->downloadProgress(), 0.0);
  EXPECT_TRUE(delegate->progresses.empty());
}

TEST_F(DownloadTest, AFailedDownloadReportsAndWritesNothing) {
  ManualClockScope clock;
  FaultRule refused = FaultRule::failWith("/media/clips/42.mp4", 404);
  refused.times = -1;
  sim.addFault(refused);
  KLEventPtr event = event42();
  downloads->downloadEvent(event);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  // A clip the cloud says is not there is not asked for again.
  EXPECT_EQ(sim.requestsTo("/media/clips/42.mp4").size(), 1u);
  ASSERT_EQ(delegate->errors.size(), 1u);
  EXPECT_EQ(delegate->errors[0], platform::Bundle::main()->localizedString("AnIssueOccured", "AnIssueOccured"));
  EXPECT_EQ(event->downloadProgress(), 0.0);
  EXPECT_FALSE(fs::exists(platform::AppDirectories::documents() / "42.mp4"));
  EXPECT_FALSE(KLDownloadManager::isVideoDownloadedForEvent(event));
}

TEST_F(DownloadTest, WhatIsNotACompleteMp4VideoIsReportedAndKeptNowhere) {
  PostCount saved(kVideoSavedToPhotoAlbumNotification);
  const cloudsim::detail::Mp4Clip real(256 * 1024, 30, 42);
  std::string clip(real.size(), '\0');
  real.fill(0, clip.data(), clip.size());
  std::string junk(64 * 1024, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 131 % 251);
  struct Reply {
    const char* what;
    std::string contentType, body;
  };
  const std::vector<Reply> replies = {
      {"an HTML page", "text/html", "<html><body>Sign in to continue</body></html>"},
      {"a clip cut short", "video/mp4", clip.substr(0, clip.size() / 2)},
      {"junk", "video/mp4", junk},
  };
  for (const auto& reply : replies) {
    FaultRule rule = FaultRule::failWith("/media/clips/42.mp4", 200, reply.body);
    rule.contentType = reply.contentType;
    sim.addFault(rule);
    delegate->errors.clear();
    KLEventPtr event = event42();
    downloads->downloadEvent(event);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(delegate->errors.size(), 1u) << reply.what;
    EXPECT_EQ(delegate->errors[0], platform::Bundle::main()->localizedString("AnIssueOccured", "AnIssueOccured"));
    EXPECT_EQ(event->downloadProgress(), 0.0) << reply.what;
    EXPECT_FALSE(KLDownloadManager::isVideoDownloadedForEvent(event)) << reply.what;
    EXPECT_TRUE(fs::is_empty(platform::AppDirectories::documents())) << reply.what;
  }
  EXPECT_TRUE(albumAssets("Timeline").empty());
  EXPECT_EQ(saved.count, 0);

  // A clip larger than any real one is refused as soon as its length is announced.
  sim.updateWorld([](cloudsim::World& w) { w.events.front().clipBytes = 300ull << 20; });
  delegate->errors.clear();
  KLEventPtr event = event42();
  downloads->downloadEvent(event);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(delegate->errors.size(), 1u);
  EXPECT_EQ(sim.requestsTo("/media/clips/42.mp4").size(), replies.size() + 1);
  EXPECT_TRUE(fs::is_empty(platform::AppDirectories::documents()));
  EXPECT_FALSE(KLDownloadManager::isVideoDownloadedForEvent(event));

  // The whole clip, as the cloud makes it, passes.
  sim.updateWorld([](cloudsim::World& w) { w.events.front().clipBytes = 256 * 1024; });
  downloads->downloadEvent(event);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_TRUE(KLDownloadManager::isVideoDownloadedForEvent(event));
  EXPECT_EQ(saved.count, 1);
}

TEST_F(DownloadTest, AnEventWithoutIdentifierCannotNameAFileAndIsRefused) {
  KLEventPtr event = event42();
  event->setEventID(std::nullopt);
  EXPECT_EQ(KLDownloadManager::getURLForEvent(event), std::nullopt);
  downloads->downloadEvent(event);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(sim.requestCount(), 0u);
  EXPECT_EQ(delegate->errors.size(), 1u);
  auto data = std::make_shared<platform::Data>("bytes");
  EXPECT_NE(downloads->saveVideoToDisk(data, event), nullptr);
  EXPECT_TRUE(fs::is_empty(platform::AppDirectories::documents()));
}

TEST_F(DownloadTest, AnAlbumRefusalKeepsTheFileButWritesNoFlag) {
  platform::PhotoLibrary::setRootDirectory(home->path() / "Other");
  auto library = platform::PhotoLibrary::sharedPhotoLibrary();
  library->setUserAnswer(platform::PhotoAuthorizationStatus::Denied);
  library->requestAuthorization(nullptr);
  PostCount unable(kUnableToSaveVideoToPhotoAlbumNotification);
  KLEventPtr event = event42();
  downloads->downloadEvent(event);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(unable.count, 1);
  EXPECT_TRUE(fs::exists(platform::AppDirectories::documents() / "42.mp4"));
  EXPECT_FALSE(KLDownloadManager::isVideoDownloadedForEvent(event));
}

TEST_F(DownloadTest, AStoredClipIsNotDownloadedAgain) {
  KLEventPtr event = event42();
  std::atomic<int> calls{0};
  platform::Value received;
  downloads->saveVideoToDiskForEvent(event, [&](const platform::Value& data, const platform::ErrorPtr& error) {
    calls++;
    received = data;
    EXPECT_EQ(error, nullptr);
  });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(calls, 1);
  auto data = received.objectAs<platform::Data>();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(downloads->saveVideoToDisk(data, event), nullptr);
  downloads->saveVideoToDiskForEvent(event, [&](const platform::Value& again, const platform::ErrorPtr& error) {
    calls++;
    EXPECT_TRUE(again.isNil());
    EXPECT_EQ(error, nullptr);
  });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(sim.requestsTo("/media/clips/42.mp4").size(), 1u);
}

TEST_F(DownloadTest, ImagesGoToTheAlbumAndAMissingImageIsReportedWithoutTouchingIt) {
  PostCount notCaptured(kImageNotCapturedNotification);
  std::atomic<int> successes{0}, errors{0};
  KLCameraRollAlbumManager::addToCameraRollImage(nullptr, [&] { successes++; }, [&] { errors++; });
  EXPECT_EQ(errors, 1);  // at once
  EXPECT_EQ(notCaptured.count, 1);
  EXPECT_FALSE(fs::exists(home->path() / "Photos"));

  auto image = platform::Image::withColor(platform::Color::rgba(1, 0.5, 0, 1), {16, 9});
  KLCameraRollAlbumManager::addToCameraRollImage(image, [&] { successes++; }, [&] { errors++; });
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(successes, 1);
  EXPECT_EQ(notCaptured.count, 1);
  ASSERT_EQ(albumAssets("Timeline").size(), 1u);

  KLCameraRollAlbumManager::addToCameraRollVideoFromURL(std::nullopt, [&] { successes++; }, [&] { errors++; });
  EXPECT_EQ(errors, 2);
}

}  // namespace
}  // namespace dk::test
