// The live feed's message path: a destination and a body, as a MESSAGE frame carries them, go
// through the feed's own parse and dispatch on its service queue into the real event and recording
// managers, whose follow-up fetches a local executor answers with a fixed page (so the caches the
// messages touch hold recordings and events). No socket is ever made: the feed is never turned on
// and its socket factory aborts if asked. Input: the destination, a newline, then the body.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "live/kl_web_sockets_manager.h"
#include "platform/dispatch/run_loop.h"
#include "platform/net/stomp_frame.h"
#include "services/kl_event_manager.h"
#include "services/kl_recording_manager.h"
#include "services/scripted_executor.h"

namespace {

using namespace dk;

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr char kEventsPage[] =
    R"([{"eventId":12,"timestamp":"2026-12-07T10:02:00.000Z","type":"vmdDetected","source":{"sourceId":123,"type":"camera"}},)"
    R"({"eventId":11,"timestamp":"2026-12-07T10:01:00.000Z","type":"motion","source":{"sourceId":123,"type":"camera"}}])";
constexpr char kRecordingsPage[] =
    R"([{"recordingId":88,"cameraId":123,"startTime":"2026-12-07T10:00:00.000Z","closed":false},)"
    R"({"recordingId":87,"cameraId":123,"startTime":"2026-12-07T09:50:00.000Z","endTime":"2026-12-07T09:55:00.000Z","closed":true}])";

struct Setup {
  std::shared_ptr<test::ScriptedExecutor> executor;
  std::shared_ptr<KLWebSocketsManager> feed;
  std::shared_ptr<KLEventManager> events;
  std::shared_ptr<KLRecordingManager> recordings;
};

Setup& setup() {
  static Setup* s = [] {
    platform::MainRunLoop::bindToCurrentThread();
    KLWebSocketsManager::setLogHandler([](const std::string&) {});
    auto* made = new Setup;
    made->executor = std::make_shared<test::ScriptedExecutor>([](const KLRequest& request, size_t) {
      const std::string url = request.requestURL();
      if (url.find("recordings") != std::string::npos) return test::ScriptedReply::body(kRecordingsPage);
      if (url.find("events") != std::string::npos) return test::ScriptedReply::body(kEventsPage);
      return test::ScriptedReply::failure(404);
    });
    KLServicesManager::setRequestExecutor(made->executor);
    made->feed = KLWebSocketsManager::create();
    made->feed->setSocketFactory([](platform::WebSocketOptions) -> platform::WebSocketPtr { std::abort(); });
    made->events = KLEventManager::create();
    made->recordings = KLRecordingManager::create();
    made->feed->setEventsDelegate(made->events);
    made->feed->setRecordingsDelegate(made->recordings);
    return made;
  }();
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Setup& s = setup();
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t newline = input.find('\n');
  if (newline == std::string_view::npos) return 0;
  platform::StompFrame message;
  message.command = "MESSAGE";
  message.headers.emplace_back("destination", std::string(input.substr(0, newline)));
  message.headers.emplace_back("subscription", "sub-0");
  message.body = std::string(input.substr(newline + 1));

  s.feed->handleMessagesReceived(message);
  check(platform::MainRunLoop::runUntilIdle());
  // Whatever arrived, the caches stay readable and bounded by what the executor served.
  for (int64_t camera : {int64_t{123}, int64_t{1}, int64_t{0}, int64_t{-1}}) {
    if (auto list = s.recordings->recordingsForCameraID(camera)) check(list->recordings().size() <= 2);
    if (auto list = s.events->eventsForCameraID(camera)) check(list->events().size() <= 2);
  }
  check(!s.feed->isConnected());
  return 0;
}
