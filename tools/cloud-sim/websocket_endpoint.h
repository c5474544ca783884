// The seam for the live feed: a WebSocket endpoint ("/stomp/v2.0") served on the same listener
// as the REST API. When the request handler answers an upgrade request with
// HttpReply::Disposition::Upgrade, the connection, with the request still unanswered, is handed
// over here and belongs to the endpoint from then on.
//
// Internal to the simulator (it names Boost.Beast types). accept() is called on the
// connection's strand; shutdown() once, after the server threads have stopped and before the
// I/O context goes away, so the endpoint must drop every stream it still holds.
#pragma once

#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

namespace dk::cloudsim::detail {

class WebSocketEndpoint {
 public:
  using Request = boost::beast::http::request<boost::beast::http::string_body>;

  virtual ~WebSocketEndpoint() = default;
  virtual void accept(boost::beast::tcp_stream stream, Request request) = 0;
  virtual void accept(boost::beast::ssl_stream<boost::beast::tcp_stream> stream,
                      Request request) = 0;
  virtual void shutdown() = 0;
};

}  // namespace dk::cloudsim::detail
