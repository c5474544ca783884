#include "platform/media/media_input_policy.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/dict.h>
}

namespace dk::platform {

bool openMediaInput(AVFormatContext** format, const char* url, const MediaInputPolicy& policy) {
  const AVInputFormat* demuxer = av_find_input_format(policy.demuxer);
  if (!demuxer) {
    avformat_close_input(format);  // as a failed open would
    return false;
  }
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", policy.formatWhitelist, 0);
  av_dict_set(&options, "protocol_whitelist", policy.protocolWhitelist, 0);
  if (policy.decoders) av_dict_set(&options, "codec_whitelist", policy.decoders, 0);
  av_dict_set(&options, "enable_drefs", "0", 0);
  const int opened = avformat_open_input(format, url, demuxer, &options);
  av_dict_free(&options);
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
