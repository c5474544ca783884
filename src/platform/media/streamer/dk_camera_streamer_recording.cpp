// DKCameraStreamer's recording half: fetching and opening the recording, showing its frames on
// the decode queue, reading a fragmented recording's table on, waiting at the end of an open
// recording for it to grow, and the recording-only calls seekTo and stepBy.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/timer.h"
#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/media/recordings/recording_source.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/media/streamer/dk_camera_streamer_state.h"
#include "platform/net/credential_scope.h"
#include "platform/ui/layer.h"

namespace dk::platform {
namespace {

// How often the end of an open recording asks whether more has been recorded.
constexpr double kGrowthProbeSeconds = 3.0;
// How far past the frame shown a fragmented recording's frame table is read.
constexpr double kTableReadAheadSeconds = 10.0;

// On the decode queue: reads a fragmented recording's table on to `seconds`; the table when it
// changed (or `always`), else nothing.
std::shared_ptr<const FrameTable> extendTable(VideoDecoder& decoder, double seconds, bool always) {
  if (decoder.complete() && !always) return nullptr;
  const size_t count = decoder.frameCount();
  const double duration = decoder.duration();
  decoder.extendTo(seconds);
  if (!always && decoder.frameCount() == count && decoder.duration() == duration && !decoder.complete()) return nullptr;
  return std::make_shared<const FrameTable>(
      FrameTable{decoder.frameTimes(), decoder.gapsAfter(), decoder.duration(), decoder.complete(), decoder.reachesEnd()});
}

// On the decode queue: the frame `step` frames from the one showing at `seconds`, reading the
// fragments the way crosses first.
size_t frameStepped(VideoDecoder& decoder, double seconds, int64_t step) {
  decoder.extendTo(seconds);
  for (int reads = 0; reads < 64; ++reads) {
    const auto from = static_cast<int64_t>(decoder.frameIndexAt(seconds));
    const int64_t last = static_cast<int64_t>(decoder.frameCount()) - 1;
    const int64_t to = std::clamp<int64_t>(from + step, 0, std::max<int64_t>(last, 0));
    const auto& gaps = decoder.gapsAfter();
    const auto lo = static_cast<size_t>(std::min(from, to)), hi = static_cast<size_t>(std::max(from, to));
    auto gap = std::lower_bound(gaps.begin(), gaps.end(), lo);
    const bool across = gap != gaps.end() && *gap < hi;
    const bool past = from + step > last && !decoder.reachesEnd();
    if (!across && !past) return static_cast<size_t>(to);
    bool grew = false;
    if (past) {
      grew = decoder.extendTo(decoder.frameTimes().back());
    } else if (step < 0) {
      // The gap nearest below: the frame just before the frames after it.
      auto below = std::lower_bound(gaps.begin(), gaps.end(), hi);
      --below;
      grew = decoder.extendTo(decoder.frameTimes()[*below + 1] - 1e-6);
    } else {
      grew = decoder.extendTo(decoder.frameTimes()[*gap]);
    }
    if (!grew) return static_cast<size_t>(to);
  }
  return decoder.frameIndexAt(seconds);
}

// How long (in the recording's own time) damaged frames may go by with the last good picture
// left on screen before the item fails: a damaged stretch of a real upload is passed over, a
// recording that has nothing good to show any more is not played on as a still picture.
constexpr double kDamagedSecondsPassedOver = 5.0;

}  // namespace

void DKCameraStreamer::State::tick() {
  if (playback != DKPlaybackStatePlaying) return;
  sound.pump();
  const double t = now();
  if (t >= duration - 1e-9) {
    reachEnd();
    return;
  }
  const size_t index = indexAt(t);
  if (index != displayedIndex) show(index, t);
}

void DKCameraStreamer::State::reachEnd() {
  storedTime = duration;
  stopClock();
  if (!tableToEnd) {
    awaitTable(duration, true);
    return;
  }
  if (!frameTimes.empty()) show(frameTimes.size() - 1);
  if (openRecording) {
    park();
    return;
  }
  setPlayback(DKPlaybackStateEnded);
}

// Waits for the recording to grow, asking the cloud now.
void DKCameraStreamer::State::park() {
  parked = true;
  awaitingPicture = false;
  if (growthTimer) growthTimer->invalidate();
  setPlayback(DKPlaybackStateBuffering);
  fetch(true);
}

// Waits for the frame table to reach `seconds` (buffering), then plays on from there or pauses.
void DKCameraStreamer::State::awaitTable(double seconds, bool playOn) {
  parked = awaitingTable = true;
  awaitingPicture = false;
  playOnAfterTable = playOn;
  if (growthTimer) growthTimer->invalidate();
  setPlayback(DKPlaybackStateBuffering);
  show(frameTimes.empty() ? 0 : frameTimes.size() - 1, seconds);
}

void DKCameraStreamer::State::unpark() {
  parked = awaitingTable = false;
  if (growthTimer) growthTimer->invalidate();
}

// The cloud closed the recording at the length read: it ends like any closed one.
void DKCameraStreamer::State::closedAtItsEnd() {
  openRecording = false;
  if (!parked) return;
  unpark();
  storedTime = duration;
  setPlayback(DKPlaybackStateEnded);
}

// Decodes frame `index` on the decode queue and puts it on the layer; a request made while
// another waits replaces it. Until a fragmented recording's table is complete, a time beyond
// the frames known asks for the frame there instead, and the table is read on ahead.
void DKCameraStreamer::State::show(size_t index, double time, int64_t step) {
  if (!unread(time) && step == 0) time = -1;
  displayedIndex = index;
  asked = true;
  blank = false;
  auto decoder = box;
  if (!decoder) return;
  {
    std::lock_guard lock(decoder->mutex);
    decoder->wanted = index;
    decoder->wantedTime = time;
    decoder->wantedStep = step;
    decoder->wantedGeneration = generation;
    if (decoder->decoding) return;
    decoder->decoding = true;
  }
  decodeQueue->async([weak = owner, decoder] {
    for (;;) {
      size_t requested;
      double time;
      int64_t step;
      uint64_t expected;
      {
        std::lock_guard lock(decoder->mutex);
        requested = decoder->wanted;
        time = decoder->wantedTime;
        step = decoder->wantedStep;
        expected = decoder->wantedGeneration;
      }
      VideoDecoder& video = decoder->decoder;
      size_t index = requested;
      std::shared_ptr<const FrameTable> table;
      if (time >= 0) {
        // The frames there first (the picture waits for nothing else); the table is read on
        // ahead once it is on its way.
        index = step != 0 ? frameStepped(video, time, step) : (video.extendTo(time), video.frameIndexAt(time));
        table = extendTable(video, time, true);
      }
      ImagePtr image = video.frameAt(index);
      ErrorPtr failure = image ? nullptr : fetchFailure(decoder->source);
      const bool damaged = !image && !failure && video.lastFrameDamaged();
      DispatchQueue::main()->async([weak, image, expected, index, requested, failure, table, damaged, step] {
        auto s = weak.lock();
        if (!s || s->state_->generation != expected) return;
        State& st = *s->state_;
        if (failure) {  // no frame will come
          st.fail(failure);
          return;
        }
        if (table) {
          const bool stillWanted = st.displayedIndex == requested;
          st.adoptTable(*table);
          if (stillWanted) st.displayedIndex = index;
          if (stillWanted && step != 0 && st.playback != DKPlaybackStatePlaying && index < st.frameTimes.size()) {
            st.storedTime = st.frameTimes[index];
          }
        }
        // Nothing to show where the first picture was awaited (the frame does not decode, for
        // whatever reason): as damage, or playing would wait for it for ever.
        if (damaged || (!image && st.awaitingPicture && index == st.displayedIndex)) {
          st.passOverDamage(index);
          return;
        }
        if (!image) {
          if (index == st.displayedIndex) st.blank = true;
          return;
        }
        st.shownGood = true;
        st.damagedSince = -1;
        st.frame = image;
        st.frameTime = index < st.frameTimes.size() ? st.frameTimes[index] : -1;
        if (st.layer) st.layer->setContents(image);
        if (st.awaitingPicture && st.rate > 0) st.play();
      });
      // Read on ahead once the picture is on its way.
      if (!failure && index < video.frameCount()) {
        if (auto more = extendTable(video, video.frameTimes()[index] + kTableReadAheadSeconds, false)) {
          DispatchQueue::main()->async([weak, expected, more] {
            auto s = weak.lock();
            if (s && s->state_->generation == expected) s->state_->adoptTable(*more);
          });
        }
      }
      std::lock_guard lock(decoder->mutex);
      if (decoder->wanted == requested && decoder->wantedTime == time && decoder->wantedGeneration == expected) {
        decoder->decoding = false;
        return;
      }
    }
  });
}

// A frame that does not decode cleanly keeps the last good picture on screen; the item fails
// when it has shown nothing good yet, or nothing good for a while of its own time.
void DKCameraStreamer::State::passOverDamage(size_t index) {
  const double t = index < frameTimes.size() ? frameTimes[index] : 0;
  if (damagedSince < 0) damagedSince = t;
  if (!shownGood || std::abs(t - damagedSince) >= kDamagedSecondsPassedOver) {
    fail(Error::make(kStreamerErrorDomain, 8, "The recording's video is damaged"));
  }
}

void DKCameraStreamer::State::fetch(bool again) {
  // A probe keeps the generation: frames asked for meanwhile still show, and its answer (a
  // longer take is adopted even when nobody waits for it any more) is dropped only with the item.
  if (again && probing) return;
  const uint64_t expected = again ? generation : ++generation;
  probing = again;
  if (!again || !source) {
    if (source) source->cancel();
    source.reset();
    const StreamerEnvironment environment = StreamerEnvironment::current();
    char path[128];
    std::snprintf(path, sizeof path, "/media/cameras/%lld/recordings/%lld.mp4",
                  static_cast<long long>(item->cameraId()), static_cast<long long>(item->recordingId()));
    const std::string url = environment.baseURL + path;
    ErrorPtr error;
    if (!mayCarryCredential(url, environment.baseURL, LoopbackHttp::Refused)) {
      error = Error::make(kStreamerErrorDomain, 7, "The recording's address is not the cloud's secure address");
    } else {
      source = RecordingSource::create(url, DKAccessTokenProvider::accessToken(), environment.limits, &error);
    }
    if (!source) {
      DispatchQueue::main()->async([weak = owner, error, expected] {
        auto s = weak.lock();
        if (s && s->state_->generation == expected) s->state_->fail(error);
      });
      return;
    }
  }
  auto weak = owner;
  decodeQueue->async([weak, source = source, expected, again, known = again ? duration : 0.0] {
    if (again && !source->refreshGrowth()) {
      const bool stillOpen = source->isOpenRecording();
      DispatchQueue::main()->async([weak, source, expected, stillOpen] {
        auto s = weak.lock();
        if (!s || s->state_->generation != expected) return;
        State& st = *s->state_;
        st.probing = false;
        if (auto error = fetchFailure(source)) {
          st.fail(error);
        } else if (!stillOpen) {
          st.closedAtItsEnd();
        } else if (st.parked) {
          st.awaitGrowth();
        }
      });
      return;
    }
    auto fresh = std::make_shared<DecoderBox>();
    fresh->source = source;
    VideoDecoder::Input input;
    input.read = [source](int64_t offset, uint8_t* out, int64_t count) { return source->read(offset, out, count); };
    input.size = [source] { return source->size(); };
    input.prefetch = [source](int64_t offset, int64_t length) { source->prefetch(offset, length); };
    std::string why;
    const bool ok = fresh->decoder.open(std::move(input), &why);
    // A longer take of a fragmented recording: its table as far as the shorter one's was read.
    if (ok && again) fresh->decoder.extendTo(known + kTableReadAheadSeconds);
    const bool open = source->isOpenRecording();
    DispatchQueue::main()->async([weak, fresh, ok, why, expected, again, open] {
      auto s = weak.lock();
      if (!s || s->state_->generation != expected) return;
      State& st = *s->state_;
      if (again) st.probing = false;
      if (auto error = fetchFailure(fresh->source)) {
        st.fail(error);
        return;
      }
      if (!ok) {
        st.fail(Error::make(kStreamerErrorDomain, 3, "The recording's video cannot be played: " + why));
        return;
      }
      st.openRecording = open;
      st.opened(fresh, again);
    });
  });
}

void DKCameraStreamer::State::awaitGrowth() {
  const uint64_t expected = generation;
  growthTimer = Timer::scheduled(kGrowthProbeSeconds, false, DispatchQueue::main(), [weak = owner, expected] {
    auto s = weak.lock();
    if (s && s->state_->generation == expected && s->state_->parked) s->state_->fetch(true);
  });
}

void DKCameraStreamer::State::opened(const std::shared_ptr<DecoderBox>& fresh, bool again) {
  const double previous = duration;
  box = fresh;
  sound.setSource(fresh->source, fresh->decoder.movieBox(), fresh->decoder.fragmentIndex(),
                  fresh->decoder.startTime());
  frameTimes = fresh->decoder.frameTimes();
  duration = fresh->decoder.duration();
  tableComplete = fresh->decoder.complete();
  tableToEnd = fresh->decoder.reachesEnd();
  gaps = fresh->decoder.gapsAfter();
  item->setDuration(duration);
  item->setCapabilitiesMask(item->isLive() ? uint64_t{0} : uint64_t{DKStreamerItemCapabilitySeek});
  if (!again) {
    displayedIndex = 0;
    failure.reset();
    setStatus(DKCameraStreamerStatusReadyToPlay);
    // The first frame is decoded only when nothing else was asked for in answer to "ready": a
    // hand-off seeks at once, and decoding the start first would read and decode it for nothing.
    asked = false;
    DispatchQueue::main()->async([weak = owner, expected = generation] {
      auto s = weak.lock();
      if (s && s->state_->generation == expected && !s->state_->asked) s->state_->show(0);
    });
    return;
  }
  // A longer take of an open recording: playback waiting at the end carries on from there.
  if (duration > previous + 1e-9) {
    notify([d = duration](DKCameraStreamerDelegete& dl, const DKCameraStreamerPtr& s) {
      if (dl.respondsToSelector("cameraStreamer:onCurrentItemDurationChanged:")) {
        dl.cameraStreamerOnCurrentItemDurationChanged(s, d);
      }
    });
    if (!parked) return;  // moved elsewhere meanwhile: it stays where it is
    unpark();
    storedTime = std::min(storedTime, duration);
    show(indexAt(storedTime));
    if (rate > 0) {
      play();
    } else {
      setPlayback(DKPlaybackStatePaused);
    }
    return;
  }
  if (!parked) return;
  if (openRecording) {
    awaitGrowth();  // more bytes, not yet a longer video
    return;
  }
  unpark();
  storedTime = duration;
  setPlayback(DKPlaybackStateEnded);
}

void DKCameraStreamer::State::adoptTable(const FrameTable& table) {
  const double previous = duration;
  // The frame shown keeps its place by its time: frames read before it move it along.
  const double shownAt = displayedIndex < frameTimes.size() ? frameTimes[displayedIndex] : -1;
  frameTimes = table.times;
  duration = table.duration;
  tableComplete = table.complete;
  tableToEnd = table.toEnd;
  gaps = table.gaps;
  if (shownAt >= 0) displayedIndex = indexAt(shownAt);
  if (item) item->setDuration(duration);
  if (duration > previous + 1e-9) {
    sound.setDuration(duration);
    notify([d = duration](DKCameraStreamerDelegete& dl, const DKCameraStreamerPtr& s) {
      if (dl.respondsToSelector("cameraStreamer:onCurrentItemDurationChanged:")) {
        dl.cameraStreamerOnCurrentItemDurationChanged(s, d);
      }
    });
  }
  if (!awaitingTable) return;
  if (storedTime < duration - 1e-9) {  // there now: playback carries on
    unpark();
    show(indexAt(storedTime));
    if (playOnAfterTable && rate > 0) {
      play();
    } else {
      setPlayback(DKPlaybackStatePaused);
    }
    return;
  }
  if (!tableToEnd) return;  // still reading on
  unpark();
  storedTime = duration;
  if (openRecording) {
    park();
    return;
  }
  setPlayback(DKPlaybackStateEnded);
}

void DKCameraStreamer::seekTo(double seconds) {
  State& s = *state_;
  s.log.push_back("seekTo:" + number(seconds));
  if (!s.item || s.status != DKCameraStreamerStatusReadyToPlay || s.frameTimes.empty()) return;
  if (!s.tableToEnd && std::isfinite(seconds) && seconds >= s.duration) {
    // Past the fragments read so far of a recording without an index of them: read on first.
    const bool playOn = s.playback == DKPlaybackStatePlaying || s.playback == DKPlaybackStateEnded || s.parked ||
                        s.awaitingPicture;
    s.storedTime = seconds;
    s.stopClock();
    s.awaitTable(seconds, playOn);
    return;
  }
  if (s.openRecording && std::isfinite(seconds) && seconds >= s.duration) {
    // Past what has been read of a recording still being recorded: ask now, then play there.
    s.storedTime = seconds;
    s.stopClock();
    s.park();
    return;
  }
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  // Within what has been read: the wait for growth, if any, ends here.
  const bool wasParked = s.parked;
  s.unpark();
  if (seconds >= s.duration) {
    s.storedTime = s.duration;
    s.awaitingPicture = false;
    s.stopClock();
    s.show(s.frameTimes.size() - 1);
    s.setPlayback(DKPlaybackStateEnded);
    return;
  }
  s.storedTime = seconds;
  s.show(s.indexAt(seconds), seconds);
  if (s.playback == DKPlaybackStatePlaying) {
    s.startClock();
  } else if (s.playback == DKPlaybackStateEnded || wasParked) {
    if (s.rate > 0) {
      s.play();
    } else {
      s.setPlayback(DKPlaybackStatePaused);
    }
  }
}

void DKCameraStreamer::stepBy(int64_t frames) {
  State& s = *state_;
  s.log.push_back("stepBy:" + std::to_string(frames));
  if (!s.item || s.status != DKCameraStreamerStatusReadyToPlay || s.frameTimes.empty()) return;
  const int64_t last = static_cast<int64_t>(s.frameTimes.size()) - 1;
  // Waiting at the end of an open recording counts as being past its last frame.
  const bool atEnd = s.playback == DKPlaybackStateEnded || s.parked;
  s.unpark();
  const int64_t from = atEnd ? last + 1 : static_cast<int64_t>(s.displayedIndex);
  const auto index = static_cast<size_t>(std::clamp<int64_t>(from + frames, 0, last));
  s.storedTime = s.frameTimes[index];
  // Across frames not read yet (or past the last read): the decoder reads them and steps there.
  const size_t low = std::min<size_t>(index, static_cast<size_t>(std::min<int64_t>(from, last)));
  const size_t high = std::max<size_t>(index, static_cast<size_t>(std::min<int64_t>(from, last)));
  const auto gap = std::lower_bound(s.gaps.begin(), s.gaps.end(), low);
  const bool acrossGap = gap != s.gaps.end() && *gap < high;
  const bool pastRead = !s.tableToEnd && from + frames > last && !atEnd;
  if (!s.tableComplete && (acrossGap || pastRead) && from <= last) {
    s.show(static_cast<size_t>(from), s.frameTimes[static_cast<size_t>(from)], frames);
  } else {
    s.show(index);
  }
  if (s.playback == DKPlaybackStatePlaying) {
    s.startClock();
  } else if (atEnd) {
    s.setPlayback(DKPlaybackStatePaused);
  }
}

}  // namespace dk::platform
