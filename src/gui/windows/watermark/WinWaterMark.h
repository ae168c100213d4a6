// TfrmWaterMark: the watermark editor ("Water Mark"). Plays the row's source
// with its own player and shows each frame on a layered canvas; every text
// or picture item is a row of the list and a layer on the canvas that the
// user selects, drags, restyles and times. Ok writes the rows into the
// row's record as watermark items; Cancel and closing leave it untouched.
//
// Split by concern: WinWaterMark.cpp (controls and layout), WinWaterMarkItems.cpp
// (list commands, the selected item's properties, Ok), WinWaterMarkPlayer.cpp
// (player, its hook, the preview bar, closing).
//
// Owns the rows (TWmLayerStack), the player, the child controls (through
// Qt). Borrows the record, the boxes (IUserInteraction) and the settings file
// named in TWaterMarkSource, all of which outlive the window.
// Threads: user-interface thread, except the player's hook, which runs on the
// player's video thread: it reads and writes only the rows' visibility
// (under the row list's lock, which Delete takes too), the canvas's frame
// (under the canvas's lock) and atomics; time and state notices are queued
// to the window through signals.
#pragma once

#include <QDialog>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "editing/WmLayerStack.h"
#include "gui/widgets/PlaybackPanel.h"
#include "player/FFPlay.h"

class IUserInteraction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QToolButton;
class TColorBox;
class TPlayerWidget;
class TTrackBar2;
class TWmCanvas;
class TWmItemList;
class TlvFilesRecord;

// What the editor edits: the row's record and source, and where it reads the
// mute setting and the help address.
struct TWaterMarkSource {
  TlvFilesRecord* Record = nullptr;
  std::string File;
  std::string SettingsFile;
  std::string HelpAddress;
};

class TfrmWaterMark : public QDialog {
  Q_OBJECT

 public:
  TfrmWaterMark(TWaterMarkSource source, IUserInteraction& ui, QWidget* parent = nullptr);
  ~TfrmWaterMark() override;

  // Replaces Add Image's file dialog (tests): returns the chosen file, ""
  // when cancelled.
  std::function<QString()> ChooseImageFile;

  TWmLayerStack& Layers() { return layers_; }
  TFFPlayer& Player() { return player_; }
  std::int64_t Duration() const { return duration_; }
  bool Seeking() const { return playback_->Control().SeekPending(); }
  // True while the player hook updates the canvas (from file open to the end).
  bool HasFrameCopy() const { return frameCopy_; }

  // ---- list commands and properties (the buttons call these) ----
  void AddText();
  void AddImage();
  void DeleteItem();
  void MoveItemUp();
  void MoveItemDown();
  void ClickRow(int row);
  void OpenRowEditor(int row);
  void Play();
  void Pause();
  void Ok();
  void Cancel();

  // Controls, named as the program's documentation names them.
  QPushButton *btnAddText = nullptr, *btnAddImage = nullptr, *btnDelete = nullptr, *btnUp = nullptr,
              *btnDown = nullptr;
  TWmItemList* lsbox = nullptr;
  QLineEdit* edt1 = nullptr;
  QSlider *trcTextHoriz = nullptr, *trcTextVert = nullptr, *trcTextTran = nullptr;
  QLineEdit *edtTextHoriz = nullptr, *edtTextVert = nullptr, *edtTextTran = nullptr;
  TTrackBar2* trcRange = nullptr;
  QLineEdit *edtStart = nullptr, *edtEnd = nullptr;
  QToolButton *btnStartUp1 = nullptr, *btnStartUpStartDown = nullptr, *btnStartUpEndUp = nullptr,
              *btnStartUpEndDown = nullptr;
  QGroupBox* grpBackground = nullptr;
  QRadioButton *rb1 = nullptr, *rb2 = nullptr;
  TColorBox *cbBackColor = nullptr, *cbFontColor = nullptr;
  QComboBox *cbFont = nullptr, *cbFontSize = nullptr;
  QCheckBox *ckBold = nullptr, *ckItalic = nullptr, *ckUnderline = nullptr, *ckStrikeout = nullptr;
  TWmCanvas* ImgView = nullptr;
  TPlayerWidget* imgPreview = nullptr;
  QToolButton *imgbtnPlay = nullptr, *imgbtnpause = nullptr;
  TTrackBar2* trcPreview = nullptr;
  QLabel *lblTime = nullptr, *lblPTS = nullptr;
  QPushButton *btnOk = nullptr, *btnCancel = nullptr, *btnHelp = nullptr;

 signals:
  // Emitted on the video thread for every hooked picture, after the layers'
  // visibility follows it.
  void HookTime(qint64 pts);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void done(int result) override;

 private:
  // WinWaterMark.cpp
  void CreateItemControls();
  void CreatePositionControls();
  void CreateTimeControls();
  void CreateFontControls();
  void CreatePlayerControls();
  void CreateClosingButtons();
  void ConnectItemControls();
  // WinWaterMarkItems.cpp
  TWmFont FontFromControls() const;
  void AddRowFor(TWmItemRec item, bool place);
  void LoadStoredItems();
  void LoadProperties(int row);
  void EnableItemControls(bool enable);
  void EnableTextControls(bool enable);
  void RedrawSelectedText();
  void ApplyHorizontal();
  void ApplyVertical();
  void ApplyTransparency();
  void ApplyRange();
  void ApplyBackgroundMode(bool opaque);
  void ApplyFontControls();
  void FollowDraggedLayer(int row);
  void EditRowText(const QString& text);
  void HideRowEditor();
  void StepThumb(bool upper, int delta);
  void StoreItems();
  // WinWaterMarkPlayer.cpp
  void BindPlayerEvents();
  void OpenSource();
  void OnFileOpen(std::int64_t duration, int frameWidth, int frameHeight);
  void HookFrame(TBitmap& bitmap, std::int64_t pts);
  void ShutDownPlayer(bool wait);

  TWaterMarkSource source_;
  IUserInteraction& ui_;
  TWmLayerStack layers_;
  std::int64_t duration_ = 0;
  // The record's crop margins, copied at show: the hook draws them.
  int cropLeft_ = 0, cropTop_ = 0, cropRight_ = 0, cropBottom_ = 0;
  std::atomic<bool> frameCopy_{false};
  bool shown_ = false;
  bool loadingControls_ = false;  // properties are being shown, not changed
  int editedRow_ = -1;            // the row edt1 edits
  // The play buttons and the preview bar on player_ (detached first).
  std::unique_ptr<TPlaybackPanel> playback_;
  // Declared last: destroyed first, so no hook runs into the members above.
  TFFPlayer player_;
};
