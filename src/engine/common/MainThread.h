// Folder engine/common: the bottom of the engine, below the media libraries:
// the hand-over from workers to the user-interface thread (this header), the
// manual-reset event, worker thread priorities, the engine's error type and
// printf into a string. Nothing here touches the media libraries; every thread
// of the engine, the player and the windows uses it.
//
// The one bridge from worker threads to the user-interface thread.
//
// Components hand a call over synchronously (the worker waits until it ran)
// and, while the user-interface thread itself waits for a worker, it keeps
// pumping pending hand-overs so that the two never deadlock.
// The windowed program installs a Qt implementation (queued calls on the
// application object); tests and the command-line converter install
// TQueuedHandOver, drained by the thread that created it.
#pragma once

#include <chrono>
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

// True on the main thread of the installed hand-over.
bool OnMainThread();

// How long the main thread waits for a worker between two pumps.
constexpr int MainThreadPollMs = 20;

// Takes a lock that a worker may hold while it waits for the main thread: on
// that thread, keeps pumping the hand-over queue until the lock is free.
template <typename M>
std::unique_lock<M> LockPumping(M& mutex) {
  std::unique_lock<M> lock(mutex, std::try_to_lock);
  if (lock.owns_lock()) return lock;
  if (!OnMainThread()) {
    lock.lock();
    return lock;
  }
  while (!lock.try_lock()) {
    PumpMainThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return lock;
}

// Runs `call`, which may block on a lock that a worker holds while it waits
// for the main thread: on that thread, the call goes to a helper thread and
// this one keeps pumping until it returns. Rethrows what the call threw.
void RunPumping(const std::function<void()>& call);

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
  // Called on the handing-over thread right after a call was queued (no lock
  // held), so that an event loop can be woken to pump it.
  void SetOnArrived(std::function<void()> onArrived) { onArrived_ = std::move(onArrived); }

 private:
  struct Pending;
  std::thread::id owner_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::shared_ptr<Pending>> queue_;
  std::function<void()> onArrived_;  // set before any worker hands over
};
