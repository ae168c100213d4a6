// TfrmPreference: the "Preference" dialog (480 x 390) for the snapshot
// folder, which snapshot sizes and formats are written, the JPEG quality and
// the conversion priority and how many files a batch converts at once.
// Every show reloads it from the settings file;
// only Ok (and Brows, for the folder) writes.
//
// The rules live in the window-free core: TPreferenceEdit holds the values
// being edited (what show reads, Default, Ok, the check-box rule), and each
// control forwards its changes to it; FolderChoice.h gives Brows its rules.
//
// Owned by the main window (Qt parent), created once and kept; borrows the
// message boxes and the folder browser. User-interface thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <string>

#include "app/PreferenceStore.h"
#include "gui/common/QtUserInteraction.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

class TfrmPreference : public QDialog {
  Q_OBJECT

 public:
  TfrmPreference(std::string settingsFile, QWidget* owner);

  void SetUserInteraction(IUserInteraction* ui);
  // The folder browser Brows opens: given the folder shown, returns the
  // chosen one ("" when cancelled).
  std::function<QString(const QString&)> ChooseFolder;

  // The values as edited so far.
  const TPreferences& Values() const { return edit_.Values(); }

  QLineEdit* edtSnapDirectory = nullptr;
  QPushButton *btnBrows = nullptr, *btnOpen = nullptr;
  QCheckBox *ckSmallSize = nullptr, *ckFullSize = nullptr, *ckBmp = nullptr, *ckJpg = nullptr;
  QSpinBox* spedCmp = nullptr;
  QSlider* trcCmp = nullptr;
  QGroupBox* rdGrpPriority = nullptr;
  QRadioButton* rdPriority[4] = {};
  // "Auto", then 1..16: the item's index is the stored setting.
  QComboBox* cbFilesAtOnce = nullptr;
  QPushButton *btnDefault = nullptr, *btnOk = nullptr, *btnCancel = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateFolderRow();
  void CreateSnapshotChoices();
  void CreateQuality();
  void CreatePriority();
  void CreateFilesAtOnce();
  void CreateButtons();
  QCheckBox* MakeChoiceBox(TSnapChoice choice, const char* name, const QString& text, int x, int y);
  // Shows the edited values in the controls.
  void ShowValues();
  void Browse();
  void StoreAndClose();

  std::string settingsFile_;
  TPreferenceEdit edit_;
  TQtUserInteraction qtUi_;
  IUserInteraction* ui_ = nullptr;
  QButtonGroup* priorities_ = nullptr;
};
