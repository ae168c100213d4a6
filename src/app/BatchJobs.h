// How many files a batch converts at once, and the batch as a whole while
// several run side by side: which files run, how many are done, the share
// of the batch that is done and the time left, and which running file the
// progress window follows.
//
// Why several at once: most encoders of the catalogue (MPEG-4 Part 2, the
// audio encoders) use one core, and a short file spends much of its time
// opening and closing, so one file at a time leaves most of a machine idle.
// Encoders that spread one picture over several cores gain little from a
// second file beside them and lose to the memory both need.
//
// The Auto rule: the number of cores, at most 4; at most 2 when most files
// of the batch go to an encoder that threads well by itself, which here is
// H.264 at 720 lines and above. bench/batch measures it: on this 2-core
// machine two 720-line H.264 files side by side took 0.54 (2 s clips) to
// 0.87 (8 s clips) of the time of one after the other, so halving the two
// cores to one file would lose: a file's start and end (opening, the
// encoder's look-ahead filling and draining) leave the encoder's own
// threads idle. With more cores that encoder keeps them busy through the
// middle of a file, and more than two such files at once would mostly add
// memory.
//
// The first files of a batch (as many as could run at once) are prepared
// before it starts, and Auto judges "most files" on them; the rest are
// prepared while the first convert.
//
// What side by side cannot share: preparing the first files (opening each
// and reading its stream information, on the user-interface thread under
// the codec lock) and the last file running alone; for the command-line
// converter also the process start (loading the media libraries) and adding
// the files to its list. bench/batch, six 2 s clips on this 2-core machine:
// the batch from Start to its end takes 0.60 (MP3) and 0.55 (AVI) of the
// time of one file after the other; the whole command-line run, where those
// fixed 0.2 s weigh in, 0.84 and 0.74.
//
// TBatchProgress is a plain value of the batch driver (user-interface
// thread); the free functions are pure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/BatchView.h"
#include "app/ProgressRules.h"
#include "engine/common/Processors.h"

// The "files converted at once" setting: 0 is Auto, else 1..16.
constexpr int kFilesAtOnceAuto = 0;
constexpr int kMaxFilesAtOnce = 16;
// Auto never runs more than this many, however many cores there are.
constexpr int kAutoFilesAtOnceLimit = 4;
// ... nor more than this many files for an encoder that threads well.
constexpr int kAutoThreadedFilesLimit = 2;
// From this many lines on, an H.264 encoder keeps every core busy alone.
constexpr int kThreadedEncoderLines = 720;

// Whether `videoCodec` at `outputHeight` lines (0 or less: unknown) keeps
// several cores busy by itself.
bool EncoderThreadsWell(const std::string& videoCodec, int outputHeight);
// Auto for `cores` processors; `threadsWell`: most files go to such an encoder.
int AutoFilesAtOnce(int cores, bool threadsWell);
// The files to run at once for a stored setting (Auto, or 1..16; anything
// else counts as Auto), never more than the batch has.
int FilesAtOnce(int setting, int cores, bool threadsWell, int taskCount);
// The setting as the preferences and the command line show it: "Auto", "3".
std::string FilesAtOnceText(int setting);

class TBatchProgress {
 public:
  // A new batch of tasks with these expected lengths (-1 unknown).
  void Reset(std::vector<std::int64_t> lengthsUs);
  // Task `task` was started (the converter starts them in list order).
  void Started(int task);
  // A report of task `task`: `doneUs` of `totalUs` (the converter's figures);
  // a task that reports runs.
  void Report(int task, std::int64_t doneUs, std::int64_t totalUs);
  // The task's end notice, whatever the outcome.
  void Ended(int task);
  // A file that never became a task (it could not be prepared) leaves the
  // batch; the tasks after it move up one. Nothing for a started one.
  void Drop(int task);

  int Count() const { return int(lengths_.size()); }
  int Done() const { return done_; }
  // Started and not ended.
  int Running() const;
  // The running task the window follows: the first in list order; -1 none.
  int Shown() const;
  // The share of the batch that is done, 0..1 (0 for an empty batch). The
  // tasks weigh by their lengths when all are known, else the same.
  double Share() const;
  // The same in whole percent, 0..100; -1 for an empty batch.
  int Percent() const;
  // "2 of 6 done"
  std::string FilesText() const;

 private:
  struct TTask {
    double Share = 0;  // 0..1
    bool Started = false;
    bool Ended = false;
  };
  bool Valid(int task) const { return task >= 0 && task < Count(); }

  std::vector<std::int64_t> lengths_;
  std::vector<TTask> tasks_;
  int done_ = 0;
};

// What is left of the whole batch after `spentMs` of batch time (pauses
// left out) for `share` (0..1) of it done; -1 before kEstimateFromPercent.
std::int64_t BatchLeftMs(std::int64_t spentMs, double share);

// "2 of 6 done, 2 running, 1:20 left" from a report's batch texts: the
// running files only when there are several, the time once it is estimated.
std::string BatchLineText(const TProgressTexts& texts);
