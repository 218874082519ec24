#include "frame_analysis.hpp"

#include <algorithm>

#include "kernels.hpp"
#include "worker_count.hpp"
#include "worker_stage.hpp"

namespace quenmap {

namespace {

constexpr std::size_t block_side = 8;

StageSplit split(std::size_t items, std::size_t part_size) {
  if (items == 0 || part_size == 0) return {};
  const std::size_t parts = (items + part_size - 1) / part_size;
  return {part_size, parts, items - (parts - 1) * part_size};
}

}  // namespace

StageSplit band_rows(std::uint32_t rows, std::size_t workers) {
  const auto t = static_cast<std::uint32_t>(workers);
  if (t == 0) return {};
  return split(rows, (t + rows - 1) / t);
}

StageSplit range_blocks(std::size_t blocks, std::size_t workers) {
  if (workers == 0) return {};
  return split(blocks, (blocks + workers - 1) / workers);
}

std::size_t stage_workers() {
  return std::min(worker_count(), max_stage_workers);
}

void load_rows(std::span<double> band, std::span<const std::uint8_t> plane, std::size_t W,
               std::size_t first_row, std::size_t stride) {
  if (W == 0) return;
  const std::size_t rows = band.size() / W;
  for (std::size_t r = 0; r < rows; ++r) {
    double* row = band.data() + r * W;
    const std::size_t src = (first_row + r) * stride;
    const std::size_t m = src < plane.size() ? std::min(W, plane.size() - src) : 0;
    if (m > 0) std::copy_n(plane.data() + src, m, row);
    // The buffer is reused from frame to frame, so what the plane does not
    // cover is cleared here rather than relied on to be zero already.
    std::fill(row + m, row + W, 0.0);
  }
}

void block_d_values(std::span<float> range, std::span<const double> previous, std::span<const double> current,
                    std::size_t first_block, std::uint16_t blocks_w, std::size_t W) {
  for (std::size_t i = 0; i < range.size(); ++i) {
    const std::size_t e = first_block + i;
    const std::size_t row = e / blocks_w;
    const std::size_t col = e % blocks_w;
    const std::size_t origin = row * block_side * W + col * block_side;
    range[i] = static_cast<float>(block_d_value(previous.data() + origin, current.data() + origin, W));
  }
}

void luma_load_stage(std::span<double> frame, std::span<const std::uint8_t> plane, std::size_t W,
                     std::size_t stride) {
  if (W == 0) return;
  const StageSplit bands = band_rows(static_cast<std::uint32_t>(frame.size() / W), stage_workers());
  run_worker_stage(bands.parts, [&](std::size_t k) {
    const std::size_t first_row = k * bands.part_size;
    load_rows(frame.subspan(first_row * W, bands.size_of(k) * W), plane, W, first_row, stride);
  });
}

void d_value_stage(std::span<float> d_values, std::span<const double> previous,
                   std::span<const double> current, std::uint16_t blocks_w, std::size_t W) {
  const StageSplit ranges = range_blocks(d_values.size(), stage_workers());
  run_worker_stage(ranges.parts, [&](std::size_t k) {
    const std::size_t first_block = k * ranges.part_size;
    block_d_values(d_values.subspan(first_block, ranges.size_of(k)), previous, current, first_block, blocks_w,
                   W);
  });
}

}  // namespace quenmap
