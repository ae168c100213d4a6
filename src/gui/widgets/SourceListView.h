// The main window's source list on screen: a table model over the
// window-free TSourceList, the row painter (alternate fills, the selected
// row's fill and frame, the drawn check box, one-line elided cells) and the
// view, which shows the background picture while the list is empty.
//
// The model borrows the list; the view owns nothing but its widgets.
// User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTreeView>

class QFontMetrics;

class TSourceList;

class TSourceListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TSourceListModel(TSourceList& list, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The list's rows changed in number (or all at once).
  void Reload();
  // One row's cells changed.
  void RowChanged(int row);

 private:
  TSourceList& list_;
  bool reportView_ = false;  // columns exist only while there are rows
};

class TSourceListDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

class TSourceListView : public QTreeView {
  Q_OBJECT

 public:
  explicit TSourceListView(QWidget* parent = nullptr);
  // Sets the report view's column widths (after the first row arrived).
  void ApplyColumnWidths();

 signals:
  void RightPressed(const QPoint& globalPos);
  // Local files and folders dropped from a file manager (other addresses
  // are ignored).
  void FilesDropped(const QStringList& paths);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

// A cell's text as drawn in `width` pixels: names (source and destination)
// lose their middle, other cells their end.
QString SourceCellText(const QFontMetrics& metrics, const QString& text, int column, int width);

// The local files among dropped addresses.
QStringList LocalDroppedFiles(const QList<QUrl>& urls);
