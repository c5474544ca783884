// The AVIO side of a MediaInput: a position over its read/size pair, for the video and
// the sound decoders alike. Included by platform .cpp files only (it needs FFmpeg's headers).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/media/recordings/media_input.h"
#include "platform/media/core/media_input_policy.h"
#include "platform/media/recordings/mp4_boxes.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/mem.h>
#include <libavutil/error.h>
}

namespace dk::platform {

struct MediaInputReader {
  MediaInput input;
  int64_t position = 0;
  // The movie box, already read: served from here rather than read again.
  std::shared_ptr<const Mp4Movie> movie;
  // A stretch of top-level boxes the demuxer is shown as one box to skip, so that it goes from
  // the box before straight to the one at `hideTo` (a fragment far into the file) without
  // reading what lies between. Nothing hidden when hideTo <= hideFrom.
  int64_t hideFrom = 0, hideTo = 0;

  int64_t readAt(int64_t offset, uint8_t* buffer, int64_t size) {
    if (hideTo - hideFrom >= 16 && offset >= hideFrom && offset < hideTo) {
      // A large-size "free" box header, then nothing worth reading.
      uint8_t header[16] = {0, 0, 0, 1, 'f', 'r', 'e', 'e'};
      const auto length = static_cast<uint64_t>(hideTo - hideFrom);
      for (int i = 0; i < 8; ++i) header[8 + i] = static_cast<uint8_t>(length >> (56 - 8 * i));
      if (offset < hideFrom + 16) {
        const int64_t n = std::min<int64_t>(size, hideFrom + 16 - offset);
        std::memcpy(buffer, header + (offset - hideFrom), static_cast<size_t>(n));
        return n;
      }
      const int64_t n = std::min<int64_t>(size, hideTo - offset);
      std::memset(buffer, 0, static_cast<size_t>(n));
      return n;
    }
    if (hideTo - hideFrom >= 16 && offset < hideFrom) size = std::min<int64_t>(size, hideFrom - offset);
    if (movie && movie->holds(offset)) {
      const int64_t n = std::min<int64_t>(size, movie->at + static_cast<int64_t>(movie->bytes.size()) - offset);
      std::memcpy(buffer, movie->bytes.data() + (offset - movie->at), static_cast<size_t>(n));
      return n;
    }
    if (movie && offset < movie->at) size = std::min<int64_t>(size, movie->at - offset);
    return input.read(offset, buffer, size);
  }

  static int read(void* opaque, uint8_t* buffer, int size) {
    auto& r = *static_cast<MediaInputReader*>(opaque);
    const int64_t n = r.readAt(r.position, buffer, size);
    if (n < 0) return AVERROR(EIO);
    if (n == 0) return AVERROR_EOF;
    r.position += n;
    return static_cast<int>(n);
  }
  static int64_t seek(void* opaque, int64_t offset, int whence) {
    auto& r = *static_cast<MediaInputReader*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE) return r.input.size ? r.input.size() : -1;
    int64_t target = offset;
    if (whence == SEEK_CUR) target = r.position + offset;
    if (whence == SEEK_END) {
      const int64_t size = r.input.size ? r.input.size() : -1;
      if (size < 0) return -1;
      target = size + offset;
    }
    if (target < 0) return -1;
    r.position = target;
    return target;
  }
};

// Demuxer options for a recording read through a reader: the mov demuxer reads a fragmented
// file's fragments as it gets to them (ignoring the index it would otherwise make by reading
// every fragment first); the decoders place it at a far fragment themselves. Each fragment's
// times come from its own decode time box: the times of a random access box at the file's end
// are not taken, as ffmpeg's muxer writes them on another time line where composition offsets
// are negative.
// Only for a fragmented file: any other keeps the demuxer's index, which also says where a
// recording cut short lost its samples.
inline constexpr const char* kRecordingReaderOptions = "fflags=+ignidx";

// Opens *format over `reader` through an AVIO context with a buffer of `bufferBytes`, under
// `policy` (and the demuxer's `options`, "key=value:..."). nullptr when opened, else why not;
// what was made stays in *io and *format for the caller to free (a failed open has freed the
// format context already).
inline const char* openReaderInput(MediaInputReader* reader, int bufferBytes, const MediaInputPolicy& policy,
                                   AVIOContext** io, AVFormatContext** format, const char* options = nullptr) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(static_cast<size_t>(bufferBytes)));
  if (!buffer) return "out of memory";
  *io = avio_alloc_context(buffer, bufferBytes, 0, reader, &MediaInputReader::read, nullptr, &MediaInputReader::seek);
  if (!*io) {
    av_free(buffer);
    return "out of memory";
  }
  *format = avformat_alloc_context();
  if (!*format) return "out of memory";
  (*format)->pb = *io;
  (*format)->flags |= AVFMT_FLAG_CUSTOM_IO;
  if (!openMediaInput(format, nullptr, policy, options)) return "not a media file";
  return nullptr;
}

// Opens a recording over `reader` (its input set): the movie box is read once here (or taken from
// the input, as another decoder of the same bytes read it) and everything after, the demuxer too,
// looks into that copy; a fragmented recording's demuxer reads its fragments as it gets to them.
// nullptr when opened, else why not (see openReaderInput); *fragmented says which it is.
inline const char* openRecordingInput(MediaInputReader* reader, int bufferBytes, const MediaInputPolicy& policy,
                                      AVIOContext** io, AVFormatContext** format, bool* fragmented) {
  const int64_t size = reader->input.size ? reader->input.size() : -1;
  reader->movie = reader->input.movie ? reader->input.movie : mp4ReadMovie(reader->input.read, size, kLargestMovieBox);
  *fragmented = reader->movie && mp4IsFragmented(*reader->movie);
  return openReaderInput(reader, bufferBytes, policy, io, format, *fragmented ? kRecordingReaderOptions : nullptr);
}

// Opens a fragmented recording's demuxer again (freeing the one in *io and *format) so that it
// reads on from the fragment at `moof` (-1: the file's start): the boxes between the movie box
// and it are shown as one to skip. Every stream but `keep` is discarded. False when it does not
// open (nothing is left open then).
inline bool reopenReaderInputAt(MediaInputReader* reader, int64_t moof, int bufferBytes, const MediaInputPolicy& policy,
                                AVIOContext** io, AVFormatContext** format, int keep) {
  avformat_close_input(format);
  if (*io) {
    av_freep(&(*io)->buffer);
    avio_context_free(io);
  }
  const int64_t movieEnd = reader->movie->at + static_cast<int64_t>(reader->movie->bytes.size());
  reader->position = 0;
  reader->hideFrom = moof >= 0 ? movieEnd : 0;
  reader->hideTo = moof >= 0 ? moof : 0;
  if (openReaderInput(reader, bufferBytes, policy, io, format, kRecordingReaderOptions) != nullptr ||
      static_cast<int>((*format)->nb_streams) <= keep) {
    avformat_close_input(format);
    return false;
  }
  for (unsigned i = 0; i < (*format)->nb_streams; ++i) {
    (*format)->streams[i]->discard = static_cast<int>(i) == keep ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  return true;
}

// Where a fragment worth hiding the boxes before starts: -1 (the file's start) for one right
// after the movie box.
inline int64_t placeableFragment(const Mp4Movie& movie, int64_t moof) {
  return moof >= movie.at + static_cast<int64_t>(movie.bytes.size()) + 16 ? moof : -1;
}

}  // namespace dk::platform
