#include "platform/media/images/photo_library.h"

#include <algorithm>
#include <system_error>

#include "platform/dispatch/guarded.h"
#include "platform/foundation/app_directories.h"
#include "platform/foundation/file_io.h"
#include "platform/media/images/uuid_string.h"

namespace dk::platform {

namespace fs = std::filesystem;

namespace {

// Where created assets live until (and while) albums refer to them.
constexpr char kAssetStore[] = ".assets";

enum PhotosErrorCode : int64_t {
  kAccessUserDenied = 3311,
  kInvalidRequest = 3300,
  kOperationFailed = 3301,
};

ErrorPtr photosError(int64_t code, std::string text) {
  return Error::make(std::string(kPhotosErrorDomain), code, std::move(text));
}

// An album title is a folder name: no separators, nothing hidden, no "." or "..".
bool isPlainFolderName(const std::string& title) {
  if (title.empty() || title.size() > 255 || title.front() == '.') return false;
  return title.find('/') == std::string::npos && title.find('\0') == std::string::npos;
}

Guarded<fs::path>& configuredRoot() {
  static auto* root = new Guarded<fs::path>();
  return *root;
}

Guarded<std::shared_ptr<PhotoLibrary>>& photoLibrarySlot() {
  static auto* slot = new Guarded<std::shared_ptr<PhotoLibrary>>();
  return *slot;
}

std::mutex& photoLibraryCreation() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

// Copies `from` to `to` through a temporary name, so an album never shows half a file.
bool copyAtomically(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  const fs::path partial = to.string() + ".partial";
  fs::create_hard_link(from, partial, ec);
  if (ec) {
    ec.clear();
    fs::copy_file(from, partial, fs::copy_options::overwrite_existing, ec);
  }
  if (!ec) fs::rename(partial, to, ec);
  if (ec) fs::remove(partial, ec);
  return !ec && fs::is_regular_file(to);
}

}  // namespace

// ---- change requests ----

std::string PhotoLibraryChangeRequest::creationRequestForAssetCollectionWithTitle(const std::string& title) {
  Step step{Step::Kind::CreateAlbum, title, title, {}, nullptr, {}};
  steps_.push_back(step);
  return title;
}

std::string PhotoLibraryChangeRequest::creationRequestForAssetFromVideoAtFileURL(const fs::path& file) {
  Step step{Step::Kind::VideoAsset, makeUUIDString(), {}, file, nullptr, {}};
  steps_.push_back(step);
  return step.identifier;
}

std::string PhotoLibraryChangeRequest::creationRequestForAssetFromImage(const ImagePtr& image) {
  Step step{Step::Kind::ImageAsset, makeUUIDString(), {}, {}, image, {}};
  steps_.push_back(step);
  return step.identifier;
}

void PhotoLibraryChangeRequest::addAssets(const std::string& albumIdentifier,
                                          const std::vector<std::string>& assetIdentifiers) {
  steps_.push_back(Step{Step::Kind::AddAssets, albumIdentifier, {}, {}, nullptr, assetIdentifiers});
}

// ---- the library ----

std::shared_ptr<PhotoLibrary> PhotoLibrary::sharedPhotoLibrary() {
  std::lock_guard<std::mutex> lock(photoLibraryCreation());
  if (auto library = photoLibrarySlot().get()) return library;
  fs::path root = configuredRoot().get();
  if (root.empty()) root = AppDirectories::home() / "Photos";
  auto library = std::make_shared<PhotoLibrary>(root);
  photoLibrarySlot().set(library);
  return library;
}

void PhotoLibrary::setRootDirectory(fs::path root) {
  std::lock_guard<std::mutex> lock(photoLibraryCreation());
  configuredRoot().set(std::move(root));
  photoLibrarySlot().set(nullptr);
}

PhotoLibrary::PhotoLibrary(fs::path root)
    : root_(std::move(root)), queue_(DispatchQueue::createSerial("com.apple.photos.library")) {}

PhotoAuthorizationStatus PhotoLibrary::authorizationStatus() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

void PhotoLibrary::setUserAnswer(PhotoAuthorizationStatus answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answer_ = answer;
}

void PhotoLibrary::requestAuthorization(AuthorizationHandler handler) {
  auto self = shared_from_this();
  queue_->async([self, handler = std::move(handler)] {
    PhotoAuthorizationStatus status;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      if (self->status_ == PhotoAuthorizationStatus::NotDetermined) self->status_ = self->answer_;
      status = self->status_;
    }
    if (handler) handler(status);
  });
}

std::vector<PhotoAlbum> PhotoLibrary::fetchAlbumsWithTitle(const std::string& title) const {
  if (!isPlainFolderName(title)) return {};
  std::error_code ec;
  if (!fs::is_directory(root_ / title, ec)) return {};
  return {PhotoAlbum{title, title}};
}

std::optional<PhotoAlbum> PhotoLibrary::fetchAlbumWithLocalIdentifier(const std::string& identifier) const {
  auto albums = fetchAlbumsWithTitle(identifier);
  if (albums.empty()) return std::nullopt;
  return albums.front();
}

std::vector<PhotoAsset> PhotoLibrary::fetchAssetsInAlbum(const PhotoAlbum& album) const {
  std::vector<PhotoAsset> assets;
  if (!isPlainFolderName(album.localIdentifier)) return assets;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(root_ / album.localIdentifier, ec)) {
    const fs::path& file = entry.path();
    if (!entry.is_regular_file() || file.extension() == ".partial") continue;
    assets.push_back({file.stem().string(), file});
  }
  std::sort(assets.begin(), assets.end(),
            [](const PhotoAsset& a, const PhotoAsset& b) { return a.file.filename() < b.file.filename(); });
  return assets;
}

void PhotoLibrary::performChanges(std::function<void(PhotoLibraryChangeRequest& request)> changes,
                                  ChangeCompletion completion) {
  auto self = shared_from_this();
  queue_->async([self, changes = std::move(changes), completion = std::move(completion)] {
    ErrorPtr error;
    if (self->authorizationStatus() != PhotoAuthorizationStatus::Authorized) {
      error = photosError(kAccessUserDenied, "The user has not granted access to the photo library.");
    } else {
      PhotoLibraryChangeRequest request;
      if (changes) changes(request);
      error = self->apply(request);
    }
    if (completion) completion(error == nullptr, error);
  });
}

ErrorPtr PhotoLibrary::apply(const PhotoLibraryChangeRequest& request) {
  std::vector<fs::path> created;  // removed again when a later step fails
  std::error_code ec;
  auto fail = [&](int64_t code, std::string text) {
    for (auto it = created.rbegin(); it != created.rend(); ++it) fs::remove(*it, ec);
    return photosError(code, std::move(text));
  };
  std::vector<std::pair<std::string, fs::path>> assets;  // identifier, stored file
  for (const auto& step : request.steps()) {
    using Kind = PhotoLibraryChangeRequest::Step::Kind;
    switch (step.kind) {
      case Kind::CreateAlbum: {
        if (!isPlainFolderName(step.title)) return fail(kInvalidRequest, "Invalid album title.");
        const fs::path folder = root_ / step.title;
        if (!fs::is_directory(folder, ec)) {
          if (!fs::create_directories(folder, ec) && !fs::is_directory(folder)) {
            return fail(kOperationFailed, "The album could not be created.");
          }
          created.push_back(folder);
        }
        break;
      }
      case Kind::VideoAsset: {
        if (!fs::is_regular_file(step.file, ec)) return fail(kInvalidRequest, "The video file does not exist.");
        fs::create_directories(root_ / kAssetStore, ec);
        std::string extension = step.file.extension().string();
        if (extension.empty()) extension = ".mp4";
        const fs::path stored = root_ / kAssetStore / (step.identifier + extension);
        if (!copyAtomically(step.file, stored)) return fail(kOperationFailed, "The video could not be stored.");
        created.push_back(stored);
        assets.emplace_back(step.identifier, stored);
        break;
      }
      case Kind::ImageAsset: {
        if (!step.image) return fail(kInvalidRequest, "No image.");
        const fs::path stored = root_ / kAssetStore / (step.identifier + ".jpg");
        const auto bytes = step.image->encodeJPEG(0.9);
        std::string text(bytes.begin(), bytes.end());
        if (bytes.empty() || !writeFileAtomically(stored, text)) {
          return fail(kOperationFailed, "The image could not be stored.");
        }
        created.push_back(stored);
        assets.emplace_back(step.identifier, stored);
        break;
      }
      case Kind::AddAssets: {
        if (!isPlainFolderName(step.identifier) || !fs::is_directory(root_ / step.identifier, ec)) {
          return fail(kInvalidRequest, "No such album.");
        }
        for (const std::string& id : step.assets) {
          auto found = std::find_if(assets.begin(), assets.end(), [&](const auto& a) { return a.first == id; });
          if (found == assets.end()) return fail(kInvalidRequest, "No such asset.");
          const fs::path target = root_ / step.identifier / found->second.filename();
          if (!copyAtomically(found->second, target)) return fail(kOperationFailed, "The asset could not be added.");
          created.push_back(target);
        }
        break;
      }
    }
  }
  return nullptr;
}

}  // namespace dk::platform
