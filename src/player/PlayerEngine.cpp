#include "player/PlayerEngine.h"

#include <chrono>

#include "engine/common/MainThread.h"
#include "engine/libav/FFmpegApi.h"

namespace {
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
}  // namespace

TPlayerEngine::TPlayerEngine(IPlayerHost& host, TPlayLoopQueue& loop, const TEngineOptions& options)
    : host_(host), loop_(loop), options_(options) {}

TPlayerEngine::~TPlayerEngine() { Close(); }

bool TPlayerEngine::Open(const std::string& fileName, std::string& error) {
  Close();
  state_ = std::make_unique<TPlaybackState>(host_.SeekDoneEvent(), host_.PictureEvent());
  state_->SeekDone.Set();
  state_->PictureEvent.Set();
  state_->FileName = fileName;
  audio_ = std::make_unique<TAudioOutput>(*state_, host_);
  output_ = std::make_unique<TVideoOutput>(*state_, host_, *audio_);
  readThread_ = std::thread([this] { ReadThreadMain(); });
  // The caller may be the user-interface thread, whose hand-overs must keep
  // flowing while the file opens.
  while (state_->OpenStatus == 0) {
    PumpMainThread();
    SleepMs(10);
  }
  if (state_->OpenStatus != 1) {
    while (state_->OpenStatus == -1) {
      PumpMainThread();
      SleepMs(10);
    }
    readThread_.join();
    error = state_->OpenError;
    output_.reset();
    audio_.reset();
    state_.reset();
    return false;
  }
  if (!state_->Video.Open() && !options_.DisableDisplay) output_->SetWaveMode(true);
  refreshThread_ = std::thread([this] { RefreshThreadMain(); });
  return true;
}

void TPlayerEngine::AbortAll() {
  state_->Abort = true;
  state_->Audio.Queue.Abort();
  state_->Video.Queue.Abort();
  state_->Subtitle.Queue.Abort();
  state_->Pictures.SetAbort();
  state_->Subpictures.SetAbort();
  state_->SeekDone.Set();
  state_->PictureEvent.Set();
}

void TPlayerEngine::Close() {
  if (!state_) return;
  AbortAll();
  // The read thread closes the streams (joining the decoders and the audio
  // device) before it ends.
  if (readThread_.joinable()) readThread_.join();
  if (refreshThread_.joinable()) refreshThread_.join();
  output_.reset();
  video_.reset();
  subtitles_.reset();
  audio_.reset();
  state_.reset();
}

void TPlayerEngine::RefreshThreadMain() {
  while (!state_->Abort) {
    if (!state_->RefreshPending.exchange(true)) loop_.Post({leRefresh});
    SleepMs(output_->WaveMode() ? 20 : 5);
  }
}

bool TPlayerEngine::HandleRefresh() {
  bool noDrop = output_->Refresh();
  state_->RefreshPending = false;
  return noDrop;
}

void TPlayerEngine::HandleRedisplay() { output_->Redisplay(); }

void TPlayerEngine::TogglePause() {
  std::lock_guard lock(pauseMutex_);
  TPlaybackState& s = *state_;
  if (!s.SeekDone.WaitFor(250)) s.SeekDone.Set();
  if (s.Paused) {
    std::lock_guard clock(s.ClockMutex);
    double now = NowSeconds();
    // Shift the schedule by the time spent paused.
    s.FrameTimer += now + s.CurrentPtsDrift - s.CurrentPts;
    if (s.ReadPauseReturn != AVERROR(ENOSYS)) s.CurrentPts = s.CurrentPtsDrift + now;
    s.CurrentPtsDrift = s.CurrentPts - now;
    s.Paused = false;
  } else {
    if (s.Video.Open() && !s.PictureEvent.WaitFor(250)) s.PictureEvent.Set();
    std::lock_guard clock(s.ClockMutex);
    s.Paused = true;
  }
}

void TPlayerEngine::PauseAgain() {
  if (!state_->Paused) TogglePause();
}

void TPlayerEngine::RequestSeek(std::int64_t pos, std::int64_t rel, int flags) {
  TPlaybackState& s = *state_;
  std::lock_guard lock(s.SeekMutex);
  ++s.SeekSerial;
  s.SeekWhilePaused = bool(s.Paused);
  s.SeekPos = pos;
  s.SeekRel = rel;
  s.SeekFlags = flags & 0xF;
  s.SeekDone.Reset();
  s.SeekReq = true;
}
