#include "test_videos.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavcodec/bsf.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace dk::platform::test {
namespace {

// A picture that changes every frame in every part: a gradient sliding by the frame number and
// a bright block crossing the picture, so motion prediction and B-frames are used.
void paint(AVFrame* frame, int index) {
  const int w = frame->width, h = frame->height;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool block = std::abs(x - (index * 5) % w) < 8 && std::abs(y - (index * 3) % h) < 8;
      frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(block ? 235 : (x * 2 + y + index * 6) & 0xff);
    }
  }
  for (int y = 0; y < h / 2; ++y) {
    for (int x = 0; x < w / 2; ++x) {
      frame->data[1][y * frame->linesize[1] + x] = static_cast<uint8_t>(128 + ((x + index * 4) & 0x3f) - 32);
      frame->data[2][y * frame->linesize[2] + x] = static_cast<uint8_t>(128 + ((y * 3 + index) & 0x3f) - 32);
    }
  }
}

// Upright bars 12 pixels wide every 32 on a dark ground, moving right 5 pixels a field: the lines
// of each field show the bars where they were at that field's moment.
void paintFields(AVFrame* frame, int index, bool bottomFirst) {
  for (int y = 0; y < frame->height; ++y) {
    const bool firstField = (y % 2 == 0) != bottomFirst;
    const int shift = (index * 2 + (firstField ? 0 : 1)) * 5;
    for (int x = 0; x < frame->width; ++x) {
      frame->data[0][y * frame->linesize[0] + x] = ((x + 64 * 32 - shift) % 32) < 12 ? 220 : 40;
    }
  }
  for (int y = 0; y < frame->height / 2; ++y) {
    std::memset(frame->data[1] + y * frame->linesize[1], 128, static_cast<size_t>(frame->width / 2));
    std::memset(frame->data[2] + y * frame->linesize[2], 128, static_cast<size_t>(frame->width / 2));
  }
}

// The picture `o.rgb` describes, made YUV as the stream's tags say: the matrix's weights of red
// and blue, and the range. Chroma is taken at the top-left pixel of each 2x2 block.
void paintColours(AVFrame* frame, const TestVideoOptions& o) {
  const bool bt709 = o.colorspace == AVCOL_SPC_BT709;
  const double kr = bt709 ? 0.2126 : 0.299, kb = bt709 ? 0.0722 : 0.114;
  auto yuv = [&](int x, int y) {
    const std::array<uint8_t, 3> c = o.rgb(x, y);
    const double r = c[0] / 255.0, g = c[1] / 255.0, b = c[2] / 255.0;
    const double luma = kr * r + (1 - kr - kb) * g + kb * b;
    const double pb = (b - luma) / (2 * (1 - kb)), pr = (r - luma) / (2 * (1 - kr));
    auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); };
    if (o.fullRange) return std::array<uint8_t, 3>{byte(255 * luma), byte(128 + 255 * pb), byte(128 + 255 * pr)};
    return std::array<uint8_t, 3>{byte(16 + 219 * luma), byte(128 + 224 * pb), byte(128 + 224 * pr)};
  };
  for (int y = 0; y < frame->height; ++y) {
    for (int x = 0; x < frame->width; ++x) {
      const std::array<uint8_t, 3> p = yuv(x, y);
      frame->data[0][y * frame->linesize[0] + x] = p[0];
      if (x % 2 == 0 && y % 2 == 0) {
        frame->data[1][(y / 2) * frame->linesize[1] + x / 2] = p[1];
        frame->data[2][(y / 2) * frame->linesize[2] + x / 2] = p[2];
      }
    }
  }
}

ImagePtr toImage(const AVFrame* frame) {
  const int w = frame->width, h = frame->height;
  SwsContext* scaler = sws_getContext(w, h, static_cast<AVPixelFormat>(frame->format), w, h, AV_PIX_FMT_BGRA,
                                      SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (!scaler) return nullptr;
  std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
  uint8_t* destination[1] = {pixels.data()};
  const int stride[1] = {w * 4};
  sws_scale(scaler, frame->data, frame->linesize, 0, h, destination, stride);
  sws_freeContext(scaler);
  return Image::fromPixels(pixels.data(), w, h, w * 4, 1.0, true);
}

}  // namespace

bool writeTestVideo(const std::string& path, const TestVideoOptions& o, std::string* why) {
  auto fail = [&](const char* text) {
    *why = text;
    return false;
  };
  av_log_set_level(AV_LOG_QUIET);  // the encoders report every file they make
  const AVCodec* encoder = avcodec_find_encoder_by_name(o.encoder.c_str());
  if (!encoder) return fail("no such encoder");
  AVFormatContext* format = nullptr;
  if (avformat_alloc_output_context2(&format, nullptr, o.container.c_str(), path.c_str()) < 0) return fail("no muxer");
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> formatGuard(format, [](AVFormatContext* f) {
    if (f->pb) avio_closep(&f->pb);
    avformat_free_context(f);
  });
  AVCodecContext* codec = nullptr;
  std::unique_ptr<AVCodecContext*, void (*)(AVCodecContext**)> codecGuard(&codec, avcodec_free_context);
  const bool variable = !o.frameMilliseconds.empty();
  // `inBand`: the parameter sets go with each key frame instead of the file's header (as an
  // encoder restarted at another size mid-recording writes them).
  auto openEncoder = [&](int width, int height, bool inBand) {
    avcodec_free_context(&codec);
    codec = avcodec_alloc_context3(encoder);
    codec->width = width;
    codec->height = height;
    codec->pix_fmt = AV_PIX_FMT_YUV420P;
    codec->time_base = variable ? AVRational{1, 1000} : AVRational{1, o.fps};
    codec->framerate = AVRational{o.fps, 1};
    codec->gop_size = o.gop;
    codec->max_b_frames = o.bFrames;
    codec->colorspace = static_cast<AVColorSpace>(o.colorspace);
    if (o.colorspace == AVCOL_SPC_BT709) {
      codec->color_primaries = AVCOL_PRI_BT709;
      codec->color_trc = AVCOL_TRC_BT709;
    } else if (o.colorspace == AVCOL_SPC_SMPTE170M) {
      codec->color_primaries = AVCOL_PRI_SMPTE170M;
      codec->color_trc = AVCOL_TRC_SMPTE170M;
    }
    if (o.fullRange) codec->color_range = AVCOL_RANGE_JPEG;
    if ((format->oformat->flags & AVFMT_GLOBALHEADER) && !inBand) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (o.encoder == "libx264") {
      av_opt_set(codec->priv_data, "preset", "veryfast", 0);
      const std::string params = "keyint=" + std::to_string(o.gop) + ":min-keyint=" + std::to_string(o.gop) +
                                 ":scenecut=0:bframes=" + std::to_string(o.bFrames) +
                                 (o.openGop ? ":open-gop=1" : "");
      av_opt_set(codec->priv_data, "x264-params", params.c_str(), 0);
      if (o.rgb) av_opt_set(codec->priv_data, "crf", "2", 0);
      if (o.interlaced) {
        codec->flags |= AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME;
        codec->field_order = o.bottomFieldFirst ? AV_FIELD_BB : AV_FIELD_TT;
        const std::string fields = params + (o.bottomFieldFirst ? ":bff=1" : ":tff=1");
        av_opt_set(codec->priv_data, "x264-params", fields.c_str(), 0);
        av_opt_set(codec->priv_data, "crf", "12", 0);
      }
    } else if (o.encoder == "libx265") {
      const std::string params = "log-level=error:keyint=" + std::to_string(o.gop) + ":bframes=" + std::to_string(o.bFrames);
      av_opt_set(codec->priv_data, "x265-params", params.c_str(), 0);
      if (o.rgb) av_opt_set(codec->priv_data, "crf", "2", 0);
    } else {
      codec->flags |= AV_CODEC_FLAG_QSCALE;
      codec->global_quality = FF_QP2LAMBDA * 4;
    }
    return avcodec_open2(codec, encoder, nullptr) >= 0;
  };
  if (!openEncoder(o.width, o.height, false)) return fail("the encoder does not open");
  AVStream* stream = avformat_new_stream(format, nullptr);
  if (!stream) return fail("no stream");
  stream->time_base = codec->time_base;
  avcodec_parameters_from_context(stream->codecpar, codec);
  AVBSFContext* filter = nullptr;
  std::unique_ptr<AVBSFContext*, void (*)(AVBSFContext**)> filterGuard(&filter, av_bsf_free);
  if (!o.bitstreamFilter.empty()) {
    if (av_bsf_list_parse_str(o.bitstreamFilter.c_str(), &filter) < 0 ||
        avcodec_parameters_copy(filter->par_in, stream->codecpar) < 0) {
      return fail("no such bitstream filter");
    }
    filter->time_base_in = stream->time_base;
    if (av_bsf_init(filter) < 0 || avcodec_parameters_copy(stream->codecpar, filter->par_out) < 0) {
      return fail("the bitstream filter does not open");
    }
  }
  if (o.displayMatrix) {
    uint8_t* side = av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, sizeof(int32_t) * 9);
    if (!side) return fail("no display matrix");
    std::memcpy(side, o.displayMatrix->data(), sizeof(int32_t) * 9);
  }
  const bool ownFiles = format->oformat->flags & AVFMT_NOFILE;
  if (!ownFiles && avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return fail("cannot write the file");
  AVDictionary* muxerOptions = nullptr;
  if (o.indexFirst) av_dict_set(&muxerOptions, "movflags", "+faststart", 0);
  if (!o.movflags.empty()) av_dict_set(&muxerOptions, "movflags", o.movflags.c_str(), 0);
  if (o.fragmentSeconds > 0) {
    av_dict_set_int(&muxerOptions, "frag_duration", static_cast<int64_t>(o.fragmentSeconds * 1e6), 0);
  }
  for (const auto& [name, value] : o.muxerOptions) av_dict_set(&muxerOptions, name.c_str(), value.c_str(), 0);
  const int header = avformat_write_header(format, &muxerOptions);
  av_dict_free(&muxerOptions);
  if (header < 0) return fail("no header");

  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  std::unique_ptr<AVFrame*, void (*)(AVFrame**)> frameGuard(&frame, av_frame_free);
  std::unique_ptr<AVPacket*, void (*)(AVPacket**)> packetGuard(&packet, av_packet_free);
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = o.width;
  frame->height = o.height;
  if (av_frame_get_buffer(frame, 0) < 0) return fail("no frame");
  const int64_t first = static_cast<int64_t>(o.startSeconds * (variable ? 1000 : o.fps) + 0.5);
  std::vector<int64_t> starts;  // of each frame, in the codec's time base
  std::map<int64_t, int64_t> lengths;  // by start
  for (int i = 0, at = 0; i < o.frames; ++i) {
    const int length = variable ? o.frameMilliseconds[static_cast<size_t>(i) % o.frameMilliseconds.size()] : 1;
    starts.push_back(first + at);
    lengths[first + at] = length;
    at += length;
  }
  auto drain = [&](AVFrame* input) {
    if (avcodec_send_frame(codec, input) < 0) return false;
    for (;;) {
      const int rc = avcodec_receive_packet(codec, packet);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return false;
      packet->duration = o.packetDurations ? lengths[packet->pts] : 0;
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (!filter) {
        if (av_interleaved_write_frame(format, packet) < 0) return false;
        continue;
      }
      if (av_bsf_send_packet(filter, packet) < 0) return false;
      while (av_bsf_receive_packet(filter, packet) == 0) {
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(format, packet) < 0) return false;
      }
    }
  };
  for (int i = 0; i < o.frames; ++i) {
    if (i == o.otherSizeFrom) {
      if (!drain(nullptr)) return fail("encoding failed");
      const int width = o.width + 32;
      if (!openEncoder(width, o.height, true)) return fail("the encoder does not open");
      av_frame_unref(frame);
      frame->format = AV_PIX_FMT_YUV420P;
      frame->width = width;
      frame->height = o.height;
      if (av_frame_get_buffer(frame, 0) < 0) return fail("no frame");
    }
    if (av_frame_make_writable(frame) < 0) return fail("frame not writable");
    frame->interlaced_frame = o.interlaced;
    frame->top_field_first = o.interlaced && !o.bottomFieldFirst;
    if (o.rgb) {
      paintColours(frame, o);
    } else if (o.interlaced) {
      paintFields(frame, i, o.bottomFieldFirst);
    } else {
      paint(frame, i);
    }
    frame->pts = starts[static_cast<size_t>(i)];
    if (!drain(frame)) return fail("encoding failed");
  }
  if (!drain(nullptr) || av_write_trailer(format) < 0) return fail("the file does not end");
  return true;
}

bool cutTestClip(const std::string& source, const std::string& path, size_t firstPacket, std::string* why) {
  auto fail = [&](const char* text) {
    *why = text;
    return false;
  };
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, source.c_str(), nullptr, nullptr) < 0) return fail("the source does not open");
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> inputGuard(&input, avformat_close_input);
  if (avformat_find_stream_info(input, nullptr) < 0) return fail("no stream information");
  const int video = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (video < 0) return fail("no video");
  AVFormatContext* output = nullptr;
  if (avformat_alloc_output_context2(&output, nullptr, "mp4", path.c_str()) < 0) return fail("no muxer");
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> outputGuard(output, [](AVFormatContext* f) {
    if (f->pb) avio_closep(&f->pb);
    avformat_free_context(f);
  });
  AVStream* stream = avformat_new_stream(output, nullptr);
  if (!stream || avcodec_parameters_copy(stream->codecpar, input->streams[video]->codecpar) < 0) return fail("no stream");
  stream->codecpar->codec_tag = 0;
  stream->time_base = input->streams[video]->time_base;
  if (avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return fail("cannot write the file");
  if (avformat_write_header(output, nullptr) < 0) return fail("no header");
  AVPacket* packet = av_packet_alloc();
  std::unique_ptr<AVPacket*, void (*)(AVPacket**)> packetGuard(&packet, av_packet_free);
  int64_t shift = AV_NOPTS_VALUE;
  for (size_t index = 0; av_read_frame(input, packet) >= 0; av_packet_unref(packet)) {
    if (packet->stream_index != video || index++ < firstPacket) continue;
    if (shift == AV_NOPTS_VALUE) shift = packet->pts;
    packet->pts -= shift;
    packet->dts -= shift;
    packet->pos = -1;
    packet->stream_index = stream->index;
    av_packet_rescale_ts(packet, input->streams[video]->time_base, stream->time_base);
    if (av_interleaved_write_frame(output, packet) < 0) return fail("a packet is refused");
  }
  if (shift == AV_NOPTS_VALUE) return fail("nothing from that packet on");
  if (av_write_trailer(output) < 0) return fail("the file does not end");
  return true;
}

bool remuxTestFile(const std::string& source, const std::string& path, const std::string& movflags, std::string* why,
                   int fillerBytes) {
  auto fail = [&](const char* text) {
    *why = text;
    return false;
  };
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* input = nullptr;
  if (avformat_open_input(&input, source.c_str(), nullptr, nullptr) < 0) return fail("the source does not open");
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> inputGuard(&input, avformat_close_input);
  if (avformat_find_stream_info(input, nullptr) < 0) return fail("no stream information");
  AVFormatContext* output = nullptr;
  if (avformat_alloc_output_context2(&output, nullptr, "mp4", path.c_str()) < 0) return fail("no muxer");
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> outputGuard(output, [](AVFormatContext* f) {
    if (f->pb) avio_closep(&f->pb);
    avformat_free_context(f);
  });
  for (unsigned i = 0; i < input->nb_streams; ++i) {
    AVStream* stream = avformat_new_stream(output, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar) < 0) return fail("no stream");
    stream->codecpar->codec_tag = 0;
    stream->time_base = input->streams[i]->time_base;
  }
  if (avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return fail("cannot write the file");
  AVDictionary* options = nullptr;
  if (!movflags.empty()) av_dict_set(&options, "movflags", movflags.c_str(), 0);
  const int header = avformat_write_header(output, &options);
  av_dict_free(&options);
  if (header < 0) return fail("no header");
  AVPacket* packet = av_packet_alloc();
  std::unique_ptr<AVPacket*, void (*)(AVPacket**)> packetGuard(&packet, av_packet_free);
  for (; av_read_frame(input, packet) >= 0; av_packet_unref(packet)) {
    const AVRational from = input->streams[packet->stream_index]->time_base;
    packet->pos = -1;
    if (fillerBytes > 5 && input->streams[packet->stream_index]->codecpar->codec_id == AV_CODEC_ID_H264) {
      // A filler data unit (type 12) after the picture's own, with its 4-byte length.
      const int size = packet->size;
      if (av_grow_packet(packet, fillerBytes) < 0) return fail("out of memory");
      uint8_t* unit = packet->data + size;
      const auto length = static_cast<uint32_t>(fillerBytes - 4);
      for (int i = 0; i < 4; ++i) unit[i] = static_cast<uint8_t>(length >> (24 - 8 * i));
      unit[4] = 12;
      std::memset(unit + 5, 0xff, static_cast<size_t>(fillerBytes - 6));
      unit[fillerBytes - 1] = 0x80;
    }
    av_packet_rescale_ts(packet, from, output->streams[packet->stream_index]->time_base);
    if (av_interleaved_write_frame(output, packet) < 0) return fail("a packet is refused");
  }
  if (av_write_trailer(output) < 0) return fail("the file does not end");
  return true;
}

double combing(const Image& picture) {
  const int w = picture.pixelWidth(), h = picture.pixelHeight();
  if (w <= 0 || h < 2) return 0;
  long combed = 0;
  for (int y = 0; y + 1 < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int here = static_cast<int>(picture.pixelValue(x, y) >> 8 & 0xff);
      const int below = static_cast<int>(picture.pixelValue(x, y + 1) >> 8 & 0xff);
      if (std::abs(here - below) > 85) ++combed;
    }
  }
  return static_cast<double>(combed) / (static_cast<double>(w) * (h - 1));
}

std::string writeFragmentedUpload(const std::string& folder, int frames, int width, int height, std::string* why) {
  const std::string path = folder + "/fragmented.mp4";
  TestVideoOptions options;
  options.width = width;
  options.height = height;
  options.frames = frames;
  options.gop = 10;
  options.movflags = "frag_keyframe+empty_moov+default_base_moof+skip_trailer";
  return writeTestVideo(path, options, why) ? path : std::string();
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<TopLevelBox> topLevelBoxes(const std::string& bytes) {
  std::vector<TopLevelBox> boxes;
  for (size_t at = 0; at + 8 <= bytes.size();) {
    size_t size = 0;
    for (size_t i = 0; i < 4; ++i) size = (size << 8) | static_cast<uint8_t>(bytes[at + i]);
    if (size < 8 || size > bytes.size() - at) break;
    boxes.push_back({at, bytes.substr(at + 4, 4), size});
    at += size;
  }
  return boxes;
}

int clearKeyFlags(std::string& fragmented) {
  int runs = 0;
  for (size_t trun = fragmented.find("trun"); trun != std::string::npos; trun = fragmented.find("trun", trun + 4)) {
    const auto flags = static_cast<uint8_t>(fragmented[trun + 7]);
    if (!(flags & 0x04)) return 0;
    const size_t first = trun + 12 + ((flags & 0x01) ? 4 : 0);
    fragmented.replace(first, 4, std::string("\x01\x01\x00\x00", 4));  // depends on others, not a sync sample
    ++runs;
  }
  return runs;
}

std::vector<SampleSpan> samplesOf(const std::string& path) {
  std::vector<SampleSpan> spans;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return spans;
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(format, packet) >= 0) {
    SampleSpan span;
    span.pos = packet->pos;
    span.size = packet->size;
    span.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    span.time = static_cast<double>(packet->pts) * av_q2d(format->streams[packet->stream_index]->time_base);
    // Length-prefixed H.264: the first unit's nal_ref_idc 0 on a slice.
    span.disposable = packet->size > 4 && (packet->data[4] & 0x1f) == 1 && (packet->data[4] & 0x60) == 0;
    spans.push_back(span);
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&format);
  return spans;
}

void addNoise(std::string& bytes, int64_t offset, int64_t count) {
  uint32_t noise = 0x2545f491u;
  for (int64_t i = offset; i < offset + count && i < static_cast<int64_t>(bytes.size()); ++i) {
    noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
    bytes[static_cast<size_t>(i)] = static_cast<char>(noise);
  }
}

void scrambleSamples(std::string& bytes, const std::string& path, size_t firstSample, size_t count) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return;
  AVPacket* packet = av_packet_alloc();
  uint32_t noise = 0x9e3779b9u;
  for (size_t sample = 0; av_read_frame(format, packet) >= 0; ++sample) {
    if (sample >= firstSample && sample - firstSample < count && packet->pos >= 0) {
      for (int64_t i = packet->pos + 6; i < packet->pos + packet->size && i < static_cast<int64_t>(bytes.size()); ++i) {
        noise ^= noise << 13, noise ^= noise >> 17, noise ^= noise << 5;
        bytes[static_cast<size_t>(i)] = static_cast<char>(noise);
      }
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  avformat_close_input(&format);
}

SequentialDecode decodeSequentially(const std::string& path) {
  SequentialDecode result;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return result;
  std::unique_ptr<AVFormatContext*, void (*)(AVFormatContext**)> formatGuard(&format, avformat_close_input);
  if (avformat_find_stream_info(format, nullptr) < 0) return result;
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) return result;
  const AVStream* stream = format->streams[index];
  const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
  AVCodecContext* codec = avcodec_alloc_context3(decoder);
  std::unique_ptr<AVCodecContext*, void (*)(AVCodecContext**)> codecGuard(&codec, avcodec_free_context);
  avcodec_parameters_to_context(codec, stream->codecpar);
  codec->thread_count = 1;
  if (avcodec_open2(codec, decoder, nullptr) < 0) return result;
  result.movieDuration = static_cast<double>(format->duration) / AV_TIME_BASE;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  std::unique_ptr<AVPacket*, void (*)(AVPacket**)> packetGuard(&packet, av_packet_free);
  std::unique_ptr<AVFrame*, void (*)(AVFrame**)> frameGuard(&frame, av_frame_free);
  auto take = [&] {
    while (avcodec_receive_frame(codec, frame) == 0) {
      result.times.push_back(static_cast<double>(frame->pts) * av_q2d(stream->time_base));
      result.pictures.push_back(toImage(frame));
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == index) avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    take();
  }
  avcodec_send_packet(codec, nullptr);
  take();
  return result;
}

}  // namespace dk::platform::test
