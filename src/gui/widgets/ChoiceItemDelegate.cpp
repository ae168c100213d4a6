#include "gui/widgets/ChoiceItemDelegate.h"

#include "gui/widgets/RowPainting.h"

void TChoiceItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  painter->save();
  // The popup moves its selection with the pointer.
  const bool hot = option.state & QStyle::State_Selected;
  PaintRowBackground(*painter, option.rect, hot, Qt::white);
  const QRect text = option.rect.adjusted(kRowInset, 0, -kRowInset, 0);
  painter->setFont(option.font);
  painter->setPen(QColor(Qt::black));
  const QString shown =
      option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, text.width());
  painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
  painter->restore();
}

QSize TChoiceItemDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(kItemHeight);
  return size;
}
