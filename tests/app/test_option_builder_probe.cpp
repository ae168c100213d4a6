// The option builder fed by the probe on real clips: what the probe reports
// reaches the builder's rules.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/OptionBuilder.h"
#include "engine/AVProbe.h"
#include "platform/IniFile.h"
#include "support/MediaFactory.h"

namespace fs = std::filesystem;

namespace {

class OptionBuilderProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("quor_builder_probe_" + std::to_string(::getpid()));
    fs::create_directories(root_);
    context_.SettingsFile = (root_ / "settings.ini").string();
    context_.ProfileFile = (root_ / "profile.ini").string();
    context_.Ui = &ui_;
    ASSERT_TRUE(platform::WriteIniStrings(context_.ProfileFile, "formatInfo7",
                                          {{"Format", "avi"}, {"SampleRate", "as source,22050,48000"}}));
    ASSERT_TRUE(platform::WriteIniStrings(context_.SettingsFile, "formatInfo7",
                                          {{"paraVideoEncoder", "mpeg4"},
                                           {"paraAudioEncoder", "libmp3lame"},
                                           {"paraVideoSize", "as source"},
                                           {"paraSampleRate", "as source"}}));
  }
  void TearDown() override { fs::remove_all(root_); }

  void Build(const std::string& clip, const std::string& zoom) {
    TAVProbe probe;
    ASSERT_TRUE(probe.Open(clip)) << probe.LastErrMsg();
    TlvFilesRecord record;
    record.Zoom = zoom;
    BuildConversionOptions(context_, record, 7, out_, probe, in_);
  }

  fs::path root_;
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

}  // namespace
