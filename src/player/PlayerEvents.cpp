#include "player/PlayerEvents.h"

#include <chrono>

void TPlayerEventQueue::Post(const TPlayerEvent& ev) {
  std::lock_guard lock(mutex_);
  int newest = (write_ + kSlots - 1) % kSlots;
  if (read_ != write_ && slots_[newest].Kind == ev.Kind) {
    slots_[newest] = ev;
  } else {
    slots_[write_] = ev;
    write_ = (write_ + 1) % kSlots;
    if (write_ == read_) read_ = (read_ + 1) % kSlots;
  }
  notEmpty_.notify_all();
}

bool TPlayerEventQueue::Take(TPlayerEvent& ev) {
  std::lock_guard lock(mutex_);
  if (read_ == write_) return false;
  ev = slots_[read_];
  read_ = (read_ + 1) % kSlots;
  return true;
}

void TPlayerEventQueue::WaitNotEmpty(int ms) {
  std::unique_lock lock(mutex_);
  notEmpty_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return read_ != write_; });
}

bool TPlayerEventQueue::Empty() const {
  std::lock_guard lock(mutex_);
  return read_ == write_;
}
