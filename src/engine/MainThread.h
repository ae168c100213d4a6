// The one bridge from worker threads to the user-interface thread.
//
// Components hand a call over synchronously (the worker waits until it ran)
// and, while the user-interface thread itself waits for a worker, it keeps
// pumping pending hand-overs so that the two never deadlock.
// The windowed program installs a Qt implementation (queued calls on the
// application object); tests and the command-line converter install
// TQueuedHandOver, drained by the thread that created it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class IMainThreadHandOver {
 public:
  virtual ~IMainThreadHandOver() = default;
  virtual bool IsMainThread() const = 0;
  // Called on a worker: runs `call` on the main thread and returns after it ran.
  virtual void RunAndWait(const std::function<void()>& call) = 0;
  // Called on the main thread: runs every call handed over so far.
  virtual void Pump() = 0;
};

// Installs the hand-over (nullptr removes it). Not owned.
void SetMainThreadHandOver(IMainThreadHandOver* handOver);
IMainThreadHandOver* MainThreadHandOver();

// Runs `call` on the main thread and waits; runs it at once on the main
// thread itself or when no hand-over is installed.
void RunOnMainThread(const std::function<void()>& call);
// Runs pending hand-overs when called on the main thread; otherwise nothing.
void PumpMainThread();

// A hand-over whose main thread is the thread that constructed it; calls
// queue until that thread calls Pump() (or WaitAndPump()).
// Threads: any thread may hand over; Pump only on the owning thread.
class TQueuedHandOver : public IMainThreadHandOver {
 public:
  TQueuedHandOver();
  bool IsMainThread() const override;
  void RunAndWait(const std::function<void()>& call) override;
  void Pump() override;
  // Waits up to `timeoutMs` for a hand-over to arrive, then pumps.
  void WaitAndPump(int timeoutMs);

 private:
  struct Pending;
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::shared_ptr<Pending>> queue_;
};
