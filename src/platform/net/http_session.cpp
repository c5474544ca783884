#include "platform/net/http_session.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>

#include "platform/dispatch/clock.h"
#include "platform/dispatch/run_loop.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/data.h"
#include "platform/foundation/private_temp_folder.h"
#include "platform/net/http_errors.h"
#include "platform/net/network_engine.h"
#include "platform/net/response_serializer.h"
#include "platform/net/url.h"

namespace dk::platform {

namespace {
class Call;
std::atomic<uint64_t> gNextTaskIdentifier{1};
}  // namespace

struct HttpSession::Core {
  Options options;
  mutable std::mutex mutex;
  std::vector<std::shared_ptr<Call>> calls;

  void remove(const Call* call);
};

namespace {

class Call final : public HttpTask, public std::enable_shared_from_this<Call> {
 public:
  enum class Phase { Sending, Processing, Waiting, Held, Done };

  Call(std::shared_ptr<HttpSession::Core> core, HttpMethod method, std::string url,
       RequestConfigurationPtr configuration, HttpSession::Success success, HttpSession::Failure failure,
       HttpSession::Progress progress, bool download)
      : core_(std::move(core)),
        id_(gNextTaskIdentifier.fetch_add(1)),
        method_(method),
        url_(std::move(url)),
        configuration_(std::move(configuration)),
        success_(std::move(success)),
        failure_(std::move(failure)),
        progress_(std::move(progress)),
        download_(download),
        activity_(std::make_unique<ActivityToken>()) {}

  uint64_t taskIdentifier() const override { return id_; }
  HttpMethod method() const override { return method_; }
  const std::string& url() const override { return url_; }
  State state() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
  }
  int retriesDone() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return retries_;
  }

  void setEncodedRequest(EncodedRequest request) { request_ = std::move(request); }

  void startAttempt() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (phase_ == Phase::Done || state_ == State::Canceling) return;
      if (state_ == State::Suspended) {
        phase_ = Phase::Held;
        return;
      }
      phase_ = Phase::Sending;
      retryTimer_.reset();
      ++attempt_;
      if (!activity_) activity_ = std::make_unique<ActivityToken>();
      detail::TransferRequest transfer;
      transfer.request = request_;
      transfer.idleTimeout = configuration_->timeoutInterval > 0 ? configuration_->timeoutInterval : 60.0;
      transfer.deadline = configuration_->deadline > 0 ? configuration_->deadline : kDefaultDeadline;
      transfer.minimumThroughput = configuration_->minimumThroughput > 0 ? configuration_->minimumThroughput
                                   : download_                            ? kDefaultDownloadThroughput
                                                                          : 0.0;
      transfer.maxBodyBytes = configuration_->maxBodyBytes.value_or(download_ ? kDefaultMaxDownloadBytes
                                                                             : kDefaultMaxReplyBytes);
      transfer.tls = core_->options.tls;
      transfer.sameOriginRedirectsOnly = configuration_->sameOriginRedirectsOnly;
      if (download_) {
        transfer.downloadPath = downloadDirectory() + "/dk-" + std::to_string(id_) + "-" + std::to_string(attempt_) +
                                ".download";
      }
      detail::TransferCallbacks callbacks;
      const int attempt = attempt_;
      auto self = shared_from_this();
      if (download_ && progress_) {
        callbacks.progress = [self, attempt](int64_t received, int64_t expected) {
          self->onProgress(attempt, received, expected);
        };
      }
      callbacks.completion = [self](detail::TransferResult result) {
        // Decoding is kept off the network thread, and off the main thread: a call whose callbacks
        // run on a background queue is decoded and answered there in one step.
        QueuePtr queue = self->completionQueue();
        if (queue->kind() == DispatchQueue::Kind::Main) queue = DispatchQueue::global();
        queue->async([self, result = std::move(result)]() mutable { self->process(std::move(result)); });
      };
      downloadPath_ = transfer.downloadPath;
      transfer_ = detail::NetworkEngine::shared().start(std::move(transfer), std::move(callbacks));
    }
  }

  void cancel() override {
    std::shared_ptr<detail::TransferHandle> transfer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (phase_ == Phase::Done || state_ == State::Canceling) return;
      state_ = State::Canceling;
      if (phase_ == Phase::Sending) {
        transfer = transfer_;
      } else if (phase_ == Phase::Waiting || phase_ == Phase::Held) {
        if (retryTimer_) retryTimer_->invalidate();
        retryTimer_.reset();
        completionQueue()->async(completeLocked(transportError(kURLErrorCancelled, url_), nullptr, Value()));
        return;
      }
      // Processing: the attempt's outcome is being decoded and will see the cancel.
    }
    if (transfer) detail::NetworkEngine::shared().cancel(transfer);
  }

  // The transfer is paused under the call's lock, so that a suspend and a resume racing each other
  // leave it in the state the call ends up in; the pause is in force when this returns.
  void suspend() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (state_ != State::Running) return;
    state_ = State::Suspended;
    if (phase_ == Phase::Sending && transfer_) detail::NetworkEngine::shared().setPaused(transfer_, true);
  }

  void resume() override {
    bool startNow = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (state_ != State::Suspended) return;
      state_ = State::Running;
      if (phase_ == Phase::Sending && transfer_) detail::NetworkEngine::shared().setPaused(transfer_, false);
      startNow = phase_ == Phase::Held;
    }
    if (startNow) startAttempt();
  }

  // The folder a download attempt writes to. The process's private folder is asked for at every
  // attempt: when the caches are purged while the app runs, it is made again instead of every
  // later download failing to create its file. Without one, downloads fail rather than go
  // somewhere shared.
  std::string downloadDirectory() const {
    if (!core_->options.downloadDirectory.empty()) return core_->options.downloadDirectory;
    auto folder = PrivateTempFolder::forProcess();
    return folder ? folder->string() : "/nonexistent/dk-downloads";
  }

  // Completes a call that could not be sent at all.
  void failBeforeSending(ErrorPtr error) {
    std::lock_guard<std::mutex> lock(mutex_);
    completionQueue()->async(completeLocked(std::move(error), nullptr, Value()));
  }

 private:
  void onProgress(int attempt, int64_t received, int64_t expected) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (phase_ == Phase::Done || attempt != attempt_) return;
    progressCompleted_ = received;
    progressTotal_ = expected;
    if (progressScheduled_) return;
    progressScheduled_ = true;
    // Reports are coalesced: the receiver sees the latest figures, in order, never a flood.
    completionQueue()->async([self = shared_from_this()] { self->deliverProgress(); });
  }

  void deliverProgress() {
    int64_t completed, total;
    HttpSession::Progress progress;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      progressScheduled_ = false;
      if (phase_ == Phase::Done && delivered_) return;
      completed = progressCompleted_;
      total = progressTotal_;
      progress = progress_;
    }
    if (!progress) return;
    const double fraction = total > 0 ? std::min(1.0, static_cast<double>(completed) / static_cast<double>(total)) : 0.0;
    progress(completed, total, fraction);
  }

  void process(detail::TransferResult result) {
    ErrorPtr error;
    std::shared_ptr<const HttpResponseInfo> info;
    Value body;
    if (result.errorCode != 0) {
      error = transportError(result.errorCode, url_);
    } else {
      info = result.response;
      const std::string mime = mimeTypeOf(info->headers);
      const bool inFile = result.bodyInFile && downloadPath_;
      DataPtr data = inFile ? Data::withContentsOfFileAtPath(*downloadPath_, mime, /*ownsFile=*/true)
                            : std::make_shared<const Data>(std::move(result.body), mime);
      error = validateResponse(*configuration_, info, static_cast<size_t>(result.bodyLength), std::nullopt);
      if (error && !inFile) {
        // The server's message travels with the error (the 401 handling reads the rejected token).
        error = std::make_shared<const Error>(error->domain(), error->code(), error->localizedDescription(),
                                              error->response(), data->bytes(), error->userInfo());
      }
      if (!error) body = decodeResponseBody(configuration_->responseSerializer, info, data, &error);
    }
    Task delivery = finishAttempt(std::move(error), std::move(info), std::move(body));
    if (!delivery) return;
    const QueuePtr queue = completionQueue();
    if (queue->isCurrent()) {
      delivery();
    } else {
      queue->async(std::move(delivery));
    }
  }

  // The delivery of the call's outcome, or nothing when the call goes on (a retry) or has ended.
  Task finishAttempt(ErrorPtr error, std::shared_ptr<const HttpResponseInfo> info, Value body) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (phase_ == Phase::Done) return nullptr;
    transfer_.reset();
    if (state_ == State::Canceling && error) error = transportError(kURLErrorCancelled, url_);
    const RetryPolicy& policy = configuration_->retry;
    if (error && !policy.isFatal(*error) && policy.allowsRetry(retries_)) {
      ++retries_;
      phase_ = Phase::Waiting;
      // A wait on a manual clock only ends when a test advances it: do not hold the run loop.
      if (clock().isManual()) activity_.reset();
      std::weak_ptr<Call> weak = weak_from_this();
      retryTimer_ = Timer::scheduled(policy.delayBeforeRetry(retries_), false, DispatchQueue::global(), [weak] {
        if (auto self = weak.lock()) self->startAttempt();
      });
      return nullptr;
    }
    return completeLocked(std::move(error), std::move(info), std::move(body));
  }

  // Marks the call done and returns the delivery of its outcome (run it outside the lock).
  Task completeLocked(ErrorPtr error, std::shared_ptr<const HttpResponseInfo> info, Value body) {
    phase_ = Phase::Done;
    state_ = State::Completed;
    transfer_.reset();
    core_->remove(this);
    auto activity = std::move(activity_);
    return [self = shared_from_this(), error = std::move(error), info = std::move(info), body = std::move(body),
            activity = std::shared_ptr<ActivityToken>(std::move(activity))]() mutable {
      HttpSession::Success success;
      HttpSession::Failure failure;
      {
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->delivered_ = true;
        success = std::move(self->success_);
        failure = std::move(self->failure_);
        self->progress_ = nullptr;
      }
      if (error) {
        if (failure) failure(error);
      } else if (success) {
        success(info, body);
      }
      activity.reset();
    };
  }

 public:
  QueuePtr completionQueue() const {
    if (configuration_->callbackQueue) return configuration_->callbackQueue;
    return core_->options.completionQueue ? core_->options.completionQueue : DispatchQueue::main();
  }

 private:

  std::shared_ptr<HttpSession::Core> core_;
  const uint64_t id_;
  const HttpMethod method_;
  const std::string url_;
  const RequestConfigurationPtr configuration_;
  EncodedRequest request_;
  HttpSession::Success success_;
  HttpSession::Failure failure_;
  HttpSession::Progress progress_;
  const bool download_;

  mutable std::mutex mutex_;
  State state_ = State::Running;
  Phase phase_ = Phase::Sending;
  int attempt_ = 0;
  int retries_ = 0;
  bool delivered_ = false;
  std::shared_ptr<detail::TransferHandle> transfer_;
  std::optional<std::string> downloadPath_;
  std::shared_ptr<Timer> retryTimer_;
  std::unique_ptr<ActivityToken> activity_;
  bool progressScheduled_ = false;
  int64_t progressCompleted_ = 0;
  int64_t progressTotal_ = -1;
};

}  // namespace

void HttpSession::Core::remove(const Call* call) {
  std::lock_guard<std::mutex> lock(mutex);
  std::erase_if(calls, [call](const std::shared_ptr<Call>& c) { return c.get() == call; });
}

std::shared_ptr<HttpSession> HttpSession::create(Options options) {
  // Without a folder of its own, a session downloads into the process's private folder: nobody
  // else can plant or read a file there.
  if (!options.downloadDirectory.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(options.downloadDirectory, ec);
  }
  auto core = std::make_shared<Core>();
  core->options = std::move(options);
  return std::shared_ptr<HttpSession>(new HttpSession(std::move(core)));
}

HttpSession::HttpSession(std::shared_ptr<Core> core) : core_(std::move(core)) {}
HttpSession::~HttpSession() = default;

const std::string& HttpSession::baseURL() const { return core_->options.baseURL; }
const TlsPolicy& HttpSession::tlsPolicy() const { return core_->options.tls; }

namespace {
std::shared_ptr<Call> startCall(const std::shared_ptr<HttpSession::Core>& core, HttpMethod method,
                                const std::string& url, const Value& parameters, RequestConfigurationPtr configuration,
                                HttpSession::Success success, HttpSession::Failure failure,
                                HttpSession::Progress progress, bool download) {
  if (!configuration) configuration = std::make_shared<const RequestConfiguration>();
  const std::string absolute = resolveURL(core->options.baseURL, url);
  ErrorPtr error;
  auto encoded = encodeRequest(method, absolute, parameters, *configuration, &error);
  auto call = std::make_shared<Call>(core, method, encoded ? encoded->url : absolute, configuration, std::move(success),
                                     std::move(failure), std::move(progress), download);
  if (!encoded) {
    call->failBeforeSending(error);
    return call;
  }
  call->setEncodedRequest(std::move(*encoded));
  {
    std::lock_guard<std::mutex> lock(core->mutex);
    core->calls.push_back(call);
  }
  call->startAttempt();
  return call;
}
}  // namespace

HttpTaskPtr HttpSession::dataTask(HttpMethod method, const std::string& url, const Value& parameters,
                                  RequestConfigurationPtr configuration, Success success, Failure failure) {
  return startCall(core_, method, url, parameters, std::move(configuration), std::move(success), std::move(failure),
                   nullptr, false);
}

HttpTaskPtr HttpSession::downloadTask(const std::string& url, RequestConfigurationPtr configuration, Progress progress,
                                      Success success, Failure failure) {
  return startCall(core_, HttpMethod::Get, url, Value(), std::move(configuration), std::move(success),
                   std::move(failure), std::move(progress), true);
}

std::vector<HttpTaskPtr> HttpSession::tasks() const {
  std::lock_guard<std::mutex> lock(core_->mutex);
  return {core_->calls.begin(), core_->calls.end()};
}

void HttpSession::invalidateAndCancel() {
  for (auto& task : tasks()) task->cancel();
}

}  // namespace dk::platform
