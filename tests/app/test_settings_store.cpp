// The settings dialog's reading of the current format and what its Ok stores.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/SettingsStore.h"
#include "platform/IniFile.h"
#include "support/TestFolder.h"

namespace fs = std::filesystem;

namespace {

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { settings_ = (dir_ / "settings.ini").string(); }
  std::string Stored(const std::string& section, const std::string& key) const {
    return platform::ReadIniString(settings_, section, key, "<none>");
  }

  TTestFolder folder_;
  const std::filesystem::path dir_{folder_.Path()};
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
