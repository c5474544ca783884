// HttpHeaderBlock: the header block of one HTTP reply, read line by line as the transport hands
// the lines over (status line, fields, the blank line that ends it; interim and redirect replies
// come first, each starting over). Pure: no I/O, no clock, the bounds passed in.
//
// Bounds: a reply that announces a body over `maxBodyBytes` is refused before a byte of it
// arrives (a redirect's own body is never read, so its length is not held against it). A status
// that is not three digits reads as 0; a Content-Length that is not a plain number is unknown
// (-1), one too large for any number is over every bound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"

namespace dk::platform {

struct HttpHeaderLine {
  enum class Kind { Status, Field, Other };
  Kind kind = Kind::Other;
  int status = 0;      // of a status line
  std::string name;    // of a field: canonical ("Content-Type" for "content-type")
  std::string value;   // of a field: without surrounding blanks
};

class HttpHeaderBlock {
 public:
  // One line as the transport gives it (line ending included or not).
  static HttpHeaderLine parseLine(std::string_view line);

  // Takes a parsed line into the block. False when the reply must be refused: it announces a
  // body over `maxBodyBytes`.
  bool add(HttpHeaderLine line, int64_t maxBodyBytes);

  // nullptr until the first status line.
  const std::shared_ptr<HttpResponseInfo>& response() const { return response_; }
  int status() const { return status_; }
  // The announced body length of the current reply, -1 when unknown.
  int64_t expectedLength() const { return expected_; }
  bool isRedirect() const { return status_ >= 300 && status_ < 400; }

 private:
  std::shared_ptr<HttpResponseInfo> response_;
  int status_ = 0;
  int64_t expected_ = -1;
};

}  // namespace dk::platform
