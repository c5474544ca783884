// The demo host: what a host application does with DKChronoKit, as far as the framework exists.
//
// It starts the local cloud simulator over HTTPS (or uses the cloud named with --cloud), stores the
// bearer credential the way the facade does, and lets the framework's own chain load the camera:
// the data manager asks for the user (then turns the live feed on), the camera service reads the
// cameras, the recording manager pages the whole recording history and the event manager the whole
// event history. It prints a progress line while the pages arrive, then the camera's history.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cloud-sim/cloud_sim.h"
#include "cloud-sim/live_changes.h"
#include "foundation/credential_storage.h"
#include "foundation/date_formatting.h"
#include "foundation/kl_server.h"
#include "live/kl_data_manager.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/oauth_credential.h"
#include "platform/net/tls_policy.h"
#include "platform/net/url.h"
#include "time_strip_pictures.h"

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
  double liveSeconds = 0;
  std::string pictures = "dk-host-pictures";
};

constexpr char kUsage[] =
    "usage: dk-host [--cloud URL] [--token T] [--ca FILE] [--camera N] [--days N] [--help]\n"
    "  --cloud URL   use that cloud (http or https) instead of the embedded simulator\n"
    "  --token T     the bearer credential to store (needed with --cloud)\n"
    "  --ca FILE     trust this CA for https (default: the system store)\n"
    "  --camera N    the camera to load (default: the first online one)\n"
    "  --days N      history size of the embedded cloud (default 3)\n"
    "  --live S      keep listening to the live feed for S seconds and print each update (the\n"
    "                embedded cloud records a new event meanwhile)\n"
    "  --pictures D  where the time-strip pictures go (default dk-host-pictures)\n";

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
    } else if (arg == "--live") {
      if (!parseInt(value(), &number) || number < 1 || number > 3600) fail("--live takes seconds from 1 to 3600");
      options.liveSeconds = static_cast<double>(number);
    } else if (arg == "--pictures") {
      options.pictures = value();
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

std::string clockText(double seconds) { return dk::stringDateIn24HFormatFromDate(seconds, "dd MMM HH:mm:ss"); }

std::string durationText(double seconds) {
  char text[32];
  const long s = static_cast<long>(seconds);
  if (s >= 3600) std::snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, s / 60 % 60);
  else std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
  return text;
}

// Prints each live update of the camera's events and recordings.
class LiveWatcher : public dk::KLEventsUpdatesDelegate, public dk::KLRecordingsUpdatesDelegate {
 public:
  LiveWatcher(std::shared_ptr<dk::KLDataManager> data, int64_t camera) : data_(std::move(data)), camera_(camera) {}
  void didUpdateEventsForCameraID(std::optional<int64_t> camera) override {
    if (camera != camera_) return;
    ++updates;
    // The cache keeps pages in arrival order; time order is the manager's sorted view.
    const auto sorted = data_->eventManager()->eventsForCameraIDs({camera_});
    const auto newest = sorted.empty() ? nullptr : sorted.front();
    std::printf("  live: %zu events, the newest %s %s\n", data_->eventManager()->numberOfEventsForCameraID(camera_),
                newest ? dk::stringDateIn24HFormatFromDate(newest->timestamp().value_or(0), "HH:mm:ss").c_str() : "-",
                newest ? newest->type().value_or("?").c_str() : "");
  }
  void didUpdateRecordingsForCameraID(std::optional<int64_t> camera) override {
    if (camera != camera_) return;
    ++updates;
    const auto list = data_->recordingManager()->recordingsForCameraID(camera_)->recordings();
    std::printf("  live: %zu recordings, the newest %s\n", list.size(),
                list.empty() ? "-" : (list.front()->closed().value_or(true) ? "closed" : "still recording"));
  }
  int updates = 0;

 private:
  std::shared_ptr<dk::KLDataManager> data_;
  int64_t camera_;
};

// Prints a progress line at every notification of the managers.
class Progress : public dk::KLEventsUpdatesDelegate, public dk::KLRecordingsUpdatesDelegate {
 public:
  Progress(std::shared_ptr<dk::KLDataManager> data, int64_t camera) : data_(std::move(data)), camera_(camera) {}
  void didUpdateEventsForCameraID(std::optional<int64_t>) override { ++eventNotes; print(); }
  void didUpdateRecordingsForCameraID(std::optional<int64_t>) override { ++recordingNotes; print(); }
  void print() {
    const auto recordings = data_->recordingManager()->recordingsForCameraID(camera_)->recordings().size();
    const auto events = data_->eventManager()->numberOfEventsForCameraID(camera_);
    std::printf("\r  loading: %zu recordings, %zu events   ", recordings, events);
    std::fflush(stdout);
  }
  int eventNotes = 0, recordingNotes = 0;

 private:
  std::shared_ptr<dk::KLDataManager> data_;
  int64_t camera_;
};

template <typename Start>
bool waitFor(Start start, double seconds = 300) {
  bool done = false;
  start([&] { done = true; });
  return MainRunLoop::runUntil([&] { return done; }, seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  MainRunLoop::bindToCurrentThread();
  dk::platform::SecureStore::setShared(dk::platform::InMemorySecureStore::create());

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

  // The host's bearer token, stored as the facade stores it (no refresh token).
  dk::platform::OAuthCredential credential(token, "bearer", std::nullopt);
  dk::platform::OAuthCredential::storeCredential(credential, dk::kCredentialIdentifier);

  // The framework's own start-up: the data manager asks for the user, then turns the feed on.
  auto data = dk::KLDataManager::sharedInstance();
  ErrorPtr failure;
  waitFor([&](auto done) {
    data->deviceKeeper()->getCamerasWithSuccessBlock([done](const Value&) { done(); },
                                                     [&failure, done](const ErrorPtr& e) {
                                                       failure = e;
                                                       done();
                                                     });
  });
  if (failure) {
    std::fprintf(stderr, "dk-host: cannot load the cameras from %s: %s\n",
                 dk::KLServer::sharedInstance()->baseURL().c_str(), failure->localizedDescription().c_str());
    return 1;
  }
  waitFor([&](auto done) {
    data->userManager()->getUserRightsWithSuccessBlock([done](const Value&) { done(); },
                                                       [done](const ErrorPtr&) { done(); });
  });
  MainRunLoop::runUntilIdle();
  const auto user = data->userManager()->getUser();
  std::printf("user %s %s, account %lld, rights %llu\n", user->firstName().value_or("?").c_str(),
              user->lastName().value_or("").c_str(), static_cast<long long>(user->accountID().value_or(0)),
              static_cast<unsigned long long>(data->userManager()->userRights()->rights()));

  const auto cameras = data->deviceKeeper()->cameras()->cameras();
  std::printf("%zu cameras, online first:\n", cameras.size());
  dk::KLCameraPtr camera;
  for (const auto& c : cameras) {
    const bool online = c->cameraState() == dk::KLCameraStateOnline;
    std::printf("  #%lld %-20s %s\n", static_cast<long long>(c->cameraID().value_or(0)), c->name().value_or("").c_str(),
                online ? "online" : "offline");
    if (!camera && (options.camera ? c->cameraID() == options.camera : online)) camera = c;
  }
  if (!camera) {
    std::fprintf(stderr, "dk-host: %s\n", options.camera ? ("no camera #" + std::to_string(*options.camera)).c_str()
                                                        : "no online camera");
    return 1;
  }
  const int64_t cameraId = camera->cameraID().value_or(0);
  std::printf("\nloading %s (#%lld)\n", camera->name().value_or("").c_str(), static_cast<long long>(cameraId));

  auto progress = std::make_shared<Progress>(data, cameraId);
  data->eventManager()->addObserverForEventsChanges(progress);
  data->recordingManager()->addObserverForRecordingsChanges(progress);
  // Recordings: the newest page, then every older page. Events: the whole history, off the main
  // thread, told page by page.
  waitFor([&](auto done) { data->recordingManager()->loadNewRecordingsForCameraID(cameraId, done); }, 60);
  waitFor([&](auto done) { data->recordingManager()->loadRecordingsForCameraID(cameraId, done); });
  data->eventManager()->getAllEventsForCameraID(cameraId);
  MainRunLoop::runUntil([&] { return data->eventManager()->eventsFinishedLoadingForCameraIDs({cameraId}); }, 300);
  MainRunLoop::runUntilIdle();
  progress->print();
  std::printf("\n");
  data->eventManager()->removeObserverForEventsChanges(progress);
  data->recordingManager()->removeObserverForRecordingsChanges(progress);

  // The history.
  const auto recordings = data->recordingManager()->recordingsForCameraID(cameraId)->recordings();
  const auto events = data->eventManager()->eventsForCameraID(cameraId)->events();
  std::printf("\nrecordings: %zu (%d notifications)\n", recordings.size(), progress->recordingNotes);
  if (!recordings.empty()) {
    const auto& newest = recordings.front();
    const auto& oldest = recordings.back();
    std::printf("  newest  %s - %s%s\n", clockText(newest->startSeconds().value_or(0)).c_str(),
                newest->closed().value_or(true) ? clockText(newest->endSeconds().value_or(0)).c_str() : "now",
                newest->closed().value_or(true) ? "" : " (still recording)");
    std::printf("  oldest  %s - %s\n", clockText(oldest->startSeconds().value_or(0)).c_str(),
                clockText(oldest->endSeconds().value_or(0)).c_str());
    int gaps = 0;
    double longest = 0, recorded = 0;
    for (size_t i = 0; i < recordings.size(); ++i) {
      const double start = recordings[i]->startSeconds().value_or(0);
      recorded += recordings[i]->endSeconds().value_or(start) - start;
      if (i + 1 < recordings.size()) {
        const double gap = start - recordings[i + 1]->endSeconds().value_or(start);
        if (gap > 1) {
          ++gaps;
          longest = std::max(longest, gap);
        }
      }
    }
    std::printf("  %s recorded, %d gaps, the longest %s\n", durationText(recorded).c_str(), gaps,
                durationText(longest).c_str());
  }
  std::printf("events: %zu (%d notifications)\n", events.size(), progress->eventNotes);
  if (!events.empty()) {
    std::printf("  newest  %s %s\n", clockText(events.front()->timestamp().value_or(0)).c_str(),
                events.front()->type().value_or("?").c_str());
    std::printf("  oldest  %s %s\n", clockText(events.back()->timestamp().value_or(0)).c_str(),
                events.back()->type().value_or("?").c_str());
    std::map<std::string, int> byType;
    for (const auto& event : events) byType[event->type().value_or("?")]++;
    std::printf("  by type:");
    for (const auto& [type, count] : byType) std::printf(" %s %d", type.c_str(), count);
    std::printf("\n");
  }
  // The time strip as the timeline draws it, at the three zoom levels.
  const auto pictures = writeTimeStripPictures(data, cameraId, options.pictures);
  if (!pictures.empty()) std::printf("\ntime-strip pictures in %s:\n", options.pictures.c_str());
  for (const auto& picture : pictures) {
    std::printf("  %s: %s\n", picture.file.filename().c_str(), picture.description.c_str());
  }

  if (options.liveSeconds > 0) {
    std::printf("\nlistening to the live feed for %.0f s\n", options.liveSeconds);
    auto watcher = std::make_shared<LiveWatcher>(data, cameraId);
    data->eventManager()->addObserverForEventsChanges(watcher);
    data->recordingManager()->addObserverForRecordingsChanges(watcher);
    if (cloud) {
      // Someone rings the embedded camera's doorbell a moment from now.
      dk::cloudsim::CloudSim* sim = cloud.get();
      dk::platform::DispatchQueue::main()->after(std::min(2.0, options.liveSeconds / 2), [sim, cameraId] {
        const auto message = dk::cloudsim::addLiveEvent(*sim, cameraId, dk::platform::now(), "doorbellPressed");
        std::printf("  the cloud recorded event %lld (doorbellPressed)\n", static_cast<long long>(message.id));
      });
    }
    dk::platform::DispatchQueue::main()->after(options.liveSeconds, [] { MainRunLoop::stop(); });
    MainRunLoop::run();
    std::printf("  %d live updates\n", watcher->updates);
    data->eventManager()->removeObserverForEventsChanges(watcher);
    data->recordingManager()->removeObserverForRecordingsChanges(watcher);
  }

  if (cloud) {
    std::printf("\n%zu requests served by the cloud simulator\n", cloud->requestCount());
  }
  // Let the managers go while the process-wide caches they hold still exist.
  dk::KLDataManager::resetSharedInstance();
  if (cloud) {
    cloud->stop();
    std::filesystem::remove(caFile);
  }
  return 0;
}
