// The converter component's run control: starting the tasks in list order,
// pausing, resuming and stopping them, counting the ended ones and
// delivering the terminate notices in the order they were raised.
#include <algorithm>
#include <exception>

#include "engine/common/FFmpegException.h"
#include "engine/common/Processors.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/component/NoticeQueue.h"
#include "engine/libav/FFmpegLogger.h"

void TCustomFFmpegVCL::StartTask(int threadCount) { BeginRun(threadCount, false); }

void TCustomFFmpegVCL::StartOpenRun(int threadCount) { BeginRun(std::max(threadCount, 1), true); }

void TCustomFFmpegVCL::BeginRun(int threadCount, bool open) {
  {
    std::lock_guard lock(terminateLock_);
    if (working_) throw FFmpegException("Cannot StartTask while working.");
    finishedCount_ = 0;
    nextIndex_ = 0;
    pendingCount_ = int(tasks_.size());
    allEnded_ = false;
    threaded_ = threadCount > 0;
    working_ = true;
    paused_ = false;
    openRun_ = open;
    stopped_ = false;
    slots_ = threadCount;
    ++runId_;
  }
  if (threadCount > 0) {
    notices_->Start();
    launcher_->Start();
  }
  for (;;) {
    auto task = ClaimNext();
    if (!task) break;
    Launch(task);
    if (threadCount > 0 && --threadCount == 0) break;
  }
}

void TCustomFFmpegVCL::CloseRun() {
  std::lock_guard lock(terminateLock_);
  if (!openRun_) return;
  openRun_ = false;
  if (pendingCount_ < 1) FinishRun();
}

int TCustomFFmpegVCL::PendingCount() const {
  std::lock_guard lock(terminateLock_);
  return std::max(pendingCount_, 0);
}

std::shared_ptr<TFFmpeg> TCustomFFmpegVCL::ClaimNext() {
  std::lock_guard lock(terminateLock_);
  if (pendingCount_ <= 0 || nextIndex_ < 0 || nextIndex_ >= int(tasks_.size())) return nullptr;
  --pendingCount_;
  return tasks_[size_t(nextIndex_++)];
}

void TCustomFFmpegVCL::Launch(const std::shared_ptr<TFFmpeg>& task) {
  bool threaded, paused;
  int slots;
  {
    std::lock_guard lock(terminateLock_);
    if (closing_) return;
    threaded = threaded_;
    paused = paused_;
    slots = slots_;
  }
  task->SetProgressInterval(std::int64_t(progressInterval_) * 1000);
  // Side by side, the conversions share the cores rather than each
  // starting a decoder thread per core.
  task->SetDecoderThreads(threaded && slots > 1 ? std::max(1, ProcessorCount() / slots) : 0);
  if (task->Start(threaded, threadPriority_, paused) != TFFmpeg::TStartResult::Refused) return;
  // Ended before this run (stopped before it was started): it has nothing
  // more to say, but the run must still count it.
  std::lock_guard lock(terminateLock_);
  if (task->NoticeRun() != runId_) {
    task->SetNoticeRun(runId_);
    CountEnded();
  }
}

void TCustomFFmpegVCL::PauseConvert() {
  std::lock_guard lock(terminateLock_);
  paused_ = true;
  for (auto& t : tasks_)
    if (t->Working()) t->Pause();
}

void TCustomFFmpegVCL::ResumeConvert() {
  std::lock_guard lock(terminateLock_);
  paused_ = false;
  for (auto& t : tasks_) t->Resume();
}

void TCustomFFmpegVCL::StopConvert(bool waitForStop) {
  std::vector<std::shared_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard lock(terminateLock_);
    pendingCount_ = 0;
    stopped_ = working_;
    tasks = tasks_;
  }
  for (auto& t : tasks) t->End(waitForStop);
}

void TCustomFFmpegVCL::DoTaskTerminate(TFFmpeg& task) {
  std::lock_guard lock(terminateLock_);
  task.SetNoticeRun(runId_);
  if (onTerminate_) {
    terminateInfo_ = {task.Index(), task.TaskCompleted(), task.TaskFailed(),
                      task.TaskErrorMessage()};
    DeliverNotice(terminateInfo_);
  }
  CountEnded();
}

// Under terminateLock_.
void TCustomFFmpegVCL::CountEnded() {
  ++finishedCount_;
  if (pendingCount_ < 1) {
    FinishRun();
  } else if (threaded_ && !closing_) {
    // Not behind the notices: a handler that takes its time (an output
    // check) must not hold back the next file.
    if (auto next = ClaimNext()) launcher_->Post([this, next] { Launch(next); });
  }
}

// Under terminateLock_.
void TCustomFFmpegVCL::FinishRun() {
  // An open run may still get tasks: its end waits for CloseRun.
  if (!working_ || allEnded_ || openRun_ || finishedCount_ < int(tasks_.size())) return;
  if (onTerminate_) {
    terminateInfo_ = {-1, true, false, ""};
    DeliverNotice(terminateInfo_);
  }
  allEnded_ = true;
}

// Under terminateLock_.
void TCustomFFmpegVCL::DeliverNotice(const TTerminateInfo& info) {
  if (threaded_) {
    notices_->Post([this, handler = onTerminate_, info] { handler(this, info); });
    return;
  }
  try {
    onTerminate_(this, info);
  } catch (const std::exception& e) {
    FFLogger().Log(this, llError, std::string("Error occurs OnTerminate: ") + e.what());
  }
}
