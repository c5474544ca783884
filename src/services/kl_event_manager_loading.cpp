// KLEventManager: paging through a camera's history and fetching what is newer than the cache.

#include <mutex>
#include <set>
#include <string>

#include "foundation/server_timestamp.h"
#include "platform/dispatch/queue.h"
#include "services/kl_event_manager.h"

namespace dk {

using platform::ErrorPtr;
using platform::Value;

namespace {

// Event page requests whose merge appends the page to the cached list straight away. The
// request family's own merge first reads the target's whole "values" back to see that it is
// there, which costs the cache's size on every page (quadratic over a long history).
template <class Base>
class CachedListPageRequest final : public Base {
 public:
  using Base::Base;
  RequestMergeBlock block() const override {
    return [](const Value& response, const ErrorPtr& error, const platform::ModelPtr& target) -> Value {
      auto page = response.objectAs<KLEventListResponse>();
      auto list = std::dynamic_pointer_cast<KLEventListResponse>(target);
      if (page && list) {
        list->mergeValueForKey("values", page);
        return response;
      }
      return response.isNil() ? resultFromError(error) : response;
    };
  }
};

}  // namespace

// What one paging loop has asked for so far. Pages are handled one after another, but on
// different queues, so the lock only orders them.
struct KLEventManager::OldEventsPaging {
  std::mutex mutex;
  std::set<std::string> requested;  // path and parameters of every page asked for
  int pagesAddingNothing = 0;       // in a row

  // Records `request`; false when the same request was made before.
  bool firstTime(const KLOldEventsRequest& request) {
    std::lock_guard lock(mutex);
    return requested.insert(request.requestURL() + "?" + request.parameters().toJSON()).second;
  }
  // Counts a page; false once too many pages in a row added nothing.
  bool goOnAfterPage(bool added) {
    std::lock_guard lock(mutex);
    pagesAddingNothing = added ? 0 : pagesAddingNothing + 1;
    return pagesAddingNothing < kOldEventsPagesAddingNothing;
  }
};

std::shared_ptr<KLOldEventsRequest> KLEventManager::nextRequestFromEventsList(const KLEventListPtr& list) {
  if (!list) return nullptr;
  auto next = list->nextEventsBatchURL();
  if (!next || next->empty()) return nullptr;
  return std::make_shared<CachedListPageRequest<KLOldEventsRequest>>(next);
}

std::optional<std::string> KLEventManager::newestTimestampBetweenUpdateTimestamp(
    const std::optional<std::string>& update, const std::optional<std::string>& cache) {
  if (update && cache) {
    const auto u = parseServerTimestamp(*update);
    const auto c = parseServerTimestamp(*cache);
    if (u && c && *u < *c) return update;
  }
  return cache;
}

std::shared_ptr<KLOldEventsRequest> KLEventManager::firstOldEventsRequest(int64_t cameraID) const {
  auto request = std::make_shared<CachedListPageRequest<KLOldEventsRequest>>();
  request->limit = kEventsPageLimit;
  request->eventsTypes = getAvailableEventTypes();
  request->includeUrlsTypes = "none";
  request->cameraIDs = {std::to_string(cameraID)};
  return request;
}

void KLEventManager::getAllEventsForCameraID(std::optional<int64_t> cameraID) {
  if (!cameraID) return;
  const int64_t camera = *cameraID;
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  auto afterLookups = [weak, camera] {
    platform::DispatchQueue::global()->async([weak, camera] {
      auto self = weak.lock();
      if (!self) return;
      auto list = self->eventsForCameraID(camera);
      list->initialEventsRequestQueue()->sync(
          [&] { self->getOldEventsForCameraID(camera, nextRequestFromEventsList(list), ResultBlock()); });
      auto first = list->getNewestEvent();
      if (first && first->date()) self->getNewEventsForCameraID(camera, Value(), ResultBlock());
    });
  };
  platform::DispatchQueue::global()->async([weak, afterLookups] {
    auto self = weak.lock();
    if (!self) return;
    // The look-ups are awaited without blocking a thread: the answers arrive on the main thread.
    // The faces count too: they are dropped at every presentation and must come back.
    if (!self->eventAvailableTypes() || !self->eventTypeDetails() || !self->availableFacesList()) {
      self->getEventTypesWithCompletion(afterLookups);
    } else {
      afterLookups();
    }
  });
}

void KLEventManager::getNewEventsForCameraID(std::optional<int64_t> cameraID, const Value& minTimestamp,
                                             ResultBlock completion) {
  if (!minTimestamp.isNil() && !minTimestamp.isString()) {
    if (completion) completion(Value());
    return;
  }
  if (!cameraID) return;
  auto list = eventsForCameraID(cameraID);
  std::optional<std::string> bound;
  list->eventsRequestQueue()->sync([&] {
    auto first = list->getNewestEvent();
    bound = newestTimestampBetweenUpdateTimestamp(
        minTimestamp.isString() ? std::optional(minTimestamp.stringValue()) : std::nullopt,
        first ? first->stringTimestamp() : std::nullopt);
  });
  if (!bound) {
    if (completion) completion(Value());
    return;
  }
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  const int64_t camera = *cameraID;
  getNewEventsForCameraID(
      cameraID, bound,
      [weak, camera, completion](const Value& result) {
        if (auto self = weak.lock()) self->notifyObserversForCameraID(camera);
        if (completion) completion(result);
      },
      [completion](const ErrorPtr& error) {
        if (completion) completion(resultFromError(error));
      });
}

void KLEventManager::getNewEventsForCameraID(std::optional<int64_t> cameraID,
                                             const std::optional<std::string>& minTimestamp, SuccessBlock success,
                                             ErrorBlock error) {
  auto list = eventsForCameraID(cameraID);
  auto request = std::make_shared<CachedListPageRequest<KLNewEventsRequest>>();
  request->minTimestamp = minTimestamp;
  request->eventsTypes = getAvailableEventTypes();
  request->includeUrlsTypes = "none";
  if (cameraID) request->cameraIDs = {std::to_string(*cameraID)};
  auto report = genericBlock();
  requestWithRequestObject(request, list, [report, success, error](const Value& result, const ErrorPtr& failure) {
    report(result, failure, success, error);
  });
}

void KLEventManager::getOldEventsForCameraID(std::optional<int64_t> cameraID,
                                             std::shared_ptr<KLOldEventsRequest> request, SuccessBlock success,
                                             FailedRequestBlock error) {
  if (!cameraID) return;
  if (!request) request = firstOldEventsRequest(*cameraID);
  auto list = eventsForCameraID(cameraID);
  auto report = genericBlock();
  requestWithRequestObject(request, list, [report, request, success, error](const Value& result,
                                                                           const ErrorPtr& failure) {
    report(result, failure, success, [request, error](const ErrorPtr&) {
      if (error) error(request);
    });
  });
}

void KLEventManager::getOldEventsForCameraID(std::optional<int64_t> cameraID,
                                             std::shared_ptr<KLOldEventsRequest> request, ResultBlock completion) {
  if (!cameraID) return;
  getOldEventsPage(*cameraID, std::move(request), std::move(completion), 0, std::make_shared<OldEventsPaging>());
}

void KLEventManager::getOldEventsPage(int64_t camera, std::shared_ptr<KLOldEventsRequest> request,
                                      ResultBlock completion, int failures, std::shared_ptr<OldEventsPaging> paging) {
  auto list = eventsForCameraID(camera);
  if (!request) request = firstOldEventsRequest(camera);
  if (failures == 0) paging->firstTime(*request);
  std::weak_ptr<KLEventManager> weak = std::static_pointer_cast<KLEventManager>(shared_from_this());
  // The loop goes on from the parser queue where each page was merged: only the observers and
  // the final completion go to the main thread, so paging does not wait for the main thread
  // between pages.
  auto onPage = [weak, list, camera, request, completion, failures, paging](const Value& result,
                                                                            const ErrorPtr& failure) {
    auto self = weak.lock();
    if (!self) return;
    if (failure || errorFromResult(result)) {
      if (failures < kOldEventsPageRetries) {
        // Spaced retries of the very page that failed, then the loop gives up as far as it got.
        list->eventsRequestQueue()->after(kOldEventsPageRetryInterval,
                                          [weak, camera, request, completion, failures, paging] {
                                            if (auto self = weak.lock())
                                              self->getOldEventsPage(camera, request, completion, failures + 1, paging);
                                          });
        return;
      }
      list->setOldEventsFinishedLoading(true);
      platform::runOnMain([weak, camera, completion] {
        if (completion) completion(Value());
        if (auto self = weak.lock()) self->notifyObserversForCameraID(camera);
      });
      return;
    }
    auto page = result.objectAs<KLEventListResponse>();
    // A page added something when one of its events is now the cached object itself. A page
    // that adds nothing may still lead on (a live event's fetch may have brought it already, or
    // the cloud filtered a whole stretch out of an empty one), so its next link is followed
    // unless that request was made before (a link back to itself or to an earlier page) or too
    // many such pages came in a row.
    bool added = false;
    if (page) {
      for (const auto& event : page->events()) {
        if (event && event->eventID() && list->eventWithID(event->eventID()) == event) {
          added = true;
          break;
        }
      }
    }
    list->setNextEventsBatchURL(page ? page->nextEventsBatchURL() : std::nullopt);
    const bool goOn = paging->goOnAfterPage(added) && page;
    auto next = goOn ? nextRequestFromEventsList(list) : nullptr;
    if (next && !paging->firstTime(*next)) next = nullptr;
    if (!next) list->setOldEventsFinishedLoading(true);
    self->notifyObserversOnMain(camera);
    if (next) {
      self->getOldEventsPage(camera, next, completion, 0, paging);
    } else if (completion) {
      platform::DispatchQueue::main()->async([completion, result] { completion(result); });
    }
  };
  list->eventsRequestQueue()->async([weak, list, request, onPage] {
    if (auto self = weak.lock()) self->requestWithRequestObject(request, list, onPage);
  });
}

}  // namespace dk
