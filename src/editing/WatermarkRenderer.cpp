#include "editing/WatermarkRenderer.h"

#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "editing/FrameEffects.h"
#include "editing/WmText.h"
#include "engine/common/FFmpegException.h"

namespace {

// The part of a rectangle given in 64-bit arithmetic (item fields may hold
// anything) that lies inside a frame of the given size.
QRect ClipToFrame(std::int64_t left, std::int64_t top, std::int64_t width, std::int64_t height,
                  int frameWidth, int frameHeight) {
  if (width <= 0 || height <= 0) return {};
  const std::int64_t x0 = std::max<std::int64_t>(left, 0);
  const std::int64_t y0 = std::max<std::int64_t>(top, 0);
  const std::int64_t x1 = std::min<std::int64_t>(left + width, frameWidth);
  const std::int64_t y1 = std::min<std::int64_t>(top + height, frameHeight);
  if (x1 <= x0 || y1 <= y0) return {};
  return QRect(int(x0), int(y0), int(x1 - x0), int(y1 - y0));
}

// QFont reads the font database of the QGuiApplication; touching it without
// one aborts the process, which on a conversion worker would take the whole
// program down.
void RequireGuiApplication() {
  if (!HaveGuiApplication())
    throw FFmpegException("Text watermarks cannot be drawn: the program has no QGuiApplication");
}

// Bounds of the pixels with any coverage, in the image's coordinates.
QRect InkBounds(const QImage& coverage) {
  int left = coverage.width(), right = -1, top = coverage.height(), bottom = -1;
  for (int y = 0; y < coverage.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(coverage.constScanLine(y));
    for (int x = 0; x < coverage.width(); ++x) {
      if (qAlpha(row[x]) == 0) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = y;
    }
  }
  return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// Lays premultiplied coverage over `dest`; coverage pixel (origin + p) goes
// over dest pixel p. Untouched where the coverage is clear.
void CompositeOver(TBitmap& dest, const QImage& coverage, QPoint origin) {
  for (int y = 0; y < dest.Height(); ++y) {
    const auto* src =
        reinterpret_cast<const QRgb*>(coverage.constScanLine(origin.y() + y)) + origin.x();
    std::uint8_t* d = dest.ScanLine(y);
    for (int x = 0; x < dest.Width(); ++x, d += 3) {
      const QRgb s = src[x];
      const int keep = 255 - qAlpha(s);
      if (keep == 255) continue;
      d[0] = std::uint8_t(qBlue(s) + (d[0] * keep + 127) / 255);
      d[1] = std::uint8_t(qGreen(s) + (d[1] * keep + 127) / 255);
      d[2] = std::uint8_t(qRed(s) + (d[2] * keep + 127) / 255);
    }
  }
}

void CopyRegion(const TBitmap& frame, const QRect& area, TBitmap& out) {
  out.SetSize(area.width(), area.height());
  const std::size_t bytes = std::size_t(area.width()) * 3;
  for (int y = 0; y < area.height(); ++y)
    std::memcpy(out.ScanLine(y), frame.ScanLine(area.top() + y) + std::size_t(area.left()) * 3,
                bytes);
}

}  // namespace

bool TWatermarkRenderer::Draw(TBitmap& frame, const TWmRec& item, std::size_t slot) {
  if (frame.Empty()) return false;
  switch (item.Kind) {
    case TWmRec::wkText: return DrawText(frame, item, slot);
    case TWmRec::wkImage: return DrawImage(frame, item);
    default: return false;
  }
}

void TWatermarkRenderer::ClearCaches() {
  textLayers_.clear();
  images_.Clear();
}

bool TWatermarkRenderer::DrawText(TBitmap& frame, const TWmRec& item, std::size_t slot) {
  if (item.Text.empty() || item.TextAlpha <= 0) return false;
  TTextLayer& layer = TextLayer(frame, item, slot);
  if (layer.Key.Opaque) {
    if (layer.Visible.isEmpty()) return false;
    BlendOverlay(frame, layer.Box, layer.Visible.left(), layer.Visible.top(), item.TextAlpha);
    return true;
  }
  // A transparent box blends the frame with itself wherever no glyph
  // covers it, which leaves those pixels as they were: only the ink matters.
  if (layer.Ink.isEmpty()) return false;
  CopyRegion(frame, layer.Ink, layer.Scratch);
  CompositeOver(layer.Scratch, layer.Coverage, layer.Ink.topLeft() - layer.Visible.topLeft());
  BlendOverlay(frame, layer.Scratch, layer.Ink.left(), layer.Ink.top(), item.TextAlpha);
  return true;
}

bool TWatermarkRenderer::DrawImage(TBitmap& frame, const TWmRec& item) {
  if (item.ImageFile.empty()) return false;
  const TBitmap& picture = images_.Get(item.ImageFile);
  if (item.ImageAlpha <= 0) return false;
  if (ClipToFrame(item.ImageLeft, item.ImageTop, picture.Width(), picture.Height(), frame.Width(),
                  frame.Height())
          .isEmpty())
    return false;
  BlendOverlay(frame, picture, item.ImageLeft, item.ImageTop, item.ImageAlpha);
  return true;
}

TWatermarkRenderer::TTextLayer& TWatermarkRenderer::TextLayer(const TBitmap& frame,
                                                              const TWmRec& item,
                                                              std::size_t slot) {
  TTextKey key{item.Text,
               item.Font ? std::optional<TWmFont>(*item.Font) : std::nullopt,
               item.TextLeft,
               item.TextTop,
               item.TextWidth,
               item.TextHeight,
               ColorToRGB(item.BackColor),
               item.BackOpaque,
               frame.Width(),
               frame.Height()};
  if (slot >= textLayers_.size()) textLayers_.resize(slot + 1);
  std::optional<TTextLayer>& entry = textLayers_[slot];
  if (entry && entry->Key == key) return *entry;
  entry.emplace();
  entry->Key = std::move(key);
  try {
    RenderText(*entry, item);
  } catch (...) {
    entry.reset();
    throw;
  }
  return *entry;
}

// Renders only the part of the box inside the frame, so a huge or far-off
// box costs no more than the frame itself.
void TWatermarkRenderer::RenderText(TTextLayer& layer, const TWmRec& item) {
  ++textRenders_;
  const TTextKey& key = layer.Key;
  layer.Visible =
      ClipToFrame(key.Left, key.Top, key.Width, key.Height, key.FrameWidth, key.FrameHeight);
  if (layer.Visible.isEmpty()) return;
  RequireGuiApplication();
  QImage coverage(layer.Visible.size(), QImage::Format_ARGB32_Premultiplied);
  if (coverage.isNull()) throw FFmpegException("Not enough memory for a text watermark");
  coverage.fill(Qt::transparent);
  const TWmFont fields = FontFieldsOf(item);
  {
    QPainter painter(&coverage);
    painter.translate(double(key.Left) - layer.Visible.left(),
                      double(key.Top) - layer.Visible.top());
    // The text's cell starts at the box's top-left corner; one line only.
    DrawTextLine(painter, QString::fromStdString(key.Text), fields, QPointF(0, 0));
  }
  layer.Coverage = std::move(coverage);
  const QRect ink = InkBounds(layer.Coverage);
  layer.Ink = ink.isEmpty() ? QRect() : ink.translated(layer.Visible.topLeft());
  if (!key.Opaque) return;
  const TColor back = key.Back;
  layer.Box.SetSize(layer.Visible.width(), layer.Visible.height());
  layer.Box.Fill(std::uint8_t((back >> 16) & 0xFF), std::uint8_t((back >> 8) & 0xFF),
                 std::uint8_t(back & 0xFF));
  CompositeOver(layer.Box, layer.Coverage, QPoint(0, 0));
}
