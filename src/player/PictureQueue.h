// The decoded pictures waiting for their display time, and the decoded
// subtitles waiting for theirs.
//
// TPictureQueue: two slots filled by the video thread and consumed by the
// play thread's refresh. Each slot owns a reference to a planar YUV 4:2:0
// frame; a slot's frame is replaced only under Mutex, and readers take their
// own reference under Mutex, so a picture is never written while shown.
// TSubpictureQueue: four decoded subtitles, same discipline.
// All fields are guarded by the queue's Mutex; Cond signals space and
// consumption. Lock order: a queue's Mutex before TPlaybackState::ClockMutex.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
}

// A ring of N slots filled by one thread and consumed by another.
template <typename TSlot, int N>
struct TSlotQueue {
  static constexpr int kSize = N;
  std::mutex Mutex;
  std::condition_variable Cond;
  TSlot Slots[kSize];
  int Count = 0;
  int ReadIndex = 0;
  int WriteIndex = 0;
  bool Abort = false;

  TSlotQueue() = default;
  TSlotQueue(const TSlotQueue&) = delete;
  TSlotQueue& operator=(const TSlotQueue&) = delete;

  // Drops the read slot from the queue; what the slot owns stays until it is
  // refilled or freed. Caller holds Mutex.
  void AdvanceLocked() {
    ReadIndex = (ReadIndex + 1) % kSize;
    --Count;
    Cond.notify_all();
  }
  void SetAbort() {
    std::lock_guard lock(Mutex);
    Abort = true;
    Cond.notify_all();
  }
};

struct TPicture {
  double Pts = 0;     // seconds
  double Target = 0;  // display time on the NowSeconds() clock
  std::int64_t Pos = -1;
  AVFrame* Frame = nullptr;  // owned reference; null until first filled
};

struct TPictureQueue : TSlotQueue<TPicture, 2> {
  ~TPictureQueue() { FreeFrames(); }
  void FreeFrames();
};

struct TSubpicture {
  double Pts = 0;  // seconds
  AVSubtitle Sub{};
};

struct TSubpictureQueue : TSlotQueue<TSubpicture, 4> {
  ~TSubpictureQueue() { ClearLocked(); }

  // Frees the read slot's subtitle and advances. Caller holds Mutex.
  void DropFirstLocked();
  void ClearLocked() {
    while (Count > 0) DropFirstLocked();
  }
};
