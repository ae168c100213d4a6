// Small pieces the dialogs build their controls from.
// User-interface thread only.
#pragma once

#include <QLabel>

// A one-line label at (x, y), `width` wide.
inline QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int width) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, width, 22);
  return label;
}
