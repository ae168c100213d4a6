#include "editing/FrameEffects.h"

#include "editing/FrameEffectsKernels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using frame_effects_detail::Table;

std::uint8_t ClampByte(std::int64_t v) { return std::uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// Rounds half to even after limiting to 0..255 (limiting first keeps huge
// slopes from overflowing the integer conversion).
std::uint8_t RoundClampByte(double v) {
  if (!(v >= 0.0)) return 0;  // also catches NaN
  if (v > 255.0) return 255;
  return std::uint8_t(std::nearbyint(v));
}

// Contrast slope; the negative side uses the five-digit constant on purpose,
// so -100 flattens everything to the pivot.
double ContrastSlope(int contrast) {
  if (contrast == 100) contrast = 99;  // 100 would make the slope infinite
  if (contrast > 0) return 1.0 / std::cos(contrast * std::numbers::pi / 200.0);
  return std::cos(contrast * 0.015708);
}

// W[i] = ((i + 1) * saturation) >> 8 as unsigned 32 bits.
std::array<std::int64_t, 256> Weights(int saturation) {
  std::array<std::int64_t, 256> weight{};
  for (int i = 0; i < 256; ++i) weight[i] = std::uint32_t(std::int64_t(i + 1) * saturation) >> 8;
  return weight;
}

// tone[clamp(g - W[g] + W[c])] for every grey g and channel c, so that the
// per-pixel work is one grey look-up and three table reads.
std::vector<std::uint8_t> MixedTable(const Table& tone, int saturation) {
  const std::array<std::int64_t, 256> weight = Weights(saturation);
  std::vector<std::uint8_t> table(256 * 256);
  for (int g = 0; g < 256; ++g) {
    std::uint8_t* row = table.data() + g * 256;
    const std::int64_t base = g - weight[g];
    for (int c = 0; c < 256; ++c) row[c] = tone[ClampByte(base + weight[c])];
  }
  return table;
}

std::array<std::uint8_t, 768> GreyTable() {
  std::array<std::uint8_t, 768> grey{};
  for (int s = 0; s < 768; ++s) grey[s] = std::uint8_t(s / 3);
  return grey;
}

// One clipped span of the overlay: `count` source and destination rows or
// columns, and where each starts.
struct Span {
  int count, srcStart, destStart;
};

Span Clip(int offset, int srcSize, int destSize) {
  const std::int64_t o = offset;  // -INT_MIN must not overflow
  if (o >= 0) return {int(std::min<std::int64_t>(srcSize, destSize - o)), 0, offset};
  const std::int64_t count = std::min<std::int64_t>(srcSize + o, destSize);
  return {int(count), count > 0 ? int(-o) : 0, 0};
}

// d' = ((256 - a) * d + a * s) >> 8 over `n` bytes; every term fits in 16 bits.
void BlendBytes(std::uint8_t* d, const std::uint8_t* s, size_t n, int alpha) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i a = _mm_set1_epi16(std::int16_t(alpha));
  const __m128i inv = _mm_set1_epi16(std::int16_t(256 - alpha));
  for (; i + 16 <= n; i += 16) {
    const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i lo =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(dv, zero), inv),
                                     _mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), a)),
                       8);
    const __m128i hi =
        _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(dv, zero), inv),
                                     _mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), a)),
                       8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; i < n; ++i) d[i] = std::uint8_t(((256 - alpha) * d[i] + alpha * s[i]) >> 8);
}

}  // namespace

namespace frame_effects_detail {

Table ToneTable(int brightness, int contrast) {
  const double k = ContrastSlope(contrast);
  Table contrastTable{};
  for (int i = 0; i < 256; ++i) contrastTable[i] = RoundClampByte((i - 170) * k + 170);
  Table tone{};
  for (int j = 0; j < 256; ++j) {
    const std::int64_t v = (std::int64_t(brightness) * j + 256 - brightness) / 256;
    tone[j] = contrastTable[ClampByte(v)];
  }
  return tone;
}

Table ExposureTable(float exposure) {
  const double e = exposure;
  Table table{};
  for (int i = 0; i < 256; ++i) {
    const double t = (i / -128.0) * (e / 128.0);
    // Absurd settings must not overflow the integer conversion; any |r| this
    // large already drives the result to 0 or 255.
    const double curve = std::clamp(256.0 * (1.0 - std::exp(t)), -1e9, 1e9);
    const std::int64_t r = std::isnan(curve) ? 0 : std::llrint(curve);
    const std::int64_t v = e >= 0 ? i + ((r * (255 - i)) >> 8) : i - (((-r) * (255 - i)) >> 8);
    table[i] = ClampByte(v);
  }
  return table;
}

TColorTables ColorTables(const Table& tone, int saturation) {
  TColorTables colors;
  colors.Tone = tone;
  colors.Saturation = saturation;
  if (!WideKernelsAvailable()) colors.Mixed = MixedTable(tone, saturation);
  return colors;
}

bool SaturationKeepsChannels(int saturation) {
  const std::array<std::int64_t, 256> weight = Weights(saturation);
  for (int i = 1; i < 256; ++i)
    if (weight[i] - i != weight[0]) return false;
  return true;
}

void ColorsPortable(const TBitmap::TRows& rows, const TColorTables& colors) {
  const std::vector<std::uint8_t> own = colors.Mixed.empty()
                                            ? MixedTable(colors.Tone, colors.Saturation)
                                            : std::vector<std::uint8_t>();
  const std::vector<std::uint8_t>& table = colors.Mixed.empty() ? own : colors.Mixed;
  const std::array<std::uint8_t, 768> grey = GreyTable();
  for (int y = 0; y < rows.Count; ++y) {
    std::uint8_t* p = rows.Row(y);
    for (int x = 0; x < rows.Width; ++x, p += 3) {
      const std::uint8_t* row = table.data() + size_t(grey[p[0] + p[1] + p[2]]) * 256;
      p[0] = row[p[0]];
      p[1] = row[p[1]];
      p[2] = row[p[2]];
    }
  }
}

void MapPortable(const TBitmap::TRows& rows, const Table& table) {
  const size_t rowBytes = size_t(rows.Width) * 3;
  for (int y = 0; y < rows.Count; ++y) {
    std::uint8_t* p = rows.Row(y);
    for (size_t i = 0; i < rowBytes; ++i) p[i] = table[p[i]];
  }
}

}  // namespace frame_effects_detail

namespace fx = frame_effects_detail;

namespace {

// What one band of rows goes through: colours, then exposure, or, when the
// saturation leaves channels apart, both as one table.
struct TPictureOp {
  bool Colors = false;
  fx::TColorTables ColorTables;
  bool Map = false;
  Table MapTable{};

  void operator()(const TBitmap::TRows& rows) const {
    const bool wide = fx::WideKernelsAvailable();
    if (Colors) (wide ? fx::ColorsWide : fx::ColorsPortable)(rows, ColorTables);
    if (Map) (wide ? fx::MapWide : fx::MapPortable)(rows, MapTable);
  }
};

TPictureOp PictureOp(const TPictureAdjust& adjust) {
  TPictureOp op;
  const bool exposure = adjust.Exposure != 0.0f;
  const Table curve = exposure ? fx::ExposureTable(adjust.Exposure) : Table{};
  if (adjust.Colors && !fx::SaturationKeepsChannels(adjust.Saturation)) {
    op.Colors = true;
    op.ColorTables =
        fx::ColorTables(fx::ToneTable(adjust.Brightness, adjust.Contrast), adjust.Saturation);
    op.Map = exposure;
    op.MapTable = curve;
    return op;
  }
  op.Map = true;
  const Table tone = adjust.Colors ? fx::ToneTable(adjust.Brightness, adjust.Contrast) : Table{};
  for (int i = 0; i < 256; ++i) {
    const std::uint8_t toned = adjust.Colors ? tone[i] : std::uint8_t(i);
    op.MapTable[i] = exposure ? curve[toned] : toned;
  }
  return op;
}

}  // namespace

void AdjustPicture(TBitmap& bitmap, const TPictureAdjust& adjust) {
  if (bitmap.Empty() || (!adjust.Colors && adjust.Exposure == 0.0f)) return;
  bitmap.TransformRows(PictureOp(adjust));
}

void AdjustColors(TBitmap& bitmap, int brightness, int contrast, int saturation) {
  AdjustPicture(bitmap, {true, brightness, contrast, saturation, 0.0f});
}

void AdjustExposure(TBitmap& bitmap, float exposure) {
  AdjustPicture(bitmap, {false, 255, 0, 256, exposure});
}

void BlendOverlay(TBitmap& dest, const TBitmap& src, int x, int y, int alpha) {
  alpha = std::clamp(alpha, 0, 256);
  const Span rows = Clip(y, src.Height(), dest.Height());
  const Span cols = Clip(x, src.Width(), dest.Width());
  if (rows.count <= 0 || cols.count <= 0 || alpha == 0) return;
  const size_t bytes = size_t(cols.count) * 3;
  for (int r = 0; r < rows.count; ++r) {
    std::uint8_t* d = dest.ScanLine(rows.destStart + r) + size_t(cols.destStart) * 3;
    const std::uint8_t* s = src.ScanLine(rows.srcStart + r) + size_t(cols.srcStart) * 3;
    BlendBytes(d, s, bytes, alpha);
  }
}

std::string FormatSeconds(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                int(seconds / 60 % 60), int(seconds % 60));
  return text;
}
