// KLCameraRollAlbumManager: saves a video file or an image into the app's own photo album (the
// album named by DataHandler's album name, "Timeline" when none is set), creating the album when
// it does not exist yet, and announces the outcome with notifications.
//
// Class operations only, no state. The album is created first and the asset added once that
// change succeeded. Callbacks run, and notifications are posted, on the photo library's queue;
// receivers that touch screens move to the main thread themselves.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/graphics/image.h"

namespace dk {

// Posted (no object, no user info) after a video was saved, respectively could not be.
inline constexpr char kVideoSavedToPhotoAlbumNotification[] = "kVideoSavedToPhotoAlbumNotification";
inline constexpr char kUnableToSaveVideoToPhotoAlbumNotification[] = "kUnableToSaveVideoToPhotoAlbumNotification";
// Posted when there was no image to save or it could not be saved.
inline constexpr char kImageNotCapturedNotification[] = "imageNotCaptured";

class KLCameraRollAlbumManager {
 public:
  using Block = std::function<void()>;

  KLCameraRollAlbumManager() = delete;

  // A missing file URL calls error and stops.
  static void addToCameraRollVideoFromURL(const std::optional<std::filesystem::path>& url, Block successBlock,
                                          Block errorBlock);
  // A missing image posts "imageNotCaptured", calls error and leaves the library alone.
  static void addToCameraRollImage(const platform::ImagePtr& image, Block successBlock, Block errorBlock);

  // The album's title.
  static std::string albumName();
};

}  // namespace dk
