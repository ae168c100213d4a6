#include "engine/common/MainThread.h"

#include <atomic>
#include <chrono>
#include <exception>

namespace {
std::atomic<IMainThreadHandOver*> g_handOver{nullptr};
}

void SetMainThreadHandOver(IMainThreadHandOver* handOver) { g_handOver = handOver; }
IMainThreadHandOver* MainThreadHandOver() { return g_handOver; }

void RunOnMainThread(const std::function<void()>& call) {
  IMainThreadHandOver* h = g_handOver;
  if (!h || h->IsMainThread())
    call();
  else
    h->RunAndWait(call);
}

void PumpMainThread() {
  IMainThreadHandOver* h = g_handOver;
  if (h && h->IsMainThread()) h->Pump();
}

bool OnMainThread() {
  IMainThreadHandOver* h = g_handOver;
  return h && h->IsMainThread();
}

void RunPumping(const std::function<void()>& call) {
  if (!OnMainThread()) {
    call();
    return;
  }
  std::atomic<bool> done{false};
  std::exception_ptr error;
  std::thread helper([&] {
    try {
      call();
    } catch (...) {
      error = std::current_exception();
    }
    done = true;
  });
  while (!done) {
    PumpMainThread();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  helper.join();
  if (error) std::rethrow_exception(error);
}

struct TQueuedHandOver::Pending {
  std::function<void()> call;
  std::exception_ptr error;  // rethrown on the waiting worker
  bool done = false;
  std::condition_variable finished;
};

TQueuedHandOver::TQueuedHandOver() : owner_(std::this_thread::get_id()) {}

bool TQueuedHandOver::IsMainThread() const { return std::this_thread::get_id() == owner_; }

void TQueuedHandOver::RunAndWait(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return;
  }
  auto p = std::make_shared<Pending>();
  p->call = call;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(p);
    arrived_.notify_all();
  }
  if (onArrived_) onArrived_();
  std::unique_lock lock(mutex_);
  p->finished.wait(lock, [&] { return p->done; });
  if (p->error) std::rethrow_exception(p->error);
}

void TQueuedHandOver::Pump() {
  std::unique_lock lock(mutex_);
  while (!queue_.empty()) {
    auto p = queue_.front();
    queue_.pop_front();
    lock.unlock();
    try {
      p->call();
    } catch (...) {
      p->error = std::current_exception();
    }
    lock.lock();
    p->done = true;
    p->finished.notify_all();
  }
}

void TQueuedHandOver::WaitAndPump(int timeoutMs) {
  {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !queue_.empty(); });
  }
  Pump();
}
