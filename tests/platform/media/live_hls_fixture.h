// The live view's fixture against streams as a standard packager writes them (FFmpeg's own HLS
// muxer, run in the test): files served from the local cloud under the camera's live folder, a
// source whose pictures, stalls and failure are written down, and a packager going on live.
#pragma once

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/media/live/live_stream_source.h"
#include "streamer_fixture.h"
#include "support/temp_directory.h"
#include "test_hls.h"

namespace dk::platform::test {

class LiveHlsTest : public StreamerTest {
 protected:
  std::string livePath(const std::string& file) const {
    return "/media/cameras/" + std::to_string(cameraId) + "/live/" + file;
  }
  // `body` answers every request for `path` from now on.
  int serve(const std::string& path, std::string body, const char* type) {
    cloudsim::FaultRule rule = cloudsim::FaultRule::failWith(path, 200, std::move(body));
    rule.contentType = type;
    rule.times = -1;
    return sim->addFault(rule);
  }
  void servePlaylist(const std::string& text) {
    if (playlistRule) sim->removeFault(playlistRule);
    playlistRule = serve(livePath("index.m3u8"), text, "application/x-mpegurl");
  }
  // Another row of a table: nothing served, nothing asked, no stream made.
  void startOver() {
    sim->clearFaults();
    sim->clearRequests();
    playlistRule = 0;
    std::filesystem::remove_all(folder.path());
    std::filesystem::create_directories(folder.path());
  }
  // Four undated segments of ten pictures a second, with the muxer's `flags`.
  static TestHlsOptions tenASecond(const char* flags) {
    TestHlsOptions o;
    o.fps = 10;
    o.segments = 4;
    o.flags = flags;
    o.programDateTime = false;
    return o;
  }
  TestHls makeStream(const TestHlsOptions& options) {
    TestHls hls;
    std::string why;
    EXPECT_TRUE(writeTestHls(folder.path().string(), options, &hls, &why)) << why;
    return hls;
  }

  struct Record {
    std::vector<double> times;
    ImagePtr last;
    ErrorPtr error;
    int stalls = 0;
  };
  std::shared_ptr<LiveStreamSource> liveSource(Record& r, LiveStreamSource::Limits limits = {}) {
    LiveStreamSource::Listener listener;
    listener.frame = [&r](const ImagePtr& image, double time) {
      r.last = image;
      r.times.push_back(time);
    };
    listener.stalled = [&r](bool stalled) { r.stalls += stalled ? 1 : 0; };
    listener.failed = [&r](const ErrorPtr& error) { r.error = error; };
    return LiveStreamSource::create(cameraId, sim->baseUrl(), std::move(listener), limits);
  }

  // A packager going on live, in the shape FFmpeg's hls muxer writes: segment k is file k % n of
  // `hls` ("index<k>.ts" or ".m4s" after "init.mp4"), the playlist lists the newest `window`,
  // dated (with ffmpeg's "+0000") from `firstDate` when it is not 0, and names every segment
  // `prefix` + its name + `query`.
  struct Packager {
    LiveHlsTest* test = nullptr;
    const TestHls* hls = nullptr;
    bool fragmented = false;
    double firstDate = 0;  // of segment 0
    std::string prefix, query;
    int64_t newest = 2;
    int window = 3;
    int served = -1;
    double seconds = 2;  // each segment's length

    std::string file(int64_t k) const {
      const size_t n = hls->files.size() - (fragmented ? 1 : 0);
      return "index" + std::to_string(k % static_cast<int64_t>(n)) + (fragmented ? ".m4s" : ".ts");
    }
    std::string name(int64_t k) const { return "index" + std::to_string(k) + (fragmented ? ".m4s" : ".ts"); }
    static std::string date(double t) {
      const auto seconds = static_cast<time_t>(std::floor(t));
      std::tm tm{};
      gmtime_r(&seconds, &tm);
      char text[64];
      std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
      char out[96];
      std::snprintf(out, sizeof out, "%s.%03d+0000", text, static_cast<int>(std::lround((t - std::floor(t)) * 1000)) % 1000);
      return out;
    }
    std::string playlist() const {
      const int64_t first = std::max<int64_t>(0, newest - window + 1);
      char line[160];
      std::string text = std::string("#EXTM3U\n#EXT-X-VERSION:") + (fragmented ? "7" : "3") +
                         "\n#EXT-X-TARGETDURATION:" + std::to_string(static_cast<int>(std::ceil(seconds))) + "\n";
      std::snprintf(line, sizeof line, "#EXT-X-MEDIA-SEQUENCE:%" PRId64 "\n", first);
      text += line;
      if (fragmented) text += "#EXT-X-MAP:URI=\"" + prefix + "init.mp4" + query + "\"\n";
      for (int64_t k = first; k <= newest; ++k) {
        std::snprintf(line, sizeof line, "#EXTINF:%f,\n", seconds);
        text += line;
        if (firstDate > 0) text += "#EXT-X-PROGRAM-DATE-TIME:" + date(firstDate + seconds * static_cast<double>(k)) + "\n";
        text += prefix + name(k) + query + "\n";
      }
      return text;
    }
    // Serves every segment up to `newest` and the playlist listing them.
    void publish() {
      if (served < 0 && fragmented) test->serve(test->livePath("init.mp4"), hls->files.at("init.mp4"), "video/mp4");
      for (int64_t k = served + 1; k <= newest; ++k) {
        test->serve(test->livePath(name(k)), hls->files.at(file(k)), fragmented ? "video/iso.segment" : "video/mp2t");
      }
      served = static_cast<int>(newest);
      test->servePlaylist(playlist());
    }
  };
  Packager packager(const TestHls& hls, bool fragmented, double firstDate = 0) {
    Packager p;
    p.test = this;
    p.hls = &hls;
    p.fragmented = fragmented;
    p.firstDate = firstDate;
    return p;
  }

  // Plays `seconds` a frame tick at a time; the packager finishes a segment every segment length,
  // half of one before the view reaches it.
  void playAlong(Packager& p, double seconds) {
    const int ticks = static_cast<int>(std::lround(seconds / 0.04));
    const int every = static_cast<int>(std::lround(p.seconds / 0.04));
    for (int i = 1; i <= ticks; ++i) {
      if (i % every == every / 2) {
        ++p.newest;
        p.publish();
      }
      clock.advance(0.04);
    }
  }

  dk::test::TemporaryDirectory folder;
  int playlistRule = 0;
};

}  // namespace dk::platform::test
