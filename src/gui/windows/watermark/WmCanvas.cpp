#include "gui/windows/watermark/WmCanvas.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

const QColor kCheckerGrey(176, 176, 176);
const QColor kBandColour(30, 30, 30);

Qt::CursorShape CursorFor(TWmGrip grip) {
  switch (grip) {
    case TWmGrip::Move: return Qt::SizeAllCursor;
    case TWmGrip::Left:
    case TWmGrip::Right: return Qt::SizeHorCursor;
    case TWmGrip::Top:
    case TWmGrip::Bottom: return Qt::SizeVerCursor;
    case TWmGrip::TopLeft:
    case TWmGrip::BottomRight: return Qt::SizeFDiagCursor;
    case TWmGrip::TopRight:
    case TWmGrip::BottomLeft: return Qt::SizeBDiagCursor;
    case TWmGrip::None: break;
  }
  return Qt::ArrowCursor;
}

}  // namespace

TWmCanvas::TWmCanvas(TWmLayerStack& layers, QWidget* parent) : QWidget(parent), layers_(layers) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  // Frames arrive from the player's video thread; a short poll keeps that
  // thread away from Qt objects.
  connect(&repaintTimer_, &QTimer::timeout, this, [this] {
    if (dirty_.exchange(false)) update();
  });
  repaintTimer_.start(10);
}

void TWmCanvas::SetBackground(const TBitmap& frame) {
  {
    std::lock_guard lock(frameMutex_);
    frame_ = frame;
    frameSize_ = QSize(frame.Width(), frame.Height());
  }
  dirty_ = true;
}

void TWmCanvas::SetFrameSize(QSize size) {
  {
    std::lock_guard lock(frameMutex_);
    frameSize_ = size;
  }
  update();
}

QSize TWmCanvas::FrameSize() const {
  std::lock_guard lock(frameMutex_);
  return frameSize_;
}

TWmViewMapping TWmCanvas::Mapping() const { return TWmViewMapping(size(), FrameSize()); }

QImage TWmCanvas::Background() const {
  std::lock_guard lock(frameMutex_);
  if (frame_.Empty()) return {};
  return QImage(frame_.Bits(), frame_.Width(), frame_.Height(), frame_.RowSize(),
                QImage::Format_BGR888)
      .copy();
}

void TWmCanvas::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintChecker(painter);
  const TWmViewMapping mapping = Mapping();
  {
    std::lock_guard lock(frameMutex_);
    if (!frame_.Empty()) {
      // A view of our bytes, used only while the lock is held.
      const QImage picture(frame_.Bits(), frame_.Width(), frame_.Height(), frame_.RowSize(),
                           QImage::Format_BGR888);
      painter.drawImage(mapping.FrameRect(), picture);
    }
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (const auto& layer : layers_.VisibleLayers()) {
    if (layer.Bitmap.isNull()) continue;
    painter.setOpacity(std::clamp(layer.MasterAlpha, 0, 255) / 255.0);
    painter.drawImage(mapping.ToControl(layer.Location), layer.Bitmap);
  }
  painter.setOpacity(1.0);
  PaintRubberBand(painter, mapping);
}

void TWmCanvas::PaintChecker(QPainter& painter) {
  painter.fillRect(rect(), Qt::white);
  for (int row = 0; row * kCheckerSquare < height(); ++row)
    for (int column = 0; column * kCheckerSquare < width(); ++column)
      if (CheckerSquareIsGrey(column, row))
        painter.fillRect(column * kCheckerSquare, row * kCheckerSquare, kCheckerSquare,
                         kCheckerSquare, kCheckerGrey);
}

void TWmCanvas::PaintRubberBand(QPainter& painter, const TWmViewMapping& mapping) {
  const int row = layers_.Selected();
  if (row < 0) return;
  const QRectF band = mapping.ToControl(layers_.Item(row).Layer.Location);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setBrush(Qt::NoBrush);
  // Light under dark dashes, so the band shows on any picture.
  painter.setPen(QPen(Qt::white, 1));
  painter.drawRect(band);
  painter.setPen(QPen(kBandColour, 1, Qt::DashLine));
  painter.drawRect(band);
  // The centre handle: the inside drags the item.
  const QPointF c = band.center();
  painter.setPen(QPen(kBandColour, 1));
  painter.setBrush(Qt::white);
  painter.drawRect(QRectF(c.x() - 3, c.y() - 3, 6, 6));
}

void TWmCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const TWmViewMapping mapping = Mapping();
  const QPointF at = event->position();
  grip_ = TWmGrip::None;
  int row = layers_.Selected();
  if (row >= 0) grip_ = GripAt(mapping.ToControl(layers_.Item(row).Layer.Location), at);
  if (grip_ == TWmGrip::None) {
    row = layers_.LayerAt(mapping.ToFrame(at));
    if (OnLayerClick) OnLayerClick(row);
    if (row >= 0 && layers_.Selected() == row) grip_ = TWmGrip::Move;
  }
  if (grip_ != TWmGrip::None) {
    pressFrame_ = mapping.ToFrame(at);
    pressLocation_ = layers_.Item(row).Layer.Location;
  }
  update();
}

void TWmCanvas::mouseMoveEvent(QMouseEvent* event) {
  const TWmViewMapping mapping = Mapping();
  const int row = layers_.Selected();
  if (!(event->buttons() & Qt::LeftButton) || grip_ == TWmGrip::None || row < 0) {
    UpdateCursor(event->position());
    return;
  }
  const QPointF now = mapping.ToFrame(event->position());
  QRectF& location = layers_.Item(row).Layer.Location;
  location = grip_ == TWmGrip::Move ? Moved(pressLocation_, now - pressFrame_)
                                    : CentredResize(pressLocation_, grip_, now);
  if (OnLayerDragged) OnLayerDragged(row);
  update();
}

void TWmCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) grip_ = TWmGrip::None;
}

void TWmCanvas::UpdateCursor(QPointF at) {
  const int row = layers_.Selected();
  const TWmGrip grip =
      row < 0 ? TWmGrip::None : GripAt(Mapping().ToControl(layers_.Item(row).Layer.Location), at);
  setCursor(CursorFor(grip));
}
