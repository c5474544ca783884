// What once held every other request up: a recording's video being encoded must not keep the
// REST API waiting, and replies leave without Nagle's delay (the first reply on a fresh TLS
// connection would otherwise wait for the client's delayed acknowledgement).
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <future>
#include <thread>

#include "cloud-sim/http_server.h"
#include "cloud-sim/recording_video.h"
#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

// Holds every encode at its start until released; releases on the way out whatever happens.
class EncodeGate {
 public:
  EncodeGate() {
    detail::setEncodeHookForTests([this] {
      if (!entered_.exchange(true)) started_.set_value();
      released_.wait();
    });
  }
  ~EncodeGate() {
    release();
    detail::setEncodeHookForTests({});
  }
  bool waitUntilEncoding() { return startedFuture_.wait_for(std::chrono::seconds(20)) == std::future_status::ready; }
  void release() {
    if (!releasedOnce_.exchange(true)) release_.set_value();
  }

 private:
  std::atomic<bool> entered_{false}, releasedOnce_{false};
  std::promise<void> started_, release_;
  std::future<void> startedFuture_ = started_.get_future();
  std::shared_future<void> released_ = release_.get_future().share();
};

class Stalls : public SimTest {
 protected:
  void SetUp() override { start(smallWorld(1, 1)); }
};

TEST_F(Stalls, TheRestApiAnswersWhileARecordingsVideoIsBeingEncoded) {
  const int64_t camera = firstCamera();
  int64_t recording = 0;
  sim->updateWorld([&](World& w) {
    recording = w.startRecording(camera, w.now - 3600 + 0.25);  // a video no other test has made
    w.closeRecording(recording, w.now - 3600 + 6.25);
  });
  const std::string video =
      "/media/cameras/" + std::to_string(camera) + "/recordings/" + std::to_string(recording) + ".mp4";
  EncodeGate gate;
  ClientResponse videoReply;
  // Asks for the video on a connection of its own; let go (and waited for) whatever happens.
  struct Viewer {
    EncodeGate& gate;
    std::thread thread;
    ~Viewer() {
      gate.release();
      if (thread.joinable()) thread.join();
    }
  } viewer{gate, std::thread([&] {
             SimClient own(sim->port());
             videoReply = own.get(video, token());
           })};
  ASSERT_TRUE(gate.waitUntilEncoding());

  // The encode is held mid-way; the camera list still comes back, from another connection.
  const ClientResponse cameras = client->get("/rest/v2.0/cameras", token());
  EXPECT_TRUE(cameras.delivered) << cameras.error;
  EXPECT_EQ(cameras.status, 200);
  EXPECT_TRUE(cameras.json().is_array() || cameras.json().is_object());

  gate.release();
  viewer.thread.join();
  EXPECT_EQ(videoReply.status, 200);
  EXPECT_EQ(videoReply.header("Content-Type"), "video/mp4");
  EXPECT_GT(videoReply.body.size(), 1000u);
}

TEST(ServerSockets, AcceptedConnectionsSendWithoutNaglesDelay) {
  std::promise<int> noDelay;
  std::atomic<bool> seen{false};
  detail::ParkedReplies parked;
  detail::HttpServer server(
      [](const detail::HttpRequest&) {
        detail::HttpReply reply;
        reply.body = "ok";
        return reply;
      },
      parked);
  server.setAcceptObserverForTests([&](int socket) {
    int value = -1;
    socklen_t length = sizeof value;
    if (::getsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &value, &length) != 0) value = -1;
    if (!seen.exchange(true)) noDelay.set_value(value);
  });
  std::string error;
  const uint16_t port = server.start(0, 1, nullptr, &error);
  ASSERT_NE(port, 0) << error;
  SimClient client(port);
  const ClientResponse reply = client.request("GET", "/");
  EXPECT_EQ(reply.body, "ok");
  auto value = noDelay.get_future();
  ASSERT_EQ(value.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_NE(value.get(), 0) << "TCP_NODELAY is off on the accepted socket";
  server.stop();
}

}  // namespace
}  // namespace dk::cloudsim::test
