#pragma once
// Storage for the analysis' large buffers: the two frames of doubles (16.6 MB
// each at 1080p, 66 MB at 2160p) and the d-value history (tens of MB).
//
// - Every allocation starts out as zeros. Large ones come straight from the
//   kernel as fresh pages, which are zero already, so nothing clears them.
// - Elements are default-initialised: resize() writes nothing. New elements
//   of a fresh allocation read as zero; the analysis writes every value
//   before reading it anyway.
// - Large allocations ask for transparent huge pages, where the system
//   offers them on request: faulting in a 66 MB frame takes 33 faults rather
//   than 16,000.

#include <cstddef>
#include <new>
#include <vector>

namespace quenmap {

namespace large_buffer_detail {

// Zero-filled memory of at least `bytes` bytes; throws std::bad_alloc.
void* allocate_zeroed(std::size_t bytes);
void deallocate(void* memory, std::size_t bytes) noexcept;

}  // namespace large_buffer_detail

template <class T>
class LargeBufferAllocator {
 public:
  using value_type = T;

  LargeBufferAllocator() noexcept = default;
  template <class U>
  LargeBufferAllocator(const LargeBufferAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(large_buffer_detail::allocate_zeroed(n * sizeof(T)));
  }
  void deallocate(T* memory, std::size_t n) noexcept {
    large_buffer_detail::deallocate(memory, n * sizeof(T));
  }

  // Default-initialises (leaves as it is) rather than value-initialises.
  template <class U>
  void construct(U* place) noexcept {
    ::new (static_cast<void*>(place)) U;
  }
  template <class U, class... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(static_cast<Args&&>(args)...);
  }

  template <class U>
  bool operator==(const LargeBufferAllocator<U>&) const noexcept {
    return true;
  }
};

template <class T>
using LargeBuffer = std::vector<T, LargeBufferAllocator<T>>;

}  // namespace quenmap
