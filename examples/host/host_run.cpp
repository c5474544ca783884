#include "host_run.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

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
#include "platform/media/sound/audio_output.h"
#include "platform/media/streamer/dk_camera_streamer.h"
#include "platform/net/oauth_credential.h"
#include "platform/net/tls_policy.h"
#include "platform/net/url.h"
#include "services/kl_device_keeper.h"

namespace {

using dk::platform::ErrorPtr;
using dk::platform::MainRunLoop;
using dk::platform::Value;

// Points the framework's server settings at `url` ("https://host:port"); false when it is not
// an http or https URL with a host.
bool useCloud(const std::string& url) {
  const auto parsed = dk::platform::parseURL(url);
  if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https") || parsed->host.empty()) return false;
  const auto server = dk::KLServer::sharedInstance();
  server->setProtocol(parsed->scheme);
  server->setIpAddress(parsed->host);
  server->setHttpPort(parsed->port ? std::to_string(*parsed->port) : parsed->scheme == "https" ? "443" : "80");
  return true;
}

// Starts work and pumps the run loop until it reports, letting time pass while the framework
// waits for a timer (retries); false when `seconds` of session time passed (well beyond what a
// call and its retries may take: each has a deadline).
template <typename Start>
bool waitFor(Start start, double seconds = 900) {
  bool done = false;
  start([&] { done = true; });
  const double end = dk::platform::now() + seconds;
  while (!MainRunLoop::runUntil([&] { return done; })) {
    if (dk::platform::now() >= end) return false;
    letTimePass(0.1);
  }
  return true;
}

}  // namespace

HostOutcome runHost(const HostOptions& options) {
  HostOutcome outcome;
  auto stop = [&](const std::string& failure) {
    std::fprintf(stderr, "dk-host: %s\n", failure.c_str());
    outcome.exitCode = 1;
    outcome.failure = failure;
    return outcome;
  };
  MainRunLoop::bindToCurrentThread();
  if (options.realClock) {
    dk::platform::setClock(nullptr);
    MainRunLoop::setClockStepWhileWaiting(0);
  } else {
    // Virtual time from now on: the session moves the clock as it waits, scrolls and plays, and
    // the run loop moves it while a call to a stalled cloud is all there is to wait for.
    dk::platform::setClock(std::make_shared<dk::platform::ManualClock>(options.start));
    MainRunLoop::setClockStepWhileWaiting(options.stalledRate, options.stalledAfterWallSeconds);
  }
  dk::platform::SecureStore::setShared(dk::platform::InMemorySecureStore::create());
  const std::filesystem::path pictures = options.pictures;
  std::error_code ec;
  std::filesystem::remove_all(pictures / "app", ec);
  std::filesystem::create_directories(pictures, ec);
  if (ec) return stop("cannot make " + pictures.string() + ": " + ec.message());
  for (const auto& entry : std::filesystem::directory_iterator(pictures, ec)) {
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
    if (cloud->start() == 0) return stop("the cloud simulator did not start: " + cloud->lastError());
    caFile = std::filesystem::temp_directory_path() / ("dk-host-ca-" + std::to_string(cloud->port()) + ".pem");
    cloud->writeCaCertificate(caFile.string());
    dk::platform::TlsPolicy::setDefaultCAFile(caFile.string());
    if (token.empty()) token = cloud->accessToken();
    useCloud(cloud->baseUrl());
    std::printf("cloud simulator at %s\n", cloud->baseUrl().c_str());
  } else {
    if (!options.caFile.empty()) dk::platform::TlsPolicy::setDefaultCAFile(options.caFile);
    if (!useCloud(options.cloud)) return stop("--cloud takes an http or https URL, not \"" + options.cloud + "\"");
    std::printf("cloud at %s\n", options.cloud.c_str());
  }
  struct CleanUp {
    std::unique_ptr<dk::cloudsim::CloudSim>& cloud;
    std::filesystem::path& caFile;
    ~CleanUp() {
      if (cloud) cloud->stop();
      std::error_code ignored;
      if (!caFile.empty()) std::filesystem::remove(caFile, ignored);
    }
  } cleanUp{cloud, caFile};
  const std::string baseURL = dk::KLServer::sharedInstance()->baseURL();

  // The camera's sound: to the sound device when asked for, else to a WAV file that the session
  // describes (a headless machine has no device).
  std::filesystem::path soundFile;
  {
    dk::platform::StreamerEnvironment environment = dk::platform::StreamerEnvironment::current();
    std::string why;
    if (options.sound == "device") {
      auto device = dk::platform::makeDeviceAudioOutput("default", &why);
      if (!device) return stop(why);
      environment.audioOutput = [device] { return device; };
      std::printf("sound to the sound device\n");
    } else {
      soundFile = options.sound.empty() ? pictures / "sound.wav" : std::filesystem::path(options.sound);
      auto file = dk::platform::FileAudioOutput::create(soundFile.string(), &why);
      if (!file) return stop(why);
      environment.audioOutput = [file] { return file; };
      std::printf("sound to %s\n", soundFile.string().c_str());
    }
    dk::platform::StreamerEnvironment::install(std::move(environment));
  }

  const double started = dk::platform::now();
  HostSession session(pictures, cloud.get());
  session.setSoundFile(soundFile);
  // Which camera: the one asked for, or the first online one of the account.
  std::optional<int64_t> cameraId = options.camera;
  if (!cameraId) {
    dk::storeCredential(dk::platform::OAuthCredential(token, "bearer", std::nullopt));
    auto keeper = dk::KLDataManager::sharedInstance()->deviceKeeper();
    ErrorPtr failure;
    const bool answered = waitFor([&](auto done) {
      keeper->getCamerasWithSuccessBlock([done](const Value&) { done(); },
                                         [&failure, done](const ErrorPtr& e) {
                                           failure = e;
                                           done();
                                         });
    });
    if (failure || !answered) {
      const std::string why = failure ? failure->localizedDescription() : "no answer";
      session.showFailure("Cannot load the cameras", why + "\n" + baseURL);
      outcome.pictures = session.picturesWritten();
      return stop("cannot load the cameras from " + baseURL + ": " + why);
    }
    for (const auto& c : keeper->cameras()->cameras()) {
      if (c->cameraState() == dk::KLCameraStateOnline) {
        cameraId = c->cameraID();
        std::printf("camera #%lld %s\n", static_cast<long long>(cameraId.value_or(0)), c->name().value_or("").c_str());
        break;
      }
    }
    if (!cameraId) return stop("the account has no online camera");
  }

  if (const auto missing = session.present(token, *cameraId)) {
    std::string why = *missing;
    why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    session.showFailure("The timeline did not fill", why + ".\n" + baseURL);
    outcome.pictures = session.picturesWritten();
    return stop("the timeline of camera #" + std::to_string(*cameraId) + " did not fill from " + baseURL + ": " +
                *missing);
  }
  std::printf("pictures in %s:\n", pictures.string().c_str());
  session.browse();
  session.play();
  session.close();
  session.live();
  outcome.pictures = session.picturesWritten();
  std::printf("%d pictures, %.0f s of %s time", outcome.pictures, dk::platform::now() - started,
              options.realClock ? "real" : "virtual");
  if (cloud) std::printf(", %zu requests served by the cloud simulator", cloud->requestCount());
  std::printf("\n");
  return outcome;
}
