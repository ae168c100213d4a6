#include "gui/widgets/FormatListBox.h"

#include <algorithm>

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include "gui/common/QtUserInteraction.h"
#include "gui/common/Theme.h"
#include "gui/widgets/RowPainting.h"

namespace {

QString GlyphName(int index) { return index == 0 ? "collapsed" : "expanded"; }

}  // namespace

TFormatListBox::TFormatListBox(QWidget* parent) : QAbstractScrollArea(parent) {
  setMouseTracking(true);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFrameShape(QFrame::Box);
}

void TFormatListBox::Build(const std::string& settingsFile) {
  FillFormatList(list_, names_, settingsFile);
  current_ = list_.Count() > 0 ? 0 : -1;
  RowsChanged();
}

bool TFormatListBox::SaveGroupStates(const std::string& settingsFile) const {
  return ::SaveGroupStates(list_, settingsFile);
}

void TFormatListBox::SetCurrentRow(int row) {
  const int next = list_.ValidRow(row) ? row : -1;
  if (next == current_) return;
  current_ = next;
  viewport()->update();
}

int TFormatListBox::SelectName(const std::string& name) {
  const int row = list_.FindRow(name);
  SetCurrentRow(row);
  if (row >= 0) EnsureVisible(row);
  return row;
}

QRect TFormatListBox::RowRect(int row) const {
  return {0, row * kFormatRowHeight - verticalScrollBar()->value(), viewport()->width(),
          kFormatRowHeight};
}

int TFormatListBox::RowAt(const QPoint& pos) const {
  if (pos.y() < 0) return -1;
  const int row = (pos.y() + verticalScrollBar()->value()) / kFormatRowHeight;
  return list_.ValidRow(row) ? row : -1;
}

void TFormatListBox::EnsureVisible(int row) {
  if (!list_.ValidRow(row)) return;
  QScrollBar* bar = verticalScrollBar();
  const int top = row * kFormatRowHeight;
  if (top < bar->value())
    bar->setValue(top);
  else if (top + kFormatRowHeight > bar->value() + viewport()->height())
    bar->setValue(top + kFormatRowHeight - viewport()->height());
}

void TFormatListBox::RowsChanged() {
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, std::max(0, list_.Count() * kFormatRowHeight - viewport()->height()));
  bar->setPageStep(viewport()->height());
  bar->setSingleStep(kFormatRowHeight);
  if (current_ >= list_.Count()) current_ = list_.Count() - 1;
  viewport()->update();
}

void TFormatListBox::Toggle(int row) {
  ToggleGroup(list_, row, names_);
  RowsChanged();
  emit RowCountChanged();
}

void TFormatListBox::MoveCurrent(int row) {
  SetCurrentRow(std::clamp(row, 0, list_.Count() - 1));
  EnsureVisible(current_);
}

void TFormatListBox::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  RowsChanged();
}

void TFormatListBox::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), Rgb(kRowFillColor));
  const int first = verticalScrollBar()->value() / kFormatRowHeight;
  const int last = (verticalScrollBar()->value() + viewport()->height()) / kFormatRowHeight;
  for (int row = first; row <= last && row < list_.Count(); ++row) PaintRow(painter, row);
}

void TFormatListBox::PaintRow(QPainter& painter, int row) const {
  const TFormatRow& data = list_.Row(row);
  const TFormatRowLook look = FormatRowLook(data);
  QRect r = RowRect(row);
  const bool hot = row == current_;
  PaintRowBackground(painter, r, hot, Rgb(kRowFillColor));
  r.adjust(kRowInset, 0, -kRowInset, 0);
  const int L = r.left(), T = r.top();
  if (look.GlyphIndex >= 0) {
    const QPixmap glyph = theme::Artwork(GlyphName(look.GlyphIndex), QSize(16, 16));
    if (!glyph.isNull())
      painter.drawPixmap(L + look.GlyphX, T + 1 + (kFormatRowHeight - 16) / 2, glyph);
  }
  if (look.IconIndex >= 0) {
    const QPixmap icon = theme::Artwork(QString("group%1").arg(look.IconIndex), QSize(20, 20));
    if (!icon.isNull())
      painter.drawPixmap(L + look.IconX, T - 1 + (kFormatRowHeight - 20) / 2, icon);
  }
  QFont font = painter.font();
  font.setBold(look.Bold);
  painter.setFont(font);
  painter.setPen(hot ? QColor(Qt::black) : Rgb(look.TextColor));
  const QRect textRect(L + look.TextX, T + look.TextY, r.right() - L - look.TextX,
                       kFormatRowHeight - look.TextY);
  const QString text =
      painter.fontMetrics().elidedText(Q(data.Text), Qt::ElideRight, textRect.width());
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop, text);
}

void TFormatListBox::mouseMoveEvent(QMouseEvent* event) {
  const int row = RowAt(event->position().toPoint());
  if (row >= 0) SetCurrentRow(row);
}

void TFormatListBox::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pos = event->position().toPoint();
  const int row = RowAt(pos);
  if (row < 0) return;
  const int x = pos.x() - kRowInset;
  const int count = list_.Count();
  auto picked = PressFormatRow(list_, row, x, names_);
  RowsChanged();
  SetCurrentRow(row);
  if (list_.Count() != count) emit RowCountChanged();
  if (picked) emit Picked(Q(picked->Text), picked->Info.Code);
}

void TFormatListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (list_.ValidRow(current_) && list_.Row(current_).Info.IsGroup) Toggle(current_);
}

void TFormatListBox::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Up: MoveCurrent(current_ - 1); break;
    case Qt::Key_Down: MoveCurrent(current_ + 1); break;
    case Qt::Key_Home: MoveCurrent(0); break;
    case Qt::Key_End: MoveCurrent(list_.Count() - 1); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (list_.ValidRow(current_)) {
        const TFormatRow& row = list_.Row(current_);
        if (row.Info.IsGroup)
          Toggle(current_);
        else if (row.Info.IsFormat)
          emit Picked(Q(row.Text), row.Info.Code);
      }
      break;
    case Qt::Key_Escape: emit ClosedByKey(); break;
    default: QAbstractScrollArea::keyPressEvent(event);
  }
}

namespace {

bool PressIsOn(const QWidget* widget, const QPoint& globalPos) {
  return widget && widget->isVisible() && widget->rect().contains(widget->mapFromGlobal(globalPos));
}

}  // namespace

bool TFormatListBox::PressIsOnPicker(const QMouseEvent& press,
                                     std::initializer_list<const QWidget*> picker) const {
  const QPoint at = press.globalPosition().toPoint();
  if (PressIsOn(this, at)) return true;
  for (const QWidget* widget : picker)
    if (PressIsOn(widget, at)) return true;
  return false;
}
