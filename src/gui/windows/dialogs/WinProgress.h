// TfrmProgress: the progress window, 420 x 460, shown modally by Start while
// the batch runs. Showing it starts the tasks; it shows the progress of the
// batch as a whole and, of one running file (the first in list order when
// several run at once), its progress and a live picture of the frames being
// encoded; it pauses, resumes
// and cancels the batch, saves a snapshot of the picture, and carries the
// two end-of-batch choices. Closing it by any means (Cancel, Esc, its close
// button, the end of the batch) stops what still runs.
//
// Created the first time Start needs it and kept by the main window (Qt
// parent). Borrows the batch driver and the boxes, which the main window
// hands in before every batch (Attach). User-interface thread only: the
// driver calls the IProgressView side there.
#pragma once

#include <QDialog>

#include <string>

#include "app/BatchView.h"
#include "engine/libav/FrameBitmap.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolButton;
class IUserInteraction;
class TBatchDriver;
class TPictureView;
class TTitleBar;

class TfrmProgress : public QDialog, public IProgressView {
  Q_OBJECT

 public:
  TfrmProgress(std::string settingsFile, QWidget* parent = nullptr);

  // The batch the window runs and where its boxes go; both must outlive the
  // next RunModal.
  void Attach(TBatchDriver* batch, IUserInteraction* ui);

  // ---- IProgressView ----
  void RunModal() override;
  void Close() override;
  void ShowProgress(const TProgressTexts& texts) override;
  void ShowBatch(const TProgressTexts& batch) override;
  void SetFilePercent(int percent) override;
  void TaskEnded(const TTerminateInfo& info) override;
  bool OpenFolderChecked() const override;
  bool ShutDownChecked() const override;
  void ShowNotice(const std::string& text) override;

  // ---- actions (buttons) ----
  void Pause();
  void Resume();
  void TakeSnapshot();
  // Draws the main window's current picture, as the timer does every 100 ms.
  void TimerTick();

  // The picture as shown (what a snapshot saves as its small picture).
  const TBitmap& ShownPicture() const { return shown_; }
  QString Caption() const;

  // Controls, named as the program's documentation names them.
  TPictureView* imgPreview = nullptr;
  QLabel *lblTime = nullptr, *lblTimeLeft = nullptr, *lblLength = nullptr, *lblSize = nullptr,
         *lblProgress = nullptr, *lblOutput = nullptr, *lblBatch = nullptr;
  QProgressBar* progbarFile = nullptr;
  QCheckBox *ckShutDown = nullptr, *ckOpen = nullptr;
  QToolButton *imgbtnSnap = nullptr, *btnClose = nullptr;
  QPushButton *btnPause = nullptr, *btnResume = nullptr, *btnCancel = nullptr;
  QTimer* Timer1 = nullptr;

 public slots:
  // Every way of closing ends here (reject from Esc and the close button).
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateLabels();
  void CreateControls();
  // The show step: empty labels, the choices, the picture's ground.
  void Reset();
  void SetCaption(const QString& caption);
  void PlaceTimeLeft();

  std::string settingsFile_;
  TBatchDriver* batch_ = nullptr;
  IUserInteraction* ui_ = nullptr;
  TTitleBar* title_ = nullptr;
  TBitmap shown_;
  int shownCount_ = -1;        // the driver's picture count last drawn
  bool startPending_ = false;  // the show step still has to start the tasks
  bool closing_ = false;
};
