#pragma once
// The two stages of analysing one frame, and the workers they run.
//
// The luma load copies the frame's top-left W x H samples into a buffer of
// doubles, in bands of whole rows; the d-value stage gives every 8x8 block
// the Frobenius norm of P*C - C*P from the previous and the current buffer,
// in ranges of whole blocks. Each stage runs on at most 16 fresh threads.

#include <cstddef>
#include <cstdint>
#include <span>

namespace quenmap {

inline constexpr std::size_t max_stage_workers = 16;

// How a stage cuts its items (rows or blocks) into consecutive parts of
// `part_size` items, one worker per part; the last part holds `last_size`.
struct StageSplit {
  std::size_t part_size = 0;
  std::size_t parts = 0;
  std::size_t last_size = 0;

  // Items of part k.
  std::size_t size_of(std::size_t k) const { return k + 1 == parts ? last_size : part_size; }
};

// Bands of R = ceil(H / T) rows, R computed in 32-bit arithmetic.
StageSplit band_rows(std::uint32_t rows, std::size_t workers);

// Ranges of V = ceil(n / T) blocks.
StageSplit range_blocks(std::size_t blocks, std::size_t workers);

// T: worker_count() capped at max_stage_workers, asked again at every stage.
std::size_t stage_workers();

// Worker of the luma load. `band` is whole rows of W values starting at frame
// row `first_row`; row r of the plane starts at byte r * stride. Writes every
// value of the band: the samples as plain 0..255, and 0.0 where the plane
// ends before the row does.
void load_rows(std::span<double> band, std::span<const std::uint8_t> plane, std::size_t W,
               std::size_t first_row, std::size_t stride);

// Worker of the d-value stage: value i of `range` becomes the d-value of block
// first_block + i (row-major, blocks_w blocks per row) of the two frames.
void block_d_values(std::span<float> range, std::span<const double> previous, std::span<const double> current,
                    std::size_t first_block, std::uint16_t blocks_w, std::size_t W);

// The luma load of a whole frame: `frame` is H rows of W values.
void luma_load_stage(std::span<double> frame, std::span<const std::uint8_t> plane, std::size_t W,
                     std::size_t stride);

// The d-value stage of a frame pair: one value per block into `d_values`.
void d_value_stage(std::span<float> d_values, std::span<const double> previous,
                   std::span<const double> current, std::uint16_t blocks_w, std::size_t W);

}  // namespace quenmap
