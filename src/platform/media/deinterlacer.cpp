#include "platform/media/deinterlacer.h"

#include <string>

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

namespace dk::platform {

struct Deinterlacer::Impl {
  AVFrame* out = av_frame_alloc();
  long deinterlaced = 0;

  ~Impl() { av_frame_free(&out); }

  // One picture through buffer -> estdif -> sink: pushed, then the end, so that the filter gives
  // it out at once. False when any step fails.
  bool run(const AVFrame* frame) {
    AVFilterGraph* graph = avfilter_graph_alloc();
    if (!graph) return false;
    graph->nb_threads = 1;
    const bool done = build(graph, frame);
    avfilter_graph_free(&graph);
    return done;
  }

  bool build(AVFilterGraph* graph, const AVFrame* frame) {
    const char* format = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
    if (!format) return false;
    const AVRational aspect = frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio : AVRational{1, 1};
    const std::string source = "video_size=" + std::to_string(frame->width) + "x" + std::to_string(frame->height) +
                               ":pix_fmt=" + format + ":time_base=1/1:pixel_aspect=" + std::to_string(aspect.num) +
                               "/" + std::to_string(aspect.den);
    AVFilterContext* in = nullptr;
    AVFilterContext* deinterlace = nullptr;
    AVFilterContext* sink = nullptr;
    // One picture per frame, the field shown first kept (as the picture states its order).
    if (avfilter_graph_create_filter(&in, avfilter_get_by_name("buffer"), "in", source.c_str(), nullptr, graph) < 0 ||
        avfilter_graph_create_filter(&deinterlace, avfilter_get_by_name("estdif"), "estdif",
                                     "mode=frame:parity=auto:deint=all", nullptr, graph) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph) < 0 ||
        avfilter_link(in, 0, deinterlace, 0) < 0 || avfilter_link(deinterlace, 0, sink, 0) < 0 ||
        avfilter_graph_config(graph, nullptr) < 0) {
      return false;
    }
    AVFrame* copy = av_frame_clone(frame);
    if (!copy) return false;
    copy->pts = 0;
    const int pushed = av_buffersrc_add_frame_flags(in, copy, AV_BUFFERSRC_FLAG_KEEP_REF);
    av_frame_free(&copy);
    if (pushed < 0 || av_buffersrc_add_frame_flags(in, nullptr, 0) < 0) return false;
    av_frame_unref(out);
    return av_buffersink_get_frame(sink, out) >= 0 && out->width == frame->width && out->height == frame->height;
  }
};

Deinterlacer::Deinterlacer() : impl_(std::make_unique<Impl>()) {}
Deinterlacer::~Deinterlacer() = default;

const AVFrame* Deinterlacer::apply(const AVFrame* frame) {
  if (!frame || !frame->interlaced_frame || !impl_->out || frame->width < 4 || frame->height < 4) return frame;
  if (!impl_->run(frame)) return frame;
  ++impl_->deinterlaced;
  return impl_->out;
}

long Deinterlacer::deinterlaced() const { return impl_->deinterlaced; }

}  // namespace dk::platform
