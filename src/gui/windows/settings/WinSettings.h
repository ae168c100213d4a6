// TfrmSettings: the modal "Settings" dialog in which the user picks the
// output format and tunes that format's video and audio settings. It is
// initialised anew from the settings and profile files each time it is
// shown, checks what the user types, and at Ok stores the chosen format's
// settings and makes it the current format (then Stored() asks the main
// window to rebuild its format list); Cancel stores nothing.
//
// The rules live in the window-free core: ReadFormatBoxes (what the boxes
// show), FilterBoxKey and CheckBoxText (typing), FactoryChoices (Default),
// StoreDialogChoices (Ok). Code split: WinSettings.cpp (controls, showing,
// the format list, the buttons), WinSettingsBoxes.cpp (filling the boxes,
// the key filters and focus checks).
//
// Owns its controls through Qt and its format list's rows (TFormatListBox);
// borrows the question boxes (SetUserInteraction). User-interface thread
// only; no lock.
#pragma once

#include <QDialog>

#include <string>

#include "gui/common/QtUserInteraction.h"
#include "profiles/FormatBoxes.h"

class QComboBox;
class QFocusEvent;
class QKeyEvent;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class TFormatListBox;

class TfrmSettings : public QDialog {
  Q_OBJECT

 public:
  TfrmSettings(std::string settingsFile, std::string profileFile, QWidget* owner);

  // Boxes go through `ui` (not owned; the program's message boxes by default).
  void SetUserInteraction(IUserInteraction* ui);

  const std::string& CurrentFormatName() const { return currentName_; }
  int CurrentFormatCode() const { return currentCode_; }
  // The box that shows a choice list.
  QComboBox* Box(TChoiceKey key) const { return boxes_[key]; }

  void ShowFormatList(bool resize = true);
  void CloseFormatList();
  void SizeFormatList();
  void PickFormat(const QString& name, int code);

  // Controls, named as the program's documentation names them.
  QLineEdit* edt1 = nullptr;
  QToolButton* imgbtn1 = nullptr;
  TFormatListBox* lst1 = nullptr;
  QGroupBox *grpVideo = nullptr, *grpAudio = nullptr;
  QComboBox *cmbVideoSize = nullptr, *cmbVideoBitRate = nullptr, *cmbVideoEncoder = nullptr,
            *cmbFrameRate = nullptr, *cmbZoom = nullptr;
  QComboBox *cmbSamplerate = nullptr, *cmbAudioBitRate = nullptr, *cmbAudioEncoder = nullptr,
            *cmbChannel = nullptr, *cmbVolume = nullptr;
  QPushButton *btnDefault = nullptr, *btnOk = nullptr, *btnCancel = nullptr;

 signals:
  // Ok stored the settings; the format list of the main window is stale.
  void Stored();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // WinSettings.cpp
  void CreateFormatPicker();
  void CreateVideoGroup();
  void CreateAudioGroup();
  void CreateButtons();
  void Initialise();
  void FormatFieldChanged();
  void RestoreDefaults();
  void StoreAndClose();
  IUserInteraction& Ui() const;
  // WinSettingsBoxes.cpp
  // The box of `key` (ckChoiceKeyCount: the zoom box) with its label, in
  // `column` and `row` of its group.
  QComboBox* MakeBox(QWidget* group, TChoiceKey key, const QString& label, int column, int row);
  void FillBoxes(TFillMode mode);
  void EnableGroups(const TFormatBoxes& boxes);
  TFormatChoices Choices() const;
  // Chooses item `index` (none when outside the items); an editable box
  // shows its text.
  static void SelectItem(QComboBox* box, int index);
  // True when the typed key may go into the box; a refused key beeps (and
  // may say why).
  bool FilterKey(TChoiceKey key, QKeyEvent* event);
  void BoxLostFocus(TChoiceKey key, QFocusEvent* event);
  // The focus-out check; false when the text was refused or corrected.
  bool CheckBox(TChoiceKey key);
  // The editable box with the focus, if any, checked as if it lost it.
  bool CheckFocusedBox();
  // The editable box's key; ckChoiceKeyCount for anything else.
  TChoiceKey KeyOf(QObject* object) const;
  std::string MessageCaption() const;

  std::string settingsFile_;
  std::string profileFile_;
  TQtUserInteraction qtUi_;
  IUserInteraction* ui_ = nullptr;
  std::string currentName_;
  int currentCode_ = 0;
  QComboBox* boxes_[ckChoiceKeyCount] = {};
  // Where a click or shortcut moved the focus when a check refused the text
  // it left; Ok pressed that way does not act (the user sees the message
  // and the reset box first, and presses again).
  QWidget* refusedToward_ = nullptr;
  bool okRefused_ = false;
  bool filling_ = false;
};
