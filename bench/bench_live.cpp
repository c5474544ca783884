// The live feed's hot paths: parsing STOMP MESSAGE frames, and the time from a message published
// on the local cloud's STOMP endpoint to the receiver's notification on the main thread.
//
// Run: build/bench/bench_live. BM_LiveEventToMainThread reports "median_ms" and "p99_ms" over
// 1,000 events published one after another (target: p99 under 50 ms on loopback).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "foundation/credential_storage.h"
#include "foundation/kl_server.h"
#include "live/kl_web_sockets_manager.h"
#include "live/kl_websockets_service.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/oauth_credential.h"
#include "platform/net/stomp_frame.h"

namespace {

using dk::platform::MainRunLoop;
using dk::platform::StompFrame;
using dk::platform::StompFrameParser;
using dk::platform::Value;

std::string messageFrame(int i) {
  StompFrame frame{"MESSAGE", {}, {}};
  frame.addHeader("subscription", "sub-0");
  frame.addHeader("destination", "/exchange/devicekeeper/777.cameras.123.events_v24");
  frame.addHeader("message-id", "T_sub-0@@session-Xq1@@" + std::to_string(i));
  frame.addHeader("redelivered", "false");
  frame.addHeader("content-type", "application/json");
  frame.body = R"({"eventId":)" + std::to_string(100000 + i) +
               R"(,"cameraId":123,"type":"motion","timestamp":"2026-12-07T10:00:00.000Z","category":"person"})";
  return frame.serialize();
}

// 10,000 frames, each arriving as its own WebSocket message.
void BM_StompParse10000Messages(benchmark::State& state) {
  std::vector<std::string> messages;
  size_t bytes = 0;
  for (int i = 0; i < 10000; ++i) {
    messages.push_back(messageFrame(i));
    bytes += messages.back().size();
  }
  for (auto _ : state) {
    StompFrameParser parser;
    std::vector<StompFrame> frames;
    frames.reserve(1);
    size_t count = 0;
    for (const auto& m : messages) {
      parser.feed(m, frames);
      count += frames.size();
      frames.clear();
    }
    if (count != messages.size()) state.SkipWithError("frames lost");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_StompParse10000Messages)->Unit(benchmark::kMillisecond);

// The same 10,000 frames in one buffer (a backlog delivered at once).
void BM_StompParse10000MessagesInOneBuffer(benchmark::State& state) {
  std::string all;
  for (int i = 0; i < 10000; ++i) all += messageFrame(i) + "\n";
  for (auto _ : state) {
    StompFrameParser parser;
    std::vector<StompFrame> frames;
    parser.feed(all, frames);
    if (frames.size() != 10000) state.SkipWithError("frames lost");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * all.size()));
}
BENCHMARK(BM_StompParse10000MessagesInOneBuffer)->Unit(benchmark::kMillisecond);

// Stands in for the event manager: notifies "observers" on the main thread.
class MainThreadNotifier final : public dk::KLWebSocketsDelegate {
 public:
  bool respondsToSelector(std::string_view selector) const override {
    return selector == "handleMessageUpdate:forClassType:modelClass:modelListClass:";
  }
  void handleMessageUpdate(const Value& message, int32_t, const dk::platform::ClassInfo*,
                           const dk::platform::ClassInfo*) override {
    const int64_t id = message["eventId"].integerValue();
    dk::platform::runOnMain([this, id] {
      lastId.store(id);
      arrived = std::chrono::steady_clock::now();
    });
  }
  std::atomic<int64_t> lastId{-1};
  std::chrono::steady_clock::time_point arrived;  // main thread only
};

void BM_LiveEventToMainThread(benchmark::State& state) {
  MainRunLoop::bindToCurrentThread();
  dk::platform::SecureStore::setShared(dk::platform::InMemorySecureStore::create());
  dk::cloudsim::CloudSim sim;
  if (sim.start() == 0) return state.SkipWithError("the simulator did not start");
  dk::platform::OAuthCredential::storeCredential(dk::platform::OAuthCredential(sim.accessToken(), "bearer"),
                                                 dk::kCredentialIdentifier);
  dk::KLServer::setProcessProtocol("http");
  dk::KLServer::setProcessIpAddress("127.0.0.1");
  dk::KLServer::setProcessHttpPort(std::to_string(sim.port()));
  dk::KLServer::resetForTesting();
  dk::KLWebSocketsManager::setLogHandler([](const std::string&) {});
  auto feed = dk::KLWebSocketsManager::create();
  auto notifier = std::make_shared<MainThreadNotifier>();
  feed->setEventsDelegate(notifier);
  dk::platform::NotificationCenter::defaultCenter().post(dk::kReconnectWebSocketsNotification, nullptr,
                                                         {{dk::kWebSocketsAccountIdKey, Value(777)}});
  const auto guard = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!(feed->isConnected() && sim.liveFeed().subscriptions().size() == 1)) {
    MainRunLoop::runPending();
    if (std::chrono::steady_clock::now() > guard) return state.SkipWithError("the feed did not connect");
  }

  std::vector<double> latencies;
  int64_t next = 0;
  for (auto _ : state) {
    latencies.clear();
    for (int i = 0; i < 1000; ++i, ++next) {
      const std::string body = R"({"eventId":)" + std::to_string(next) +
                               R"(,"cameraId":123,"type":"motion","timestamp":"2026-12-07T10:00:00.000Z"})";
      const auto sent = std::chrono::steady_clock::now();
      sim.liveFeed().publish("/exchange/devicekeeper/777.cameras.123.events_v24", body);
      while (notifier->lastId.load() != next) {
        MainRunLoop::runPending();
        if (std::chrono::steady_clock::now() - sent > std::chrono::seconds(5)) {
          return state.SkipWithError("an event did not arrive");
        }
      }
      latencies.push_back(std::chrono::duration<double, std::milli>(notifier->arrived - sent).count());
    }
  }
  std::sort(latencies.begin(), latencies.end());
  state.counters["median_ms"] = latencies[latencies.size() / 2];
  state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
  state.counters["max_ms"] = latencies.back();
  feed.reset();
  MainRunLoop::runUntilIdle();
  dk::platform::SecureStore::setShared(nullptr);
}
BENCHMARK(BM_LiveEventToMainThread)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
