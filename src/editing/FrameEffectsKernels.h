// The inner loops behind the pixel routines of FrameEffects.h, in a portable
// form and, on processors with 512-bit byte permutes, a wide form; the public
// routines pick one at run time. Both give identical results; they are
// declared here so that tests can hold each against the formulas.
// Stateless; any thread (same rules as FrameEffects.h).
#pragma once

#include <array>
#include <cstdint>

#include "engine/FrameBitmap.h"

namespace frame_effects_detail {

using Table = std::array<std::uint8_t, 256>;

// Brightness then contrast as one table of channel values.
Table ToneTable(int brightness, int contrast);
// The exposure curve as a table of channel values.
Table ExposureTable(float exposure);

// Every channel c of a pixel with grey g becomes tone[clamp(g - W[g] + W[c])]
// with W[i] = ((i + 1) * saturation) >> 8 taken as unsigned 32 bits.
void ColorsPortable(TBitmap& bitmap, const Table& tone, int saturation);
void ColorsWide(TBitmap& bitmap, const Table& tone, int saturation);
// Every channel byte (not the row padding) becomes table[byte].
void MapPortable(TBitmap& bitmap, const Table& table);
void MapWide(TBitmap& bitmap, const Table& table);

// True when this processor (and the system) can run the wide forms; they
// must not be called otherwise.
bool WideKernelsAvailable();

}  // namespace frame_effects_detail
