#include "player/qt/PlayerWidget.h"

#include <QCloseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <cstring>

#include "engine/FrameBitmap.h"

TPlayerWidget::TPlayerWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  clientWidth_ = width();
  clientHeight_ = height();
}

void TPlayerWidget::Show(const TBitmap& picture, const TDisplayRect& rect, int displayWidth, int displayHeight) {
  QImage copy(picture.Width(), picture.Height(), QImage::Format_BGR888);
  for (int y = 0; y < picture.Height(); ++y)
    std::memcpy(copy.scanLine(y), picture.ScanLine(y), size_t(picture.Width()) * 3);
  {
    std::lock_guard lock(pictureMutex_);
    picture_ = std::move(copy);
    rect_ = rect;
    displayWidth_ = displayWidth;
    displayHeight_ = displayHeight;
  }
  QMetaObject::invokeMethod(this, qOverload<>(&QWidget::update), Qt::QueuedConnection);
}

void TPlayerWidget::ClientSize(int& width, int& height) const {
  width = clientWidth_;
  height = clientHeight_;
}

QImage TPlayerWidget::LastPicture() const {
  std::lock_guard lock(pictureMutex_);
  return picture_;
}

void TPlayerWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  std::lock_guard lock(pictureMutex_);
  if (picture_.isNull() || rect_.Width <= 0 || rect_.Height <= 0) return;
  // The rectangle was laid out for the display area the player knew; follow
  // the widget if it has been resized since.
  double sx = displayWidth_ > 0 ? double(width()) / displayWidth_ : 1.0;
  double sy = displayHeight_ > 0 ? double(height()) / displayHeight_ : 1.0;
  QRectF target(rect_.Left * sx, rect_.Top * sy, rect_.Width * sx, rect_.Height * sy);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, picture_);
}

void TPlayerWidget::resizeEvent(QResizeEvent* event) {
  clientWidth_ = event->size().width();
  clientHeight_ = event->size().height();
  if (OnResized) OnResized(clientWidth_, clientHeight_);
  QWidget::resizeEvent(event);
}

void TPlayerWidget::closeEvent(QCloseEvent* event) { event->ignore(); }
