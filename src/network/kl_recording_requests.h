// The recording family: pages of a camera's recordings (newest first when reversed, bounded by
// start and end times) and one recording.
//
// Same ownership and thread-safety contract as KLRequest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "network/kl_request.h"

namespace dk {

// Parameters {"minTimestamp": startTime, "maxTimestamp": endTime, "limit": limit} plus
// "sortByRecordingIdOrder": "desc" when reverse. Merge: the reply's values go into the target (a
// new list of the model class when none is given), which is the result.
class KLRecordingsRequest : public KLRequest {
 public:
  KLRecordingsRequest() : KLRequest(RECORDINGS_GET_REQUEST_CLOUD) {}
  std::string requestURL() const override;
  platform::Value parameters() const override;
  RequestMergeBlock block() const override;
  std::string className() const override { return "KLRecordingsRequest"; }

  std::optional<std::string> cameraID;
  std::optional<std::string> startTime;
  std::optional<std::string> endTime;
  std::optional<int64_t> limit;
  bool reverse = false;

 protected:
  explicit KLRecordingsRequest(int32_t name) : KLRequest(name) {}
};

// The one the system sends.
DK_NAMED_REQUEST(KLCameraRecordingsRequest, KLRecordingsRequest, RECORDINGS_CAMERA_GET_REQUEST_CLOUD);

// "/rest/v2.2/cameras/<cameraID>/recordings/<recordingID>"
class KLRecordingRequest : public KLRequest {
 public:
  KLRecordingRequest() : KLRequest(RECORDING_GET_REQUEST_CLOUD) {}
  std::string requestURL() const override;
  std::string className() const override { return "KLRecordingRequest"; }

  std::optional<std::string> cameraID;
  std::optional<std::string> recordingID;
};

}  // namespace dk
