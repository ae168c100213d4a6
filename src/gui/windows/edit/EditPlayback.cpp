#include "gui/windows/edit/EditPlayback.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

#include "app/GlobalUnit.h"
#include "app/PreviewRules.h"
#include "controls/Tracker2.h"
#include "engine/libav/FFmpegLoader.h"

namespace {

// How long SeekPending outlives a seek: position reports from before it
// may still be queued and must not pull the bar back.
constexpr int kSeekSettleMs = 300;

}  // namespace

TEditPlayback::TEditPlayback(const TControls& controls, const TBarRules& rules,
                             std::string settingsFile)
    : c_(controls),
      rules_(rules),
      settingsFile_(std::move(settingsFile)),
      player_(std::make_unique<TFFPlayer>()) {
  seekSettle_.setSingleShot(true);
  seekSettle_.setInterval(kSeekSettleMs);
  connect(&seekSettle_, &QTimer::timeout, this, [this] {
    seekPending_ = false;
    seekIssued_ = false;
  });
  connect(c_.Play, &QToolButton::clicked, this, &TEditPlayback::Play);
  connect(c_.Pause, &QToolButton::clicked, this, &TEditPlayback::Pause);
  connect(c_.Stop, &QToolButton::clicked, this, &TEditPlayback::Stop);
  c_.Bar->OnMouseMove = [this](TTrackBar2* bar, Qt::MouseButtons buttons, Qt::KeyboardModifiers,
                               int x, int) {
    if (buttons & Qt::LeftButton)
      bar->SetPositionL(DragPosition(x, bar->width(), rules_.DragReserve, bar->Max()));
  };
  WatchBar(c_.Bar);
  BindPlayer();
}

TEditPlayback::~TEditPlayback() {
  SetWatching(false);
  Shutdown();
}

void TEditPlayback::BindPlayer() {
  player_->SetTriggerEventInMainThread(false);
  player_->SetOnFileOpen(
      [this](TFFPlayer*, std::int64_t duration, int w, int h, int& screenW, int& screenH) {
        screenW = displayWidth_;
        screenH = displayHeight_;
        FileOpened(duration, w, h);
      });
  player_->SetOnPosition([this](TFFPlayer*, std::int64_t pts) { emit PlayerPosition(pts); });
  player_->SetOnState([this](TFFPlayer*, TPlayState state) { emit PlayerState(int(state)); });
  connect(
      this, &TEditPlayback::PlayerPosition, this, [this](qint64 pts) { OnPosition(pts); },
      Qt::QueuedConnection);
  connect(
      this, &TEditPlayback::PlayerState, this, [this](int s) { OnState(TPlayState(s)); },
      Qt::QueuedConnection);
}

void TEditPlayback::SetDisplay(IDisplayTarget* display, int width, int height) {
  display_ = display;
  displayWidth_ = width;
  displayHeight_ = height;
}

void TEditPlayback::WatchBar(QWidget* bar) { watchedBars_.push_back(bar); }

void TEditPlayback::SetWatching(bool on) {
  if (on == watching_) return;
  watching_ = on;
  if (on)
    qApp->installEventFilter(this);
  else
    qApp->removeEventFilter(this);
}

bool TEditPlayback::EnsureLibraries() {
  return player_->AVLibLoaded() || player_->LoadAVLib(TFFmpegLoader::DefaultLibraryPath());
}

bool TEditPlayback::Open(const std::string& file) {
  file_ = file;
  if (!EnsureLibraries() || !player_->Open(file, display_)) {
    ShowNotPlaying();
    return false;
  }
  ShowPlaying();
  return true;
}

void TEditPlayback::FileOpened(std::int64_t durationUs, int frameWidth, int frameHeight) {
  durationUs_ = durationUs > 0 ? durationUs : 0;
  const int mute = TAppSettings(settingsFile_).Mute();
  if (mute == 0 || mute == 1) player_->SetMute(mute == 1);
  seekPending_ = false;
  if (OnFileOpened) OnFileOpened(durationUs_, frameWidth, frameHeight);
  c_.Bar->setEnabled(BarUsable());
  c_.Bar->SetPositionL(0);
}

void TEditPlayback::MarkNotStarted() {
  playPaused_ = true;
  playStopped_ = true;
}

void TEditPlayback::ShowPlaying() {
  playPaused_ = false;
  playStopped_ = false;
  c_.Play->setEnabled(false);
  c_.Pause->setEnabled(true);
  c_.Stop->setEnabled(true);
  c_.Bar->setEnabled(BarUsable());
}

void TEditPlayback::ShowNotPlaying() {
  c_.Play->setEnabled(true);
  c_.Pause->setEnabled(false);
  c_.Stop->setEnabled(false);
  c_.Bar->setEnabled(false);
}

void TEditPlayback::Play() {
  if (playPaused_) {
    player_->Resume();
    ShowPlaying();
    return;
  }
  if (playStopped_ && !file_.empty()) Open(file_);
}

void TEditPlayback::Pause() {
  playPaused_ = true;
  playStopped_ = false;
  player_->Pause();
  c_.Play->setEnabled(true);
  c_.Pause->setEnabled(false);
}

void TEditPlayback::Stop() {
  if (player_->Paused()) player_->Resume();
  player_->Stop(true);
  c_.Bar->SetPositionL(0);
  c_.Bar->setEnabled(false);
  playStopped_ = true;
  playPaused_ = false;
  c_.Play->setEnabled(true);
  c_.Stop->setEnabled(false);
  c_.Pause->setEnabled(false);
  c_.Time->setText(kStoppedClockText);
  c_.Length->setText(kStoppedClockText);
  if (c_.Panel) c_.Panel->update();
}

void TEditPlayback::Close(bool wait) {
  seekSettle_.stop();
  seekPending_ = false;
  seekIssued_ = false;
  player_->Stop(wait);
}

void TEditPlayback::Shutdown() {
  player_->SetOnFileOpen(nullptr);
  player_->SetOnPosition(nullptr);
  player_->SetOnState(nullptr);
  player_->SetOnHook(nullptr);
  player_->Stop(true);
}

void TEditPlayback::OnPosition(std::int64_t pts) {
  c_.Time->setText(QString::fromStdString(ClockText(pts)));
  if (seekPending_) return;
  TTrackBar2* bar = c_.Bar;
  bar->SetPositionL(rules_.TruncatePositions
                        ? SeekBarPositionTruncated(bar->Max(), pts, durationUs_)
                        : SeekBarPosition(bar->Max(), pts, durationUs_));
}

void TEditPlayback::OnState(TPlayState state) {
  switch (state) {
    case psPause:
      playPaused_ = true;
      playStopped_ = false;
      c_.Play->setEnabled(true);
      c_.Pause->setEnabled(false);
      break;
    case psStop:
      // The stop of a file that has been replaced since (Play after Stop,
      // the window shown again) comes late: the new file plays on.
      if (player_->FileOpen()) break;
      playPaused_ = false;
      playStopped_ = true;
      ShowNotPlaying();
      break;
    case psEnd:
      if (!player_->FileOpen()) break;
      c_.Play->setEnabled(true);
      c_.Pause->setEnabled(false);
      playStopped_ = true;
      player_->Seek(0, 0, false);
      player_->Pause();
      break;
    default:
      break;
  }
}

// A duration the player cannot tell leaves nothing to seek in.
bool TEditPlayback::BarUsable() const { return durationUs_ > 0 && c_.Bar->Max() > 0; }

bool TEditPlayback::Watched(QObject* object) const {
  for (QWidget* bar : watchedBars_)
    if (object == bar) return bar->isEnabled();
  return false;
}

void TEditPlayback::SeekToBar() {
  const TTrackBar2* bar = c_.Bar;
  player_->Seek(SeekTargetUs(bar->PositionL(), bar->Max(), durationUs_), 0, false);
}

// Runs before the pressed or released control's own handling. A release
// reaches the filter once for the window and once more for each widget it
// is passed to, hence seekIssued_.
bool TEditPlayback::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && Watched(watched)) {
    seekSettle_.stop();
    seekPending_ = true;
    seekIssued_ = false;
  } else if (event->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && seekPending_ &&
             !seekIssued_) {
    seekIssued_ = true;
    SeekToBar();
    seekSettle_.start();
  }
  return QObject::eventFilter(watched, event);
}
