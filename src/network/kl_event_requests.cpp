#include "network/kl_event_requests.h"

#include "foundation/string_helpers.h"
#include "network/model_merge.h"
#include "network/request_keys.h"
#include "network/request_support.h"
#include "platform/net/url.h"

namespace dk {

using platform::Value;
using platform::ValueDictionary;
using request_support::setIfPresent;

namespace {

constexpr std::string_view kEventListClass = "KLEventListResponse";

void addCameraIds(ValueDictionary& params, const std::vector<std::string>& cameraIDs) {
  if (!cameraIDs.empty()) params.insert_or_assign(std::string(kCameraIdsKey), Value(request_support::joined(cameraIDs)));
}

}  // namespace

std::string KLEventRequest::requestURL() const { return formatRequestPath({request_support::numberString(eventID)}); }

Value KLEventRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kIncludeUrlTypesKey, includeUrlsTypes);
  return Value(std::move(params));
}

RequestMergeBlock KLEventSnapshotRequest::block() const { return request_support::replyOrErrorBlock(); }

Value KLNewEventsRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kMinTimestampKey, minTimestamp);
  setIfPresent(params, kIncludeUrlTypesKey, includeUrlsTypes);
  setIfPresent(params, kEventsTypesKey, eventsTypes);
  addCameraIds(params, cameraIDs);
  return Value(std::move(params));
}

RequestMergeBlock KLNewEventsRequest::block() const {
  return [](const Value& response, const platform::ErrorPtr& error, const platform::ModelPtr& target) {
    auto page = response.objectAs<platform::Model>();
    if (isModelOfClassNamed(target, kEventListClass) && !target->valueForKey("values").isNil() &&
        isModelOfClassNamed(page, kEventListClass)) {
      target->mergeValueForKey("values", page);
      return response;
    }
    return response.isNil() ? resultFromError(error) : response;
  };
}

KLOldEventsRequest::KLOldEventsRequest(const std::optional<std::string>& nextEventsBatchURL)
    : KLOldEventsRequest() {
  if (nextEventsBatchURL) internalParameters = queryParametersOfURL(*nextEventsBatchURL);
}

ValueDictionary KLOldEventsRequest::queryParametersOfURL(std::string_view url) {
  ValueDictionary params;
  size_t mark = url.find('?');
  if (mark == std::string_view::npos) return params;
  std::string_view query = url.substr(mark + 1);
  query = query.substr(0, query.find('#'));
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    std::string_view part = query.substr(start, end - start);
    size_t equals = part.find('=');
    if (equals != std::string_view::npos && part.find('=', equals + 1) == std::string_view::npos) {
      params.insert_or_assign(platform::percentDecode(part.substr(0, equals)), Value(platform::percentDecode(part.substr(equals + 1))));
    }
    start = end + 1;
  }
  return params;
}

Value KLOldEventsRequest::parameters() const {
  if (internalParameters) return Value(*internalParameters);
  ValueDictionary params;
  setIfPresent(params, kIncludeUrlTypesKey, includeUrlsTypes);
  setIfPresent(params, kEventsTypesKey, eventsTypes);
  if (limit) params.insert_or_assign(std::string(kLimitKey), Value(*limit));
  setIfPresent(params, kMaxEventIDKey, maxEventID);
  addCameraIds(params, cameraIDs);
  return Value(std::move(params));
}

std::string KLDeleteAllEventsRequest::requestURL() const {
  if (!cameraID || cameraID->empty()) return {};
  return std::string(request()) + "?cameraIds=" + urlEncode(*cameraID);
}

}  // namespace dk
