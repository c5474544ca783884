// The server's own view of one HTTP exchange, free of any networking library: what the
// connection read (HttpRequest) and what it is to do about it (HttpReply).
//
// Plain values; not shared between threads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dk::cloudsim::detail {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// Case-insensitive look-up in a header list; empty when absent.
std::string findHeader(const HeaderList& headers, std::string_view name);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

struct HttpRequest {
  std::string method;
  std::string target;
  std::string path;
  std::string query;  // raw, without "?"
  HeaderList headers;
  std::string body;
  bool tls = false;
  bool upgrade = false;  // asks to switch to WebSocket
  uint64_t connection = 0;  // which connection it came on (1, 2, ... per server)

  std::string header(std::string_view name) const { return findHeader(headers, name); }
};

struct HttpReply {
  enum class Disposition { Send, Drop, Upgrade };

  int status = 200;
  HeaderList headers;
  std::string body;
  // A body made on the fly instead of `body`, for large downloads: streamedSize bytes, written
  // piecewise by fill(offset, out, count). Must not touch shared state.
  uint64_t streamedSize = 0;
  std::function<void(uint64_t offset, char* out, size_t count)> fill;
  // Slow work (encoding a video) that makes the real reply, run after the world's lock is let go
  // so that other requests are not held up behind it. Must not touch the world.
  std::function<HttpReply()> deferred;

  Disposition disposition = Disposition::Send;
  double delaySeconds = 0;
  int holdTag = 0;  // > 0: parked until that tag is released
  bool closeAfter = false;

  void setHeader(std::string name, std::string value);
  std::string header(std::string_view name) const { return findHeader(headers, name); }
  uint64_t bodySize() const { return fill ? streamedSize : body.size(); }
};

}  // namespace dk::cloudsim::detail
