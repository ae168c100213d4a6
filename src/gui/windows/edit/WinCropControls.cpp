// The crop window's controls and where they sit.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>

#include <climits>

#include "controls/RectTracker.h"
#include "controls/Tracker2.h"
#include "gui/widgets/DialogParts.h"
#include "gui/widgets/EditBars.h"
#include "gui/widgets/PictureButton.h"
#include "gui/widgets/PictureView.h"
#include "gui/widgets/TitleBar.h"
#include "gui/windows/edit/WinCrop.h"

namespace {

constexpr int kViewWidth = 420;
constexpr int kViewHeight = 303;
constexpr int kViewTop = 58;
constexpr int kBarRow = 368;
constexpr int kPlayRow = 396;
constexpr int kPagesTop = 426;
constexpr int kButtonRow = 546;

// A margin box: whole numbers without limits of their own, changed by its
// arrows only.
QSpinBox* MakeMarginBox(QWidget* page, const char* name, const QString& caption, int x, int y) {
  MakeLabel(page, caption, x, y, 44)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* box = new QSpinBox(page);
  box->setObjectName(name);
  box->setGeometry(x + 50, y, 72, 22);
  box->setRange(INT_MIN, INT_MAX);
  if (auto* text = box->findChild<QLineEdit*>()) text->setReadOnly(true);
  return box;
}

// An effect bar with its spin box beside it; each follows the other.
void MakeEffectRow(QWidget* page, const char* name, const QString& caption, int min, int max, int x,
                   int y, TTrackBar2*& bar, QSpinBox*& box) {
  MakeLabel(page, caption, x, y, 72);
  bar = new TTrackBar2(page);
  bar->setObjectName(QString("trc") + name);
  bar->setGeometry(x + 74, y - 1, 220, 24);
  editbars::SetUpEffectBar(bar, min, max);
  box = new QSpinBox(page);
  box->setObjectName(QString("sped") + name);
  box->setGeometry(x + 300, y, 64, 22);
  box->setRange(min, max);
  TTrackBar2* b = bar;
  QSpinBox* s = box;
  bar->OnChange = [s](TTrackBar2* sender) { s->setValue(sender->PositionL()); };
  QObject::connect(box, &QSpinBox::valueChanged, page, [b](int value) { b->SetPositionL(value); });
  box->setValue(bar->PositionL());
}

}  // namespace

void TfrmCrop::CreateViews() {
  auto* title = new TTitleBar(this, "Crop");
  btnClose = title->CloseButton();
  MakeLabel(this, "Source", 15, 36, 200);
  MakeLabel(this, "Output", 450, 36, 200);
  imgPreview = new TPictureView(this);
  imgPreview->setObjectName("imgPreview");
  imgPreview->setGeometry(15, kViewTop, kViewWidth, kViewHeight);
  imgOutput = new TPictureView(this);
  imgOutput->setObjectName("imgOutput");
  imgOutput->setGeometry(450, kViewTop, kViewWidth, kViewHeight);
  // The band lies over the source view, in its coordinates.
  RectTracker = new TRectTracker(imgPreview);
  RectTracker->setObjectName("RectTracker");
  RectTracker->hide();
}

void TfrmCrop::CreatePlaybackRow() {
  trcPreview = new TTrackBar2(this);
  trcPreview->setObjectName("trcPreview");
  trcPreview->setGeometry(15, kBarRow, 380, 24);
  editbars::SetUpPlayBar(trcPreview, {1, 370, 6});
  trcPreview->SetMax(trcPreview->width());
  trcPreview->setEnabled(false);
  lblTime = MakeLabel(this, "", 400, kBarRow + 1, 56);
  lblTime->setObjectName("lblTime");
  lblTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  MakeLabel(this, "/", 459, kBarRow + 1, 8);
  lblPTS = MakeLabel(this, "", 468, kBarRow + 1, 56);
  lblPTS->setObjectName("lblPTS");
  imgbtnPlay = MakePictureButton(this, "imgbtnPlay", "play", 15, kPlayRow, 29, 19, "Play");
  imgbtnpause = MakePictureButton(this, "imgbtnpause", "pause", 45, kPlayRow, 29, 19, "Pause");
  imgbtnStop = MakePictureButton(this, "imgbtnStop", "stop", 75, kPlayRow, 29, 19, "Stop");
  imgbtnMute = MakePictureButton(this, "imgbtnMute", "mute_off", 290, kPlayRow - 3, 24, 24, "Mute");
  trcVolume = new TTrackBar2(this);
  trcVolume->setObjectName("trcVolume");
  trcVolume->setGeometry(316, kPlayRow, 75, 20);
  editbars::SetUpVolumeBar(trcVolume);
  trcVolume->SetMin(0);
  trcVolume->SetMax(128);
}

void TfrmCrop::CreateCropPage() {
  tabCrop = new QWidget;
  tabCrop->setObjectName("tabCrop");
  spedUp = MakeMarginBox(tabCrop, "spedUp", "Up:", 10, 10);
  spedDown = MakeMarginBox(tabCrop, "spedDown", "Down:", 10, 44);
  spedLeft = MakeMarginBox(tabCrop, "spedLeft", "Left:", 190, 10);
  spedRight = MakeMarginBox(tabCrop, "spedRight", "Right:", 190, 44);
  auto* hint = new QLabel(
      "Drag the dotted frame over the source picture, or set how many pixels of the view "
      "to cut away on each side.",
      tabCrop);
  hint->setWordWrap(true);
  hint->setGeometry(380, 6, 380, 32);
  btnCropReset = MakeButton(tabCrop, "btnCropReset", "Reset", 380, 42, 80, 26, true);
}

void TfrmCrop::CreateEffectPage() {
  tabEffect = new QWidget;
  tabEffect->setObjectName("tabEffect");
  MakeEffectRow(tabEffect, "Contrast", "Contrast:", -100, 100, 10, 10, trcContrast, spedContrast);
  MakeEffectRow(tabEffect, "Brightness", "Brightness:", 0, 512, 390, 10, trcBrightness,
                spedBrightness);
  MakeEffectRow(tabEffect, "Saturation", "Saturation:", 0, 512, 10, 44, trcSaturation,
                spedSaturation);
  MakeEffectRow(tabEffect, "Exposure", "Exposure:", -255, 512, 390, 44, trcExposure, spedExposure);
  btnEffectReset = MakeButton(tabEffect, "btnEffectReset", "Reset", 765, 42, 80, 26, true);
  // The bars' first positions, which a window that cannot show a picture
  // keeps.
  trcBrightness->SetPositionL(256);
  trcContrast->SetPositionL(0);
  trcSaturation->SetPositionL(256);
  trcExposure->SetPositionL(0);
}

void TfrmCrop::CreateButtons() {
  pgcPages = new QTabWidget(this);
  pgcPages->setObjectName("pgcPages");
  pgcPages->setGeometry(15, kPagesTop, 855, 110);
  CreateEffectPage();
  CreateCropPage();
  pgcPages->addTab(tabEffect, "Effect");
  pgcPages->addTab(tabCrop, "Crop");
  pgcPages->setCurrentWidget(tabEffect);
  btnDefault = MakeButton(this, "btnDefault", "&Default", 612, kButtonRow, 80, 26, true);
  btnOk = MakeButton(this, "btnOk", "Ok", 700, kButtonRow, 80, 26, true);
  btnCancel = MakeButton(this, "btnCancel", "Cancel", 788, kButtonRow, 80, 26, true);
  btnOk->setDefault(true);
}
