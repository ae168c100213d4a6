#include "player/PlaybackState.h"

double TPlaybackState::AudioClockLocked() const {
  double pts = AudioClock;
  if (AudioBytesPerSecond > 0) pts -= double(AudioBufferRemaining) / AudioBytesPerSecond;
  return pts;
}

double TPlaybackState::VideoClockLocked() const {
  if (Paused) return CurrentPts;
  if (CurrentPtsDrift != 0) return CurrentPtsDrift + NowSeconds();
  return StartSeconds();
}

// Audio leads whenever there is an audio stream.
double TPlaybackState::MasterClockLocked() const {
  return Audio.Open() ? AudioClockLocked() : VideoClockLocked();
}

double TPlaybackState::ReadAudioClock() const {
  std::lock_guard lock(ClockMutex);
  return AudioClockLocked();
}

double TPlaybackState::ReadVideoClock() const {
  std::lock_guard lock(ClockMutex);
  return VideoClockLocked();
}

double TPlaybackState::MasterClock() const {
  std::lock_guard lock(ClockMutex);
  return MasterClockLocked();
}
