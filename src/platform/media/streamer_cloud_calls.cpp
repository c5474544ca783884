#include "platform/media/streamer_cloud_calls.h"

#include "platform/media/dk_access_token_provider.h"
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
  tasks_.push_back(task);
  // The time-out of the configuration is for silence; this is the end of the whole call.
  deadlines_.push_back(Timer::scheduled(deadline, false, DispatchQueue::main(), [task, expired = std::move(expired)] {
    if (task->state() != HttpTask::State::Completed) expired();
  }));
}

void StreamerCloudCalls::cancelAll() {
  for (auto& task : tasks_) task->cancel();
  tasks_.clear();
  for (auto& timer : deadlines_) timer->invalidate();
  deadlines_.clear();
}

}  // namespace dk::platform
