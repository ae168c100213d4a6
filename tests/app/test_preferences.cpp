// What the preferences dialog reads and stores, and the rules for a browsed
// output or snapshot folder, on a real settings file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

#include "app/FolderChoice.h"
#include "app/GlobalUnit.h"
#include "app/PreferenceStore.h"
#include "app/UserInteraction.h"
#include "platform/Environment.h"
#include "platform/IniFile.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

class Preferences : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "home");
    oldHome_ = platform::GetEnv("HOME");
    platform::SetEnv("HOME", (root_ / "home").string());
    settings_ = (root_ / "settings.ini").string();
  }
  void TearDown() override {
    oldHome_ ? platform::SetEnv("HOME", *oldHome_) : platform::UnsetEnv("HOME");
  }
  std::string Stored(const std::string& key) const {
    return platform::ReadIniString(settings_, "settings", key, "<absent>");
  }
  std::string DefaultFolder() const { return (root_ / "home" / "videoconverter").string(); }

  TTestFolder folder_;
  const std::filesystem::path root_{folder_.Path()};
  std::string settings_;
  std::optional<std::string> oldHome_;
};

}  // namespace

TEST_F(Preferences, ShowReadsTheChoicesAndReplacesAnUnwritableFolder) {
  const std::string snaps = (root_ / "snaps").string();
  fs::create_directories(snaps);
  ASSERT_TRUE(platform::WriteIniStrings(settings_, "settings",
                                        {{"snapOutPutDir", snaps},
                                         {"snapSmallSize", "0"},
                                         {"snapJpg", "0"},
                                         {"jpgCmp", "85"},
                                         {"Priority", "3"}}));
  TPreferenceEdit edit(settings_);
  const TPreferences& shown = edit.Load();
  EXPECT_EQ(shown.SnapFolder, snaps);
  EXPECT_FALSE(shown.SmallSize);
  EXPECT_TRUE(shown.FullSize);
  EXPECT_TRUE(shown.Bmp);
  EXPECT_FALSE(shown.Jpg);
  EXPECT_FALSE(edit.QualityEnabled());
  EXPECT_EQ(shown.Quality, 85);
  EXPECT_EQ(shown.Priority, 3);

  // A folder that cannot be written falls back to the default, which is
  // stored at once (it need not exist yet). A pair stored with both boxes
  // off shows its default box on, a priority outside the four none.
  ASSERT_TRUE(platform::WriteIniStrings(
      settings_, "settings",
      {{"SnapOutPutDir", "/proc/1"}, {"snapFullSize", "0"}, {"snapBmp", "0"}, {"priority", "4"}}));
  EXPECT_EQ(edit.Load().SnapFolder, DefaultFolder());
  EXPECT_EQ(Stored("SnapOutPutDir"), DefaultFolder());
  EXPECT_TRUE(edit.Chosen(scFullSize) && edit.Chosen(scBmp));
  EXPECT_FALSE(edit.Chosen(scSmallSize) || edit.Chosen(scJpg));
  EXPECT_EQ(edit.Values().Priority, -1);
}

TEST_F(Preferences, TheLastBoxOfEachPairStaysChosen) {
  TPreferenceEdit edit(settings_);
  edit.Load();  // all four on
  EXPECT_FALSE(edit.Choose(scSmallSize, false));
  EXPECT_TRUE(edit.Choose(scFullSize, false));  // refused: the last size
  EXPECT_FALSE(edit.Choose(scJpg, false));
  EXPECT_FALSE(edit.QualityEnabled());
  EXPECT_TRUE(edit.Choose(scBmp, false));  // refused: the last format
  EXPECT_TRUE(edit.Choose(scJpg, true));
  EXPECT_TRUE(edit.QualityEnabled());
  EXPECT_FALSE(edit.Choose(scBmp, false));  // JPG is on now
  EXPECT_TRUE(edit.Choose(scJpg, false));   // and the last format again
  EXPECT_TRUE(edit.QualityEnabled());
  EXPECT_TRUE(edit.Chosen(scFullSize));
}

TEST_F(Preferences, OkStoresWhatTheNextShowReadsAndAnEmptyFolderStoresTheDefault) {
  const std::string snaps = (root_ / "snaps").string();
  fs::create_directories(snaps);
  TPreferenceEdit edit(settings_);
  edit.Reset();
  edit.SetFolder(snaps);
  edit.Choose(scSmallSize, true);
  edit.Choose(scFullSize, false);
  edit.Choose(scJpg, true);
  edit.Choose(scBmp, false);
  edit.SetQuality(64);
  edit.SetPriority(2);
  edit.SetFilesAtOnce(5);
  ASSERT_TRUE(edit.Store());
  const TPreferences stored = edit.Values();
  const TPreferences read = TPreferenceEdit(settings_).Load();
  EXPECT_EQ(read.SnapFolder, snaps);
  EXPECT_EQ(
      std::tie(read.SmallSize, read.FullSize, read.Bmp, read.Jpg, read.Quality, read.Priority),
      std::tie(stored.SmallSize, stored.FullSize, stored.Bmp, stored.Jpg, stored.Quality,
               stored.Priority));
  EXPECT_TRUE(read.SmallSize && !read.FullSize && !read.Bmp && read.Jpg);
  EXPECT_EQ(read.FilesAtOnce, 5);

  edit.SetFolder("");
  edit.SetQuality(0);    // a quality of 0 is not stored: the old one stays
  edit.SetPriority(-1);  // no priority chosen
  ASSERT_TRUE(edit.Store());
  EXPECT_EQ(Stored("SnapOutPutDir"), DefaultFolder());
  EXPECT_EQ(Stored("jpgCmp"), "64");
  EXPECT_EQ(Stored("priority"), "-1");
}

TEST_F(Preferences, OkReportsASettingsFileThatCannotBeWritten) {
  TPreferenceEdit edit((root_ / "no-such-folder" / "settings.ini").string());
  edit.Reset();
  EXPECT_FALSE(edit.Store());
}

TEST_F(Preferences, ABrowsedFolderIsRefusedReplacedOrStoredForItsOwnSetting) {
  TDefaultUserInteraction ui;
  EXPECT_FALSE(StoreBrowsedFolder(settings_, TFolderSetting::fsSnapshot, "/ab", ui));
  ASSERT_EQ(ui.Warnings.size(), 1u);
  EXPECT_EQ(ui.Warnings[0].Caption, "Warning");
  EXPECT_EQ(ui.Warnings[0].Text, "The path /ab is not a valid directory.");
  EXPECT_EQ(Stored("SnapOutPutDir"), "<absent>");

  EXPECT_TRUE(StoreBrowsedFolder(settings_, TFolderSetting::fsSnapshot, "/proc/1", ui));
  ASSERT_EQ(ui.Warnings.size(), 2u);
  EXPECT_EQ(ui.Warnings[1].Text, "You login as " + TGlobalObject::LoginUserName() +
                                     " .You don't have permission to write to directory:/proc/1");
  EXPECT_EQ(Stored("SnapOutPutDir"), DefaultFolder());

  const std::string good = (root_ / "good").string();
  fs::create_directories(good);
  EXPECT_TRUE(StoreBrowsedFolder(settings_, TFolderSetting::fsSnapshot, good, ui));
  EXPECT_EQ(Stored("SnapOutPutDir"), good);
  EXPECT_EQ(Stored("OutPutDir"), "<absent>");
  const std::string out = (root_ / "out").string();
  fs::create_directories(out);
  EXPECT_TRUE(StoreBrowsedFolder(settings_, TFolderSetting::fsOutput, out, ui));
  EXPECT_EQ(Stored("OutPutDir"), out);
  EXPECT_EQ(Stored("SnapOutPutDir"), good);
  EXPECT_EQ(ui.Warnings.size(), 2u);
}
