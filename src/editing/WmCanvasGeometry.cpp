#include "editing/WmCanvasGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

TWmViewMapping::TWmViewMapping(QSize control, QSize frame) : frame_(frame) {
  if (frame.isEmpty() || control.isEmpty()) {
    frame_ = QSize();
    frameRect_ = QRect(QPoint(0, 0), control);
    return;
  }
  scale_ =
      std::min(double(control.width()) / frame.width(), double(control.height()) / frame.height());
  const int w = std::max(1, int(std::lround(frame.width() * scale_)));
  const int h = std::max(1, int(std::lround(frame.height() * scale_)));
  frameRect_ = QRect((control.width() - w) / 2, (control.height() - h) / 2, w, h);
}

QPointF TWmViewMapping::ToFrame(QPointF control) const {
  return (control - QPointF(frameRect_.topLeft())) / scale_;
}

QPointF TWmViewMapping::ToControl(QPointF frame) const {
  return frame * scale_ + QPointF(frameRect_.topLeft());
}

QRectF TWmViewMapping::ToControl(const QRectF& frame) const {
  return QRectF(ToControl(frame.topLeft()), ToControl(frame.bottomRight()));
}

QRectF NewItemLocation(const TWmViewMapping& mapping, QSize control, QSizeF size) {
  const QPointF centre = mapping.ToFrame(QPointF(control.width() / 2, control.height() / 2));
  const double halfW = size.width() / 2, halfH = size.height() / 2;
  return QRectF(QPointF(centre.x() - halfW, centre.y() - halfH),
                QPointF(centre.x() + halfW, centre.y() + halfH));
}

TWmGrip GripAt(const QRectF& band, QPointF point, double tolerance) {
  const QRectF outer = band.adjusted(-tolerance, -tolerance, tolerance, tolerance);
  if (!outer.contains(point)) return TWmGrip::None;
  const bool left = std::abs(point.x() - band.left()) <= tolerance;
  const bool right = !left && std::abs(point.x() - band.right()) <= tolerance;
  const bool top = std::abs(point.y() - band.top()) <= tolerance;
  const bool bottom = !top && std::abs(point.y() - band.bottom()) <= tolerance;
  if (top && left) return TWmGrip::TopLeft;
  if (top && right) return TWmGrip::TopRight;
  if (bottom && left) return TWmGrip::BottomLeft;
  if (bottom && right) return TWmGrip::BottomRight;
  if (left) return TWmGrip::Left;
  if (right) return TWmGrip::Right;
  if (top) return TWmGrip::Top;
  if (bottom) return TWmGrip::Bottom;
  return TWmGrip::Move;
}

QRectF CentredResize(const QRectF& old, TWmGrip grip, QPointF pointer) {
  const QPointF centre = old.center();
  double halfW = old.width() / 2, halfH = old.height() / 2;
  switch (grip) {
    case TWmGrip::Left:
    case TWmGrip::Right: halfW = std::abs(pointer.x() - centre.x()); break;
    case TWmGrip::Top:
    case TWmGrip::Bottom: halfH = std::abs(pointer.y() - centre.y()); break;
    case TWmGrip::TopLeft:
    case TWmGrip::TopRight:
    case TWmGrip::BottomLeft:
    case TWmGrip::BottomRight:
      halfW = std::abs(pointer.x() - centre.x());
      halfH = std::abs(pointer.y() - centre.y());
      break;
    case TWmGrip::None:
    case TWmGrip::Move: return old;
  }
  halfW = std::max(halfW, 2.0);
  halfH = std::max(halfH, 2.0);
  return QRectF(QPointF(centre.x() - halfW, centre.y() - halfH),
                QPointF(centre.x() + halfW, centre.y() + halfH));
}

QRectF Moved(const QRectF& rect, QPointF delta) { return rect.translated(delta); }

bool CheckerSquareIsGrey(int column, int row) { return (column & 1) == (row & 1); }

std::int32_t RoundHalfEven(double value) {
  if (!std::isfinite(value)) return 0;
  const double limit = double(std::numeric_limits<std::int32_t>::max());
  return std::int32_t(std::clamp(std::nearbyint(value), -limit, limit));
}

QRect RoundedLocation(const QRectF& location) {
  return QRect(RoundHalfEven(location.left()), RoundHalfEven(location.top()),
               RoundHalfEven(location.width()), RoundHalfEven(location.height()));
}
