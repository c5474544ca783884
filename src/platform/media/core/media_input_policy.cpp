#include "platform/media/core/media_input_policy.h"

#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
}

namespace dk::platform {

bool openMediaInput(AVFormatContext** format, const char* url, const MediaInputPolicy& policy, const char* options) {
  // A few bytes of a container may claim millions of entries (a fragment's track run claiming 84
  // million samples), which the demuxer would allocate at once: no single allocation of FFmpeg's
  // goes over twice the largest picture taken (8192 x 8192, four bytes a pixel).
  static std::once_flag bounded;
  std::call_once(bounded, [] { av_max_alloc(size_t{512} << 20); });
  const AVInputFormat* demuxer = av_find_input_format(policy.demuxer);
  if (!demuxer) {
    avformat_close_input(format);  // as a failed open would
    return false;
  }
  AVDictionary* settings = nullptr;
  if (options && av_dict_parse_string(&settings, options, "=", ":", 0) < 0) {
    av_dict_free(&settings);
    avformat_close_input(format);
    return false;
  }
  // The policy's settings go last, over anything asked for.
  av_dict_set(&settings, "format_whitelist", policy.formatWhitelist, 0);
  av_dict_set(&settings, "protocol_whitelist", policy.protocolWhitelist, 0);
  if (policy.decoders) av_dict_set(&settings, "codec_whitelist", policy.decoders, 0);
  av_dict_set(&settings, "enable_drefs", "0", 0);
  const int opened = avformat_open_input(format, url, demuxer, &settings);
  av_dict_free(&settings);
  return opened >= 0;
}

bool allowsDecoder(const MediaInputPolicy& policy, const char* decoderName) {
  return !policy.decoders || (decoderName && av_match_list(decoderName, policy.decoders, ',') > 0);
}

const AVCodec* cameraSoundDecoder(int codecId, const MediaInputPolicy& policy) {
  const AVCodec* decoder = avcodec_find_decoder(static_cast<AVCodecID>(codecId));
  if (!decoder || decoder->type != AVMEDIA_TYPE_AUDIO || av_match_list(decoder->name, kCameraSoundDecoders, ',') <= 0 ||
      !allowsDecoder(policy, decoder->name)) {
    return nullptr;
  }
  return decoder;
}

}  // namespace dk::platform
