// Data: an immutable byte buffer that can travel inside a Value (NSData).
//
// The bytes either live in memory or stay in a file (a finished download), so a large body is
// never read whole unless someone asks for bytes(). Immutable after construction; safe to read
// from any thread. A file-backed Data owns its file only when created with `ownsFile`: the file is
// then removed when the last reference goes, unless it was moved elsewhere with writeToFile().
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/object.h"

namespace dk::platform {

class Data final : public Object {
 public:
  explicit Data(std::string bytes, std::string mimeType = {});
  // Bytes kept in `path`; `size` is taken from the file system.
  static std::shared_ptr<Data> withContentsOfFileAtPath(std::string path, std::string mimeType = {},
                                                        bool ownsFile = false);
  ~Data() override;

  size_t length() const { return length_; }
  // The MIME type the bytes came with ("video/mp4"), or empty.
  const std::string& mimeType() const { return mimeType_; }
  // The file holding the bytes, when file-backed.
  std::optional<std::string> filePath() const;
  // The bytes, read from the file on first use when file-backed (empty when the file is gone).
  const std::string& bytes() const;

  // Writes the bytes to `path`. Atomically means through a temporary file renamed into place. A
  // file-backed Data that owns its file moves it (no copy) and keeps reading from the new place.
  // Returns nullptr or the platform's file error.
  ErrorPtr writeToFile(const std::string& path, bool atomically = true) const;

  std::string className() const override { return "NSData"; }
  // "{length = N, bytes = 0x...}" as the platform prints it (the first bytes only).
  std::string description() const override;
  bool isEqual(const Object& other) const override;

 private:
  Data() = default;
  mutable std::mutex mutex_;
  mutable std::optional<std::string> bytes_;
  mutable std::optional<std::string> path_;
  mutable bool ownsFile_ = false;
  size_t length_ = 0;
  std::string mimeType_;
};

using DataPtr = std::shared_ptr<const Data>;

}  // namespace dk::platform
