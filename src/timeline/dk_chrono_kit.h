// DKChronoKit: the one object a host application creates. It carries the host's settings (token,
// camera, start time, look and feel), stores the token where the request layer finds it, builds
// and presents the timeline screen, and turns the live feed off and on as the application goes
// to the background and comes back.
//
// Made and kept by the host (the timeline holds it weakly), used on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/view_controller.h"
#include "timeline/kl_timeline_view_controller.h"

namespace dk {

class DKChronoKit : public KLTimelineDelegate, public std::enable_shared_from_this<DKChronoKit> {
 public:
  static constexpr const char* kDefaultPrimaryColor = "#0c94c8";
  static constexpr const char* kDefaultSecondaryColor = "#333333";
  static constexpr const char* kDefaultAlbumName = "Timeline";
  static constexpr const char* kDefaultAppGroupName = "group.com.devicekeeper.dk";

  // initWithAccessToken:cameraId:time:viewController: (time in Unix seconds, 0 = none).
  static std::shared_ptr<DKChronoKit> create(std::optional<std::string> accessToken, std::optional<int64_t> cameraId,
                                             double time, std::shared_ptr<platform::ViewController> viewController);
  // initWithAccessToken:cameraId:viewController: (no start time).
  static std::shared_ptr<DKChronoKit> create(std::optional<std::string> accessToken, std::optional<int64_t> cameraId,
                                             std::shared_ptr<platform::ViewController> viewController);
  ~DKChronoKit() override;
  // Only `create` makes one: present() hands the timeline a weak reference to the facade, so a
  // facade outside a shared_ptr (or a copy of one) must not exist.
  DKChronoKit(const DKChronoKit&) = delete;
  DKChronoKit& operator=(const DKChronoKit&) = delete;

  // ---- settings ----
  std::optional<std::string> accessToken;
  std::optional<int64_t> cameraId;
  double time = 0;
  bool isVerticalRecordingsVisible = true;
  bool isTimelineControlsVisible = true;
  std::optional<std::string> primaryColor;    // none: "#0c94c8"
  std::optional<std::string> secondaryColor;  // none: "#333333"
  int64_t customFont = 1;
  std::shared_ptr<platform::ViewController> viewController;
  int zoomLevel = KLTimelineZoomLevelDefault;
  bool isCameraNameVisible = true;
  std::vector<std::string> hideEventTypes{""};
  std::optional<std::string> albumName;     // none: "Timeline"
  std::optional<std::string> appGroupName;  // none: "group.com.devicekeeper.dk"

  // Stores the credential, builds the timeline, applies the settings and presents it (the
  // presentation itself on the next turn of the main queue).
  void present();
  void configureColors();
  void configureFonts();
  void configureZoomLevel();
  void configureAlbumName();
  void UISetup();
  // Not called by present: the only way the app-group name reaches the settings store.
  void configureAppGroupName();

  // The REST host name (not a URL); only a host set before the first request is used.
  static void setBaseURL(const std::string& host);
  // "https://" followed by the host name.
  static std::string getBaseURL();

  // The timeline being shown, or nullptr.
  static std::shared_ptr<KLTimelineViewController> presentedTimeline();

  void didDismissTimeline(const std::shared_ptr<KLTimelineViewController>& timeline) override;
  void applicationDidEnterBackground();
  void applicationWillEnterForeground();

 private:
  DKChronoKit(std::optional<std::string> accessToken, std::optional<int64_t> cameraId, double time,
              std::shared_ptr<platform::ViewController> viewController);

};

// Registers the "Timeline" storyboard's scenes ("timelineScreen", "timelinePreview").
void registerTimelineStoryboard();

}  // namespace dk
