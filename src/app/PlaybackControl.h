// TPlaybackControl: the rules of a preview player that a window drives with
// its Play, Pause and Stop buttons and a seek bar: the play mode (stopped,
// playing, paused by the user, ended), which buttons each mode offers, the
// seek gate that keeps position reports off the bar while the user seeks,
// the rewind at the end of the file, and the stored volume and mute. The
// main window's preview, the trim and crop windows and the watermark editor
// all play through it; their differences are the few switches of
// TPlaybackRules.
//
// Borrows the player, which outlives it. User-interface thread only: the
// player's events reach it there (queued by the window), and it calls the
// player from there; only Mode() may be read on any thread (a picture hook
// on the player's video thread asks whether playback runs). The settle
// delay is the window's timer: after a seek the window waits SettleMs() and
// then calls Settled().
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "player/FFPlay.h"

namespace playback {

// Seek flag: land on any frame, not only a key frame.
constexpr int kSeekAnyFrame = 4;
// How long the seek gate stays closed after a seek made at the release:
// position reports from before the seek may still be queued and must not
// pull the bar back.
constexpr int kSeekSettleMs = 300;
// How long a seek made at the press lets the picture settle before playing
// on (the watermark editor's preview bar).
constexpr int kScrubSettleMs = 500;

}  // namespace playback

enum class TPlayMode { Stopped, Playing, Paused, Ended };

// The controls a mode enables. Snapshot, where a window has one, follows Stop.
struct TPlaybackButtons {
  bool Play = true;
  bool Pause = false;
  bool Stop = false;
  bool Bar = false;
  bool operator==(const TPlaybackButtons&) const = default;
};

// How a seek bar turns a play time into its position.
enum class TBarRounding { Round, Truncate, KeepWithoutDuration };

// Where the windows differ.
struct TPlaybackRules {
  // Seek flags of the rewind to 0 at the end of the file.
  int RewindFlags = playback::kSeekAnyFrame;
  // The bar seeks at the press and while dragged, pausing for the settle
  // delay; otherwise it seeks once, at the release.
  bool SeekOnPress = false;
  // The player's own pause and stop reports change the mode, not only the
  // buttons (a pause the player made counts as the user's).
  bool FollowPlayerReports = false;
  // At the end Stop and the bar stay as they were; otherwise both go off.
  bool EndKeepsStopAndBar = false;
  // Play after the end resumes from the start; otherwise it opens the file
  // again.
  bool PlayAfterEndResumes = false;
  TBarRounding Rounding = TBarRounding::Round;
};

class TPlaybackControl {
 public:
  // What Play asks of the window.
  enum class TPlayStep { None, Resumed, OpenFile };

  TPlaybackControl(TFFPlayer& player, const TPlaybackRules& rules, std::string settingsFile);

  TPlayMode Mode() const { return mode_; }
  TPlaybackButtons Buttons() const;
  bool SeekPending() const { return seekPending_; }
  std::int64_t DurationUs() const { return durationUs_; }
  int SettleMs() const;
  const std::string& SettingsFile() const { return settingsFile_; }

  // ---- the window's commands ----
  // Play: resumes a pause (or an end that resumes) or asks for the file to
  // be opened; nothing while playing.
  TPlayStep Play();
  // The window opened (or failed to open) the file.
  void Opened(bool ok);
  // False when no file is open (nothing changes then).
  bool Pause();
  // Resumes a paused player first, then stops it and waits.
  void Stop();
  // The window closes (and stops the player): no seek is pending any more
  // and nothing counts as playing until a file opens again.
  void Close();

  // ---- the player's events, on the user-interface thread ----
  // Takes the duration and applies the stored mute (1 muted, 0 not, any
  // other value leaves the player as it is).
  void FileOpened(std::int64_t durationUs);
  // The bar's position for a picture at `ptsUs`; none while a seek is
  // pending (or, by the rounding rule, without a duration).
  std::optional<int> BarPosition(std::int64_t ptsUs, int barMax) const;
  // Returns true when the report changed the mode.
  bool StateReported(TPlayState state);

  // ---- the seek bar; positions are the bar's after the mouse moved it ----
  // A left press on the bar (or on a bar that seeks with it). Returns true
  // when the window must start the settle delay.
  bool BarPressed(int position, int barMax);
  // The bar was dragged to `position`.
  void BarDragged(int position, int barMax);
  // The left button was released. True when the window must start the
  // settle delay.
  bool BarReleased(int position, int barMax);
  // The settle delay has passed.
  void Settled();

  // ---- volume and mute, stored in the settings file ----
  void SetVolume(int volume);
  void SetMuted(bool muted);

 private:
  std::int64_t SeekTarget(int position, int barMax) const;
  void ShowEnd();

  TFFPlayer& player_;
  TPlaybackRules rules_;
  std::string settingsFile_;
  std::atomic<TPlayMode> mode_{TPlayMode::Stopped};
  std::int64_t durationUs_ = 0;
  bool seekPending_ = false;
  bool seekIssued_ = false;       // the release already sought
  bool resumeAfterSeek_ = false;  // the press paused a playing player
};
