// The live view against streams as a standard packager writes them (FFmpeg's own HLS muxer, run
// in the test): its date-times, playlists without dates reloaded as the stream goes on, fMP4
// fragments with their initialisation section, long EVENT playlists, segments as long and as
// large as a camera's, absolute addresses on the cloud and elsewhere; and the bounds that keep a
// live view's memory small whatever the stream sends.
#include <gmock/gmock.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <utility>

#include "live_hls_fixture.h"
#include "platform/media/live/live_playlist.h"
#include "platform/media/live/live_sound_buffer.h"
#include "test_camera_streams.h"
#include "test_videos.h"

namespace dk::platform::test {
namespace {

// The muxer's own playlist and files, served as it wrote them: MPEG-TS and fMP4, with its
// date-times ("+0000") and without.
TEST_F(LiveHlsTest, AStreamAsThePackagerWroteItShowsItsNewestPictureAtItsDate) {
  const struct {
    const char* type;
    bool dated;
  } rows[] = {{"mpegts", true}, {"fmp4", true}, {"fmp4", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.type) + (row.dated ? " dated" : " undated"));
    startOver();
    TestHlsOptions options;
    options.segmentType = row.type;
    options.programDateTime = row.dated;
    const TestHls hls = makeStream(options);
    for (const auto& [name, bytes] : hls.files) {
      serve(livePath(name), bytes, name.ends_with(".ts") ? "video/mp2t" : "video/mp4");
    }
    servePlaylist(hls.playlist);
    std::string why;
    const auto read = parseLivePlaylist(hls.playlist, sim->baseUrl() + livePath("index.m3u8"), &why);
    ASSERT_TRUE(read) << why << "\n" << hls.playlist;
    ASSERT_EQ(read->segments.size(), 3u) << hls.playlist;

    Record r;
    auto source = liveSource(r);
    const double opened = platform::now();
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_FALSE(r.error) << r.error->description() << "\n" << hls.playlist;
    ASSERT_TRUE(r.last);
    EXPECT_EQ(r.last->pixelWidth(), options.width);
    ASSERT_EQ(r.times.size(), 1u);
    // At the newest segment's date; without dates, the newest segment ends as the view opens.
    EXPECT_NEAR(r.times[0], row.dated ? read->segments.back().startTime : opened - 2.0, 1e-3) << hls.playlist;
    const std::string& newest = read->segments.back().name;
    EXPECT_EQ(sim->requestsTo(livePath(newest.substr(newest.rfind('/') + 1))).size(), 1u);
    // The stream has ended: played out, its last picture (the newest segment's 50th) is shown.
    source->setPlaying(true);
    for (int i = 0; i < 75; ++i) clock.advance(0.04);
    EXPECT_NEAR(r.times.back(), r.times.front() + 49 / 25.0, 1e-3);
    EXPECT_EQ(r.times.size(), 50u);
    source->stop();
  }
}

// Without dates the time carries on from reload to reload: it only moves forward, at the clock's
// pace, from the clock when the view opened, and the view never buffers while data is there.
TEST_F(LiveHlsTest, WithoutDatesTheLiveTimeGoesOnAcrossReloadsFromWhenTheViewOpened) {
  for (const bool fragmented : {false, true}) {
    SCOPED_TRACE(fragmented ? "fMP4" : "MPEG-TS");
    startOver();
    TestHlsOptions options;
    options.segmentType = fragmented ? "fmp4" : "mpegts";
    options.programDateTime = false;
    const TestHls hls = makeStream(options);
    Packager p = packager(hls, fragmented);
    p.publish();

    Record r;
    auto source = liveSource(r);
    const double opened = platform::now();
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(r.times.size(), 1u) << (r.error ? r.error->description() : "");
    source->setPlaying(true);
    playAlong(p, 24.0);
    ASSERT_FALSE(r.error) << r.error->description();
    EXPECT_EQ(r.stalls, 0);
    EXPECT_DOUBLE_EQ(r.times.front(), opened - 2.0);
    for (size_t i = 1; i < r.times.size(); ++i) ASSERT_GT(r.times[i], r.times[i - 1]) << i;
    EXPECT_GE(r.times.size(), 24u * 25 - 5);
    EXPECT_NEAR(r.times.back(), opened - 2.0 + 24.0, 0.1);
    if (fragmented) {
      EXPECT_EQ(sim->requestsTo(livePath("init.mp4")).size(), 1u);  // fetched once for all
    }
    EXPECT_GE(sim->requestsTo(livePath("index13.m4s")).size() + sim->requestsTo(livePath("index13.ts")).size(), 1u);
    source->stop();
  }
}

// A segment is bounded by bytes a second of the length its playlist gives it, that length
// itself bounded: a camera's 6 s at 8 Mbit/s is taken, a byte past the bound is not. An
// initialisation section has its own bound.
TEST_F(LiveHlsTest, ASegmentIsBoundedByItsLengthAndAnInitialisationSectionByItsOwnCap) {
  const LiveStreamSource::Limits limits;
  struct Row {
    double seconds;
    int64_t bytes;
    bool init;     // the bytes are the initialisation section of a small fMP4 fragment
    int64_t code;  // 13: fetched, then not playable; 11: more than a segment may be
  };
  const Row rows[] = {
      {6, 6'000'000, false, 13},  // 6 s at 8 Mbit/s
      {6, limits.maxSegmentBytes(6), false, 13},
      {6, limits.maxSegmentBytes(6) + 1, false, 11},
      {0.5, limits.maxSegmentBytes(1), false, 13},  // a short segment may still have a second's worth
      {0.5, limits.maxSegmentBytes(1) + 1, false, 11},
      {2, limits.maxInitSectionBytes, true, 13},
      {2, limits.maxInitSectionBytes + 1, true, 11},
  };
  EXPECT_EQ(limits.maxSegmentBytes(3600), limits.maxSegmentBytes(30));  // whatever a length claims
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.seconds) + " s, " + std::to_string(row.bytes) + (row.init ? " init" : ""));
    startOver();
    const std::string name = row.init ? "index0.m4s" : "index0.ts";
    servePlaylist("#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:6\n#EXT-X-MEDIA-SEQUENCE:0\n" +
                  std::string(row.init ? "#EXT-X-MAP:URI=\"init.mp4\"\n" : "") + "#EXTINF:" +
                  std::to_string(row.seconds) + ",\n" + name + "\n");
    const std::string large(static_cast<size_t>(row.bytes), 'x');
    if (row.init) serve(livePath("init.mp4"), large, "video/mp4");
    serve(livePath(name), row.init ? std::string(1000, 'x') : large, row.init ? "video/mp4" : "video/mp2t");
    Record r;
    auto source = liveSource(r);
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return r.error != nullptr; }));
    EXPECT_EQ(r.error->code(), row.code) << r.error->description();
    // A fragment is not asked for once its initialisation section has failed.
    EXPECT_EQ(sim->requestsTo(livePath(name)).size(), !row.init || row.code == 13 ? 1u : 0u);
  }
}

// An EVENT playlist two and a half minutes in (more segments than are kept) joins at its newest.
TEST_F(LiveHlsTest, ALongEventPlaylistJoinsAtItsNewestSegment) {
  const TestHls hls = makeStream({});
  Packager p = packager(hls, false, platform::now() - 140);
  p.newest = 69;
  p.window = 70;
  std::string text = p.playlist();
  text.insert(text.find("#EXT-X-MEDIA-SEQUENCE"), "#EXT-X-PLAYLIST-TYPE:EVENT\n");
  servePlaylist(text);
  serve(livePath("index69.ts"), hls.files.at("index0.ts"), "video/mp2t");
  Record r;
  auto source = liveSource(r);
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_FALSE(r.error) << r.error->description();
  ASSERT_EQ(r.times.size(), 1u);
  EXPECT_NEAR(r.times[0], platform::now() - 2, 1e-3);
}

// Where a playlist's addresses may lead: the cloud's own origin (an absolute URL or path) with
// the token; another https host without it; plain http nowhere.
TEST_F(LiveHlsTest, SegmentsOnTheCloudCarryTheTokenAndOnAnotherHttpsHostGoWithoutIt) {
  const TestHls hls = makeStream({});
  const std::string port = std::to_string(sim->port());
  struct Row {
    const char* what;
    std::string prefix;  // before each segment's name
    bool fragmented;
    bool plays;
    bool token;
  };
  const std::string folderPath = livePath("");
  const Row rows[] = {
      {"an absolute URL on the cloud", sim->baseUrl() + folderPath, false, true, true},
      {"an absolute path", folderPath, false, true, true},
      {"fMP4 under an absolute path", folderPath, true, true, true},
      {"another https host", "https://localhost:" + port + folderPath, false, true, false},
      {"fMP4 on another https host", "https://localhost:" + port + folderPath, true, true, false},
      {"plain http on the cloud's own address", "http://127.0.0.1:" + port + folderPath, false, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    startOver();
    TestHlsOptions options;
    options.segmentType = row.fragmented ? "fmp4" : "mpegts";
    const TestHls stream = row.fragmented ? makeStream(options) : hls;
    Packager p = packager(stream, row.fragmented, platform::now() - 6);
    p.prefix = row.prefix;
    p.publish();
    Record r;
    auto source = liveSource(r);
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_EQ(r.error == nullptr, row.plays) << (r.error ? r.error->description() : "");
    EXPECT_EQ(r.times.size(), row.plays ? 1u : 0u);
    size_t media = 0;
    for (const auto& request : sim->requests()) {
      if (request.path == livePath("index.m3u8")) continue;
      ++media;
      EXPECT_TRUE(request.tls) << request.path;
      EXPECT_EQ(request.header("Authorization").empty(), !row.token) << request.path;
      EXPECT_EQ(request.header("Host").rfind("localhost", 0) == 0, row.plays && !row.token) << request.path;
    }
    EXPECT_EQ(media, row.plays ? (row.fragmented ? 2u : 1u) : 0u);
    source->stop();
  }
}

// The source fetches only a little ahead of what it decodes, however many new segments a
// playlist lists at once; a view far behind goes on with the newest.
TEST_F(LiveHlsTest, SegmentsAreFetchedOnlyALittleAheadOfTheDecoderAndAViewFarBehindSkipsToTheNewest) {
  const TestHls hls = makeStream({});
  Packager p = packager(hls, false, platform::now() - 6);
  p.publish();
  Record r;
  auto source = liveSource(r);
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_EQ(r.times.size(), 1u);
  source->setPlaying(true);
  ASSERT_TRUE(MainRunLoop::runUntilIdle());  // the reload that playing starts with
  // Twenty new segments at once, and the view has played only a moment of the first.
  p.newest += 20;
  p.window = 30;
  p.publish();
  sim->clearRequests();
  clock.advance(2.0);  // the next reload
  size_t segments = 0;
  for (const auto& request : sim->requests()) segments += request.path.ends_with(".ts");
  EXPECT_GE(segments, 1u);
  EXPECT_LE(segments, 2u);
  EXPECT_FALSE(r.error);
  // Far behind (more new segments at each reload than a playlist keeps), it goes on with the
  // newest: the segments it fetches next are among the newest kept, not the oldest queued.
  p.window = 100;
  for (int reload = 0; reload < 2; ++reload) {
    p.newest += 80;
    p.publish();
    clock.advance(1.0);  // the next reload
  }
  sim->clearRequests();
  for (int i = 0; i < 150; ++i) clock.advance(0.04);
  ASSERT_FALSE(r.error) << r.error->description();
  const int64_t newestKept = p.newest - static_cast<int64_t>(LivePlaylist::kMaxSegments) + 1;
  size_t fetched = 0;
  for (const auto& request : sim->requests()) {
    if (!request.path.ends_with(".ts")) continue;
    ++fetched;
    const std::string name = request.path.substr(request.path.rfind("index") + 5);
    EXPECT_GE(std::stoll(name), newestKept) << request.path;
  }
  EXPECT_GE(fetched, 1u);
}

// Large pictures: the pictures waiting to be shown stop at the byte cap (plus the one that passed
// it), well before any count of pictures would stop them.
TEST_F(LiveHlsTest, QueuedPicturesStopAtTheByteCap) {
  TestVideoOptions large;
  large.encoder = "mpeg4";
  large.bFrames = 0;
  large.width = 4096;
  large.height = 2304;
  large.frames = 8;
  large.fps = 1;
  large.gop = 8;
  large.container = "mpegts";
  const std::string path = (folder.path() / "large.ts").string();
  std::string why;
  ASSERT_TRUE(writeTestVideo(path, large, &why)) << why;
  std::ifstream in(path, std::ios::binary);
  servePlaylist("#EXTM3U\n#EXT-X-TARGETDURATION:8\n#EXT-X-MEDIA-SEQUENCE:0\n#EXTINF:8.000000,\nindex0.ts\n");
  serve(livePath("index0.ts"), std::string(std::istreambuf_iterator<char>(in), {}), "video/mp2t");
  Record r;
  const LiveStreamSource::Limits limits;
  auto source = liveSource(r, limits);
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  ASSERT_FALSE(r.error) << r.error->description();
  const int64_t picture = int64_t{4096} * 2304 * 4;
  EXPECT_GT(source->peakQueuedPictureBytes(), picture);
  EXPECT_LE(source->peakQueuedPictureBytes(), limits.maxQueuedPictureBytes + picture);
  // Played out, every picture is shown in turn.
  source->setPlaying(true);
  for (int i = 0; i < 250 && r.times.size() < 8; ++i) clock.advance(0.04);
  EXPECT_EQ(r.times.size(), 8u);
  EXPECT_LE(source->peakQueuedPictureBytes(), limits.maxQueuedPictureBytes + picture);
  EXPECT_FALSE(r.error);
}

// An interlaced camera (H.264 with its fields half a frame apart, as 1080i and 576i cameras send
// it), in MPEG-TS and fMP4 segments: every picture the live view gets is whole, its moving bars
// not combed as the woven fields are.
TEST_F(LiveHlsTest, AnInterlacedCamerasPicturesAreShownWhole) {
  for (const bool fragmented : {false, true}) {
    SCOPED_TRACE(fragmented ? "fMP4" : "MPEG-TS");
    startOver();
    TestHlsOptions options;
    options.segmentType = fragmented ? "fmp4" : "mpegts";
    options.interlaced = true;
    const TestHls hls = makeStream(options);
    if (!fragmented) {
      const std::string segment = (folder.path() / "index0.ts").string();
      const SequentialDecode woven = decodeSequentially(segment);
      ASSERT_FALSE(woven.pictures.empty());
      ASSERT_GT(combing(*woven.pictures[1]), 0.2) << "the test stream must comb when woven";
    }
    Packager p = packager(hls, fragmented);
    p.publish();
    std::vector<size_t> combed;
    size_t pictures = 0;
    LiveStreamSource::Listener listener;
    listener.frame = [&](const ImagePtr& image, double) {
      if (!image || combing(*image) > 0.02) combed.push_back(pictures);
      ++pictures;
    };
    auto source = LiveStreamSource::create(cameraId, sim->baseUrl(), std::move(listener), {});
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    source->setPlaying(true);
    playAlong(p, 6);
    source->stop();
    EXPECT_GE(pictures, 6u * 25 - 5);
    EXPECT_THAT(combed, ::testing::IsEmpty()) << "pictures shown with their fields woven, by number";
  }
}

// The whole road, the camera streamer against the local cloud writing its playlists as a packager
// does: the live view plays on at the camera's pace, its time only going forward, without
// buffering while the camera keeps up.
TEST_F(LiveHlsTest, TheStreamerPlaysTheCloudsLiveViewInEachPackagersShape) {
  using Shape = cloudsim::World::LivePlaylistShape;
  for (const Shape shape : {Shape::PackagerDates, Shape::PackagerUndated, Shape::PackagerAbsolute}) {
    SCOPED_TRACE(static_cast<int>(shape));
    // The camera's clock 100 s off the phone's, and its packager a second ahead of the view, as a
    // real one is.
    const double cameraAhead = 100;
    sim->updateWorld([&](cloudsim::World& w) {
      w.livePlaylistShape = shape;
      w.now = platform::now() + cameraAhead + 1;
    });
    // Dated: the camera's clock; undated: the phone's when the view opened.
    const double ahead = shape == Shape::PackagerUndated ? 0 : cameraAhead;
    sim->clearRequests();
    recorder->events.clear();
    const double opened = platform::now();
    streamer->setCurrentItem(DKStreamerItem::itemWithCameraId(cameraId));
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(streamer->status(), DKCameraStreamerStatusReadyToPlay) << describe(streamer->failureReason());
    EXPECT_NEAR(streamer->currentTime(), opened + ahead - 2, 1e-3);  // the newest segment's start
    streamer->setRate(1);
    double last = streamer->currentTime();
    for (int i = 0; i < 500; ++i) {
      sim->updateWorld([](cloudsim::World& w) { w.now += 0.04; });
      clock.advance(0.04);
      ASSERT_GE(streamer->currentTime(), last) << i;
      last = streamer->currentTime();
    }
    EXPECT_EQ(streamer->playbackState(), DKPlaybackStatePlaying);
    // The picture on screen, at the cloud's two pictures a second.
    EXPECT_GT(streamer->currentTime(), opened + ahead - 2 + 20 - 0.5 - 1e-3);
    EXPECT_LE(streamer->currentTime(), opened + ahead - 2 + 20 + 1e-3);
    EXPECT_EQ(std::count(recorder->events.begin(), recorder->events.end(), "playback:1"), 0);
    for (const auto& request : sim->requests()) {
      EXPECT_EQ(request.header("Authorization"), "Bearer " + sim->accessToken()) << request.path;
    }
    streamer->setCurrentItem(nullptr);
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
  }
}

// The encoder's stream goes on across its segments: a segment may begin between key frames
// (split_by_time), and its first pictures may refer to the segment before (open groups of
// pictures, libx264's and libx265's). Every picture is shown in turn, none lost at the joins.
TEST_F(LiveHlsTest, AStreamIsDecodedAcrossItsSegmentsAndLosesNoPictureWhereTheyJoin) {
  auto shape = [](const char* encoder, int keySeconds, bool openGop, const char* flags) {
    TestHlsOptions o = tenASecond(flags);
    o.encoder = encoder;
    o.keySeconds = keySeconds;
    o.openGop = openGop;
    return o;
  };
  const struct {
    const char* what;
    TestHlsOptions options;
  } rows[] = {
      {"split_by_time, a key frame every 4 s", shape("libx264", 4, false, "split_by_time")},
      {"libx264, open groups of pictures", shape("libx264", 2, true, "")},
      {"libx265, its open groups of pictures", shape("libx265", 2, false, "")},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    startOver();
    const TestHls hls = makeStream(row.options);
    Packager p = packager(hls, false);
    p.newest = 0;
    p.window = 4;
    p.publish();
    Record r;
    auto source = liveSource(r);
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    EXPECT_EQ(r.times.size(), 1u) << (r.error ? r.error->description() : "");
    source->setPlaying(true);
    playAlong(p, 5.0);
    if (r.error) {
      ADD_FAILURE() << r.error->description();  // each shape reports on its own
      continue;
    }
    // Ten pictures a second for the five seconds played, each a tenth of a second after the last.
    EXPECT_GE(r.times.size(), 50u);
    for (size_t i = 1; i < r.times.size(); ++i) EXPECT_NEAR(r.times[i] - r.times[i - 1], 0.1, 1e-3) << i;
    EXPECT_EQ(r.stalls, 0);
    source->stop();
  }
}

// Segments that never give a picture (each begins after a key frame, none follows) cannot be
// shown: the view fails with the segment's error, not the stall's.
TEST_F(LiveHlsTest, AStreamThatNeverGivesAPictureFailsAsUnplayable) {
  TestHlsOptions options;
  options.keySeconds = 4;
  options.segments = 2;
  options.flags = "split_by_time";
  const TestHls stream = makeStream(options);
  TestHls keyless;
  keyless.files["index0.ts"] = stream.files.at("index1.ts");  // every segment the one without a key frame
  Packager p = packager(keyless, false, platform::now() - 6);
  p.publish();
  Record r;
  auto source = liveSource(r);
  source->start();
  source->setPlaying(true);
  playAlong(p, 12.0);
  ASSERT_TRUE(r.error);
  EXPECT_EQ(r.error->code(), 13) << r.error->description();
  EXPECT_TRUE(r.times.empty());
}

// ffmpeg's fMP4 muxer writes a fragment's sound after all its video: the sound of each fragment
// is heard with its pictures, whatever the fragment's length (read as a sound card does, a little
// ahead of the picture on screen).
TEST_F(LiveHlsTest, TheSoundOfFragmentsIsHeardWithTheirPicturesAtEveryFragmentLength) {
  for (const int seconds : {1, 2, 6}) {
    SCOPED_TRACE(std::to_string(seconds) + " s fragments");
    startOver();
    CameraStreamOptions camera;
    camera.container = "hls";
    camera.segmentType = "fmp4";
    camera.segmentSeconds = seconds;
    camera.seconds = 4.0 * seconds;
    std::string why;
    const std::vector<std::string> files = writeCameraStream(folder.path().string(), camera, &why);
    ASSERT_GE(files.size(), 4u) << why;
    TestHls hls;
    hls.files["init.mp4"] = files[0];
    for (size_t i = 1; i < files.size(); ++i) hls.files["index" + std::to_string(i - 1) + ".m4s"] = files[i];
    Packager p = packager(hls, true, platform::now() - seconds);
    p.seconds = seconds;
    p.newest = 0;
    p.publish();

    LiveSoundBuffer heard;
    int rate = 0, channels = 0;
    double readFrom = -1;
    int64_t blocks = 0, silent = 0;
    LiveStreamSource::Listener listener;
    listener.sound = [&](const LiveSegmentSound& sound, double time) { heard.add(time, sound); };
    listener.frame = [&](const ImagePtr&, double time) {
      if (readFrom < 0) readFrom = time + 0.1;  // past the encoder's first frame
      if (!heard.format(&rate, &channels)) return;
      const int64_t block = rate / 100;  // ten milliseconds
      std::vector<int16_t> samples;
      for (; readFrom + 0.01 <= time + 0.15; readFrom += 0.01) {
        heard.read(readFrom, block, &samples);
        const auto loudest = std::max_element(samples.begin(), samples.end(),
                                              [](int16_t a, int16_t b) { return std::abs(a) < std::abs(b); });
        ++blocks;
        silent += loudest == samples.end() || std::abs(*loudest) < 1000;
      }
    };
    ErrorPtr error;
    listener.failed = [&](const ErrorPtr& e) { error = e; };
    auto source = LiveStreamSource::create(cameraId, sim->baseUrl(), std::move(listener));
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    source->setPlaying(true);
    playAlong(p, 2.0 * seconds);
    ASSERT_FALSE(error) << error->description();
    EXPECT_EQ(channels, camera.channels);
    EXPECT_GE(blocks, 2 * seconds * 100 - 30);
    EXPECT_LE(silent, blocks / 50) << silent << " of " << blocks << " blocks silent";
    source->stop();
  }
}

// ffmpeg's single_file: one growing file, each segment a byte range of it, fetched as that range
// with the token; a range past the end of what the server has fails only that segment, and the
// stream goes on with the next.
TEST_F(LiveHlsTest, AByteRangePlaylistPlaysEachRangeAsASegmentAndARangeNotThereFailsOnlyItself) {
  const TestHls hls = makeStream(tenASecond("single_file"));
  ASSERT_EQ(hls.files.size(), 1u);
  const auto& [file, bytes] = *hls.files.begin();
  // The muxer's playlist, in its head and one block per segment.
  std::string head;
  std::vector<std::string> blocks;
  std::string block;
  for (size_t at = 0; at < hls.playlist.size();) {
    const size_t end = hls.playlist.find('\n', at);
    const std::string line = hls.playlist.substr(at, end - at) + "\n";
    at = end == std::string::npos ? hls.playlist.size() : end + 1;
    if (line == "#EXT-X-ENDLIST\n") continue;
    if (line.starts_with("#EXTINF") || !block.empty()) {
      block += line;
      if (line[0] != '#') blocks.push_back(std::exchange(block, {}));
    } else {
      head += line;
    }
  }
  ASSERT_EQ(blocks.size(), 4u) << hls.playlist;
  ASSERT_NE(blocks[1].find("#EXT-X-BYTERANGE:"), std::string::npos) << hls.playlist;

  for (const bool missing : {false, true}) {
    SCOPED_TRACE(missing ? "the second range past the end" : "every range there");
    startOver();
    std::vector<std::string> listed = blocks;
    if (missing) {
      const size_t at = listed[1].find("#EXT-X-BYTERANGE:");
      const size_t end = listed[1].find('\n', at);
      listed[1].replace(at, end - at, "#EXT-X-BYTERANGE:1000@" + std::to_string(bytes.size() + 1000));
    }
    cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(livePath(file), 200, bytes);
    rule.contentType = "video/mp2t";
    rule.times = -1;
    rule.headers = {{"Accept-Ranges", "bytes"}};
    sim->addFault(rule);
    auto publish = [&](size_t count) {
      std::string text = head;
      for (size_t i = 0; i < count; ++i) text += listed[i];
      servePlaylist(text);
    };
    publish(1);
    Record r;
    auto source = liveSource(r);
    source->start();
    ASSERT_TRUE(MainRunLoop::runUntilIdle());
    ASSERT_EQ(r.times.size(), 1u) << (r.error ? r.error->description() : "");
    const double first = r.times.front();
    source->setPlaying(true);
    for (int i = 1; i <= 175; ++i) {
      if (i % 50 == 25) publish(std::min<size_t>(blocks.size(), 2 + static_cast<size_t>(i / 50)));
      clock.advance(0.04);
    }
    ASSERT_FALSE(r.error) << r.error->description();
    for (size_t i = 1; i < r.times.size(); ++i) ASSERT_GT(r.times[i], r.times[i - 1]) << i;
    // Every picture of the ranges there; none of the one that is not.
    const auto within = [&](double from, double to) {
      return std::count_if(r.times.begin(), r.times.end(), [&](double t) { return t >= from - 1e-6 && t < to - 1e-6; });
    };
    EXPECT_EQ(within(first, first + 2), 20);
    EXPECT_EQ(within(first + 2, first + 4), missing ? 0 : 20);
    EXPECT_GE(within(first + 4, first + 7), 25);
    size_t ranged = 0;
    for (const auto& request : sim->requestsTo(livePath(file))) {
      ranged += request.header("Range").starts_with("bytes=");
      EXPECT_EQ(request.header("Authorization"), "Bearer " + sim->accessToken());
    }
    EXPECT_EQ(ranged, 4u);
    source->stop();
  }
}

// A camera that restarts its stream numbers its segments from 0 again; without dates its new
// segments are placed on from the picture on screen: the live time never goes back.
TEST_F(LiveHlsTest, AnUndatedStreamThatRestartsGoesOnWithoutItsTimeGoingBack) {
  TestHlsOptions options;
  options.programDateTime = false;
  options.segments = 4;
  const TestHls hls = makeStream(options);
  Packager p = packager(hls, false);
  p.publish();
  Record r;
  auto source = liveSource(r);
  source->start();
  ASSERT_TRUE(MainRunLoop::runUntilIdle());
  source->setPlaying(true);
  playAlong(p, 6.0);
  ASSERT_FALSE(r.error) << r.error->description();
  const size_t before = r.times.size();
  const double reached = r.times.back();
  p.newest = 1;  // numbered anew: its segments 0 and 1
  p.publish();
  playAlong(p, 6.0);
  ASSERT_FALSE(r.error) << r.error->description();
  ASSERT_GT(r.times.size(), before + 100);
  for (size_t i = before; i < r.times.size(); ++i) ASSERT_GE(r.times[i], reached) << i;
  for (size_t i = 1; i < r.times.size(); ++i) ASSERT_GE(r.times[i], r.times[i - 1]) << i;
}


}  // namespace
}  // namespace dk::platform::test
