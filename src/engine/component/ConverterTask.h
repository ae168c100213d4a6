// TFFmpeg: one task of the converter component - the conversion engine
// plus what the component keeps per task: the probes of its inputs, copies of
// the option records it was given, its worker thread, its previewer and its
// start/end life cycle (configured, working, terminated; started at most
// once, one terminate notice).
//
// Owns its engine state, its input probes, the record copies, its worker and
// its previewer.
// Threads: configured (options, files, call-outs, the members below that say
// so) on the component's thread before it starts; Start, End and
// RequestStopAndWait on that thread too; the worker runs the conversion and
// raises the terminate slot. `stateMutex_` guards the start/end transitions
// and the start error; the previewer is guarded by the engine's preview lock.
// The component's thread never waits for the worker without pumping the
// hand-over queue.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/common/ManualEvent.h"
#include "engine/common/ThreadPriority.h"
#include "engine/component/Previewer.h"
#include "engine/convert/CustomFFmpeg.h"
#include "engine/options/OptionRecords.h"
#include "engine/probe/AVProbe.h"

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
  // `paused`: the conversion waits at its first packet until Resume.
  TStartResult Start(bool threaded, TThreadPriority priority, bool paused = false);
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
  void SetPreviewWindowFactory(TPreviewWindowFactory factory) {
    previewFactory_ = std::move(factory);
  }

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
