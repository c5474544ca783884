// VideoDecoder's frame table: made from the whole file at open (scanned, or from the demuxer's
// index with the movie box's composition offsets), or for a fragmented file read on fragment by
// fragment (runs of fragments, gaps between them, placing the demuxer at a far fragment).
#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "platform/media/recordings/mp4_boxes.h"
#include "platform/media/recordings/video_decoder.h"
#include "platform/media/recordings/video_decoder_impl.h"

namespace dk::platform {
namespace {

// The fewest bytes a sample of a plain file takes on average: its entry in the index and its
// picture together take far more. An index claiming more samples than its file can carry so is
// hostile (a few bytes may claim millions).
constexpr int64_t kLeastSampleBytes = 16;

// Beyond the frames read, a time at most this far is reached by reading the fragments on to it.
constexpr double kWalkSeconds = 12;

// Times from the file beyond this either way are refused, so that the sum or difference of two
// (a frame's length, a shift between time lines) stays in range.
constexpr int64_t kFarthestTicks = int64_t{1} << 62;

std::optional<int64_t> withinReach(int64_t t) {
  return t > -kFarthestTicks && t < kFarthestTicks ? std::optional<int64_t>(t) : std::nullopt;
}

std::optional<int64_t> sum(int64_t a, int64_t b) {
  int64_t out = 0;
  return __builtin_add_overflow(a, b, &out) ? std::nullopt : withinReach(out);
}

std::optional<int64_t> difference(int64_t a, int64_t b) {
  int64_t out = 0;
  return __builtin_sub_overflow(a, b, &out) ? std::nullopt : withinReach(out);
}

}  // namespace

// Adds the key samples from `from` on. A table with none flagged key decodes from its first
// sample, so that every frame has a key sample to start from (and damage a group to count in).
void VideoDecoder::Impl::addKeySamples(size_t from) {
  for (size_t i = from; i < samples.size(); ++i) {
    if (samples[i].key) keySamples.push_back(i);
  }
  if (keySamples.empty() && !samples.empty()) keySamples.push_back(0);
}

// Every packet read once: exact presentation times, whatever the container's index says.
bool VideoDecoder::Impl::scanFrameTable(std::string* why, int64_t* end) {
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == stream && packet->dts != AV_NOPTS_VALUE) {
      Sample s;
      s.dts = packet->dts;
      s.pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      s.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
      s.presented = (packet->flags & AV_PKT_FLAG_DISCARD) == 0;
      s.ptsRead = true;
      if (!samples.empty() && s.dts <= samples.back().dts) {
        av_packet_unref(packet);
        *why = "decode times do not increase";
        return false;
      }
      if (s.presented && packet->duration > 0) *end = std::max(*end, s.pts + packet->duration);
      samples.push_back(s);
    }
    av_packet_unref(packet);
  }
  return true;
}

// The table from the demuxer's index (the sample tables of the movie header), reading nothing
// but the first packet: a video read over the network then fetches only what it plays. The index
// holds decode times (edit list applied, cut samples flagged); presentation times add each
// sample's composition offset from the movie box (sampleDelays). 1 when made,
// 0 when the index does not cover the stream (a fragmented file; nothing has been read), -1 when
// the video is unusable.
int VideoDecoder::Impl::indexFrameTable(std::string* why) {
  AVStream* st = format->streams[stream];
  const int count = avformat_index_get_entries_count(st);
  if (count <= 0 || (st->nb_frames > 0 && count < st->nb_frames)) return 0;
  // A few bytes may claim millions of samples: the table, and the offsets read for it, stay
  // bounded by what the file's bytes can hold (a long recording holds millions).
  const int64_t bytes = fileSize();
  if (bytes > 0 ? count > bytes / kLeastSampleBytes : count > kMostFragmentSamples) {
    *why = "more frames than a recording holds";
    return -1;
  }
  int64_t delay = 0;
  bool sawPacket = false;
  int64_t firstDts = AV_NOPTS_VALUE, firstPts = AV_NOPTS_VALUE, firstPos = -1;
  while (av_read_frame(format, packet) >= 0) {
    const bool ours = packet->stream_index == stream;
    if (ours && packet->pts != AV_NOPTS_VALUE && packet->dts != AV_NOPTS_VALUE) {
      delay = difference(packet->pts, packet->dts).value_or(-1);
      firstDts = packet->dts;
      firstPts = packet->pts;
      firstPos = packet->pos;
    }
    av_packet_unref(packet);
    if (ours) {
      sawPacket = true;
      break;
    }
  }
  if (!sawPacket || delay < 0) {
    *why = sawPacket ? "presentation before decoding" : "the video has no frames";
    return -1;
  }
  if (const int lazy = lazyFragmentTable(firstDts, firstPts, firstPos, why); lazy != 0) return lazy;
  const SampleDelays delays = sampleDelays(count, firstDts, firstPts, firstPos);
  samples.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const AVIndexEntry* e = avformat_index_get_entry(st, i);
    if (!e || (!samples.empty() && e->timestamp <= samples.back().dts)) {
      *why = "decode times do not increase";
      return -1;
    }
    Sample s;
    s.dts = e->timestamp;
    s.pts = e->timestamp + delays.of(e->pos, delay);
    s.key = (e->flags & AVINDEX_KEYFRAME) != 0;
    s.presented = (e->flags & AVINDEX_DISCARD_FRAME) == 0;
    if (s.dts == firstDts) {
      s.pts = firstPts;
      s.ptsRead = true;
    }
    samples.push_back(s);
  }
  return 1;
}

// A fragmented file: the table starts with the fragment of the first packet (or with the movie
// box's own samples, where the first fragment is kept), and the others join as frames near its
// end are asked for (extendTo), so that opening reads the same few pieces whatever the file's
// length. Where the file's index says where its last fragment is, that fragment gives the whole
// length at once. 1 when made, 0 when the file is not fragmented (or its first fragment is not
// where the demuxer found the first packet).
int VideoDecoder::Impl::lazyFragmentTable(int64_t firstDts, int64_t firstPts, int64_t firstPos, std::string* why) {
  if (!reader || !movie || firstPos < 0 || firstDts == AV_NOPTS_VALUE) return 0;
  const int64_t size = fileSize();
  AVStream* st = format->streams[stream];
  fragments = mp4Fragments(*movie, reader->input.read, size, st->id, kLargestMovieBox);
  if (!fragments) return 0;
  locator.emplace(*fragments, reader->input.read, reader->input.prefetch,
                  st->time_base.num == 1 ? st->time_base.den : 0, kMostFragmentSamples, kLargestMovieBox);
  FragmentRun run;
  run.cursor = *fragments;
  std::vector<Mp4SampleOffset> found;
  // Fragments with no sample of the track before the first packet (as the demuxer passed over
  // them) are passed over too: the table starts at the fragment that holds it.
  do {
    if (!mp4NextFragment(run.cursor, reader->input.read, kMostFragmentSamples, kLargestMovieBox, &found)) {
      fragments.reset();
      return 0;
    }
  } while (found.empty() && !run.cursor.done && run.cursor.next <= firstPos);
  const auto first = std::find_if(found.begin(), found.end(),
                                  [&](const Mp4SampleOffset& o) { return o.position == firstPos; });
  samples.clear();
  if (first != found.end()) {
    const auto dtsShift = difference(firstDts, first->decodeTime);
    const auto ptsShift = difference(firstPts - firstDts, first->offset);  // (firstPts - firstDts checked at the first packet)
    if (!dtsShift || !ptsShift) {
      fragments.reset();
      return 0;
    }
    fragmentDtsShift = *dtsShift;
    fragmentPtsShift = *ptsShift;
  } else {
    // The first fragment's samples in the movie box's own tables (no empty movie box): those
    // from the demuxer's index, then the fragment read, which follows them.
    const int count = avformat_index_get_entries_count(st);
    const int64_t moof = run.cursor.lastMoof >= 0 ? run.cursor.lastMoof : size;
    const AVIndexEntry* head = count > 0 ? avformat_index_get_entry(st, 0) : nullptr;
    if (!head || head->pos != firstPos || firstPos >= moof) {
      fragments.reset();
      return 0;
    }
    const SampleDelays delays = sampleDelays(count, firstDts, firstPts, firstPos);
    for (int i = 0; i < count; ++i) {
      const AVIndexEntry* e = avformat_index_get_entry(st, i);
      if (!e || e->pos >= moof) break;
      if (!samples.empty() && e->timestamp <= samples.back().dts) {
        *why = "decode times do not increase";
        return -1;
      }
      Sample s;
      s.dts = e->timestamp;
      s.pts = e->timestamp + delays.of(e->pos, firstPts - firstDts);
      s.key = (e->flags & AVINDEX_KEYFRAME) != 0;
      s.presented = (e->flags & AVINDEX_DISCARD_FRAME) == 0;
      s.ptsRead = s.dts == firstDts;
      if (s.ptsRead) s.pts = firstPts;
      samples.push_back(s);
    }
    // The movie box's decode times start at 0, the fragments' follow on from them; the demuxer
    // shifts both alike by the edit list, but only the movie box's by the shift that keeps
    // negative composition offsets (version-1 tables) from showing a picture before it is
    // decoded. That shift comes back in every presentation time, the fragments' too.
    fragmentDtsShift = head->timestamp + (delays.offsets.empty() ? 0 : delays.shift);
    fragmentPtsShift = delays.offsets.empty() ? firstPts - firstDts : delays.shift;
    if (!indexFrames(0)) {
      *why = "two frames share a presentation time";
      return -1;
    }
    run.firstDts = samples.front().dts;
    for (const Sample& s : samples) {
      run.firstPts = std::min(run.firstPts, s.pts);
      run.lastPts = std::max(run.lastPts, s.pts);
    }
  }
  tableComplete = false;
  runs.push_back(run);
  runs[0].begin = 0;
  const size_t own = samples.size();
  if (!insertFragment(0, found, own > 0 ? run.cursor.lastMoof : -1)) {
    *why = "decode times do not increase";
    return -1;
  }
  if (own > 0) fragmentStarts.insert(fragmentStarts.begin(), {samples.front().dts, -1});
  indexedDuration = lengthFromIndex();
  return 1;
}

// The whole length, where the file's index says where its last fragment is: after its last
// picture by the step from the one before, read from the fragment before when the last holds one
// picture alone (a fragment a frame). 0 when the index says nothing or the table reaches the end.
double VideoDecoder::Impl::lengthFromIndex() {
  int64_t at = !reachesEnd() ? fragments->lastFragment : -1;
  std::vector<int64_t> pts;
  for (int fragment = 0; fragment < 2 && at >= 0 && pts.size() < 2; ++fragment) {
    std::vector<Mp4SampleOffset> there;
    if (!mp4FragmentAt(*fragments, reader->input.read, at, kMostFragmentSamples, kLargestMovieBox, &there)) break;
    for (const Mp4SampleOffset& o : there) {
      if (const auto times = fragmentTimes(o)) pts.push_back(times->second);
    }
    // The fragment before it in the file.
    int64_t before = -1;
    if (fragments->indexed()) {
      for (const Mp4Fragments::Entry& e : fragments->index->entries) {
        if (e.moof < at) before = std::max(before, e.moof);
      }
    }
    at = before;
  }
  std::sort(pts.begin(), pts.end());
  return pts.size() >= 2 ? lengthAfter(pts.back(), pts[pts.size() - 2], INT64_MIN) : 0;
}

// A fragment's sample on the demuxer's time line: its decode and presentation times, or nothing
// when they are out of reach (hostile times).
std::optional<std::pair<int64_t, int64_t>> VideoDecoder::Impl::fragmentTimes(const Mp4SampleOffset& o) const {
  const auto dts = sum(o.decodeTime, fragmentDtsShift);
  const auto shift = dts ? sum(o.offset, fragmentPtsShift) : std::nullopt;
  const auto pts = shift ? sum(*dts, *shift) : std::nullopt;
  if (!pts) return std::nullopt;
  return std::make_pair(*dts, *pts);
}

int64_t VideoDecoder::Impl::firstPtsOf(const std::vector<Mp4SampleOffset>& found) const {
  int64_t first = INT64_MAX;
  for (const Mp4SampleOffset& o : found) {
    if (const auto times = fragmentTimes(o)) first = std::min(first, times->second);
  }
  return first;
}

// Puts one fragment's samples (in decode order) into the table, at their place among those of
// the fragments read before, as the latest of run `run`. False, adding none, when they do not fit
// between their neighbours or two frames would share a time.
bool VideoDecoder::Impl::insertFragment(size_t run, const std::vector<Mp4SampleOffset>& found, int64_t moof) {
  if (found.empty()) return true;
  std::vector<Sample> add;
  add.reserve(found.size());
  for (const Mp4SampleOffset& o : found) {
    const auto times = fragmentTimes(o);
    if (!times) return false;
    Sample s;
    s.dts = times->first;
    s.pts = times->second;
    s.key = o.key;
    s.presented = true;
    s.ptsRead = true;
    if (!add.empty() && s.dts <= add.back().dts) return false;
    add.push_back(s);
  }
  const size_t at = sampleOfDts(add.front().dts);
  if (at < samples.size() && samples[at].dts <= add.back().dts) return false;
  const bool appended = at == samples.size();
  const size_t count = add.size();
  samples.insert(samples.begin() + static_cast<std::ptrdiff_t>(at), add.begin(), add.end());
  auto undo = [&] {
    samples.erase(samples.begin() + static_cast<std::ptrdiff_t>(at),
                  samples.begin() + static_cast<std::ptrdiff_t>(at + count));
    rebuildFrames();
    return false;
  };
  if (appended) {
    if (!indexFrames(at)) return undo();
  } else {
    // Frames before others already read: every index from here on moves along.
    if (sessionStart >= static_cast<long>(at)) sessionStart += static_cast<long>(count);
    if (nextSample > at) nextSample += count;
    if (lastSent >= static_cast<long>(at)) lastSent += static_cast<long>(count);
    std::map<size_t, size_t> moved;
    for (auto [key, first] : damagedGroups) moved[key >= at ? key + count : key] = first >= at ? first + count : first;
    damagedGroups = std::move(moved);
    if (!rebuildFrames()) {
      sessionStart = -1;
      return undo();
    }
  }
  FragmentRun& r = runs[run];
  if (r.firstDts == INT64_MIN) r.firstDts = add.front().dts;
  for (const Sample& s : add) {
    r.firstPts = std::min(r.firstPts, s.pts);
    r.lastPts = std::max(r.lastPts, s.pts);
  }
  const auto place = std::lower_bound(fragmentStarts.begin(), fragmentStarts.end(), std::make_pair(add.front().dts, INT64_MIN));
  fragmentStarts.insert(place, {add.front().dts, moof});
  noteTableShape();
  return true;
}

bool VideoDecoder::Impl::rebuildFrames() {
  keySamples.clear();
  frameSample.clear();
  framePts.clear();
  frameTimes.clear();
  const bool ok = indexFrames(0);
  if (keySamples.empty() && !samples.empty()) keySamples.push_back(0);
  return ok;
}

void VideoDecoder::Impl::noteTableShape() {
  gapsAfter.clear();
  for (size_t r = 1; r < runs.size(); ++r) {
    const auto k = static_cast<size_t>(std::lower_bound(framePts.begin(), framePts.end(), runs[r].firstPts) - framePts.begin());
    if (k > 0) gapsAfter.push_back(k - 1);
  }
  tableComplete = runs.size() == 1 && runs[0].cursor.done;
}

// Reads the next fragment of run `run` into the table; a run that reaches the next joins it.
// False when there is none (the run has reached the file's end) or it cannot be read or does
// not fit: the table then ends at the fragments before it.
bool VideoDecoder::Impl::readFragment(size_t run) {
  if (runs[run].cursor.done) return false;
  Mp4Fragments cursor = runs[run].cursor;
  std::vector<Mp4SampleOffset> found;
  const int64_t room = kMostFragmentSamples - static_cast<int64_t>(samples.size());
  bool ok = room > 0 && mp4NextFragment(cursor, reader->input.read, room, kLargestMovieBox, &found);
  if (ok && run + 1 < runs.size() && (cursor.done || cursor.lastMoof >= runs[run + 1].begin)) {
    runs[run].cursor = runs[run + 1].cursor;
    runs[run].lastPts = std::max(runs[run].lastPts, runs[run + 1].lastPts);
    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(run) + 1);
    noteTableShape();
    return true;
  }
  runs[run].cursor = cursor;
  if (ok && !cursor.done) ok = insertFragment(run, found, cursor.lastMoof);
  if (!ok) {
    // The table ends here: what was read beyond this run goes with the fragments it cannot reach.
    if (run + 1 < runs.size()) {
      samples.resize(sampleOfDts(runs[run + 1].firstDts));
      runs.resize(run + 1);
      const int64_t end = samples.empty() ? INT64_MIN : samples.back().dts + 1;
      fragmentStarts.erase(std::lower_bound(fragmentStarts.begin(), fragmentStarts.end(), std::make_pair(end, INT64_MIN)),
                           fragmentStarts.end());
      if (sessionStart >= static_cast<long>(samples.size())) sessionStart = -1;
      rebuildFrames();
    }
    runs[run].cursor.done = true;
  }
  noteTableShape();
  return ok && !cursor.done;
}

// The run whose frames a time falls among or after: the last that starts at or before it.
size_t VideoDecoder::Impl::runFor(int64_t pts) const {
  size_t r = 0;
  while (r + 1 < runs.size() && runs[r + 1].firstPts <= pts) ++r;
  return r;
}

// Starts a run at the fragment that holds `pts`, far beyond run `run` (mp4_fragment_locator.h). False when none is found between `run` and the run after it.
bool VideoDecoder::Impl::landAt(int64_t pts, size_t run) {
  const int64_t from = runs[run].cursor.next;
  const int64_t to = run + 1 < runs.size() ? runs[run + 1].begin : fileSize();
  if (to <= from) return false;
  const FragmentRun& r = runs[run];
  const double bytesPerTick = r.lastPts > r.firstPts ? static_cast<double>(r.cursor.next - r.begin) /
                                                           static_cast<double>(r.lastPts - r.firstPts)
                                                     : 0;
  const int64_t lastBytes = r.cursor.lastMoof >= 0 ? r.cursor.next - r.cursor.lastMoof : 0;
  const int64_t moof =
      locator->locate(pts, fragmentDtsShift, {from, to, r.lastPts, bytesPerTick, lastBytes},
                      [this](const std::vector<Mp4SampleOffset>& there) { return firstPtsOf(there); });
  if (moof <= from || moof >= to) return false;
  FragmentRun landed;
  landed.begin = moof;
  landed.cursor = *fragments;
  landed.cursor.next = moof;
  landed.cursor.done = false;
  runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(run) + 1, landed);
  if (!readFragment(run + 1)) {
    if (run + 1 < runs.size() && runs[run + 1].firstDts == INT64_MIN) {
      runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(run) + 1);
    }
    noteTableShape();
    return false;
  }
  return true;
}

// The run a sample was read in.
size_t VideoDecoder::Impl::runOfSample(size_t sample) const {
  size_t r = 0;
  while (r + 1 < runs.size() && runs[r + 1].firstDts != INT64_MIN && runs[r + 1].firstDts <= samples[sample].dts) ++r;
  return r;
}

// Reads the fragment just before run `run`, which starts far from the one before it: pictures
// of an open group shown before its key frame are decoded from the group before.
bool VideoDecoder::Impl::readFragmentBefore(size_t run) {
  if (run == 0 || run >= runs.size() || runs[run].firstPts == INT64_MAX) return false;
  const size_t count = samples.size();
  if (landAt(runs[run].firstPts - 1, run - 1)) return true;
  // It follows the run before straight on.
  return readFragment(run - 1) && samples.size() > count;
}

// The fragment a sample's bytes are in, for placing the demuxer (-1: the first, or not fragmented).
int64_t VideoDecoder::Impl::fragmentOfSample(size_t sample) const {
  if (fragmentStarts.empty() || sample >= samples.size()) return -1;
  auto it = std::upper_bound(fragmentStarts.begin(), fragmentStarts.end(), std::make_pair(samples[sample].dts, INT64_MAX));
  if (it == fragmentStarts.begin()) return -1;
  --it;
  return it == fragmentStarts.begin() ? -1 : it->second;
}

// Opens the demuxer again so that it reads on from fragment `moof` (-1: the file's start),
// shown everything between the movie box and that fragment as one box to skip: it opened with
// its own index ignored, and would otherwise read every fragment before it.
bool VideoDecoder::Impl::placeDemuxer(int64_t moof) {
  if (!reader || !movie) return format != nullptr;
  moof = placeableFragment(*movie, moof);
  if (moof == demuxerAt && format) return true;
  if (pending) av_packet_unref(packet);
  pending = false;
  demuxerAt = -2;  // tried again at the next seek when this fails
  if (!reopenReaderInputAt(reader.get(), moof, kInputBufferBytes, kStreamedRecordingInputPolicy, &io, &format, stream)) {
    return false;
  }
  demuxerAt = moof;
  return true;
}

// The composition offsets of the movie box's own table: each picture's presentation time is its
// decode time plus its own offset (which varies with B-frames at a variable frame rate), shifted
// as the demuxer shifts them all (edit list, negative offsets); the first packet says by how much.
VideoDecoder::Impl::SampleDelays VideoDecoder::Impl::sampleDelays(int count, int64_t firstDts, int64_t firstPts,
                                                                  int64_t firstPos) const {
  SampleDelays delays;
  if (!reader || firstPos < 0 || firstDts == AV_NOPTS_VALUE) return delays;
  const int64_t size = reader->input.size ? reader->input.size() : -1;
  if (!movie) return delays;
  auto table = mp4CompositionOffsets(*movie, reader->input.read, size, format->streams[stream]->id,
                                     std::max<int64_t>(static_cast<int64_t>(count) * 2 + 16, kMostFragmentSamples),
                                     kLargestMovieBox);
  if (!table || table->empty()) return delays;
  delays.offsets = std::move(*table);
  const int64_t* first = delays.find(firstPos);
  if (!first) {
    delays.offsets.clear();
    return delays;
  }
  delays.shift = firstPts - firstDts - *first;
  return delays;
}

// A recording cut short (an upload that stopped) still indexes the samples it lost. The table
// keeps the samples whose bytes are all in the file up to the first one that is not (those after
// it may be predicted from it), and shows no frame from the first lost one's time on: playback
// ends at the last whole frame, and the length with it. (A fragmented file's table holds only the
// fragments read, listed as they came: the demuxer's index says nothing of them.)
void VideoDecoder::Impl::dropLostSamples() {
  if (fragments) return;
  const int64_t fileSize = format->pb ? avio_size(format->pb) : -1;
  AVStream* st = format->streams[stream];
  if (fileSize <= 0 || avformat_index_get_entries_count(st) != static_cast<int>(samples.size())) return;
  size_t whole = 0;
  while (whole < samples.size()) {
    const AVIndexEntry* e = avformat_index_get_entry(st, static_cast<int>(whole));
    if (!e || e->pos < 0 || e->pos + e->size > fileSize) break;
    ++whole;
  }
  if (whole == samples.size()) return;
  int64_t firstLost = INT64_MAX;
  for (size_t i = whole; i < samples.size(); ++i) {
    if (samples[i].presented) firstLost = std::min(firstLost, samples[i].pts);
  }
  samples.resize(whole);
  for (Sample& s : samples) {
    if (s.pts >= firstLost) s.presented = false;
  }
}

// Adds the samples from `from` on to the key and frame lists: frames already listed keep their
// place unless a new one is shown before them. False when two frames share a presentation time
// (or times so large that they read as one): the frame list then ends before the second.
bool VideoDecoder::Impl::indexFrames(size_t from) {
  // Lists that still name samples from `from` on (left by a fragment that did not fit) are made
  // anew, so that no listed index points past the samples.
  if (std::any_of(frameSample.begin(), frameSample.end(), [&](size_t s) { return s >= from; }) ||
      std::any_of(keySamples.begin(), keySamples.end(), [&](size_t s) { return s >= from; })) {
    return rebuildFrames();
  }
  size_t firstNew = frameSample.size();
  addKeySamples(from);
  for (size_t i = from; i < samples.size(); ++i) {
    if (samples[i].presented) frameSample.push_back(i);
  }
  auto byPts = [&](size_t a, size_t b) { return samples[a].pts < samples[b].pts; };
  std::sort(frameSample.begin() + static_cast<std::ptrdiff_t>(firstNew), frameSample.end(), byPts);
  // A new frame shown before the last listed one: the whole list is sorted again. (By the times
  // the samples hold now: the packets read since may have corrected the estimates listed.)
  if (firstNew > 0 && firstNew < frameSample.size() && framePts[firstNew - 1] >= samples[frameSample[firstNew]].pts) {
    std::sort(frameSample.begin(), frameSample.end(), byPts);
    firstNew = 0;
  }
  framePts.resize(firstNew);
  frameTimes.resize(firstNew);
  for (size_t k = firstNew; k < frameSample.size(); ++k) {
    const int64_t pts = samples[frameSample[k]].pts;
    const double time = secondsOf(pts);
    if (!framePts.empty() && (framePts.back() >= pts || frameTimes.back() >= time)) {
      frameSample.resize(k);
      return false;
    }
    framePts.push_back(pts);
    frameTimes.push_back(time);
  }
  return true;
}

// The time after the last picture (shown at `last`, the one before at `before`): `end` when the
// packets say it, else one frame's length on; the movie's length when the edit list ends inside
// the last picture.
double VideoDecoder::Impl::lengthAfter(int64_t last, int64_t before, int64_t end) const {
  // (In doubles: the table's times may span the whole range.)
  const double step = before != INT64_MIN ? std::max(static_cast<double>(last) - static_cast<double>(before), 1.0) : 1.0;
  const double origin = static_cast<double>(originPts);
  double length = ((end > last ? static_cast<double>(end) : static_cast<double>(last) + step) - origin) * timeBase;
  if (format && format->duration > 0) {  // (none while a failed placement is retried)
    // The movie's length counts from its start, the empty stretch an edit list may open with included.
    const double movie = static_cast<double>(format->duration) / AV_TIME_BASE - origin * timeBase;
    if (movie > (static_cast<double>(last) - origin) * timeBase && movie < length) length = movie;
  }
  return length;
}

void VideoDecoder::Impl::settleDuration() {
  if (framePts.empty()) return;
  // A length from the index that ends before the frames read is not believed.
  duration = !reachesEnd() && indexedDuration > frameTimes.back()
                 ? indexedDuration
                 : lengthAfter(framePts.back(), framePts.size() > 1 ? framePts[framePts.size() - 2] : INT64_MIN,
                               INT64_MIN);
}

bool VideoDecoder::Impl::finishFrameTable(int64_t end, std::string* why) {
  if (!fragments && !indexFrames(0)) {  // (a fragmented file's is made as its fragments come)
    *why = "two frames share a presentation time";
    return false;
  }
  if (frameSample.empty()) {
    *why = "the video has no frames";
    return false;
  }
  // Frames read later (a fragmented file's) are never shown before the first fragment's.
  originPts = framePts.front();
  for (size_t k = 0; k < framePts.size(); ++k) frameTimes[k] = secondsOf(framePts[k]);
  if (indexedDuration > 0) indexedDuration -= static_cast<double>(originPts) * timeBase;
  if (fragments) {
    settleDuration();
  } else {
    duration = lengthAfter(framePts.back(), framePts.size() > 1 ? framePts[framePts.size() - 2] : INT64_MIN, end);
  }
  return true;
}

bool VideoDecoder::extendTo(double seconds) {
  Impl& d = *impl_;
  if (!d.codec || d.tableComplete || !d.fragments || d.runs.empty() || std::isnan(seconds)) return false;
  const size_t before = d.frameTimes.size();
  const int64_t target =
      static_cast<int64_t>(std::clamp(seconds / d.timeBase + static_cast<double>(d.originPts), -9e15, 9e15));
  // Farther than this beyond the frames read, the fragment that holds the time is gone to
  // straight; nearer, the fragments are read on to it (as playback reads ahead).
  const auto walk = static_cast<int64_t>(kWalkSeconds / d.timeBase);
  while (std::isinf(seconds) && seconds > 0 && !d.tableComplete && (d.readFragment(0) || !d.runs[0].cursor.done)) {
    // Every frame: the gaps filled from the start, each run joining the next.
  }
  for (;;) {
    const size_t r = d.runFor(target);
    const Impl::FragmentRun& run = d.runs[r];
    if (run.lastPts > target || run.cursor.done) break;
    if (std::isfinite(seconds) && run.lastPts < target - walk && d.landAt(target, r)) continue;
    if (!d.readFragment(r)) break;
  }
  d.settleDuration();
  return d.frameTimes.size() != before;
}

}  // namespace dk::platform
