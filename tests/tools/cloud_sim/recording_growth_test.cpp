// An open recording grows by appending: each longer take keeps the shorter one's frames byte for
// byte where they were (the payload of the media box up to its old end), so a player may keep
// what it already read of them. Checked on what the cloud serves and on the camera-like H.264
// encoding across its repeating cycle.
#include <cstring>

#include "cloud-sim/recording_video.h"
#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

struct TopBox {
  std::string type;
  uint64_t offset = 0, size = 0, headerSize = 0;
};

uint64_t bigEndian(const std::string& bytes, size_t at, int count) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

// The file's top-level boxes; empty when they do not tile it exactly.
std::vector<TopBox> topLevelBoxes(const std::string& file) {
  std::vector<TopBox> boxes;
  uint64_t at = 0;
  while (at + 8 <= file.size()) {
    TopBox box{file.substr(at + 4, 4), at, bigEndian(file, at, 4), 8};
    if (box.size == 1 && at + 16 <= file.size()) {
      box.size = bigEndian(file, at + 8, 8);
      box.headerSize = 16;
    }
    if (box.size < box.headerSize || at + box.size > file.size()) return {};
    boxes.push_back(box);
    at += box.size;
  }
  return at == file.size() ? boxes : std::vector<TopBox>{};
}

std::optional<TopBox> mdatOf(const std::string& file) {
  for (const TopBox& box : topLevelBoxes(file)) {
    if (box.type == "mdat") return box;
  }
  return std::nullopt;
}

// The later take keeps the earlier one's media payload where it was, byte for byte, and the
// index still follows the media.
void expectAppendedTo(const std::string& earlier, const std::string& later) {
  ASSERT_GT(later.size(), earlier.size());
  const auto before = mdatOf(earlier), after = mdatOf(later);
  ASSERT_TRUE(before && after) << "both takes are well-formed MP4 with a media box";
  EXPECT_EQ(after->offset, before->offset);
  EXPECT_EQ(after->headerSize, before->headerSize);
  EXPECT_GT(after->size, before->size);
  EXPECT_EQ(topLevelBoxes(later).back().type, "moov") << "the index comes after the media";
  const size_t payload = before->offset + before->headerSize, end = before->offset + before->size;
  size_t firstDifference = payload;
  while (firstDifference < end && earlier[firstDifference] == later[firstDifference]) ++firstDifference;
  EXPECT_EQ(firstDifference, end) << "the earlier take's media changed " << (firstDifference - payload)
                                  << " bytes into its " << (end - payload) << "-byte payload";
}

class RecordingGrowth : public SimTest {
 protected:
  void SetUp() override { start(smallWorld(1, 1)); }
};

TEST_F(RecordingGrowth, EachLongerTakeOfAnOpenRecordingKeepsTheEarlierMediaBytes) {
  const int64_t camera = firstCamera();
  int64_t recording = 0;
  sim->updateWorld([&](World& w) { recording = w.startRecording(camera, w.now - 7.5); });
  const std::string path =
      "/media/cameras/" + std::to_string(camera) + "/recordings/" + std::to_string(recording) + ".mp4";
  std::vector<std::string> takes;
  for (double more : {0.0, 3.0, 0.5, 41.0}) {
    sim->updateWorld([&](World& w) { w.now += more; });
    const ClientResponse take = client->get(path, token());
    ASSERT_EQ(take.status, 200);
    EXPECT_EQ(take.header("X-Recording-Open"), "true");
    takes.push_back(take.body);
  }
  for (size_t i = 1; i < takes.size(); ++i) {
    SCOPED_TRACE("take " + std::to_string(i));
    expectAppendedTo(takes[i - 1], takes[i]);
  }
}

TEST(RecordingGrowthEncoding, CameraLikeTakesAppendAcrossTheRepeatingCycle) {
  // With the camera's sound too: its packets sit between the pictures and repeat on their own cycle.
  for (bool sound : {false, true}) {
    SCOPED_TRACE(sound ? "with sound" : "pictures only");
    detail::VideoSpec spec;
    spec.label = "Porch";
    spec.startTime = 1699990000.0;
    spec.h264 = true;
    spec.fps = 25;
    spec.width = 160;
    spec.height = 96;
    spec.sound = sound;
    std::vector<std::string> takes;
    // Part of a group of pictures, whole groups, into the second cycle and past it.
    for (double seconds : {3.3, 8.0, 12.7, 26.1, 47.9}) {
      spec.duration = seconds;
      takes.push_back(detail::encodeLabelledVideo(spec));
      ASSERT_FALSE(takes.back().empty());
    }
    for (size_t i = 1; i < takes.size(); ++i) {
      SCOPED_TRACE("take " + std::to_string(i));
      expectAppendedTo(takes[i - 1], takes[i]);
    }
    EXPECT_EQ(takes.back().find("mp4a") != std::string::npos, sound) << "an AAC track exactly when asked for";
  }
}

}  // namespace
}  // namespace dk::cloudsim::test
