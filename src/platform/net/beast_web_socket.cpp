// The WebSocket client over Boost.Beast. Every connection runs on one shared I/O thread, so a
// session's state is touched by that thread only: public calls post onto it.
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/dispatch/run_loop.h"
#include "platform/net/web_socket.h"

namespace dk::platform {
namespace {

namespace net = boost::asio;
namespace ssl = boost::asio::ssl;
namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace websocket = boost::beast::websocket;
using tcp = net::ip::tcp;

class SessionBase;

// The one thread all WebSocket connections of the process run on.
class IoThread {
 public:
  static IoThread& shared() {
    static IoThread thread;
    return thread;
  }
  net::io_context& context() { return context_; }
  // Sessions are listed so that the ones still open when the process ends can be let go of.
  void track(const std::shared_ptr<SessionBase>& session);
  ~IoThread();

 private:
  IoThread() : guard_(net::make_work_guard(context_)), thread_([this] { context_.run(); }) {}
  // OpenSSL is set up before this thread starts, so its clean-up at exit is registered first and
  // runs after this object has joined the thread (exit handlers run in reverse order): the
  // thread's own OpenSSL state is freed as it ends. Set up by the first wss:// connection only, the
  // clean-up came first whenever a ws:// one had started the thread, and that state was left behind.
  [[maybe_unused]] bool sslReady_ = OPENSSL_init_ssl(0, nullptr) == 1;
  net::io_context context_;
  net::executor_work_guard<net::io_context::executor_type> guard_;
  std::thread thread_;
  std::mutex sessionsMutex_;
  std::vector<std::weak_ptr<SessionBase>> sessions_;
};

struct ParsedUrl {
  bool secure = false;
  std::string host;
  std::string port;
  std::string target;
};

bool parseUrl(const std::string& url, ParsedUrl& out) {
  std::string rest;
  if (url.rfind("wss://", 0) == 0) {
    out.secure = true;
    rest = url.substr(6);
  } else if (url.rfind("ws://", 0) == 0) {
    rest = url.substr(5);
  } else {
    return false;
  }
  const size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  out.target = slash == std::string::npos ? "/" : rest.substr(slash);
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    out.host = authority.substr(1, close - 1);
    authority.erase(0, close + 1);
    if (!authority.empty() && authority.front() == ':') out.port = authority.substr(1);
  } else {
    const size_t colon = authority.rfind(':');
    out.host = authority.substr(0, colon);
    if (colon != std::string::npos) out.port = authority.substr(colon + 1);
  }
  if (out.port.empty()) out.port = out.secure ? "443" : "80";
  return !out.host.empty() && out.port.find_first_not_of("0123456789") == std::string::npos;
}

ErrorPtr transport(const std::string& what) {
  return Error::make(std::string(kWebSocketErrorDomain), kWebSocketErrorTransport, what);
}

bool isIpAddress(const std::string& host) {
  beast::error_code ec;
  net::ip::make_address(host, ec);
  return !ec;
}

class SessionBase : public WebSocket, public std::enable_shared_from_this<SessionBase> {
 public:
  explicit SessionBase(WebSocketOptions options) : options_(std::move(options)) {}

  void open(WebSocketHandlers handlers) override {
    auto self = shared_from_this();
    IoThread::shared().track(self);
    auto activity = std::make_shared<ActivityToken>();
    net::post(IoThread::shared().context(), [self, handlers = std::move(handlers), activity]() mutable {
      self->handlers_ = std::move(handlers);
      self->activity_ = std::move(activity);
      self->start();
    });
  }
  void send(std::string message) override {
    auto self = shared_from_this();
    net::post(IoThread::shared().context(), [self, message = std::move(message)]() mutable {
      if (!self->open_ || self->finished_) return;
      self->outbox_.push_back(std::move(message));
      if (self->outbox_.size() == 1) self->writeNext();
    });
  }
  void close() override {
    auto self = shared_from_this();
    net::post(IoThread::shared().context(), [self] { self->closeRequested(); });
  }

  // The I/O thread has stopped for good: nothing will finish this session any more, so drop the
  // handlers (they keep its owner alive, and the owner keeps the session).
  void abandon() {
    finished_ = true;
    open_ = false;
    outbox_.clear();
    handlers_ = {};
    activity_.reset();
  }

 protected:
  virtual void start() = 0;
  virtual void writeNext() = 0;
  virtual void closeRequested() = 0;

  void opened() {
    if (finished_) return;
    open_ = true;
    if (handlers_.opened) handlers_.opened();
    activity_.reset();
  }
  void finish(ErrorPtr error) {
    if (finished_) return;
    finished_ = true;
    open_ = false;
    if (!pendingClose_) outbox_.clear();
    auto closed = std::move(handlers_.closed);
    handlers_ = {};
    if (closed) closed(std::move(error));
    activity_.reset();
  }

  WebSocketOptions options_;
  ParsedUrl url_;
  WebSocketHandlers handlers_;
  std::shared_ptr<ActivityToken> activity_;
  std::deque<std::string> outbox_;
  beast::flat_buffer buffer_;
  http::response<http::string_body> upgradeResponse_;
  bool open_ = false;
  bool finished_ = false;
  bool closing_ = false;
  bool pendingClose_ = false;  // close once the queued frames are written
};

void IoThread::track(const std::shared_ptr<SessionBase>& session) {
  std::lock_guard lock(sessionsMutex_);
  std::erase_if(sessions_, [](const auto& weak) { return weak.expired(); });
  sessions_.push_back(session);
}

IoThread::~IoThread() {
  guard_.reset();
  context_.stop();
  if (thread_.joinable()) thread_.join();
  // With the thread gone, the sessions may be touched from here.
  std::vector<std::weak_ptr<SessionBase>> sessions;
  {
    std::lock_guard lock(sessionsMutex_);
    sessions.swap(sessions_);
  }
  for (const auto& weak : sessions) {
    if (auto session = weak.lock()) session->abandon();
  }
}

template <typename Stream>
class Session final : public SessionBase {
 public:
  Session(WebSocketOptions options, std::unique_ptr<ssl::context> tls)
      : SessionBase(std::move(options)), tls_(std::move(tls)), resolver_(IoThread::shared().context()),
        ws_(makeStream()) {}

 private:
  static constexpr bool kSecure = !std::is_same_v<Stream, beast::tcp_stream>;

  std::unique_ptr<websocket::stream<Stream>> makeStream() {
    if constexpr (kSecure) {
      return std::make_unique<websocket::stream<Stream>>(IoThread::shared().context(), *tls_);
    } else {
      return std::make_unique<websocket::stream<Stream>>(IoThread::shared().context());
    }
  }

  std::shared_ptr<Session> self() { return std::static_pointer_cast<Session>(shared_from_this()); }

  void start() override {
    if (!parseUrl(options_.url, url_)) return finish(transport("unsupported URL " + options_.url));
    ws_->read_message_max(options_.maxMessageSize);
    resolver_.async_resolve(url_.host, url_.port,
                            [s = self()](beast::error_code ec, tcp::resolver::results_type results) {
                              s->onResolve(ec, results);
                            });
  }

  void onResolve(beast::error_code ec, const tcp::resolver::results_type& results) {
    if (closing_) return finish(nullptr);
    if (ec) return finish(transport("cannot resolve " + url_.host + ": " + ec.message()));
    auto& layer = beast::get_lowest_layer(*ws_);
    layer.expires_after(std::chrono::seconds(30));
    layer.async_connect(results, [s = self()](beast::error_code ec, const tcp::endpoint&) { s->onConnect(ec); });
  }

  void onConnect(beast::error_code ec) {
    if (closing_) return finish(nullptr);
    if (ec) return finish(transport("cannot connect: " + ec.message()));
    if constexpr (kSecure) {
      SSL* ssl = ws_->next_layer().native_handle();
      if (!isIpAddress(url_.host)) SSL_set_tlsext_host_name(ssl, url_.host.c_str());
      if (!options_.tls.allowInvalidCertificates) {
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
        if (isIpAddress(url_.host)) {
          X509_VERIFY_PARAM_set1_ip_asc(param, url_.host.c_str());
        } else {
          X509_VERIFY_PARAM_set1_host(param, url_.host.c_str(), 0);
        }
      }
      ws_->next_layer().async_handshake(ssl::stream_base::client,
                                        [s = self()](beast::error_code ec) { s->onTlsHandshake(ec); });
    } else {
      upgrade();
    }
  }

  void onTlsHandshake(beast::error_code ec) {
    if (closing_) return finish(nullptr);
    if (ec) return finish(transport("TLS handshake failed: " + ec.message()));
    upgrade();
  }

  void upgrade() {
    beast::get_lowest_layer(*ws_).expires_never();
    ws_->set_option(websocket::stream_base::timeout::suggested(beast::role_type::client));
    ws_->set_option(websocket::stream_base::decorator([headers = options_.headers,
                                                       protocols = options_.subprotocols](websocket::request_type& req) {
      for (const auto& [name, value] : headers) req.set(name, value);
      if (!protocols.empty()) {
        std::string offer;
        for (const auto& p : protocols) offer += (offer.empty() ? "" : ", ") + p;
        req.set(http::field::sec_websocket_protocol, offer);
      }
    }));
    const std::string hostHeader = url_.host + ":" + url_.port;
    ws_->async_handshake(upgradeResponse_, hostHeader, url_.target,
                         [s = self()](beast::error_code ec) { s->onUpgrade(ec); });
  }

  void onUpgrade(beast::error_code ec) {
    if (closing_) return finish(nullptr);
    if (ec) {
      const unsigned status = upgradeResponse_.result_int();
      if (status != 0 && status != 101) {
        return finish(Error::make(std::string(kWebSocketErrorDomain), kWebSocketErrorInvalidUpgrade,
                                  std::string(kInvalidHttpUpgrade)));
      }
      return finish(transport("WebSocket handshake failed: " + ec.message()));
    }
    opened();
    read();
  }

  void read() {
    ws_->async_read(buffer_, [s = self()](beast::error_code ec, std::size_t) { s->onRead(ec); });
  }

  void onRead(beast::error_code ec) {
    if (ec) {
      if (closing_ || ec == websocket::error::closed) return finish(closing_ ? nullptr : transport("closed by the server"));
      return finish(transport("connection lost: " + ec.message()));
    }
    std::string message = beast::buffers_to_string(buffer_.data());
    buffer_.consume(buffer_.size());
    if (handlers_.message) handlers_.message(std::move(message));
    if (!finished_) read();
  }

  void writeNext() override {
    ws_->text(true);
    ws_->async_write(net::buffer(outbox_.front()), [s = self()](beast::error_code ec, std::size_t) {
      if (ec) {
        s->outbox_.clear();
        s->pendingClose_ = false;
        beast::error_code ignored;
        beast::get_lowest_layer(*s->ws_).socket().close(ignored);
        s->finish(transport("write failed: " + ec.message()));
        return;
      }
      s->outbox_.pop_front();
      if (!s->outbox_.empty()) {
        s->writeNext();
      } else if (s->pendingClose_) {
        s->pendingClose_ = false;
        s->startClose();
      }
    });
  }

  void closeRequested() override {
    if (finished_ || closing_) return;
    closing_ = true;
    if (open_) {
      // Report at once; what is queued is still written, then the close handshake finishes in
      // the background (bounded by the stream's time-out). Beast allows one write at a time.
      if (outbox_.empty()) {
        startClose();
      } else {
        pendingClose_ = true;
      }
      finish(nullptr);
    } else {
      // Still connecting: cancelling makes the pending step report, which then finishes.
      resolver_.cancel();
      beast::error_code ignored;
      beast::get_lowest_layer(*ws_).socket().close(ignored);
    }
  }

  void startClose() {
    ws_->async_close(websocket::close_code::normal, [s = self()](beast::error_code) {
      beast::error_code ignored;
      beast::get_lowest_layer(*s->ws_).socket().close(ignored);
    });
  }

  std::unique_ptr<ssl::context> tls_;
  tcp::resolver resolver_;
  std::unique_ptr<websocket::stream<Stream>> ws_;
};

}  // namespace

WebSocketPtr makeBeastWebSocket(WebSocketOptions options) {
  ParsedUrl url;
  const bool secure = parseUrl(options.url, url) && url.secure;
  if (!secure) return std::make_shared<Session<beast::tcp_stream>>(std::move(options), nullptr);
  auto context = std::make_unique<ssl::context>(ssl::context::tls_client);
  if (options.tls.allowInvalidCertificates) {
    context->set_verify_mode(ssl::verify_none);
  } else {
    context->set_verify_mode(ssl::verify_peer);
    const std::string ca = options.tls.effectiveCAFile();
    beast::error_code ec;
    if (ca.empty()) {
      context->set_default_verify_paths(ec);
    } else {
      context->load_verify_file(ca, ec);
    }
  }
  return std::make_shared<Session<beast::ssl_stream<beast::tcp_stream>>>(std::move(options), std::move(context));
}

}  // namespace dk::platform
