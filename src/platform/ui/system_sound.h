// SystemSound: the short system sounds and the vibration (what AudioServicesPlaySystemSound and
// AudioServicesPlayAlertSound give). This machine has no speaker or vibration motor: each sound
// asked for is recorded, in order, so that what a person would have heard or felt can be read.
//
// Process-wide; thread-safe.
#pragma once

#include <cstdint>
#include <vector>

namespace dk::platform {

using SystemSoundID = uint32_t;
// The phone's vibration, played as an alert sound.
inline constexpr SystemSoundID kSystemSoundID_Vibrate = 4095;

struct PlayedSystemSound {
  SystemSoundID sound;
  bool alert;  // played as an alert (AudioServicesPlayAlertSound): vibrates where the phone can
  friend bool operator==(const PlayedSystemSound&, const PlayedSystemSound&) = default;
};

class SystemSound {
 public:
  static void playSystemSound(SystemSoundID sound);
  static void playAlertSound(SystemSoundID sound);

  // What was played since the last reset, oldest first.
  static std::vector<PlayedSystemSound> played();
  static void resetForTesting();
};

}  // namespace dk::platform
