// quor-convert never damages a file it did not make, nor waits for ever on
// one: outputs that are inputs (by name, through a link, or as the input of a
// later task), outputs named twice, failures before and during a conversion,
// devices as outputs and named pipes as inputs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/MediaFactory.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

class FileSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(TestMedia::Get(MediaSpec::Mp4().Size(160, 120).Seconds(1)), clip_);
    clipText_ = Read(clip_);
  }

  static std::string Read(const std::string& path) { return TTestFolder::Read(path); }
  static void Write(const std::string& path, const std::string& text) {
    TTestFolder::Write(path, text);
  }
  static TChildResult Convert(const std::vector<std::string>& args) {
    return TChildProcess::Run(QUOR_CONVERT, args);
  }
  std::vector<std::string> Entries() const { return folder_.Entries(); }
  std::string In(const std::string& name) const { return folder_.In(name); }

  TTestFolder folder_{"quor-cli-files"};
  const std::string dir_ = folder_.Path();
  const std::string clip_ = dir_ + "a.mp4";
  std::string clipText_;
};

}  // namespace

TEST_F(FileSafety, OutputsThatAreInputsOfTheRunAreRefused) {
  ASSERT_EQ(::symlink(clip_.c_str(), In("link.mp4").c_str()), 0);
  ASSERT_EQ(::link(clip_.c_str(), In("hard.mp4").c_str()), 0);
  const std::vector<std::vector<std::string>> commandLines = {
      {"-y", "-i", clip_, In("link.mp4")},
      {"-y", "-i", clip_, In("hard.mp4")},
      {"-y", "-i", clip_, In("./a.mp4")},
      // The first task would overwrite the second one's input before it is read.
      {"-y", "-i", clip_, In("b.mp4"), "-i", In("b.mp4"), In("c.mp4")},
      {"-y", "-i", In("hard.mp4"), In("d.mkv"), "-i", In("d.mkv"), In("link.mp4")},
  };
  for (const auto& args : commandLines) {
    const TChildResult run = Convert(args);
    EXPECT_EQ(run.Status, 2) << args.back() << ": " << run.Err;
    EXPECT_NE(run.Err.find("input"), std::string::npos) << run.Err;
  }
  EXPECT_EQ(Read(clip_), clipText_);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.mp4", "hard.mp4", "link.mp4"}));
}

TEST_F(FileSafety, AnOutputNamedTwiceIsRefused) {
  for (const bool overwrite : {false, true}) {
    std::vector<std::string> args = {"-i",  clip_, In("o.mp4"),       "-i",
                                     clip_, "-an", In("sub/../o.mp4")};
    if (overwrite) args.insert(args.begin(), "-y");
    ::mkdir(In("sub").c_str(), 0700);
    const TChildResult run = Convert(args);
    EXPECT_EQ(run.Status, 2) << run.Err;
    EXPECT_NE(run.Err.find("named twice"), std::string::npos) << run.Err;
    EXPECT_FALSE(fs::exists(In("o.mp4")));
  }
}

// An input that cannot be opened fails the run before anything converts: the
// existing output of the first task stays as it was, and nothing is left.
TEST_F(FileSafety, ALaterBadInputLeavesEveryOutputAsItWas) {
  Write(In("o1.mp4"), "the user's file");
  Write(In("zero.mp4"), "");
  const TChildResult run =
      Convert({"-y", "-i", clip_, In("o1.mp4"), "-i", In("zero.mp4"), In("o2.mp4")});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find("zero.mp4"), std::string::npos) << run.Err;
  EXPECT_EQ(Read(In("o1.mp4")), "the user's file");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.mp4", "o1.mp4", "zero.mp4"}));
}

// A conversion that fails while it writes (here the file size limit stops
// it) leaves the file it was to replace untouched and no partial file; one
// that succeeds replaces it.
TEST_F(FileSafety, AFailedConversionKeepsTheOldFileAndLeavesNoTrace) {
  const std::string out = In("old.avi");
  Write(out, "the user's file");
  const std::string script =
      std::string("trap '' XFSZ; ulimit -f 40; exec '") + QUOR_CONVERT + "' \"$@\"";
  TChildResult run = TChildProcess::Run("/bin/sh", {"-c", script, "sh", "-y", "-i", clip_, out});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find("too large"), std::string::npos) << run.Err;
  EXPECT_EQ(Read(out), "the user's file");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.mp4", "old.avi"}));

  // A set-up that fails: an empty file of that name is the user's too.
  Write(out, "");
  run = Convert({"-y", "-i", clip_, "-vcodec", "no-such-encoder", out});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_TRUE(fs::exists(out));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.mp4", "old.avi"}));

  run = Convert({"-y", "-i", clip_, out});
  ASSERT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(TestMedia::ScanVideo(out).Ok);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.mp4", "old.avi"}));
}

// A device is written where it is and never removed, whether the
// conversion fails or succeeds.
TEST_F(FileSafety, ADeviceAsOutputStaysADevice) {
  const std::string device = In("null");
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
    GTEST_SKIP() << "cannot make a device node here";
  TChildResult run =
      Convert({"-y", "-i", clip_, "-vcodec", "no-such-encoder", "-f", "avi", device});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_TRUE(fs::is_character_file(device));
  run = Convert({"-y", "-i", clip_, "-f", "avi", device});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(fs::is_character_file(device));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"a.mp4", "null"}));
}

// A named pipe nobody writes to used to hang both modes for ever, Ctrl+C
// included; it is refused at once with the reason.
TEST_F(FileSafety, ANamedPipeAsInputIsRefusedAtOnce) {
  const std::string fifo = In("pipe.mp4");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TChildResult run =
      TChildProcess::Run(QUOR_CONVERT, {"-i", fifo, In("out.avi")}, {}, std::chrono::seconds(30));
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find("named pipe"), std::string::npos) << run.Err;

  run = TChildProcess::Run(QUOR_CONVERT, {"--quiet", "--format", "104", "--output-dir", dir_, fifo},
                           {{"QUOR_APPDATA", In("appdata")}}, std::chrono::seconds(30));
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find("skipped " + fifo), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("named pipe"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(In("out.avi")));
}

// Names are files, whatever they look like: "pipe:0" read standard input, and
// an output named like an option could not be given before "--".
TEST_F(FileSafety, NamesAreFilesWhateverTheyLookLike) {
  auto inFolder = [&](std::vector<std::string> args) {
    args.insert(args.begin(),
                {"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", dir_, QUOR_CONVERT, "--quiet"});
    return TChildProcess::Run("/bin/sh", args, {}, std::chrono::seconds(30));
  };
  TChildResult run = inFolder({"-i", "pipe:0", "out.avi"});
  EXPECT_EQ(run.Status, 1) << run.Err;
  EXPECT_NE(run.Err.find("pipe:0: No such file or directory"), std::string::npos) << run.Err;

  fs::copy_file(clip_, In("pipe:0"));
  run = inFolder({"-i", "pipe:0", "--", "-out.avi"});
  EXPECT_EQ(run.Status, 0) << run.Err;
  EXPECT_TRUE(TestMedia::ScanVideo(In("-out.avi")).Ok);
  // Without "--" the name is an option, which the command line refuses.
  EXPECT_EQ(inFolder({"-i", "pipe:0", "-out2.avi"}).Status, 2);
}
