#include <gtest/gtest.h>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/options/test_option_host.h"

TEST(Target, PalDvdSetsEverythingAndAssumesWideAspect) {
  TOptionTestHost h;
  h.Parse("ac", "1");
  TLogCapture log;
  h.Parse("target", " pal-dvd ");
  const TOptionState& s = h.State;
  EXPECT_EQ(s.VideoCodecName, "mpeg2video");
  EXPECT_EQ(s.AudioCodecName, "ac3");
  EXPECT_EQ(s.FileFormatName, "dvd");
  EXPECT_EQ(s.FrameWidth, 720);
  EXPECT_EQ(s.FrameHeight, 576);
  EXPECT_EQ(s.FrameRate.num, 25);
  EXPECT_EQ(s.FrameRate.den, 1);
  EXPECT_EQ(s.AudioSampleRate, 48000);
  EXPECT_EQ(s.AudioChannels, 2);
  EXPECT_FLOAT_EQ(s.FrameAspectRatio, 16.0f / 9.0f);
  EXPECT_TRUE(log.Contains("Assuming 16:9 for aspect ratio"));
  AVCodecContext* video = s.Generic.CodecContext(AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(IntOption(video, "g"), 15);
  EXPECT_EQ(IntOption(video, "b"), 6000000);
  EXPECT_EQ(IntOption(video, "maxrate"), 9000000);
  EXPECT_EQ(IntOption(video, "bufsize"), 1835008);
  EXPECT_EQ(IntOption(s.Generic.CodecContext(AVMEDIA_TYPE_AUDIO), "b"), 448000);
  EXPECT_EQ(IntOption(s.Generic.FormatContext(), "packetsize"), 2048);
  EXPECT_EQ(DictValue(s.Generic.PrivateFormatOptions(), "muxrate"), "10080000");
}

TEST(Target, AutomaticNorm) {
  {
    TOptionTestHost h;
    h.Parse("r", "30000/1001");
    h.Parse("aspect", "4:3");
    TLogCapture log;
    h.Parse("target", "dvd");
    EXPECT_TRUE(log.Contains("Assuming NTSC for target."));
    EXPECT_EQ(h.State.FrameWidth, 720);
    EXPECT_EQ(h.State.FrameHeight, 480);
    EXPECT_EQ(IntOption(h.State.Generic.CodecContext(AVMEDIA_TYPE_VIDEO), "g"), 18);
    EXPECT_FLOAT_EQ(h.State.FrameAspectRatio, 4.0f / 3.0f);  // kept
  }
  {
    TOptionTestHost h;
    EXPECT_EQ(h.Error("target", "dvd"), "frame_rate is invalid.");
  }
  {
    // An unknown rate falls back to the default norm ("ntsc" for the option).
    TOptionTestHost h;
    h.Parse("r", "10");
    h.Parse("target", "vcd");
    EXPECT_EQ(h.State.FrameHeight, 240);
    EXPECT_EQ(h.State.FrameRate.num, 30000);
    TOptionTestHost pal;
    pal.Parse("r", "10");
    pal.Parser.Target("vcd", "auto", "pal");
    EXPECT_EQ(pal.State.FrameHeight, 288);
    EXPECT_FLOAT_EQ(pal.State.MuxPreload, 0.44f);
  }
}

TEST(Target, SvcdDvAndUnknownTypes) {
  TOptionTestHost h;
  h.Parse("target", "ntsc-svcd");
  EXPECT_EQ(h.State.FrameWidth, 480);
  EXPECT_EQ(h.State.FrameHeight, 480);
  // The scan offset flag is now an option of the MPEG-2 encoder.
  EXPECT_EQ(DictValue(h.State.Generic.PrivateCodecOptions(AVMEDIA_TYPE_VIDEO), "scan_offset"), "1");
  h.Parse("target", "film-dv");
  EXPECT_EQ(h.State.FramePixFmt, AV_PIX_FMT_YUV411P);
  EXPECT_EQ(h.State.FrameRate.num, 24000);
  h.Parse("target", "pal-dv50");
  EXPECT_EQ(h.State.FramePixFmt, AV_PIX_FMT_YUV422P);
  EXPECT_EQ(h.State.FileFormatName, "dv");
  EXPECT_EQ(h.Error("target", "pal-bluray"), "Unknown target type");
}
