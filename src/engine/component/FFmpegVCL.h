// Folder engine/component: the converter component the front ends use: the
// task list filled from option records (this header), the task with its worker
// and life cycle (ConverterTask.h), run control (RunControl.cpp), the notice
// thread (NoticeQueue.h) and a task's preview window (Previewer.h). The top of
// the engine: it builds on convert, options, probe, libav and common, and
// nothing in the engine includes it. Its operations are for the user-interface
// thread; its events come on the workers, on the notice thread or, handed over,
// on the user-interface thread.
//
// The converter component: a list of conversion tasks that it fills from
// option records, runs in list order (on worker threads or on the caller's
// thread), pauses, resumes and stops, turning the engine's per-task call-outs
// into four events: OnCustomHook, OnPreviewBitmap, OnProgress, OnTerminate.
//
// TCustomFFmpegVCL owns its tasks, its probe, its notice thread and its
// launcher thread (which starts the next task, so that a start never waits
// behind a notice's handler).
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

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/common/ThreadPriority.h"
#include "engine/component/ConverterTask.h"
#include "engine/component/Previewer.h"
#include "engine/convert/ConvertEvents.h"
#include "engine/options/OptionRecords.h"
#include "engine/probe/AVProbe.h"

class TCustomFFmpegVCL;
class TNoticeQueue;

using PHookInfo = THookInfo*;
using PProgressInfo = TProgressInfo*;

using TCustomHookEvent = std::function<void(TCustomFFmpegVCL* sender, PHookInfo hookInfo)>;
using TPreviewBitmapEvent =
    std::function<void(TCustomFFmpegVCL* sender, const TPreviewInfo& previewInfo)>;
using TProgressEvent = std::function<void(TCustomFFmpegVCL* sender, PProgressInfo progressInfo)>;
using TTerminateEvent =
    std::function<void(TCustomFFmpegVCL* sender, const TTerminateInfo& terminateInfo)>;

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
  bool SetOutputFile(int taskIndex, const std::string& fileName,
                     TOutputOptions* outputOptions = nullptr);
  void RemoveTask(int taskIndex);
  void ClearTasks();
  // Starts the tasks in list order: with threadCount > 0 that many at once on
  // worker threads (returns at once), each ended one making room for the next;
  // with 0 each on the calling thread in turn (returns after the last).
  // With several at once, each task's decoders share the cores (cores /
  // threadCount threads each, at least one) instead of taking one per core.
  void StartTask(int threadCount);
  // An open run, for a batch that prepares its files while the first ones
  // convert: starts the tasks of the list as StartTask(threadCount) does
  // (threadCount >= 1), but the list stays open until CloseRun. AppendTask
  // adds a task to it, and the final notice comes only after CloseRun, once
  // every task has ended. Throws "Cannot StartTask while working.".
  void StartOpenRun(int threadCount);
  // Opens `fileName` as a new task's input and `outputName` as its output,
  // as AddTask and SetOutputFile do, and appends the task only when both
  // opened (else -1 with LastErrMsg, and nothing is added). In an open run
  // the task joins the run and starts at once when fewer than its thread
  // count run; in any other run it throws "Cannot AppendTask while
  // working.", as it does once the run was stopped or closed. A stop that
  // comes while the files open (the opens pump the hand-over) leaves the
  // task out: -1 with "The run was stopped.".
  int AppendTask(const std::string& fileName, TInputOptions* inputOptions,
                 const std::string& outputName, TOutputOptions* outputOptions);
  // Ends the open run's list: the final notice follows the last task's.
  // Nothing when no open run works.
  void CloseRun();
  // Tasks of the run waiting for a free thread.
  int PendingCount() const;
  // Pauses every running task; a task started while the run is paused starts
  // paused, so that Pause holds the whole run however many run at once.
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
  // Throws "Cannot `operation` while working." (logged first).
  [[noreturn]] void RefuseWhileWorking(const char* operation) const;
  // The task of AddTask, opened on `fileName`; null with LastErrMsg.
  std::shared_ptr<TFFmpeg> NewTask(const std::string& fileName, TInputOptions* inputOptions);
  // SetOutputFile's work on a task that may not be in the list yet.
  bool AddOutput(TFFmpeg& task, const std::string& fileName, TOutputOptions* outputOptions);
  // Puts the task at the end of the list; its index. Under terminateLock_.
  int PushTask(std::shared_ptr<TFFmpeg> task);
  bool LibrariesLoaded();
  void SetLastErrMsg(const std::string& text);
  std::shared_ptr<TFFmpeg> TaskAt(int index) const;
  void WireTask(TFFmpeg& task, bool hook);
  int PreviewBits() const;
  void ApplyPreviewBits();
  // Runs an event handler where TriggerEventInMainThread says.
  void RunHandler(const std::function<void()>& call);

  // Run control. ClaimNext takes the terminate lock; CountEnded, FinishRun
  // and DeliverNotice are called under it.
  void BeginRun(int threadCount, bool open);
  std::shared_ptr<TFFmpeg> ClaimNext();
  // Raises the final notice once every task of a closed run has ended.
  void FinishRun();
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
  bool paused_ = false;   // PauseConvert until ResumeConvert
  bool openRun_ = false;  // StartOpenRun until CloseRun
  bool stopped_ = false;  // StopConvert during this run
  int slots_ = 0;         // the tasks an open run keeps running
  int runId_ = 0;         // counts StartTask calls

  std::unique_ptr<TNoticeQueue> notices_;
  std::unique_ptr<TNoticeQueue> launcher_;
};

class TFFmpegVCL : public TCustomFFmpegVCL {};
