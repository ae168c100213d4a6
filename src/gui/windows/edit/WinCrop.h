// TfrmCrop: the modal "Crop" window. Plays the selected row's source and
// shows it twice: as it is, with a rubber band marking the part to keep,
// and as the output will look (cut, with brightness, contrast, saturation
// and exposure applied), both redrawn every 100 ms. Ok stores the margins
// (as set in the view and in even source pixels) and the effects in the
// row's record. Made anew for every showing.
//
// Owns its controls (Qt children), the band's arithmetic, the frame copy
// and the playback (player, flags, seeking), which is destroyed first so no
// player event or picture outlives the window.
// Threads: user-interface thread, except the picture hook, which runs on the
// player's video thread and copies each picture into the frame copy; the
// frame copy and haveFrame_ are guarded by frameMutex_.
#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>
#include <mutex>
#include <string>

#include "editing/CropFrame.h"
#include "engine/libav/FrameBitmap.h"
#include "gui/windows/edit/EditPlayback.h"

class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class TPictureView;
class TRectTracker;
class TSourceList;
class TTrackBar2;

class TfrmCrop : public QDialog {
  Q_OBJECT

 public:
  TfrmCrop(TSourceList& list, std::string settingsFile, QWidget* parent = nullptr);
  ~TfrmCrop() override;

  TPictureView *imgPreview = nullptr, *imgOutput = nullptr;
  TRectTracker* RectTracker = nullptr;
  QTabWidget* pgcPages = nullptr;
  QWidget *tabEffect = nullptr, *tabCrop = nullptr;
  QSpinBox *spedUp = nullptr, *spedLeft = nullptr, *spedRight = nullptr, *spedDown = nullptr;
  QPushButton* btnCropReset = nullptr;
  TTrackBar2 *trcContrast = nullptr, *trcBrightness = nullptr, *trcSaturation = nullptr,
             *trcExposure = nullptr;
  QSpinBox *spedContrast = nullptr, *spedBrightness = nullptr, *spedSaturation = nullptr,
           *spedExposure = nullptr;
  QPushButton* btnEffectReset = nullptr;
  QToolButton *imgbtnPlay = nullptr, *imgbtnpause = nullptr, *imgbtnStop = nullptr,
              *imgbtnMute = nullptr;
  TTrackBar2 *trcPreview = nullptr, *trcVolume = nullptr;
  QLabel *lblTime = nullptr, *lblPTS = nullptr;
  QPushButton *btnDefault = nullptr, *btnOk = nullptr, *btnCancel = nullptr;
  QToolButton* btnClose = nullptr;
  QTimer Timer1;

  TEditPlayback& Playback() { return *playback_; }
  TFFPlayer& Player() { return playback_->Player(); }
  int Row() const { return row_; }
  bool HasVideo() const { return hasVideo_; }
  const TCropFrame& Frame() const { return frame_; }
  TCropMargins ViewMargins() const;
  const TCropMargins& SourceCropMargins() const { return srcCrop_; }
  TPictureEffects Effects() const;
  // The last picture the hook took (empty before the first).
  TBitmap FrameCopy() const;
  bool TrackerUpdating() const { return trackerUpdating_; }

 protected:
  void showEvent(QShowEvent* event) override;

 public slots:
  void done(int result) override;

 private:
  // WinCropControls.cpp
  void CreateViews();
  void CreatePlaybackRow();
  void CreateCropPage();
  void CreateEffectPage();
  void CreateButtons();
  // WinCrop.cpp
  void BindTracker();
  void BindPlayer();
  void Prepare();
  void ShowWithoutVideo();
  void ShowMargins(const TCropMargins& m);
  void PlaceTracker(const TIntRect& bounds);
  TIntRect TrackerBounds() const;
  void TrackerMoved();
  void MarginBoxChanged(TCropSide side);
  void ResetCrop();
  void ResetEffects();
  void RecomputeSourceCrop();
  void TakePicture(const TBitmap& picture);
  void DrawViews();
  void Ok();

  TSourceList& list_;
  std::string settingsFile_;
  int row_ = -1;
  bool hasVideo_ = false;
  int srcWidth_ = 0;
  int srcHeight_ = 0;
  TCropFrame frame_;
  TCropMargins srcCrop_;
  bool trackerUpdating_ = false;

  mutable std::mutex frameMutex_;
  TBitmap frameCopy_;       // under frameMutex_
  bool haveFrame_ = false;  // under frameMutex_

  std::unique_ptr<TEditPlayback> playback_;
};
