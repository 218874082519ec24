#include "worker_cpus.hpp"

#include <cerrno>
#include <system_error>

namespace quen::fuzz {

WorkerCpus::WorkerCpus() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0)
    throw std::system_error(errno, std::generic_category());
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &allowed)) cpus_.push_back(cpu);
  }
}

void WorkerCpus::use(std::size_t count) const {
  if (count == 0 || count > cpus_.size()) count = cpus_.size();
  cpu_set_t chosen;
  CPU_ZERO(&chosen);
  for (std::size_t i = 0; i < count; ++i) CPU_SET(cpus_[i], &chosen);
  if (sched_setaffinity(0, sizeof chosen, &chosen) != 0)
    throw std::system_error(errno, std::generic_category());
}

}  // namespace quen::fuzz
