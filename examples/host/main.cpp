// The demo host: what a host application does with DKChronoKit.
//
// It starts the local cloud simulator over HTTPS (or uses the cloud named with --cloud), checks
// that the cloud answers and picks a camera, then creates the facade with the token and the
// camera and presents the timeline from its own root screen. A person's session follows, driven
// through the UI driver in virtual time (a manual clock): browsing the history, working on one
// event (download, share, delete), a live event arriving, playing a recording, and the camera
// live with push-to-talk. After every
// step the window is rendered to PNG and one line says what the screen shows.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "foundation/calendar_ignoring_dst.h"
#include "foundation/credential_storage.h"
#include "foundation/kl_server.h"
#include "host_session.h"
#include "live/kl_data_manager.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/app_directories.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/oauth_credential.h"
#include "platform/net/tls_policy.h"
#include "platform/media/audio_output.h"
#include "platform/media/dk_camera_streamer.h"
#include "platform/net/url.h"

namespace {

using dk::platform::ErrorPtr;
using dk::platform::MainRunLoop;
using dk::platform::Value;

struct Options {
  std::string cloud;  // empty: the embedded simulator
  std::string token;
  std::string caFile;
  std::optional<int64_t> camera;
  int days = 3;
  // Where virtual time starts: a fixed moment, so that every run shows the same session.
  double start = 1781530200;  // 2026-06-15 13:30:00 UTC
  std::string pictures = "dk-host-pictures";
  std::string sound;  // empty: D/sound.wav; "device": the sound device
};

constexpr char kUsage[] =
    "usage: dk-host [--cloud URL] [--token T] [--ca FILE] [--camera N] [--days N] [--start T] [--pictures D]\n"
    "               [--sound FILE|device] [--help]\n"
    "  --cloud URL   use that cloud (http or https) instead of the embedded simulator\n"
    "  --token T     the bearer credential to store (needed with --cloud)\n"
    "  --ca FILE     trust this CA for https (default: the system store)\n"
    "  --camera N    the camera to load (default: the first online one)\n"
    "  --days N      history size of the embedded cloud (default 3)\n"
    "  --start T     the session's \"now\", in seconds since 1970, or \"now\" for the real time\n"
    "                (default 1781530200, 15 June 2026 13:30 UTC: every run is the same)\n"
    "  --pictures D  where the pictures of the session go (default dk-host-pictures); the app's\n"
    "                own folders (documents, photo album, settings) go to D/app\n"
    "  --sound F     where the camera's sound goes: a WAV file (default D/sound.wav, which the\n"
    "                session then describes), or \"device\" for the sound device (ALSA)\n";

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "dk-host: %s\n", message.c_str());
  std::exit(2);
}

bool parseInt(const std::string& text, int64_t* out) {
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end) return false;
  *out = value;
  return true;
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) fail(arg + " needs a value (see --help)");
      return argv[++i];
    };
    int64_t number = 0;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--cloud") {
      options.cloud = value();
    } else if (arg == "--token") {
      options.token = value();
    } else if (arg == "--ca") {
      options.caFile = value();
      if (!std::filesystem::is_regular_file(options.caFile)) fail("no CA file at " + options.caFile);
    } else if (arg == "--camera") {
      if (!parseInt(value(), &number)) fail("--camera takes a camera number");
      options.camera = number;
    } else if (arg == "--days") {
      if (!parseInt(value(), &number) || number < 1 || number > 365) fail("--days takes a number from 1 to 365");
      options.days = static_cast<int>(number);
    } else if (arg == "--start") {
      const std::string text = value();
      if (text == "now") {
        options.start = dk::platform::now();
      } else if (!parseInt(text, &number) || number < 0) {
        fail("--start takes seconds since 1970 or \"now\"");
      } else {
        options.start = static_cast<double>(number);
      }
    } else if (arg == "--pictures") {
      options.pictures = value();
    } else if (arg == "--sound") {
      options.sound = value();
    } else {
      fail("unknown option " + arg + " (see --help)");
    }
  }
  if (!options.cloud.empty() && options.token.empty()) fail("--cloud needs --token");
  return options;
}

// Points the framework's server settings at `url` ("https://host:port").
void useCloud(const std::string& url) {
  const auto parsed = dk::platform::parseURL(url);
  if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https") || parsed->host.empty()) {
    fail("--cloud takes an http or https URL, not \"" + url + "\"");
  }
  const auto server = dk::KLServer::sharedInstance();
  server->setProtocol(parsed->scheme);
  server->setIpAddress(parsed->host);
  server->setHttpPort(parsed->port ? std::to_string(*parsed->port) : parsed->scheme == "https" ? "443" : "80");
}

// Starts work and pumps the run loop until it reports, moving the manual clock on while the
// framework waits for a timer (retries); false when `seconds` of virtual time passed.
template <typename Start>
bool waitFor(dk::platform::ManualClock& clock, Start start, double seconds = 120) {
  bool done = false;
  start([&] { done = true; });
  const double end = clock.now() + seconds;
  while (!MainRunLoop::runUntil([&] { return done; })) {
    if (clock.now() >= end) return false;
    clock.advance(0.1);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  MainRunLoop::bindToCurrentThread();
  // Virtual time from now on: the session moves the clock as it waits, scrolls and plays.
  auto clock = std::make_shared<dk::platform::ManualClock>(options.start);
  dk::platform::setClock(clock);
  dk::platform::SecureStore::setShared(dk::platform::InMemorySecureStore::create());
  const std::filesystem::path pictures = options.pictures;
  std::error_code ec;
  std::filesystem::remove_all(pictures / "app", ec);
  std::filesystem::create_directories(pictures, ec);
  if (ec) fail("cannot make " + pictures.string() + ": " + ec.message());
  for (const auto& entry : std::filesystem::directory_iterator(pictures)) {
    if (entry.path().extension() == ".png") std::filesystem::remove(entry.path(), ec);
  }
  // The app's home: documents (downloaded clips), the photo album and the settings.
  dk::platform::AppDirectories::setHomeDirectory(std::filesystem::absolute(pictures / "app"));

  std::unique_ptr<dk::cloudsim::CloudSim> cloud;
  std::filesystem::path caFile;
  std::string token = options.token;
  if (options.cloud.empty()) {
    // The local cloud, over HTTPS with a CA of its own that the framework is told to trust.
    dk::cloudsim::CloudSimOptions simOptions;
    simOptions.https = true;
    dk::cloudsim::GenerateOptions world;
    world.seed = 7;
    world.days = options.days;
    world.now = dk::platform::now();
    // The cameras stand where the phone is: the clock they burn into their video then reads as
    // the strip does (both in the zone's offset at the start, without daylight saving).
    world.utcOffsetSeconds = dk::fixedOffsetZoneAt(world.now).secondsFromGMT(world.now);
    cloud = std::make_unique<dk::cloudsim::CloudSim>(dk::cloudsim::World::generate(world), simOptions);
    if (cloud->start() == 0) fail("the cloud simulator did not start: " + cloud->lastError());
    caFile = std::filesystem::temp_directory_path() / ("dk-host-ca-" + std::to_string(cloud->port()) + ".pem");
    cloud->writeCaCertificate(caFile.string());
    dk::platform::TlsPolicy::setDefaultCAFile(caFile.string());
    if (token.empty()) token = cloud->accessToken();
    useCloud(cloud->baseUrl());
    std::printf("cloud simulator at %s\n", cloud->baseUrl().c_str());
  } else {
    if (!options.caFile.empty()) dk::platform::TlsPolicy::setDefaultCAFile(options.caFile);
    useCloud(options.cloud);
    std::printf("cloud at %s\n", options.cloud.c_str());
  }
  auto cleanUp = [&] {
    if (cloud) cloud->stop();
    if (!caFile.empty()) std::filesystem::remove(caFile, ec);
  };

  // Which camera: the one asked for, or the first online one of the account.
  std::optional<int64_t> cameraId = options.camera;
  if (!cameraId) {
    dk::storeCredential(dk::platform::OAuthCredential(token, "bearer", std::nullopt));
    auto keeper = dk::KLDataManager::sharedInstance()->deviceKeeper();
    ErrorPtr failure;
    const bool answered = waitFor(*clock, [&](auto done) {
      keeper->getCamerasWithSuccessBlock([done](const Value&) { done(); },
                                         [&failure, done](const ErrorPtr& e) {
                                           failure = e;
                                           done();
                                         });
    });
    if (failure || !answered) {
      std::fprintf(stderr, "dk-host: cannot load the cameras from %s: %s\n",
                   dk::KLServer::sharedInstance()->baseURL().c_str(),
                   failure ? failure->localizedDescription().c_str() : "no answer");
      cleanUp();
      return 1;
    }
    for (const auto& c : keeper->cameras()->cameras()) {
      if (c->cameraState() == dk::KLCameraStateOnline) {
        cameraId = c->cameraID();
        std::printf("camera #%lld %s\n", static_cast<long long>(cameraId.value_or(0)), c->name().value_or("").c_str());
        break;
      }
    }
    if (!cameraId) {
      std::fprintf(stderr, "dk-host: the account has no online camera\n");
      cleanUp();
      return 1;
    }
  }

  // The camera's sound: to the sound device when asked for, else to a WAV file that the session
  // describes (a headless machine has no device).
  std::filesystem::path soundFile;
  {
    dk::platform::StreamerEnvironment environment = dk::platform::StreamerEnvironment::current();
    if (options.sound == "device") {
      std::string why;
      auto device = dk::platform::makeDeviceAudioOutput("default", &why);
      if (!device) fail(why);
      environment.audioOutput = [device] { return device; };
      std::printf("sound to the sound device\n");
    } else {
      soundFile = options.sound.empty() ? pictures / "sound.wav" : std::filesystem::path(options.sound);
      std::string why;
      auto file = dk::platform::FileAudioOutput::create(soundFile.string(), &why);
      if (!file) fail(why);
      environment.audioOutput = [file] { return file; };
      std::printf("sound to %s\n", soundFile.string().c_str());
    }
    dk::platform::StreamerEnvironment::install(std::move(environment));
  }

  const double started = clock->now();
  int written = 0;
  {
    HostSession session(pictures, *cameraId, cloud.get());
    session.setSoundFile(soundFile);
    if (!session.present(token)) {
      std::fprintf(stderr, "dk-host: the timeline of camera #%lld did not fill from %s\n",
                   static_cast<long long>(*cameraId), dk::KLServer::sharedInstance()->baseURL().c_str());
      cleanUp();
      return 1;
    }
    std::printf("pictures in %s:\n", pictures.string().c_str());
    session.browse();
    session.play();
    session.close();
    session.live();
    written = session.picturesWritten();
  }
  std::printf("%d pictures, %.0f s of virtual time", written, clock->now() - started);
  if (cloud) std::printf(", %zu requests served by the cloud simulator", cloud->requestCount());
  std::printf("\n");
  cleanUp();
  return 0;
}
