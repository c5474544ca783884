#include "network/kl_recording_requests.h"

#include "network/request_keys.h"
#include "network/request_support.h"

namespace dk {

using platform::Value;
using platform::ValueDictionary;
using request_support::setIfPresent;

std::string KLRecordingsRequest::requestURL() const { return formatRequestPath({cameraID}); }

Value KLRecordingsRequest::parameters() const {
  ValueDictionary params;
  setIfPresent(params, kMinTimestampKey, startTime);
  setIfPresent(params, kMaxTimestampKey, endTime);
  if (limit) params.insert_or_assign(std::string(kLimitKey), Value(*limit));
  if (reverse) params.insert_or_assign(std::string(kReverseKey), Value("desc"));
  return Value(std::move(params));
}

RequestMergeBlock KLRecordingsRequest::block() const {
  const platform::ClassInfo* cls = modelClass();
  return [cls](const Value& response, const platform::ErrorPtr& error, const platform::ModelPtr& mergeTarget) {
    platform::ModelPtr target = mergeTarget ? mergeTarget : (cls ? cls->create() : nullptr);
    if (!target) return resultFromError(error);
    target->mergeValueForKey("values", response.objectAs<platform::Model>());
    return Value(target);
  };
}

std::string KLRecordingRequest::requestURL() const { return formatRequestPath({cameraID, recordingID}); }

}  // namespace dk
