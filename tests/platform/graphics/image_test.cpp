#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#include "platform/graphics/image.h"
#include "platform/graphics/image_compare.h"
#include "platform/graphics/image_renderer.h"
#include "platform/graphics/screen_scale.h"

namespace dk::platform {
namespace {

namespace fs = std::filesystem;

// A picture with colour, transparency and partial alpha in it.
ImagePtr samplePicture() {
  return ImageRenderer::render({20, 10}, 2.0, false, [](GraphicsContext& c) {
    c.setFillColor(Color::rgba(1, 0, 0));
    c.fillRect(Rect(0, 0, 10, 10));
    c.setFillColor(Color::rgba(0, 0.5, 1, 0.5));
    c.fillRect(Rect(10, 0, 5, 10));
  });
}

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() / ("dk-graphics-" + std::to_string(::getpid()) + "-" +
                                         std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(Image, SizeIsInPointsAndPixelsFollowTheScale) {
  const ImagePtr image = Image::create({20, 10}, 3.0);
  EXPECT_EQ(image->size(), (Size{20, 10}));
  EXPECT_EQ(image->pixelWidth(), 60);
  EXPECT_EQ(image->pixelHeight(), 30);
  EXPECT_EQ(image->pixelColor(0, 0), Color::clear());
  const ImagePtr opaque = Image::create({1, 1}, 1.0, true);
  EXPECT_TRUE(opaque->isOpaque());
  EXPECT_EQ(opaque->pixelColor(0, 0), Color::black());
}

TEST(Image, PngRoundTripKeepsEveryPixel) {
  const ImagePtr original = samplePicture();
  const std::vector<std::uint8_t> png = original->encodePNG();
  ASSERT_GT(png.size(), 8u);
  std::string error;
  const ImagePtr decoded = Image::fromEncodedData(png, 2.0, &error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_EQ(decoded->size(), original->size());
  // Half-transparent pixels lose a little to un-premultiplying and back; nothing else changes.
  EXPECT_TRUE(compareImages(*original, *decoded).within(0.5, 1)) << compareImages(*original, *decoded).describe();
  EXPECT_NEAR(decoded->pixelColor(2, 2).red, 1.0, 1e-9);
  EXPECT_NEAR(decoded->pixelColor(25, 5).alpha, 0.5, 0.01);
  EXPECT_EQ(decoded->pixelColor(35, 5).alpha, 0);
}

TEST(Image, WritePngThenLoadTheFile) {
  TempDir dir;
  const std::string path = (dir.path() / "picture.png").string();
  ASSERT_TRUE(samplePicture()->writePNG(path));
  const ImagePtr loaded = Image::fromFile(path, 2.0);
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(compareImages(*samplePicture(), *loaded).within(0.5, 1));
  EXPECT_FALSE(fs::exists(path + ".part"));
}

TEST(Image, WriteToAMissingFolderFailsWithAReason) {
  std::string error;
  EXPECT_FALSE(samplePicture()->writePNG("/nonexistent-folder/x/picture.png", &error));
  EXPECT_FALSE(error.empty());
}

TEST(Image, JpegRoundTripIsCloseAndOpaque) {
  const ImagePtr flat = Image::withColor(Color::rgba(0.2, 0.6, 0.4), {16, 16});
  const std::vector<std::uint8_t> jpeg = flat->encodeJPEG(0.95);
  ASSERT_GT(jpeg.size(), 3u);
  EXPECT_EQ(jpeg[0], 0xff);
  EXPECT_EQ(jpeg[1], 0xd8);
  const ImagePtr decoded = Image::fromEncodedData(jpeg);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->isOpaque());
  EXPECT_TRUE(compareImages(*flat, *decoded).within(2, 4)) << compareImages(*flat, *decoded).describe();
}

TEST(Image, BadBytesAreRefusedWithAReason) {
  std::string error;
  EXPECT_FALSE(Image::fromEncodedData({}, 1.0, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(Image::fromEncodedData({'G', 'I', 'F', '8', '9', 'a'}, 1.0, &error));
  EXPECT_NE(error.find("unknown"), std::string::npos);

  // A PNG cut short, and one whose header claims an absurd size.
  std::vector<std::uint8_t> png = samplePicture()->encodePNG();
  std::vector<std::uint8_t> cut(png.begin(), png.begin() + static_cast<long>(png.size() / 2));
  EXPECT_FALSE(Image::fromEncodedData(cut, 1.0, &error));
  std::vector<std::uint8_t> huge = png;
  huge[16] = 0x7f;
  EXPECT_FALSE(Image::fromEncodedData(huge, 1.0, &error));
  EXPECT_NE(error.find("dimensions"), std::string::npos);

  // A JPEG signature followed by nonsense.
  std::vector<std::uint8_t> jpeg{0xff, 0xd8, 0xff, 0xe0, 0, 0, 1, 2, 3};
  EXPECT_FALSE(Image::fromEncodedData(jpeg, 1.0, &error));
  EXPECT_NE(error.find("JPEG"), std::string::npos);
  EXPECT_FALSE(Image::fromFile("/nonexistent/file.png", 1.0, &error));
}

// The offset of the frame header's height field (after FFC0/FFC2, length and precision).
size_t jpegSizeField(const std::vector<std::uint8_t>& jpeg) {
  for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xff && (jpeg[i + 1] == 0xc0 || jpeg[i + 1] == 0xc2)) return i + 5;
  }
  return 0;
}

TEST(Image, ASmallFileDeclaringAHugePictureIsRefusedBeforeDecoding) {
  std::vector<std::uint8_t> jpeg = Image::withColor(Color::rgba(0.2, 0.6, 0.4), {16, 16})->encodeJPEG(0.9);
  ASSERT_LT(jpeg.size(), 1000u);
  const size_t field = jpegSizeField(jpeg);
  ASSERT_GT(field, 0u);
  // 7000 x 7000 (49 megapixels, 196 MB decoded) from well under a kilobyte.
  jpeg[field] = 0x1b;
  jpeg[field + 1] = 0x58;
  jpeg[field + 2] = 0x1b;
  jpeg[field + 3] = 0x58;
  std::string error;
  EXPECT_FALSE(Image::fromEncodedData(jpeg, 1.0, &error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;

  std::vector<std::uint8_t> png = samplePicture()->encodePNG();
  png[16] = 0, png[17] = 0, png[18] = 0x3e, png[19] = 0x80;  // 16000 wide
  png[20] = 0, png[21] = 0, png[22] = 0x3e, png[23] = 0x80;  // 16000 high
  EXPECT_FALSE(Image::fromEncodedData(png, 1.0, &error));
  EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

TEST(Image, AJpegThatLibjpegFindsCorruptIsRefused) {
  const ImagePtr picture = ImageRenderer::render({64, 64}, 1.0, true, [](GraphicsContext& c) {
    for (int i = 0; i < 8; ++i) {
      c.setFillColor(Color::rgba(i / 8.0, 1 - i / 8.0, 0.5));
      c.fillRect(Rect(i * 8, 0, 8, 64));
    }
  });
  const std::vector<std::uint8_t> jpeg = picture->encodeJPEG(0.9);
  ASSERT_TRUE(Image::fromEncodedData(jpeg));
  // An end-of-image marker in the middle of the scan: libjpeg would fill the rest with grey and
  // only warn ("premature end of data segment").
  std::vector<std::uint8_t> broken = jpeg;
  broken[broken.size() * 3 / 4] = 0xff;
  broken[broken.size() * 3 / 4 + 1] = 0xd9;
  std::string error;
  EXPECT_FALSE(Image::fromEncodedData(broken, 1.0, &error));
  EXPECT_NE(error.find("invalid JPEG data"), std::string::npos) << error;
  const std::vector<std::uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3));
  EXPECT_FALSE(Image::fromEncodedData(cut, 1.0, &error));
}

// A PNG without alpha (colour type 2), w x h of one colour, as other encoders write them.
// Interlaced, the rows come in seven passes over ever finer grids (Adam7).
std::vector<std::uint8_t> rgbPng(std::uint32_t w, std::uint32_t h, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                                 bool interlaced = false) {
  std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  auto chunk = [&](const char* type, const std::vector<std::uint8_t>& data) {
    const auto size = static_cast<std::uint32_t>(data.size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(size >> shift));
    std::vector<std::uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    const auto crc = static_cast<std::uint32_t>(::crc32(0, body.data(), static_cast<uInt>(body.size())));
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(crc >> shift));
  };
  std::vector<std::uint8_t> header;
  for (std::uint32_t v : {w, h})
    for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(v >> shift));
  header.insert(header.end(), {8, 2, 0, 0, static_cast<std::uint8_t>(interlaced ? 1 : 0)});  // 8 bits, RGB
  chunk("IHDR", header);
  std::vector<std::uint8_t> raw;
  auto rows = [&](std::uint32_t width, std::uint32_t height) {
    if (width == 0) return;
    for (std::uint32_t y = 0; y < height; ++y) {
      raw.push_back(0);  // no filter
      for (std::uint32_t x = 0; x < width; ++x) raw.insert(raw.end(), {r, g, b});
    }
  };
  if (!interlaced) {
    rows(w, h);
  } else {
    const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    for (const auto& p : passes) {
      const std::uint32_t pw = w > p[0] ? (w - p[0] + p[2] - 1) / p[2] : 0;
      const std::uint32_t ph = h > p[1] ? (h - p[1] + p[3] - 1) / p[3] : 0;
      if (ph > 0) rows(pw, ph);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(packedSize);
  EXPECT_EQ(::compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size())), Z_OK);
  packed.resize(packedSize);
  chunk("IDAT", packed);
  chunk("IEND", {});
  return out;
}

TEST(Image, AnOpaquePngDecodesOpaqueWithItsColours) {
  std::string error;
  const ImagePtr decoded = Image::fromEncodedData(rgbPng(8, 4, 51, 153, 102), 1.0, &error);
  ASSERT_TRUE(decoded) << error;
  EXPECT_TRUE(decoded->isOpaque());
  EXPECT_EQ(decoded->size(), (Size{8, 4}));
  for (auto [x, y] : {std::pair{0, 0}, std::pair{7, 3}, std::pair{3, 2}}) {
    const Color c = decoded->pixelColor(x, y);
    EXPECT_EQ(c.alpha, 1.0);
    EXPECT_NEAR(c.red, 0.2, 1e-9);
    EXPECT_NEAR(c.green, 0.6, 1e-9);
    EXPECT_NEAR(c.blue, 0.4, 1e-9);
  }
  // What the picture is drawn into later reads the same pixels.
  const ImagePtr cropped = decoded->croppedToPixels(2, 1, 4, 2);
  ASSERT_TRUE(cropped);
  EXPECT_NEAR(cropped->pixelColor(1, 1).green, 0.6, 1e-9);
}

// Decoded to fit a bound: shrunk by a whole factor with its colours kept, left alone when it
// fits, and refused where a whole decode refuses (cut short) or where the rows would have to be
// held whole far above the bound (interlaced).
TEST(Image, AFittedDecodeShrinksByWholeBlocksAndRefusesWhatCannotBeShrunkAsItArrives) {
  const std::vector<std::uint8_t> bigPng = rgbPng(1000, 500, 51, 153, 102);
  const std::vector<std::uint8_t> bigJpeg = Image::fromEncodedData(bigPng)->encodeJPEG(0.9);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int width, height;  // 0: refused
  };
  const std::vector<Case> cases = {
      {"a PNG far above the bound", bigPng, 63, 32},
      {"a PNG just above it", rgbPng(100, 50, 51, 153, 102), 50, 25},
      {"a PNG within it", rgbPng(40, 20, 51, 153, 102), 40, 20},
      {"an interlaced PNG just above it", rgbPng(100, 50, 51, 153, 102, true), 50, 25},
      // Held whole up to twice the bound, no further.
      {"an interlaced PNG twice the bound", rgbPng(128, 64, 51, 153, 102, true), 64, 32},
      {"an interlaced PNG a pixel beyond twice the bound", rgbPng(129, 64, 51, 153, 102, true), 0, 0},
      {"an interlaced PNG far above it", rgbPng(1000, 500, 51, 153, 102, true), 0, 0},
      {"a PNG cut short", std::vector<std::uint8_t>(bigPng.begin(), bigPng.begin() + static_cast<long>(bigPng.size() / 2)),
       0, 0},
      {"a JPEG far above it", bigJpeg, 63, 32},
      {"a JPEG cut short",
       std::vector<std::uint8_t>(bigJpeg.begin(), bigJpeg.begin() + static_cast<long>(bigJpeg.size() / 2)), 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    const ImagePtr image = Image::fromEncodedDataFitting(c.bytes, 64, 1.0, &error);
    if (c.width == 0) {
      EXPECT_FALSE(image);
      EXPECT_FALSE(error.empty());
      continue;
    }
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->pixelWidth(), c.width);
    EXPECT_EQ(image->pixelHeight(), c.height);
    EXPECT_TRUE(image->isOpaque());
    for (auto [x, y] : {std::pair{0, 0}, std::pair{c.width - 1, c.height - 1}, std::pair{c.width / 2, c.height / 2}}) {
      const Color colour = image->pixelColor(x, y);
      EXPECT_NEAR(colour.red, 0.2, 0.02);
      EXPECT_NEAR(colour.green, 0.6, 0.02);
      EXPECT_NEAR(colour.blue, 0.4, 0.02);
    }
  }
}

TEST(Image, CropKeepsThePixelRectangleClippedToTheImage) {
  // A 160 x 90 point snapshot at scale 2: the centred square is 180 pixels from x = 70.
  const ImagePtr snapshot = ImageRenderer::render({160, 90}, 2.0, false, [](GraphicsContext& c) {
    c.setFillColor(Color::rgba(0, 0, 1));
    c.fillRect(Rect(35, 0, 1, 90));  // pixels 70 and 71
  });
  const ImagePtr square = snapshot->croppedToPixels(70, 0, 180, 180);
  ASSERT_TRUE(square);
  EXPECT_EQ(square->pixelWidth(), 180);
  EXPECT_EQ(square->pixelHeight(), 180);
  EXPECT_EQ(square->scale(), 1.0);
  EXPECT_EQ(square->pixelColor(0, 0), Color::rgba(0, 0, 1));
  EXPECT_EQ(square->pixelColor(2, 0), Color::clear());

  // A portrait image asks for a square wider than itself starting left of it: clipped.
  const ImagePtr portrait = Image::create({90, 160}, 1.0);
  const ImagePtr clipped = portrait->croppedToPixels(-35, 0, 160, 160);
  ASSERT_TRUE(clipped);
  EXPECT_EQ(clipped->pixelWidth(), 90);
  EXPECT_EQ(clipped->pixelHeight(), 160);
  EXPECT_FALSE(portrait->croppedToPixels(100, 0, 10, 10));
}

TEST(Image, RenderingModeAndScaleShareThePixels) {
  const ImagePtr image = samplePicture();
  const ImagePtr templ = image->withRenderingMode(ImageRenderingMode::AlwaysTemplate);
  EXPECT_EQ(templ->renderingMode(), ImageRenderingMode::AlwaysTemplate);
  EXPECT_EQ(image->renderingMode(), ImageRenderingMode::Automatic);
  EXPECT_EQ(templ->pixels().data, image->pixels().data);
  EXPECT_EQ(image->withScale(1.0)->size(), (Size{40, 20}));
}

TEST(Image, NamedImagesComeFromTheResourceFolderOncePerProcess) {
  const ImagePtr play = Image::named("Play");
  ASSERT_TRUE(play) << "the build draws the project's images";
  EXPECT_EQ(play->name(), "Play");
  EXPECT_EQ(play->scale(), 2.0);
  EXPECT_EQ(Image::named("Play"), play);  // cached: the same object
  EXPECT_FALSE(Image::named("no-such-image"));
}

TEST(Image, NamedRefusesNamesThatLeaveTheImageFolder) {
  EXPECT_FALSE(Image::named(""));
  EXPECT_FALSE(Image::named("../images/Play@2x"));
  EXPECT_FALSE(Image::named("/etc/passwd"));
  EXPECT_FALSE(Image::resourceImagePath(".."));
}

TEST(Image, EnvironmentResourceFolderComesFirst) {
  TempDir dir;
  fs::create_directories(dir.path() / "images");
  ASSERT_TRUE(Image::withColor(Color::rgba(0, 1, 0), {3, 3})->writePNG((dir.path() / "images" / "Play.png").string()));
  const char* previous = std::getenv("DK_RESOURCE_DIR");
  const std::string saved = previous ? previous : "";
  ::setenv("DK_RESOURCE_DIR", dir.path().c_str(), 1);
  Image::clearNamedCache();
  const ImagePtr overridden = Image::named("Play");
  if (previous) {
    ::setenv("DK_RESOURCE_DIR", saved.c_str(), 1);
  } else {
    ::unsetenv("DK_RESOURCE_DIR");
  }
  Image::clearNamedCache();
  ASSERT_TRUE(overridden);
  EXPECT_EQ(overridden->size(), (Size{3, 3}));
  EXPECT_EQ(overridden->pixelColor(1, 1), Color::rgba(0, 1, 0));
  EXPECT_NE(Image::named("Play")->size(), (Size{3, 3}));
}

TEST(Image, NamedIsSafeFromManyThreads) {
  Image::clearNamedCache();
  std::vector<std::thread> threads;
  std::vector<ImagePtr> seen(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&seen, i] { seen[i] = Image::named("loadingWhite" + std::to_string(1 + i % 2)); });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < 8; ++i) {
    ASSERT_TRUE(seen[i]);
    EXPECT_EQ(seen[i], seen[i % 2]);
  }
}

TEST(Image, WithColorFillsEveryPixel) {
  const ImagePtr red = Image::withColor(Color::rgba(1, 0, 0, 0.5), {2, 3}, 2.0);
  EXPECT_EQ(red->pixelWidth(), 4);
  EXPECT_EQ(red->pixelHeight(), 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_NEAR(red->pixelColor(x, y).alpha, 0.5, 0.01);
  }
  EXPECT_FALSE(red->isOpaque());
}

}  // namespace
}  // namespace dk::platform
