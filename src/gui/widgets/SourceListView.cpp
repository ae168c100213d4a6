#include "gui/widgets/SourceListView.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>

#include "app/SourceList.h"
#include "gui/common/QtUserInteraction.h"
#include "gui/common/Theme.h"

namespace {

constexpr int kColumnCount = 5;
constexpr int kRowHeight = 20;
constexpr int kCheckBoxWidth = 16;

const QColor kOddRow(226, 230, 246);
const QColor kSelectedFocused(185, 204, 236);
const QColor kSelectedUnfocused(229, 236, 248);
const QColor kFrameFocused(122, 160, 218);
const QColor kFrameUnfocused(152, 181, 226);

const std::string& Cell(const TSourceRow& row, int column) {
  switch (column) {
    case 0: return row.Caption;
    case 1: return row.Length;
    case 2: return row.TrimmedLength;
    case 3: return row.DestinationFile;
    default: return row.Progress;
  }
}

}  // namespace

TSourceListModel::TSourceListModel(TSourceList& list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {}

int TSourceListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : list_.Count();
}

int TSourceListModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return reportView_ ? kColumnCount : 1;
}

QVariant TSourceListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= list_.Count()) return {};
  const TSourceRow& row = list_.Row(index.row());
  switch (role) {
    case Qt::DisplayRole: return Q(Cell(row, index.column()));
    case Qt::ToolTipRole:
      if (index.column() == 4 && !row.ProgressTip.empty()) return Q(row.ProgressTip);
      return Q(index.column() == 0 ? row.Caption : Cell(row, index.column()));
    case Qt::CheckStateRole:
      if (index.column() == 0) return row.Checked ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::TextAlignmentRole:
      return int(Qt::AlignVCenter |
                 (index.column() == 0 || index.column() == 3 ? Qt::AlignLeft : Qt::AlignRight));
    default: return {};
  }
}

bool TSourceListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != 0 || index.row() >= list_.Count())
    return false;
  list_.SetChecked(index.row(), value.toInt() == Qt::Checked);
  emit dataChanged(index, index, {Qt::CheckStateRole});
  return true;
}

QVariant TSourceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return QString(kSourceColumns[section].Caption);
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags TSourceListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

void TSourceListModel::Reload() {
  beginResetModel();
  reportView_ = !list_.Empty();
  endResetModel();
}

void TSourceListModel::RowChanged(int row) {
  if (row < 0 || row >= list_.Count()) return;
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TSourceListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  painter->save();
  const bool selected = option.state & QStyle::State_Selected;
  const bool focused = option.state & QStyle::State_HasFocus || option.state & QStyle::State_Active;
  QRect fill = option.rect;
  if (index.column() == 0) fill.setLeft(fill.left() + 1);
  if (index.column() == index.model()->columnCount() - 1) fill.setRight(fill.right() - 1);
  if (selected) {
    painter->fillRect(fill, focused ? kSelectedFocused : kSelectedUnfocused);
    painter->setPen(focused ? kFrameFocused : kFrameUnfocused);
    painter->drawLine(fill.topLeft(), fill.topRight());
    painter->drawLine(fill.bottomLeft(), fill.bottomRight());
    if (index.column() == 0) painter->drawLine(fill.topLeft(), fill.bottomLeft());
    if (index.column() == index.model()->columnCount() - 1)
      painter->drawLine(fill.topRight(), fill.bottomRight());
  } else {
    painter->fillRect(fill, index.row() % 2 ? kOddRow : QColor(Qt::white));
  }

  QRect textRect = option.rect;
  if (index.column() == 0) {
    const int l = option.rect.left(), t = option.rect.top(), b = option.rect.bottom();
    painter->setPen(QPen(Qt::black, 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRect(QPoint(l + 2, t + 3), QPoint(l + 14, b - 3)));
    if (index.data(Qt::CheckStateRole).toInt() == Qt::Checked) {
      painter->setRenderHint(QPainter::Antialiasing);
      painter->drawPolyline(
          QPolygon({QPoint(l + 4, t + 8), QPoint(l + 7, t + 13), QPoint(l + 12, t + 6)}));
    }
    textRect.adjust(kCheckBoxWidth + 3, 0, -3, 0);
  } else {
    textRect.adjust(4, 0, -4, 0);
  }
  painter->setPen(QColor(0x10, 0x26, 0x4a));
  const QString text =
      SourceCellText(option.fontMetrics, index.data().toString(), index.column(), textRect.width());
  painter->drawText(textRect, index.data(Qt::TextAlignmentRole).toInt(), text);
  painter->restore();
}

QSize TSourceListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
  return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
}

bool TSourceListDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                      const QStyleOptionViewItem& option,
                                      const QModelIndex& index) {
  // The drawn check box toggles on a left press inside it.
  if (index.column() != 0 || event->type() != QEvent::MouseButtonPress) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::LeftButton) return false;
  const QRect box(option.rect.left(), option.rect.top(), kCheckBoxWidth + 2, option.rect.height());
  if (!box.contains(mouse->position().toPoint())) return false;
  const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
  return false;  // the press still selects the row
}

TSourceListView::TSourceListView(QWidget* parent) : QTreeView(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegate(new TSourceListDelegate(this));
  setAllColumnsShowFocus(true);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDropIndicatorShown(false);
}

QString SourceCellText(const QFontMetrics& metrics, const QString& text, int column, int width) {
  // Rows of one folder differ only at the end of their paths: cut in the
  // middle so that the file names stay readable (the full path is the tip).
  const bool name = column == 0 || column == 3;
  return metrics.elidedText(text, name ? Qt::ElideMiddle : Qt::ElideRight, width);
}

QStringList LocalDroppedFiles(const QList<QUrl>& urls) {
  QStringList files;
  for (const QUrl& url : urls)
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) files << url.toLocalFile();
  return files;
}

void TSourceListView::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalDroppedFiles(event->mimeData()->urls()).isEmpty()) event->acceptProposedAction();
}

void TSourceListView::dragMoveEvent(QDragMoveEvent* event) {
  if (!LocalDroppedFiles(event->mimeData()->urls()).isEmpty()) event->acceptProposedAction();
}

void TSourceListView::dropEvent(QDropEvent* event) {
  const QStringList files = LocalDroppedFiles(event->mimeData()->urls());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  emit FilesDropped(files);
}

void TSourceListView::ApplyColumnWidths() {
  const bool report = model() && model()->rowCount() > 0;
  setHeaderHidden(!report);
  if (!report) return;
  for (int c = 0; c < model()->columnCount() && c < 5; ++c)
    setColumnWidth(c, kSourceColumns[c].Width);
}

void TSourceListView::paintEvent(QPaintEvent* event) {
  if (model() && model()->rowCount() == 0) {
    // The plain view: the background picture, read on every paint; without
    // it the list stays plain white.
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), Qt::white);
    const QPixmap back = theme::Artwork("lvBack");
    if (!back.isNull()) painter.drawPixmap(0, 0, back);
    return;
  }
  QTreeView::paintEvent(event);
}

void TSourceListView::mousePressEvent(QMouseEvent* event) {
  QTreeView::mousePressEvent(event);
  if (event->button() == Qt::RightButton) emit RightPressed(event->globalPosition().toPoint());
}

// Space ticks or clears the selected row's check box, as in any list of
// check boxes.
void TSourceListView::keyPressEvent(QKeyEvent* event) {
  const QModelIndexList rows = selectionModel()->selectedRows();
  if (event->key() != Qt::Key_Space || event->modifiers() != Qt::NoModifier || rows.isEmpty()) {
    QTreeView::keyPressEvent(event);
    return;
  }
  const QModelIndex box = rows.front().siblingAtColumn(0);
  const bool checked = box.data(Qt::CheckStateRole).toInt() == Qt::Checked;
  model()->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}
