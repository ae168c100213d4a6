#include "gui/widgets/ColorBox.h"

#include <QPainter>
#include <QPixmap>

#include "editing/WmColors.h"
#include "editing/WmText.h"

namespace {

QIcon Swatch(TColor color) {
  QPixmap picture(14, 14);
  picture.fill(ToQColor(color));
  QPainter painter(&picture);
  painter.setPen(QColor(60, 60, 60));
  painter.drawRect(0, 0, 13, 13);
  return QIcon(picture);
}

}  // namespace

TColorBox::TColorBox(QWidget* parent) : QComboBox(parent) {
  setIconSize(QSize(14, 14));
  for (const TNamedColor& c : NamedColors())
    addItem(Swatch(c.Color), c.Name, QVariant::fromValue<uint>(c.Color));
}

TColor TColorBox::Selected() const { return TColor(currentData().toUInt()); }

void TColorBox::SetSelected(TColor color) {
  int index = findData(QVariant::fromValue<uint>(color));
  if (index < 0) {
    addItem(Swatch(color), "Custom", QVariant::fromValue<uint>(color));
    index = count() - 1;
  }
  setCurrentIndex(index);
}
