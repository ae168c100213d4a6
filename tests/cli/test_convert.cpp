// quor-convert run as a user runs it: conversions that open again, failures
// with a message and a non-zero status, and Ctrl+C finishing the file.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/probe/AVProbe.h"
#include "support/ChildProcess.h"
#include "support/MediaFactory.h"
#include "support/TestFolder.h"

namespace {

TChildResult RunConvert(const std::vector<std::string>& args) {
  return TChildProcess::Run(QUOR_CONVERT, args);
}

// Outputs go to one folder of the test program's, removed at its exit.
std::string OutputPath(const std::string& name) {
  static const TTestFolder folder("quor-cli");
  return folder.In(name);
}

class ConvertCli : public ::testing::Test {
 protected:
  void TearDown() override {
    for (auto& f : outputs_) std::remove(f.c_str());
  }
  std::string Output(const std::string& name) {
    outputs_.push_back(OutputPath(name));
    std::remove(outputs_.back().c_str());
    return outputs_.back();
  }
  std::vector<std::string> outputs_;
};

}  // namespace

TEST_F(ConvertCli, ConvertsEachInputWithItsOwnOptions) {
  std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(2));
  std::string avi = Output("a.avi"), mkv = Output("b.mkv");
  TChildResult run =
      RunConvert({"-i", clip, "-vcodec", "mpeg4", "-vb", "400k", "-acodec", "libmp3lame", "-ab",
                  "96k", avi, "-t", "1", "-i", clip, "-s", "80x60", "-an", mkv});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_NE(run.Out.find("a.avi: done"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("frame="), std::string::npos) << run.Out;

  TAVProbe probe;
  ASSERT_TRUE(probe.Open(avi)) << probe.LastErrMsg();
  TVideoStreamInfo v;
  ASSERT_TRUE(probe.VideoStreamInfo(-1, v));
  EXPECT_EQ(v.CodecName.substr(0, 5), "mpeg4");
  TAudioStreamInfo a;
  ASSERT_TRUE(probe.AudioStreamInfo(-1, a));
  EXPECT_EQ(a.CodecName.substr(0, 3), "mp3");
  EXPECT_NEAR(TestMedia::ScanVideo(avi).Frames, 50, 3);

  // The input option -t reached the second input only.
  TestMedia::VideoStats second = TestMedia::ScanVideo(mkv);
  ASSERT_TRUE(second.Ok);
  EXPECT_EQ(second.Width, 80);
  EXPECT_NEAR(second.Frames, 25, 3);
  EXPECT_FALSE(TestMedia::ScanAudio(mkv).Ok);
}

TEST_F(ConvertCli, FailuresExitNonZeroWithAMessage) {
  std::string missing = TestMedia::MissingFile();
  TChildResult run = RunConvert({"-i", missing, Output("never.avi")});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("cannot open the input"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(missing), std::string::npos) << run.Err;

  std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1));
  run = RunConvert({"-i", clip, "-vcodec", "no-such-encoder", Output("bad.avi")});
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("no-such-encoder"), std::string::npos) << run.Err;

  // Command lines that cannot be understood, and an output that would be
  // overwritten without -y.
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"-i", clip}, {"out.avi"}, {"-i", clip, "-vcodec"}, {"-i", clip, clip}}) {
    run = RunConvert(args);
    EXPECT_EQ(run.Status, 2) << args.back();
    EXPECT_NE(run.Err.find("quor-convert: "), std::string::npos) << run.Err;
  }
}

TEST_F(ConvertCli, HelpExitsZero) {
  TChildResult run = RunConvert({"--help"});
  EXPECT_EQ(run.Status, 0);
  EXPECT_NE(run.Out.find("Usage: quor-convert"), std::string::npos);
  EXPECT_EQ(RunConvert({}).Status, 2);
}

// Ctrl+C in the terminal and SIGTERM (a session ending, a service manager)
// both finish the file: an AVI without its trailer has no index to play by.
TEST_F(ConvertCli, CtrlCAndSigtermStopAndLeaveAPlayableFile) {
  // Long enough to be still converting when the first progress line shows.
  std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(640, 360).Seconds(20));
  struct TCase {
    int Signal, Status;
    const char* Name;
  };
  for (const TCase& c : {TCase{SIGINT, 130, "stopped.mp4"}, TCase{SIGTERM, 143, "stopped.avi"}}) {
    std::string out = Output(c.Name);
    TChildProcess child;
    ASSERT_TRUE(
        child.Start(QUOR_CONVERT, {"-i", clip, "-vcodec", "libx264", "-acodec", "aac", out}));
    const bool converting = child.WaitForOutput("frame=", std::chrono::seconds(50));
    child.Signal(c.Signal);
    EXPECT_EQ(child.Wait(), c.Status) << child.Out() << child.Err();
    ASSERT_TRUE(converting) << child.Out() << child.Err();
    EXPECT_NE(child.Out().find("stopped"), std::string::npos) << child.Out();
    TestMedia::VideoStats v = TestMedia::ScanVideo(out);
    ASSERT_TRUE(v.Ok) << c.Name;
    EXPECT_GT(v.Frames, 0);
    EXPECT_LT(v.Frames, 500);
    EXPECT_GT(TestMedia::ContainerDuration(out), 0) << c.Name;
  }
}
