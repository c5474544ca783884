#include "services/kl_camera_roll_album_manager.h"

#include <memory>

#include "foundation/data_handler.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/images/photo_library.h"

namespace dk {

using platform::PhotoLibrary;
using platform::PhotoLibraryChangeRequest;

namespace {

using MakeAsset = std::function<std::string(PhotoLibraryChangeRequest& request)>;

// Adds a new asset to the album, creating the album first when it is missing; `done` receives
// whether everything succeeded, on the library's queue.
void saveIntoAlbum(MakeAsset makeAsset, std::function<void(bool)> done) {
  auto library = PhotoLibrary::sharedPhotoLibrary();
  const std::string title = KLCameraRollAlbumManager::albumName();
  auto addAsset = [library, makeAsset, done](const std::string& album) {
    library->performChanges(
        [makeAsset, album](PhotoLibraryChangeRequest& request) {
          const std::string asset = makeAsset(request);
          request.addAssets(album, {asset});
        },
        [done](bool success, const platform::ErrorPtr&) { done(success); });
  };
  auto albums = library->fetchAlbumsWithTitle(title);
  if (!albums.empty()) {
    addAsset(albums.front().localIdentifier);
    return;
  }
  // The asset change needs the album, so it waits for the album change to have succeeded.
  auto placeholder = std::make_shared<std::string>();
  library->performChanges(
      [title, placeholder](PhotoLibraryChangeRequest& request) {
        *placeholder = request.creationRequestForAssetCollectionWithTitle(title);
      },
      [library, placeholder, addAsset, done](bool success, const platform::ErrorPtr&) {
        auto album = success ? library->fetchAlbumWithLocalIdentifier(*placeholder) : std::nullopt;
        if (!album) {
          done(false);
          return;
        }
        addAsset(album->localIdentifier);
      });
}

void post(const char* name) { platform::NotificationCenter::defaultCenter().post(name); }

}  // namespace

std::string KLCameraRollAlbumManager::albumName() {
  auto name = DataHandler::getAlbumName();
  return name && !name->empty() ? *name : std::string("Timeline");
}

void KLCameraRollAlbumManager::addToCameraRollVideoFromURL(const std::optional<std::filesystem::path>& url,
                                                           Block successBlock, Block errorBlock) {
  if (!url || url->empty()) {
    if (errorBlock) errorBlock();
    return;
  }
  const std::filesystem::path file = *url;
  saveIntoAlbum([file](PhotoLibraryChangeRequest& request) { return request.creationRequestForAssetFromVideoAtFileURL(file); },
                [successBlock, errorBlock](bool success) {
                  if (success) {
                    post(kVideoSavedToPhotoAlbumNotification);
                    if (successBlock) successBlock();
                  } else {
                    post(kUnableToSaveVideoToPhotoAlbumNotification);
                    if (errorBlock) errorBlock();
                  }
                });
}

void KLCameraRollAlbumManager::addToCameraRollImage(const platform::ImagePtr& image, Block successBlock,
                                                    Block errorBlock) {
  if (!image) {
    post(kImageNotCapturedNotification);
    if (errorBlock) errorBlock();
    return;
  }
  saveIntoAlbum([image](PhotoLibraryChangeRequest& request) { return request.creationRequestForAssetFromImage(image); },
                [successBlock, errorBlock](bool success) {
                  if (success) {
                    if (successBlock) successBlock();
                  } else {
                    post(kImageNotCapturedNotification);
                    if (errorBlock) errorBlock();
                  }
                });
}

}  // namespace dk
