// KLEventURLResponse: the address of an event's MPEG-4 clip.
// KLEventResponse: one detection a camera reported, with derived time values for display.
// KLEventListResponse: one camera's cached events, extended page by page without duplicates, with
// the address of the next older page taken from the reply's "Link" header.
//
// Thread safety: an event's fields are read and written under its own mutex (cached events are
// merged into and have their download progress written while screens read them). The event list
// serialises merges and deletions on its eventsHandleQueue; its readers (events, values,
// eventWithID, numberOfEvents, getNewestEvent) may run on any thread and see a consistent snapshot.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "model/kl_response.h"
#include "model/shared_text.h"
#include "model/snapshot_list.h"
#include "platform/dispatch/queue.h"

namespace dk {

class KLEventURLResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }
  DK_MODEL_PROPERTY(std::optional<std::string>, mp4Https, setMp4Https);
};

enum KLEventType : int {
  KLEventTypeVideoMotion = 0,
  KLEventTypeInfrared = 1,
  KLEventTypeAudio = 2,
  KLEventTypeAudioCategorized = 3,
  KLEventTypeOther = 4,
};

class KLEventResponse : public KLResponse {
 public:
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<int64_t>, eventID, setEventID);
  DK_MODEL_PROPERTY(std::shared_ptr<KLEventURLResponse>, urls, setUrls);
  DK_MODEL_PROPERTY(std::optional<double>, downloadProgress, setDownloadProgress);

 public:
  std::optional<std::string> type() const;
  void setType(std::optional<std::string> type);
  std::optional<std::string> category() const;
  void setCategory(std::optional<std::string> category);
  std::optional<std::string> faceId() const;
  void setFaceId(std::optional<std::string> faceId);

  // Server time; setting a text also sets `timestamp` to its seconds (0 when it does not parse).
  std::optional<std::string> stringTimestamp() const;
  void setStringTimestamp(std::optional<std::string> text);
  // Seconds since 1970. Setting a value renews the derived texts below; nil keeps them.
  std::optional<double> timestamp() const;
  void setTimestamp(std::optional<double> seconds);

  // Derived from `timestamp` on first read and kept: midnight of its day (seconds), the time
  // of day in the long and short styles, and the formatted date ("March 3rd").
  std::optional<double> date() const;
  void setDate(std::optional<double> date);
  std::optional<std::string> time() const;
  void setTime(std::optional<std::string> text);
  std::optional<std::string> simpleTime() const;
  void setSimpleTime(std::optional<std::string> text);
  std::optional<std::string> formattedDate() const;
  void setFormattedDate(std::optional<std::string> text);

  // Computed on every read from `type`; the stored values of the setters are never read back.
  KLEventType eventType() const;
  void setEventType(KLEventType type);
  std::string eventFilter() const;
  void setEventFilter(std::string filter);
  // "<base URL>/rest/v2.4/events/<eventID>.jpg"; nil without an identifier.
  std::optional<std::string> imageURL() const;
  void setImageURL(std::optional<std::string> url);

  // Same object, or both have identifiers and they are equal.
  bool isEqual(const platform::Object& other) const override;

  // Copies the other event's value only when it is not nil: a sparse event never erases fields.
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;

 private:
  // What most cached events never hold: the derived texts (made when a screen reads them), the
  // face, the values the computed setters store, and the seconds the texts come from once
  // `timestamp` was set to nil. Kept out of line so that 50,000 cached events stay small.
  struct Rare {
    std::optional<double> date;
    std::optional<std::string> time, simpleTime, formattedDate;
    std::optional<std::string> faceId;
    std::optional<double> keptSeconds;
    KLEventType storedEventType = KLEventTypeOther;
    std::string storedEventFilter;
    std::optional<std::string> storedImageURL;
  };
  Rare& rareLocked() const;
  void fillDerivedLocked() const;
  std::optional<double> derivedSecondsLocked() const;

  std::optional<std::string> stringTimestamp_;
  std::optional<double> timestamp_;
  // Type and category come from a small vocabulary: shared texts, one copy per distinct value.
  SharedText type_;
  SharedText category_;
  mutable std::unique_ptr<Rare> rare_;
};

using KLEventPtr = std::shared_ptr<KLEventResponse>;

class KLEventListResponse : public KLListResponse {
 public:
  using Events = SnapshotList<KLEventPtr>::Snapshot;

  KLEventListResponse();
  static const platform::ClassInfo& staticClassInfo();
  const platform::ClassInfo& classInfo() const override { return staticClassInfo(); }

  DK_MODEL_PROPERTY(std::optional<std::string>, nextEventsBatchURL, setNextEventsBatchURL);
  DK_MODEL_PROPERTY(bool, oldEventsFinishedLoading, setOldEventsFinishedLoading);

 public:
  // The events in list order, as an O(1) snapshot.
  Events events() const { return store_.snapshot(); }
  // `values` as a Value array (nil after a reply whose "events" was not an array).
  platform::Value values() const override;
  void setValues(platform::Value values) override;

  platform::QueuePtr eventsRequestQueue() const { return eventsRequestQueue_; }
  platform::QueuePtr initialEventsRequestQueue() const { return initialEventsRequestQueue_; }
  platform::QueuePtr eventsHandleQueue() const { return eventsHandleQueue_; }

  size_t numberOfEvents() const { return store_.size(); }
  // The first event of the list (the newest of the first page loaded); nullptr when empty.
  KLEventPtr getNewestEvent() const;
  KLEventPtr eventWithID(std::optional<int64_t> eventID) const;

  // Only "values" is merged (mergeAllEventsForKey); every other key is left as it is.
  using KLListResponse::mergeMethodForKey;
  void mergeMethodForKey(std::string_view key, const platform::ModelPtr& model) override;
  // Appends, synchronously on the handle queue, each event of the other list that neither the
  // list nor an earlier event of the same page holds. Costs the page's size, not the list's.
  void mergeAllEventsForKey(std::string_view key, const platform::ModelPtr& model);

  // Removes the event and its downloaded clip, asynchronously on the handle queue.
  void deleteEventWithEventID(std::optional<int64_t> eventID);
  // Removes "<eventID>.mp4" from the documents folder when the user defaults mark it downloaded.
  static void deleteSavedFilesForEvent(const KLEventPtr& event);

  // {"events": [dictionary]}: one event's dictionary as a list reply.
  static platform::Value objectDictionaryFromDictionary(const platform::Value& dictionary);

  // The URL of the rel="next" entry of an HTTP "Link" header value; nullopt when there is none.
  static std::optional<std::string> nextPageURLFromLinkHeader(std::string_view header);

 private:
  // Identity of the cached events, for duplicate checks and look-ups; guarded by indexMutex_.
  struct Index {
    std::unordered_map<int64_t, KLEventPtr> byID;
    std::unordered_set<const KLEventResponse*> withoutID;
    bool contains(const KLEventResponse& event) const;
    void add(const KLEventPtr& event);
  };
  void replaceEvents(std::vector<KLEventPtr> events, bool nil);

  SnapshotList<KLEventPtr> store_;
  mutable std::mutex indexMutex_;
  Index index_;
  bool valuesNil_ = false;
  platform::QueuePtr eventsRequestQueue_;
  platform::QueuePtr initialEventsRequestQueue_;
  platform::QueuePtr eventsHandleQueue_;
};

using KLEventListPtr = std::shared_ptr<KLEventListResponse>;

}  // namespace dk
