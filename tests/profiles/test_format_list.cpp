#include <gtest/gtest.h>

#include "TempFolder.h"
#include "platform/IniFile.h"
#include "profiles/FormatList.h"

namespace {

class FormatList : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    settings_ = PathOf("settings.ini");
  }
  void Fill() { FillFormatList(list_, names_, settings_); }
  int HeaderRow(int group) const {
    for (int i = 0; i < list_.Count(); ++i)
      if (list_.Row(i).Info.IsGroup && list_.Row(i).Info.Code == group) return i;
    return -1;
  }

  std::string settings_;
  TFormatList list_;
  TFormatNames names_;
};

TEST_F(FormatList, WithoutStoredStatesAllGroupsStartCollapsed) {
  Fill();
  ASSERT_EQ(list_.Count(), 3);
  const char* texts[] = {"Audio-Video-Interleaved - AVI", "General Video formates",
                         "General Audio formates"};
  for (int g = 0; g < 3; ++g) {
    const auto& row = list_.Row(g);
    EXPECT_EQ(row.Text, texts[g]);
    EXPECT_TRUE(row.Info.IsGroup);
    EXPECT_FALSE(row.Info.IsFormat);
    EXPECT_TRUE(row.Info.Collapsed);
    EXPECT_EQ(row.Info.Code, g);
  }
  // The table is filled even though no entry is listed.
  EXPECT_EQ(names_[1][3], "H.264/MPEG-4 AVC Video (*.mp4)");
  EXPECT_EQ(names_[2][6], "AC-3 Audio Codec (*.ac3)");
  EXPECT_TRUE(names_[1][10].empty());
}

TEST_F(FormatList, ExpandAndCollapseTouchOnlyTheirGroup) {
  Fill();
  ExpandGroup(list_, 1, names_);
  ASSERT_EQ(list_.Count(), 13);
  EXPECT_FALSE(list_.Row(1).Info.Collapsed);
  for (int e = 0; e < 10; ++e) {
    const auto& row = list_.Row(2 + e);
    EXPECT_TRUE(row.Info.IsFormat);
    EXPECT_FALSE(row.Info.IsGroup);
    EXPECT_EQ(row.Info.Code, 100 + e);
    EXPECT_EQ(row.Text, names_[1][e]);
  }
  EXPECT_EQ(HeaderRow(2), 12);

  ExpandGroup(list_, 1, names_);  // already open: nothing more
  EXPECT_EQ(list_.Count(), 13);

  ExpandGroup(list_, HeaderRow(2), names_);
  EXPECT_EQ(list_.Count(), 20);
  CollapseGroup(list_, 1);
  ASSERT_EQ(list_.Count(), 10);
  EXPECT_TRUE(list_.Row(1).Info.Collapsed);
  EXPECT_EQ(HeaderRow(2), 2);
  EXPECT_EQ(list_.Row(3).Info.Code, 200);  // group 2's rows survived
  EXPECT_FALSE(list_.Row(2).Info.Collapsed);
}

TEST_F(FormatList, ExpandOnFormatRowOrOutOfRangeDoesNothing) {
  Fill();
  ExpandGroup(list_, 0, names_);
  const int count = list_.Count();
  ExpandGroup(list_, 1, names_);  // a format row (code 0)
  CollapseGroup(list_, 1);
  ExpandGroup(list_, -1, names_);
  ExpandGroup(list_, 99, names_);
  CollapseGroup(list_, 99);
  EXPECT_EQ(list_.Count(), count);
}

TEST_F(FormatList, GroupWithoutEntriesStaysCollapsedAndGapsAreSafe) {
  Fill();
  names_[1] = {};
  ExpandGroup(list_, 1, names_);
  EXPECT_EQ(list_.Count(), 3);
  EXPECT_TRUE(list_.Row(1).Info.Collapsed);

  // Entries after a gap still land directly below their header.
  names_[1][0] = "first";
  names_[1][40] = "second";
  ExpandGroup(list_, 1, names_);
  ASSERT_EQ(list_.Count(), 5);
  EXPECT_EQ(list_.Row(2).Info.Code, 100);
  EXPECT_EQ(list_.Row(3).Info.Code, 140);
  EXPECT_EQ(list_.Row(4).Info.Code, 2);
}

TEST_F(FormatList, GroupStatesSurviveARebuild) {
  Fill();
  ExpandGroup(list_, 2, names_);
  ExpandGroup(list_, 0, names_);
  ASSERT_TRUE(SaveGroupStates(list_, settings_));
  EXPECT_EQ(platform::ReadIniString(settings_, "lstformat", "0", ""), "0");
  EXPECT_EQ(platform::ReadIniString(settings_, "lstformat", "1", ""), "1");
  EXPECT_EQ(platform::ReadIniString(settings_, "lstformat", "2", ""), "0");

  TFormatList other;
  TFormatNames otherNames;
  FillFormatList(other, otherNames, settings_);
  ASSERT_EQ(other.Count(), 3 + 1 + 7);
  EXPECT_EQ(other.Row(1).Info.Code, 0);
  EXPECT_TRUE(other.Row(1).Info.IsFormat);
  EXPECT_TRUE(other.Row(2).Info.IsGroup);
  EXPECT_EQ(other.Row(4).Info.Code, 200);
  EXPECT_EQ(other.Row(10).Info.Code, 206);
}

TEST_F(FormatList, RefillStartsFromScratch) {
  platform::WriteIniString(settings_, "lstformat", "1", "0");
  Fill();
  names_[0][7] = "stale";
  Fill();
  EXPECT_EQ(list_.Count(), 13);
  EXPECT_TRUE(names_[0][7].empty());
}

TEST_F(FormatList, PressTogglesOnlyWithinTheGlyph) {
  Fill();
  EXPECT_FALSE(PressFormatRow(list_, 1, 20, names_));
  EXPECT_EQ(list_.Count(), 3);
  EXPECT_FALSE(PressFormatRow(list_, 1, 5, names_));
  EXPECT_EQ(list_.Count(), 13);

  auto picked = PressFormatRow(list_, 5, 200, names_);
  ASSERT_TRUE(picked);
  EXPECT_EQ(picked->Info.Code, 103);
  EXPECT_EQ(picked->Text, "H.264/MPEG-4 AVC Video (*.mp4)");

  EXPECT_FALSE(PressFormatRow(list_, 1, 0, names_));
  EXPECT_EQ(list_.Count(), 3);
  EXPECT_FALSE(PressFormatRow(list_, 7, 0, names_));
}

TEST_F(FormatList, FindRowTrimsAndIgnoresCase) {
  platform::WriteIniString(settings_, "lstformat", "2", "0");
  Fill();
  EXPECT_EQ(list_.FindRow("  mp3 mpeg layer-3 AUDIO (*.mp3) "), 3);
  EXPECT_EQ(list_.FindRow("Apple iPod Video MPEG-4 Movie (*.mp4)"), -1);
}

TEST(FormatListHeight, CapsOnlyOnceTheRowsOverflow) {
  EXPECT_EQ(GroupedListHeight(3, kSettingsListCap), 80);
  EXPECT_EQ(GroupedListHeight(12, kSettingsListCap), 260);  // 240 pixels of rows do not overflow
  EXPECT_EQ(GroupedListHeight(13, kSettingsListCap), 247);
  EXPECT_EQ(GroupedListHeight(21, kSettingsListCap), 247);
}

}  // namespace
