#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/IniFile.h"
#include "support/TestFolder.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

class IniFile : public ::testing::Test {
 protected:
  void SetUp() override { file_ = (dir_ / "settings.ini").string(); }

  void Put(const std::string& text) { std::ofstream(file_, std::ios::binary) << text; }
  std::string Content() const {
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    return names;
  }

  TTestFolder folder_;
  const std::filesystem::path dir_{folder_.Path()};
  std::string file_;
};

}  // namespace

TEST_F(IniFile, MissingFileSectionOrKeyGiveTheDefault) {
  EXPECT_EQ(ReadIniString(file_, "settings", "OutPutDir", "dflt"), "dflt");
  EXPECT_EQ(ReadIniInt(file_, "settings", "volume", 7), 7);
  EXPECT_TRUE(ReadIniSections(file_).empty());
  Put("[other]\nOutPutDir=x\n[settings]\nfoo=1\n");
  EXPECT_EQ(ReadIniString(file_, "settings", "OutPutDir", "dflt"), "dflt");
  EXPECT_EQ(ReadIniString(file_, "nosuch", "foo", "dflt"), "dflt");
  EXPECT_FALSE(fs::exists(dir_ / "nothing.ini"));
}

TEST_F(IniFile, SectionsAndKeysMatchWithoutRegardToCase) {
  Put("[Settings]\nsnapOutPutDir=/a\nPriority=3\n");
  EXPECT_EQ(ReadIniString(file_, "settings", "SnapOutPutDir", ""), "/a");
  EXPECT_EQ(ReadIniString(file_, "SETTINGS", "snapoutputdir", ""), "/a");
  EXPECT_EQ(ReadIniInt(file_, "settings", "priority", 1), 3);
  // Writing under another spelling replaces the existing key instead of adding one.
  ASSERT_TRUE(WriteIniString(file_, "SETTINGS", "SNAPOUTPUTDIR", "/b"));
  EXPECT_EQ(ReadIniKeys(file_, "settings"),
            (std::vector<std::string>{"snapOutPutDir", "Priority"}));
  EXPECT_EQ(ReadIniString(file_, "settings", "snapOutPutDir", ""), "/b");
  EXPECT_EQ(ReadIniSections(file_), std::vector<std::string>{"Settings"});
}

TEST_F(IniFile, ValuesAreTrimmedAndOnePairOfQuotesStripped) {
  Put("\xEF\xBB\xBF[s]\r\n  a  =  spaced value \t\r\nb=\"quoted \"\nc='single'\nd=\"\"x\"\"\n"
      "e=\"unbalanced\ne2='mixed\"\nf=\ng=a=b\n; h=comment\n");
  EXPECT_EQ(ReadIniString(file_, "s", "a", ""), "spaced value");
  EXPECT_EQ(ReadIniString(file_, "s", "b", ""), "quoted ");
  EXPECT_EQ(ReadIniString(file_, "s", "c", ""), "single");
  EXPECT_EQ(ReadIniString(file_, "s", "d", ""), "\"x\"");
  EXPECT_EQ(ReadIniString(file_, "s", "e", ""), "\"unbalanced");
  EXPECT_EQ(ReadIniString(file_, "s", "e2", ""), "'mixed\"");
  EXPECT_EQ(ReadIniString(file_, "s", "f", "dflt"), "");  // present but empty is not missing
  EXPECT_EQ(ReadIniString(file_, "s", "g", ""), "a=b");
  EXPECT_EQ(ReadIniString(file_, "s", "; h", "dflt"), "dflt");
}

TEST_F(IniFile, IntegersThatAreNotValidGiveTheDefault) {
  Put("[s]\na=12\nb= -5 \n"
      "c=+7\nd=12abc\ne=\nf=abc\ng=99999999999\nh=\"42\"\ni=-2147483648\nj=0x10\n");
  EXPECT_EQ(ReadIniInt(file_, "s", "a", 1), 12);
  EXPECT_EQ(ReadIniInt(file_, "s", "b", 1), -5);
  EXPECT_EQ(ReadIniInt(file_, "s", "c", 1), 7);
  EXPECT_EQ(ReadIniInt(file_, "s", "d", 1), 1);
  EXPECT_EQ(ReadIniInt(file_, "s", "e", 1), 1);
  EXPECT_EQ(ReadIniInt(file_, "s", "f", 1), 1);
  EXPECT_EQ(ReadIniInt(file_, "s", "g", 1), 1);
  EXPECT_EQ(ReadIniInt(file_, "s", "h", 1), 42);
  EXPECT_EQ(ReadIniInt(file_, "s", "i", 1), -2147483648);
  EXPECT_EQ(ReadIniInt(file_, "s", "j", 1), 1);
}

TEST_F(IniFile, AWriteKeepsTheByteOrderMarkSoASecondOneKeepsItsMeaning) {
  // Behind the file's mark a second one hides the header "[a]": the only
  // section is [A]. A write must not turn that line into a real header.
  Put("\xEF\xBB\xBF\xEF\xBB\xBF[a]\nk=1\n[A]\nk=2\n");
  ASSERT_EQ(ReadIniSections(file_), std::vector<std::string>{"A"});
  ASSERT_TRUE(WriteIniString(file_, "A", "k", "written"));
  EXPECT_EQ(ReadIniString(file_, "A", "k", ""), "written");
  EXPECT_EQ(Content(), "\xEF\xBB\xBF\xEF\xBB\xBF[a]\nk=1\n[A]\nk=written\n");
  ASSERT_TRUE(DeleteIniKey(file_, "A", "k"));
  EXPECT_EQ(Content(), "\xEF\xBB\xBF\xEF\xBB\xBF[a]\nk=1\n[A]\n");
}

TEST_F(IniFile, WritesKeepOtherLinesAndComments) {
  const std::string before =
      "; top comment\n[a]\nx=1\n; inside a\ny=2\n\n"
      "[settings]\nOutPutDir=/old\n# odd line\n\n[b]\nz=3\n";
  Put(before);
  ASSERT_TRUE(WriteIniString(file_, "settings", "outputdir", "/new"));
  ASSERT_TRUE(WriteIniString(file_, "a", "added", "v"));
  ASSERT_TRUE(WriteIniInt(file_, "c", "n", -4));
  EXPECT_EQ(Content(),
            "; top comment\n[a]\nx=1\n; inside a\ny=2\nadded=v\n\n"
            "[settings]\nOutPutDir=/new\n# odd line\n\n"
            "[b]\nz=3\n\n[c]\nn=-4\n");
  ASSERT_TRUE(DeleteIniKey(file_, "A", "X"));
  ASSERT_TRUE(DeleteIniKey(file_, "a", "absent"));
  EXPECT_EQ(ReadIniKeys(file_, "a"), (std::vector<std::string>{"y", "added"}));
  EXPECT_TRUE(IniSectionExists(file_, "C"));
}

TEST_F(IniFile, AWriteIsSeenByTheNextReaderAndCreatesTheFile) {
  ASSERT_TRUE(WriteIniString(file_, "settings", "FormatCode", "104"));
  EXPECT_EQ(ReadIniInt(file_, "Settings", "formatcode", 1), 104);
  ASSERT_TRUE(WriteIniString(file_, "settings", "FormatCode", "105"));
  EXPECT_EQ(ReadIniInt(file_, "settings", "FormatCode", 1), 105);
  EXPECT_EQ(Content(), "[settings]\nFormatCode=105\n");
}

TEST_F(IniFile, AtomicWriteLeavesNoTemporaryFilesAndKeepsTheMode) {
  Put("[s]\na=1\n");
  fs::permissions(file_, fs::perms(0640));
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(WriteIniInt(file_, "s", "k" + std::to_string(i), i));
  EXPECT_EQ(FolderEntries(), std::vector<std::string>{"settings.ini"});
  EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all, fs::perms(0640));
}

TEST_F(IniFile, FailedWriteLeavesTheOldFileIntact) {
  // A file in a missing folder cannot be written.
  EXPECT_FALSE(WriteIniString((dir_ / "missing" / "x.ini").string(), "s", "k", "v"));
  Put("[s]\nk=old\n");
  // Values with line breaks would inject keys; they are refused.
  EXPECT_FALSE(WriteIniString(file_, "s", "k", "v\n[evil]\nx=1"));
  EXPECT_FALSE(WriteIniString(file_, "s", "a=b", "v"));
  EXPECT_FALSE(WriteIniString(file_, "s]", "k", "v"));
  EXPECT_EQ(Content(), "[s]\nk=old\n");
  if (::geteuid() != 0) {
    fs::permissions(dir_, fs::perms(0500));
    EXPECT_FALSE(WriteIniString(file_, "s", "k", "new"));
    fs::permissions(dir_, fs::perms(0700));
    EXPECT_EQ(Content(), "[s]\nk=old\n");
  }
}

TEST_F(IniFile, WritesThroughASymbolicLinkKeepTheLink) {
  Put("[s]\nk=1\n");
  fs::path link = dir_ / "link.ini";
  fs::create_symlink(file_, link);
  ASSERT_TRUE(WriteIniString(link.string(), "s", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadIniInt(file_, "s", "k", 0), 2);
}

TEST_F(IniFile, ConcurrentWritersInOneProcessLoseNoKeys) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([this, t] {
      for (int i = 0; i < 25; ++i)
        WriteIniInt(file_, "s", "t" + std::to_string(t) + "_" + std::to_string(i), i);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(ReadIniKeys(file_, "s").size(), 100u);
}

TEST_F(IniFile, SeveralKeysAreWrittenTogetherOrNotAtAll) {
  Put("[s]\na=1\n");
  ASSERT_TRUE(WriteIniStrings(file_, "S", {{"a", "2"}, {"b", "3"}, {"A", "4"}}));
  EXPECT_EQ(Content(), "[s]\na=4\nb=3\n");
  EXPECT_FALSE(WriteIniStrings(file_, "s", {{"c", "5"}, {"d", "x\ny"}}));
  EXPECT_EQ(Content(), "[s]\na=4\nb=3\n");
}
