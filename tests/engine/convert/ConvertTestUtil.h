// Shared helpers of the conversion tests: a scratch folder, a task set up
// from option pairs, and opening a result again.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/convert/CustomFFmpeg.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/UnicodeProtocol.h"
#include "support/MediaFactory.h"
#include "support/TestFolder.h"

namespace convtest {

using Options = std::vector<std::pair<std::string, std::string>>;

// One folder for the outputs of the whole test program, removed at its exit.
inline std::string ScratchDir() {
  static const TTestFolder folder("quor-convert");
  return folder.Path();
}

inline std::string OutPath(const std::string& name) {
  std::string path = ScratchDir() + name;
  ::unlink(path.c_str());
  return path;
}

inline void Apply(TCustomFFmpeg& task, const Options& options) {
  for (const auto& [name, value] : options) task.ParseOption(name, value);
}

// Opens `input` with `inputOptions`, then `output` with `outputOptions`.
// Returns false with the reason in *why.
inline bool OpenTask(TCustomFFmpeg& task, const std::string& input, const Options& inputOptions,
                     const std::string& output, const Options& outputOptions,
                     std::string* why = nullptr) {
  task.ResetTask();
  Apply(task, inputOptions);
  if (!task.OpenInputFile(input)) {
    if (why) *why = task.LastError();
    return false;
  }
  Apply(task, outputOptions);
  if (task.OpenOutputFile(output, false) < 0) {
    if (why) *why = task.LastError();
    return false;
  }
  return true;
}

// Runs the conversion body; the test fails when the task failed.
inline void RunOk(TCustomFFmpeg& task) {
  task.RunConversion();
  ASSERT_FALSE(task.Failed()) << task.ErrorMessage();
  ASSERT_TRUE(task.Completed());
}

struct StreamInfo {
  int Streams = 0;
  AVCodecID Video = AV_CODEC_ID_NONE, Audio = AV_CODEC_ID_NONE;
  int Width = 0, Height = 0, SampleRate = 0, Channels = 0;
};

inline StreamInfo Probe(const std::string& path) {
  StreamInfo info;
  AVFormatContext* ctx = nullptr;
  if (OpenInputWithName(&ctx, path, nullptr, nullptr) < 0) return info;
  FF.avformat_find_stream_info(ctx, nullptr);
  info.Streams = int(ctx->nb_streams);
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVCodecParameters* par = ctx->streams[i]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && info.Video == AV_CODEC_ID_NONE) {
      info.Video = par->codec_id;
      info.Width = par->width;
      info.Height = par->height;
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && info.Audio == AV_CODEC_ID_NONE) {
      info.Audio = par->codec_id;
      info.SampleRate = par->sample_rate;
      info.Channels = par->ch_layout.nb_channels;
    }
  }
  CloseInputWithName(&ctx);
  return info;
}

}  // namespace convtest

namespace convtest {

struct PacketCount {
  int Packets = 0;
  bool FirstIsKey = false;
  double FirstTime = -1;  // seconds
};

// Packets of the first stream of `type`, read without decoding.
inline PacketCount CountPackets(const std::string& path, AVMediaType type) {
  PacketCount count;
  AVFormatContext* ctx = nullptr;
  if (OpenInputWithName(&ctx, path, nullptr, nullptr) < 0) return count;
  FF.avformat_find_stream_info(ctx, nullptr);
  int index = -1;
  for (unsigned i = 0; i < ctx->nb_streams && index < 0; ++i)
    if (ctx->streams[i]->codecpar->codec_type == type) index = int(i);
  AVPacket* pkt = FF.av_packet_alloc();
  while (index >= 0 && FF.av_read_frame(ctx, pkt) >= 0) {
    if (pkt->stream_index == index) {
      if (count.Packets++ == 0) {
        count.FirstIsKey = pkt->flags & AV_PKT_FLAG_KEY;
        std::int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        count.FirstTime = double(t) * av_q2d(ctx->streams[index]->time_base);
      }
    }
    FF.av_packet_unref(pkt);
  }
  FF.av_packet_free(&pkt);
  CloseInputWithName(&ctx);
  return count;
}

}  // namespace convtest
