// What a recording and a live segment show: upright as their display matrix says (a phone's
// portrait video, a camera mounted on its side or upside down), snapshots included, and in the
// colours the stream is tagged with (BT.601 or BT.709, limited or full range).
#include <array>
#include <fstream>
#include <iterator>

#include "platform/media/core/frame_converter.h"
#include "platform/media/live/live_segment_decoder.h"
#include "streamer_fixture.h"
#include "support/temp_directory.h"
#include "test_videos.h"

extern "C" {
#include <libavutil/display.h>
}

namespace dk::platform::test {
namespace {

using Rgb = std::array<int, 3>;

Rgb rgbAt(const Image& image, int x, int y) {
  const ConstPixelBuffer p = image.pixels();
  const uint8_t* px = p.data + static_cast<ptrdiff_t>(y) * p.bytesPerRow + x * 4;  // B, G, R, A
  return {px[2], px[1], px[0]};
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
  for (size_t i = 0; i < 3; ++i) {
    if (std::abs(a[i] - b[i]) > tolerance) return false;
  }
  return true;
}

// A 96 x 64 picture, grey but for a red block in its top-left corner and a green one in its
// top-right corner: where the two land tells every turn and mirror apart.
constexpr int kWidth = 96, kHeight = 64;
constexpr Rgb kRed = {220, 30, 30}, kGreen = {30, 200, 30};
std::array<uint8_t, 3> cornersPicture(int x, int y) {
  if (y < 16 && x < 16) return {220, 30, 30};
  if (y < 16 && x >= kWidth - 16) return {30, 200, 30};
  return {128, 128, 128};
}

// Which corner of the image shows `colour`: "top left", "top right", "bottom left", "bottom
// right", or "none".
std::string cornerOf(const ImagePtr& image, const Rgb& colour) {
  if (!image) return "no picture";
  const int w = image->pixelWidth(), h = image->pixelHeight();
  const std::vector<std::pair<std::string, std::pair<int, int>>> corners = {
      {"top left", {6, 6}}, {"top right", {w - 7, 6}}, {"bottom left", {6, h - 7}}, {"bottom right", {w - 7, h - 7}}};
  for (const auto& [name, at] : corners) {
    if (near(rgbAt(*image, at.first, at.second), colour, 24)) return name;
  }
  return "none";
}

std::string writeVideo(const dk::test::TemporaryDirectory& folder, const std::string& name, TestVideoOptions options) {
  const std::string path = (folder.path() / name).string();
  std::string why;
  if (!writeTestVideo(path, options, &why)) ADD_FAILURE() << name << ": " << why;
  return path;
}

// The first picture of the video made as a live segment (MPEG-TS), as the live view shows it.
ImagePtr firstLivePicture(const dk::test::TemporaryDirectory& folder, TestVideoOptions options) {
  options.container = "mpegts";
  const std::string bytes = readFile(writeVideo(folder, "segment.ts", options));
  LiveSegmentDecoder decoder;
  std::string why;
  LiveSegmentFrame frame;
  if (!decoder.open(std::make_shared<const std::string>(bytes), LivePictureLimits::segmentBudget(2), &why) ||
      decoder.next(frame, &why) != LiveSegmentDecoder::Step::Picture) {
    ADD_FAILURE() << "live segment: " << why;
  }
  return frame.image;
}

TestVideoOptions cornersVideo() {
  TestVideoOptions options;
  options.width = kWidth;
  options.height = kHeight;
  options.frames = 3;
  options.bFrames = 0;
  options.rgb = cornersPicture;
  return options;
}

constexpr int32_t kOne = 1 << 16;  // 1.0 in a display matrix's 16.16 entries

std::array<int32_t, 9> displayMatrix(int32_t a, int32_t b, int32_t c, int32_t d, int32_t tx = 0, int32_t ty = 0,
                                     int32_t u = 0) {
  return {a, b, u, c, d, 0, tx, ty, 1 << 30};
}

struct TurnCase {
  const char* what;
  std::array<int32_t, 9> matrix;
  int width, height;  // as shown
  const char* red;
  const char* green;
};

const std::vector<TurnCase>& turnCases() {
  static const std::vector<TurnCase> cases = {
      {"as stored", displayMatrix(kOne, 0, 0, kOne), 96, 64, "top left", "top right"},
      // As a phone writes its portrait video: the sensor's picture turned clockwise.
      {"a quarter turn clockwise", displayMatrix(0, kOne, -kOne, 0, kHeight * kOne), 64, 96, "top right",
       "bottom right"},
      {"half a turn", displayMatrix(-kOne, 0, 0, -kOne, kWidth * kOne, kHeight * kOne), 96, 64, "bottom right",
       "bottom left"},
      {"a quarter turn anticlockwise", displayMatrix(0, -kOne, kOne, 0, 0, kWidth * kOne), 64, 96, "bottom left",
       "top left"},
      {"mirrored left to right", displayMatrix(-kOne, 0, 0, kOne, kWidth * kOne), 96, 64, "top right", "top left"},
      {"mirrored top to bottom", displayMatrix(kOne, 0, 0, -kOne, 0, kHeight * kOne), 96, 64, "bottom left",
       "bottom right"},
      {"turned and mirrored", displayMatrix(0, kOne, kOne, 0), 64, 96, "top left", "bottom left"},
      {"a quarter turn that also scales", displayMatrix(0, 2 * kOne, -2 * kOne, 0), 64, 96, "top right",
       "bottom right"},
      // Nothing a screen can show exactly: upright as stored, never refused.
      {"turned by 45 degrees", displayMatrix(46341, 46341, -46341, 46341), 96, 64, "top left", "top right"},
      {"with a perspective", displayMatrix(0, kOne, -kOne, 0, 0, 0, 1 << 20), 96, 64, "top left", "top right"},
      {"a singular matrix", displayMatrix(0, 0, 0, 0), 96, 64, "top left", "top right"},
  };
  return cases;
}

TEST(ShownPictureTest, ARecordingIsShownAsItsDisplayMatrixTurnsIt) {
  dk::test::TemporaryDirectory folder;
  for (const TurnCase& row : turnCases()) {
    SCOPED_TRACE(row.what);
    TestVideoOptions options = cornersVideo();
    options.displayMatrix = row.matrix;
    const std::string path = writeVideo(folder, "turned.mp4", options);
    VideoDecoder decoder;
    std::string why;
    ASSERT_TRUE(decoder.open(path, &why)) << why;
    EXPECT_EQ(decoder.width(), row.width);
    EXPECT_EQ(decoder.height(), row.height);
    for (size_t index : {size_t{0}, size_t{2}}) {
      const ImagePtr picture = decoder.frameAt(index);
      ASSERT_TRUE(picture) << "frame " << index;
      EXPECT_EQ(picture->pixelWidth(), row.width);
      EXPECT_EQ(picture->pixelHeight(), row.height);
      EXPECT_EQ(cornerOf(picture, kRed), row.red) << "frame " << index;
      EXPECT_EQ(cornerOf(picture, kGreen), row.green) << "frame " << index;
    }
  }
}

TEST(ShownPictureTest, DisplayMatricesOfQuarterTurnsAndMirrorsAreReadAndOthersLeftUpright) {
  for (const TurnCase& row : turnCases()) {
    SCOPED_TRACE(row.what);
    const PictureOrientation o = PictureOrientation::fromDisplayMatrix(row.matrix.data());
    EXPECT_EQ(o.swapsSides(), row.width != kWidth);
    EXPECT_EQ(o.upright(), std::string(row.red) == "top left" && std::string(row.green) == "top right");
  }
  // FFmpeg's own quarter turn (as its tools write a rotation) reads as one.
  int32_t matrix[9];
  av_display_rotation_set(matrix, 90);
  EXPECT_TRUE(PictureOrientation::fromDisplayMatrix(matrix).swapsSides());
}

// A live segment (MPEG-TS) has no display matrix of its own; a camera that turns its picture says
// so in the video itself (the H.264 display orientation message), and each picture follows it.
TEST(ShownPictureTest, ALiveSegmentIsShownAsItsVideoSaysItIsTurned) {
  dk::test::TemporaryDirectory folder;
  struct Case {
    const char* filter;
    int width, height;
    const char* red;
    const char* green;
  };
  const std::vector<Case> cases = {
      {"", 96, 64, "top left", "top right"},
      {"h264_metadata=display_orientation=insert:rotate=90", 64, 96, "bottom left", "top left"},
      {"h264_metadata=display_orientation=insert:rotate=180", 96, 64, "bottom right", "bottom left"},
      {"h264_metadata=display_orientation=insert:rotate=0:flip=horizontal", 96, 64, "top right", "top left"},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.filter);
    TestVideoOptions options = cornersVideo();
    options.bitstreamFilter = row.filter;
    const ImagePtr picture = firstLivePicture(folder, options);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixelWidth(), row.width);
    EXPECT_EQ(picture->pixelHeight(), row.height);
    EXPECT_EQ(cornerOf(picture, kRed), row.red);
    EXPECT_EQ(cornerOf(picture, kGreen), row.green);
  }
}

// A live fMP4 (CMAF) stream states its turn once, in its initialisation section: every
// fragment's pictures follow it.
TEST(ShownPictureTest, ALiveFragmentIsShownAsItsInitialisationSectionSaysItIsTurned) {
  dk::test::TemporaryDirectory folder;
  TestVideoOptions options = cornersVideo();
  options.movflags = "frag_keyframe+empty_moov+default_base_moof";
  options.displayMatrix = displayMatrix(0, kOne, -kOne, 0, kHeight * kOne);  // 90 degrees
  const std::string bytes = readFile(writeVideo(folder, "live.mp4", options));
  // The initialisation section is everything before the first fragment's moof.
  size_t at = 0;
  while (at + 8 <= bytes.size() && bytes.compare(at + 4, 4, "moof") != 0) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    const size_t size = (size_t{p[0]} << 24) | (size_t{p[1]} << 16) | (size_t{p[2]} << 8) | p[3];
    ASSERT_GE(size, 8u);
    at += size;
  }
  ASSERT_LT(at, bytes.size()) << "no fragment written";
  LiveSegmentDecoder decoder;
  std::string why;
  LiveSegmentFrame frame;
  ASSERT_TRUE(decoder.openFragment(std::make_shared<const std::string>(bytes.substr(0, at)),
                                   std::make_shared<const std::string>(bytes.substr(at)),
                                   LivePictureLimits::segmentBudget(2), LiveSoundLimits::segmentBudget(2), &why))
      << why;
  ASSERT_EQ(decoder.next(frame, &why), LiveSegmentDecoder::Step::Picture) << why;
  ASSERT_TRUE(frame.image);
  EXPECT_EQ(frame.image->pixelWidth(), kHeight);
  EXPECT_EQ(frame.image->pixelHeight(), kWidth);
  EXPECT_EQ(cornerOf(frame.image, kRed), "top right");
}

// The streamer's picture and its snapshot of a phone's portrait recording are upright.
TEST_F(StreamerTest, ATurnedRecordingPlaysAndIsSnappedUpright) {
  dk::test::TemporaryDirectory folder;
  TestVideoOptions options = cornersVideo();
  options.frames = 10;
  options.displayMatrix = displayMatrix(0, kOne, -kOne, 0, kHeight * kOne);
  const std::string bytes = readFile(writeVideo(folder, "portrait.mp4", options));
  cloudsim::FaultRule whole = cloudsim::FaultRule::failWith(
      "/media/cameras/" + std::to_string(cameraId) + "/recordings/" + std::to_string(closedId) + ".mp4", 200, bytes);
  whole.contentType = "video/mp4";
  whole.times = -1;
  sim->addFault(whole);
  prepareClosed();
  const ImagePtr shown = streamer->currentFrame();
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown->pixelWidth(), 64);
  EXPECT_EQ(shown->pixelHeight(), 96);
  EXPECT_EQ(cornerOf(shown, kRed), "top right");
  EXPECT_EQ(cornerOf(layer->contents(), kRed), "top right");
  streamer->takeSnapshot();
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return recorder->snapshot != nullptr; }));
  EXPECT_EQ(recorder->snapshot->pixelWidth(), 64);
  EXPECT_EQ(recorder->snapshot->pixelHeight(), 96);
  EXPECT_EQ(cornerOf(recorder->snapshot, kRed), "top right");
  EXPECT_EQ(cornerOf(recorder->snapshot, kGreen), "bottom right");
}

// Patches of known colours, made YUV with the matrix and range the stream is tagged with, come
// back as those colours.
constexpr std::array<Rgb, 6> kPatches = {
    {{64, 128, 192}, {200, 60, 40}, {30, 200, 90}, {240, 240, 240}, {20, 20, 20}, {128, 64, 200}}};
std::array<uint8_t, 3> patchesPicture(int x, int y) {
  const Rgb& c = kPatches[static_cast<size_t>((y / 16) * 3 + x / 16) % kPatches.size()];
  return {static_cast<uint8_t>(c[0]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[2])};
}

struct ColourCase {
  const char* what;
  std::string encoder;
  int colorspace;
  bool fullRange;
};

const std::vector<ColourCase>& colourCases() {
  static const std::vector<ColourCase> cases = {
      {"untagged (BT.601)", "libx264", 2, false}, {"BT.601", "libx264", 6, false},
      {"BT.709", "libx264", 1, false},            {"BT.601 full range", "libx264", 6, true},
      {"BT.709 full range", "libx264", 1, true},  {"HEVC BT.709 full range", "libx265", 1, true},
  };
  return cases;
}

TestVideoOptions patchesVideo(const ColourCase& row) {
  TestVideoOptions options;
  options.encoder = row.encoder;
  options.width = 128;  // libx265 writes past its buffers for pictures much smaller
  options.height = 64;
  options.frames = 2;
  options.bFrames = 0;
  options.rgb = patchesPicture;
  options.colorspace = row.colorspace;
  options.fullRange = row.fullRange;
  return options;
}

void expectPatches(const ImagePtr& picture) {
  ASSERT_TRUE(picture);
  for (size_t i = 0; i < kPatches.size(); ++i) {
    const int x = static_cast<int>(i % 3) * 16 + 8, y = static_cast<int>(i / 3) * 16 + 8;
    const Rgb got = rgbAt(*picture, x, y);
    EXPECT_TRUE(near(got, kPatches[i], 3)) << "patch " << kPatches[i][0] << "," << kPatches[i][1] << ","
                                           << kPatches[i][2] << " came out " << got[0] << "," << got[1] << ","
                                           << got[2];
  }
}

TEST(ShownPictureTest, ARecordingShowsTheColoursItsStreamIsTaggedWith) {
  dk::test::TemporaryDirectory folder;
  for (const ColourCase& row : colourCases()) {
    SCOPED_TRACE(row.what);
    const std::string path = writeVideo(folder, "colours.mp4", patchesVideo(row));
    VideoDecoder decoder;
    std::string why;
    ASSERT_TRUE(decoder.open(path, &why)) << why;
    expectPatches(decoder.frameAt(1));
  }
}

TEST(ShownPictureTest, ALiveSegmentShowsTheColoursItsStreamIsTaggedWith) {
  dk::test::TemporaryDirectory folder;
  for (const ColourCase& row : colourCases()) {
    if (row.encoder != "libx264") continue;  // live segments carry H.264
    SCOPED_TRACE(row.what);
    expectPatches(firstLivePicture(folder, patchesVideo(row)));
  }
}

}  // namespace
}  // namespace dk::platform::test
