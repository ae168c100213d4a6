#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "engine/libav/YuvRows.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Random(size_t n, std::mt19937& rng) {
  Bytes b(n);
  for (auto& v : b) v = std::uint8_t(rng());
  return b;
}

constexpr std::uint8_t kGuard = 0xA5;

// One row pair of a picture and of a bitmap, with guard bytes after each
// row so that a routine writing past its width shows.
struct TPair {
  int Width;
  Bytes Y0, Y1, U, V, Bgr0, Bgr1;
  explicit TPair(int width)
      : Width(width),
        Y0(size_t(width) + 64, kGuard),
        Y1(size_t(width) + 64, kGuard),
        U(size_t(width + 1) / 2 + 64, kGuard),
        V(size_t(width + 1) / 2 + 64, kGuard),
        Bgr0(size_t(width) * 3 + 64, kGuard),
        Bgr1(size_t(width) * 3 + 64, kGuard) {}
  // `single`: the last row of an odd height, passed as both members.
  yuv_rows::TRowPair ToBgrArgs(bool single) {
    return {Y0.data(),   single ? Y0.data() : Y1.data(),     U.data(), V.data(),
            Bgr0.data(), single ? Bgr0.data() : Bgr1.data(), Width};
  }
  yuv_rows::TBgrPair FromBgrArgs(bool single) {
    return {Bgr0.data(), single ? Bgr0.data() : Bgr1.data(),
            Y0.data(),   single ? Y0.data() : Y1.data(),
            U.data(),    V.data(),
            Width};
  }
  bool operator==(const TPair&) const = default;
};

TPair RandomPair(int width, std::mt19937& rng) {
  TPair p(width);
  for (Bytes* b : {&p.Y0, &p.Y1, &p.U, &p.V})
    std::generate(b->begin(), b->end() - 64, [&] { return rng(); });
  for (Bytes* b : {&p.Bgr0, &p.Bgr1})
    std::generate(b->begin(), b->end() - 64, [&] { return rng(); });
  return p;
}

// BT.601 limited range, in floating point.
void IdealBgr(int y, int u, int v, double out[3]) {
  const double l = (y - 16) * 255.0 / 219.0, d = (u - 128) * 255.0 / 224.0,
               e = (v - 128) * 255.0 / 224.0;
  out[2] = l + 1.402 * e;
  out[1] = l - 0.344136 * d - 0.714136 * e;
  out[0] = l + 1.772 * d;
}

void IdealYuv(double b, double g, double r, double out[3]) {
  out[0] = 16 + (0.299 * r + 0.587 * g + 0.114 * b) * 219.0 / 255.0;
  out[1] = 128 + (-0.168736 * r - 0.331264 * g + 0.5 * b) * 224.0 / 255.0;
  out[2] = 128 + (0.5 * r - 0.418688 * g - 0.081312 * b) * 224.0 / 255.0;
}

}  // namespace

// The wide loops must give the portable loops' bytes on every row length
// (whole steps, partial steps, odd widths) in both directions, for row pairs
// and for the single last row of an odd height, and write nothing past the
// row.
TEST(YuvRows, WideFormsGiveThePortableBytesOnEveryRowLength) {
  if (!yuv_rows::WideAvailable()) GTEST_SKIP() << "this processor runs the portable forms only";
  std::mt19937 rng(7);
  std::vector<int> widths;
  for (int w = 1; w <= 130; ++w) widths.push_back(w);
  for (int w : {1919, 1920, 1921}) widths.push_back(w);
  for (int w : widths)
    for (bool single : {false, true}) {
      SCOPED_TRACE("width " + std::to_string(w) + (single ? " single row" : ""));
      TPair wide = RandomPair(w, rng), portable = wide;
      yuv_rows::ToBgrWide(wide.ToBgrArgs(single));
      yuv_rows::ToBgrPortable(portable.ToBgrArgs(single));
      ASSERT_TRUE(wide == portable);
      ASSERT_EQ(wide.Bgr0[size_t(w) * 3], kGuard);

      wide = RandomPair(w, rng);
      portable = wide;
      yuv_rows::FromBgrWide(wide.FromBgrArgs(single));
      yuv_rows::FromBgrPortable(portable.FromBgrArgs(single));
      ASSERT_TRUE(wide == portable);
      ASSERT_EQ(wide.Y0[size_t(w)], kGuard);
      ASSERT_EQ(wide.U[size_t(w + 1) / 2], kGuard);
    }
}

// Every luma value with a grid of chroma values: within one step of the
// standard's formulas (after clamping to 0..255).
TEST(YuvRows, PictureToBitmapFollowsTheStandardWithinOneStep) {
  TPair p(2);
  for (int u = 0; u < 256; u += 5)
    for (int v = 0; v < 256; v += 3)
      for (int y = 0; y < 256; ++y) {
        p.Y0[0] = std::uint8_t(y);
        p.U[0] = std::uint8_t(u);
        p.V[0] = std::uint8_t(v);
        yuv_rows::ToBgr(p.ToBgrArgs(true));
        double ideal[3];
        IdealBgr(y, u, v, ideal);
        for (int c = 0; c < 3; ++c)
          ASSERT_LE(std::abs(p.Bgr0[size_t(c)] - std::clamp(ideal[c], 0.0, 255.0)), 1.0)
              << "y=" << y << " u=" << u << " v=" << v << " channel " << c;
      }
}

// Luma per pixel and chroma from the block's mean colour, within one step.
TEST(YuvRows, BitmapToPictureFollowsTheStandardWithinOneStep) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20000; ++round) {
    TPair p = RandomPair(2, rng);
    yuv_rows::FromBgr(p.FromBgrArgs(false));
    double mean[3] = {};
    for (const Bytes* row : {&p.Bgr0, &p.Bgr1})
      for (int x = 0; x < 2; ++x) {
        const std::uint8_t* px = row->data() + x * 3;
        double ideal[3];
        IdealYuv(px[0], px[1], px[2], ideal);
        const std::uint8_t y = (row == &p.Bgr0 ? p.Y0 : p.Y1)[size_t(x)];
        ASSERT_LE(std::abs(y - ideal[0]), 1.0) << "round " << round;
        for (int c = 0; c < 3; ++c) mean[c] += px[c] / 4.0;
      }
    double ideal[3];
    IdealYuv(mean[0], mean[1], mean[2], ideal);
    ASSERT_LE(std::abs(p.U[0] - ideal[1]), 1.0) << "round " << round;
    ASSERT_LE(std::abs(p.V[0] - ideal[2]), 1.0) << "round " << round;
  }
}

// A picture that goes to the bitmap and back unchanged keeps its values
// within one step wherever its colours lie inside the bitmap's range, so a
// frame drawn on in one corner does not drift elsewhere.
TEST(YuvRows, RoundTripKeepsColoursInsideTheRange) {
  std::mt19937 rng(3);
  int checked = 0;
  for (int round = 0; round < 50000; ++round) {
    TPair p(2);
    const int y = 16 + int(rng() % 220), u = 16 + int(rng() % 225), v = 16 + int(rng() % 225);
    double ideal[3];
    IdealBgr(y, u, v, ideal);
    if (*std::min_element(ideal, ideal + 3) < 1 || *std::max_element(ideal, ideal + 3) > 254)
      continue;
    std::fill(p.Y0.begin(), p.Y0.begin() + 2, std::uint8_t(y));
    std::fill(p.Y1.begin(), p.Y1.begin() + 2, std::uint8_t(y));
    p.U[0] = std::uint8_t(u);
    p.V[0] = std::uint8_t(v);
    yuv_rows::ToBgr(p.ToBgrArgs(false));
    yuv_rows::FromBgr(p.FromBgrArgs(false));
    ASSERT_LE(std::abs(p.Y0[0] - y) + std::abs(p.Y1[1] - y), 2) << y << " " << u << " " << v;
    ASSERT_LE(std::abs(p.U[0] - u), 1) << y << " " << u << " " << v;
    ASSERT_LE(std::abs(p.V[0] - v), 1) << y << " " << u << " " << v;
    ++checked;
  }
  EXPECT_GT(checked, 10000);
}

// A block cut by an odd width takes its chroma from its one column, as if
// that column were repeated.
TEST(YuvRows, BlockCutByTheRightEdgeRepeatsItsColumn) {
  std::mt19937 rng(5);
  for (int w : {1, 3, 5, 33, 65}) {
    TPair odd = RandomPair(w, rng);
    TPair even(w + 1);
    for (auto [from, to] : {std::pair{&odd.Bgr0, &even.Bgr0}, std::pair{&odd.Bgr1, &even.Bgr1}}) {
      std::copy(from->begin(), from->begin() + w * 3, to->begin());
      std::copy(from->begin() + (w - 1) * 3, from->begin() + w * 3, to->begin() + w * 3);
    }
    yuv_rows::FromBgr(odd.FromBgrArgs(false));
    yuv_rows::FromBgr(even.FromBgrArgs(false));
    EXPECT_EQ(odd.U[size_t(w / 2)], even.U[size_t(w / 2)]) << "width " << w;
    EXPECT_EQ(odd.V[size_t(w / 2)], even.V[size_t(w / 2)]) << "width " << w;
    EXPECT_TRUE(std::equal(odd.Y0.begin(), odd.Y0.begin() + w, even.Y0.begin())) << "width " << w;
  }
}
