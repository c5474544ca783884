#include "platform/media/recordings/mp4_check.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <sys/stat.h>

#include <memory>

#include "platform/media/core/media_input_policy.h"

namespace dk::platform {

namespace {

ErrorPtr failure(int64_t code, std::string description) {
  return Error::make(kMp4CheckErrorDomain, code, std::move(description));
}

struct InputCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

}  // namespace

ErrorPtr checkCompleteMp4Video(const std::string& path) {
  // lstat: the file is a download of our own; a link in its place is not followed.
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return failure(kMp4NotReadable, "No clip file.");
  const int64_t fileSize = st.st_size;

  AVFormatContext* raw = nullptr;
  const std::string url = "file:" + path;
  if (!openMediaInput(&raw, url.c_str(), kRecordingInputPolicy) || !raw) {
    return failure(kMp4NotReadable, "The clip is not an MP4 file with an index.");
  }
  std::unique_ptr<AVFormatContext, InputCloser> context(raw);

  bool hasVideo = false;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    AVStream* stream = context->streams[i];
    const int entries = avformat_index_get_entries_count(stream);
    for (int e = 0; e < entries; ++e) {
      const AVIndexEntry* entry = avformat_index_get_entry(stream, e);
      if (!entry) continue;
      if (entry->pos < 0 || entry->size < 0 || entry->pos > fileSize || entry->size > fileSize - entry->pos) {
        return failure(kMp4Truncated, "The clip ends before its last sample.");
      }
    }
    const AVCodecParameters* codec = stream->codecpar;
    if (codec && codec->codec_type == AVMEDIA_TYPE_VIDEO && entries > 0) {
      hasVideo = true;
    }
  }
  if (!hasVideo) return failure(kMp4NoVideo, "The clip has no video.");
  return nullptr;
}

}  // namespace dk::platform
