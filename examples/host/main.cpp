// The demo host: what a host application does with DKChronoKit, as far as the framework exists.
//
// It starts the local cloud simulator over HTTPS, trusts its CA, stores the bearer credential the
// way the facade does, then drives the framework's request executor and models: the camera list,
// the whole recording history of the first camera paged newest first, and its event pages followed
// through the "Link" header. It prints the camera's last hours as a text time strip.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "cloud-sim/cloud_sim.h"
#include "foundation/date_formatting.h"
#include "model/kl_camera_list_response.h"
#include "model/kl_event_response.h"
#include "model/kl_recording_response.h"
#include "network/kl_camera_requests.h"
#include "network/kl_event_requests.h"
#include "network/kl_recording_requests.h"
#include "network/kl_request_manager.h"
#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/foundation/secure_store.h"
#include "platform/net/oauth_credential.h"
#include "platform/net/tls_policy.h"
#include "services/kl_services_manager.h"

namespace {

using dk::platform::ErrorPtr;
using dk::platform::MainRunLoop;
using dk::platform::Value;

// A service manager of the host's own, to reach the executor the way the domain managers do.
class HostTimelineLoader : public dk::KLServicesManager {
 public:
  HostTimelineLoader() : KLServicesManager("HostTimelineLoader") {}

  // Runs one request, merging into `cached`, and pumps the main loop until it has answered.
  bool load(std::shared_ptr<dk::KLRequest> request, dk::platform::ModelPtr cached, Value* result) {
    bool done = false, ok = false;
    requestWithRequestObject(std::move(request), std::move(cached),
                             [&](const Value& value, const ErrorPtr& error) {
                               genericBlock()(
                                   value, error,
                                   [&](const Value& v) {
                                     if (result) *result = v;
                                     ok = done = true;
                                   },
                                   [&](const ErrorPtr& e) {
                                     std::fprintf(stderr, "request failed: %s\n", e ? e->description().c_str() : "?");
                                     done = true;
                                   });
                             });
    MainRunLoop::runUntil([&] { return done; }, 60);
    return ok;
  }
};

std::string clock(double seconds) {
  return dk::stringDateIn24HFormatFromDate(seconds, "dd MMM HH:mm");
}

}  // namespace

int main(int argc, char** argv) {
  MainRunLoop::bindToCurrentThread();
  const int days = argc > 1 ? std::atoi(argv[1]) : 3;

  // The local cloud, over HTTPS with a CA of its own that the framework is told to trust.
  dk::cloudsim::CloudSimOptions options;
  options.https = true;
  dk::cloudsim::GenerateOptions world;
  world.seed = 7;
  world.days = days;
  world.now = dk::platform::now();
  dk::cloudsim::CloudSim cloud(dk::cloudsim::World::generate(world), options);
  if (cloud.start() == 0) {
    std::fprintf(stderr, "the cloud simulator did not start: %s\n", cloud.lastError().c_str());
    return 1;
  }
  const auto caFile = std::filesystem::temp_directory_path() / ("dk-host-ca-" + std::to_string(cloud.port()) + ".pem");
  cloud.writeCaCertificate(caFile.string());
  dk::platform::TlsPolicy::setDefaultCAFile(caFile.string());
  std::printf("cloud simulator at %s\n", cloud.baseUrl().c_str());

  // The host's bearer token, stored as the facade stores it (no refresh token).
  dk::platform::SecureStore::setShared(dk::platform::InMemorySecureStore::create());
  dk::platform::OAuthCredential credential(cloud.accessToken(), "bearer", std::nullopt);
  dk::platform::OAuthCredential::storeCredential(credential, dk::kCredentialIdentifier);
  auto executor = std::make_shared<dk::KLRequestManager>(cloud.baseUrl());
  dk::KLServicesManager::setRequestExecutor(dk::executorForRequestManager(executor));
  auto loader = std::make_shared<HostTimelineLoader>();

  // Cameras.
  auto cameras = std::make_shared<dk::KLCameraListResponse>();
  if (!loader->load(std::make_shared<dk::KLCamerasRequest>(), cameras, nullptr)) return 1;
  std::printf("\n%zu cameras, online first:\n", cameras->cameras().size());
  for (const auto& camera : cameras->cameras()) {
    std::printf("  #%lld %-20s %s\n", static_cast<long long>(camera->cameraID().value_or(0)),
                camera->name().value_or("").c_str(),
                camera->cameraState() == dk::KLCameraStateOnline ? "online" : "offline");
  }
  if (cameras->cameras().empty()) return 1;
  const auto camera = cameras->cameras().front();
  const std::string cameraId = std::to_string(camera->cameraID().value_or(0));

  // The whole recording history, newest page first, then older pages until nothing is added.
  auto recordings = std::make_shared<dk::KLRecordingListResponse>();
  std::optional<std::string> endTime;
  int pages = 0;
  while (!recordings->allRecordingsLoaded()) {
    auto request = std::make_shared<dk::KLCameraRecordingsRequest>();
    request->cameraID = cameraId;
    request->limit = 100;
    request->reverse = true;
    request->endTime = endTime;
    Value page;
    if (!loader->load(request, nullptr, &page)) return 1;
    auto list = page.objectAs<dk::KLRecordingListResponse>();
    if (!list) break;
    bool merged = false;
    if (pages++ == 0) {
      recordings->appendSortedRecordings(list->recordings(), [&] { merged = true; });
    } else {
      recordings->appendOldSortedRecording(list->recordings(), [&] { merged = true; });
    }
    MainRunLoop::runUntil([&] { return merged; });
    const auto all = recordings->recordings();
    if (all.empty() || list->recordings().empty()) break;
    endTime = all.back()->startStringTime();
  }
  const auto all = recordings->recordings();
  std::printf("\n%s: %zu recordings in %d pages", camera->name().value_or("").c_str(), all.size(), pages);
  if (!all.empty()) {
    std::printf(", %s to %s%s", clock(all.back()->startSeconds().value_or(0)).c_str(),
                clock(all.front()->endSeconds().value_or(all.front()->startSeconds().value_or(0))).c_str(),
                all.front()->closed().value_or(true) ? "" : " (still recording)");
  }
  std::printf("\n");

  // Events: the newest page, then older pages through the "Link" header.
  // Each page is merged into the cached list; the page itself carries the next page's link.
  auto events = std::make_shared<dk::KLEventListResponse>();
  std::optional<std::string> next;
  int eventPages = 0;
  do {
    auto request = std::make_shared<dk::KLOldEventsRequest>(next);
    if (!next) {
      request->cameraIDs = {cameraId};
      request->limit = 25;
    }
    Value reply;
    if (!loader->load(request, events, &reply)) return 1;
    auto page = reply.objectAs<dk::KLEventListResponse>();
    next = page ? page->nextEventsBatchURL() : std::nullopt;
  } while (next && ++eventPages < 1000);
  ++eventPages;
  std::map<std::string, int> byType;
  for (const auto& event : events->events()) byType[event->type().value_or("?")]++;
  std::printf("%zu events in %d pages:", events->events().size(), eventPages);
  for (const auto& [type, count] : byType) std::printf(" %s %d,", type.c_str(), count);
  std::printf("\n");

  // The last six hours as a newest-on-top strip of 15-minute rows.
  if (!all.empty()) {
    const double newest = all.front()->endSeconds().value_or(all.front()->startSeconds().value_or(0));
    const double rowSeconds = 15 * 60;
    std::printf("\nthe last six hours (# recording, letters: events)\n");
    for (int row = 0; row < 24; ++row) {
      const double rowEnd = newest - row * rowSeconds, rowStart = rowEnd - rowSeconds;
      std::string bar;
      for (int slot = 0; slot < 30; ++slot) {
        const double t = rowStart + (slot + 0.5) * rowSeconds / 30;
        bar += recordings->getRecordingForTime(t) ? '#' : '.';
      }
      std::string marks;
      for (const auto& event : events->events()) {
        const double t = event->timestamp().value_or(0);
        if (t > rowStart && t <= rowEnd) marks += event->type().value_or("?").substr(0, 1);
      }
      std::printf("  %s |%s| %s\n", clock(rowEnd).c_str(), bar.c_str(), marks.c_str());
    }
  }
  std::printf("\n%zu requests served by the cloud simulator\n", cloud.requestCount());
  cloud.stop();
  std::filesystem::remove(caFile);
  return 0;
}
