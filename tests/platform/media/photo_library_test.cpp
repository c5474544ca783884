#include "platform/media/images/photo_library.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "platform/dispatch/run_loop.h"
#include "platform/media/images/uuid_string.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

namespace fs = std::filesystem;

class PhotoLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PhotoLibrary::setRootDirectory(root.path() / "Photos");
    library = PhotoLibrary::sharedPhotoLibrary();
  }
  void TearDown() override {
    MainRunLoop::runUntilIdle();
    PhotoLibrary::setRootDirectory({});
  }

  PhotoAuthorizationStatus authorize(PhotoAuthorizationStatus answer) {
    library->setUserAnswer(answer);
    std::atomic<int> status{-1};
    std::atomic<bool> onMain{true};
    library->requestAuthorization([&](PhotoAuthorizationStatus s) {
      onMain = isMainThread();
      status = static_cast<int>(s);
    });
    EXPECT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_FALSE(onMain);  // never answered on the main thread
    return static_cast<PhotoAuthorizationStatus>(status.load());
  }
  // Runs one change and waits for its completion.
  std::pair<bool, ErrorPtr> change(std::function<void(PhotoLibraryChangeRequest&)> block) {
    std::pair<bool, ErrorPtr> outcome{false, nullptr};
    std::atomic<bool> onLibraryQueue{false};
    library->performChanges(std::move(block), [&](bool success, const ErrorPtr& error) {
      onLibraryQueue = library->queue()->isCurrent();
      outcome = {success, error};
    });
    EXPECT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_TRUE(onLibraryQueue);
    return outcome;
  }
  fs::path writeClip(const std::string& bytes) {
    fs::path file = root.path() / "clip.mp4";
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

  dk::test::TemporaryDirectory root;
  std::shared_ptr<PhotoLibrary> library;
};

TEST_F(PhotoLibraryTest, AuthorisationIsAskedOnceAndAnsweredOffTheMainThread) {
  EXPECT_EQ(library->authorizationStatus(), PhotoAuthorizationStatus::NotDetermined);
  EXPECT_EQ(authorize(PhotoAuthorizationStatus::Denied), PhotoAuthorizationStatus::Denied);
  EXPECT_EQ(library->authorizationStatus(), PhotoAuthorizationStatus::Denied);
  // The question is not asked again: a later answer changes nothing.
  EXPECT_EQ(authorize(PhotoAuthorizationStatus::Authorized), PhotoAuthorizationStatus::Denied);

  auto [saved, error] = change([](PhotoLibraryChangeRequest& r) { r.creationRequestForAssetCollectionWithTitle("Timeline"); });
  EXPECT_FALSE(saved);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->domain(), kPhotosErrorDomain);
  EXPECT_FALSE(fs::exists(library->root() / "Timeline"));
}

TEST_F(PhotoLibraryTest, AnAlbumIsAFolderAndAddedAssetsAreItsFiles) {
  ASSERT_EQ(authorize(PhotoAuthorizationStatus::Authorized), PhotoAuthorizationStatus::Authorized);
  EXPECT_TRUE(library->fetchAlbumsWithTitle("Timeline").empty());
  std::string placeholder;
  auto created = change([&](PhotoLibraryChangeRequest& r) { placeholder = r.creationRequestForAssetCollectionWithTitle("Timeline"); });
  ASSERT_TRUE(created.first);
  auto album = library->fetchAlbumWithLocalIdentifier(placeholder);
  ASSERT_TRUE(album.has_value());
  EXPECT_EQ(album->title, "Timeline");
  EXPECT_TRUE(fs::is_directory(library->root() / "Timeline"));
  ASSERT_EQ(library->fetchAlbumsWithTitle("Timeline").size(), 1u);

  const fs::path clip = writeClip("not really a movie");
  auto added = change([&](PhotoLibraryChangeRequest& r) {
    auto asset = r.creationRequestForAssetFromVideoAtFileURL(clip);
    r.addAssets(album->localIdentifier, {asset});
  });
  ASSERT_TRUE(added.first);
  auto image = Image::withColor(Color::rgba(0.2, 0.4, 0.6, 1), {8, 8});
  ASSERT_TRUE(change([&](PhotoLibraryChangeRequest& r) {
                r.addAssets(album->localIdentifier, {r.creationRequestForAssetFromImage(image)});
              }).first);
  auto assets = library->fetchAssetsInAlbum(*album);
  ASSERT_EQ(assets.size(), 2u);
  int videos = 0;
  for (const auto& asset : assets) {
    if (asset.file.extension() == ".mp4") {
      videos++;
      std::ifstream in(asset.file, std::ios::binary);
      std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      EXPECT_EQ(bytes, "not really a movie");
    } else {
      EXPECT_NE(Image::fromFile(asset.file.string()), nullptr);
    }
  }
  EXPECT_EQ(videos, 1);
}

TEST_F(PhotoLibraryTest, AFailingChangeLeavesNothingBehind) {
  ASSERT_EQ(authorize(PhotoAuthorizationStatus::Authorized), PhotoAuthorizationStatus::Authorized);
  // An album title that would leave the library's folder is refused.
  for (const char* title : {"../Escaped", "a/b", "..", ".hidden", ""}) {
    auto [ok, error] = change([&](PhotoLibraryChangeRequest& r) { r.creationRequestForAssetCollectionWithTitle(title); });
    EXPECT_FALSE(ok) << title;
    EXPECT_NE(error, nullptr) << title;
  }
  EXPECT_FALSE(fs::exists(root.path() / "Escaped"));
  EXPECT_TRUE(library->fetchAlbumsWithTitle("../Escaped").empty());

  // The album would be made, but the video is missing: neither stays.
  auto [ok, error] = change([&](PhotoLibraryChangeRequest& r) {
    auto album = r.creationRequestForAssetCollectionWithTitle("Timeline");
    r.addAssets(album, {r.creationRequestForAssetFromVideoAtFileURL(root.path() / "missing.mp4")});
  });
  EXPECT_FALSE(ok);
  EXPECT_NE(error, nullptr);
  EXPECT_TRUE(library->fetchAlbumsWithTitle("Timeline").empty());

  // Adding to an album that does not exist fails too, and the new asset goes with it.
  const fs::path clip = writeClip("x");
  EXPECT_FALSE(change([&](PhotoLibraryChangeRequest& r) {
                 r.addAssets("Nowhere", {r.creationRequestForAssetFromVideoAtFileURL(clip)});
               }).first);
  EXPECT_TRUE(fs::is_empty(library->root() / ".assets"));
}

TEST(UUIDStringTest, IdentifiersAreVersionFourAndDistinct) {
  const std::string a = makeUUIDString();
  const std::string b = makeUUIDString();
  ASSERT_EQ(a.size(), 36u);
  EXPECT_EQ(a[8], '-');
  EXPECT_EQ(a[14], '4');
  EXPECT_NE(std::string("89AB").find(a[19]), std::string::npos);
  EXPECT_NE(a, b);
}

}  // namespace
}  // namespace dk::platform
