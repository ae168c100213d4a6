// The watermark editor's player: opening the source, its file-open, state
// and hook handlers, the preview bar and the play buttons, and closing.
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "app/FilesRecord.h"
#include "app/GlobalUnit.h"
#include "app/PreviewRules.h"
#include "controls/Tracker2.h"
#include "editing/FrameEffects.h"
#include "editing/WmColors.h"
#include "editing/WmPreview.h"
#include "editing/WmText.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/probe/AVProbe.h"
#include "gui/widgets/ColorBox.h"
#include "gui/windows/watermark/WinWaterMark.h"
#include "gui/windows/watermark/WmCanvas.h"
#include "player/qt/PlayerWidget.h"

namespace {

constexpr int kDefaultFontSize = 26;
constexpr int kDefaultTransparency = 125;
constexpr int kSmallestFontSize = 7;
constexpr int kLargestFontSize = 70;

}  // namespace

TfrmWaterMark::~TfrmWaterMark() {
  player_.SetOnHook(nullptr);
  playback_->Detach();
  ShutDownPlayer(true);
  // Hiding moves the focus (the in-place editor then reports it finished) and
  // the base classes hide and delete the controls after our members are
  // gone: no control may call back into this window from then on.
  hide();
  for (QObject* control : findChildren<QObject*>()) control->disconnect(this);
  trcRange->OnChange = nullptr;
  ImgView->OnLayerClick = nullptr;
  ImgView->OnLayerDragged = nullptr;
}

// The preview bar seeks at the press, and Play after the end plays on from
// the start; the clocks follow the hooked pictures.
void TfrmWaterMark::BindPlayerEvents() {
  const TPlaybackPanel::TControls controls{.Play = imgbtnPlay,
                                           .Pause = imgbtnpause,
                                           .Bar = trcPreview,
                                           .Time = lblTime,
                                           .Length = lblPTS};
  TPlaybackRules rules;
  rules.SeekOnPress = true;
  rules.PlayAfterEndResumes = true;
  rules.Rounding = TBarRounding::KeepWithoutDuration;
  const TPlaybackPanel::TLook look{double((trcPreview->ThumbSize() + 1) / 2)};
  playback_ =
      std::make_unique<TPlaybackPanel>(player_, controls, rules, look, source_.SettingsFile);
  playback_->SetDisplaySize(imgPreview->width(), imgPreview->height());
  playback_->SetFollowPositionReports(false);
  playback_->TimeText = [](std::int64_t us) {
    return FormatSeconds(std::int64_t(std::nearbyint(double(us) / 1e6)));
  };
  playback_->OnFileOpened = [this](std::int64_t duration, int w, int h) {
    frameCopy_ = true;
    OnFileOpen(duration, w, h);
  };
  // Playing on after the end shows the frames on the canvas again.
  playback_->OnModeShown = [this](TPlayMode mode) {
    if (mode == TPlayMode::Playing) frameCopy_ = true;
    if (mode == TPlayMode::Ended) frameCopy_ = false;
  };
  player_.SetOnHook(
      [this](TFFPlayer*, TBitmap& bitmap, std::int64_t pts) { HookFrame(bitmap, pts); });
  connect(
      this, &TfrmWaterMark::HookTime, this, [this](qint64 pts) { playback_->ShowPosition(pts); },
      Qt::QueuedConnection);
}

void TfrmWaterMark::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_) return;
  shown_ = true;
  loadingControls_ = true;
  trcTextHoriz->setRange(0, 100);
  trcTextVert->setRange(0, 100);
  for (int size = kSmallestFontSize; size <= kLargestFontSize; ++size)
    cbFontSize->addItem(QString::number(size));
  const QString family = DefaultTextFamily(QFontDatabase::families());
  cbFont->setCurrentIndex(std::max(0, cbFont->findText(family)));
  cbFontSize->setCurrentText(QString::number(kDefaultFontSize));
  cbFontColor->SetSelected(clBlue);
  cbBackColor->SetSelected(clGreen);
  trcTextTran->setValue(kDefaultTransparency);
  edtTextTran->setText(QString::number(kDefaultTransparency));
  rb1->setChecked(true);
  loadingControls_ = false;
  const TlvFilesRecord& record = *source_.Record;
  cropLeft_ = record.CropLeft;
  cropTop_ = record.CropTop;
  cropRight_ = record.CropRight;
  cropBottom_ = record.CropBottom;
  // Stored items come first, whether or not the file plays: Ok writes the
  // rows back, and a file the player cannot open must not lose its items.
  LoadStoredItems();
  EnableItemControls(layers_.Count() > 0);
  OpenSource();
}

void TfrmWaterMark::OpenSource() {
  if (!player_.AVLibLoaded() && !player_.LoadAVLib(TFFmpegLoader::DefaultLibraryPath())) return;
  TAVProbe probe;
  TVideoStreamInfo video;
  if (probe.Open(source_.File) && probe.VideoStreamInfo(-1, video) && video.Duration > 0)
    duration_ = video.Duration;
  player_.SetHook(true);
  if (player_.Open(source_.File, imgPreview, false)) playback_->Opened(true);
}

void TfrmWaterMark::OnFileOpen(std::int64_t duration, int frameWidth, int frameHeight) {
  duration_ = duration;
  loadingControls_ = true;
  trcRange->SetMin(0);
  trcRange->SetMax(LastWholeSecond(duration));
  trcRange->SetPositionL(0);
  trcRange->SetPositionU(trcRange->Max());
  trcPreview->SetMax(PreviewBarMax(duration));
  trcTextHoriz->setRange(0, frameWidth);
  trcTextVert->setRange(0, frameHeight);
  loadingControls_ = false;
  ImgView->SetFrameSize(QSize(frameWidth, frameHeight));
  if (layers_.Count() > 0) ClickRow(layers_.Count() - 1);
}

void TfrmWaterMark::HookFrame(TBitmap& bitmap, std::int64_t pts) {
  if (frameCopy_) {
    layers_.ShowAt(pts);
    DrawCropOutline(bitmap, cropLeft_, cropTop_, bitmap.Width() - cropRight_,
                    bitmap.Height() - cropBottom_);
    ImgView->SetBackground(bitmap);
  }
  emit HookTime(pts);
}

void TfrmWaterMark::Play() { playback_->Play(); }

void TfrmWaterMark::Pause() { playback_->Pause(); }

void TfrmWaterMark::ShutDownPlayer(bool wait) {
  playback_->Close();
  player_.SetHook(false);
  frameCopy_ = false;
  if (!player_.FileOpen()) return;
  if (wait && player_.Paused()) player_.Resume();
  player_.Stop(wait);
}

void TfrmWaterMark::closeEvent(QCloseEvent* event) {
  ShutDownPlayer(false);
  QDialog::closeEvent(event);
}

void TfrmWaterMark::done(int result) {
  HideRowEditor();
  ShutDownPlayer(false);
  layers_.Select(-1);
  QDialog::done(result);
}
