// Image downloader, view loads and prefetching against a loopback server: headers on every
// download, memory and disk cache, main-thread completions, coalescing, cancellation (a cancelled
// load never answers), a new load on a view cancelling the previous one, remembered failures and
// the prefetcher's limit of loads in flight.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/run_loop.h"
#include "platform/graphics/image_renderer.h"
#include "platform/media/images/image_downloader.h"
#include "platform/media/images/image_prefetcher.h"
#include "platform/media/images/image_view_web_cache.h"
#include "platform/net/test_http_server.h"
#include "support/temp_directory.h"

namespace dk::platform {
namespace {

ImagePtr swatch(const Color& color) {
  return ImageRenderer::render({8, 6}, 1, true, [&](GraphicsContext& c) {
    c.setFillColor(color);
    c.fillRect(Rect(0, 0, 8, 6));
  });
}

dk::test::CannedResponse jpeg(const Color& color, bool hold = false) {
  dk::test::CannedResponse r;
  r.headers = {{"Content-Type", "image/jpeg"}};
  const auto bytes = swatch(color)->encodeJPEG();
  r.body.assign(bytes.begin(), bytes.end());
  r.hold = hold;
  return r;
}

class ImageDownloaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ImageCache::Config config;
    config.directory = dir_.path() / "images";
    cache_ = std::make_shared<ImageCache>(config);
    downloader_ = ImageDownloader::create(cache_);
    server_.route("/red.jpg", jpeg(Color::rgba(1, 0, 0)));
    server_.route("/blue.jpg", jpeg(Color::rgba(0, 0, 1)));
    server_.route("/missing.jpg", dk::test::CannedResponse::json("{}", 404));
  }
  void TearDown() override {
    server_.releaseHeld();
    MainRunLoop::runUntilIdle();
  }
  std::string url(const std::string& path) const { return server_.baseURL() + path; }
  static double redOf(const ImagePtr& image) { return image ? image->pixelColor(4, 3).red : -1; }

  dk::test::TemporaryDirectory dir_;
  dk::test::TestHttpServer server_;
  std::shared_ptr<ImageCache> cache_;
  std::shared_ptr<ImageDownloader> downloader_;
};

TEST_F(ImageDownloaderTest, DownloadsWithTheSharedHeadersAndAnswersOnTheMainThread) {
  downloader_->setCredentialServer(server_.baseURL());
  downloader_->setValueForHTTPHeaderField("Bearer token-1", "Authorization");
  downloader_->setValueForHTTPHeaderField("image/jpeg", "Accept");
  ImagePtr got;
  bool onMain = false, fromCache = true;
  downloader_->loadImage(url("/red.jpg"), 0, [&](ImagePtr image, ErrorPtr error, bool cached) {
    got = image;
    onMain = isMainThread();
    fromCache = cached;
    EXPECT_FALSE(error);
  });
  EXPECT_FALSE(got);
  MainRunLoop::runUntilIdle();
  ASSERT_TRUE(got);
  EXPECT_TRUE(onMain);
  EXPECT_FALSE(fromCache);
  EXPECT_GT(redOf(got), 0.8);
  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].headers.at("Authorization"), "Bearer token-1");
  EXPECT_EQ(requests[0].headers.at("Accept"), "image/jpeg");

  // A removed header is not sent any more.
  downloader_->setValueForHTTPHeaderField(std::nullopt, "Authorization");
  downloader_->loadImage(url("/blue.jpg"), 0, nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(server_.requests().back().headers.count("Authorization"), 0u);
}

TEST_F(ImageDownloaderTest, TheTokenGoesOnlyToTheCredentialServer) {
  dk::test::TestHttpServer elsewhere;
  elsewhere.route("/red.jpg", jpeg(Color::rgba(1, 0, 0)));
  downloader_->setValueForHTTPHeaderField("Bearer token-1", "Authorization");
  downloader_->setValueForHTTPHeaderField("image/jpeg", "Accept");

  // Until the server is known the token goes nowhere.
  downloader_->loadImage(url("/blue.jpg"), 0, nullptr);
  MainRunLoop::runUntilIdle();
  ASSERT_EQ(server_.requests().size(), 1u);
  EXPECT_EQ(server_.requests()[0].headers.count("Authorization"), 0u);

  downloader_->setCredentialServer(server_.baseURL());
  ImagePtr got;
  downloader_->loadImage(elsewhere.baseURL() + "/red.jpg", 0, [&](ImagePtr image, ErrorPtr, bool) { got = image; });
  downloader_->loadImage(url("/red.jpg"), 0, nullptr);
  MainRunLoop::runUntilIdle();
  EXPECT_GT(redOf(got), 0.8) << "an image elsewhere still loads, without the token";
  ASSERT_EQ(elsewhere.requests().size(), 1u);
  EXPECT_EQ(elsewhere.requests()[0].headers.count("Authorization"), 0u);
  EXPECT_EQ(elsewhere.requests()[0].headers.at("Accept"), "image/jpeg");
  ASSERT_EQ(server_.requests().size(), 2u);
  EXPECT_EQ(server_.requests()[1].headers.at("Authorization"), "Bearer token-1");
}

TEST_F(ImageDownloaderTest, ALoadedImageComesFromMemoryThenFromDisk) {
  downloader_->loadImage(url("/red.jpg"), 0, nullptr);
  MainRunLoop::runUntilIdle();
  bool fromMemory = false;
  ImagePtr got;
  downloader_->loadImage(url("/red.jpg"), 0, [&](ImagePtr image, ErrorPtr, bool cached) {
    got = image;
    fromMemory = cached;
  });
  // A memory hit on the main thread answers at once.
  EXPECT_TRUE(got);
  EXPECT_TRUE(fromMemory);

  cache_->clearMemory();
  got = nullptr;
  bool fromDisk = false;
  downloader_->loadImage(url("/red.jpg"), 0, [&](ImagePtr image, ErrorPtr, bool cached) {
    got = image;
    fromDisk = cached;
  });
  MainRunLoop::runUntilIdle();
  EXPECT_TRUE(got);
  EXPECT_TRUE(fromDisk);
  EXPECT_EQ(server_.requestCount("/red.jpg"), 1u);
}

TEST_F(ImageDownloaderTest, LoadsOfOneAddressShareOneTransfer) {
  int answers = 0;
  for (int i = 0; i < 3; ++i)
    downloader_->loadImage(url("/blue.jpg"), 0, [&](ImagePtr image, ErrorPtr, bool) { answers += image ? 1 : 0; });
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(answers, 3);
  EXPECT_EQ(server_.requestCount("/blue.jpg"), 1u);
}

TEST_F(ImageDownloaderTest, ACancelledLoadNeverAnswers) {
  server_.route("/slow.jpg", jpeg(Color::rgba(0, 1, 0), true));
  int answers = 0;
  auto load = downloader_->loadImage(url("/slow.jpg"), 0, [&](ImagePtr, ErrorPtr, bool) { ++answers; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server_.heldCount() == 1; }));
  load->cancel();
  server_.releaseHeld();
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(answers, 0);
  EXPECT_EQ(downloader_->runningDownloads(), 0u);
  // The address is not held against a later load.
  server_.route("/slow.jpg", jpeg(Color::rgba(0, 1, 0)));
  ImagePtr got;
  downloader_->loadImage(url("/slow.jpg"), 0, [&](ImagePtr image, ErrorPtr, bool) { got = image; });
  MainRunLoop::runUntilIdle();
  EXPECT_TRUE(got);
}

TEST_F(ImageDownloaderTest, AFailedAddressFailsAtOnceUnlessRetried) {
  ErrorPtr first, second, third;
  downloader_->loadImage(url("/missing.jpg"), 0, [&](ImagePtr, ErrorPtr e, bool) { first = e; });
  MainRunLoop::runUntilIdle();
  ASSERT_TRUE(first);
  EXPECT_TRUE(downloader_->hasFailedBefore(url("/missing.jpg")));
  downloader_->loadImage(url("/missing.jpg"), 0, [&](ImagePtr, ErrorPtr e, bool) { second = e; });
  MainRunLoop::runUntilIdle();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->code(), kImageErrorFailedBefore);
  EXPECT_EQ(server_.requestCount("/missing.jpg"), 1u);
  downloader_->loadImage(url("/missing.jpg"), kImageRetryFailed, [&](ImagePtr, ErrorPtr e, bool) { third = e; });
  MainRunLoop::runUntilIdle();
  ASSERT_TRUE(third);
  EXPECT_EQ(server_.requestCount("/missing.jpg"), 2u);
}

TEST_F(ImageDownloaderTest, ABodyThatIsNoImageFails) {
  dk::test::CannedResponse junk;
  junk.headers = {{"Content-Type", "image/jpeg"}};
  junk.body = "not a picture";
  server_.route("/junk.jpg", junk);
  ErrorPtr error;
  ImagePtr image = swatch(Color::black());
  downloader_->loadImage(url("/junk.jpg"), 0, [&](ImagePtr i, ErrorPtr e, bool) {
    image = i;
    error = e;
  });
  MainRunLoop::runUntilIdle();
  EXPECT_FALSE(image);
  EXPECT_TRUE(error);
  ErrorPtr bad;
  downloader_->loadImage("ftp://example/x.jpg", 0, [&](ImagePtr, ErrorPtr e, bool) { bad = e; });
  MainRunLoop::runUntilIdle();
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->code(), kImageErrorBadURL);
}

TEST_F(ImageDownloaderTest, TransfersWaitForAFreePlace) {
  downloader_->setMaxConcurrentDownloads(2);
  for (int i = 0; i < 5; ++i) server_.route("/h" + std::to_string(i) + ".jpg", jpeg(Color::white(0.5), true));
  int answers = 0;
  for (int i = 0; i < 5; ++i)
    downloader_->loadImage(url("/h" + std::to_string(i) + ".jpg"), 0, [&](ImagePtr, ErrorPtr, bool) { ++answers; });
  // Each load looks in the disk cache on a worker first, so the last ones join the queue a little
  // later: wait until all five are placed.
  ASSERT_TRUE(MainRunLoop::runUntil(
      [&] { return server_.heldCount() == 2 && downloader_->runningDownloads() + downloader_->queuedDownloads() == 5; }));
  EXPECT_EQ(downloader_->runningDownloads(), 2u);
  EXPECT_EQ(downloader_->queuedDownloads(), 3u);
  while (answers < 5) {
    server_.releaseHeld();
    MainRunLoop::runUntil([&] { return server_.heldCount() > 0 || answers == 5; });
    EXPECT_LE(server_.heldCount(), 2u);
  }
  EXPECT_EQ(answers, 5);
}

class ImageViewLoadTest : public ImageDownloaderTest {
 protected:
  void SetUp() override {
    MainRunLoop::bindToCurrentThread();
    ImageDownloaderTest::SetUp();
  }
  std::shared_ptr<ImageView> view_ = std::make_shared<ImageView>(Rect(0, 0, 40, 30));
};

TEST_F(ImageViewLoadTest, TheViewShowsThePlaceholderThenTheImage) {
  auto placeholder = swatch(Color::white(0.5));
  std::string answeredURL;
  setImageWithURL(*view_, url("/red.jpg"), placeholder, 0,
                  [&](ImagePtr, ErrorPtr, bool, const std::string& u) { answeredURL = u; }, downloader_);
  EXPECT_EQ(view_->image(), placeholder);
  EXPECT_TRUE(currentImageLoad(*view_));
  MainRunLoop::runUntilIdle();
  EXPECT_GT(redOf(view_->image()), 0.8);
  EXPECT_EQ(answeredURL, url("/red.jpg"));
  EXPECT_FALSE(currentImageLoad(*view_));
}

TEST_F(ImageViewLoadTest, ANewLoadOnTheViewCancelsThePreviousOne) {
  server_.route("/slow.jpg", jpeg(Color::rgba(0, 1, 0), true));
  int slowAnswers = 0;
  setImageWithURL(*view_, url("/slow.jpg"), nullptr, 0, [&](ImagePtr, ErrorPtr, bool, const std::string&) {
    ++slowAnswers;
  }, downloader_);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server_.heldCount() == 1; }));
  setImageWithURL(*view_, url("/blue.jpg"), nullptr, 0, nullptr, downloader_);
  MainRunLoop::runUntil([&] { return view_->image() != nullptr; });
  server_.releaseHeld();
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(slowAnswers, 0);
  // Blue, not the late green.
  ASSERT_TRUE(view_->image());
  EXPECT_GT(view_->image()->pixelColor(4, 3).blue, 0.8);
  EXPECT_LT(view_->image()->pixelColor(4, 3).green, 0.2);
}

TEST_F(ImageViewLoadTest, CancellingTheViewsLoadKeepsWhatItShows) {
  server_.route("/slow.jpg", jpeg(Color::rgba(0, 1, 0), true));
  auto shown = swatch(Color::black());
  setImageWithURL(*view_, url("/slow.jpg"), shown, 0, nullptr, downloader_);
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server_.heldCount() == 1; }));
  cancelCurrentImageLoad(*view_);
  server_.releaseHeld();
  MainRunLoop::runUntilIdle();
  EXPECT_EQ(view_->image(), shown);
}

TEST_F(ImageViewLoadTest, ThePrefetcherLoadsAtMostItsLimitAtATime) {
  auto prefetcher = ImagePrefetcher::create(downloader_);
  prefetcher->setMaxConcurrentPrefetchCount(5);
  std::vector<std::string> urls;
  for (int i = 0; i < 12; ++i) {
    const std::string path = "/p" + std::to_string(i) + ".jpg";
    server_.route(path, jpeg(Color::white(0.2), true));
    urls.push_back(url(path));
  }
  size_t done = 0, failed = 0;
  bool completed = false;
  prefetcher->prefetchURLs(urls, nullptr, [&](size_t finished, size_t skipped) {
    done = finished;
    failed = skipped;
    completed = true;
  });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server_.heldCount() == 5; }));
  EXPECT_EQ(prefetcher->loadsInFlight(), 5u);
  while (!completed) {
    server_.releaseHeld();
    MainRunLoop::runUntil([&] { return server_.heldCount() > 0 || completed; });
    EXPECT_LE(server_.heldCount(), 5u);
  }
  EXPECT_EQ(done, 12u);
  EXPECT_EQ(failed, 0u);
  // Everything is in the cache now.
  for (const auto& u : urls) EXPECT_TRUE(cache_->imageFromMemoryCacheForKey(u));
}

TEST_F(ImageViewLoadTest, AScreenFullOfThousandsOfEventsPrefetchesOnlyTheNewestRows) {
  // The timeline hands the prefetcher every event of the rows on screen each time a row appears:
  // here 20 rows of 100 events (2,000 thumbnails in all).
  auto prefetcher = ImagePrefetcher::create(downloader_);
  prefetcher->setMaxConcurrentPrefetchCount(5);
  std::vector<std::string> onScreen;
  auto path = [](int row, int event) { return "/e" + std::to_string(row) + "-" + std::to_string(event) + ".jpg"; };
  // Replies wait until the last row is in, so how many loads a row starts does not depend on how
  // fast the earlier ones came back.
  for (int row = 0; row < 20; ++row) {
    for (int event = 0; event < 100; ++event) server_.route(path(row, event), jpeg(Color::white(0.5), true));
  }
  for (int row = 0; row < 20; ++row) {
    for (int event = 0; event < 100; ++event) onScreen.push_back(url(path(row, event)));
    prefetcher->prefetchURLs(onScreen);
    MainRunLoop::runPending();
  }
  while (prefetcher->loadsInFlight() > 0) {
    server_.releaseHeld();
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return server_.heldCount() > 0 || prefetcher->loadsInFlight() == 0; }));
  }
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_LE(server_.requestCount(), ImagePrefetcher::kDefaultMaxPrefetchURLs + 20 * 5);
  EXPECT_LE(prefetcher->loadsInFlight(), 5u);
  // The tail of the list (the row that came into view last) was fetched, once each.
  for (int event = 100 - static_cast<int>(ImagePrefetcher::kDefaultMaxPrefetchURLs); event < 100; ++event) {
    EXPECT_EQ(server_.requestCount(path(19, event)), 1u) << event;
  }
  EXPECT_EQ(server_.requestCount(path(0, 0)), 0u);
}

TEST_F(ImageViewLoadTest, ANewListKeepsTheLoadsItStillHolds) {
  auto prefetcher = ImagePrefetcher::create(downloader_);
  server_.route("/k.jpg", jpeg(Color::white(0.2), true));
  prefetcher->prefetchURLs({url("/k.jpg")});
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server_.heldCount() == 1; }));
  size_t done = 0;
  prefetcher->prefetchURLs({url("/k.jpg"), url("/red.jpg")}, nullptr, [&](size_t finished, size_t) { done = finished; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server_.requestCount("/red.jpg") == 1; }));
  server_.releaseHeld();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  EXPECT_EQ(server_.requestCount("/k.jpg"), 1u) << "not cancelled and sent again";
  EXPECT_EQ(done, 2u);
  EXPECT_TRUE(cache_->imageFromMemoryCacheForKey(url("/k.jpg")));
}

TEST_F(ImageViewLoadTest, CancellingPrefetchingStopsItsLoads) {
  auto prefetcher = ImagePrefetcher::create(downloader_);
  server_.route("/q.jpg", jpeg(Color::white(0.2), true));
  bool completed = false;
  prefetcher->prefetchURLs({url("/q.jpg")}, nullptr, [&](size_t, size_t) { completed = true; });
  ASSERT_TRUE(MainRunLoop::runUntil([&] { return server_.heldCount() == 1; }));
  prefetcher->cancelPrefetching();
  EXPECT_EQ(prefetcher->loadsInFlight(), 0u);
  server_.releaseHeld();
  MainRunLoop::runUntilIdle();
  EXPECT_FALSE(completed);
  EXPECT_FALSE(cache_->imageFromMemoryCacheForKey(url("/q.jpg")));
}

// A picture far larger than it is shown (a 143 KB PNG can declare 7000 x 7000 pixels, 196 MB
// decoded) is decoded shrunk within the downloader's bound, its colours and transparency kept,
// and the decodes of a burst of them run one at a time; a picture within the bound keeps its size.
TEST_F(ImageDownloaderTest, LargePicturesAreDecodedShrunkToTheBoundOneAtATime) {
  auto halves = [](bool translucent) {
    return Image::fromPixelWriter(3000, 1500, 1.0, !translucent, [&](std::uint8_t* data, int bytesPerRow) {
      const std::uint32_t red = translucent ? 0x80800000u : 0xffff0000u;
      for (int y = 0; y < 1500; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<size_t>(y) * bytesPerRow);
        for (int x = 0; x < 3000; ++x) row[x] = x < 1500 ? red : 0xff0000ffu;
      }
      return true;
    });
  };
  const ImagePtr opaque = halves(false), translucent = halves(true);
  ASSERT_TRUE(opaque && translucent);
  struct Case {
    const char* path;
    std::vector<std::uint8_t> bytes;
    const char* type;
    double leftAlpha;
  };
  const std::vector<Case> cases = {
      {"/big.png", opaque->encodePNG(), "image/png", 1.0},
      {"/big-alpha.png", translucent->encodePNG(), "image/png", 0.5},
      {"/big.jpg", opaque->encodeJPEG(), "image/jpeg", 1.0},
  };
  for (const Case& c : cases) {
    dk::test::CannedResponse r;
    r.headers = {{"Content-Type", c.type}};
    r.body.assign(c.bytes.begin(), c.bytes.end());
    server_.route(c.path, r);
  }
  downloader_->setMaxDecodedPixelSize(256);
  std::map<std::string, ImagePtr> got;
  for (const Case& c : cases) {
    downloader_->loadImage(url(c.path), kImageCacheMemoryOnly, [&got, path = std::string(c.path)](ImagePtr image, ErrorPtr error, bool) {
      EXPECT_FALSE(error) << path;
      got[path] = image;
    });
  }
  downloader_->loadImage(url("/red.jpg"), 0, [&](ImagePtr image, ErrorPtr, bool) { got["/red.jpg"] = image; });
  MainRunLoop::runUntilIdle();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const ImagePtr& image = got[c.path];
    ASSERT_TRUE(image);
    EXPECT_LE(image->pixelWidth(), 256);
    EXPECT_LE(image->pixelHeight(), 256);
    EXPECT_NEAR(image->pixelWidth(), 2 * image->pixelHeight(), 1) << "the shape kept";
    const Color left = image->pixelColor(image->pixelWidth() / 4, image->pixelHeight() / 2);
    const Color right = image->pixelColor(image->pixelWidth() * 3 / 4, image->pixelHeight() / 2);
    EXPECT_NEAR(left.red, 1.0, 0.05);
    EXPECT_NEAR(left.blue, 0.0, 0.05);
    EXPECT_NEAR(left.alpha, c.leftAlpha, 0.02);
    EXPECT_NEAR(right.blue, 1.0, 0.05);
    EXPECT_NEAR(right.red, 0.0, 0.05);
    EXPECT_EQ(image->isOpaque(), c.leftAlpha == 1.0);
  }
  ASSERT_TRUE(got["/red.jpg"]);
  EXPECT_EQ(got["/red.jpg"]->pixelWidth(), 8) << "a picture within the bound keeps its size";
  EXPECT_EQ(downloader_->mostDecodesAtOnce(), 1u);
}

// A bound of zero or less means no choice was made: the default bound, not none (nor a 0-pixel
// one), applies to what is decoded.
TEST_F(ImageDownloaderTest, ABoundOfZeroOrLessFallsBackToTheDefault) {
  const ImagePtr wide = Image::fromPixelWriter(2600, 100, 1.0, true, [](std::uint8_t* data, int bytesPerRow) {
    for (int y = 0; y < 100; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<size_t>(y) * bytesPerRow);
      for (int x = 0; x < 2600; ++x) row[x] = 0xffff0000u;
    }
    return true;
  });
  ASSERT_TRUE(wide);
  dk::test::CannedResponse r;
  r.headers = {{"Content-Type", "image/png"}};
  const auto png = wide->encodePNG();
  r.body.assign(png.begin(), png.end());
  struct Case {
    int asked;
    int bound;
  } cases[] = {{0, ImageDownloader::kDefaultMaxDecodedPixelSize}, {-300, ImageDownloader::kDefaultMaxDecodedPixelSize},
               {700, 700}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.asked);
    const std::string path = "/wide-" + std::to_string(c.asked) + ".png";
    server_.route(path, r);
    downloader_->setMaxDecodedPixelSize(c.asked);
    EXPECT_EQ(downloader_->maxDecodedPixelSize(), c.bound);
    ImagePtr got;
    downloader_->loadImage(url(path), kImageCacheMemoryOnly, [&](ImagePtr image, ErrorPtr, bool) { got = image; });
    MainRunLoop::runUntilIdle();
    ASSERT_TRUE(got);
    EXPECT_LE(got->pixelWidth(), c.bound);
    EXPECT_GT(got->pixelWidth(), c.bound / 2) << "shrunk no further than the bound asks";
  }
}

}  // namespace
}  // namespace dk::platform
