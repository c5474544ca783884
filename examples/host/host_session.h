// The demo host's session: a person using the timeline the facade presents. It creates
// DKChronoKit with the token and camera, presents it from the host's root screen in a window, then
// works the screen through the UI driver (taps, drags, the manual clock) and after every step
// renders the window to a PNG file and prints one line of what the screen shows.
//
// Everything runs on the main thread. In virtual time the host installs a manual clock and the
// session moves it forward while it waits for the cloud, scrolls or plays; on the real clock (a
// cloud of another's making) the same steps wait for real time to pass.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/ui_test_driver.h"
#include "screen_state.h"

namespace dk {
class DKChronoKit;
class KLTimelineViewController;
class KLEventResponse;
namespace cloudsim {
class CloudSim;
}
namespace platform {
class Window;
}
}  // namespace dk

// Moves the manual clock on by `seconds`, or on the real clock lets that much real time pass;
// either way without running the main queue.
void letTimePass(double seconds);

class HostSession {
 public:
  // `cloud` is the embedded simulator, or nullptr for another cloud (no live event is made then).
  HostSession(std::filesystem::path pictures, dk::cloudsim::CloudSim* cloud);
  ~HostSession();

  // Presents the camera's timeline and waits until it shows the whole history; what did not
  // arrive when it gave up, nothing when all did.
  std::optional<std::string> present(const std::string& token, int64_t camera);
  // An alert over whatever the window shows, saying what stopped the session, and its picture.
  void showFailure(const std::string& title, const std::string& message);
  // Browsing the history and working on one event.
  void browse();
  // Playing a recording.
  void play();
  // Closes the timeline with its close button.
  void close();
  // The camera live in the portrait player, push-to-talk, then landscape.
  void live();

  int picturesWritten() const { return pictures_; }
  // The WAV file the camera's sound goes to (empty: a sound device), described after playback
  // and after the live view.
  void setSoundFile(std::filesystem::path file) { sound_file_ = std::move(file); }

 private:
  // Real seconds the session's end waits for work outside the main thread.
  static constexpr double kLeaveSeconds = 2.0;
  // Renders the window into "<NN>_<name>.png" and prints what the screen shows.
  void picture(const std::string& name, const std::string& step);
  ScreenState state() const;
  // Pumps the run loop, letting time pass while the cloud is busy, until pred() holds or
  // `seconds` of session time passed.
  bool waitUntil(const std::function<bool()>& pred, double seconds = 60);
  // Pumps the run loop in real time, the clock left alone, until pred() holds (something only the
  // cloud's threads make true) or `seconds` passed.
  void waitForTheCloud(const std::function<bool()>& pred, double seconds = 10);
  void tapButton(const std::shared_ptr<dk::platform::View>& button);
  // Taps a visible event's card (thumbnail first when asked, then its action button); true when
  // the action sheet shows.
  bool openActionSheetOnEvent(bool tapThumbnailFirst);
  // Taps the shown sheet's action; `settle` waits for the sheet to go and its action to run.
  bool tapSheetAction(const std::string& title, bool settle = true);
  std::shared_ptr<dk::KLEventResponse> eventInDownload() const;

  // Prints what the sound file took since the last description (`where` it was heard): stretches
  // of tone and of silence. Null `where`: passes over what it holds so far, silently.
  void describeSound(const char* where);

  std::filesystem::path pictures_dir_;
  std::filesystem::path sound_file_;
  double sound_described_ = 0;  // seconds of the sound file described so far
  int64_t camera_ = 0;
  dk::cloudsim::CloudSim* cloud_;
  std::shared_ptr<dk::platform::Window> window_;
  std::unique_ptr<dk::platform::UiTestDriver> driver_;
  std::shared_ptr<dk::DKChronoKit> kit_;
  std::shared_ptr<dk::KLTimelineViewController> screen_;
  std::shared_ptr<dk::KLEventResponse> event_;  // the event the session works on
  int pictures_ = 0;
};
