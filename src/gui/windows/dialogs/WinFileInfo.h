// TfrmFileInfo: the "File infomation" window (420 x 460) with the selected
// source's name, duration, container and first video and audio streams.
// It probes the file through a converter of its own (no event handlers),
// which lets go of the file when the window closes.
//
// The texts come from the window-free core (FileInfoTexts.h).
//
// Owned by the main window (Qt parent), created once and kept; owns its
// converter; borrows the message boxes. User-interface thread only.
#pragma once

#include <QDialog>

#include <string>

#include "app/FileInfoTexts.h"
#include "engine/component/FFmpegVCL.h"
#include "gui/common/QtUserInteraction.h"

class QLabel;
class QLineEdit;
class QGroupBox;
class QPushButton;

class TfrmFileInfo : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmFileInfo(QWidget* owner);
  ~TfrmFileInfo() override;

  void SetUserInteraction(IUserInteraction* ui);
  // Fills the window for `source`; "" (no rows) leaves every field empty.
  // A file that cannot be opened is reported and shows its name only.
  void ShowSource(const std::string& source);
  TFFmpegVCL& Converter() { return vcl_; }

  QLabel *lblSourceName = nullptr, *lblFileLength = nullptr;
  QGroupBox *grpVideo = nullptr, *grpAudio = nullptr;
  QLineEdit *edtFormat = nullptr, *edtResloution = nullptr, *edtFrameRate = nullptr,
            *edtTotalFrame = nullptr, *edtBitRate = nullptr;
  QLineEdit *edtAudioForamt = nullptr, *edtSampleRate = nullptr, *edtChannel = nullptr,
            *edtAudioBitRate = nullptr;
  QPushButton* btn1 = nullptr;

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  QLineEdit* AddField(QWidget* group, const char* name, const QString& label, int row);
  void ShowTexts(const TFileInfoTexts& texts, const std::string& source);

  TFFmpegVCL vcl_;
  TQtUserInteraction qtUi_;
  IUserInteraction* ui_ = nullptr;
};
