// quor-convert in catalogue mode, run as a user runs it with a fresh
// application-data folder: the outputs open again with the expected
// container, codecs, frame size, duration and pictures (zoom bars, trim, the
// 30-minute limit, effects and watermarks in their time windows), and an
// output that fails its check fails the run. Every format with its factory
// choices: test_every_format.cpp.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "app/GlobalUnit.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/probe/AVProbe.h"
#include "platform/IniFile.h"
#include "support/BatchTestSupport.h"
#include "support/ChildProcess.h"
#include "support/EditPattern.h"
#include "support/MediaFactory.h"

namespace {

// Runs quor-convert with QUOR_APPDATA set to `appData`.
TChildResult RunConvert(const std::string& appData, const std::vector<std::string>& args) {
  return TChildProcess::Run(QUOR_CONVERT, args, {{"QUOR_APPDATA", appData}});
}

// What an output holds: container and the codec of its first stream of each kind.
struct TOutputFacts {
  bool Opened = false;
  std::string Container;
  std::string VideoCodec, AudioCodec;
  int Width = 0, Height = 0;
};

TOutputFacts Inspect(const std::string& path) {
  TOutputFacts facts;
  TAVProbe probe;
  if (!probe.Open(path)) return facts;
  facts.Opened = true;
  AVFormatContext* ctx = probe.FormatContext();
  facts.Container = ctx->iformat->name;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVCodecParameters* par = ctx->streams[i]->codecpar;
    const std::string name = FF.avcodec_get_name(par->codec_id);
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && facts.VideoCodec.empty()) {
      facts.VideoCodec = name;
      facts.Width = par->width;
      facts.Height = par->height;
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && facts.AudioCodec.empty()) {
      facts.AudioCodec = name;
    }
  }
  return facts;
}

class CatalogueCli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch_.Path().empty());
    appData_ = scratch_.Sub("appdata");
    out_ = scratch_.Sub("out");
  }
  // Runs with the output folder set; expects success.
  TChildResult Convert(std::vector<std::string> args) {
    args.insert(args.begin(), {"--quiet", "--output-dir", out_});
    TChildResult run = RunConvert(appData_, args);
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    return run;
  }
  // Seeds the settings file the way the program does, then changes keys of
  // one format's section.
  void SetFormatKeys(int code, const std::vector<std::pair<std::string, std::string>>& keys) {
    ASSERT_EQ(RunConvert(appData_, {"--list-formats"}).Status, 0);
    ASSERT_TRUE(platform::WriteIniStrings(appData_ + kSettingsFileName,
                                          "formatInfo" + std::to_string(code), keys));
  }
  std::string Output(const std::string& source, const std::string& ext) const {
    const std::string name = std::filesystem::path(source).stem().string();
    return out_ + name + "_(new)." + ext;
  }

  TTestFolder scratch_;
  std::string appData_, out_;
};

// ---- first start, naming ----

TEST_F(CatalogueCli, AFreshFolderConvertsWithTheDefaultFormat) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1));
  Convert({clip});
  const TOutputFacts facts = Inspect(Output(clip, "mp4"));
  ASSERT_TRUE(facts.Opened);
  EXPECT_EQ(facts.VideoCodec, "mpeg4");
  EXPECT_EQ(facts.AudioCodec, "aac");
  EXPECT_TRUE(std::filesystem::exists(appData_ + kFormatFileName));
  // Converting again names the next file.
  Convert({clip});
  const std::string stem = std::filesystem::path(clip).stem().string();
  EXPECT_TRUE(std::filesystem::exists(out_ + stem + "_(new_1).mp4"));
}

// A format and a folder given for one run leave the window's choices as
// they were; --save stores them as the window's picker and browser do.
TEST_F(CatalogueCli, FormatAndFolderAreForTheRunUnlessSaved) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1));
  ASSERT_EQ(RunConvert(appData_, {"--list-formats"}).Status, 0);
  const std::string settingsFile = appData_ + kSettingsFileName;
  auto text = [](const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const std::string before = text(settingsFile);
  Convert({"--format", "104", clip});
  EXPECT_TRUE(std::filesystem::exists(Output(clip, "avi")));
  EXPECT_EQ(text(settingsFile), before);
  EXPECT_EQ(RunConvert(appData_, {"--list-formats"}).Out.find("*  104"), std::string::npos);

  Convert({"--save", "--format", "104", clip});
  EXPECT_NE(RunConvert(appData_, {"--list-formats"}).Out.find("*  104"), std::string::npos);
  EXPECT_EQ(platform::ReadIniString(settingsFile, "settings", "OutPutDir", ""), out_);
}

// "--" ends the options: a file may be named like one.
TEST_F(CatalogueCli, FilesAfterDoubleDashMayStartWithADash) {
  const std::string clip = out_ + "-clip.mp4";
  std::filesystem::copy_file(TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1)), clip);
  const TChildResult run =
      TChildProcess::Run("/bin/sh",
                         {"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", out_, QUOR_CONVERT,
                          "--quiet", "--output-dir", out_, "--", "-clip.mp4"},
                         {{"QUOR_APPDATA", appData_}});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(TestMedia::ScanVideo(out_ + "-clip_(new).mp4").Ok);
}

TEST_F(CatalogueCli, BadCommandLinesAndUnreadableFilesFail) {
  EXPECT_EQ(RunConvert(appData_, {"--format", "777", "x.mp4"}).Status, 2);
  EXPECT_EQ(RunConvert(appData_, {"--brightness", "600", "x.mp4"}).Status, 2);
  EXPECT_EQ(RunConvert(appData_, {"--text", "no place", "x.mp4"}).Status, 2);
  EXPECT_EQ(RunConvert(appData_, {"--format", "104"}).Status, 2);
  for (const char* jobs : {"0", "17", "two", ""})
    EXPECT_EQ(RunConvert(appData_, {"--jobs", jobs, "x.mp4"}).Status, 2) << jobs;
  const TChildResult run = RunConvert(appData_, {"--output-dir", out_, TestMedia::Garbage(3000)});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("skipped"), std::string::npos) << run.Err;
}

// A source whose header promises more than it holds (an MP3 file cut in
// half keeps the length its first frame tells) converts what it holds; the
// output then lasts less than the source said, which the output check
// reports, as the window does, and the run fails.
TEST_F(CatalogueCli, AnOutputThatFailsItsCheckFailsTheRun) {
  const std::string source = TestMedia::Truncated(MediaSpec::Mp3().Seconds(4), 0.5);
  const TChildResult run =
      RunConvert(appData_, {"--quiet", "--format", "204", "--output-dir", out_, source});
  EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
  EXPECT_NE(run.Err.find("Check failed: the output lasts "), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out.find("done:"), std::string::npos) << run.Out;
  const TChildResult help = RunConvert(appData_, {"--help"});
  EXPECT_NE(help.Out.find("\"Check failed: REASON\""), std::string::npos) << help.Out;
}

// ---- zoom ----

TEST_F(CatalogueCli, ZoomModesGiveTheBuildersFrames) {
  // 16:9 source into the 4:3 AVI frame of 320x240.
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(320, 180).Seconds(0.6).NoAudio());
  using TestMedia::BandColour;
  using TestMedia::ColourNear;
  using TestMedia::PixelAt;

  SetFormatKeys(104, {{"parazoom", "lbox"}});
  Convert({"--format", "104", clip});
  TBitmap bmp;
  ASSERT_TRUE(TestMedia::DecodeFrame(Output(clip, "avi"), 0, bmp));
  ASSERT_EQ(bmp.Width(), 320);
  ASSERT_EQ(bmp.Height(), 240);
  // Bars of 30 rows above and below the 320x180 picture.
  for (int x : {20, 160, 300}) {
    EXPECT_TRUE(IsBlack(PixelAt(bmp, x, 12, 2)));
    EXPECT_TRUE(IsBlack(PixelAt(bmp, x, 227, 2)));
  }
  EXPECT_TRUE(ColourNear(PixelAt(bmp, 40, 97, 2), BandColour(0)));  // red band, shifted down
  EXPECT_FALSE(IsBlack(PixelAt(bmp, 300, 200, 2)));                 // grey lower half
  std::filesystem::remove(Output(clip, "avi"));

  SetFormatKeys(104, {{"parazoom", "full"}});
  Convert({"--format", "104", clip});
  ASSERT_TRUE(TestMedia::DecodeFrame(Output(clip, "avi"), 0, bmp));
  EXPECT_EQ(bmp.Height(), 240);
  EXPECT_FALSE(IsBlack(PixelAt(bmp, 300, 235, 2)));  // stretched to the bottom
  EXPECT_TRUE(ColourNear(PixelAt(bmp, 65, 90, 2), BandColour(0)));
  std::filesystem::remove(Output(clip, "avi"));

  SetFormatKeys(104, {{"parazoom", "pan"}});
  Convert({"--format", "104", clip});
  ASSERT_TRUE(TestMedia::DecodeFrame(Output(clip, "avi"), 0, bmp));
  EXPECT_EQ(bmp.Width(), 320);
  EXPECT_EQ(bmp.Height(), 240);
  EXPECT_FALSE(IsBlack(PixelAt(bmp, 300, 235, 2)));
  // 40 columns cut at each side: the red band ends at x = 53 instead of 80.
  EXPECT_TRUE(ColourNear(PixelAt(bmp, 20, 90, 2), BandColour(0)));
  EXPECT_TRUE(ColourNear(PixelAt(bmp, 65, 90, 2), BandColour(1)));
  EXPECT_TRUE(ColourNear(PixelAt(bmp, 300, 90, 2), BandColour(3)));
}

TEST_F(CatalogueCli, CropCutsTheSourceBeforeScaling) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(0.6).NoAudio());
  Convert({"--format", "104", "--crop", "0,0,40,40", clip});
  TBitmap bmp;
  ASSERT_TRUE(TestMedia::DecodeFrame(Output(clip, "avi"), 0, bmp));
  ASSERT_EQ(bmp.Width(), 320);
  // Columns 40..280 of the source fill the frame: red now ends at x = 53.
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::PixelAt(bmp, 20, 90, 2), TestMedia::BandColour(0)));
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::PixelAt(bmp, 65, 90, 2), TestMedia::BandColour(1)));
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::PixelAt(bmp, 300, 90, 2), TestMedia::BandColour(3)));
}

// ---- length ----

TEST_F(CatalogueCli, TrimmedConversionHasTheTrimmedLength) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(2));
  Convert({"--format", "104", "--trim", "0.6,1", clip});
  const TestMedia::VideoStats v = TestMedia::ScanVideo(Output(clip, "avi"));
  ASSERT_TRUE(v.Ok);
  EXPECT_NEAR(v.Duration, 1.0, 0.1);
  ASSERT_FALSE(v.Numbers.empty());
  EXPECT_NEAR(v.Numbers.front(), 15, 1);  // 0.6 s at 25 frames a second
  EXPECT_NEAR(TestMedia::ScanAudio(Output(clip, "avi")).Duration, 1.0, 0.25);
}

TEST_F(CatalogueCli, LongSourcesAreCutAtThirtyMinutes) {
  const std::string clip =
      TestMedia::Get(MediaSpec::Mp4().Size(16, 16).Fps(1).Seconds(1860).NoAudio());
  SetFormatKeys(104, {{"paraVideoSize", "as source"}, {"paraFrameRate", "as source"}});
  Convert({"--format", "104", clip});
  const double duration = TestMedia::ContainerDuration(Output(clip, "avi"));
  EXPECT_NEAR(duration, 1800.0, 2.0);
}

// The DV muxer took sound in packets of any size and aborted the process
// after about a minute of NTSC output, whenever the sound it held came to
// within two samples of a picture's share. A source whose decoder hands
// out long packets (FLAC) hits that within the first minute.
TEST_F(CatalogueCli, SeventySecondsOfDvNtscConvert) {
  MediaSpec spec = MediaSpec::Mkv().Size(64, 48).Fps(24).Seconds(72);
  spec.AudioCodec = "flac";
  spec.SampleRate = 48000;
  const std::string clip = TestMedia::Get(spec);
  Convert({"--format", "108", "--trim", "0,70", clip});
  const std::string output = Output(clip, "dv");
  // One DV NTSC frame is 120000 bytes, with its pictures' sound inside.
  const std::uintmax_t size = std::filesystem::file_size(output);
  EXPECT_EQ(size % 120000, 0u);
  EXPECT_NEAR(double(size / 120000), 70 * 30000.0 / 1001, 3);
  const TestMedia::AudioStats a = TestMedia::ScanAudio(output);
  ASSERT_TRUE(a.Ok);
  EXPECT_NEAR(a.Duration, 70, 0.2);
  std::filesystem::remove(output);
}

// Ctrl+C while the first of two files converts: that file is finished (so
// it plays) and kept, the second never starts, and the status says stopped.
TEST_F(CatalogueCli, CtrlCStopsTheBatchAndKeepsWhatWasWritten) {
  // The interrupt goes out as soon as pictures reach the output; a minute of
  // source keeps the conversion busy long after that even on an idle machine
  // (it converts at about 60 times real time there). The waits are long for a
  // starved machine, where starting the program alone can take most of a minute.
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(60));
  const std::string second = TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1));
  const std::string output = Output(clip, "avi");
  TChildProcess child;
  ASSERT_TRUE(child.Start(QUOR_CONVERT,
                          {"--jobs", "1", "--output-dir", out_, "--format", "104", clip, second},
                          {{"QUOR_APPDATA", appData_}}));
  // Until it is finished the output grows under a hidden name beside it.
  const std::string hiddenStart = "." + std::filesystem::path(output).filename().string() + ".";
  const bool writing = child.WaitFor(
      [&] {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(out_, ec))
          if (entry.path().filename().string().rfind(hiddenStart, 0) == 0 &&
              entry.file_size(ec) > 64 * 1024)
            return true;
        return false;
      },
      std::chrono::seconds(80));
  child.Signal(SIGINT);
  const int status = child.Wait(std::chrono::seconds(35));
  ASSERT_TRUE(writing) << "no output growing: " << child.Out() << child.Err();

  EXPECT_EQ(status, 130) << child.Out() << child.Err();
  EXPECT_NE(child.Out().find("stopped: " + output), std::string::npos) << child.Out();
  EXPECT_EQ(child.Out().find("done:"), std::string::npos) << child.Out();
  EXPECT_EQ(child.Out().find("[2/2]"), std::string::npos) << child.Out();
  EXPECT_FALSE(std::filesystem::exists(Output(second, "avi")));

  const TestMedia::VideoStats v = TestMedia::ScanVideo(output);
  ASSERT_TRUE(v.Ok);
  EXPECT_GT(v.Frames, 0);
  EXPECT_LT(v.Frames, 60 * 25);
  const double duration = TestMedia::ContainerDuration(output);
  EXPECT_GT(duration, 0);
  EXPECT_LT(duration, 59);
  EXPECT_TRUE(TestMedia::ScanAudio(output).Ok);
}

// Two files side by side: the progress lines follow the first and end with
// the batch, and Ctrl+C stops both, each keeping what was written.
TEST_F(CatalogueCli, JobsRunFilesSideBySideAndCtrlCStopsThemAll) {
  const std::vector<std::string> clips = {
      TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(60)),
      TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(50))};
  TChildProcess child;
  ASSERT_TRUE(child.Start(
      QUOR_CONVERT, {"--jobs", "2", "--output-dir", out_, "--format", "104", clips[0], clips[1]},
      {{"QUOR_APPDATA", appData_}}));
  auto growing = [&](const std::string& output) {
    const std::string hidden = "." + std::filesystem::path(output).filename().string() + ".";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(out_, ec))
      if (entry.path().filename().string().rfind(hidden, 0) == 0 && entry.file_size(ec) > 64 * 1024)
        return true;
    return false;
  };
  const bool both = child.WaitFor(
      [&] { return growing(Output(clips[0], "avi")) && growing(Output(clips[1], "avi")); },
      std::chrono::seconds(80));
  child.Signal(SIGINT);
  const int status = child.Wait(std::chrono::seconds(35));
  ASSERT_TRUE(both) << child.Out() << child.Err();

  EXPECT_EQ(status, 130) << child.Out() << child.Err();
  EXPECT_NE(child.Out().find("| batch"), std::string::npos) << child.Out();
  EXPECT_NE(child.Out().find("0 of 2 done, 2 running"), std::string::npos) << child.Out();
  for (const auto& clip : clips) {
    const std::string output = Output(clip, "avi");
    EXPECT_NE(child.Out().find("stopped: " + output), std::string::npos) << child.Out();
    const TestMedia::VideoStats v = TestMedia::ScanVideo(output);
    EXPECT_TRUE(v.Ok) << output;
    EXPECT_GT(v.Frames, 0) << output;
  }
}

// ---- effects and watermarks ----

TEST_F(CatalogueCli, EffectsAndWatermarksShowInTheirTimeWindows) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(320, 240).Seconds(2));
  const std::string picture = scratch_.Path() + "cyan.bmp";
  ASSERT_TRUE(TestMedia::WriteSolidBmp(picture, 40, 40, {0, 255, 255}));
  Convert({"--format", "104", "--saturation", "0", "--text",
           "Hi@200,150,from=1,to=1,back=FF00FF,width=100,height=60", "--image",
           picture + "@20,150,to=0", clip});
  const std::string output = Output(clip, "avi");
  const TestMedia::Rgb magenta{255, 0, 255}, cyan{0, 255, 255};

  TBitmap early, late;
  ASSERT_TRUE(TestMedia::DecodeFrameAt(output, 500000, early));
  ASSERT_TRUE(TestMedia::DecodeFrameAt(output, 1500000, late));
  for (const TBitmap* frame : {&early, &late}) {
    // No colour left in the bars: saturation 0 holds for the whole file.
    const TestMedia::Rgb red = TestMedia::BandSample(*frame, 0);
    EXPECT_NEAR(red.R, red.G, 30);
    EXPECT_NEAR(red.G, red.B, 30);
  }
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::PixelAt(early, 40, 170, 3), cyan));
  EXPECT_FALSE(TestMedia::ColourNear(TestMedia::PixelAt(late, 40, 170, 3), cyan));
  EXPECT_TRUE(TestMedia::ColourNear(TestMedia::PixelAt(late, 285, 200, 3), magenta));
  EXPECT_FALSE(TestMedia::ColourNear(TestMedia::PixelAt(early, 285, 200, 3), magenta));
}

}  // namespace

// ---- refusals that used to pass for successes ----

TEST_F(CatalogueCli, PicturesThatCannotBeReadAreRefusedBeforeConverting) {
  const std::string empty = scratch_.Path() + "empty.bmp";
  std::ofstream(empty).flush();
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1));
  const TChildResult run = RunConvert(
      appData_, {"--output-dir", out_, "--brightness", "300", "--image", empty + "@1,1", clip});
  EXPECT_EQ(run.Status, 2);
  EXPECT_NE(run.Err.find("the picture '" + empty + "' cannot be read"), std::string::npos)
      << run.Err;
  EXPECT_FALSE(std::filesystem::exists(Output(clip, "mp4")));
}

TEST_F(CatalogueCli, TrimsThatLeaveNothingAreRefused) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1));
  // Past the end: refused before anything is written.
  TChildResult run = RunConvert(
      appData_, {"--quiet", "--output-dir", out_, "--format", "104", "--trim", "100", clip});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("starts at 00:01:40.000, at or after its end"), std::string::npos)
      << run.Err;
  EXPECT_EQ(run.Out.find("done"), std::string::npos) << run.Out;
  // A millisecond of sound is less than the encoder's delay: nothing to keep.
  run = RunConvert(appData_,
                   {"--quiet", "--output-dir", out_, "--format", "201", "--trim", "0,0.001", clip});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("Nothing was converted"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out.find("done"), std::string::npos) << run.Out;
}

TEST_F(CatalogueCli, CropIsIgnoredForASourceWithoutPictures) {
  const std::string clip = TestMedia::Get(MediaSpec::AudioOnly().Seconds(1));
  Convert({"--format", "104", "--crop", "10,10,20,20", clip});
  const TOutputFacts facts = Inspect(Output(clip, "avi"));
  ASSERT_TRUE(facts.Opened);
  EXPECT_EQ(facts.AudioCodec, "mp3");
}

// A settings folder that cannot take the settings file (a full disk, here a
// file size limit) is named with the reason instead of a silent exit.
TEST_F(CatalogueCli, SettingsThatCannotBeWrittenAreExplained) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(176, 144).Seconds(1));
  const std::string script =
      std::string("trap '' XFSZ; ulimit -f 1; exec '") + QUOR_CONVERT + "' \"$@\"";
  const TChildResult run = TChildProcess::Run(
      "/bin/sh", {"-c", script, "sh", "--quiet", "--format", "104", "--output-dir", out_, clip},
      {{"QUOR_APPDATA", appData_}});
  EXPECT_NE(run.Status, 0);
  EXPECT_NE(run.Err.find(appData_), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("File too large"), std::string::npos) << run.Err;
}
