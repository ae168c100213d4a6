// Turns the termination signals (SIGINT, SIGTERM) into ordinary calls on a
// thread the program chooses, so that a user's Ctrl+C or the end of a desktop
// session lets the program stop its work and end cleanly.
//
// While an object lives, the process's handler for each watched signal only
// writes the signal's number into a pipe (the one thing a handler may safely
// do). The owner watches ReadFd() - a QSocketNotifier on it in a Qt program,
// Wait() or poll() elsewhere - and calls Dispatch(), which runs the callback
// once for every signal received, on the calling thread. With
// `secondSignalQuits`, a signal that arrives again before the program has
// ended ends it at once by the signal's default action (an escape from a
// stop that hangs).
//
//   platform::TSignalWatch watch([&](int sig) { app.quit(); });
//   QSocketNotifier n(watch.ReadFd(), QSocketNotifier::Read);
//   QObject::connect(&n, &QSocketNotifier::activated, [&] { watch.Dispatch(); });
//
// Owns the pipe and the installed handlers; the handlers that were there
// before come back when it goes. One object per process at a time (a second
// one throws std::logic_error). Threads: construct, Dispatch, Wait and
// destroy on one thread; the handlers run on whichever thread the system
// picks and touch only the pipe and atomics.
#pragma once

#include <csignal>
#include <functional>
#include <initializer_list>
#include <vector>

namespace platform {

class TSignalWatch {
 public:
  using TCallback = std::function<void(int signal)>;

  explicit TSignalWatch(TCallback callback, bool secondSignalQuits = false,
                        std::initializer_list<int> watched = {SIGINT, SIGTERM});
  ~TSignalWatch();
  TSignalWatch(const TSignalWatch&) = delete;
  TSignalWatch& operator=(const TSignalWatch&) = delete;

  // Readable while a signal waits to be dispatched.
  int ReadFd() const { return fds_[0]; }
  // Runs the callback for each signal received so far; their number.
  int Dispatch();
  // Waits up to `timeoutMs` (-1: for ever) for a signal, then dispatches.
  int Wait(int timeoutMs);
  // The first signal received by the living object, 0 when none (any thread).
  static int FirstSignal();

 private:
  TCallback callback_;
  int fds_[2] = {-1, -1};
  std::vector<std::pair<int, struct sigaction>> previous_;
};

}  // namespace platform
