// Writing a file whole or not at all, for the settings files, the snapshots
// and the installed format profile.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/AtomicFile.h"
#include "platform/Folders.h"
#include "support/TestFolder.h"

using namespace platform;
namespace fs = std::filesystem;

TEST(AtomicFile, ANewFileIsWrittenWholeWithTheModeAskedForOrTheOldOne) {
  TTestFolder dir;
  const std::string file = dir.In("snap.bmp");
  std::string big(200000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7);
  ASSERT_TRUE(WriteFileAtomically(file, big));
  EXPECT_EQ(TTestFolder::Read(file), big);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0644));

  fs::permissions(file, fs::perms(0600));
  ASSERT_TRUE(WriteFileAtomically(file, std::string_view("new")));
  EXPECT_EQ(TTestFolder::Read(file), "new");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0600));
  ASSERT_TRUE(WriteFileAtomically(file, std::string_view("newer"), 0640));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms(0640));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"snap.bmp"});
}

TEST(AtomicFile, AFailedWriteLeavesTheOldFileAndNoTemporaryAndTellsWhy) {
  TTestFolder dir;
  const std::string file = dir.In("settings.ini");
  TTestFolder::Write(file, "[settings]\nvolume=64\n");

  // The disk fills up half-way.
  EXPECT_FALSE(WriteFileAtomically(file, [](int fd) {
    WriteAll(fd, "[settings]\nvol");
    errno = ENOSPC;
    return false;
  }));
  EXPECT_EQ(errno, ENOSPC);
  EXPECT_EQ(TTestFolder::Read(file), "[settings]\nvolume=64\n");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"settings.ini"});

  // A folder in the way of the rename.
  fs::create_directory(dir.In("taken"));
  TTestFolder::Write(dir.In("taken/inside"), "x");
  EXPECT_FALSE(WriteFileAtomically(dir.In("taken"), std::string_view("bytes")));
  EXPECT_NE(errno, 0);
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"settings.ini", "taken"}));

  // No folder to put the temporary file in.
  EXPECT_FALSE(WriteFileAtomically(dir.In("missing/x.ini"), std::string_view("bytes")));
  EXPECT_EQ(errno, ENOENT);
}

TEST(AtomicFile, ACopyTakesEveryByteAndAFailedOneLeavesTheTarget) {
  TTestFolder dir;
  std::string profile;
  for (int i = 0; i < 30000; ++i) profile += "[formatInfo" + std::to_string(i) + "]\n";
  TTestFolder::Write(dir.In("profile.ini"), profile);
  TTestFolder::Write(dir.In("copy.ini"), "old");
  ASSERT_TRUE(CopyFile(dir.In("profile.ini"), dir.In("copy.ini")));
  EXPECT_EQ(TTestFolder::Read(dir.In("copy.ini")), profile);

  // A folder cannot be read as a file: the target stays as it was.
  TTestFolder::Write(dir.In("copy.ini"), "old");
  EXPECT_FALSE(CopyFile(dir.Path(), dir.In("copy.ini")));
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(TTestFolder::Read(dir.In("copy.ini")), "old");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"copy.ini", "profile.ini"}));
}
