#include "gui/widgets/PlaybackPanel.h"

#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

#include "app/GlobalUnit.h"
#include "app/PreviewRules.h"
#include "controls/Tracker2.h"
#include "gui/widgets/PictureButton.h"

TPlaybackPanel::TPlaybackPanel(TFFPlayer& player, const TControls& controls,
                               const TPlaybackRules& rules, const TLook& look,
                               std::string settingsFile)
    : player_(player), c_(controls), look_(look), control_(player, rules, std::move(settingsFile)) {
  settle_.setSingleShot(true);
  connect(&settle_, &QTimer::timeout, this, [this] { control_.Settled(); });
  connect(c_.Play, &QToolButton::clicked, this, &TPlaybackPanel::Play);
  connect(c_.Pause, &QToolButton::clicked, this, &TPlaybackPanel::Pause);
  if (c_.Stop) connect(c_.Stop, &QToolButton::clicked, this, &TPlaybackPanel::Stop);
  if (c_.Mute) connect(c_.Mute, &QToolButton::pressed, this, &TPlaybackPanel::ToggleMute);
  BindBars();
  BindPlayer();
}

TPlaybackPanel::~TPlaybackPanel() {
  c_.Bar->OnMouseMove = nullptr;
  if (c_.Volume) {
    c_.Volume->OnMouseMove = nullptr;
    c_.Volume->OnChange = nullptr;
  }
}

void TPlaybackPanel::BindPlayer() {
  player_.SetTriggerEventInMainThread(false);
  player_.SetOnFileOpen(
      [this](TFFPlayer*, std::int64_t duration, int w, int h, int& screenW, int& screenH) {
        screenW = displayWidth_;
        screenH = displayHeight_;
        FileOpened(duration, w, h);
      });
  player_.SetOnPosition([this](TFFPlayer*, std::int64_t pts) { emit PlayerPosition(pts); });
  player_.SetOnState([this](TFFPlayer*, TPlayState state) { emit PlayerState(int(state)); });
  connect(
      this, &TPlaybackPanel::PlayerPosition, this,
      [this](qint64 pts) {
        // A report still queued when Stop closed the file is stale: it
        // would overwrite the stopped clock.
        if (followReports_ && player_.FileOpen()) ShowPosition(pts);
      },
      Qt::QueuedConnection);
  connect(
      this, &TPlaybackPanel::PlayerState, this, [this](int s) { StateReported(TPlayState(s)); },
      Qt::QueuedConnection);
}

void TPlaybackPanel::BindBars() {
  c_.Bar->OnMouseMove = [this](TTrackBar2*, Qt::MouseButtons buttons, Qt::KeyboardModifiers, int x,
                               int) {
    if (buttons & Qt::LeftButton) BarDragged(x);
  };
  WatchBar(c_.Bar);
  if (!c_.Volume) return;
  c_.Volume->OnMouseMove = [this](TTrackBar2* bar, Qt::MouseButtons buttons, Qt::KeyboardModifiers,
                                  int x, int) {
    if (buttons & Qt::LeftButton)
      bar->SetPositionL(DragPosition(x, bar->width(), look_.VolumeReserve, bar->Max()));
  };
  c_.Volume->OnChange = [this](TTrackBar2* bar) {
    if (!loadingVolume_) control_.SetVolume(bar->PositionL());
  };
}

void TPlaybackPanel::Detach() {
  settle_.stop();
  player_.SetOnFileOpen(nullptr);
  player_.SetOnPosition(nullptr);
  player_.SetOnState(nullptr);
}

void TPlaybackPanel::SetDisplaySize(int width, int height) {
  displayWidth_ = width;
  displayHeight_ = height;
}

void TPlaybackPanel::WatchBar(QWidget* bar) {
  watchedBars_.push_back(bar);
  bar->installEventFilter(this);
}

QString TPlaybackPanel::Clock(std::int64_t us) const {
  return QString::fromStdString(TimeText ? TimeText(us) : ClockText(us));
}

void TPlaybackPanel::ShowButtons() {
  const TPlaybackButtons b = control_.Buttons();
  c_.Play->setEnabled(b.Play);
  c_.Pause->setEnabled(b.Pause);
  if (c_.Stop) c_.Stop->setEnabled(b.Stop);
  if (c_.Snapshot) c_.Snapshot->setEnabled(b.Stop);
  c_.Bar->setEnabled(b.Bar && c_.Bar->Max() > 0);
  if (OnModeShown) OnModeShown(control_.Mode());
}

void TPlaybackPanel::ResetClocks() {
  c_.Time->setText(kStoppedClockText);
  if (c_.Length) c_.Length->setText(kStoppedClockText);
}

void TPlaybackPanel::Play() {
  switch (control_.Play()) {
    case TPlaybackControl::TPlayStep::Resumed: ShowButtons(); break;
    case TPlaybackControl::TPlayStep::OpenFile:
      if (OnOpenFile) OnOpenFile();
      break;
    case TPlaybackControl::TPlayStep::None: break;
  }
}

void TPlaybackPanel::Opened(bool ok) {
  control_.Opened(ok);
  ShowButtons();
}

void TPlaybackPanel::Pause() {
  if (control_.Pause()) ShowButtons();
}

void TPlaybackPanel::Stop() {
  control_.Stop();
  c_.Bar->SetPositionL(0);
  ShowButtons();
  ResetClocks();
  if (c_.Panel) c_.Panel->update();
}

void TPlaybackPanel::Close() {
  settle_.stop();
  control_.Close();
}

void TPlaybackPanel::FileOpened(std::int64_t durationUs, int frameWidth, int frameHeight) {
  control_.FileOpened(durationUs);
  if (c_.Length) c_.Length->setText(Clock(control_.DurationUs()));
  if (c_.Volume) player_.SetAudioVolume(c_.Volume->PositionL());
  if (OnFileOpened) OnFileOpened(control_.DurationUs(), frameWidth, frameHeight);
  c_.Bar->setEnabled(control_.DurationUs() > 0 && c_.Bar->Max() > 0);
  c_.Bar->SetPositionL(0);
}

void TPlaybackPanel::ShowPosition(std::int64_t ptsUs) {
  c_.Time->setText(Clock(ptsUs));
  if (const auto position = control_.BarPosition(ptsUs, c_.Bar->Max()))
    c_.Bar->SetPositionL(*position);
}

void TPlaybackPanel::StateReported(TPlayState state) {
  if (control_.StateReported(state)) ShowButtons();
}

int TPlaybackPanel::DragTo(int x) const {
  return DragPosition(x, c_.Bar->width(), look_.SeekReserve, c_.Bar->Max());
}

void TPlaybackPanel::StartSettle() { settle_.start(control_.SettleMs()); }

void TPlaybackPanel::BarPressed(int x) {
  settle_.stop();
  const int position = DragTo(x);
  if (!control_.BarPressed(position, c_.Bar->Max())) return;
  c_.Bar->SetPositionL(position);
  StartSettle();
}

void TPlaybackPanel::BarDragged(int x) {
  if (!control_.SeekPending()) return;
  const int position = DragTo(x);
  if (position == c_.Bar->PositionL()) return;
  c_.Bar->SetPositionL(position);
  control_.BarDragged(position, c_.Bar->Max());
}

void TPlaybackPanel::BarReleased() {
  if (control_.BarReleased(c_.Bar->PositionL(), c_.Bar->Max())) StartSettle();
}

// Runs before the pressed or released bar's own handling. The release goes
// to the bar that took the press, wherever the pointer is by then.
bool TPlaybackPanel::eventFilter(QObject* watched, QEvent* event) {
  const bool press = event->type() == QEvent::MouseButtonPress;
  if ((press || event->type() == QEvent::MouseButtonRelease) &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (press && static_cast<QWidget*>(watched)->isEnabled())
      BarPressed(int(static_cast<QMouseEvent*>(event)->position().x()));
    else if (!press)
      BarReleased();
  }
  return QObject::eventFilter(watched, event);
}

void TPlaybackPanel::LoadVolumeAndMute() {
  const TAppSettings settings(control_.SettingsFile());
  if (c_.Volume) {
    loadingVolume_ = true;
    c_.Volume->SetPositionL(settings.VolumeForBar());
    loadingVolume_ = false;
  }
  if (c_.Mute) ShowMuteButtonState(c_.Mute, settings.Mute() == 1, look_.MuteSide);
}

void TPlaybackPanel::ToggleMute() {
  const bool muted = !MuteButtonState(c_.Mute);
  control_.SetMuted(muted);
  ShowMuteButtonState(c_.Mute, muted, look_.MuteSide);
}
