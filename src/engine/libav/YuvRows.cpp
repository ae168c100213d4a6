#include "engine/libav/YuvRows.h"

namespace yuv_rows {

namespace {

// The vector instructions' rounding high multiply: (a * b + 2^14) >> 15.
int MulRound15(int a, int b) { return (a * b + 0x4000) >> 15; }
// The unsigned high multiply: (a * b) >> 16.
int MulHigh16(int a, int b) { return int((unsigned(a) * unsigned(b)) >> 16); }

std::uint8_t ClampByte(int v) { return std::uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// A chroma sample's share of each colour, in 1/64 steps.
struct TChromaTerms {
  int Red, Green, Blue;
};

TChromaTerms ChromaTerms(int u, int v) {
  const int d = (u - 128) << 7, e = (v - 128) << 7;
  return {MulRound15(e, coef::RedV), -MulRound15(d, coef::GreenU) - MulRound15(e, coef::GreenV),
          MulRound15(d, coef::BlueU) + (d >> 1)};
}

void PixelToBgr(int y, const TChromaTerms& c, std::uint8_t* out) {
  const int luma = MulRound15((y - 16) << 7, coef::Luma);
  out[0] = ClampByte((luma + c.Blue + 32) >> 6);
  out[1] = ClampByte((luma + c.Green + 32) >> 6);
  out[2] = ClampByte((luma + c.Red + 32) >> 6);
}

std::uint8_t LumaOf(const std::uint8_t* p) {
  const int sum = MulHigh16(p[2] << 8, coef::YRed) + MulHigh16(p[1] << 8, coef::YGreen) +
                  MulHigh16(p[0] << 8, coef::YBlue);
  return std::uint8_t((sum + (16 << 8) + 128) >> 8);
}

// Chroma from the sums of a block's four blue, green and red values.
std::uint8_t ChromaOf(int sumB, int sumG, int sumR, int kB, int kG, int kR) {
  const int t = MulRound15(sumB << 5, kB) + MulRound15(sumG << 5, kG) + MulRound15(sumR << 5, kR);
  return std::uint8_t((t + (128 << 7) + 64) >> 7);
}

}  // namespace

void ToBgrPortable(const TRowPair& rows, int from) {
  for (int x = from; x < rows.Width; x += 2) {
    const TChromaTerms c = ChromaTerms(rows.U[x / 2], rows.V[x / 2]);
    const bool pair = x + 1 < rows.Width;
    PixelToBgr(rows.Y0[x], c, rows.Bgr0 + x * 3);
    if (pair) PixelToBgr(rows.Y0[x + 1], c, rows.Bgr0 + x * 3 + 3);
    PixelToBgr(rows.Y1[x], c, rows.Bgr1 + x * 3);
    if (pair) PixelToBgr(rows.Y1[x + 1], c, rows.Bgr1 + x * 3 + 3);
  }
}

void FromBgrPortable(const TBgrPair& rows, int from) {
  for (int x = from; x < rows.Width; x += 2) {
    // A block cut by the right edge counts its one column twice.
    const int right = x + 1 < rows.Width ? 3 : 0;
    const std::uint8_t* a = rows.Bgr0 + x * 3;
    const std::uint8_t* b = rows.Bgr1 + x * 3;
    int sum[3];
    for (int c = 0; c < 3; ++c) sum[c] = a[c] + a[c + right] + b[c] + b[c + right];
    rows.U[x / 2] = ChromaOf(sum[0], sum[1], sum[2], coef::UBlue, -coef::UGreen, -coef::URed);
    rows.V[x / 2] = ChromaOf(sum[0], sum[1], sum[2], -coef::VBlue, -coef::VGreen, coef::VRed);
    rows.Y0[x] = LumaOf(a);
    rows.Y1[x] = LumaOf(b);
    if (right) {
      rows.Y0[x + 1] = LumaOf(a + 3);
      rows.Y1[x + 1] = LumaOf(b + 3);
    }
  }
}

void ToBgr(const TRowPair& rows) {
  if (WideAvailable())
    ToBgrWide(rows);
  else
    ToBgrPortable(rows);
}

void FromBgr(const TBgrPair& rows) {
  if (WideAvailable())
    FromBgrWide(rows);
  else
    FromBgrPortable(rows);
}

}  // namespace yuv_rows
