#include "platform/net/test_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace dk::test {

namespace {
bool sendAll(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}
}  // namespace

TestHttpServer::TestHttpServer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listenFd_, 128);
  socklen_t length = sizeof addr;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &length);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { acceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  stopping_ = true;
  ::shutdown(listenFd_, SHUT_RDWR);
  ::close(listenFd_);
  acceptThread_.join();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int fd : connections_) ::shutdown(fd, SHUT_RDWR);
  }
  heldCv_.notify_all();
  for (auto& worker : workers_) worker.join();
}

void TestHttpServer::route(const std::string& path, Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(handler);
}

void TestHttpServer::route(const std::string& path, CannedResponse response) {
  route(path, [response](const RecordedRequest&) { return response; });
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t TestHttpServer::requestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

size_t TestHttpServer::requestCount(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(std::count_if(requests_.begin(), requests_.end(),
                                           [&](const RecordedRequest& r) { return r.path == path; }));
}

size_t TestHttpServer::heldCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

void TestHttpServer::releaseHeld() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++releaseGeneration_;
  }
  heldCv_.notify_all();
}

void TestHttpServer::dripOne() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++dripsAllowed_;
  }
  heldCv_.notify_all();
}

size_t TestHttpServer::bytesDripped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dripped_;
}

void TestHttpServer::acceptLoop() {
  while (!stopping_) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_) return;
      continue;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    accepted_++;
    const int open = ++open_;
    int seen = maxOpen_.load();
    while (open > seen && !maxOpen_.compare_exchange_weak(seen, open)) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.push_back(fd);
    workers_.emplace_back([this, fd] { serve(fd); });
  }
}

bool TestHttpServer::readRequest(int fd, std::string& buffer, RecordedRequest& request) {
  size_t headerEnd;
  char chunk[65536];
  while ((headerEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  const std::string head = buffer.substr(0, headerEnd);
  buffer.erase(0, headerEnd + 4);
  size_t lineEnd = head.find("\r\n");
  const std::string requestLine = head.substr(0, lineEnd);
  const auto s1 = requestLine.find(' ');
  const auto s2 = requestLine.find(' ', s1 + 1);
  request.method = requestLine.substr(0, s1);
  request.target = requestLine.substr(s1 + 1, s2 - s1 - 1);
  const auto q = request.target.find('?');
  request.path = request.target.substr(0, q);
  request.query = q == std::string::npos ? std::string() : request.target.substr(q + 1);
  size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
  while (pos < head.size()) {
    size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(pos, end - pos);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
      std::string value = line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      request.headers[line.substr(0, colon)] = value;
    }
    pos = end + 2;
  }
  size_t contentLength = 0;
  if (auto it = request.headers.find("Content-Length"); it != request.headers.end()) {
    contentLength = std::stoul(it->second);
  }
  while (buffer.size() < contentLength) {
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
  request.body = buffer.substr(0, contentLength);
  buffer.erase(0, contentLength);
  return true;
}

void TestHttpServer::serve(int fd) {
  std::string buffer;
  for (;;) {
    RecordedRequest request;
    if (!readRequest(fd, buffer, request)) break;
    Handler handler;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
      if (auto it = routes_.find(request.path); it != routes_.end()) handler = it->second;
    }
    CannedResponse response;
    if (handler) {
      response = handler(request);
    } else {
      response = CannedResponse::json("{\"message\":\"not found\"}", 404);
    }
    if (response.hold) {
      std::unique_lock<std::mutex> lock(mutex_);
      ++held_;
      const uint64_t generation = releaseGeneration_;
      heldCv_.wait(lock, [&] { return stopping_ || releaseGeneration_ != generation; });
      --held_;
      if (stopping_) break;
    }
    if (response.drop) break;
    std::string out = "HTTP/1.1 " + std::to_string(response.status) + " " + reason(response.status) + "\r\n";
    for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
    if (response.omitContentLength) {
      out += "Connection: close\r\n\r\n";
    } else {
      out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n\r\n";
    }
    if (!sendAll(fd, out)) break;
    if (response.drip) {
      uint64_t sent = 0;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        sent = dripsAllowed_;  // only drips asked for after the request arrived count
      }
      for (char byte : response.body) {
        std::unique_lock<std::mutex> lock(mutex_);
        heldCv_.wait(lock, [&] { return stopping_ || dripsAllowed_ > sent; });
        if (stopping_) break;
        ++sent;
        lock.unlock();
        if (!sendAll(fd, std::string(1, byte))) break;
        std::lock_guard<std::mutex> relock(mutex_);
        ++dripped_;
      }
      break;
    }
    if (request.method != "HEAD" && !sendAll(fd, response.body)) break;
    if (response.omitContentLength) break;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase(connections_, fd);
  }
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
  open_--;
}

}  // namespace dk::test
