// A camera's live view and its speaker.
//
// Live video is HLS: "/media/cameras/{camera}/live/index.m3u8" lists the last few two-second
// MPEG-TS segments cut from the world's clock, each "{sequence}.ts" covering seconds
// [2 * sequence, 2 * sequence + 2) since 1970 and showing the camera's name and that time, in the
// world's video quality (a camera's H.264 at 720p or 1080p, 25 frames a second, each segment one
// group of pictures opening with a key frame) with the camera's sound when its microphone is on
// (AAC, a 660 Hz tone running on across segments), encoded outside the world's lock. HLS over
// MPEG-TS because every segment then carries its own decoder headers and plays on its own, so a
// player can join at the newest one without an initialisation segment, and a plain text playlist
// is easy to check before anything is fetched. The world's livePlaylistShape writes the playlist
// as a standard packager does instead (ffmpeg's dates, none, or absolute addresses).
//
// Push-to-talk is a short session of JSON posts carrying base64 16-bit mono PCM:
// POST ".../talk" opens one (201 {"talkId"}), POST ".../talk/{talk}" adds audio, POST
// ".../talk/{talk}/end" closes it. What arrived is kept in World::talks with its pitch, so a test
// or the demo can tell that the tone it sent is the tone the camera got.
#include <openssl/evp.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "api_routes.h"
#include "camera_sound.h"
#include "cloud-sim/server_time.h"
#include "recording_video.h"

namespace dk::cloudsim::detail {
namespace {

constexpr double kSegmentSeconds = 2.0;
constexpr int kPlaylistSegments = 3;
constexpr int kKeptSegments = 8;  // older ones are gone, as on a real origin
constexpr size_t kMaxChunkBytes = 256 * 1024;
constexpr uint64_t kMaxTalkSamples = 48000ull * 600;  // ten minutes at the highest rate

int64_t newestSegment(double now) { return static_cast<int64_t>(std::floor(now / kSegmentSeconds)) - 1; }

std::optional<HttpReply> requireOnline(RouteContext& ctx, const Camera& camera) {
  if (!camera.online) return errorReply(409, "Camera is offline", ctx.request.path);
  return std::nullopt;
}

// A segment's lines in the world's playlist shape.
std::string segmentLines(const RouteContext& ctx, int64_t sequence) {
  using Shape = World::LivePlaylistShape;
  const Shape shape = ctx.world.livePlaylistShape;
  const double start = static_cast<double>(sequence) * kSegmentSeconds;
  char line[512];
  if (shape == Shape::Simulator) {
    std::snprintf(line, sizeof line, "#EXT-X-PROGRAM-DATE-TIME:%s\n#EXTINF:%.3f,\n%lld.ts\n",
                  formatServerTime(start, 0).c_str(), kSegmentSeconds, static_cast<long long>(sequence));
    return line;
  }
  std::string text;
  std::snprintf(line, sizeof line, "#EXTINF:%f,\n", kSegmentSeconds);
  text += line;
  if (shape != Shape::PackagerUndated) {
    // ffmpeg's form: the offset written without a colon.
    const auto seconds = static_cast<time_t>(std::floor(start));
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char date[64];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(line, sizeof line, "#EXT-X-PROGRAM-DATE-TIME:%s.%03d+0000\n", date,
                  static_cast<int>((start - std::floor(start)) * 1000));
    text += line;
  }
  if (shape == Shape::PackagerAbsolute) text += ctx.baseUrl + ctx.request.path.substr(0, ctx.request.path.rfind('/') + 1);
  return text + std::to_string(sequence) + ".ts\n";
}

HttpReply playlist(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    if (auto refused = requireOnline(ctx, camera)) return std::move(*refused);
    const int64_t newest = newestSegment(ctx.world.now);
    const int64_t first = newest - kPlaylistSegments + 1;
    char line[160];
    std::string text = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n";
    std::snprintf(line, sizeof line, "#EXT-X-MEDIA-SEQUENCE:%lld\n", static_cast<long long>(first));
    text += line;
    for (int64_t sequence = first; sequence <= newest; ++sequence) {
      text += segmentLines(ctx, sequence);
    }
    HttpReply reply;
    reply.setHeader("Content-Type", "application/x-mpegurl");
    reply.setHeader("Cache-Control", "no-cache");
    reply.body = std::move(text);
    return reply;
  });
}

// What segment `sequence` of a camera's live stream shows, and how it is encoded.
VideoSpec liveSegmentSpec(const Camera& camera, const World& world, int64_t sequence) {
  VideoSpec spec;
  spec.label = camera.name;
  spec.startTime = static_cast<double>(sequence) * kSegmentSeconds;
  spec.duration = kSegmentSeconds;
  spec.utcOffsetSeconds = world.utcOffsetSeconds;
  spec.container = "mpegts";
  // A camera whose microphone is on streams its sound: a tone pitched apart from the recordings'.
  spec.sound = camera.audioEnabled;
  spec.toneHz = kLiveToneHz;
  applyVideoQuality(spec, world.videoQuality);
  return spec;
}

// The segment's video as a reply, made once the world's lock is let go (a camera's quality takes
// a while to encode) and shared by the requests that ask for it together.
HttpReply liveSegmentReply(const VideoSpec& spec) {
  HttpReply reply;
  reply.deferred = [spec] {
    const std::shared_ptr<const std::string> video = cachedLabelledVideo(spec);
    if (!video || video->empty()) return errorReply(500, "Video could not be made", "");
    HttpReply made;
    made.setHeader("Content-Type", "video/mp2t");
    made.body = *video;
    return made;
  };
  return reply;
}

HttpReply segment(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    if (auto refused = requireOnline(ctx, camera)) return std::move(*refused);
    const auto sequence = ctx.idAt(1);
    const int64_t newest = newestSegment(ctx.world.now);
    if (!sequence || *sequence > newest || *sequence <= newest - kKeptSegments) {
      return errorReply(404, "Segment not available", ctx.request.path);
    }
    return liveSegmentReply(liveSegmentSpec(camera, ctx.world, *sequence));
  });
}

// The PCM of a talk post, or the reply refusing it.
struct Audio {
  int sampleRate = 0;
  std::string pcm;
};
std::optional<HttpReply> readAudio(RouteContext& ctx, Audio& audio) {
  const Json& body = ctx.json();
  if (!body.is_object() || body.value("format", std::string()) != "s16le") return badValue(ctx, "format");
  const Json rate = body.value("sampleRate", Json());
  if (!rate.is_number_integer() || rate.get<int64_t>() < 8000 || rate.get<int64_t>() > 48000) {
    return badValue(ctx, "sampleRate");
  }
  audio.sampleRate = static_cast<int>(rate.get<int64_t>());
  const Json encoded = body.value("audio", Json());
  if (!encoded.is_string()) return badValue(ctx, "audio");
  const std::string& text = encoded.get_ref<const std::string&>();
  if (text.size() % 4 != 0 || text.size() / 4 * 3 > kMaxChunkBytes) return badValue(ctx, "audio");
  audio.pcm.resize(text.size() / 4 * 3);
  const int decoded = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(audio.pcm.data()),
                                      reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (decoded < 0) return badValue(ctx, "audio");
  size_t padding = 0;
  if (!text.empty() && text.back() == '=') padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
  audio.pcm.resize(static_cast<size_t>(decoded) - padding);
  if (audio.pcm.size() % 2 != 0) return badValue(ctx, "audio");
  return std::nullopt;
}

std::optional<HttpReply> ingest(RouteContext& ctx, TalkSession& talk, const Audio& audio) {
  if (talk.sampleRate != audio.sampleRate) return badValue(ctx, "sampleRate");
  const size_t count = audio.pcm.size() / 2;
  if (talk.samples + count > kMaxTalkSamples) return errorReply(413, "Talk too long", ctx.request.path);
  for (size_t i = 0; i < count; ++i) {
    int16_t sample;
    std::memcpy(&sample, audio.pcm.data() + 2 * i, 2);  // little-endian hosts only, like the client
    const int sign = sample > 0 ? 1 : sample < 0 ? -1 : 0;
    if (sign != 0) {
      if (talk.lastSign != 0 && sign != talk.lastSign) ++talk.crossings;
      talk.lastSign = sign;
    }
  }
  talk.samples += count;
  ++talk.chunks;
  const double seconds = talk.seconds();
  talk.toneHz = seconds > 0 ? static_cast<double>(talk.crossings) / 2.0 / seconds : 0;
  return std::nullopt;
}

TalkSession* talkAt(RouteContext& ctx, const Camera& camera) {
  const auto id = ctx.idAt(1);
  if (!id) return nullptr;
  for (auto& talk : ctx.world.talks) {
    if (talk.talkId == *id && talk.cameraId == camera.cameraId && !talk.ended) return &talk;
  }
  return nullptr;
}

HttpReply openTalk(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    if (auto refused = requireOnline(ctx, camera)) return std::move(*refused);
    Audio audio;
    if (auto refused = readAudio(ctx, audio)) return std::move(*refused);
    TalkSession talk;
    talk.talkId = ctx.world.talks.empty() ? 1 : ctx.world.talks.back().talkId + 1;
    talk.cameraId = camera.cameraId;
    talk.sampleRate = audio.sampleRate;
    if (auto refused = ingest(ctx, talk, audio)) return std::move(*refused);
    ctx.world.talks.push_back(talk);
    return jsonReply(201, {{"talkId", talk.talkId}});
  });
}

HttpReply addToTalk(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    TalkSession* talk = talkAt(ctx, camera);
    if (!talk) return errorReply(404, "Talk not found", ctx.request.path);
    Audio audio;
    if (auto refused = readAudio(ctx, audio)) return std::move(*refused);
    if (auto refused = ingest(ctx, *talk, audio)) return std::move(*refused);
    return noContent();
  });
}

HttpReply endTalk(RouteContext& ctx) {
  return withCamera(ctx, [&](Camera& camera) -> HttpReply {
    TalkSession* talk = talkAt(ctx, camera);
    if (!talk) return errorReply(404, "Talk not found", ctx.request.path);
    talk->ended = true;
    return noContent();
  });
}

}  // namespace

void addLiveRoutes(std::vector<Route>& routes) {
  routes.push_back({"GET", "/media/cameras/{camera}/live/index.m3u8", Auth::Bearer, playlist});
  routes.push_back({"GET", "/media/cameras/{camera}/live/{segment}.ts", Auth::Bearer, segment});
  routes.push_back({"POST", "/media/cameras/{camera}/talk", Auth::Bearer, openTalk});
  routes.push_back({"POST", "/media/cameras/{camera}/talk/{talk}", Auth::Bearer, addToTalk});
  routes.push_back({"POST", "/media/cameras/{camera}/talk/{talk}/end", Auth::Bearer, endTalk});
}

}  // namespace dk::cloudsim::detail
