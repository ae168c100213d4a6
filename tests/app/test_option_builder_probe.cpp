// The option builder fed by the probe on real clips: what the probe reports
// reaches the builder's rules.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/OptionBuilder.h"
#include "engine/convert/CustomFFmpeg.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/UnicodeProtocol.h"
#include "engine/options/OptionRecords.h"
#include "engine/probe/AVProbe.h"
#include "platform/IniFile.h"
#include "support/MediaFactory.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

class OptionBuilderProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    context_.SettingsFile = (root_ / "settings.ini").string();
    context_.ProfileFile = (root_ / "profile.ini").string();
    context_.Ui = &ui_;
    ASSERT_TRUE(
        platform::WriteIniStrings(context_.ProfileFile, "formatInfo7",
                                  {{"Format", "avi"}, {"SampleRate", "as source,22050,48000"}}));
    ASSERT_TRUE(platform::WriteIniStrings(context_.SettingsFile, "formatInfo7",
                                          {{"paraVideoEncoder", "mpeg4"},
                                           {"paraAudioEncoder", "libmp3lame"},
                                           {"paraVideoSize", "as source"},
                                           {"paraSampleRate", "as source"}}));
  }

  void Build(const std::string& clip, const std::string& zoom) {
    TAVProbe probe;
    ASSERT_TRUE(probe.Open(clip)) << probe.LastErrMsg();
    TlvFilesRecord record;
    record.Zoom = zoom;
    BuildConversionOptions(context_, record, 7, out_, probe, in_);
  }

  TTestFolder folder_;
  const std::filesystem::path root_{folder_.Path()};
  TDefaultUserInteraction ui_;
  TBuildContext context_;
  TOutputOptions out_;
  TInputOptions in_;
};

TEST_F(OptionBuilderProbe, SourceSizeAndRateComeFromTheFirstStreams) {
  Build(TestMedia::Get(MediaSpec::Avi().Size(352, 198).Audio(22050, 1)), "lbox");
  EXPECT_EQ(out_.FrameSize, "352x198");
  EXPECT_EQ(out_.VideoFilters, "pad=352:198:0:0");
  EXPECT_EQ(out_.AudioSampleRate, 22050);
  EXPECT_FALSE(out_.DisableVideo);
}

TEST_F(OptionBuilderProbe, AudioOnlySourceForAVideoFormat) {
  Build(TestMedia::Get(MediaSpec::AudioOnly()), "lbox");
  EXPECT_TRUE(out_.DisableVideo);
  EXPECT_EQ(out_.FrameSize, "");
  EXPECT_EQ(out_.AudioSampleRate, 44100);  // 44.1 kHz lies within 22050..48000
  EXPECT_TRUE(ui_.Questions.empty());
}

// The zooms, converted: the output has the target size, and the (cropped)
// source keeps its shape inside it with square pixels ("full" fills the
// target by design).
TEST_F(OptionBuilderProbe, ZoomedConversionsShowThePictureInItsShape) {
  ASSERT_TRUE(platform::WriteIniStrings(context_.SettingsFile, "formatInfo7",
                                        {{"paraVideoSize", "320x240"}}));
  const std::string out = (root_ / "zoomed.avi").string();
  for (int sourceH : {240, 180}) {
    const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(320, sourceH).Seconds(0.4));
    for (const char* zoom : {"lbox", "center", "full"}) {
      for (bool crop : {false, true}) {
        SCOPED_TRACE(std::string(zoom) + (crop ? " cropped" : "") + " of 320x" +
                     std::to_string(sourceH));
        TlvFilesRecord record;
        record.Zoom = zoom;
        if (crop) record.CropLeft = record.CropRight = 40;
        InitOutputOptions(out_);
        InitInputOptions(in_);
        if (crop) {  // as the batch driver hands the record's margins over
          out_.CropLeft = record.CropLeft;
          out_.CropRight = record.CropRight;
        }
        TAVProbe probe;
        ASSERT_TRUE(probe.Open(clip)) << probe.LastErrMsg();
        BuildConversionOptions(context_, record, 7, out_, probe, in_);

        TCustomFFmpeg task;
        task.ResetTask();
        ASSERT_TRUE(task.OpenInputFile(clip)) << task.LastError();
        for (const TOptionLine& line : OutputFieldOptions(out_))
          if (!line.Value.empty()) task.ParseOption(line.Name, line.Value);
        task.ParseOption("vcodec", out_.VideoCodec);
        if (!out_.FrameSize.empty()) task.ParseOption("s", out_.FrameSize);
        if (!out_.VideoFilters.empty()) task.ParseOption("vf", out_.VideoFilters);
        task.ParseOption("an", "1");
        ASSERT_GE(task.OpenOutputFile(out, false), 0) << task.LastError();
        task.RunConversion();
        ASSERT_FALSE(task.Failed()) << task.ErrorMessage();

        AVFormatContext* ctx = nullptr;
        ASSERT_GE(OpenInputWithName(&ctx, out, nullptr, nullptr), 0);
        FF.avformat_find_stream_info(ctx, nullptr);
        ASSERT_GE(ctx->nb_streams, 1u);
        const AVCodecParameters* par = ctx->streams[0]->codecpar;
        const double sar =
            par->sample_aspect_ratio.num > 0 ? av_q2d(par->sample_aspect_ratio) : 1.0;
        EXPECT_EQ(par->width, 320);
        EXPECT_EQ(par->height, 240);
        EXPECT_NEAR(sar, 1.0, 0.015)
            << par->sample_aspect_ratio.num << ":" << par->sample_aspect_ratio.den;
        CloseInputWithName(&ctx);
      }
    }
  }
}

}  // namespace
