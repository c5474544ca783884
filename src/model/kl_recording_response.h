// KLRecordingResponse: one continuous video segment of a camera as the REST API sends it.
// KLRecordingListResponse: one camera's cached recordings, newest first (descending recordingID),
// filled page by page and answering look-ups by identifier and by time.
//
// Thread safety: a recording's fields are read and written under its own mutex, so a cached
// recording may be updated in place (page merges, live messages) while other queues read it.
// Every list shares one serial queue (sharedQueue) for merges and removals, which run on it
// asynchronously; merge completions run on the main queue. A look-up sees every change scheduled
// before it: while such changes are pending it waits for them on the queue, otherwise it answers
// at once on the caller's thread. `values` itself may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/kl_response.h"
#include "platform/dispatch/queue.h"

namespace dk {

class KLRecordingResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<int64_t>, recordingID, setRecordingID);
  DK_MODEL_PROPERTY(std::optional<bool>, closed, setClosed);

 public:
  // Server times "yyyy-MM-dd'T'HH:mm:ss.SSSXXX"; the end is absent while the server has none.
  std::optional<std::string> startStringTime() const;
  void setStartStringTime(std::optional<std::string> text);
  std::optional<std::string> endStringTime() const;
  void setEndStringTime(std::optional<std::string> text);

  // The two times in seconds since 1970, parsed when the texts are set; nullopt when a text is
  // absent or does not parse.
  std::optional<double> startSeconds() const;
  std::optional<double> endSeconds() const;
  // Start < t <= end: a recording without a parsable end contains no time.
  bool containsTime(double seconds) const;

  // Takes start, end and closed flag of `other` in one step, so a reader never sees an end
  // without its closed flag.
  void takeTimesFrom(const KLRecordingResponse& other);

  // Start, end and closed flag read in one step: never half of a change made on another queue.
  struct Times {
    std::optional<double> start;
    std::optional<double> end;
    std::optional<bool> closed;
    bool operator==(const Times&) const = default;
  };
  Times times() const;
  // What a "recording closed" message brings, in one step: the texts given replace the known
  // ones, and an end closes the recording.
  void closeWithTimes(std::optional<std::string> start, std::optional<std::string> end);

  // Bumped whenever any recording's start or end changes; time indexes compare it to know they
  // are stale.
  static uint64_t timesGeneration();

 private:
  std::optional<std::string> startStringTime_;
  std::optional<std::string> endStringTime_;
  std::optional<double> startSeconds_;
  std::optional<double> endSeconds_;
};

using KLRecordingPtr = std::shared_ptr<KLRecordingResponse>;

class KLRecordingListResponse : public KLListResponse {
 public:
  using Recordings = std::vector<KLRecordingPtr>;
  using Completion = std::function<void()>;

  KLRecordingListResponse();
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  // The one serial queue of every recording list ("com.devicekeeper.kelo.recordingresponse").
  static platform::QueuePtr sharedQueue();
  platform::QueuePtr customQueue() const { return customQueue_; }

  DK_MODEL_PROPERTY(bool, allRecordingsLoaded, setAllRecordingsLoaded);

 public:
  void setValues(platform::Value values) override;
  // A typed snapshot of `values`.
  Recordings recordings() const;

  // Look-ups, synchronous on the shared queue.
  KLRecordingPtr getRecordingWithId(std::optional<int64_t> recordingID) const;
  // The recording that contains the server time (start < t <= end), the newest first; nullptr
  // for an empty list (without touching the queue) or a time that does not parse.
  KLRecordingPtr getRecordingForTimestamp(std::string_view timestamp) const;
  KLRecordingPtr getRecordingForTime(double seconds) const;

  // Removes the recording with that identifier, asynchronously on the shared queue.
  void removeRecordingWithId(std::optional<int64_t> recordingID);

  // Recordings a page holds at most: every page request asks for this many.
  static constexpr size_t kPageLimit = 100;

  // Merges one fetched page (newest first); the completion, when given, runs on the main queue
  // after the merge, also when the page was empty and nothing changed (an empty page, older or
  // not, never completes the history: the manager stops paging on it). Cached recordings stay
  // the same objects, each identifier once. A page whose first identifier is below the list's
  // newest (or any page for an empty list) is merged as an older page, any other as a newer one.
  void appendSortedRecordings(Recordings page, Completion completion);
  // The same for a page asked for as an older page, whatever identifier heads it.
  void appendOlderRecordings(Recordings page, Completion completion);
  // The two halves, run on the shared queue.
  // Older page: every recording the list lacks is put where its identifier belongs (a late
  // upload heading the page hides nothing behind it); a page that adds nothing completes the
  // history only when it holds fewer than kPageLimit recordings (as the cloud sent them, those
  // without an identifier included).
  void appendOldSortedRecording(const Recordings& page, Completion completion);
  // Newer page: the cached newest takes the page's times, and only the page's recordings newer
  // than it go in front. Never completes the history.
  void appendNewSortedRecording(const Recordings& page, Completion completion);

 private:
  struct TimeIndex;
  // Waits until the changes scheduled on the shared queue so far have run.
  void waitForScheduledChanges() const;
  // Runs `work` on the shared queue, counted as a scheduled change until it has run.
  void scheduleChange(std::function<void()> work);
  KLRecordingPtr findRecordingForTime(double seconds) const;
  void schedulePage(Recordings page, Completion completion, bool older);
  // Puts the page's recordings the list lacks in place; false when it added none. Shared queue.
  bool mergePage(const Recordings& page);
  // The cached newest takes the times of the page's copy when the page reaches up to it.
  void refreshNewestFrom(const Recordings& page);
  // The older-page half for a page that came with `sent` recordings. Shared queue.
  void mergeOlderPage(const Recordings& page, size_t sent, Completion completion);

  platform::QueuePtr customQueue_;
  std::atomic<uint64_t> valuesVersion_{0};
  // Built by look-ups, rebuilt when values or times have changed since; guarded by indexMutex_.
  mutable std::mutex indexMutex_;
  mutable std::shared_ptr<TimeIndex> timeIndex_;
};

using KLRecordingListPtr = std::shared_ptr<KLRecordingListResponse>;

}  // namespace dk
