// Small pieces the windows build their controls from: labels and push
// buttons at fixed places. User-interface thread only.
#pragma once

#include <QLabel>
#include <QPushButton>

// A one-line label at (x, y), `width` x `height`.
inline QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int width,
                         int height = 22) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(x, y, width, height);
  return label;
}

// A push button named `name` at (x, y), `width` x `height`. Without
// `autoDefault`, Enter never presses it just because it has the focus (a
// dialog's default button, or none, takes Enter).
inline QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int x,
                               int y, int width = 80, int height = 26, bool autoDefault = false) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  button->setGeometry(x, y, width, height);
  button->setAutoDefault(autoDefault);
  return button;
}
