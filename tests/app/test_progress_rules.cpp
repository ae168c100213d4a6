// The progress window's arithmetic: the file's own clock with pauses left
// out, the estimate of what is left, the batch's share in the title, and
// the picture fitted over the window's ground.
#include <gtest/gtest.h>

#include "app/ProgressRules.h"

namespace {

constexpr std::int64_t kSecond = 1000000;

bool IsGround(const TBitmap& b, int x, int y) {
  const std::uint8_t* p = b.ScanLine(y) + x * 3;
  return p[0] == kProgressGroundB && p[1] == kProgressGroundG && p[2] == kProgressGroundR;
}

bool IsColour(const TBitmap& b, int x, int y, std::uint8_t blue, std::uint8_t green,
              std::uint8_t red) {
  const std::uint8_t* p = b.ScanLine(y) + x * 3;
  return p[0] == blue && p[1] == green && p[2] == red;
}

TBitmap Solid(int w, int h) {
  TBitmap b(w, h);
  b.Fill(10, 20, 30);
  return b;
}

}  // namespace

TEST(ProgressRules, TheFileClockLeavesPausedTimeOut) {
  TFileClock clock;
  EXPECT_EQ(clock.SpentMs(5000), 0);  // not started
  clock.Start(1000);
  EXPECT_EQ(clock.SpentMs(3000), 2000);
  clock.Pause(3000);
  clock.Pause(4000);  // a second pause changes nothing
  EXPECT_EQ(clock.SpentMs(7000), 2000);
  clock.Resume(8000);
  EXPECT_EQ(clock.SpentMs(10000), 4000);
  clock.Resume(11000);  // not paused: nothing to take off
  EXPECT_EQ(clock.SpentMs(12000), 6000);

  // The next file of a paused batch starts paused and counts from its resume.
  clock.Pause(12000);
  clock.Start(13000);
  EXPECT_TRUE(clock.Paused());
  EXPECT_EQ(clock.SpentMs(20000), 0);
  clock.Resume(20000);
  EXPECT_EQ(clock.SpentMs(21000), 1000);
}

TEST(ProgressRules, TheEstimateAppearsAtThreePercentAndFollowsThePace) {
  // 2.99 % done: too early to say.
  EXPECT_EQ(EstimateLeftMs(1000, 299 * kSecond / 100, 100 * kSecond), -1);
  // 3 %: 1 s for 3 s of 100 s leaves 97 / 3 s.
  EXPECT_EQ(EstimateLeftMs(1000, 3 * kSecond, 100 * kSecond), 32333);
  EXPECT_EQ(EstimateLeftMs(10000, 25 * kSecond, 100 * kSecond), 30000);
  EXPECT_EQ(EstimateLeftMs(10000, 100 * kSecond, 100 * kSecond), 0);
  EXPECT_EQ(EstimateLeftMs(10000, 120 * kSecond, 100 * kSecond), 0);
  // No length, nothing done, no time spent: no estimate, and no division by zero.
  for (std::int64_t total : {std::int64_t(0), std::int64_t(-1)})
    EXPECT_EQ(EstimateLeftMs(1000, kSecond, total), -1);
  EXPECT_EQ(EstimateLeftMs(1000, 0, 100 * kSecond), -1);
  EXPECT_EQ(EstimateLeftMs(0, 50 * kSecond, 100 * kSecond), -1);
  // A ten-hour film keeps its precision.
  EXPECT_EQ(EstimateLeftMs(3600000, 18000 * kSecond, 36000 * kSecond), 3600000);
}

TEST(ProgressRules, TimeLeftReadsInMinutesAndSecondsRoundedUp) {
  EXPECT_EQ(TimeLeftText(53000), "0:53 left");
  EXPECT_EQ(TimeLeftText(52001), "0:53 left");
  EXPECT_EQ(TimeLeftText(0), "0:00 left");
  EXPECT_EQ(TimeLeftText(725000), "12:05 left");
  EXPECT_EQ(TimeLeftText(3725000), "1:02:05 left");
  EXPECT_EQ(TimeLeftText(-1), "");
}

TEST(ProgressRules, TheBatchShareWeighsFilesByTheirLengthsWhenAllAreKnown) {
  const std::vector<std::int64_t> lengths = {10 * kSecond, 30 * kSecond, 60 * kSecond};
  EXPECT_EQ(BatchPercent(lengths, 0, 0, 10 * kSecond), 0);
  EXPECT_EQ(BatchPercent(lengths, 0, 5 * kSecond, 10 * kSecond), 5);
  EXPECT_EQ(BatchPercent(lengths, 1, 15 * kSecond, 30 * kSecond), 25);
  EXPECT_EQ(BatchPercent(lengths, 2, 60 * kSecond, 60 * kSecond), 100);
  // The running file's own length counts for its share (a trim the
  // expectation did not know of).
  EXPECT_EQ(BatchPercent(lengths, 2, 15 * kSecond, 30 * kSecond), 70);
  // Its length not yet known: the earlier files only.
  EXPECT_EQ(BatchPercent(lengths, 1, 15 * kSecond, -1), 10);
  // Past the last file.
  EXPECT_EQ(BatchPercent(lengths, 3, 0, -1), 100);

  // One unknown length: every file counts the same.
  const std::vector<std::int64_t> partly = {10 * kSecond, -1, 60 * kSecond, 20 * kSecond};
  EXPECT_EQ(BatchPercent(partly, 1, 5 * kSecond, 10 * kSecond), 37);
  EXPECT_EQ(BatchPercent(partly, 3, 20 * kSecond, 20 * kSecond), 100);
  EXPECT_EQ(BatchPercent({}, 0, 0, 0), -1);

  EXPECT_EQ(ProgressTitle(-1), "Progress");
  EXPECT_EQ(ProgressTitle(0), "Progress - 0%");
  EXPECT_EQ(ProgressTitle(42), "Progress - 42%");
}

TEST(ProgressRules, ThePictureKeepsItsShapeOverTheGround) {
  // 320 x 240 in 372 x 210: the full height, 46 columns of ground each side
  // (round((372 - 320 / (240 / 210)) / 2)).
  TBitmap shown = FittedPicture(Solid(320, 240));
  ASSERT_EQ(shown.Width(), kProgressPictureWidth);
  ASSERT_EQ(shown.Height(), kProgressPictureHeight);
  for (int y : {0, 105, 209}) {
    EXPECT_TRUE(IsGround(shown, 45, y)) << y;
    EXPECT_TRUE(IsColour(shown, 46, y, 10, 20, 30)) << y;
    EXPECT_TRUE(IsColour(shown, 325, y, 10, 20, 30)) << y;
    EXPECT_TRUE(IsGround(shown, 326, y)) << y;
  }
  // 1920 x 800: the full width; the margin (210 - 155) / 2 = 27.5 rounds
  // half to even, to 28 rows at the top and at the bottom.
  shown = FittedPicture(Solid(1920, 800));
  for (int x : {0, 186, 371}) {
    EXPECT_TRUE(IsGround(shown, x, 27)) << x;
    EXPECT_TRUE(IsColour(shown, x, 28, 10, 20, 30)) << x;
    EXPECT_TRUE(IsColour(shown, x, 181, 10, 20, 30)) << x;
    EXPECT_TRUE(IsGround(shown, x, 182)) << x;
  }
  // The window's own shape fills it; no picture leaves the ground.
  shown = FittedPicture(Solid(744, 420));
  EXPECT_TRUE(IsColour(shown, 0, 0, 10, 20, 30));
  EXPECT_TRUE(IsColour(shown, 371, 209, 10, 20, 30));
  shown = FittedPicture(TBitmap());
  EXPECT_TRUE(IsGround(shown, 0, 0));
  EXPECT_TRUE(IsGround(shown, 186, 105));
  // A sliver thinner than a pixel at this size leaves only the ground.
  shown = FittedPicture(Solid(4000, 2));
  EXPECT_TRUE(IsGround(shown, 186, 105));
}
