// The trim window's range arithmetic on a bar of the window's size (838
// pixels, 16-pixel thumbs, so the track is 822 wide).
#include <gtest/gtest.h>

#include "editing/TrimRange.h"

namespace {

constexpr std::int64_t kSecond = 1000000;

TTrimRange Bar(std::int64_t durationUs, std::int64_t trimStart = 0, std::int64_t trimLength = 0) {
  TTrimRange r;
  r.SetBar(838, 16);
  r.SetDuration(durationUs);
  r.Load(trimStart, trimLength);
  return r;
}

}  // namespace

TEST(TrimRange, TheWholeFileStoresNoTrim) {
  TTrimRange r = Bar(600 * kSecond);
  TTrimResult result = r.Result();
  EXPECT_EQ(result.TrimStart, 0);
  EXPECT_EQ(result.TrimLength, 0);
  EXPECT_EQ(result.Seconds, 600);
  // An end beyond the duration, or before the start, keeps the start and
  // runs to the end of the file.
  result = Bar(600 * kSecond, 60 * kSecond, 900 * kSecond).Result();
  EXPECT_EQ(result.TrimStart, 60 * kSecond);
  EXPECT_EQ(result.TrimLength, 0);
  EXPECT_EQ(result.Seconds, 600);
  TTrimRange late = Bar(600 * kSecond, 700 * kSecond);
  EXPECT_GT(late.StartSec(), late.EndSec());
  result = late.Result();
  EXPECT_EQ(result.TrimStart, 700 * kSecond);
  EXPECT_EQ(result.TrimLength, 0);
  EXPECT_EQ(result.Seconds, 600);
}

TEST(TrimRange, ARecordsTrimPlacesTheThumbsRoundedHalfToEven) {
  TTrimRange r = Bar(600 * kSecond, 60 * kSecond + 999999, 120 * kSecond);
  EXPECT_EQ(r.StartSec(), 60);  // whole seconds, truncated
  EXPECT_EQ(r.EndSec(), 180);
  EXPECT_EQ(r.LeftThumbX(), 82);    // 60 / 600 x 822 = 82.2
  EXPECT_EQ(r.RightThumbX(), 247);  // 246.6
  // 1 / 4 x 822 = 205.5 and 3 / 4 x 822 = 616.5: halves go to the even side.
  TTrimRange quarter = Bar(4 * kSecond, 1 * kSecond, 2 * kSecond);
  EXPECT_EQ(quarter.LeftThumbX(), 206);
  EXPECT_EQ(quarter.RightThumbX(), 616);
  // The duration in whole seconds, halves to even as well.
  EXPECT_EQ(Bar(2500000).DurationSec(), 2);
  EXPECT_EQ(Bar(3500000).DurationSec(), 4);
  EXPECT_EQ(Bar(3499999).DurationSec(), 3);
}

TEST(TrimRange, PressesNearTheEdgesAndOffTheTrack) {
  TTrimRange r = Bar(600 * kSecond, 60 * kSecond, 120 * kSecond);
  // Left of half a thumb: the start goes to the very beginning.
  EXPECT_EQ(r.Press(5), TTrimRange::tmStart);
  EXPECT_EQ(r.LeftThumbX(), 0);
  EXPECT_EQ(r.StartSec(), 0);
  // x = 0 and presses past the track move nothing.
  r = Bar(600 * kSecond, 60 * kSecond, 120 * kSecond);
  EXPECT_EQ(r.Press(0), TTrimRange::tmNone);
  EXPECT_EQ(r.Press(823), TTrimRange::tmNone);
  EXPECT_EQ(r.StartSec(), 60);
  EXPECT_EQ(r.EndSec(), 180);
  // With the thumbs close together a press can move both: the midpoint is
  // taken again after the start moved.
  TTrimRange close = Bar(600 * kSecond, 580 * kSecond, 10 * kSecond);
  ASSERT_EQ(close.LeftThumbX(), 795);
  ASSERT_EQ(close.RightThumbX(), 808);
  ASSERT_EQ(close.Press(801), TTrimRange::tmStart | TTrimRange::tmEnd);
  EXPECT_EQ(close.LeftThumbX(), 793);
  EXPECT_EQ(close.RightThumbX(), 793);
  EXPECT_EQ(close.StartSec(), 567);  // by the bar: 793 / 838 x 600
  EXPECT_EQ(close.EndSec(), 578);    // by the track: 793 / 822 x 600
}

TEST(TrimRange, DraggingStopsOnceThePartIsUnderTwoSeconds) {
  TTrimRange r = Bar(600 * kSecond, 100 * kSecond, 1 * kSecond);
  int lower = -1;
  unsigned moved = 99;
  EXPECT_FALSE(r.Drag(50, lower, moved));
  EXPECT_EQ(moved, TTrimRange::tmNone);
  EXPECT_EQ(r.StartSec(), 100);
  // A press still moves a thumb, and a part of two seconds drags again.
  EXPECT_EQ(r.Press(40), TTrimRange::tmStart);
  ASSERT_TRUE(r.Drag(60, lower, moved));
  EXPECT_EQ(moved, TTrimRange::tmStart);
  EXPECT_EQ(lower, 42);  // trunc(60 / 838 x 600)
  EXPECT_EQ(r.LeftThumbX(), 52);
  // A drag may take the end thumb half a thumb past the track, not further.
  TTrimRange end = Bar(600 * kSecond);
  ASSERT_TRUE(end.Drag(830, lower, moved));
  EXPECT_EQ(end.RightThumbX(), 822);
  EXPECT_EQ(end.EndSec(), 600);
  ASSERT_TRUE(end.Drag(831, lower, moved));
  EXPECT_EQ(moved, TTrimRange::tmNone);
}

TEST(TrimRange, AnUnknownDurationKeepsTheWholeFileWithoutDividingByIt) {
  for (std::int64_t duration : {std::int64_t(0), std::int64_t(-1), std::int64_t(400000)}) {
    TTrimRange r = Bar(duration, 30 * kSecond, 10 * kSecond);
    EXPECT_FALSE(r.HasDuration());
    EXPECT_EQ(r.LeftThumbX(), 0);
    EXPECT_EQ(r.RightThumbX(), 822);
    EXPECT_EQ(r.Press(300), TTrimRange::tmStart);
    int lower = 0;
    unsigned moved = 0;
    r.Default();
    EXPECT_FALSE(r.Drag(300, lower, moved));
    const TTrimResult result = r.Result();
    EXPECT_EQ(result.TrimStart, 0);
    EXPECT_EQ(result.TrimLength, 0);
    EXPECT_FALSE(result.ShowSeconds);  // the row keeps its cell
  }
}
