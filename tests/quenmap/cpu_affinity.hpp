#pragma once
// Narrows the calling thread to some of its processors for one test; the
// threads it starts inherit the mask. The old mask comes back at the end.

#include <sched.h>

#include <cstddef>
#include <system_error>
#include <vector>

namespace quenmap::testing {

// The processors the calling thread may run on now.
inline std::vector<int> allowed_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) throw std::system_error(errno, std::generic_category());
  std::vector<int> cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  return cpus;
}

class ScopedAffinity {
 public:
  // Keeps the first `count` allowed processors (all of them when fewer).
  explicit ScopedAffinity(std::size_t count) {
    if (sched_getaffinity(0, sizeof saved_, &saved_) != 0)
      throw std::system_error(errno, std::generic_category());
    cpu_set_t narrowed;
    CPU_ZERO(&narrowed);
    std::size_t kept = 0;
    for (int cpu = 0; cpu < CPU_SETSIZE && kept < count; ++cpu) {
      if (CPU_ISSET(cpu, &saved_)) {
        CPU_SET(cpu, &narrowed);
        ++kept;
      }
    }
    if (sched_setaffinity(0, sizeof narrowed, &narrowed) != 0)
      throw std::system_error(errno, std::generic_category());
  }
  ~ScopedAffinity() { sched_setaffinity(0, sizeof saved_, &saved_); }
  ScopedAffinity(const ScopedAffinity&) = delete;
  ScopedAffinity& operator=(const ScopedAffinity&) = delete;

 private:
  cpu_set_t saved_;
};

}  // namespace quenmap::testing
