// TfrmTrim: the modal "Trim" window. Plays the selected row's source on its
// panel and marks, on a range bar with two thumbs, the part of it to
// convert; Ok stores the start and length in the row's record and the
// length in the row's "Trimmed Length" cell. Created once and kept: each
// showing opens the row's file again and takes the record's trim afresh.
//
// Owns its controls (Qt children), the range arithmetic and the playback
// (player, flags, seeking; destroyed first so no player event outlives the
// controls). Borrows the source list, which outlives it (the main window
// owns both). User-interface thread only; player events are queued to it.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "editing/TrimRange.h"
#include "gui/windows/edit/EditPlayback.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TPlayerWidget;
class TSourceList;
class TTrackBar2;

class TfrmTrim : public QDialog {
  Q_OBJECT

 public:
  TfrmTrim(TSourceList& list, std::string settingsFile, QWidget* parent = nullptr);
  ~TfrmTrim() override;

  TPlayerWidget* imgPreview = nullptr;
  TTrackBar2 *trcPreview = nullptr, *trcPosition = nullptr;
  QToolButton *imgbtnPlay = nullptr, *imgbtnpause = nullptr, *imgbtnStop = nullptr,
              *btnClose = nullptr;
  QLineEdit *edtStart = nullptr, *edtTrimLength = nullptr;
  QLabel *lblTime = nullptr, *lblPTS = nullptr;
  QPushButton *btnDefault = nullptr, *btnOk = nullptr, *btnCancel = nullptr;

  TEditPlayback& Playback() { return *playback_; }
  TFFPlayer& Player() { return playback_->Player(); }
  const TTrimRange& Range() const { return range_; }
  // The row the window works on (-1 when none was selected).
  int Row() const { return row_; }

 protected:
  void showEvent(QShowEvent* event) override;

 public slots:
  void done(int result) override;

 private:
  void CreateControls();
  void CreateBars();
  void Prepare();
  void OnFileOpen(std::int64_t durationUs);
  void RangePressed(int x);
  void RangeDragged(int x);
  void ShowMoved(unsigned moved);
  void Default();
  void Ok();

  TSourceList& list_;
  std::string settingsFile_;
  int row_ = -1;
  TTrimRange range_;
  std::unique_ptr<TEditPlayback> playback_;
};
