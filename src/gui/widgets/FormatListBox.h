// The grouped format list on screen (the main window's picker and the
// settings dialog both show one): paints each row as the format list says,
// selects the row under the pointer, and turns presses into group toggles
// and format picks. Which rows exist is decided by the window-free
// TFormatList; this widget only shows and forwards.
//
// Owns its TFormatList and TFormatNames. User-interface thread only.
#pragma once

#include <QAbstractScrollArea>
#include <initializer_list>

class QMouseEvent;

#include "profiles/FormatList.h"

class TFormatListBox : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TFormatListBox(QWidget* parent = nullptr);

  // Builds the rows from the catalogue and the group states of `settingsFile`.
  void Build(const std::string& settingsFile);
  bool SaveGroupStates(const std::string& settingsFile) const;
  const TFormatList& List() const { return list_; }

  int CurrentRow() const { return current_; }
  void SetCurrentRow(int row);
  // Selects the row whose text equals `name` (blanks trimmed); -1 when none.
  int SelectName(const std::string& name);
  // The row's rectangle in viewport coordinates.
  QRect RowRect(int row) const;
  int RowAt(const QPoint& viewportPos) const;
  // Scrolls so that `row` is visible.
  void EnsureVisible(int row);

  // True when a mouse press lands on this open list or on one of `picker`
  // (the field and arrow that open it). Decided by the press's screen
  // position, because an application-wide filter sees the press first on
  // the top-level window object and only then on the widget under it.
  bool PressIsOnPicker(const QMouseEvent& press,
                       std::initializer_list<const QWidget*> picker) const;

 signals:
  // A format row was pressed (the window stores it and closes the list).
  void Picked(const QString& name, int code);
  void ClosedByKey();
  // A group opened or closed, so the list has a new number of rows (the
  // window sizes the list to them again).
  void RowCountChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void RowsChanged();
  void Toggle(int row);
  void MoveCurrent(int row);
  void PaintRow(QPainter& painter, int row) const;

  TFormatList list_;
  TFormatNames names_;
  int current_ = -1;
};
