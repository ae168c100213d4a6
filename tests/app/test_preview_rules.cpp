// The preview panel's arithmetic and the snapshot writer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/GlobalUnit.h"
#include "app/PreviewRules.h"
#include "app/Snapshot.h"
#include "app/UserInteraction.h"
#include "platform/Environment.h"
#include "platform/IniFile.h"
#include "support/BatchTestSupport.h"

#include <turbojpeg.h>

TEST(PreviewRules, ClockTextRoundsToWholeSeconds) {
  EXPECT_EQ(ClockText(3725000000), "1:02:05");
  EXPECT_EQ(ClockText(3725499999), "1:02:05");
  EXPECT_EQ(ClockText(3725500000), "1:02:06");
  EXPECT_EQ(ClockText(0), "0:00:00");
  EXPECT_EQ(ClockText(-1), "0:00:00");
  EXPECT_EQ(ClockText(INT64_MIN), "0:00:00");
  EXPECT_EQ(ClockText(100LL * 3600 * 1000000), "100:00:00");
}

TEST(PreviewRules, SeekBarAndTargetStayInRangeAndNeverDivideByZero) {
  EXPECT_EQ(SeekBarPosition(372, 30000000, 60000000), 186);
  EXPECT_EQ(SeekBarPosition(372, 90000000, 60000000), 372);  // a position past the end
  EXPECT_EQ(SeekBarPosition(372, -5, 60000000), 0);
  EXPECT_EQ(SeekBarPosition(372, 5, 0), 0);
  EXPECT_EQ(SeekBarPosition(372, 5, -1), 0);
  EXPECT_EQ(SeekTargetUs(186, 372, 60000000), 30000000);
  EXPECT_EQ(SeekTargetUs(1, 3, 10), 3);  // truncated
  EXPECT_EQ(SeekTargetUs(5, 0, 60000000), 0);
  // Long files keep their precision: the last pixel of a ten-hour film.
  EXPECT_EQ(SeekTargetUs(372, 372, 36000000000LL), 36000000000LL);
  // The truncating variant: 380 x 1.999 / 3 = 253.2, and 380 x 2.999 / 3 = 379.9.
  EXPECT_EQ(SeekBarPositionTruncated(380, 1999000, 3000000), 253);
  EXPECT_EQ(SeekBarPositionTruncated(380, 2999000, 3000000), 379);
  EXPECT_EQ(SeekBarPositionTruncated(380, 4000000, 3000000), 380);
  EXPECT_EQ(SeekBarPositionTruncated(380, 5, 0), 0);
  EXPECT_EQ(SeekBarPositionTruncated(380, 36000000000LL, 36000000000LL), 380);
}

TEST(PreviewRules, DragPositionUsesTheReservedWidthAndClamps) {
  // trunc(x / (width - reserve) x max)
  EXPECT_EQ(DragPosition(100, 372, 6, 372), 101);
  EXPECT_EQ(DragPosition(366, 372, 6, 372), 372);
  EXPECT_EQ(DragPosition(400, 372, 6, 372), 372);
  EXPECT_EQ(DragPosition(-10, 372, 6, 372), 0);
  EXPECT_EQ(DragPosition(35, 70, 15, 128), 81);
  EXPECT_EQ(DragPosition(10, 10, 10, 128), 0);  // no usable width
  // Half a pixel counts: 500 / 828.5 x 100000 = 60350.0 (60313.6 with 829).
  EXPECT_EQ(DragPosition(500, 835, 6.5, 100000), 60350);
}

TEST(PreviewRules, FormatListHeightCapsOnlyOnceTheRowsOverflow) {
  EXPECT_EQ(FormatListHeight(3), 80);
  EXPECT_EQ(FormatListHeight(21), 440);
  EXPECT_EQ(FormatListHeight(22), 422);
  EXPECT_EQ(FormatListHeight(100), 422);
}

TEST(PreviewRules, PreviousNextAndRowEntries) {
  EXPECT_FALSE(PreviousEnabled(0, 3));
  EXPECT_TRUE(NextEnabled(0, 3));
  EXPECT_TRUE(PreviousEnabled(2, 3));
  EXPECT_FALSE(NextEnabled(2, 3));
  EXPECT_FALSE(NextEnabled(-1, 3));
  EXPECT_FALSE(PreviousEnabled(-1, 0));
  EXPECT_FALSE(RowEntriesEnabled(-1, 3));
  EXPECT_FALSE(RowEntriesEnabled(0, 0));
  EXPECT_TRUE(RowEntriesEnabled(0, 1));
}

namespace {

TBitmap Gradient(int w, int h) {
  TBitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = std::uint8_t(x * 255 / std::max(1, w - 1));
      p[1] = std::uint8_t(y * 255 / std::max(1, h - 1));
      p[2] = 200;
    }
  return b;
}

class SnapshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = scratch_.Path() + "settings.ini";
    snapDir_ = scratch_.Sub("snaps");
    TAppSettings(settings_).SetSnapOutPutDir(snapDir_);
  }
  TTestFolder scratch_;
  std::string settings_;
  std::string snapDir_;
  TDefaultUserInteraction ui_;
};

std::uintmax_t SizeOf(const std::string& path) { return std::filesystem::file_size(path); }

}  // namespace

TEST_F(SnapshotTest, WritesTheFourFilesThatBothChoicesAllowAndOverwrites) {
  const TBitmap full = Gradient(321, 241), small = StretchBitmap(full, 385, 278);
  TSnapshotResult r = TakeSnapshot(full, small, settings_, &ui_);
  ASSERT_EQ(r.Written.size(), 4u);
  EXPECT_TRUE(r.Failed.empty());
  // BMP: header plus rows padded to 4 bytes.
  EXPECT_EQ(SizeOf(snapDir_ + "Snapshot_full.bmp"), 54u + 964u * 241u);
  EXPECT_EQ(SizeOf(snapDir_ + "Snapshot_small.bmp"), 54u + 1156u * 278u);

  // The JPEG decodes to the picture's size and colours.
  std::ifstream in(snapDir_ + "Snapshot_full.jpg", std::ios::binary);
  std::vector<unsigned char> jpeg((std::istreambuf_iterator<char>(in)), {});
  tjhandle d = tjInitDecompress();
  int w = 0, h = 0, sub = 0, space = 0;
  ASSERT_EQ(tjDecompressHeader3(d, jpeg.data(), jpeg.size(), &w, &h, &sub, &space), 0);
  EXPECT_EQ(w, 321);
  EXPECT_EQ(h, 241);
  std::vector<unsigned char> rgb(size_t(w) * h * 3);
  ASSERT_EQ(tjDecompress2(d, jpeg.data(), jpeg.size(), rgb.data(), w, 0, h, TJPF_BGR, 0), 0);
  tjDestroy(d);
  const unsigned char* centre = rgb.data() + (size_t(120) * w + 160) * 3;
  EXPECT_NEAR(centre[0], full.ScanLine(120)[160 * 3], 12);
  EXPECT_NEAR(centre[2], 200, 12);

  // A second snapshot of another size replaces the files.
  const TBitmap other = Gradient(64, 48);
  r = TakeSnapshot(other, StretchBitmap(other, 385, 278), settings_, &ui_);
  EXPECT_EQ(r.Written.size(), 4u);
  EXPECT_EQ(SizeOf(snapDir_ + "Snapshot_full.bmp"), 54u + 192u * 48u);
  EXPECT_TRUE(ui_.Warnings.empty());
}

TEST_F(SnapshotTest, ChoicesSelectFilesAndAnEmptyPictureSavesNothing) {
  TAppSettings app(settings_);
  app.SetSnapSmallSize(false);
  app.SetSnapJpg(false);
  const TBitmap full = Gradient(32, 32);
  TSnapshotResult r = TakeSnapshot(full, full, settings_, &ui_);
  ASSERT_EQ(r.Written.size(), 1u);
  EXPECT_EQ(r.Written[0], snapDir_ + "Snapshot_full.bmp");
  EXPECT_FALSE(std::filesystem::exists(snapDir_ + "Snapshot_small.bmp"));

  r = TakeSnapshot(TBitmap(), TBitmap(), settings_, &ui_);
  EXPECT_TRUE(r.Written.empty());
}

TEST_F(SnapshotTest, AFolderThatCannotBeCreatedFallsBackToTheDefaultWithAWarning) {
  const std::string home = scratch_.Sub("home");  // ends in "/"
  const auto oldHome = platform::GetEnv("HOME");
  platform::SetEnv("HOME", home.substr(0, home.size() - 1));
  // A folder below a regular file can never be created.
  std::ofstream(scratch_.Path() + "file") << "x";
  TAppSettings(settings_).SetSnapOutPutDir(scratch_.Path() + "file/snaps");
  const TBitmap full = Gradient(8, 8);
  const TSnapshotResult r = TakeSnapshot(full, full, settings_, &ui_);
  platform::SetEnv("HOME", oldHome.value_or(""));

  ASSERT_EQ(ui_.Warnings.size(), 1u);
  EXPECT_EQ(ui_.Warnings[0].Text, "Cannot create output directory:" + scratch_.Path() +
                                      "file/snaps.It will create default directory " + home +
                                      "videoconverter!");
  EXPECT_EQ(r.Folder, home + "videoconverter/");
  EXPECT_EQ(TAppSettings(settings_).SnapOutPutDir(), home + "videoconverter");
  EXPECT_TRUE(std::filesystem::exists(home + "videoconverter/Snapshot_full.bmp"));
}

TEST(Snapshot, StretchKeepsFlatColoursAndEdges) {
  TBitmap flat(10, 10);
  flat.Fill(10, 20, 30);
  const TBitmap big = StretchBitmap(flat, 37, 5);
  ASSERT_EQ(big.Width(), 37);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 37; ++x) {
      const std::uint8_t* p = big.ScanLine(y) + 3 * x;
      ASSERT_EQ(p[0], 10);
      ASSERT_EQ(p[1], 20);
      ASSERT_EQ(p[2], 30);
    }
  EXPECT_TRUE(StretchBitmap(TBitmap(), 5, 5).Width() == 5);
}
