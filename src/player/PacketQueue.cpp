#include "player/PacketQueue.h"

#include <chrono>

#include "engine/libav/FFmpegApi.h"
#include "player/PlayerSync.h"

double NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void TPacketQueue::Start() {
  std::lock_guard lock(mutex_);
  abort_ = false;
  PushLocked(pkFlush, nullptr);
}

void TPacketQueue::Abort() {
  std::lock_guard lock(mutex_);
  abort_ = true;
  cond_.notify_all();
}

bool TPacketQueue::Aborted() const {
  std::lock_guard lock(mutex_);
  return abort_;
}

void TPacketQueue::Clear() {
  std::lock_guard lock(mutex_);
  ClearLocked();
}

void TPacketQueue::FlushAndMark() {
  std::lock_guard lock(mutex_);
  ClearLocked();
  PushLocked(pkFlush, nullptr);
}

void TPacketQueue::Put(AVPacket* pkt) {
  AVPacket* own = FF.av_packet_alloc();
  if (!own) {
    FF.av_packet_unref(pkt);
    return;
  }
  FF.av_packet_move_ref(own, pkt);
  std::lock_guard lock(mutex_);
  PushLocked(pkData, own);
}

void TPacketQueue::PutEmpty() {
  std::lock_guard lock(mutex_);
  PushLocked(pkEmpty, nullptr);
}

TPacketKind TPacketQueue::Get(AVPacket* pkt, bool block) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (abort_) return pkNone;
    if (!nodes_.empty()) {
      Node node = nodes_.front();
      nodes_.pop_front();
      size_ -= kNodeOverhead;
      if (node.Packet) {
        size_ -= node.Packet->size;
        FF.av_packet_move_ref(pkt, node.Packet);
        FF.av_packet_free(&node.Packet);
      }
      return node.Kind;
    }
    if (!block) return pkNone;
    cond_.wait(lock);
  }
}

int TPacketQueue::Count() const {
  std::lock_guard lock(mutex_);
  return int(nodes_.size());
}

std::int64_t TPacketQueue::Size() const {
  std::lock_guard lock(mutex_);
  return size_;
}

void TPacketQueue::PushLocked(TPacketKind kind, AVPacket* pkt) {
  nodes_.push_back({kind, pkt});
  size_ += kNodeOverhead + (pkt ? pkt->size : 0);
  cond_.notify_one();
}

void TPacketQueue::ClearLocked() {
  for (Node& n : nodes_)
    if (n.Packet) FF.av_packet_free(&n.Packet);
  nodes_.clear();
  size_ = 0;
}
