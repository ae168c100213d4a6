// TPlaybackPanel: a window's preview controls bound to its player through
// TPlaybackControl: Play, Pause and Stop (and Snapshot) enabled per play
// mode, the seek bar with its clock labels, seeking with the mouse, and the
// volume bar and mute button stored in the settings file. The main window's
// preview, the trim and crop windows and the watermark editor each make one.
//
// Seeking: a left press on the seek bar (or on a bar added by WatchBar)
// opens the controller's seek gate, which keeps position reports off the
// bar; dragging with the left button held moves the bar to
// trunc(x / (width - reserve) x Max); the release (or, where the window
// seeks at the press, the press itself) seeks, and the gate closes once the
// settle delay has passed.
//
// Borrows the player and the controls, which outlive it (the window owns
// them and deletes this first). User-interface thread only. The player's
// file-open event runs during Open on the thread that calls it (this one);
// its position and state events come on the player's event thread and are
// queued to this object as signals.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/PlaybackControl.h"

class QLabel;
class QToolButton;
class QWidget;
class TTrackBar2;

class TPlaybackPanel : public QObject {
  Q_OBJECT

 public:
  struct TControls {
    QToolButton* Play = nullptr;
    QToolButton* Pause = nullptr;
    QToolButton* Stop = nullptr;      // may be null
    QToolButton* Snapshot = nullptr;  // may be null; follows Stop
    TTrackBar2* Bar = nullptr;        // the seek bar
    QLabel* Time = nullptr;           // the position
    QLabel* Length = nullptr;         // the duration
    QWidget* Panel = nullptr;         // repainted at Stop; may be null
    TTrackBar2* Volume = nullptr;     // may be null
    QToolButton* Mute = nullptr;      // may be null
  };
  // How far the bars' drag arithmetic stops short of their width, and the
  // mute pictures' side.
  struct TLook {
    double SeekReserve = 0;
    double VolumeReserve = 0;
    int MuteSide = 0;
  };

  TPlaybackPanel(TFFPlayer& player, const TControls& controls, const TPlaybackRules& rules,
                 const TLook& look, std::string settingsFile);
  ~TPlaybackPanel() override;

  TPlaybackControl& Control() { return control_; }
  const TPlaybackControl& Control() const { return control_; }

  // The display size the player is given when a file opens.
  void SetDisplaySize(int width, int height);
  // Presses on `bar` open the seek gate too.
  void WatchBar(QWidget* bar);
  // Off: the window shows positions itself (from its picture hook).
  void SetFollowPositionReports(bool on) { followReports_ = on; }
  // The clock labels' text for a time in microseconds (ClockText by default).
  std::function<std::string(std::int64_t us)> TimeText;

  // The window's own part of the file-open event, after the controller took
  // the duration and before the bar is enabled and set to 0.
  std::function<void(std::int64_t durationUs, int frameWidth, int frameHeight)> OnFileOpened;
  // Play found nothing to resume: the window opens its file (and then calls
  // Opened).
  std::function<void()> OnOpenFile;
  // The buttons show a new mode (the end: the file was sent back to the
  // start).
  std::function<void(TPlayMode mode)> OnModeShown;

  // ---- commands (the buttons are connected to these) ----
  void Play();
  void Pause();
  void Stop();
  // The window's Open returned `ok`; false leaves only Play offered.
  void Opened(bool ok);
  // The window closes: pending seeks are forgotten.
  void Close();
  // The window goes: no event of the player reaches this object any more.
  void Detach();

  // ---- what the player reports ----
  void FileOpened(std::int64_t durationUs, int frameWidth, int frameHeight);
  void ShowPosition(std::int64_t ptsUs);
  void StateReported(TPlayState state);

  void ShowButtons();
  void ResetClocks();
  // The volume bar and the mute button as stored.
  void LoadVolumeAndMute();
  void ToggleMute();

 signals:
  void PlayerPosition(qint64 pts);
  void PlayerState(int state);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BindPlayer();
  void BindBars();
  void BarPressed(int x);
  void BarDragged(int x);
  void BarReleased();
  void StartSettle();
  void MoveBarQuietly(int position);
  int DragTo(int x) const;
  QString Clock(std::int64_t us) const;

  TFFPlayer& player_;
  TControls c_;
  TLook look_;
  TPlaybackControl control_;
  int displayWidth_ = 0;
  int displayHeight_ = 0;
  bool followReports_ = true;
  bool loadingVolume_ = false;  // the stored volume is being shown, not chosen
  std::vector<QWidget*> watchedBars_;
  QTimer settle_;
};
