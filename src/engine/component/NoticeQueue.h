// TNoticeQueue: runs jobs one after another on one thread of its own, for the
// converter component, which keeps two: one for the terminate notices of
// threaded runs (so that they reach the handler in the order raised), one
// for the start of the next task (so that a start never waits behind a
// handler). Starting workers from here rather than from the worker that just
// ended keeps them from inheriting that worker's lowered priority.
//
// Owns its thread and, shared with that thread, the job list and its flags,
// guarded by the state's mutex. Start and Close are for the component's
// thread (of normal priority); Post may be called from any thread, including
// the queue's own jobs. A job's exception is logged and the queue goes on.
#pragma once

#include <functional>
#include <memory>
#include <thread>

class TNoticeQueue {
 public:
  TNoticeQueue();
  ~TNoticeQueue();
  TNoticeQueue(const TNoticeQueue&) = delete;
  TNoticeQueue& operator=(const TNoticeQueue&) = delete;

  // Starts the thread unless it runs.
  void Start();
  void Post(std::function<void()> job);
  // Runs what is queued, then ends the thread; the main thread keeps pumping
  // the hand-over meanwhile.
  void Close();

 private:
  struct State;
  static void Run(std::shared_ptr<State> s);

  std::shared_ptr<State> state_;
  std::thread thread_;
};
