// The converter component: a list of conversion tasks that it fills from
// option records, runs in list order (on worker threads or on the caller's
// thread), pauses, resumes and stops, turning the engine's per-task call-outs
// into four events: OnCustomHook, OnPreviewBitmap, OnProgress, OnTerminate.
//
// TFFmpeg (one task) owns its engine state, its input probes, copies of the
// option records it was given, its worker thread and its previewer.
// TCustomFFmpegVCL owns its tasks, its probe and its notice thread.
//
// Threads: every operation is for the user-interface thread (the thread that
// owns the component). OnCustomHook runs on the task's worker; OnProgress and
// OnPreviewBitmap run on the user-interface thread through the hand-over of
// MainThread.h when TriggerEventInMainThread is set, else on the worker;
// OnTerminate runs on the component's notice thread in threaded runs and on
// the caller's thread otherwise. Notices reach the handler in the order they
// were raised: a task's own notice always before the final one (index -1).
// Locks: one per event kind guards that kind's handler and shared info record
// and is held while the handler runs (across the hand-over too). The
// terminate lock (recursive, so that a handler on the caller's thread may call
// back in) also guards the task list and the run counters. A task's state
// mutex guards its start/end transitions. The user-interface thread never
// blocks on a lock or a worker without pumping the hand-over queue.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/AVProbe.h"
#include "engine/CustomFFmpeg.h"
#include "engine/OptionRecords.h"
#include "engine/OptionState.h"
#include "engine/Previewer.h"
#include "engine/ThreadPriority.h"

class TCustomFFmpegVCL;
class TNoticeQueue;

using PHookInfo = THookInfo*;
using PProgressInfo = TProgressInfo*;

// What a task's end looks like to the front end. TaskIndex -1: every task of
// the run has ended (Completed true, Failed false).
struct TTerminateInfo {
  int TaskIndex = -1;
  bool Completed = false;  // converted to its end: not stopped, no error
  bool Failed = false;     // ended because of an error
  std::string ErrorMessage;
};

using TCustomHookEvent = std::function<void(TCustomFFmpegVCL* sender, PHookInfo hookInfo)>;
using TPreviewBitmapEvent = std::function<void(TCustomFFmpegVCL* sender, const TPreviewInfo& previewInfo)>;
using TProgressEvent = std::function<void(TCustomFFmpegVCL* sender, PProgressInfo progressInfo)>;
using TTerminateEvent = std::function<void(TCustomFFmpegVCL* sender, const TTerminateInfo& terminateInfo)>;

// A manual-reset event: Set releases every waiter until Reset. Any thread.
class TManualEvent {
 public:
  explicit TManualEvent(bool signalled) : set_(signalled) {}
  void Set();
  void Reset();
  // True when signalled within `timeoutMs`.
  bool Wait(int timeoutMs);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_;
};

// One conversion task. Configured (options, files, call-outs) on the
// component's thread before it starts; started at most once.
class TFFmpeg : public TCustomFFmpeg {
 public:
  enum class TStartResult {
    Refused,  // already started or ended: nothing happened
    Ended,    // ran on the calling thread, or failed at once; notice raised
    Running   // a worker thread converts
  };

  TFFmpeg();
  ~TFFmpeg() override;

  // The probe attached to input `index` (nullptr when there is none) and the
  // copies of the option records given for input / output `index` (0..19).
  TAVProbe* InputProbe(int index) const;
  void AttachInputProbe(int index);
  TInputOptions& InputOptions(int index) { return inputOptions_.at(size_t(index)); }
  TOutputOptions& OutputOptions(int index) { return outputOptions_.at(size_t(index)); }

  // Refused while working or after the notice. Without an input or an output
  // the task fails at once ("At least one ... file must be specified").
  TStartResult Start(bool threaded, TThreadPriority priority);
  // Asks the conversion to end; with `wait`, returns once the worker ended,
  // pumping the hand-over queue every 20 ms on the user-interface thread.
  void RequestStopAndWait(bool wait);
  // Ends the task whatever its state: a running task is stopped; a task that
  // never ran raises its notice at once; an ended task is left alone.
  void End(bool wait);

  bool Working() const { return working_.load(); }
  bool Terminated() const { return terminated_.load(); }
  // What the terminate notice carries.
  bool TaskCompleted() const;
  bool TaskFailed() const;
  std::string TaskErrorMessage() const;

  // Position in the component's list (kept by the component).
  int Index() const { return index_.load(); }
  void SetIndex(int index) { index_ = index; }
  // The run whose finished count includes this task's notice (component's).
  int NoticeRun() const { return noticeRun_.load(); }
  void SetNoticeRun(int run) { noticeRun_ = run; }

  // The terminate slot: called on the thread that raised the notice.
  std::function<void(TFFmpeg& task)> OnTaskTerminate;

  // Sets the preview flags (PreviewWindowFlag, PreviewBitmapFlag); clearing
  // the window flag frees the previewer. User-interface thread.
  void SetTaskPreviewFlags(int bits);
  void SetPreviewWindowFactory(TPreviewWindowFactory factory) { previewFactory_ = std::move(factory); }

 private:
  void WorkerMain(TThreadPriority priority);
  void RunBody();
  void RaiseNotice();
  bool OfferToPreviewer(const TPreviewInfo& info);

  mutable std::mutex stateMutex_;  // start/end transitions, startError_
  std::atomic<bool> working_{false};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> hasWorker_{false};  // a worker was made: wait for done_
  std::atomic<int> index_{-1};
  std::atomic<int> noticeRun_{0};
  std::string startError_;  // a start that failed before converting
  std::thread worker_;
  TManualEvent done_{true};

  std::array<std::unique_ptr<TAVProbe>, MaxFiles> probes_;
  std::array<TInputOptions, MaxFiles> inputOptions_;
  std::array<TOutputOptions, MaxFiles> outputOptions_;

  TPreviewWindowFactory previewFactory_;
  std::unique_ptr<TPreviewer> previewer_;  // under TCustomFFmpeg::PreviewLock()
};

class TCustomFFmpegVCL {
 public:
  TCustomFFmpegVCL();
  virtual ~TCustomFFmpegVCL();
  TCustomFFmpegVCL(const TCustomFFmpegVCL&) = delete;
  TCustomFFmpegVCL& operator=(const TCustomFFmpegVCL&) = delete;

  static constexpr const char* Version = "3.3";
  std::string About = "Converter component";

  // ---- operations (user-interface thread) ----

  // Loads the converter's media libraries from `path`; false with LastErrMsg.
  bool LoadAVLib(const std::string& path);
  // Opens `fileName` as a new task's input. The task index, or -1 with
  // LastErrMsg. `inputOptions` may be null; an empty FileName in it is set
  // to `fileName`. Throws "Cannot AddTask while working.".
  int AddTask(const std::string& fileName, TInputOptions* inputOptions = nullptr);
  // Adds an output file to a task. False with LastErrMsg. Throws
  // "Cannot SetOutputFile while working.".
  bool SetOutputFile(int taskIndex, const std::string& fileName, TOutputOptions* outputOptions = nullptr);
  void RemoveTask(int taskIndex);
  void ClearTasks();
  // Starts the tasks in list order: with threadCount > 0 that many at once on
  // worker threads (returns at once); with 0 each on the calling thread in
  // turn (returns after the last).
  void StartTask(int threadCount);
  void PauseConvert();
  void ResumeConvert();
  // No further task starts; every task ends. With `waitForStop`, returns once
  // every worker has ended.
  void StopConvert(bool waitForStop);

  int TaskCount() const;
  // The probe attached to an input of a task; nullptr when there is none.
  TAVProbe* InputProbe(int taskIndex, int inputIndex) const;
  TAVProbe& AVProbe() { return probe_; }
  std::string LastErrMsg() const;
  static void InitInputOptions(TInputOptions& options) { ::InitInputOptions(options); }
  static void InitOutputOptions(TOutputOptions& options) { ::InitOutputOptions(options); }

  // ---- properties ----

  bool Preview() const { return preview_.load(); }
  void SetPreview(bool value);
  bool PreviewBitmap() const { return previewBitmap_.load(); }
  void SetPreviewBitmap(bool value);
  int ProgressInterval() const { return progressInterval_.load(); }  // ms
  void SetProgressInterval(int ms) { progressInterval_ = ms <= 100 ? 100 : ms; }
  TThreadPriority ThreadPriority() const { return threadPriority_.load(); }
  void SetThreadPriority(TThreadPriority value) { threadPriority_ = value; }
  bool TriggerEventInMainThread() const { return triggerInMain_.load(); }
  void SetTriggerEventInMainThread(bool value) { triggerInMain_ = value; }
  // The window the built-in preview shows in (windowed program only).
  void SetPreviewWindowFactory(TPreviewWindowFactory factory);

  void SetOnCustomHook(TCustomHookEvent handler);
  void SetOnPreviewBitmap(TPreviewBitmapEvent handler);
  void SetOnProgress(TProgressEvent handler);
  void SetOnTerminate(TTerminateEvent handler);

  // State of the run (for the front end and tests).
  bool Working() const;
  bool AllEnded() const;

 protected:
  // The engine's notifications, with the task as sender.
  virtual void DoCustomHook(TFFmpeg& task, THookInfo& info);
  virtual void DoPreviewBitmap(TFFmpeg& task, const TPreviewInfo& info);
  virtual void DoProgress(TFFmpeg& task, const TProgressInfo& info);
  virtual void DoTaskTerminate(TFFmpeg& task);

 private:
  void CheckNotWorking(const char* operation) const;
  bool LibrariesLoaded();
  void SetLastErrMsg(const std::string& text);
  std::shared_ptr<TFFmpeg> TaskAt(int index) const;
  void WireTask(TFFmpeg& task, bool hook);
  int PreviewBits() const;
  void ApplyPreviewBits();
  // Runs an event handler where TriggerEventInMainThread says.
  void RunHandler(const std::function<void()>& call);

  // Run control. ClaimNext takes the terminate lock; CountEnded and
  // DeliverNotice are called under it.
  std::shared_ptr<TFFmpeg> ClaimNext();
  void Launch(const std::shared_ptr<TFFmpeg>& task);
  void CountEnded();
  void DeliverNotice(const TTerminateInfo& info);

  std::string lastErrMsg_;
  std::atomic<bool> preview_{false};
  std::atomic<bool> previewBitmap_{false};
  std::atomic<int> progressInterval_{500};
  std::atomic<TThreadPriority> threadPriority_{tpNormal};
  std::atomic<bool> triggerInMain_{true};
  int verbose_ = 1;
  TPreviewWindowFactory previewFactory_;

  std::mutex hookLock_, previewLock_, progressLock_;
  mutable std::recursive_mutex terminateLock_;
  THookInfo hookInfo_;
  TProgressInfo progressInfo_;
  TTerminateInfo terminateInfo_;
  TPreviewInfo previewInfo_;
  TCustomHookEvent onCustomHook_;
  TPreviewBitmapEvent onPreviewBitmap_;
  TProgressEvent onProgress_;
  TTerminateEvent onTerminate_;

  TAVProbe probe_;
  // Under terminateLock_:
  std::vector<std::shared_ptr<TFFmpeg>> tasks_;
  int finishedCount_ = 0;
  int nextIndex_ = -1;
  int pendingCount_ = 0;
  bool allEnded_ = false;
  bool threaded_ = false;
  bool working_ = false;
  bool closing_ = false;  // being destroyed: nothing starts any more
  int runId_ = 0;         // counts StartTask calls

  std::unique_ptr<TNoticeQueue> notices_;
};

class TFFmpegVCL : public TCustomFFmpegVCL {};
