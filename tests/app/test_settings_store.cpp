// The settings dialog's reading of the current format and what its Ok stores.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/SettingsStore.h"
#include "platform/IniFile.h"

namespace fs = std::filesystem;

namespace {

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("quor_store_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    settings_ = (dir_ / "settings.ini").string();
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Stored(const std::string& section, const std::string& key) const {
    return platform::ReadIniString(settings_, section, key, "<none>");
  }

  fs::path dir_;
  std::string settings_;
};

TEST_F(SettingsStore, AFreshFileStartsFromTheDefaultFormat) {
  const TDialogFormat format = ReadDialogFormat(settings_);
  EXPECT_EQ(format.FieldText, "Apple iPod Video MPEG-4 Movie (*.mp4)");
  EXPECT_EQ(format.Name, "iPod Video MPEG-4");
  EXPECT_EQ(format.Code, 1);
  platform::WriteIniString(settings_, "settings", "FormatCode", "10x");
  EXPECT_EQ(ReadDialogFormat(settings_).Code,
            1);  // no number: the default format, as every reader has it
}

TEST_F(SettingsStore, AFileThatCannotBeWrittenIsReported) {
  fs::create_directories(settings_);  // a folder where the file should be
  TFormatList list;
  EXPECT_FALSE(StoreDialogChoices(settings_, "absent-profile.ini", 200, "x", {}, list));
}

}  // namespace
