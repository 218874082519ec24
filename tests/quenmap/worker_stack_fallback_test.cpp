// A process whose static thread-local storage does not fit on the workers'
// own stacks: the C library refuses those stacks, and the workers must start
// all the same, on stacks of the library's own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>

#include "quenmap/worker_stack.hpp"
#include "quenmap/worker_stage.hpp"

constexpr std::size_t tls_size = quenmap::WorkerStack::usable_size + 1024 * 1024;
// Visible outside this file, so that it cannot be optimised away.
thread_local unsigned char oversized_tls[tls_size];

namespace quenmap {
namespace {

TEST(WorkerStackFallback, WorkersStartWhenThreadStorageOutgrowsTheirStacks) {
  std::atomic<std::size_t> sum = 0;
  run_worker_stage(4, [&](std::size_t part) {
    volatile unsigned char* storage = oversized_tls;
    storage[0] = static_cast<unsigned char>(part);
    storage[tls_size - 1] = 1;
    sum += storage[0] + storage[tls_size - 1];
  });
  EXPECT_EQ(sum.load(), (0u + 1u + 2u + 3u) + 4u);
}

}  // namespace
}  // namespace quenmap
