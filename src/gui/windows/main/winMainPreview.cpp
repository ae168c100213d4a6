// The main window's preview panel: its player, the seek and volume bars,
// the play buttons, the clocks and snapshots.
#include <algorithm>

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include "app/PreviewRules.h"
#include "app/Snapshot.h"
#include "controls/Tracker2.h"
#include "engine/libav/FFmpegLoader.h"
#include "gui/widgets/PictureButton.h"
#include "gui/common/QtHandOver.h"
#include "gui/windows/main/winMain.h"
#include "platform/Shell.h"
#include "player/qt/PlayerWidget.h"

namespace {

constexpr int kPanelWidth = 385;
constexpr int kPanelHeight = 278;
constexpr int kSeekThumbWidth = 12;
constexpr int kMutePictureWidth = 30;
// How long the window waits after a seek before the position updates move
// the bar again.
constexpr int kSeekSettleMs = 300;

// The two bars: light green ground, a rounded track, the played part orange
// up to the thumb and dark green after it, a round thumb.
void DrawBar(TTrackBar2* bar, QPainter* canvas) {
  const QRect r = bar->rect();
  canvas->fillRect(r, QColor(202, 229, 128));
  const int mid = r.height() / 2;
  const QRect track(2, mid - 3, r.width() - 4, 6);
  canvas->setRenderHint(QPainter::Antialiasing);
  canvas->setPen(QColor(60, 80, 20));
  canvas->setBrush(QColor(74, 101, 0));
  canvas->drawRoundedRect(track, 3, 3);
  const QRect thumb = bar->ThumbRectAt(bar->PositionL());
  const int thumbX = thumb.center().x();
  if (thumbX > 5) {
    canvas->setPen(Qt::NoPen);
    canvas->setBrush(bar->isEnabled() ? QColor(242, 145, 38) : QColor(160, 150, 130));
    canvas->drawRoundedRect(QRect(5, mid - 2, thumbX - 5, 4), 2, 2);
  }
}

void DrawThumb(TTrackBar2* bar, QPainter* canvas, int x, int y) {
  canvas->setRenderHint(QPainter::Antialiasing);
  const QRect r(x, y, bar->ThumbSize(), bar->height() - 2 * y);
  const int d = std::min(r.width(), bar->height() - 4);
  const QRect knob(r.center().x() - d / 2, bar->height() / 2 - d / 2, d, d);
  canvas->setPen(QColor(45, 94, 168));
  canvas->setBrush(bar->isEnabled() ? QColor(255, 255, 255) : QColor(220, 220, 220));
  canvas->drawEllipse(knob);
}

void SetUpBar(TTrackBar2* bar) {
  bar->SetTrackStyle(trUserDrawn);
  bar->SetThumbStyle(tsUserDrawn);
  bar->SetTickStyle(tiUserDrawn);
  bar->SetThumbSize(kSeekThumbWidth);
  bar->setFocusPolicy(Qt::NoFocus);
  bar->OnDrawTrack = DrawBar;
  bar->OnDrawThumb = DrawThumb;
}

}  // namespace

void TfrmMain::CreatePreview() {
  pan1_ = new TPlayerWidget(this);
  pan1_->setObjectName("pan1");
  pan1_->setGeometry(510, 132, kPanelWidth, kPanelHeight);
  pan1_->OnResized = [this](int w, int h) { player_.DisplayResized(w, h); };

  trcPreview = new TTrackBar2(this);
  trcPreview->setObjectName("trcPreview");
  trcPreview->setGeometry(517, 437, 372, 20);
  SetUpBar(trcPreview);
  trcPreview->SetMax(trcPreview->width());
  trcPreview->SetTickInterval(1);
  // Its release reaches the window's application-wide filter; a filter of its
  // own as well would seek twice.
  trcPreview->OnMouseDown = [this](TTrackBar2*, Qt::MouseButton button, Qt::KeyboardModifiers,
                                   int x, int) {
    if (button == Qt::LeftButton) SeekBarPressed(x);
  };
  trcPreview->OnMouseMove = [this](TTrackBar2*, Qt::MouseButtons buttons, Qt::KeyboardModifiers,
                                   int x, int) {
    if (buttons & Qt::LeftButton) SeekBarMoved(x);
  };

  lblTime = new QLabel(kStoppedClockText, this);
  lblTime->setObjectName("lblTime");
  lblTime->setGeometry(787, 419, 56, 16);
  lblTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  auto* slash = new QLabel("/", this);
  slash->setGeometry(845, 419, 6, 16);
  lblPTS = new QLabel(kStoppedClockText, this);
  lblPTS->setObjectName("lblPTS");
  lblPTS->setGeometry(851, 419, 56, 16);

  imgbtnPre = MakePictureButton(this, "imgbtnPre", "pre", 541, 466, 29, 19, "Previous");
  imgbtnPlay = MakePictureButton(this, "imgbtnPlay", "play", 571, 466, 29, 19, "Play");
  imgbtnPause = MakePictureButton(this, "imgbtnPause", "pause", 601, 466, 29, 19, "Pause");
  imgbtnStop = MakePictureButton(this, "imgbtnStop", "stop", 631, 466, 29, 19, "Stop");
  imgbtnNext = MakePictureButton(this, "imgbtnNext", "next", 661, 466, 29, 19, "Next");
  imgbtnSnap = MakePictureButton(this, "imgbtnSnap", "snap", 758, 466, 29, 19, "Snapshot");
  imgbtnMute = MakePictureButton(this, "imgbtnMute", "mute_off", 788, 460, 30, 30, "Mute");
  connect(imgbtnPlay, &QToolButton::clicked, this, &TfrmMain::PlayPreview);
  connect(imgbtnPause, &QToolButton::clicked, this, &TfrmMain::PausePreview);
  connect(imgbtnStop, &QToolButton::clicked, this, &TfrmMain::StopPreview);
  connect(imgbtnPre, &QToolButton::clicked, this, &TfrmMain::PlayPrevious);
  connect(imgbtnNext, &QToolButton::clicked, this, &TfrmMain::PlayNext);
  connect(imgbtnSnap, &QToolButton::clicked, this, &TfrmMain::TakeSnapshot);
  connect(imgbtnMute, &QToolButton::pressed, this, &TfrmMain::ToggleMute);

  trcVolume = new TTrackBar2(this);
  trcVolume->setObjectName("trcVolume");
  trcVolume->setGeometry(819, 466, 70, 20);
  SetUpBar(trcVolume);
  trcVolume->SetThumbSize(10);
  trcVolume->SetMin(0);
  trcVolume->SetMax(128);
  trcVolume->OnMouseMove = [this](TTrackBar2* bar, Qt::MouseButtons buttons, Qt::KeyboardModifiers,
                                  int x, int) {
    if (buttons & Qt::LeftButton)
      bar->SetPositionL(DragPosition(x, bar->width(), (kMutePictureWidth + 1) / 2, bar->Max()));
  };
  trcVolume->OnChange = [this](TTrackBar2*) { VolumeChanged(); };
  BindPlayerEvents();
}

void TfrmMain::BindPlayerEvents() {
  // Events come on the player's event thread and are queued to the window;
  // only the display size the file-open event asks for is answered at once.
  player_.SetTriggerEventInMainThread(false);
  player_.SetOnFileOpen(
      [this](TFFPlayer*, std::int64_t duration, int w, int h, int& screenW, int& screenH) {
        screenW = kPanelWidth;
        screenH = kPanelHeight;
        emit PlayerFileOpened(duration, w, h);
      });
  player_.SetOnPosition([this](TFFPlayer*, std::int64_t pts) { emit PlayerPosition(pts); });
  player_.SetOnState([this](TFFPlayer*, TPlayState state) { emit PlayerState(int(state)); });
  connect(
      this, &TfrmMain::PlayerFileOpened, this,
      [this](qint64 d, int w, int h) { OnFileOpen(d, w, h); }, Qt::QueuedConnection);
  connect(
      this, &TfrmMain::PlayerPosition, this, [this](qint64 pts) { OnPosition(pts); },
      Qt::QueuedConnection);
  connect(
      this, &TfrmMain::PlayerState, this, [this](int s) { OnState(TPlayState(s)); },
      Qt::QueuedConnection);
}

void TfrmMain::LoadVolumeAndMute() {
  const TAppSettings settings(SettingsFile());
  auto onChange = std::move(trcVolume->OnChange);
  trcVolume->SetPositionL(settings.VolumeForBar());
  trcVolume->OnChange = std::move(onChange);
  ShowMuteState(settings.Mute() == 1);
}

void TfrmMain::SetPreviewButtons(bool play, bool pause, bool stop, bool snap) {
  imgbtnPlay->setEnabled(play);
  imgbtnPause->setEnabled(pause);
  imgbtnStop->setEnabled(stop);
  imgbtnSnap->setEnabled(snap);
}

void TfrmMain::UpdatePreviousNext() {
  imgbtnPre->setEnabled(PreviousEnabled(list_.Selected(), list_.Count()));
  imgbtnNext->setEnabled(NextEnabled(list_.Selected(), list_.Count()));
}

void TfrmMain::ResetClocks() {
  lblTime->setText(kStoppedClockText);
  lblPTS->setText(kStoppedClockText);
}

void TfrmMain::PlayPreview() {
  if (pausedByUser_) {
    pausedByUser_ = false;
    if (player_.Paused()) player_.Resume();
    SetPreviewButtons(false, true, true, true);
    return;
  }
  if (!player_.AVLibLoaded() && !player_.LoadAVLib(TFFmpegLoader::DefaultLibraryPath())) {
    mmoLog->appendPlainText(QString::fromStdString(player_.LastErrMsg()));
    return;
  }
  if (list_.Empty()) {
    playAfterAdd_ = true;
    AddFiles();
    return;
  }
  if (list_.Selected() < 0) SelectRow(0);
  const std::string file = list_.Row(list_.Selected()).Caption;
  if (!player_.Open(file, pan1_)) {
    ui_->ShowWarning("Warning",
                     player_.LastErrMsg().empty() ? "Cannot play " + file : player_.LastErrMsg());
    return;
  }
  trcPreview->setEnabled(true);
  SetPreviewButtons(false, true, true, true);
  UpdatePreviousNext();
}

void TfrmMain::PausePreview() {
  if (pausedByUser_) return;
  if (!player_.Paused()) player_.Pause();
  pausedByUser_ = true;
  SetPreviewButtons(true, false, true, true);
}

void TfrmMain::StopPreview() {
  if (player_.Paused()) player_.Resume();
  player_.Stop(true);
  pausedByUser_ = false;
  seeking_ = true;
  trcPreview->SetPositionL(0);
  seeking_ = false;
  trcPreview->setEnabled(false);
  SetPreviewButtons(true, false, false, false);
  ResetClocks();
  pan1_->update();
}

void TfrmMain::PlayPrevious() {
  if (!PreviousEnabled(list_.Selected(), list_.Count())) return;
  SelectRow(list_.Selected() - 1);
  pausedByUser_ = false;
  PlayPreview();
}

void TfrmMain::PlayNext() {
  if (!NextEnabled(list_.Selected(), list_.Count())) return;
  SelectRow(list_.Selected() + 1);
  pausedByUser_ = false;
  PlayPreview();
}

void TfrmMain::OnFileOpen(std::int64_t duration, int frameWidth, int frameHeight) {
  if (player_.FileOpen())
    mmoLog->appendPlainText(QString::fromStdString(player_.AVProbe.FileInfoText()));
  mmoLog->appendPlainText(QString::asprintf("duration: %f, frame size: %dx%d",
                                            double(duration) / 1e6, frameWidth, frameHeight));
  previewDuration_ = duration;
  lblPTS->setText(QString::fromStdString(ClockText(duration)));
  trcPreview->SetTickInterval(1);
  trcPreview->SetMax(trcPreview->width());
  trcPreview->setEnabled(duration > 0);
  player_.SetAudioVolume(trcVolume->PositionL());
  const int mute = TAppSettings(SettingsFile()).Mute();
  if (mute == 1 || mute == 0) player_.SetMute(mute == 1);
  seeking_ = true;
  trcPreview->SetPositionL(0);
  seeking_ = false;
}

void TfrmMain::OnPosition(std::int64_t pts) {
  lblTime->setText(QString::fromStdString(ClockText(pts)));
  if (!seeking_)
    trcPreview->SetPositionL(SeekBarPosition(trcPreview->Max(), pts, previewDuration_));
}

void TfrmMain::OnState(TPlayState state) {
  if (state != psEnd) return;
  seeking_ = true;
  trcPreview->SetPositionL(0);
  seeking_ = false;
  player_.Seek(0, 4, false);
  player_.Pause();
  pausedByUser_ = false;
  SetPreviewButtons(true, false, false, false);
  trcPreview->setEnabled(false);
  ResetClocks();
}

void TfrmMain::SeekBarPressed(int) { seeking_ = true; }

void TfrmMain::SeekBarMoved(int x) {
  if (!seeking_) return;
  trcPreview->SetPositionL(
      DragPosition(x, trcPreview->width(), kSeekThumbWidth / 2, trcPreview->Max()));
}

void TfrmMain::SeekBarReleased() {
  if (!seeking_) return;
  player_.Seek(SeekTargetUs(trcPreview->PositionL(), trcPreview->Max(), previewDuration_), 0,
               false);
  // Position updates from before the seek may still be queued: they must not
  // pull the thumb back, so Seeking stays set while the seek settles.
  QTimer::singleShot(kSeekSettleMs, this, [this] { seeking_ = false; });
}

void TfrmMain::VolumeChanged() {
  player_.SetAudioVolume(trcVolume->PositionL());
  TAppSettings(SettingsFile()).SetVolume(trcVolume->PositionL());
}

void TfrmMain::ShowMuteState(bool muted) {
  ShowMuteButtonState(imgbtnMute, muted, kMutePictureWidth);
}

void TfrmMain::ToggleMute() {
  const bool muted = !MuteButtonState(imgbtnMute);
  player_.SetMute(muted);
  TAppSettings(SettingsFile()).SetMute(muted);
  ShowMuteState(muted);
}

void TfrmMain::TakeSnapshot() {
  const TBitmap full = player_.CurrentFrame();
  if (full.Width() <= 0) return;
  const TBitmap small = StretchBitmap(full, pan1_->width(), pan1_->height());
  const TSnapshotResult result = ::TakeSnapshot(full, small, SettingsFile(), ui_);
  if (!result.Failed.empty())
    ui_->ShowWarning("Warning", "Cannot write the snapshot " + result.Failed.front() + ".");
  if (!result.Written.empty() && !platform::OpenWithDesktop(result.Folder))
    ui_->ShowWarning("Warning", NotOpenedText(result.Folder));
}
