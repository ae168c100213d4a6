#include "engine/component/ConverterTask.h"

#include "engine/common/MainThread.h"
#include "engine/libav/FFmpegLogger.h"

TFFmpeg::TFFmpeg() {
  OnPreviewOffer = [this](TCustomFFmpeg&, const TPreviewInfo& info) {
    return OfferToPreviewer(info);
  };
}

TFFmpeg::~TFFmpeg() {
  RequestStopAndWait(true);
  if (worker_.joinable()) {
    if (worker_.get_id() == std::this_thread::get_id())
      worker_.detach();
    else
      worker_.join();
  }
  // The previewer's window goes on the user-interface thread, after the
  // preview lock is released.
  std::unique_ptr<TPreviewer> previewer;
  {
    auto lock = LockPumping(PreviewLock());
    previewer = std::move(previewer_);
  }
  for (auto& p : probes_)
    if (p) p->Attach(nullptr);
}

TAVProbe* TFFmpeg::InputProbe(int index) const {
  if (index < 0 || index >= MaxFiles) return nullptr;
  return probes_[size_t(index)].get();
}

void TFFmpeg::AttachInputProbe(int index) {
  if (index < 0 || index >= MaxFiles) return;
  auto& probe = probes_[size_t(index)];
  if (!probe) probe = std::make_unique<TAVProbe>();
  probe->Attach(InputFile(index));
}

bool TFFmpeg::TaskCompleted() const { return Completed() && !TaskFailed(); }

bool TFFmpeg::TaskFailed() const {
  std::lock_guard lock(stateMutex_);
  return !startError_.empty() || Failed();
}

std::string TFFmpeg::TaskErrorMessage() const {
  std::lock_guard lock(stateMutex_);
  return startError_.empty() ? ErrorMessage() : startError_;
}

TFFmpeg::TStartResult TFFmpeg::Start(bool threaded, TThreadPriority priority, bool paused) {
  std::string error;
  {
    std::lock_guard lock(stateMutex_);
    if (working_ || terminated_) return TStartResult::Refused;
    if (OutputFileCount() == 0)
      error = "At least one output file must be specified";
    else if (InputFileCount() == 0)
      error = "At least one input file must be specified";
    if (!error.empty()) {
      startError_ = error;
      terminated_ = true;  // the notice is being raised
    } else {
      // Cleared before the task counts as working, so that a stop request
      // made as soon as it does is not lost.
      ClearControlState();
      if (paused) Pause();
      if (threaded) {
        done_.Reset();
        hasWorker_ = true;
      }
      working_ = true;
    }
  }
  if (!error.empty()) {
    FFLogger().Log(this, llQuiet, error);
    CloseAll();
    RaiseNotice();
    return TStartResult::Ended;
  }
  if (!threaded) {
    RunBody();
    return TStartResult::Ended;
  }
  worker_ = std::thread([this, priority] { WorkerMain(priority); });
  return TStartResult::Running;
}

void TFFmpeg::WorkerMain(TThreadPriority priority) {
  if (!ApplyThreadPriority(priority))
    FFLogger().Log(this, llVerbose, "The worker thread keeps its inherited priority");
  RunBody();
  done_.Set();
}

void TFFmpeg::RunBody() {
  RunConversion();
  // The inputs are closed now; the probes must not show them any more.
  for (auto& p : probes_)
    if (p) p->Attach(nullptr);
  try {
    RaiseNotice();
  } catch (const std::exception& e) {
    FFLogger().Log(this, llQuiet, e.what());
  }
}

void TFFmpeg::RaiseNotice() {
  {
    std::lock_guard lock(stateMutex_);
    working_ = false;
    terminated_ = true;
  }
  if (OnTaskTerminate) OnTaskTerminate(*this);
}

void TFFmpeg::RequestStopAndWait(bool wait) {
  RequestStop();
  if (!wait) return;
  while (hasWorker_ && !done_.Wait(MainThreadPollMs)) PumpMainThread();
}

void TFFmpeg::End(bool wait) {
  bool working, raise = false;
  {
    std::lock_guard lock(stateMutex_);
    working = working_;
    if (!working && !terminated_) {
      terminated_ = true;
      raise = true;
    }
  }
  if (working)
    RequestStopAndWait(wait);
  else if (raise)
    RaiseNotice();  // a task that never ran: its notice, raised here and now
}

void TFFmpeg::SetTaskPreviewFlags(int bits) {
  // The engine takes the preview lock, which a worker holds while a frame is
  // being shown on this thread.
  RunPumping([this, bits] { SetPreviewFlags(bits); });
  std::unique_ptr<TPreviewer> old;
  {
    auto lock = LockPumping(PreviewLock());
    // A window the user closed is replaced when the preview is asked for again.
    if (!(bits & PreviewWindowFlag) || (previewer_ && previewer_->Closed()))
      old = std::move(previewer_);
  }
}

bool TFFmpeg::OfferToPreviewer(const TPreviewInfo& info) {
  if (!info.Bitmap) return false;
  if (!previewer_) previewer_ = std::make_unique<TPreviewer>(previewFactory_);
  return previewer_->Offer(*info.Bitmap, info.FrameNumber, info.PTS);
}
