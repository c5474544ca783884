#include "platform/ui/system_sound.h"

#include <mutex>

namespace dk::platform {

namespace {
struct SystemSoundRecord {
  std::mutex mutex;
  std::vector<PlayedSystemSound> played;
};
SystemSoundRecord& systemSoundRecord() {
  static SystemSoundRecord* record = new SystemSoundRecord;
  return *record;
}
void recordSystemSound(SystemSoundID sound, bool alert) {
  auto& record = systemSoundRecord();
  std::lock_guard<std::mutex> lock(record.mutex);
  record.played.push_back({sound, alert});
}
}  // namespace

void SystemSound::playSystemSound(SystemSoundID sound) { recordSystemSound(sound, false); }
void SystemSound::playAlertSound(SystemSoundID sound) { recordSystemSound(sound, true); }

std::vector<PlayedSystemSound> SystemSound::played() {
  auto& record = systemSoundRecord();
  std::lock_guard<std::mutex> lock(record.mutex);
  return record.played;
}

void SystemSound::resetForTesting() {
  auto& record = systemSoundRecord();
  std::lock_guard<std::mutex> lock(record.mutex);
  record.played.clear();
}

}  // namespace dk::platform
