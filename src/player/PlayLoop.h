// TPlayLoopQueue: the play thread's event queue. The engine's refresh thread
// posts refresh ticks, the component posts quit, aspect-change and resize
// requests; the play thread waits for them one at a time.
// Owns its entries; any thread may post, one thread waits. Guarded by its
// own mutex; posting never blocks on the consumer.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

enum TLoopEventKind { leRefresh, leQuit, leAspect, leResize, leExpose };

struct TLoopEvent {
  TLoopEventKind Kind = leRefresh;
  int Width = 0;   // leResize
  int Height = 0;  // leResize
};

class TPlayLoopQueue {
 public:
  void Post(const TLoopEvent& ev) {
    std::lock_guard lock(mutex_);
    events_.push_back(ev);
    cond_.notify_one();
  }
  TLoopEvent Wait() {
    std::unique_lock lock(mutex_);
    cond_.wait(lock, [&] { return !events_.empty(); });
    TLoopEvent ev = events_.front();
    events_.pop_front();
    return ev;
  }
  void Clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cond_;
  std::deque<TLoopEvent> events_;
};
