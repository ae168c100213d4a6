#include "engine/common/BandWorkers.h"

#include "engine/common/Processors.h"

#include <algorithm>
#include <utility>

namespace {
constexpr int kMaxThreads = 4;

int ThreadCount(int wanted) {
  if (wanted > 0) return wanted;
  return std::min(ProcessorCount(), kMaxThreads);
}
}  // namespace

TBandWorkers::TBandWorkers(int threads) : threads_(ThreadCount(threads)) {}

TBandWorkers::~TBandWorkers() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : helpers_) t.join();
}

void TBandWorkers::Start() {
  helpers_.reserve(size_t(threads_ - 1));
  for (int i = 1; i < threads_; ++i) helpers_.emplace_back([this] { HelperLoop(); });
}

void TBandWorkers::Run(int count, const TJob& job) {
  if (count <= 0) return;
  if (count == 1 || threads_ == 1) {
    for (int i = 0; i < count; ++i) job(i);
    return;
  }
  if (helpers_.empty()) Start();
  std::unique_lock lock(mutex_);
  job_ = &job;
  count_ = count;
  next_ = 0;
  running_ = 0;
  error_ = nullptr;
  ++run_;
  wake_.notify_all();
  Work(lock);
  idle_.wait(lock, [this] { return running_ == 0; });
  job_ = nullptr;
  if (std::exception_ptr error = std::exchange(error_, nullptr)) std::rethrow_exception(error);
}

void TBandWorkers::Work(std::unique_lock<std::mutex>& lock) {
  while (job_ && next_ < count_) {
    const int index = next_++;
    ++running_;
    const TJob& job = *job_;
    lock.unlock();
    std::exception_ptr error;
    try {
      job(index);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (error && !error_) error_ = error;
    if (--running_ == 0 && next_ >= count_) idle_.notify_all();
  }
}

void TBandWorkers::HelperLoop() {
  std::unique_lock lock(mutex_);
  std::uint64_t seen = 0;
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || run_ != seen; });
    if (stop_) return;
    seen = run_;
    Work(lock);
  }
}
