// The named colours the watermark editor's colour boxes offer, in the
// desktop's standard order: sixteen basic colours, four extra ones, then the
// system colours (resolved through ColorToRGB when drawn).
//
// Constant data; any thread.
#pragma once

#include <vector>

#include "editing/WmRec.h"

struct TNamedColor {
  const char* Name;
  TColor Color;
};

constexpr TColor clMaroon = 0x000080u, clGreen = 0x008000u, clOlive = 0x008080u, clNavy = 0x800000u,
                 clPurple = 0x800080u, clTeal = 0x808000u, clGray = 0x808080u, clSilver = 0xC0C0C0u,
                 clRed = 0x0000FFu, clLime = 0x00FF00u, clYellow = 0x00FFFFu, clBlue = 0xFF0000u,
                 clFuchsia = 0xFF00FFu, clAqua = 0xFFFF00u;

const std::vector<TNamedColor>& NamedColors();
// The index of `color` in NamedColors(), -1 when it has no name.
int NamedColorIndex(TColor color);
