#include "player/qt/PlayerWidget.h"

#include <QCloseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <cstring>

#include "engine/libav/FrameBitmap.h"

TPlayerWidget::TPlayerWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Pictures arrive at most every few milliseconds; a short poll keeps the
  // play thread away from Qt entirely.
  connect(&repaintTimer_, &QTimer::timeout, this, [this] {
    if (dirty_.exchange(false)) update();
  });
  repaintTimer_.start(5);
  clientWidth_ = width();
  clientHeight_ = height();
}

void TPlayerWidget::Show(const TBitmap& picture, const TDisplayRect& rect, int displayWidth,
                         int displayHeight) {
  {
    std::lock_guard lock(pictureMutex_);
    pixels_.assign(picture.Bits(), picture.Bits() + picture.ByteSize());
    pictureWidth_ = picture.Width();
    pictureHeight_ = picture.Height();
    rowSize_ = picture.RowSize();
    rect_ = rect;
    displayWidth_ = displayWidth;
    displayHeight_ = displayHeight;
  }
  dirty_ = true;
}

void TPlayerWidget::ClientSize(int& width, int& height) const {
  width = clientWidth_;
  height = clientHeight_;
}

QImage TPlayerWidget::LastPicture() const {
  std::lock_guard lock(pictureMutex_);
  if (pixels_.empty()) return QImage();
  return QImage(pixels_.data(), pictureWidth_, pictureHeight_, rowSize_, QImage::Format_BGR888)
      .copy();
}

void TPlayerWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  std::lock_guard lock(pictureMutex_);
  if (pixels_.empty() || rect_.Width <= 0 || rect_.Height <= 0) return;
  // A view of our bytes, used only while the lock is held.
  QImage picture(pixels_.data(), pictureWidth_, pictureHeight_, rowSize_, QImage::Format_BGR888);
  // The rectangle was laid out for the display area the player knew; follow
  // the widget if it has been resized since.
  double sx = displayWidth_ > 0 ? double(width()) / displayWidth_ : 1.0;
  double sy = displayHeight_ > 0 ? double(height()) / displayHeight_ : 1.0;
  QRectF target(rect_.Left * sx, rect_.Top * sy, rect_.Width * sx, rect_.Height * sy);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, picture);
}

void TPlayerWidget::resizeEvent(QResizeEvent* event) {
  clientWidth_ = event->size().width();
  clientHeight_ = event->size().height();
  if (OnResized) OnResized(clientWidth_, clientHeight_);
  QWidget::resizeEvent(event);
}

void TPlayerWidget::closeEvent(QCloseEvent* event) { event->ignore(); }
