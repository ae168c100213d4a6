// The background both owner-drawn lists give their rows (the grouped format
// list and the settings dialog's choice boxes): the row under the pointer
// shrunk by 2 pixels, filled light blue and framed one pixel further out;
// any other row filled whole.
//
// Stateless; user-interface thread (it paints).
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>

#include "profiles/FormatList.h"

inline QColor Rgb(unsigned rgb) {
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

inline void PaintRowBackground(QPainter& painter, const QRect& row, bool hot, const QColor& fill) {
  if (!hot) {
    painter.fillRect(row, fill);
    return;
  }
  const QRect inner = row.adjusted(2, 2, -2, -2);
  painter.fillRect(inner, Rgb(kHotRowFillColor));
  painter.setPen(Rgb(kHotRowFrameColor));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(inner.adjusted(-1, -1, 0, 0));
}
