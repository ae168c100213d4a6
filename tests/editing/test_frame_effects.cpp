#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <numbers>
#include <random>

#include "PixelTestUtil.h"
#include "editing/FrameEffects.h"
#include "editing/FrameEffectsKernels.h"

namespace {

TBitmap OnePixel(Bgr c) {
  TBitmap bmp(1, 1);
  Set(bmp, 0, 0, c);
  return bmp;
}

Bgr Colors(Bgr c, int b, int k, int s) {
  TBitmap bmp = OnePixel(c);
  AdjustColors(bmp, b, k, s);
  return At(bmp, 0, 0);
}

int Exposed(int value, float e) {
  TBitmap bmp = OnePixel({value, value, value});
  AdjustExposure(bmp, e);
  return At(bmp, 0, 0).b;
}

TBitmap Noise(int w, int h, unsigned seed) {
  TBitmap bmp(w, h);
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      Set(bmp, x, y, {int(rng() & 255), int(rng() & 255), int(rng() & 255)});
  return bmp;
}

// The colour formulas written out per pixel, straight from their definition,
// to check the routine's combined table against.
Bgr ColorsByDefinition(Bgr px, int b, int c, int s) {
  if (c == 100) c = 99;
  const double k = c > 0 ? 1.0 / std::cos(c * std::numbers::pi / 200.0) : std::cos(c * 0.015708);
  auto clamp = [](std::int64_t v) { return v < 0 ? 0 : (v > 255 ? 255 : int(v)); };
  auto contrast = [&](int i) {
    double v = std::nearbyint((i - 170) * k + 170);
    return v < 0 ? 0 : (v > 255 ? 255 : int(v));
  };
  auto tone = [&](int j) { return contrast(clamp((std::int64_t(b) * j + 256 - b) / 256)); };
  auto w = [&](int i) { return std::int64_t(std::uint32_t(std::int64_t(i + 1) * s) >> 8); };
  const int g = (px.b + px.g + px.r) / 3;
  auto channel = [&](int v) { return tone(clamp(g - w(g) + w(v))); };
  return {channel(px.b), channel(px.g), channel(px.r)};
}

}  // namespace

TEST(AdjustColors, IdentitySettingsLeaveEveryPixel) {
  // Brightness 256 and saturation 256 are exact identities; the record's
  // neutral 255 is not (it maps j to (255j+1)/256).
  TBitmap bmp = Noise(33, 7, 1);
  const TBitmap before = bmp;
  AdjustColors(bmp, 256, 0, 256);
  EXPECT_TRUE(SamePixels(bmp, before));
  EXPECT_EQ(Colors({255, 128, 0}, 255, 0, 256), (Bgr{254, 127, 0}));
}

TEST(AdjustColors, BrightnessActsBeforeContrast) {
  // Brightness 255 turns 255 into 254 and 200 into 199 before the contrast
  // table (slope 1/cos(10*pi/200) around 170) sees them.
  EXPECT_EQ(Colors({255, 200, 100}, 255, 10, 256), (Bgr{255, 199, 98}));
  EXPECT_EQ(Colors({255, 200, 100}, 256, 10, 256), (Bgr{255, 200, 99}));
  EXPECT_EQ(Colors({0, 0, 0}, 255, 10, 256), (Bgr{0, 0, 0}));
  // Brightness 512 lifts every level: (512j - 256) / 256.
  EXPECT_EQ(Colors({0, 1, 100}, 512, 0, 256), (Bgr{0, 1, 199}));
}

TEST(AdjustColors, ContrastExtremes) {
  // 100 is taken as 99 (slope about 63.66): 169 -> 106, 170 stays, 171 -> 234.
  EXPECT_EQ(Colors({169, 170, 171}, 256, 100, 256), (Bgr{106, 170, 234}));
  TBitmap a = Noise(16, 16, 2), b = a, c = a;
  AdjustColors(a, 300, 100, 200);
  AdjustColors(b, 300, 99, 200);
  AdjustColors(c, 300, 98, 200);
  EXPECT_TRUE(SamePixels(a, b));
  EXPECT_FALSE(SamePixels(a, c));
  // -100: slope cos(-1.5708) is about zero, so every channel becomes 170.
  TBitmap flat = Noise(16, 16, 3);
  AdjustColors(flat, 255, -100, 255);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(At(flat, x, y), (Bgr{170, 170, 170}));
}

TEST(AdjustColors, SaturationPullsTowardOrAwayFromGrey) {
  EXPECT_EQ(Colors({10, 20, 90}, 256, 0, 0), (Bgr{40, 40, 40}));
  EXPECT_EQ(Colors({0, 1, 1}, 256, 0, 0), (Bgr{0, 0, 0}));         // grey truncates
  EXPECT_EQ(Colors({10, 20, 90}, 256, 0, 512), (Bgr{0, 0, 140}));  // 2c - g, clamped
  EXPECT_EQ(Colors({10, 20, 90}, 256, 0, 255), (Bgr{10, 20, 90}));
}

TEST(AdjustColors, MatchesTheFormulasOnEveryCombination) {
  const TBitmap source = Noise(61, 13, 4);  // odd width: rows carry padding
  for (int b : {0, 100, 255, 256, 512})
    for (int c : {-100, -37, 0, 10, 99, 100})
      for (int s : {0, 128, 255, 256, 512}) {
        TBitmap bmp = source;
        AdjustColors(bmp, b, c, s);
        for (int y = 0; y < bmp.Height(); ++y)
          for (int x = 0; x < bmp.Width(); ++x)
            ASSERT_EQ(At(bmp, x, y), ColorsByDefinition(At(source, x, y), b, c, s))
                << "b=" << b << " c=" << c << " s=" << s << " at " << x << "," << y;
      }
}

// The portable and the wide loops (where this processor runs the latter)
// against the formulas, on every row length up to a few 16-pixel groups so
// that partial groups and row padding are covered.
TEST(AdjustColors, EveryKernelFormMatchesOnEveryRowLength) {
  namespace fx = frame_effects_detail;
  std::vector<void (*)(const TBitmap::TRows&, const fx::TColorTables&)> forms{fx::ColorsPortable};
  if (fx::WideKernelsAvailable()) forms.push_back(fx::ColorsWide);
  for (auto form : forms)
    for (int w = 1; w <= 50; ++w) {
      const int b = 180 + w * 3, c = w * 4 - 100, s = w * 10;
      const TBitmap source = Noise(w, 3, unsigned(w));
      TBitmap bmp = source;
      for (int y = 0; y < 3; ++y)  // padding bytes must survive
        for (int i = w * 3; i < bmp.RowSize(); ++i) bmp.ScanLine(y)[i] = 0xA5;
      form(bmp.AllRows(), fx::ColorTables(fx::ToneTable(b, c), s));
      for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(At(bmp, x, y), ColorsByDefinition(At(source, x, y), b, c, s)) << "width " << w;
        for (int i = w * 3; i < bmp.RowSize(); ++i) ASSERT_EQ(bmp.ScanLine(y)[i], 0xA5);
      }
    }
}

TEST(AdjustColors, OutOfRangeSettingsStayWithinChannelRange) {
  // Nothing the editor produces, but the tables must not overflow: every
  // channel is the formula's value clamped to 0..255, never one wrapped
  // around (a level past 255 coming out dark, or below 0 coming out light).
  const TBitmap source = Noise(16, 8, 5);
  struct TSettings {
    int Brightness, Contrast, Saturation;
  };
  for (const TSettings& t :
       {TSettings{100000000, 1000, -300}, TSettings{-100000000, -1000, 1 << 20},
        TSettings{INT_MAX, 99, INT_MIN}, TSettings{INT_MIN, -100, INT_MAX}}) {
    TBitmap bmp = source;
    AdjustColors(bmp, t.Brightness, t.Contrast, t.Saturation);
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x)
        ASSERT_EQ(At(bmp, x, y),
                  ColorsByDefinition(At(source, x, y), t.Brightness, t.Contrast, t.Saturation))
            << "brightness " << t.Brightness << " contrast " << t.Contrast << " saturation "
            << t.Saturation << " at " << x << "," << y;
  }
  TBitmap empty;
  AdjustColors(empty, 100000000, 1000, -300);
  EXPECT_EQ(empty.Width(), 0);
}

// The one-pass form folds colours and exposure into one table where the
// saturation leaves channels apart; it must match the two passes exactly.
TEST(AdjustPicture, EqualsColoursThenExposure) {
  const TBitmap source = Noise(45, 21, 8);
  for (int s : {0, 100, 255, 256, 400})
    for (float e : {0.0f, -120.0f, 75.0f}) {
      TBitmap twoPasses = source;
      AdjustColors(twoPasses, 310, -15, s);
      AdjustExposure(twoPasses, e);
      TBitmap onePass = source;
      AdjustPicture(onePass, {true, 310, -15, s, e});
      EXPECT_TRUE(SamePixels(onePass, twoPasses)) << "saturation " << s << " exposure " << e;
    }
  TBitmap exposureOnly = source, expected = source;
  AdjustPicture(exposureOnly, {false, 0, 100, 0, 50.0f});
  AdjustExposure(expected, 50.0f);
  EXPECT_TRUE(SamePixels(exposureOnly, expected)) << "colour settings are ignored without Colors";
}

TEST(AdjustExposure, CurveValuesAndFixedPoints) {
  EXPECT_EQ(Exposed(128, -255), 0);
  EXPECT_EQ(Exposed(255, -255), 255);
  EXPECT_EQ(Exposed(64, 100), 125);
  EXPECT_EQ(Exposed(200, 100), 238);
  EXPECT_EQ(Exposed(128, -50), 68);
  EXPECT_EQ(Exposed(250, -50), 245);
  EXPECT_EQ(Exposed(1, 512), 8);
  EXPECT_EQ(Exposed(0, 512), 0);
  EXPECT_EQ(Exposed(255, 512), 255);
  TBitmap bmp = Noise(9, 5, 6);
  const TBitmap before = bmp;
  AdjustExposure(bmp, 0);
  EXPECT_TRUE(SamePixels(bmp, before));
  AdjustExposure(bmp, 1e30f);
  AdjustExposure(bmp, -1e30f);
  AdjustExposure(bmp, std::nanf(""));
}

TEST(AdjustExposure, EveryKernelFormMapsEveryByte) {
  namespace fx = frame_effects_detail;
  std::vector<void (*)(const TBitmap::TRows&, const fx::Table&)> forms{fx::MapPortable};
  if (fx::WideKernelsAvailable()) forms.push_back(fx::MapWide);
  fx::Table reversed{};
  for (int i = 0; i < 256; ++i) reversed[i] = std::uint8_t(255 - i);
  for (auto form : forms)
    for (int w : {1, 5, 21, 22, 43, 100}) {
      const TBitmap source = Noise(w, 2, unsigned(w));
      TBitmap bmp = source;
      for (int i = w * 3; i < bmp.RowSize(); ++i) bmp.ScanLine(1)[i] = 0xA5;
      form(bmp.AllRows(), reversed);
      for (int y = 0; y < 2; ++y)
        for (int x = 0; x < w; ++x) {
          const Bgr a = At(source, x, y);
          ASSERT_EQ(At(bmp, x, y), (Bgr{255 - a.b, 255 - a.g, 255 - a.r})) << "width " << w;
        }
      for (int i = w * 3; i < bmp.RowSize(); ++i) ASSERT_EQ(bmp.ScanLine(1)[i], 0xA5);
    }
}

namespace {

// Source pixel (x, y) holds (x, y, 200) so that a blended pixel tells where
// it came from.
TBitmap Labelled(int w, int h) {
  TBitmap bmp(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) Set(bmp, x, y, {x, y, 200});
  return bmp;
}

int Blend(int d, int s, int a) { return ((256 - a) * d + a * s) >> 8; }

// Checks every destination pixel: inside the clipped rectangle blended with
// the source pixel under it, outside untouched.
void ExpectOverlay(int dw, int dh, int sw, int sh, int ox, int oy, int alpha) {
  TBitmap dest = Filled(dw, dh, {100, 50, 0});
  const TBitmap src = Labelled(sw, sh);
  BlendOverlay(dest, src, ox, oy, alpha);
  for (int y = 0; y < dh; ++y)
    for (int x = 0; x < dw; ++x) {
      const int sx = x - ox, sy = y - oy;
      Bgr want{100, 50, 0};
      if (sx >= 0 && sy >= 0 && sx < sw && sy < sh)
        want = {Blend(100, sx, alpha), Blend(50, sy, alpha), Blend(0, 200, alpha)};
      ASSERT_EQ(At(dest, x, y), want)
          << "pixel " << x << "," << y << " overlay at " << ox << "," << oy << " alpha " << alpha;
    }
}

}  // namespace

TEST(BlendOverlay, ClipsAtEveryEdgeAndMapsPixels) {
  ExpectOverlay(40, 20, 10, 6, 0, 0, 128);
  ExpectOverlay(40, 20, 10, 6, -3, -2, 128);  // first rows and columns skipped
  ExpectOverlay(40, 20, 15, 15, -10, -10, 77);
  ExpectOverlay(40, 20, 10, 6, 35, 17, 200);   // cut at the right and bottom
  ExpectOverlay(40, 20, 60, 30, -5, -4, 255);  // larger than the frame
  ExpectOverlay(37, 9, 37, 9, 0, 0, 1);        // widths that leave a tail
  ExpectOverlay(40, 20, 10, 6, 40, 0, 128);    // entirely outside: nothing
  ExpectOverlay(40, 20, 10, 6, -10, 0, 128);
  ExpectOverlay(40, 20, 10, 6, 0, -6, 128);
  ExpectOverlay(40, 20, 10, 6, 5, 5, 0);  // alpha 0: unchanged
}

TEST(BlendOverlay, AlphaExtremesAndEmptyBitmaps) {
  TBitmap dest = Filled(3, 1, {100, 0, 255});
  const TBitmap src = Filled(3, 1, {200, 255, 0});
  BlendOverlay(dest, src, 0, 0, 255);
  EXPECT_EQ(At(dest, 0, 0), (Bgr{(100 + 255 * 200) / 256, 254, 0}));
  BlendOverlay(dest, src, 0, 0, 1000);  // clamped to a full cover
  EXPECT_EQ(At(dest, 2, 0), (Bgr{200, 255, 0}));
  TBitmap empty;
  BlendOverlay(dest, empty, 0, 0, 128);
  BlendOverlay(empty, src, 0, 0, 128);
  BlendOverlay(dest, src, INT32_MIN, INT32_MAX, 128);
}

TEST(FormatSeconds, HoursMinutesSeconds) {
  EXPECT_EQ(FormatSeconds(3723), "1:02:03");
  EXPECT_EQ(FormatSeconds(0), "0:00:00");
  EXPECT_EQ(FormatSeconds(59), "0:00:59");
  EXPECT_EQ(FormatSeconds(-5), "0:00:00");
  EXPECT_EQ(FormatSeconds(360000), "100:00:00");
}
