// Wide forms of the pixel loops for processors with 512-bit byte permutes.
// A 256-entry byte table fits in four registers, so a look-up costs two
// permutes and a blend per 64 bytes instead of one memory access per byte.
// The functions carry their own target attribute, so the rest of the
// program keeps the baseline instruction set and runs everywhere.
#include "editing/FrameEffectsKernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#define QUOR_WIDE_KERNELS 1
// The compiler's own intrinsic headers trip this warning (their "undefined"
// register idiom); nothing of ours is involved.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#endif

namespace frame_effects_detail {

#if QUOR_WIDE_KERNELS

#define QUOR_WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace {

struct WideTable {
  __m512i lo0, lo1, hi0, hi1;  // entries 0..63, 64..127, 128..191, 192..255
};

QUOR_WIDE WideTable LoadTable(const Table& t) {
  return {_mm512_loadu_si512(t.data()), _mm512_loadu_si512(t.data() + 64),
          _mm512_loadu_si512(t.data() + 128), _mm512_loadu_si512(t.data() + 192)};
}

QUOR_WIDE inline __m512i LookUp(const WideTable& t, __m512i x) {
  const __m512i low = _mm512_permutex2var_epi8(t.lo0, x, t.lo1);
  const __m512i high = _mm512_permutex2var_epi8(t.hi0, x, t.hi1);
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), low, high);
}

// Byte mask of the first n bytes (n <= 64).
inline __mmask64 FirstBytes(size_t n) {
  return n >= 64 ? ~__mmask64(0) : ((__mmask64(1) << n) - 1);
}

// Byte permutations between 16 interleaved pixels (B G R B G R ...) and the
// planar order (16 B, 16 G, 16 R) in one register.
struct Shuffles {
  __m512i toPlanar, toPixels;
};

QUOR_WIDE Shuffles MakeShuffles() {
  alignas(64) std::uint8_t planar[64] = {};
  alignas(64) std::uint8_t pixels[64] = {};
  for (int j = 0; j < 16; ++j)
    for (int c = 0; c < 3; ++c) {
      planar[c * 16 + j] = std::uint8_t(3 * j + c);
      pixels[3 * j + c] = std::uint8_t(c * 16 + j);
    }
  return {_mm512_load_si512(planar), _mm512_load_si512(pixels)};
}

// W[v] = ((v + 1) * s) >> 8 on unsigned 32-bit lanes.
QUOR_WIDE inline __m512i Weight(__m512i v, __m512i s) {
  return _mm512_srli_epi32(_mm512_mullo_epi32(_mm512_add_epi32(v, _mm512_set1_epi32(1)), s), 8);
}

// clamp(base + W[c]) of one channel plane, as 16 bytes.
QUOR_WIDE inline __m128i Channel(__m512i base, __m512i c, __m512i s) {
  __m512i x = _mm512_add_epi32(base, Weight(c, s));
  x = _mm512_min_epi32(_mm512_max_epi32(x, _mm512_setzero_si512()), _mm512_set1_epi32(255));
  return _mm512_cvtepi32_epi8(x);
}

// 16 pixels (48 bytes) in and out. Whole groups move as a 32- and a 16-byte
// access: a masked 64-byte access would reach into the next group, and the
// processor would then hold the next load back until this store retires.
QUOR_WIDE inline __m512i LoadPixels(const std::uint8_t* at, int count) {
  if (count < 16) return _mm512_maskz_loadu_epi8(FirstBytes(size_t(count) * 3), at);
  const __m256i head = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 32));
  return _mm512_inserti32x4(_mm512_castsi256_si512(head), tail, 2);
}

QUOR_WIDE inline void StorePixels(std::uint8_t* at, int count, __m512i v) {
  if (count < 16) return _mm512_mask_storeu_epi8(at, FirstBytes(size_t(count) * 3), v);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), _mm512_castsi512_si256(v));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 32), _mm512_extracti32x4_epi32(v, 2));
}

QUOR_WIDE void ColorsRow(std::uint8_t* p, int width, const WideTable& tone, const Shuffles& sh,
                         __m512i s) {
  for (int x = 0; x < width; x += 16) {
    const int count = width - x < 16 ? width - x : 16;
    std::uint8_t* at = p + size_t(x) * 3;
    const __m512i planar = _mm512_permutexvar_epi8(sh.toPlanar, LoadPixels(at, count));
    const __m512i b = _mm512_cvtepu8_epi32(_mm512_castsi512_si128(planar));
    const __m512i g = _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(planar, 1));
    const __m512i r = _mm512_cvtepu8_epi32(_mm512_extracti32x4_epi32(planar, 2));
    // floor(sum / 3) for sums below 2^15: 43691 / 2^17 is 1/3 plus a hair.
    const __m512i sum = _mm512_add_epi32(_mm512_add_epi32(b, g), r);
    const __m512i grey = _mm512_srli_epi32(_mm512_mullo_epi32(sum, _mm512_set1_epi32(43691)), 17);
    const __m512i base = _mm512_sub_epi32(grey, Weight(grey, s));
    __m512i mixed = _mm512_castsi128_si512(Channel(base, b, s));
    mixed = _mm512_inserti32x4(mixed, Channel(base, g, s), 1);
    mixed = _mm512_inserti32x4(mixed, Channel(base, r, s), 2);
    StorePixels(at, count, _mm512_permutexvar_epi8(sh.toPixels, LookUp(tone, mixed)));
  }
}

QUOR_WIDE void MapRow(std::uint8_t* p, size_t bytes, const WideTable& table) {
  for (size_t i = 0; i < bytes; i += 64) {
    const __mmask64 mask = FirstBytes(bytes - i);
    const __m512i x = _mm512_maskz_loadu_epi8(mask, p + i);
    _mm512_mask_storeu_epi8(p + i, mask, LookUp(table, x));
  }
}

}  // namespace

QUOR_WIDE void ColorsWide(const TBitmap::TRows& rows, const TColorTables& colors) {
  const WideTable t = LoadTable(colors.Tone);
  const Shuffles sh = MakeShuffles();
  const __m512i s = _mm512_set1_epi32(colors.Saturation);
  for (int y = 0; y < rows.Count; ++y) ColorsRow(rows.Row(y), rows.Width, t, sh, s);
}

QUOR_WIDE void MapWide(const TBitmap::TRows& rows, const Table& table) {
  const WideTable t = LoadTable(table);
  const size_t bytes = size_t(rows.Width) * 3;
  for (int y = 0; y < rows.Count; ++y) MapRow(rows.Row(y), bytes, t);
}

bool WideKernelsAvailable() {
  static const bool available = __builtin_cpu_supports("avx512f") &&
                                __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("avx512vbmi");
  return available;
}

#else

void ColorsWide(const TBitmap::TRows& rows, const TColorTables& colors) {
  ColorsPortable(rows, colors);
}
void MapWide(const TBitmap::TRows& rows, const Table& table) { MapPortable(rows, table); }
bool WideKernelsAvailable() { return false; }

#endif

}  // namespace frame_effects_detail
