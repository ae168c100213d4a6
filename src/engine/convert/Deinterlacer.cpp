#include "engine/convert/Deinterlacer.h"

#include "engine/convert/ConvertFilters.h"
#include "engine/libav/MediaUtils.h"

bool TDeinterlacer::Fits(const AVFrame* frame) const {
  return !graph_ ||
         (frame->width == width_ && frame->height == height_ && frame->format == format_);
}

bool TDeinterlacer::Build(const AVFrame* frame, std::string& error) {
  Reset();
  TVideoGraphInput in{frame->width, frame->height, frame->format, frame->sample_aspect_ratio};
  TGraphPtr graph;
  if (!ConfigureFilterChain(graph, src_, sink_, in, "yadif", error)) return false;
  graph_ = graph.release();
  width_ = frame->width;
  height_ = frame->height;
  format_ = frame->format;
  return true;
}

bool TDeinterlacer::Push(const AVFrame* frame, std::string& error) {
  if (!frame) {
    if (!graph_) return true;
    const int err = FF.av_buffersrc_add_frame_flags(src_, nullptr, 0);
    if (err < 0) error = ErrorText("yadif", err);
    return err >= 0;
  }
  if (!graph_ && !Build(frame, error)) return false;
  const int err = FF.av_buffersrc_add_frame_flags(src_, const_cast<AVFrame*>(frame),
                                                  AV_BUFFERSRC_FLAG_KEEP_REF);
  if (err < 0) error = ErrorText("yadif", err);
  return err >= 0;
}

bool TDeinterlacer::Pull(AVFrame* out) {
  if (!graph_ || FF.av_buffersink_get_frame(sink_, out) < 0) return false;
  // The filter may count in a finer time base than it was fed (fields).
  if (out->pts != AV_NOPTS_VALUE)
    out->pts = FF.av_rescale_q(out->pts, FF.av_buffersink_get_time_base(sink_),
                               AVRational{1, AV_TIME_BASE});
  return true;
}

void TDeinterlacer::Reset() {
  if (graph_) FF.avfilter_graph_free(&graph_);
  src_ = sink_ = nullptr;
  width_ = height_ = 0;
  format_ = -1;
}
