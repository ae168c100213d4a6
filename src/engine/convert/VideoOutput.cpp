// Video output: hooks on decoded pictures, the per-stream filter graph,
// frame-rate synchronisation (drop / duplicate), encoding, preview offers,
// and the encoder hand-off shared with audio.
#include <cmath>
#include <cstring>

#include "engine/common/FFmpegException.h"
#include "engine/convert/ConvertFilters.h"
#include "engine/convert/ConvertStreams.h"
#include "engine/convert/CustomFFmpeg.h"
#include "engine/convert/FrameHookModules.h"
#include "engine/convert/StreamLevels.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/FrameConverter.h"
#include "engine/libav/MediaUtils.h"

namespace {
constexpr AVRational MicroSeconds{1, AV_TIME_BASE};
}

// ---- decoded pictures: custom hook and frame hook modules ----

void TCustomFFmpeg::PreProcessVideoFrame(TInputStream& ist, AVFrame* frame) {
  ++decodedVideoFrames_;
  bool hook = hookEnabled_ && OnCustomHook;
  bool modules = frameHooks_ && !frameHooks_->Empty();
  if (hook) {
    RunCustomHook(frame, SourceTime(ist));
    return;
  }
  if (!modules) return;
  // The decoder may still reference its picture; work on our own copy.
  if (FF.av_frame_make_writable(frame) < 0) {
    Log(llError, "hook buf malloc error.");
    return;
  }
  TVHookPicture pic{};
  for (int i = 0; i < 4; ++i) {
    pic.data[i] = frame->data[i];
    pic.linesize[i] = frame->linesize[i];
  }
  frameHooks_->Process(pic, frame->format, frame->width, frame->height, SourceTime(ist));
}

std::int64_t TCustomFFmpeg::SourceTime(const TInputStream& ist) const {
  const TInputFile& file = *inputFiles_[size_t(ist.FileIndex)];
  std::int64_t pts = ist.Pts;
  const double scale = ist.StreamIndex < MaxStreams ? file.TsScale[size_t(ist.StreamIndex)] : 0.0;
  if (scale != 0) pts = std::llrint(double(pts) / scale);
  // The packets got the offset in their own time base, rounded.
  const AVRational tb = ist.St->time_base;
  const std::int64_t added =
      FF.av_rescale_q(FF.av_rescale_q(file.SourceOffset, MicroSeconds, tb), tb, MicroSeconds);
  return pts - added - file.SourceStart;
}

// The handler gets a bitmap whose rows are converted only when it reaches
// them, and only a picture it drew on is replaced, by a fresh picture with
// the rows it drew converted back: the decoder's own stays untouched, so no
// private copy is needed.
void TCustomFFmpeg::RunCustomHook(AVFrame* frame, std::int64_t sourceTime) {
  bool failed = false;
  THookInfo info;
  if (!hookConverter_->ToBitmapOnDemand(frame)) {
    Log(llError, "Cannot initialize the toRGB conversion context");
    failed = true;
  } else {
    info.Bitmap = hookConverter_->Bitmap();
    info.FrameNumber = decodedVideoFrames_;
    info.PTS = sourceTime;
    info.Update = true;
    info.StopHook = false;
    try {
      OnCustomHook(*this, info);
    } catch (const std::exception& e) {
      Log(llError, std::string("Error occurs OnCustomHook: ") + e.what());
      info.Update = false;
    }
    const bool drawn = hookConverter_->EndOnDemand();
    if (info.Update && drawn && !hookConverter_->ReplaceWithDrawing(frame)) {
      Log(llError, "Cannot initialize the fromRGB conversion context");
      failed = true;
    }
  }
  if (info.StopHook || failed) hookEnabled_ = false;
}

// ---- filter graph ----

void TCustomFFmpeg::FilterAndOutputVideo(TOutputStream& ost, TInputStream& ist, AVFrame* frame) {
  AVCodecContext* enc = ost.Enc.get();
  int croppedW = frame->width - ost.LeftBand - ost.RightBand;
  int croppedH = frame->height - ost.TopBand - ost.BottomBand;
  if (croppedW != ost.ResampleWidth || croppedH != ost.ResampleHeight ||
      frame->format != ost.ResamplePixFmt) {
    LogF(llQuiet, "Input Stream #%d.%d frame size changed to %dx%d, %s", ist.FileIndex,
         ist.StreamIndex, frame->width, frame->height,
         FF.av_get_pix_fmt_name(AVPixelFormat(frame->format)));
    // Keep the crop bands in proportion and rebuild the graph for the new
    // pictures; the encoder keeps its size.
    auto band = [](int size, int initial, int source) {
      return source ? (size * initial / source) & ~1 : 0;
    };
    ost.TopBand = band(frame->height, ost.InitTopBand, ost.SourceHeight);
    ost.BottomBand = band(frame->height, ost.InitBottomBand, ost.SourceHeight);
    ost.LeftBand = band(frame->width, ost.InitLeftBand, ost.SourceWidth);
    ost.RightBand = band(frame->width, ost.InitRightBand, ost.SourceWidth);
    ost.ResampleWidth = frame->width - ost.LeftBand - ost.RightBand;
    ost.ResampleHeight = frame->height - ost.TopBand - ost.BottomBand;
    ost.ResamplePixFmt = frame->format;
    FlushVideoGraph(ost, ist);
    int encW = enc->width, encH = enc->height;
    const std::string& chain = ost.VideoFilters;
    std::string error;
    TVideoGraphInput gin{frame->width, frame->height, frame->format, frame->sample_aspect_ratio};
    if (!ConfigureVideoGraph(ost, gin, encW, encH, chain, options_.ScalerFlags, error))
      throw FFmpegException("Cannot get resampling context");
    enc->width = encW;
    enc->height = encH;
  }
  std::int64_t savedPts = frame->pts;
  frame->pts = ist.Pts;
  int err = FF.av_buffersrc_add_frame_flags(ost.FilterSrc, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
  frame->pts = savedPts;
  if (err < 0) throw FFmpegException(ErrorText("Error while feeding the filtergraph", err));
  PullFilteredVideo(ost, ist);
}

void TCustomFFmpeg::FlushVideoGraph(TOutputStream& ost, TInputStream& ist) {
  if (!ost.FilterSrc) return;
  if (FF.av_buffersrc_add_frame_flags(ost.FilterSrc, nullptr, 0) >= 0) PullFilteredVideo(ost, ist);
}

void TCustomFFmpeg::PullFilteredVideo(TOutputStream& ost, TInputStream& ist) {
  TFramePtr filtered = NewFrame();
  std::int64_t decodedPts = ist.Pts;
  AVRational tb = FF.av_buffersink_get_time_base(ost.FilterSink);
  while (FF.av_buffersink_get_frame(ost.FilterSink, filtered.get()) >= 0) {
    if (filtered->pts != AV_NOPTS_VALUE) ist.Pts = FF.av_rescale_q(filtered->pts, tb, MicroSeconds);
    VideoOutput(ost, ist, filtered.get());
    FF.av_frame_unref(filtered.get());
  }
  ist.Pts = decodedPts;
}

// ---- frame-rate synchronisation and encoding ----

bool TCustomFFmpeg::VariableFrameRate(const TOutputStream& ost) const {
  const int method = options_.VideoSyncMethod;
  const AVFormatContext* ctx = outputFiles_[size_t(ost.FileIndex)]->Ctx;
  return method == 2 || (method < 0 && (ctx->oformat->flags & AVFMT_VARIABLE_FPS));
}

int TCustomFFmpeg::VideoFrameCount(TOutputStream& ost, double syncInput) {
  int frames = 1;
  const int method = options_.VideoSyncMethod;
  if (syncInput < -0.5) {
    // Before the start of the output's time line (the run-up from the key
    // picture before a trim's start): not shown, whatever the sync method.
    frames = 0;
  } else if (method != 0) {
    double vdelta = syncInput - double(ost.SyncOpts);
    const bool variable = VariableFrameRate(ost);
    if (vdelta < -1.1) {
      frames = 0;
    } else if (variable) {
      if (vdelta <= -0.6)
        frames = 0;
      else if (vdelta > 0.6)
        ost.SyncOpts = std::llrint(syncInput);
    } else if (vdelta > 1.1) {
      frames = int(std::llrint(vdelta));
    }
  } else {
    ost.SyncOpts = std::llrint(syncInput);
    // Two pictures on one output tick would break the muxer's time line.
    if (ost.SyncOpts <= ost.LastVideoPts) frames = 0;
  }
  if (frames == 0) {
    ++dropFrames_;
    syncEventPending_ = true;
    if (Verbose() > 2) Log(llVerbose, "*** drop!");
  } else if (frames > 1) {
    dupFrames_ += frames - 1;
    syncEventPending_ = true;
    if (Verbose() > 2) LogF(llVerbose, "*** %d dup!", frames - 1);
  }
  return frames;
}

int TCustomFFmpeg::VideoOutput(TOutputStream& ost, TInputStream& ist, AVFrame* frame) {
  AVCodecContext* enc = ost.Enc.get();
  double syncInput = SyncInputTime(ost) / av_q2d(enc->time_base);
  std::int64_t frames = VideoFrameCount(ost, syncInput);
  frames = std::min<std::int64_t>(frames, std::int64_t(options_.MaxVideoFrames) - ost.FrameNumber);
  if (frames <= 0) return 0;

  frame->pict_type = AV_PICTURE_TYPE_NONE;
  float quality = options_.SameQuality ? ist.Quality : ost.Quality;
  frame->quality = int(std::lround(quality));
  if ((enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) &&
      options_.TopFieldFirst != -1)
    frame->top_field_first = options_.TopFieldFirst;
  int frameSize = 0;
  for (std::int64_t i = 0; i < frames; ++i) {
    if (i > 0 && stopRequested_) break;
    frame->pts = ost.SyncOpts;
    ost.LastVideoPts = ost.SyncOpts;
    int bytes = EncodeFrame(ost, frame);
    if (bytes > 0) frameSize = bytes;
    // Encoders hold pictures back for a while; offering the picture just
    // handed over keeps the preview in step with the input.
    if (PreviewFlags()) OfferPreview(frame, enc);
    ost.SyncOpts++;
    ost.FrameNumber++;
  }
  if (!ost.LastPicture) ost.LastPicture = NewFrame();
  FF.av_frame_unref(ost.LastPicture.get());
  if (FF.av_frame_ref(ost.LastPicture.get(), frame) < 0) ost.LastPicture.reset();
  return frameSize;
}

// A picture lasts until the next one, the last until its own end. A
// constant-rate output repeats a picture only once it lags its source by
// more than a frame, so a source that skipped a frame slot (AVI stores one
// as an empty chunk) leaves the output a frame behind for good; at the end
// the last picture is repeated up to the end of the source's last one, and
// no further than the recording time.
void TCustomFFmpeg::RepeatLastPicture(TOutputStream& ost, const TInputStream& ist) {
  if (!ost.LastPicture || stopRequested_ || options_.VideoSyncMethod == 0 || VariableFrameRate(ost))
    return;
  if (ist.NextPts == NoTimeValue) return;
  std::int64_t end = ist.NextPts;
  if (options_.RecordingTime != UnlimitedRecordingTime)
    end = std::min(end, options_.RecordingTime + options_.StartTime);
  AVCodecContext* enc = ost.Enc.get();
  const double endTicks = double(end - options_.StartTime) / AV_TIME_BASE / av_q2d(enc->time_base);
  std::int64_t frames = std::llrint(endTicks) - ost.SyncOpts;
  frames = std::min<std::int64_t>(frames, std::int64_t(options_.MaxVideoFrames) - ost.FrameNumber);
  for (std::int64_t i = 0; i < frames; ++i) {
    ost.LastPicture->pts = ost.SyncOpts;
    ost.LastVideoPts = ost.SyncOpts;
    EncodeFrame(ost, ost.LastPicture.get());
    ost.SyncOpts++;
    ost.FrameNumber++;
    ++dupFrames_;
  }
}

int TCustomFFmpeg::EncodeFrame(TOutputStream& ost, const AVFrame* frame) {
  AVCodecContext* enc = ost.Enc.get();
  bool video = ost.Type == AVMEDIA_TYPE_VIDEO;
  const char* failure = video ? "Video encoding failed" : "Audio encoding failed";
  int err = FF.avcodec_send_frame(enc, frame);
  if (err < 0 && err != AVERROR_EOF) throw FFmpegException(failure);
  TPacketPtr pkt = NewPacket();
  int bytes = 0;
  for (;;) {
    err = FF.avcodec_receive_packet(enc, pkt.get());
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) break;
    if (err < 0) throw FFmpegException(failure);
    if (video) {
      size_t size = 0;
      if (const uint8_t* q =
              FF.av_packet_get_side_data(pkt.get(), AV_PKT_DATA_QUALITY_STATS, &size);
          q && size >= 6) {
        std::memcpy(&ost.LastQuality, q, sizeof(int));
        ost.LastPictType = q[4];
        int errors = std::min<int>(q[5], 4);
        for (int i = 0; i < errors && size >= size_t(8 + 8 * (i + 1)); ++i) {
          std::memcpy(&ost.LastErrors[size_t(i)], q + 8 + 8 * i, 8);
          ost.TotalErrors[size_t(i)] += ost.LastErrors[size_t(i)];
        }
      }
      if (ost.Mpeg4Level && FF.av_packet_make_writable(pkt.get()) >= 0)
        SetMpeg4SimpleLevel(pkt->data, pkt->size, ost.Mpeg4Level);
      videoBytes_ += pkt->size;
      ++ost.PacketsOut;
      if (!options_.VStatsFileName.empty()) WriteVideoStats(ost, pkt->size);
      if (ost.PassLog && enc->stats_out)
        FF.fwrite(enc->stats_out, 1, std::strlen(enc->stats_out), ost.PassLog.get());
    } else {
      audioBytes_ += pkt->size;
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += ost.AudioTimeShift;
      if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += ost.AudioTimeShift;
    }
    bytes += pkt->size;
    FF.av_packet_rescale_ts(pkt.get(), enc->time_base, ost.St->time_base);
    WritePacket(ost, pkt.get());
    FF.av_packet_unref(pkt.get());
  }
  return bytes;
}

// ---- preview ----

void TCustomFFmpeg::OfferPreview(const AVFrame* frame, const AVCodecContext* enc) {
  std::lock_guard lock(PreviewLock());
  int flags = previewFlags_;
  std::int64_t now = FF.av_gettime();
  if (now - lastPreviewTime_ <= previewInterval_) return;
  lastPreviewTime_ = now;
  bool wantBitmap = (flags & PreviewBitmapFlag) && OnPreviewBitmap;
  bool wantWindow = !wantBitmap && (flags & PreviewWindowFlag) && OnPreviewOffer;
  if (!wantBitmap && !wantWindow) return;
  TPreviewInfo info;
  info.FrameNumber = decodedVideoFrames_;
  info.PTS = frame->pts == AV_NOPTS_VALUE
                 ? NoTimeValue
                 : FF.av_rescale_q(frame->pts, enc->time_base, MicroSeconds);
  bool converted = previewConverter_->ToBitmap(frame);
  if (!converted) Log(llError, "Cannot initialize the toRGB conversion context");
  info.Bitmap = previewConverter_->Bitmap();
  if (wantBitmap) {
    if (converted)
      OnPreviewBitmap(*this, info);
    else
      flags &= ~PreviewBitmapFlag;
  } else if (!converted || !OnPreviewOffer(*this, info)) {
    flags &= ~PreviewWindowFlag;
  }
  previewFlags_ = flags;
}
