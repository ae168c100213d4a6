#include "editing/CropFrame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "editing/FrameEffects.h"

TIntRect FitPicture(int sw, int sh, const TIntRect& area) {
  if (sw <= 0 || sh <= 0 || area.Width <= 0 || area.Height <= 0) return area;
  const double a = double(sw) / area.Width;
  const double b = double(sh) / area.Height;
  TIntRect r = area;
  if (a >= b) {
    const int inset = int(std::nearbyint((area.Height - sh / a) / 2));
    r.Top += inset;
    r.Height -= 2 * inset;
  } else {
    const int inset = int(std::nearbyint((area.Width - sw / b) / 2));
    r.Left += inset;
    r.Width -= 2 * inset;
  }
  return r;
}

TIntRect PictureRect(int sw, int sh, const TIntRect& view) {
  TIntRect r = FitPicture(sw, sh, view);
  return {r.Left + 1, r.Top + 1, r.Width - 2, r.Height - 2};
}

int SourceMargin(int m, int s, int p) {
  if (p <= 0) return 0;
  const int v = int(std::nearbyint(double(m) * s / p));
  return v / 2 * 2;
}

TCropMargins SourceCrop(const TCropMargins& view, int srcWidth, int srcHeight, int picWidth,
                        int picHeight) {
  return {
      SourceMargin(view.Up, srcHeight, picHeight), SourceMargin(view.Down, srcHeight, picHeight),
      SourceMargin(view.Left, srcWidth, picWidth), SourceMargin(view.Right, srcWidth, picWidth)};
}

void TCropFrame::SetPicture(const TIntRect& picture) {
  pic_ = picture;
  Reset();
}

TIntRect TCropFrame::BoundsFor(const TCropMargins& view) const {
  return {pic_.Left + view.Left, pic_.Top + view.Up, pic_.Width - view.Right - view.Left,
          pic_.Height - view.Down - view.Up};
}

void TCropFrame::Press(const TIntRect& bounds, bool moving) {
  startLeft_ = bounds.Left;
  startTop_ = bounds.Top;
  startRight_ = bounds.Right();
  startBottom_ = bounds.Bottom();
  moving_ = moving;
}

void TCropFrame::Release(const TIntRect& bounds) {
  startLeft_ = bounds.Left;
  startTop_ = bounds.Top;
  moving_ = false;
}

// Each test sees what the tests before it left; the band's dotted frame (its
// bounds less the inset) is what must stay on the picture.
TIntRect TCropFrame::Clamp(TIntRect b) const {
  const int w0 = b.Width, h0 = b.Height;
  if (b.Left + kFrameInset < pic_.Left) {
    b.Left = pic_.Left;
    b.Width = moving_ ? w0 : startRight_ - pic_.Left;
  }
  if (b.Top + kFrameInset < pic_.Top) {
    b.Top = pic_.Top;
    b.Height = moving_ ? h0 : startBottom_ - pic_.Top;
  }
  if (b.Right() - kFrameInset - pic_.Left > pic_.Width) {
    b.Left = moving_ ? pic_.Right() - w0 : startLeft_;
    b.Width = moving_ ? w0 : pic_.Right() - startLeft_;
  }
  if (b.Bottom() - kFrameInset - pic_.Top >= pic_.Height) {
    b.Top = moving_ ? pic_.Bottom() - h0 : startTop_;
    b.Height = moving_ ? h0 : pic_.Bottom() - startTop_;
  }
  return b;
}

TCropMargins TCropFrame::TakeMargins(const TIntRect& b) {
  last_ = {std::max(b.Top - pic_.Top, 0), std::max(pic_.Bottom() - b.Bottom(), 0),
           std::max(b.Left - pic_.Left, 0), std::max(pic_.Right() - b.Right(), 0)};
  return last_;
}

TMarginChange TCropFrame::ChangeMargin(TCropSide side, TCropMargins m, const TIntRect& bounds) {
  TMarginChange change;
  const bool vertical = side == csUp || side == csDown;
  int& value = side == csUp ? m.Up : side == csDown ? m.Down : side == csLeft ? m.Left : m.Right;
  const int last = side == csUp     ? last_.Up
                   : side == csDown ? last_.Down
                   : side == csLeft ? last_.Left
                                    : last_.Right;
  // The band is as small as it gets: only a smaller margin is taken.
  if ((vertical ? bounds.Height : bounds.Width) <= kSmallest && value >= last) {
    change.Refused = true;
    change.Restore = last;
    return change;
  }
  value = std::max(value, 0);
  change.Bounds = bounds;
  if (vertical) {
    change.Bounds.Top = pic_.Top + m.Up;
    change.Bounds.Height = pic_.Bottom() - m.Down - change.Bounds.Top;
    last_.Up = m.Up;
    last_.Down = m.Down;
    startTop_ = change.Bounds.Top;
  } else {
    change.Bounds.Left = pic_.Left + m.Left;
    change.Bounds.Width = pic_.Right() - m.Right - change.Bounds.Left;
    last_.Left = m.Left;
    last_.Right = m.Right;
    startLeft_ = change.Bounds.Left;
  }
  change.Margins = m;
  return change;
}

TIntRect TCropFrame::Reset() {
  last_ = {};
  Press(pic_, false);
  moving_ = false;
  return pic_;
}

TBitmap CropOutput(const TBitmap& frame, const TPictureEffects& effects, const TCropMargins& crop) {
  TBitmap adjusted;
  const TBitmap* source = &frame;
  if (!effects.Neutral()) {
    adjusted = frame;
    AdjustColors(adjusted, effects.Brightness, effects.Contrast, effects.Saturation);
    AdjustExposure(adjusted, float(effects.Exposure));
    source = &adjusted;
  }
  const int w = source->Width(), h = source->Height();
  TBitmap out;
  if (w <= 0 || h <= 0) return out;
  const int left = std::clamp(crop.Left, 0, w - 1);
  const int right = std::clamp(crop.Right, 0, w - 1 - left);
  const int top = std::clamp(crop.Up, 0, h - 1);
  const int bottom = std::clamp(crop.Down, 0, h - 1 - top);
  out.SetSize(w - left - right, h - top - bottom);
  for (int y = 0; y < out.Height(); ++y)
    std::memcpy(out.ScanLine(y), source->ScanLine(y + top) + size_t(left) * 3,
                size_t(out.Width()) * 3);
  return out;
}
