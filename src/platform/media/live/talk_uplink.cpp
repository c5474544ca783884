#include "platform/media/live/talk_uplink.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/base64.h"
#include "platform/media/cloud/streamer_cloud_calls.h"

namespace dk::platform {
namespace {

constexpr const char* kTalkErrorDomain = "DKCameraStreamerErrorDomain";

}  // namespace

struct TalkUplink::Impl : std::enable_shared_from_this<Impl> {
  int64_t cameraId = 0;
  Listener listener;
  StreamerCloudCalls calls;
  uint64_t generation = 0;
  bool finished = false, stopping = false;
  int64_t talkId = 0;  // 0 until the cloud has opened the talk
  uint64_t samplesSent = 0;
  double sentUntil = 0;  // the clock time the tone sent so far reaches
  std::shared_ptr<Timer> chunkTimer;

  std::string talkPath(const std::string& rest = {}) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/talk" + rest;
  }

  void quiet() {
    ++generation;
    calls.cancelAll();
    if (chunkTimer) chunkTimer->invalidate();
    chunkTimer.reset();
  }
  void end(ErrorPtr error) {
    if (finished) return;
    finished = true;
    quiet();
    if (listener.ended) listener.ended(error);
  }

  void post(const std::string& path, Value parameters, std::function<void(const Value& body)> done) {
    auto configuration = calls.configuration(path, kPostDeadline);
    configuration->requestSerializer = RequestSerializerKind::Json;
    configuration->responseSerializer = ResponseSerializerKind::Json;
    const uint64_t expected = generation;
    std::weak_ptr<Impl> weak = weak_from_this();
    auto task = calls.session().dataTask(
        HttpMethod::Post, path, parameters, configuration,
        [weak, expected, done = std::move(done)](const std::shared_ptr<const HttpResponseInfo>&, const Value& body) {
          auto self = weak.lock();
          if (self && self->generation == expected && !self->finished) done(body);
        },
        [weak, expected](const ErrorPtr& error) {
          auto self = weak.lock();
          if (self && self->generation == expected) self->end(error);
        });
    calls.keep(task, kPostDeadline, [weak, expected] {
      auto self = weak.lock();
      if (self && self->generation == expected) {
        self->end(Error::make("NSURLErrorDomain", -1001, "The talk did not reach the camera in time"));
      }
    });
  }

  // The tone from where the last post ended up to the clock (the first post: one chunk ahead), so
  // a late timer sends more rather than dropping audio. At most two seconds in one post.
  Value nextChunk() {
    const double now = platform::now();
    if (samplesSent == 0) sentUntil = now;
    const double seconds = samplesSent == 0 ? kChunkSeconds : std::clamp(now - sentUntil, 0.0, 2.0);
    const auto count = static_cast<size_t>(std::lround(seconds * kSampleRate));
    sentUntil += static_cast<double>(count) / kSampleRate;
    const std::string pcm = toneSamples(samplesSent, count);
    samplesSent += count;
    return Value(ValueDictionary{
        {"format", Value("s16le")}, {"sampleRate", Value(kSampleRate)}, {"audio", Value(base64Encode(pcm))}});
  }

  void open() {
    post(talkPath(), nextChunk(), [this](const Value& body) {
      const Value id = body["talkId"];
      if (!id.isNumber() || id.integerValue() <= 0) {
        end(Error::make(kTalkErrorDomain, 20, "The cloud did not open the talk"));
        return;
      }
      talkId = id.integerValue();
      if (stopping) {
        sendEnd();
        return;
      }
      std::weak_ptr<Impl> weak = weak_from_this();
      chunkTimer = Timer::scheduled(kChunkSeconds, true, DispatchQueue::main(), [weak] {
        auto self = weak.lock();
        if (self && platform::now() > self->sentUntil) {
          self->post(self->talkPath("/" + std::to_string(self->talkId)), self->nextChunk(), [](const Value&) {});
        }
      });
      if (listener.started) listener.started();
    });
  }

  void sendEnd() {
    if (chunkTimer) chunkTimer->invalidate();
    chunkTimer.reset();
    post(talkPath("/" + std::to_string(talkId) + "/end"), Value(), [this](const Value&) { end(nullptr); });
  }
};

std::shared_ptr<TalkUplink> TalkUplink::create(int64_t cameraId, std::string baseURL, Listener listener) {
  std::shared_ptr<TalkUplink> uplink(new TalkUplink());
  uplink->impl_ = std::make_shared<Impl>();
  uplink->impl_->cameraId = cameraId;
  uplink->impl_->calls = StreamerCloudCalls(std::move(baseURL));
  uplink->impl_->listener = std::move(listener);
  return uplink;
}

TalkUplink::~TalkUplink() { cancel(); }

void TalkUplink::start() {
  Impl& d = *impl_;
  if (!d.calls.mayCarryToken(d.talkPath())) {
    const uint64_t expected = d.generation;
    DispatchQueue::main()->async([weak = std::weak_ptr<Impl>(impl_), expected] {
      auto self = weak.lock();
      if (self && self->generation == expected) {
        self->end(Error::make(kTalkErrorDomain, 21, "Talking goes only to the cloud over https"));
      }
    });
    return;
  }
  d.open();
}

void TalkUplink::stop() {
  Impl& d = *impl_;
  if (d.finished || d.stopping) return;
  d.stopping = true;
  if (d.talkId != 0) d.sendEnd();  // otherwise the end follows the opening answer
}

void TalkUplink::cancel() {
  impl_->finished = true;
  impl_->quiet();
}

size_t TalkUplink::heldCallCount() const { return impl_->calls.heldCallCount(); }

std::string TalkUplink::toneSamples(uint64_t first, size_t count) {
  std::string pcm(count * 2, '\0');
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(first + i) / kSampleRate;
    const auto sample = static_cast<int16_t>(std::lround(8000.0 * std::sin(2 * std::numbers::pi * kToneHz * t)));
    std::memcpy(pcm.data() + 2 * i, &sample, 2);
  }
  return pcm;
}

}  // namespace dk::platform
