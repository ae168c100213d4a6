// The crop window's arithmetic without the window: fitting a picture into a
// view, the picture rectangle the rubber band is kept in, the margins the
// band leaves and their scaling to even source pixels, the margin boxes'
// 10-pixel rule, and the output picture (effects, then the cut).
//
// Rectangles are left/top/width/height with exclusive right and bottom
// edges (Right() = Left + Width), all in the source view's pixels.
//
// TCropFrame is a plain value used on the window's user-interface thread;
// the free functions are pure and may run on any thread.
#pragma once

#include <cstdint>

#include "editing/PictureEffects.h"
#include "engine/libav/FrameBitmap.h"

struct TIntRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  int Right() const { return Left + Width; }
  int Bottom() const { return Top + Height; }
  bool operator==(const TIntRect&) const = default;
};

// Four margins: of the view (as the user sets them) or of the source frame.
struct TCropMargins {
  int Up = 0;
  int Down = 0;
  int Left = 0;
  int Right = 0;
  bool operator==(const TCropMargins&) const = default;
};

// A picture of sw x sh stretched into `area` keeping its shape: the full
// width with the top and bottom moved in, or the full height with the sides
// moved in (by half the spare room, rounded half to even). An empty source
// fills the area.
TIntRect FitPicture(int sw, int sh, const TIntRect& area);
// Where the source picture lies in its view: the fitted rectangle less one
// pixel on every side.
TIntRect PictureRect(int sw, int sh, const TIntRect& view);
// A view margin m over a picture of p view pixels, in source pixels of an
// extent s: m x s / p rounded half to even, then made even towards zero.
// 0 when p is not positive.
int SourceMargin(int m, int s, int p);
TCropMargins SourceCrop(const TCropMargins& view, int srcWidth, int srcHeight, int picWidth,
                        int picHeight);

// Which margin box changed.
enum TCropSide { csUp, csDown, csLeft, csRight };

// What a margin box change does: refused (the box gets Restore back), or the
// band gets Bounds and the boxes Margins (a negative value made 0).
struct TMarginChange {
  bool Refused = false;
  int Restore = 0;
  TIntRect Bounds;
  TCropMargins Margins;
};

// The rubber band's rules: kept inside the picture rectangle while dragged,
// the margins it leaves, and the margin boxes moving it.
class TCropFrame {
 public:
  // The band's smallest side through the boxes (the band's own minimum).
  static constexpr int kSmallest = 10;
  // The band's dotted frame lies this far inside its bounds.
  static constexpr int kFrameInset = 2;

  void SetPicture(const TIntRect& picture);
  const TIntRect& Picture() const { return pic_; }
  // The band's bounds for view margins.
  TIntRect BoundsFor(const TCropMargins& view) const;

  // A press on the band (`moving`: on its inside) and the release.
  void Press(const TIntRect& bounds, bool moving);
  void Release(const TIntRect& bounds);
  bool Moving() const { return moving_; }

  // The band after it moved or resized itself: put back inside the picture,
  // a moved band keeping its size, a resized one its opposite edges.
  TIntRect Clamp(TIntRect bounds) const;
  // The margins the band leaves (never negative); they become the last
  // accepted ones.
  TCropMargins TakeMargins(const TIntRect& bounds);
  // A box now holds `margins` (`side` changed), the band has `bounds`.
  TMarginChange ChangeMargin(TCropSide side, TCropMargins margins, const TIntRect& bounds);
  // Margins 0 and the band over the whole picture.
  TIntRect Reset();

  const TCropMargins& Last() const { return last_; }

 private:
  TIntRect pic_;
  int startLeft_ = 0, startTop_ = 0, startRight_ = 0, startBottom_ = 0;
  bool moving_ = false;
  TCropMargins last_;
};

// The output view's picture: `frame` with the effects (colours, then
// exposure) when any differs from neutral, cut by the source margins. Margins
// that leave nothing (a frame smaller than its stream said) are shrunk so at
// least one pixel stays.
TBitmap CropOutput(const TBitmap& frame, const TPictureEffects& effects, const TCropMargins& crop);
