// Thumbnails and snapshots are JPEGs a decoder reads; clips are MPEG-4 files of the scripted
// size, streamed whole.
#include <algorithm>
#include <csetjmp>
#include <array>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "cloud-sim/scene_pictures.h"
#include "sim_fixture.h"

namespace dk::cloudsim::test {
namespace {

struct Decoded {
  bool ok = false;
  int width = 0, height = 0, components = 0;
  std::vector<uint8_t> pixels;
};

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

Decoded decodeJpeg(const std::string& bytes) {
  Decoded out;
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); };
  error.manager.output_message = [](j_common_ptr) {};
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return Decoded{};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&info, TRUE);
  jpeg_start_decompress(&info);
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.components = info.output_components;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * out.components);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out.pixels.data() + static_cast<size_t>(info.output_scanline) * out.width * out.components;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  out.ok = true;
  return out;
}

uint32_t be32(const std::string& s, size_t at) {
  return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
         (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}

// Walks a box list; returns the types in order, or nothing when sizes do not add up.
std::vector<std::string> boxes(const std::string& data, size_t begin, size_t end) {
  std::vector<std::string> types;
  size_t at = begin;
  while (at < end) {
    if (at + 8 > end) return {};
    const uint32_t size = be32(data, at);
    if (size < 8 || at + size > end) return {};
    types.push_back(data.substr(at + 4, 4));
    at += size;
  }
  return types;
}

// The colour at (x, y) of a decoded RGB picture.
std::array<int, 3> pixelAt(const Decoded& image, int x, int y) {
  const size_t at = (static_cast<size_t>(y) * image.width + x) * 3;
  return {image.pixels[at], image.pixels[at + 1], image.pixels[at + 2]};
}

bool near(std::array<int, 3> a, std::array<int, 3> b, int tolerance) {
  for (int i = 0; i < 3; ++i) {
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  }
  return true;
}

// Mean absolute difference of the scene (above the caption band, below the name plates).
double sceneDifference(const Decoded& a, const Decoded& b) {
  double sum = 0;
  int n = 0;
  for (int y = 30; y < 128; y += 2) {
    for (int x = 0; x < a.width; x += 2) {
      auto p = pixelAt(a, x, y), q = pixelAt(b, x, y);
      for (int i = 0; i < 3; ++i) sum += std::abs(p[i] - q[i]);
      n += 3;
    }
  }
  return sum / n;
}

TEST(ScenePictures, ThumbnailsShowTheCamerasSceneAndTheEventsBadge) {
  World world = World::generate(GenerateOptions{});
  world.cameras[0].name = "Front Door";
  world.cameras[1].name = "Garden";
  Event motion{.eventId = 7, .cameraId = world.cameras[0].cameraId, .timestamp = 1700000000, .type = "vmdDetected"};
  Event ring = motion;
  ring.eventId = 8;
  ring.type = "doorbellPressed";
  Event elsewhere = motion;
  elsewhere.cameraId = world.cameras[1].cameraId;
  const Decoded a = decodeJpeg(detail::eventThumbnailJpeg(motion, world));
  const Decoded b = decodeJpeg(detail::eventThumbnailJpeg(ring, world));
  const Decoded c = decodeJpeg(detail::eventThumbnailJpeg(elsewhere, world));
  ASSERT_TRUE(a.ok && b.ok && c.ok);
  EXPECT_LT(sceneDifference(a, b), 2.0);   // one camera, one scene
  EXPECT_GT(sceneDifference(a, c), 20.0);  // another camera, another scene
  // The badge in the caption band wears the event type's colour; the band itself is dark.
  EXPECT_TRUE(near(pixelAt(a, 14, 156), {230, 160, 20}, 24));
  EXPECT_TRUE(near(pixelAt(b, 14, 156), {150, 80, 200}, 24));
  EXPECT_LT(pixelAt(a, 300, 176)[0], 40);
  // The texts written on it.
  EXPECT_EQ(detail::eventLabel("audioCategorized", "glassBreak"), "Sound: glassBreak");
  EXPECT_EQ(detail::eventLabel("pirDetected", ""), "Infrared");
  EXPECT_EQ(detail::localTimeText(1700000000.7, 7200), "2023-11-15 00:13:20");
}

class Media : public SimTest {
 protected:
  void SetUp() override { start(smallWorld(2, 1)); }
};

TEST_F(Media, ThumbnailsAreDecodableAndDifferPerEvent) {
  const World world = sim->world();
  std::vector<uint8_t> previous;
  for (size_t i = 0; i < 3; ++i) {
    const Event& e = world.events[i];
    const ClientResponse response = client->get("/rest/v2.4/events/" + std::to_string(e.eventId) + ".jpg", token());
    ASSERT_EQ(response.status, 200);
    EXPECT_EQ(response.header("Content-Type"), "image/jpeg");
    const Decoded image = decodeJpeg(response.body);
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.width, 320);
    EXPECT_EQ(image.height, 180);
    EXPECT_EQ(image.components, 3);
    EXPECT_NE(image.pixels, previous);
    previous = image.pixels;
  }
  EXPECT_EQ(client->get("/rest/v2.4/events/1.jpg", token()).status, 404);
  EXPECT_EQ(client->get("/rest/v2.4/events/1.jpg", "").status, 401);
}

TEST_F(Media, SnapshotsFollowTheAskedResolutionAndNeedAnOnlineCamera) {
  const World world = sim->world();
  const std::string online = std::to_string(world.cameras[0].cameraId);
  ClientResponse response = client->get("/rest/v2.0/cameras/" + online + "/snapshot?resolution=1280x720", token());
  ASSERT_EQ(response.status, 200);
  Decoded image = decodeJpeg(response.body);
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.width, 1280);
  EXPECT_EQ(image.height, 720);
  response = client->get("/rest/v2.0/cameras/" + online + "/snapshot?resolution=636x357", token());
  image = decodeJpeg(response.body);
  ASSERT_TRUE(image.ok);
  EXPECT_EQ(image.width, 636);
  EXPECT_EQ(image.height, 357);
  EXPECT_EQ(client->get("/rest/v2.0/cameras/" + online + "/snapshot?resolution=huge", token()).status, 400);
  response = client->get("/rest/v2.0/cameras/" + std::to_string(world.cameras[1].cameraId) + "/snapshot", token());
  EXPECT_EQ(response.status, 409);
  EXPECT_EQ(response.json()["message"], "Camera is not connected with the platform");
}

TEST_F(Media, ClipIsARealMpeg4VideoOfTheEvent) {
  const World world = sim->world();
  const Event& e = world.events.front();
  const std::string path = "/media/clips/" + std::to_string(e.eventId) + ".mp4";
  ClientResponse response = client->get(path, token());
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.header("Content-Type"), "video/mp4");
  EXPECT_EQ(response.header("Content-Length"), std::to_string(response.body.size()));
  auto top = boxes(response.body, 0, response.body.size());
  ASSERT_FALSE(top.empty());
  EXPECT_EQ(top.front(), "ftyp");
  std::sort(top.begin(), top.end());
  EXPECT_TRUE(std::binary_search(top.begin(), top.end(), "moov"));
  EXPECT_TRUE(std::binary_search(top.begin(), top.end(), "mdat"));
  EXPECT_NE(response.body.find("mp4v"), std::string::npos) << "an MPEG-4 video track";
  // Two frames a second of real pictures are far more than a few hundred bytes.
  EXPECT_GT(response.body.size(), 1000u * static_cast<size_t>(e.clipSeconds));
  EXPECT_EQ(client->get(path, token()).body, response.body) << "the same bytes every time";
  EXPECT_EQ(client->get(path, "").status, 401);
}

TEST_F(Media, AClipOfAScriptedSizeIsAWellFormedFileOfThatSize) {
  const World world = sim->world();
  const int64_t id = world.events.front().eventId;
  sim->updateWorld([&](World& w) {
    for (Event& e : w.events)
      if (e.eventId == id) e.clipBytes = 4096;
  });
  const std::string path = "/media/clips/" + std::to_string(id) + ".mp4";
  ClientResponse response = client->get(path, token());
  ASSERT_EQ(response.status, 200);
  EXPECT_EQ(response.body.size(), 4096u);
  const auto top = boxes(response.body, 0, response.body.size());
  ASSERT_EQ(top, (std::vector<std::string>{"ftyp", "moov", "mdat"}));
  const size_t moov = be32(response.body, 0);
  // The track's only chunk starts where the media data does.
  const size_t stco = response.body.find("stco");
  ASSERT_NE(stco, std::string::npos);
  const size_t mdat = response.body.find("mdat", moov);
  EXPECT_EQ(be32(response.body, stco + 12), mdat + 4);
}

TEST_F(Media, LargeClipsStreamWholeAndHeadTellsTheSize) {
  const World world = sim->world();
  const int64_t id = world.events[1].eventId;
  const uint64_t size = 24ull * 1024 * 1024 + 321;
  sim->updateWorld([&](World& w) {
    for (Event& e : w.events)
      if (e.eventId == id) e.clipBytes = size;
  });
  const std::string path = "/media/clips/" + std::to_string(id) + ".mp4";
  ClientResponse response = client->request("HEAD", path, {{"Authorization", "Bearer " + token()}});
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.header("Content-Length"), std::to_string(size));
  EXPECT_TRUE(response.body.empty());

  response = client->get(path, token());
  ASSERT_EQ(response.status, 200) << response.error;
  ASSERT_EQ(response.body.size(), size);
  EXPECT_EQ(boxes(response.body, 0, response.body.size()), (std::vector<std::string>{"ftyp", "moov", "mdat"}));
  EXPECT_EQ(client->connectionsOpened(), 1);
}

}  // namespace
}  // namespace dk::cloudsim::test
