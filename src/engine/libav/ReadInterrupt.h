// The interrupt callback of an opened media file: it ends the libraries'
// waits and long reads when a stop flag is set, and, while the file is being
// opened and its streams looked at, once a time limit has passed (a file on a
// stalled network share, or one the demultiplexer scans from end to end,
// would otherwise hold the caller, and the codec lock, for ever).
//
//   TReadInterrupt interrupt(&stopFlag);
//   interrupt.Attach(ctx);              // before avformat_open_input
//   interrupt.StartOpenLimit();         // open, find_stream_info ...
//   interrupt.EndOpenLimit();
//   if (err == AVERROR_EXIT) text = interrupt.Reason(name);
//
// Threads: the callback runs on whatever thread reads the file; the stop flag
// and the limit may be changed from any thread. The object must outlive the
// contexts it is attached to.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

extern "C" {
struct AVFormatContext;
}

class TReadInterrupt {
 public:
  // How long opening and probing a file may take.
  static constexpr std::int64_t DefaultOpenLimitUs = 30 * 1000000LL;

  // `stop` (optional) ends every wait once it is true.
  explicit TReadInterrupt(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}
  TReadInterrupt(const TReadInterrupt&) = delete;
  TReadInterrupt& operator=(const TReadInterrupt&) = delete;

  // Installs the callback in `ctx` (which may be freshly allocated).
  void Attach(AVFormatContext* ctx);
  // The limit counts from now until EndOpenLimit.
  void StartOpenLimit();
  void EndOpenLimit();
  // The limit StartOpenLimit applies; <= 0: none.
  void SetOpenLimit(std::int64_t us) { limitUs_ = us; }

  // Why a read ended with "Immediate exit requested": the time limit or the
  // stop, said about `name`.
  std::string Reason(const std::string& name) const;

 private:
  static int Callback(void* opaque);

  const std::atomic<bool>* stop_;
  std::atomic<std::int64_t> limitUs_{DefaultOpenLimitUs};
  std::atomic<std::int64_t> deadline_{0};  // steady-clock µs; 0: no limit running
  std::atomic<bool> timedOut_{false};
};

// The open limit of `interrupt` for the life of the object.
class TOpenLimit {
 public:
  explicit TOpenLimit(TReadInterrupt& interrupt) : interrupt_(interrupt) {
    interrupt_.StartOpenLimit();
  }
  ~TOpenLimit() { interrupt_.EndOpenLimit(); }
  TOpenLimit(const TOpenLimit&) = delete;
  TOpenLimit& operator=(const TOpenLimit&) = delete;

 private:
  TReadInterrupt& interrupt_;
};
