#include "http_server.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include <boost/asio/dispatch.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include "websocket_endpoint.h"

namespace dk::cloudsim::detail {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

// A response body that is either held text or made piece by piece while it is written, so a
// download of hundreds of megabytes needs no more memory than one piece.
struct PayloadBody {
  struct value_type {
    std::string text;
    uint64_t generatedSize = 0;
    std::function<void(uint64_t, char*, size_t)> fill;
  };

  static std::uint64_t size(const value_type& v) { return v.fill ? v.generatedSize : v.text.size(); }

  class writer {
   public:
    using const_buffers_type = net::const_buffer;

    template <bool isRequest, class Fields>
    writer(const http::header<isRequest, Fields>&, const value_type& body) : body_(body) {}

    void init(beast::error_code& ec) { ec = {}; }

    boost::optional<std::pair<const_buffers_type, bool>> get(beast::error_code& ec) {
      ec = {};
      if (!body_.fill) {
        if (offset_ != 0 || body_.text.empty()) return boost::none;
        offset_ = body_.text.size();
        return {{net::buffer(body_.text), false}};
      }
      if (offset_ >= body_.generatedSize) return boost::none;
      if (piece_.empty()) piece_.resize(64 * 1024);
      const size_t n =
          static_cast<size_t>(std::min<uint64_t>(piece_.size(), body_.generatedSize - offset_));
      body_.fill(offset_, piece_.data(), n);
      offset_ += n;
      return {{net::buffer(piece_.data(), n), offset_ < body_.generatedSize}};
    }

   private:
    const value_type& body_;
    uint64_t offset_ = 0;
    std::vector<char> piece_;
  };
};

using Request = http::request<http::string_body>;
using Response = http::response<PayloadBody>;

struct ServerCore {
  HttpServer::Handler handler;
  ParkedReplies* parked = nullptr;
  std::shared_ptr<WebSocketEndpoint> endpoint;
  std::function<void(int)> acceptObserver;  // tests only; set before start
  std::atomic<uint64_t> connections{0};
};

bool headerHasToken(std::string_view value, std::string_view token) {
  size_t start = 0;
  while (start <= value.size()) {
    size_t end = value.find(',', start);
    if (end == std::string_view::npos) end = value.size();
    std::string_view item = value.substr(start, end - start);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (equalsIgnoreCase(item, token)) return true;
    start = end + 1;
  }
  return false;
}

HttpRequest toHttpRequest(const Request& req, bool tls, uint64_t connection) {
  HttpRequest out;
  out.method = std::string(req.method_string());
  out.target = std::string(req.target());
  const size_t q = out.target.find('?');
  out.path = out.target.substr(0, q);
  if (q != std::string::npos) out.query = out.target.substr(q + 1);
  for (const auto& field : req) {
    out.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  out.body = req.body();
  out.tls = tls;
  out.connection = connection;
  out.upgrade = req.method() == http::verb::get &&
                headerHasToken(std::string(req[http::field::connection]), "upgrade") &&
                equalsIgnoreCase(std::string(req[http::field::upgrade]), "websocket");
  return out;
}

std::unique_ptr<Response> toResponse(const Request& req, HttpReply& reply) {
  auto res = std::make_unique<Response>();
  res->version(req.version());
  res->result(static_cast<unsigned>(reply.status));
  res->set(http::field::server, "cloud-sim");
  for (auto& [name, value] : reply.headers) res->insert(name, value);
  const uint64_t size = reply.bodySize();
  if (req.method() != http::verb::head) {
    res->body().text = std::move(reply.body);
    res->body().generatedSize = reply.streamedSize;
    res->body().fill = std::move(reply.fill);
  }
  // 1xx, 204 and 304 carry no length.
  if (reply.status >= 200 && reply.status != 204 && reply.status != 304) res->content_length(size);
  return res;
}

// The HTTP exchange loop shared by plain and TLS connections (Derived supplies the stream).
template <class Derived>
class HttpSession {
 public:
  explicit HttpSession(std::shared_ptr<ServerCore> core)
      : core_(std::move(core)), connection_(++core_->connections) {}

  void doRead() {
    parser_.emplace();
    parser_->body_limit(64 * 1024 * 1024);
    beast::get_lowest_layer(derived().stream()).expires_after(std::chrono::minutes(5));
    http::async_read_header(derived().stream(), buffer_, *parser_,
                            beast::bind_front_handler(&HttpSession::onHeader, derived().shared_from_this()));
  }

  // A client that announced its body with "Expect: 100-continue" waits for the go-ahead
  // (curl for a second) before it sends the body.
  void onHeader(beast::error_code ec, std::size_t) {
    if (ec == http::error::end_of_stream) return derived().doEof();
    if (ec) return;
    if (equalsIgnoreCase(std::string(parser_->get()[http::field::expect]), "100-continue")) {
      continue_ = std::make_unique<http::response<http::empty_body>>(http::status::continue_, 11);
      http::async_write(derived().stream(), *continue_,
                        beast::bind_front_handler(&HttpSession::onContinue, derived().shared_from_this()));
      return;
    }
    readBody();
  }

  void onContinue(beast::error_code ec, std::size_t) {
    continue_.reset();
    if (ec) return;
    readBody();
  }

  void readBody() {
    http::async_read(derived().stream(), buffer_, *parser_,
                     beast::bind_front_handler(&HttpSession::onRead, derived().shared_from_this()));
  }

  void onRead(beast::error_code ec, std::size_t) {
    if (ec == http::error::end_of_stream) return derived().doEof();
    if (ec) return;  // the peer went away, timed out or sent something unparsable
    Request req = parser_->release();
    HttpReply reply = core_->handler(toHttpRequest(req, Derived::kTls, connection_));
    if (reply.disposition == HttpReply::Disposition::Upgrade) {
      if (core_->endpoint) {
        beast::get_lowest_layer(derived().stream()).expires_never();
        return derived().handOver(std::move(req));
      }
      reply = HttpReply{};
      reply.status = 503;
      reply.setHeader("Content-Type", "application/json");
      reply.body = R"({"status":503,"error":"Service Unavailable","message":"No live feed"})";
    }
    keepAlive_ = req.keep_alive() && !reply.closeAfter;
    drop_ = reply.disposition == HttpReply::Disposition::Drop;
    const int holdTag = reply.holdTag;
    const double delay = reply.delaySeconds;
    if (!drop_) {
      response_ = toResponse(req, reply);
      response_->keep_alive(keepAlive_);
    }
    if (holdTag > 0) {
      auto self = derived().shared_from_this();
      auto executor = derived().stream().get_executor();
      core_->parked->park(holdTag, [self, executor] { net::post(executor, [self] { self->finish(); }); });
      return;
    }
    if (delay > 0) {
      timer_.emplace(derived().stream().get_executor());
      timer_->expires_after(std::chrono::microseconds(static_cast<int64_t>(delay * 1e6)));
      timer_->async_wait([self = derived().shared_from_this()](beast::error_code waitError) {
        if (!waitError) self->finish();
      });
      return;
    }
    finish();
  }

  void finish() {
    if (drop_) return derived().dropConnection();
    beast::get_lowest_layer(derived().stream()).expires_after(std::chrono::minutes(5));
    http::async_write(derived().stream(), *response_,
                      beast::bind_front_handler(&HttpSession::onWrite, derived().shared_from_this()));
  }

  void onWrite(beast::error_code ec, std::size_t) {
    if (ec) return;
    if (!keepAlive_) return derived().doEof();
    response_.reset();
    doRead();
  }

 protected:
  Derived& derived() { return static_cast<Derived&>(*this); }

  std::shared_ptr<ServerCore> core_;
  const uint64_t connection_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::unique_ptr<Response> response_;
  std::unique_ptr<http::response<http::empty_body>> continue_;
  std::optional<net::steady_timer> timer_;
  bool keepAlive_ = true;
  bool drop_ = false;
};

class PlainSession : public HttpSession<PlainSession>,
                     public std::enable_shared_from_this<PlainSession> {
 public:
  static constexpr bool kTls = false;

  PlainSession(tcp::socket&& socket, std::shared_ptr<ServerCore> core)
      : HttpSession(std::move(core)), stream_(std::move(socket)) {}

  beast::tcp_stream& stream() { return stream_; }

  void run() {
    net::dispatch(stream_.get_executor(),
                  beast::bind_front_handler(&PlainSession::doRead, shared_from_this()));
  }

  void doEof() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
  }

  void dropConnection() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
    stream_.socket().close(ec);
  }

  void handOver(Request&& req) { core_->endpoint->accept(std::move(stream_), std::move(req)); }

 private:
  beast::tcp_stream stream_;
};

class TlsSession : public HttpSession<TlsSession>, public std::enable_shared_from_this<TlsSession> {
 public:
  static constexpr bool kTls = true;

  TlsSession(tcp::socket&& socket, ssl::context& context, std::shared_ptr<ServerCore> core)
      : HttpSession(std::move(core)), stream_(std::move(socket), context) {}

  beast::ssl_stream<beast::tcp_stream>& stream() { return stream_; }

  void run() {
    net::dispatch(stream_.get_executor(), [self = shared_from_this()] {
      beast::get_lowest_layer(self->stream_).expires_after(std::chrono::seconds(30));
      self->stream_.async_handshake(
          ssl::stream_base::server,
          beast::bind_front_handler(&TlsSession::onHandshake, self));
    });
  }

  void onHandshake(beast::error_code ec) {
    if (ec) return;  // for example a client that does not trust our CA
    doRead();
  }

  void doEof() {
    beast::get_lowest_layer(stream_).expires_after(std::chrono::seconds(5));
    stream_.async_shutdown([self = shared_from_this()](beast::error_code) {});
  }

  void dropConnection() {
    beast::error_code ec;
    auto& socket = beast::get_lowest_layer(stream_).socket();
    socket.shutdown(tcp::socket::shutdown_both, ec);
    socket.close(ec);
  }

  void handOver(Request&& req) { core_->endpoint->accept(std::move(stream_), std::move(req)); }

 private:
  beast::ssl_stream<beast::tcp_stream> stream_;
};

class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(net::io_context& context, ssl::context* tls, std::shared_ptr<ServerCore> core)
      : context_(context), tls_(tls), core_(std::move(core)), acceptor_(net::make_strand(context)) {}

  uint16_t open(uint16_t port, beast::error_code& ec) {
    const tcp::endpoint endpoint(net::ip::make_address_v4("127.0.0.1"), port);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(net::socket_base::max_listen_connections, ec);
    if (ec) return 0;
    return acceptor_.local_endpoint(ec).port();
  }

  void run() { doAccept(); }

 private:
  void doAccept() {
    acceptor_.async_accept(net::make_strand(context_),
                           beast::bind_front_handler(&Listener::onAccept, shared_from_this()));
  }

  void onAccept(beast::error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted || !acceptor_.is_open()) return;
    if (!ec) {
      // Replies go out at once: with Nagle's algorithm the first reply on a new TLS connection
      // waits for the client's delayed acknowledgement (about 40 ms).
      beast::error_code ignored;
      socket.set_option(tcp::no_delay(true), ignored);
      if (core_->acceptObserver) core_->acceptObserver(socket.native_handle());
      if (tls_) {
        std::make_shared<TlsSession>(std::move(socket), *tls_, core_)->run();
      } else {
        std::make_shared<PlainSession>(std::move(socket), core_)->run();
      }
    }
    doAccept();
  }

  net::io_context& context_;
  ssl::context* tls_;
  std::shared_ptr<ServerCore> core_;
  tcp::acceptor acceptor_;
};

}  // namespace

struct HttpServer::Impl {
  std::shared_ptr<ServerCore> core = std::make_shared<ServerCore>();
  std::unique_ptr<ssl::context> tls;
  std::unique_ptr<net::io_context> context;
  std::shared_ptr<Listener> listener;
  std::vector<std::thread> threads;
  std::atomic<bool> running{false};
};

HttpServer::HttpServer(Handler handler, ParkedReplies& parked) : impl_(std::make_unique<Impl>()) {
  impl_->core->handler = std::move(handler);
  impl_->core->parked = &parked;
}

HttpServer::~HttpServer() { stop(); }

void HttpServer::setWebSocketEndpoint(std::shared_ptr<WebSocketEndpoint> endpoint) {
  impl_->core->endpoint = std::move(endpoint);
}

void HttpServer::setAcceptObserverForTests(std::function<void(int socket)> observer) {
  impl_->core->acceptObserver = std::move(observer);
}

bool HttpServer::running() const { return impl_->running.load(); }

uint16_t HttpServer::start(uint16_t port, int threads, const Tls* tls, std::string* error) {
  if (impl_->running) return 0;
  try {
    if (tls) {
      impl_->tls = std::make_unique<ssl::context>(ssl::context::tls_server);
      impl_->tls->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                              ssl::context::no_sslv3 | ssl::context::no_tlsv1 |
                              ssl::context::no_tlsv1_1);
      impl_->tls->use_certificate_chain(net::buffer(tls->certificateChainPem));
      impl_->tls->use_private_key(net::buffer(tls->privateKeyPem), ssl::context::pem);
    }
  } catch (const std::exception& e) {
    if (error) *error = std::string("TLS set-up failed: ") + e.what();
    impl_->tls.reset();
    return 0;
  }
  const int count = std::max(1, threads);
  impl_->context = std::make_unique<net::io_context>(count);
  impl_->listener = std::make_shared<Listener>(*impl_->context, impl_->tls.get(), impl_->core);
  beast::error_code ec;
  const uint16_t bound = impl_->listener->open(port, ec);
  if (ec || bound == 0) {
    if (error) *error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + ec.message();
    impl_->listener.reset();
    impl_->context.reset();
    impl_->tls.reset();
    return 0;
  }
  impl_->listener->run();
  for (int i = 0; i < count; ++i) {
    impl_->threads.emplace_back([context = impl_->context.get()] { context->run(); });
  }
  impl_->running = true;
  return bound;
}

void HttpServer::stop() {
  if (!impl_->context) return;
  impl_->context->stop();
  for (auto& thread : impl_->threads) thread.join();
  impl_->threads.clear();
  // Parked replies and the endpoint's connections hold sockets of this context: drop them
  // before it goes.
  impl_->core->parked->clear();
  if (impl_->core->endpoint) impl_->core->endpoint->shutdown();
  impl_->listener.reset();
  impl_->context.reset();
  impl_->tls.reset();
  impl_->running = false;
}

}  // namespace dk::cloudsim::detail
