#include <gtest/gtest.h>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/options/test_option_host.h"

namespace {

constexpr const char* BitRateWarning =
    "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not kbits/s";

}  // namespace

TEST(OptionParser, BitRateWarnsBelowOneThousandPerKind) {
  TOptionTestHost h;
  {
    TLogCapture log;
    h.Parse("b", "128");
    EXPECT_EQ(IntOption(h.State.Generic.CodecContext(AVMEDIA_TYPE_VIDEO), "b"), 128);
    EXPECT_TRUE(log.Contains(BitRateWarning));
  }
  {
    TLogCapture log;
    h.Parse("b", "128000");
    EXPECT_FALSE(log.Contains(BitRateWarning));
  }
  {
    // "ab" sets only the audio context and is judged by the audio value.
    TLogCapture log;
    h.Parse("ab", "64");
    EXPECT_EQ(IntOption(h.State.Generic.CodecContext(AVMEDIA_TYPE_AUDIO), "b"), 64);
    EXPECT_EQ(IntOption(h.State.Generic.CodecContext(AVMEDIA_TYPE_VIDEO), "b"), 128000);
    EXPECT_TRUE(log.Contains(BitRateWarning));
  }
  {
    TLogCapture log;
    h.Parse("vb", "900000");
    EXPECT_EQ(IntOption(h.State.Generic.CodecContext(AVMEDIA_TYPE_VIDEO), "b"), 900000);
    EXPECT_FALSE(log.Contains(BitRateWarning));
  }
}

TEST(OptionParser, BooleansAndNumbers) {
  TOptionTestHost h;
  h.Parse("vn", "");
  EXPECT_TRUE(h.State.VideoDisable);
  h.Parse("vn", "0");
  EXPECT_FALSE(h.State.VideoDisable);
  h.Parse("copyts", "0");  // any value switches it on
  EXPECT_TRUE(h.State.CopyTs);
  h.Parse("ar", "0");
  EXPECT_EQ(h.State.AudioSampleRate, 44100);
  h.Parse("ar", "22050");
  h.Parse("ac", "-1");
  EXPECT_EQ(h.State.AudioSampleRate, 22050);
  EXPECT_EQ(h.State.AudioChannels, 2);
  h.Parse("vol", "512");
  EXPECT_EQ(h.State.AudioVolume, 512);
  // More would overflow the scaling of 16-bit samples in 32 bits.
  h.Parse("vol", "65537");
  EXPECT_EQ(h.State.AudioVolume, 65536);
  h.Parse("vol", "2147483647");
  EXPECT_EQ(h.State.AudioVolume, 65536);
  h.Parse("muxpreload", "0.25");
  EXPECT_FLOAT_EQ(h.State.MuxPreload, 0.25f);
  EXPECT_THROW(h.Parse("vframes", "12x"), FFmpegException);
  EXPECT_THROW(h.Parse("dc", ""), FFmpegException);
}

TEST(OptionParser, Rejections) {
  TOptionTestHost h;
  EXPECT_EQ(h.Error("threads", "4"), "TODO: option - threads");
  EXPECT_EQ(h.Error("padleft", "8"), "Please use vfilters=pad");
  EXPECT_EQ(h.Error("qscale", "0"), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(h.Error("qscale", "255.5"), "qscale must be > 0.0 and <= 255");
  EXPECT_EQ(h.Error("qscale", "3"), "");
  EXPECT_FLOAT_EQ(h.State.VideoQScale, 3);
  EXPECT_EQ(h.Error("pass", "3"), "pass number can be only 1 or 2");
  EXPECT_EQ(h.Error("s", "big"), "Incorrect frame size");
  EXPECT_EQ(h.Error("r", "fast"), "Incorrect frame rate");
  EXPECT_EQ(h.Error("pix_fmt", "nosuchfmt"), "Unknown pixel format requested: nosuchfmt");
  EXPECT_EQ(h.Error("metadata", "title"), "Missing =");
  EXPECT_EQ(h.Error("newvideo", ""), "At least one output file must be specified");
  h.HasOutput = true;
  h.Parse("newaudio", "");
  ASSERT_EQ(h.NewStreams.size(), 1u);
  EXPECT_EQ(h.NewStreams[0], AVMEDIA_TYPE_AUDIO);
}

TEST(OptionParser, SizeRateAndAspect) {
  TOptionTestHost h;
  h.Parse("s", "hd720");
  EXPECT_EQ(h.State.FrameWidth, 1280);
  EXPECT_EQ(h.State.FrameHeight, 720);
  h.Parse("s", "");  // empty keeps the size
  EXPECT_EQ(h.State.FrameWidth, 1280);
  h.Parse("r", "ntsc");
  EXPECT_EQ(h.State.FrameRate.num, 30000);
  EXPECT_EQ(h.State.FrameRate.den, 1001);

  h.Parse("aspect", "16:9");
  EXPECT_FLOAT_EQ(h.State.FrameAspectRatio, 1.7777778f);
  h.Parse("aspect", "1.333");
  EXPECT_FLOAT_EQ(h.State.FrameAspectRatio, 1.333f);
  for (const char* bad : {"4:0", "0", "x:3", "abc", "-4:3"})
    EXPECT_EQ(h.Error("aspect", bad), "Incorrect aspect ratio specification.") << bad;
  EXPECT_FLOAT_EQ(h.State.FrameAspectRatio, 1.333f);
}

TEST(OptionParser, CropReducesTheFrameAndWarns) {
  TOptionTestHost h;
  h.Parse("s", "640x480");
  h.Parse("croptop", "0");
  EXPECT_EQ(h.State.CropTop, 0);
  EXPECT_EQ(h.State.FrameHeight, 480);
  EXPECT_EQ(h.Error("croptop", "480"),
            "Vertical crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
  {
    TLogCapture log;
    h.Parse("croptop", "10");
    EXPECT_TRUE(log.Contains("CropXXX is deprecated in favor of the crop avfilter"));
  }
  EXPECT_EQ(h.State.CropTop, 10);
  EXPECT_EQ(h.State.FrameHeight, 470);
  // The second band is checked against what the first one left.
  EXPECT_NE(h.Error("cropbottom", "470"), "");
  h.Parse("cropright", "40");
  EXPECT_EQ(h.State.FrameWidth, 600);
  EXPECT_EQ(h.Error("cropleft", "600"),
            "Horizontal crop dimensions are outside the range of the original image.\n"
            "Remember to crop first and scale second.");
}

TEST(OptionParser, CodecsAndTags) {
  TOptionTestHost h;
  h.Parse("acodec", "copy");
  EXPECT_TRUE(h.State.AudioStreamCopy);
  EXPECT_EQ(h.State.AudioCodecName, "");
  h.Parse("acodec", "mp2");
  EXPECT_TRUE(h.State.AudioStreamCopy);  // a name does not clear the copy flag
  EXPECT_EQ(h.State.AudioCodecName, "mp2");
  h.Parse("vcodec", "");
  h.Parse("vcodec", "mpeg4");
  h.Parse("vcodec", "");
  EXPECT_EQ(h.State.VideoCodecName, "mpeg4");

  h.Parse("atag", "mp4a");
  EXPECT_EQ(h.State.AudioCodecTag, 0x6134706Du);
  h.Parse("vtag", "XVID");
  EXPECT_EQ(h.State.VideoCodecTag, 0x44495658u);
  h.Parse("stag", "");
  EXPECT_EQ(h.State.SubtitleCodecTag, 0u);
  EXPECT_EQ(h.Error("atag", "mp4"), "audio tag parameter must be 4 chars");
  EXPECT_EQ(h.Error("vtag", "DIVX5"), "video tag parameter must be 4 chars");
  EXPECT_EQ(h.Error("stag", "x"), "subtitle tag parameter must be 4 chars");
}

TEST(OptionParser, StreamMapsWithSyncAndNumberBases) {
  TOptionTestHost h;
  h.Parse("map", "0.1");
  h.Parse("map", "0.1:0.0");
  h.Parse("map", "0x1.2");
  h.Parse("map", "010.3:1.0x10");
  const auto& m = h.State.StreamMaps;
  ASSERT_EQ(m.size(), 4u);
  // file, stream, sync file, sync stream
  auto fields = [&](size_t i) {
    return std::array{m[i].FileIndex, m[i].StreamIndex, m[i].SyncFileIndex, m[i].SyncStreamIndex};
  };
  EXPECT_EQ(fields(0), (std::array{0, 1, 0, 1}));
  EXPECT_EQ(fields(1), (std::array{0, 1, 0, 0}));
  EXPECT_EQ(fields(2), (std::array{1, 2, 1, 2}));
  EXPECT_EQ(fields(3), (std::array{8, 3, 1, 16}));

  for (int i = 4; i < MaxStreamMaps; ++i) h.Parse("map", "0.0");
  EXPECT_NE(h.Error("map", "0.0"), "");
  EXPECT_EQ(h.State.StreamMaps.size(), static_cast<size_t>(MaxStreamMaps));

  h.Parse("map_meta_data", "1.0");
  ASSERT_EQ(h.State.MetaDataMaps.size(), 1u);
  EXPECT_EQ(h.State.MetaDataMaps[0].OutFile, 1);
  EXPECT_EQ(h.State.MetaDataMaps[0].InFile, 0);
  for (int i = 1; i < MaxMetaDataMaps; ++i) h.Parse("map_meta_data", "0.0");
  EXPECT_NE(h.Error("map_meta_data", "0.0"), "");
}

TEST(OptionParser, StreamTablesRejectIndicesOutsideThem) {
  TOptionTestHost h;
  h.Parse("itsscale", "3:1.5");
  EXPECT_DOUBLE_EQ(h.State.InputTsScale[3], 1.5);
  h.Parse("itsscale", "0x13:2");
  EXPECT_DOUBLE_EQ(h.State.InputTsScale[19], 2.0);
  EXPECT_EQ(h.Error("itsscale", "20:1"), "stream index over MAX_STREAMS(20)");
  EXPECT_EQ(h.Error("itsscale", "-1:1"), "stream index over MAX_STREAMS(20)");

  h.Parse("streamid", "2:301");
  EXPECT_EQ(h.State.StreamIdMap[2], 301);
  const char* syntax =
      "Invalid value \"%s\" for option \"streamid\", required syntax is \"index:value\"";
  for (const char* bad : {"2:", ":5", "25"}) {
    char expected[200];
    std::snprintf(expected, sizeof expected, syntax, bad);
    EXPECT_EQ(h.Error("streamid", bad), expected);
  }
  EXPECT_NE(h.Error("streamid", "20:1"), "");
  EXPECT_NE(h.Error("streamid", "-1:1"), "");
}

TEST(OptionParser, MetadataKeepsOrderAndSplitsAtFirstEquals) {
  TOptionTestHost h;
  h.Parse("metadata", "title=a=b");
  h.Parse("metadata", "comment=");
  ASSERT_EQ(h.State.Metadata.size(), 2u);
  EXPECT_EQ(h.State.Metadata[0], (std::pair<std::string, std::string>{"title", "a=b"}));
  EXPECT_EQ(h.State.Metadata[1], (std::pair<std::string, std::string>{"comment", ""}));
}

TEST(OptionParser, Matrices) {
  TOptionTestHost h;
  std::string text;
  for (int i = 0; i < 64; ++i) text += (i ? "," : "") + std::to_string(i + 8);
  h.Parse("intra_matrix", text);
  ASSERT_TRUE(h.State.IntraMatrix.has_value());
  EXPECT_EQ((*h.State.IntraMatrix)[0], 8);
  EXPECT_EQ((*h.State.IntraMatrix)[63], 71);
  EXPECT_FALSE(h.State.InterMatrix.has_value());

  const std::string short63 = text.substr(0, text.rfind(','));
  EXPECT_EQ(h.Error("inter_matrix", short63),
            "Syntax error in matrix \"" + short63 + "\" at coeff 62");
  EXPECT_FALSE(h.State.InterMatrix.has_value());
  // A zero would make the encoder divide by zero; above 255 it cannot be
  // written. Either leaves the matrix as it was.
  const std::string zero = "0" + text.substr(text.find(','));
  EXPECT_EQ(h.Error("intra_matrix", zero),
            "Invalid value 0 in matrix \"" + zero + "\" at coeff 0 (1 to 255)");
  EXPECT_NE(h.Error("intra_matrix", text.substr(0, text.rfind(',')) + ",256"), "");
  EXPECT_EQ((*h.State.IntraMatrix)[0], 8);
  h.Parse("intra_matrix", "16," + text);  // numbers beyond the 64th are ignored
  EXPECT_EQ((*h.State.IntraMatrix)[0], 16);
  EXPECT_EQ((*h.State.IntraMatrix)[63], 70);
}

TEST(OptionParser, TimesAndDates) {
  TOptionTestHost h;
  h.Parse("t", "00:01:02.5");
  EXPECT_EQ(h.State.RecordingTime, 62500000);
  EXPECT_EQ(h.TotalDuration, 62500000);
  h.Parse("ss", "1.25");
  EXPECT_EQ(h.State.StartTime, 1250000);
  h.Parse("itsoffset", "-2");
  EXPECT_EQ(h.State.InputTsOffset, -2000000);
  h.Parse("timestamp", "2001-02-03 04:05:06.7Z");
  EXPECT_EQ(h.State.RecordTimestamp, 981173107);
  EXPECT_EQ(h.Error("t", "soon"), "Invalid duration specification for t: soon");
  EXPECT_EQ(h.Error("timestamp", "yesterday"),
            "Invalid date specification for timestamp: yesterday");
}

// Values the engine negates, scales or casts are refused by name instead of
// overflowing later; the edges of each range are taken.
TEST(OptionParser, NumbersOutsideTheirRangeAreRefusedByName) {
  TOptionTestHost h;
  EXPECT_EQ(h.Error("dc", "-2147483648"), "dc must be from 0 to 24");
  EXPECT_EQ(h.Error("dc", "11"), "");
  EXPECT_EQ(h.State.IntraDcPrecision, 11);
  EXPECT_EQ(h.Error("async", "-1"), "async must be from 0 to 2147483647");
  EXPECT_EQ(h.Error("async", "2147483647"), "");
  EXPECT_EQ(h.Error("vsync", "3"), "vsync must be from -1 to 2");
  EXPECT_EQ(h.Error("top", "2"), "top must be from -1 to 1");
  EXPECT_EQ(h.Error("vdt", "100"), "vdt must be from -16 to 48");
  EXPECT_EQ(h.Error("muxdelay", "1e39"), "muxdelay must be from 0 to 2147");
  EXPECT_EQ(h.Error("muxpreload", "-0.5"), "muxpreload must be from 0 to 2147");
  EXPECT_EQ(h.Error("muxdelay", "2147"), "");
  EXPECT_EQ(h.Error("aq", "1e300"), "aq must be from -10000 to 10000");
  EXPECT_EQ(h.Error("adrift_threshold", "1e39"), "adrift_threshold must be from 0 to 86400");
  EXPECT_EQ(h.Error("dts_delta_threshold", "-1"), "dts_delta_threshold must be from 0 to 86400");
}

// A start before the beginning would only repeat the first picture.
TEST(OptionParser, NegativeStartIsRefused) {
  TOptionTestHost h;
  EXPECT_EQ(h.Error("ss", "-100"), "ss must not be negative");
  EXPECT_EQ(h.Error("ss", "-9223372036854"), "ss must not be negative");
  EXPECT_EQ(h.Error("ss", "0"), "");
  EXPECT_EQ(h.State.StartTime, 0);
}

TEST(OptionParser, BitstreamFiltersByKind) {
  TOptionTestHost h;
  h.Parse("vbsf", "h264_mp4toannexb");
  h.Parse("absf", "aac_adtstoasc");
  h.Parse("sbsf", "=x");  // nothing before "=": ignored
  h.Parse("vbsf", "");
  EXPECT_EQ(h.State.VideoBitstreamFilters, std::vector<std::string>{"h264_mp4toannexb"});
  EXPECT_EQ(h.State.AudioBitstreamFilters, std::vector<std::string>{"aac_adtstoasc"});
  EXPECT_TRUE(h.State.SubtitleBitstreamFilters.empty());
  EXPECT_EQ(h.Error("vbsf", " nosuch_bsf=1 "), "Unknown bitstream filter nosuch_bsf=1");
}

TEST(OptionParser, InformationalOptionsAndFormat) {
  TOptionTestHost h;
  TLogCapture log;
  h.Parse("y", "");
  h.Parse("timelimit", "10");
  h.Parse("f", "pgmyuv");
  EXPECT_TRUE(log.Contains("Do nothing: option - y"));
  EXPECT_TRUE(log.Contains("Warning: -timelimit not implemented on Windows"));
  EXPECT_TRUE(log.Contains("pgmyuv format is deprecated, use image2"));
  EXPECT_EQ(h.State.FileFormatName, "image2");
  EXPECT_TRUE(h.State.PgmYuv);
  h.Parse("vhook", "hook.so -a");
  EXPECT_EQ(h.Hooks, std::vector<std::string>{"hook.so -a"});
  EXPECT_TRUE(h.State.UsingVHook);
  h.Parse("vstats", "");
  // A name of the current folder: the program's own is read-only once installed.
  EXPECT_EQ(h.State.VStatsFileName.rfind("vstats_", 0), 0u);
  EXPECT_EQ(h.State.VStatsFileName.find('/'), std::string::npos);
  EXPECT_EQ(h.State.VStatsFileName.substr(h.State.VStatsFileName.size() - 4), ".log");
}

TEST(OptionParser, LogLevelOptions) {
  TLogLevel before = FFLogger().LogLevel();
  TOptionTestHost h;
  h.Parse("loglevel", "warning");
  EXPECT_EQ(FFLogger().LogLevel(), llWarning);
  EXPECT_THROW(h.Parse("loglevel", "chatty"), FFmpegException);
  // Library debugging asks for every message.
  h.Parse("debug", "mb_type");
  EXPECT_EQ(FFLogger().LogLevel(), llDebug);
  FFLogger().SetLogLevel(before);
}

TEST(OptionParser, StateWithoutResetStillTakesGenericOptions) {
  TOptionState state;
  TOptionParser parser(state, nullptr);
  EXPECT_TRUE(parser.SetGenericOption("g", "9"));
  int64_t g = 0;
  FF.av_opt_get_int(state.Generic.CodecContext(AVMEDIA_TYPE_VIDEO), "g", 0, &g);
  EXPECT_EQ(g, 9);
  EXPECT_EQ(parser.State().Generic.Names(), std::vector<std::string>{"g"});
  // Without an engine the options that need one refuse cleanly.
  EXPECT_THROW(parser.ParseOption("newvideo", ""), FFmpegException);
  EXPECT_THROW(parser.ParseOption("vhook", "x.so"), FFmpegException);
  EXPECT_NO_THROW(parser.ParseOption("t", "5"));
  EXPECT_EQ(state.RecordingTime, 5000000);
}
