// RecordingSource: the bytes of one recording on the cloud, readable at any offset while they
// are fetched piecewise with HTTP range requests, so that playing (or seeking) needs only the
// parts it reads: the container's index first, wherever it sits, then the frames asked for.
//
// Fetched pieces ("chunks", aligned to Limits::chunkBytes) live in one private file (created
// 0600 in a 0700 folder of its own, never through a symlink, unlinked at once so that nothing
// outlives the source) of at most Limits::heldBytes; beyond that the piece used longest ago
// goes. Every transfer ends: it fails when no byte moves for idleSeconds and is cut at
// deadlineSeconds (both on the platform clock). A failure is final for the source: readers are
// woken and get -1, and error() says why. A closed recording must stay the bytes first read:
// where the server gives a validator (a strong ETag, else Last-Modified), later range reads carry
// it in If-Range, and a reply of another version fails the source.
//
// Thread-safe. read() and size() block the calling thread and must not run on the main thread
// (the streamer calls them from its decode queue); the transfers complete on a queue of the
// source's own. Owned through shared_ptr by whoever reads; cancel() (or the last owner going)
// ends the transfers at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/foundation/error.h"

namespace dk::platform {

class RecordingSource {
 public:
  struct Limits {
    // Small enough that a seek over a slow line reads little beyond what it needs.
    int64_t chunkBytes = 128 << 10;
    int64_t heldBytes = 64LL << 20;          // on disk at most, per source
    int64_t largestRecording = 16LL << 30;   // a larger size from the server is refused
    int64_t largestWholeReply = 64LL << 20;  // a server that ignores ranges may send this much (the
                                             // only bound on a reply's size)
    double idleSeconds = 20;
    double deadlineSeconds = 25;
  };

  // The recording at `url` (absolute https), fetched with "Authorization: Bearer <token>".
  // nullptr with *error when the private file cannot be made.
  static std::shared_ptr<RecordingSource> create(std::string url, std::string bearerToken, Limits limits,
                                                 ErrorPtr* error);
  ~RecordingSource();
  RecordingSource(const RecordingSource&) = delete;
  RecordingSource& operator=(const RecordingSource&) = delete;

  // Copies up to `count` bytes at `offset` into `out`, fetching them first when not held.
  // Returns the bytes copied (> 0), 0 at the end, -1 after a failure or cancel().
  int64_t read(int64_t offset, uint8_t* out, int64_t count);
  // The recording's size in bytes (asks the server when not known yet); -1 after a failure.
  int64_t size();
  // Asks at once, without waiting, for the pieces of [offset, offset + length) not held or on
  // their way, in one range request per run of them rather than one per piece: for a reader
  // that knows it is about to read the whole span (a container's index). A span is taken only
  // as far as half of Limits::heldBytes (so that it never pushes out its own start); readers
  // wait for it as for any piece.
  void prefetch(int64_t offset, int64_t length);

  // Asks the server for the recording's current size without reading it (one byte), and when
  // it has grown, reads the new version from then on: what is held of the old version's media
  // stays when the new version only appended to it (checked by reading its first bytes and the
  // last bytes kept again), everything else is read anew. A fragmented MP4 grows by fragments
  // appended at its end: everything held of it stays, and a reply that already comes from the
  // longer version while the old one is read is taken, not refused as a change. Blocks like read(); true when the
  // recording grew.
  bool refreshGrowth();

  // Ends every transfer and wakes every reader; later reads fail.
  void cancel();
  ErrorPtr error() const;
  // The server said the recording is still being recorded ("X-Recording-Open: true").
  bool isOpenRecording() const;

  // What it cost, for tests and benches: range requests sent, body bytes received, bytes held.
  int requestsSent() const;
  int64_t bytesReceived() const;
  int64_t bytesHeld() const;
  // The private file's folder (gone once the source is).
  std::string folder() const;

  struct Core;

 private:
  explicit RecordingSource(std::shared_ptr<Core> core) : core_(std::move(core)) {}
  std::shared_ptr<Core> core_;
};

using RecordingSourcePtr = std::shared_ptr<RecordingSource>;

}  // namespace dk::platform
