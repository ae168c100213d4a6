// Pixel access for the editing tests: a BGR triple read from or written to
// one pixel of a bitmap, and a whole-picture comparison.
#pragma once

#include <cstdint>
#include <ostream>

#include "engine/libav/FrameBitmap.h"

struct Bgr {
  int b, g, r;
  bool operator==(const Bgr&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Bgr& p) {
  return os << "(" << p.b << "," << p.g << "," << p.r << ")";
}

inline Bgr At(const TBitmap& bmp, int x, int y) {
  const std::uint8_t* p = bmp.ScanLine(y) + x * 3;
  return {p[0], p[1], p[2]};
}

inline void Set(TBitmap& bmp, int x, int y, Bgr c) {
  std::uint8_t* p = bmp.ScanLine(y) + x * 3;
  p[0] = std::uint8_t(c.b);
  p[1] = std::uint8_t(c.g);
  p[2] = std::uint8_t(c.r);
}

// A bitmap of one colour.
inline TBitmap Filled(int w, int h, Bgr c) {
  TBitmap bmp(w, h);
  bmp.Fill(std::uint8_t(c.b), std::uint8_t(c.g), std::uint8_t(c.r));
  return bmp;
}

// Same size and every pixel equal (the row padding is not compared).
inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (!(At(a, x, y) == At(b, x, y))) return false;
  return true;
}
