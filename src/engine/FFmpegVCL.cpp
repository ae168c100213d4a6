#include "engine/FFmpegVCL.h"

#include <chrono>
#include <ctime>
#include <deque>
#include <exception>

#include "engine/FFmpegException.h"
#include "engine/FFmpegLoader.h"
#include "engine/FFmpegLogger.h"
#include "engine/MainThread.h"
#include "engine/MediaUtils.h"
#include "engine/OptionParser.h"

namespace {

constexpr int StopPollMs = 20;

bool OnMainThread() {
  IMainThreadHandOver* h = MainThreadHandOver();
  return h && h->IsMainThread();
}

// Takes a lock that a worker may hold while it waits for the user-interface
// thread: on that thread, keep pumping the hand-over queue until it is free.
template <typename M>
std::unique_lock<M> LockPumping(M& mutex) {
  std::unique_lock<M> lock(mutex, std::try_to_lock);
  if (lock.owns_lock()) return lock;
  if (!OnMainThread()) {
    lock.lock();
    return lock;
  }
  while (!lock.try_lock()) {
    PumpMainThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return lock;
}

// Runs `call`, which may block on a lock that a worker holds while it waits
// for the user-interface thread: on that thread, the call goes to a helper
// thread and this one keeps pumping until it returns.
void RunPumping(const std::function<void()>& call) {
  if (!OnMainThread()) {
    call();
    return;
  }
  std::atomic<bool> done{false};
  std::exception_ptr error;
  std::thread helper([&] {
    try {
      call();
    } catch (...) {
      error = std::current_exception();
    }
    done = true;
  });
  while (!done) {
    PumpMainThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  helper.join();
  if (error) std::rethrow_exception(error);
}

void LogError(const void* sender, const std::string& text) { FFLogger().Log(sender, llError, text); }

}  // namespace

// ---- notice thread ----

// Runs jobs one after another on one thread of its own: terminate notices of
// threaded runs (so they reach the handler in the order raised) and the start
// of the next task. Starting workers from here rather than from the worker
// that just ended keeps them from inheriting that worker's lowered priority.
class TNoticeQueue {
 public:
  TNoticeQueue() : state_(std::make_shared<State>()) {}
  ~TNoticeQueue() { Close(); }

  // Call on a thread of normal priority (the user-interface thread).
  void Start() {
    std::lock_guard lock(state_->mutex);
    if (!thread_.joinable()) {
      state_->closing = false;
      state_->finished = false;
      thread_ = std::thread(Run, state_);
    }
  }

  void Post(std::function<void()> job) {
    Start();
    std::lock_guard lock(state_->mutex);
    state_->jobs.push_back(std::move(job));
    state_->changed.notify_all();
  }

  // Runs what is queued, then ends the thread.
  void Close() {
    std::unique_lock lock(state_->mutex);
    if (!thread_.joinable()) return;
    state_->closing = true;
    state_->changed.notify_all();
    if (thread_.get_id() == std::this_thread::get_id()) {
      // Closed from one of its own jobs: it finishes on its own; the state
      // is shared, so it outlives this object.
      thread_.detach();
      return;
    }
    while (!state_->finished) {
      state_->changed.wait_for(lock, std::chrono::milliseconds(StopPollMs));
      lock.unlock();
      PumpMainThread();
      lock.lock();
    }
    lock.unlock();
    thread_.join();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    bool closing = false;
    bool finished = false;
  };

  static void Run(std::shared_ptr<State> s) {
    std::unique_lock lock(s->mutex);
    for (;;) {
      s->changed.wait(lock, [&] { return !s->jobs.empty() || s->closing; });
      if (s->jobs.empty()) break;
      auto job = std::move(s->jobs.front());
      s->jobs.pop_front();
      lock.unlock();
      try {
        job();
      } catch (const std::exception& e) {
        LogError(s.get(), e.what());
      }
      job = nullptr;
      lock.lock();
    }
    s->finished = true;
    s->changed.notify_all();
  }

  std::shared_ptr<State> state_;
  std::thread thread_;
};

// ---- manual-reset event ----

void TManualEvent::Set() {
  std::lock_guard lock(mutex_);
  set_ = true;
  changed_.notify_all();
}

void TManualEvent::Reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool TManualEvent::Wait(int timeoutMs) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return set_; });
}

// ---- task ----

TFFmpeg::TFFmpeg() {
  OnPreviewOffer = [this](TCustomFFmpeg&, const TPreviewInfo& info) { return OfferToPreviewer(info); };
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

TFFmpeg::TStartResult TFFmpeg::Start(bool threaded, TThreadPriority priority) {
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
  while (hasWorker_ && !done_.Wait(StopPollMs)) PumpMainThread();
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
    if (!(bits & PreviewWindowFlag) || (previewer_ && previewer_->Closed())) old = std::move(previewer_);
  }
}

bool TFFmpeg::OfferToPreviewer(const TPreviewInfo& info) {
  if (!info.Bitmap) return false;
  if (!previewer_) previewer_ = std::make_unique<TPreviewer>(previewFactory_);
  return previewer_->Offer(*info.Bitmap, info.FrameNumber, info.PTS);
}

// ---- applying the option records ----

namespace {

bool IsOneOf(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

// Lines of an option text that are never dispatched as they stand: streams
// added after the file is open, and the per-stream defaults.
bool SkippedOnInput(const std::string& name) {
  return IsOneOf(name, {"newvideo", "newaudio", "newsubtitle", "apre", "vpre", "spre", "vfilters", "vf"});
}

bool SkippedOnOutput(const std::string& name) {
  return SkippedOnInput(name) || IsOneOf(name, {"acodec", "vcodec", "scodec", "s"});
}

// The "def_" defaults of an output and the per-stream entries of its option
// text, consumed by the streams that "newaudio" / "newvideo" /
// "newsubtitle" add.
class TStreamDefaults {
 public:
  TStreamDefaults(const TOutputOptions& o, const std::vector<TOptionLine>& extra) {
    AddDefault("acodec", o.AudioCodec);
    AddDefault("vcodec", o.VideoCodec);
    AddDefault("scodec", o.SubtitleCodec);
    AddDefault("apre", o.AudioPreset);
    AddDefault("vpre", o.VideoPreset);
    AddDefault("spre", o.SubtitlePreset);
    AddDefault("s", o.FrameSize);
    AddDefault("vf", o.VideoFilters);
    for (const auto& line : extra) {
      if (line.Value.empty() ||
          !IsOneOf(line.Name, {"acodec", "vcodec", "scodec", "apre", "vpre", "spre", "s", "vfilters", "vf"}))
        continue;
      const std::string name = line.Name == "vfilters" ? "vf" : line.Name;
      AddDefault(name, line.Value);
      list_.push_back({name, line.Value});
    }
  }

  std::string Default(const std::string& name) const {
    for (const auto& e : list_)
      if (e.Name == "def_" + name) return e.Value;
    return "";
  }

  // The first per-stream entry of that name (removed), else the default.
  std::string Take(const std::string& name) {
    for (auto it = list_.begin(); it != list_.end(); ++it)
      if (it->Name == name) {
        std::string value = it->Value;
        list_.erase(it);
        return value;
      }
    return Default(name);
  }

 private:
  void AddDefault(const std::string& name, const std::string& value) {
    if (value.empty() || !Default(name).empty()) return;
    list_.push_back({"def_" + name, value});
  }

  std::vector<TOptionLine> list_;
};

// One of the per-stream options, by the setter the dispatcher would use; an
// empty value changes nothing.
void ApplyStreamOption(TOptionParser& p, const std::string& name, const std::string& value) {
  if (value.empty()) return;
  if (name == "acodec")
    p.SetAudioCodec(value);
  else if (name == "vcodec")
    p.SetVideoCodec(value);
  else if (name == "scodec")
    p.SetSubtitleCodec(value);
  else if (name == "s")
    p.SetFrameSize(value);
  else if (name == "vf")
    p.SetVideoFilters(value);
  else
    p.LoadPreset(name, value);
}

void ApplyMetadata(TOptionParser& p, const TStreamInfo& m) {
  if (m.TimeStamp == 0)
    p.SetTimestamp(std::time(nullptr));
  else if (m.TimeStamp > 0)
    p.SetTimestamp(LocalDateTimeToUnix(m.TimeStamp));
  if (m.Year > 0) p.AddMetadata("year", std::to_string(m.Year));
  if (m.Track > 0) p.AddMetadata("track", std::to_string(m.Track));
  const std::pair<const char*, const std::string*> texts[] = {
      {"title", &m.Title},     {"author", &m.Author}, {"copyright", &m.Copyright},
      {"comment", &m.Comment}, {"album", &m.Album},   {"genre", &m.Genre}};
  for (const auto& [key, value] : texts)
    if (!value->empty()) p.AddMetadata(key, *value);
}

void ApplyInputOptions(TFFmpeg& task, const TInputOptions& o) {
  for (const auto& line : SplitOptionText(o.ExtraOptions))
    if (!SkippedOnInput(line.Name)) task.ParseOption(line.Name, line.Value);
  for (const auto& line : InputFieldOptions(o)) task.ParseOption(line.Name, line.Value);
}

// Everything the output record asks for before the file is opened.
void ApplyOutputOptions(TFFmpeg& task, const TOutputOptions& o, const std::vector<TOptionLine>& extra,
                        const TStreamDefaults& defaults) {
  TOptionParser p(task.Options(), &task);
  if (!TargetName(o.Target).empty())
    p.Target(TargetName(o.Target), TargetNormName(o.TargetNorm), TargetDefaultNormName(o.TargetDefaultNorm));
  p.SetAudioCodec(defaults.Default("acodec"));
  p.SetVideoCodec(defaults.Default("vcodec"));
  p.SetSubtitleCodec(defaults.Default("scodec"));
  for (const char* preset : {"apre", "vpre", "spre"}) ApplyStreamOption(p, preset, defaults.Default(preset));
  for (const auto& line : extra)
    if (!SkippedOnOutput(line.Name)) p.ParseOption(line.Name, line.Value);
  for (const auto& line : OutputFieldOptions(o)) p.ParseOption(line.Name, line.Value);
  ApplyMetadata(p, o.Metadata);
  ApplyStreamOption(p, "s", defaults.Default("s"));
  ApplyStreamOption(p, "vf", defaults.Default("vf"));
}

// Streams the option text adds to the file just opened.
void AddExtraStreams(TFFmpeg& task, const std::vector<TOptionLine>& extra, TStreamDefaults& defaults) {
  TOptionParser p(task.Options(), &task);
  for (const auto& line : extra) {
    static const std::vector<const char*> audio{"acodec", "apre"}, video{"vcodec", "vpre", "s", "vf"},
        subtitle{"scodec", "spre"};
    const std::vector<const char*>* perStream = line.Name == "newaudio"      ? &audio
                                                : line.Name == "newvideo"    ? &video
                                                : line.Name == "newsubtitle" ? &subtitle
                                                                             : nullptr;
    if (!perStream) continue;
    for (const char* name : *perStream) ApplyStreamOption(p, name, defaults.Take(name));
    p.ParseOption(line.Name, line.Value);
  }
}

}  // namespace

// ---- component ----

TCustomFFmpegVCL::TCustomFFmpegVCL() : notices_(std::make_unique<TNoticeQueue>()) {}

TCustomFFmpegVCL::~TCustomFFmpegVCL() {
  std::vector<std::shared_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard lock(terminateLock_);
    closing_ = true;
    pendingCount_ = 0;
    tasks = tasks_;
  }
  for (auto& t : tasks) t->RequestStopAndWait(true);
  notices_->Close();
  // A delivery still under way finishes before the records go.
  { auto lock = LockPumping(hookLock_); }
  { auto lock = LockPumping(previewLock_); }
  { auto lock = LockPumping(progressLock_); }
  { std::lock_guard lock(terminateLock_); tasks_.clear(); }
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
  // Logged outside the lock: the log handler may wait for the main thread.
  const std::string text = std::string("Cannot ") + operation + " while working.";
  LogError(this, text);
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
  if (!text.empty()) LogError(this, text);
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
  if (!LibrariesLoaded()) return -1;
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
      ApplyInputOptions(*task, *inputOptions);
    }
    if (!task->OpenInputFile(fileName)) {
      SetLastErrMsg(task->LastError());
      return -1;
    }
    task->AttachInputProbe(slot);
    WireTask(*task, false);
  } catch (const std::exception& e) {
    SetLastErrMsg(e.what());
    return -1;
  }
  std::lock_guard lock(terminateLock_);
  task->SetIndex(int(tasks_.size()));
  tasks_.push_back(std::move(task));
  return int(tasks_.size()) - 1;
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

bool TCustomFFmpegVCL::SetOutputFile(int taskIndex, const std::string& fileName, TOutputOptions* outputOptions) {
  CheckNotWorking("SetOutputFile");
  if (!LibrariesLoaded()) return false;
  auto task = TaskAt(taskIndex);
  if (!task) {
    SetLastErrMsg("Invalid task index " + std::to_string(taskIndex));
    return false;
  }
  const int slot = task->OutputFileCount();
  if (slot >= MaxFiles) {
    SetLastErrMsg("max output files " + std::to_string(MaxFiles) + " reached");
    return false;
  }
  TOutputOptions& copy = task->OutputOptions(slot);
  try {
    bool join = false;
    std::vector<TOptionLine> extra;
    std::unique_ptr<TStreamDefaults> defaults;
    if (outputOptions) {
      if (outputOptions->FileName.empty()) outputOptions->FileName = fileName;
      copy = *outputOptions;
      extra = SplitOptionText(outputOptions->ExtraOptions);
      defaults = std::make_unique<TStreamDefaults>(*outputOptions, extra);
      ApplyOutputOptions(*task, *outputOptions, extra, *defaults);
      if (outputOptions->CustomHook) WireTask(*task, true);
      join = outputOptions->Join;
    } else {
      InitOutputOptions(copy);
    }
    if (task->OpenOutputFile(fileName, join) < 0) {
      SetLastErrMsg(task->LastError());
      InitOutputOptions(copy);
      return false;
    }
    if (defaults) AddExtraStreams(*task, extra, *defaults);
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
    if (working_ && !allEnded_ && !tasks_.empty()) throw FFmpegException("Cannot ClearTasks while working.");
    old.swap(tasks_);
    lastErrMsg_.clear();
    finishedCount_ = 0;
    nextIndex_ = -1;
    pendingCount_ = 0;
    allEnded_ = false;
    threaded_ = false;
    working_ = false;
  }
  // Freed outside the lock: a task waits for its worker, which may still be
  // on its way out of the terminate notice.
  old.clear();
}

// ---- running ----

void TCustomFFmpegVCL::StartTask(int threadCount) {
  {
    std::lock_guard lock(terminateLock_);
    if (working_) throw FFmpegException("Cannot StartTask while working.");
    finishedCount_ = 0;
    nextIndex_ = 0;
    pendingCount_ = int(tasks_.size());
    allEnded_ = false;
    threaded_ = threadCount > 0;
    working_ = true;
    ++runId_;
  }
  if (threadCount > 0) notices_->Start();
  for (;;) {
    auto task = ClaimNext();
    if (!task) break;
    Launch(task);
    if (threadCount > 0 && --threadCount == 0) break;
  }
}

std::shared_ptr<TFFmpeg> TCustomFFmpegVCL::ClaimNext() {
  std::lock_guard lock(terminateLock_);
  if (pendingCount_ <= 0 || nextIndex_ < 0 || nextIndex_ >= int(tasks_.size())) return nullptr;
  --pendingCount_;
  return tasks_[size_t(nextIndex_++)];
}

void TCustomFFmpegVCL::Launch(const std::shared_ptr<TFFmpeg>& task) {
  bool threaded;
  {
    std::lock_guard lock(terminateLock_);
    if (closing_) return;
    threaded = threaded_;
  }
  task->SetProgressInterval(std::int64_t(progressInterval_) * 1000);
  if (task->Start(threaded, threadPriority_) != TFFmpeg::TStartResult::Refused) return;
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
  for (auto& t : tasks_)
    if (t->Working()) t->Pause();
}

void TCustomFFmpegVCL::ResumeConvert() {
  std::lock_guard lock(terminateLock_);
  for (auto& t : tasks_) t->Resume();
}

void TCustomFFmpegVCL::StopConvert(bool waitForStop) {
  std::vector<std::shared_ptr<TFFmpeg>> tasks;
  {
    std::lock_guard lock(terminateLock_);
    pendingCount_ = 0;
    tasks = tasks_;
  }
  for (auto& t : tasks) t->End(waitForStop);
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

void TCustomFFmpegVCL::DoTaskTerminate(TFFmpeg& task) {
  std::lock_guard lock(terminateLock_);
  task.SetNoticeRun(runId_);
  if (onTerminate_) {
    terminateInfo_ = {task.Index(), task.TaskCompleted(), task.TaskFailed(), task.TaskErrorMessage()};
    DeliverNotice(terminateInfo_);
  }
  CountEnded();
}

// Under terminateLock_.
void TCustomFFmpegVCL::CountEnded() {
  ++finishedCount_;
  if (pendingCount_ < 1) {
    if (working_ && !allEnded_ && finishedCount_ >= int(tasks_.size())) {
      if (onTerminate_) {
        terminateInfo_ = {-1, true, false, ""};
        DeliverNotice(terminateInfo_);
      }
      allEnded_ = true;
    }
  } else if (threaded_ && !closing_) {
    if (auto next = ClaimNext()) notices_->Post([this, next] { Launch(next); });
  }
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
    LogError(this, std::string("Error occurs OnTerminate: ") + e.what());
  }
}
