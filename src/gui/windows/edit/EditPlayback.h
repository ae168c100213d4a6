// TEditPlayback: the playback the trim and crop windows share: their own
// player and its panel (TPlaybackPanel: the Play, Pause and Stop buttons, the
// playback bar with its clock labels, seeking with the bars), and opening
// the row's file again when Play follows a stop.
//
// Owns the player and the panel (the panel goes first). The player raises
// its file-open event on the thread that calls Open (the user-interface
// thread), so OnFileOpened runs before Open returns; position and state
// events are queued to the panel. PlayPaused and PlayStopped may be read on
// any thread (a window's picture hook reads them on the player's video
// thread); everything else is user-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gui/widgets/PlaybackPanel.h"
#include "player/FFPlay.h"

class TEditPlayback {
 public:
  TEditPlayback(const TPlaybackPanel::TControls& controls, const TPlaybackPanel::TLook& look,
                TBarRounding rounding, std::string settingsFile);
  ~TEditPlayback();

  TFFPlayer& Player() { return *player_; }
  TPlaybackPanel& Panel() { return *panel_; }
  // Where the pictures go (null: nowhere; a picture hook takes them).
  void SetDisplay(IDisplayTarget* display, int width, int height);

  // Loads the media libraries when they are not; false (with the player's
  // reason in LastErrMsg) when that fails.
  bool EnsureLibraries();
  // Opens `file` and plays it: the panel's OnFileOpened runs during the
  // opening and the buttons show playing. False when it cannot be opened
  // (the buttons then offer Play only).
  bool Open(const std::string& file);

  // The window closes: the player stops (waiting or not) and nothing counts
  // as playing until a file opens again.
  void Close(bool wait);
  // The window goes away: no event reaches it any more, the player stops.
  void Shutdown();

  bool PlayPaused() const { return panel_->Control().Mode() == TPlayMode::Paused; }
  bool PlayStopped() const;
  bool SeekPending() const { return panel_->Control().SeekPending(); }
  std::int64_t DurationUs() const { return panel_->Control().DurationUs(); }

 private:
  std::unique_ptr<TFFPlayer> player_;
  std::unique_ptr<TPlaybackPanel> panel_;
  IDisplayTarget* display_ = nullptr;
  std::string file_;
};
