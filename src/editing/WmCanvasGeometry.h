// The arithmetic of the watermark editor's canvas, kept apart from the
// widget: where the frame is shown in the control, how control pixels map to
// frame pixels and back, where a new item goes, how the rubber band resizes
// an item, the checkerboard behind the frame, and how a floating rectangle
// becomes the whole pixels an item stores.
//
// Pure functions and a value type; any thread.
#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <cstdint>

// The frame as the canvas shows it: fitted into the control keeping its
// aspect ratio and centred. Without a frame size the mapping is the identity
// over the control (items keep control pixels until a frame arrives).
class TWmViewMapping {
 public:
  TWmViewMapping() = default;
  TWmViewMapping(QSize control, QSize frame);

  // Where the frame is drawn, control pixels (whole pixels, centred).
  QRect FrameRect() const { return frameRect_; }
  QSize FrameSize() const { return frame_; }
  double Scale() const { return scale_; }

  QPointF ToFrame(QPointF control) const;
  QPointF ToControl(QPointF frame) const;
  QRectF ToControl(const QRectF& frame) const;

 private:
  QSize frame_;
  QRect frameRect_;
  double scale_ = 1.0;
};

// Where an item of `size` frame pixels goes when it is added: centred on the
// middle of the control ((left + right) / 2, (top + bottom) / 2 of its
// client rectangle, truncating), converted to frame pixels.
QRectF NewItemLocation(const TWmViewMapping& mapping, QSize control, QSizeF size);

// Which part of the rubber band the mouse holds.
enum class TWmGrip {
  None,
  Move,
  Left,
  Top,
  Right,
  Bottom,
  TopLeft,
  TopRight,
  BottomLeft,
  BottomRight
};

// The grip under `point` (control pixels) for the band around `band`
// (control pixels): the frame's edges and corners within `tolerance` pixels
// resize, the inside moves.
TWmGrip GripAt(const QRectF& band, QPointF point, double tolerance = 4.0);

// A resize of `old` (frame pixels) by the grip `grip` dragged to `pointer`
// (frame pixels): the rectangle stays centred where it was and the dragged
// edge follows the pointer, the opposite edge mirroring it; half-sizes are
// at least 2 pixels. A grip that does not resize returns `old`.
QRectF CentredResize(const QRectF& old, TWmGrip grip, QPointF pointer);

// The rectangle moved by `delta` frame pixels, size kept.
QRectF Moved(const QRectF& rect, QPointF delta);

// The checkerboard behind the frame: 13 x 13 squares, grey (176, 176, 176)
// where the column and row numbers have the same parity, else white.
constexpr int kCheckerSquare = 13;
bool CheckerSquareIsGrey(int column, int row);

// Rounded to the nearest whole number, halves to even.
std::int32_t RoundHalfEven(double value);
// A layer's location as the whole pixels an item stores: rounded left, top,
// width and height.
QRect RoundedLocation(const QRectF& location);
