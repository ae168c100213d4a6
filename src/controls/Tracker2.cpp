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
    todo.insert(todo.end(),
                {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)});
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
  tickColor_ = palette().color(QPalette::Button);
  thumbColor_ = tickColor_;
  resize(500, 50);
  UpdateDitherImage();
  UpdateTickImage();
  UpdateThumbImage();
  UpdateTrackRect();
}

TTrackBar2::~TTrackBar2() = default;

// ---- properties -----------------------------------------------------------

void TTrackBar2::SetMax(int v) {
  if (!Assign(max_, v)) return;
  if (v < positionU_) positionU_ = v;
  update();
}

void TTrackBar2::SetMin(int v) {
  if (!Assign(min_, v)) return;
  if (positionL_ < v) positionL_ = v;
  update();
}

void TTrackBar2::SetPositionL(int v) {
  if (v == positionL_) return;
  if (secondThumb_ && v >= positionU_) {
    v = ClampToInt(qint64(positionU_) - 1);
  } else {
    if (v > max_) v = max_;
    if (v < min_) v = min_;
  }
  StorePosition(positionL_, v);
}

void TTrackBar2::SetPositionU(int v) {
  if (v == positionU_) return;
  if (v > max_)
    v = max_;
  else if (positionL_ >= v)
    v = ClampToInt(qint64(positionL_) + 1);
  StorePosition(positionU_, v);
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
  if (!Assign(secondThumb_, v)) return;
  UpdateThumbImage();
  update();
}

void TTrackBar2::SetOrientation(TOrientation v) {
  if (v == orientation_) return;
  const bool wide = width() > height(), tall = height() > width();
  if ((v == toVertical && wide) || (v == toHorizontal && tall)) resize(height(), width());
  orientation_ = v;
  ApplyGeometryChange();
}

void TTrackBar2::ApplyGeometryChange() {
  UpdateThumbImage();
  UpdateTrackRect();
  update();
}

void TTrackBar2::SetTrackSize(int v) {
  if (!Assign(trackSize_, v)) return;
  UpdateTrackRect();
  update();
}

void TTrackBar2::SetTrackStyle(TTrackStyle v) {
  if (Assign(trackStyle_, v)) update();
}

void TTrackBar2::SetTrackColor(const QColor& v) {
  if (Assign(trackColor_, v)) update();
}

void TTrackBar2::SetTickSize(int v) {
  if (!Assign(tickSize_, v)) return;
  UpdateTickImage();
  update();
}

void TTrackBar2::SetTickStyle(TTickStyle v) {
  if (!Assign(tickStyle_, v)) return;
  if (v == tiLine) tickColor_ = kBlack;
  UpdateTickImage();
  update();
}

void TTrackBar2::SetTickColor(const QColor& v) {
  if (!Assign(tickColor_, v)) return;
  UpdateTickImage();
  update();
}

void TTrackBar2::SetTickOrientation(TTickOrientation v) {
  if (Assign(tickOrientation_, v)) ApplyGeometryChange();
}

void TTrackBar2::SetTickInterval(int v) {
  if (Assign(tickInterval_, v)) update();
}

void TTrackBar2::SetThumbSize(int v) {
  if (Assign(thumbSize_, v)) ApplyGeometryChange();
}

void TTrackBar2::SetThumbStyle(TThumbStyle v) {
  if (Assign(thumbStyle_, v)) ApplyGeometryChange();
}

void TTrackBar2::SetThumbColor(const QColor& v) {
  if (!Assign(thumbColor_, v)) return;
  UpdateThumbImage();
  update();
}

void TTrackBar2::SetDitherThumb(bool v) {
  if (Assign(ditherThumb_, v) && !isEnabled()) update();
}

void TTrackBar2::SetCtl3D(bool v) {
  if (!Assign(ctl3D_, v) || !v) return;
  SetTrackStyle(trLowered);
  if (thumbStyle_ == tsRectangle || thumbStyle_ == tsLoweredRectangle)
    SetThumbStyle(tsRaisedRectangle);
}

// ---- geometry -------------------------------------------------------------

bool TTrackBar2::RectangleThumb() const {
  return thumbStyle_ == tsRectangle || thumbStyle_ == tsRaisedRectangle ||
         thumbStyle_ == tsLoweredRectangle;
}

bool TTrackBar2::PointerThumb() const {
  return thumbStyle_ == tsSmallPointer || thumbStyle_ == tsMediumPointer ||
         thumbStyle_ == tsLargePointer;
}

// An empty scale (Max = Min) is drawn as if it had one step, so that every
// position sits at its start instead of dividing by zero.
qint64 TTrackBar2::Range() const {
  const qint64 r = qint64(max_) - min_;
  return r == 0 ? 1 : r;
}

int TTrackBar2::UsableLength() const { return (Horizontal() ? width() : height()) - thumbSize_; }

int TTrackBar2::ThumbOffset() const { return RectangleThumb() ? thumbSize_ / 4 : thumbSize_ / 2; }

// Distance of a position from the leading end of the scale. The scale is
// measured from Min (horizontal) or from Max (vertical, Max at the top), so a
// range that does not start at zero still lies on the control.
int TTrackBar2::ScalePoint(int position) const {
  const qint64 steps = Horizontal() ? qint64(position) - min_ : qint64(max_) - position;
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
  trackOffset_ = (along + c - e) / 2 - to;
  const int a0 = trackOffset_ + c, a1 = trackOffset_ + e;
  const int b0 = across / 2 - trackSize_ / 2, b1 = across / 2 + trackSize_ / 2;
  trackRect_ = Horizontal() ? QRect(a0, b0, a1 - a0, b1 - b0) : QRect(b0, a0, b1 - b0, a1 - a0);
}

QSize TTrackBar2::ThumbImageSize() const {
  if (RectangleThumb())
    return Horizontal() ? QSize(thumbSize_ / 2, thumbSize_) : QSize(thumbSize_, thumbSize_ / 2);
  if (PointerThumb()) return thumbImage_.size();
  return QSize(thumbSize_, thumbSize_);
}

QRect TTrackBar2::ThumbRectAt(int position) const {
  const QSize s = ThumbImageSize();
  const int along = ScalePoint(position) + trackOffset_;
  if (Horizontal()) return QRect(QPoint(along, height() / 2 - s.height() / 2), s);
  return QRect(QPoint(width() / 2 - s.width() / 2, along), s);
}

bool TTrackBar2::HitsThumbs() const { return thumbStyle_ != tsUserDrawn || dragDrawnThumbs_; }

QRect TTrackBar2::LowerThumbRect() const {
  return HitsThumbs() ? ThumbRectAt(positionL_) : QRect();
}

QRect TTrackBar2::UpperThumbRect() const {
  return HitsThumbs() && secondThumb_ ? ThumbRectAt(positionU_) : QRect();
}

QRect TTrackBar2::LineRect() const {
  if (!secondThumb_) return {};
  const QRect l = ThumbRectAt(positionL_), u = ThumbRectAt(positionU_);
  if (Horizontal()) {
    const int x = (l.width() + l.x() + u.x()) / 2 - 1;
    return QRect(x, trackRect_.y(), 2, trackRect_.height() + 1);
  }
  const int y = (l.height() + l.y() + u.y()) / 2 - 1;
  return QRect(trackRect_.x(), y, trackRect_.width(), 3);
}

// User-drawn thumbs may paint anywhere (the part played, the chosen range),
// so a move of theirs repaints the whole control.
QRegion TTrackBar2::ThumbArea() const {
  if (thumbStyle_ == tsUserDrawn) return QRegion(rect());
  QRegion area(ThumbRectAt(positionL_));
  if (secondThumb_) area += QRegion(ThumbRectAt(positionU_)) + QRegion(LineRect());
  return area;
}

// The value whose thumb centre is drawn nearest the point, so that a press on
// a thumb gives that thumb's value and a dragged thumb stays under the
// pointer. Truncating alone would land one step short wherever the scale
// does not divide the length evenly.
int TTrackBar2::ValueAt(const QPoint& p) const {
  const qint64 usable = std::max(UsableLength(), 1), range = Range();
  const qint64 offset = qint64(Horizontal() ? p.x() : p.y()) - trackOffset_ - ThumbOffset();
  const qint64 guess = offset * range / usable;
  qint64 best = guess, bestDistance = -1;
  for (qint64 steps : {guess, guess - 1, guess + 1}) {
    const qint64 distance = std::abs(usable * steps / range - offset);
    if (bestDistance < 0 || distance < bestDistance) {
      best = steps;
      bestDistance = distance;
    }
  }
  return ClampToInt(Horizontal() ? min_ + best : max_ - best);
}

QSize TTrackBar2::sizeHint() const { return Horizontal() ? QSize(500, 50) : QSize(50, 500); }

// ---- images ---------------------------------------------------------------

void TTrackBar2::UpdateTickImage() {
  if (tickSize_ <= 0) {
    tickImage_ = QImage();
    return;
  }
  tickImage_ = QImage(tickSize_, tickSize_, QImage::Format_ARGB32_Premultiplied);
  tickImage_.fill(tickColor_);
  QPainter canvas(&tickImage_);
  const QRect r = tickImage_.rect();
  if (tickStyle_ == tiSquare) DrawEdge(canvas, r, kBlack, kBlack);
  if (tickStyle_ == tiRaisedSquare) DrawEdge(canvas, r, kWhite, kBlack);
  if (tickStyle_ == tiLoweredSquare) DrawEdge(canvas, r, kBlack, kWhite);
}

void TTrackBar2::UpdateThumbImage() {
  if (PointerThumb()) {
    static const char* const sizes[] = {"SM", "MED", "LG"};
    const char* size = sizes[thumbStyle_ - tsSmallPointer];
    const bool trailing = tickOrientation_ == toBottomRight;
    const char* dir = Horizontal() ? (trailing ? "DOWN" : "UP") : (trailing ? "RIGHT" : "LEFT");
    const QString name = QString::fromLatin1(size) + QLatin1String(dir) + QLatin1String("THUMB");
    const QImage picture = LoadThumbArtwork(name);
    thumbImage_ = ComposeMasked(picture, LoadThumbArtwork(name + QLatin1String("MASK")));
    thumbSize_ = Horizontal() ? picture.width() : picture.height();
    return;
  }
  const QSize s = ThumbImageSize();
  if (s.isEmpty() || thumbStyle_ == tsUserDrawn) {
    thumbImage_ = QImage();
    return;
  }
  thumbImage_ = QImage(s, QImage::Format_ARGB32_Premultiplied);
  thumbImage_.fill(thumbColor_);
  QPainter canvas(&thumbImage_);
  if (thumbStyle_ == tsRectangle) DrawEdge(canvas, thumbImage_.rect(), kBlack, kBlack);
  if (thumbStyle_ == tsRaisedRectangle) DrawBevel(canvas, thumbImage_.rect(), true);
  if (thumbStyle_ == tsLoweredRectangle) DrawBevel(canvas, thumbImage_.rect(), false);
}

void TTrackBar2::UpdateDitherImage() {
  ditherImage_ = QImage(8, 8, QImage::Format_RGB32);
  const QColor other = trackColor_ == kSilver ? kGrey : kSilver;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      ditherImage_.setPixel(x, y, ((x + y) % 2 ? other : trackColor_).rgb());
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
  if (trackStyle_ == trUserDrawn) {
    DoDrawTrack(canvas);
    return;
  }
  if (isEnabled())
    canvas.fillRect(trackRect_, trackColor_);
  else
    canvas.fillRect(trackRect_, QBrush(ditherImage_));
  if (trackStyle_ == trRaised || trackStyle_ == trLowered)
    DrawBevel(canvas, trackRect_, trackStyle_ == trRaised);
}

void TTrackBar2::DoDrawTrack(QPainter& canvas) {
  if (!OnDrawTrack) return;
  canvas.save();
  OnDrawTrack(this, &canvas);
  canvas.restore();
}

void TTrackBar2::DrawTicks(QPainter& canvas) {
  if (tickInterval_ < 1) return;
  const bool leading = tickOrientation_ != toBottomRight;
  const bool trailing = tickOrientation_ != toTopLeft;
  const int across = Horizontal() ? height() : width();
  int last = INT_MIN;
  for (qint64 p = min_; p <= max_; p += tickInterval_) {
    const int s = ScalePoint(int(p)) + ThumbOffset() + trackOffset_;
    // A dense scale puts many ticks on one pixel; drawing it once looks the same.
    if (tickStyle_ != tiUserDrawn && s == last) continue;
    last = s;
    if (leading) DrawTickAt(canvas, s, 2, int(p));
    if (trailing) DrawTickAt(canvas, s, across - tickSize_ - 2, int(p));
  }
}

void TTrackBar2::DrawTickAt(QPainter& canvas, int s, int across, int p) {
  const int x = Horizontal() ? s : across, y = Horizontal() ? across : s;
  switch (tickStyle_) {
    case tiUserDrawn: DoDrawTick(canvas, x, y, p); break;
    case tiLine:
      if (Horizontal())
        canvas.fillRect(x, y, 1, tickSize_, tickColor_);
      else
        canvas.fillRect(x, y, tickSize_, 1, tickColor_);
      break;
    default:
      if (Horizontal())
        canvas.drawImage(x - tickSize_ / 2, y, tickImage_);
      else
        canvas.drawImage(x, y - tickSize_ / 2, tickImage_);
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
  const QRect lower = ThumbRectAt(positionL_);
  if (thumbStyle_ == tsUserDrawn) {
    DoDrawThumb(canvas, lower.x(), lower.y());
    if (secondThumb_) {
      const QRect upper = ThumbRectAt(positionU_);
      DoDrawThumb(canvas, upper.x(), upper.y());
    }
    return;
  }
  DrawThumbImage(canvas, lower);
  if (secondThumb_) {
    canvas.fillRect(LineRect(), kBlack);
    DrawThumbImage(canvas, ThumbRectAt(positionU_));
  }
}

void TTrackBar2::DrawThumbImage(QPainter& canvas, const QRect& at) {
  if (!isEnabled() && ditherThumb_)
    canvas.drawImage(at.topLeft(), DitherFromCentre(thumbImage_, ditherImage_, at.topLeft()));
  else
    canvas.drawImage(at.topLeft(), thumbImage_);
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
  if (width() != height()) orientation_ = height() >= width() ? toVertical : toHorizontal;
  UpdateThumbImage();
  UpdateTrackRect();
  QWidget::resizeEvent(event);
}

bool TTrackBar2::AdjustPosition(bool upper, int delta) {
  if (delta == 0) return false;
  const int from = upper ? positionU_ : positionL_;
  const int to = ClampToInt(qint64(from) + delta);
  if (upper)
    SetPositionU(to);
  else
    SetPositionL(to);
  return true;
}

void TTrackBar2::keyPressEvent(QKeyEvent* event) {
  const bool upper = secondThumb_ && (event->modifiers() & Qt::ShiftModifier);
  bool handled = true;
  switch (event->key()) {
    case Qt::Key_PageUp: AdjustPosition(upper, largeChange_); break;
    case Qt::Key_PageDown: AdjustPosition(upper, -largeChange_); break;
    case Qt::Key_Left:
    case Qt::Key_Down: AdjustPosition(upper, -smallChange_); break;
    case Qt::Key_Up:
    case Qt::Key_Right: AdjustPosition(upper, smallChange_); break;
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
  if (secondThumb_) {
    // Taken from where the thumbs are, not from the hit rectangles, so that
    // a two-thumb bar with user-drawn thumbs also splits at the midpoint.
    const QRect l = ThumbRectAt(positionL_), u = ThumbRectAt(positionU_);
    upper = Horizontal() ? p.x() > (l.x() + l.width() + u.x()) / 2
                         : p.y() < (l.y() + u.y() + u.height()) / 2;
  }
  PressOnThumb(upper, p, event->modifiers());
}

void TTrackBar2::PressOnThumb(bool upper, const QPoint& p, Qt::KeyboardModifiers mods) {
  if ((upper ? UpperThumbRect() : LowerThumbRect()).contains(p)) {
    (upper ? trackingU_ : trackingL_) = true;
    return;
  }
  if (!(mods & Qt::ShiftModifier)) {
    if (upper)
      SetPositionU(ValueAt(p));
    else
      SetPositionL(ValueAt(p));
    return;
  }
  const QRect r = ThumbRectAt(upper ? positionU_ : positionL_);
  int direction = 0;
  if (Horizontal())
    direction = p.x() >= r.x() + r.width() ? 1 : (p.x() < r.x() ? -1 : 0);
  else
    direction = p.y() < r.y() ? 1 : (p.y() >= r.y() + r.height() ? -1 : 0);
  AdjustPosition(upper, direction * smallChange_);
}

void TTrackBar2::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (OnMouseMove) OnMouseMove(this, event->buttons(), event->modifiers(), p.x(), p.y());
  if (trackingU_)
    SetPositionU(ValueAt(p));
  else if (trackingL_)
    SetPositionL(ValueAt(p));
}

void TTrackBar2::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  trackingL_ = false;
  trackingU_ = false;
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
