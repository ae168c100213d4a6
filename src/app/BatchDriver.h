// The batch driver of the main window, without the windows: Start turns the
// checked rows of the source list into conversion tasks of the converter,
// shows the progress window (which starts them), and reacts to the
// converter's events: progress texts, the current picture, the per-frame
// hook and the end of each task and of the batch (output folder, shutdown).
//
// Owns TaskRows, the preview bitmap (a copy of the last encoded picture), the
// frame renderer of the default hook and the handlers it binds to the
// converter; borrows the converter, the source
// list (and through it the records), the views and the question/warning
// boxes, all of which must outlive it (or DetachHandlers must run first).
// Several files may convert at once (BatchJobs.h: the "files converted at
// once" setting); each row shows its own progress, the progress window
// follows the first running file in list order and the batch as a whole,
// and the end actions run once, after the last file has ended.
// Side by side, a file is prepared (opened, its options built, its task
// added) while the files before it convert: Start prepares as many as run
// at once and as many again to wait, and every file that ends makes room
// for one more (the converter's open run). One at a time,
// every file is prepared before the first starts.
// Threads: everything on the user-interface thread, except the frame hook,
// which runs on the converter's workers (one call at a time: the converter
// holds its hook lock) and reads the task's row and record. A task's row,
// output and expected length are recorded before the task is added, under
// the tasks mutex, which the hook and the output check take to read them;
// records do not change while the modal progress window runs the batch.
// Terminate notices arrive on the converter's notice thread, which checks
// the finished output (reading only what Start wrote) and hands the rest
// over to the user-interface thread, so the program must have installed its
// main-thread hand-over (MainThread.h); they reach the driver through a
// link that its destructor cuts under the link's mutex, so a notice still on
// its way finds no driver rather than a dead one. Progress and preview
// arrive on the user-interface thread (the converter's default); no lock is
// needed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/BatchJobs.h"
#include "app/BatchView.h"
#include "app/OptionBuilder.h"
#include "app/ProgressRules.h"
#include "engine/common/ThreadPriority.h"
#include "engine/convert/ConvertEvents.h"
#include "engine/probe/AVProbe.h"
#include "engine/probe/OutputCheck.h"

class TFFmpegVCL;
class TSourceList;
class TlvFilesRecord;
class TFrameHook;

// The longest output a batch writes: 30 minutes.
constexpr std::int64_t kLongestOutputUs = 1800000000;

// Draws a file's effects and watermarks into a decoded frame. Runs on the
// converter's worker; may throw (the frame is then encoded as decoded).
using TFrameHookHandler = std::function<void(const TlvFilesRecord& record, THookInfo& info)>;

// The converter's ThreadPriority for the "priority" setting; false (and
// `priority` untouched) for a value outside 0..3.
bool PriorityFromSetting(int setting, TThreadPriority& priority);
// The output length of a file: its duration D and trim length T against the
// 30-minute limit; OptionNoTime for no limit.
std::int64_t OutputDurationFor(std::int64_t sourceDuration, std::int64_t trimLength);
// What the output of a file should last: the length asked for, else the
// rest of the source after the trim start; -1 when neither is known.
std::int64_t ExpectedOutputUs(std::int64_t sourceDuration, const TlvFilesRecord& record);
// The labels of the progress window for one report; `caption` is the row's.
TProgressTexts MakeProgressTexts(const TProgressInfo& info, int taskCount,
                                 const std::string& caption);
// The source as the progress window's file label shows it: whole when shorter
// than 51 characters, else its first 44 characters, ".." and its extension.
std::string ShortFileLabel(const std::string& caption);
// How a batch ended, for the desktop notification.
struct TBatchSummary {
  int Converted = 0;   // completed and passed the output check
  int Failed = 0;      // failed, or completed but failed the check
  int Stopped = 0;     // stopped by the user
  std::string Folder;  // the output folder
};
// "2 files converted, 1 failed." and where they are.
std::string BatchSummaryText(const TBatchSummary& summary);

// The main window's "Open": opens OutPutDir of the settings file with the
// desktop's handler when the folder text is longer than 2 characters.
bool OpenOutputFolder(const std::string& settingsFile);
// Said when nothing on the desktop opened a folder or an address.
std::string NotOpenedText(const std::string& folderOrAddress);

class TBatchDriver {
 public:
  // Sets the converter up as the main window does (preview pictures on, no
  // preview window) and binds its four events.
  TBatchDriver(TFFmpegVCL& vcl, TSourceList& list, TBuildContext context);
  ~TBatchDriver();
  TBatchDriver(const TBatchDriver&) = delete;
  TBatchDriver& operator=(const TBatchDriver&) = delete;

  // Not owned; may be null.
  void SetListView(IBatchListView* view) { listView_ = view; }
  void SetProgressView(IProgressView* view) { progressView_ = view; }
  // The handler the hook of a file with effects calls; by default the
  // program's own effect and watermark rendering (none: frames pass).
  void SetFrameHook(TFrameHookHandler handler) { frameHook_ = std::move(handler); }

  // Prepares a task for every checked row (side by side: for the first
  // ones) and runs the progress window (without one, starts the tasks and
  // returns at once).
  // False when no row is checked (the user is told so). A file the converter
  // cannot open any more (removed or made unreadable since Add), or whose
  // output cannot be created, is left out with the converter's message in
  // its "Progress" cell (SkippedRows) and the others convert. Throws
  // EConvertError or FFmpegException when the settings of a file cannot be
  // turned into options, or a trim starts past a file's end: nothing is
  // converted then, and the tasks added so far stay until the next Start or
  // Clear. Should a file prepared while others convert fail so, it is left
  // out like a file that cannot be opened.
  bool Start();
  // The progress window's show step: starts the tasks in list order, as
  // many at once as FilesAtOnce() says, and side by side prepares the
  // files that wait.
  void StartTasks();
  // Pauses and resumes every running file (and one that starts meanwhile).
  void Pause();
  void Resume();
  // The progress window's Cancel and close: stops every running task,
  // starts no further one, and returns once the workers have ended. Each
  // stopped file keeps what was converted.
  void Cancel();
  // Files converted at once: -1 (the default) reads the setting at each
  // Start; else 0 (Auto) or 1..16 for every batch of this driver.
  void SetFilesAtOnce(int setting) { filesAtOnceSetting_ = setting; }
  // What the last Start chose (at least 1).
  int FilesAtOnce() const { return filesAtOnce_; }
  // The main window's exit step: no handler but the preview picture's stays
  // bound, every task is stopped and TaskRows is emptied.
  void DetachHandlers();

  // Task index -> list row, filled as the files are prepared
  // (user-interface thread).
  std::vector<int> TaskRows() const;
  // Checked rows Start left out, with the converter's message.
  struct TSkippedRow {
    int Row = -1;
    std::string Message;
  };
  const std::vector<TSkippedRow>& SkippedRows() const { return skipped_; }
  // Task index -> output file, filled as the files are prepared
  // (user-interface thread).
  std::vector<std::string> OutputFiles() const;
  // What checks every completed output before it counts as done: CheckOutput
  // by default; null checks nothing. Runs on the converter's notice thread.
  using TOutputChecker =
      std::function<TOutputCheck(const std::string& file, const TOutputExpectation& expected)>;
  void SetOutputChecker(TOutputChecker checker) { outputChecker_ = std::move(checker); }
  // Called on the user-interface thread when a batch has ended.
  std::function<void(const TBatchSummary&)> OnBatchFinished;
  const TBatchSummary& Summary() const { return summary_; }
  // The end notices of the current batch, in the order they were handled.
  const std::vector<TTerminateInfo>& Notices() const { return notices_; }
  // A copy of the last encoded picture of this batch (empty before the first).
  const TBitmap& PreviewBitmap() const { return previewBitmap_; }
  // Counts the pictures delivered in this batch: the picture changed when
  // the count did.
  int PreviewCount() const { return previewCount_; }
  // The clock of the time-left estimate, in milliseconds; a steady clock by
  // default (tests set their own).
  void SetClock(std::function<std::int64_t()> nowMs) { nowMs_ = std::move(nowMs); }
  // The processors Auto counts: the machine's by default (tests set their own).
  void SetProcessorCount(int count) { processorCount_ = count; }
  // The probe Start opened last (the option builder reads the streams there).
  TAVProbe* Probe() const { return probe_; }
  void SetAVProbe(TAVProbe* probe) { probe_ = probe; }

 private:
  // False when the row was left out (SkippedRows).
  bool PrepareRow(int row);
  // Adds the prepared task; false (nothing recorded) when the converter
  // could not open its input or output.
  bool AppendRowTask(int row, TInputOptions& input, const std::string& outputName,
                     TOutputOptions& output, std::int64_t expected, bool video, bool threadsWell);
  // Prepares the batch's rows in order until `tasks` tasks exist.
  void PrepareRows(int tasks);
  // In a side-by-side run: prepares further rows while fewer wait than run,
  // and ends the converter's list after the last.
  void PrepareAhead();
  void CloseOpenRun();
  bool RowsLeft() const { return nextRow_ < batchRows_.size(); }
  // Marks the tasks the converter has started: in list order, each as soon
  // as fewer than FilesAtOnce run.
  void MarkStarted();
  // Expected lengths of the whole batch: the prepared tasks' and the rest's
  // from the list.
  std::vector<std::int64_t> BatchLengths() const;
  // The setting this batch follows (-1: the settings file's).
  int FilesAtOnceSetting() const;
  int Processors() const { return processorCount_ > 0 ? processorCount_ : ProcessorCount(); }
  void SkipRow(int row, const std::string& message);
  void HandleProgress(const TProgressInfo& info);
  void HandlePreview(const TPreviewInfo& info);
  void HandleHook(THookInfo& info);
  void HandleTerminate(const TTerminateInfo& info, const TOutputCheck& check);
  TOutputCheck CheckTaskOutput(const TTerminateInfo& info) const;
  // Throws EConvertError for a trim that starts at or after the source's end
  // (a duration of 0 or less is unknown and passes).
  void CheckTrim(const TlvFilesRecord& record, std::int64_t duration) const;
  void FinishBatch();
  // Chooses FilesAtOnce for the prepared tasks.
  void ChooseFilesAtOnce();
  // The end actions, once the last file has ended, when the batch ran to
  // its end and its last file is good.
  void RunEndActions();
  void FillBatchTexts(TProgressTexts& texts);
  std::int64_t NowMs() const;
  int RowOfTask(int taskIndex) const;

  // How an end notice reaches this driver: cut (null) by the destructor.
  // The mutex is held while the notice thread reads the driver and while
  // the link is cut; the user-interface thread reads it unlocked (only it
  // writes it).
  struct TLink {
    std::mutex Mutex;
    TBatchDriver* Driver = nullptr;
  };

  TFFmpegVCL& vcl_;
  TSourceList& list_;
  TBuildContext context_;
  IBatchListView* listView_ = nullptr;
  IProgressView* progressView_ = nullptr;
  std::shared_ptr<TFrameHook> renderer_;
  std::shared_ptr<TLink> link_;
  TFrameHookHandler frameHook_;
  // Under tasksMutex_ (written only on the user-interface thread):
  mutable std::mutex tasksMutex_;
  // Task index -> what the task was made from and what its output must be.
  struct TTaskPlan {
    int Row = -1;
    std::string Output;
    std::int64_t ExpectedUs = -1;  // what the output should last (-1: unknown)
    bool Video = false;            // the format and the source both have video
  };
  std::vector<TTaskPlan> tasks_;
  // User-interface thread only:
  // Task index -> its encoder keeps several cores busy alone (BatchJobs.h).
  std::vector<bool> threadsWell_;
  // Task index -> completed and passed its check.
  std::vector<bool> taskGood_;
  std::vector<int> batchRows_;  // the checked rows, in list order
  size_t nextRow_ = 0;          // the first of batchRows_ not prepared yet
  bool openRun_ = false;        // the converter's list is open for more tasks
  bool preparing_ = false;      // PrepareAhead is under way
  int endedCount_ = 0;          // task notices of this batch
  int filesAtOnceSetting_ = -1;
  int processorCount_ = 0;  // 0: ProcessorCount()
  int filesAtOnce_ = 1;
  int formatCode_ = 0;  // chosen at Start
  TOutputChecker outputChecker_ = CheckOutput;
  std::vector<TSkippedRow> skipped_;
  TBatchSummary summary_;
  std::vector<TTerminateInfo> notices_;
  TBitmap previewBitmap_;
  int previewCount_ = 0;
  bool running_ = false;    // from starting the tasks to the final notice
  bool cancelled_ = false;  // the user stopped this batch
  bool endActionsRun_ = false;
  std::function<std::int64_t()> nowMs_;
  TBatchProgress batch_;
  TFileClock batchClock_;
  std::vector<TFileClock> fileClocks_;  // task index -> its time, from its start
  int nextToStart_ = 0;                 // the first task not marked started
  TAVProbe* probe_ = nullptr;
};
