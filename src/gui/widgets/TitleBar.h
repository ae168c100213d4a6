// TTitleBar: the title area of the program's frameless dialogs: the caption
// on the program's title gradient, a close button, and a drag on it moves
// the window. The close button closes the window as its system close command
// would. Owns its label and button (Qt children); user-interface thread only.
#pragma once

#include <QPoint>
#include <QWidget>

class QLabel;
class QToolButton;

class TTitleBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 30;

  // Spans the top of `window` (its width at construction).
  TTitleBar(QWidget* window, const QString& caption);

  QToolButton* CloseButton() const { return close_; }
  void SetCaption(const QString& caption);
  QString Caption() const;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QLabel* caption_ = nullptr;
  QToolButton* close_ = nullptr;
  bool dragging_ = false;
  QPoint dragOffset_;
};
