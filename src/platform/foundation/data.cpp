#include "platform/foundation/data.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace dk::platform {

namespace fs = std::filesystem;

namespace {
ErrorPtr fileWriteError(const std::string& path, const std::error_code& ec) {
  return std::make_shared<const Error>(std::string(kCocoaErrorDomain), 512,
                                       "The file \"" + fs::path(path).filename().string() +
                                           "\" couldn’t be saved: " + ec.message() + ".");
}
}  // namespace

Data::Data(std::string bytes, std::string mimeType)
    : bytes_(std::move(bytes)), mimeType_(std::move(mimeType)) {
  length_ = bytes_->size();
}

std::shared_ptr<Data> Data::withContentsOfFileAtPath(std::string path, std::string mimeType, bool ownsFile) {
  std::shared_ptr<Data> data(new Data);
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  data->length_ = ec ? 0 : static_cast<size_t>(size);
  data->path_ = std::move(path);
  data->ownsFile_ = ownsFile;
  data->mimeType_ = std::move(mimeType);
  return data;
}

Data::~Data() {
  if (ownsFile_ && path_) {
    std::error_code ec;
    fs::remove(*path_, ec);
  }
}

std::optional<std::string> Data::filePath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return path_;
}

const std::string& Data::bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!bytes_) {
    std::ifstream in(*path_, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    bytes_ = out.str();
  }
  return *bytes_;
}

ErrorPtr Data::writeToFile(const std::string& path, bool atomically) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::error_code ec;
  if (path_ && *path_ == path) return nullptr;
  if (path_ && ownsFile_ && !bytes_) {
    // Our own temporary file: move it into place instead of copying a possibly large body.
    fs::rename(*path_, path, ec);
    if (!ec) {
      path_ = path;
      ownsFile_ = false;
      return nullptr;
    }
    ec.clear();  // another file system: fall back to a copy
  }
  const std::string target = atomically ? path + ".dk-tmp" : path;
  if (path_ && !bytes_) {
    fs::copy_file(*path_, target, fs::copy_options::overwrite_existing, ec);
    if (ec) return fileWriteError(path, ec);
  } else {
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    if (!out) return fileWriteError(path, std::make_error_code(std::errc::permission_denied));
    out.write(bytes_->data(), static_cast<std::streamsize>(bytes_->size()));
    out.close();
    if (!out) return fileWriteError(path, std::make_error_code(std::errc::io_error));
  }
  if (atomically) {
    fs::rename(target, path, ec);
    if (ec) {
      fs::remove(target, ec);
      return fileWriteError(path, std::make_error_code(std::errc::io_error));
    }
  }
  return nullptr;
}

std::string Data::description() const {
  const std::string& b = bytes();
  static const char* hex = "0123456789abcdef";
  std::string out = "{length = " + std::to_string(b.size()) + ", bytes = 0x";
  const size_t shown = std::min<size_t>(b.size(), 24);
  for (size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(b[i]);
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  if (shown < b.size()) out += " ... ";
  out += "}";
  return out;
}

bool Data::isEqual(const Object& other) const {
  auto* d = dynamic_cast<const Data*>(&other);
  return d && (d == this || (d->length() == length() && d->bytes() == bytes()));
}

}  // namespace dk::platform
