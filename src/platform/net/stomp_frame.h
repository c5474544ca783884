// STOMP 1.2 frames: the value type, its wire form, and an incremental parser that takes the
// bytes of WebSocket messages as they come (several frames in one message, one frame split
// across messages, end-of-lines between frames as heart-beats).
//
// The parser bounds what a peer can make it hold: a frame (headers and body) larger than its
// limit, a content-length past it, or a malformed header line is an error, after which the
// parser refuses further input. Plain values; a parser is used from one thread at a time.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dk::platform {

struct StompFrame {
  std::string command;
  // In wire order; repeated names are kept, and the first one counts.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  std::optional<std::string> header(std::string_view name) const;
  void addHeader(std::string name, std::string value) { headers.emplace_back(std::move(name), std::move(value)); }

  // The frame on the wire: header values escaped (not for CONNECT and CONNECTED, as STOMP 1.2
  // wants), a content-length for a non-empty body unless one is given, and the closing NUL.
  std::string serialize() const;
};

class StompFrameParser {
 public:
  static constexpr size_t kDefaultMaxFrameSize = size_t{1} << 20;  // 1 MiB

  explicit StompFrameParser(size_t maxFrameSize = kDefaultMaxFrameSize) : maxFrameSize_(maxFrameSize) {}

  // Takes more bytes and appends every frame they complete to `frames`. Returns false once the
  // input is bad (see error()); frames completed before the fault are still appended.
  bool feed(std::string_view bytes, std::vector<StompFrame>& frames);

  bool failed() const { return !error_.empty(); }
  // What was wrong ("frame exceeds 1048576 bytes", "malformed header line", ...); empty while fine.
  const std::string& error() const { return error_; }
  // End-of-lines seen between frames (the peer's heart-beats).
  size_t heartbeats() const { return heartbeats_; }
  // Bytes held for a frame not complete yet.
  size_t buffered() const { return buffer_.size() - start_; }

 private:
  enum class Step { Frame, NeedMore, Fail };
  // A frame whose headers are read and whose body is still arriving.
  struct Pending {
    StompFrame frame;
    size_t bodyStart = 0;
    size_t bodyScanned = 0;  // searched for the NUL up to here
    std::optional<size_t> contentLength;
  };
  Step parseOne(StompFrame& frame);
  bool fail(std::string message);

  size_t maxFrameSize_;
  std::string buffer_;
  size_t start_ = 0;  // first byte not consumed yet
  size_t scanned_ = 0;  // bytes after start_ already searched for the end of the headers
  size_t heartbeats_ = 0;
  std::optional<Pending> pending_;
  std::string error_;
};

}  // namespace dk::platform
