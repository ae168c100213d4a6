// What the windows show of a batch, as the window-free source list and batch
// driver reach it: the main window implements IBatchListView (its list, its
// buttons, its preview player), the progress window IProgressView. The
// command-line converter implements both on the terminal, the tests with
// recorders.
//
// The list and the driver only borrow the views. Every call comes on the
// user-interface thread (the driver hands notices from other threads over
// first), so implementations need no lock of their own for these calls.
#pragma once

#include <string>

struct TTerminateInfo;

// The main window's side of the source list and of a batch.
class IBatchListView {
 public:
  virtual ~IBatchListView() = default;

  // Buttons the list and the batch enable (never disable).
  enum TButton : unsigned { btAdd = 1u, btRemove = 2u, btClear = 4u, btStart = 8u };
  virtual void EnableButtons(unsigned buttons) = 0;
  // Rows were added or removed. `hasRows`: the list shows its five columns
  // (report view); false: the plain view with the background picture.
  virtual void ListChanged(bool hasRows) = 0;
  // One row's cells (its "Progress" cell) changed.
  virtual void RowChanged(int row) = 0;
  // Stops the preview player and waits for it.
  virtual void StopPreview() = 0;
};

// The labels of the progress window for one progress report.
struct TProgressTexts {
  int Percent = -1;       // 0..100; -1 when the expected length is unknown
  std::string Elapsed;    // "12 Second"
  std::string Length;     // "60 Second"; "" when unknown
  std::string Size;       // "2048 kb"
  std::string Counter;    // "[1/3]"
  std::string File;       // the source, shortened to fit the label
  std::string TimeLeft;   // "0:53 left"; "" until an estimate can be made
  int BatchPercent = -1;  // the share of the whole batch done, 0..100; -1 unknown
  // The batch as a whole: "2 of 6 done", how many files convert now, and
  // "1:20 left" for all of them ("" until an estimate can be made).
  std::string Files;
  int Running = 0;
  std::string BatchTimeLeft;
};

// The progress window.
class IProgressView {
 public:
  virtual ~IProgressView() = default;

  // Shows the window modally: its show step calls TBatchDriver::StartTasks,
  // and it returns once the window has been closed.
  virtual void RunModal() = 0;
  // Closes the window; closing stops what still runs
  // (TBatchDriver::Cancel), as the window's Cancel button does.
  virtual void Close() = 0;
  // The texts of the running file the window follows (the first in list
  // order when several run at once) and of the whole batch.
  virtual void ShowProgress(const TProgressTexts& texts) = 0;
  // The file progress bar, 0..100.
  virtual void SetFilePercent(int percent) = 0;
  // The whole batch's texts (BatchPercent, Files, Running, BatchTimeLeft)
  // as a file ends, so that the batch row counts it before the next report,
  // and says "all done" while the end actions run.
  virtual void ShowBatch(const TProgressTexts& /*batch*/) {}
  // A task's own end notice (not the final one), after the driver handled it.
  virtual void TaskEnded(const TTerminateInfo& info) = 0;
  // Something the task left out but converted without, such as a watermark
  // picture that could not be read; comes before the task's TaskEnded.
  virtual void FileWarning(int /*taskIndex*/, const std::string& /*text*/) {}
  // A checked file Start left out of the batch (it cannot be read any more,
  // or its output cannot be made), before the window is shown.
  virtual void FileLeftOut(const std::string& /*source*/, const std::string& /*text*/) {}
  // Something the user asked for at the end did not happen (the output
  // folder could not be opened).
  virtual void ShowNotice(const std::string& /*text*/) {}
  // The two end-of-batch choices.
  virtual bool OpenFolderChecked() const = 0;
  virtual bool ShutDownChecked() const = 0;
};
