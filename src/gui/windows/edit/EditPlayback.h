// TEditPlayback: the playback the trim and crop windows share: their own
// player, the Play, Pause and Stop buttons, the playback bar with its clock
// labels, the play flags, and seeking with the bars.
//
// Seeking: while the window shows, an application-wide event filter watches
// the mouse. A left press on one of the watched bars sets SeekPending, which
// keeps position reports from moving the playback bar; the next left
// release anywhere seeks to the bar's position and clears SeekPending 300 ms
// later, once reports from before the seek have passed.
//
// Owns the player. The player raises its file-open event on the thread that
// calls Open (this object's, the user-interface thread), so OnFileOpened runs
// before Open returns; position and state events come on the player's event
// thread and are queued to this object. PlayPaused and PlayStopped are
// atomics because a window's picture hook reads them on the player's video
// thread; everything else is user-interface thread only.
#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "player/FFPlay.h"

class QLabel;
class QToolButton;
class QWidget;
class TTrackBar2;

class TEditPlayback : public QObject {
  Q_OBJECT

 public:
  struct TControls {
    QToolButton* Play = nullptr;
    QToolButton* Pause = nullptr;
    QToolButton* Stop = nullptr;
    TTrackBar2* Bar = nullptr;  // the playback bar
    QLabel* Time = nullptr;     // the position
    QLabel* Length = nullptr;   // the duration
    QWidget* Panel = nullptr;   // repainted at Stop; may be null
  };
  // How the window's playback bar follows the pointer and the player.
  struct TBarRules {
    double DragReserve = 0;          // pointer x / (width - reserve) x Max
    bool TruncatePositions = false;  // position reports truncated, else rounded
  };

  TEditPlayback(const TControls& controls, const TBarRules& rules, std::string settingsFile);
  ~TEditPlayback() override;

  TFFPlayer& Player() { return *player_; }
  // Where the pictures go (null: nowhere; a picture hook takes them).
  void SetDisplay(IDisplayTarget* display, int width, int height);
  // Presses on `bar` start a seek too (the playback bar always does).
  void WatchBar(QWidget* bar);
  // Installs or removes the mouse watch (the window is shown or hidden).
  void SetWatching(bool on);

  // Loads the media libraries when they are not; false (with the player's
  // reason in LastErrMsg) when that fails.
  bool EnsureLibraries();
  // Opens `file` and plays it: OnFileOpened runs during the opening, the
  // flags clear and the buttons show playing. False when it cannot be
  // opened (the buttons then offer Play only).
  bool Open(const std::string& file);
  std::function<void(std::int64_t durationUs, int frameWidth, int frameHeight)> OnFileOpened;
  // A file is open in the player, or was and Play opens it again.
  const std::string& FileName() const { return file_; }

  void Play();
  void Pause();
  void Stop();
  // The window closes: the player stops (waiting or not).
  void Close(bool wait);
  // The window goes away: no event reaches it any more, the player stops.
  void Shutdown();

  bool PlayPaused() const { return playPaused_; }
  bool PlayStopped() const { return playStopped_; }
  // Marks playback as not started, so no picture is taken before it is.
  void MarkNotStarted();
  bool SeekPending() const { return seekPending_; }
  std::int64_t DurationUs() const { return durationUs_; }

 signals:
  void PlayerPosition(qint64 pts);
  void PlayerState(int state);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BindPlayer();
  void FileOpened(std::int64_t durationUs, int frameWidth, int frameHeight);
  void OnPosition(std::int64_t pts);
  void OnState(TPlayState state);
  void ShowPlaying();
  void ShowNotPlaying();
  void SeekToBar();
  bool BarUsable() const;
  bool Watched(QObject* object) const;

  TControls c_;
  TBarRules rules_;
  std::string settingsFile_;
  std::unique_ptr<TFFPlayer> player_;
  IDisplayTarget* display_ = nullptr;
  int displayWidth_ = 0;
  int displayHeight_ = 0;
  std::string file_;
  std::int64_t durationUs_ = 0;
  std::atomic<bool> playPaused_{false};
  std::atomic<bool> playStopped_{false};
  bool seekPending_ = false;
  bool seekIssued_ = false;
  bool watching_ = false;
  std::vector<QWidget*> watchedBars_;
  QTimer seekSettle_;
};
