#include "encoder.hpp"

#include <fmt/format.h>

#include <algorithm>

#include "common/console.hpp"
#include "common/error.hpp"
#include "frame_analysis.hpp"

namespace quenmap {

namespace {

constexpr std::uint32_t max_side = 65535;

}  // namespace

QuenMapEncoder::QuenMapEncoder(std::uint16_t width, std::uint16_t height, std::uint32_t fps_num,
                               std::uint32_t fps_den)
    : blocks_w_(static_cast<std::uint16_t>(width / block_size)),
      blocks_h_(static_cast<std::uint16_t>(height / block_size)) {
  quen::eprint("QuenMapEncoder: {}x{} -> {}x{} blocks ({}x{}), {}/{}fps{}\n", width, height, blocks_w_,
               blocks_h_, block_size, block_size, fps_num, fps_den, "");
  // A fresh large buffer reads as zeros without being written.
  prev_pixels_.resize(std::size_t{blocks_w_} * blocks_h_ * block_size * block_size);
}

// The current frame's buffer is kept from call to call and traded with
// prev_pixels, rather than made anew for every frame and copied into
// prev_pixels at the end: at 1080p that saves writing 16.6 MB of zeros and
// copying 16.6 MB per frame. The luma load writes every value of the buffer,
// so nothing of an older frame survives into the new one.
void QuenMapEncoder::process_frame(std::span<const std::uint8_t> plane, std::size_t stride) {
  const std::size_t W = std::size_t{blocks_w_} * block_size;
  const std::size_t H = std::size_t{blocks_h_} * block_size;
  const std::size_t n = std::size_t{blocks_w_} * blocks_h_;
  current_pixels_.resize(W * H);
  luma_load_stage(current_pixels_, plane, W, stride);
  if (has_prev_) {
    // The workers write straight into the new tail of the history, every
    // value of it, so it is not cleared first.
    const std::size_t start = d_history_.size();
    d_history_.resize(start + n);
    d_value_stage(std::span(d_history_).subspan(start), prev_pixels_, current_pixels_, blocks_w_, W);
  }
  prev_pixels_.swap(current_pixels_);
  has_prev_ = true;
}

void QuenMapEncoder::reserve_frames(std::size_t frames) {
  // A damaged file may claim millions of packets that never decode: the hint
  // is capped, and beyond the cap the history grows as it goes.
  constexpr std::size_t max_reserved = (std::size_t{1} << 30) / sizeof(float);
  const std::size_t per_pair = std::size_t{blocks_w_} * blocks_h_;
  if (frames < 2 || per_pair == 0) return;
  d_history_.reserve(std::min(frames - 1, max_reserved / per_pair) * per_pair);
}

void check_frame_size(std::uint32_t width, std::uint32_t height) {
  if (width > max_side || height > max_side) {
    throw quen::Error(
        fmt::format("Video too large to analyse: {}x{} (at most 65535 pixels per side)", width, height));
  }
  if (width < QuenMapEncoder::block_size || height < QuenMapEncoder::block_size) {
    throw quen::Error(
        fmt::format("Video too small to analyse: {}x{} (needs at least 8x8 pixels)", width, height));
  }
}

}  // namespace quenmap
