#include "player/FFPlay.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "engine/common/MainThread.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "player/PlayerEngine.h"

namespace {

constexpr int kStopAttempts = 20;
constexpr int kStopAttemptsWhileReading = 10;

std::int64_t ToMicroseconds(double seconds) { return std::llrint(seconds * 1e6); }

// A timed lock by polling: timed waits on mutexes are not seen by the thread
// checkers we run, and Stop's retries only need millisecond precision.
bool TryLockFor(std::unique_lock<std::mutex>& lock, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!lock.try_lock()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

TFFPlayer::TFFPlayer() {
  eventThread_ = std::thread([this] { EventThreadMain(); });
}

TFFPlayer::~TFFPlayer() {
  {
    std::lock_guard lock(handlersMutex_);
    onPosition_ = nullptr;
    onState_ = nullptr;
    onHook_ = nullptr;
  }
  Stop(true);
  eventThreadStop_ = true;
  events_.Post({peEndThread, psStop, 0});
  WaitPumping(eventThreadEnded_);
  eventThread_.join();
  engine_.reset();
}

// ---- properties ----

void TFFPlayer::SetAspectRatio(float value) {
  if (aspectRatio_.exchange(value) != value && fileOpen_) loop_.Post({leAspect});
}

void TFFPlayer::SetScreenSize(int width, int height) {
  screenWidth_ = width;
  screenHeight_ = height;
}

void TFFPlayer::SetOnFileOpen(TFileOpenEvent handler) {
  std::lock_guard lock(handlersMutex_);
  onFileOpen_ = std::move(handler);
}
void TFFPlayer::SetOnPosition(TPositionEvent handler) {
  std::lock_guard lock(handlersMutex_);
  onPosition_ = std::move(handler);
}
void TFFPlayer::SetOnState(TPlayStateEvent handler) {
  std::lock_guard lock(handlersMutex_);
  onState_ = std::move(handler);
}
void TFFPlayer::SetOnHook(THookEvent handler) {
  std::lock_guard lock(handlersMutex_);
  onHook_ = std::move(handler);
}

std::string TFFPlayer::LastErrMsg() const {
  std::lock_guard lock(errorMutex_);
  return lastErrMsg_;
}

void TFFPlayer::LogMessage(int level, const std::string& text) {
  FFLogger().Log(this, TLogLevel(level), text);
}

// ---- libraries ----

bool TFFPlayer::AVLibLoaded() const { return TFFmpegLoader::Instance().Loaded(PlayerLibraries); }

bool TFFPlayer::LoadAVLib(const std::string& path) {
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(path);
  if (loader.Load(PlayerLibraries)) return true;
  std::lock_guard lock(errorMutex_);
  lastErrMsg_ = loader.LastErrMsg();
  return false;
}

// ---- opening ----

bool TFFPlayer::StartSdl() {
  if (AudioDriver == adDirectSound) ::setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
  if (AudioDriver == adWaveOut) ::setenv("SDL_AUDIODRIVER", "alsa", 1);
  // The audio subsystem brings SDL's event subsystem, which would otherwise
  // take over SIGINT and SIGTERM and turn them into events nobody reads: the
  // programs watch those signals themselves.
  FF.SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Audio is reference-counted in SDL, so several players can share it.
  if (FF.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    char msg[512];
    std::snprintf(msg, sizeof msg, "Could not initialize SDL with ScreenHandle(%u): %s",
                  unsigned(reinterpret_cast<std::uintptr_t>(display_)), FF.SDL_GetError());
    std::lock_guard lock(errorMutex_);
    lastErrMsg_ = msg;
    return false;
  }
  const char* driver = FF.SDL_GetCurrentAudioDriver();
  LogMessage(llDebug, std::string("using audio driver: ") + (driver ? driver : "none") + "\n");
  sdlStarted_ = true;
  return true;
}

bool TFFPlayer::Open(const std::string& fileName, IDisplayTarget* display, bool paused) {
  if (!AVLibLoaded()) {
    std::lock_guard lock(errorMutex_);
    lastErrMsg_ = "libav or libsdl not loaded.";
    return false;
  }
  Stop(true);
  display_ = display;
  if (!StartSdl()) return false;
  TEngineOptions options;
  options.DisableAudio = DisableAudio;
  options.DisableVideo = DisableVideo || DisableDisplay;
  options.DisableDisplay = DisableDisplay;
  options.FrameWidth = FrameWidth;
  options.FrameHeight = FrameHeight;
  loop_.Clear();
  {
    std::lock_guard lock(positionMutex_);
    currentPosition_ = -1;
    lastReported_ = 0;
    reported_ = false;
  }
  singleStep_ = false;
  hookConverter_.Reset();
  engine_ = std::make_unique<TPlayerEngine>(static_cast<IPlayerHost&>(*this), loop_, options);
  std::string error;
  if (!engine_->Open(fileName, error)) {
    engine_.reset();
    FF.SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlStarted_ = false;
    std::lock_guard lock(errorMutex_);
    lastErrMsg_ = error;
    return false;
  }
  fileName_ = fileName;
  fileOpen_ = true;
  const TPlaybackState& s = engine_->State();
  AVProbe.Attach(s.Format);
  std::int64_t duration = s.ImageSequence ? 0 : s.Duration;
  int fw = s.Video.Open() ? s.Video.Codec->width : -1;
  int fh = s.Video.Open() ? s.Video.Codec->height : -1;
  FileOpenNotice(duration, fw, fh);
  playThreadEnded_.Reset();
  playThread_ = std::thread([this] { PlayThreadMain(); });
  if (paused) Pause();
  return true;
}

void TFFPlayer::FileOpenNotice(std::int64_t duration, int frameWidth, int frameHeight) {
  TFileOpenEvent handler;
  {
    std::lock_guard lock(handlersMutex_);
    handler = onFileOpen_;
  }
  RunHandler([&] {
    int sw = screenWidth_, sh = screenHeight_;
    if (handler) handler(this, duration, frameWidth, frameHeight, sw, sh);
    if (display_ && (sw == 0 || sh == 0)) display_->ClientSize(sw, sh);
    SetScreenSize(sw, sh);
  });
}

// ---- the play thread ----

void TFFPlayer::PlayThreadMain() {
  SetState(psPlay);
  try {
    RunPlayLoop();
  } catch (const std::exception& e) {
    LogMessage(llFatal, std::string("PlayThread Exception: ") + e.what());
    std::lock_guard lock(playerMutex_);
    CloseFile();
  }
  SetState(psStop);
  playThreadEnded_.Set();
}

void TFFPlayer::RunPlayLoop() {
  for (;;) {
    TLoopEvent ev = loop_.Wait();
    std::lock_guard lock(playerMutex_);
    if (!fileOpen_ || !HandleLoopEvent(ev)) return;
  }
}

// False when the loop must end.
bool TFFPlayer::HandleLoopEvent(const TLoopEvent& ev) {
  switch (ev.Kind) {
    case leQuit: CloseFile(); return false;
    case leRefresh:
      if (engine_->HandleRefresh()) CheckPosition();
      return true;
    case leResize:
      SetScreenSize(ev.Width, ev.Height);
      engine_->HandleRedisplay();
      return true;
    case leExpose:
    case leAspect: engine_->HandleRedisplay(); return true;
  }
  return true;
}

// Caller holds playerMutex_.
void TFFPlayer::CloseFile() {
  if (!fileOpen_) return;
  AVProbe.Attach(nullptr);
  engine_->Close();
  fileOpen_ = false;
  singleStep_ = false;
  {
    std::lock_guard lock(positionMutex_);
    currentPosition_ = -1;
    reported_ = false;
  }
  if (sdlStarted_.exchange(false)) FF.SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// ---- stopping ----

void TFFPlayer::Stop(bool waitForStop) {
  if (fileOpen_) {
    std::lock_guard lock(playerMutex_);
    if (fileOpen_ && engine_->State().Paused) {
      engine_->TogglePause();
      singleStep_ = false;
    }
    loop_.Post({leQuit});
  }
  if (!waitForStop) return;
  int attempts = 0;
  while (!playThreadEnded_.WaitFor(100)) {
    PumpMainThread();
    if (!fileOpen_) break;
    std::unique_lock lock(playerMutex_, std::defer_lock);
    if (!TryLockFor(lock, 100)) continue;
    ++attempts;
    bool reading = fileOpen_ && engine_->State().Reading;
    if (attempts <= kStopAttempts && (attempts <= kStopAttemptsWhileReading || !reading)) {
      loop_.Post({leQuit});
      continue;
    }
    // The play thread does not answer: close the file from here.
    CloseFile();
    loop_.Post({leQuit});
    break;
  }
  JoinPlayThread();
}

void TFFPlayer::JoinPlayThread() {
  if (!playThread_.joinable() || playThread_.get_id() == std::this_thread::get_id()) return;
  WaitPumping(playThreadEnded_);
  playThread_.join();
}

void TFFPlayer::WaitPumping(TManualEvent& ev) {
  while (!ev.WaitFor(10)) PumpMainThread();
}

// ---- playback control ----

void TFFPlayer::Pause() {
  std::lock_guard lock(playerMutex_);
  if (!fileOpen_ || engine_->State().Paused) return;
  engine_->TogglePause();
  singleStep_ = false;
  SetState(psPause);
}

void TFFPlayer::Resume() {
  std::lock_guard lock(playerMutex_);
  if (!fileOpen_ || !engine_->State().Paused) return;
  engine_->TogglePause();
  singleStep_ = false;
  SetState(psResume);
}

void TFFPlayer::Step() {
  std::lock_guard lock(playerMutex_);
  if (!fileOpen_) return;
  if (engine_->State().Paused) engine_->TogglePause();
  if (!singleStep_.exchange(true)) SetState(psStep);
}

void TFFPlayer::Seek(std::int64_t pts, int seekFlags, bool waitForSeekEnd) {
  bool hasVideo;
  {
    std::lock_guard lock(playerMutex_);
    if (!fileOpen_) return;
    const TPlaybackState& s = engine_->State();
    hasVideo = s.Video.Open();
    if (seekFlags & AVSEEK_FLAG_BYTE) {
      engine_->RequestSeek(pts, 0, seekFlags);
    } else {
      std::int64_t target = s.Duration > 0 ? std::min(pts, s.Duration) : pts;
      target += s.StartTime;
      engine_->RequestSeek(target, pts <= 0 ? 1 : 0, seekFlags);
    }
  }
  if (!waitForSeekEnd) return;
  // Wait with the player unlocked: the play thread must keep refreshing.
  auto wait = [&](TManualEvent& ev) {
    while (!ev.WaitFor(100) && fileOpen_) PumpMainThread();
  };
  wait(seekDone_);
  if (hasVideo) wait(pictureEvent_);
}

bool TFFPlayer::Paused() const {
  std::lock_guard lock(playerMutex_);
  return !fileOpen_ || engine_->State().Paused;
}

std::int64_t TFFPlayer::Position() const {
  std::lock_guard lock(positionMutex_);
  return currentPosition_;
}

std::int64_t TFFPlayer::Duration() const {
  std::lock_guard lock(playerMutex_);
  return fileOpen_ ? engine_->State().Duration : -1;
}

bool TFFPlayer::ClockSample(std::int64_t& videoUs, std::int64_t& audioUs) const {
  std::lock_guard lock(playerMutex_);
  if (!fileOpen_) return false;
  const TPlaybackState& s = engine_->State();
  if (!s.Video.Open() || !s.Audio.Open()) return false;
  std::lock_guard clock(s.ClockMutex);
  videoUs = ToMicroseconds(s.VideoClockLocked()) - s.StartTime;
  audioUs = ToMicroseconds(s.AudioClockLocked()) - s.StartTime;
  return true;
}

void TFFPlayer::DisplayResized(int width, int height) {
  if (fileOpen_)
    loop_.Post({leResize, width, height});
  else
    SetScreenSize(width, height);
}

void TFFPlayer::Redraw() {
  if (fileOpen_) loop_.Post({leExpose});
}

// ---- snapshot ----

TBitmap TFFPlayer::CurrentFrame() {
  std::int64_t pts;
  return CurrentFrame(pts);
}

TBitmap TFFPlayer::CurrentFrame(std::int64_t& pts) {
  TBitmap result;
  pts = -1;
  std::lock_guard lock(playerMutex_);
  if (!fileOpen_) return result;
  const TPlaybackState& s = engine_->State();
  if (!s.Video.Open()) return result;
  result.SetSize(s.Video.Codec->width, s.Video.Codec->height);  // zero-filled: black
  pts = 0;
  double shownPts = 0;
  TBitmap shown;
  int got = engine_->Output().ShownPicture(shown, shownPts);
  if (got != 0) {
    // A picture that cannot be converted leaves an empty bitmap.
    result = got > 0 ? shown : TBitmap();
    pts = ToMicroseconds(shownPts) - s.StartTime;
  }
  return result;
}

// ---- display rectangle ----

TDisplayRect ComputeDisplayRect(float aspectSetting, bool displayKnown, int pictureWidth,
                                int pictureHeight, double sampleAspect, int displayWidth,
                                int displayHeight) {
  if (displayWidth <= 0 || displayHeight <= 0) {
    displayWidth = pictureWidth;
    displayHeight = pictureHeight;
  }
  double a;
  if (aspectSetting > 0)
    a = aspectSetting;
  else if (aspectSetting == 0 || !displayKnown)
    a = (sampleAspect > 0 ? sampleAspect : 1.0) * pictureWidth / std::max(pictureHeight, 1);
  else
    a = double(displayWidth) / displayHeight;
  int h = displayHeight;
  int w = int(std::lrint(h * a)) & ~1;
  if (w > displayWidth) {
    w = displayWidth;
    h = int(std::lrint(w / a)) & ~1;
  }
  return TDisplayRect{(displayWidth - w) / 2, (displayHeight - h) / 2, w, h};
}

TDisplayRect TFFPlayer::DisplayRect(int pictureWidth, int pictureHeight, double sampleAspect,
                                    int displayWidth, int displayHeight) const {
  return ComputeDisplayRect(aspectRatio_, displayWidth > 0 && displayHeight > 0, pictureWidth,
                            pictureHeight, sampleAspect, displayWidth, displayHeight);
}

void TFFPlayer::DisplaySize(int& width, int& height) const {
  width = screenWidth_;
  height = screenHeight_;
  if ((width <= 0 || height <= 0) && display_) display_->ClientSize(width, height);
}

// ---- hook ----

void TFFPlayer::HookPicture(AVFrame* picture, double pts) {
  if (!hook_) return;
  THookEvent handler;
  {
    std::lock_guard lock(handlersMutex_);
    handler = onHook_;
  }
  // The decoder may still reference the picture: write into a copy of our own.
  if (!handler || FF.av_frame_make_writable(picture) < 0) return;
  if (!hookConverter_.ToBitmap(picture)) {
    LogMessage(llError, "Cannot initialize the toRGB conversion context");
    return;
  }
  TBitmap& bitmap = *hookConverter_.Bitmap();
  std::int64_t start = engine_->State().StartTime;
  try {
    std::lock_guard canvas(bitmap.Canvas());
    handler(this, bitmap, ToMicroseconds(pts) - start);
  } catch (const std::exception& e) {
    LogMessage(llError, std::string("Error occurs OnHook: ") + e.what());
    return;
  }
  if (!hookConverter_.FromBitmap(picture))
    LogMessage(llError, "Cannot initialize the fromRGB conversion context");
}

// ---- position check ----

void TFFPlayer::CheckPosition() {
  TPlaybackState& s = engine_->State();
  if (s.ImageSequence) return;
  const bool video = s.Video.Open();
  std::int64_t pos = ToMicroseconds(video ? s.ReadVideoClock() : s.ReadAudioClock()) - s.StartTime;
  if (!video && s.AudioDuration > 0 && pos >= s.AudioDuration && s.Duration > pos) pos = s.Duration;
  bool post = false;
  {
    std::lock_guard lock(positionMutex_);
    currentPosition_ = pos;
    if (s.Duration > 0 && pos >= s.Duration) {
      pos = s.Duration;
      if (lastReported_ != s.Duration) lastReported_ = 0;
    }
    if (!reported_ || std::llabs(pos - lastReported_) > 10000) {
      reported_ = true;
      lastReported_ = pos;
      post = true;
    }
  }
  if (post) {
    std::lock_guard lock(handlersMutex_);
    if (onPosition_) PostEvent({pePosition, psPlay, pos});
  }
  // The end mark is read before Eof: a seek clears Eof first, so an end
  // from before the seek is never reported after it.
  if (s.CaptureDevice || s.EndReported || !s.Eof) return;
  // With video the end is reported once; an audio-only file keeps reporting
  // it until the user seeks or stops. The refresh and the video decoder
  // both come here: only the one that marks the end first reports it, or
  // a second report would stop the file again after the user played it on.
  if (video && s.EndReported.exchange(true)) return;
  SetState(psEnd);
}

// ---- events ----

void TFFPlayer::SetState(TPlayState state) {
  state_ = state;
  std::lock_guard lock(handlersMutex_);
  if (onState_) PostEvent({peState, state, 0});
}

void TFFPlayer::PostEvent(const TPlayerEvent& ev) { events_.Post(ev); }

void TFFPlayer::EventThreadMain() {
  while (!eventThreadStop_) {
    TPlayerEvent ev;
    while (events_.Take(ev)) {
      if (ev.Kind == peEndThread) break;
      DeliverEvent(ev);
    }
    if (!eventThreadStop_) events_.WaitNotEmpty(100);
  }
  eventThreadEnded_.Set();
}

void TFFPlayer::DeliverEvent(const TPlayerEvent& ev) {
  TPositionEvent onPosition;
  TPlayStateEvent onState;
  {
    std::lock_guard lock(handlersMutex_);
    onPosition = onPosition_;
    onState = onState_;
  }
  if (ev.Kind == pePosition && onPosition)
    RunHandler([&] { onPosition(this, ev.Pts); });
  else if (ev.Kind == peState && onState)
    RunHandler([&] { onState(this, ev.State); });
}

void TFFPlayer::RunHandler(const std::function<void()>& call) {
  try {
    if (triggerInMain_)
      RunOnMainThread(call);
    else
      call();
  } catch (const std::exception& e) {
    LogMessage(llError, e.what());
  }
}
