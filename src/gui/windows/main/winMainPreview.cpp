// The main window's preview panel: its player, the seek and volume bars,
// the play buttons, the clocks and snapshots.
#include <algorithm>

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QToolButton>

#include "app/PreviewRules.h"
#include "app/Snapshot.h"
#include "controls/Tracker2.h"
#include "engine/libav/FFmpegLoader.h"
#include "gui/common/QtHandOver.h"
#include "gui/widgets/EditBars.h"
#include "gui/widgets/PictureButton.h"
#include "gui/widgets/PlaybackPanel.h"
#include "gui/windows/main/winMain.h"
#include "platform/Shell.h"
#include "player/qt/PlayerWidget.h"

namespace {

constexpr int kPanelWidth = 385;
constexpr int kPanelHeight = 278;
constexpr int kSeekThumbWidth = 12;
constexpr int kMutePictureWidth = 30;

}  // namespace

void TfrmMain::CreatePreview() {
  pan1_ = new TPlayerWidget(this);
  pan1_->setObjectName("pan1");
  pan1_->setGeometry(510, 132, kPanelWidth, kPanelHeight);
  pan1_->OnResized = [this](int w, int h) { player_.DisplayResized(w, h); };

  trcPreview = new TTrackBar2(this);
  trcPreview->setObjectName("trcPreview");
  trcPreview->setGeometry(517, 437, 372, 20);
  editbars::SetUpRoundBar(trcPreview, kSeekThumbWidth, true);
  trcPreview->SetMax(trcPreview->width());
  trcPreview->SetTickInterval(1);

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
  connect(imgbtnPre, &QToolButton::clicked, this, &TfrmMain::PlayPrevious);
  connect(imgbtnNext, &QToolButton::clicked, this, &TfrmMain::PlayNext);
  connect(imgbtnSnap, &QToolButton::clicked, this, &TfrmMain::TakeSnapshot);

  trcVolume = new TTrackBar2(this);
  trcVolume->setObjectName("trcVolume");
  trcVolume->setGeometry(819, 466, 70, 20);
  editbars::SetUpRoundBar(trcVolume, 10, true);
  trcVolume->SetMin(0);
  trcVolume->SetMax(128);
  CreatePreviewPanel();
}

void TfrmMain::CreatePreviewPanel() {
  const TPlaybackPanel::TControls controls{.Play = imgbtnPlay,
                                           .Pause = imgbtnPause,
                                           .Stop = imgbtnStop,
                                           .Snapshot = imgbtnSnap,
                                           .Bar = trcPreview,
                                           .Time = lblTime,
                                           .Length = lblPTS,
                                           .Panel = pan1_,
                                           .Volume = trcVolume,
                                           .Mute = imgbtnMute};
  const TPlaybackPanel::TLook look{kSeekThumbWidth / 2, (kMutePictureWidth + 1) / 2,
                                   kMutePictureWidth};
  preview_ =
      std::make_unique<TPlaybackPanel>(player_, controls, TPlaybackRules{}, look, SettingsFile());
  preview_->SetDisplaySize(kPanelWidth, kPanelHeight);
  preview_->OnOpenFile = [this] { OpenPreview(); };
  preview_->OnFileOpened = [this](std::int64_t duration, int frameWidth, int frameHeight) {
    if (player_.FileOpen())
      mmoLog->appendPlainText(QString::fromStdString(player_.AVProbe.FileInfoText()));
    mmoLog->appendPlainText(QString::asprintf("duration: %f, frame size: %dx%d",
                                              double(duration) / 1e6, frameWidth, frameHeight));
    trcPreview->SetTickInterval(1);
    trcPreview->SetMax(trcPreview->width());
  };
  preview_->OnModeShown = [this](TPlayMode mode) {
    if (mode != TPlayMode::Ended) return;
    trcPreview->SetPositionL(0);
    preview_->ResetClocks();
  };
}

void TfrmMain::LoadVolumeAndMute() { preview_->LoadVolumeAndMute(); }

void TfrmMain::UpdatePreviousNext() {
  imgbtnPre->setEnabled(PreviousEnabled(list_.Selected(), list_.Count()));
  imgbtnNext->setEnabled(NextEnabled(list_.Selected(), list_.Count()));
}

void TfrmMain::PlayPreview() { preview_->Play(); }

// Play with nothing to resume: the selected row (the first when none is),
// or Add first when the list is empty.
void TfrmMain::OpenPreview() {
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
  preview_->Opened(true);
  UpdatePreviousNext();
}

void TfrmMain::PausePreview() { preview_->Pause(); }

void TfrmMain::StopPreview() { preview_->Stop(); }

void TfrmMain::PlayPrevious() {
  if (!PreviousEnabled(list_.Selected(), list_.Count())) return;
  SelectRow(list_.Selected() - 1);
  OpenPreview();
}

void TfrmMain::PlayNext() {
  if (!NextEnabled(list_.Selected(), list_.Count())) return;
  SelectRow(list_.Selected() + 1);
  OpenPreview();
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
