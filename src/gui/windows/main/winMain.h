// TfrmMain: the main window. Holds the source list, the toolbar and menus,
// the output format picker, the output folder controls and the preview panel
// with its own player; owns the converter of the batch and the batch driver.
//
// The window only shows and forwards: the rules live in the window-free core
// (TSourceList, TBatchDriver, the format list, the preview arithmetic, the
// snapshot writer). Its code is split by concern: winMain.cpp (frame, title
// bar, toolbar, menus, show and exit), winMainList.cpp (the source list),
// winMainFormat.cpp (format picker and output folder), winMainPreview.cpp
// (preview player, seek and volume bars, snapshots), winMainBatch.cpp (Start),
// winMainWindows.cpp (the other windows it opens).
//
// Owns: the settings object (registered as the global one), the converter,
// the player, the source list and the batch driver; child widgets through Qt.
// Threads: user-interface thread only. Player events arrive on the player's
// event thread and are queued to this window; converter events come through
// the batch driver, which hands them over first.
#pragma once

#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/BatchDriver.h"
#include "app/BatchView.h"
#include "app/GlobalUnit.h"
#include "app/SourceList.h"
#include "engine/component/FFmpegVCL.h"
#include "gui/common/QtUserInteraction.h"
#include "gui/widgets/PlaybackPanel.h"
#include "player/FFPlay.h"

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolButton;
class QPushButton;
class TFormatListBox;
class TPlayerWidget;
class TSourceListModel;
class TSourceListView;
class TTrackBar2;
class TfrmAbout;
class TfrmSettings;
class TfrmTrim;
class TfrmCrop;
class TfrmWaterMark;
class TfrmPreference;
class TfrmFileInfo;
class TfmDirectory;
class TfrmProgress;

class TfrmMain : public QWidget, public IBatchListView {
  Q_OBJECT

 public:
  // `settings` becomes the global settings object; null creates it for the
  // application (the common application-data folder).
  explicit TfrmMain(std::unique_ptr<TGlobalObject> settings = nullptr, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // ---- what tests and the other windows reach ----
  // Boxes go here instead of Qt message boxes when set (tests).
  void SetUserInteraction(IUserInteraction* ui);
  IUserInteraction& Ui() { return *ui_; }
  // Replaces Add's file dialog (tests, drag and drop): returns the files.
  std::function<QStringList()> ChooseFiles;
  // Replaces the folder browser: given the current folder, returns the
  // chosen one ("" when cancelled).
  std::function<QString(const QString&)> ChooseFolder;
  // The exit question: true closes. Asked through Ui().
  bool ConfirmExit();
  // Closes without the question (desktop session end, SIGTERM/SIGINT).
  void CloseWithoutQuestion();

  TSourceList& SourceList() { return list_; }
  TFFmpegVCL& Converter() { return vcl_; }
  TFFPlayer& Player() { return player_; }
  TBatchDriver& Batch() { return *batch_; }
  const std::string& SettingsFile() const { return settings_->SettingsFile(); }
  const std::string& FormatFile() const { return settings_->FormatFile(); }
  TPlayerWidget* PreviewPanel() const { return pan1_; }
  TSourceListView* ListView() const { return lvFIles_; }
  TFormatListBox* FormatList() const { return lst1_; }
  // The settings dialog, created on first use (ShowSettingsDialog shows it
  // modally; tests show it themselves).
  TfrmSettings* SettingsDialog();
  // The preferences, the file information window and the folder browser,
  // each created on first use and kept.
  TfrmPreference* PreferenceDialog();
  TfrmFileInfo* FileInfoWindow();
  TfmDirectory* FolderBrowser();

  // ---- actions (menus, buttons) ----
  void AddFiles();
  // Adds files as Add does (a folder adds the media files inside it),
  // behind a progress dialog when there are many.
  void AddFileList(const QStringList& files);
  // Add's file dialog filters: the program's own three, then "All media
  // files" with every extension the probe reads.
  static QString AddFileFilter();
  void RemoveFile();
  void ClearFiles();
  void StartBatch();
  void PlayPreview();
  void PausePreview();
  void StopPreview() override;
  void PlayPrevious();
  void PlayNext();
  void TakeSnapshot();
  void ShowFormatList(bool movePointer, bool resize = true);
  void CloseFormatList();
  void SizeFormatList();
  bool ShowProgressReason(int row, int column);
  void PickFormat(const QString& name, int code);
  void BrowseOutputFolder();
  void OpenOutputFolder();
  void SelectRow(int row);
  // Rebuilds the format list and the format field from the settings file
  // (after the settings dialog changed them).
  void ReloadFormat();

  // ---- IBatchListView ----
  void EnableButtons(unsigned buttons) override;
  void ListChanged(bool hasRows) override;
  void RowChanged(int row) override;

  // Controls, named as the program's documentation names them.
  QToolButton *btnAdd = nullptr, *btnRemove = nullptr, *btnClear = nullptr, *btnSettings = nullptr,
              *btnEdit = nullptr, *btnStart = nullptr, *btnExit = nullptr;
  QToolButton *menubtnFile = nullptr, *menubtnEdit = nullptr, *menubtnPreference = nullptr,
              *menubtnHelp = nullptr;
  QToolButton *btnSmall = nullptr, *btnClose = nullptr;
  QToolButton *imgbtnPre = nullptr, *imgbtnPlay = nullptr, *imgbtnPause = nullptr,
              *imgbtnStop = nullptr, *imgbtnNext = nullptr, *imgbtnSnap = nullptr,
              *imgbtnMute = nullptr, *imgbtn1 = nullptr;
  QLabel *lbl_appname = nullptr, *lblTime = nullptr, *lblPTS = nullptr;
  QLineEdit *edt1 = nullptr, *edDirectory = nullptr;
  QPushButton *btnOptions = nullptr, *btnBrows = nullptr, *btnOpen = nullptr;
  TTrackBar2 *trcPreview = nullptr, *trcVolume = nullptr;
  QPlainTextEdit* mmoLog = nullptr;
  QMenu *mnuFile = nullptr, *mnuEdit = nullptr, *mnuHelp = nullptr;
  QAction *actCrop = nullptr, *actTrim = nullptr, *actWaterMark = nullptr, *actInfo = nullptr,
          *actEditAdd = nullptr, *actEditRemove = nullptr, *actEditClear = nullptr,
          *actEditStart = nullptr;
  TPlaybackPanel& Preview() { return *preview_; }
  bool Seeking() const { return preview_->Control().SeekPending(); }
  bool PausedByUser() const { return preview_->Control().Mode() == TPlayMode::Paused; }
  std::int64_t PreviewDuration() const { return preview_->Control().DurationUs(); }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // winMain.cpp
  void CreateBatchDriver();
  // True while this window or one of the windows it opened is active.
  bool ProgramIsActive() const;
  void CreateTitleBar();
  void CreateToolbar();
  void CreateMenus();
  void PopupMenuBelow(QMenu* menu, QToolButton* button);
  void UpdateEditMenu();
  void ShowAbout();
  void OpenHelp();
  void LoadMediaLibraries();
  void ShutDownComponents();
  // winMainList.cpp
  void CreateList();
  void ListSelectionChanged();
  // winMainFormat.cpp
  void CreateFormatPicker();
  void CreateOutputFolder();
  // winMainPreview.cpp
  void CreatePreview();
  void CreatePreviewPanel();
  void OpenPreview();
  void UpdatePreviousNext();
  void LoadVolumeAndMute();
  // winMainWindows.cpp
  void ShowSettingsDialog();
  void ShowTrimWindow();
  void ShowCropWindow();
  void ShowWatermarkWindow();
  void ShowPreferences();
  void ShowFileInfo();
  QString BrowseForFolder(const QString& current);
  IProgressView* ProgressView();

  std::unique_ptr<TGlobalObject> settings_;
  TQtUserInteraction qtUi_;
  IUserInteraction* ui_ = nullptr;
  TFFmpegVCL vcl_;
  TFFPlayer player_;
  // The preview's buttons and bars on player_ (detached at shut-down).
  std::unique_ptr<TPlaybackPanel> preview_;
  TSourceList list_;
  std::unique_ptr<TBatchDriver> batch_;

  QWidget* titleBar_ = nullptr;
  TSourceListView* lvFIles_ = nullptr;
  TSourceListModel* model_ = nullptr;
  TPlayerWidget* pan1_ = nullptr;
  TFormatListBox* lst1_ = nullptr;
  QMenu* openMenu_ = nullptr;  // the menu a menu button opened, while open

  QPointer<TfrmAbout> frmAbout_;
  QPointer<TfrmSettings> frmSettings_;
  QPointer<TfrmTrim> frmTrim_;
  QPointer<TfrmCrop> frmCrop_;
  QPointer<TfrmPreference> frmPreference_;
  QPointer<TfrmFileInfo> frmFileInfo_;
  QPointer<TfmDirectory> fmDirectory_;
  QPointer<TfrmProgress> frmProgress_;

  bool playAfterAdd_ = false;
  bool shownOnce_ = false;
  bool closing_ = false;
  bool askOnClose_ = true;
  QPoint dragOffset_;
  bool draggingWindow_ = false;
};
