// TimelineEventFeed: a camera's cached events as the timeline's newest-first list of items, kept
// up to date as pages arrive. The cache grows by whole pages at its end; the feed makes items only
// for what was added and merges them into the list it holds, so a page costs the same however many
// events came before it. When the cache lost or replaced events (a deletion, a reload) the list is
// built anew. Either way the list is the one a full sort of the cache gives: newest first, events
// without a time last, equal times in cache order.
//
// The times come from the items (read once when each item is made). Owned by the timeline screen;
// main thread only (the cache snapshot it is given may come from any queue).
#pragma once

#include <cstddef>

#include "model/kl_event_response.h"
#include "timeline/kl_timeline_item_interfaces.h"

namespace dk {

class TimelineEventFeed {
 public:
  // The items for the cache as it is now.
  KLTimelineEvents update(const KLEventListResponse::Events& cache);
  KLTimelineEvents items() const { return items_.snapshot(); }
  // How many updates built the whole list anew (the others merged only what was added).
  size_t rebuildCount() const { return rebuilds_; }

 private:
  // True when the first events of `cache` are those taken last time, in the same order.
  bool extendsTaken(const KLEventListResponse::Events& cache) const;
  void rebuild(const KLEventListResponse::Events& cache);
  void add(const KLEventPtr* first, const KLEventPtr* last);

  KLEventListResponse::Events taken_;  // the cache as last taken
  KLTimelineEventList items_;
  size_t rebuilds_ = 0;
};

}  // namespace dk
