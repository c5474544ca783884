#include "platform/media/recordings/recording_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/dispatch/queue.h"
#include "platform/dispatch/sync.h"
#include "platform/dispatch/timer.h"
#include "platform/foundation/data.h"
#include "platform/media/recordings/recording_layout.h"
#include "platform/media/recordings/recording_reply.h"
#include "platform/net/http_errors.h"
#include "platform/net/http_session.h"

namespace dk::platform {
namespace {

constexpr const char* kSourceErrorDomain = "DKCameraStreamerErrorDomain";
constexpr size_t kAtMostInFlight = 2;  // the piece a reader waits for, and one ahead

using recording_layout::growingLayoutOf;
using recording_layout::MediaBox;
using recording_reply::headerOf;
using recording_reply::parseContentRange;

// Requests that are not chunks: the size probe, and the two reads that check a grown take.
constexpr int64_t kSizeProbe = -1;
constexpr int64_t kHeadCheck = -2;
constexpr int64_t kTailCheck = -3;
constexpr int64_t kCheckBytes = 16 * 1024;

}  // namespace

struct RecordingSource::Core : std::enable_shared_from_this<RecordingSource::Core> {
  struct Held {
    int64_t slot = 0;
    int64_t length = 0;  // below the chunk's length: only its start is held (what a growth kept)
    std::list<int64_t>::iterator use;
  };
  struct Pending {
    HttpTaskPtr task;
    std::shared_ptr<Timer> deadline;
    bool timedOut = false;
    // A span: the request of this chunk brings the ones after it up to here; they wait under
    // their own keys (`spannedBy` the first) with no task of their own.
    int64_t lastChunk = -1;
    int64_t spannedBy = -1;
  };

  std::string url, token;
  Limits limits;
  std::string folder;
  int fd = -1;
  QueuePtr queue = DispatchQueue::createSerial("com.kelo.streamer.fetch");
  std::shared_ptr<HttpSession> session;

  mutable std::mutex mutex;
  std::condition_variable changed;
  // Everything below is guarded by `mutex`.
  int64_t total = -1;        // the size of the version being read
  int64_t latestTotal = -1;  // the size the server gave last
  bool open = false;
  bool everOpen = false;  // a recording once open may have grown by its last take
  ErrorPtr failure;
  uint64_t version = 0;  // changes when a grown recording replaces what is held
  std::map<int64_t, Held> held;
  std::list<int64_t> uses;  // held chunks, used last at the back
  std::vector<int64_t> freeSlots;
  int64_t slotCount = 0, nextSlot = 0;
  std::map<int64_t, Pending> pending;  // by chunk, kSizeProbe, kHeadCheck, kTailCheck
  std::optional<MediaBox> media;      // of the version read, from its first bytes
  std::string firstBytes;             // the version's first bytes, up to a little of its media
  std::map<int64_t, std::string> checked;  // the checks' bytes, once in (empty: not the part asked for)
  // The version's validator (a strong ETag, else Last-Modified), once a reply has given one:
  // range reads then carry it as If-Range, and a reply of another one is another recording.
  std::string validator;
  int requests = 0;
  int64_t received = 0;
  int64_t lastRead = -2;   // the chunk read last
  bool readingOn = false;  // and the reader came to it from the one before

  ~Core() {
    dropPendingLocked();  // no other owner is left
    if (fd >= 0) ::close(fd);
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
  }

  int64_t chunkCount() const { return total < 0 ? -1 : (total + limits.chunkBytes - 1) / limits.chunkBytes; }
  int64_t chunkLength(int64_t chunk) const { return std::min(limits.chunkBytes, total - chunk * limits.chunkBytes); }

  void dropPendingLocked() {
    for (auto& [chunk, p] : pending) {
      if (p.deadline) p.deadline->invalidate();
      if (p.task) p.task->cancel();
    }
    pending.clear();
  }

  // Takes a request off the pending list, with the chunks its span covers.
  void erasePendingLocked(std::map<int64_t, Pending>::iterator it) {
    const int64_t chunk = it->first, last = it->second.lastChunk;
    if (it->second.deadline) it->second.deadline->invalidate();
    pending.erase(it);
    for (int64_t c = chunk + 1; c <= last; ++c) {
      auto spanned = pending.find(c);
      if (spanned != pending.end() && spanned->second.spannedBy == chunk) pending.erase(spanned);
    }
  }

  void failLocked(ErrorPtr error) {
    if (!failure) failure = std::move(error);
    dropPendingLocked();
    changed.notify_all();
  }

  // Sends the request for `chunk` (or the one-byte size probe). Lock held; the session only
  // posts the call, its callbacks come later on `queue`.
  void startLocked(int64_t chunk) {
    if (chunk < 0) {
      startLocked(chunk, 0, 0);
      return;
    }
    // Of a chunk whose start is held, only the rest is asked for.
    const int64_t start = chunk * limits.chunkBytes;
    auto it = held.find(chunk);
    startLocked(chunk, start + (it == held.end() ? 0 : it->second.length), start + limits.chunkBytes - 1);
  }
  bool wholeLocked(int64_t chunk) const {
    auto it = held.find(chunk);
    return it != held.end() && it->second.length >= chunkLength(chunk);
  }
  void startLocked(int64_t chunk, int64_t first, int64_t last, int64_t lastChunk = -1) {
    if (failure || pending.count(chunk)) return;
    Pending& p = pending[chunk];
    // Only a chunk's request spans others: the probe and the checks (negative keys) never do, and
    // must not mark one another as spanned.
    const bool span = chunk >= 0 && lastChunk > chunk;
    p.lastChunk = span ? lastChunk : -1;
    for (int64_t c = chunk + 1; span && c <= lastChunk; ++c) pending[c].spannedBy = chunk;
    ++requests;
    auto configuration = std::make_shared<RequestConfiguration>();
    configuration->responseSerializer = ResponseSerializerKind::Http;
    configuration->acceptableContentTypes = std::vector<std::string>{"video/mp4"};
    configuration->headers["Authorization"] = "Bearer " + token;
    configuration->headers["Range"] = "bytes=" + std::to_string(first) + "-" + std::to_string(last);
    // A recording still being recorded changes by growing, which the growth checks handle; any
    // other must stay the bytes first read. (The size probe asks what the server has now.)
    if (!validator.empty() && !everOpen && chunk != kSizeProbe) configuration->headers["If-Range"] = validator;
    // A server that ignores ranges sends the whole recording: the source's own bound decides.
    configuration->maxBodyBytes = std::max(limits.largestWholeReply, limits.chunkBytes);
    configuration->timeoutInterval = limits.idleSeconds;
    configuration->callbackQueue = queue;
    const uint64_t expectedVersion = version;
    std::weak_ptr<Core> weak = weak_from_this();
    // Every request, a span of many pieces too, ends by the one deadline the source promises.
    p.deadline = Timer::scheduled(limits.deadlineSeconds, false, queue, [weak, chunk] {
      auto core = weak.lock();
      if (!core) return;
      HttpTaskPtr task;
      {
        std::lock_guard lock(core->mutex);
        auto it = core->pending.find(chunk);
        if (it == core->pending.end()) return;
        it->second.timedOut = true;
        task = it->second.task;
      }
      if (task) task->cancel();
    });
    p.task = session->dataTask(
        HttpMethod::Get, url, Value(), configuration,
        [weak, chunk, first, expectedVersion](const std::shared_ptr<const HttpResponseInfo>& response, const Value& body) {
          if (auto core = weak.lock()) core->arrived(chunk, first, expectedVersion, response, body.objectAs<Data>());
        },
        [weak, chunk](const ErrorPtr& error) {
          if (auto core = weak.lock()) core->failed(chunk, error);
        });
  }

  void failed(int64_t chunk, const ErrorPtr& error) {
    std::lock_guard lock(mutex);
    auto it = pending.find(chunk);
    if (it == pending.end() || it->second.spannedBy >= 0) return;  // cancelled on purpose
    const bool timedOut = it->second.timedOut;
    erasePendingLocked(it);
    if (timedOut) {
      failLocked(Error::make(std::string(kURLErrorDomain), kURLErrorTimedOut, "The recording took too long to arrive"));
    } else if (error && error->domain() == kURLErrorDomain && error->code() == kURLErrorDataLengthExceedsMaximum) {
      // Only a whole recording sent in place of a part can be longer than largestWholeReply.
      failLocked(Error::make(kSourceErrorDomain, 7, "The recording is too large to read without ranges"));
    } else {
      failLocked(error);
    }
  }

  void arrived(int64_t chunk, int64_t first, uint64_t expectedVersion,
               const std::shared_ptr<const HttpResponseInfo>& response, const std::shared_ptr<const Data>& data) {
    std::lock_guard lock(mutex);
    auto it = pending.find(chunk);
    if (it == pending.end() || it->second.spannedBy >= 0) return;
    erasePendingLocked(it);
    if (!response) {
      failLocked(Error::make(kSourceErrorDomain, 6, "The recording's reply is missing"));
      return;
    }
    static const std::string kEmpty;
    const std::string& body = data ? data->bytes() : kEmpty;
    received += static_cast<int64_t>(body.size());
    open = headerOf(*response, "X-Recording-Open") == "true";
    everOpen = everOpen || open;
    if (chunk != kSizeProbe && !sameValidator(*response)) {
      failLocked(Error::make(kSourceErrorDomain, 10, "The recording changed while it was read"));
      return;
    }
    const auto range = parseContentRange(headerOf(*response, "Content-Range"));
    if (response->statusCode == 206 && range && range->first == first &&
        range->last - range->first + 1 == static_cast<int64_t>(body.size())) {
      if (!acceptTotal(range->total)) return;
      if (version != expectedVersion) {
        // Asked for a version since forgotten: dropped.
      } else if (chunk <= kHeadCheck) {
        checked[chunk] = range->total == total ? body : std::string();
      } else if (chunk >= 0) {
        if (!storable(chunk, range->total)) {
          failLocked(Error::make(kSourceErrorDomain, 10, "The recording changed while it was read"));
          return;
        }
        const int64_t within = first - chunk * limits.chunkBytes;
        const auto length = static_cast<int64_t>(body.size());
        if (within > 0) {
          append(chunk, within, body.data(), length);
        } else if (length <= limits.chunkBytes) {
          store(chunk, body.data(), length);
        } else {
          // A span: every whole piece of it (a server may send less than asked for; what is
          // missing is asked for again when read).
          for (int64_t c = chunk; (c - chunk) * limits.chunkBytes < length && c < chunkCount() && !failure; ++c) {
            const int64_t at = (c - chunk) * limits.chunkBytes;
            if (length - at < chunkLength(c)) break;
            if (!storable(c, range->total)) {
              failLocked(Error::make(kSourceErrorDomain, 10, "The recording changed while it was read"));
              return;
            }
            store(c, body.data() + at, chunkLength(c));
          }
        }
      }
    } else if (response->statusCode == 200 && !body.empty()) {
      // A server that ignores ranges: the whole recording came; kept when it fits.
      const auto size = static_cast<int64_t>(body.size());
      if (size > limits.largestWholeReply || size > slotCount * limits.chunkBytes) {
        failLocked(Error::make(kSourceErrorDomain, 7, "The recording is too large to read without ranges"));
        return;
      }
      if (!acceptTotal(size)) return;
      if (version == expectedVersion && chunk != kSizeProbe) {
        if (chunk >= 0 && !storable(chunk, size)) {
          failLocked(Error::make(kSourceErrorDomain, 10, "The recording changed while it was read"));
          return;
        }
        for (int64_t c = 0; c < chunkCount() && !failure; ++c) {
          if (storable(c, size)) store(c, body.data() + c * limits.chunkBytes, chunkLength(c));
        }
        if (chunk <= kHeadCheck) checked[chunk] = std::string();  // not the part asked for: not trusted
      }
    } else {
      failLocked(Error::make(kSourceErrorDomain, 8, "The recording's reply is not the part asked for"));
      return;
    }
    changed.notify_all();
  }

  // Whether a reply is of the version whose validator is known (learning it from the first reply
  // that has one). A closed recording keeps its validator; an open one changes it as it grows.
  bool sameValidator(const HttpResponseInfo& response) {
    std::string tag = headerOf(response, "ETag");
    if (tag.rfind("W/", 0) == 0) tag.clear();  // a weak tag may not go in If-Range
    const std::string replied = tag.empty() ? headerOf(response, "Last-Modified") : tag;
    if (everOpen) {
      validator.clear();
      return true;
    }
    if (validator.empty()) {
      validator = replied;
      return true;
    }
    return replied == validator;
  }

  // The first size fixes the version read; only an open recording may grow meanwhile.
  bool acceptTotal(int64_t size) {
    if (size <= 0 || size > limits.largestRecording) {
      failLocked(Error::make(kSourceErrorDomain, 9, "The recording's size is out of bounds"));
      return false;
    }
    latestTotal = size;
    if (total < 0) {
      total = size;
    } else if (size < total || (size > total && !everOpen)) {
      failLocked(Error::make(kSourceErrorDomain, 10, "The recording changed while it was read"));
      return false;
    }
    return true;
  }

  // Whether a chunk of the server's take of `replyTotal` bytes is also a chunk of the version
  // read: of that very take, or, once the recording has grown past it, wholly inside the media
  // the version read has (a take grows by appending to it).
  bool storable(int64_t chunk, int64_t replyTotal) const {
    if (replyTotal == total) return true;
    if (!media || replyTotal < total) return false;
    const int64_t first = chunk * limits.chunkBytes;
    // A fragmented take's last chunk is kept up to the take's end, where the appending began.
    const bool fragmented = media->headerSize == 0;
    return first >= media->payload() && (fragmented ? first < media->end : first + limits.chunkBytes <= media->end);
  }

  // Keeps `chunk` (as long as it is in the version read). Lock held.
  void store(int64_t chunk, const char* bytes, int64_t length) {
    if (chunk >= chunkCount() || wholeLocked(chunk)) return;
    forget(chunk);  // only its start was held
    if (length < chunkLength(chunk)) {
      failLocked(Error::make(kSourceErrorDomain, 8, "The recording's reply is not the part asked for"));
      return;
    }
    length = chunkLength(chunk);
    int64_t slot;
    if (!freeSlots.empty()) {
      slot = freeSlots.back();
      freeSlots.pop_back();
    } else if (nextSlot < slotCount) {
      slot = nextSlot++;
    } else {
      const int64_t oldest = uses.front();
      uses.pop_front();
      slot = held[oldest].slot;
      held.erase(oldest);
    }
    const ssize_t written = ::pwrite(fd, bytes, static_cast<size_t>(length), slot * limits.chunkBytes);
    if (written != length) {
      freeSlots.push_back(slot);
      failLocked(Error::make(kSourceErrorDomain, 2, "The recording's video could not be stored"));
      return;
    }
    uses.push_back(chunk);
    held[chunk] = Held{slot, length, std::prev(uses.end())};
    if (chunk == 0) {
      media = growingLayoutOf(bytes, length, total);
      if (media) firstBytes.assign(bytes, static_cast<size_t>(std::min(length, media->payload() + kCheckBytes)));
    }
  }

  // Completes a chunk whose first `within` bytes are held with the rest of it. Lock held.
  void append(int64_t chunk, int64_t within, const char* bytes, int64_t length) {
    auto it = held.find(chunk);
    if (it == held.end() || it->second.length != within) return;  // let go meanwhile: asked for again
    if (within + length < chunkLength(chunk)) {
      failLocked(Error::make(kSourceErrorDomain, 8, "The recording's reply is not the part asked for"));
      return;
    }
    length = chunkLength(chunk) - within;
    const ssize_t written = ::pwrite(fd, bytes, static_cast<size_t>(length), it->second.slot * limits.chunkBytes + within);
    if (written != length) {
      failLocked(Error::make(kSourceErrorDomain, 2, "The recording's video could not be stored"));
      return;
    }
    it->second.length += length;
    uses.splice(uses.end(), uses, it->second.use);
  }

  // The bytes of a held chunk, or nothing when it is not held or cannot be read back.
  std::optional<std::string> heldBytes(int64_t chunk) const {
    auto it = held.find(chunk);
    if (it == held.end()) return std::nullopt;
    std::string bytes(static_cast<size_t>(it->second.length), '\0');
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), it->second.slot * limits.chunkBytes);
    if (got != it->second.length) return std::nullopt;
    return bytes;
  }

  void forget(int64_t chunk) {
    auto it = held.find(chunk);
    if (it == held.end()) return;
    freeSlots.push_back(it->second.slot);
    uses.erase(it->second.use);
    held.erase(it);
  }

  // Fetches what a reader at `chunk` will want next, while little else is on the way; only for
  // a reader going through the recording (a seek, or the index at the end, reads what it needs).
  void readAheadLocked(int64_t chunk) {
    const bool onwards = chunk == lastRead + 1 || (chunk == lastRead && readingOn);
    readingOn = onwards;
    lastRead = chunk;
    if (!onwards) return;
    const int64_t next = chunk + 1;
    if (next < chunkCount() && !wholeLocked(next) && !pending.count(next) && pending.size() < kAtMostInFlight) {
      startLocked(next);
    }
  }

  int64_t read(int64_t offset, uint8_t* out, int64_t count) {
    if (offset < 0) return -1;
    if (count <= 0) return 0;
    detail::BlockingScope blocking;
    std::unique_lock lock(mutex);
    for (;;) {
      if (failure) return -1;
      if (total >= 0 && offset >= total) return 0;
      const int64_t chunk = offset / limits.chunkBytes;
      auto it = held.find(chunk);
      const int64_t within = offset - chunk * limits.chunkBytes;
      if (it != held.end() && within < it->second.length) {
        const int64_t n = std::min(count, it->second.length - within);
        const ssize_t got = ::pread(fd, out, static_cast<size_t>(n), it->second.slot * limits.chunkBytes + within);
        if (got != n) {
          failLocked(Error::make(kSourceErrorDomain, 2, "The recording's video could not be read back"));
          return -1;
        }
        uses.splice(uses.end(), uses, it->second.use);
        readAheadLocked(chunk);
        return n;
      }
      startLocked(chunk);
      changed.wait(lock);
    }
  }

  // The most pieces one request asks for: half of what may be held, so that a span never pushes
  // out its own first pieces, and no more than a reply may bring.
  int64_t mostSpanChunks() const {
    return std::max<int64_t>(1, std::min(slotCount / 2, std::max(limits.largestWholeReply, limits.chunkBytes) / limits.chunkBytes));
  }

  void prefetch(int64_t offset, int64_t length) {
    std::lock_guard lock(mutex);
    if (failure || offset < 0 || length <= 0) return;
    const int64_t first = offset / limits.chunkBytes;
    int64_t last = (std::min(offset, INT64_MAX - length) + length - 1) / limits.chunkBytes;
    if (total >= 0) last = std::min(last, chunkCount() - 1);
    last = std::min(last, first + mostSpanChunks() - 1);
    // Each run of pieces neither held (even in part) nor on their way: one request.
    for (int64_t c = first; c <= last;) {
      if (held.count(c) || pending.count(c)) {
        ++c;
        continue;
      }
      int64_t end = c;
      while (end + 1 <= last && !held.count(end + 1) && !pending.count(end + 1)) ++end;
      if (end == c) {
        startLocked(c);
      } else {
        startLocked(c, c * limits.chunkBytes, (end + 1) * limits.chunkBytes - 1, end);
      }
      c = end + 1;
    }
  }

  int64_t size() {
    detail::BlockingScope blocking;
    std::unique_lock lock(mutex);
    for (;;) {
      if (failure) return -1;
      if (total >= 0) return total;
      if (pending.empty()) startLocked(0);
      changed.wait(lock);
    }
  }

  // True when the server now has more than the version read; the new version is read from
  // then on, keeping what is still valid of the old one.
  bool refreshGrowth() {
    detail::BlockingScope blocking;
    std::unique_lock lock(mutex);
    if (failure) return false;
    const int sent = requests;
    startLocked(kSizeProbe);
    changed.wait(lock, [&] { return failure != nullptr || (requests > sent && !pending.count(kSizeProbe)); });
    if (failure || latestTotal <= total) return false;
    growLocked(lock);
    return !failure;
  }

  // A recording grows by appending to its media box, with a new index written after it; only
  // the box's size in its header changes before the old end of the media (a fragmented one
  // appends whole fragments, and nothing before its old end changes). Kept: what is held
  // of the old media (the first chunk too, its header patched; the chunk where the media ended
  // up to that end, so that only what grew is read); everything else goes,
  // and all of it when the media box moved, the index is first, or the server rewrote the take:
  // the first bytes and the last bytes kept are read again and must read the same (a rewritten
  // take differs at its start or where the old one ended).
  void growLocked(std::unique_lock<std::mutex>& lock) {
    const std::optional<MediaBox> old = media;
    const int64_t chunkBytes = limits.chunkBytes;
    std::vector<int64_t> keep;
    if (old && old->payload() <= chunkBytes) {
      for (auto& [chunk, h] : held) {
        if ((chunk == 0 || chunk * chunkBytes >= old->payload()) && chunk * chunkBytes < old->end) {
          keep.push_back(chunk);
          h.length = std::min(h.length, old->end - chunk * chunkBytes);
        }
      }
    }
    // What is checked: the first bytes up to a little of the media, and the last bytes kept.
    const int64_t headEnd = static_cast<int64_t>(firstBytes.size());
    std::optional<std::string> head, tail;
    if (!keep.empty() && old && headEnd > old->payload()) head = firstBytes;
    const int64_t tailEnd = keep.empty() ? 0 : keep.back() * chunkBytes + held[keep.back()].length;
    // The last bytes kept; with the chunk before when the last one holds only a few bytes of
    // the old media.
    size_t run = keep.empty() ? 0 : keep.size() - 1;
    if (run > 0 && keep[run - 1] == keep[run] - 1 && held[keep[run - 1]].length == chunkBytes &&
        held[keep[run]].length < kCheckBytes) {
      --run;
    }
    const int64_t tailAt = std::max({keep.empty() ? 0 : keep[run] * chunkBytes, tailEnd - kCheckBytes,
                                     old ? old->payload() : 0});
    if (head && tailAt < tailEnd) {
      std::string bytes;
      for (size_t i = run; i < keep.size(); ++i) {
        auto part = heldBytes(keep[i]);
        if (!part) break;
        bytes += *part;
        if (i + 1 == keep.size()) {
          tail = bytes.substr(static_cast<size_t>(tailAt - keep[run] * chunkBytes),
                              static_cast<size_t>(tailEnd - tailAt));
        }
      }
    }
    // The head check rewrites the first chunk's header: it must hold that much.
    if (head && held.count(0) && held[0].length < old->payload()) head.reset();
    if (!head || !tail) keep.clear();

    dropPendingLocked();
    for (auto it = held.begin(); it != held.end();) {
      const int64_t chunk = (it++)->first;
      if (!std::binary_search(keep.begin(), keep.end(), chunk)) forget(chunk);
    }
    total = latestTotal;
    ++version;
    media.reset();
    firstBytes.clear();
    checked.clear();
    if (keep.empty()) return;

    startLocked(kHeadCheck, 0, headEnd - 1);
    startLocked(kTailCheck, tailAt, tailEnd - 1);
    changed.wait(lock, [&] { return failure != nullptr || (!pending.count(kHeadCheck) && !pending.count(kTailCheck)); });
    if (failure) return;
    const std::string& freshHead = checked[kHeadCheck];
    if (static_cast<int64_t>(freshHead.size()) == headEnd) media = growingLayoutOf(freshHead.data(), headEnd, total);
    if (media) firstBytes = freshHead;
    const bool sameBox = media && media->offset == old->offset && media->headerSize == old->headerSize &&
                         media->end >= old->end;
    // The first bytes read the same but for the media box's header.
    const bool sameHead = sameBox && head->compare(0, static_cast<size_t>(old->offset), freshHead, 0,
                                                   static_cast<size_t>(old->offset)) == 0 &&
                          head->compare(static_cast<size_t>(old->payload()), std::string::npos, freshHead,
                                        static_cast<size_t>(old->payload())) == 0;
    bool trusted = sameHead && checked[kTailCheck] == *tail;
    if (trusted && held.count(0)) {
      const std::string header = freshHead.substr(static_cast<size_t>(old->offset), static_cast<size_t>(old->headerSize));
      const ssize_t written = ::pwrite(fd, header.data(), header.size(), held[0].slot * chunkBytes + old->offset);
      trusted = written == static_cast<ssize_t>(header.size());
    }
    if (!trusted) {
      for (int64_t chunk : keep) forget(chunk);
    }
  }
};

std::shared_ptr<RecordingSource> RecordingSource::create(std::string url, std::string bearerToken, Limits limits,
                                                        ErrorPtr* error) {
  auto fail = [&]() -> std::shared_ptr<RecordingSource> {
    if (error) *error = Error::make(kSourceErrorDomain, 2, "The recording's video could not be stored");
    return nullptr;
  };
  limits.chunkBytes = std::max<int64_t>(limits.chunkBytes, 4096);
  limits.heldBytes = std::max(limits.heldBytes, 2 * limits.chunkBytes);
  auto core = std::make_shared<Core>();
  core->url = std::move(url);
  core->token = std::move(bearerToken);
  core->limits = limits;
  core->slotCount = limits.heldBytes / limits.chunkBytes;
  std::string pattern = (std::filesystem::temp_directory_path() / "dk-recording-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return fail();  // made 0700
  core->folder = pattern;
  const std::string file = core->folder + "/video";
  core->fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (core->fd < 0) return fail();
  ::unlink(file.c_str());  // the descriptor keeps it; nothing outlives the source, even a crash
  core->session = HttpSession::create(HttpSession::Options{});
  return std::shared_ptr<RecordingSource>(new RecordingSource(std::move(core)));
}

RecordingSource::~RecordingSource() { cancel(); }

int64_t RecordingSource::read(int64_t offset, uint8_t* out, int64_t count) { return core_->read(offset, out, count); }
int64_t RecordingSource::size() { return core_->size(); }
void RecordingSource::prefetch(int64_t offset, int64_t length) { core_->prefetch(offset, length); }
bool RecordingSource::refreshGrowth() { return core_->refreshGrowth(); }

void RecordingSource::cancel() {
  std::lock_guard lock(core_->mutex);
  core_->failLocked(Error::make(std::string(kURLErrorDomain), kURLErrorCancelled, "cancelled"));
}

ErrorPtr RecordingSource::error() const {
  std::lock_guard lock(core_->mutex);
  return core_->failure;
}
bool RecordingSource::isOpenRecording() const {
  std::lock_guard lock(core_->mutex);
  return core_->open;
}
int RecordingSource::requestsSent() const {
  std::lock_guard lock(core_->mutex);
  return core_->requests;
}
int64_t RecordingSource::bytesReceived() const {
  std::lock_guard lock(core_->mutex);
  return core_->received;
}
int64_t RecordingSource::bytesHeld() const {
  std::lock_guard lock(core_->mutex);
  int64_t sum = 0;
  for (const auto& [chunk, h] : core_->held) sum += h.length;
  return sum;
}
std::string RecordingSource::folder() const { return core_->folder; }

}  // namespace dk::platform
