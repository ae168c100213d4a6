#include "editing/WmEditItem.h"

#include <QPainter>

#include <algorithm>

#include "editing/BmpCache.h"
#include "editing/WmCanvasGeometry.h"
#include "editing/WmText.h"

namespace {

constexpr int kPlaceholderMin = 16;
constexpr int kPlaceholderMax = 2048;

QImage LayerPicture(const QImage& decoded) {
  return decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A stored box as a layer location; a box without a size takes `fallback`.
QRectF StoredBox(int left, int top, int width, int height, QSize fallback) {
  if (width <= 0 || height <= 0) return QRectF(left, top, fallback.width(), fallback.height());
  return QRectF(left, top, width, height);
}

}  // namespace

TWmItemRec MakeTextItem(const std::string& text, const TWmFont& font, TColor backColor, int alpha,
                        std::int32_t lastSecond) {
  TWmItemRec item;
  item.Rec.Kind = TWmRec::wkText;
  item.Rec.Text = text;
  item.Rec.Font = std::make_unique<TWmFont>(font);
  item.Rec.BackColor = backColor;
  item.Rec.BackOpaque = false;
  item.Rec.StartTime = 0;
  item.Rec.EndTime = lastSecond;
  item.Layer.MasterAlpha = alpha;
  RedrawTextLayer(item);
  return item;
}

bool MakeImageItem(const std::string& path, int alpha, std::int32_t lastSecond, TWmItemRec& item,
                   std::string& error) {
  const QImage picture = DecodeWatermarkPicture(path, error);
  if (picture.isNull()) return false;
  item = TWmItemRec();
  item.Rec.Kind = TWmRec::wkImage;
  item.Rec.ImageFile = path;
  item.Rec.StartTime = 0;
  item.Rec.EndTime = lastSecond;
  item.Layer.Bitmap = LayerPicture(picture);
  item.Layer.Location = QRectF(0, 0, picture.width(), picture.height());
  item.Layer.MasterAlpha = alpha;
  return true;
}

void RedrawTextLayer(TWmItemRec& item) {
  const QPointF corner = item.Layer.Location.topLeft();
  const TWmFont font = FontFieldsOf(item.Rec);
  const QString text = QString::fromStdString(item.Rec.Text);
  const QSize size = MeasureText(text, font);
  item.Layer.Bitmap = RenderTextBox(text, font, size, item.Rec.BackOpaque, item.Rec.BackColor);
  item.Layer.Location = QRectF(corner, QSizeF(size));
}

TWmItemRec ItemFromRecord(const TWmRec& stored, std::string& error) {
  TWmItemRec item;
  item.Rec = stored;
  if (stored.Kind == TWmRec::wkImage) {
    item.Layer.MasterAlpha = stored.ImageAlpha;
    QImage picture;
    if (!stored.ImageFile.empty()) picture = DecodeWatermarkPicture(stored.ImageFile, error);
    const QSize own = picture.isNull()
                          ? QSize(std::clamp(stored.ImageWidth, kPlaceholderMin, kPlaceholderMax),
                                  std::clamp(stored.ImageHeight, kPlaceholderMin, kPlaceholderMax))
                          : picture.size();
    item.Layer.Location =
        StoredBox(stored.ImageLeft, stored.ImageTop, stored.ImageWidth, stored.ImageHeight, own);
    item.Layer.Bitmap =
        picture.isNull() ? PlaceholderPicture(own.width(), own.height()) : LayerPicture(picture);
    return item;
  }
  item.Layer.MasterAlpha = stored.TextAlpha;
  const TWmFont font = FontFieldsOf(stored);
  const QString text = QString::fromStdString(stored.Text);
  item.Layer.Location = StoredBox(stored.TextLeft, stored.TextTop, stored.TextWidth,
                                  stored.TextHeight, MeasureText(text, font));
  const QSize box(std::clamp(int(item.Layer.Location.width()), 0, kMaxTextBoxWidth),
                  std::clamp(int(item.Layer.Location.height()), 0, kMaxTextBoxWidth));
  if (!text.isEmpty())
    item.Layer.Bitmap = RenderTextBox(text, font, box, stored.BackOpaque, stored.BackColor);
  return item;
}

void StoreItem(const TWmItemRec& item, TWmRec& slot) {
  const QRect box = RoundedLocation(item.Layer.Location);
  if (item.IsText()) {
    slot.Text = item.Rec.Text;
    slot.TextLeft = box.left();
    slot.TextTop = box.top();
    slot.TextWidth = box.width();
    slot.TextHeight = box.height();
    slot.TextAlpha = item.Layer.MasterAlpha;
    slot.Font = std::make_unique<TWmFont>(FontFieldsOf(item.Rec));
    slot.BackColor = item.Rec.BackColor;
    slot.BackOpaque = item.Rec.BackOpaque;
  } else {
    slot.ImageFile = item.Rec.ImageFile;
    slot.ImageLeft = box.left();
    slot.ImageTop = box.top();
    slot.ImageWidth = box.width();
    slot.ImageHeight = box.height();
    slot.ImageAlpha = item.Layer.MasterAlpha;
  }
  slot.Kind = item.Rec.Kind;
  slot.StartTime = item.Rec.StartTime;
  slot.EndTime = item.Rec.EndTime;
}

QImage PlaceholderPicture(int width, int height) {
  QImage picture(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
  picture.fill(QColor(176, 176, 176));
  QPainter painter(&picture);
  painter.setPen(QPen(QColor(200, 40, 40), 2));
  painter.drawRect(picture.rect().adjusted(1, 1, -1, -1));
  painter.drawLine(picture.rect().topLeft(), picture.rect().bottomRight());
  painter.drawLine(picture.rect().topRight(), picture.rect().bottomLeft());
  return picture;
}
