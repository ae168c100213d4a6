// A read-only one-line field that reports clicks and double-clicks: the
// format field beside a grouped format list (the main window's and the
// settings dialog's).
//
// User-interface thread only.
#pragma once

#include <QLineEdit>
#include <QMouseEvent>

#include <functional>

class TClickField : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  std::function<void()> OnClick;
  std::function<void()> OnDoubleClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    QLineEdit::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && OnClick) OnClick();
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QLineEdit::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && OnDoubleClick) OnDoubleClick();
  }
};
