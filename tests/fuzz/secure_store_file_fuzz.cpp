// The secure store's file: any bytes found where the store keeps its items load without fault;
// a store that loaded answers reads, and an item added to it reads back after the file is
// reopened. A file that does not read is never overwritten.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "private_folder.h"
#include "platform/foundation/secure_store.h"

namespace {

std::filesystem::path privateFolder() {
  static const std::filesystem::path folder = fuzzPrivateFolder("secure-store-fuzz");
  return folder;
}

std::string contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace dk::platform;
  const std::filesystem::path file = privateFolder() / "items";
  std::filesystem::remove(file);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  auto store = SecureStore::createFileBacked(file);
  std::string found;
  const OSStatus read = store->copyData({"fuzz.service", std::nullopt}, &found);
  const OSStatus added = store->add({"fuzz.added", "account", "secret", kSecAttrAccessibleAlways});
  if (read == errSecIO || added == errSecIO) {
    if (contents(file) != bytes) {
      std::fprintf(stderr, "an unreadable store file was overwritten\n");
      std::abort();
    }
    return 0;
  }
  if (added != errSecSuccess && added != errSecDuplicateItem) std::abort();
  std::string again;
  auto reopened = SecureStore::createFileBacked(file);
  if (reopened->copyData({"fuzz.added", std::string("account")}, &again) != errSecSuccess) {
    std::fprintf(stderr, "an added item did not survive reopening the file\n");
    std::abort();
  }
  if (added == errSecSuccess && again != "secret") std::abort();
  return 0;
}
