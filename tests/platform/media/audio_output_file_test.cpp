// The WAV file sink's bound: it holds at most its cap of sound (1 GiB unless asked for less), a
// write that would take it past the cap is dropped whole, and the header always describes what the
// file holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "platform/media/sound/audio_output.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

uint32_t read32(const std::vector<char>& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

std::vector<char> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SoundFile, AWriteThatWouldPassTheCapIsDroppedWholeAndTheHeaderStaysTrue) {
  constexpr int64_t kCap = 1000;  // bytes of sound
  struct Case {
    const char* what;
    int channels;
    std::vector<int64_t> writes;  // frames per write
    int64_t kept;                 // frames the file holds
  } cases[] = {
      {"mono up to the cap exactly", 1, {400, 100}, 500},
      {"mono a frame past it", 1, {400, 101}, 400},
      {"a smaller write still fits after a refused one", 1, {400, 101, 100}, 500},
      {"stereo up to the cap", 2, {200, 50}, 250},
      {"stereo a frame past it", 2, {200, 51}, 200},
      {"one write larger than the cap", 1, {501}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dk::test::TemporaryDirectory folder;
    const std::string path = (folder.path() / "sound.wav").string();
    std::string why;
    auto file = FileAudioOutput::create(path, &why, kCap);
    ASSERT_TRUE(file) << why;
    ASSERT_TRUE(file->configure(8000, c.channels));
    for (int64_t frames : c.writes) {
      const std::vector<int16_t> samples(static_cast<size_t>(frames * c.channels), 1234);
      file->write(samples.data(), frames);
    }
    EXPECT_EQ(file->framesWritten(), c.kept);
    const auto bytes = fileBytes(path);
    const int64_t data = c.kept * c.channels * 2;
    ASSERT_EQ(static_cast<int64_t>(bytes.size()), 44 + data);
    EXPECT_EQ(read32(bytes, 4), 36 + data) << "the RIFF size";
    EXPECT_EQ(read32(bytes, 40), data) << "the data size";
  }
}

// The default cap is 1 GiB: a write that claims more is refused before any of it is read (the
// buffer below holds two samples), and one that would overflow the byte count too.
TEST(SoundFile, ByDefaultAWriteBeyondOneGibibyteIsRefusedUnread) {
  dk::test::TemporaryDirectory folder;
  const std::string path = (folder.path() / "sound.wav").string();
  auto file = FileAudioOutput::create(path);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->configure(8000, 1));
  const int16_t two[2] = {7, 8};
  for (int64_t claimed : {FileAudioOutput::kMaxDataBytes / 2 + 1, std::numeric_limits<int64_t>::max()}) {
    SCOPED_TRACE(claimed);
    file->write(two, claimed);
    EXPECT_EQ(file->framesWritten(), 0);
    EXPECT_EQ(std::filesystem::file_size(path), 44u);
  }
  file->write(two, 2);
  EXPECT_EQ(file->framesWritten(), 2) << "the file still takes what fits";
  EXPECT_EQ(std::filesystem::file_size(path), 48u);
}

}  // namespace
}  // namespace dk::platform
