// The event family: one event (read, delete, snapshot), pages of newer and older events of some
// cameras, and deleting all events of a camera. The older-events request can be built from the
// next-page link of the event list.
//
// Same ownership and thread-safety contract as KLRequest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "network/kl_request.h"

namespace dk {

// One event: the template filled with eventID; parameters {"includeUrlTypes": includeUrlsTypes}.
class KLEventRequest : public KLRequest {
 public:
  KLEventRequest() : KLRequest(EVENT_GET_REQUEST_CLOUD) {}
  std::string requestURL() const override;
  platform::Value parameters() const override;
  std::string className() const override { return "KLEventRequest"; }

  std::optional<int64_t> eventID;
  std::optional<std::string> includeUrlsTypes;

 protected:
  explicit KLEventRequest(int32_t name) : KLRequest(name) {}
};

DK_NAMED_REQUEST(KLDeleteEventRequest, KLEventRequest, EVENT_DELETE_REQUEST_CLOUD);

// The event's image; the result is the image, or the error when there is none.
class KLEventSnapshotRequest : public KLEventRequest {
 public:
  KLEventSnapshotRequest() : KLEventRequest(EVENT_SNAPSHOT_GET_REQUEST_CLOUD) {}
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLEventSnapshotRequest"; }
};

// Events newer than minTimestamp. Merge: when the target is an event list holding values and the
// reply is an event list, the reply's values are merged into the target; the result is the reply
// (the new page), or the error when there is no reply.
class KLNewEventsRequest : public KLEventRequest {
 public:
  KLNewEventsRequest() : KLEventRequest(NEW_EVENTS_GET_REQUEST_CLOUD) {}
  platform::Value parameters() const override;
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLNewEventsRequest"; }

  std::vector<std::string> cameraIDs;  // sent joined with "," when not empty
  std::optional<std::string> minTimestamp;
  std::optional<std::string> eventsTypes;

 protected:
  explicit KLNewEventsRequest(int32_t name) : KLEventRequest(name) {}
};

// A page of older events; its reply carries the "Link" header of the next older page.
class KLOldEventsRequest : public KLNewEventsRequest {
 public:
  KLOldEventsRequest() : KLNewEventsRequest(OLD_EVENTS_GET_REQUEST_CLOUD) {}
  // initWithNextEventsBatchURL: the parameters become the link's query parameters, percent-decoded
  // (the executor encodes them again when it sends them). A nil link gives no parameters of its own.
  explicit KLOldEventsRequest(const std::optional<std::string>& nextEventsBatchURL);

  // internalParameters when present, otherwise {"includeUrlTypes", "types", "limit", "maxEventId"}
  // plus "cameraIds".
  platform::Value parameters() const override;
  std::string className() const override { return "KLOldEventsRequest"; }

  std::optional<int64_t> limit;
  std::optional<std::string> maxEventID;
  std::optional<platform::ValueDictionary> internalParameters;

  // The query parameters of a link: parts split at "&", each split at "=", a part of exactly two
  // pieces kept, keys and values percent-decoded (a malformed escape is kept as it stands).
  static platform::ValueDictionary queryParametersOfURL(std::string_view url);
};

// Deletes all events of one camera: "<template>?cameraIds=<cameraID>".
class KLDeleteAllEventsRequest : public KLRequest {
 public:
  KLDeleteAllEventsRequest() : KLRequest(EVENTS_DELETE_REQUEST_CLOUD) {}
  std::string requestURL() const override;
  std::string className() const override { return "KLDeleteAllEventsRequest"; }

  std::optional<std::string> cameraID;
};

}  // namespace dk
