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

namespace fs = std::filesystem;

namespace {

class Preferences : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("quor_prefs_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "home");
    oldHome_ = platform::GetEnv("HOME");
    platform::SetEnv("HOME", (root_ / "home").string());
    settings_ = (root_ / "settings.ini").string();
  }
  void TearDown() override {
    oldHome_ ? platform::SetEnv("HOME", *oldHome_) : platform::UnsetEnv("HOME");
    fs::remove_all(root_);
  }
  std::string Stored(const std::string& key) const {
    return platform::ReadIniString(settings_, "settings", key, "<absent>");
  }
  std::string DefaultFolder() const { return (root_ / "home" / "videoconverter").string(); }

  fs::path root_;
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
  TPreferences shown = ReadPreferences(settings_);
  EXPECT_EQ(shown.SnapFolder, snaps);
  EXPECT_FALSE(shown.SmallSize);
  EXPECT_TRUE(shown.FullSize);
  EXPECT_TRUE(shown.Bmp);
  EXPECT_FALSE(shown.Jpg);
  EXPECT_EQ(shown.Quality, 85);
  EXPECT_EQ(shown.Priority, 3);

  // A folder that cannot be written falls back to the default, which is
  // stored at once (it need not exist yet).
  ASSERT_TRUE(platform::WriteIniString(settings_, "settings", "SnapOutPutDir", "/proc/1"));
  EXPECT_EQ(ReadPreferences(settings_).SnapFolder, DefaultFolder());
  EXPECT_EQ(Stored("SnapOutPutDir"), DefaultFolder());
}

TEST_F(Preferences, OkStoresWhatTheNextShowReadsAndAnEmptyFolderStoresTheDefault) {
  TPreferences values;
  values.SnapFolder = (root_ / "snaps").string();
  fs::create_directories(values.SnapFolder);
  values.SmallSize = true;
  values.FullSize = false;
  values.Bmp = false;
  values.Jpg = true;
  values.Quality = 64;
  values.Priority = 2;
  ASSERT_TRUE(StorePreferences(settings_, values));
  const TPreferences read = ReadPreferences(settings_);
  EXPECT_EQ(read.SnapFolder, values.SnapFolder);
  EXPECT_EQ(
      std::tie(read.SmallSize, read.FullSize, read.Bmp, read.Jpg, read.Quality, read.Priority),
      std::tie(values.SmallSize, values.FullSize, values.Bmp, values.Jpg, values.Quality,
               values.Priority));

  values.SnapFolder.clear();
  values.Quality = 0;    // a quality of 0 is not stored: the old one stays
  values.Priority = -1;  // no priority chosen
  ASSERT_TRUE(StorePreferences(settings_, values));
  EXPECT_EQ(Stored("SnapOutPutDir"), DefaultFolder());
  EXPECT_EQ(Stored("jpgCmp"), "64");
  EXPECT_EQ(Stored("priority"), "-1");
}

TEST_F(Preferences, OkReportsASettingsFileThatCannotBeWritten) {
  settings_ = (root_ / "no-such-folder" / "settings.ini").string();
  EXPECT_FALSE(StorePreferences(settings_, DefaultPreferences()));
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
