// The inner loops behind the pixel routines of FrameEffects.h, in a portable
// form and, on processors with 512-bit byte permutes, a wide form; the public
// routines pick one at run time. Both give identical results; they are
// declared here so that tests can hold each against the formulas.
// Stateless; any thread (same rules as FrameEffects.h).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/libav/FrameBitmap.h"

namespace frame_effects_detail {

using Table = std::array<std::uint8_t, 256>;

// Brightness then contrast as one table of channel values.
Table ToneTable(int brightness, int contrast);
// The exposure curve as a table of channel values.
Table ExposureTable(float exposure);

// Brightness, contrast and saturation ready for the row loops: every channel
// c of a pixel with grey g becomes Tone[clamp(g - W[g] + W[c])] with
// W[i] = ((i + 1) * Saturation) >> 8 taken as unsigned 32 bits.
struct TColorTables {
  Table Tone{};
  int Saturation = 256;
  // The portable loop's whole mapping by grey and channel; left empty where
  // the wide loop runs, which computes it.
  std::vector<std::uint8_t> Mixed;
};
TColorTables ColorTables(const Table& tone, int saturation);
// True when the saturation leaves every channel where it is (W[i] - i is
// the same for every i), so the colours are Tone alone.
bool SaturationKeepsChannels(int saturation);

void ColorsPortable(const TBitmap::TRows& rows, const TColorTables& colors);
void ColorsWide(const TBitmap::TRows& rows, const TColorTables& colors);
// Every channel byte (not the row padding) becomes table[byte].
void MapPortable(const TBitmap::TRows& rows, const Table& table);
void MapWide(const TBitmap::TRows& rows, const Table& table);

// True when this processor (and the system) can run the wide forms; they
// must not be called otherwise.
bool WideKernelsAvailable();

}  // namespace frame_effects_detail
