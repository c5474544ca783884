#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/data.h"

namespace dk::platform {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
  auto dir = fs::temp_directory_path() / ("dk-data-test-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir / name;
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(Data, InMemoryBytesWriteAtomicallyAndCompareByContent) {
  Data data(std::string("a\0b", 3), "video/mp4");
  EXPECT_EQ(data.length(), 3u);
  const auto path = scratch("memory.bin");
  EXPECT_FALSE(data.writeToFile(path.string()));
  EXPECT_EQ(fs::file_size(path), 3u);
  EXPECT_FALSE(fs::exists(path.string() + ".dk-tmp"));
  EXPECT_TRUE(data.isEqual(Data(std::string("a\0b", 3))));
  EXPECT_FALSE(data.isEqual(Data("ab")));
  EXPECT_EQ(Data("\x01\xff").description(), "{length = 2, bytes = 0x01ff}");
}

TEST(Data, AnOwnedFileIsMovedWhenSavedAndRemovedWhenUnsaved) {
  const auto temp = scratch("download.tmp");
  writeFile(temp, "clip-bytes");
  {
    auto unsaved = Data::withContentsOfFileAtPath(temp.string(), "video/mp4", true);
    EXPECT_EQ(unsaved->length(), 10u);
    EXPECT_EQ(unsaved->bytes(), "clip-bytes");
  }
  EXPECT_FALSE(fs::exists(temp));

  writeFile(temp, "clip-bytes");
  const auto saved = scratch("42.mp4");
  {
    auto data = Data::withContentsOfFileAtPath(temp.string(), "video/mp4", true);
    EXPECT_FALSE(data->writeToFile(saved.string()));
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(data->filePath(), saved.string());
  }
  // The saved file belongs to whoever saved it.
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_EQ(fs::file_size(saved), 10u);
}

TEST(Data, ABorrowedFileIsCopiedAndAFailedWriteIsAnError) {
  const auto source = scratch("source.bin");
  writeFile(source, "xyz");
  {
    auto data = Data::withContentsOfFileAtPath(source.string());
    EXPECT_FALSE(data->writeToFile(scratch("copy.bin").string()));
    auto error = data->writeToFile("/nonexistent-dir/x.bin");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), kCocoaErrorDomain);
  }
  EXPECT_TRUE(fs::exists(source));
  EXPECT_EQ(fs::file_size(scratch("copy.bin")), 3u);
  fs::remove_all(source.parent_path());
}

}  // namespace
}  // namespace dk::platform
