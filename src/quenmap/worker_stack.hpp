#pragma once
// Stack memory for the analysis workers, kept from stage to stage.
//
// The analysis starts up to 32 short-lived workers per frame. A thread whose
// stack the C library allocates hands the unused part of it back to the
// kernel as it exits (one madvise per thread), so the next worker faults its
// pages in again, and every hand-back flushes the TLBs of the other
// processors running the process. A stack supplied by the caller is left
// alone: these stacks are mapped once, each with a guard page below it, and
// lent to one thread at a time.

#include <cstddef>

namespace quenmap {

class WorkerStack {
 public:
  // Usable bytes above the guard page. A worker needs a few kilobytes; the
  // rest leaves room for the thread control block and the static
  // thread-local storage of every loaded library (close to 1 MiB under
  // ThreadSanitizer), which the C library puts at the top of a
  // caller-supplied stack. Only the pages a thread touches take memory.
  static constexpr std::size_t usable_size = 2 * 1024 * 1024;

  // Takes a stack from the spare ones, or maps a new one; throws
  // std::system_error when no memory can be mapped.
  WorkerStack();
  // Returns the stack to the spare ones (or unmaps it when enough are spare).
  // Only once the thread that ran on it has been joined.
  ~WorkerStack();

  WorkerStack(WorkerStack&& other) noexcept;
  WorkerStack& operator=(WorkerStack&& other) noexcept;
  WorkerStack(const WorkerStack&) = delete;
  WorkerStack& operator=(const WorkerStack&) = delete;

  void* base() const { return base_; }  // lowest usable address, or null once released
  std::size_t size() const { return usable_size; }

  // Gives the stack back before the owner ends; only while no thread runs on it.
  void release() noexcept;

 private:
  void* base_ = nullptr;
};

}  // namespace quenmap
