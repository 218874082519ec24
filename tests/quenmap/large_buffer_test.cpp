// The encoder relies on two promises of its buffers: a fresh one reads as
// zeros although nothing writes them, and growing one keeps what it held.
#include "quenmap/large_buffer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

namespace quenmap {
namespace {

bool all_zero(const LargeBuffer<double>& buffer) {
  return std::all_of(buffer.begin(), buffer.end(), [](double value) { return value == 0.0; });
}

// Sizes on both sides of where the memory starts coming straight from the
// kernel, each allocated after a buffer of the same size was filled and
// freed, so recycled memory would show.
TEST(LargeBuffer, FreshBuffersReadAsZerosWhateverTheirSize) {
  for (const std::size_t size : {std::size_t{1}, std::size_t{1000}, std::size_t{131071}, std::size_t{131072},
                                 std::size_t{2'073'600}}) {
    {
      LargeBuffer<double> used(size);
      std::fill(used.begin(), used.end(), 7.0);
    }
    LargeBuffer<double> fresh;
    fresh.resize(size);
    EXPECT_TRUE(all_zero(fresh)) << size << " values";
  }
}

TEST(LargeBuffer, ReservedRoomReadsAsZerosAndGrowthKeepsTheValues) {
  LargeBuffer<float> history;
  history.reserve(600'000);
  for (std::size_t round = 0; round < 3; ++round) {
    const std::size_t start = history.size();
    history.resize(start + 200'000);
    for (std::size_t i = start; i < history.size(); ++i) {
      ASSERT_EQ(history[i], 0.0f) << "value " << i;
      history[i] = static_cast<float>(i);
    }
  }
  history.resize(history.size() + 1'000'000);  // past the reserved room
  for (std::size_t i = 0; i < 600'000; ++i) ASSERT_EQ(history[i], static_cast<float>(i)) << "value " << i;
  for (std::size_t i = 600'000; i < history.size(); ++i) ASSERT_EQ(history[i], 0.0f) << "value " << i;
}

}  // namespace
}  // namespace quenmap
