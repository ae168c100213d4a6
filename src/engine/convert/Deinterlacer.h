// TDeinterlacer: the "deinterlace" step of a video input, ahead of the hooks
// and of every output's filter graph, so that hook handlers and frame hook
// modules draw on whole progressive pictures.
//
// A small graph per input stream: buffer source (time base 1 µs) -> yadif
// (one picture out per picture in) -> buffer sink held to the input's pixel
// format. The filter needs the next picture to weave the current one, so it
// holds one picture back: a push hands out the previous picture, and the
// flush at the end of the stream hands out the last. Pictures of another
// size or pixel format need a flush first (Fits()).
// Threads: the task's worker.
#pragma once

#include <string>

extern "C" {
struct AVFilterContext;
struct AVFilterGraph;
struct AVFrame;
}

class TDeinterlacer {
 public:
  TDeinterlacer() = default;
  ~TDeinterlacer() { Reset(); }
  TDeinterlacer(const TDeinterlacer&) = delete;
  TDeinterlacer& operator=(const TDeinterlacer&) = delete;

  // True while a graph exists (it may hold a picture back).
  bool Active() const { return graph_ != nullptr; }
  // True when `frame` can go into the current graph (or there is none yet).
  bool Fits(const AVFrame* frame) const;
  // Feeds a picture (its pts in µs; the picture stays the caller's), or
  // nullptr for the end of the stream. False with the library's reason.
  bool Push(const AVFrame* frame, std::string& error);
  // The next deinterlaced picture into the empty `out` (pts in µs); false
  // when none is ready.
  bool Pull(AVFrame* out);
  // Drops the graph (after a flush, or to start over).
  void Reset();

 private:
  bool Build(const AVFrame* frame, std::string& error);

  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* src_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  int width_ = 0, height_ = 0, format_ = -1;
};
