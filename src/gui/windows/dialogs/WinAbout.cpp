#include "gui/windows/dialogs/WinAbout.h"

#include <QLabel>
#include <QPushButton>

#include "app/GlobalUnit.h"
#include "gui/common/Theme.h"

TfrmAbout::TfrmAbout(const TGlobalObject& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setObjectName("frmAbout");
  setWindowTitle("About");
  setFixedSize(340, 187);
  auto* logo = new QLabel(this);
  logo->setPixmap(theme::Artwork("quor", QSize(64, 64)));
  logo->setGeometry(20, 24, 64, 64);
  lblAppNameVer = new QLabel(this);
  lblAppNameVer->setObjectName("lblAppNameVer");
  lblAppNameVer->setGeometry(100, 28, 230, 40);
  lblAppNameVer->setWordWrap(true);
  lblAppNameVer->setStyleSheet("font-weight: bold;");
  auto* note = new QLabel("Converts, trims, crops and watermarks video and audio files.", this);
  note->setGeometry(100, 70, 230, 40);
  note->setWordWrap(true);
  btnOk = new QPushButton("OK", this);
  btnOk->setGeometry(135, 140, 70, 28);
  btnOk->setDefault(true);
  connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmAbout::showEvent(QShowEvent* event) {
  lblAppNameVer->setText(
      QString::fromStdString(settings_.EditionTitle() + settings_.VersionText()));
  QDialog::showEvent(event);
}
