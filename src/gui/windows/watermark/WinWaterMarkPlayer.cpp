// The watermark editor's player: opening the source, its file-open, state
// and hook handlers, the preview bar and the play buttons, and closing.
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QTimer>
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
// After a click on the preview bar the picture settles this long before
// playing on.
constexpr int kSeekSettleMs = 500;
constexpr int kSeekAnyFrame = 4;

QString SecondsText(std::int64_t us) {
  return QString::fromStdString(FormatSeconds(std::int64_t(std::nearbyint(double(us) / 1e6))));
}

}  // namespace

TfrmWaterMark::~TfrmWaterMark() {
  player_.SetOnHook(nullptr);
  player_.SetOnFileOpen(nullptr);
  player_.SetOnState(nullptr);
  ShutDownPlayer(true);
  // Hiding moves the focus (the in-place editor then reports it finished) and
  // the base classes hide and delete the controls after our members are
  // gone: no control may call back into this window from then on.
  hide();
  for (QObject* control : findChildren<QObject*>()) control->disconnect(this);
  trcRange->OnChange = nullptr;
  trcPreview->OnMouseDown = nullptr;
  trcPreview->OnMouseMove = nullptr;
  ImgView->OnLayerClick = nullptr;
  ImgView->OnLayerDragged = nullptr;
}

void TfrmWaterMark::BindPlayerEvents() {
  // Events come on the player's event thread and are queued to the window;
  // only the display size the file-open event asks for is answered at once.
  const int panelWidth = imgPreview->width(), panelHeight = imgPreview->height();
  player_.SetTriggerEventInMainThread(false);
  player_.SetOnFileOpen([this, panelWidth, panelHeight](TFFPlayer*, std::int64_t duration, int w,
                                                        int h, int& screenW, int& screenH) {
    screenW = panelWidth;
    screenH = panelHeight;
    frameCopy_ = true;
    emit PlayerFileOpened(duration, w, h);
  });
  player_.SetOnState([this](TFFPlayer*, TPlayState state) { emit PlayerState(int(state)); });
  player_.SetOnHook(
      [this](TFFPlayer*, TBitmap& bitmap, std::int64_t pts) { HookFrame(bitmap, pts); });
  connect(this, &TfrmWaterMark::PlayerFileOpened, this,
          [this](qint64 d, int w, int h) { OnFileOpen(d, w, h); }, Qt::QueuedConnection);
  connect(
      this, &TfrmWaterMark::PlayerState, this, [this](int s) { OnState(TPlayState(s)); },
      Qt::QueuedConnection);
  connect(
      this, &TfrmWaterMark::HookTime, this, [this](qint64 pts) { OnHookTime(pts); },
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
  if (!player_.Open(source_.File, imgPreview, false)) return;
  imgbtnPlay->setEnabled(false);
  imgbtnpause->setEnabled(true);
}

void TfrmWaterMark::OnFileOpen(std::int64_t duration, int frameWidth, int frameHeight) {
  duration_ = duration;
  lblPTS->setText(SecondsText(duration));
  loadingControls_ = true;
  trcRange->SetMin(0);
  trcRange->SetMax(LastWholeSecond(duration));
  trcRange->SetPositionL(0);
  trcRange->SetPositionU(trcRange->Max());
  trcPreview->SetMax(PreviewBarMax(duration));
  trcPreview->setEnabled(duration > 0);
  trcTextHoriz->setRange(0, frameWidth);
  trcTextVert->setRange(0, frameHeight);
  loadingControls_ = false;
  ImgView->SetFrameSize(QSize(frameWidth, frameHeight));
  player_.SetMute(TAppSettings(source_.SettingsFile).Mute() == 1);
  if (layers_.Count() > 0) ClickRow(layers_.Count() - 1);
}

void TfrmWaterMark::OnState(TPlayState state) {
  if (state != psEnd) return;
  player_.Seek(0, kSeekAnyFrame, false);
  player_.Pause();
  imgbtnPlay->setEnabled(true);
  imgbtnpause->setEnabled(false);
  trcPreview->setEnabled(false);
  frameCopy_ = false;
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

void TfrmWaterMark::OnHookTime(std::int64_t pts) {
  lblTime->setText(SecondsText(pts));
  if (seeking_) return;
  if (const auto position = PreviewBarPosition(trcPreview->Max(), pts, duration_))
    trcPreview->SetPositionL(*position);
}

void TfrmWaterMark::Play() {
  if (!player_.FileOpen()) return;
  if (player_.Paused()) player_.Resume();
  // Playing on after the end shows the frames on the canvas again.
  frameCopy_ = true;
  imgbtnPlay->setEnabled(false);
  imgbtnpause->setEnabled(true);
  trcPreview->setEnabled(duration_ > 0);
}

void TfrmWaterMark::Pause() {
  if (!player_.FileOpen()) return;
  if (!player_.Paused()) player_.Pause();
  imgbtnPlay->setEnabled(true);
  imgbtnpause->setEnabled(false);
}

void TfrmWaterMark::PreviewPressed(int x) {
  if (!player_.FileOpen() || trcPreview->Max() <= 0) return;
  seeking_ = true;
  const int max = trcPreview->Max();
  const int position = DragPosition(x, trcPreview->width(), (trcPreview->ThumbSize() + 1) / 2, max);
  trcPreview->SetPositionL(position);
  const bool wasPlaying = !player_.Paused();
  if (wasPlaying) player_.Pause();
  // A quick picture near the spot first, then the exact place.
  player_.Seek(std::min(SeekTargetUs(position + 1, max, duration_), duration_), kSeekAnyFrame,
               true);
  player_.Seek(SeekTargetUs(position, max, duration_), 0, false);
  QTimer::singleShot(kSeekSettleMs, this, [this, wasPlaying] {
    if (wasPlaying && player_.Paused()) player_.Resume();
    seeking_ = false;
  });
}

void TfrmWaterMark::PreviewMoved(int x) {
  if (!seeking_ || !player_.FileOpen()) return;
  const int max = trcPreview->Max();
  const int position = DragPosition(x, trcPreview->width(), (trcPreview->ThumbSize() + 1) / 2, max);
  if (position == trcPreview->PositionL()) return;
  trcPreview->SetPositionL(position);
  player_.Seek(SeekTargetUs(position, max, duration_), 0, false);
}

void TfrmWaterMark::ShutDownPlayer(bool wait) {
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
