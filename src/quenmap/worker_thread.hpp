#pragma once
// A worker thread on a stack of the analysis' own, joined by its owner.
//
// The analysis starts up to 32 short-lived workers per frame. With the
// default 8 MiB stacks, the C library's cache of freed stacks overflows and
// every stage maps and unmaps fresh stacks; with stacks it allocates itself,
// every exiting thread hands most of its stack back to the kernel. Both cost
// page faults and cross-processor TLB flushes on every frame, so the workers
// run on stacks that are mapped once and reused (worker_stack.hpp).

#include <pthread.h>

#include <cstddef>
#include <functional>

#include "worker_stack.hpp"

namespace quenmap {

class WorkerThread {
 public:
  // Starts `body`; throws std::system_error when the thread cannot be made.
  explicit WorkerThread(std::function<void()> body);
  ~WorkerThread();

  WorkerThread(WorkerThread&& other) noexcept;
  WorkerThread& operator=(WorkerThread&& other) noexcept;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Waits for the body to end.
  void join();

 private:
  WorkerStack stack_;  // returned only after the join, in the destructor
  pthread_t thread_{};
  bool joinable_ = false;
};

}  // namespace quenmap
