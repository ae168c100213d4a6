// The edit pattern and its readers.
#include "support/EditPattern.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>

namespace TestMedia {
namespace {

const Rgb kPatches[EditPatchCount] = {{200, 60, 50}, {50, 180, 70}, {60, 80, 200}, {210, 210, 210}};

Rgb PixelOf(const TBitmap& bmp, int x, int y) {
  const std::uint8_t* p = bmp.ScanLine(y) + x * 3;
  return {p[2], p[1], p[0]};
}

int Luma(const Rgb& c) { return (c.R * 299 + c.G * 587 + c.B * 114) / 1000; }

// Steps are measured in brightness: colour is kept at half the resolution
// (and placed by each scaler its own way), brightness at full.
int Distance(const Rgb& a, const Rgb& b) { return std::abs(Luma(a) - Luma(b)); }

// Average colour of the pixels whose centres lie in `a`, clipped to the
// bitmap (at least the pixel under the area's centre).
Rgb Average(const TBitmap& bmp, const TArea& a) {
  const int x0 = std::max(0, int(std::ceil(a.X - 0.5)));
  const int y0 = std::max(0, int(std::ceil(a.Y - 0.5)));
  const int x1 = std::min(bmp.Width(), std::max(x0 + 1, int(std::ceil(a.Right() - 0.5))));
  const int y1 = std::min(bmp.Height(), std::max(y0 + 1, int(std::ceil(a.Bottom() - 0.5))));
  long long r = 0, g = 0, b = 0, n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x, ++n) {
      const Rgb c = PixelOf(bmp, x, y);
      r += c.R;
      g += c.G;
      b += c.B;
    }
  if (n == 0) return {};
  return {int(r / n), int(g / n), int(b / n)};
}

// Row or column k/8 of a picture `size` long, rounded up: the first pixel
// of a part that starts there.
int Eighth(int size, int k) { return (k * size + 7) / 8; }

// The first pixel of cell i of `count` cells over [from, to).
int CellStart(int from, int to, int i, int count) {
  return from + (i * (to - from) + count - 1) / count;
}

// Which of `count` cells over columns w/8 .. 7w/8 holds column x; -1 outside.
int CellOf(int x, int w, int count) {
  const int from = Eighth(w, 1), to = Eighth(w, 7);
  if (x < from || x >= to) return -1;
  return (x - from) * count / (to - from);
}

// Cell i of `count` over columns w/8 .. 7w/8 and rows [top, bottom).
TArea Cell(int i, int count, int w, int top, int bottom) {
  const int from = Eighth(w, 1), to = Eighth(w, 7);
  const int x0 = CellStart(from, to, i, count), x1 = CellStart(from, to, i + 1, count);
  return {double(x0), double(top), double(x1 - x0), double(bottom - top)};
}

}  // namespace

TPictureMap TPictureMap::Stretched(int w, int h, int ow, int oh) {
  return {w, h, {0, 0, double(w), double(h)}, {0, 0, double(ow), double(oh)}};
}

TPictureMap TPictureMap::Cropped(int left, int top, int right, int bottom) const {
  TPictureMap map = *this;
  map.Shown = {double(left), double(top), double(Width - left - right),
               double(Height - top - bottom)};
  return map;
}

TArea TPictureMap::Map(const TArea& a) const {
  const double x = X(a.X), y = Y(a.Y);
  return {x, y, X(a.Right()) - x, Y(a.Bottom()) - y};
}

TArea EditCodeCell(int cell, int w, int h) {
  return Cell(cell, EditCodeBits, w, Eighth(h, 1), Eighth(h, 3));
}

TArea EditPatch(int patch, int w, int h) {
  return Cell(patch, EditPatchCount, w, Eighth(h, 4), Eighth(h, 6));
}

TArea EditFreeBand(int w, int h) {
  return {0, double(Eighth(h, 6)), double(w), double(h - Eighth(h, 6))};
}

Rgb EditPatchColour(int patch) { return kPatches[std::clamp(patch, 0, EditPatchCount - 1)]; }

void DrawEditPattern(TBitmap& bmp, int n) {
  const int w = bmp.Width(), h = bmp.Height();
  const Rgb black{0, 0, 0}, white{255, 255, 255};
  for (int y = 0; y < h; ++y) {
    const bool codeRow = y >= Eighth(h, 1) && y < Eighth(h, 3);
    const bool patchRow = y >= Eighth(h, 4) && y < Eighth(h, 6);
    std::uint8_t* p = bmp.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      Rgb c = EditBackground;
      if (codeRow && CellOf(x, w, EditCodeBits) >= 0) {
        const int bit = EditCodeBits - 1 - CellOf(x, w, EditCodeBits);
        c = (n >> bit) & 1 ? white : black;
      } else if (patchRow && CellOf(x, w, EditPatchCount) >= 0) {
        c = kPatches[CellOf(x, w, EditPatchCount)];
      }
      p[0] = std::uint8_t(c.B);
      p[1] = std::uint8_t(c.G);
      p[2] = std::uint8_t(c.R);
    }
  }
}

Rgb AreaColour(const TBitmap& out, const TPictureMap& map, const TArea& a) {
  const TArea m = map.Map(a);
  return Average(out, {m.X + m.W / 4, m.Y + m.H / 4, m.W / 2, m.H / 2});
}

int ReadEditFrameNumber(const TBitmap& out, const TPictureMap& map) {
  int n = 0;
  for (int cell = 0; cell < EditCodeBits; ++cell) {
    const int luma = Luma(AreaColour(out, map, EditCodeCell(cell, map.Width, map.Height)));
    if (luma > 80 && luma < 176) return -1;
    n = n * 2 + (luma >= 176 ? 1 : 0);
  }
  return n;
}

bool IsBlack(const Rgb& c) { return c.R < 40 && c.G < 40 && c.B < 40; }

TArea PictureArea(const TBitmap& out) {
  const int w = out.Width(), h = out.Height();
  auto lit = [&](int x, int y) { return !IsBlack(PixelOf(out, x, y)); };
  int left = 0, right = w - 1, top = 0, bottom = h - 1;
  while (left < right && !lit(left, h / 2)) ++left;
  while (right > left && !lit(right, h / 2)) --right;
  while (top < bottom && !lit(w / 2, top)) ++top;
  while (bottom > top && !lit(w / 2, bottom)) --bottom;
  return {double(left), double(top), double(right - left + 1), double(bottom - top + 1)};
}

double EdgeAlongRow(const TBitmap& out, int y, double nearX, int window) {
  const int from = std::max(1, int(std::lround(nearX)) - window);
  const int to = std::min(out.Width() - 1, int(std::lround(nearX)) + window);
  const int y0 = std::max(0, y - 1), y1 = std::min(out.Height() - 1, y + 1);
  auto at = [&](int x) { return Average(out, {x - 0.5, y0 - 0.5, 1, double(y1 - y0 + 1)}); };
  int best = from, bestStep = -1;
  for (int x = from; x <= to; ++x) {
    const int step = Distance(at(x - 1), at(x));
    if (step > bestStep) {
      bestStep = step;
      best = x;
    }
  }
  return best;
}

double EdgeAlongColumn(const TBitmap& out, int x, double nearY, int window) {
  const int from = std::max(1, int(std::lround(nearY)) - window);
  const int to = std::min(out.Height() - 1, int(std::lround(nearY)) + window);
  const int x0 = std::max(0, x - 1), x1 = std::min(out.Width() - 1, x + 1);
  auto at = [&](int y) { return Average(out, {x0 - 0.5, y - 0.5, double(x1 - x0 + 1), 1}); };
  int best = from, bestStep = -1;
  for (int y = from; y <= to; ++y) {
    const int step = Distance(at(y - 1), at(y));
    if (step > bestStep) {
      bestStep = step;
      best = y;
    }
  }
  return best;
}

std::vector<TFrameRead> ReadEditFrames(const std::string& path, const TPictureMap& map,
                                       const std::vector<TArea>& probes) {
  std::vector<TFrameRead> frames;
  ForEachFrame(path, [&](const TBitmap& picture, double seconds) {
    TFrameRead read;
    read.Seconds = seconds;
    read.Number = ReadEditFrameNumber(picture, map);
    for (const TArea& a : probes) read.Probes.push_back(AreaColour(picture, map, a));
    frames.push_back(std::move(read));
    return true;
  });
  return frames;
}

std::map<int, double> EditFrameTimes(const std::string& path) {
  std::map<int, double> times;
  ForEachFrame(path, [&](const TBitmap& picture, double seconds) {
    times[ReadEditFrameNumber(picture, TPictureMap::Same(picture.Width(), picture.Height()))] =
        seconds;
    return true;
  });
  return times;
}

bool WriteSolidBmp(const std::string& path, int w, int h, const Rgb& colour) {
  const int row = (w * 3 + 3) & ~3;
  const std::uint32_t size = 54 + std::uint32_t(row * h);
  std::vector<std::uint8_t> f(size, 0);
  auto put32 = [&](size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + size_t(i)] = std::uint8_t(v >> (8 * i));
  };
  f[0] = 'B';
  f[1] = 'M';
  put32(2, size);
  put32(10, 54);
  put32(14, 40);
  put32(18, std::uint32_t(w));
  put32(22, std::uint32_t(h));
  f[26] = 1;   // planes
  f[28] = 24;  // bits per pixel
  put32(34, std::uint32_t(row * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t at = 54 + size_t(y * row + x * 3);
      f[at] = std::uint8_t(colour.B);
      f[at + 1] = std::uint8_t(colour.G);
      f[at + 2] = std::uint8_t(colour.R);
    }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(f.data()), std::streamsize(f.size()));
  return bool(file);
}

}  // namespace TestMedia
