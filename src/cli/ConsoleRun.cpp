#include "cli/ConsoleRun.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>

#include "engine/common/MainThread.h"
#include "engine/component/FFmpegVCL.h"
#include "engine/libav/FFmpegLoader.h"
#include "engine/libav/FFmpegLogger.h"
#include "engine/libav/MediaUtils.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Clock3(double seconds) {
  if (seconds < 0) seconds = 0;
  long s = long(seconds + 0.5);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02ld:%02ld:%02ld", s / 3600, (s / 60) % 60, s % 60);
  return buf;
}

// Everything the terminal shows goes through here, on the main thread,
// except library warnings, which arrive on any thread (hence the lock).
class TConsole {
 public:
  explicit TConsole(bool quiet) : progress_(quiet) {}

  void Progress(const std::string& line) {
    std::lock_guard lock(mutex_);
    progress_.Show(line);
  }

  void Line(std::FILE* to, const std::string& text) {
    std::lock_guard lock(mutex_);
    progress_.End();
    std::fprintf(to, "%s\n", text.c_str());
    std::fflush(to);
  }

 private:
  std::mutex mutex_;
  TProgressLine progress_;
};

struct TTaskClock {
  Clock::time_point Start;
  TProgressInfo Last;
  bool HasLast = false;
};

std::string ProgressLine(const std::string& name, int index, int count, const TProgressInfo& p,
                         double elapsed) {
  double done = double(p.CurrentDuration) / 1e6;
  double speed = elapsed > 0.05 ? done / elapsed : 0;
  std::string line = "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + name;
  char buf[160];
  if (p.TotalDuration > 0) {
    double total = double(p.TotalDuration) / 1e6;
    double percent = std::min(100.0, 100.0 * done / total);
    std::snprintf(buf, sizeof buf, "  %5.1f%%", percent);
    line += buf;
  }
  if (p.FrameNumber >= 0) {
    std::snprintf(buf, sizeof buf, "  frame=%6d fps=%4d", p.FrameNumber, p.FPS);
    line += buf;
  }
  std::snprintf(buf, sizeof buf, "  time=%s size=%8.0fkB speed=%5.2fx",
                TimeToText(p.CurrentDuration).c_str(), double(p.CurrentSize) / 1024, speed);
  line += buf;
  if (p.TotalDuration > 0 && speed > 0)
    line += "  ETA " + Clock3((double(p.TotalDuration) / 1e6 - done) / speed);
  return line;
}

std::string Summary(const std::string& name, const TTerminateInfo& end, const TTaskClock& clock) {
  std::string state = end.Failed ? "failed" : end.Completed ? "done" : "stopped";
  std::string text = name + ": " + state;
  if (end.Failed) return text + ": " + end.ErrorMessage;
  if (!clock.HasLast) return text;
  const TProgressInfo& p = clock.Last;
  double elapsed = std::chrono::duration<double>(Clock::now() - clock.Start).count();
  double media = double(p.CurrentDuration) / 1e6;
  char buf[256];
  std::snprintf(buf, sizeof buf, " - %s of media, %.0f kB, %.1f kbit/s",
                TimeToText(p.CurrentDuration).c_str(), double(p.CurrentSize) / 1024,
                double(p.BitRate));
  text += buf;
  if (p.FrameNumber >= 0) {
    std::snprintf(buf, sizeof buf, ", %d frames", p.FrameNumber);
    text += buf;
  }
  std::snprintf(buf, sizeof buf, " in %.1f s (%.2fx)", elapsed,
                elapsed > 0 ? media / elapsed : 0.0);
  return text + buf;
}

}  // namespace

TProgressLine::TProgressLine(bool quiet) : quiet_(quiet), tty_(::isatty(STDOUT_FILENO) != 0) {}

void TProgressLine::Show(const std::string& line) {
  if (quiet_) return;
  if (tty_) {
    std::printf("\r%s\033[K", line.c_str());
    open_ = true;
  } else {
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
}

void TProgressLine::End() {
  if (!open_) return;
  std::printf("\n");
  std::fflush(stdout);
  open_ = false;
}

// The conversion loops poll Interrupted(); the watch's pipe is not read. A
// second signal ends the program at once, unfinished file and all.
TInterruptWatch::TInterruptWatch() : watch_([](int) {}, true) {}

bool TInterruptWatch::Interrupted() { return platform::TSignalWatch::FirstSignal() != 0; }

int StoppedExitCode() {
  const int signal = platform::TSignalWatch::FirstSignal();
  return signal > 0 ? 128 + signal : ExitStopped;
}

bool LoadMediaLibraries(TFFmpegVCL& vcl) {
  if (vcl.LoadAVLib(TFFmpegLoader::DefaultLibraryPath())) return true;
  std::fprintf(stderr, "quor-convert: cannot load the media libraries: %s\n",
               vcl.LastErrMsg().c_str());
  return false;
}

int RunConversions(TFFmpegVCL& vcl, const TConsoleRunSettings& settings) {
  const int count = vcl.TaskCount();
  if (count == 0) return ExitOk;
  // Shared with the log sink, which a library thread may still be running.
  auto console = std::make_shared<TConsole>(settings.Quiet);
  TQueuedHandOver handOver;
  SetMainThreadHandOver(&handOver);
  auto nameOf = [&](int i) {
    return i >= 0 && i < int(settings.TaskNames.size()) ? settings.TaskNames[size_t(i)]
                                                        : "task " + std::to_string(i + 1);
  };

  int logSink = FFLogger().AddSink([console](const TLogInfo& info) {
    if (info.LogLevel <= llWarning) console->Line(stderr, info.LogMsg);
  });

  std::vector<TTaskClock> clocks(static_cast<size_t>(count));
  vcl.SetTriggerEventInMainThread(true);
  vcl.SetOnProgress([&](TCustomFFmpegVCL*, PProgressInfo p) {
    if (p->TaskIndex < 0 || p->TaskIndex >= count) return;
    TTaskClock& c = clocks[size_t(p->TaskIndex)];
    c.Last = *p;
    c.HasLast = true;
    double elapsed = std::chrono::duration<double>(Clock::now() - c.Start).count();
    console->Progress(ProgressLine(nameOf(p->TaskIndex), p->TaskIndex, count, *p, elapsed));
  });

  std::mutex noticeMutex;
  std::vector<TTerminateInfo> notices;
  vcl.SetOnTerminate([&](TCustomFFmpegVCL*, const TTerminateInfo& info) {
    std::lock_guard lock(noticeMutex);
    notices.push_back(info);
  });

  bool stopped = false, failed = false;
  int stoppedCode = ExitStopped;
  {
    const TInterruptWatch interrupt;
    const auto runStart = Clock::now();
    for (auto& c : clocks) c.Start = runStart;

    bool allEnded = false;
    size_t shown = 0;
    vcl.StartTask(1);
    while (!allEnded) {
      handOver.WaitAndPump(50);
      if (TInterruptWatch::Interrupted() && !stopped) {
        stopped = true;
        stoppedCode = StoppedExitCode();
        console->Line(stderr, "Stopping: finishing the output file...");
        vcl.StopConvert(true);
      }
      std::vector<TTerminateInfo> fresh;
      {
        std::lock_guard lock(noticeMutex);
        fresh.assign(notices.begin() + long(shown), notices.end());
        shown = notices.size();
      }
      for (const auto& n : fresh) {
        if (n.TaskIndex < 0) {
          allEnded = true;
          continue;
        }
        failed |= n.Failed;
        TTaskClock& c = clocks[size_t(n.TaskIndex)];
        console->Line(n.Failed ? stderr : stdout, Summary(nameOf(n.TaskIndex), n, c));
        // The next task's clock starts when this one ends.
        if (n.TaskIndex + 1 < count) clocks[size_t(n.TaskIndex) + 1].Start = Clock::now();
      }
    }
  }
  vcl.ClearTasks();
  vcl.SetOnProgress(nullptr);
  vcl.SetOnTerminate(nullptr);
  FFLogger().RemoveSink(logSink);
  SetMainThreadHandOver(nullptr);
  if (failed) return ExitFailed;
  return stopped ? stoppedCode : ExitOk;
}
