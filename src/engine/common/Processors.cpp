#include "engine/common/Processors.h"

#include <sched.h>

#include <algorithm>
#include <thread>

int ProcessorCount() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  return int(std::max(1u, std::thread::hardware_concurrency()));
}
