#include "app/PlaybackControl.h"

#include <algorithm>

#include "app/GlobalUnit.h"
#include "app/PreviewRules.h"
#include "editing/WmPreview.h"

TPlaybackControl::TPlaybackControl(TFFPlayer& player, const TPlaybackRules& rules,
                                   std::string settingsFile)
    : player_(player), rules_(rules), settingsFile_(std::move(settingsFile)) {}

TPlaybackButtons TPlaybackControl::Buttons() const {
  const bool seekable = durationUs_ > 0;
  switch (mode_) {
    case TPlayMode::Playing: return {false, true, true, seekable};
    case TPlayMode::Paused: return {true, false, true, seekable};
    case TPlayMode::Ended:
      if (rules_.EndKeepsStopAndBar) return {true, false, true, seekable};
      return {};
    case TPlayMode::Stopped: break;
  }
  return {};
}

int TPlaybackControl::SettleMs() const {
  return rules_.SeekOnPress ? playback::kScrubSettleMs : playback::kSeekSettleMs;
}

TPlaybackControl::TPlayStep TPlaybackControl::Play() {
  const bool resume =
      mode_ == TPlayMode::Paused || (mode_ == TPlayMode::Ended && rules_.PlayAfterEndResumes);
  if (!resume) return TPlayStep::OpenFile;
  if (player_.Paused()) player_.Resume();
  mode_ = TPlayMode::Playing;
  return TPlayStep::Resumed;
}

void TPlaybackControl::Opened(bool ok) { mode_ = ok ? TPlayMode::Playing : TPlayMode::Stopped; }

bool TPlaybackControl::Pause() {
  if (!player_.FileOpen()) return false;
  if (!player_.Paused()) player_.Pause();
  mode_ = TPlayMode::Paused;
  return true;
}

void TPlaybackControl::Stop() {
  if (player_.Paused()) player_.Resume();
  player_.Stop(true);
  mode_ = TPlayMode::Stopped;
}

void TPlaybackControl::Close() {
  mode_ = TPlayMode::Stopped;
  seekPending_ = false;
  seekIssued_ = false;
  resumeAfterSeek_ = false;
}

void TPlaybackControl::FileOpened(std::int64_t durationUs) {
  durationUs_ = std::max<std::int64_t>(durationUs, 0);
  seekPending_ = false;
  const int mute = TAppSettings(settingsFile_).Mute();
  if (mute == 0 || mute == 1) player_.SetMute(mute == 1);
}

std::optional<int> TPlaybackControl::BarPosition(std::int64_t ptsUs, int barMax) const {
  if (seekPending_) return std::nullopt;
  switch (rules_.Rounding) {
    case TBarRounding::Truncate: return SeekBarPositionTruncated(barMax, ptsUs, durationUs_);
    case TBarRounding::KeepWithoutDuration: return PreviewBarPosition(barMax, ptsUs, durationUs_);
    case TBarRounding::Round: break;
  }
  return SeekBarPosition(barMax, ptsUs, durationUs_);
}

bool TPlaybackControl::StateReported(TPlayState state) {
  switch (state) {
    case psEnd:
      // The end of a file that was closed since (Stop, a new file) is late.
      if (!player_.FileOpen()) return false;
      ShowEnd();
      return true;
    case psPause:
      if (!rules_.FollowPlayerReports) return false;
      mode_ = TPlayMode::Paused;
      return true;
    case psStop:
      // The stop of a file that has been replaced since comes late: the new
      // file plays on.
      if (!rules_.FollowPlayerReports || player_.FileOpen()) return false;
      mode_ = TPlayMode::Stopped;
      return true;
    default: return false;
  }
}

// Back to the start, paused: Play then starts the file over.
void TPlaybackControl::ShowEnd() {
  mode_ = TPlayMode::Ended;
  player_.Seek(0, rules_.RewindFlags, false);
  player_.Pause();
}

std::int64_t TPlaybackControl::SeekTarget(int position, int barMax) const {
  return SeekTargetUs(position, barMax, durationUs_);
}

bool TPlaybackControl::BarPressed(int position, int barMax) {
  seekIssued_ = false;
  if (!rules_.SeekOnPress) {
    seekPending_ = true;
    return false;
  }
  if (!player_.FileOpen() || barMax <= 0) return false;
  seekPending_ = true;
  resumeAfterSeek_ = resumeAfterSeek_ || !player_.Paused();
  player_.Pause();
  // A quick picture near the spot first, then the exact place.
  player_.Seek(std::min(SeekTarget(position + 1, barMax), durationUs_), playback::kSeekAnyFrame,
               true);
  player_.Seek(SeekTarget(position, barMax), 0, false);
  return true;
}

void TPlaybackControl::BarDragged(int position, int barMax) {
  if (!rules_.SeekOnPress || !seekPending_ || !player_.FileOpen()) return;
  player_.Seek(SeekTarget(position, barMax), 0, false);
}

bool TPlaybackControl::BarReleased(int position, int barMax) {
  if (rules_.SeekOnPress || !seekPending_ || seekIssued_) return false;
  seekIssued_ = true;
  player_.Seek(SeekTarget(position, barMax), 0, false);
  return true;
}

void TPlaybackControl::Settled() {
  if (resumeAfterSeek_ && player_.Paused()) player_.Resume();
  resumeAfterSeek_ = false;
  seekPending_ = false;
  seekIssued_ = false;
}

void TPlaybackControl::SetVolume(int volume) {
  player_.SetAudioVolume(volume);
  TAppSettings(settingsFile_).SetVolume(volume);
}

void TPlaybackControl::SetMuted(bool muted) {
  player_.SetMute(muted);
  TAppSettings(settingsFile_).SetMute(muted);
}
