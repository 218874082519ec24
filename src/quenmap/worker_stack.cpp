#include "worker_stack.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace quenmap {
namespace {

// Two full stages of 16 workers each.
constexpr std::size_t max_spare = 32;

std::size_t page_size() {
  static const auto size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

void* map_stack() {
  const std::size_t guard = page_size();
  void* mapping = mmap(nullptr, guard + WorkerStack::usable_size, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
  if (mapping == MAP_FAILED) throw std::system_error(errno, std::generic_category());
  // A whole huge page for a stack that uses a few small ones would be waste.
  madvise(mapping, guard + WorkerStack::usable_size, MADV_NOHUGEPAGE);
  if (mprotect(mapping, guard, PROT_NONE) != 0) {
    const int error = errno;
    munmap(mapping, guard + WorkerStack::usable_size);
    throw std::system_error(error, std::generic_category());
  }
  return static_cast<char*>(mapping) + guard;
}

void unmap_stack(void* base) {
  const std::size_t guard = page_size();
  munmap(static_cast<char*>(base) - guard, guard + WorkerStack::usable_size);
}

// Workers are started and joined by whichever thread runs a stage; the lock
// only guards the list of spare stacks, never the workers' data.
class SpareStacks {
 public:
  void* take() {
    {
      const std::lock_guard lock(mutex_);
      if (!spare_.empty()) {
        void* base = spare_.back();
        spare_.pop_back();
        return base;
      }
    }
    return map_stack();
  }

  void give_back(void* base) noexcept {
    {
      const std::lock_guard lock(mutex_);
      if (spare_.size() < max_spare) {
        try {
          spare_.push_back(base);
          return;
        } catch (...) {
          // No room to remember it: unmap it instead.
        }
      }
    }
    unmap_stack(base);
  }

 private:
  std::mutex mutex_;
  std::vector<void*> spare_;
};

SpareStacks& spare_stacks() {
  static SpareStacks* stacks = new SpareStacks;  // outlives every worker
  return *stacks;
}

}  // namespace

WorkerStack::WorkerStack() : base_(spare_stacks().take()) {}

WorkerStack::~WorkerStack() {
  release();
}

void WorkerStack::release() noexcept {
  if (base_ != nullptr) spare_stacks().give_back(std::exchange(base_, nullptr));
}

WorkerStack::WorkerStack(WorkerStack&& other) noexcept : base_(std::exchange(other.base_, nullptr)) {}

WorkerStack& WorkerStack::operator=(WorkerStack&& other) noexcept {
  if (this != &other) {
    release();
    base_ = std::exchange(other.base_, nullptr);
  }
  return *this;
}

}  // namespace quenmap
