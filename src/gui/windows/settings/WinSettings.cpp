#include "gui/windows/settings/WinSettings.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

#include "app/SettingsStore.h"
#include "gui/common/Theme.h"
#include "gui/widgets/ClickField.h"
#include "gui/widgets/FormatListBox.h"

namespace {

constexpr int kWidth = 475;
constexpr int kHeight = 370;
constexpr QRect kFieldRect(104, 12, 331, 22);
constexpr int kArrowWidth = 18;

}  // namespace

TfrmSettings::TfrmSettings(std::string settingsFile, std::string profileFile, QWidget* owner)
    : QDialog(owner),
      settingsFile_(std::move(settingsFile)),
      profileFile_(std::move(profileFile)),
      qtUi_(this),
      ui_(&qtUi_) {
  setObjectName("frmSettings");
  setWindowTitle("Settings");
  setModal(true);
  setFixedSize(kWidth, kHeight);
  CreateFormatPicker();
  CreateVideoGroup();
  CreateAudioGroup();
  CreateButtons();
  lst1->raise();
}

void TfrmSettings::SetUserInteraction(IUserInteraction* ui) { ui_ = ui ? ui : &qtUi_; }

IUserInteraction& TfrmSettings::Ui() const { return *ui_; }

void TfrmSettings::CreateFormatPicker() {
  auto* label = new QLabel("Output Format:", this);
  label->setGeometry(12, kFieldRect.y() + 1, 90, 20);
  auto* field = new TClickField(this);
  edt1 = field;
  edt1->setObjectName("edt1");
  edt1->setReadOnly(true);
  edt1->setGeometry(kFieldRect);
  edt1->setTextMargins(4, 2, kArrowWidth, 0);
  edt1->setCursor(Qt::ArrowCursor);
  imgbtn1 = new QToolButton(this);
  imgbtn1->setObjectName("imgbtn1");
  imgbtn1->setProperty("picture", true);
  imgbtn1->setIcon(theme::ArtworkIcon("dropdown", QSize(kArrowWidth, kFieldRect.height())));
  imgbtn1->setIconSize(QSize(kArrowWidth - 2, kFieldRect.height() - 2));
  imgbtn1->setGeometry(kFieldRect.right() + 1 - kArrowWidth, kFieldRect.y(), kArrowWidth,
                       kFieldRect.height());
  imgbtn1->setFocusPolicy(Qt::NoFocus);
  lst1 = new TFormatListBox(this);
  lst1->setObjectName("lst1");
  lst1->hide();

  const auto toggle = [this] {
    if (lst1->isVisible())
      CloseFormatList();
    else
      ShowFormatList();
  };
  field->OnClick = toggle;
  field->OnDoubleClick = [this] { ShowFormatList(false); };
  connect(imgbtn1, &QToolButton::clicked, this, toggle);
  connect(lst1, &TFormatListBox::Picked, this, &TfrmSettings::PickFormat);
  connect(lst1, &TFormatListBox::ClosedByKey, this, &TfrmSettings::CloseFormatList);
  connect(lst1, &TFormatListBox::RowCountChanged, this, &TfrmSettings::SizeFormatList);
  connect(edt1, &QLineEdit::textChanged, this, &TfrmSettings::FormatFieldChanged);
}

void TfrmSettings::CreateVideoGroup() {
  grpVideo = new QGroupBox("Video Options", this);
  grpVideo->setObjectName("grpVideo");
  grpVideo->setGeometry(10, 46, kWidth - 20, 130);
  cmbVideoSize = MakeBox(grpVideo, ckVideoSize, "Frame Size:", 0, 0);
  cmbVideoBitRate = MakeBox(grpVideo, ckVideoBitRate, "BitRate (Kbps):", 1, 0);
  cmbVideoEncoder = MakeBox(grpVideo, ckVideoEncoder, "Encoder:", 0, 1);
  cmbFrameRate = MakeBox(grpVideo, ckFrameRate, "FrameRate (Fps):", 1, 1);
  cmbZoom = MakeBox(grpVideo, ckChoiceKeyCount, "Zoom:", 0, 2);
  cmbZoom->setObjectName("cmbZoom");
  cmbZoom->addItems({"Full screen", "Letterbox", "Pan and Scan"});
  cmbZoom->setMaxVisibleItems(cmbZoom->count());
}

void TfrmSettings::CreateAudioGroup() {
  grpAudio = new QGroupBox("Audio Options", this);
  grpAudio->setObjectName("grpAudio");
  grpAudio->setGeometry(10, 184, kWidth - 20, 130);
  cmbSamplerate = MakeBox(grpAudio, ckSampleRate, "SampleRate (Hz):", 0, 0);
  cmbAudioBitRate = MakeBox(grpAudio, ckAudioBitRate, "BitRate (Kbps):", 1, 0);
  cmbAudioEncoder = MakeBox(grpAudio, ckAudioEncoder, "Encoder:", 0, 1);
  cmbVolume = MakeBox(grpAudio, ckVolume, "Volume:", 1, 1);
  cmbChannel = MakeBox(grpAudio, ckChannel, "Channel:", 0, 2);
}

void TfrmSettings::CreateButtons() {
  btnDefault = new QPushButton("&Default", this);
  btnOk = new QPushButton("&Ok", this);
  btnCancel = new QPushButton("&Cancel", this);
  btnDefault->setObjectName("btnDefault");
  btnOk->setObjectName("btnOk");
  btnCancel->setObjectName("btnCancel");
  btnDefault->setGeometry(10, 330, 80, 26);
  btnOk->setGeometry(kWidth - 180, 330, 80, 26);
  btnCancel->setGeometry(kWidth - 90, 330, 80, 26);
  btnOk->setDefault(true);
  connect(btnDefault, &QPushButton::clicked, this, &TfrmSettings::RestoreDefaults);
  connect(btnOk, &QPushButton::pressed, this, [this] {
    okRefused_ = refusedToward_ == btnOk;
    refusedToward_ = nullptr;
  });
  connect(btnOk, &QPushButton::clicked, this, &TfrmSettings::StoreAndClose);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmSettings::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  qApp->installEventFilter(this);
  Initialise();
}

void TfrmSettings::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  if (event->spontaneous()) return;
  qApp->removeEventFilter(this);
  CloseFormatList();
}

void TfrmSettings::Initialise() {
  setFixedSize(kWidth, kHeight);
  if (QWidget* owner = parentWidget()) move(owner->window()->geometry().center() - rect().center());
  CloseFormatList();
  refusedToward_ = nullptr;
  okRefused_ = false;
  // Nothing the user typed is left to check: the boxes start afresh.
  filling_ = true;
  edt1->setFocus();
  lst1->Build(settingsFile_);
  const TDialogFormat format = ReadDialogFormat(settingsFile_);
  edt1->setText(Q(format.FieldText));
  lst1->SelectName(format.FieldText);
  currentName_ = format.Name;
  currentCode_ = format.Code;
  FillBoxes(TFillMode::fmShow);
  filling_ = false;
}

void TfrmSettings::ShowFormatList(bool resize) {
  lst1->SelectName(currentName_);
  if (resize || !lst1->isVisible()) SizeFormatList();
  lst1->show();
  lst1->raise();
  lst1->setFocus();
  lst1->EnsureVisible(lst1->CurrentRow());
}

// Also after every group that opens or closes.
void TfrmSettings::SizeFormatList() {
  // Opens downwards, overlapping the field's bottom edge by one pixel.
  const int height = GroupedListHeight(lst1->List().Count(), kSettingsListCap);
  lst1->setGeometry(edt1->x(), edt1->geometry().bottom(), edt1->width(), height);
  lst1->EnsureVisible(lst1->CurrentRow());
}

void TfrmSettings::CloseFormatList() {
  if (!lst1 || !lst1->isVisible()) return;
  // The focus goes back to the field the list belongs to, not on to the next
  // box, which would then be checked on leaving without the user entering it.
  if (lst1->hasFocus()) edt1->setFocus();
  lst1->hide();
}

void TfrmSettings::PickFormat(const QString& name, int code) {
  currentName_ = S(name);
  currentCode_ = code;
  edt1->setText(name);
  CloseFormatList();
}

void TfrmSettings::FormatFieldChanged() {
  if (!filling_) FillBoxes(TFillMode::fmPick);
}

void TfrmSettings::RestoreDefaults() {
  const TFormatChoices factory =
      FactoryChoices(TFormatProfile(profileFile_, currentCode_), currentName_);
  for (int i = 0; i < ckChoiceKeyCount; ++i) SelectItem(boxes_[i], factory.Boxes[i].Index);
  SelectItem(cmbZoom, factory.ZoomIndex);
}

void TfrmSettings::StoreAndClose() {
  // The press on Ok already showed a refusal: the user sees the reset box
  // first and presses again.
  if (okRefused_) {
    okRefused_ = false;
    return;
  }
  if (!CheckFocusedBox()) return;
  if (!StoreDialogChoices(settingsFile_, profileFile_, currentCode_, currentName_, Choices(),
                          lst1->List())) {
    Ui().ShowWarning("Warning", "The settings cannot be written to " + settingsFile_ + ".");
    return;
  }
  emit Stored();
  accept();
}

bool TfrmSettings::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      if (const TChoiceKey key = KeyOf(watched); key != ckChoiceKeyCount)
        if (!FilterKey(key, static_cast<QKeyEvent*>(event))) return true;
      break;
    case QEvent::FocusOut:
      if (const TChoiceKey key = KeyOf(watched); key != ckChoiceKeyCount)
        BoxLostFocus(key, static_cast<QFocusEvent*>(event));
      break;
    case QEvent::MouseButtonPress: {
      const auto& press = static_cast<const QMouseEvent&>(*event);
      if (lst1->isVisible() && press.button() == Qt::LeftButton &&
          !lst1->PressIsOnPicker(press, {imgbtn1, edt1}))
        CloseFormatList();
      break;
    }
    case QEvent::ApplicationDeactivate: CloseFormatList(); break;
    default: break;
  }
  return QDialog::eventFilter(watched, event);
}
