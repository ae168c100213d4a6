#include "controls/RectTracker.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <array>
#include <utility>

namespace {

using Handle = std::pair<TCustomRectTracker::TDragMode, QPoint>;

// The eight handles in hit-test order: corners first, so that on a small
// tracker, where corner and middle squares overlap, the corner wins.
std::array<Handle, 8> Handles(int w, int h) {
  const int s = TCustomRectTracker::kHandleSize;
  const int mx = w / 2 + w % 2 - 3, my = h / 2 + h % 2 - 3;
  using T = TCustomRectTracker;
  return {{{T::dmTopLeft, {0, 0}},
           {T::dmBottomRight, {w - s, h - s}},
           {T::dmBottomLeft, {0, h - s}},
           {T::dmTopRight, {w - s, 0}},
           {T::dmLeft, {0, my}},
           {T::dmRight, {w - s, my}},
           {T::dmTop, {mx, 0}},
           {T::dmBottom, {mx, h - s}}}};
}

Qt::CursorShape CursorFor(TCustomRectTracker::TDragMode mode) {
  switch (mode) {
    case TCustomRectTracker::dmTopLeft:
    case TCustomRectTracker::dmBottomRight: return Qt::SizeFDiagCursor;
    case TCustomRectTracker::dmTopRight:
    case TCustomRectTracker::dmBottomLeft: return Qt::SizeBDiagCursor;
    case TCustomRectTracker::dmLeft:
    case TCustomRectTracker::dmRight: return Qt::SizeHorCursor;
    case TCustomRectTracker::dmTop:
    case TCustomRectTracker::dmBottom: return Qt::SizeVerCursor;
    case TCustomRectTracker::dmMove: return Qt::SizeAllCursor;
    case TCustomRectTracker::dmNone: break;
  }
  return Qt::ArrowCursor;
}

// Moves a left or top edge by d unless that would shrink the extent below
// the minimum; the opposite edge stays where it is.
void MoveLeadingEdge(int& pos, int& extent, int d) {
  const int min = TCustomRectTracker::kMinSize;
  if (extent <= min && d > 0) return;
  if (d > 0) d = std::min(d, extent - min);
  pos += d;
  extent -= d;
}

void MoveTrailingEdge(int& extent, int d) {
  extent = std::max(extent + d, TCustomRectTracker::kMinSize);
}

}  // namespace

TCustomRectTracker::TCustomRectTracker(QWidget* parent) : QWidget(parent) {
  setMinimumSize(kMinSize, kMinSize);
  // The cursor shows what a press would do, also while no button is held.
  setMouseTracking(true);
  resize(65, 65);
  innerRect_ = QRect(2, 2, width() - 4, height() - 4);
}

TCustomRectTracker::~TCustomRectTracker() = default;

QRect TCustomRectTracker::GetFrameRect() const {
  return QRect(x() + 2, y() + 2, width() - 4, height() - 4);
}

TCustomRectTracker::TDragMode TCustomRectTracker::HitTest(const QPoint& p) const {
  for (const Handle& h : Handles(width(), height())) {
    if (QRect(h.second, QSize(kHandleSize, kHandleSize)).contains(p)) return h.first;
  }
  return innerRect_.contains(p) ? dmMove : dmNone;
}

// Only a sibling can be kept inside: the tracker's bounds are in the parent's
// coordinates, and they are handed over as they are.
void TCustomRectTracker::SetAcControl(QWidget* c) {
  if (c == this || (c && c->parentWidget() != parentWidget())) c = nullptr;
  acControl_ = c;
  if (!c) return;
  adjusting_ = true;
  setGeometry(
      c->geometry().adjusted(-kControlMargin, -kControlMargin, kControlMargin, kControlMargin));
  adjusting_ = false;
  // Keep the carried control clickable, as a child window sits above a
  // graphic frame drawn around it.
  stackUnder(c);
}

void TCustomRectTracker::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  // White under black dashes: the frame shows on light and dark pictures.
  const QRect frame(2, 2, width() - 5, height() - 5);
  canvas.setBrush(Qt::NoBrush);
  canvas.setPen(QPen(Qt::white, 1));
  canvas.drawRect(frame);
  QPen dashes(Qt::black, 1);
  dashes.setDashPattern({2, 2});
  canvas.setPen(dashes);
  canvas.drawRect(frame);
  // Black handles in a light rim, so that they show on a dark picture too.
  for (const Handle& h : Handles(width(), height())) {
    const QRect handle(h.second, QSize(kHandleSize, kHandleSize));
    canvas.fillRect(handle.adjusted(-1, -1, 1, 1), Qt::white);
    canvas.fillRect(handle, Qt::black);
  }
}

void TCustomRectTracker::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() == Qt::LeftButton) {
    pressBounds_ = geometry();
    pressed_ = true;
    lastX_ = p.x();
    lastY_ = p.y();
    dragMode_ = HitTest(p);
  }
  if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
}

// Handles on the left or top keep LastX/LastY: the tracker moves with the
// pointer there, so the pointer stays at the same place in its coordinates.
QRect TCustomRectTracker::DraggedBounds(int dx, int dy, const QPoint& at) {
  int l = x(), t = y(), w = width(), h = height();
  switch (dragMode_) {
    case dmLeft: MoveLeadingEdge(l, w, dx); break;
    case dmRight:
      MoveTrailingEdge(w, dx);
      lastX_ = at.x();
      break;
    case dmTop: MoveLeadingEdge(t, h, dy); break;
    case dmBottom:
      MoveTrailingEdge(h, dy);
      lastY_ = at.y();
      break;
    case dmTopLeft:
      MoveLeadingEdge(l, w, dx);
      MoveLeadingEdge(t, h, dy);
      break;
    case dmTopRight:
      MoveTrailingEdge(w, dx);
      MoveLeadingEdge(t, h, dy);
      lastX_ = at.x();
      break;
    case dmBottomLeft:
      MoveTrailingEdge(h, dy);
      MoveLeadingEdge(l, w, dx);
      lastY_ = at.y();
      break;
    case dmBottomRight:
      MoveTrailingEdge(w, dx);
      MoveTrailingEdge(h, dy);
      lastX_ = at.x();
      lastY_ = at.y();
      break;
    case dmMove:
      l += dx;
      t += dy;
      break;
    case dmNone: break;
  }
  return QRect(l, t, w, h);
}

void TCustomRectTracker::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (dragMode_ != dmNone) {
    const QRect bounds = DraggedBounds(p.x() - lastX_, p.y() - lastY_, p);
    if (bounds != geometry()) setGeometry(bounds);
  }
  ShowCursorFor(HitTest(mapFromGlobal(event->globalPosition().toPoint())));
  if (OnMouseMove) OnMouseMove(this, event->buttons(), event->modifiers(), p.x(), p.y());
}

void TCustomRectTracker::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const bool left = event->button() == Qt::LeftButton;
  if (left) {
    lastX_ = -1;
    lastY_ = -1;
    dragMode_ = dmNone;
  }
  if (OnMouseUp) OnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
  if (left && pressed_) {
    pressed_ = false;
    if (geometry() != pressBounds_ && OnChange) OnChange(this, GetFrameRect());
  }
}

void TCustomRectTracker::ShowCursorFor(TDragMode mode) {
  if (mode == dmNone)
    unsetCursor();
  else
    setCursor(CursorFor(mode));
}

void TCustomRectTracker::moveEvent(QMoveEvent* event) {
  BoundsChanged();
  QWidget::moveEvent(event);
}

void TCustomRectTracker::resizeEvent(QResizeEvent* event) {
  BoundsChanged();
  QWidget::resizeEvent(event);
}

void TCustomRectTracker::BoundsChanged() {
  innerRect_ = QRect(2, 2, width() - 4, height() - 4);
  if (!acControl_ || adjusting_) return;
  if (acControl_->parentWidget() != parentWidget()) {
    acControl_ = nullptr;  // reparented away: its coordinates are no longer ours
    return;
  }
  acControl_->setGeometry(
      geometry().adjusted(kControlMargin, kControlMargin, -kControlMargin, -kControlMargin));
}
