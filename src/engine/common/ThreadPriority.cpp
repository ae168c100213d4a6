#include "engine/common/ThreadPriority.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#include <cerrno>

int NiceIncrement(TThreadPriority priority) {
  switch (priority) {
    case tpLowest: return 10;
    case tpLower: return 5;
    default: return 0;
  }
}

int CurrentThreadNice() {
  errno = 0;
  return ::getpriority(PRIO_PROCESS, id_t(::gettid()));
}

bool CurrentThreadIsIdle() { return ::sched_getscheduler(0) == SCHED_IDLE; }

bool ApplyThreadPriority(TThreadPriority priority) {
  // Linux scheduling attributes are per thread: pid 0 and gettid() name the
  // calling thread, not the whole process.
  sched_param param{};
  if (priority == tpIdle) return ::sched_setscheduler(0, SCHED_IDLE, &param) == 0;
  int increment = NiceIncrement(priority);
  if (increment == 0) return true;
  int nice = CurrentThreadNice();
  return ::setpriority(PRIO_PROCESS, id_t(::gettid()), nice + increment) == 0;
}
