#include "gui/windows/edit/WinTrim.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "app/EditStore.h"
#include "app/SourceList.h"
#include "controls/Tracker2.h"
#include "editing/FrameEffects.h"
#include "gui/widgets/DialogParts.h"
#include "gui/widgets/EditBars.h"
#include "gui/widgets/PictureButton.h"
#include "gui/widgets/TitleBar.h"
#include "player/qt/PlayerWidget.h"

namespace {

constexpr int kWidth = 902;
constexpr int kHeight = 548;
constexpr int kPanelWidth = 845;
constexpr int kPanelHeight = 387;
const QRect kRangeBar(32, 473, 838, 20);
constexpr int kButtonRow = 510;

QString SecondsText(std::int64_t seconds) { return QString::fromStdString(FormatSeconds(seconds)); }

QLineEdit* MakeTimeField(QWidget* parent, const char* name, int x) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(name);
  field->setGeometry(x, kButtonRow - 1, 70, 22);
  field->setEnabled(false);
  field->setAlignment(Qt::AlignCenter);
  return field;
}

}  // namespace

TfrmTrim::TfrmTrim(TSourceList& list, std::string settingsFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      list_(list),
      settingsFile_(std::move(settingsFile)) {
  setObjectName("frmTrim");
  setWindowTitle("Trim");
  setAttribute(Qt::WA_StyledBackground, true);
  setFixedSize(kWidth, kHeight);
  setModal(true);
  CreateControls();
  CreateBars();
  const TPlaybackPanel::TControls controls{.Play = imgbtnPlay,
                                           .Pause = imgbtnpause,
                                           .Stop = imgbtnStop,
                                           .Bar = trcPreview,
                                           .Time = lblTime,
                                           .Length = lblPTS,
                                           .Panel = imgPreview};
  playback_ = std::make_unique<TEditPlayback>(
      controls, TPlaybackPanel::TLook{editbars::kPlayThumbWidth / 2.0}, TBarRounding::Round,
      settingsFile_);
  playback_->SetDisplay(imgPreview, kPanelWidth, kPanelHeight);
  playback_->Panel().WatchBar(trcPosition);
  playback_->Panel().OnFileOpened = [this](std::int64_t durationUs, int, int) {
    OnFileOpen(durationUs);
  };
  // The libraries are loaded when the window is made; a failure shows when
  // the window opens a file.
  playback_->EnsureLibraries();
}

// The player stops (and its threads end) while the window is whole: a
// picture or an event in flight still finds everything it touches.
TfrmTrim::~TfrmTrim() {
  playback_->Shutdown();
  playback_.reset();
}

void TfrmTrim::CreateControls() {
  auto* title = new TTitleBar(this, "Trim");
  btnClose = title->CloseButton();
  imgPreview = new TPlayerWidget(this);
  imgPreview->setObjectName("imgPreview");
  imgPreview->setGeometry(28, 40, kPanelWidth, kPanelHeight);

  imgbtnPlay = MakePictureButton(this, "imgbtnPlay", "play", 32, kButtonRow, 29, 19, "Play");
  imgbtnpause = MakePictureButton(this, "imgbtnpause", "pause", 62, kButtonRow, 29, 19, "Pause");
  imgbtnStop = MakePictureButton(this, "imgbtnStop", "stop", 92, kButtonRow, 29, 19, "Stop");
  MakeLabel(this, "Trim Start: ", 140, kButtonRow, 62, 20);
  edtStart = MakeTimeField(this, "edtStart", 204);
  MakeLabel(this, "Trim End: ", 290, kButtonRow, 56, 20);
  edtTrimLength = MakeTimeField(this, "edtTrimLength", 348);
  lblTime = MakeLabel(this, "", 436, kButtonRow, 56, 20);
  lblTime->setObjectName("lblTime");
  lblTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  MakeLabel(this, "/", 495, kButtonRow, 8, 20);
  lblPTS = MakeLabel(this, "", 505, kButtonRow, 56, 20);
  lblPTS->setObjectName("lblPTS");

  btnDefault = MakeButton(this, "btnDefault", "&Default", 612, kButtonRow - 3, 80, 26, true);
  btnOk = MakeButton(this, "btnOk", "Ok", 700, kButtonRow - 3, 80, 26, true);
  btnCancel = MakeButton(this, "btnCancel", "Cancel", 788, kButtonRow - 3, 80, 26, true);
  btnOk->setDefault(true);
  connect(btnDefault, &QPushButton::clicked, this, &TfrmTrim::Default);
  connect(btnOk, &QPushButton::clicked, this, &TfrmTrim::Ok);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmTrim::CreateBars() {
  trcPreview = new TTrackBar2(this);
  trcPreview->setObjectName("trcPreview");
  trcPreview->setGeometry(32, 442, kRangeBar.width() - 3, 20);
  editbars::SetUpPlayBar(trcPreview, {0, trcPreview->width() - 6, 4});
  trcPreview->SetMax(0);

  trcPosition = new TTrackBar2(this);
  trcPosition->setObjectName("trcPosition");
  trcPosition->setGeometry(kRangeBar);
  editbars::SetUpRangeBar(
      trcPosition, [this] { return range_.LeftThumbX(); }, [this] { return range_.RightThumbX(); },
      [this] { return range_.TrackWidth(); });
  range_.SetBar(kRangeBar.width(), editbars::kRangeThumbWidth);
  trcPosition->OnMouseDown = [this](TTrackBar2*, Qt::MouseButton button, Qt::KeyboardModifiers,
                                    int x, int) {
    if (button == Qt::LeftButton) RangePressed(x);
  };
  trcPosition->OnMouseMove = [this](TTrackBar2*, Qt::MouseButtons buttons, Qt::KeyboardModifiers,
                                    int x, int) {
    if (buttons & Qt::LeftButton) RangeDragged(x);
  };
  trcPreview->setEnabled(false);
  trcPosition->setEnabled(false);
}

void TfrmTrim::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  Prepare();
}

void TfrmTrim::Prepare() {
  trcPosition->setGeometry(kRangeBar);
  lblPTS->clear();
  lblTime->clear();
  row_ = list_.Selected();
  if (row_ < 0 || row_ >= list_.Count()) return;
  if (!playback_->EnsureLibraries()) return;
  if (!playback_->Open(list_.Row(row_).Caption)) return;
  const TlvFilesRecord& record = list_.Record(row_);
  range_.Load(record.TrimStart, record.TrimLength);
  edtStart->setText(SecondsText(range_.StartSec()));
  edtTrimLength->setText(SecondsText(range_.EndSec()));
  trcPosition->update();
}

// Runs during the player's Open.
void TfrmTrim::OnFileOpen(std::int64_t durationUs) {
  range_.SetDuration(durationUs);
  const int max = int(range_.DurationSec());
  lblPTS->setText(SecondsText(range_.DurationSec()));
  trcPreview->SetMax(max);
  trcPosition->SetMax(max);
  trcPosition->SetPositionU(max);
  trcPosition->SetPositionL(0);
  range_.SetBar(trcPosition->width(), editbars::kRangeThumbWidth);
  // Without a duration there is nothing to mark or seek in: Ok then keeps
  // the whole file.
  trcPosition->setEnabled(range_.HasDuration());
}

void TfrmTrim::RangePressed(int x) { ShowMoved(range_.Press(x)); }

void TfrmTrim::RangeDragged(int x) {
  int lower = 0;
  unsigned moved = TTrimRange::tmNone;
  if (!range_.Drag(x, lower, moved)) return;
  trcPosition->SetPositionL(lower);
  ShowMoved(moved);
}

void TfrmTrim::ShowMoved(unsigned moved) {
  if (moved & TTrimRange::tmStart) {
    trcPreview->SetPositionL(int(range_.StartSec()));
    edtStart->setText(SecondsText(range_.StartSec()));
  }
  if (moved & TTrimRange::tmEnd) {
    trcPreview->SetPositionL(int(range_.EndSec()));
    edtTrimLength->setText(SecondsText(range_.EndSec()));
  }
  trcPosition->update();
}

void TfrmTrim::Default() {
  range_.Default();
  edtStart->setText("00:00:00");
  edtTrimLength->setText(SecondsText(range_.DurationSec()));
}

void TfrmTrim::Ok() {
  StoreTrim(list_, row_, range_.Result());
  accept();
}

void TfrmTrim::done(int result) {
  playback_->Close(false);
  QDialog::done(result);
}
