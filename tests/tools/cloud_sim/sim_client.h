// A small HTTP/1.1 client for the simulator's tests: one kept-alive connection (plain or TLS,
// verifying the server against a CA file), reopened when the server closed it. Every operation
// has a generous time limit so a broken server fails a test instead of hanging it.
//
// Not thread-safe: one client per thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace dk::cloudsim::test {

struct ClientResponse {
  bool delivered = false;  // false: the connection failed or closed before a full response
  std::string error;
  int status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  std::string header(const std::string& name) const;
  nlohmann::json json() const;  // discarded value when the body is not JSON
};

struct ClientOptions {
  bool tls = false;
  std::string caFile;             // trusted CA for TLS; empty: trust nothing
  std::string hostName = "127.0.0.1";  // Host header, SNI and certificate name to verify
};

class SimClient {
 public:
  using Headers = std::vector<std::pair<std::string, std::string>>;

  SimClient(uint16_t port, ClientOptions options = {});
  ~SimClient();

  ClientResponse request(const std::string& method, const std::string& target,
                         const Headers& headers = {}, const std::string& body = {});
  // GET with "Authorization: Bearer <token>" (none when the token is empty).
  ClientResponse get(const std::string& target, const std::string& token);

  // Connections opened so far (1 after any number of kept-alive requests).
  int connectionsOpened() const { return connectionsOpened_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int connectionsOpened_ = 0;
};

// The query of a URL split at "&" and "=" as the camera client does, without decoding.
std::vector<std::pair<std::string, std::string>> splitQueryNaively(const std::string& url);
// Percent-encodes a query value the way an HTTP library does ("+" and "," included).
std::string encodeQueryValue(const std::string& value);

}  // namespace dk::cloudsim::test
