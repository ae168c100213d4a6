#include "gui/windows/dialogs/WinProgress.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>

#include "app/BatchDriver.h"
#include "app/BatchJobs.h"
#include "app/ProgressRules.h"
#include "app/Snapshot.h"
#include "app/UserInteraction.h"
#include "gui/widgets/DialogParts.h"
#include "gui/widgets/PictureButton.h"
#include "gui/widgets/PictureView.h"
#include "gui/widgets/TitleBar.h"

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 460;
constexpr int kTimerMs = 100;
constexpr int kLabelHeight = 16;
constexpr int kRightValueX = 290;
// The label rows under the picture, 19 pixels apart: the file's time and
// size, its length and counter, its name, the batch.
constexpr int kRowTime = 255, kRowLength = 274, kRowFile = 293, kRowBatch = 312;
constexpr const char* kCaption = "Progress";

// A caption label whose text ends just before its value at `valueX`, so the
// colons line up whatever the font.
void MakeCaption(QWidget* parent, const QString& text, int valueX, int y) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(valueX - 86, y, 84, kLabelHeight);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

QLabel* MakeValue(QWidget* parent, const char* name, int x, int y, int width) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setGeometry(x, y, width, kLabelHeight);
  return label;
}

// The row of Pause, Resume and Cancel. Enter must not pause or cancel a
// batch by accident: none of them takes Enter for having the focus.
constexpr int kButtonTop = 409;

}  // namespace

TfrmProgress::TfrmProgress(std::string settingsFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      settingsFile_(std::move(settingsFile)) {
  setObjectName("frmProgress");
  setAttribute(Qt::WA_StyledBackground, true);
  setFixedSize(kWidth, kHeight);
  setModal(true);
  title_ = new TTitleBar(this, kCaption);
  btnClose = title_->CloseButton();
  SetCaption(kCaption);
  CreateLabels();
  CreateControls();
  Timer1 = new QTimer(this);
  Timer1->setInterval(kTimerMs);
  connect(Timer1, &QTimer::timeout, this, &TfrmProgress::TimerTick);
}

void TfrmProgress::CreateLabels() {
  imgPreview = new TPictureView(this);
  imgPreview->setObjectName("imgPreview");
  imgPreview->setGeometry(18, 37, kProgressPictureWidth, kProgressPictureHeight);

  MakeCaption(this, "Current Time:", 94, kRowTime);
  lblTime = MakeValue(this, "lblTime", 94, kRowTime, 100);
  lblTimeLeft = MakeValue(this, "lblTimeLeft", 150, kRowTime, 50);
  lblTimeLeft->setToolTip("Estimated time left for this file");
  MakeCaption(this, "Length:", 94, kRowLength);
  lblLength = MakeValue(this, "lblLength", 94, kRowLength, 100);
  // The right-hand column sits further right than the elapsed time alone
  // would need, to leave room for the estimate beside it.
  MakeCaption(this, "File Size:", kRightValueX, kRowTime);
  lblSize = MakeValue(this, "lblSize", kRightValueX, kRowTime, kWidth - 18 - kRightValueX);
  MakeCaption(this, "Progress:", kRightValueX, kRowLength);
  lblProgress =
      MakeValue(this, "lblProgress", kRightValueX, kRowLength, kWidth - 18 - kRightValueX);
  MakeCaption(this, "File:", 94, kRowFile);
  lblOutput = MakeValue(this, "lblOutput", 94, kRowFile, 283);
  MakeCaption(this, "Batch:", 94, kRowBatch);
  lblBatch = MakeValue(this, "lblBatch", 94, kRowBatch, kWidth - 18 - 94);
  lblBatch->setToolTip("Files done of all files, and the time left for all of them");
}

void TfrmProgress::CreateControls() {
  progbarFile = new QProgressBar(this);
  progbarFile->setObjectName("progbarFile");
  progbarFile->setGeometry(18, 333, 370, 12);
  progbarFile->setRange(0, 100);
  progbarFile->setTextVisible(true);

  ckShutDown = new QCheckBox("Shut down computer after conversion", this);
  ckShutDown->setObjectName("ckShutDown");
  ckShutDown->setGeometry(18, 352, 300, 20);
  ckOpen = new QCheckBox("Open the output folder after conversion", this);
  ckOpen->setObjectName("ckOpen");
  ckOpen->setGeometry(18, 376, 300, 20);

  imgbtnSnap =
      MakePictureButton(this, "imgbtnSnap", "snap_big", 44, 398, 47, 41, "Save snapshot picture");
  btnPause = MakeButton(this, "btnPause", "Pause", 112, kButtonTop, 80, 27);
  btnResume = MakeButton(this, "btnResume", "Resume", 209, kButtonTop, 80, 27);
  btnCancel = MakeButton(this, "btnCancel", "Cancel", 306, kButtonTop, 80, 27);

  connect(imgbtnSnap, &QToolButton::clicked, this, &TfrmProgress::TakeSnapshot);
  connect(btnPause, &QPushButton::clicked, this, &TfrmProgress::Pause);
  connect(btnResume, &QPushButton::clicked, this, &TfrmProgress::Resume);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmProgress::Attach(TBatchDriver* batch, IUserInteraction* ui) {
  batch_ = batch;
  ui_ = ui;
}

void TfrmProgress::SetCaption(const QString& caption) {
  title_->SetCaption(caption);
  setWindowTitle(caption);
}

QString TfrmProgress::Caption() const { return title_->Caption(); }

void TfrmProgress::Reset() {
  for (QLabel* label : {lblTime, lblTimeLeft, lblLength, lblSize, lblProgress, lblOutput, lblBatch})
    label->clear();
  lblOutput->setToolTip("");
  SetCaption(kCaption);
  ckOpen->setChecked(true);
  btnPause->setEnabled(true);
  btnResume->setEnabled(false);
  shown_ = FittedPicture(TBitmap());
  shownCount_ = -1;
  imgPreview->SetPicture(QImage());
  progbarFile->setRange(0, 100);
  progbarFile->setValue(0);
}

void TfrmProgress::RunModal() {
  Reset();
  startPending_ = true;
  exec();
}

void TfrmProgress::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!startPending_) return;
  startPending_ = false;
  Timer1->start();
  btnPause->setFocus();
  if (batch_) batch_->StartTasks();
}

void TfrmProgress::Close() {
  if (isVisible()) reject();
}

void TfrmProgress::done(int result) {
  // Stopping pumps the hand-over, so the end-of-batch notice may close the
  // window again from inside this call.
  if (closing_) return;
  closing_ = true;
  Timer1->stop();
  startPending_ = false;
  if (batch_) batch_->Cancel();
  closing_ = false;
  QDialog::done(result);
}

void TfrmProgress::ShowProgress(const TProgressTexts& texts) {
  lblTime->setText(QString::fromStdString(texts.Elapsed));
  lblTimeLeft->setText(QString::fromStdString(texts.TimeLeft));
  PlaceTimeLeft();
  lblLength->setText(QString::fromStdString(texts.Length));
  lblSize->setText(QString::fromStdString(texts.Size));
  lblProgress->setText(QString::fromStdString(texts.Counter));
  const QString file = QString::fromStdString(texts.File);
  lblOutput->setText(
      lblOutput->fontMetrics().elidedText(file, Qt::ElideMiddle, lblOutput->width()));
  lblOutput->setToolTip(file);
  ShowBatch(texts);
}

void TfrmProgress::ShowBatch(const TProgressTexts& batch) {
  lblBatch->setText(QString::fromStdString(BatchLineText(batch)));
  SetCaption(QString::fromStdString(ProgressTitle(batch.BatchPercent)));
}

// The estimate follows the elapsed time's text, however long that is.
void TfrmProgress::PlaceTimeLeft() {
  const int x = lblTime->x() + lblTime->fontMetrics().horizontalAdvance(lblTime->text()) + 8;
  lblTimeLeft->setGeometry(x, lblTime->y(),
                           lblTimeLeft->fontMetrics().horizontalAdvance(lblTimeLeft->text()) + 2,
                           kLabelHeight);
}

void TfrmProgress::SetFilePercent(int percent) { progbarFile->setValue(percent); }

void TfrmProgress::TaskEnded(const TTerminateInfo&) {
  // The next file makes its own estimate.
  lblTimeLeft->clear();
}

bool TfrmProgress::OpenFolderChecked() const { return ckOpen->isChecked(); }

bool TfrmProgress::ShutDownChecked() const { return ckShutDown->isChecked(); }

void TfrmProgress::ShowNotice(const std::string& text) {
  if (ui_) ui_->ShowWarning("Warning", text);
}

void TfrmProgress::Pause() {
  if (batch_) batch_->Pause();
  btnPause->setEnabled(false);
  btnResume->setEnabled(true);
  btnResume->setFocus();
}

void TfrmProgress::Resume() {
  if (batch_) batch_->Resume();
  btnPause->setEnabled(true);
  btnResume->setEnabled(false);
  btnPause->setFocus();
}

void TfrmProgress::TimerTick() {
  if (!batch_ || batch_->PreviewBitmap().Empty() || batch_->PreviewCount() == shownCount_) return;
  shownCount_ = batch_->PreviewCount();
  shown_ = FittedPicture(batch_->PreviewBitmap());
  imgPreview->SetPicture(BitmapImage(shown_));
}

void TfrmProgress::TakeSnapshot() {
  if (!batch_) return;
  const TSnapshotResult result =
      ::TakeSnapshot(batch_->PreviewBitmap(), shown_, settingsFile_, ui_);
  if (!result.Failed.empty() && ui_)
    ui_->ShowWarning("Warning", "Cannot write the snapshot " + result.Failed.front() + ".");
}
