// TBandWorkers: runs numbered jobs (row bands of a picture) on the calling
// thread and a few helper threads, and returns when all are done.
//
// Owns the helper threads: started on the first run that has more than one
// job, stopped and joined by the destructor. Jobs are handed out one at a
// time, so a helper that the system holds back takes fewer of them.
// Threads: one caller at a time (the owner's thread); the job runs on that
// thread and the helpers at once, so it must be safe for disjoint jobs to
// run together. `mutex_` guards the run in progress and the stop request.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class TBandWorkers {
 public:
  using TJob = std::function<void(int index)>;

  // `threads` counts the caller; 0 takes the processor count (at most 4).
  explicit TBandWorkers(int threads = 0);
  ~TBandWorkers();
  TBandWorkers(const TBandWorkers&) = delete;
  TBandWorkers& operator=(const TBandWorkers&) = delete;

  // Runs job(0) .. job(count - 1). An exception from a job is raised here
  // once every job has ended (the first one, when there are several).
  void Run(int count, const TJob& job);

  int Threads() const { return threads_; }

 private:
  void Start();
  void HelperLoop();
  // Takes jobs of the current run until none is left.
  void Work(std::unique_lock<std::mutex>& lock);

  const int threads_;
  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable wake_;  // helpers: a run started or stop
  std::condition_variable idle_;  // caller: the last job ended
  const TJob* job_ = nullptr;
  int count_ = 0;
  int next_ = 0;     // next job index to hand out
  int running_ = 0;  // jobs handed out and not ended
  std::uint64_t run_ = 0;
  bool stop_ = false;
  std::exception_ptr error_;
};
