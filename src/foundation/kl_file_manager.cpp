#include "foundation/kl_file_manager.h"

#include <system_error>

#include "platform/foundation/app_directories.h"

namespace dk {
namespace {

// The platform's file error codes.
constexpr int64_t kFileNoSuchFileError = 4;
constexpr int64_t kFileWriteUnknownError = 512;
constexpr int64_t kFileWriteInvalidFileNameError = 514;

platform::ErrorPtr fileError(int64_t code, const std::string& text) {
  return platform::Error::make(std::string(platform::kCocoaErrorDomain), code, text);
}

platform::ErrorPtr invalidName(std::string_view name) {
  return fileError(kFileWriteInvalidFileNameError,
                   "The file name \u201c" + std::string(name) + "\u201d is invalid.");
}

}  // namespace

bool KLFileManager::isSafeFileName(std::string_view fileName) {
  if (fileName.empty() || fileName == "." || fileName == "..") return false;
  return fileName.find('/') == std::string_view::npos && fileName.find('\0') == std::string_view::npos;
}

std::optional<std::filesystem::path> KLFileManager::URLForFileName(const std::optional<std::string>& fileName) {
  if (!fileName || !isSafeFileName(*fileName)) return std::nullopt;
  return platform::AppDirectories::documents() / *fileName;
}

bool KLFileManager::fileWithNameExists(const std::optional<std::string>& fileName) {
  auto path = URLForFileName(fileName);
  if (!path) return false;
  std::error_code ec;
  return std::filesystem::exists(*path, ec);
}

platform::ErrorPtr KLFileManager::saveDataToDisk(const platform::DataPtr& data,
                                                 const std::optional<std::string>& fileName) {
  if (!fileName) return nullptr;
  auto path = URLForFileName(fileName);
  if (!path) return invalidName(*fileName);
  if (!data) return fileError(kFileWriteUnknownError, "There is no data to write to \u201c" + *fileName + "\u201d.");
  return data->writeToFile(path->string(), true);
}

platform::ErrorPtr KLFileManager::deleteFileWithName(const std::optional<std::string>& fileName) {
  if (!fileName) return nullptr;
  auto path = URLForFileName(fileName);
  if (!path) return invalidName(*fileName);
  std::error_code ec;
  if (!std::filesystem::exists(*path, ec)) return nullptr;
  bool removed = std::filesystem::remove(*path, ec);
  if (!removed && !ec) return nullptr;  // gone meanwhile: nothing left to remove
  if (ec) {
    return fileError(ec == std::errc::no_such_file_or_directory ? kFileNoSuchFileError : kFileWriteUnknownError,
                     "\u201c" + *fileName + "\u201d couldn\u2019t be removed: " + ec.message());
  }
  return nullptr;
}

}  // namespace dk
