#include "gui/windows/dialogs/WinPreference.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QSpinBox>

#include "app/BatchDriver.h"
#include "app/BatchJobs.h"
#include "app/FolderChoice.h"
#include "app/GlobalUnit.h"
#include "gui/widgets/DialogParts.h"

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

}  // namespace

TfrmPreference::TfrmPreference(std::string settingsFile, QWidget* owner)
    : QDialog(owner), settingsFile_(settingsFile), edit_(settingsFile), qtUi_(this), ui_(&qtUi_) {
  setObjectName("frmPreference");
  setWindowTitle("Preference");
  setModal(true);
  setFixedSize(kWidth, kHeight);
  CreateFolderRow();
  CreateSnapshotChoices();
  CreateQuality();
  CreatePriority();
  CreateFilesAtOnce();
  CreateButtons();
}

void TfrmPreference::SetUserInteraction(IUserInteraction* ui) { ui_ = ui ? ui : &qtUi_; }

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
  connect(edtSnapDirectory, &QLineEdit::textChanged, this,
          [this](const QString& text) { edit_.SetFolder(S(text)); });
  connect(btnBrows, &QPushButton::clicked, this, &TfrmPreference::Browse);
  connect(btnOpen, &QPushButton::clicked, this, [this] {
    if (!OpenSnapshotFolder(settingsFile_, S(edtSnapDirectory->text())))
      ui_->ShowWarning("Warning", NotOpenedText(S(edtSnapDirectory->text())));
  });
}

void TfrmPreference::CreateSnapshotChoices() {
  MakeLabel(this, "Snapshot size:", 24, 78, 110);
  ckSmallSize = MakeChoiceBox(scSmallSize, "ckSmallSize", "Small Size", kFieldX, 78);
  ckFullSize = MakeChoiceBox(scFullSize, "ckFullSize", "Full Size", kFieldX + 120, 78);
  MakeLabel(this, "Snapshot format:", 24, 110, 110);
  ckBmp = MakeChoiceBox(scBmp, "ckBmp", "BMP", kFieldX, 110);
  ckJpg = MakeChoiceBox(scJpg, "ckJpg", "JPG", kFieldX + 120, 110);
}

QCheckBox* TfrmPreference::MakeChoiceBox(TSnapChoice choice, const char* name, const QString& text,
                                         int x, int y) {
  auto* box = new QCheckBox(text, this);
  box->setObjectName(name);
  box->setGeometry(x, y, 110, 22);
  connect(box, &QCheckBox::toggled, this, [this, box, choice](bool checked) {
    // The last box of its pair stays checked.
    if (edit_.Choose(choice, checked) != checked) box->setChecked(!checked);
    spedCmp->setEnabled(edit_.QualityEnabled());
    trcCmp->setEnabled(edit_.QualityEnabled());
  });
  return box;
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
  connect(spedCmp, &QSpinBox::valueChanged, this, [this](int value) {
    edit_.SetQuality(value);
    trcCmp->setValue(value);
  });
  connect(trcCmp, &QSlider::valueChanged, spedCmp, &QSpinBox::setValue);
}

void TfrmPreference::CreatePriority() {
  rdGrpPriority = new QGroupBox("Work priority", this);
  rdGrpPriority->setObjectName("rdGrpPriority");
  rdGrpPriority->setGeometry(10, 238, kWidth - 20, 62);
  priorities_ = new QButtonGroup(this);
  const char* names[] = {"Idle", "Normal", "Lower", "Lowest"};
  const int column = (kWidth - 40) / 4;
  for (int i = 0; i < 4; ++i) {
    rdPriority[i] = new QRadioButton(names[i], rdGrpPriority);
    rdPriority[i]->setGeometry(16 + i * column, 26, column - 10, 22);
    priorities_->addButton(rdPriority[i], i);
  }
  connect(priorities_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on) edit_.SetPriority(id);
  });
}

void TfrmPreference::CreateFilesAtOnce() {
  MakeLabel(this, "Files converted at once:", 24, 314, 150);
  cbFilesAtOnce = new QComboBox(this);
  cbFilesAtOnce->setObjectName("cbFilesAtOnce");
  cbFilesAtOnce->setGeometry(180, 312, 70, 24);
  for (int files = kFilesAtOnceAuto; files <= kMaxFilesAtOnce; ++files)
    cbFilesAtOnce->addItem(Q(FilesAtOnceText(files)));
  // What Auto comes to on this computer, so the choice is not a guess.
  const int cores = ProcessorCount();
  const int plain = AutoFilesAtOnce(cores, false), threaded = AutoFilesAtOnce(cores, true);
  QString note = QString("Auto here: %1").arg(plain);
  if (threaded != plain) note += QString(" (%1 for H.264 HD)").arg(threaded);
  auto* label = MakeLabel(this, note, 260, 314, kWidth - 280);
  label->setObjectName("lblFilesAtOnceNote");
  cbFilesAtOnce->setToolTip(
      "How many files a batch converts side by side. Auto: one per processor core, at most\n"
      "4, and at most 2 for encoders that use several cores alone (H.264 at 720 lines and\n"
      "above). 1 converts one file after another.");
  connect(cbFilesAtOnce, &QComboBox::currentIndexChanged, this,
          [this](int index) { edit_.SetFilesAtOnce(std::max(index, 0)); });
}

void TfrmPreference::CreateButtons() {
  btnDefault = MakeButton(this, "btnDefault", "&Default", 10, kHeight - 42);
  btnOk = MakeButton(this, "btnOk", "&Ok", kWidth - 180, kHeight - 42);
  btnCancel = MakeButton(this, "btnCancel", "&Cancel", kWidth - 90, kHeight - 42);
  btnOk->setDefault(true);
  connect(btnDefault, &QPushButton::clicked, this, [this] {
    edit_.Reset();
    ShowValues();
  });
  connect(btnOk, &QPushButton::clicked, this, &TfrmPreference::StoreAndClose);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmPreference::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  setFixedSize(kWidth, kHeight);
  if (QWidget* owner = parentWidget()) move(owner->window()->geometry().center() - rect().center());
  edit_.Load();
  ShowValues();
  btnOk->setFocus();
}

void TfrmPreference::ShowValues() {
  const TPreferences& values = edit_.Values();
  // The values are whole already: no control may send its change back.
  const QSignalBlocker blockers[] = {QSignalBlocker(edtSnapDirectory),
                                     QSignalBlocker(ckSmallSize),
                                     QSignalBlocker(ckFullSize),
                                     QSignalBlocker(ckBmp),
                                     QSignalBlocker(ckJpg),
                                     QSignalBlocker(spedCmp),
                                     QSignalBlocker(trcCmp),
                                     QSignalBlocker(priorities_),
                                     QSignalBlocker(cbFilesAtOnce)};
  edtSnapDirectory->setText(Q(values.SnapFolder));
  edtSnapDirectory->setCursorPosition(0);
  ckSmallSize->setChecked(values.SmallSize);
  ckFullSize->setChecked(values.FullSize);
  ckBmp->setChecked(values.Bmp);
  ckJpg->setChecked(values.Jpg);
  spedCmp->setValue(values.Quality);
  trcCmp->setValue(spedCmp->value());
  spedCmp->setEnabled(edit_.QualityEnabled());
  trcCmp->setEnabled(edit_.QualityEnabled());
  cbFilesAtOnce->setCurrentIndex(values.FilesAtOnce);
  if (QAbstractButton* priority = priorities_->button(values.Priority)) {
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
  if (!edit_.Store()) {
    ui_->ShowWarning("Warning", "The settings cannot be written to " + settingsFile_ + ".");
    return;
  }
  accept();
}
