// The crop window's arithmetic: fitting, margins in source pixels, the band
// kept on the picture, the margin boxes' rule, and the output picture.
#include <gtest/gtest.h>

#include "PixelTestUtil.h"
#include "editing/CropFrame.h"
#include "editing/FrameEffects.h"

namespace {

const TIntRect kView{0, 0, 420, 303};

// The band over a 640 x 480 source in the window's view: the picture lies
// at (9, 1), 402 x 301.
TCropFrame VgaFrame() {
  TCropFrame f;
  f.SetPicture(PictureRect(640, 480, kView));
  return f;
}

// A picture whose every pixel tells its place: blue = x, green = y.
TBitmap Coordinates(int w, int h) {
  TBitmap bmp(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Set(bmp, x, y, {x, y, 100});
  return bmp;
}

}  // namespace

TEST(CropFrame, PicturesFitTheViewKeepingTheirShape) {
  EXPECT_EQ(FitPicture(640, 480, kView), (TIntRect{8, 0, 404, 303}));
  EXPECT_EQ(PictureRect(640, 480, kView), (TIntRect{9, 1, 402, 301}));
  // A wide picture takes the full width: (303 - 720 / (1280 / 420)) / 2 = 33.4.
  EXPECT_EQ(FitPicture(1280, 720, kView), (TIntRect{0, 33, 420, 237}));
  // The same shape as the view fills it; an area offset moves along.
  EXPECT_EQ(FitPicture(840, 606, {15, 58, 420, 303}), (TIntRect{15, 58, 420, 303}));
  // Halves of spare room round to even: (10 - 3) / 2 = 3.5 -> 4, (12 - 3) / 2 = 4.5 -> 4.
  EXPECT_EQ(FitPicture(3, 10, {0, 0, 10, 10}), (TIntRect{4, 0, 2, 10}));
  EXPECT_EQ(FitPicture(3, 12, {0, 0, 12, 12}), (TIntRect{4, 0, 4, 12}));
  // No picture size: the whole area.
  EXPECT_EQ(FitPicture(0, 0, kView), kView);
}

TEST(CropFrame, ViewMarginsBecomeEvenSourcePixels) {
  // 30 x 480 / 301 = 47.8 -> 48; 31 x 480 / 301 = 49.4 -> 49 -> 48.
  EXPECT_EQ(SourceMargin(30, 480, 301), 48);
  EXPECT_EQ(SourceMargin(31, 480, 301), 48);
  EXPECT_EQ(SourceMargin(1, 480, 301), 2);
  EXPECT_EQ(SourceMargin(0, 480, 301), 0);
  // Halves to even before the evening: 2.5 -> 2, 5.5 -> 6, 6.5 -> 6.
  EXPECT_EQ(SourceMargin(1, 5, 2), 2);
  EXPECT_EQ(SourceMargin(11, 1, 2), 6);
  EXPECT_EQ(SourceMargin(13, 1, 2), 6);
  EXPECT_EQ(SourceMargin(20, 480, 0), 0);  // no picture
  const TCropMargins crop = SourceCrop({30, 31, 20, 1}, 640, 480, 402, 301);
  EXPECT_EQ(crop, (TCropMargins{48, 48, 32, 2}));
}

TEST(CropFrame, AMovedBandStopsAtThePictureEdgesKeepingItsSize) {
  TCropFrame f = VgaFrame();
  const TIntRect start{300, 50, 100, 100};
  f.Press(start, true);
  EXPECT_EQ(f.Clamp({320, 50, 100, 100}), (TIntRect{311, 50, 100, 100}));
  EXPECT_EQ(f.Clamp({5, 50, 100, 100}), (TIntRect{9, 50, 100, 100}));
  EXPECT_EQ(f.Clamp({50, -20, 100, 100}), (TIntRect{50, 1, 100, 100}));
  EXPECT_EQ(f.Clamp({50, 204, 100, 100}), (TIntRect{50, 202, 100, 100}));
  // The dotted frame lies two pixels inside: a band may overhang by that
  // much on the left and right before it is stopped.
  EXPECT_EQ(f.Clamp({7, 50, 100, 100}), (TIntRect{7, 50, 100, 100}));
  EXPECT_EQ(f.Clamp({313, 50, 100, 100}), (TIntRect{313, 50, 100, 100}));
  // ... the bottom edge one pixel less (its test counts the edge itself).
  EXPECT_EQ(f.Clamp({50, 203, 100, 100}), (TIntRect{50, 203, 100, 100}));
  EXPECT_EQ(f.Clamp({314, 50, 100, 100}), (TIntRect{311, 50, 100, 100}));
  // Each test sees what the ones before left: a corner overshoot.
  EXPECT_EQ(f.Clamp({-30, -30, 100, 100}), (TIntRect{9, 1, 100, 100}));
}

TEST(CropFrame, AResizedBandEndsAtThePictureEdge) {
  TCropFrame f = VgaFrame();
  f.Press({300, 50, 100, 100}, false);
  // The right handle past the edge: the band ends at the picture's right.
  EXPECT_EQ(f.Clamp({300, 50, 130, 100}), (TIntRect{300, 50, 111, 100}));
  EXPECT_EQ(f.Clamp({300, 50, 100, 300}), (TIntRect{300, 50, 100, 252}));
  // The left and top handles keep the opposite edges.
  f.Press({100, 80, 100, 100}, false);
  EXPECT_EQ(f.Clamp({2, 80, 198, 100}), (TIntRect{9, 80, 191, 100}));
  EXPECT_EQ(f.Clamp({100, -5, 100, 185}), (TIntRect{100, 1, 100, 179}));
  // The release makes the band's place the new start.
  f.Release({120, 90, 80, 90});
  EXPECT_FALSE(f.Moving());
}

TEST(CropFrame, TheBandsMarginsAreNeverNegative) {
  TCropFrame f = VgaFrame();
  EXPECT_EQ(f.TakeMargins({29, 31, 362, 241}), (TCropMargins{30, 30, 20, 20}));
  EXPECT_EQ(f.Last(), (TCropMargins{30, 30, 20, 20}));
  EXPECT_EQ(f.TakeMargins({7, -1, 406, 305}), (TCropMargins{0, 0, 0, 0}));
  EXPECT_EQ(f.BoundsFor({30, 30, 20, 20}), (TIntRect{29, 31, 362, 241}));
}

TEST(CropFrame, TheBoxesMoveTheBandUntilItIsTenPixels) {
  TCropFrame f = VgaFrame();
  TIntRect band = f.BoundsFor({145, 146, 0, 0});
  ASSERT_EQ(band.Height, 10);
  f.TakeMargins(band);
  // Raising the up margin of a 10-pixel band is refused ...
  TMarginChange c = f.ChangeMargin(csUp, {146, 146, 0, 0}, band);
  EXPECT_TRUE(c.Refused);
  EXPECT_EQ(c.Restore, 145);
  c = f.ChangeMargin(csDown, {145, 147, 0, 0}, band);
  EXPECT_TRUE(c.Refused);
  EXPECT_EQ(c.Restore, 146);
  // ... lowering it works, and the band grows upwards.
  c = f.ChangeMargin(csUp, {144, 146, 0, 0}, band);
  ASSERT_FALSE(c.Refused);
  EXPECT_EQ(c.Bounds, (TIntRect{9, 145, 402, 11}));
  EXPECT_EQ(f.Last().Up, 144);
  // The width is not held by the height's rule; negative margins become 0.
  c = f.ChangeMargin(csLeft, {144, 146, -1, 0}, c.Bounds);
  ASSERT_FALSE(c.Refused);
  EXPECT_EQ(c.Margins.Left, 0);
  EXPECT_EQ(c.Bounds, (TIntRect{9, 145, 402, 11}));
  c = f.ChangeMargin(csRight, {144, 146, 0, 50}, c.Bounds);
  EXPECT_EQ(c.Bounds, (TIntRect{9, 145, 352, 11}));
  EXPECT_EQ(f.Reset(), f.Picture());
  EXPECT_EQ(f.Last(), TCropMargins{});
}

TEST(CropFrame, TheOutputIsTheAdjustedFrameCutByTheMargins) {
  const TBitmap frame = Coordinates(64, 48);
  TBitmap out = CropOutput(frame, {}, {4, 6, 8, 2});
  ASSERT_EQ(out.Width(), 54);
  ASSERT_EQ(out.Height(), 38);
  EXPECT_EQ(At(out, 0, 0), (Bgr{8, 4, 100}));
  EXPECT_EQ(At(out, 53, 37), (Bgr{61, 41, 100}));
  // Effects apply to the picture before the cut, colours then exposure;
  // the frame itself stays as it was.
  const TPictureEffects bright{400, 10, 300, 50};
  out = CropOutput(frame, bright, {4, 6, 8, 2});
  TBitmap expected = frame;
  AdjustColors(expected, 400, 10, 300);
  AdjustExposure(expected, 50);
  EXPECT_EQ(At(out, 10, 10), At(expected, 18, 14));
  EXPECT_EQ(At(frame, 18, 14), (Bgr{18, 14, 100}));
  // Margins that leave nothing keep one pixel; no frame gives no output.
  out = CropOutput(frame, {}, {40, 40, 60, 60});
  EXPECT_EQ(out.Width(), 1);
  EXPECT_EQ(out.Height(), 1);
  EXPECT_TRUE(CropOutput(TBitmap(), bright, {}).Empty());
}
