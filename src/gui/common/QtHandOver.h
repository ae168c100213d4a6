// The Qt side of the hand-over from worker threads to the user-interface
// thread: a worker's call is queued and the application object gets a queued
// wake-up that pumps it, so calls run in the event loop; while the
// user-interface thread itself waits for a worker it pumps directly
// (PumpMainThread), so the two never deadlock.
//
// Install one instance for the program's lifetime on the user-interface
// thread (the constructor installs it, the destructor removes it). Any thread
// may hand over; the queue is guarded by TQueuedHandOver's own mutex.
#pragma once

#include <memory>

#include "engine/common/MainThread.h"

class TQtHandOverWaker;

class TQtHandOver : public TQueuedHandOver {
 public:
  TQtHandOver();
  ~TQtHandOver() override;
  TQtHandOver(const TQtHandOver&) = delete;
  TQtHandOver& operator=(const TQtHandOver&) = delete;

 private:
  std::unique_ptr<TQtHandOverWaker> waker_;  // lives on the user-interface thread
};

// Waits until `done` holds, turning the event loop (and so the hand-over) in
// steps of at most `stepMs`; false when `timeoutMs` (negative: no limit)
// passed first. For windows that wait for a worker.
bool WaitWithEvents(const std::function<bool()>& done, int timeoutMs = -1, int stepMs = 10);
