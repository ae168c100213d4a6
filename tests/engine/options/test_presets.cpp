#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>

#include <unistd.h>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/options/OptionMoved.h"
#include "engine/options/Presets.h"
#include "engine/options/test_option_host.h"

namespace {

int64_t VideoInt(TOptionTestHost& h, const char* name) {
  int64_t v = 0;
  FF.av_opt_get_int(h.State.Generic.CodecContext(AVMEDIA_TYPE_VIDEO), name, 0, &v);
  return v;
}

// A preset file in the temporary folder, removed with the object.
struct TTempPreset {
  explicit TTempPreset(const std::string& text) {
    char name[] = "/tmp/quor-presetXXXXXX";
    int fd = mkstemp(name);
    Path = name;
    std::ofstream(Path, std::ios::binary) << text;
    ::close(fd);
  }
  ~TTempPreset() { std::remove(Path.c_str()); }
  std::string Path;
};

}  // namespace

TEST(Presets, TableHoldsFortyDistinctPresetsEndingInLineFeeds) {
  const auto& presets = BuiltInPresets();
  ASSERT_EQ(presets.size(), 40u);
  std::set<std::string> names;
  for (const auto& p : presets) {
    names.insert(p.Name);
    ASSERT_FALSE(p.Text.empty());
    EXPECT_EQ(p.Text.back(), '\n') << p.Name;
    EXPECT_EQ(p.Text.find("\n\n"), std::string::npos) << p.Name;
  }
  EXPECT_EQ(names.size(), 40u);
  EXPECT_EQ(FindBuiltInPreset("libx264-baseline")->Text,
            "coder=0\nbf=0\nflags2=-wpred-dct8x8\nwpredp=0\n");
  const std::string ultrafast = FindBuiltInPreset("LIBX264-UltraFast")->Text;
  EXPECT_EQ(ultrafast.substr(0, 20), "coder=0\nflags=-loop\n");
  // Left-out lines stay out: no bf, refs or trellis in lossless_fast; cqp there.
  const std::string lossless = FindBuiltInPreset("libx264-lossless_fast")->Text;
  EXPECT_EQ(lossless.find("\nbf="), std::string::npos);
  EXPECT_EQ(lossless.find("\nrefs="), std::string::npos);
  EXPECT_NE(lossless.find("\ncqp=0\nwpredp=0\n"), std::string::npos);
  const std::string ps3 = FindBuiltInPreset("libx264-ps3")->Text;
  EXPECT_EQ(ps3.find("b=1250000"), std::string::npos);
  EXPECT_NE(ps3.find("maxrate=3500000"), std::string::npos);
  EXPECT_EQ(FindBuiltInPreset("libx264-nosuch"), nullptr);
}

// Every built-in preset applies cleanly, old names translated, and the
// encoder it was written for opens with the result and uses all of it.
TEST(Presets, EveryBuiltInPresetLoadsAndOpensTheEncoder) {
  const AVCodec* x264 = FF.avcodec_find_encoder_by_name("libx264");
  ASSERT_NE(x264, nullptr);
  for (const auto& p : BuiltInPresets()) {
    TOptionTestHost h;
    h.Parse("vcodec", "libx264");
    ASSERT_EQ(h.Error("vpre", p.Name), "") << p.Name;

    AVCodecContext* enc = FF.avcodec_alloc_context3(x264);
    h.State.Generic.CopyToCodecContext(AVMEDIA_TYPE_VIDEO, enc, OptMaskVideo | OptMaskEncoding);
    enc->width = 64;
    enc->height = 64;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = {1, 25};
    AVDictionary* opts = h.State.Generic.CopyPrivateCodecOptions(AVMEDIA_TYPE_VIDEO);
    EXPECT_GE(FF.avcodec_open2(enc, x264, &opts), 0) << p.Name;
    EXPECT_EQ(FF.av_dict_count(opts), 0) << p.Name;
    FF.av_dict_free(&opts);
    FF.avcodec_free_context(&enc);
  }
}

TEST(Presets, ObsoleteLinesBecomeTheirCurrentOptions) {
  TOptionTestHost h;
  h.Parse("vcodec", "libx264");
  h.Parse("vpre", "libx264-hq");  // found directly
  const AVDictionary* x264 = h.State.Generic.PrivateCodecOptions(AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(DictValue(x264, "direct-pred"), "3");
  EXPECT_EQ(DictValue(x264, "weightb"), "1");
  EXPECT_EQ(DictValue(x264, "8x8dct"), "1");
  EXPECT_EQ(DictValue(x264, "mixed-refs"), "1");
  EXPECT_EQ(DictValue(x264, "fast-pskip"), "1");
  EXPECT_EQ(DictValue(x264, "partitions"), "i8x8,i4x4,p8x8,b8x8");
  EXPECT_EQ(DictValue(x264, "me_method"), "umh");
  EXPECT_EQ(VideoInt(h, "subq"), 8);
  EXPECT_EQ(VideoInt(h, "refs"), 4);

  TOptionTestHost lossless;
  lossless.Parse("vcodec", "libx264");
  lossless.Parse("vpre", "lossless_ultrafast");  // by codec name
  const AVDictionary* l = lossless.State.Generic.PrivateCodecOptions(AVMEDIA_TYPE_VIDEO);
  EXPECT_EQ(DictValue(l, "qp"), "0");
  EXPECT_EQ(DictValue(l, "partitions"), "none");
}

TEST(Presets, TranslationOfMovedOptions) {
  auto t = TranslateMovedOption("flags2", "+bpyramid-mixed_refs+wpred-dct8x8+fastpskip-mbtree");
  ASSERT_TRUE(t.Translated);
  using P = std::pair<std::string, std::string>;
  EXPECT_EQ(t.Options, (std::vector<P>{{"b-pyramid", "normal"},
                                       {"mixed-refs", "0"},
                                       {"weightb", "1"},
                                       {"8x8dct", "0"},
                                       {"fast-pskip", "1"},
                                       {"mbtree", "0"}}));
  // Constants that still exist stay in the flags value.
  t = TranslateMovedOption("flags", "+loop+scan_offset");
  EXPECT_EQ(t.Options, (std::vector<P>{{"flags", "+loop"}, {"scan_offset", "1"}}));
  EXPECT_FALSE(TranslateMovedOption("flags", "+loop").Translated);
  EXPECT_FALSE(TranslateMovedOption("partitions", "all").Translated);
  EXPECT_EQ(TranslateMovedOption("partitions", "-parti8x8+parti4x4-partb8x8").Options,
            (std::vector<P>{{"partitions", "i4x4"}}));
  EXPECT_EQ(TranslateMovedOption("cqp", "0").Options, (std::vector<P>{{"qp", "0"}}));
}

TEST(Presets, LookupFailuresAndFiles) {
  TOptionTestHost h;
  EXPECT_EQ(h.Error("vpre", "medium"), "Preset \"medium\" not found");  // no codec yet
  h.Parse("vcodec", "libx264");
  EXPECT_EQ(h.Error("vpre", "medium"), "");
  EXPECT_EQ(h.Error("vpre", "/no/such/preset.ffpreset"),
            "Preset \"/no/such/preset.ffpreset\" not found");
  // "fpre" never looks at the built-in table.
  EXPECT_EQ(h.Error("fpre", "libx264-hq"), "Preset \"libx264-hq\" not found");
  EXPECT_EQ(h.Error("apre", ""), "");

  TTempPreset good("  \r\n g = 48 \r\nvcodec=mpeg4\r\r\nflags=+loop\n\n  ");
  EXPECT_EQ(h.Error("fpre", good.Path), "");
  EXPECT_EQ(VideoInt(h, "g"), 48);
  EXPECT_EQ(h.State.VideoCodecName, "mpeg4");

  TTempPreset noValue("g=10\nbf=\n");
  EXPECT_EQ(h.Error("vpre", noValue.Path), noValue.Path + ": Invalid syntax: \"bf=\"");
  TTempPreset noName("=5\n");
  EXPECT_EQ(h.Error("apre", noName.Path), noName.Path + ": Invalid syntax: \"=5\"");
  TTempPreset noEquals("loop\n");
  EXPECT_EQ(h.Error("apre", noEquals.Path), noEquals.Path + ": Invalid syntax: \"loop\"");
  TTempPreset unknown("g=10\nnosuchoption = 3\n");
  EXPECT_EQ(h.Error("spre", unknown.Path),
            unknown.Path +
                ": Invalid option or argument: \"nosuchoption = 3\", parsed as \"nosuchoption\" = "
                "\"3\"");
  TTempPreset badValue("g=lots\n");
  EXPECT_NE(h.Error("vpre", badValue.Path).find("Invalid option or argument"), std::string::npos);
}
