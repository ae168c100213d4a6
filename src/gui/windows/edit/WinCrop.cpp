#include "gui/windows/edit/WinCrop.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

#include "app/EditStore.h"
#include "app/SourceList.h"
#include "controls/RectTracker.h"
#include "controls/Tracker2.h"
#include "gui/widgets/PictureView.h"

namespace {

constexpr int kWidth = 885;
constexpr int kHeight = 584;
constexpr int kTimerMs = 100;
constexpr int kMuteSide = 24;
// The volume bar's drag leaves this much of its width unused.
constexpr int kVolumeReserve = 20;
// The playback bar's drag reserve.
constexpr int kPlayBarReserve = 15;

}  // namespace

TfrmCrop::TfrmCrop(TSourceList& list, std::string settingsFile, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      list_(list),
      settingsFile_(std::move(settingsFile)) {
  setObjectName("frmCrop");
  setWindowTitle("Crop");
  setAttribute(Qt::WA_StyledBackground, true);
  setFixedSize(kWidth, kHeight);
  setModal(true);
  CreateViews();
  CreatePlaybackRow();
  CreateButtons();
  BindTracker();
  BindPlayer();
  connect(btnCropReset, &QPushButton::clicked, this, &TfrmCrop::ResetCrop);
  connect(btnDefault, &QPushButton::clicked, this, &TfrmCrop::ResetCrop);
  connect(btnEffectReset, &QPushButton::clicked, this, &TfrmCrop::ResetEffects);
  connect(btnOk, &QPushButton::clicked, this, &TfrmCrop::Ok);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  Timer1.setInterval(kTimerMs);
  connect(&Timer1, &QTimer::timeout, this, &TfrmCrop::DrawViews);
}

// The player stops (and its threads end) while the window is whole: a
// picture or an event in flight still finds everything it touches.
TfrmCrop::~TfrmCrop() {
  playback_->Shutdown();
  playback_.reset();
}

void TfrmCrop::BindTracker() {
  RectTracker->OnMouseDown = [this](TCustomRectTracker*, Qt::MouseButton button,
                                    Qt::KeyboardModifiers, int, int) {
    if (button == Qt::LeftButton)
      frame_.Press(TrackerBounds(), RectTracker->DragMode() == TCustomRectTracker::dmMove);
  };
  RectTracker->OnMouseUp = [this](TCustomRectTracker*, Qt::MouseButton button,
                                  Qt::KeyboardModifiers, int, int) {
    if (button == Qt::LeftButton) frame_.Release(TrackerBounds());
  };
  RectTracker->OnMouseMove = [this](TCustomRectTracker*, Qt::MouseButtons, Qt::KeyboardModifiers,
                                    int, int) { TrackerMoved(); };
  const std::pair<QSpinBox*, TCropSide> boxes[] = {
      {spedUp, csUp}, {spedDown, csDown}, {spedLeft, csLeft}, {spedRight, csRight}};
  for (const auto& [box, side] : boxes) {
    const TCropSide s = side;
    connect(box, &QSpinBox::valueChanged, this, [this, s] { MarginBoxChanged(s); });
  }
}

void TfrmCrop::BindPlayer() {
  const TPlaybackPanel::TControls controls{.Play = imgbtnPlay,
                                           .Pause = imgbtnpause,
                                           .Stop = imgbtnStop,
                                           .Bar = trcPreview,
                                           .Time = lblTime,
                                           .Length = lblPTS,
                                           .Volume = trcVolume,
                                           .Mute = imgbtnMute};
  playback_ = std::make_unique<TEditPlayback>(
      controls, TPlaybackPanel::TLook{kPlayBarReserve, kVolumeReserve, kMuteSide},
      TBarRounding::Truncate, settingsFile_);
  // The pictures reach the window through the hook only.
  playback_->SetDisplay(nullptr, 0, 0);
  playback_->Panel().OnFileOpened = [this](std::int64_t, int frameWidth, int frameHeight) {
    trcPreview->SetMax(trcPreview->width());
    hasVideo_ = frameWidth > 0 && frameHeight > 0;
    srcWidth_ = hasVideo_ ? frameWidth : 0;
    srcHeight_ = hasVideo_ ? frameHeight : 0;
  };
  Player().SetHook(true);
  Player().SetOnHook([this](TFFPlayer*, TBitmap& picture, std::int64_t) { TakePicture(picture); });
  playback_->EnsureLibraries();
}

// The player's video thread.
void TfrmCrop::TakePicture(const TBitmap& picture) {
  if (playback_->PlayPaused() || playback_->PlayStopped()) return;
  std::lock_guard lock(frameMutex_);
  frameCopy_ = picture;
  haveFrame_ = true;
}

TBitmap TfrmCrop::FrameCopy() const {
  std::lock_guard lock(frameMutex_);
  return frameCopy_;
}

void TfrmCrop::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  Prepare();
}

void TfrmCrop::Prepare() {
  lblPTS->clear();
  lblTime->clear();
  playback_->Panel().Close();
  imgPreview->SetPicture(QImage());
  imgOutput->SetPicture(QImage());
  playback_->Panel().LoadVolumeAndMute();
  row_ = list_.Selected();
  if (row_ < 0 || row_ >= list_.Count() || !playback_->Open(list_.Record(row_).SourceFile)) {
    imgbtnPlay->setEnabled(false);
    imgbtnpause->setEnabled(false);
    return;
  }
  const TlvFilesRecord& record = list_.Record(row_);
  if (!hasVideo_) {
    ShowWithoutVideo();
  } else {
    frame_.SetPicture(
        PictureRect(srcWidth_, srcHeight_, {0, 0, imgPreview->width(), imgPreview->height()}));
    PlaceTracker(frame_.BoundsFor(ViewMarginsOf(record)));
    ShowMargins(frame_.TakeMargins(TrackerBounds()));
    RectTracker->setEnabled(true);
    RectTracker->show();
    const TPictureEffects effects = EffectsOf(record);
    trcBrightness->SetPositionL(effects.Brightness);
    trcContrast->SetPositionL(effects.Contrast);
    trcSaturation->SetPositionL(effects.Saturation);
    trcExposure->SetPositionL(effects.Exposure);
  }
  RecomputeSourceCrop();
  Timer1.start();
}

void TfrmCrop::ShowWithoutVideo() {
  RectTracker->hide();
  RectTracker->setEnabled(false);
  ShowMargins({});
  for (QWidget* w : std::initializer_list<QWidget*>{
           spedUp, spedDown, spedLeft, spedRight, btnCropReset, trcBrightness, trcContrast,
           trcSaturation, trcExposure, spedBrightness, spedContrast, spedSaturation, spedExposure,
           btnEffectReset})
    w->setEnabled(false);
  imgPreview->SetMessage("This file has no picture to crop; only its sound plays.");
  imgOutput->SetMessage("No picture.");
}

void TfrmCrop::ShowMargins(const TCropMargins& m) {
  trackerUpdating_ = true;
  spedUp->setValue(m.Up);
  spedDown->setValue(m.Down);
  spedLeft->setValue(m.Left);
  spedRight->setValue(m.Right);
  trackerUpdating_ = false;
}

TCropMargins TfrmCrop::ViewMargins() const {
  return {spedUp->value(), spedDown->value(), spedLeft->value(), spedRight->value()};
}

TPictureEffects TfrmCrop::Effects() const {
  return {trcBrightness->PositionL(), trcContrast->PositionL(), trcSaturation->PositionL(),
          trcExposure->PositionL()};
}

TIntRect TfrmCrop::TrackerBounds() const {
  const QRect g = RectTracker->geometry();
  return {g.x(), g.y(), g.width(), g.height()};
}

void TfrmCrop::PlaceTracker(const TIntRect& b) {
  RectTracker->setGeometry(b.Left, b.Top, b.Width, b.Height);
}

// After the band moved or resized itself under the pointer (button held or
// not): back inside the picture, and the boxes follow.
void TfrmCrop::TrackerMoved() {
  const TIntRect clamped = frame_.Clamp(TrackerBounds());
  if (!(clamped == TrackerBounds())) PlaceTracker(clamped);
  ShowMargins(frame_.TakeMargins(TrackerBounds()));
  RecomputeSourceCrop();
}

void TfrmCrop::MarginBoxChanged(TCropSide side) {
  if (trackerUpdating_) return;
  const TMarginChange change = frame_.ChangeMargin(side, ViewMargins(), TrackerBounds());
  if (change.Refused) {
    QSpinBox* box = side == csUp     ? spedUp
                    : side == csDown ? spedDown
                    : side == csLeft ? spedLeft
                                     : spedRight;
    const QSignalBlocker quiet(box);
    box->setValue(change.Restore);
    return;
  }
  ShowMargins(change.Margins);
  PlaceTracker(change.Bounds);
  RecomputeSourceCrop();
}

void TfrmCrop::ResetCrop() {
  if (!hasVideo_) return;
  PlaceTracker(frame_.Reset());
  ShowMargins({});
  RecomputeSourceCrop();
}

void TfrmCrop::ResetEffects() {
  trcBrightness->SetPositionL(kNeutralEffects.Brightness);
  trcContrast->SetPositionL(kNeutralEffects.Contrast);
  trcSaturation->SetPositionL(kNeutralEffects.Saturation);
  trcExposure->SetPositionL(kNeutralEffects.Exposure);
}

void TfrmCrop::RecomputeSourceCrop() {
  const TIntRect& pic = frame_.Picture();
  srcCrop_ = SourceCrop(ViewMargins(), srcWidth_, srcHeight_, pic.Width, pic.Height);
}

void TfrmCrop::DrawViews() {
  TBitmap frame;
  {
    std::lock_guard lock(frameMutex_);
    if (!haveFrame_) return;
    frame = frameCopy_;
  }
  imgPreview->SetPicture(BitmapImage(frame));
  imgOutput->SetPicture(BitmapImage(CropOutput(frame, Effects(), srcCrop_)));
}

void TfrmCrop::Ok() {
  if (row_ >= 0 && row_ < list_.Count()) {
    RecomputeSourceCrop();
    StoreCrop(list_.Record(row_), {ViewMargins(), srcCrop_, Effects()});
  }
  accept();
}

void TfrmCrop::done(int result) {
  Timer1.stop();
  playback_->Close(true);
  {
    std::lock_guard lock(frameMutex_);
    frameCopy_ = TBitmap();
    haveFrame_ = false;
  }
  QDialog::done(result);
}
