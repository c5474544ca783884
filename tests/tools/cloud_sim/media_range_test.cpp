// Byte ranges on recordings and clips: a player that fetches a file piecewise gets exactly the
// bytes it asked for, with the whole size named, and a clear refusal past the end.
#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

class MediaRange : public SimTest {
 protected:
  void SetUp() override { start(smallWorld(2, 1)); }

  ClientResponse getRange(const std::string& path, const std::string& range) {
    return client->request("GET", path, {{"Authorization", "Bearer " + token()}, {"Range", range}});
  }

  // Every kind of range against one file whose whole bytes are `whole`.
  void expectRangesAnswered(const std::string& path, const std::string& whole) {
    const std::string size = std::to_string(whole.size());
    ClientResponse r = getRange(path, "bytes=0-99");
    EXPECT_EQ(r.status, 206);
    EXPECT_EQ(r.header("Content-Range"), "bytes 0-99/" + size);
    EXPECT_EQ(r.body, whole.substr(0, 100));
    r = getRange(path, "bytes=100-");
    EXPECT_EQ(r.status, 206);
    EXPECT_EQ(r.header("Content-Range"), "bytes 100-" + std::to_string(whole.size() - 1) + "/" + size);
    EXPECT_EQ(r.body, whole.substr(100));
    r = getRange(path, "bytes=-50");
    EXPECT_EQ(r.status, 206);
    EXPECT_EQ(r.body, whole.substr(whole.size() - 50));
    r = getRange(path, "bytes=10-" + std::to_string(whole.size() + 1000));  // clipped to the end
    EXPECT_EQ(r.status, 206);
    EXPECT_EQ(r.body, whole.substr(10));
    r = getRange(path, "bytes=" + size + "-");
    EXPECT_EQ(r.status, 416);
    EXPECT_EQ(r.header("Content-Range"), "bytes */" + size);
    EXPECT_TRUE(r.body.empty());
    // Several ranges, or nonsense: the whole file, as HTTP allows.
    r = getRange(path, "bytes=0-1,5-6");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, whole);
    r = getRange(path, "bytes=9-3");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, whole);
  }
};

TEST_F(MediaRange, RecordingsAnswerByteRanges) {
  const int64_t camera = sim->world().cameras.front().cameraId;
  int64_t recording = 0;
  sim->updateWorld([&](World& w) {
    recording = w.startRecording(camera, w.now - 100);
    w.closeRecording(recording, w.now - 80);
  });
  const std::string path =
      "/media/cameras/" + std::to_string(camera) + "/recordings/" + std::to_string(recording) + ".mp4";
  const ClientResponse whole = client->get(path, token());
  ASSERT_EQ(whole.status, 200);
  EXPECT_EQ(whole.header("Accept-Ranges"), "bytes");
  ASSERT_GT(whole.body.size(), 200u);
  expectRangesAnswered(path, whole.body);
}

TEST_F(MediaRange, RealClipsAnswerByteRanges) {
  const World world = sim->world();
  const std::string path = "/media/clips/" + std::to_string(world.events.front().eventId) + ".mp4";
  const ClientResponse whole = client->get(path, token());
  ASSERT_EQ(whole.status, 200);
  expectRangesAnswered(path, whole.body);
}

TEST_F(MediaRange, ClipsOfAScriptedSizeAnswerByteRanges) {
  const int64_t id = sim->world().events.front().eventId;
  sim->updateWorld([&](World& w) {
    for (Event& e : w.events)
      if (e.eventId == id) e.clipBytes = 5000;
  });
  const std::string path = "/media/clips/" + std::to_string(id) + ".mp4";
  const ClientResponse whole = client->get(path, token());
  ASSERT_EQ(whole.body.size(), 5000u);
  expectRangesAnswered(path, whole.body);
}

}  // namespace
}  // namespace dk::cloudsim::test
