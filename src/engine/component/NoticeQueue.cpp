#include "engine/component/NoticeQueue.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

#include "engine/common/MainThread.h"
#include "engine/libav/FFmpegLogger.h"

struct TNoticeQueue::State {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::function<void()>> jobs;
  bool closing = false;
  bool finished = false;
};

TNoticeQueue::TNoticeQueue() : state_(std::make_shared<State>()) {}

TNoticeQueue::~TNoticeQueue() { Close(); }

void TNoticeQueue::Start() {
  std::lock_guard lock(state_->mutex);
  if (!thread_.joinable()) {
    state_->closing = false;
    state_->finished = false;
    thread_ = std::thread(Run, state_);
  }
}

void TNoticeQueue::Post(std::function<void()> job) {
  Start();
  std::lock_guard lock(state_->mutex);
  state_->jobs.push_back(std::move(job));
  state_->changed.notify_all();
}

void TNoticeQueue::Close() {
  std::unique_lock lock(state_->mutex);
  if (!thread_.joinable()) return;
  state_->closing = true;
  state_->changed.notify_all();
  if (thread_.get_id() == std::this_thread::get_id()) {
    // Closed from one of its own jobs: it finishes on its own; the state
    // is shared, so it outlives this object.
    thread_.detach();
    return;
  }
  while (!state_->finished) {
    state_->changed.wait_for(lock, std::chrono::milliseconds(MainThreadPollMs));
    lock.unlock();
    PumpMainThread();
    lock.lock();
  }
  lock.unlock();
  thread_.join();
}

void TNoticeQueue::Run(std::shared_ptr<State> s) {
  std::unique_lock lock(s->mutex);
  for (;;) {
    s->changed.wait(lock, [&] { return !s->jobs.empty() || s->closing; });
    if (s->jobs.empty()) break;
    auto job = std::move(s->jobs.front());
    s->jobs.pop_front();
    lock.unlock();
    try {
      job();
    } catch (const std::exception& e) {
      FFLogger().Log(s.get(), llError, e.what());
    }
    job = nullptr;
    lock.lock();
  }
  s->finished = true;
  s->changed.notify_all();
}
