// Building the per-stream video filter graph.
#include "engine/convert/ConvertFilters.h"

#include "engine/libav/MediaUtils.h"

namespace {

AVFilterInOut* NewInOut(const char* name, AVFilterContext* filter) {
  AVFilterInOut* io = FF.avfilter_inout_alloc();
  if (!io) return nullptr;
  io->name = FF.av_strdup(name);
  io->filter_ctx = filter;
  io->pad_idx = 0;
  io->next = nullptr;
  return io;
}

// Appends a filter after `last`; false on failure.
bool Append(AVFilterGraph* graph, AVFilterContext*& last, const char* filter, const char* name,
            const std::string& args, int& err) {
  AVFilterContext* f = nullptr;
  err = FF.avfilter_graph_create_filter(&f, FF.avfilter_get_by_name(filter), name, args.c_str(),
                                        nullptr, graph);
  if (err < 0) return false;
  err = FF.avfilter_link(last, 0, f, 0);
  if (err < 0) return false;
  last = f;
  return true;
}

// The buffer source "src" for pictures of `in`, time base 1 µs.
AVFilterContext* NewBufferSource(AVFilterGraph* graph, const TVideoGraphInput& in, int& err) {
  AVRational sar = in.SampleAspect.num > 0 ? in.SampleAspect : AVRational{0, 1};
  std::string args = Fmt("video_size=%dx%d:pix_fmt=%d:time_base=1/1000000:pixel_aspect=%d/%d",
                         in.Width, in.Height, in.PixFmt, sar.num, sar.den ? sar.den : 1);
  AVFilterContext* src = nullptr;
  err = FF.avfilter_graph_create_filter(&src, FF.avfilter_get_by_name("buffer"), "src",
                                        args.c_str(), nullptr, graph);
  return err < 0 ? nullptr : src;
}

// The buffer sink "out", accepting pictures of `format` only.
AVFilterContext* NewBufferSink(AVFilterGraph* graph, AVPixelFormat format, int& err) {
  AVFilterContext* sink =
      FF.avfilter_graph_alloc_filter(graph, FF.avfilter_get_by_name("buffersink"), "out");
  if (!sink) {
    err = AVERROR(ENOMEM);
    return nullptr;
  }
  err = FF.av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const uint8_t*>(&format),
                          sizeof format, AV_OPT_SEARCH_CHILDREN);
  if (err >= 0) err = FF.avfilter_init_str(sink, nullptr);
  return err < 0 ? nullptr : sink;
}

// Joins `last` to `sink` through the filters of `chain` (directly when empty).
bool LinkThrough(AVFilterGraph* graph, AVFilterContext* last, AVFilterContext* sink,
                 const std::string& chain, int& err) {
  if (chain.empty()) {
    err = FF.avfilter_link(last, 0, sink, 0);
    return err >= 0;
  }
  AVFilterInOut* outputs = NewInOut("in", last);
  AVFilterInOut* inputs = NewInOut("out", sink);
  err = (outputs && inputs)
            ? FF.avfilter_graph_parse_ptr(graph, chain.c_str(), &inputs, &outputs, nullptr)
            : AVERROR(ENOMEM);
  FF.avfilter_inout_free(&inputs);
  FF.avfilter_inout_free(&outputs);
  return err >= 0;
}

}  // namespace

bool ConfigureVideoGraph(TOutputStream& ost, const TVideoGraphInput& in, int outWidth,
                         int outHeight, const std::string& chain, int scalerFlags,
                         std::string& error) {
  ost.Graph.reset();
  ost.FilterSrc = ost.FilterSink = nullptr;
  TGraphPtr graph(FF.avfilter_graph_alloc());
  if (!graph) {
    error = "avfilter_graph_alloc failed";
    return false;
  }
  int err = 0;
  auto fail = [&](const char* what) {
    error = ErrorText(what, err);
    return false;
  };

  AVFilterContext* src = NewBufferSource(graph.get(), in, err);
  if (!src) return fail("buffer");
  AVPixelFormat fmt = ost.Enc->pix_fmt;
  if (fmt == AV_PIX_FMT_NONE) {
    error = "no pixel format for the output";
    return false;
  }
  AVFilterContext* sink = NewBufferSink(graph.get(), fmt, err);
  if (!sink) return fail("buffersink");

  AVFilterContext* last = src;
  int cropW = in.Width - ost.LeftBand - ost.RightBand;
  int cropH = in.Height - ost.TopBand - ost.BottomBand;
  if (cropW <= 0 || cropH <= 0) {
    error = "crop bands leave no picture";
    return false;
  }
  if (ost.CropNeeded &&
      !Append(graph.get(), last, "crop", "crop",
              Fmt("w=%d:h=%d:x=%d:y=%d", cropW, cropH, ost.LeftBand, ost.TopBand), err))
    return fail("crop");
  if ((cropW != outWidth || cropH != outHeight) && outWidth > 0 && outHeight > 0 &&
      !Append(graph.get(), last, "scale", "scale", Fmt("%d:%d", outWidth, outHeight), err))
    return fail("scale");
  graph->scale_sws_opts = FF.av_strdup(Fmt("flags=0x%X", unsigned(scalerFlags)).c_str());

  if (!LinkThrough(graph.get(), last, sink, chain, err))
    return fail(chain.empty() ? "link" : chain.c_str());
  err = FF.avfilter_graph_config(graph.get(), nullptr);
  if (err < 0) return fail("graph");

  ost.Enc->width = FF.av_buffersink_get_w(sink);
  ost.Enc->height = FF.av_buffersink_get_h(sink);
  ost.FilterSrc = src;
  ost.FilterSink = sink;
  ost.Graph = std::move(graph);
  return true;
}

bool ConfigureFilterChain(TGraphPtr& graph, AVFilterContext*& src, AVFilterContext*& sink,
                          const TVideoGraphInput& in, const std::string& chain,
                          std::string& error) {
  graph.reset(FF.avfilter_graph_alloc());
  src = sink = nullptr;
  int err = AVERROR(ENOMEM);
  AVFilterContext* first = graph ? NewBufferSource(graph.get(), in, err) : nullptr;
  AVFilterContext* last =
      first ? NewBufferSink(graph.get(), AVPixelFormat(in.PixFmt), err) : nullptr;
  if (!last || !LinkThrough(graph.get(), first, last, chain, err) ||
      (err = FF.avfilter_graph_config(graph.get(), nullptr)) < 0) {
    error = ErrorText(chain.c_str(), err);
    graph.reset();
    return false;
  }
  src = first;
  sink = last;
  return true;
}
