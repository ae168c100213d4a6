#include "controls/Tracker2.h"

#include "controls/ThumbArtwork.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kSilver(192, 192, 192);
const QColor kGrey(128, 128, 128);

int ClampToInt(qint64 v) { return int(std::clamp<qint64>(v, INT_MIN, INT_MAX)); }

// A one-pixel frame lit from the top left.
void DrawEdge(QPainter& canvas, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  if (r.isEmpty()) return;
  canvas.fillRect(r.x(), r.y(), r.width(), 1, topLeft);
  canvas.fillRect(r.x(), r.y(), 1, r.height(), topLeft);
  canvas.fillRect(r.x(), r.bottom(), r.width(), 1, bottomRight);
  canvas.fillRect(r.right(), r.y(), 1, r.height(), bottomRight);
}

// The two-pixel bevel shared by the track and the rectangle thumbs.
void DrawBevel(QPainter& canvas, const QRect& r, bool raised) {
  if (raised) {
    DrawEdge(canvas, r, kWhite, kBlack);
    DrawEdge(canvas, r.adjusted(1, 1, -1, -1), kSilver, kGrey);
  } else {
    DrawEdge(canvas, r, kBlack, kWhite);
    DrawEdge(canvas, r.adjusted(1, 1, -1, -1), kGrey, kSilver);
  }
}

int Mod8(int v) { return ((v % 8) + 8) % 8; }

// Replaces the region of the centre pixel's colour with the dither pattern,
// aligned to the widget so that thumb and track dither line up.
QImage DitherFromCentre(QImage image, const QImage& pattern, const QPoint& origin) {
  if (image.isNull() || pattern.isNull()) return image;
  image = image.convertToFormat(QImage::Format_ARGB32);
  const QPoint centre(image.width() / 2, image.height() / 2);
  const QRgb target = image.pixel(centre);
  std::vector<bool> seen(size_t(image.width()) * size_t(image.height()), false);
  std::vector<QPoint> todo{centre};
  while (!todo.empty()) {
    const QPoint p = todo.back();
    todo.pop_back();
    if (!image.rect().contains(p)) continue;
    const size_t i = size_t(p.y()) * size_t(image.width()) + size_t(p.x());
    if (seen[i] || image.pixel(p) != target) continue;
    seen[i] = true;
    image.setPixel(p, pattern.pixel(Mod8(origin.x() + p.x()), Mod8(origin.y() + p.y())));
    todo.insert(todo.end(), {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)});
  }
  return image;
}

template <typename T>
bool Assign(T& field, const T& v) {
  if (field == v) return false;
  field = v;
  return true;
}

}  // namespace

TTrackBar2::TTrackBar2(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  // Owners follow the pointer over user-drawn thumbs from OnMouseMove, which
  // must therefore also report moves without a button held.
  setMouseTracking(true);
  FTickColor = palette().color(QPalette::Button);
  FThumbColor = FTickColor;
  resize(500, 50);
  UpdateDitherImage();
  UpdateTickImage();
  UpdateThumbImage();
  UpdateTrackRect();
}

TTrackBar2::~TTrackBar2() = default;

// ---- properties -----------------------------------------------------------

void TTrackBar2::SetMax(int v) {
  if (!Assign(FMax, v)) return;
  if (v < FPositionU) FPositionU = v;
  update();
}

void TTrackBar2::SetMin(int v) {
  if (!Assign(FMin, v)) return;
  if (FPositionL < v) FPositionL = v;
  update();
}

void TTrackBar2::SetPositionL(int v) {
  if (v == FPositionL) return;
  if (FSecondThumb && v >= FPositionU) {
    v = ClampToInt(qint64(FPositionU) - 1);
  } else {
    if (v > FMax) v = FMax;
    if (v < FMin) v = FMin;
  }
  StorePosition(FPositionL, v);
}

void TTrackBar2::SetPositionU(int v) {
  if (v == FPositionU) return;
  if (v > FMax)
    v = FMax;
  else if (FPositionL >= v)
    v = ClampToInt(qint64(FPositionL) + 1);
  StorePosition(FPositionU, v);
}

// A value pushed back onto the current one by the rules above is no change:
// owners seek or recompute on OnChange, so it must not fire for every
// pointer move beyond the end of the scale.
void TTrackBar2::StorePosition(int& field, int v) {
  if (v == field) return;
  const QRegion before = ThumbArea();
  field = v;
  DoChange();
  update(before + ThumbArea());
}

void TTrackBar2::SetSecondThumb(bool v) {
  if (!Assign(FSecondThumb, v)) return;
  UpdateThumbImage();
  update();
}

void TTrackBar2::SetOrientation(TOrientation v) {
  if (v == FOrientation) return;
  const bool wide = width() > height(), tall = height() > width();
  if ((v == toVertical && wide) || (v == toHorizontal && tall)) resize(height(), width());
  FOrientation = v;
  ApplyGeometryChange();
}

void TTrackBar2::ApplyGeometryChange() {
  UpdateThumbImage();
  UpdateTrackRect();
  update();
}

void TTrackBar2::SetTrackSize(int v) {
  if (!Assign(FTrackSize, v)) return;
  UpdateTrackRect();
  update();
}

void TTrackBar2::SetTrackStyle(TTrackStyle v) {
  if (Assign(FTrackStyle, v)) update();
}

void TTrackBar2::SetTrackColor(const QColor& v) {
  if (Assign(FTrackColor, v)) update();
}

void TTrackBar2::SetTickSize(int v) {
  if (!Assign(FTickSize, v)) return;
  UpdateTickImage();
  update();
}

void TTrackBar2::SetTickStyle(TTickStyle v) {
  if (!Assign(FTickStyle, v)) return;
  if (v == tiLine) FTickColor = kBlack;
  UpdateTickImage();
  update();
}

void TTrackBar2::SetTickColor(const QColor& v) {
  if (!Assign(FTickColor, v)) return;
  UpdateTickImage();
  update();
}

void TTrackBar2::SetTickOrientation(TTickOrientation v) {
  if (Assign(FTickOrientation, v)) ApplyGeometryChange();
}

void TTrackBar2::SetTickInterval(int v) {
  if (Assign(FTickInterval, v)) update();
}

void TTrackBar2::SetThumbSize(int v) {
  if (Assign(FThumbSize, v)) ApplyGeometryChange();
}

void TTrackBar2::SetThumbStyle(TThumbStyle v) {
  if (Assign(FThumbStyle, v)) ApplyGeometryChange();
}

void TTrackBar2::SetThumbColor(const QColor& v) {
  if (!Assign(FThumbColor, v)) return;
  UpdateThumbImage();
  update();
}

void TTrackBar2::SetDitherThumb(bool v) {
  if (Assign(FDitherThumb, v) && !isEnabled()) update();
}

void TTrackBar2::SetCtl3D(bool v) {
  if (!Assign(FCtl3D, v) || !v) return;
  SetTrackStyle(trLowered);
  if (FThumbStyle == tsRectangle || FThumbStyle == tsLoweredRectangle) SetThumbStyle(tsRaisedRectangle);
}

// ---- geometry -------------------------------------------------------------

bool TTrackBar2::RectangleThumb() const {
  return FThumbStyle == tsRectangle || FThumbStyle == tsRaisedRectangle ||
         FThumbStyle == tsLoweredRectangle;
}

bool TTrackBar2::PointerThumb() const {
  return FThumbStyle == tsSmallPointer || FThumbStyle == tsMediumPointer ||
         FThumbStyle == tsLargePointer;
}

// An empty scale (Max = Min) is drawn as if it had one step, so that every
// position sits at its start instead of dividing by zero.
qint64 TTrackBar2::Range() const {
  const qint64 r = qint64(FMax) - FMin;
  return r == 0 ? 1 : r;
}

int TTrackBar2::UsableLength() const {
  return (Horizontal() ? width() : height()) - FThumbSize;
}

int TTrackBar2::ThumbOffset() const { return RectangleThumb() ? FThumbSize / 4 : FThumbSize / 2; }

// Distance of a position from the leading end of the scale. The scale is
// measured from Min (horizontal) or from Max (vertical, Max at the top), so a
// range that does not start at zero still lies on the control.
int TTrackBar2::ScalePoint(int position) const {
  const qint64 steps = Horizontal() ? qint64(position) - FMin : qint64(FMax) - position;
  // A position outside the scale (Max lowered below PositionL) lies far off
  // the control, yet still leaves room to add offsets without overflowing.
  constexpr qint64 kFarAway = qint64(1) << 24;
  return int(std::clamp(qint64(UsableLength()) * steps / Range(), -kFarAway, kFarAway));
}

void TTrackBar2::UpdateTrackRect() {
  const int to = ThumbOffset();
  const int c = to, e = UsableLength() + to;
  const int along = Horizontal() ? width() : height();
  const int across = Horizontal() ? height() : width();
  FTrackOffset = (along + c - e) / 2 - to;
  const int a0 = FTrackOffset + c, a1 = FTrackOffset + e;
  const int b0 = across / 2 - FTrackSize / 2, b1 = across / 2 + FTrackSize / 2;
  FTrackRect = Horizontal() ? QRect(a0, b0, a1 - a0, b1 - b0) : QRect(b0, a0, b1 - b0, a1 - a0);
}

QSize TTrackBar2::ThumbImageSize() const {
  if (RectangleThumb())
    return Horizontal() ? QSize(FThumbSize / 2, FThumbSize) : QSize(FThumbSize, FThumbSize / 2);
  if (PointerThumb()) return FThumbImage.size();
  return QSize(FThumbSize, FThumbSize);
}

QRect TTrackBar2::ThumbRectAt(int position) const {
  const QSize s = ThumbImageSize();
  const int along = ScalePoint(position) + FTrackOffset;
  if (Horizontal()) return QRect(QPoint(along, height() / 2 - s.height() / 2), s);
  return QRect(QPoint(width() / 2 - s.width() / 2, along), s);
}

QRect TTrackBar2::LowerThumbRect() const {
  return FThumbStyle == tsUserDrawn ? QRect() : ThumbRectAt(FPositionL);
}

QRect TTrackBar2::UpperThumbRect() const {
  return FThumbStyle == tsUserDrawn || !FSecondThumb ? QRect() : ThumbRectAt(FPositionU);
}

QRect TTrackBar2::LineRect() const {
  if (!FSecondThumb) return {};
  const QRect l = ThumbRectAt(FPositionL), u = ThumbRectAt(FPositionU);
  if (Horizontal()) {
    const int x = (l.width() + l.x() + u.x()) / 2 - 1;
    return QRect(x, FTrackRect.y(), 2, FTrackRect.height() + 1);
  }
  const int y = (l.height() + l.y() + u.y()) / 2 - 1;
  return QRect(FTrackRect.x(), y, FTrackRect.width(), 3);
}

// User-drawn thumbs may paint anywhere (the part played, the chosen range),
// so a move of theirs repaints the whole control.
QRegion TTrackBar2::ThumbArea() const {
  if (FThumbStyle == tsUserDrawn) return QRegion(rect());
  QRegion area(ThumbRectAt(FPositionL));
  if (FSecondThumb) area += QRegion(ThumbRectAt(FPositionU)) + QRegion(LineRect());
  return area;
}

// The value whose thumb centre is drawn nearest the point, so that a press on
// a thumb gives that thumb's value and a dragged thumb stays under the
// pointer. Truncating alone would land one step short wherever the scale
// does not divide the length evenly.
int TTrackBar2::ValueAt(const QPoint& p) const {
  const qint64 usable = std::max(UsableLength(), 1), range = Range();
  const qint64 offset = qint64(Horizontal() ? p.x() : p.y()) - FTrackOffset - ThumbOffset();
  const qint64 guess = offset * range / usable;
  qint64 best = guess, bestDistance = -1;
  for (qint64 steps : {guess, guess - 1, guess + 1}) {
    const qint64 distance = std::abs(usable * steps / range - offset);
    if (bestDistance < 0 || distance < bestDistance) {
      best = steps;
      bestDistance = distance;
    }
  }
  return ClampToInt(Horizontal() ? FMin + best : FMax - best);
}

QSize TTrackBar2::sizeHint() const { return Horizontal() ? QSize(500, 50) : QSize(50, 500); }

// ---- images ---------------------------------------------------------------

void TTrackBar2::UpdateTickImage() {
  if (FTickSize <= 0) {
    FTickImage = QImage();
    return;
  }
  FTickImage = QImage(FTickSize, FTickSize, QImage::Format_ARGB32_Premultiplied);
  FTickImage.fill(FTickColor);
  QPainter canvas(&FTickImage);
  const QRect r = FTickImage.rect();
  if (FTickStyle == tiSquare) DrawEdge(canvas, r, kBlack, kBlack);
  if (FTickStyle == tiRaisedSquare) DrawEdge(canvas, r, kWhite, kBlack);
  if (FTickStyle == tiLoweredSquare) DrawEdge(canvas, r, kBlack, kWhite);
}

void TTrackBar2::UpdateThumbImage() {
  if (PointerThumb()) {
    static const char* const sizes[] = {"SM", "MED", "LG"};
    const char* size = sizes[FThumbStyle - tsSmallPointer];
    const bool trailing = FTickOrientation == toBottomRight;
    const char* dir = Horizontal() ? (trailing ? "DOWN" : "UP") : (trailing ? "RIGHT" : "LEFT");
    const QString name = QString::fromLatin1(size) + QLatin1String(dir) + QLatin1String("THUMB");
    const QImage picture = LoadThumbArtwork(name);
    FThumbImage = ComposeMasked(picture, LoadThumbArtwork(name + QLatin1String("MASK")));
    FThumbSize = Horizontal() ? picture.width() : picture.height();
    return;
  }
  const QSize s = ThumbImageSize();
  if (s.isEmpty() || FThumbStyle == tsUserDrawn) {
    FThumbImage = QImage();
    return;
  }
  FThumbImage = QImage(s, QImage::Format_ARGB32_Premultiplied);
  FThumbImage.fill(FThumbColor);
  QPainter canvas(&FThumbImage);
  if (FThumbStyle == tsRectangle) DrawEdge(canvas, FThumbImage.rect(), kBlack, kBlack);
  if (FThumbStyle == tsRaisedRectangle) DrawBevel(canvas, FThumbImage.rect(), true);
  if (FThumbStyle == tsLoweredRectangle) DrawBevel(canvas, FThumbImage.rect(), false);
}

void TTrackBar2::UpdateDitherImage() {
  FDitherImage = QImage(8, 8, QImage::Format_RGB32);
  const QColor other = FTrackColor == kSilver ? kGrey : kSilver;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) FDitherImage.setPixel(x, y, ((x + y) % 2 ? other : FTrackColor).rgb());
}

// ---- painting -------------------------------------------------------------

void TTrackBar2::paintEvent(QPaintEvent*) {
  QPainter canvas(this);
  if (OnPaint) OnPaint(this);
  DrawTrack(canvas);
  DrawTicks(canvas);
  DrawThumbs(canvas);
}

void TTrackBar2::DrawTrack(QPainter& canvas) {
  if (FTrackStyle == trUserDrawn) {
    DoDrawTrack(canvas);
    return;
  }
  if (isEnabled())
    canvas.fillRect(FTrackRect, FTrackColor);
  else
    canvas.fillRect(FTrackRect, QBrush(FDitherImage));
  if (FTrackStyle == trRaised || FTrackStyle == trLowered)
    DrawBevel(canvas, FTrackRect, FTrackStyle == trRaised);
}

void TTrackBar2::DoDrawTrack(QPainter& canvas) {
  if (!OnDrawTrack) return;
  canvas.save();
  OnDrawTrack(this, &canvas);
  canvas.restore();
}

void TTrackBar2::DrawTicks(QPainter& canvas) {
  if (FTickInterval < 1) return;
  const bool leading = FTickOrientation != toBottomRight;
  const bool trailing = FTickOrientation != toTopLeft;
  const int across = Horizontal() ? height() : width();
  int last = INT_MIN;
  for (qint64 p = FMin; p <= FMax; p += FTickInterval) {
    const int s = ScalePoint(int(p)) + ThumbOffset() + FTrackOffset;
    // A dense scale puts many ticks on one pixel; drawing it once looks the same.
    if (FTickStyle != tiUserDrawn && s == last) continue;
    last = s;
    if (leading) DrawTickAt(canvas, s, 2, int(p));
    if (trailing) DrawTickAt(canvas, s, across - FTickSize - 2, int(p));
  }
}

void TTrackBar2::DrawTickAt(QPainter& canvas, int s, int across, int p) {
  const int x = Horizontal() ? s : across, y = Horizontal() ? across : s;
  switch (FTickStyle) {
    case tiUserDrawn:
      DoDrawTick(canvas, x, y, p);
      break;
    case tiLine:
      if (Horizontal())
        canvas.fillRect(x, y, 1, FTickSize, FTickColor);
      else
        canvas.fillRect(x, y, FTickSize, 1, FTickColor);
      break;
    default:
      if (Horizontal())
        canvas.drawImage(x - FTickSize / 2, y, FTickImage);
      else
        canvas.drawImage(x, y - FTickSize / 2, FTickImage);
      break;
  }
}

void TTrackBar2::DoDrawTick(QPainter& canvas, int x, int y, int position) {
  if (!OnDrawTick) return;
  canvas.save();
  OnDrawTick(this, &canvas, x, y, position);
  canvas.restore();
}

void TTrackBar2::DrawThumbs(QPainter& canvas) {
  const QRect lower = ThumbRectAt(FPositionL);
  if (FThumbStyle == tsUserDrawn) {
    DoDrawThumb(canvas, lower.x(), lower.y());
    if (FSecondThumb) {
      const QRect upper = ThumbRectAt(FPositionU);
      DoDrawThumb(canvas, upper.x(), upper.y());
    }
    return;
  }
  DrawThumbImage(canvas, lower);
  if (FSecondThumb) {
    canvas.fillRect(LineRect(), kBlack);
    DrawThumbImage(canvas, ThumbRectAt(FPositionU));
  }
}

void TTrackBar2::DrawThumbImage(QPainter& canvas, const QRect& at) {
  if (!isEnabled() && FDitherThumb)
    canvas.drawImage(at.topLeft(), DitherFromCentre(FThumbImage, FDitherImage, at.topLeft()));
  else
    canvas.drawImage(at.topLeft(), FThumbImage);
}

void TTrackBar2::DoDrawThumb(QPainter& canvas, int x, int y) {
  if (!OnDrawThumb) return;
  canvas.save();
  OnDrawThumb(this, &canvas, x, y);
  canvas.restore();
}

void TTrackBar2::DoChange() {
  if (OnChange) OnChange(this);
}

// ---- events ---------------------------------------------------------------

void TTrackBar2::resizeEvent(QResizeEvent* event) {
  if (width() != height()) FOrientation = height() >= width() ? toVertical : toHorizontal;
  UpdateThumbImage();
  UpdateTrackRect();
  QWidget::resizeEvent(event);
}

bool TTrackBar2::AdjustPosition(bool upper, int delta) {
  if (delta == 0) return false;
  const int from = upper ? FPositionU : FPositionL;
  const int to = ClampToInt(qint64(from) + delta);
  if (upper)
    SetPositionU(to);
  else
    SetPositionL(to);
  return true;
}

void TTrackBar2::keyPressEvent(QKeyEvent* event) {
  const bool upper = FSecondThumb && (event->modifiers() & Qt::ShiftModifier);
  bool handled = true;
  switch (event->key()) {
    case Qt::Key_PageUp: AdjustPosition(upper, FLargeChange); break;
    case Qt::Key_PageDown: AdjustPosition(upper, -FLargeChange); break;
    case Qt::Key_Left:
    case Qt::Key_Down: AdjustPosition(upper, -FSmallChange); break;
    case Qt::Key_Up:
    case Qt::Key_Right: AdjustPosition(upper, FSmallChange); break;
    default: handled = false; break;
  }
  if (OnKeyDown) OnKeyDown(this, event->key(), event->modifiers());
  if (handled)
    event->accept();
  else
    QWidget::keyPressEvent(event);
}

void TTrackBar2::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (OnMouseDown) OnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
  if (focusPolicy() & Qt::ClickFocus) setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton) return;
  bool upper = false;
  if (FSecondThumb) {
    // Taken from where the thumbs are, not from the hit rectangles, so that
    // a two-thumb bar with user-drawn thumbs also splits at the midpoint.
    const QRect l = ThumbRectAt(FPositionL), u = ThumbRectAt(FPositionU);
    upper = Horizontal() ? p.x() > (l.x() + l.width() + u.x()) / 2
                         : p.y() < (l.y() + u.y() + u.height()) / 2;
  }
  PressOnThumb(upper, p, event->modifiers());
}

void TTrackBar2::PressOnThumb(bool upper, const QPoint& p, Qt::KeyboardModifiers mods) {
  if ((upper ? UpperThumbRect() : LowerThumbRect()).contains(p)) {
    (upper ? FTrackingU : FTrackingL) = true;
    return;
  }
  if (!(mods & Qt::ShiftModifier)) {
    if (upper)
      SetPositionU(ValueAt(p));
    else
      SetPositionL(ValueAt(p));
    return;
  }
  const QRect r = ThumbRectAt(upper ? FPositionU : FPositionL);
  int direction = 0;
  if (Horizontal())
    direction = p.x() >= r.x() + r.width() ? 1 : (p.x() < r.x() ? -1 : 0);
  else
    direction = p.y() < r.y() ? 1 : (p.y() >= r.y() + r.height() ? -1 : 0);
  AdjustPosition(upper, direction * FSmallChange);
}

void TTrackBar2::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(this, event->buttons(), event->modifiers(), p.x(), p.y());
  if (FTrackingU)
    SetPositionU(ValueAt(p));
  else if (FTrackingL)
    SetPositionL(ValueAt(p));
}

void TTrackBar2::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  FTrackingL = false;
  FTrackingU = false;
}

void TTrackBar2::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}

void TTrackBar2::focusOutEvent(QFocusEvent* event) {
  update();
  QWidget::focusOutEvent(event);
}

void TTrackBar2::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) update();
  QWidget::changeEvent(event);
}
