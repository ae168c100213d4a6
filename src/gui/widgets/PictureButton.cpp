#include "gui/widgets/PictureButton.h"

#include <QToolButton>

#include "gui/common/Theme.h"

QToolButton* MakePictureButton(QWidget* parent, const char* name, const QString& art, int x, int y,
                               int w, int h, const QString& hint) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setProperty("picture", true);
  b->setIcon(theme::ArtworkIcon(art, QSize(w, h)));
  b->setIconSize(QSize(w, h));
  b->setGeometry(x, y, w, h);
  b->setToolTip(hint);
  b->setFocusPolicy(Qt::NoFocus);
  if (b->icon().isNull()) b->setText(hint);
  return b;
}

void ShowMuteButtonState(QToolButton* button, bool muted, int side) {
  button->setIcon(theme::ArtworkIcon(muted ? "mute_on" : "mute_off", QSize(side, side)));
  button->setProperty("muted", muted);
  button->setToolTip(muted ? "Unmute" : "Mute");
}

bool MuteButtonState(const QToolButton* button) { return button->property("muted").toBool(); }
