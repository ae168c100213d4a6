// Options that only show in a converted file: presets and targets reach the
// encoder and the muxer they were meant for.
#include "engine/convert/ConvertTestUtil.h"
#include "engine/libav/FFmpegLogger.h"

using namespace convtest;

namespace {

struct TVideoFacts {
  AVCodecID Codec = AV_CODEC_ID_NONE;
  int Profile = -1;
  int Width = 0, Height = 0;
  AVRational FrameRate{0, 1};
  AVRational SampleAspect{0, 1};
};

TVideoFacts VideoFacts(const std::string& path) {
  TVideoFacts f;
  AVFormatContext* ctx = nullptr;
  if (OpenInputWithName(&ctx, path, nullptr, nullptr) < 0) return f;
  FF.avformat_find_stream_info(ctx, nullptr);
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVStream* st = ctx->streams[i];
    if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
    f.Codec = st->codecpar->codec_id;
    f.Profile = st->codecpar->profile;
    f.Width = st->codecpar->width;
    f.Height = st->codecpar->height;
    f.FrameRate = st->avg_frame_rate;
    f.SampleAspect = st->codecpar->sample_aspect_ratio;
    break;
  }
  CloseInputWithName(&ctx);
  return f;
}

bool UnusedOptionReported(const TLogCapture& log) { return log.Contains("not used by"); }

}  // namespace

// The baseline preset's moved lines (coder=0, flags2=-wpred-dct8x8, wpredp=0)
// must arrive at the encoder: together they make a Baseline-profile stream.
TEST(OptionConvert, BaselinePresetReachesTheEncoder) {
  const std::string in = TestMedia::Get(MediaSpec::Mp4());
  const std::string out = OutPath("preset_baseline.mp4");
  TCustomFFmpeg task;
  TLogCapture log;
  std::string why;
  ASSERT_TRUE(OpenTask(task, in, {}, out,
                       {{"vcodec", "libx264"}, {"vpre", "baseline"}, {"acodec", "aac"}}, &why))
      << why;
  RunOk(task);
  const TVideoFacts v = VideoFacts(out);
  EXPECT_EQ(v.Codec, AV_CODEC_ID_H264);
  EXPECT_TRUE(v.Profile == FF_PROFILE_H264_BASELINE ||
              v.Profile == FF_PROFILE_H264_CONSTRAINED_BASELINE)
      << v.Profile;
  EXPECT_FALSE(UnusedOptionReported(log));
}

TEST(OptionConvert, PalDvdTargetMakesAProgramStream) {
  const std::string in = TestMedia::Get(MediaSpec::Mp4());
  const std::string out = OutPath("target_dvd.mpg");
  TCustomFFmpeg task;
  TLogCapture log;
  std::string why;
  ASSERT_TRUE(OpenTask(task, in, {}, out, {{"target", "pal-dvd"}}, &why)) << why;
  RunOk(task);
  const StreamInfo info = Probe(out);
  EXPECT_EQ(info.Video, AV_CODEC_ID_MPEG2VIDEO);
  EXPECT_EQ(info.Audio, AV_CODEC_ID_AC3);
  EXPECT_EQ(info.Width, 720);
  EXPECT_EQ(info.Height, 576);
  EXPECT_EQ(info.SampleRate, 48000);
  EXPECT_EQ(info.Channels, 2);
  const TVideoFacts v = VideoFacts(out);
  EXPECT_EQ(v.FrameRate.num * 1, v.FrameRate.den * 25);
  // The opened input already gave its 4:3 picture shape, so the target keeps
  // it instead of assuming 16:9: 4:3 on a 720x576 frame is 16:15 pixels.
  EXPECT_EQ(v.SampleAspect.num * 15, v.SampleAspect.den * 16);
  // The mux rate went to the muxer that knows it.
  EXPECT_FALSE(UnusedOptionReported(log));
}
