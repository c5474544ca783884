// PhotoLibrary: the user's photo albums (what the Photos framework gives). Each album is one
// folder under the library's root, named after the album's title; its assets are the files in
// it. Assets are created from a video file or an image and added to albums by a change request.
//
// Authorisation is asked once: the answer (statuses 0 to 3) is what the user would choose, set
// by the host or a test with setUserAnswer (authorised unless told otherwise), and is delivered
// on the library's own serial queue, never on the main thread. Changes run on that same queue:
// performChanges records the requests made inside its block, applies them together (nothing
// stays behind when one fails) and completes there with (success, error).
//
// One shared library per process (sharedPhotoLibrary), rooted at <home>/Photos unless
// setRootDirectory chose another folder. Every operation is thread-safe.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/foundation/error.h"
#include "platform/graphics/image.h"

namespace dk::platform {

enum class PhotoAuthorizationStatus : int {
  NotDetermined = 0,
  Restricted = 1,
  Denied = 2,
  Authorized = 3,
};

struct PhotoAlbum {
  std::string localIdentifier;
  std::string title;
};

struct PhotoAsset {
  std::string localIdentifier;
  std::filesystem::path file;
};

// The requests made inside one performChanges block. Identifiers handed out are placeholders:
// they name the album or asset once the change succeeded.
class PhotoLibraryChangeRequest {
 public:
  // A new album with this title; returns its placeholder identifier.
  std::string creationRequestForAssetCollectionWithTitle(const std::string& title);
  // A new asset from a video file (copied) or an image (stored as JPEG); returns its placeholder.
  std::string creationRequestForAssetFromVideoAtFileURL(const std::filesystem::path& file);
  std::string creationRequestForAssetFromImage(const ImagePtr& image);
  // Adds assets (placeholders or existing identifiers) to an album (placeholder or existing).
  void addAssets(const std::string& albumIdentifier, const std::vector<std::string>& assetIdentifiers);

  struct Step {
    enum class Kind { CreateAlbum, VideoAsset, ImageAsset, AddAssets } kind;
    std::string identifier;  // the placeholder (or the album for AddAssets)
    std::string title;
    std::filesystem::path file;
    ImagePtr image;
    std::vector<std::string> assets;
  };
  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

class PhotoLibrary : public std::enable_shared_from_this<PhotoLibrary> {
 public:
  using AuthorizationHandler = std::function<void(PhotoAuthorizationStatus status)>;
  using ChangeCompletion = std::function<void(bool success, const ErrorPtr& error)>;

  static std::shared_ptr<PhotoLibrary> sharedPhotoLibrary();
  // The folder the shared library keeps its albums in; empty returns to <home>/Photos. Also
  // forgets the shared library (and its authorisation), so tests start afresh.
  static void setRootDirectory(std::filesystem::path root);

  explicit PhotoLibrary(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }
  const QueuePtr& queue() const { return queue_; }

  PhotoAuthorizationStatus authorizationStatus() const;
  // What the user answers when asked (statuses 1 to 3); asking again answers the stored status.
  void setUserAnswer(PhotoAuthorizationStatus answer);
  // Asks (once) and calls handler with the status on the library's queue.
  void requestAuthorization(AuthorizationHandler handler);

  // Albums whose title equals `title`, in creation order.
  std::vector<PhotoAlbum> fetchAlbumsWithTitle(const std::string& title) const;
  std::optional<PhotoAlbum> fetchAlbumWithLocalIdentifier(const std::string& identifier) const;
  std::vector<PhotoAsset> fetchAssetsInAlbum(const PhotoAlbum& album) const;

  // Runs `changes` on the library's queue, applies what it requested, then calls completion
  // there. Fails without changing anything when access is not authorised or a request cannot be
  // carried out (an album title that is no plain folder name, a missing video file, an unknown
  // album).
  void performChanges(std::function<void(PhotoLibraryChangeRequest& request)> changes, ChangeCompletion completion);

 private:
  ErrorPtr apply(const PhotoLibraryChangeRequest& request);

  const std::filesystem::path root_;
  const QueuePtr queue_;
  mutable std::mutex mutex_;
  PhotoAuthorizationStatus status_ = PhotoAuthorizationStatus::NotDetermined;
  PhotoAuthorizationStatus answer_ = PhotoAuthorizationStatus::Authorized;
};

// The error domain of refused or failed library changes.
inline constexpr char kPhotosErrorDomain[] = "PHPhotosErrorDomain";

}  // namespace dk::platform
