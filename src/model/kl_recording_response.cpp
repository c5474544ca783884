#include "model/kl_recording_response.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "foundation/server_timestamp.h"
#include "model/model_keys.h"

namespace dk {

using platform::ClassInfo;
using platform::property;
using platform::Value;

namespace {
std::atomic<uint64_t> gTimesGeneration{1};
// Changes scheduled on the shared queue that have not run yet (all lists share the queue).
std::atomic<int64_t> gScheduledChanges{0};

std::optional<double> parseTime(const std::optional<std::string>& text) {
  return text ? parseServerTimestamp(*text) : std::nullopt;
}
}  // namespace

const ClassInfo& KLRecordingResponse::staticClassInfo() {
  static const ClassInfo info(
      "KLRecordingResponse", &KLResponse::staticClassInfo(), [] { return std::make_shared<KLRecordingResponse>(); },
      {property("cameraID", &KLRecordingResponse::cameraID_, {std::string(kCameraIDKey)}),
       property("recordingID", &KLRecordingResponse::recordingID_, {std::string(kRecordingIdKey)}),
       property("startStringTime", &KLRecordingResponse::startStringTime, &KLRecordingResponse::setStartStringTime,
                {std::string(kStartTimeKey)}),
       property("endStringTime", &KLRecordingResponse::endStringTime, &KLRecordingResponse::setEndStringTime,
                {std::string(kEndTimeKey)}),
       property("closed", &KLRecordingResponse::closed_, {std::string(kClosedKey)})});
  return info;
}

std::optional<std::string> KLRecordingResponse::startStringTime() const { return guardedGet(startStringTime_); }
std::optional<std::string> KLRecordingResponse::endStringTime() const { return guardedGet(endStringTime_); }
std::optional<double> KLRecordingResponse::startSeconds() const { return guardedGet(startSeconds_); }
std::optional<double> KLRecordingResponse::endSeconds() const { return guardedGet(endSeconds_); }

void KLRecordingResponse::setStartStringTime(std::optional<std::string> text) {
  auto seconds = parseTime(text);
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  startStringTime_ = std::move(text);
  startSeconds_ = seconds;
  gTimesGeneration.fetch_add(1, std::memory_order_release);
}

void KLRecordingResponse::setEndStringTime(std::optional<std::string> text) {
  auto seconds = parseTime(text);
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  endStringTime_ = std::move(text);
  endSeconds_ = seconds;
  gTimesGeneration.fetch_add(1, std::memory_order_release);
}

bool KLRecordingResponse::containsTime(double t) const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  return startSeconds_ && endSeconds_ && t > *startSeconds_ && t <= *endSeconds_;
}

void KLRecordingResponse::takeTimesFrom(const KLRecordingResponse& other) {
  if (&other == this) return;
  // Read the other one first, then write under our own lock: never both locks at once.
  auto start = other.startStringTime();
  auto end = other.endStringTime();
  auto closed = other.closed();
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  setStartStringTime(std::move(start));
  setEndStringTime(std::move(end));
  setClosed(closed);
}

KLRecordingResponse::Times KLRecordingResponse::times() const {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  return Times{startSeconds_, endSeconds_, closed_};
}

void KLRecordingResponse::closeWithTimes(std::optional<std::string> start, std::optional<std::string> end) {
  std::lock_guard<std::recursive_mutex> lock(propertyMutex());
  if (start) setStartStringTime(std::move(start));
  if (end) {
    setEndStringTime(std::move(end));
    setClosed(true);
  }
}

uint64_t KLRecordingResponse::timesGeneration() { return gTimesGeneration.load(std::memory_order_acquire); }

// Recordings that can contain a time, in list order, with a suffix maximum of their ends so a
// look-up stops as soon as no older recording can reach the time.
struct KLRecordingListResponse::TimeIndex {
  uint64_t valuesVersion = 0;
  uint64_t timesGeneration = 0;
  bool startsDescending = true;
  std::vector<double> starts;
  std::vector<double> ends;
  std::vector<double> suffixMaxEnd;
  Recordings recordings;
};

KLRecordingListResponse::KLRecordingListResponse() : customQueue_(sharedQueue()) {}

const ClassInfo& KLRecordingListResponse::staticClassInfo() {
  static const ClassInfo info(
      "KLRecordingListResponse", &KLListResponse::staticClassInfo(),
      [] { return std::make_shared<KLRecordingListResponse>(); },
      {property("values", &KLRecordingListResponse::values, &KLRecordingListResponse::setValues, {"recordings"},
                platform::arrayTransformer(KLRecordingResponse::staticClassInfo())),
       property("allRecordingsLoaded", &KLRecordingListResponse::allRecordingsLoaded_)});
  return info;
}

platform::QueuePtr KLRecordingListResponse::sharedQueue() {
  static const platform::QueuePtr queue = platform::DispatchQueue::createSerial("com.devicekeeper.kelo.recordingresponse");
  return queue;
}

void KLRecordingListResponse::setValues(Value values) {
  KLListResponse::setValues(std::move(values));
  valuesVersion_.fetch_add(1, std::memory_order_release);
}

KLRecordingListResponse::Recordings KLRecordingListResponse::recordings() const {
  return modelsOfClass<KLRecordingResponse>(values());
}

void KLRecordingListResponse::waitForScheduledChanges() const {
  // A look-up made after a merge was scheduled must see it; with nothing pending the look-up
  // need not hop to the queue at all.
  if (gScheduledChanges.load(std::memory_order_acquire) > 0) customQueue_->sync([] {});
}

void KLRecordingListResponse::scheduleChange(std::function<void()> work) {
  gScheduledChanges.fetch_add(1, std::memory_order_acq_rel);
  customQueue_->async([work = std::move(work)] {
    work();
    gScheduledChanges.fetch_sub(1, std::memory_order_acq_rel);
  });
}

KLRecordingPtr KLRecordingListResponse::getRecordingWithId(std::optional<int64_t> recordingID) const {
  if (!recordingID) return nullptr;
  waitForScheduledChanges();
  for (const auto& recording : recordings()) {
    if (recording->recordingID() == recordingID) return recording;
  }
  return nullptr;
}

KLRecordingPtr KLRecordingListResponse::getRecordingForTimestamp(std::string_view timestamp) const {
  if (values().count() == 0) return nullptr;
  auto t = parseServerTimestamp(timestamp);
  if (!t) return nullptr;
  return getRecordingForTime(*t);
}

KLRecordingPtr KLRecordingListResponse::getRecordingForTime(double seconds) const {
  if (values().count() == 0) return nullptr;
  waitForScheduledChanges();
  return findRecordingForTime(seconds);
}

KLRecordingPtr KLRecordingListResponse::findRecordingForTime(double t) const {
  std::lock_guard<std::mutex> lock(indexMutex_);
  const uint64_t version = valuesVersion_.load(std::memory_order_acquire);
  const uint64_t generation = KLRecordingResponse::timesGeneration();
  if (!timeIndex_ || timeIndex_->valuesVersion != version || timeIndex_->timesGeneration != generation) {
    auto index = std::make_shared<TimeIndex>();
    index->valuesVersion = version;
    index->timesGeneration = generation;
    for (const auto& recording : recordings()) {
      auto start = recording->startSeconds();
      auto end = recording->endSeconds();
      if (!start || !end) continue;  // contains no time
      if (!index->starts.empty() && *start > index->starts.back()) index->startsDescending = false;
      index->starts.push_back(*start);
      index->ends.push_back(*end);
      index->recordings.push_back(recording);
    }
    index->suffixMaxEnd.resize(index->ends.size());
    double maxEnd = -std::numeric_limits<double>::infinity();
    for (size_t i = index->ends.size(); i-- > 0;) {
      maxEnd = std::max(maxEnd, index->ends[i]);
      index->suffixMaxEnd[i] = maxEnd;
    }
    timeIndex_ = std::move(index);
  }
  const TimeIndex& index = *timeIndex_;
  size_t i = 0;
  if (index.startsDescending) {
    // Starts fall along the list: the recordings that start before t form a suffix.
    i = static_cast<size_t>(std::partition_point(index.starts.begin(), index.starts.end(),
                                                 [t](double start) { return !(start < t); }) -
                            index.starts.begin());
  }
  for (; i < index.starts.size() && index.suffixMaxEnd[i] >= t; ++i) {
    if (index.starts[i] < t && t <= index.ends[i]) return index.recordings[i];
  }
  return nullptr;
}

void KLRecordingListResponse::removeRecordingWithId(std::optional<int64_t> recordingID) {
  KLRecordingPtr recording = getRecordingWithId(recordingID);
  if (!recording) return;
  auto self = std::static_pointer_cast<KLRecordingListResponse>(shared_from_this());
  scheduleChange([self, recording] {
    Recordings remaining = self->recordings();
    std::erase(remaining, recording);
    self->setValues(valueArray(remaining));
  });
}

namespace {

void scheduleCompletion(KLRecordingListResponse::Completion completion) {
  if (completion) platform::DispatchQueue::main()->async(std::move(completion));
}

// The recordings of `page` whose identifiers `held` lacks, each identifier once, newest first.
KLRecordingListResponse::Recordings unheldRecordings(const KLRecordingListResponse::Recordings& page,
                                                     std::unordered_set<int64_t>& held) {
  KLRecordingListResponse::Recordings out;
  for (const auto& recording : page) {
    auto id = recording ? recording->recordingID() : std::nullopt;
    if (!id || !held.insert(*id).second) continue;
    out.push_back(recording);
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const KLRecordingPtr& a, const KLRecordingPtr& b) { return *a->recordingID() > *b->recordingID(); });
  return out;
}

KLRecordingPtr firstIdentified(const KLRecordingListResponse::Recordings& recordings) {
  for (const auto& recording : recordings) {
    if (recording && recording->recordingID()) return recording;
  }
  return nullptr;
}

KLRecordingPtr findInPage(const KLRecordingListResponse::Recordings& page, int64_t id) {
  for (const auto& recording : page) {
    if (recording && recording->recordingID() == id) return recording;
  }
  return nullptr;
}

}  // namespace

void KLRecordingListResponse::appendSortedRecordings(Recordings page, Completion completion) {
  schedulePage(std::move(page), std::move(completion), false);
}

void KLRecordingListResponse::appendOlderRecordings(Recordings page, Completion completion) {
  schedulePage(std::move(page), std::move(completion), true);
}

void KLRecordingListResponse::schedulePage(Recordings page, Completion completion, bool older) {
  // A full page tells the history goes on, whatever it holds: counted as the cloud sent it.
  const size_t sent = page.size();
  std::erase_if(page, [](const KLRecordingPtr& r) { return !r || !r->recordingID(); });
  if (page.empty() && !(older && sent > 0)) {
    scheduleCompletion(std::move(completion));
    return;
  }
  auto self = std::static_pointer_cast<KLRecordingListResponse>(shared_from_this());
  scheduleChange([self, page = std::move(page), sent, completion = std::move(completion), older]() mutable {
    if (older) {
      // Asked for as an older page: whatever identifier heads it (a late upload has a higher one
      // than its start suggests), it is merged as an older page.
      self->mergeOlderPage(page, sent, std::move(completion));
      return;
    }
    const Recordings current = self->recordings();
    const KLRecordingPtr newest = firstIdentified(current);
    bool olderPage = true;  // an empty list takes its first page as an older one
    if (newest) {
      // Both have identifiers: those without were stepped over or dropped.
      const int64_t newestID = newest->recordingID().value_or(0);
      const int64_t pageNewest = page.front()->recordingID().value_or(0);
      // A one-recording list whose page starts with that recording is an older page too: taken
      // for a newer one it would never complete the history.
      olderPage = newestID > pageNewest || (current.size() == 1 && newestID == pageNewest);
    }
    if (olderPage) {
      self->mergeOlderPage(page, sent, std::move(completion));
    } else {
      self->appendNewSortedRecording(page, std::move(completion));
    }
  });
}

void KLRecordingListResponse::refreshNewestFrom(const Recordings& page) {
  // The cached newest takes the page's times when the page reaches up to it: that is how a
  // recording still running gets its end. Older cached recordings keep their own times.
  if (const KLRecordingPtr newest = firstIdentified(recordings())) {
    const int64_t newestID = *newest->recordingID();
    const KLRecordingPtr pageNewest = firstIdentified(page);
    if (pageNewest && *pageNewest->recordingID() >= newestID) {
      if (auto fresh = findInPage(page, newestID)) newest->takeTimesFrom(*fresh);
    }
  }
}

bool KLRecordingListResponse::mergePage(const Recordings& page) {
  refreshNewestFrom(page);
  Recordings current = recordings();
  std::unordered_set<int64_t> held;
  held.reserve(current.size() + page.size());
  for (const auto& recording : current) {
    if (auto id = recording->recordingID()) held.insert(*id);
  }
  // Every recording the list lacks goes where its identifier belongs, wherever it stood in the
  // page: a late upload's higher identifier does not hide the older recordings behind it.
  const Recordings added = unheldRecordings(page, held);
  if (added.empty()) return false;
  Recordings merged;
  merged.reserve(current.size() + added.size());
  auto next = added.begin();
  for (const auto& cached : current) {
    if (auto id = cached->recordingID()) {
      while (next != added.end() && *(*next)->recordingID() > *id) merged.push_back(*next++);
    }
    merged.push_back(cached);
  }
  merged.insert(merged.end(), next, added.end());
  setValues(valueArray(merged));
  return true;
}

void KLRecordingListResponse::mergeOlderPage(const Recordings& page, size_t sent, Completion completion) {
  // Only a page short of the limit is the end of the history: a full page that adds nothing
  // may be the newest page again (the first older page of an empty list has no bound).
  if (!mergePage(page) && sent < kPageLimit) setAllRecordingsLoaded(true);
  scheduleCompletion(std::move(completion));
}

void KLRecordingListResponse::appendOldSortedRecording(const Recordings& page, Completion completion) {
  mergeOlderPage(page, page.size(), std::move(completion));
}

void KLRecordingListResponse::appendNewSortedRecording(const Recordings& page, Completion completion) {
  const KLRecordingPtr newest = firstIdentified(recordings());
  if (!newest) {
    mergePage(page);
    scheduleCompletion(std::move(completion));
    return;
  }
  // Only what is newer than the cached newest goes in front: an older recording the page still
  // lists may have been dropped from the cache on purpose (its event deleted). Late uploads
  // among older recordings are the older pages' business.
  const int64_t newestID = *newest->recordingID();
  refreshNewestFrom(page);
  Recordings newer;
  for (const auto& recording : page) {
    if (recording && recording->recordingID() && *recording->recordingID() > newestID) newer.push_back(recording);
  }
  mergePage(newer);
  scheduleCompletion(std::move(completion));
}

}  // namespace dk
