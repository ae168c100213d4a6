// TManualEvent: a manual-reset event (stays set until Reset): one thread
// raises it (a task ended, a seek was done, a picture arrived) and others
// wait on it with a time-out.
// Owns its mutex and condition; any thread may call any member.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class TManualEvent {
 public:
  explicit TManualEvent(bool initiallySet = false) : set_(initiallySet) {}

  void Set() {
    std::lock_guard lock(mutex_);
    set_ = true;
    cond_.notify_all();
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
  }
  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
  }
  // True when the event was (or became) set within `ms` milliseconds.
  bool Wait(int ms) { return WaitFor(ms); }
  bool WaitFor(int ms) {
    std::unique_lock lock(mutex_);
    return cond_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return set_; });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cond_;
  bool set_;
};
