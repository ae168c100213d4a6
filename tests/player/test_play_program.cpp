// quor-play run as a user runs it: Ctrl+C and the end of a session close it
// while it plays, and what is not a file is refused at once with the reason.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "support/ChildProcess.h"
#include "support/MediaFactory.h"
#include "support/TestFolder.h"

using namespace std::chrono_literals;

TEST(PlayProgram, SigtermAndSigintEndItWhilePlaying) {
  const std::string clip = TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(20));
  for (const int signal : {SIGTERM, SIGINT}) {
    TChildProcess child;
    ASSERT_TRUE(child.Start(QUOR_PLAY, {clip}));
    const bool playing = child.WaitForOutput("playing", 50s);
    child.Signal(signal);
    const int status = child.Wait(20s);
    ASSERT_TRUE(playing) << child.Out() << child.Err();
    EXPECT_EQ(status, 0) << "signal " << signal << ": " << child.Err();
    EXPECT_EQ(child.Out().find("at the end"), std::string::npos) << child.Out();
  }
}

TEST(PlayProgram, ANamedPipeIsRefusedAtOnce) {
  TTestFolder folder;
  const std::string fifo = folder.In("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const TChildResult run = TChildProcess::Run(QUOR_PLAY, {fifo}, {}, 30s);
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("named pipe"), std::string::npos) << run.Err;
}
