// TColorBox: a drop-down list of the named colours (NamedColors()), each
// with a swatch of its colour. User-interface thread only.
#pragma once

#include <QComboBox>

#include "editing/WmRec.h"

class TColorBox : public QComboBox {
  Q_OBJECT

 public:
  explicit TColorBox(QWidget* parent = nullptr);

  TColor Selected() const;
  // Selects `color`; a colour without a name is added at the end as
  // "Custom" so a stored colour is never lost.
  void SetSelected(TColor color);
};
