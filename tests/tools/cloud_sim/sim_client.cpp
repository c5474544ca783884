#include "sim_client.h"

#include <chrono>
#include <optional>

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

namespace dk::cloudsim::test {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

constexpr auto kTimeLimit = std::chrono::seconds(20);

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

std::string ClientResponse::header(const std::string& name) const {
  for (const auto& [key, value] : headers)
    if (sameName(key, name)) return value;
  return {};
}

nlohmann::json ClientResponse::json() const { return nlohmann::json::parse(body, nullptr, false); }

struct SimClient::Impl {
  Impl(uint16_t p, ClientOptions o) : port(p), options(std::move(o)) {}

  // Runs one asynchronous operation to completion on this thread.
  template <class Start>
  beast::error_code run(Start&& start) {
    beast::error_code result;
    start([&result](beast::error_code ec, auto&&...) { result = ec; });
    context.restart();
    context.run();
    return result;
  }

  beast::tcp_stream& lowest() { return secure ? beast::get_lowest_layer(*secure) : *plain; }

  beast::error_code connect() {
    plain.reset();
    secure.reset();
    buffer.clear();
    const tcp::endpoint endpoint(net::ip::make_address_v4("127.0.0.1"), port);
    if (options.tls) {
      secure = std::make_unique<beast::ssl_stream<beast::tcp_stream>>(context, tlsContext);
    } else {
      plain = std::make_unique<beast::tcp_stream>(context);
    }
    lowest().expires_after(kTimeLimit);
    beast::error_code ec = run([&](auto handler) { lowest().async_connect(endpoint, handler); });
    if (ec || !options.tls) return ec;
    const bool isAddress = !options.hostName.empty() && std::isdigit(static_cast<unsigned char>(options.hostName[0]));
    if (!isAddress) SSL_set_tlsext_host_name(secure->native_handle(), options.hostName.c_str());
    secure->set_verify_mode(ssl::verify_peer);
    secure->set_verify_callback(ssl::host_name_verification(options.hostName));
    return run([&](auto handler) { secure->async_handshake(ssl::stream_base::client, handler); });
  }

  template <class Stream>
  ClientResponse exchange(Stream& stream, http::request<http::string_body>& req) {
    ClientResponse response;
    lowest().expires_after(kTimeLimit);
    beast::error_code ec = run([&](auto handler) { http::async_write(stream, req, handler); });
    if (ec) {
      response.error = "write: " + ec.message();
      return response;
    }
    http::response_parser<http::string_body> parser;
    parser.body_limit(512ull * 1024 * 1024);
    if (req.method() == http::verb::head) parser.skip(true);
    lowest().expires_after(kTimeLimit);
    ec = run([&](auto handler) { http::async_read(stream, buffer, parser, handler); });
    if (ec) {
      response.error = "read: " + ec.message();
      return response;
    }
    auto& message = parser.get();
    response.delivered = true;
    response.status = static_cast<int>(message.result_int());
    for (const auto& field : message) {
      response.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    response.body = std::move(message.body());
    keepAlive = message.keep_alive();
    return response;
  }

  const uint16_t port;
  const ClientOptions options;
  net::io_context context;
  ssl::context tlsContext{ssl::context::tls_client};
  std::unique_ptr<beast::tcp_stream> plain;
  std::unique_ptr<beast::ssl_stream<beast::tcp_stream>> secure;
  beast::flat_buffer buffer;
  bool connected = false;
  bool keepAlive = true;
};

SimClient::SimClient(uint16_t port, ClientOptions options)
    : impl_(std::make_unique<Impl>(port, std::move(options))) {
  if (!impl_->options.caFile.empty()) {
    beast::error_code ec;
    impl_->tlsContext.load_verify_file(impl_->options.caFile, ec);
  }
}

SimClient::~SimClient() = default;

ClientResponse SimClient::request(const std::string& method, const std::string& target,
                                  const Headers& headers, const std::string& body) {
  if (!impl_->connected) {
    const beast::error_code ec = impl_->connect();
    ++connectionsOpened_;
    if (ec) {
      ClientResponse failed;
      failed.error = "connect: " + ec.message();
      return failed;
    }
    impl_->connected = true;
  }
  http::request<http::string_body> req;
  req.method_string(method);
  req.target(target);
  req.version(11);
  req.set(http::field::host, impl_->options.hostName + ":" + std::to_string(impl_->port));
  req.set(http::field::user_agent, "cloud-sim-test");
  for (const auto& [name, value] : headers) req.set(name, value);
  req.body() = body;
  req.keep_alive(true);
  req.prepare_payload();

  ClientResponse response = impl_->secure ? impl_->exchange(*impl_->secure, req)
                                          : impl_->exchange(*impl_->plain, req);
  if (!response.delivered || !impl_->keepAlive) impl_->connected = false;
  return response;
}

ClientResponse SimClient::get(const std::string& target, const std::string& token) {
  Headers headers;
  if (!token.empty()) headers.emplace_back("Authorization", "Bearer " + token);
  return request("GET", target, headers);
}

std::vector<std::pair<std::string, std::string>> splitQueryNaively(const std::string& url) {
  std::vector<std::pair<std::string, std::string>> out;
  const size_t q = url.find('?');
  if (q == std::string::npos) return out;
  const std::string query = url.substr(q + 1);
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string part = query.substr(start, end - start);
    const size_t eq = part.find('=');
    if (eq != std::string::npos && part.find('=', eq + 1) == std::string::npos) {
      out.emplace_back(part.substr(0, eq), part.substr(eq + 1));
    }
    start = end + 1;
  }
  return out;
}

std::string encodeQueryValue(const std::string& value) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
    }
  }
  return out;
}

}  // namespace dk::cloudsim::test
