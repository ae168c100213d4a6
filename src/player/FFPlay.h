// TFFPlayer: the media player component. Opens one file at a time, plays it
// into a display target with the sound on SDL, and reports the opened file,
// the play position and state changes through events.
//
// Owns the engine of the open file, the play thread (which runs the engine's
// event loop), the event thread (which delivers position and state events),
// the event queue and the hook and snapshot converters.
// Threads: operations and property setters are for the thread that owns the
// component (the user-interface thread); property getters may be called from
// any thread. playerMutex_ is held by the play thread while it handles one
// event and by every operation that touches the open engine; handlersMutex_
// guards the event handlers; positionMutex_ the position check.
// AudioVolume and Mute are atomics read by the audio thread on every callback.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/libav/FrameBitmap.h"
#include "engine/libav/FrameConverter.h"
#include "engine/probe/AVProbe.h"
#include "player/PlayLoop.h"
#include "player/PlayerEvents.h"
#include "player/PlayerSync.h"
#include "player/PlayerTypes.h"

class TPlayerEngine;

enum TAudioDriver { adDefault, adDirectSound, adWaveOut };
enum TVideoDriver { vdDefault, vdDirectDraw, vdGDI };

class TFFPlayer;
using TFileOpenEvent = std::function<void(TFFPlayer* sender, std::int64_t duration, int frameWidth,
                                          int frameHeight, int& screenWidth, int& screenHeight)>;
using TPositionEvent = std::function<void(TFFPlayer* sender, std::int64_t pts)>;
using TPlayStateEvent = std::function<void(TFFPlayer* sender, TPlayState state)>;
// `bitmap` is the picture at its decoded size with its canvas locked; what
// the handler leaves in it is shown.
using THookEvent = std::function<void(TFFPlayer* sender, TBitmap& bitmap, std::int64_t pts)>;

// Where a picture goes in the display area: aspectSetting > 0 is the aspect
// to use, 0 the picture's own (sample aspect x width / height), < 0 the
// display area's (fill it) when its size is known. The rectangle has even
// sides and is centred.
TDisplayRect ComputeDisplayRect(float aspectSetting, bool displayKnown, int pictureWidth,
                                int pictureHeight, double sampleAspect, int displayWidth,
                                int displayHeight);

class TFFPlayer : private IPlayerHost {
 public:
  TFFPlayer();
  ~TFFPlayer() override;
  TFFPlayer(const TFFPlayer&) = delete;
  TFFPlayer& operator=(const TFFPlayer&) = delete;

  // ---- properties ----
  std::string About;
  static const char* Version() { return "2.3"; }
  float AspectRatio() const { return aspectRatio_; }
  // A change while a file is open redraws at once.
  void SetAspectRatio(float value);
  // adDefault keeps SDL's choice (and SDL_AUDIODRIVER from the environment);
  // the others name this platform's two sound servers.
  TAudioDriver AudioDriver = adDefault;
  // SDL draws nothing here, so the video driver has no effect; kept for
  // callers that set it.
  TVideoDriver VideoDriver = vdDefault;
  int AudioVolume() const override { return audioVolume_; }
  void SetAudioVolume(int value) { audioVolume_ = value < 0 ? 0 : value > 128 ? 128 : value; }
  bool Mute() const override { return mute_; }
  void SetMute(bool value) { mute_ = value; }
  bool DisableAudio = false;
  bool DisableVideo = false;
  bool DisableDisplay = false;
  int FrameWidth = 0;
  int FrameHeight = 0;
  bool Hook() const { return hook_; }
  void SetHook(bool value) { hook_ = value; }
  int ScreenWidth() const { return screenWidth_; }
  int ScreenHeight() const { return screenHeight_; }
  void SetScreenSize(int width, int height);
  bool TriggerEventInMainThread() const { return triggerInMain_; }
  void SetTriggerEventInMainThread(bool value) { triggerInMain_ = value; }

  void SetOnFileOpen(TFileOpenEvent handler);
  void SetOnPosition(TPositionEvent handler);
  void SetOnState(TPlayStateEvent handler);
  void SetOnHook(THookEvent handler);

  // Shows the open file (attached at each successful Open, emptied when the
  // file closes). Owner's thread; valid while FileOpen().
  TAVProbe AVProbe;

  TPlayState State() const { return state_; }
  std::string LastErrMsg() const;

  // ---- operations ----
  bool AVLibLoaded() const;
  bool LoadAVLib(const std::string& path);
  // Opens and starts playing; `display` (may be null) receives the pictures.
  bool Open(const std::string& fileName, IDisplayTarget* display, bool paused = false);
  void Stop(bool waitForStop);
  void Pause();
  void Resume();
  void Step();
  // `pts` in microseconds from the file's start (a byte offset with flag 2);
  // flags: 1 backward, 2 by byte, 4 any frame, 8 by frame number.
  void Seek(std::int64_t pts, int seekFlags = 0, bool waitForSeekEnd = false);
  bool Paused() const;
  bool FileOpen() const { return fileOpen_; }
  // The picture on show: black at the video size before the first picture,
  // 0 x 0 without a file or video. `pts` gets its time (-1 without video).
  TBitmap CurrentFrame();
  TBitmap CurrentFrame(std::int64_t& pts);
  // The display target's area changed size (resize of the host window).
  void DisplayResized(int width, int height);
  // Asks the display to draw the picture on show again.
  void Redraw();
  // The current position (microseconds from the file's start), -1 without a file.
  std::int64_t Position() const;
  // The open file's duration in microseconds, -1 when unknown or no file.
  std::int64_t Duration() const;
  // The video clock (picture on show) and the audio clock, both in
  // microseconds from the file's start, read together. False without a file
  // or without both streams. For measurements.
  bool ClockSample(std::int64_t& videoUs, std::int64_t& audioUs) const;

 private:
  // IPlayerHost
  void HookPicture(AVFrame* picture, double pts) override;
  void CheckPosition() override;
  bool SingleStep() const override { return singleStep_; }
  TDisplayRect DisplayRect(int pictureWidth, int pictureHeight, double sampleAspect,
                           int displayWidth, int displayHeight) const override;
  void DisplaySize(int& width, int& height) const override;
  IDisplayTarget* Display() const override { return display_; }
  TManualEvent& SeekDoneEvent() override { return seekDone_; }
  TManualEvent& PictureEvent() override { return pictureEvent_; }
  void LogMessage(int level, const std::string& text) override;

  bool StartSdl();
  void FileOpenNotice(std::int64_t duration, int frameWidth, int frameHeight);
  void PlayThreadMain();
  void RunPlayLoop();
  bool HandleLoopEvent(const TLoopEvent& ev);
  void CloseFile();
  void SetState(TPlayState state);
  void PostEvent(const TPlayerEvent& ev);
  void EventThreadMain();
  void DeliverEvent(const TPlayerEvent& ev);
  void RunHandler(const std::function<void()>& call);
  void JoinPlayThread();
  void WaitPumping(TManualEvent& ev);

  std::atomic<float> aspectRatio_{0};
  std::atomic<int> audioVolume_{128};
  std::atomic<bool> mute_{false};
  std::atomic<bool> hook_{false};
  std::atomic<int> screenWidth_{0};
  std::atomic<int> screenHeight_{0};
  std::atomic<bool> triggerInMain_{true};
  std::atomic<TPlayState> state_{psStop};

  mutable std::mutex handlersMutex_;
  TFileOpenEvent onFileOpen_;
  TPositionEvent onPosition_;
  TPlayStateEvent onState_;
  THookEvent onHook_;

  mutable std::mutex errorMutex_;
  std::string lastErrMsg_;

  mutable std::mutex playerMutex_;
  std::unique_ptr<TPlayerEngine> engine_;  // replaced only by Open and the destructor
  std::atomic<bool> fileOpen_{false};
  std::atomic<bool> sdlStarted_{false};
  std::string fileName_;
  IDisplayTarget* display_ = nullptr;
  std::atomic<bool> singleStep_{false};

  TManualEvent seekDone_{true};
  TManualEvent pictureEvent_{true};
  TManualEvent playThreadEnded_{true};
  TPlayLoopQueue loop_;
  std::thread playThread_;

  mutable std::mutex positionMutex_;
  std::int64_t currentPosition_ = -1;
  std::int64_t lastReported_ = 0;
  bool reported_ = false;

  TPlayerEventQueue events_;
  std::atomic<bool> eventThreadStop_{false};
  TManualEvent eventThreadEnded_{false};
  std::thread eventThread_;

  TFrameConverter hookConverter_;  // video thread only
};
