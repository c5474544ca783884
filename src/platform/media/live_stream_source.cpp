#include "platform/media/live_stream_source.h"

#include <deque>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/data.h"
#include "platform/media/live_playlist.h"
#include "platform/media/live_segment_decoder.h"
#include "platform/media/streamer_cloud_calls.h"

namespace dk::platform {
namespace {

constexpr const char* kLiveErrorDomain = "DKCameraStreamerErrorDomain";
constexpr double kLiveFrameTick = 0.25;  // how often the picture is brought up to the live clock

struct BufferedFrame {
  ImagePtr image;
  double time = 0;
};

}  // namespace

struct LiveStreamSource::Impl : std::enable_shared_from_this<Impl> {
  int64_t cameraId = 0;
  Listener listener;
  Limits limits;
  StreamerCloudCalls calls;
  QueuePtr decodeQueue = DispatchQueue::createSerial("com.kelo.streamer.live");

  // Changes when fetched work stops counting (pause, stop, failure), so late results are dropped.
  uint64_t generation = 0;
  bool stopped = false, playing = false;
  std::shared_ptr<Timer> pollTimer, frameTimer;
  bool playlistInFlight = false, segmentInFlight = false;
  int fetches = 0;

  int64_t lastSequence = -1;  // the newest segment taken; -1: join at the live edge
  std::deque<LivePlaylist::Segment> toFetch;
  double targetDuration = 2;
  std::deque<BufferedFrame> buffer;
  double bufferedUntil = 0;  // end time of the newest segment taken
  bool showedAny = false, stalled = false;
  double shownTime = 0, anchorFrameTime = 0, anchorClock = 0;

  std::string path(const std::string& file) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/live/" + file;
  }

  void fail(ErrorPtr error) {
    if (stopped) return;
    halt();
    if (listener.failed) listener.failed(error);
  }

  void halt() {
    stopped = true;
    quiet();
  }

  // Drops everything in flight and every timer.
  void quiet() {
    ++generation;
    calls.cancelAll();
    if (pollTimer) pollTimer->invalidate();
    if (frameTimer) frameTimer->invalidate();
    pollTimer.reset();
    frameTimer.reset();
    playlistInFlight = segmentInFlight = false;
    toFetch.clear();
  }

  // GETs `file` with the token, a deadline and a size bound; `done` gets the bytes.
  void fetch(const std::string& file, std::vector<std::string> types, double deadline, int64_t maxBytes,
             std::function<void(const std::string& bytes)> done) {
    auto configuration = calls.configuration(path(file), deadline);
    configuration->responseSerializer = ResponseSerializerKind::Http;
    configuration->acceptableContentTypes = std::move(types);
    ++fetches;
    const uint64_t expected = generation;
    std::weak_ptr<Impl> weak = weak_from_this();
    auto tooLarge = [weak, expected, maxBytes](int64_t completed, int64_t total, double) {
      auto self = weak.lock();
      if (!self || self->generation != expected) return;
      if (completed > maxBytes || total > maxBytes) {
        self->fail(Error::make(kLiveErrorDomain, 11, "The live stream sent more than it may"));
      }
    };
    auto task = calls.session().downloadTask(
        path(file), configuration, tooLarge,
        [weak, expected, maxBytes, done = std::move(done)](const std::shared_ptr<const HttpResponseInfo>&,
                                                           const Value& body) {
          auto self = weak.lock();
          if (!self || self->generation != expected) return;
          auto data = body.objectAs<Data>();
          if (!data || static_cast<int64_t>(data->length()) > maxBytes) {
            self->fail(Error::make(kLiveErrorDomain, 11, "The live stream sent more than it may"));
            return;
          }
          done(data->bytes());
        },
        [weak, expected](const ErrorPtr& error) {
          auto self = weak.lock();
          if (self && self->generation == expected) self->fail(error);
        });
    calls.keep(task, deadline, [weak, expected] {
      auto self = weak.lock();
      if (self && self->generation == expected) {
        self->fail(Error::make("NSURLErrorDomain", -1001, "The live stream did not answer in time"));
      }
    });
  }

  void fetchPlaylist() {
    if (stopped || playlistInFlight) return;
    playlistInFlight = true;
    fetch("index.m3u8", {"application/x-mpegurl", "application/vnd.apple.mpegurl", "audio/mpegurl"},
          limits.playlistDeadline, static_cast<int64_t>(LivePlaylist::kMaxBytes), [this](const std::string& text) {
            playlistInFlight = false;
            std::string why;
            auto playlist = parseLivePlaylist(text, &why);
            if (!playlist) {
              fail(Error::make(kLiveErrorDomain, 12, "The live playlist cannot be read: " + why));
              return;
            }
            took(*playlist);
          });
  }

  void took(const LivePlaylist& playlist) {
    targetDuration = playlist.targetDuration;
    if (playlist.segments.empty()) return;
    if (lastSequence < 0) {
      toFetch.assign({playlist.segments.back()});  // join at the live edge
    } else {
      for (const auto& segment : playlist.segments) {
        const bool queued = !toFetch.empty() && segment.sequence <= toFetch.back().sequence;
        if (segment.sequence > lastSequence && !queued) toFetch.push_back(segment);
      }
    }
    fetchNextSegment();
  }

  void fetchNextSegment() {
    if (stopped || segmentInFlight || toFetch.empty()) return;
    const LivePlaylist::Segment segment = toFetch.front();
    toFetch.pop_front();
    segmentInFlight = true;
    lastSequence = segment.sequence;
    const uint64_t expected = generation;
    fetch(segment.name, {"video/mp2t"}, limits.segmentDeadline, limits.maxSegmentBytes,
          [this, segment, expected](const std::string& bytes) {
            std::weak_ptr<Impl> weak = weak_from_this();
            decodeQueue->async([weak, bytes, segment, expected] {
              std::string why;
              auto frames = decodeLiveSegment(bytes, &why);
              DispatchQueue::main()->async([weak, frames = std::move(frames), why, segment, expected] {
                auto self = weak.lock();
                if (!self || self->generation != expected) return;
                if (!frames) {
                  self->fail(Error::make(kLiveErrorDomain, 13, "A live segment cannot be played: " + why));
                  return;
                }
                self->decoded(segment, *frames);
              });
            });
          });
  }

  void decoded(const LivePlaylist::Segment& segment, const std::vector<LiveSegmentFrame>& frames) {
    segmentInFlight = false;
    const bool wasEmpty = buffer.empty();
    for (const auto& f : frames) buffer.push_back({f.image, segment.startTime + f.offset});
    bufferedUntil = segment.startTime + segment.duration;
    if (!showedAny) {
      show(buffer.front());
      buffer.pop_front();
      anchor();
    } else if (stalled || (wasEmpty && playing)) {
      anchorAt(buffer.front().time);  // catch up with the live edge
      setStalled(false);
    }
    fetchNextSegment();
  }

  void show(const BufferedFrame& frame) {
    showedAny = true;
    shownTime = frame.time;
    if (listener.frame) listener.frame(frame.image, frame.time);
  }
  void anchor() { anchorAt(shownTime); }
  void anchorAt(double frameTime) {
    anchorFrameTime = frameTime;
    anchorClock = platform::now();
  }
  void setStalled(bool value) {
    if (stalled == value) return;
    stalled = value;
    if (listener.stalled) listener.stalled(value);
  }

  void tick() {
    if (!playing || stopped) return;
    const double clock = anchorFrameTime + (platform::now() - anchorClock);
    const BufferedFrame* latest = nullptr;
    BufferedFrame last;
    while (!buffer.empty() && buffer.front().time <= clock + 1e-6) {
      last = std::move(buffer.front());
      buffer.pop_front();
      latest = &last;
    }
    if (latest) show(*latest);
    if (buffer.empty() && clock >= bufferedUntil) setStalled(true);
  }

  void startTimers() {
    std::weak_ptr<Impl> weak = weak_from_this();
    frameTimer = Timer::scheduled(kLiveFrameTick, true, DispatchQueue::main(), [weak] {
      if (auto self = weak.lock()) self->tick();
    });
    pollTimer = Timer::scheduled(targetDuration, true, DispatchQueue::main(), [weak] {
      if (auto self = weak.lock()) self->fetchPlaylist();
    });
  }
};

std::shared_ptr<LiveStreamSource> LiveStreamSource::create(int64_t cameraId, std::string baseURL, Listener listener,
                                                           Limits limits) {
  std::shared_ptr<LiveStreamSource> source(new LiveStreamSource());
  source->impl_ = std::make_shared<Impl>();
  source->impl_->cameraId = cameraId;
  source->impl_->calls = StreamerCloudCalls(std::move(baseURL));
  source->impl_->listener = std::move(listener);
  source->impl_->limits = limits;
  return source;
}

LiveStreamSource::~LiveStreamSource() { impl_->halt(); }

void LiveStreamSource::start() {
  Impl& d = *impl_;
  if (d.stopped) return;
  if (!d.calls.mayCarryToken(d.path("index.m3u8"))) {
    // Reported from the run loop, like every other outcome.
    const uint64_t expected = d.generation;
    DispatchQueue::main()->async([weak = std::weak_ptr<Impl>(impl_), expected] {
      auto self = weak.lock();
      if (self && self->generation == expected) {
        self->fail(Error::make(kLiveErrorDomain, 10, "The live stream is only fetched from the cloud over https"));
      }
    });
    return;
  }
  d.fetchPlaylist();
}

void LiveStreamSource::setPlaying(bool playing) {
  Impl& d = *impl_;
  if (d.stopped || d.playing == playing) return;
  d.playing = playing;
  if (!playing) {
    // Nothing more is fetched; the next play rejoins at the live edge.
    d.quiet();
    d.buffer.clear();
    d.lastSequence = -1;
    d.setStalled(false);
    return;
  }
  d.anchor();
  d.startTimers();
  if (d.showedAny && d.buffer.empty() && !d.segmentInFlight) d.setStalled(true);
  d.fetchPlaylist();
}

void LiveStreamSource::stop() { impl_->halt(); }
bool LiveStreamSource::isPlaying() const { return impl_->playing; }
int LiveStreamSource::fetchCount() const { return impl_->fetches; }

}  // namespace dk::platform
