#include "gui/widgets/PictureView.h"

#include <QPainter>

#include "editing/CropFrame.h"

namespace {

const QColor kGround(166, 202, 240);

}  // namespace

QImage BitmapImage(const TBitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.RowSize(),
                QImage::Format_BGR888)
      .copy();
}

TPictureView::TPictureView(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPictureView::SetPicture(const QImage& picture) {
  picture_ = picture;
  update();
}

void TPictureView::SetMessage(const QString& text) {
  message_ = text;
  update();
}

void TPictureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), kGround);
  if (!picture_.isNull()) {
    const TIntRect r = FitPicture(picture_.width(), picture_.height(), {0, 0, width(), height()});
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(r.Left, r.Top, r.Width, r.Height), picture_);
  }
  if (!message_.isEmpty()) {
    painter.setPen(QColor(16, 38, 74));
    painter.drawText(rect().adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap,
                     message_);
  }
}
