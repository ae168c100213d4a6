#include "editing/WmText.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kMaxFontPixels = 4096;  // far beyond any frame; keeps glyph caches sane
}

int PointsToPixels(int points) { return std::clamp((points * 96 + 36) / 72, 1, kMaxFontPixels); }

QColor ToQColor(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}

TWmFont FontFieldsOf(const TWmRec& item) {
  if (item.Font) return *item.Font;
  return TWmFont{{}, kDefaultFontPoints, 0, clWindowText};
}

QString DefaultTextFamily(const QStringList& families) {
  if (families.isEmpty()) return {};
  QFont sans;
  sans.setStyleHint(QFont::SansSerif);
  sans.setFamily(QStringLiteral("sans-serif"));
  const QString family = QFontInfo(sans).family();
  return families.contains(family) ? family : families.front();
}

QFont MakeFont(const TWmFont& fields) {
  QFont font;  // the application's default family when the item names none
  if (!fields.Name.empty()) font.setFamily(QString::fromStdString(fields.Name));
  font.setPixelSize(PointsToPixels(fields.Size > 0 ? fields.Size : kDefaultFontPoints));
  font.setBold(fields.Style & fsBold);
  font.setItalic(fields.Style & fsItalic);
  font.setUnderline(fields.Style & fsUnderline);
  font.setStrikeOut(fields.Style & fsStrikeOut);
  return font;
}

bool HaveGuiApplication() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

QSize MeasureText(const QString& text, const TWmFont& font) {
  if (text.isEmpty()) return {};
  const QFontMetricsF metrics(MakeFont(font));
  const double width =
      std::min<double>(std::ceil(metrics.horizontalAdvance(text)), kMaxTextBoxWidth);
  return QSize(std::max(1, int(width)), std::max(1, int(std::ceil(metrics.height()))));
}

void DrawTextLine(QPainter& painter, const QString& text, const TWmFont& font, QPointF origin) {
  painter.setFont(MakeFont(font));
  painter.setPen(ToQColor(font.Color));
  painter.drawText(origin + QPointF(0, painter.fontMetrics().ascent()), text);
}

QImage RenderTextBox(const QString& text, const TWmFont& font, QSize size, bool opaque,
                     TColor back) {
  if (size.isEmpty()) return {};
  QImage box(size, QImage::Format_ARGB32_Premultiplied);
  if (box.isNull()) return {};
  box.fill(opaque ? ToQColor(back) : QColor(Qt::transparent));
  QPainter painter(&box);
  painter.setRenderHint(QPainter::TextAntialiasing);
  DrawTextLine(painter, text, font, QPointF(0, 0));
  return box;
}
