#include "engine/probe/OutputCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/MediaUtils.h"

namespace {

struct TInputCloser {
  void operator()(AVFormatContext* f) const { FF.avformat_close_input(&f); }
};
struct TPacketFree {
  void operator()(AVPacket* p) const { FF.av_packet_free(&p); }
};
struct TFrameFree {
  void operator()(AVFrame* f) const { FF.av_frame_free(&f); }
};

// One decoded stream of the output.
struct TStreamDecoder {
  int Index = -1;
  AVCodecContext* Context = nullptr;
  AVRational TimeBase{1, 1};
  std::int64_t FirstUs = AV_NOPTS_VALUE;  // time of the first frame decoded from the start
  int Frames = 0;                         // decoded in the current span
  std::int64_t EndUs = AV_NOPTS_VALUE;    // latest end of a packet that decoded, in any span

  ~TStreamDecoder() {
    if (!Context) return;
    std::lock_guard lock(CodecLock());
    FF.avcodec_free_context(&Context);
  }
};

std::string Seconds(std::int64_t us) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", double(us) / 1e6);
  return text;
}

bool OpenDecoder(AVFormatContext* format, int index, TStreamDecoder& decoder) {
  const AVStream* stream = format->streams[index];
  const AVCodec* codec = FF.avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) return false;
  std::lock_guard lock(CodecLock());
  decoder.Context = FF.avcodec_alloc_context3(codec);
  if (!decoder.Context || FF.avcodec_parameters_to_context(decoder.Context, stream->codecpar) < 0)
    return false;
  // One thread: the check decodes a second or two at each end, for which a
  // decoder context per core and the frame threads' start-up cost more than
  // they give (bench/batch: a batch of six 2 s clips into AVI took 0.29 s
  // one file at a time instead of 0.32 s, side by side 0.18 s instead of
  // 0.25 s). The conversions keep the automatic count.
  decoder.Context->thread_count = 1;
  decoder.Index = index;
  decoder.TimeBase = stream->time_base;
  return FF.avcodec_open2(decoder.Context, codec, nullptr) >= 0;
}

std::int64_t ToUs(std::int64_t ts, AVRational tb) {
  return ts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE
                              : FF.av_rescale_q(ts, tb, AVRational{1, AV_TIME_BASE});
}

// Decodes `packet` (null: drains) into `decoder`; false on a decoding error.
bool Decode(TStreamDecoder& decoder, const AVPacket* packet, AVFrame* frame) {
  int rc = FF.avcodec_send_packet(decoder.Context, packet);
  if (rc < 0 && rc != AVERROR_EOF && rc != AVERROR(EAGAIN)) return false;
  while ((rc = FF.avcodec_receive_frame(decoder.Context, frame)) >= 0) {
    const std::int64_t ts =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    const std::int64_t us = ToUs(ts, decoder.TimeBase);
    if (decoder.Frames == 0) decoder.FirstUs = us;
    ++decoder.Frames;
    FF.av_frame_unref(frame);
  }
  return rc == AVERROR(EAGAIN) || rc == AVERROR_EOF;
}

// The end of a packet's time: its presentation time (else its decoding
// time) plus its duration.
std::int64_t PacketEndUs(const AVPacket& packet, AVRational tb) {
  const std::int64_t ts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
  if (ts == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
  return ToUs(ts + std::max<std::int64_t>(packet.duration, 0), tb);
}

// One pass of reading and decoding.
struct TSpan {
  std::int64_t UntilUs = INT64_MAX;  // every stream has passed it: the pass ends
  const char* Where = "";            // "first second", for the reasons
  // The pass starts where a seek landed. A demuxer without an index (a
  // program stream, for one) lands on a byte position, often inside an
  // audio frame or before the next picture that decodes alone: what a
  // stream cannot decode before its first picture or sound there is the
  // seek's doing, not the file's. Errors after that first frame count.
  bool AfterSeek = false;
};

// Decodes `packet` (null: drains) into `decoder`; false when the failure,
// if any, fails the output.
bool DecodeInSpan(TStreamDecoder& decoder, const AVPacket* packet, AVFrame* frame,
                  const TSpan& span) {
  if (Decode(decoder, packet, frame)) {
    if (packet) {
      const std::int64_t end = PacketEndUs(*packet, decoder.TimeBase);
      if (end != AV_NOPTS_VALUE && (decoder.EndUs == AV_NOPTS_VALUE || end > decoder.EndUs))
        decoder.EndUs = end;
    }
    return true;
  }
  return span.AfterSeek && decoder.Frames == 0;
}

// Reads and decodes packets from the current place until every stream has
// passed the span's end (or the file ends). Returns "" or the failure.
std::string DecodeSpan(AVFormatContext* format,
                       std::vector<std::unique_ptr<TStreamDecoder>>& decoders, const TSpan& span) {
  std::unique_ptr<AVPacket, TPacketFree> packet(FF.av_packet_alloc());
  std::unique_ptr<AVFrame, TFrameFree> frame(FF.av_frame_alloc());
  const std::string doesNotDecode = std::string("the ") + span.Where + " does not decode";
  std::vector<bool> passed(decoders.size(), false);
  size_t done = 0;
  while (done < decoders.size()) {
    const int rc = FF.av_read_frame(format, packet.get());
    if (rc == AVERROR_EOF) break;
    if (rc < 0)
      return std::string("the ") + span.Where + " cannot be read (" + ErrorMessage(rc) + ")";
    for (size_t i = 0; i < decoders.size(); ++i) {
      TStreamDecoder& decoder = *decoders[i];
      if (decoder.Index != packet->stream_index) continue;
      if (!DecodeInSpan(decoder, packet.get(), frame.get(), span)) return doesNotDecode;
      const std::int64_t us = ToUs(packet->pts, decoder.TimeBase);
      if (!passed[i] && us != AV_NOPTS_VALUE && us >= span.UntilUs) {
        passed[i] = true;
        ++done;
      }
    }
    FF.av_packet_unref(packet.get());
  }
  for (auto& decoder : decoders) {
    if (!DecodeInSpan(*decoder, nullptr, frame.get(), span)) return doesNotDecode;
    FF.avcodec_flush_buffers(decoder->Context);
  }
  return {};
}

std::int64_t DurationOf(const AVFormatContext* format) {
  if (format->duration > 0) return format->duration;
  std::int64_t longest = -1;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* s = format->streams[i];
    if (s->duration > 0) longest = std::max(longest, ToUs(s->duration, s->time_base));
  }
  return longest;
}

}  // namespace

static bool HasVideo(const AVFormatContext& format) {
  for (unsigned i = 0; i < format.nb_streams; ++i)
    if (format.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(format.streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
      return true;
  return false;
}

TOutputCheck CheckOutput(const std::string& file, const TOutputExpectation& expected) {
  TOutputCheck result;
  AVFormatContext* raw = nullptr;
  if (FF.avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) {
    result.Reason = "the output cannot be opened";
    return result;
  }
  std::unique_ptr<AVFormatContext, TInputCloser> format(raw);
  if (FindStreamInfo(format.get()) < 0) {
    result.Reason = "the output's streams cannot be read";
    return result;
  }
  std::vector<std::unique_ptr<TStreamDecoder>> decoders;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const int type = format->streams[i]->codecpar->codec_type;
    if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO) continue;
    if (format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC) continue;
    auto decoder = std::make_unique<TStreamDecoder>();
    if (!OpenDecoder(format.get(), int(i), *decoder)) {
      result.Reason = "no decoder for the output's " + MediaTypeName(type) + " stream";
      return result;
    }
    decoders.push_back(std::move(decoder));
  }
  if (decoders.empty()) {
    result.Reason = "the output has neither sound nor picture";
    return result;
  }
  if (expected.VideoRequired && !HasVideo(*format)) {
    result.Reason = "the output has no picture, though its format and its source have one";
    return result;
  }

  const std::int64_t duration = DurationOf(format.get());
  result.DurationSeconds = duration > 0 ? double(duration) / 1e6 : -1;
  if (expected.DurationUs >= 0 &&
      (duration < 0 || std::llabs(duration - expected.DurationUs) > expected.DurationToleranceUs)) {
    result.Reason = "the output lasts " +
                    (duration < 0 ? std::string("an unknown time") : Seconds(duration)) +
                    " instead of " + Seconds(expected.DurationUs);
    return result;
  }

  const std::int64_t start = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
  if (std::string failure =
          DecodeSpan(format.get(), decoders, TSpan{start + expected.DecodeSpanUs, "first second"});
      !failure.empty()) {
    result.Reason = failure;
    return result;
  }
  std::int64_t audioStart = AV_NOPTS_VALUE, videoStart = AV_NOPTS_VALUE;
  for (auto& d : decoders) {
    if (d->Frames == 0) {
      result.Reason = "the output's " + MediaTypeName(d->Context->codec_type) +
                      " gives no picture or sound at its start";
      return result;
    }
    (d->Context->codec_type == AVMEDIA_TYPE_AUDIO ? audioStart : videoStart) = d->FirstUs;
    d->Frames = 0;
  }
  if (audioStart != AV_NOPTS_VALUE && videoStart != AV_NOPTS_VALUE &&
      std::llabs(audioStart - videoStart) > expected.StartSkewLimitUs) {
    result.Reason = "sound starts " + Seconds(audioStart - videoStart) + " away from the picture";
    return result;
  }

  if (duration > expected.DecodeSpanUs) {
    const std::int64_t lastSecond = start + duration - expected.DecodeSpanUs;
    if (FF.avformat_seek_file(format.get(), -1, INT64_MIN, lastSecond, lastSecond, 0) < 0) {
      result.Reason = "the output cannot be searched to its last second";
      return result;
    }
    if (std::string failure =
            DecodeSpan(format.get(), decoders, TSpan{INT64_MAX, "last second", true});
        !failure.empty()) {
      result.Reason = failure;
      return result;
    }
    for (auto& d : decoders)
      if (d->Frames == 0) {
        result.Reason =
            "the output's last second gives no " +
            std::string(d->Context->codec_type == AVMEDIA_TYPE_AUDIO ? "sound" : "picture");
        return result;
      }
  }
  // A file cut short may still say it lasts the whole time: its header or
  // index was written before the end went missing.
  std::int64_t decodedEnd = AV_NOPTS_VALUE;
  for (const auto& d : decoders)
    if (d->EndUs != AV_NOPTS_VALUE) decodedEnd = std::max(decodedEnd, d->EndUs);
  if (duration > 0 && (decodedEnd == AV_NOPTS_VALUE ||
                       decodedEnd - start < duration - expected.DurationToleranceUs)) {
    result.Reason = "the output's picture and sound end at " +
                    (decodedEnd == AV_NOPTS_VALUE ? std::string("an unknown time")
                                                  : Seconds(decodedEnd - start)) +
                    ", though it says it lasts " + Seconds(duration);
    return result;
  }
  result.Passed = true;
  return result;
}
