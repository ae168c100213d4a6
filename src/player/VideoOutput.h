// TVideoOutput: the play thread's side of the picture queue. Picks the
// picture due now (dropping late and stale ones), blends due subtitles into
// it, converts it and hands it to the display target; for files without
// video it draws the wave display instead.
//
// Owns the picture on show (a frame reference), the display bitmap and the
// display converter. Refresh/Redisplay run on the play thread only;
// ShownPicture may be called from any thread (shownMutex_ guards the picture
// on show).
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/libav/FrameConverter.h"
#include "player/PlaybackState.h"
#include "player/PlayerTypes.h"

class TAudioOutput;
struct AVFrame;

class TVideoOutput {
 public:
  TVideoOutput(TPlaybackState& state, IPlayerHost& host, const TAudioOutput& audio);
  ~TVideoOutput();
  TVideoOutput(const TVideoOutput&) = delete;
  TVideoOutput& operator=(const TVideoOutput&) = delete;

  void SetWaveMode(bool on) { waveMode_ = on; }
  bool WaveMode() const { return waveMode_; }

  // One refresh event: shows the picture that is due and consumes it.
  // Returns false when a picture was dropped.
  bool Refresh();
  // Shows the picture on show again (resize, aspect change, expose).
  void Redisplay();

  // Copies the picture on show into `bitmap` (BGR at its size) and its pts in
  // seconds. 1 done, 0 nothing shown yet, -1 the conversion failed.
  int ShownPicture(TBitmap& bitmap, double& pts);

 private:
  bool TakeDuePicture(AVFrame*& due, bool& dropped);
  void UpdateSubtitles();
  void BlendDueSubtitles(AVFrame* picture);
  void Display(const AVFrame* picture);
  void DrawWaves();
  int WaveStart(int channels, int width);

  TPlaybackState& state_;
  IPlayerHost& host_;
  const TAudioOutput& audio_;
  bool waveMode_ = false;

  TFrameConverter displayConverter_;
  TBitmap waveBitmap_;
  std::vector<std::int16_t> waveSamples_;
  int waveLastStart_ = 0;
  bool waveHasStart_ = false;

  std::mutex shownMutex_;
  AVFrame* shown_ = nullptr;           // under shownMutex_
  double shownPts_ = 0;                // under shownMutex_
  TFrameConverter snapshotConverter_;  // under shownMutex_
};
