// TWmItemList: the watermark editor's item list (lsbox): one row per item,
// 24 pixels high, drawn by the window itself: a light ground (a blue one
// with a frame for the current row), the item's kind as a small picture and
// its caption cut with an ellipsis.
//
// Rows carry their caption as text and their kind (0 text, 1 picture) under
// KindRole. User-interface thread only; owns its delegate through Qt.
#pragma once

#include <QListWidget>

class TWmItemList : public QListWidget {
  Q_OBJECT

 public:
  static constexpr int KindRole = Qt::UserRole + 1;
  static constexpr int RowHeight = 24;

  explicit TWmItemList(QWidget* parent = nullptr);

  // Appends a row for an item of `kind` with `caption`.
  void AddRow(const QString& caption, int kind);
  // The rectangle of `row` in the list's own coordinates (not the viewport's).
  QRect RowRectInList(int row) const;
};
