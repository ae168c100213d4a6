// The windows the main window opens. Each is created as the program wants
// it (once and kept, or anew each time).
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include "gui/windows/dialogs/WinDirectory.h"
#include "gui/windows/dialogs/WinFileInfo.h"
#include "gui/windows/dialogs/WinPreference.h"
#include "gui/windows/dialogs/WinProgress.h"
#include "gui/windows/edit/WinCrop.h"
#include "gui/windows/edit/WinTrim.h"
#include "gui/windows/main/winMain.h"
#include "gui/windows/settings/WinSettings.h"
#include "gui/windows/watermark/WinWaterMark.h"

TfrmSettings* TfrmMain::SettingsDialog() {
  if (!frmSettings_) {
    frmSettings_ = new TfrmSettings(SettingsFile(), FormatFile(), this);
    connect(frmSettings_, &TfrmSettings::Stored, this, [this] {
      ReloadFormat();
      // The rows name the files the stored format writes.
      list_.RefreshDestinations(ui_);
    });
  }
  frmSettings_->SetUserInteraction(ui_);
  return frmSettings_;
}

void TfrmMain::ShowSettingsDialog() { SettingsDialog()->exec(); }

void TfrmMain::ShowTrimWindow() {
  StopPreview();
  if (!frmTrim_) frmTrim_ = new TfrmTrim(list_, SettingsFile(), this);
  frmTrim_->exec();
}

void TfrmMain::ShowCropWindow() {
  StopPreview();
  delete frmCrop_;
  frmCrop_ = new TfrmCrop(list_, SettingsFile(), this);
  frmCrop_->exec();
  // The window is made anew each time: its player goes with it now.
  delete frmCrop_;
  // The crop window writes volume and mute as they change.
  LoadVolumeAndMute();
}

void TfrmMain::ShowWatermarkWindow() {
  if (list_.Empty()) return;
  if (list_.Selected() < 0) SelectRow(0);
  const int row = list_.Selected();
  StopPreview();
  // A fresh editor each time; it writes into the row's record only at Ok.
  TfrmWaterMark editor(
      {&list_.Record(row), list_.Row(row).Caption, SettingsFile(), settings_->HelpAddress()}, *ui_,
      this);
  editor.exec();
}

TfrmPreference* TfrmMain::PreferenceDialog() {
  if (!frmPreference_) {
    frmPreference_ = new TfrmPreference(SettingsFile(), this);
    frmPreference_->ChooseFolder = [this](const QString& current) {
      return ChooseFolder ? ChooseFolder(current) : BrowseForFolder(current);
    };
  }
  frmPreference_->SetUserInteraction(ui_);
  return frmPreference_;
}

void TfrmMain::ShowPreferences() { PreferenceDialog()->exec(); }

TfrmFileInfo* TfrmMain::FileInfoWindow() {
  if (!frmFileInfo_) frmFileInfo_ = new TfrmFileInfo(this);
  frmFileInfo_->SetUserInteraction(ui_);
  return frmFileInfo_;
}

void TfrmMain::ShowFileInfo() {
  const int row = list_.Selected();
  const bool chosen = !list_.Empty() && row >= 0;
  FileInfoWindow()->ShowSource(chosen ? list_.Record(row).SourceFile : std::string());
  frmFileInfo_->exec();
}

TfmDirectory* TfrmMain::FolderBrowser() {
  if (!fmDirectory_) fmDirectory_ = new TfmDirectory(this);
  fmDirectory_->SetUserInteraction(ui_);
  return fmDirectory_;
}

QString TfrmMain::BrowseForFolder(const QString& current) {
  return FolderBrowser()->Choose(current);
}

IProgressView* TfrmMain::ProgressView() {
  if (!frmProgress_) frmProgress_ = new TfrmProgress(SettingsFile(), this);
  frmProgress_->Attach(batch_.get(), ui_);
  return frmProgress_;
}
