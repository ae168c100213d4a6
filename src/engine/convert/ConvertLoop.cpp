// The packet loop: choosing the input, reading and correcting packets,
// decoding, stream copy, writing through the bitstream filters, join
// segments and the end of a conversion.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

#include "engine/common/FFmpegException.h"
#include "engine/convert/AudioOutput.h"
#include "engine/convert/ConvertStreams.h"
#include "engine/convert/CustomFFmpeg.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"

namespace {

constexpr AVRational MicroSeconds{1, AV_TIME_BASE};

std::string TypeName(int type) { return MediaTypeName(type); }

// The expected length of a frame of the stream in µs, when the packet or
// frame does not say.
std::int64_t NominalDuration(const AVStream* st, int repeatPict) {
  const AVCodecParameters* par = st->codecpar;
  if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
    if (par->frame_size > 0 && par->sample_rate > 0)
      return std::int64_t(AV_TIME_BASE) * par->frame_size / par->sample_rate;
    return 0;
  }
  AVRational rate = st->avg_frame_rate.num ? st->avg_frame_rate : st->r_frame_rate;
  if (!rate.num || !rate.den) return 0;
  return FF.av_rescale_q(1, av_inv_q(rate), MicroSeconds) * (2 + repeatPict) / 2;
}

}  // namespace

void TCustomFFmpeg::Transcode() {
  try {
    Prepare();
    PacketLoop();
    EndOfConversion();
  } catch (...) {
    CloseCodecs();
    throw;
  }
  CloseCodecs();
}

int TCustomFFmpeg::ChooseInputFile() const {
  auto maxFrames = [this](AVMediaType type) -> std::int64_t {
    switch (type) {
      case AVMEDIA_TYPE_VIDEO: return options_.MaxVideoFrames;
      case AVMEDIA_TYPE_AUDIO: return options_.MaxAudioFrames;
      case AVMEDIA_TYPE_DATA: return options_.MaxDataFrames;
      default: return UnlimitedFrames;
    }
  };
  if (joinMode_) {
    for (const TOutputStream* ost : outputStreams_)
      if (ost->FrameNumber >= maxFrames(ost->Type)) return -1;
    return currentSegment_;
  }
  double outputMin = 1e100, inputMin = 1e100;
  int chosen = -1;
  for (const TOutputStream* ost : outputStreams_) {
    const TInputStream& ist = *ost->Source;
    const TInputFile& file = *inputFiles_[size_t(ist.FileIndex)];
    if (ist.PastRecordingTime || file.NoPacket) continue;
    double opts = ost->CurrentTime;
    double ipts = double(ist.Pts) / AV_TIME_BASE;
    if (!file.EndReached) {
      if (ipts < inputMin) {
        inputMin = ipts;
        if (options_.InputSync) chosen = ist.FileIndex;
      }
      if (opts < outputMin) {
        outputMin = opts;
        if (!options_.InputSync) chosen = ist.FileIndex;
      }
    }
    if (ost->FrameNumber >= maxFrames(ost->Type)) return -1;
  }
  return chosen;
}

void TCustomFFmpeg::PacketLoop() {
  currentSegment_ = 0;
  auto clearNoPacket = [this] {
    for (auto& f : inputFiles_) f->NoPacket = false;
  };
  clearNoPacket();
  TPacketPtr pkt = NewPacket();
  while (!stopRequested_) {
    WaitWhilePaused();
    if (stopRequested_) break;
    int fileIndex = ChooseInputFile();
    if (fileIndex < 0) {
      bool anyNoPacket = false;
      for (auto& f : inputFiles_) anyNoPacket |= f->NoPacket;
      if (joinMode_ || !anyNoPacket) break;
      clearNoPacket();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    if (options_.FileSizeLimit) {
      AVIOContext* pb = outputFiles_.empty() ? nullptr : outputFiles_[0]->Ctx->pb;
      if (pb && FF.avio_seek(pb, 0, SEEK_CUR) > options_.FileSizeLimit) break;
    }
    TInputFile& file = *inputFiles_[size_t(fileIndex)];
    int err = FF.av_read_frame(file.Ctx, pkt.get());
    if (err == AVERROR(EAGAIN)) {
      file.NoPacket = true;
      continue;
    }
    if (err < 0) {
      file.EndReached = true;
      if (options_.Shortest && !joinMode_) break;
      if (joinMode_ && !EndJoinSegment(fileIndex)) break;
      continue;
    }
    clearNoPacket();
    bool decoded = HandlePacket(fileIndex, pkt.get());
    FF.av_packet_unref(pkt.get());
    if (!decoded) continue;
    std::int64_t now = FF.av_gettime();
    if (now - lastReportTime_ > progressInterval_) {
      lastReportTime_ = now;
      CheckOutputsInPlace();
      Report(false, fileIndex);
    }
  }
}

// A file that was removed, renamed or replaced while it is written (or
// whose folder was) takes what follows to nowhere the user can find: the
// conversion stops with the reason instead of finishing it.
void TCustomFFmpeg::CheckOutputsInPlace() const {
  for (const auto& file : outputFiles_)
    if (!file->StillInPlace())
      throw FFmpegException(
          "The output file " + file->Name +
          " is gone: it or its folder was removed, renamed or replaced while it was being written");
}

bool TCustomFFmpeg::HandlePacket(int fileIndex, AVPacket* pkt) {
  TInputFile& file = *inputFiles_[size_t(fileIndex)];
  if (pkt->stream_index >= file.StreamCount) return true;
  AVStream* st = file.Ctx->streams[pkt->stream_index];
  if (options_.DoPktDump) FF.av_pkt_dump_log2(nullptr, AV_LOG_DEBUG, pkt, options_.DoHexDump, st);
  TInputStream& ist = *inputStreams_[size_t(file.FirstStream + pkt->stream_index)];
  if (ist.Discard) return true;

  if (file.TsOffset) {
    std::int64_t offset = FF.av_rescale_q(file.TsOffset, MicroSeconds, st->time_base);
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += offset;
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += offset;
  }
  if (pkt->stream_index < MaxStreams && file.TsScale[size_t(pkt->stream_index)] != 0) {
    double scale = file.TsScale[size_t(pkt->stream_index)];
    if (pkt->pts != AV_NOPTS_VALUE) pkt->pts = std::llrint(double(pkt->pts) * scale);
    if (pkt->dts != AV_NOPTS_VALUE) pkt->dts = std::llrint(double(pkt->dts) * scale);
  }
  if (pkt->dts != AV_NOPTS_VALUE && ist.NextPts != NoTimeValue &&
      (file.Ctx->iformat->flags & AVFMT_TS_DISCONT) && !options_.CopyTs) {
    std::int64_t dtsUs = FF.av_rescale_q(pkt->dts, st->time_base, MicroSeconds);
    std::int64_t delta = dtsUs - ist.NextPts;
    if (std::fabs(double(delta)) > double(options_.DtsDeltaThreshold) * 1000000 ||
        dtsUs + 1 < ist.Pts) {
      file.TsOffset -= delta;
      if (Verbose() >= 3)
        LogF(llVerbose, "timestamp discontinuity %lld, new offset= %lld", (long long)delta,
             (long long)file.TsOffset);
      std::int64_t shift = FF.av_rescale_q(delta, MicroSeconds, st->time_base);
      pkt->dts -= shift;
      if (pkt->pts != AV_NOPTS_VALUE) pkt->pts -= shift;
    }
  }
  if (options_.RecordingTime != UnlimitedRecordingTime && pkt->pts != AV_NOPTS_VALUE &&
      FF.av_compare_ts(pkt->pts, st->time_base, options_.RecordingTime + options_.StartTime,
                       MicroSeconds) >= 0) {
    ist.PastRecordingTime = true;
    return true;
  }
  if (ProcessInputPacket(ist, pkt, true) < 0) {
    std::string msg = Fmt("Error while decoding stream #%d.%d (%s)", ist.FileIndex, ist.StreamIndex,
                          TypeName(st->codecpar->codec_type).c_str());
    if (options_.ExitOnError) throw FFmpegException(msg);
    if (Verbose() >= 0) Log(llVerbose, msg);
    return false;
  }
  return true;
}

int TCustomFFmpeg::ProcessInputPacket(TInputStream& ist, const AVPacket* pkt, bool drainEncoders) {
  if (ist.NextPts == NoTimeValue) ist.NextPts = ist.Pts;
  if (pkt && pkt->dts != AV_NOPTS_VALUE)
    ist.Pts = ist.NextPts = FF.av_rescale_q(pkt->dts, ist.St->time_base, MicroSeconds);

  if (pkt) {
    // Copied outputs take the packet itself, decoded or not.
    bool started = options_.StartTime == 0 || ist.Pts >= options_.StartTime;
    for (TOutputStream* ost : outputStreams_)
      if (ost->Source == &ist && ost->Copy && ost->Active && started) CopyPacket(*ost, ist, pkt);
  }
  if (!ist.DecodingNeeded) {
    if (pkt) {
      std::int64_t duration = pkt->duration > 0
                                  ? FF.av_rescale_q(pkt->duration, ist.St->time_base, MicroSeconds)
                                  : NominalDuration(ist.St, 0);
      ist.Pts = ist.NextPts;
      ist.NextPts += duration;
    }
    return 0;
  }
  int result = -1;
  switch (ist.St->codecpar->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
    case AVMEDIA_TYPE_AUDIO: result = DecodeFrames(ist, pkt); break;
    case AVMEDIA_TYPE_SUBTITLE: result = DecodeSubtitle(ist, pkt); break;
    default: break;
  }
  if (result < 0) return -1;
  if (!pkt && drainEncoders) DrainEncoders(ist);
  return 0;
}

int TCustomFFmpeg::DecodeFrames(TInputStream& ist, const AVPacket* pkt) {
  AVCodecContext* dec = ist.Dec.get();
  int err = FF.avcodec_send_packet(dec, pkt);
  if (err < 0 && err != AVERROR_EOF && err != AVERROR(EAGAIN)) return -1;
  TFramePtr frame = NewFrame();
  bool video = dec->codec_type == AVMEDIA_TYPE_VIDEO;
  int frames = 0;
  for (;;) {
    err = FF.avcodec_receive_frame(dec, frame.get());
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) break;
    if (err < 0) return -1;
    if (pkt && ++frames == 2 && (Verbose() > 1 || (Verbose() > 0 && !ist.MultiFrameWarned))) {
      LogF(llError, "Multiple frames in a packet from stream %d", pkt->stream_index);
      ist.MultiFrameWarned = true;
    }
    ist.Pts = frame->best_effort_timestamp != AV_NOPTS_VALUE
                  ? FF.av_rescale_q(frame->best_effort_timestamp, ist.St->time_base, MicroSeconds)
                  : ist.NextPts;
    std::int64_t duration;
    if (video) {
      duration = frame->pkt_duration > 0
                     ? FF.av_rescale_q(frame->pkt_duration, ist.St->time_base, MicroSeconds)
                     : NominalDuration(ist.St, frame->repeat_pict);
      ist.Quality = float(frame->quality);
    } else {
      duration = frame->sample_rate > 0
                     ? std::int64_t(AV_TIME_BASE) * frame->nb_samples / frame->sample_rate
                     : 0;
    }
    ist.NextPts = ist.Pts + duration;

    if (video)
      DeinterlaceAndDeliver(ist, frame.get());
    else
      DeliverDecoded(ist, frame.get());
    FF.av_frame_unref(frame.get());
  }
  if (!pkt && video) DeinterlaceAndDeliver(ist, nullptr);
  return 0;
}

// The picture goes through the deinterlacer first when "deinterlace" is on;
// it hands out the picture before, so the times of the pictures handed on are
// the deinterlacer's. nullptr: the end of the stream (or of a join segment).
void TCustomFFmpeg::DeinterlaceAndDeliver(TInputStream& ist, AVFrame* frame) {
  TDeinterlacer& deinterlacer = ist.Deinterlacer;
  if (!options_.Deinterlace) {
    if (frame) DeliverDecoded(ist, frame);
    return;
  }
  if (!frame && !deinterlacer.Active()) return;  // nothing held back
  if (frame && !deinterlacer.Fits(frame))
    DeinterlaceAndDeliver(ist, nullptr);  // a new size: drain first
  std::string error;
  const std::int64_t decodedPts = ist.Pts;
  const std::int64_t framePts = frame ? frame->pts : 0;
  if (frame) frame->pts = decodedPts;
  const bool pushed = deinterlacer.Push(frame, error);
  if (frame) frame->pts = framePts;
  if (!pushed) {
    Log(llError, "Cannot deinterlace: " + error);
    deinterlacer.Reset();
    if (frame) DeliverDecoded(ist, frame);  // shown as decoded rather than lost
    return;
  }
  TFramePtr woven = NewFrame();
  while (deinterlacer.Pull(woven.get())) {
    if (woven->pts != AV_NOPTS_VALUE) ist.Pts = woven->pts;
    DeliverDecoded(ist, woven.get());
    FF.av_frame_unref(woven.get());
  }
  ist.Pts = decodedPts;
  if (!frame) deinterlacer.Reset();
}

// Hooks, real-time pacing ("re"), the start time, then every output of the stream.
void TCustomFFmpeg::DeliverDecoded(TInputStream& ist, AVFrame* frame) {
  const bool video = ist.St->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
  if (video) PreProcessVideoFrame(ist, frame);
  if (options_.RateEmu) {
    std::int64_t wait = ist.Pts - (FF.av_gettime() - ist.RateEmuStart);
    if (wait > 1000) std::this_thread::sleep_for(std::chrono::milliseconds(wait / 1000));
  }
  if (options_.StartTime == 0 || ist.Pts >= options_.StartTime) {
    if (video)
      PassOnVideo(ist, frame);
    else
      PassOnAudio(ist, frame);
  }
}

void TCustomFFmpeg::PassOnVideo(TInputStream& ist, AVFrame* frame) {
  for (TOutputStream* ost : outputStreams_)
    if (ost->Source == &ist && ost->Active && ost->EncodingNeeded)
      FilterAndOutputVideo(*ost, ist, frame);
}

void TCustomFFmpeg::PassOnAudio(TInputStream& ist, AVFrame* frame) {
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    // A bare channel count: the resampler needs to know which channels.
    int channels = frame->ch_layout.nb_channels;
    FF.av_channel_layout_uninit(&frame->ch_layout);
    FF.av_channel_layout_default(&frame->ch_layout, channels);
  }
  if (options_.AudioVolume != 256) {
    if (FF.av_frame_make_writable(frame) >= 0) ApplyVolume(frame, options_.AudioVolume);
  }
  for (TOutputStream* ost : outputStreams_)
    if (ost->Source == &ist && ost->Active && ost->EncodingNeeded) AudioOutput(*ost, ist, frame);
}

int TCustomFFmpeg::DecodeSubtitle(TInputStream& ist, const AVPacket* pkt) {
  if (!pkt) return 0;
  AVSubtitle sub{};
  int got = 0;
  int err = FF.avcodec_decode_subtitle2(ist.Dec.get(), &sub, &got, const_cast<AVPacket*>(pkt));
  if (err < 0) return -1;
  if (!got) return 0;
  if (options_.StartTime == 0 || ist.Pts >= options_.StartTime) {
    for (TOutputStream* ost : outputStreams_)
      if (ost->Source == &ist && ost->Active && ost->EncodingNeeded)
        SubtitleOutput(*ost, ist, sub, pkt->pts);
  }
  FF.avsubtitle_free(&sub);
  return 0;
}

void TCustomFFmpeg::SubtitleOutput(TOutputStream& ost, TInputStream& ist, const AVSubtitle& in,
                                   std::int64_t pts) {
  if (pts == AV_NOPTS_VALUE) {
    if (options_.ExitOnError) throw FFmpegException("Subtitle packets must have a pts");
    Log(llError, "Subtitle packets must have a pts");
    return;
  }
  constexpr int BufferSize = 1024 * 1024;
  if (ost.Work.size() < size_t(BufferSize)) ost.Work.resize(BufferSize);
  AVCodecContext* enc = ost.Enc.get();
  bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  int count = dvb ? 2 : 1;
  AVSubtitle sub = in;
  std::int64_t subPts = FF.av_rescale_q(pts, ist.St->time_base, MicroSeconds) +
                        std::int64_t(sub.start_display_time) * 1000;
  std::uint32_t startDisplay = sub.start_display_time, endDisplay = sub.end_display_time;
  sub.end_display_time -= sub.start_display_time;
  sub.start_display_time = 0;
  sub.pts = subPts;
  for (int i = 0; i < count; ++i) {
    AVSubtitle part = sub;
    if (dvb && i == 1) part.num_rects = 0;  // the second packet clears the picture
    int size = FF.avcodec_encode_subtitle(enc, ost.Work.data(), BufferSize, &part);
    if (size < 0) throw FFmpegException("Subtitle encoding failed");
    TPacketPtr p = NewPacket();
    if (FF.av_new_packet(p.get(), size) < 0) throw FFmpegException("Subtitle encoding failed");
    std::memcpy(p->data, ost.Work.data(), size_t(size));
    p->pts = p->dts = FF.av_rescale_q(subPts, MicroSeconds, ost.St->time_base);
    if (dvb) p->pts += 90 * std::int64_t(i == 0 ? startDisplay : endDisplay);
    p->dts = p->pts;
    WritePacket(ost, p.get());
  }
}

void TCustomFFmpeg::CopyPacket(TOutputStream& ost, TInputStream& ist, const AVPacket* pkt) {
  if (ost.FrameNumber == 0 && !(pkt->flags & AV_PKT_FLAG_KEY) && !options_.CopyInitialNonKeyFrames)
    return;
  if (ost.Type == AVMEDIA_TYPE_AUDIO) audioBytes_ += pkt->size;
  if (ost.Type == AVMEDIA_TYPE_VIDEO) {
    videoBytes_ += pkt->size;
    ost.SyncOpts++;
  }
  TPacketPtr out(FF.av_packet_clone(pkt));
  if (!out) throw FFmpegException("av_packet_clone fail");
  AVRational otb = ost.St->time_base;
  std::int64_t startOffset = FF.av_rescale_q(options_.StartTime, MicroSeconds, otb);
  out->pts = pkt->pts != AV_NOPTS_VALUE
                 ? FF.av_rescale_q(pkt->pts, ist.St->time_base, otb) - startOffset
                 : AV_NOPTS_VALUE;
  out->dts = (pkt->dts != AV_NOPTS_VALUE ? FF.av_rescale_q(pkt->dts, ist.St->time_base, otb)
                                         : FF.av_rescale_q(ist.Pts, MicroSeconds, otb)) -
             startOffset;
  out->duration = FF.av_rescale_q(pkt->duration, ist.St->time_base, otb);
  WritePacket(ost, out.get());
  ost.FrameNumber++;
}

std::string WriteErrorText(const std::string& text, const std::string& name, int err) {
  if (err == AVERROR(ENOSPC)) return "The disk is full: cannot write " + name;
  if (err == AVERROR(EFBIG))
    return "The file is too large for the disk it is on: cannot write " + name;
  return text;
}

void TCustomFFmpeg::WritePacket(TOutputStream& ost, AVPacket* pkt) {
  pkt->stream_index = ost.Index;
  const TOutputFile& file = *outputFiles_[size_t(ost.FileIndex)];
  AVFormatContext* ctx = file.Ctx;
  auto write = [&](AVPacket* p) {
    std::int64_t end = p->dts != AV_NOPTS_VALUE ? p->dts : p->pts;
    if (end != AV_NOPTS_VALUE)
      ost.CurrentTime = double(end + p->duration) * av_q2d(ost.St->time_base);
    ost.WroteSomething = true;
    int err = FF.av_interleaved_write_frame(ctx, p);
    if (err < 0)
      throw FFmpegException(
          WriteErrorText(ErrorText("av_interleaved_write_frame()", err), file.Name, err));
  };
  if (!ost.Bsf) {
    write(pkt);
    return;
  }
  auto bsfError = [&](int err) {
    std::string msg = ErrorText(
        Fmt("%s failed for stream %d, codec %s", ost.BitstreamFilters.c_str(), pkt->stream_index,
            ost.Copy || !ost.Enc->codec ? "copy" : ost.Enc->codec->name),
        err);
    if (options_.ExitOnError) throw FFmpegException(msg);
    Log(llError, msg);
  };
  int err = FF.av_bsf_send_packet(ost.Bsf.get(), pkt);
  if (err < 0) {
    bsfError(err);
    FF.av_packet_unref(pkt);
    return;
  }
  TPacketPtr out = NewPacket();
  while ((err = FF.av_bsf_receive_packet(ost.Bsf.get(), out.get())) >= 0) {
    out->stream_index = ost.Index;
    write(out.get());
  }
  if (err != AVERROR(EAGAIN) && err != AVERROR_EOF) bsfError(err);
}

void TCustomFFmpeg::DrainEncoders(TInputStream& ist) {
  for (TOutputStream* ost : outputStreams_)
    if (ost->Source == &ist && ost->EncodingNeeded && ost->EncoderOpen)
      FinishOutputStream(*ost, ist);
}

void TCustomFFmpeg::FinishOutputStream(TOutputStream& ost, TInputStream& ist) {
  if (ost.Type == AVMEDIA_TYPE_VIDEO) {
    FlushVideoGraph(ost, ist);
    RepeatLastPicture(ost, ist);
  }
  if (ost.Type == AVMEDIA_TYPE_AUDIO) FlushAudioFifo(ost);
  FlushEncoder(ost);
}

void TCustomFFmpeg::FlushEncoder(TOutputStream& ost) {
  if (ost.Type != AVMEDIA_TYPE_VIDEO && ost.Type != AVMEDIA_TYPE_AUDIO) return;
  if (ost.EncoderFlushed) return;
  ost.EncoderFlushed = true;
  EncodeFrame(ost, nullptr);
  if (ost.PassLog && ost.Enc->stats_out)
    FF.fwrite(ost.Enc->stats_out, 1, std::strlen(ost.Enc->stats_out), ost.PassLog.get());
}

bool TCustomFFmpeg::EndJoinSegment(int fileIndex) {
  TInputFile& file = *inputFiles_[size_t(fileIndex)];
  std::int64_t segmentEnd = 0;
  for (int i = 0; i < file.StreamCount; ++i) {
    TInputStream& ist = *inputStreams_[size_t(file.FirstStream + i)];
    if (ist.DecodingNeeded && !ist.Flushed) {
      ProcessInputPacket(ist, nullptr, false);
      FF.avcodec_flush_buffers(ist.Dec.get());
      ist.Flushed = true;
    }
  }
  // The next input starts where the pictures and samples of this one ended.
  for (TOutputStream* ost : outputStreams_)
    if (ost->Source && ost->Source->FileIndex == fileIndex && ost->Source->NextPts != NoTimeValue)
      segmentEnd = std::max(segmentEnd, ost->Source->NextPts);
  int next = fileIndex + 1;
  if (next >= InputFileCount()) return false;
  inputFiles_[size_t(next)]->TsOffset += segmentEnd;
  inputFiles_[size_t(next)]->SourceOffset += segmentEnd;
  for (TOutputStream* ost : outputStreams_) {
    TInputStream* src =
        size_t(next) < ost->JoinSources.size() ? ost->JoinSources[size_t(next)] : nullptr;
    ost->Active = src != nullptr;
    if (src) {
      src->Pts = segmentEnd;
      ost->Source = ost->SyncSource = src;
    }
  }
  currentSegment_ = next;
  return true;
}

void TCustomFFmpeg::EndOfConversion() {
  for (auto& ist : inputStreams_)
    if (ist->DecodingNeeded && !ist->Flushed) ProcessInputPacket(*ist, nullptr, true);
  // Outputs not drained with their source (a source that failed to drain, or
  // one that a join left inactive) still hold pictures and samples.
  for (TOutputStream* ost : outputStreams_)
    if (ost->EncodingNeeded && ost->EncoderOpen && !ost->EncoderFlushed)
      FinishOutputStream(*ost, *ost->Source);
  for (auto& file : outputFiles_) {
    if (!file->HeaderWritten || file->TrailerWritten) continue;
    int err = FF.av_write_trailer(file->Ctx);
    file->TrailerWritten = true;
    if (err < 0) {
      // A muxer that moves its index to the front reads the file back by
      // name at the end: a folder gone since is named as such, not by the
      // bare error of that read.
      CheckOutputsInPlace();
      throw FFmpegException(WriteErrorText(ErrorText("av_write_trailer()", err), file->Name, err));
    }
  }
  Report(true, -1);
  CloseCodecs();
  if (!stopRequested_) CheckOutputsInPlace();
  // A range that holds no picture and no sound (a trim that starts at the
  // end, or one too short for a single frame) leaves nothing to keep; that
  // is no success.
  if (!stopRequested_ && !WroteAnything())
    throw FFmpegException(
        "Nothing was converted: the chosen part of the source holds no picture and no sound");
  completed_ = !stopRequested_;
}

bool TCustomFFmpeg::WroteAnything() const {
  for (const TOutputStream* ost : outputStreams_)
    if (ost->WroteSomething) return true;
  return false;
}
