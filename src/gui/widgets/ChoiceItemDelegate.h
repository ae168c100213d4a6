// The owner drawing of the settings dialog's list-only boxes: the item under
// the pointer on the light blue frame, the others on white; the text on one
// line, 3 pixels in from each side, centred vertically and cut with an
// ellipsis when it does not fit.
//
// Stateless; user-interface thread (it paints).
#pragma once

#include <QStyledItemDelegate>

class TChoiceItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  static constexpr int kItemHeight = 18;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
