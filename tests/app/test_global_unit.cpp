#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/GlobalUnit.h"
#include "engine/common/FFmpegException.h"
#include "platform/Environment.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

// A private home and application-data folder per test, restored afterwards.
class GlobalUnit : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "home");
    oldHome_ = platform::GetEnv("HOME");
    oldAppData_ = platform::GetEnv("QUOR_APPDATA");
    platform::SetEnv("HOME", (root_ / "home").string());
    platform::SetEnv("QUOR_APPDATA", (root_ / "appdata").string());
    settings_ = (root_ / "settings.ini").string();
  }
  void TearDown() override {
    Restore("HOME", oldHome_);
    Restore("QUOR_APPDATA", oldAppData_);
  }
  static void Restore(const std::string& name, const std::optional<std::string>& v) {
    v ? platform::SetEnv(name, *v) : platform::UnsetEnv(name);
  }
  std::string Home() const { return (root_ / "home").string(); }
  std::string Stored(const std::string& key) const {
    return platform::ReadIniString(settings_, "settings", key, "<absent>");
  }

  TTestFolder folder_;
  const std::filesystem::path root_{folder_.Path()};
  std::string settings_;
  std::optional<std::string> oldHome_, oldAppData_;
};

}  // namespace

TEST_F(GlobalUnit, SettersIgnoreValuesThatFailTheirCondition) {
  TGlobalObject g;
  g.SetSettingsFile("/a/settings.ini");
  g.SetSettingsFile("/ab");  // 3 characters: ignored
  g.SetFormatFile("/a/format.ini");
  g.SetFormatFile("");
  g.SetEditionTitle("Edition");
  g.SetEditionTitle("");
  g.SetVersionText(" 1.000 ");
  g.SetVersionText("");
  g.SetHelpAddress("https://help");
  g.SetHelpAddress("");
  EXPECT_EQ(g.SettingsFile(), "/a/settings.ini");
  EXPECT_EQ(g.FormatFile(), "/a/format.ini");
  EXPECT_EQ(g.EditionTitle(), "Edition");
  EXPECT_EQ(g.VersionText(), " 1.000 ");
  EXPECT_EQ(g.HelpAddress(), "https://help");
  g.SetSettingsFile("/abc");  // 4 characters: accepted
  EXPECT_EQ(g.SettingsFile(), "/abc");
}

TEST_F(GlobalUnit, CreationResolvesFilesInTheApplicationDataFolderAndInstallsTheProfile) {
  auto g = TGlobalObject::CreateForApplication();
  const std::string folder = (root_ / "appdata").string() + "/";
  EXPECT_EQ(TGlobalObject::SpecialFolderPath(CSIDL_COMMON_APPDATA), folder);
  EXPECT_EQ(TGlobalObject::SpecialFolderPath(5), "");
  EXPECT_EQ(g->SettingsFile(), folder + "quormp4aviconverter.ini");
  EXPECT_EQ(g->FormatFile(), folder + "quormp4aviformat.ini");
  EXPECT_EQ(g->EditionTitle(), "Quor MP4 to AVI Converter");
  EXPECT_FALSE(g->HelpAddress().empty());
  EXPECT_TRUE(g->VersionText().empty());
  // Installed from the data folder beside the executable when the build put it there.
  if (platform::FileExists(platform::ExecutableFolder() + "data/quormp4aviformat.ini")) {
    EXPECT_TRUE(platform::FileExists(g->FormatFile()));
  }

  // The profile comes from the data folder once and is never replaced.
  fs::create_directories(root_ / "data");
  std::ofstream(root_ / "data" / "quormp4aviformat.ini") << "[formatInfo1]\nFileExt=mp4\n";
  fs::remove(folder + "quormp4aviformat.ini");
  EXPECT_TRUE(InstallFormatProfile(folder, (root_ / "data").string()));
  EXPECT_EQ(platform::ReadIniString(g->FormatFile(), "formatinfo1", "fileext", ""), "mp4");
  std::ofstream(root_ / "data" / "quormp4aviformat.ini") << "[formatInfo1]\nFileExt=avi\n";
  EXPECT_TRUE(InstallFormatProfile(folder, (root_ / "data").string()));
  EXPECT_EQ(platform::ReadIniString(g->FormatFile(), "formatinfo1", "fileext", ""), "mp4");
  fs::remove(folder + "quormp4aviformat.ini");
  EXPECT_FALSE(InstallFormatProfile(folder, (root_ / "nothing").string()));
  EXPECT_FALSE(fs::exists(folder + "quormp4aviformat.ini"));
}

TEST_F(GlobalUnit, GlobalReferenceAndHelpers) {
  EXPECT_EQ(GlobalObject(), nullptr);
  TGlobalObject g;
  SetGlobalObject(&g);
  EXPECT_EQ(GlobalObject(), &g);
  SetGlobalObject(nullptr);

  const platform::FileVersion v = platform::ProgramVersion();
  EXPECT_EQ(TGlobalObject::FileVersionText(),
            " " + std::to_string(v.Major) + "." + std::to_string(v.Minor) +
                std::to_string(v.Release) + std::to_string(v.Build) + " ");
  EXPECT_FALSE(TGlobalObject::LoginUserName().empty());
  EXPECT_EQ(TGlobalObject::RightChars("videoconverter", 9), "converter");
  EXPECT_EQ(TGlobalObject::RightChars("abc", 10), "abc");
  EXPECT_EQ(TGlobalObject::RightChars("abc", 0), "");
  EXPECT_EQ(TGlobalObject::RightChars("abc", -1), "");
  EXPECT_EQ(TGlobalObject::RightChars("x\xC3\xA9t\xC3\xA9", 3),
            "\xC3\xA9t\xC3\xA9");  // code points, not bytes
  EXPECT_TRUE(TGlobalObject::CanWriteToFolder(root_.string()));
  EXPECT_FALSE(TGlobalObject::CanWriteToFolder((root_ / "missing").string()));
}

TEST_F(GlobalUnit, SettingsDefaultsOnAMissingFile) {
  TAppSettings s(settings_);
  EXPECT_EQ(s.OutPutDir(), Home() + "/videoconverter");
  EXPECT_EQ(s.SnapOutPutDir(), Home() + "/videoconverter");
  EXPECT_EQ(s.FormatName(), "Apple iPod Video MPEG-4 Movie (*.mp4)");
  EXPECT_EQ(s.FormatNameForSettingsDialog(), "iPod Video MPEG-4");
  EXPECT_EQ(s.FormatCode(), 1);
  EXPECT_EQ(s.FormatCodeText(), "1");
  EXPECT_EQ(s.Volume(), 0);
  EXPECT_EQ(s.VolumeForBar(), 0);
  EXPECT_EQ(s.Mute(), 0);
  EXPECT_EQ(s.Priority(), 1);
  EXPECT_TRUE(s.SnapFullSize() && s.SnapSmallSize() && s.SnapBmp() && s.SnapJpg());
  EXPECT_EQ(s.JpgCmp(), 30);
  EXPECT_EQ(s.AddFolder(), Home());
  EXPECT_FALSE(fs::exists(settings_));  // reading never creates the file
}

// The Add dialog opens where files were last added from, until that folder
// goes; a non-ASCII name is kept as it is.
TEST_F(GlobalUnit, TheAddFolderIsKeptWhileItExists) {
  TAppSettings s(settings_);
  const fs::path clips = root_ / "Übungen clips";
  fs::create_directories(clips);
  ASSERT_TRUE(s.SetAddFolder(clips.string()));
  EXPECT_EQ(TAppSettings(settings_).AddFolder(), clips.string());
  fs::remove(clips);
  EXPECT_EQ(s.AddFolder(), Home());
  ASSERT_TRUE(s.SetAddFolder(""));
  EXPECT_EQ(s.AddFolder(), Home());
}

TEST_F(GlobalUnit, SettingsRoundTripAcrossInstancesAndSpellings) {
  TAppSettings writer(settings_), reader(settings_);
  ASSERT_TRUE(writer.SetFormatName("AVI Video (*.avi)"));
  ASSERT_TRUE(writer.SetFormatCode(104));
  ASSERT_TRUE(writer.SetSnapOutPutDir("/snaps"));
  ASSERT_TRUE(writer.SetMute(true));
  ASSERT_TRUE(writer.SetPriority(-1));
  ASSERT_TRUE(writer.SetSnapJpg(false));
  ASSERT_TRUE(writer.SetJpgCmp(75));
  EXPECT_FALSE(writer.SetJpgCmp(0));  // quality is stored only when above 0
  EXPECT_EQ(reader.FormatName(), "AVI Video (*.avi)");
  EXPECT_EQ(reader.FormatNameForSettingsDialog(), "AVI Video (*.avi)");
  EXPECT_EQ(reader.FormatCode(), 104);
  EXPECT_EQ(reader.FormatCodeText(), "104");
  EXPECT_EQ(reader.SnapOutPutDir(), "/snaps");
  EXPECT_EQ(platform::ReadIniString(settings_, "Settings", "SnapOutPutDir", ""), "/snaps");
  EXPECT_EQ(reader.Mute(), 1);
  EXPECT_EQ(reader.Priority(), -1);
  EXPECT_FALSE(reader.SnapJpg());
  EXPECT_EQ(reader.JpgCmp(), 75);
  // Written by hand as "Priority" and as an invalid number.
  platform::WriteIniString(settings_, "settings", "Priority", "3");
  platform::WriteIniString(settings_, "settings", "FormatCode", "10x");
  EXPECT_EQ(reader.Priority(), 3);
  EXPECT_EQ(reader.FormatCode(), 1);
  EXPECT_EQ(reader.FormatCodeText(), "10x");
  // A box counts as ticked only for exactly 1.
  platform::WriteIniString(settings_, "settings", "snapBmp", "2");
  EXPECT_FALSE(reader.SnapBmp());
}

TEST_F(GlobalUnit, VolumeOutsideItsRangeShowsAsMiddleWithoutRewriting) {
  TAppSettings s(settings_);
  for (int stored : {200, -1, 129}) {
    ASSERT_TRUE(s.SetVolume(stored));
    EXPECT_EQ(s.VolumeForBar(), 64);
    EXPECT_EQ(s.Volume(), stored);
    EXPECT_EQ(Stored("volume"), std::to_string(stored));
  }
  for (int stored : {0, 128}) {
    ASSERT_TRUE(s.SetVolume(stored));
    EXPECT_EQ(s.VolumeForBar(), stored);
  }
}

TEST_F(GlobalUnit, FirstStartFolderTestFallsBackAndWritesBack) {
  TAppSettings s(settings_);
  const std::string fallback = Home() + "/videoconverter";
  EXPECT_EQ(s.VerifyOutPutDir(), fallback);
  EXPECT_EQ(s.VerifySnapOutPutDir(), fallback);
  EXPECT_EQ(Stored("OutPutDir"), fallback);
  EXPECT_EQ(Stored("SnapOutPutDir"), fallback);
  EXPECT_FALSE(fs::exists(fallback));  // the test creates no folder
}

TEST_F(GlobalUnit, FolderTestKeepsWritableFoldersAndReplacesOthers) {
  TAppSettings s(settings_);
  const std::string good = (root_ / "out").string();
  fs::create_directories(good);
  s.SetOutPutDir(good);
  s.SetSnapOutPutDir((root_ / "no" / "such").string());
  const auto writtenBefore = fs::last_write_time(settings_);
  EXPECT_EQ(s.VerifyOutPutDir(), good);
  EXPECT_EQ(fs::last_write_time(settings_), writtenBefore);
  EXPECT_EQ(s.VerifySnapOutPutDir(), Home() + "/videoconverter");
  EXPECT_EQ(Stored("OutPutDir"), good);
  EXPECT_EQ(Stored("snapOutPutDir"), Home() + "/videoconverter");
  // A regular file is not a folder.
  std::ofstream(root_ / "file") << "x";
  s.SetOutPutDir((root_ / "file").string());
  EXPECT_EQ(s.VerifyOutPutDir(), Home() + "/videoconverter");
}

TEST(ErrorDisplay, AppendsAFullStopAfterCharactersAboveIt) {
  EXPECT_EQ(ErrorDisplayText("Cannot open file"), "Cannot open file.");
  EXPECT_EQ(ErrorDisplayText("code 42"), "code 42.");
  EXPECT_EQ(ErrorDisplayText("what?"), "what?.");
  EXPECT_EQ(ErrorDisplayText("error:"), "error:.");
  EXPECT_EQ(ErrorDisplayText("/"), "/.");
  for (const char* unchanged : {"done.", "blank ", "wow!", "100%", "(x)", "a,", "a-", ""})
    EXPECT_EQ(ErrorDisplayText(unchanged), unchanged);
  EXPECT_EQ(ErrorDisplayText("caf\xC3\xA9"), "caf\xC3\xA9.");  // bytes above 127 sort after "."
}

TEST(ErrorDisplay, KindFollowsTheErrorClass) {
  auto engine = DescribeUnhandledError(std::make_exception_ptr(FFmpegException("Codec not found")));
  EXPECT_EQ(engine.Kind, TErrorDisplayKind::edWarning);
  EXPECT_EQ(engine.Text, "Codec not found.");
  auto other = DescribeUnhandledError(std::make_exception_ptr(std::runtime_error("Disk full!")));
  EXPECT_EQ(other.Kind, TErrorDisplayKind::edError);
  EXPECT_EQ(other.Text, "Disk full!");
  auto av = DescribeUnhandledError(std::make_exception_ptr(EAccessViolation("read of address 0")));
  EXPECT_EQ(av.Kind, TErrorDisplayKind::edNone);
  auto odd = DescribeUnhandledError(std::make_exception_ptr(42));
  EXPECT_EQ(odd.Kind, TErrorDisplayKind::edError);
  EXPECT_FALSE(odd.Text.empty());
}
