#include "engine/probe/OutputCheck.h"

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
  int Frames = 0;

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
  decoder.Context->thread_count = 0;
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

// Reads and decodes packets from the current place until every stream has
// passed `untilUs` (or the file ends). Returns "" or the failure. After a
// seek (`afterSeek`) the first packet read may begin inside a frame (a
// program stream cuts sound frames across its packs): what a decoder
// rejects before its first frame is skipped.
std::string DecodeSpan(AVFormatContext* format,
                       std::vector<std::unique_ptr<TStreamDecoder>>& decoders, std::int64_t untilUs,
                       const char* where, bool afterSeek) {
  std::unique_ptr<AVPacket, TPacketFree> packet(FF.av_packet_alloc());
  std::unique_ptr<AVFrame, TFrameFree> frame(FF.av_frame_alloc());
  std::vector<bool> passed(decoders.size(), false);
  size_t done = 0;
  while (done < decoders.size()) {
    const int rc = FF.av_read_frame(format, packet.get());
    if (rc == AVERROR_EOF) break;
    if (rc < 0) return std::string("the ") + where + " cannot be read (" + ErrorMessage(rc) + ")";
    for (size_t i = 0; i < decoders.size(); ++i) {
      if (decoders[i]->Index != packet->stream_index) continue;
      if (!Decode(*decoders[i], packet.get(), frame.get()) &&
          !(afterSeek && decoders[i]->Frames == 0))
        return std::string("the ") + where + " does not decode";
      const std::int64_t us = ToUs(packet->pts, decoders[i]->TimeBase);
      if (!passed[i] && us != AV_NOPTS_VALUE && us >= untilUs) {
        passed[i] = true;
        ++done;
      }
    }
    FF.av_packet_unref(packet.get());
  }
  for (auto& decoder : decoders) {
    if (!Decode(*decoder, nullptr, frame.get()))
      return std::string("the ") + where + " does not decode";
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
  {
    std::lock_guard lock(CodecLock());
    if (FF.avformat_find_stream_info(format.get(), nullptr) < 0) {
      result.Reason = "the output's streams cannot be read";
      return result;
    }
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
          DecodeSpan(format.get(), decoders, start + expected.DecodeSpanUs, "first second", false);
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
    if (std::string failure = DecodeSpan(format.get(), decoders, INT64_MAX, "last second", true);
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
  result.Passed = true;
  return result;
}
