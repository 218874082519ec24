// The stage cuts and the two workers, called directly.
#include "quenmap/frame_analysis.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace quenmap {
namespace {

void expect_split(const StageSplit& split, std::size_t part_size, std::size_t parts, std::size_t last_size) {
  EXPECT_EQ(split.part_size, part_size);
  EXPECT_EQ(split.parts, parts);
  EXPECT_EQ(split.last_size, last_size);
}

TEST(StageSplit, BandsOfRows) {
  expect_split(band_rows(1080, 16), 68, 16, 60);
  expect_split(band_rows(64, 12), 6, 11, 4);
  expect_split(band_rows(8, 16), 1, 8, 1);
  expect_split(band_rows(65528, 16), 4096, 16, 4088);
}

TEST(StageSplit, RangesOfBlocks) {
  expect_split(range_blocks(32400, 16), 2025, 16, 2025);
  expect_split(range_blocks(17, 16), 2, 9, 1);
  expect_split(range_blocks(5, 16), 1, 5, 1);
}

// Whatever the size and worker count: at most T parts of whole items, only
// the last one shorter, covering every item exactly once.
void expect_covers(const StageSplit& split, std::size_t items, std::size_t workers) {
  ASSERT_GE(split.parts, 1u);
  ASSERT_LE(split.parts, workers);
  ASSERT_GE(split.last_size, 1u);
  ASSERT_LE(split.last_size, split.part_size);
  EXPECT_EQ((split.parts - 1) * split.part_size + split.last_size, items) << items << " items, T=" << workers;
  EXPECT_EQ(split.part_size, (items + workers - 1) / workers) << items << " items, T=" << workers;
}

TEST(StageSplit, PartsCoverEveryItemOnce) {
  for (std::uint32_t rows = 8; rows <= 1200; rows += 8) {
    for (std::size_t workers = 1; workers <= 16; ++workers) {
      expect_covers(band_rows(rows, workers), rows, workers);
      expect_covers(range_blocks(rows * 3 + 1, workers), rows * 3 + 1, workers);
    }
  }
}

constexpr double untouched = -7.0;

std::vector<std::uint8_t> counting_plane(std::size_t bytes) {
  std::vector<std::uint8_t> plane(bytes);
  for (std::size_t i = 0; i < bytes; ++i) plane[i] = static_cast<std::uint8_t>(i * 37 + 11);
  return plane;
}

// The band starts dirty, as a reused buffer does: every value must be written.
TEST(LoadRows, CopiesTheRowsOfItsBandAsRawSamples) {
  const std::size_t W = 16, stride = 24, first_row = 2, rows = 3;
  const auto plane = counting_plane(stride * 8);
  std::vector<double> band(W * rows, untouched);
  load_rows(band, plane, W, first_row, stride);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t x = 0; x < W; ++x)
      ASSERT_EQ(band[r * W + x], plane[(first_row + r) * stride + x]) << "row " << r << " column " << x;
}

TEST(LoadRows, ShortPlaneLeavesTheRestZero) {
  const std::size_t W = 16, stride = 20, rows = 4;
  // Rows 0 and 1 whole, 5 bytes of row 2, nothing of row 3.
  const auto plane = counting_plane(stride * 2 + 5);
  std::vector<double> band(W * rows, untouched);
  load_rows(band, plane, W, 0, stride);
  for (std::size_t r = 0; r < rows; ++r) {
    for (std::size_t x = 0; x < W; ++x) {
      const std::size_t src = r * stride + x;
      const double expected = (r < 2 || (r == 2 && x < 5)) ? plane[src] : 0.0;
      ASSERT_EQ(band[r * W + x], expected) << "row " << r << " column " << x;
    }
  }
}

TEST(LoadRows, BandPastThePlaneIsAllZero) {
  const std::size_t W = 8, stride = 8;
  const auto plane = counting_plane(stride * 4);
  std::vector<double> band(W * 2, untouched);
  load_rows(band, plane, W, 4, stride);
  for (double value : band) ASSERT_EQ(value, 0.0);
}

// A block whose previous samples are all 1 and whose current samples are 0
// except the top-left 1 has the d-value sqrt(14).
TEST(BlockDValues, WritesItsRangeAtTheBlocksPositions) {
  const std::uint16_t blocks_w = 3;
  const std::size_t W = 24, H = 16;  // 3 x 2 blocks
  std::vector<double> previous(W * H, 1.0), current(W * H, 0.0);
  // Block 4 (row 1, column 1) is the only one that does not commute.
  current[8 * W + 8] = 1.0;
  std::vector<float> range(3, -1.0f);
  block_d_values(range, previous, current, 3, blocks_w, W);
  EXPECT_EQ(range[0], 0.0f);
  EXPECT_EQ(range[1], 3.7416575f);
  EXPECT_EQ(range[2], 0.0f);
}

}  // namespace
}  // namespace quenmap
