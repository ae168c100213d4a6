// Runs the tasks of a configured converter component from a terminal: a live
// progress line, a summary per task, Ctrl+C as a clean stop. Shared by every
// way the command line fills the component.
//
// Threads: RunConversions runs on the program's main thread, which it makes
// the component's user-interface thread (a queued hand-over it pumps);
// progress arrives there, terminate notices on the component's notice thread
// and are handed to the main thread through a locked list.
#pragma once

#include <string>
#include <vector>

#include "platform/SignalWatch.h"

class TFFmpegVCL;

struct TConsoleRunSettings {
  // Shown in the progress line and the summary, one per task.
  std::vector<std::string> TaskNames;
  bool Quiet = false;  // no progress line
};

// Exit codes of the converter.
constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;     // a task failed, or the set-up did
constexpr int ExitUsage = 2;      // the command line was not understood
constexpr int ExitStopped = 130;  // stopped with Ctrl+C (128 + SIGINT; SIGTERM gives 143)

// The progress line of a terminal: rewritten in place when standard output
// is a terminal, a line per update otherwise, nothing when quiet. Its user
// serialises the calls.
class TProgressLine {
 public:
  explicit TProgressLine(bool quiet);
  void Show(const std::string& line);
  // Ends a line left open, so that the next text starts on a line of its own.
  void End();

 private:
  bool quiet_;
  bool tty_;
  bool open_ = false;
};

// Ctrl+C (SIGINT) and SIGTERM while an object lives: the first one sets
// Interrupted(), so that the program can stop cleanly and finish its output;
// a second ends the program at once. The previous handlers come back when
// the object goes. One object at a time.
class TInterruptWatch {
 public:
  TInterruptWatch();
  TInterruptWatch(const TInterruptWatch&) = delete;
  TInterruptWatch& operator=(const TInterruptWatch&) = delete;
  static bool Interrupted();

 private:
  platform::TSignalWatch watch_;
};

// The exit code of a run that a signal stopped: 128 + the signal (130 for
// Ctrl+C, 143 for SIGTERM). Asked while the watch lives.
int StoppedExitCode();

// Starts every task of `vcl`, one after another on a worker thread, and
// returns when all have ended. The component must use the main-thread
// hand-over that this function installs, so create no other.
int RunConversions(TFFmpegVCL& vcl, const TConsoleRunSettings& settings);

// Loads the media libraries from the folder beside the executable (else the
// system's); prints the reason and returns false when they cannot be loaded.
bool LoadMediaLibraries(TFFmpegVCL& vcl);
