#include "player/VideoDecoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "engine/libav/FFmpegApi.h"

namespace {
constexpr int kLogError = 3;
}

TVideoDecoder::TVideoDecoder(TPlaybackState& state, IPlayerHost& host,
                             std::function<void()> pauseAgain)
    : state_(state), host_(host), pauseAgain_(std::move(pauseAgain)) {}

TVideoDecoder::~TVideoDecoder() {
  Join();
  FreeGraph();
  if (decoded_) FF.av_frame_free(&decoded_);
  if (packet_) FF.av_packet_free(&packet_);
}

void TVideoDecoder::Start() {
  packet_ = FF.av_packet_alloc();
  decoded_ = FF.av_frame_alloc();
  thread_ = std::thread([this] { Run(); });
}

void TVideoDecoder::Join() {
  if (thread_.joinable()) thread_.join();
}

void TVideoDecoder::Run() {
  AVFrame* picture = FF.av_frame_alloc();
  while (!state_.Abort) {
    while (state_.Paused && !state_.Video.Queue.Aborted() && !state_.SeekWhilePaused)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (NextPicture(picture) < 0) break;
    if (afterFlush_) {
      afterFlush_ = false;
      state_.StalePictures = false;
      state_.SeekWhilePaused = false;
    }
    OutputPicture(picture);
    FF.av_frame_unref(picture);
    state_.PictureEvent.Set();
    if (host_.SingleStep() && pauseAgain_) pauseAgain_();
  }
  FF.av_frame_free(&picture);
}

int TVideoDecoder::NextPicture(AVFrame* out) {
  for (;;) {
    if (sink_ && FF.av_buffersink_get_frame(sink_, out) >= 0) return 1;
    if (TakeDecodedFrame()) continue;
    if (!FeedDecoder()) return -1;
  }
}

// Takes one decoded frame (if any) and, unless the adaptive skip drops it,
// feeds it to the filter graph. False when the decoder has nothing ready.
bool TVideoDecoder::TakeDecodedFrame() {
  int ret = FF.avcodec_receive_frame(state_.Video.Codec, decoded_);
  if (ret == AVERROR_EOF) FF.avcodec_flush_buffers(state_.Video.Codec);
  if (ret < 0) return false;
  // Keep the picture's time in the field the filter graph passes on.
  decoded_->pts = decoded_->best_effort_timestamp;
  double factor = state_.SkipFactor;
  skipCounter_ += 1;
  if (skipCounter_ >= factor) {
    skipCounter_ -= std::max(1.0, factor);
    if (EnsureGraph(decoded_)) {
      if (FF.av_buffersrc_add_frame(source_, decoded_) < 0)
        host_.LogMessage(kLogError, "video filter failed");
    }
  }
  FF.av_frame_unref(decoded_);
  return true;
}

// Sends the next packet of the queue to the decoder (waiting for one).
// False when the queue was aborted.
bool TVideoDecoder::FeedDecoder() {
  TPacketKind kind = state_.Video.Queue.Get(packet_, true);
  switch (kind) {
    case pkNone: return false;
    case pkFlush: OnFlush(); return true;
    case pkEmpty:
      // Delayed pictures come out only once the decoder knows the stream ended.
      if (!drained_) {
        drained_ = true;
        FF.avcodec_send_packet(state_.Video.Codec, nullptr);
      }
      if (!state_.EndReported) host_.CheckPosition();
      return true;
    case pkData: {
      drained_ = false;
      int ret = FF.avcodec_send_packet(state_.Video.Codec, packet_);
      FF.av_packet_unref(packet_);
      if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
        char msg[128];
        std::snprintf(msg, sizeof msg, "video decoding error %d", ret);
        host_.LogMessage(6, msg);
      }
      return true;
    }
  }
  return true;
}

void TVideoDecoder::OnFlush() {
  FF.avcodec_flush_buffers(state_.Video.Codec);
  // Pictures buffered in the graph belong to the old position.
  FreeGraph();
  drained_ = false;
  {
    std::unique_lock lock(state_.Pictures.Mutex);
    state_.Pictures.Cond.wait(lock,
                              [&] { return state_.Pictures.Count == 0 || state_.Pictures.Abort; });
  }
  {
    std::lock_guard lock(state_.ClockMutex);
    state_.CurrentPos = -1;
    state_.HasFrameLastPts = false;
    state_.FrameLastDelay = 0;
    state_.FrameTimer = NowSeconds();
  }
  state_.SkipFactor = 1.0;
  skipCounter_ = 0;
  afterFlush_ = true;
}

bool TVideoDecoder::EnsureGraph(const AVFrame* frame) {
  if (graph_ && frame->width == graphWidth_ && frame->height == graphHeight_ &&
      frame->format == graphFormat_)
    return true;
  FreeGraph();
  graph_ = FF.avfilter_graph_alloc();
  if (!graph_) return false;
  char flags[32];
  std::snprintf(flags, sizeof flags, "flags=%d", SWS_BICUBIC);
  graph_->scale_sws_opts = FF.av_strdup(flags);
  AVRational tb = state_.Video.Stream->time_base;
  AVRational sar = frame->sample_aspect_ratio;
  if (sar.num <= 0 || sar.den <= 0) sar = AVRational{0, 1};
  char args[256];
  std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                frame->width, frame->height, frame->format, tb.num, tb.den, sar.num, sar.den);
  AVFilterContext* format = nullptr;
  bool ok =
      FF.avfilter_graph_create_filter(&source_, FF.avfilter_get_by_name("buffer"), "player_input",
                                      args, nullptr, graph_) >= 0 &&
      FF.avfilter_graph_create_filter(&format, FF.avfilter_get_by_name("format"), "player_format",
                                      "pix_fmts=yuv420p", nullptr, graph_) >= 0 &&
      FF.avfilter_graph_create_filter(&sink_, FF.avfilter_get_by_name("buffersink"),
                                      "player_output", nullptr, nullptr, graph_) >= 0 &&
      FF.avfilter_link(source_, 0, format, 0) >= 0 && FF.avfilter_link(format, 0, sink_, 0) >= 0 &&
      FF.avfilter_graph_config(graph_, nullptr) >= 0;
  if (!ok) {
    host_.LogMessage(kLogError, "cannot build the video filter graph");
    FreeGraph();
    return false;
  }
  graphWidth_ = frame->width;
  graphHeight_ = frame->height;
  graphFormat_ = frame->format;
  return true;
}

void TVideoDecoder::FreeGraph() {
  if (graph_) FF.avfilter_graph_free(&graph_);
  source_ = sink_ = nullptr;
  graphFormat_ = -1;
}

double TVideoDecoder::FrameDuration(const AVFrame* frame) const {
  AVRational rate = state_.Video.Stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = state_.Video.Stream->r_frame_rate;
  double d = (rate.num > 0 && rate.den > 0) ? av_q2d(av_inv_q(rate)) : 0.04;
  return d + frame->repeat_pict * d * 0.5;
}

void TVideoDecoder::OutputPicture(AVFrame* frame) {
  double pts;
  {
    std::lock_guard lock(state_.ClockMutex);
    // A picture without a time follows its predecessor.
    if (frame->pts == AV_NOPTS_VALUE)
      pts = state_.DecodeClock;
    else
      pts = double(frame->pts) * av_q2d(state_.Video.Stream->time_base);
    state_.DecodeClock = pts + FrameDuration(frame);
  }
  host_.HookPicture(frame, pts);
  QueuePicture(frame, pts);
}

bool TVideoDecoder::QueuePicture(AVFrame* frame, double pts) {
  TPictureQueue& q = state_.Pictures;
  std::unique_lock lock(q.Mutex);
  if (q.Count >= TPictureQueue::kSize && !state_.RefreshPending)
    state_.SkipFactor = std::max(0.95, state_.SkipFactor * 0.95);
  q.Cond.wait(lock, [&] { return q.Count < TPictureQueue::kSize || q.Abort; });
  if (q.Abort) return false;
  TPicture& slot = q.Slots[q.WriteIndex];
  if (!slot.Frame) slot.Frame = FF.av_frame_alloc();
  FF.av_frame_unref(slot.Frame);
  FF.av_frame_move_ref(slot.Frame, frame);
  slot.Pts = pts;
  slot.Pos = slot.Frame->pkt_pos;
  q.WriteIndex = (q.WriteIndex + 1) % TPictureQueue::kSize;
  std::lock_guard clock(state_.ClockMutex);
  slot.Target = TargetTimeLocked(pts);
  ++q.Count;
  return true;
}

// When the picture should appear: one frame delay after its predecessor,
// shortened or stretched to let the picture catch up with the audio.
double TVideoDecoder::TargetTimeLocked(double pts) {
  double delay = pts - state_.FrameLastPts;
  if (!state_.HasFrameLastPts || delay <= 0 || delay >= 10.0)
    delay = state_.FrameLastDelay;
  else
    state_.FrameLastDelay = delay;
  state_.FrameLastPts = pts;
  state_.HasFrameLastPts = true;
  if (state_.Audio.Open()) {
    double diff = state_.VideoClockLocked() - state_.MasterClockLocked();
    double threshold = std::max(delay, 0.01);
    if (std::fabs(diff) < 10.0) {
      if (diff <= -threshold)
        delay = 0;
      else if (diff >= threshold)
        delay = 2 * delay;
    }
  }
  state_.FrameTimer += delay;
  return state_.FrameTimer;
}
