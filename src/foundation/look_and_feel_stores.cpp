#include <mutex>

#include "foundation/color_manager.h"
#include "foundation/data_handler.h"

namespace dk {
namespace {

struct LookAndFeel {
  std::mutex mutex;
  int64_t customFont = 0;
  std::optional<std::string> albumName;
  std::optional<std::string> appGroupName;
  std::string primaryColor;
  std::string secondaryColor;
};

LookAndFeel& store() {
  static LookAndFeel* s = new LookAndFeel;
  return *s;
}

template <typename T>
void write(T LookAndFeel::*field, T value) {
  auto& s = store();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.*field = std::move(value);
}

template <typename T>
T read(T LookAndFeel::*field) {
  auto& s = store();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.*field;
}

}  // namespace

void DataHandler::setData(int64_t customFont) { write(&LookAndFeel::customFont, customFont); }
int64_t DataHandler::getDataForCustomFont() { return read(&LookAndFeel::customFont); }
void DataHandler::setAlbumName(std::optional<std::string> name) { write(&LookAndFeel::albumName, std::move(name)); }
std::optional<std::string> DataHandler::getAlbumName() { return read(&LookAndFeel::albumName); }
void DataHandler::setAppGroupName(std::optional<std::string> name) { write(&LookAndFeel::appGroupName, std::move(name)); }
std::optional<std::string> DataHandler::getAppGroupName() { return read(&LookAndFeel::appGroupName); }

void DataHandler::resetForTesting() {
  setData(0);
  setAlbumName(std::nullopt);
  setAppGroupName(std::nullopt);
}

void ColorManager::setPrimaryColors(std::string hex) { write(&LookAndFeel::primaryColor, std::move(hex)); }
std::string ColorManager::getPrimaryColor() { return read(&LookAndFeel::primaryColor); }
void ColorManager::setSecondaryColors(std::string hex) { write(&LookAndFeel::secondaryColor, std::move(hex)); }
std::string ColorManager::getSecondaryColor() { return read(&LookAndFeel::secondaryColor); }

void ColorManager::resetForTesting() {
  setPrimaryColors("");
  setSecondaryColors("");
}

}  // namespace dk
