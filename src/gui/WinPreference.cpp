#include "gui/WinPreference.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QSpinBox>

#include "app/FolderChoice.h"
#include "app/GlobalUnit.h"
#include "gui/DialogParts.h"

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 390;
constexpr int kFieldX = 136;  // where the controls of each row begin

// The spin box's hint; CR LF marks its line breaks.
constexpr const char* kQualityHint =
    "Use Compression Quality to set the compression quality of the \r\nJPEG image when writing out "
    "a snapshot jpeg image. Higher compression \r\nresults in a poorer picture quality, but a "
    "smaller file size. \r\n\r\n The higher the Compression Quality value (up to a maximum of "
    "100), \r\nthe better the image quality, but the larger the file size. \r\nThe lower the "
    "Compression Quality value (to a minimum of 1),\r\n the smaller the resulting file size, but "
    "at the expense of picture quality.";

QCheckBox* MakeBox(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(name);
  box->setGeometry(x, y, 110, 22);
  return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int x, int y) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(x, y, 80, 26);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TfrmPreference::TfrmPreference(std::string settingsFile, QWidget* owner)
    : QDialog(owner), settingsFile_(std::move(settingsFile)), qtUi_(this), ui_(&qtUi_) {
  setObjectName("frmPreference");
  setWindowTitle("Preference");
  setModal(true);
  setFixedSize(kWidth, kHeight);
  CreateFolderRow();
  CreateSnapshotChoices();
  CreateQuality();
  CreatePriority();
  CreateButtons();
}

void TfrmPreference::SetUserInteraction(IUserInteraction* ui) {
  ui_ = ui ? ui : &qtUi_;
}

void TfrmPreference::CreateFolderRow() {
  auto* group = new QGroupBox("Snapshot", this);
  group->setGeometry(10, 10, kWidth - 20, 218);
  MakeLabel(this, "Snapshot folder:", 24, 40, 110);
  edtSnapDirectory = new QLineEdit(this);
  edtSnapDirectory->setObjectName("edtSnapDirectory");
  edtSnapDirectory->setGeometry(kFieldX, 40, 176, 22);
  btnBrows = MakeButton(this, "btnBrows", "&Brows", 318, 38);
  btnBrows->setFixedWidth(64);
  btnOpen = MakeButton(this, "btnOpen", "&Open", 388, 38);
  btnOpen->setFixedWidth(64);
  connect(btnBrows, &QPushButton::clicked, this, &TfrmPreference::Browse);
  connect(btnOpen, &QPushButton::clicked, this,
          [this] { OpenSnapshotFolder(settingsFile_, S(edtSnapDirectory->text())); });
}

void TfrmPreference::CreateSnapshotChoices() {
  MakeLabel(this, "Snapshot size:", 24, 78, 110);
  ckSmallSize = MakeBox(this, "ckSmallSize", "Small Size", kFieldX, 78);
  ckFullSize = MakeBox(this, "ckFullSize", "Full Size", kFieldX + 120, 78);
  MakeLabel(this, "Snapshot format:", 24, 110, 110);
  ckBmp = MakeBox(this, "ckBmp", "BMP", kFieldX, 110);
  ckJpg = MakeBox(this, "ckJpg", "JPG", kFieldX + 120, 110);
  KeepOneOf(ckSmallSize, ckFullSize);
  KeepOneOf(ckFullSize, ckSmallSize);
  KeepOneOf(ckBmp, ckJpg);
  KeepOneOf(ckJpg, ckBmp);
}

void TfrmPreference::KeepOneOf(QCheckBox* box, QCheckBox* partner) {
  connect(box, &QCheckBox::toggled, this, [box, partner](bool checked) {
    if (!checked && KeepChecked(checked, partner->isChecked())) box->setChecked(true);
  });
}

void TfrmPreference::CreateQuality() {
  MakeLabel(this, "Jpg Compression Quality:", 24, 148, 150);
  spedCmp = new QSpinBox(this);
  spedCmp->setObjectName("spedCmp");
  spedCmp->setRange(1, 100);
  spedCmp->setGeometry(180, 147, 60, 24);
  spedCmp->setToolTip(QString(kQualityHint).replace("\r\n", "\n"));
  trcCmp = new QSlider(Qt::Horizontal, this);
  trcCmp->setObjectName("trcCmp");
  trcCmp->setRange(1, 100);
  trcCmp->setPageStep(10);
  trcCmp->setGeometry(246, 148, 206, 22);
  auto* note =
      MakeLabel(this, "(The higher the value, the better the image quality.)", 24, 182, 428);
  note->setObjectName("lblCmpNote");
  connect(spedCmp, &QSpinBox::valueChanged, trcCmp, &QSlider::setValue);
  connect(trcCmp, &QSlider::valueChanged, spedCmp, &QSpinBox::setValue);
  // The box's state, not the signal's: an uncheck that the rule above undid
  // still reaches this slot with its old value.
  connect(ckJpg, &QCheckBox::toggled, this, [this] {
    spedCmp->setEnabled(ckJpg->isChecked());
    trcCmp->setEnabled(ckJpg->isChecked());
  });
}

void TfrmPreference::CreatePriority() {
  rdGrpPriority = new QGroupBox("Work priority", this);
  rdGrpPriority->setObjectName("rdGrpPriority");
  rdGrpPriority->setGeometry(10, 250, kWidth - 20, 62);
  priorities_ = new QButtonGroup(this);
  const char* names[] = {"Idle", "Normal", "Lower", "Lowest"};
  const int column = (kWidth - 40) / 4;
  for (int i = 0; i < 4; ++i) {
    rdPriority[i] = new QRadioButton(names[i], rdGrpPriority);
    rdPriority[i]->setGeometry(16 + i * column, 26, column - 10, 22);
    priorities_->addButton(rdPriority[i], i);
  }
}

void TfrmPreference::CreateButtons() {
  btnDefault = MakeButton(this, "btnDefault", "&Default", 10, kHeight - 42);
  btnOk = MakeButton(this, "btnOk", "&Ok", kWidth - 180, kHeight - 42);
  btnCancel = MakeButton(this, "btnCancel", "&Cancel", kWidth - 90, kHeight - 42);
  btnOk->setDefault(true);
  connect(btnDefault, &QPushButton::clicked, this, [this] { ShowValues(DefaultPreferences()); });
  connect(btnOk, &QPushButton::clicked, this, &TfrmPreference::StoreAndClose);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmPreference::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  setFixedSize(kWidth, kHeight);
  if (QWidget* owner = parentWidget()) move(owner->window()->geometry().center() - rect().center());
  ShowValues(ReadPreferences(settingsFile_));
  btnOk->setFocus();
}

TPreferences TfrmPreference::Values() const {
  TPreferences values;
  values.SnapFolder = S(edtSnapDirectory->text());
  values.SmallSize = ckSmallSize->isChecked();
  values.FullSize = ckFullSize->isChecked();
  values.Bmp = ckBmp->isChecked();
  values.Jpg = ckJpg->isChecked();
  values.Quality = spedCmp->value();
  values.Priority = priorities_->checkedId();
  return values;
}

void TfrmPreference::ShowValues(const TPreferences& values) {
  edtSnapDirectory->setText(Q(values.SnapFolder));
  edtSnapDirectory->setCursorPosition(0);
  // Checked first, then unchecked: a box is never unchecked while its
  // partner still shows an old unchecked state, which would check it again.
  ckSmallSize->setChecked(true);
  ckFullSize->setChecked(values.FullSize);
  ckSmallSize->setChecked(values.SmallSize);
  ckBmp->setChecked(true);
  ckJpg->setChecked(values.Jpg);
  ckBmp->setChecked(values.Bmp);
  spedCmp->setEnabled(ckJpg->isChecked());
  trcCmp->setEnabled(ckJpg->isChecked());
  spedCmp->setValue(values.Quality);
  QAbstractButton* priority = priorities_->button(values.Priority);
  if (priority) {
    priority->setChecked(true);
  } else {
    // A stored value outside the four leaves none chosen.
    priorities_->setExclusive(false);
    for (QAbstractButton* b : priorities_->buttons()) b->setChecked(false);
    priorities_->setExclusive(true);
  }
}

void TfrmPreference::Browse() {
  const QString current = edtSnapDirectory->text();
  const QString folder = ChooseFolder ? ChooseFolder(current) : QString();
  if (folder.isEmpty() || folder == current) return;
  if (!StoreBrowsedFolder(settingsFile_, TFolderSetting::fsSnapshot, S(folder), *ui_)) return;
  edtSnapDirectory->setText(Q(TAppSettings(settingsFile_).SnapOutPutDir()));
}

void TfrmPreference::StoreAndClose() {
  if (!StorePreferences(settingsFile_, Values())) {
    ui_->ShowWarning("Warning", "The settings cannot be written to " + settingsFile_ + ".");
    return;
  }
  accept();
}
