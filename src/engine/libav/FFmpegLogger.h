// TFFLogger: the log collector. Merges the media libraries' log output and the
// components' own messages into one event, OnLog.
//
// One instance for the program (FFLogger() creates it on first use; a second
// instance is refused with FFmpegException). The libraries log from any of
// their threads, in pieces that need not end a line: each thread's partial
// line waits in its own buffer until a line feed completes it. Complete lines
// and component messages go to OnLog - on the main thread through the
// hand-over of MainThread.h when TriggerEventInMainThread is set (the logging
// thread waits until the handler ran), else on the logging thread - and to
// every sink added with AddSink (always on the logging thread).
//
// Senders are identified by address: a component passes `this`, library lines
// carry the logger itself. The pointer is only for comparison by the handler.
//
// Threads: every member may be called from any thread. `mutex_` guards the
// settings, the handler, the sinks and the per-thread line buffers; it is never
// held while a handler runs. `handlerMutex_` serialises handler calls made on
// logging threads (TriggerEventInMainThread off).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Ordered as the media library's levels: value v is library level (v - 1) * 8.
enum TLogLevel : int {
  llQuiet = 0,
  llPanic,
  llFatal,
  llError,
  llWarning,
  llInfo,
  llVerbose,
  llDebug
};

// Library level of a TLogLevel: llQuiet -8, llPanic 0, ... llDebug 48.
int LogLevelToLibrary(TLogLevel level);
// TLogLevel of a library level: below 0 llQuiet, then one step per 8, 48 and
// above llDebug.
TLogLevel LogLevelFromLibrary(int libraryLevel);
// "quiet" .. "debug"; "" for a value out of range.
const char* LogLevelName(TLogLevel level);

// The arguments of one OnLog call.
struct TLogInfo {
  const void* Sender = nullptr;
  std::uint32_t ThreadID = 0;
  TLogLevel LogLevel = llInfo;
  std::string LogMsg;
};

using TLogEvent = std::function<void(const void* sender, std::uint32_t threadID, TLogLevel logLevel,
                                     const std::string& logMsg)>;
// A sink sees every delivered message, on the thread that logged it.
using TLogSink = std::function<void(const TLogInfo& info)>;

class TFFLogger {
 public:
  // Throws FFmpegException "Allow creating only one instance of TFFLogger."
  // while another instance exists.
  TFFLogger();
  ~TFFLogger();
  TFFLogger(const TFFLogger&) = delete;
  TFFLogger& operator=(const TFFLogger&) = delete;

  // The instance alive now, or nullptr.
  static TFFLogger* Current();

  // Default llInfo. Setting it also sets the media library's level when avutil
  // is loaded.
  TLogLevel LogLevel() const;
  void SetLogLevel(TLogLevel level);
  // The "loglevel" option: "quiet", "panic", "fatal", "error", "warning",
  // "info", "verbose", "debug" (any letter case) or a decimal library level.
  // Throws FFmpegException "'<text>' is not a valid integer value" otherwise.
  void SetLogLevelByName(const std::string& text);

  // Default true: OnLog runs on the main thread.
  bool TriggerEventInMainThread() const;
  void SetTriggerEventInMainThread(bool value);

  TLogEvent OnLog() const;
  void SetOnLog(TLogEvent handler);

  // Extra receivers (the command-line tool's console, tests). Returns a token
  // for RemoveSink. A call already under way on another thread may still
  // finish after RemoveSink returns, so a sink must own what it touches.
  int AddSink(TLogSink sink);
  void RemoveSink(int token);

  // A component message. Delivered when someone listens and either LogLevel()
  // >= level or level is llVerbose and LogLevel() is not llQuiet; the engine
  // logs its errors at llQuiet, so they always pass.
  void Log(const void* sender, TLogLevel level, const std::string& text);
  void LogFormat(const void* sender, TLogLevel level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  void LogFormatV(const void* sender, TLogLevel level, const char* format, va_list args);

  // The body of the library callback: filters by the library's level, puts
  // "[<item name> @ <address>]" before the first piece of a line, buffers per
  // thread and delivers every completed line with the logger as sender.
  void LibraryLog(void* avcl, int level, const char* format, va_list args);
  // Drops the calling thread's unfinished line (e.g. when a worker ends).
  void ForgetThreadLine();

  // The 32-bit id of the calling thread as OnLog reports it.
  static std::uint32_t CurrentThreadID();

 private:
  bool WillDeliver(TLogLevel level) const;
  bool HasListeners() const;
  void Deliver(const TLogInfo& info);

  mutable std::mutex mutex_;
  std::recursive_mutex handlerMutex_;
  TLogLevel logLevel_ = llInfo;
  bool triggerInMainThread_ = true;
  TLogEvent onLog_;
  std::map<int, TLogSink> sinks_;
  int nextSink_ = 1;
  std::map<std::thread::id, std::string> lines_;
};

// The program's logger: the instance alive now, else one created here on
// first use and kept to the end.
TFFLogger& FFLogger();

// Collects every delivered message while it exists (tests, the command-line
// tool). Any thread may log meanwhile; Lines()/Infos() return snapshots.
class TLogCapture {
 public:
  TLogCapture();
  ~TLogCapture();
  TLogCapture(const TLogCapture&) = delete;
  TLogCapture& operator=(const TLogCapture&) = delete;

  std::vector<TLogInfo> Infos() const;
  std::vector<std::string> Lines() const;
  // True when some captured line contains `part`.
  bool Contains(const std::string& part) const;
  void Clear();

 private:
  struct State;
  // Shared with the sink, which a logging thread may still be running when
  // the capture goes away.
  std::shared_ptr<State> state_;
  int token_ = 0;
};

// Installs the collector's callback as the media library's log callback and
// passes the logger's level to the library (the loader calls it after avutil
// is resolved).
void InstallLibraryLogCallback();
// Restores the library's default callback before avutil is unloaded.
void RemoveLibraryLogCallback();
