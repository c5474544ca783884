#include "platform/net/network_engine.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/dispatch/clock.h"
#include "platform/net/http_errors.h"
#include "platform/net/http_header_block.h"
#include "platform/net/url_origin.h"
#include "platform/foundation/private_temp_folder.h"
#include "platform/foundation/string_case.h"

namespace dk::platform::detail {

namespace {
constexpr long kMaxConnectionsPerHost = 10;
constexpr size_t kMaxKeptErrorBody = 1 << 20;  // the message of a failed download, not a whole file
constexpr size_t kMaxPooledHandles = 32;
constexpr int64_t kMaxReservedBody = 8 << 20;
constexpr int kIdleCheckMillis = 50;

int64_t transportCodeFor(CURLcode code) {
  switch (code) {
    case CURLE_OK: return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return kURLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT: return kURLErrorCannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT: return kURLErrorTimedOut;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM: return kURLErrorNetworkConnectionLost;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR: return kURLErrorServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_USE_SSL_FAILED: return kURLErrorSecureConnectionFailed;
    case CURLE_URL_MALFORMAT: return kURLErrorBadURL;
    case CURLE_UNSUPPORTED_PROTOCOL: return kURLErrorUnsupportedURL;
    case CURLE_TOO_MANY_REDIRECTS: return -1007;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING: return kURLErrorCannotParseResponse;
    case CURLE_WRITE_ERROR: return kURLErrorCannotWriteToFile;
    default: return kURLErrorUnknown;
  }
}
}  // namespace

class TransferHandle {
 public:
  TransferRequest request;
  TransferCallbacks callbacks;

  // Everything below belongs to the network thread.
  CURL* easy = nullptr;
  curl_slist* headerList = nullptr;
  TransferResult result;
  FILE* file = nullptr;
  bool bodyStarted = false;
  bool writeFailed = false;
  bool createFailed = false;
  bool tooLarge = false;
  int64_t refusedRedirect = 0;  // the error of a redirect the transfer must not follow
  bool paused = false;  // what curl was last told
  bool finished = false;
  HttpHeaderBlock headerBlock;  // the reply's header lines so far
  int status = 0;
  int64_t expected = -1;
  double lastActivity = 0;
  double startTime = 0;
  curl_off_t lastUp = 0, lastDown = 0;

  // The pause as the caller set it, in force as soon as setPaused() returns: the network thread
  // may apply it to curl a moment later, but its time checks read it here, so that no advance of
  // the clock in between can time a paused transfer out.
  struct PauseState {
    bool paused = false;
    double since = 0;      // when the current pause began
    double pausedFor = 0;  // seconds spent paused before it: they do not count towards the deadline
    double resumedAt = 0;  // idle time counts from here at the earliest
  };
  PauseState pauseState() const {
    std::lock_guard<std::mutex> lock(pauseMutex);
    return pause;
  }
  // False when the transfer already was in that state.
  bool setPause(bool paused, double now) {
    std::lock_guard<std::mutex> lock(pauseMutex);
    if (pause.paused == paused) return false;
    pause.paused = paused;
    if (paused) {
      pause.since = now;
    } else {
      pause.pausedFor += std::max(0.0, now - pause.since);
      pause.resumedAt = now;
    }
    return true;
  }

 private:
  mutable std::mutex pauseMutex;
  PauseState pause;
};

struct NetworkEngine::Impl {
  std::mutex mutex;
  std::vector<std::function<void()>> commands;
  CURLM* multi = nullptr;
  std::unordered_map<TransferHandle*, std::shared_ptr<TransferHandle>> active;  // network thread
  std::vector<CURL*> pool;                                                      // network thread
  std::atomic<size_t> activeCount{0};

  void post(std::function<void()> command) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      commands.push_back(std::move(command));
    }
    curl_multi_wakeup(multi);
  }

  void loop();
  void add(const std::shared_ptr<TransferHandle>& handle);
  void finish(TransferHandle* handle, int64_t errorCode);
  void checkIdle();
  static double allowedDuration(const TransferHandle& handle);
  void configure(TransferHandle& handle);

  static size_t onHeader(char* buffer, size_t size, size_t count, void* user);
  static bool redirectAllowed(TransferHandle& handle, const std::string& location);
  static size_t onWrite(char* buffer, size_t size, size_t count, void* user);
  static int onTransferInfo(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow);
};

NetworkEngine& NetworkEngine::shared() {
  static NetworkEngine* engine = new NetworkEngine;  // never destroyed: the thread outlives statics
  return *engine;
}

NetworkEngine::NetworkEngine() : impl_(new Impl) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  impl_->multi = curl_multi_init();
  curl_multi_setopt(impl_->multi, CURLMOPT_MAX_HOST_CONNECTIONS, kMaxConnectionsPerHost);
  curl_multi_setopt(impl_->multi, CURLMOPT_MAXCONNECTS, 64L);
  std::thread([impl = impl_] { impl->loop(); }).detach();
}

std::shared_ptr<TransferHandle> NetworkEngine::start(TransferRequest request, TransferCallbacks callbacks) {
  auto handle = std::make_shared<TransferHandle>();
  handle->request = std::move(request);
  handle->callbacks = std::move(callbacks);
  impl_->activeCount.fetch_add(1);
  impl_->post([impl = impl_, handle] { impl->add(handle); });
  return handle;
}

void NetworkEngine::cancel(const std::shared_ptr<TransferHandle>& handle) {
  if (!handle) return;
  impl_->post([impl = impl_, handle] {
    if (!handle->finished) impl->finish(handle.get(), kURLErrorCancelled);
  });
}

void NetworkEngine::setPaused(const std::shared_ptr<TransferHandle>& handle, bool paused) {
  if (!handle || !handle->setPause(paused, platform::now())) return;
  // curl is told the latest state, whatever order pauses and resumes reach the thread in.
  impl_->post([handle] {
    const bool wanted = handle->pauseState().paused;
    if (handle->finished || !handle->easy || handle->paused == wanted) return;
    handle->paused = wanted;
    curl_easy_pause(handle->easy, wanted ? CURLPAUSE_ALL : CURLPAUSE_CONT);
  });
}

size_t NetworkEngine::activeTransferCount() const { return impl_->activeCount.load(); }

void NetworkEngine::Impl::configure(TransferHandle& h) {
  CURL* e = h.easy;
  const EncodedRequest& r = h.request.request;
  curl_easy_setopt(e, CURLOPT_URL, r.url.c_str());
  curl_easy_setopt(e, CURLOPT_PRIVATE, &h);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 16L);
  // Redirects stay on the web; each hop is also checked against the request (onHeader), and the
  // caller's Authorization never follows one to another host.
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_UNRESTRICTED_AUTH, 0L);
  curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &h);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Impl::onWrite);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &h);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Impl::onTransferInfo);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, &h);

  const TlsPolicy& tls = h.request.tls;
  if (tls.allowInvalidCertificates) {
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
  } else {
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    const std::string ca = tls.effectiveCAFile();
    if (!ca.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, ca.c_str());
  }

  switch (r.method) {
    case HttpMethod::Get: curl_easy_setopt(e, CURLOPT_HTTPGET, 1L); break;
    case HttpMethod::Head: curl_easy_setopt(e, CURLOPT_NOBODY, 1L); break;
    case HttpMethod::Post: curl_easy_setopt(e, CURLOPT_POST, 1L); break;
    default: curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, std::string(methodName(r.method)).c_str()); break;
  }
  if (r.body || r.method == HttpMethod::Post) {
    const std::string& body = r.body ? *r.body : std::string();
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, r.body ? r.body->c_str() : "");
  }

  // Fields the transport owns are not taken from callers (a chunked header without a chunked body
  // would leave the server waiting); "Expect:" turns off the 100-continue round trip.
  for (const auto& header : r.headers) {
    const std::string& name = header.first;
    const std::string& value = header.second;
    static const char* reserved[] = {"Content-Length", "Transfer-Encoding", "Connection", "Host", "Expect"};
    // A named reference, not a structured binding: clang 14 cannot capture those in a lambda.
    if (std::any_of(std::begin(reserved), std::end(reserved), [&name](const char* n) { return equalsIgnoringASCIICase(name, n); }))
      continue;
    const std::string line = value.empty() ? name + ";" : name + ": " + value;
    h.headerList = curl_slist_append(h.headerList, line.c_str());
  }
  h.headerList = curl_slist_append(h.headerList, "Expect:");
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, h.headerList);
}

void NetworkEngine::Impl::add(const std::shared_ptr<TransferHandle>& handle) {
  TransferHandle& h = *handle;
  if (h.finished) return;
  if (!pool.empty()) {
    h.easy = pool.back();
    pool.pop_back();
  } else {
    h.easy = curl_easy_init();
  }
  configure(h);
  h.lastActivity = platform::now();
  h.startTime = h.lastActivity;
  active.emplace(&h, handle);
  curl_multi_add_handle(multi, h.easy);
}

void NetworkEngine::Impl::finish(TransferHandle* h, int64_t errorCode) {
  auto it = active.find(h);
  std::shared_ptr<TransferHandle> keep = it != active.end() ? it->second : nullptr;
  if (it != active.end()) active.erase(it);
  h->finished = true;
  if (h->easy) {
    if (errorCode == 0 && h->result.response) {
      long status = 0;
      curl_easy_getinfo(h->easy, CURLINFO_RESPONSE_CODE, &status);
      if (status) h->result.response->statusCode = static_cast<int>(status);
      char* effective = nullptr;
      curl_easy_getinfo(h->easy, CURLINFO_EFFECTIVE_URL, &effective);
      h->result.response->url = effective ? effective : h->request.request.url;
    }
    curl_multi_remove_handle(multi, h->easy);
    curl_easy_reset(h->easy);
    if (pool.size() < kMaxPooledHandles) {
      pool.push_back(h->easy);
    } else {
      curl_easy_cleanup(h->easy);
    }
    h->easy = nullptr;
  }
  if (h->headerList) {
    curl_slist_free_all(h->headerList);
    h->headerList = nullptr;
  }
  if (h->file) {
    std::fclose(h->file);
    h->file = nullptr;
  }
  if (errorCode == 0 && !h->result.response) errorCode = kURLErrorCannotParseResponse;
  if (errorCode == kURLErrorCannotWriteToFile && h->createFailed) errorCode = kURLErrorCannotCreateFile;
  if (errorCode != 0 && h->tooLarge) errorCode = kURLErrorDataLengthExceedsMaximum;
  if (errorCode != 0 && h->refusedRedirect != 0) errorCode = h->refusedRedirect;
  if (errorCode != 0 && h->result.bodyInFile && h->request.downloadPath) {
    std::remove(h->request.downloadPath->c_str());
    h->result.bodyInFile = false;
  }
  h->result.errorCode = errorCode;
  activeCount.fetch_sub(1);
  auto completion = std::move(h->callbacks.completion);
  h->callbacks.progress = nullptr;
  if (completion) completion(std::move(h->result));
}

void NetworkEngine::Impl::checkIdle() {
  if (active.empty()) return;
  const double now = platform::now();
  std::vector<TransferHandle*> expired;
  for (auto& [raw, handle] : active) {
    const TransferHandle::PauseState pause = raw->pauseState();
    if (pause.paused) continue;
    const double idleSince = std::max(raw->lastActivity, pause.resumedAt);
    const double running = now - raw->startTime - pause.pausedFor;
    if (now - idleSince >= raw->request.idleTimeout || running >= allowedDuration(*raw)) expired.push_back(raw);
  }
  for (TransferHandle* h : expired) finish(h, kURLErrorTimedOut);
}

// A trickle of bytes keeps a transfer from going idle, never from ending: the whole transfer has
// a deadline, stretched for a download by its size at the least throughput it must reach.
double NetworkEngine::Impl::allowedDuration(const TransferHandle& h) {
  const TransferRequest& r = h.request;
  double allowed = r.deadline > 0 ? r.deadline : kDefaultDeadline;
  if (r.minimumThroughput > 0) {
    const int64_t length = h.expected > 0 ? std::min(h.expected, r.maxBodyBytes) : h.result.bodyLength;
    allowed += static_cast<double>(length) / r.minimumThroughput;
  }
  return allowed;
}

void NetworkEngine::Impl::loop() {
  for (;;) {
    std::vector<std::function<void()>> batch;
    {
      std::lock_guard<std::mutex> lock(mutex);
      batch.swap(commands);
    }
    for (auto& command : batch) command();
    batch.clear();

    int running = 0;
    curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      TransferHandle* h = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&h));
      const CURLcode code = message->data.result;
      if (h && !h->finished) finish(h, transportCodeFor(code));
    }
    checkIdle();

    int waitMillis = active.empty() ? 1000 : kIdleCheckMillis;
    long curlTimeout = -1;
    curl_multi_timeout(multi, &curlTimeout);
    if (curlTimeout >= 0) waitMillis = std::min<int>(waitMillis, static_cast<int>(curlTimeout));
    curl_multi_poll(multi, nullptr, 0, waitMillis, nullptr);
  }
}

// A redirect is followed only to https, or to the request's own scheme, host and port: a plaintext
// hop elsewhere would hand the call (and what it reveals) to whoever answers there.
bool NetworkEngine::Impl::redirectAllowed(TransferHandle& h, const std::string& location) {
  // The target is resolved against the URL this hop came from (a relative Location).
  char* current = nullptr;
  curl_easy_getinfo(h.easy, CURLINFO_EFFECTIVE_URL, &current);
  const std::string base = current ? current : h.request.request.url;
  const auto from = urlOrigin(h.request.request.url);
  const auto to = urlOrigin(base, location);
  if (!from || !to) return false;
  if (h.request.sameOriginRedirectsOnly) return to->sameSchemeHostAndPort(*from);
  return to->scheme == "https" || to->sameSchemeHostAndPort(*from);
}

size_t NetworkEngine::Impl::onHeader(char* buffer, size_t size, size_t count, void* user) {
  auto* h = static_cast<TransferHandle*>(user);
  const size_t length = size * count;
  h->lastActivity = platform::now();
  HttpHeaderLine line = HttpHeaderBlock::parseLine(std::string_view(buffer, length));
  if (line.kind == HttpHeaderLine::Kind::Field && h->headerBlock.response() && h->headerBlock.isRedirect() &&
      equalsIgnoringASCIICase(line.name, "Location") && !redirectAllowed(*h, line.value)) {
    h->refusedRedirect = kURLErrorAppTransportSecurityRequiresSecureConnection;
    return 0;  // ends the transfer before curl follows it
  }
  // Refused before a byte of an announced body over the cap arrives.
  const bool kept = h->headerBlock.add(std::move(line), h->request.maxBodyBytes);
  h->result.response = h->headerBlock.response();
  h->status = h->headerBlock.status();
  h->expected = h->headerBlock.expectedLength();
  if (!kept) {
    h->tooLarge = true;
    return 0;
  }
  return length;
}

size_t NetworkEngine::Impl::onWrite(char* buffer, size_t size, size_t count, void* user) {
  auto* h = static_cast<TransferHandle*>(user);
  const size_t length = size * count;
  h->lastActivity = platform::now();
  if (h->result.bodyLength + static_cast<int64_t>(length) > h->request.maxBodyBytes) {
    h->tooLarge = true;
    return 0;
  }
  if (!h->bodyStarted) {
    h->bodyStarted = true;
    if (h->request.downloadPath && h->status >= 200 && h->status < 300) {
      // A new file only, never through a link, readable by this user alone.
      const int fd = PrivateTempFolder::createFile(*h->request.downloadPath);
      h->file = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
      if (!h->file) {
        if (fd >= 0) ::close(fd);
        h->createFailed = true;
        return 0;
      }
      h->result.bodyInFile = true;
    }
  }
  if (!h->file && h->result.body.empty() && h->expected > 0 && !h->request.downloadPath) {
    // One allocation for a body of announced length instead of a chain of regrowths; a bogus
    // length costs no more than the cap.
    h->result.body.reserve(static_cast<size_t>(std::min<int64_t>(h->expected, kMaxReservedBody)));
  }
  if (h->file) {
    if (std::fwrite(buffer, 1, length, h->file) != length) {
      h->writeFailed = true;
      return 0;
    }
  } else if (!h->request.downloadPath || h->result.body.size() < kMaxKeptErrorBody) {
    h->result.body.append(buffer, length);
  }
  h->result.bodyLength += static_cast<int64_t>(length);
  if (h->callbacks.progress && h->result.bodyInFile) h->callbacks.progress(h->result.bodyLength, h->expected);
  return length;
}

int NetworkEngine::Impl::onTransferInfo(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
  auto* h = static_cast<TransferHandle*>(user);
  if (dlnow != h->lastDown || ulnow != h->lastUp) {
    h->lastDown = dlnow;
    h->lastUp = ulnow;
    h->lastActivity = platform::now();
  }
  return 0;
}

}  // namespace dk::platform::detail
