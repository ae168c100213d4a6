#include "engine/libav/FFmpegLogger.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdio>

#include "engine/common/FFmpegException.h"
#include "engine/common/MainThread.h"
#include "engine/libav/FFmpegApi.h"
#include "engine/libav/MediaUtils.h"

namespace {

std::atomic<TFFLogger*> g_current{nullptr};

const char* const kLevelNames[] = {"quiet",   "panic", "fatal",   "error",
                                   "warning", "info",  "verbose", "debug"};

// The library hands us C varargs on its own threads: nothing may unwind
// through it.
void LibraryLogCallback(void* avcl, int level, const char* format, va_list args) {
  try {
    FFLogger().LibraryLog(avcl, level, format, args);
  } catch (...) {
  }
}

// "[name @ 0x...]" for a logging context, "" without one. A context whose
// class is not set has no name to report, so it gets no prefix either.
std::string ContextPrefix(void* avcl) {
  if (!avcl) return {};
  const AVClass* avc = *static_cast<const AVClass* const*>(avcl);
  if (!avc) return {};
  const char* name = avc->item_name ? avc->item_name(avcl) : avc->class_name;
  char prefix[256];
  std::snprintf(prefix, sizeof prefix, "[%s @ %p]", name ? name : "", avcl);
  return prefix;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

int LogLevelToLibrary(TLogLevel level) { return (int(level) - 1) * 8; }

TLogLevel LogLevelFromLibrary(int libraryLevel) {
  if (libraryLevel < 0) return llQuiet;
  if (libraryLevel >= 48) return llDebug;
  return TLogLevel(libraryLevel / 8 + 1);
}

const char* LogLevelName(TLogLevel level) {
  return (level >= llQuiet && level <= llDebug) ? kLevelNames[level] : "";
}

TFFLogger::TFFLogger() {
  TFFLogger* expected = nullptr;
  if (!g_current.compare_exchange_strong(expected, this))
    throw FFmpegException("Allow creating only one instance of TFFLogger.");
}

TFFLogger::~TFFLogger() {
  TFFLogger* self = this;
  g_current.compare_exchange_strong(self, nullptr);
}

TFFLogger* TFFLogger::Current() { return g_current; }

std::uint32_t TFFLogger::CurrentThreadID() { return static_cast<std::uint32_t>(::gettid()); }

TLogLevel TFFLogger::LogLevel() const {
  std::lock_guard lock(mutex_);
  return logLevel_;
}

void TFFLogger::SetLogLevel(TLogLevel level) {
  {
    std::lock_guard lock(mutex_);
    logLevel_ = level;
  }
  if (FF.av_log_set_level) FF.av_log_set_level(LogLevelToLibrary(level));
}

void TFFLogger::SetLogLevelByName(const std::string& text) {
  const std::string name = Lower(text);
  for (int v = llQuiet; v <= llDebug; ++v) {
    if (name == kLevelNames[v]) {
      SetLogLevel(TLogLevel(v));
      return;
    }
  }
  SetLogLevel(LogLevelFromLibrary(StrToIntStrict(text)));
}

bool TFFLogger::TriggerEventInMainThread() const {
  std::lock_guard lock(mutex_);
  return triggerInMainThread_;
}

void TFFLogger::SetTriggerEventInMainThread(bool value) {
  std::lock_guard lock(mutex_);
  triggerInMainThread_ = value;
}

TLogEvent TFFLogger::OnLog() const {
  std::lock_guard lock(mutex_);
  return onLog_;
}

void TFFLogger::SetOnLog(TLogEvent handler) {
  std::lock_guard lock(mutex_);
  onLog_ = std::move(handler);
}

int TFFLogger::AddSink(TLogSink sink) {
  std::lock_guard lock(mutex_);
  int token = nextSink_++;
  sinks_.emplace(token, std::move(sink));
  return token;
}

void TFFLogger::RemoveSink(int token) {
  std::lock_guard lock(mutex_);
  sinks_.erase(token);
}

bool TFFLogger::HasListeners() const {
  std::lock_guard lock(mutex_);
  return onLog_ || !sinks_.empty();
}

bool TFFLogger::WillDeliver(TLogLevel level) const {
  std::lock_guard lock(mutex_);
  if (!onLog_ && sinks_.empty()) return false;
  return logLevel_ >= level || (level == llVerbose && logLevel_ != llQuiet);
}

void TFFLogger::Log(const void* sender, TLogLevel level, const std::string& text) {
  if (!WillDeliver(level)) return;
  Deliver(TLogInfo{sender, CurrentThreadID(), level, text});
}

void TFFLogger::LogFormat(const void* sender, TLogLevel level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  LogFormatV(sender, level, format, args);
  va_end(args);
}

void TFFLogger::LogFormatV(const void* sender, TLogLevel level, const char* format, va_list args) {
  if (!WillDeliver(level)) return;
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    text.resize(size_t(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(size_t(n));
  }
  Deliver(TLogInfo{sender, CurrentThreadID(), level, text});
}

void TFFLogger::LibraryLog(void* avcl, int level, const char* format, va_list args) {
  if (FF.av_log_get_level && FF.av_log_get_level() < level) return;
  if (!HasListeners()) return;

  char text[2048] = {};
  std::vsnprintf(text, sizeof text, format, args);

  std::vector<std::string> complete;
  {
    std::lock_guard lock(mutex_);
    std::string& line = lines_[std::this_thread::get_id()];
    // The prefix belongs to the start of a line, not to its continuations.
    if (line.empty()) line = ContextPrefix(avcl);
    line += text;
    size_t start = 0;
    for (size_t lf; (lf = line.find('\n', start)) != std::string::npos; start = lf + 1)
      complete.push_back(line.substr(start, lf - start));
    line.erase(0, start);
    if (line.empty()) lines_.erase(std::this_thread::get_id());
  }
  const TLogLevel mapped = LogLevelFromLibrary(level);
  const std::uint32_t tid = CurrentThreadID();
  for (const std::string& l : complete) Deliver(TLogInfo{this, tid, mapped, l});
}

void TFFLogger::ForgetThreadLine() {
  std::lock_guard lock(mutex_);
  lines_.erase(std::this_thread::get_id());
}

void TFFLogger::Deliver(const TLogInfo& info) {
  TLogEvent handler;
  std::vector<TLogSink> sinks;
  bool inMainThread;
  {
    std::lock_guard lock(mutex_);
    handler = onLog_;
    inMainThread = triggerInMainThread_;
    for (const auto& [token, sink] : sinks_) sinks.push_back(sink);
  }
  // A failing receiver must not turn a log line into an error of the caller.
  for (const TLogSink& sink : sinks) {
    try {
      sink(info);
    } catch (...) {
    }
  }
  if (!handler) return;
  auto call = [&] { handler(info.Sender, info.ThreadID, info.LogLevel, info.LogMsg); };
  try {
    if (inMainThread) {
      RunOnMainThread(call);
    } else {
      std::lock_guard lock(handlerMutex_);
      call();
    }
  } catch (...) {
  }
}

TFFLogger& FFLogger() {
  if (TFFLogger* current = g_current) return *current;
  static std::mutex creating;
  std::lock_guard lock(creating);
  if (TFFLogger* current = g_current) return *current;
  // Never destroyed: library threads may still log while the program exits.
  return *new TFFLogger();
}

struct TLogCapture::State {
  std::mutex mutex;
  std::vector<TLogInfo> infos;
};

TLogCapture::TLogCapture() : state_(std::make_shared<State>()) {
  token_ = FFLogger().AddSink([state = state_](const TLogInfo& info) {
    std::lock_guard lock(state->mutex);
    state->infos.push_back(info);
  });
}

TLogCapture::~TLogCapture() { FFLogger().RemoveSink(token_); }

std::vector<TLogInfo> TLogCapture::Infos() const {
  std::lock_guard lock(state_->mutex);
  return state_->infos;
}

std::vector<std::string> TLogCapture::Lines() const {
  std::lock_guard lock(state_->mutex);
  std::vector<std::string> lines;
  for (const TLogInfo& i : state_->infos) lines.push_back(i.LogMsg);
  return lines;
}

bool TLogCapture::Contains(const std::string& part) const {
  std::lock_guard lock(state_->mutex);
  for (const TLogInfo& i : state_->infos)
    if (i.LogMsg.find(part) != std::string::npos) return true;
  return false;
}

void TLogCapture::Clear() {
  std::lock_guard lock(state_->mutex);
  state_->infos.clear();
}

void InstallLibraryLogCallback() {
  if (!FF.av_log_set_callback || !FF.av_log_set_level) return;
  TFFLogger& logger = FFLogger();
  FF.av_log_set_callback(LibraryLogCallback);
  FF.av_log_set_level(LogLevelToLibrary(logger.LogLevel()));
}

void RemoveLibraryLogCallback() {
  if (FF.av_log_set_callback && FF.av_log_default_callback)
    FF.av_log_set_callback(FF.av_log_default_callback);
}
