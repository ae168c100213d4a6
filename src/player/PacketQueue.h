// TPacketQueue: the demultiplexed packets of one stream, in order, between
// the read thread (producer) and one decoder (consumer).
//
// Owns the queued packets. Besides data packets it carries flush markers (put
// at the head when the stream opens and after every seek; the decoder resets
// itself on one) and empty end-of-stream packets (no data, size 0).
// Threads: any; every member takes the queue's own mutex. The video and
// subtitle threads wait in Get; the audio callback never does (block=false).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct AVPacket;

enum TPacketKind { pkNone, pkData, pkFlush, pkEmpty };

class TPacketQueue {
 public:
  TPacketQueue() = default;
  TPacketQueue(const TPacketQueue&) = delete;
  TPacketQueue& operator=(const TPacketQueue&) = delete;
  ~TPacketQueue() { Clear(); }

  // Clears the abort flag and queues a flush marker (a stream is opened).
  void Start();
  // Wakes every waiter; Get returns pkNone from now on until Start.
  void Abort();
  bool Aborted() const;
  // Drops every queued packet.
  void Clear();
  // Drops every queued packet and queues a flush marker (after a seek).
  void FlushAndMark();

  // Takes over the packet's reference (the packet is left blank).
  void Put(AVPacket* pkt);
  void PutEmpty();

  // Moves the next entry into `pkt` (data packets only) and returns its kind;
  // pkNone when aborted, or when empty and not blocking.
  TPacketKind Get(AVPacket* pkt, bool block);

  int Count() const;
  // Queued bytes: each packet's size plus a fixed per-node overhead.
  std::int64_t Size() const;

 private:
  struct Node {
    TPacketKind Kind;
    AVPacket* Packet;  // owned; null for markers
  };
  static constexpr int kNodeOverhead = 72;
  void PushLocked(TPacketKind kind, AVPacket* pkt);
  void ClearLocked();

  mutable std::mutex mutex_;
  std::condition_variable cond_;
  std::deque<Node> nodes_;
  std::int64_t size_ = 0;
  bool abort_ = false;
};
