#include "platform/ui/system_sound.h"

#include <mutex>

namespace dk::platform {

namespace {
struct SoundRecord {
  std::mutex mutex;
  std::vector<PlayedSystemSound> played;
};
SoundRecord& soundRecord() {
  static SoundRecord* record = new SoundRecord;
  return *record;
}
void recordSound(SystemSoundID sound, bool alert) {
  auto& record = soundRecord();
  std::lock_guard<std::mutex> lock(record.mutex);
  record.played.push_back({sound, alert});
}
}  // namespace

void SystemSound::playSystemSound(SystemSoundID sound) { recordSound(sound, false); }
void SystemSound::playAlertSound(SystemSoundID sound) { recordSound(sound, true); }

std::vector<PlayedSystemSound> SystemSound::played() {
  auto& record = soundRecord();
  std::lock_guard<std::mutex> lock(record.mutex);
  return record.played;
}

void SystemSound::resetForTesting() {
  auto& record = soundRecord();
  std::lock_guard<std::mutex> lock(record.mutex);
  record.played.clear();
}

}  // namespace dk::platform
