// The option builder against small hand-written profiles and settings (the
// rules one at a time) and against the installed profile with factory
// settings (every format end to end).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "app/OptionBuilder.h"
#include "platform/Environment.h"
#include "platform/IniFile.h"
#include "profiles/FormatCatalog.h"
#include "profiles/FormatProfile.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCode = 104;
const std::string kSection = "formatInfo104";

std::string InstalledProfile() {
  return (fs::path(QUOR_SOURCE_DATA_DIR) / "quormp4aviformat.ini").string();
}

// Answers every question with a fixed button.
class TFixedAnswer : public TDefaultUserInteraction {
 public:
  explicit TFixedAnswer(bool yes) : yes_(yes) {}
  bool AskYesNo(const std::string& caption, const std::string& text, bool defaultYes) override {
    TDefaultUserInteraction::AskYesNo(caption, text, defaultYes);
    return yes_;
  }

 private:
  bool yes_;
};

class OptionBuilder : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.SettingsFile = (root_ / "settings.ini").string();
    context_.ProfileFile = (root_ / "profile.ini").string();
    context_.Ui = &ui_;
    // A video format with the usual lists; tests change single keys.
    Profile({{"Format", "avi"},
             {"VideoBitRate", "as source,256,512,1000,2500"},
             {"SampleRate", "as source,22050,44100,48000"},
             {"AudioBitRate", "as source,32,64,128,320"},
             {"paraVideoBitRate", "1200"},
             {"paraSampleRate", "44100"},
             {"paraAudioBitRate", "128"}});
    Settings({{"paraVideoEncoder", "mpeg4"},
              {"paraAudioEncoder", "libmp3lame"},
              {"paraVideoSize", "640x480"},
              {"paraVideoBitRate", "1000"},
              {"paraFrameRate", "25"},
              {"paraSampleRate", "44100"},
              {"paraAudioBitRate", "128"},
              {"paraChannel", "2"},
              {"paraVolume", "256"}});
    source_.VideoStreamCount = 1;
    source_.Width = 640;
    source_.Height = 480;
    source_.VideoBitRate = 800000;
    source_.AudioSampleRate = 44100;
    source_.AudioBitRate = 128000;
    record_.Zoom = "full";
  }

  void Profile(const std::vector<std::pair<std::string, std::string>>& values) {
    ASSERT_TRUE(platform::WriteIniStrings(context_.ProfileFile, kSection, values));
  }
  void Settings(const std::vector<std::pair<std::string, std::string>>& values) {
    ASSERT_TRUE(platform::WriteIniStrings(context_.SettingsFile, kSection, values));
  }
  void Unset(const std::string& key) {
    ASSERT_TRUE(platform::DeleteIniKey(context_.SettingsFile, kSection, key));
  }
  void Source(int w, int h) {
    source_.Width = w;
    source_.Height = h;
  }

  void Build() {
    InitOutputOptions(out_);
    InitInputOptions(in_);
    BuildConversionOptions(context_, record_, kCode, out_, source_, in_);
  }
  // Builds a zoom of a w x h source into the settings' target size.
  void BuildZoom(const std::string& zoom, int w, int h, const std::string& target) {
    record_.Zoom = zoom;
    Source(w, h);
    Settings({{"paraVideoSize", target}});
    Build();
  }
  bool InRange(TRangeKind kind, std::int64_t value) {
    return ValueInChoiceRange(TFormatProfile(context_.ProfileFile, kCode), kind, value);
  }

  TTestFolder folder_;
  const std::filesystem::path root_{folder_.Path()};
  TDefaultUserInteraction ui_;
  TBuildContext context_;
  TlvFilesRecord record_;
  TSourceStreams source_;
  TOutputOptions out_;
  TInputOptions in_;
};

// ---- Frame size and zoom ----

TEST_F(OptionBuilder, LetterboxBarsForEveryShapeOfSourceAndTarget) {
  struct Case {
    int sw, sh;
    const char* target;
    const char* frameSize;
    const char* aspect;
    const char* filter;
  } cases[] = {
      {720, 480, "320x240", "320x212", "320:212", "pad=320:240:0:14"},  // both shrink, wider source
      {1920, 1080, "640x480", "640x360", "640:360", "pad=640:480:0:60"},  // 16:9 into 4:3
      {640, 480, "1280x720", "960x720", "960:720",
       "pad=1280:720:160:0"},                                           // 4:3 into 16:9, enlarged
      {640, 480, "640x360", "480x360", "480:360", "pad=640:360:80:0"},  // 4:3 into 16:9, shrunk
      {1280, 720, "640x360", "640x360", "640:360", "pad=640:360:0:0"},  // same shape, shrunk
      {320, 240, "640x480", "640x480", "640:480", "pad=640:480:0:0"},   // same shape, enlarged
      {720, 400, "640x480", "640x356", "640:356",
       "pad=640:480:0:62"},  // wider, but lower than the target
      {400, 600, "640x480", "320x480", "320:480", "pad=640:480:160:0"},  // narrower, but higher
      {640, 480, "as source", "640x480", "640:480", "pad=640:480:0:0"},
      {321, 241, "as source", "320x240", "320:240", "pad=320:240:0:0"},  // odd source made even
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.sw) + "x" + std::to_string(c.sh) + " -> " + c.target);
    BuildZoom("lbox", c.sw, c.sh, c.target);
    EXPECT_EQ(out_.FrameSize, c.frameSize);
    EXPECT_EQ(out_.FrameAspectRatio, c.aspect);
    EXPECT_EQ(out_.VideoFilters, c.filter);
    EXPECT_EQ(out_.CropLeft, 0);
  }
}

TEST_F(OptionBuilder, LetterboxOfACroppedPictureCropsInTheFilterAndKeepsItsShape) {
  // A square middle part of a 4:3 source into a 4:3 frame: bars at the sides.
  record_.CropLeft = record_.CropRight = 80;
  BuildZoom("lbox", 640, 480, "640x480");
  EXPECT_EQ(out_.VideoFilters, "crop=480:480:80:0,scale=480:480,pad=640:480:80:0");
  // The aspect belongs to the picture the engine hands to the filter: the
  // whole source, whose own shape keeps the pixels square.
  EXPECT_EQ(out_.FrameAspectRatio, "640:480");
  EXPECT_EQ(out_.FrameSize, "");
  EXPECT_EQ(out_.CropLeft, 0);
  EXPECT_EQ(out_.CropRight, 0);
}

TEST_F(OptionBuilder, FullScreenTakesTheTargetSizeAndTheRecordsCrop) {
  BuildZoom("full", 1920, 1080, "321x243");
  EXPECT_EQ(out_.FrameSize, "320x242");
  EXPECT_EQ(out_.FrameAspectRatio, "320:242");
  EXPECT_EQ(out_.VideoFilters, "");
  EXPECT_EQ(out_.CropTop, 0);  // unset crop fields become 0

  record_.CropTop = 10, record_.CropBottom = 20, record_.CropLeft = 30, record_.CropRight = 40;
  BuildZoom("full", 1920, 1080, "640x480");
  EXPECT_EQ(out_.CropTop, 10);
  EXPECT_EQ(out_.CropBottom, 20);
  EXPECT_EQ(out_.CropLeft, 30);
  EXPECT_EQ(out_.CropRight, 40);

  record_.CropLeft = 1000, record_.CropRight = 1000;  // nothing left of the picture: ignored
  BuildZoom("full", 1920, 1080, "640x480");
  EXPECT_EQ(out_.CropLeft, 0);
  EXPECT_EQ(out_.CropTop, 0);
}

TEST_F(OptionBuilder, PanAndScanCutsTheLongSideEquallyToAFourByThreePicture) {
  BuildZoom("pan", 1280, 720, "640x480");
  EXPECT_EQ(out_.CropLeft, 160);
  EXPECT_EQ(out_.CropRight, 160);
  EXPECT_EQ(out_.CropTop, 0);
  EXPECT_EQ(out_.FrameSize, "640x480");
  EXPECT_EQ(out_.FrameAspectRatio, "640:480");
  EXPECT_EQ(out_.VideoFilters, "");

  BuildZoom("pan", 480, 640, "640x480");
  EXPECT_EQ(out_.CropTop, 140);
  EXPECT_EQ(out_.CropBottom, 140);
  EXPECT_EQ(out_.CropLeft, 0);

  BuildZoom("pan", 640, 480, "1280x720");
  EXPECT_EQ(out_.CropLeft + out_.CropRight + out_.CropTop + out_.CropBottom, 0);
  EXPECT_EQ(out_.FrameSize, "1280x720");

  // Uneven margins of the record stay; the extra cut is the same on both ends.
  record_.CropLeft = 20, record_.CropRight = 40, record_.CropTop = 10, record_.CropBottom = 10;
  BuildZoom("pan", 1280, 720, "640x480");
  EXPECT_EQ(out_.CropLeft - 20, out_.CropRight - 40);
  EXPECT_EQ(out_.CropLeft % 2, 0);
  EXPECT_EQ(out_.CropTop, 10);
  EXPECT_EQ(out_.CropBottom, 10);
  const int keptW = 1280 - out_.CropLeft - out_.CropRight;
  EXPECT_GE(keptW * 3, 700 * 4 - 3);
  EXPECT_LE(keptW * 3, (700 * 4) + 4 * 3);
}

TEST_F(OptionBuilder, CenterPadsWithBlackAndShrinksOnlyWhatDoesNotFit) {
  BuildZoom("center", 320, 240, "640x480");
  EXPECT_EQ(out_.VideoFilters, "pad=640:480:160:120:black");
  EXPECT_EQ(out_.FrameSize, "");

  BuildZoom("center", 1280, 720, "640x480");
  EXPECT_EQ(out_.VideoFilters, "scale=640:360,pad=640:480:0:60:black");

  record_.CropLeft = record_.CropRight = 100;
  BuildZoom("center", 640, 480, "640x480");
  EXPECT_EQ(out_.VideoFilters, "crop=440:480:100:0,pad=640:480:100:0:black");
  EXPECT_EQ(out_.CropLeft, 0);
}

TEST_F(OptionBuilder, ShapingZoomsOfAPictureOfUnknownSizeOnlyScale) {
  for (const char* zoom : {"lbox", "pan", "center"}) {
    BuildZoom(zoom, 0, 0, "640x480");
    EXPECT_EQ(out_.FrameSize, "640x480") << zoom;
    EXPECT_EQ(out_.VideoFilters, "") << zoom;
  }
}

TEST_F(OptionBuilder, H263SizesSnapToTheEncodersSizes) {
  Settings({{"paraVideoEncoder", "h263"}});
  struct Case {
    const char* size;
    const char* expected;
  } cases[] = {{"400x300", "704x576"}, {"200x150", "352x288"}, {"1280x720", "704x576"},
               {"128x96", "128x96"},   {"160x100", "160x100"}, {"352x2", "352x288"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    BuildZoom("full", 640, 480, c.size);
    EXPECT_EQ(out_.VideoCodec, "h263");
    EXPECT_EQ(out_.FrameSize, c.expected);
  }
  Settings({{"paraVideoEncoder", "h263p"}});
  BuildZoom("full", 640, 480, "400x300");
  EXPECT_EQ(out_.FrameSize, "400x300");
}

TEST_F(OptionBuilder, ASizeWithoutAUsableXAsksOnceAndFallsBackByTheAnswer) {
  for (const char* text : {"640", "x480", "640x", "null"}) {
    SCOPED_TRACE(text);
    ui_.Questions.clear();
    BuildZoom("full", 720, 576, text);
    ASSERT_EQ(ui_.Questions.size(), 1u);
    EXPECT_EQ(ui_.Questions[0].Caption, "Warning");
    EXPECT_EQ(ui_.Questions[0].Text, "Error output Video Size.Use the default size 320x240?");
    EXPECT_EQ(out_.FrameSize, "320x240");
  }
  TFixedAnswer no(false);
  context_.Ui = &no;
  BuildZoom("full", 720, 576, "640");
  EXPECT_EQ(out_.FrameSize, "720x576");

  // Parts that are no positive whole number take the source's extent.
  BuildZoom("full", 720, 576, "abcx0");
  EXPECT_EQ(out_.FrameSize, "720x576");
  EXPECT_TRUE(no.Questions.size() == 1);
}

// ---- Codecs, targets, rates ----

TEST_F(OptionBuilder, VideoCodecTargetsAndPresets) {
  Settings({{"paraVideoEncoder", "MPEG4"}});
  Build();
  EXPECT_EQ(out_.VideoCodec, "");

  Settings({{"paraVideoEncoder", "mpeg2video"}});
  Build();
  EXPECT_EQ(out_.VideoCodec, "mpeg2video");
  EXPECT_EQ(out_.Target, 3);

  Settings({{"paraVideoEncoder", "libx264"}});
  for (auto [format, preset] : {std::pair{"PSP", "libx264-psp"},
                                {"ipod", "libx264-ipod"},
                                {"ps3", "libx264-ps3"},
                                {"mp4", "libx264-mp4"}}) {
    Profile({{"Format", format}});
    Build();
    EXPECT_EQ(out_.VideoPreset, preset) << format;
  }
  EXPECT_EQ(out_.FileFormat, "");  // "mp4" is guessed from the file name
  Profile({{"Format", "PSP"}});
  Build();
  EXPECT_EQ(out_.FileFormat, "PSP");

  Profile({{"Format", "pal-dvd"}});
  Settings({{"paraVideoSize", "720x576"}});
  Build();
  EXPECT_EQ(out_.Target, 3);
  EXPECT_EQ(out_.TargetNorm, 1);
  Profile({{"Format", "NTSC-VCD"}});
  Build();
  EXPECT_EQ(out_.Target, 1);
  EXPECT_EQ(out_.TargetNorm, 2);
}

// What players read before they play: the four-character code of MPEG-4
// Visual in AVI, the index at the front of the MP4 family, the date of DV
// and ASF headers.
TEST_F(OptionBuilder, ContainerDetailsPlayersLookFor) {
  for (const char* encoder : {"mpeg4", "libxvid"}) {
    Settings({{"paraVideoEncoder", encoder}});
    Build();
    EXPECT_EQ(out_.VideoTag, "XVID") << encoder;
  }
  // The Divx format, with the same choices.
  for (const std::string& file : {context_.ProfileFile, context_.SettingsFile}) {
    std::vector<std::pair<std::string, std::string>> section;
    for (const std::string& key : platform::ReadIniKeys(file, kSection))
      section.emplace_back(key, platform::ReadIniString(file, kSection, key, ""));
    ASSERT_TRUE(platform::WriteIniStrings(file, "formatInfo106", section));
  }
  InitOutputOptions(out_);
  BuildConversionOptions(context_, record_, 106, out_, source_, in_);
  EXPECT_EQ(out_.VideoTag, "DX50");
  Settings({{"paraVideoEncoder", "wmv2"}});
  Build();
  EXPECT_EQ(out_.VideoTag, "");
  EXPECT_EQ(out_.ExtraOptions, "");
  EXPECT_EQ(out_.Metadata.TimeStamp, -1.0);

  Settings({{"paraVideoEncoder", "mpeg4"}});
  for (const char* format : {"mp4", "ipod", "M4A"}) {
    Profile({{"Format", format}});
    Build();
    EXPECT_EQ(out_.ExtraOptions, kFrontIndexOption) << format;
    EXPECT_EQ(out_.VideoTag, "") << format;
  }
  Settings({{"paraVideoEncoder", ""}});  // audio only
  Build();
  EXPECT_EQ(out_.ExtraOptions, kFrontIndexOption);

  for (const char* format : {"dv", "asf"}) {
    Profile({{"Format", format}});
    Build();
    EXPECT_EQ(out_.Metadata.TimeStamp, 0.0) << format;  // the conversion's moment
    EXPECT_EQ(out_.ExtraOptions, "") << format;
  }
}

TEST_F(OptionBuilder, VideoBitRateAndFrameRate) {
  Build();
  EXPECT_EQ(out_.VideoBitRate, 1000000);
  EXPECT_EQ(out_.FrameRate, "25");

  Settings({{"paraVideoBitRate", "as source"}, {"paraFrameRate", "29.97"}});
  Build();
  EXPECT_EQ(out_.VideoBitRate, 800000);  // within 256..2500 kbit/s
  EXPECT_EQ(out_.FrameRate, "29.97");
  source_.VideoBitRate = 8000000;
  Build();
  EXPECT_EQ(out_.VideoBitRate, 1200000);  // the profile's fallback

  Settings({{"paraVideoBitRate", "0"}, {"paraFrameRate", "as source"}});
  Build();
  EXPECT_EQ(out_.VideoBitRate, -1);
  EXPECT_EQ(out_.FrameRate, "");
  Settings({{"paraVideoBitRate", "99999999"}});  // beyond the field: not wrapped
  Build();
  EXPECT_EQ(out_.VideoBitRate, -1);

  Settings({{"paraVideoBitRate", "as source"}});
  Profile({{"paraVideoBitRate", "fast"}});
  EXPECT_THROW(
      {
        try {
          Build();
        } catch (const EConvertError& e) {
          EXPECT_STREQ(e.what(), "'fast' is not a valid integer value");
          throw;
        }
      },
      EConvertError);
}

TEST_F(OptionBuilder, ChoiceRanges) {
  EXPECT_TRUE(InRange(rkSampleRate, 22050));
  EXPECT_TRUE(InRange(rkSampleRate, 48000));
  EXPECT_FALSE(InRange(rkSampleRate, 96000));
  EXPECT_FALSE(InRange(rkSampleRate, -1));
  EXPECT_TRUE(InRange(rkAudioBitRate, 32000));
  EXPECT_TRUE(InRange(rkAudioBitRate, 127500));  // 127.5 kbit/s
  EXPECT_FALSE(InRange(rkAudioBitRate, 31999));
  EXPECT_TRUE(InRange(rkVideoBitRate, 2500000));

  Profile({{"SampleRate", "8000,16000"}});
  EXPECT_TRUE(InRange(rkSampleRate, 8000));
  EXPECT_FALSE(InRange(rkSampleRate, 16000));
  Profile({{"SampleRate", "As Source,22050"}});
  EXPECT_TRUE(InRange(rkSampleRate, 22050));
  EXPECT_FALSE(InRange(rkSampleRate, 44100));
  for (const char* list : {"null", "44100", ",8000,48000", "as source,", "low,high"}) {
    Profile({{"SampleRate", list}});
    EXPECT_FALSE(InRange(rkSampleRate, 44100)) << list;
  }
}

TEST_F(OptionBuilder, SampleRateFollowsTheSourceWithinTheProfilesRange) {
  Settings({{"paraSampleRate", "as source"}});
  source_.AudioSampleRate = 22050;
  Build();
  EXPECT_EQ(out_.AudioSampleRate, 22050);
  source_.AudioSampleRate = 96000;
  Build();
  EXPECT_EQ(out_.AudioSampleRate, 44100);
  Profile({{"paraSampleRate", "As Source"}});
  Build();
  EXPECT_EQ(out_.AudioSampleRate, -1);
  Profile({{"paraSampleRate", "44.1k"}});
  EXPECT_THROW(Build(), EConvertError);

  Settings({{"paraSampleRate", "32000"}});
  Build();
  EXPECT_EQ(out_.AudioSampleRate, 32000);
  Settings({{"paraSampleRate", "-1"}});
  Build();
  EXPECT_EQ(out_.AudioSampleRate, -1);
}

TEST_F(OptionBuilder, AudioBitRateChannelsAndVolume) {
  Settings({{"paraAudioBitRate", "96.5"}, {"paraChannel", "1"}, {"paraVolume", "512"}});
  Build();
  EXPECT_EQ(out_.AudioBitRate, 96500);
  EXPECT_EQ(out_.AudioChannels, 1);
  EXPECT_EQ(out_.AudioVolume, 512);

  Settings(
      {{"paraAudioBitRate", "as source"}, {"paraChannel", "as source"}, {"paraVolume", "256"}});
  Build();
  EXPECT_EQ(out_.AudioBitRate, 128000);
  EXPECT_EQ(out_.AudioChannels, -1);
  EXPECT_EQ(out_.AudioVolume, -1);  // 256 leaves the volume alone
  source_.AudioBitRate = 640000;
  Build();
  EXPECT_EQ(out_.AudioBitRate, 128000);  // the profile's fallback
  Profile({{"paraAudioBitRate", "1e9"}});
  Build();
  EXPECT_EQ(out_.AudioBitRate, -1);  // beyond the field: not wrapped

  Unset("paraVolume");  // a missing volume leaves the sound as it is
  Build();
  EXPECT_EQ(out_.AudioVolume, -1);

  Settings({{"paraVolume", "100%"}});
  try {
    Build();
    FAIL() << "no conversion error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'100%' is not a valid integer value");
  }
}

TEST_F(OptionBuilder, AudioCodecAlongsideVideo) {
  Settings({{"paraAudioEncoder", "libamr_nb"}});
  Build();
  EXPECT_EQ(out_.AudioCodec, "libopencore_amrnb");
  EXPECT_FALSE(out_.DisableAudio);
  Unset("paraAudioEncoder");
  Build();
  EXPECT_TRUE(out_.DisableAudio);
  EXPECT_FALSE(out_.DisableVideo);
}

TEST_F(OptionBuilder, SourceWithoutVideoWritesNoPictureValues) {
  source_.VideoStreamCount = 0;
  source_.Width = source_.Height = -1;
  record_.Zoom = "lbox";
  InitOutputOptions(out_);
  InitInputOptions(in_);
  out_.VideoFilters = "hflip";
  BuildConversionOptions(context_, record_, kCode, out_, source_, in_);
  EXPECT_TRUE(out_.DisableVideo);
  EXPECT_EQ(out_.VideoFilters, "hflip");
  EXPECT_EQ(out_.FrameSize, "");
  EXPECT_EQ(out_.FrameRate, "");
  EXPECT_EQ(out_.VideoBitRate, -1);
  EXPECT_EQ(out_.CropTop, -1);
  EXPECT_TRUE(ui_.Questions.empty());
  EXPECT_EQ(out_.AudioSampleRate, 44100);
  EXPECT_EQ(out_.AudioBitRate, 128000);
  EXPECT_EQ(out_.AudioCodec, "libmp3lame");
}

TEST_F(OptionBuilder, AudioOnlyFormatsDropPictureAndSubtitles) {
  Unset("paraVideoEncoder");
  Unset("paraAudioEncoder");
  InitOutputOptions(out_);
  InitInputOptions(in_);
  in_.ExtraOptions = "threads=2";
  BuildConversionOptions(context_, record_, kCode, out_, source_, in_);
  EXPECT_EQ(in_.ExtraOptions, "vn=1");
  EXPECT_TRUE(out_.DisableVideo);
  EXPECT_TRUE(out_.DisableSubtitle);
  EXPECT_FALSE(out_.DisableAudio);
  EXPECT_EQ(out_.AudioCodec, "libfaac");
  EXPECT_EQ(out_.FileFormat, "avi");
  EXPECT_EQ(out_.VideoCodec, "");
  EXPECT_EQ(out_.FrameSize, "");

  for (auto [format, container] :
       {std::pair{"MATROSKA", "matroska"}, {"mp3", ""}, {"mpegts", ""}}) {
    Profile({{"Format", format}});
    Build();
    EXPECT_EQ(out_.FileFormat, container) << format;
  }
  Settings({{"paraSampleRate", "as source"}, {"paraVideoEncoder", "  "}});
  source_.AudioSampleRate = 22050;
  Build();
  EXPECT_EQ(out_.AudioSampleRate, 22050);
  EXPECT_TRUE(out_.DisableVideo);
}

// ---- Every installed format with factory settings ----

TEST_F(OptionBuilder, EveryInstalledFormatGivesUsableOptions) {
  context_.ProfileFile = InstalledProfile();
  fs::remove(context_.SettingsFile);
  ASSERT_GT(SeedFormatSettings(context_.SettingsFile, context_.ProfileFile), 0);
  source_.Width = 1280;
  source_.Height = 720;
  for (int code : SeededFormatCodes()) {
    SCOPED_TRACE("format " + std::to_string(code));
    const TFormatSettings settings(context_.SettingsFile, code);
    record_.Zoom = settings.ParaZoom(kListZoomDefault);
    InitOutputOptions(out_);
    InitInputOptions(in_);
    BuildConversionOptions(context_, record_, code, out_, source_, in_);
    EXPECT_TRUE(ui_.Questions.empty());
    EXPECT_FALSE(out_.AudioCodec.empty());
    EXPECT_FALSE(out_.DisableAudio);
    EXPECT_GT(out_.AudioSampleRate, 0);
    EXPECT_EQ(out_.AudioVolume, -1);
    if (code >= 200) {
      EXPECT_EQ(in_.ExtraOptions, "vn=1");
      EXPECT_TRUE(out_.DisableVideo);
      continue;
    }
    EXPECT_FALSE(out_.DisableVideo);
    EXPECT_FALSE(out_.VideoCodec.empty());
    EXPECT_GT(out_.VideoBitRate, 0);
    EXPECT_FALSE(out_.FrameRate.empty());
    int w = 0, h = 0;
    ASSERT_EQ(std::sscanf(out_.FrameSize.c_str(), "%dx%d", &w, &h), 2) << out_.FrameSize;
    EXPECT_TRUE(w > 0 && h > 0 && w % 2 == 0 && h % 2 == 0) << out_.FrameSize;
    EXPECT_GT(out_.AudioBitRate, 0);
  }
}

// ---- Output names ----

class OutputName : public OptionBuilder {
 protected:
  void SetUp() override {
    OptionBuilder::SetUp();
    oldHome_ = platform::GetEnv("HOME");
    platform::SetEnv("HOME", (root_ / "home").string());
    out_dir_ = root_ / "out";
    ASSERT_TRUE(platform::WriteIniString(context_.SettingsFile, "settings", "OutPutDir",
                                         out_dir_.string()));
  }
  void TearDown() override {
    oldHome_ ? platform::SetEnv("HOME", *oldHome_) : platform::UnsetEnv("HOME");
    OptionBuilder::TearDown();
  }
  std::string Name(const std::string& source, const std::string& suffix = ".avi") {
    return MakeOutputFileName(context_.SettingsFile, source, suffix, &ui_);
  }
  void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

  std::optional<std::string> oldHome_;
  fs::path out_dir_;
};

TEST_F(OutputName, NewSuffixThenTheFirstFreeNumber) {
  const std::string first = Name("/videos/a.avi");
  EXPECT_EQ(first, (out_dir_ / "a_(new).avi").string());
  EXPECT_TRUE(fs::is_directory(out_dir_));
  EXPECT_EQ(Name("/other/a.avi"), first);  // nothing is reserved
  Touch(out_dir_ / "a_(new).avi");
  Touch(out_dir_ / "a_(new_1).avi");
  EXPECT_EQ(Name("/videos/a.avi"), (out_dir_ / "a_(new_2).avi").string());
  fs::create_directory(out_dir_ / "a_(new_2).avi");  // any existing entry blocks the name
  EXPECT_EQ(Name("/videos/a.avi"), (out_dir_ / "a_(new_3).avi").string());
  EXPECT_TRUE(ui_.Warnings.empty());
}

TEST_F(OutputName, BaseNameKeepsInnerDotsAndAnyCharacters) {
  EXPECT_EQ(Name("/v.d/my.clip.v2.mp4"), (out_dir_ / "my.clip.v2_(new).avi").string());
  EXPECT_EQ(Name("/v.d/noext"), (out_dir_ / "noext_(new).avi").string());
  EXPECT_EQ(Name("/v/Überraschung 日本.mkv", "_ipod.mp4"),
            (out_dir_ / "Überraschung 日本_(new)_ipod.mp4").string());
  Touch(out_dir_ / "Überraschung 日本_(new).mp3");
  EXPECT_EQ(Name("Überraschung 日本.wav", ".mp3"),
            (out_dir_ / "Überraschung 日本_(new_1).mp3").string());

  ASSERT_TRUE(platform::WriteIniString(context_.SettingsFile, "settings", "OutPutDir",
                                       out_dir_.string() + "/"));
  EXPECT_EQ(Name("/v/b.avi"), (out_dir_ / "b_(new).avi").string());
}

TEST_F(OutputName, AnUncreatableFolderIsReplacedByTheDefault) {
  Touch(root_ / "plainfile");
  const std::string bad = (root_ / "plainfile" / "sub").string();
  ASSERT_TRUE(platform::WriteIniString(context_.SettingsFile, "settings", "OutPutDir", bad));
  const std::string fallback = (root_ / "home" / "videoconverter").string();
  EXPECT_EQ(Name("/v/a.avi"), fallback + "/a_(new).avi");
  ASSERT_EQ(ui_.Warnings.size(), 1u);
  EXPECT_EQ(ui_.Warnings[0].Caption, "Warning");
  EXPECT_EQ(ui_.Warnings[0].Text, "Cannot create output directory:" + bad +
                                      ".It will create default directory " + fallback + "!");
  EXPECT_TRUE(fs::is_directory(fallback));
  EXPECT_EQ(platform::ReadIniString(context_.SettingsFile, "settings", "OutPutDir", ""), fallback);
}

}  // namespace
