#include "test_hls.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace dk::platform::test {
namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

bool writeTestHls(const std::string& folder, const TestHlsOptions& o, TestHls* out, std::string* why) {
  auto fail = [&](const char* text) {
    *why = text;
    return false;
  };
  av_log_set_level(AV_LOG_QUIET);
  const bool fragmented = o.segmentType == "fmp4";
  const std::filesystem::path dir(folder);
  const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
  if (!encoder) return fail("no H.264 encoder");
  AVFormatContext* format = nullptr;
  if (avformat_alloc_output_context2(&format, nullptr, "hls", (dir / "index.m3u8").c_str()) < 0) return fail("no muxer");
  std::unique_ptr<AVFormatContext, void (*)(AVFormatContext*)> formatGuard(format, avformat_free_context);
  AVCodecContext* codec = avcodec_alloc_context3(encoder);
  std::unique_ptr<AVCodecContext*, void (*)(AVCodecContext**)> codecGuard(&codec, avcodec_free_context);
  const int gop = o.fps * o.segmentSeconds;
  codec->width = o.width;
  codec->height = o.height;
  codec->pix_fmt = AV_PIX_FMT_YUV420P;
  codec->time_base = AVRational{1, o.fps};
  codec->framerate = AVRational{o.fps, 1};
  codec->gop_size = gop;
  if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(codec->priv_data, "preset", "veryfast", 0);
  const std::string params = "keyint=" + std::to_string(gop) + ":min-keyint=" + std::to_string(gop) + ":scenecut=0";
  av_opt_set(codec->priv_data, "x264-params", params.c_str(), 0);
  if (avcodec_open2(codec, encoder, nullptr) < 0) return fail("the encoder does not open");
  AVStream* stream = avformat_new_stream(format, nullptr);
  if (!stream) return fail("no stream");
  stream->time_base = codec->time_base;
  avcodec_parameters_from_context(stream->codecpar, codec);

  AVDictionary* options = nullptr;
  av_dict_set(&options, "hls_time", std::to_string(o.segmentSeconds).c_str(), 0);
  av_dict_set(&options, "hls_list_size", "0", 0);
  av_dict_set(&options, "hls_segment_type", o.segmentType.c_str(), 0);
  if (o.programDateTime) av_dict_set(&options, "hls_flags", "program_date_time", 0);
  av_dict_set(&options, "hls_segment_filename", (dir / (fragmented ? "index%d.m4s" : "index%d.ts")).c_str(), 0);
  const int header = avformat_write_header(format, &options);
  av_dict_free(&options);
  if (header < 0) return fail("no header");

  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  std::unique_ptr<AVFrame*, void (*)(AVFrame**)> frameGuard(&frame, av_frame_free);
  std::unique_ptr<AVPacket*, void (*)(AVPacket**)> packetGuard(&packet, av_packet_free);
  frame->format = AV_PIX_FMT_YUV420P;
  frame->width = o.width;
  frame->height = o.height;
  if (av_frame_get_buffer(frame, 0) < 0) return fail("no frame");
  auto drain = [&](AVFrame* input) {
    if (avcodec_send_frame(codec, input) < 0) return false;
    for (;;) {
      const int rc = avcodec_receive_packet(codec, packet);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return true;
      if (rc < 0) return false;
      packet->duration = 1;
      av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (av_interleaved_write_frame(format, packet) < 0) return false;
    }
  };
  const int frames = gop * o.segments;
  for (int i = 0; i < frames; ++i) {
    if (av_frame_make_writable(frame) < 0) return fail("frame not writable");
    // A picture that changes every frame: brightness steps with the frame number.
    for (int plane = 0; plane < 3; ++plane) {
      const int rows = plane ? o.height / 2 : o.height;
      for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < (plane ? o.width / 2 : o.width); ++x) {
          frame->data[plane][y * frame->linesize[plane] + x] =
              static_cast<uint8_t>(plane ? 128 : 16 + ((x + y + i * 4) & 0x7f));
        }
      }
    }
    frame->pts = i;
    if (!drain(frame)) return fail("encoding failed");
  }
  if (!drain(nullptr) || av_write_trailer(format) < 0) return fail("the stream does not end");

  out->playlist = readFile(dir / "index.m3u8");
  out->files.clear();
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name != "index.m3u8") out->files[name] = readFile(entry.path());
  }
  if (out->playlist.empty() || out->files.empty()) return fail("nothing was written");
  return true;
}

}  // namespace dk::platform::test
