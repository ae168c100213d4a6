// The video filter graph of one encoded output stream: a buffer source "src"
// fed with decoded pictures (time base 1 µs), crop and scale to the
// encoder's size, the user's "vf" chain, and a buffer sink "out" that only
// accepts the encoder's pixel format.
// Threads: the task's worker (or its configuring thread during set-up).
#pragma once

#include <string>

#include "engine/convert/ConvertStreams.h"

struct TVideoGraphInput {
  int Width = 0, Height = 0;
  int PixFmt = -1;
  AVRational SampleAspect{0, 1};
};

// Builds (or rebuilds) ost's graph for pictures of `in`, cropped by ost's
// current bands and scaled to `outWidth` x `outHeight`, then `chain`;
// `scalerFlags` go to every scaler of the graph. On success the encoder's
// width and height are what arrives at the sink. Returns false with `error`
// holding the library's reason.
bool ConfigureVideoGraph(TOutputStream& ost, const TVideoGraphInput& in, int outWidth,
                         int outHeight, const std::string& chain, int scalerFlags,
                         std::string& error);

// A graph of its own: buffer source "src" for pictures of `in` (time base
// 1 µs) -> `chain` -> buffer sink "out" held to the input's pixel format.
// False with the library's reason in `error` (graph left empty).
bool ConfigureFilterChain(TGraphPtr& graph, AVFilterContext*& src, AVFilterContext*& sink,
                          const TVideoGraphInput& in, const std::string& chain, std::string& error);
