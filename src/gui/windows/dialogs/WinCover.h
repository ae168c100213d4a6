// TfrmCover: the splash window shown at start-up. A borderless picture
// centred on the screen; it closes itself at the first tick of its 2000 ms
// timer at which the main window is showing.
// User-interface thread only; deletes itself when closed.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

class TfrmCover : public QWidget {
  Q_OBJECT

 public:
  // `mainWindow` is watched, not owned.
  explicit TfrmCover(QWidget* mainWindow);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
  QTimer timer_;
  QPointer<QWidget> mainWindow_;
};
