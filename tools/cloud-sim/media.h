// Media the simulated cloud serves, made on the spot: the accent colours of the pictures (drawn in
// scene_pictures.h) and MPEG-4 byte streams for clip downloads.
//
// The clips are ISO base-media files with a well-formed box tree
// (ftyp, moov with one video track, mdat) around a deterministic payload; they are for
// download and progress tests of a scripted size, not for playback (real video: recording_video.h).
//
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace dk::cloudsim::detail {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// The accent colour the thumbnails use for an event type.
Rgb accentForEventType(const std::string& type);

// An MPEG-4 file of (at least the box tree and then) `totalBytes` bytes.
class Mp4Clip {
 public:
  Mp4Clip(uint64_t totalBytes, double durationSeconds, uint64_t seed);

  uint64_t size() const { return size_; }
  // Writes bytes [offset, offset + count) of the file to out.
  void fill(uint64_t offset, char* out, size_t count) const;
  // Size of everything before the payload.
  size_t headerSize() const { return header_.size(); }

 private:
  std::string header_;  // ftyp, moov and the mdat box header
  uint64_t size_ = 0;
  uint64_t seed_ = 0;
};

}  // namespace dk::cloudsim::detail
