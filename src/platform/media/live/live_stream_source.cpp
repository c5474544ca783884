#include "platform/media/live/live_stream_source.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/data.h"
#include "platform/media/cloud/streamer_cloud_calls.h"
#include "platform/media/live/live_playlist.h"
#include "platform/media/live/live_segment_decoder.h"
#include "platform/media/live/live_variants.h"
#include "platform/net/credential_scope.h"
#include "platform/net/url.h"

namespace dk::platform {
namespace {

constexpr const char* kLiveErrorDomain = "DKCameraStreamerErrorDomain";
// How often the picture is brought up to the live clock: a camera's frame rate.
constexpr double kLiveFrameTick = 0.04;
// Pictures decoded ahead of the clock: a few, and at least a fifth of a second's worth whatever
// the frame rate, so that the next segment is opened (and its first sound decoded) before a sound
// card's lead (0.15 s) reaches it. Segments are fetched a couple ahead of the decoder.
constexpr size_t kDecodeAheadPictures = 6;
constexpr double kDecodeAheadSeconds = 0.2;
constexpr size_t kSegmentsAhead = 2;

struct BufferedFrame {
  ImagePtr image;
  double time = 0;
  int64_t sequence = -1;  // of its segment
};

// What a segment or initialisation section may be served as: MPEG-TS, or fMP4 under the names
// packagers and web servers give it (".m4s" is unknown to most and goes out as octet-stream).
const std::vector<std::string> kTransportStreamTypes{"video/mp2t"};
const std::vector<std::string> kFragmentTypes{"video/mp4", "video/iso.segment", "audio/mp4", "application/mp4",
                                              "application/octet-stream"};

int64_t pictureBytes(const ImagePtr& image) {
  return image ? int64_t{image->pixelWidth()} * image->pixelHeight() * 4 : 0;
}

// One decode step's outcome, carried from the decode queue to the main thread.
struct DecodeStep {
  LiveSegmentDecoder::Step step = LiveSegmentDecoder::Step::Failed;
  LiveSegmentFrame frame;
  std::string why;
  std::vector<LiveSegmentSound> sound;
  std::string soundRefusal;
  size_t streamPictures = 0;  // since the stream last started anew
};

// A stream whose segments, this many seconds of them since it started anew, give no picture
// cannot be shown (a camera's key frames come far more often).
constexpr double kMaxSecondsWithoutPicture = 8;

// Part of a file (EXT-X-BYTERANGE): `length` bytes from `offset`; length -1 for the whole file.
struct FetchRange {
  int64_t offset = 0;
  int64_t length = -1;
};

// Whether a 206 reply's Content-Range ("bytes <first>-<last>/<size>") starts at `offset`.
bool rangeStartsAt(const HttpResponseInfo& response, int64_t offset) {
  const auto header = response.headers.find("Content-Range");
  if (header == response.headers.end()) return false;
  const std::string expected = "bytes " + std::to_string(offset) + "-";
  return header->second.compare(0, expected.size(), expected) == 0;
}

}  // namespace

struct LiveStreamSource::Impl : std::enable_shared_from_this<Impl> {
  struct FetchedSegment {
    LivePlaylist::Segment segment;
    std::shared_ptr<const std::string> bytes;  // null: its range was not there (skipped)
    std::shared_ptr<const std::string> init;   // its initialisation section (fMP4), else null
  };

  int64_t cameraId = 0;
  std::string baseURL;
  // The media playlist followed: the camera's own, or the variant chosen from it once (a view
  // does not switch); `followingMedia` once it is known to be a media playlist.
  std::string playlistURL;
  bool followingMedia = false;
  int viewWidth = 0, viewHeight = 0;  // pixels
  Listener listener;
  Limits limits;
  StreamerCloudCalls calls;
  QueuePtr decodeQueue = DispatchQueue::createSerial("com.kelo.streamer.live");

  // Changes when fetched work stops counting (pause, stop, failure, rejoin), so late results are
  // dropped.
  uint64_t generation = 0;
  bool stopped = false, playing = false;
  std::shared_ptr<Timer> pollTimer, frameTimer;
  bool playlistInFlight = false, segmentInFlight = false;
  int fetches = 0;

  int64_t lastSequence = -1;  // the newest segment taken; -1: join at the live edge
  std::deque<LivePlaylist::Segment> toFetch;
  double targetDuration = 2;
  LiveTimeline timeline;
  // The initialisation section fetched last, by its address: fetched once for all its fragments.
  std::string mapAddress;
  std::shared_ptr<const std::string> mapBytes;
  std::deque<FetchedSegment> fetched;  // waiting for the decoder
  // The stream's decoder, kept from segment to segment (used on the decode queue only), and the
  // segment it was given last: until its End, `segmentOpen`.
  std::shared_ptr<LiveSegmentDecoder> decoder;
  LivePlaylist::Segment decoding;
  bool segmentOpen = false, decodeBusy = false;
  int64_t decodedSequence = -1;  // given to the decoder last; -1: the next starts the stream anew
  double secondsWithoutPicture = 0;
  // The playlist says the stream has ended; what the decoder holds back was given out.
  bool streamEnded = false, endGivenOut = false;
  std::deque<BufferedFrame> buffer;
  int64_t queuedBytes = 0, peakQueuedBytes = 0;
  double bufferedUntil = 0;  // end time of the newest segment taken
  bool showedAny = false, stalled = false, rejoining = false;
  // No picture yet, but sound: it plays on its own clock, anchored at its first stretch.
  bool soundAhead = false;
  double shownTime = 0, anchorFrameTime = 0, anchorClock = 0;
  double lastNewPicture = 0;  // clock time a new picture was last shown (or playing began)
  int64_t shownSequence = -1;    // the segment of the picture on screen
  int64_t alreadyShown = -1;     // shown by an earlier source before it failed: not joined again
  std::string soundRefusal;      // of the segment decoded last

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
    dropSegments();
    if (pollTimer) pollTimer->invalidate();
    if (frameTimer) frameTimer->invalidate();
    pollTimer.reset();
    frameTimer.reset();
  }

  // Drops every call in flight and every segment and picture not yet shown.
  void dropSegments() {
    ++generation;
    calls.cancelAll();
    playlistInFlight = segmentInFlight = decodeBusy = false;
    toFetch.clear();
    fetched.clear();
    decoder.reset();
    segmentOpen = false;
    decodedSequence = -1;
    secondsWithoutPicture = 0;
    endGivenOut = false;
    buffer.clear();
    queuedBytes = 0;
  }

  // GETs the absolute URL `where` (or `range` of it) with a deadline and a size bound, with the
  // token on the cloud's origin and without it (as a media host's clip) on another https host;
  // `done` gets the bytes, or null for a range the server does not have (yet), and the URL they
  // came from (after redirects: what the addresses of a playlist are resolved against).
  void fetch(const std::string& where, std::vector<std::string> types, double deadline, int64_t maxBytes,
             FetchRange range, std::function<void(const std::string* bytes, const std::string& from)> done) {
    const bool withToken = calls.mayCarryToken(where);
    if (!withToken && !maySendWithoutCredential(resolveURL(baseURL, where))) {
      fail(Error::make(kLiveErrorDomain, 10, "The live stream is only fetched over https"));
      return;
    }
    auto configuration = calls.configuration(where, deadline);
    configuration->responseSerializer = ResponseSerializerKind::Http;
    configuration->acceptableContentTypes = std::move(types);
    // Off the cloud nothing of the user's goes with the call: it may follow https redirects.
    if (!withToken) configuration->sameOriginRedirectsOnly = false;
    if (range.length >= 0) {
      if (range.length > maxBytes) {
        fail(Error::make(kLiveErrorDomain, 11, "The live stream sent more than it may"));
        return;
      }
      maxBytes = range.length;
      configuration->headers["Range"] =
          "bytes=" + std::to_string(range.offset) + "-" + std::to_string(range.offset + range.length - 1);
    }
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
        where, configuration, tooLarge,
        [weak, expected, maxBytes, range, done, where](const std::shared_ptr<const HttpResponseInfo>& response,
                                                       const Value& body) {
          auto self = weak.lock();
          if (!self || self->generation != expected) return;
          auto data = body.objectAs<Data>();
          if (!data || static_cast<int64_t>(data->length()) > maxBytes) {
            self->fail(Error::make(kLiveErrorDomain, 11, "The live stream sent more than it may"));
            return;
          }
          if (range.length < 0) return done(&data->bytes(), response && !response->url.empty() ? response->url : where);
          // The range, from a partial reply or from a whole file small enough to have been taken.
          const std::string& bytes = data->bytes();
          const bool partial = response && response->statusCode == 206;
          const int64_t from = partial ? 0 : range.offset;
          if (static_cast<int64_t>(bytes.size()) < from + range.length) return done(nullptr, where);
          // A partial reply is of the range asked for, or of nothing this segment can use.
          if (partial && !rangeStartsAt(*response, range.offset)) return done(nullptr, where);
          const std::string part = bytes.substr(static_cast<size_t>(from), static_cast<size_t>(range.length));
          done(&part, where);
        },
        [weak, expected, range, done, where](const ErrorPtr& error) {
          auto self = weak.lock();
          if (!self || self->generation != expected) return;
          // A range past the end of the file as it is now fails that part alone.
          if (range.length >= 0 && error->response() && error->response()->statusCode == 416) return done(nullptr, where);
          self->fail(error);
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
    fetch(playlistURL, {"application/x-mpegurl", "application/vnd.apple.mpegurl", "audio/mpegurl"},
          limits.playlistDeadline, static_cast<int64_t>(LivePlaylist::kMaxBytes), {},
          [this](const std::string* text, const std::string& from) {
            playlistInFlight = false;
            std::string why;
            if (isMultivariantPlaylist(*text)) return tookVariants(*text, from);
            auto playlist = parseLivePlaylist(*text, from, &why);
            if (!playlist) {
              fail(Error::make(kLiveErrorDomain, 12, "The live playlist cannot be read: " + why));
              return;
            }
            followingMedia = true;
            took(std::move(*playlist));
          });
  }

  // The stream's URL answered with its variants: the one chosen for the view is followed from now
  // on, under the same rules as the camera's own playlist.
  void tookVariants(const std::string& text, const std::string& from) {
    std::string why;
    if (followingMedia) {
      fail(Error::make(kLiveErrorDomain, 12, "The live playlist cannot be read: a media playlist that lists variants"));
      return;
    }
    const auto variants = parseMultivariantPlaylist(text, from, &why);
    if (!variants) {
      fail(Error::make(kLiveErrorDomain, 12, "The live playlist cannot be read: " + why));
      return;
    }
    const auto variant = chooseLiveVariant(*variants, viewWidth, viewHeight, &why);
    if (!variant) {
      fail(Error::make(kLiveErrorDomain, 12, "The live stream has no variant to play: " + why));
      return;
    }
    playlistURL = variant->url;
    followingMedia = true;
    fetchPlaylist();
  }

  void took(LivePlaylist playlist) {
    targetDuration = playlist.targetDuration;
    streamEnded = playlist.ended;
    // Until its first picture the playlist is followed whether playing or not (at its own pace),
    // so that a stream whose pictures never decode ends, and its sound meanwhile is heard.
    if (!showedAny) startPolling();
    if (playlist.segments.empty()) return;
    if (lastSequence >= 0 && playlist.segments.back().sequence < lastSequence) {
      // The camera restarted its stream: what is queued belongs to the old one. Rejoin at the
      // live edge, and let its first picture set the clock.
      dropSegments();
      lastSequence = -1;
      bufferedUntil = 0;
      rejoining = true;
      soundAhead = false;
      timeline.reset();
      mapAddress.clear();
      mapBytes.reset();
    }
    timeline.place(playlist, platform::now(), showedAny ? shownTime : 0);
    if (lastSequence < 0) {
      // Nothing new since an earlier view of the camera failed: wait for the next segment.
      if (!showedAny && playlist.segments.back().sequence == alreadyShown) return;
      toFetch.assign({playlist.segments.back()});  // join at the live edge
    } else {
      for (const auto& segment : playlist.segments) {
        const bool queued = !toFetch.empty() && segment.sequence <= toFetch.back().sequence;
        if (segment.sequence > lastSequence && !queued) toFetch.push_back(segment);
      }
      // A view far behind skips to the newest rather than queueing without end.
      while (toFetch.size() > LivePlaylist::kMaxSegments) toFetch.pop_front();
    }
    fetchNextSegment();
  }

  // Segments are fetched only a little ahead of the decoder, so their bytes stay few.
  void fetchNextSegment() {
    if (stopped || segmentInFlight || toFetch.empty()) return;
    if (fetched.size() + (segmentOpen ? 1 : 0) >= kSegmentsAhead) return;
    const LivePlaylist::Segment segment = toFetch.front();
    if (!segment.map.empty() && mapKey(segment) != mapAddress) {
      fetchMap(segment);
      return;
    }
    toFetch.pop_front();
    segmentInFlight = true;
    lastSequence = segment.sequence;
    const bool fragment = !segment.map.empty();
    fetch(segment.name, fragment ? kFragmentTypes : kTransportStreamTypes, limits.segmentDeadline,
          limits.maxSegmentBytes(segment.duration), {segment.offset, segment.length},
          [this, segment, init = fragment ? mapBytes : nullptr](const std::string* bytes, const std::string&) {
            segmentInFlight = false;
            fetched.push_back({segment, bytes ? std::make_shared<const std::string>(*bytes) : nullptr, init});
            bufferedUntil = std::max(bufferedUntil, segment.startTime + segment.duration);
            decodeNext();
            fetchNextSegment();
          });
  }

  // An initialisation section by its address and range.
  static std::string mapKey(const LivePlaylist::Segment& segment) {
    if (segment.mapLength < 0) return segment.map;
    return segment.map + "@" + std::to_string(segment.mapOffset) + "+" + std::to_string(segment.mapLength);
  }

  // The initialisation section of the next fragments, in place of a segment (one call at a time).
  void fetchMap(const LivePlaylist::Segment& segment) {
    segmentInFlight = true;
    fetch(segment.map, kFragmentTypes, limits.segmentDeadline, limits.maxInitSectionBytes,
          {segment.mapOffset, segment.mapLength},
          [this, key = mapKey(segment)](const std::string* bytes, const std::string&) {
            segmentInFlight = false;
            if (!bytes) {
              fail(Error::make(kLiveErrorDomain, 13, "A live segment cannot be played: no initialisation section"));
              return;
            }
            mapAddress = key;
            mapBytes = std::make_shared<const std::string>(*bytes);
            fetchNextSegment();
          });
  }

  // Asks the decode queue for the next picture, while few enough wait to be shown. The stream's
  // decoder goes on from segment to segment; it starts anew at a discontinuity and after
  // segments skipped (its references are not there).
  void decodeNext() {
    if (stopped || decodeBusy) return;
    if (decodedFarEnough() || queuedBytes >= limits.maxQueuedPictureBytes) return;
    std::optional<LiveSegmentInput> adding;
    bool ending = false;
    if (!segmentOpen && fetched.empty()) {
      // Nothing follows an ended stream: its last pictures, held back for a next segment, are out.
      if (!streamEnded || !toFetch.empty() || segmentInFlight || !decoder || endGivenOut) return;
      endGivenOut = ending = segmentOpen = true;
    }
    if (!segmentOpen) {
      FetchedSegment next = std::move(fetched.front());
      fetched.pop_front();
      decoding = next.segment;
      if (!next.bytes) {
        // A range that was not there: the stream before it ends, what follows starts anew.
        decodedSequence = -1;
        if (!decoder) return decodeNext();
        ending = true;
      } else {
        const bool anew = decodedSequence < 0 || decoding.discontinuity || decoding.sequence != decodedSequence + 1;
        adding = LiveSegmentInput{std::move(next.init),
                                  std::move(next.bytes),
                                  decoding.startTime,
                                  decoding.sequence,
                                  anew,
                                  LivePictureLimits::segmentBudget(decoding.duration),
                                  LiveSoundLimits::segmentBudget(decoding.duration)};
        decodedSequence = decoding.sequence;
        endGivenOut = false;
        if (!decoder) decoder = std::make_shared<LiveSegmentDecoder>();
      }
      segmentOpen = true;
    }
    decodeBusy = true;
    const uint64_t expected = generation;
    decodeQueue->async([weak = weak_from_this(), d = decoder, adding = std::move(adding), ending, expected] {
      auto step = std::make_shared<DecodeStep>();
      if (ending) d->endStream();
      if (adding && !d->add(*adding, &step->why)) {
        step->step = LiveSegmentDecoder::Step::Failed;
      } else {
        step->step = d->next(step->frame, &step->why);
        step->sound = d->takeSound();
        step->soundRefusal = d->soundRefusal();
        step->streamPictures = d->streamPictureCount();
      }
      DispatchQueue::main()->async([weak, step, expected] {
        auto self = weak.lock();
        if (self && self->generation == expected) self->decoded(*step);
      });
    });
  }

  // Whether kDecodeAheadPictures wait, the newest kDecodeAheadSeconds past the picture on screen.
  bool decodedFarEnough() const {
    return buffer.size() >= kDecodeAheadPictures && buffer.back().time >= shownTime + kDecodeAheadSeconds;
  }

  void decoded(const DecodeStep& step) {
    decodeBusy = false;
    if (step.step != LiveSegmentDecoder::Step::Failed) {
      if (listener.soundRefused && step.soundRefusal != soundRefusal) listener.soundRefused(step.soundRefusal);
      soundRefusal = step.soundRefusal;
      for (const LiveSegmentSound& sound : step.sound) {
        if (listener.sound) listener.sound(sound, sound.offset);
      }
      // A segment that ended without a picture sets going the sound it had; a picture sets the clock.
      if (!showedAny && !soundAhead && !step.sound.empty() && step.step == LiveSegmentDecoder::Step::End) {
        soundAhead = true;
        anchorAt(step.sound.front().offset);
      }
    }
    switch (step.step) {
      case LiveSegmentDecoder::Step::Failed:
        fail(Error::make(kLiveErrorDomain, 13, "A live segment cannot be played: " + step.why));
        return;
      case LiveSegmentDecoder::Step::End:
        segmentOpen = false;
        // A segment without a picture of its own plays on from those before; a stream that gives
        // none at all cannot be shown.
        secondsWithoutPicture = step.streamPictures ? 0 : secondsWithoutPicture + decoding.duration;
        if (secondsWithoutPicture >= kMaxSecondsWithoutPicture) {
          fail(Error::make(kLiveErrorDomain, 13, "A live segment cannot be played: the segment has no pictures"));
          return;
        }
        fetchNextSegment();
        break;
      case LiveSegmentDecoder::Step::Picture: {
        const int64_t bytes = pictureBytes(step.frame.image);
        if (bytes > limits.maxQueuedPictureBytes) {
          fail(Error::make(kLiveErrorDomain, 13, "A live segment cannot be played: a picture out of bounds"));
          return;
        }
        buffer.push_back({step.frame.image, step.frame.offset, step.frame.sequence});
        queuedBytes += bytes;
        peakQueuedBytes = std::max(peakQueuedBytes, queuedBytes);
        if (!showedAny || rejoining) {
          // The first picture (of the stream, or of a restarted one) is shown at once and sets
          // the clock.
          show(buffer.front());
          popFront();
          anchor();
          rejoining = false;
          setStalled(false);
        } else if (stalled) {
          anchorAt(buffer.front().time);  // catch up with the live edge
          setStalled(false);
        }
        break;
      }
    }
    decodeNext();
  }

  void popFront() {
    queuedBytes -= pictureBytes(buffer.front().image);
    buffer.pop_front();
  }

  void show(const BufferedFrame& frame) {
    showedAny = true;
    shownTime = frame.time;
    shownSequence = frame.sequence;
    lastNewPicture = platform::now();
    if (listener.frame) listener.frame(frame.image, frame.time);
  }
  void anchor() { anchorAt(shownTime); }
  void anchorAt(double frameTime) {
    anchorFrameTime = frameTime;
    anchorClock = platform::now();
    reportClock();
  }
  void setStalled(bool value) {
    if (stalled == value) return;
    stalled = value;
    reportClock();
    if (listener.stalled) listener.stalled(value);
  }
  void reportClock() {
    const bool running = showedAny ? playing && !stalled : soundAhead;
    if (listener.clock && !stopped) listener.clock(running, anchorFrameTime, anchorClock);
  }

  void tick() {
    if (!playing || stopped) return;
    const double clock = anchorFrameTime + (platform::now() - anchorClock);
    std::optional<BufferedFrame> latest;
    while (!buffer.empty() && buffer.front().time <= clock + 1e-6) {
      latest = buffer.front();
      popFront();
    }
    if (latest) show(*latest);
    if (buffer.empty() && clock >= bufferedUntil) setStalled(true);
    if (failedForStall()) return;
    decodeNext();
  }

  // Playing, or waiting for a first new picture, without one for too long ends the source.
  bool failedForStall() {
    if (!(playing || !showedAny) || platform::now() - lastNewPicture < limits.stallSeconds) return false;
    fail(Error::make("NSURLErrorDomain", -1001, "The live stream has shown nothing new for too long"));
    return true;
  }

  // The playlist is followed while playing, and while a first new picture is awaited; read every
  // half target duration, so that a segment is known before the one playing runs out.
  void startPolling() {
    if (pollTimer) return;
    pollTimer = Timer::scheduled(targetDuration / 2, true, DispatchQueue::main(), [weak = weak_from_this()] {
      auto self = weak.lock();
      if (!self || (!self->playing && self->showedAny) || self->failedForStall()) return;
      self->fetchPlaylist();
    });
  }

  void startTimers() {
    std::weak_ptr<Impl> weak = weak_from_this();
    frameTimer = Timer::scheduled(kLiveFrameTick, true, DispatchQueue::main(), [weak] {
      if (auto self = weak.lock()) self->tick();
    });
    startPolling();
  }
};

int64_t LiveStreamSource::Limits::maxSegmentBytes(double seconds) const {
  const double counted = std::clamp(std::isfinite(seconds) ? seconds : 0.0, 1.0, 30.0);
  return static_cast<int64_t>(counted * static_cast<double>(maxSegmentBytesPerSecond));
}

std::shared_ptr<LiveStreamSource> LiveStreamSource::create(int64_t cameraId, std::string baseURL, Listener listener,
                                                           Limits limits) {
  std::shared_ptr<LiveStreamSource> source(new LiveStreamSource());
  source->impl_ = std::make_shared<Impl>();
  source->impl_->cameraId = cameraId;
  source->impl_->baseURL = baseURL;
  source->impl_->playlistURL = resolveURL(baseURL, source->impl_->path("index.m3u8"));
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
  d.lastNewPicture = platform::now();
  d.fetchPlaylist();
}

void LiveStreamSource::setPlaying(bool playing) {
  Impl& d = *impl_;
  if (d.stopped || d.playing == playing) return;
  d.playing = playing;
  if (!playing) {
    // Nothing more is fetched; the next play rejoins at the live edge.
    d.quiet();
    d.lastSequence = -1;
    d.bufferedUntil = 0;
    d.rejoining = false;
    d.setStalled(false);
    d.reportClock();
    return;
  }
  if (d.showedAny) d.anchor();  // else the first picture sets the clock (a sound ahead of it runs on)
  d.lastNewPicture = platform::now();
  d.startTimers();
  if (d.showedAny && d.buffer.empty() && !d.segmentInFlight) d.setStalled(true);
  d.fetchPlaylist();
}

void LiveStreamSource::stop() { impl_->halt(); }
bool LiveStreamSource::isPlaying() const { return impl_->playing; }
void LiveStreamSource::setAlreadyShown(int64_t sequence) { impl_->alreadyShown = sequence; }
void LiveStreamSource::setViewPixelSize(int width, int height) {
  impl_->viewWidth = std::max(width, 0);
  impl_->viewHeight = std::max(height, 0);
}
int64_t LiveStreamSource::shownSequence() const { return impl_->shownSequence; }
int LiveStreamSource::fetchCount() const { return impl_->fetches; }
size_t LiveStreamSource::heldCallCount() const { return impl_->calls.heldCallCount(); }
int64_t LiveStreamSource::peakQueuedPictureBytes() const { return impl_->peakQueuedBytes; }

}  // namespace dk::platform
