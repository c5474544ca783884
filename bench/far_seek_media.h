// Long fragmented recordings at the weights cameras write, for the far-seek benchmark: H.264 at
// 25 frames a second with B-frames and a key frame (a fragment) every two seconds, 640x360 at
// about 1.4 Mbit/s or 1920x1080 at about 4 Mbit/s, of any length, in the mp4 muxer's own shapes.
// Ten seconds of pictures are encoded once (in open or closed groups) and written again and again
// with their times running on, each picture padded with filler to the weight a camera's has; a
// file is made once and kept on disk (a later run finds it).
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace dk::bench {

struct FarSeekMedia {
  int width = 640, height = 360;
  int minutes = 10;
  bool openGop = false;
  std::string movflags;  // the shape: "frag_keyframe+empty_moov+default_base_moof" (+global_sidx, ...)
  std::string name() const {
    std::string shape = movflags;
    for (char& c : shape) c = c == '+' ? '-' : c;
    return std::to_string(height) + "p-" + std::to_string(minutes) + "min" + (openGop ? "-open" : "") + "-" + shape +
           ".mp4";
  }
};

namespace detail {

constexpr int kFps = 25;
constexpr int kCycleFrames = 250;  // ten seconds, five groups of pictures

// The encoded cycle: packets in decode order, times in 1/kFps.
inline std::vector<AVPacket*> encodeCycle(const FarSeekMedia& m, AVCodecParameters* parameters) {
  std::vector<AVPacket*> packets;
  const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
  AVCodecContext* codec = encoder ? avcodec_alloc_context3(encoder) : nullptr;
  if (!codec) return packets;
  codec->width = m.width;
  codec->height = m.height;
  codec->pix_fmt = AV_PIX_FMT_YUV420P;
  codec->time_base = AVRational{1, kFps};
  codec->framerate = AVRational{kFps, 1};
  codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  av_opt_set(codec->priv_data, "preset", "veryfast", 0);
  const std::string params = std::string("keyint=50:min-keyint=50:scenecut=0:bframes=2") +
                             (m.openGop ? ":open-gop=1" : "");
  av_opt_set(codec->priv_data, "x264-params", params.c_str(), 0);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  if (avcodec_open2(codec, encoder, nullptr) >= 0 && frame && packet) {
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = m.width;
    frame->height = m.height;
    av_frame_get_buffer(frame, 0);
    auto drain = [&](AVFrame* input) {
      avcodec_send_frame(codec, input);
      while (avcodec_receive_packet(codec, packet) == 0) {
        packets.push_back(av_packet_clone(packet));
        av_packet_unref(packet);
      }
    };
    for (int i = 0; i < kCycleFrames; ++i) {
      av_frame_make_writable(frame);
      // A gradient moving a few pixels a frame.
      for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) frame->data[0][y * frame->linesize[0] + x] = static_cast<uint8_t>(x + y + 3 * i);
      }
      for (int y = 0; y < m.height / 2; ++y) {
        std::memset(frame->data[1] + y * frame->linesize[1], 128 + (i % 50), static_cast<size_t>(m.width / 2));
        std::memset(frame->data[2] + y * frame->linesize[2], 100, static_cast<size_t>(m.width / 2));
      }
      frame->pts = i;
      drain(frame);
    }
    drain(nullptr);
    avcodec_parameters_from_context(parameters, codec);
  }
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&codec);
  return packets;
}

// The packet (Annex B, as the encoder gives it) with a filler unit (H.264 type 12) appended, so
// that it weighs about `bytes`.
inline void pad(AVPacket* p, int bytes) {
  const int filler = bytes - p->size - 6;
  if (filler <= 0) return;
  const int old = p->size;
  if (av_grow_packet(p, filler + 6) < 0) return;
  uint8_t* at = p->data + old;
  at[0] = 0;
  at[1] = 0;
  at[2] = 0;
  at[3] = 1;
  at[4] = 12;
  std::memset(at + 5, 0xff, static_cast<size_t>(filler));
  at[5 + filler] = 0x80;
}

}  // namespace detail

// The file's path in `folder`, made when it is not there yet; empty when it cannot be made.
inline std::string farSeekRecording(const std::string& folder, const FarSeekMedia& m) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const std::string path = folder + "/" + m.name();
  if (std::filesystem::exists(path, error)) return path;
  const std::string partial = path + ".part";
  AVCodecParameters* parameters = avcodec_parameters_alloc();
  std::vector<AVPacket*> cycle = detail::encodeCycle(m, parameters);
  AVFormatContext* format = nullptr;
  bool ok = !cycle.empty() && avformat_alloc_output_context2(&format, nullptr, "mp4", partial.c_str()) >= 0;
  AVStream* stream = ok ? avformat_new_stream(format, nullptr) : nullptr;
  ok = stream && avcodec_parameters_copy(stream->codecpar, parameters) >= 0 &&
       avio_open(&format->pb, partial.c_str(), AVIO_FLAG_WRITE) >= 0;
  if (ok) {
    stream->time_base = AVRational{1, 12800};
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", m.movflags.c_str(), 0);
    ok = avformat_write_header(format, &options) >= 0;
    av_dict_free(&options);
  }
  // A camera's weight: about 1.4 Mbit/s at 640x360, 4 Mbit/s at 1080p (key frames heavier).
  const int perFrame = m.height >= 1080 ? 20000 : 7000;
  const int cycles = m.minutes * 60 * detail::kFps / detail::kCycleFrames;
  AVPacket* packet = av_packet_alloc();
  for (int c = 0; ok && c < cycles; ++c) {
    for (const AVPacket* source : cycle) {
      av_packet_ref(packet, source);
      av_packet_make_writable(packet);
      detail::pad(packet, (packet->flags & AV_PKT_FLAG_KEY) ? perFrame * 4 : perFrame);
      packet->pts += static_cast<int64_t>(c) * detail::kCycleFrames;
      packet->dts += static_cast<int64_t>(c) * detail::kCycleFrames;
      packet->duration = 1;
      av_packet_rescale_ts(packet, AVRational{1, detail::kFps}, stream->time_base);
      packet->stream_index = stream->index;
      ok = av_write_frame(format, packet) >= 0;
      av_packet_unref(packet);
      if (!ok) break;
    }
  }
  ok = ok && av_write_trailer(format) >= 0;
  av_packet_free(&packet);
  if (format && format->pb) avio_closep(&format->pb);
  avformat_free_context(format);
  for (AVPacket* p : cycle) av_packet_free(&p);
  avcodec_parameters_free(&parameters);
  if (!ok) {
    std::filesystem::remove(partial, error);
    return {};
  }
  std::filesystem::rename(partial, path, error);
  return error ? std::string() : path;
}

}  // namespace dk::bench
