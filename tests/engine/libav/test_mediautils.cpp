#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "engine/common/FFmpegException.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/MediaUtils.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Runs a block with TZ set, then puts the old zone back.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old, had_ = true;
    ::setenv("TZ", tz, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    had_ ? ::setenv("TZ", old_.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string old_;
  bool had_ = false;
};

}  // namespace

TEST(MediaUtils, TimeText) {
  EXPECT_EQ(TimeToText(NoTimeValue), "N/A");
  EXPECT_EQ(TimeToText(0), "00:00:00.000");
  EXPECT_EQ(TimeToText(999), "00:00:00.000");
  EXPECT_EQ(TimeToText(1000), "00:00:00.001");
  EXPECT_EQ(TimeToText(3723004000LL), "01:02:03.004");
  EXPECT_EQ(TimeToText(90000000000LL), "25:00:00.000");
  EXPECT_EQ(TimeToText(1000LL * 3600000000LL), "1000:00:00.000");
}

TEST(MediaUtils, SizeTextSwitchesUnitsJustAboveEachPower) {
  EXPECT_EQ(SizeToText(0), "0 Byte");
  EXPECT_EQ(SizeToText(1024), "1024 Byte");
  EXPECT_EQ(SizeToText(1025), "1.00 KB");
  EXPECT_EQ(SizeToText(1048576), "1024.00 KB");
  EXPECT_EQ(SizeToText(1048577), "1.00 MB");
  EXPECT_EQ(SizeToText(1073741825LL), "1.00 GB");
  EXPECT_EQ(SizeToText(5LL * 1073741824LL), "5.00 GB");
}

TEST(MediaUtils, ErrorTextsKeepOwnWordingAndFallBack) {
  EXPECT_EQ(ErrorText("in.avi", -2), "in.avi: No such file or directory");
  EXPECT_EQ(ErrorMessage(-1163346256), "Not yet implemented in FFmpeg");
  EXPECT_EQ(ErrorMessage(-10043), "Unsupported network protocol");
  EXPECT_EQ(ErrorMessage(-32), "End of file");
  EXPECT_EQ(ErrorMessage(AVERROR_EOF), "End of file");
  EXPECT_EQ(ErrorMessage(AVERROR_INVALIDDATA), "Invalid data found when processing input");
  // Not in the table: the library's own words, else the generic text.
  EXPECT_EQ(ErrorMessage(AVERROR(EACCES)), "Permission denied");
  EXPECT_EQ(ErrorMessage(-123456789), "Error number -123456789 occurred");
}

TEST(MediaUtils, CodecNameTextForms) {
  AVCodecParameters par{};
  par.codec_id = AV_CODEC_ID_MPEG4;
  EXPECT_EQ(CodecNameText(&par, true), "mpeg4(MPEG-4 part 2)");
  par.codec_id = AV_CODEC_ID_MPEG2TS;
  EXPECT_EQ(CodecNameText(&par, false), "mpeg2ts");
  par.codec_id = AV_CODEC_ID_VP6;  // decodable, but no encoder: its own name
  EXPECT_EQ(CodecNameText(&par, true), "vp6");
  par.codec_id = AV_CODEC_ID_NONE;
  par.codec_tag = MKTAG('X', 'V', 'I', 'D');
  EXPECT_EQ(CodecNameText(&par, false), "XVID / 0x44495658");
  par.codec_tag = 0x01020304;
  EXPECT_EQ(CodecNameText(&par, false), "0x1020304");

  AVCodecContext* ctx = FF.avcodec_alloc_context3(nullptr);
  ASSERT_NE(ctx, nullptr);
  ctx->codec_id = AV_CODEC_ID_MP2;
  EXPECT_EQ(CodecNameText(ctx, false), "mp2(MP2 (MPEG audio layer 2))");
  FF.avcodec_free_context(&ctx);
}

TEST(MediaUtils, MetadataValue) {
  AVDictionary* dict = nullptr;
  FF.av_dict_set(&dict, "title", "Holiday", 0);
  EXPECT_EQ(MetadataValue(dict, "title", "-"), "Holiday");
  EXPECT_EQ(MetadataValue(dict, "TITLE", "-"), "Holiday");
  EXPECT_EQ(MetadataValue(dict, "artist", "-"), "-");
  EXPECT_EQ(MetadataValue(nullptr, "title", "none"), "none");
  FF.av_dict_free(&dict);
}

TEST(MediaUtils, ReadWholeFile) {
  TTestFolder dir;
  const std::string data("abc\0def\n", 8);
  WriteFile(dir.In("a.bin"), data);
  std::string got = "stale";
  EXPECT_EQ(ReadWholeFile(dir.In("a.bin"), got), 0);
  EXPECT_EQ(got, data);
  EXPECT_EQ(ReadWholeFile(dir.In("missing"), got), -1);
  EXPECT_TRUE(got.empty());
  WriteFile(dir.In("empty"), "");
  EXPECT_EQ(ReadWholeFile(dir.In("empty"), got), 0);
  EXPECT_TRUE(got.empty());
}

TEST(MediaUtils, PathHelpers) {
  EXPECT_EQ(IncludeTrailingSlash("/a/b"), "/a/b/");
  EXPECT_EQ(IncludeTrailingSlash("/a/b/"), "/a/b/");
  EXPECT_EQ(IncludeTrailingSlash(""), "");
  EXPECT_EQ(ExtractFilePath("/v/clip.mp4"), "/v/");
  EXPECT_EQ(ExtractFileName("/v/clip.mp4"), "clip.mp4");
  EXPECT_EQ(ExtractFilePath("clip.mp4"), "");
  EXPECT_EQ(ExtractFileName("clip.mp4"), "clip.mp4");
  EXPECT_EQ(ExtractFileName("/v/"), "");
  EXPECT_EQ(ExpandFullPath("/a/./b/../c//d"), "/a/c/d");
  EXPECT_EQ(ExpandFullPath("/../x"), "/x");
  EXPECT_EQ(ExpandFullPath("/a/b/"), "/a/b/");

  TTestFolder dir;
  const std::string name = dir.In("Grüße 日本.mp4");
  WriteFile(name, "12345");
  EXPECT_TRUE(FileExists(name));
  EXPECT_EQ(FileSize(name), 5);
  EXPECT_FALSE(FileExists(dir.Path()));
  EXPECT_EQ(FileSize(dir.Path()), -1);
  EXPECT_FALSE(FileExists(dir.In("missing")));
  EXPECT_EQ(FileSize(dir.In("missing")), -1);

  const std::string old = GetCurrentFolder();
  ASSERT_TRUE(SetCurrentFolder(dir.Path()));
  EXPECT_EQ(fs::path(GetCurrentFolder()), fs::canonical(dir.Path()));
  EXPECT_EQ(ExpandFullPath("sub/../Grüße 日本.mp4"), GetCurrentFolder() + "/Grüße 日本.mp4");
  EXPECT_FALSE(SetCurrentFolder(dir.In("missing")));
  ASSERT_TRUE(SetCurrentFolder(old));
}

TEST(MediaUtils, DateTimeConversionsFollowTheLocalZone) {
  {
    ScopedTimeZone utc("UTC");
    EXPECT_DOUBLE_EQ(UnixToLocalDateTime(0), 25569.0);
    EXPECT_DOUBLE_EQ(UnixToLocalDateTime(86400 + 43200), 25570.5);
    EXPECT_EQ(LocalDateTimeToUnix(25570.5), 86400 + 43200);
  }
  {
    ScopedTimeZone east("UTC-02");  // two hours ahead of UTC
    EXPECT_DOUBLE_EQ(UnixToLocalDateTime(0), 25569.0 + 2.0 / 24.0);
    EXPECT_EQ(LocalDateTimeToUnix(25569.0 + 2.0 / 24.0), 0);
  }
  {
    ScopedTimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
    for (std::int64_t t : {1700000000LL, 1720000000LL}) {  // winter and summer
      EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(t)), t);
      EXPECT_EQ(LocalDateTimeToUnix(UnixToLocalDateTime(t) + 0.4 / 86400.0), t)
          << "rounds to seconds";
    }
    // Summer time is one hour further ahead than winter time.
    double summer = UnixToLocalDateTime(1720000000LL) - 1720000000.0 / 86400.0;
    double winter = UnixToLocalDateTime(1700000000LL) - 1700000000.0 / 86400.0;
    EXPECT_NEAR((summer - winter) * 24.0, 1.0, 1e-6);
  }
}

TEST(MediaUtils, StrictNumberConversions) {
  EXPECT_EQ(StrToIntStrict(" 42 "), 42);
  EXPECT_EQ(StrToIntStrict("-7"), -7);
  EXPECT_EQ(StrToIntStrict("+7"), 7);
  EXPECT_EQ(StrToInt64Strict("9000000000"), 9000000000LL);
  for (const char* bad : {"", " ", "4x", "1.5", "+-1", "0x10", "99999999999"}) {
    try {
      StrToIntStrict(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const FFmpegException& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
    }
  }
  EXPECT_DOUBLE_EQ(StrToFloatStrict("1.5"), 1.5);
  EXPECT_DOUBLE_EQ(StrToFloatStrict("-.25"), -0.25);
  EXPECT_DOUBLE_EQ(StrToFloatStrict("+2e3"), 2000.0);
  for (const char* bad : {"", "abc", "inf", "nan", "1,5", "2.0x"})
    EXPECT_THROW(StrToFloatStrict(bad), FFmpegException) << bad;
}
