#include "engine/component/FFmpegVCL.h"

#include <optional>

#include "engine/common/FFmpegException.h"
#include "engine/common/MainThread.h"
#include "engine/component/NoticeQueue.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/options/OptionParser.h"

// Run control (starting, pausing, stopping, counting the ended tasks and
// delivering their notices) is in RunControl.cpp.

TCustomFFmpegVCL::TCustomFFmpegVCL()
    : notices_(std::make_unique<TNoticeQueue>()), launcher_(std::make_unique<TNoticeQueue>()) {}

TCustomFFmpegVCL::~TCustomFFmpegVCL() {
  std::vector<std::shared_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard lock(terminateLock_);
    closing_ = true;
    pendingCount_ = 0;
    tasks = tasks_;
  }
  for (auto& t : tasks) t->RequestStopAndWait(true);
  launcher_->Close();
  notices_->Close();
  // A delivery still under way finishes before the records go.
  { auto lock = LockPumping(hookLock_); }
  { auto lock = LockPumping(previewLock_); }
  { auto lock = LockPumping(progressLock_); }
  {
    std::lock_guard lock(terminateLock_);
    tasks_.clear();
  }
}

bool TCustomFFmpegVCL::LoadAVLib(const std::string& path) {
  auto& loader = TFFmpegLoader::Instance();
  loader.SetLibraryPath(path);
  if (loader.Load(ConverterLibraries)) return true;
  SetLastErrMsg(loader.LastErrMsg());
  return false;
}

void TCustomFFmpegVCL::CheckNotWorking(const char* operation) const {
  {
    std::lock_guard lock(terminateLock_);
    if (!working_) return;
  }
  RefuseWhileWorking(operation);
}

void TCustomFFmpegVCL::RefuseWhileWorking(const char* operation) const {
  // Logged outside the lock: the log handler may wait for the main thread.
  const std::string text = std::string("Cannot ") + operation + " while working.";
  FFLogger().Log(this, llError, text);
  throw FFmpegException(text);
}

// The engine calls the libraries without looking; a task must not be made
// before they are there.
bool TCustomFFmpegVCL::LibrariesLoaded() {
  if (TFFmpegLoader::Instance().Loaded(ConverterLibraries)) return true;
  SetLastErrMsg("The media libraries are not loaded.");
  return false;
}

void TCustomFFmpegVCL::SetLastErrMsg(const std::string& text) {
  {
    std::lock_guard lock(terminateLock_);
    lastErrMsg_ = text;
  }
  if (!text.empty()) FFLogger().Log(this, llError, text);
}

std::string TCustomFFmpegVCL::LastErrMsg() const {
  std::lock_guard lock(terminateLock_);
  return lastErrMsg_;
}

std::shared_ptr<TFFmpeg> TCustomFFmpegVCL::TaskAt(int index) const {
  std::lock_guard lock(terminateLock_);
  if (index < 0 || index >= int(tasks_.size())) return nullptr;
  return tasks_[size_t(index)];
}

int TCustomFFmpegVCL::TaskCount() const {
  std::lock_guard lock(terminateLock_);
  return int(tasks_.size());
}

bool TCustomFFmpegVCL::Working() const {
  std::lock_guard lock(terminateLock_);
  return working_;
}

bool TCustomFFmpegVCL::AllEnded() const {
  std::lock_guard lock(terminateLock_);
  return allEnded_;
}

TAVProbe* TCustomFFmpegVCL::InputProbe(int taskIndex, int inputIndex) const {
  auto task = TaskAt(taskIndex);
  return task ? task->InputProbe(inputIndex) : nullptr;
}

int TCustomFFmpegVCL::PreviewBits() const {
  return (preview_ ? PreviewWindowFlag : 0) | (previewBitmap_ ? PreviewBitmapFlag : 0);
}

void TCustomFFmpegVCL::ApplyPreviewBits() {
  std::vector<std::shared_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard lock(terminateLock_);
    tasks = tasks_;
  }
  for (auto& t : tasks) t->SetTaskPreviewFlags(PreviewBits());
}

void TCustomFFmpegVCL::SetPreview(bool value) {
  preview_ = value;
  ApplyPreviewBits();
}

void TCustomFFmpegVCL::SetPreviewBitmap(bool value) {
  previewBitmap_ = value;
  ApplyPreviewBits();
}

void TCustomFFmpegVCL::SetPreviewWindowFactory(TPreviewWindowFactory factory) {
  std::lock_guard lock(terminateLock_);
  previewFactory_ = std::move(factory);
}

void TCustomFFmpegVCL::SetOnCustomHook(TCustomHookEvent handler) {
  auto lock = LockPumping(hookLock_);
  onCustomHook_ = std::move(handler);
}

void TCustomFFmpegVCL::SetOnPreviewBitmap(TPreviewBitmapEvent handler) {
  auto lock = LockPumping(previewLock_);
  onPreviewBitmap_ = std::move(handler);
}

void TCustomFFmpegVCL::SetOnProgress(TProgressEvent handler) {
  auto lock = LockPumping(progressLock_);
  onProgress_ = std::move(handler);
}

void TCustomFFmpegVCL::SetOnTerminate(TTerminateEvent handler) {
  std::lock_guard lock(terminateLock_);
  onTerminate_ = std::move(handler);
}

// ---- the task list ----

int TCustomFFmpegVCL::AddTask(const std::string& fileName, TInputOptions* inputOptions) {
  CheckNotWorking("AddTask");
  auto task = NewTask(fileName, inputOptions);
  if (!task) return -1;
  std::lock_guard lock(terminateLock_);
  return PushTask(std::move(task));
}

std::shared_ptr<TFFmpeg> TCustomFFmpegVCL::NewTask(const std::string& fileName,
                                                   TInputOptions* inputOptions) {
  if (!LibrariesLoaded()) return nullptr;
  auto task = std::make_shared<TFFmpeg>();
  try {
    task->ResetTask();
    task->ParseOption("v", std::to_string(verbose_));
    task->SetTaskPreviewFlags(PreviewBits());
    task->SetPreviewWindowFactory([this](TPreviewer& owner, int width, int height) {
      TPreviewWindowFactory factory;
      {
        std::lock_guard lock(terminateLock_);
        factory = previewFactory_;
      }
      return factory ? factory(owner, width, height) : nullptr;
    });
    task->OnPreviewBitmap = [this](TCustomFFmpeg& sender, const TPreviewInfo& info) {
      DoPreviewBitmap(static_cast<TFFmpeg&>(sender), info);
    };
    const int slot = task->InputFileCount();
    if (inputOptions) {
      if (inputOptions->FileName.empty()) inputOptions->FileName = fileName;
      if (slot < MaxFiles) task->InputOptions(slot) = *inputOptions;
      TOptionParser parser = task->Parser();
      ApplyInputRecord(parser, *inputOptions);
    }
    if (!task->OpenInputFile(fileName)) {
      SetLastErrMsg(task->LastError());
      return nullptr;
    }
    task->AttachInputProbe(slot);
    WireTask(*task, false);
  } catch (const std::exception& e) {
    SetLastErrMsg(e.what());
    return nullptr;
  }
  return task;
}

int TCustomFFmpegVCL::PushTask(std::shared_ptr<TFFmpeg> task) {
  task->SetIndex(int(tasks_.size()));
  tasks_.push_back(std::move(task));
  return int(tasks_.size()) - 1;
}

int TCustomFFmpegVCL::AppendTask(const std::string& fileName, TInputOptions* inputOptions,
                                 const std::string& outputName, TOutputOptions* outputOptions) {
  bool refused;
  {
    std::lock_guard lock(terminateLock_);
    refused = working_ && (!openRun_ || stopped_ || closing_);
  }
  if (refused) RefuseWhileWorking("AppendTask");
  auto task = NewTask(fileName, inputOptions);
  if (!task || !AddOutput(*task, outputName, outputOptions)) return -1;
  std::shared_ptr<TFFmpeg> start;
  int index;
  {
    std::lock_guard lock(terminateLock_);
    // The opens pump the hand-over, whose calls may have stopped the run.
    if (working_ && (!openRun_ || stopped_ || closing_)) {
      lastErrMsg_ = "The run was stopped.";
      return -1;
    }
    index = PushTask(task);
    if (working_) {
      ++pendingCount_;
      // Claimed tasks that have not ended yet run (or are on their way).
      if (nextIndex_ - finishedCount_ < slots_) start = ClaimNext();
    }
  }
  if (start) Launch(start);
  return index;
}
void TCustomFFmpegVCL::WireTask(TFFmpeg& task, bool hook) {
  if (hook) {
    task.OnCustomHook = [this](TCustomFFmpeg& sender, THookInfo& info) {
      DoCustomHook(static_cast<TFFmpeg&>(sender), info);
    };
    task.SetHookEnabled(true);
    return;
  }
  task.OnProgress = [this](TCustomFFmpeg& sender, const TProgressInfo& info) {
    DoProgress(static_cast<TFFmpeg&>(sender), info);
  };
  task.OnTaskTerminate = [this](TFFmpeg& sender) { DoTaskTerminate(sender); };
}

bool TCustomFFmpegVCL::SetOutputFile(int taskIndex, const std::string& fileName,
                                     TOutputOptions* outputOptions) {
  CheckNotWorking("SetOutputFile");
  if (!LibrariesLoaded()) return false;
  auto task = TaskAt(taskIndex);
  if (!task) {
    SetLastErrMsg("Invalid task index " + std::to_string(taskIndex));
    return false;
  }
  return AddOutput(*task, fileName, outputOptions);
}

bool TCustomFFmpegVCL::AddOutput(TFFmpeg& task, const std::string& fileName,
                                 TOutputOptions* outputOptions) {
  const int slot = task.OutputFileCount();
  if (slot >= MaxFiles) {
    SetLastErrMsg("max output files " + std::to_string(MaxFiles) + " reached");
    return false;
  }
  TOutputOptions& copy = task.OutputOptions(slot);
  try {
    bool join = false;
    std::optional<TOutputRecordApplier> applier;
    TOptionParser parser = task.Parser();
    if (outputOptions) {
      if (outputOptions->FileName.empty()) outputOptions->FileName = fileName;
      copy = *outputOptions;
      applier.emplace(*outputOptions);
      applier->ApplyBeforeOpen(parser);
      if (outputOptions->CustomHook) WireTask(task, true);
      join = outputOptions->Join;
    } else {
      InitOutputOptions(copy);
    }
    if (task.OpenOutputFile(fileName, join) < 0) {
      SetLastErrMsg(task.LastError());
      InitOutputOptions(copy);
      return false;
    }
    if (applier) applier->AddStreams(parser);
    return true;
  } catch (const std::exception& e) {
    SetLastErrMsg(e.what());
    InitOutputOptions(copy);
    return false;
  }
}

void TCustomFFmpegVCL::RemoveTask(int taskIndex) {
  CheckNotWorking("RemoveTask");
  std::shared_ptr<TFFmpeg> removed;  // freed after the lock is released
  {
    std::lock_guard lock(terminateLock_);
    if (taskIndex < 0 || taskIndex >= int(tasks_.size())) return;
    removed = tasks_[size_t(taskIndex)];
    tasks_.erase(tasks_.begin() + taskIndex);
    for (size_t i = 0; i < tasks_.size(); ++i) tasks_[i]->SetIndex(int(i));
  }
}

void TCustomFFmpegVCL::ClearTasks() {
  std::vector<std::shared_ptr<TFFmpeg>> old;
  {
    std::lock_guard lock(terminateLock_);
    // A run of an empty list raises no final notice; nothing is left to end.
    if (working_ && !allEnded_ && !tasks_.empty())
      throw FFmpegException("Cannot ClearTasks while working.");
    old.swap(tasks_);
    lastErrMsg_.clear();
    finishedCount_ = 0;
    nextIndex_ = -1;
    pendingCount_ = 0;
    allEnded_ = false;
    threaded_ = false;
    working_ = false;
    paused_ = false;
    openRun_ = false;
    stopped_ = false;
  }
  // Freed outside the lock: a task waits for its worker, which may still be
  // on its way out of the terminate notice.
  old.clear();
}

// ---- notifications ----

void TCustomFFmpegVCL::RunHandler(const std::function<void()>& call) {
  if (triggerInMain_)
    RunOnMainThread(call);
  else
    call();
}

void TCustomFFmpegVCL::DoCustomHook(TFFmpeg& task, THookInfo& info) {
  std::lock_guard lock(hookLock_);
  if (!onCustomHook_ || !info.Bitmap) return;
  hookInfo_ = info;
  hookInfo_.TaskIndex = task.Index();
  {
    std::lock_guard canvas(info.Bitmap->Canvas());
    onCustomHook_(this, &hookInfo_);
  }
  info.Update = hookInfo_.Update;
  info.StopHook = hookInfo_.StopHook;
}

void TCustomFFmpegVCL::DoPreviewBitmap(TFFmpeg& task, const TPreviewInfo& info) {
  std::lock_guard lock(previewLock_);
  if (!onPreviewBitmap_) return;
  previewInfo_ = info;
  previewInfo_.TaskIndex = task.Index();
  RunHandler([this] { onPreviewBitmap_(this, previewInfo_); });
}

void TCustomFFmpegVCL::DoProgress(TFFmpeg& task, const TProgressInfo& info) {
  std::lock_guard lock(progressLock_);
  if (!onProgress_) return;
  progressInfo_ = info;
  progressInfo_.TaskIndex = task.Index();
  RunHandler([this] { onProgress_(this, &progressInfo_); });
}
