// Where an output's bytes go: nothing the program did not make is ever
// removed or damaged, a kept output replaces its target in one step, and a
// discarded one leaves no trace.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "engine/libav/FFmpegApi.h"
#include "engine/libav/OutputTarget.h"
#include "engine/libav/UnicodeProtocol.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

class OutputTargetTest : public ::testing::Test {
 protected:
  static void Put(AVIOContext* pb, const std::string& text) {
    FF.avio_write(pb, reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
  }
  static std::string Read(const std::string& path) { return TTestFolder::Read(path); }
  static void Write(const std::string& path, const std::string& text) {
    TTestFolder::Write(path, text);
  }
  std::vector<std::string> Entries() const { return folder_.Entries(); }

  TTestFolder folder_{"quor-target"};
  const std::string dir_ = folder_.Path();
};

}  // namespace

TEST_F(OutputTargetTest, ANewNameIsReservedWrittenAsideAndRemovedWhenDiscarded) {
  const std::string out = dir_ + "new.avi";
  TOutputTarget target;
  AVIOContext* pb = nullptr;
  ASSERT_EQ(target.Open(out, &pb), 0);
  Put(pb, "picture");
  // The name is taken (so no other output of the run picks it), empty until kept.
  EXPECT_EQ(fs::file_size(out), 0u);
  EXPECT_NE(target.WrittenName(), out);
  EXPECT_EQ(fs::path(target.WrittenName()).parent_path(), fs::path(out).parent_path());
  EXPECT_EQ(Entries().size(), 2u);
  target.Discard(&pb);
  EXPECT_EQ(pb, nullptr);
  EXPECT_TRUE(Entries().empty());

  ASSERT_EQ(target.Open(out, &pb), 0);
  Put(pb, "picture");
  ASSERT_EQ(target.Keep(&pb), 0);
  EXPECT_EQ(Read(out), "picture");
  EXPECT_EQ(Entries(), std::vector<std::string>{"new.avi"});

  // A name in the wide-name protocol's form is the file inside it.
  ASSERT_EQ(target.Open(std::string(UnicodeProtocolPrefix) + dir_ + "wide.avi", &pb), 0);
  ASSERT_EQ(target.Keep(&pb), 0);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"new.avi", "wide.avi"}));
}

TEST_F(OutputTargetTest, AnExistingFileStaysUntilTheNewOneIsKept) {
  const std::string out = dir_ + "old.avi";
  Write(out, "old");
  ASSERT_EQ(::chmod(out.c_str(), 0640), 0);
  {
    TOutputTarget target;
    AVIOContext* pb = nullptr;
    ASSERT_EQ(target.Open(out, &pb), 0);
    Put(pb, "half");
    target.Discard(&pb);
  }
  EXPECT_EQ(Read(out), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"old.avi"});

  // Dropped without Keep (the task went away): the same.
  {
    TOutputTarget target;
    AVIOContext* pb = nullptr;
    ASSERT_EQ(target.Open(out, &pb), 0);
    target.Discard(&pb);
  }
  EXPECT_EQ(Read(out), "old");

  TOutputTarget target;
  AVIOContext* pb = nullptr;
  ASSERT_EQ(target.Open(out, &pb), 0);
  Put(pb, "new");
  ASSERT_EQ(target.Keep(&pb), 0);
  EXPECT_EQ(Read(out), "new");
  struct stat st;
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Entries(), std::vector<std::string>{"old.avi"});
}

// The link stays a link; the file it leads to gets the new content.
TEST_F(OutputTargetTest, ALinkIsFollowedAndKept) {
  const std::string file = dir_ + "real.avi", link = dir_ + "link.avi";
  Write(file, "old");
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  TOutputTarget target;
  AVIOContext* pb = nullptr;
  ASSERT_EQ(target.Open(link, &pb), 0);
  Put(pb, "new");
  ASSERT_EQ(target.Keep(&pb), 0);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Read(file), "new");
}

// A reservation someone replaced with a file of their own is theirs.
TEST_F(OutputTargetTest, OnlyItsOwnEmptyReservationIsRemoved) {
  const std::string out = dir_ + "taken.avi";
  TOutputTarget target;
  AVIOContext* pb = nullptr;
  ASSERT_EQ(target.Open(out, &pb), 0);
  ASSERT_EQ(::unlink(out.c_str()), 0);
  Write(out, "theirs");
  target.Discard(&pb);
  EXPECT_EQ(Read(out), "theirs");

  // An empty file that was there before is no reservation of ours either.
  const std::string empty = dir_ + "empty.avi";
  Write(empty, "");
  ASSERT_EQ(target.Open(empty, &pb), 0);
  target.Discard(&pb);
  EXPECT_TRUE(fs::exists(empty));
}

// Devices and named pipes are written where they are and never removed; a
// pipe nobody reads is refused at once instead of waited for.
TEST_F(OutputTargetTest, DevicesAreWrittenInPlaceAndPipesWithoutReaderRefused) {
  const std::string device = dir_ + "null";
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    TOutputTarget target;
    AVIOContext* pb = nullptr;
    ASSERT_EQ(target.Open(device, &pb), 0);
    EXPECT_EQ(target.WrittenName(), device);
    Put(pb, "gone");
    target.Discard(&pb);
    EXPECT_TRUE(fs::is_character_file(device));
  }

  const std::string fifo = dir_ + "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  TOutputTarget target;
  AVIOContext* pb = nullptr;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(target.Open(fifo, &pb), AVERROR(ENXIO));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(pb, nullptr);
  EXPECT_TRUE(fs::is_fifo(fifo));

  // A folder that cannot be written: nothing is made, the error says why.
  EXPECT_EQ(target.Open(dir_ + "missing/out.avi", &pb), AVERROR(ENOENT));
}
