// A folder of this fuzz run's own (mode 0700, made once), where a target writes the file it reads.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::filesystem::path fuzzPrivateFolder(const char* name) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) std::abort();
  return std::filesystem::path(pattern);
}
