#pragma once
// A worker thread with a small stack of its own size, joined by its owner.
//
// The analysis starts up to 32 short-lived workers per frame. With the
// default 8 MiB stacks, the C library's cache of freed stacks overflows and
// every stage maps and unmaps fresh stacks, which costs page faults and
// cross-processor TLB flushes on every frame. A worker needs a few kilobytes;
// stacks this small stay in the cache from stage to stage.

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace quenmap {

class WorkerThread {
 public:
  static constexpr std::size_t stack_size = 256 * 1024;

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
  pthread_t thread_{};
  bool joinable_ = false;
};

}  // namespace quenmap
