#pragma once
// Timing on a shared machine: single-core figures count the processor time the process
// used (other programs' turns on the same core are left out), figures on several cores
// the time on the wall.
#include <sched.h>

#include <algorithm>
#include <ctime>

namespace lumo::bench {

// Runs this thread, and the threads it starts from now on, on the first `cores`
// processors of `allowed`.
inline void useCores(const cpu_set_t& allowed, int cores) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < cores; ++cpu)
    if (CPU_ISSET(cpu, &allowed)) CPU_SET(cpu, &set), ++taken;
  sched_setaffinity(0, sizeof set, &set);
}

// Processor seconds of all threads of the process in the fastest of `runs` calls.
template <class Fn>
double fastestCpuSeconds(int runs, Fn&& fn) {
  auto now = [] {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
  };
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    const double t0 = now();
    fn();
    best = std::min(best, now() - t0);
  }
  return best;
}

}  // namespace lumo::bench
