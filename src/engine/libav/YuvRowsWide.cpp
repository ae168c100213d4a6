// Wide forms of the row conversions for processors with 512-bit byte
// permutes: 32 pixels of a row pair per step, in 16-bit lanes that repeat
// the portable form's arithmetic operation for operation (the saturating
// add on blue only differs where both clamp to 255). Row ends that fill no
// whole step go to the portable form. The functions carry their own target
// attribute, so the rest of the program keeps the baseline instruction set.
#include "engine/libav/YuvRows.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define QUOR_WIDE_ROWS 1
// The compiler's own intrinsic headers trip this warning (their "undefined"
// register idiom); nothing of ours is involved.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#endif

namespace yuv_rows {

#if QUOR_WIDE_ROWS

#define QUOR_WIDE __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))

namespace {

constexpr int kStep = 32;  // pixels per step

// Byte indexes that gather 32 pixels' blue, green or red (96 bytes spread
// over two registers) into 16-bit lanes; odd bytes are zeroed by the mask.
struct TGather {
  __m512i Blue, Green, Red;
};

QUOR_WIDE TGather MakeGather() {
  alignas(64) std::uint8_t index[3][64] = {};
  for (int j = 0; j < kStep; ++j)
    for (int c = 0; c < 3; ++c) index[c][2 * j] = std::uint8_t(3 * j + c);
  return {_mm512_load_si512(index[0]), _mm512_load_si512(index[1]), _mm512_load_si512(index[2])};
}

// Byte indexes that weave packed blue and green (one register) and red (the
// other) back into 32 pixels: bytes 0-63 and 64-95 of the result.
struct TWeave {
  __m512i Low, High;
};

QUOR_WIDE TWeave MakeWeave() {
  alignas(64) std::uint8_t index[128] = {};
  for (int j = 0; j < kStep; ++j) {
    // packus puts lane i's eight values of its first operand at 16i and
    // of its second at 16i + 8.
    const int at = 16 * (j / 8) + j % 8;
    index[3 * j] = std::uint8_t(at);
    index[3 * j + 1] = std::uint8_t(at + 8);
    index[3 * j + 2] = std::uint8_t(64 + at);
  }
  return {_mm512_load_si512(index), _mm512_load_si512(index + 64)};
}

constexpr __mmask64 kEvenBytes = 0x5555555555555555ull;

QUOR_WIDE inline __m512i Gather(__m512i low, __m512i high, __m512i index) {
  return _mm512_maskz_permutex2var_epi8(kEvenBytes, low, index, high);
}

// Each of 16 chroma terms twice, for the two pixels it serves.
QUOR_WIDE inline __m512i Double(__m256i terms) {
  alignas(64) static const std::uint16_t index[32] = {0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,
                                                      5,  6,  6,  7,  7,  8,  8,  9,  9,  10, 10,
                                                      11, 11, 12, 12, 13, 13, 14, 14, 15, 15};
  return _mm512_permutexvar_epi16(_mm512_load_si512(index), _mm512_castsi256_si512(terms));
}

QUOR_WIDE inline __m256i Centred(const std::uint8_t* chroma) {
  const __m256i c = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(chroma)));
  return _mm256_slli_epi16(_mm256_sub_epi16(c, _mm256_set1_epi16(128)), 7);
}

struct TTerms {
  __m512i Red, Green, Blue;
};

QUOR_WIDE inline TTerms ChromaTerms(const std::uint8_t* u, const std::uint8_t* v) {
  const __m256i d = Centred(u), e = Centred(v);
  const __m256i red = _mm256_mulhrs_epi16(e, _mm256_set1_epi16(coef::RedV));
  const __m256i green =
      _mm256_sub_epi16(_mm256_sub_epi16(_mm256_setzero_si256(),
                                        _mm256_mulhrs_epi16(d, _mm256_set1_epi16(coef::GreenU))),
                       _mm256_mulhrs_epi16(e, _mm256_set1_epi16(coef::GreenV)));
  const __m256i blue = _mm256_add_epi16(_mm256_mulhrs_epi16(d, _mm256_set1_epi16(coef::BlueU)),
                                        _mm256_srai_epi16(d, 1));
  return {Double(red), Double(green), Double(blue)};
}

QUOR_WIDE inline void RowToBgr(const std::uint8_t* y, const TTerms& t, const TWeave& weave,
                               std::uint8_t* out) {
  const __m512i luma16 =
      _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y)));
  const __m512i scaled = _mm512_slli_epi16(_mm512_sub_epi16(luma16, _mm512_set1_epi16(16)), 7);
  const __m512i luma = _mm512_add_epi16(_mm512_mulhrs_epi16(scaled, _mm512_set1_epi16(coef::Luma)),
                                        _mm512_set1_epi16(32));
  const __m512i b = _mm512_srai_epi16(_mm512_adds_epi16(luma, t.Blue), 6);
  const __m512i g = _mm512_srai_epi16(_mm512_add_epi16(luma, t.Green), 6);
  const __m512i r = _mm512_srai_epi16(_mm512_add_epi16(luma, t.Red), 6);
  const __m512i bg = _mm512_packus_epi16(b, g);
  const __m512i rr = _mm512_packus_epi16(r, r);
  _mm512_storeu_si512(out, _mm512_permutex2var_epi8(bg, weave.Low, rr));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 64),
                      _mm512_castsi512_si256(_mm512_permutex2var_epi8(bg, weave.High, rr)));
}

struct TPlanar {
  __m512i Blue, Green, Red;
};

QUOR_WIDE inline TPlanar LoadPixels(const std::uint8_t* p, const TGather& gather) {
  const __m512i low = _mm512_loadu_si512(p);
  const __m512i high =
      _mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 64)));
  return {Gather(low, high, gather.Blue), Gather(low, high, gather.Green),
          Gather(low, high, gather.Red)};
}

// (channel * 256 * k) >> 16, unsigned.
QUOR_WIDE inline __m512i LumaTerm(__m512i channel, int k) {
  return _mm512_mulhi_epu16(_mm512_slli_epi16(channel, 8), _mm512_set1_epi16(std::int16_t(k)));
}

QUOR_WIDE inline void StoreLuma(const TPlanar& px, std::uint8_t* y) {
  __m512i sum = _mm512_add_epi16(LumaTerm(px.Red, coef::YRed), LumaTerm(px.Green, coef::YGreen));
  sum = _mm512_add_epi16(sum, LumaTerm(px.Blue, coef::YBlue));
  sum = _mm512_srli_epi16(_mm512_add_epi16(sum, _mm512_set1_epi16((16 << 8) + 128)), 8);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(y), _mm512_cvtepi16_epi8(sum));
}

// Sums of horizontal neighbours (16-bit lanes in, 16 sums out), times 32.
QUOR_WIDE inline __m256i BlockSums(__m512i columnSums) {
  const __m512i pairs = _mm512_madd_epi16(columnSums, _mm512_set1_epi16(1));
  return _mm256_slli_epi16(_mm512_cvtepi32_epi16(pairs), 5);
}

QUOR_WIDE inline void StoreChroma(__m256i b, __m256i g, __m256i r, int kB, int kG, int kR,
                                  std::uint8_t* out) {
  __m256i t = _mm256_add_epi16(_mm256_mulhrs_epi16(b, _mm256_set1_epi16(std::int16_t(kB))),
                               _mm256_mulhrs_epi16(g, _mm256_set1_epi16(std::int16_t(kG))));
  t = _mm256_add_epi16(t, _mm256_mulhrs_epi16(r, _mm256_set1_epi16(std::int16_t(kR))));
  t = _mm256_srai_epi16(_mm256_add_epi16(t, _mm256_set1_epi16((128 << 7) + 64)), 7);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvtepi16_epi8(t));
}

}  // namespace

QUOR_WIDE void ToBgrWide(const TRowPair& rows) {
  const TWeave weave = MakeWeave();
  int x = 0;
  for (; x + kStep <= rows.Width; x += kStep) {
    const TTerms terms = ChromaTerms(rows.U + x / 2, rows.V + x / 2);
    RowToBgr(rows.Y0 + x, terms, weave, rows.Bgr0 + x * 3);
    RowToBgr(rows.Y1 + x, terms, weave, rows.Bgr1 + x * 3);
  }
  if (x < rows.Width) ToBgrPortable(rows, x);
}

QUOR_WIDE void FromBgrWide(const TBgrPair& rows) {
  const TGather gather = MakeGather();
  int x = 0;
  for (; x + kStep <= rows.Width; x += kStep) {
    const TPlanar a = LoadPixels(rows.Bgr0 + x * 3, gather);
    const TPlanar b = LoadPixels(rows.Bgr1 + x * 3, gather);
    StoreLuma(a, rows.Y0 + x);
    StoreLuma(b, rows.Y1 + x);
    const __m256i sb = BlockSums(_mm512_add_epi16(a.Blue, b.Blue));
    const __m256i sg = BlockSums(_mm512_add_epi16(a.Green, b.Green));
    const __m256i sr = BlockSums(_mm512_add_epi16(a.Red, b.Red));
    StoreChroma(sb, sg, sr, coef::UBlue, -coef::UGreen, -coef::URed, rows.U + x / 2);
    StoreChroma(sb, sg, sr, -coef::VBlue, -coef::VGreen, coef::VRed, rows.V + x / 2);
  }
  if (x < rows.Width) FromBgrPortable(rows, x);
}

bool WideAvailable() {
  static const bool available =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
  return available;
}

#else

void ToBgrWide(const TRowPair& rows) { ToBgrPortable(rows); }
void FromBgrWide(const TBgrPair& rows) { FromBgrPortable(rows); }
bool WideAvailable() { return false; }

#endif

}  // namespace yuv_rows
