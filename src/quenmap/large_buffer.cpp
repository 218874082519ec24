#include "large_buffer.hpp"

#include <sys/mman.h>

#include <cstdlib>

namespace quenmap::large_buffer_detail {

namespace {

// Below this, the C library's own allocator serves (and calloc clears).
constexpr std::size_t mapped_from = 1024 * 1024;

}  // namespace

void* allocate_zeroed(std::size_t bytes) {
  if (bytes < mapped_from) {
    void* memory = std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  // Only a request: where the system refuses, small pages serve as well.
  madvise(memory, bytes, MADV_HUGEPAGE);
  return memory;
}

void deallocate(void* memory, std::size_t bytes) noexcept {
  if (memory == nullptr) return;
  if (bytes < mapped_from) {
    std::free(memory);
  } else {
    munmap(memory, bytes);
  }
}

}  // namespace quenmap::large_buffer_detail
