// KLDownloadManager: downloads an event's MPEG-4 clip from its "mp4Https" address, reports
// progress to its delegate, writes the file "<event identifier>.mp4" into the documents folder,
// adds it to the photo album and then remembers in the user defaults ("Event-<id>.mp4" =
// "Downloaded") that the event was downloaded. A downloaded file that is not a complete MP4 video
// (see checkCompleteMp4Video) fails like a failed download and is not kept.
//
// The timeline screen creates one and is its delegate (held weakly). Operations may be called
// from any thread. Progress and errors reach the delegate on the main thread (where the request
// manager delivers downloads); the album outcome arrives on the photo library's queue.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "model/kl_event_response.h"
#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/object.h"
#include "platform/foundation/value.h"

namespace dk {

class KLRequestManager;

// What a download tells its screen. Both operations are optional.
class KLDownloadManagerDelegate : public virtual platform::Protocol {
 public:
  // "downloadProgressUpdated:forEvent:": a fraction from 0 to 1.
  virtual void downloadProgressUpdated(float progress, const KLEventPtr& event) {}
  // "errorWithInfo:": a localised message for the user.
  virtual void errorWithInfo(const std::string& info) {}
};

// "Downloaded", the value of the per-event download flag.
inline constexpr char kEventDownloadedValue[] = "Downloaded";

class KLDownloadManager : public platform::Object {
 public:
  using DataCompletion = std::function<void(const platform::Value& data, const platform::ErrorPtr& error)>;

  std::shared_ptr<KLDownloadManagerDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<KLDownloadManagerDelegate>& delegate);

  // Downloads the event's clip (see the file comment). An event without clip address, or one
  // whose identifier cannot name a file, sends nothing and reports an error to the delegate.
  void downloadEvent(const KLEventPtr& event);

  // True when the user defaults hold the event's download flag.
  static bool isVideoDownloadedForEvent(const KLEventPtr& event);
  // The user-defaults key "Event-<id>.mp4"; nullopt without an identifier.
  static std::optional<std::string> downloadedKeyForEvent(const KLEventPtr& event);
  // "<documents>/<id>.mp4"; nullopt when the event has no identifier that is a plain file name.
  static std::optional<std::filesystem::path> getURLForEvent(const KLEventPtr& event);
  static bool fileExistAtPath(const std::string& path);

  // Writes the clip atomically to getURLForEvent: a reader never sees half a file. Returns the
  // error when the event has no usable file name or the write failed.
  platform::ErrorPtr saveVideoToDisk(const platform::DataPtr& data, const KLEventPtr& event) const;
  // Writes the clip, then adds it to the album; the flag is stored once the album has it.
  void saveVideo(const platform::DataPtr& data, const KLEventPtr& event);
  // Downloads the clip without saving it unless a file is already there (then nil and nil); a file
  // that is not a complete MP4 video completes with the reason instead.
  void saveVideoToDiskForEvent(const KLEventPtr& event, DataCompletion completion);

  // The request manager downloads go through; the shared one unless set (hosts and tests).
  std::shared_ptr<KLRequestManager> requestManager() const;
  void setRequestManager(std::shared_ptr<KLRequestManager> manager);

  std::string className() const override { return "KLDownloadManager"; }

 private:
  void reportError(const KLEventPtr& event, const std::string& key) const;

  mutable std::mutex mutex_;
  std::weak_ptr<KLDownloadManagerDelegate> delegate_;
  std::shared_ptr<KLRequestManager> requestManager_;
};

}  // namespace dk
