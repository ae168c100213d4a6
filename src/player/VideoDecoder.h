// TVideoDecoder: the video thread. Decodes the video queue's packets, runs
// them through a filter graph that delivers planar YUV 4:2:0, skips pictures
// at the adaptive rate, hands each picture to the component's hook, and puts
// it into the picture queue with its target display time.
//
// Owns the thread, the filter graph and its working frames; all of them are
// touched only by the video thread between Start and Join. Shared data lives
// in TPlaybackState (see its locks).
#pragma once

#include <functional>
#include <thread>

#include "player/PlaybackState.h"
#include "player/PlayerTypes.h"

struct AVFilterContext;
struct AVFilterGraph;
struct AVFrame;
struct AVPacket;

class TVideoDecoder {
 public:
  // `pauseAgain` toggles the pause after a picture while single stepping.
  TVideoDecoder(TPlaybackState& state, IPlayerHost& host, std::function<void()> pauseAgain);
  ~TVideoDecoder();
  TVideoDecoder(const TVideoDecoder&) = delete;
  TVideoDecoder& operator=(const TVideoDecoder&) = delete;

  void Start();
  // The video queue and the picture queue must be aborted first.
  void Join();

 private:
  void Run();
  // 1: a filtered picture in `out`; -1: aborted.
  int NextPicture(AVFrame* out);
  bool FeedDecoder();
  bool TakeDecodedFrame();
  void OnFlush();
  bool EnsureGraph(const AVFrame* frame);
  void FreeGraph();
  void OutputPicture(AVFrame* frame);
  double FrameDuration(const AVFrame* frame) const;
  bool QueuePicture(AVFrame* frame, double pts);
  double TargetTimeLocked(double pts);

  TPlaybackState& state_;
  IPlayerHost& host_;
  std::function<void()> pauseAgain_;
  std::thread thread_;

  AVPacket* packet_ = nullptr;
  AVFrame* decoded_ = nullptr;
  AVFilterGraph* graph_ = nullptr;
  AVFilterContext* source_ = nullptr;
  AVFilterContext* sink_ = nullptr;
  int graphWidth_ = 0, graphHeight_ = 0, graphFormat_ = -1;
  double skipCounter_ = 0;
  bool afterFlush_ = false;
  bool drained_ = false;  // the decoder was told the stream ended
};
