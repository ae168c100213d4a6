#include "editing/WmPreview.h"

#include <algorithm>
#include <cmath>

std::int32_t LastWholeSecond(std::int64_t durationUs) {
  if (durationUs <= 0) return 0;
  return std::int32_t(std::min<std::int64_t>(durationUs / 1000000, INT32_MAX));
}

int PreviewBarMax(std::int64_t durationUs) {
  if (durationUs <= 0) return 0;
  return int(std::min<double>(std::nearbyint(double(durationUs) / 1e6), INT32_MAX));
}

std::optional<int> PreviewBarPosition(int max, std::int64_t ptsUs, std::int64_t durationUs) {
  if (durationUs <= 0) return std::nullopt;
  // max is at most a few hours in seconds, so the product cannot overflow.
  const std::int64_t position = std::int64_t(max) * std::max<std::int64_t>(ptsUs, 0) / durationUs;
  return int(std::clamp<std::int64_t>(position, 0, std::max(max, 0)));
}

namespace {

void FillBlock(TBitmap& picture, int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, picture.Width());
  y1 = std::min(y1, picture.Height());
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* p = picture.ScanLine(y) + std::size_t(x0) * 3;
    for (int x = x0; x < x1; ++x, p += 3) {
      p[0] = 0;
      p[1] = 128;
      p[2] = 0;
    }
  }
}

}  // namespace

void DrawCropOutline(TBitmap& picture, int left, int top, int right, int bottom) {
  if (picture.Empty() || right <= left || bottom <= top) return;
  // A 2-pixel pen on the rectangle's path covers one pixel on either side of
  // each edge line.
  FillBlock(picture, left - 1, top - 1, right + 1, top + 1);
  FillBlock(picture, left - 1, bottom - 1, right + 1, bottom + 1);
  FillBlock(picture, left - 1, top - 1, left + 1, bottom + 1);
  FillBlock(picture, right - 1, top - 1, right + 1, bottom + 1);
}
