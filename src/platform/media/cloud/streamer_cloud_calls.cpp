#include "platform/media/cloud/streamer_cloud_calls.h"

#include "platform/media/cloud/dk_access_token_provider.h"
#include "platform/net/credential_scope.h"
#include "platform/net/url.h"

namespace dk::platform {

bool StreamerCloudCalls::mayCarryToken(const std::string& path) const {
  return mayCarryCredential(resolveURL(baseURL_, path), baseURL_, LoopbackHttp::Refused);
}

std::shared_ptr<RequestConfiguration> StreamerCloudCalls::configuration(const std::string& path,
                                                                        double deadline) const {
  auto configuration = std::make_shared<RequestConfiguration>();
  if (mayCarryToken(path)) {
    configuration->headers["Authorization"] = "Bearer " + DKAccessTokenProvider::accessToken();
  }
  configuration->timeoutInterval = deadline;
  configuration->sameOriginRedirectsOnly = true;
  return configuration;
}

HttpSession& StreamerCloudCalls::session() {
  if (!session_) {
    HttpSession::Options options;
    options.baseURL = baseURL_;
    session_ = HttpSession::create(options);
  }
  return *session_;
}

void StreamerCloudCalls::keep(const HttpTaskPtr& task, double deadline, std::function<void()> expired) {
  // Completed calls go with their deadlines (and a post with its body).
  std::erase_if(calls_, [](const HeldCall& held) {
    if (held.task->state() != HttpTask::State::Completed) return false;
    held.deadline->invalidate();
    return true;
  });
  // The time-out of the configuration is for silence; this is the end of the whole call. The
  // timer holds the task weakly, so a completed call is not kept alive by it.
  auto timer = Timer::scheduled(deadline, false, DispatchQueue::main(),
                                [weak = std::weak_ptr<HttpTask>(task), expired = std::move(expired)] {
                                  auto held = weak.lock();
                                  if (held && held->state() != HttpTask::State::Completed) expired();
                                });
  calls_.push_back({task, std::move(timer)});
}

void StreamerCloudCalls::cancelAll() {
  for (auto& held : calls_) {
    held.task->cancel();
    held.deadline->invalidate();
  }
  calls_.clear();
}

}  // namespace dk::platform
