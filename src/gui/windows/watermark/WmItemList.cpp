#include "gui/windows/watermark/WmItemList.h"

#include <QPainter>
#include <QStyledItemDelegate>

#include "gui/common/Theme.h"

namespace {

constexpr int kCaptionIndent = 19;
constexpr int kIconSize = 14;

class TWmItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
    return QSize(option.rect.width(), TWmItemList::RowHeight);
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->save();
    const QRect r = option.rect;
    const bool current = option.state & QStyle::State_Selected;
    if (current) {
      painter->fillRect(r, QColor(185, 204, 236));
      painter->setPen(QColor(122, 160, 218));
      painter->drawRect(r.adjusted(0, 0, -1, -1));
    } else {
      painter->fillRect(r, QColor(246, 247, 248));
    }
    const bool text = index.data(TWmItemList::KindRole).toInt() == 0;
    const QPixmap icon = theme::Artwork(text ? "wm_text" : "wm_image", QSize(kIconSize, kIconSize));
    if (!icon.isNull())
      painter->drawPixmap(r.left() + 2, r.top() + (r.height() - kIconSize) / 2, icon);
    const QRect textRect = r.adjusted(kCaptionIndent, 0, -2, 0);
    painter->setPen(QColor(16, 38, 74));
    const QString caption = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                          Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption);
    painter->restore();
  }
};

}  // namespace

TWmItemList::TWmItemList(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new TWmItemDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void TWmItemList::AddRow(const QString& caption, int kind) {
  auto* row = new QListWidgetItem(caption, this);
  row->setData(KindRole, kind);
  row->setSizeHint(QSize(0, RowHeight));
}

QRect TWmItemList::RowRectInList(int row) const {
  return visualItemRect(item(row)).translated(viewport()->pos());
}
