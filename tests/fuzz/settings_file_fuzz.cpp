// The settings file: any bytes found where a suite keeps its values load without fault (a damaged
// file starts an empty suite); every value read answers its typed readers, and a value stored
// afterwards reads back from a fresh instance over the same file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "private_folder.h"
#include "platform/foundation/user_defaults.h"

namespace {

std::filesystem::path privateFolder() {
  static const std::filesystem::path folder = fuzzPrivateFolder("settings-fuzz");
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace dk::platform;
  const std::filesystem::path folder = privateFolder();
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / "suite.json";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  auto defaults = UserDefaults::atPath(file);
  for (const auto& [key, value] : defaults->dictionaryRepresentation()) {
    (void)defaults->stringForKey(key);
    (void)defaults->integerForKey(key);
    (void)defaults->doubleForKey(key);
    (void)defaults->dictionaryForKey(key);
    (void)defaults->arrayForKey(key);
    (void)value.description();
  }
  if (!defaults->setObject(Value("kept"), "fuzz.key")) return 0;  // the folder may refuse a write
  if (UserDefaults::atPath(file)->stringForKey("fuzz.key") != "kept") {
    std::fprintf(stderr, "a stored value did not read back from the file\n");
    std::abort();
  }
  return 0;
}
