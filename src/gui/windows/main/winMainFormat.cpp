// The main window's output format picker (read-only field, drop-down arrow,
// grouped list opening upwards) and the output folder controls.
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

#include "app/FolderChoice.h"
#include "app/OptionBuilder.h"
#include "app/PreviewRules.h"
#include "gui/common/Theme.h"
#include "gui/widgets/ClickField.h"
#include "gui/widgets/DialogParts.h"
#include "gui/widgets/FormatListBox.h"
#include "gui/windows/main/winMain.h"

void TfrmMain::CreateFormatPicker() {
  MakeLabel(this, "Output Format:", 14, 496, 88, 20);
  auto* field = new TClickField(this);
  edt1 = field;
  edt1->setObjectName("edt1");
  edt1->setReadOnly(true);
  edt1->setGeometry(104, 494, 334, 22);
  edt1->setTextMargins(0, 0, 18, 0);
  edt1->setCursor(Qt::ArrowCursor);
  imgbtn1 = new QToolButton(this);
  imgbtn1->setObjectName("imgbtn1");
  imgbtn1->setProperty("picture", true);
  imgbtn1->setIcon(theme::ArtworkIcon("dropdown", QSize(18, 22)));
  imgbtn1->setIconSize(QSize(16, 20));
  imgbtn1->setGeometry(420, 494, 18, 22);
  imgbtn1->setFocusPolicy(Qt::NoFocus);
  btnOptions = new QPushButton("Settings", this);
  btnOptions->setObjectName("btnOptions");
  btnOptions->setGeometry(451, 492, 60, 26);

  lst1_ = new TFormatListBox(this);
  lst1_->setObjectName("lst1");
  lst1_->hide();

  field->OnClick = [this] {
    if (lst1_->isVisible())
      CloseFormatList();
    else
      ShowFormatList(true);
  };
  field->OnDoubleClick = [this] {
    edt1->setText(QString::fromStdString(TAppSettings(SettingsFile()).FormatName()));
    ShowFormatList(false, false);
  };
  connect(imgbtn1, &QToolButton::clicked, this, [this] {
    if (lst1_->isVisible())
      CloseFormatList();
    else
      ShowFormatList(false);
  });
  connect(lst1_, &TFormatListBox::Picked, this, &TfrmMain::PickFormat);
  connect(lst1_, &TFormatListBox::ClosedByKey, this, &TfrmMain::CloseFormatList);
  connect(lst1_, &TFormatListBox::RowCountChanged, this, &TfrmMain::SizeFormatList);
  connect(btnOptions, &QPushButton::clicked, this, [this] {
    lst1_->SaveGroupStates(SettingsFile());
    ShowSettingsDialog();
  });
}

void TfrmMain::ReloadFormat() {
  lst1_->Build(SettingsFile());
  edt1->setText(QString::fromStdString(TAppSettings(SettingsFile()).FormatName()));
}

void TfrmMain::ShowFormatList(bool movePointer, bool resize) {
  lst1_->SelectName(TAppSettings(SettingsFile()).FormatName());
  if (resize || !lst1_->isVisible()) SizeFormatList();
  lst1_->show();
  lst1_->raise();
  lst1_->setFocus();
  lst1_->EnsureVisible(lst1_->CurrentRow());
  if (movePointer && lst1_->CurrentRow() >= 0) {
    const QRect row = lst1_->RowRect(lst1_->CurrentRow());
    QCursor::setPos(lst1_->viewport()->mapToGlobal(row.center()));
  }
}

// Also after every group that opens or closes, so the rows never hide behind
// a scroll bar while there is room for them.
void TfrmMain::SizeFormatList() {
  const int height = FormatListHeight(lst1_->List().Count());
  // The list opens upwards: its bottom edge on the field's top.
  lst1_->setGeometry(edt1->x(), edt1->y() - height, edt1->width(), height);
  lst1_->EnsureVisible(lst1_->CurrentRow());
}

void TfrmMain::CloseFormatList() {
  if (lst1_ && lst1_->isVisible()) lst1_->hide();
}

void TfrmMain::PickFormat(const QString& name, int code) {
  TAppSettings settings(SettingsFile());
  settings.SetFormatName(name.toStdString());
  settings.SetFormatCode(code);
  edt1->setText(name);
  CloseFormatList();
  // The rows name the files this format will write.
  list_.RefreshDestinations(ui_);
}

void TfrmMain::CreateOutputFolder() {
  MakeLabel(this, "Output Directory:", 4, 533, 98, 20);
  edDirectory = new QLineEdit(this);
  edDirectory->setObjectName("edDirectory");
  edDirectory->setReadOnly(true);
  edDirectory->setGeometry(104, 532, 277, 22);
  btnBrows = new QPushButton("Browse", this);
  btnBrows->setObjectName("btnBrows");
  btnBrows->setGeometry(391, 530, 56, 26);
  btnOpen = new QPushButton("Open", this);
  btnOpen->setObjectName("btnOpen");
  btnOpen->setGeometry(451, 530, 60, 26);
  connect(btnBrows, &QPushButton::clicked, this, &TfrmMain::BrowseOutputFolder);
  connect(btnOpen, &QPushButton::clicked, this, &TfrmMain::OpenOutputFolder);
}

void TfrmMain::BrowseOutputFolder() {
  const QString current = edDirectory->text();
  const QString folder = ChooseFolder ? ChooseFolder(current) : BrowseForFolder(current);
  if (folder.isEmpty() || folder == current) return;
  if (!StoreBrowsedFolder(SettingsFile(), TFolderSetting::fsOutput, S(folder), *ui_)) return;
  edDirectory->setText(Q(TAppSettings(SettingsFile()).OutPutDir()));
  list_.RefreshDestinations(ui_);
}

void TfrmMain::OpenOutputFolder() {
  if (!::OpenOutputFolder(SettingsFile()))
    ui_->ShowWarning("Warning", NotOpenedText(TAppSettings(SettingsFile()).OutPutDir()));
}
