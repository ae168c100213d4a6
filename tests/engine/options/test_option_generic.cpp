#include <gtest/gtest.h>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/options/test_option_host.h"

namespace {

AVCodecContext* Ctx(TOptionTestHost& h, AVMediaType t) { return h.State.Generic.CodecContext(t); }

}  // namespace

TEST(GenericOptions, DefaultsAndReset) {
  TOptionTestHost h;
  const TOptionState& s = h.State;
  EXPECT_EQ(s.FramePixFmt, -1);
  EXPECT_EQ(s.MaxVideoFrames, 2147483647);
  EXPECT_EQ(s.RecordingTime, INT64_MAX);
  EXPECT_EQ(s.FrameRate.den, 0);
  EXPECT_FLOAT_EQ(s.AudioQScale, -99999.0f);
  EXPECT_EQ(s.IntraDcPrecision, 8);
  EXPECT_EQ(s.AudioVolume, 256);
  EXPECT_EQ(s.ScalerFlags, 4);
  EXPECT_EQ(s.OutputBufferSize, 262144);
  for (int t = 0; t < MediaTypeCount; ++t)
    EXPECT_NE(h.State.Generic.CodecContext(static_cast<AVMediaType>(t)), nullptr);
  EXPECT_NE(h.State.Generic.FormatContext(), nullptr);
  EXPECT_NE(h.State.Generic.ScalerContext(), nullptr);

  h.Parse("s", "320x240");
  h.Parse("g", "7");
  h.Parse("map", "0.0");
  h.State.ResetOptions();
  EXPECT_EQ(h.State.FrameWidth, 0);
  EXPECT_TRUE(h.State.StreamMaps.empty());
  EXPECT_TRUE(h.State.Generic.Names().empty());
  EXPECT_EQ(IntOption(Ctx(h, AVMEDIA_TYPE_VIDEO), "g"), 12);
}

TEST(GenericOptions, SearchOrderAndTypeMasks) {
  TOptionTestHost h;
  TOptionParser& p = h.Parser;
  // A video-only option reaches the video context and the mask-less data and
  // attachment contexts, never audio.
  EXPECT_TRUE(p.SetGenericOption(" g ", " 7 "));
  EXPECT_EQ(IntOption(Ctx(h, AVMEDIA_TYPE_VIDEO), "g"), 7);
  EXPECT_EQ(IntOption(Ctx(h, AVMEDIA_TYPE_DATA), "g"), 7);
  EXPECT_EQ(IntOption(Ctx(h, AVMEDIA_TYPE_AUDIO), "g"), 12);
  // Format, then scaler options.
  EXPECT_TRUE(p.SetGenericOption("packetsize", "2048"));
  EXPECT_EQ(IntOption(h.State.Generic.FormatContext(), "packetsize"), 2048);
  EXPECT_TRUE(p.SetGenericOption("sws_flags", "bilinear"));
  EXPECT_EQ(h.State.ScalerFlags, 2);
  // The prefix rule: "abt" is the audio "bt".
  EXPECT_TRUE(p.SetGenericOption("abt", "5000"));
  EXPECT_EQ(IntOption(Ctx(h, AVMEDIA_TYPE_AUDIO), "bt"), 5000);
  EXPECT_NE(IntOption(Ctx(h, AVMEDIA_TYPE_VIDEO), "bt"), 5000);

  EXPECT_FALSE(p.SetGenericOption("nosuchoption", "1"));
  EXPECT_FALSE(p.SetGenericOption("g", ""));
  {
    TLogCapture log;
    EXPECT_FALSE(p.SetGenericOption("g", "many"));
    EXPECT_EQ(IntOption(Ctx(h, AVMEDIA_TYPE_VIDEO), "g"), 7);
  }
  // The dispatcher ignores what the generic setter refuses.
  EXPECT_NO_THROW(h.Parse("nosuchoption", "1"));
  EXPECT_NO_THROW(h.Parse("g", "many"));

  // Stored under the option's own name, once.
  EXPECT_EQ(h.State.Generic.Names(),
            (std::vector<std::string>{"g", "packetsize", "sws_flags", "bt"}));
}

TEST(GenericOptions, CopyHonoursTheMask) {
  TOptionTestHost h;
  h.Parse("g", "33");
  h.Parse("ab", "96000");
  h.Parse("flags", "+loop");
  h.Parse("qcomp", "0.6");
  h.Parse("packetsize", "2324");

  AVCodecContext* enc = FF.avcodec_alloc_context3(nullptr);
  h.State.Generic.CopyToCodecContext(AVMEDIA_TYPE_VIDEO, enc, OptMaskVideo | OptMaskEncoding);
  EXPECT_EQ(enc->gop_size, 33);
  EXPECT_TRUE(enc->flags & AV_CODEC_FLAG_LOOP_FILTER);
  EXPECT_FLOAT_EQ(enc->qcompress, 0.6f);
  // "b" was only set on the audio context; the video encoder keeps its own.
  EXPECT_NE(enc->bit_rate, 96000);
  FF.avcodec_free_context(&enc);

  AVCodecContext* aenc = FF.avcodec_alloc_context3(nullptr);
  h.State.Generic.CopyToCodecContext(AVMEDIA_TYPE_AUDIO, aenc, OptMaskAudio | OptMaskEncoding);
  EXPECT_EQ(aenc->bit_rate, 96000);
  EXPECT_NE(aenc->gop_size, 33);  // "g" carries no audio flag
  FF.avcodec_free_context(&aenc);

  AVFormatContext* oc = FF.avformat_alloc_context();
  h.State.Generic.CopyToFormatContext(oc, OptMaskEncoding);
  EXPECT_EQ(oc->packet_size, 2324u);
  FF.avformat_free_context(oc);
}

TEST(GenericOptions, PrivateOptionsPassThrough) {
  TOptionTestHost h;
  h.Parse("vcodec", "libx264");
  for (auto [n, v] : {std::pair{"coder", "1"},
                      {"partitions", "i4x4,p8x8"},
                      {"me_method", "umh"},
                      {"sc_threshold", "40"},
                      {"b_strategy", "1"},
                      {"wpredp", "2"}})
    EXPECT_TRUE(h.Parser.SetGenericOption(n, v)) << n;
  EXPECT_TRUE(h.Parser.SetGenericOption("muxrate", "10080000"));

  const AVDictionary* video = h.State.Generic.PrivateCodecOptions(AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(DictValue(video, "me_method"), "umh");
  EXPECT_EQ(DictValue(video, "wpredp"), "2");
  EXPECT_EQ(DictValue(h.State.Generic.PrivateFormatOptions(), "muxrate"), "10080000");
  EXPECT_EQ(h.State.Generic.PrivateCodecOptions(AVMEDIA_TYPE_AUDIO), nullptr);
  // A value the encoder refuses is not kept.
  EXPECT_FALSE(h.Parser.SetGenericOption("me_method", "sideways"));
  EXPECT_EQ(DictValue(h.State.Generic.PrivateCodecOptions(AVMEDIA_TYPE_VIDEO), "me_method"), "umh");

  // The encoder takes the options when it opens and reports what it left.
  const AVCodec* x264 = FF.avcodec_find_encoder_by_name("libx264");
  ASSERT_NE(x264, nullptr);
  AVCodecContext* enc = FF.avcodec_alloc_context3(x264);
  enc->width = 64;
  enc->height = 64;
  enc->pix_fmt = AV_PIX_FMT_YUV420P;
  enc->time_base = {1, 25};
  AVDictionary* opts = h.State.Generic.CopyPrivateCodecOptions(AVMEDIA_TYPE_VIDEO);
  FF.av_dict_set(&opts, "not_for_x264", "1", 0);
  ASSERT_GE(FF.avcodec_open2(enc, x264, &opts), 0);
  int64_t coder = -1;
  FF.av_opt_get_int(enc->priv_data, "coder", 0, &coder);
  EXPECT_EQ(coder, 1);
  {
    TLogCapture log;
    ReportUnusedPrivateOptions(&opts, "libx264");
    EXPECT_TRUE(log.Contains("Option not_for_x264 not used by libx264"));
    EXPECT_EQ(opts, nullptr);
  }
  FF.avcodec_free_context(&enc);
}
