// TPlayerEventQueue: the position and state notices waiting for the event
// thread. A ring of ten slots holding at most nine entries; a notice of the
// same kind as the newest pending one replaces it, so a slow consumer sees
// only the latest position or state; when the ring is full the oldest entry
// is dropped.
// Any thread may post; the event thread takes. Guarded by its own mutex;
// posting never waits for the consumer.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "player/PlayerTypes.h"

enum TPlayerEventKind { pePosition = 1, peState = 2, peEndThread = 3 };

struct TPlayerEvent {
  int Kind = 0;
  TPlayState State = psPlay;
  std::int64_t Pts = 0;
};

class TPlayerEventQueue {
 public:
  static constexpr int kSlots = 10;

  void Post(const TPlayerEvent& ev);
  // The oldest entry, or false when empty.
  bool Take(TPlayerEvent& ev);
  // Waits up to `ms` for an entry to be pending.
  void WaitNotEmpty(int ms);
  bool Empty() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable notEmpty_;
  TPlayerEvent slots_[kSlots];
  int read_ = 0;
  int write_ = 0;
};
