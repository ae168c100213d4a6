// TPlayerEngine: plays one open file. Owns the playback state and the read,
// refresh, video and subtitle threads and the audio output; Open starts them,
// Close stops and frees them all.
//
// Threads: Open, Close, TogglePause, RequestSeek and the Handle* members are
// called by the owning component (user-interface thread or its play thread,
// serialised by the component's player mutex; TogglePause also from the
// video thread while single stepping, serialised by pauseMutex_). The
// engine's own threads share TPlaybackState (see its locks).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "player/AudioOutput.h"
#include "player/PlayLoop.h"
#include "player/PlaybackState.h"
#include "player/PlayerTypes.h"
#include "player/SubtitleDecoder.h"
#include "player/VideoDecoder.h"
#include "player/VideoOutput.h"

class TPlayerEngine {
 public:
  TPlayerEngine(IPlayerHost& host, TPlayLoopQueue& loop, const TEngineOptions& options);
  ~TPlayerEngine();
  TPlayerEngine(const TPlayerEngine&) = delete;
  TPlayerEngine& operator=(const TPlayerEngine&) = delete;

  // Opens the file and starts playing; returns after the read thread has
  // reported. On failure `error` holds the reason and the engine is closed.
  bool Open(const std::string& fileName, std::string& error);
  // Stops every thread and frees the file. Idempotent.
  void Close();
  bool IsOpen() const { return state_ != nullptr; }

  void TogglePause();
  // Pauses unless already paused (the end of a single step).
  void PauseAgain();
  // `pos` and `rel` in microseconds (bytes with the by-byte flag). Replaces
  // a seek still pending, so the last request wins; the caller waits on the
  // component's seek-done and picture events when it wants to see the result.
  void RequestSeek(std::int64_t pos, std::int64_t rel, int flags);

  // Play-thread event handlers.
  // Returns false when a picture was dropped (no position check then).
  bool HandleRefresh();
  void HandleRedisplay();

  TPlaybackState& State() { return *state_; }
  const TPlaybackState& State() const { return *state_; }
  TVideoOutput& Output() { return *output_; }
  const TAudioOutput& Audio() const { return *audio_; }

 private:
  // Read thread (ReadThread.cpp).
  void ReadThreadMain();
  bool OpenInput();
  void ChooseAndOpenStreams();
  bool OpenStream(int index);
  void CloseStream(TStreamSlot& slot);
  bool OpenDecoder(TStreamSlot& slot, int index);
  void ReadLoop();
  void HandlePauseChange(bool& lastPaused);
  void HandleSeek(bool& eofCondition);
  bool QueuesFull() const;
  void HandleEndOfInput();
  bool ReadPacket(AVPacket* pkt, bool& eofCondition);
  void ReadCleanup();
  void Log(int level, const std::string& text);

  void RefreshThreadMain();
  void AbortAll();

  IPlayerHost& host_;
  TPlayLoopQueue& loop_;
  TEngineOptions options_;
  std::unique_ptr<TPlaybackState> state_;
  std::unique_ptr<TAudioOutput> audio_;
  std::unique_ptr<TVideoDecoder> video_;
  std::unique_ptr<TSubtitleDecoder> subtitles_;
  std::unique_ptr<TVideoOutput> output_;
  std::thread readThread_;
  std::thread refreshThread_;
  std::mutex pauseMutex_;
  bool endLogged_ = false;  // read thread only
};
