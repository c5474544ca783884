// The live view against playlists as CDNs and media servers rewrite what a packager (FFmpeg's own
// HLS muxer, run in the test) wrote: relative signed addresses with escapes and dot segments, a
// multivariant playlist in front of the media playlists (one variant chosen for the view's
// pixels), and initialisation sections that are ranges of one file. What is asked for is checked
// byte for byte, and where the token went.
#include <gmock/gmock.h>

#include <map>
#include <string>
#include <vector>

#include "live_hls_fixture.h"
#include "platform/graphics/screen_scale.h"
#include "platform/media/streamer/dk_streamer_item.h"

namespace dk::platform::test {
namespace {

// Every address line of a playlist the muxer wrote (its segments), and the URI of its
// EXT-X-MAP, passed through `rewrite` as a CDN rewrites them.
std::string rewriteAddresses(const std::string& playlist, const std::function<std::string(const std::string&)>& rewrite) {
  std::string out;
  for (size_t at = 0; at < playlist.size();) {
    const size_t end = std::min(playlist.find('\n', at), playlist.size());
    std::string line = playlist.substr(at, end - at);
    at = end + 1;
    if (line.starts_with("#EXT-X-MAP:URI=\"")) {
      const size_t close = line.find('"', 16);
      line = "#EXT-X-MAP:URI=\"" + rewrite(line.substr(16, close - 16)) + line.substr(close);
    } else if (!line.empty() && line[0] != '#') {
      line = rewrite(line);
    }
    out += line + "\n";
  }
  return out;
}

class LiveAddressTest : public LiveHlsTest {
 protected:
  // Two undated MPEG-TS streams of two one-second segments, 1280x720 and 640x360, made once.
  static const std::map<int, TestHls>& ladder() {
    static const std::map<int, TestHls> streams = [] {
      std::map<int, TestHls> made;
      dk::test::TemporaryDirectory dir;
      for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{640, 360}}) {
        const auto sub = dir.path() / std::to_string(height);
        std::filesystem::create_directories(sub);
        TestHlsOptions o;
        o.width = width;
        o.height = height;
        o.fps = 10;
        o.segmentSeconds = 1;
        o.segments = 2;
        o.programDateTime = false;
        std::string why;
        EXPECT_TRUE(writeTestHls(sub.string(), o, &made[width], &why)) << why;
      }
      return made;
    }();
    return streams;
  }
  // Serves each segment of `hls` under the camera's live folder at `folder` + its name.
  void serveSegments(const TestHls& hls, const std::string& folder) {
    for (const auto& [name, bytes] : hls.files) serve(livePath(folder + name), bytes, "video/mp2t");
  }
  // The requests after the first `skip`, as (target, whether the token went, host).
  struct Sent {
    std::string target;
    bool token;
    std::string host;
    friend bool operator==(const Sent&, const Sent&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Sent& s) {
      return out << s.target << (s.token ? " with" : " without") << " the token at " << s.host;
    }
  };
  std::vector<Sent> sent() const {
    std::vector<Sent> out;
    for (const auto& request : sim->requests()) {
      EXPECT_TRUE(request.tls) << request.target;
      if (!request.header("Authorization").empty()) {
        EXPECT_EQ(request.header("Authorization"), "Bearer " + sim->accessToken());
      }
      const std::string host = request.header("Host");
      out.push_back({request.target, !request.header("Authorization").empty(), host.substr(0, host.rfind(':'))});
    }
    return out;
  }
};

// Segments and initialisation sections named relative to the playlist, with a signed query
// (escapes, '~'), dot segments, or a host of their own: each is asked for at the URL it resolves
// to, its query byte for byte, with the token on the cloud only.
TEST_F(LiveAddressTest, RelativeSignedAddressesAreFetchedWhereTheyResolveWithTheirQueryAsWritten) {
  const std::string port = std::to_string(sim->port());
  const struct {
    const char* what;
    bool fragmented;
    std::string prefix, query;
    bool token;
    const char* host;
  } rows[] = {
      {"a signed name beside the playlist", false, "", "?Expires=1700000000&Signature=AbC9%2Bx~yZ_-q", true, "127.0.0.1"},
      {"fMP4 by dot segments out of the folder and back",
       true, "./x/../../../" + std::to_string(cameraId) + "/live/", "?sig=a%2Fb~c%3D&e=1", true, "127.0.0.1"},
      {"another host, named from the scheme on", false, "//localhost:" + port + livePath(""), "?t=%7E1", false,
       "localhost"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    startOver();
    TestHlsOptions options;
    options.segmentType = row.fragmented ? "fmp4" : "mpegts";
    const TestHls hls = makeStream(options);
    Packager p = packager(hls, row.fragmented, platform::now() - 6);
    p.prefix = row.prefix;
    p.query = row.query;
    p.publish();
    Record r;
    auto source = liveSource(r);
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_FALSE(r.error) << r.error->description();
    ASSERT_EQ(r.times.size(), 1u);
    std::vector<Sent> expected{{livePath("index.m3u8"), true, "127.0.0.1"}};
    if (row.fragmented) expected.push_back({livePath("init.mp4") + row.query, row.token, row.host});
    expected.push_back({livePath(p.name(p.newest)) + row.query, row.token, row.host});
    EXPECT_THAT(sent(), ::testing::ElementsAreArray(expected));
    source->stop();
  }
}

// A playlist moved (the cloud redirects the camera's playlist within its origin): its addresses
// resolve from where it was found, not from where it was first asked for.
TEST_F(LiveAddressTest, AMovedPlaylistsAddressesResolveFromWhereItWasFound) {
  const TestHls hls = makeStream({});
  Packager p = packager(hls, false, platform::now() - 6);
  p.query = "?s=%7E";
  cloudsim::FaultRule moved = cloudsim::FaultRule::failWith(livePath("index.m3u8"), 302);
  moved.times = -1;
  moved.headers = {{"Location", livePath("moved/index.m3u8?token=1")}};
  sim->addFault(moved);
  serve(livePath("moved/index.m3u8"), p.playlist(), "application/x-mpegurl");
  serve(livePath("moved/" + p.name(p.newest)), hls.files.at(p.file(p.newest)), "video/mp2t");
  Record r;
  auto source = liveSource(r);
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_FALSE(r.error) << r.error->description();
  EXPECT_EQ(r.times.size(), 1u);
  EXPECT_THAT(sent(), ::testing::ElementsAre(Sent{livePath("index.m3u8"), true, "127.0.0.1"},
                                             Sent{livePath("moved/index.m3u8?token=1"), true, "127.0.0.1"},
                                             Sent{livePath("moved/" + p.name(p.newest)) + "?s=%7E", true, "127.0.0.1"}));
}

// The stream's URL answers with its variants (as ffmpeg writes them with master_pl_name and
// var_stream_map, rewritten by a CDN): the largest the view's pixels hold is played, else the
// smallest, its playlist and segments fetched at their resolved, signed URLs; a variant on
// another host goes without the token; sound in a rendition of its own is refused before any
// variant is fetched.
TEST_F(LiveAddressTest, AMultivariantPlaylistPlaysTheVariantThatFitsTheView) {
  const auto& streams = ladder();
  ASSERT_EQ(streams.size(), 2u);
  const std::string port = std::to_string(sim->port());
  const std::string signed720 = "?Expires=1700000000&Signature=Zz%2F9~x", signed360 = "?v=%7E1&k=%2B";
  const struct {
    const char* what;
    int width, height;  // the view's pixels
    bool elsewhere;     // the variants' playlists on another https host
    bool separateSound;
    int shown;  // the width of the picture shown; 0: refused
  } rows[] = {
      {"a 1280 x 720 view", 1280, 720, false, false, 1280},
      {"a 1000 x 800 view", 1000, 800, false, false, 640},
      {"a view not laid out yet", 0, 0, false, false, 640},
      {"variants on another https host", 1920, 1080, true, false, 1280},
      {"sound in a rendition of its own", 1920, 1080, false, true, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    startOver();
    const std::string hostPrefix = row.elsewhere ? "https://localhost:" + port + livePath("") : "";
    const std::string audio = row.separateSound ? ",AUDIO=\"aac\"" : "";
    std::string variants = "#EXTM3U\n#EXT-X-VERSION:3\n";
    if (row.separateSound) {
      variants += "#EXT-X-MEDIA:TYPE=AUDIO,GROUP-ID=\"aac\",NAME=\"en\",DEFAULT=YES,URI=\"sound/index.m3u8\"\n";
    }
    variants += "#EXT-X-STREAM-INF:BANDWIDTH=1400000,RESOLUTION=1280x720,CODECS=\"avc1.64001f\"" + audio + "\n" +
                hostPrefix + "720p/index.m3u8" + signed720 + "\n" +
                "#EXT-X-STREAM-INF:BANDWIDTH=600000,RESOLUTION=640x360,CODECS=\"avc1.64001e\"" + audio + "\n" +
                hostPrefix + "360p/index.m3u8" + signed360 + "\n";
    servePlaylist(variants);
    // The 720p segments beside their playlist, signed; the 360p ones in a folder of their own.
    serve(livePath("720p/index.m3u8"),
          rewriteAddresses(streams.at(1280).playlist, [](const std::string& name) { return name + "?Expires=1&Sig=%2B~"; }),
          "application/vnd.apple.mpegurl");
    serveSegments(streams.at(1280), "720p/");
    serve(livePath("360p/index.m3u8"),
          rewriteAddresses(streams.at(640).playlist, [](const std::string& name) { return "../360p-media/./" + name; }),
          "application/x-mpegurl");
    serveSegments(streams.at(640), "360p-media/");

    Record r;
    auto source = liveSource(r);
    source->setViewPixelSize(row.width, row.height);
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    std::vector<Sent> expected{{livePath("index.m3u8"), true, "127.0.0.1"}};
    if (!row.shown) {
      ASSERT_TRUE(r.error);
      EXPECT_EQ(r.error->code(), 12);
      EXPECT_THAT(r.error->description(), ::testing::HasSubstr("sound comes in a separate rendition"));
      EXPECT_TRUE(r.times.empty());
      EXPECT_THAT(sent(), ::testing::ElementsAreArray(expected));
      continue;
    }
    ASSERT_FALSE(r.error) << r.error->description();
    ASSERT_EQ(r.times.size(), 1u);
    EXPECT_EQ(r.last->pixelWidth(), row.shown);
    const std::string host = row.elsewhere ? "localhost" : "127.0.0.1";
    if (row.shown == 1280) {
      expected.push_back({livePath("720p/index.m3u8") + signed720, !row.elsewhere, host});
      expected.push_back({livePath("720p/index1.ts") + "?Expires=1&Sig=%2B~", !row.elsewhere, host});
    } else {
      expected.push_back({livePath("360p/index.m3u8") + signed360, !row.elsewhere, host});
      expected.push_back({livePath("360p-media/index1.ts"), !row.elsewhere, host});
    }
    EXPECT_THAT(sent(), ::testing::ElementsAreArray(expected));
    // Played out, the view stays with its variant: only its playlist is read again.
    sim->clearRequests();
    source->setPlaying(true);
    for (int i = 0; i < 50; ++i) clock.advance(0.04);
    ASSERT_FALSE(r.error) << r.error->description();
    EXPECT_EQ(r.last->pixelWidth(), row.shown);
    for (const Sent& s : sent()) EXPECT_EQ(s.target, expected[1].target);
    source->stop();
  }
}

// The whole road: the streamer's layer, in points at the screen's scale, is the view whose pixels
// choose the variant.
TEST_F(LiveAddressTest, TheStreamersLayerChoosesTheVariant) {
  const auto& streams = ladder();
  servePlaylist(
      "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=1400000,RESOLUTION=1280x720\n720p/index.m3u8\n"
      "#EXT-X-STREAM-INF:BANDWIDTH=600000,RESOLUTION=640x360\n360p/index.m3u8\n");
  for (const auto& [width, folder] : {std::pair{1280, "720p/"}, std::pair{640, "360p/"}}) {
    serve(livePath(std::string(folder) + "index.m3u8"), streams.at(width).playlist, "application/x-mpegurl");
    serveSegments(streams.at(width), folder);
  }
  const double scale = mainScreenScale();
  for (const int width : {1280, 640}) {
    SCOPED_TRACE(width);
    sim->clearRequests();
    layer->setBounds(Rect(0, 0, 1280 / scale - (width == 640 ? 1 : 0), 720 / scale));
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
    ASSERT_TRUE(layer->contents());
    EXPECT_EQ(layer->contents()->pixelWidth(), width);
    for (const auto& request : sim->requests()) {
      EXPECT_EQ(request.header("Authorization"), "Bearer " + sim->accessToken()) << request.target;
    }
    streamer->setCurrentItem(nullptr);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }
}

// Two initialisation sections kept as ranges of one file (a packager that started a new encoder
// at the discontinuity): each fragment is read after its own section, the second fetched as the
// second range though its address is the same.
TEST_F(LiveAddressTest, TwoInitialisationSectionsInOneFileAreEachFetchedAsTheirOwnRange) {
  std::map<int, TestHls> streams;
  for (const auto& [width, height] : {std::pair{320, 180}, std::pair{640, 360}}) {
    const auto sub = folder.path() / std::to_string(width);
    std::filesystem::create_directories(sub);
    TestHlsOptions o;
    o.segmentType = "fmp4";
    o.width = width;
    o.height = height;
    o.fps = 10;
    o.segmentSeconds = 1;
    o.segments = 1;
    o.programDateTime = false;
    std::string why;
    ASSERT_TRUE(writeTestHls(sub.string(), o, &streams[width], &why)) << why;
  }
  const std::string& first = streams[320].files.at("init.mp4");
  const std::string& second = streams[640].files.at("init.mp4");
  cloudsim::FaultRule inits = cloudsim::FaultRule::failWith(livePath("inits.mp4"), 200, first + second);
  inits.contentType = "video/mp4";
  inits.times = -1;
  inits.headers = {{"Accept-Ranges", "bytes"}};
  sim->addFault(inits);
  serve(livePath("a0.m4s"), streams[320].files.at("index0.m4s"), "video/iso.segment");
  serve(livePath("b0.m4s"), streams[640].files.at("index0.m4s"), "video/iso.segment");
  const std::string head = "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:1\n#EXT-X-MEDIA-SEQUENCE:0\n";
  const std::string a = "#EXT-X-MAP:URI=\"inits.mp4\",BYTERANGE=\"" + std::to_string(first.size()) +
                        "@0\"\n#EXTINF:1.000000,\na0.m4s\n";
  const std::string b = "#EXT-X-DISCONTINUITY\n#EXT-X-MAP:URI=\"inits.mp4\",BYTERANGE=\"" +
                        std::to_string(second.size()) + "@" + std::to_string(first.size()) +
                        "\"\n#EXTINF:1.000000,\nb0.m4s\n";
  servePlaylist(head + a);
  std::vector<int> widths;
  ErrorPtr error;
  LiveStreamSource::Listener listener;
  listener.frame = [&](const ImagePtr& image, double) { widths.push_back(image->pixelWidth()); };
  listener.failed = [&](const ErrorPtr& e) { error = e; };
  auto source = LiveStreamSource::create(cameraId, sim->baseUrl(), std::move(listener));
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  source->setPlaying(true);
  servePlaylist(head + a + b + "#EXT-X-ENDLIST\n");
  for (int i = 0; i < 250 && !error && std::count(widths.begin(), widths.end(), 640) < 10; ++i) clock.advance(0.04);
  ASSERT_FALSE(error) << error->description();
  // Each fragment shows after its own section: the small pictures, then the large ones, nothing
  // else. (How many of each are shown depends on when the view's clock started, not on this rule.)
  const auto large = std::find(widths.begin(), widths.end(), 640);
  EXPECT_GT(std::count(widths.begin(), large, 320), 0);
  EXPECT_EQ(std::count(widths.begin(), large, 320), large - widths.begin());
  EXPECT_GT(std::count(large, widths.end(), 640), 0);
  EXPECT_EQ(std::count(large, widths.end(), 640), widths.end() - large);
  std::vector<std::string> ranges;
  for (const auto& request : sim->requestsTo(livePath("inits.mp4"))) ranges.push_back(request.header("Range"));
  EXPECT_THAT(ranges, ::testing::ElementsAre("bytes=0-" + std::to_string(first.size() - 1),
                                             "bytes=" + std::to_string(first.size()) + "-" +
                                                 std::to_string(first.size() + second.size() - 1)));
  source->stop();
}

}  // namespace
}  // namespace dk::platform::test
