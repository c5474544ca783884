#include "platform/media/core/deinterlacer.h"

#include <cstdint>
#include <cstring>
#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace dk::platform {
namespace {

struct FrameDeleter {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct GraphDeleter {
  void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};

// `frame` with the field shown second replaced by the first, line-doubled: a neighbour that
// differs from the picture wherever its fields do, so that the filter takes those parts from
// the first field alone.
FramePtr firstFieldDoubled(const AVFrame* frame) {
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL))) {
    return nullptr;
  }
  FramePtr copy(av_frame_alloc());
  if (!copy) return nullptr;
  copy->format = frame->format;
  copy->width = frame->width;
  copy->height = frame->height;
  if (av_frame_get_buffer(copy.get(), 0) < 0 || av_frame_copy_props(copy.get(), frame) < 0) return nullptr;
  const int kept = frame->top_field_first ? 0 : 1;  // the parity of the lines kept
  const int planes = av_pix_fmt_count_planes(static_cast<AVPixelFormat>(frame->format));
  for (int p = 0; p < planes; ++p) {
    const int bytes = av_image_get_linesize(static_cast<AVPixelFormat>(frame->format), frame->width, p);
    const bool chroma = (p == 1 || p == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
    const int rows = chroma ? AV_CEIL_RSHIFT(frame->height, desc->log2_chroma_h) : frame->height;
    if (bytes <= 0) return nullptr;
    for (int y = 0; y < rows; ++y) {
      int from = y;
      if ((y & 1) != kept) from = y - 1 >= 0 ? y - 1 : y + 1;
      if (from >= rows) from = y;
      std::memcpy(copy->data[p] + static_cast<std::ptrdiff_t>(y) * copy->linesize[p],
                  frame->data[p] + static_cast<std::ptrdiff_t>(from) * frame->linesize[p], static_cast<size_t>(bytes));
    }
  }
  return copy;
}

}  // namespace

struct Deinterlacer::Impl {
  FramePtr out{av_frame_alloc()};  // the last picture made whole (also the next one's neighbour)
  int64_t outPts = INT64_MIN;      // the decoded picture it was made from

  // The neighbour and the picture through buffer -> bwdif -> sink. The neighbour goes in marked
  // progressive, so that the filter passes it on untouched; the end then gives out the picture,
  // its other neighbour a copy of itself. False when any step fails.
  bool run(const AVFrame* frame, const AVFrame* neighbour) {
    std::unique_ptr<AVFilterGraph, GraphDeleter> graph(avfilter_graph_alloc());
    if (!graph) return false;
    graph->nb_threads = 1;
    const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
    if (!format) return false;
    const AVRational aspect = frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio : AVRational{1, 1};
    const std::string source = "video_size=" + std::to_string(frame->width) + "x" + std::to_string(frame->height) +
                               ":pix_fmt=" + format + ":time_base=1/1:pixel_aspect=" + std::to_string(aspect.num) +
                               "/" + std::to_string(aspect.den);
    AVFilterContext* in = nullptr;
    AVFilterContext* deinterlace = nullptr;
    AVFilterContext* sink = nullptr;
    // One picture per frame, the field order as each picture states it, only those marked.
    if (avfilter_graph_create_filter(&in, avfilter_get_by_name("buffer"), "in", source.c_str(), nullptr,
                                     graph.get()) < 0 ||
        avfilter_graph_create_filter(&deinterlace, avfilter_get_by_name("bwdif"), "bwdif",
                                     "mode=send_frame:parity=auto:deint=interlaced", nullptr, graph.get()) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                     graph.get()) < 0 ||
        avfilter_link(in, 0, deinterlace, 0) < 0 || avfilter_link(deinterlace, 0, sink, 0) < 0 ||
        avfilter_graph_config(graph.get(), nullptr) < 0) {
      return false;
    }
    FramePtr before(av_frame_clone(neighbour));
    FramePtr picture(av_frame_clone(frame));
    if (!before || !picture) return false;
    before->pts = 0;
    before->interlaced_frame = 0;
    picture->pts = 1;
    if (av_buffersrc_add_frame(in, before.get()) < 0 || av_buffersrc_add_frame(in, picture.get()) < 0 ||
        av_buffersrc_add_frame(in, nullptr) < 0) {
      return false;
    }
    FramePtr made(av_frame_alloc());
    if (!made) return false;
    for (int taken = 0; taken < 2; ++taken) {  // the neighbour, then the picture
      av_frame_unref(made.get());
      if (av_buffersink_get_frame(sink, made.get()) < 0) return false;
    }
    if (made->width != frame->width || made->height != frame->height || made->format != frame->format) return false;
    out = std::move(made);
    outPts = frame->pts;
    return true;
  }
};

Deinterlacer::Deinterlacer() : impl_(std::make_unique<Impl>()) {}
Deinterlacer::~Deinterlacer() = default;

const AVFrame* Deinterlacer::apply(const AVFrame* frame) {
  Impl& d = *impl_;
  if (!frame || !frame->interlaced_frame || frame->width < 4 || frame->height < 4) return frame;
  const AVFrame* last = d.out.get();
  const bool neighbour = last && last->data[0] && last->width == frame->width && last->height == frame->height &&
                         last->format == frame->format && d.outPts != frame->pts;
  FramePtr doubled;
  if (!neighbour) doubled = firstFieldDoubled(frame);
  if (!neighbour && !doubled) return frame;
  if (!d.run(frame, neighbour ? last : doubled.get())) return frame;
  return d.out.get();
}

}  // namespace dk::platform
